// Decoding of the binary measurement record and the texts of its read-outs.
#pragma once
#include <QByteArray>
#include <QMetaType>
#include <QString>

#include "bert/models.h"

namespace bert {

struct Measurement {
    qint64 rateBps = 0;
    char pattern = 0;
    double rxDbm = 0; // shown from the double quotient
    double txDbm = 0;
    float wavelengthNm = 0;
    double temperatureC = 0;
    int lampCode = 0;        // low four bits of the status byte
    bool reidentify = false; // status bit 7
    bool txFlag = false;     // byte 9 == 1 (low-rate model)
    float bits = 0;
    float errors = 0;
    bool hasEye = false; // 27-byte records
    quint8 eyeWidth = 0;
    quint8 eyeHeight = 0;
    quint8 prbsInfo = 0;

    // Set by the instrument that took the record, from the records before it.
    bool errorsChanged = false; // the error count differs from the previous record's
    bool txSettled = false;     // this record settled the transmitter state (the first one)
};

// Power or temperature from a raw 16-bit value: (32768 - v) / 100.
double decodeLevel(quint16 raw);
// Count from a 24-bit mantissa and an exponent byte: m * 2^(e - 24), in single precision.
float decodeCount(quint32 mantissa, quint8 exponent);

// Decodes a record of exactly the model's reply length (24 or 27 bytes). False
// for any other length, and for a model that expects none (no model yet).
bool decodeRecord(const QByteArray &bytes, const Model &model, Measurement *out);

// False for a record that cannot be true, whatever the instrument: more errors
// than bits, or a line rate far above anything the model is made for (more
// than twice its highest standard rate). Such a record is treated like a
// broken reply. Everything else is shown as the instrument sends it.
bool plausible(const Model &model, const Measurement &m);

// True when a power lies outside the range above -40.0 up to 10.0 dBm (tested in
// single precision).
bool powerOutOfRange(double dbm);

// Read-out texts.
QString rxPowerText(double dbm);                  // "%0.1f" or "----"
QString txPowerText(double dbm);                  // "Tx: %+0.1f dBm" or "Tx: ----"
QString wavelengthText(float nm);                 // "%0.2f nm"
QString temperatureText(double c);                // "%0.1f"
QString countText(float count);                   // "%0.3e"
QString elapsedText(float bits, double rateMbps); // "0d 00:00:00"
float bitErrorRate(float errors, float bits);     // 0 when bits is not above 0
QString berText(float ber);                       // "%0.3e", or "0.000e-00" for 0
QString eyeText(quint8 width, quint8 height);     // "%0.2f UI / %3.0f mV"
QString prbsTitle(quint8 info);                   // "BERT: PRBS %u, ..." or "BERT"

// The read-outs of a record as the main window shows them and the test log
// writes them.
struct Readouts {
    QString temperature; // empty on models whose temperature read-out is hidden
    QString rx;          // received power, or the line rate on the low-rate model
    QString tx;          // the transmitter button's text
    QString wavelength;
    QString count;
    QString errors;
    QString ber;
};
Readouts readouts(const Model &model, const Measurement &m);
QString rxText(const Model &model, const Measurement &m);

// Slider position of a pattern code: the first equal letter, else the maximum.
int patternPosition(const PatternLetters &letters, char code, int sliderMax);

} // namespace bert

Q_DECLARE_METATYPE(bert::Measurement)
