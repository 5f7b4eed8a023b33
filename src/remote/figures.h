// What remote clients read of an instrument: the figures of its last record
// as numbers, the way the main window shows them. A value the window shows as
// dashes (a power out of range) or does not show on that model (the low-rate
// model's optics and temperature) is left empty; SCPI answers it with
// 9.91E+37 and the scrape leaves it out. The SCPI commands and the metrics
// endpoint both read their numbers here, so they always agree.
#pragma once
#include "remote/metrics.h"

#include <QList>
#include <QString>

#include <optional>

namespace device {
class Instrument;
class InstrumentPool;
} // namespace device

namespace remote {

// Pattern names as remote clients read and write them: the names the window
// shows without spaces or superscripts. Empty for a letter of no pattern.
QString patternName(char letter);
// The letter of a name, in any case ("prbs31" is '3'); 0 for no pattern.
char patternLetter(const QString &name);

// The last record of an instrument.
struct Reading {
    bool hasRecord = false; // a valid record arrived this session
    quint64 seq = 0;        // valid records this session (the last one's number)
    bool stale = false;
    double bits = 0;
    double errors = 0;
    double ber = 0; // errors / bits in single precision, as the window shows it
    qint64 rateBps = 0;
    char pattern = 0;
    std::optional<double> elapsedS; // bits / rate; empty at rate 0
    std::optional<double> rxDbm, txDbm, temperatureC, wavelengthNm;
    std::optional<bool> signal, sync; // from the lamp code; empty when it says nothing
};
Reading readingOf(const device::Instrument &instrument);

// The scrape's figures of one instrument, and of every instrument of a pool
// that has connected at least once (in the pool's order).
metrics::InstrumentFigures figuresOf(const device::Instrument &instrument);
QList<metrics::InstrumentFigures> figuresOf(const device::InstrumentPool &pool);

} // namespace remote
