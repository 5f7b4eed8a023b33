#include "remote/figures.h"

#include "bert/measurementrecord.h"
#include "device/bermonitor.h"
#include "device/instrument.h"
#include "device/instrumentpool.h"

#include <cmath>

namespace remote {

namespace {

struct PatternEntry {
    char letter;
    const char *name;
};
// Every pattern of every model's list, by the letter the instrument uses.
constexpr PatternEntry Patterns[] = {
    {'3', "PRBS31"}, {'2', "PRBS23"}, {'5', "PRBS15"}, {'1', "PRBS11"}, {'9', "PRBS9"},
    {'7', "PRBS7"},  {'6', "PRBS63"}, {'8', "PRBS58"}, {'K', "K28.5"},  {'J', "CJTPAT"},
    {'R', "CRPAT"},  {'S', "CSPAT"},  {'D', "DCD"},    {'L', "Repeat"}, {'C', "Custom"},
};

// The lamp code's signal and sync lamps: 1 neither, 2 both, 3 signal only.
void lamps(int code, Reading *r)
{
    if (code < 1 || code > 3)
        return;
    r->signal = code != 1;
    r->sync = code == 2;
}

} // namespace

QString patternName(char letter)
{
    for (const PatternEntry &p : Patterns)
        if (p.letter == letter)
            return QString::fromLatin1(p.name);
    return QString();
}

char patternLetter(const QString &name)
{
    for (const PatternEntry &p : Patterns)
        if (name.compare(QLatin1String(p.name), Qt::CaseInsensitive) == 0)
            return p.letter;
    return 0;
}

Reading readingOf(const device::Instrument &instrument)
{
    Reading r;
    r.stale = instrument.isStale();
    r.seq = instrument.recordCount();
    if (!instrument.hasMeasurement())
        return r;
    const bert::Model &model = instrument.model();
    const bert::Measurement &m = instrument.measurement();
    r.hasRecord = true;
    r.bits = double(m.bits);
    r.errors = double(m.errors);
    r.ber = double(bert::bitErrorRate(m.errors, m.bits));
    r.rateBps = m.rateBps;
    r.pattern = m.pattern;
    if (m.rateBps > 0)
        r.elapsedS = double(m.bits) / double(m.rateBps);
    // The low-rate model shows its line rate where others show the received
    // power, an on/off flag for the transmitter, and neither temperature nor
    // wavelength.
    if (!model.rxShowsRate && !bert::powerOutOfRange(m.rxDbm))
        r.rxDbm = m.rxDbm;
    if (model.txSource == bert::TxSource::Power && !bert::powerOutOfRange(m.txDbm))
        r.txDbm = m.txDbm;
    if (model.transceiverControls) {
        r.temperatureC = m.temperatureC;
        // The record carries hundredths of a nanometre; the float that holds
        // them is rounded back so that 1550.12 reads 1550.12.
        r.wavelengthNm = std::round(double(m.wavelengthNm) * 100.0) / 100.0;
    }
    lamps(m.lampCode, &r);
    return r;
}

metrics::InstrumentFigures figuresOf(const device::Instrument &instrument)
{
    metrics::InstrumentFigures f;
    f.serial = instrument.serialNumber();
    f.model = instrument.model().name().trimmed();
    f.port = instrument.portPath();
    f.connected = instrument.isConnected();
    f.stale = instrument.isStale();
    const BerMonitor *statistics = instrument.statistics();
    f.targetBer = statistics->targetBer();
    const Reading r = readingOf(instrument);
    if (!r.hasRecord)
        return f;
    f.bits = r.bits;
    f.errors = r.errors;
    f.ber = r.ber;
    f.rateBps = double(r.rateBps);
    f.rxDbm = r.rxDbm;
    f.txDbm = r.txDbm;
    f.temperatureC = r.temperatureC;
    f.wavelengthNm = r.wavelengthNm;
    f.signal = r.signal;
    f.sync = r.sync;
    f.lastRecordUnixSeconds = double(instrument.lastRecordMs()) / 1000.0;
    f.confidence = statistics->confidence();
    return f;
}

QList<metrics::InstrumentFigures> figuresOf(const device::InstrumentPool &pool)
{
    QList<metrics::InstrumentFigures> all;
    for (const device::Instrument *i : pool.instruments()) {
        // An instrument that never connected has nothing to show yet.
        if (i->portName().isEmpty())
            continue;
        all.append(figuresOf(*i));
    }
    return all;
}

} // namespace remote
