// Everything that differs between the instrument models, one row per model.
// Code elsewhere asks the row of the recognised model; adding a model is
// adding a row here (and its name to the unit-model table).
#pragma once
#include <QString>
#include <array>

namespace bert {

// Standard rates in kbit/s, numbered from 1 (entry 0 is never used).
struct RateTable {
    static constexpr int Capacity = 30;
    std::array<qint32, Capacity + 1> entry{};
    int count = 0; // number of the last valid entry

    qint32 first() const { return entry[1]; }
    qint32 last() const { return entry[count]; }
    void load(const qint32 *rates, int n);
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

struct ModelRow {
    int code; // unit type code; 0 is the row used while no model is recognised

    // Configuration of the main window. A row that does not configure (code 0)
    // leaves everything the model-specific steps would set as it was.
    bool configures;
    PatternList list;
    int sliderMax;
    int replyLength;     // bytes of a measurement record
    const qint32 *rates; // single-range models; null for the multi-range ones
    int rateCount;
    int rangeCount;      // rate ranges offered in the range selector (0: single range)
    const char *letters; // pattern letters, top (position sliderMax) down to position 0
    const char *rxUnits;
    int rxPointSize; // font size of the received read-out
    // Custom field; a null mask means "unchanged, and the field is hidden".
    const char *customMask;
    const char *customText;
    const char *customToolTip;
    bool transceiverControls; // wavelength, temperature and utilities shown

    // The measurement record.
    int recordRateFactor; // record rate x factor = bit/s
    bool recordHasEye;    // eye opening and PRBS information (27-byte records)
    TxSource txSource;
    bool rxShowsRate; // the Rx read-out shows the line rate in Mbit/s

    // Rate and pattern controls.
    double setRateScale;    // Mbit/s x scale = the set-rate number; 0: no set-rate command
    bool customIsDutyCycle; // custom suffix is a decimal count sent in hex
    bool pulseWidthHint;    // the rate sets the custom field's pulse-width tooltip

    // The test log.
    const char *logWords; // model words at the head of the log file ("" for none)

    // Secondary windows.
    Transceiver transceiver;
    bool wavelengthDialog; // the wavelength button opens the wavelength dialog
};

// The row of a unit type code; the row of code 0 for any code not in the table.
const ModelRow &modelRow(int code);

// Writes the model's letters into the positions it defines (positions above its
// slider maximum are left as they were).
void applyLetters(const ModelRow &row, PatternLetters &letters);

// The rate ranges of the multi-range models.
inline constexpr int MaxRanges = 5;
const char *rangeItemText(int index);
// Loads range index into the table; false (table untouched) for other indices.
bool loadRange(int index, RateTable &table);
// The range whose span holds a rate in bit/s (each bound inclusive).
int rangeForRate(qint64 rateBps);

// The rate field's step: 1 Mbit/s, or 0.1 for a table that tops out at 200000 kbit/s or less.
double rateFieldStep(const RateTable &table);

} // namespace bert
