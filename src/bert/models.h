// Everything that differs between the instrument models: one row per model,
// each filled field by field. Code elsewhere asks the row of the recognised
// model (a const Model &); adding a model is adding a row.
//
// The order of the rows is the order in which the model names are searched in
// an identification reply, first match wins: the names that begin with
// "Corvane Nano" stand before "Corvane Nano" itself. The rows' names, counted
// from 1 in this order, are the "Match n" numbers of the port search.
#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>
#include <array>

namespace bert {

// Standard rates in kbit/s, numbered from 1 (entry 0 is never used): the
// table the rate dial snaps to.
struct RateTable {
    static constexpr int Capacity = 30;
    std::array<qint32, Capacity + 1> entry{};
    int count = 0; // number of the last valid entry

    qint32 first() const { return entry[1]; }
    qint32 last() const { return entry[count]; }
    void load(const QVector<qint32> &rates);
};

enum class PatternList { Nano, NanoTera, Span, T };

// One letter per slider position 0..8 (position 8 is the top of the slider).
using PatternLetters = std::array<char, 9>;

// The transceiver cage of a model, as the utilities dialog sees it.
enum class Transceiver { None, Sfp, Xfp };

// Where the transmitter state shown on the Tx button comes from.
enum class TxSource {
    Power, // settled once by the first record's transmitted power, then toggled by the button
    Flag,  // byte 9 of every record (the low-rate model has no transceiver)
};

// One range of the range selector of the multi-range models.
struct RateRange {
    QString text;           // the selector's item, e.g. "9.950 - 14.50G"
    QVector<qint32> rates;  // kbit/s, ascending
    qint64 topBps = 0;      // a reported rate up to this (inclusive) picks the range; 0: no bound
};

struct Model {
    int code = 0;             // unit type code; 0 is the row used while no model is recognised
    QList<QByteArray> names;  // searched in identification replies; the first is the model's name

    // Configuration of the main window. A row that does not configure (code 0)
    // leaves everything the model-specific steps would set as it was.
    bool configures = false;
    PatternList list = PatternList::Nano;
    QByteArray letters;          // pattern letters, top of the slider first; one per position
    int replyLength = 0;         // bytes of a measurement record; 0 accepts none
    QVector<qint32> rates;       // single-range models: the standard rates (kbit/s)
    QVector<RateRange> ranges;   // multi-range models: the ranges offered
    int firstRange = 0;          // the range selected when the model is set up
    QString rxUnits = QStringLiteral("dBm");
    int rxPointSize = 32;        // font size of the received read-out
    // Custom field; an empty mask means "unchanged, and the field is hidden".
    QString customMask, customText, customToolTip;
    bool transceiverControls = true; // wavelength, temperature and utilities shown

    // The measurement record.
    int recordRateFactor = 1; // record rate x factor = bit/s
    bool recordHasEye = false; // eye opening and PRBS information (27-byte records)
    TxSource txSource = TxSource::Power;
    bool rxShowsRate = false; // the Rx read-out shows the line rate in Mbit/s

    // Rate and pattern controls.
    double setRateScale = 0;        // Mbit/s x scale = the set-rate number; 0: no set-rate command
    bool customIsDutyCycle = false; // custom suffix is a decimal count sent in hex
    bool pulseWidthHint = false;    // the rate sets the custom field's pulse-width tooltip

    // The test log.
    QString logWords; // model words at the head of the log file (empty for none)

    // Secondary windows.
    Transceiver transceiver = Transceiver::None;
    bool tunable = false; // the wavelength button opens the wavelength dialog

    QString name() const { return QString::fromLatin1(names.value(0)); }
    int sliderMax() const { return letters.size() - 1; }
    bool multiRange() const { return !ranges.isEmpty(); }
    bool operator==(const Model &other) const { return this == &other; }
    bool operator!=(const Model &other) const { return this != &other; }
};

// Every row, the row of no model first.
const QVector<Model> &models();
// The row used while no model is recognised.
const Model &noModel();
// The row of a unit type code; noModel() for a code not in the table.
const Model &modelByCode(int code);

// The first model name (in the order of the rows) that occurs in the text,
// byte-wise and case-sensitively. `row` counts the names from 1 (0: none found);
// `at` is where the name starts in the text.
struct NameMatch {
    const Model *model = nullptr; // null when no name occurs
    int row = 0;
    int at = -1;
    QByteArray name; // the name found
};
NameMatch matchName(const QByteArray &text);

// Writes the model's letters into the positions it defines (positions above its
// slider maximum are left as they were).
void applyLetters(const Model &model, PatternLetters &letters);

// Loads range index of a multi-range model into the table; false (table
// untouched) for an index the model does not offer.
bool loadRange(const Model &model, int index, RateTable &table);
// The range whose span holds a reported rate in bit/s (each bound inclusive).
int rangeForRate(const Model &model, qint64 rateBps);

// The rate field's step: 1 Mbit/s, or 0.1 for a table that tops out at 200000 kbit/s or less.
double rateFieldStep(const RateTable &table);

// The spans of standard rates a model offers, as [lowest, highest] kbit/s
// pairs: its list, or each of its ranges.
QVector<QPair<qint32, qint32>> rateSpans(const Model &model);
// The highest rate the model is made for, in bit/s (0 for no model).
qint64 topRateBps(const Model &model);

} // namespace bert
