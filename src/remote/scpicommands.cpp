#include "remote/scpicommands.h"

#include "bert/measurementrecord.h"
#include "bert/ratecontrol.h"
#include "device/instrument.h"
#include "device/instrumentpool.h"
#include "device/testlogfile.h"
#include "eye/eyelevels.h"
#include "remote/figures.h"
#include "remote/scpi.h"
#include "wavelength/wavelengthgrid.h"
#include "xcvr/xcvrlogic.h"

#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

namespace remote {

namespace {

using scpi::CallPtr;

const scpi::Error NoInstrumentError = scpi::ExecutionError.detail(QStringLiteral("no instrument"));
const scpi::Error BusyError = scpi::ExecutionError.detail(QStringLiteral("busy"));

constexpr int DefaultEyeScaleMv = 200;

// What one connection keeps between its commands. A child of the session, so
// it goes with the connection, and with it any request it owns (an eye scan
// or a register read whose client has gone hands the line back).
class Connection : public QObject
{
public:
    using QObject::QObject;
    QString serial; // chosen by INSTrument:SELect; empty: the first connected instrument
    int eyeScaleMv = DefaultEyeScaleMv;
    bool writeEnabled = false;
};

Connection *connectionOf(scpi::Session *session)
{
    QVariant &slot = session->values()[QStringLiteral("corvane.connection")];
    auto *c = static_cast<Connection *>(slot.value<QObject *>());
    if (!c) {
        c = new Connection(session);
        slot = QVariant::fromValue<QObject *>(c);
    }
    return c;
}

device::Instrument *targetOf(const device::InstrumentPool *pool, const Connection *c)
{
    for (device::Instrument *i : pool->connectedInstruments())
        if (c->serial.isEmpty() || i->serialNumber() == c->serial)
            return i;
    return nullptr;
}

using InstrumentHandler = std::function<void(const CallPtr &, device::Instrument *, Connection *)>;

// A handler for a command that addresses the connection's instrument.
scpi::Handler onInstrument(device::InstrumentPool *pool, InstrumentHandler handler)
{
    return [pool, handler = std::move(handler)](CallPtr call) {
        Connection *c = connectionOf(call->session());
        device::Instrument *i = targetOf(pool, c);
        if (!i) {
            call->fail(NoInstrumentError);
            return;
        }
        handler(call, i, c);
    };
}

// --- Reply elements -------------------------------------------------------------

// Counts are plain integers (the instrument's counters stay far below 2^63;
// anything beyond is written as a real rather than wrapped).
QByteArray count(double value)
{
    return value >= 0 && value < 9.2e18 ? scpi::formatInteger(qint64(value))
                                        : scpi::formatReal(value);
}

QByteArray real(const std::optional<double> &value)
{
    return value ? scpi::formatReal(*value) : scpi::formatNone();
}

QByteArray flag(const std::optional<bool> &value)
{
    return value ? scpi::formatInteger(*value ? 1 : 0) : scpi::formatNone();
}

QByteArray pattern(char letter)
{
    const QString name = patternName(letter);
    return name.isEmpty() ? scpi::formatNone() : name.toLatin1();
}

// seq,elapsed_s,bits,errors,ber,rate_bps,pattern,rx_dbm,tx_dbm,temp_c,
// wavelength_nm,signal,sync,stale
QByteArray allFigures(const Reading &r)
{
    QByteArray out = scpi::formatInteger(qint64(r.seq));
    const auto add = [&out](const QByteArray &element) {
        out += ',';
        out += element;
    };
    if (r.hasRecord) {
        add(real(r.elapsedS));
        add(count(r.bits));
        add(count(r.errors));
        add(scpi::formatReal(r.ber));
        add(scpi::formatInteger(r.rateBps));
        add(pattern(r.pattern));
        add(real(r.rxDbm));
        add(real(r.txDbm));
        add(real(r.temperatureC));
        add(real(r.wavelengthNm));
        add(flag(r.signal));
        add(flag(r.sync));
    } else {
        for (int i = 0; i < 12; ++i)
            add(scpi::formatNone());
    }
    add(scpi::formatInteger(r.stale ? 1 : 0));
    return out;
}

// A figure of the last record; no record yet: no value.
void replyFigure(const CallPtr &call, const device::Instrument *i,
                 const std::function<QByteArray(const Reading &)> &figure)
{
    const Reading r = readingOf(*i);
    call->reply(r.hasRecord ? figure(r) : scpi::formatNone());
}

// --- Transceiver registers --------------------------------------------------------

struct Register {
    xcvr::Kind kind = xcvr::Kind::None;
    xcvr::SfpPage page = xcvr::SfpPage::Diag;
    int xfpPage = 0;
    int address = 0;
};

// <page>,<addr> of a register command; fails the call when they do not fit
// the instrument's transceiver.
bool registerOf(const CallPtr &call, const device::Instrument *i, Register *r)
{
    r->kind = i->model().transceiver;
    if (r->kind == xcvr::Kind::None) {
        call->fail(scpi::SettingsConflict.detail(QStringLiteral("no transceiver port")));
        return false;
    }
    if (r->kind == xcvr::Kind::Sfp) {
        const scpi::Param &page = call->params().at(0);
        if (page.isString() || !xcvr::sfpPageOf(page.text().toUpper(), &r->page)) {
            call->fail(scpi::IllegalParameterValue);
            return false;
        }
    } else {
        qint64 page;
        if (!call->integer(0, &page))
            return false;
        if (page < 0 || page > 255) {
            call->fail(scpi::DataOutOfRange);
            return false;
        }
        r->xfpPage = int(page);
    }
    qint64 address;
    if (!call->integer(1, &address))
        return false;
    if (address < 0 || address > 255) {
        call->fail(scpi::DataOutOfRange);
        return false;
    }
    r->address = int(address);
    return true;
}

QString hexByte(int value)
{
    return QString::asprintf("%02x", unsigned(value));
}

// An XFP module's upper registers are those of the page in register 7F: it
// is written first, as the utilities' help tells the user to.
void selectXfpPage(device::Instrument *i, const Register &r)
{
    if (r.kind == xcvr::Kind::Xfp)
        i->sendCommand(
            xcvr::writeCommand(xcvr::Kind::Xfp, r.page, QStringLiteral("7f"), hexByte(r.xfpPage)));
}

// The value of a register read's reply, from its last characters as the
// utilities' value box takes it ("A2 7f = 0a\r\n" is 10). A reply without its
// line end, or without two hexadecimal digits at its end, is short.
bool registerValue(const QByteArray &reply, int *value)
{
    const QString text = xcvr::replyText(reply);
    if (!text.endsWith(QLatin1Char('\n')))
        return false;
    static const QRegularExpression last(QStringLiteral("(?<![0-9A-Fa-f])([0-9A-Fa-f]{2})\\s*\\z"));
    const QRegularExpressionMatch m = last.match(xcvr::lastSix(text));
    if (!m.hasMatch())
        return false;
    *value = m.captured(1).toInt(nullptr, 16);
    return true;
}

// --- Command groups ---------------------------------------------------------------

void addInstrumentSelection(scpi::CommandSet *set, device::InstrumentPool *pool)
{
    set->add(QStringLiteral("INSTrument:CATalog?"), [pool](CallPtr call) {
        QByteArrayList entries;
        for (const device::Instrument *i : pool->connectedInstruments())
            entries << scpi::quoted(i->serialNumber()) + ',' +
                           scpi::quoted(i->model().name().trimmed()) + ',' +
                           scpi::quoted(i->portPath());
        call->reply(entries.isEmpty() ? scpi::quoted(QString()) : entries.join(','));
    });
    set->add(QStringLiteral("INSTrument:SELect"), 1, [pool](CallPtr call) {
        const QString serial = call->params().at(0).text();
        for (const device::Instrument *i : pool->connectedInstruments()) {
            if (!serial.isEmpty() && i->serialNumber() == serial) {
                connectionOf(call->session())->serial = serial;
                call->done();
                return;
            }
        }
        call->fail(scpi::IllegalParameterValue);
    });
    set->add(QStringLiteral("INSTrument:SELect?"), [pool](CallPtr call) {
        const device::Instrument *i = targetOf(pool, connectionOf(call->session()));
        call->reply(scpi::quoted(i ? i->serialNumber() : QString()));
    });
}

void addCommon(scpi::CommandSet *set, device::InstrumentPool *pool)
{
    set->add(QStringLiteral("*IDN?"),
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *) {
                 const bert::Identification &id = i->identification();
                 call->reply(QStringLiteral("Corvane,%1,%2,%3")
                                 .arg(i->model().name().trimmed(), id.serialNumber(), id.firmware())
                                 .toUtf8());
             }));
    // The engine has cleared the error queue; this is the Reset button, and the
    // connection's own settings go back to theirs.
    set->add(QStringLiteral("*RST"),
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *c) {
                 c->eyeScaleMv = DefaultEyeScaleMv;
                 c->writeEnabled = false;
                 i->resetErrors();
                 call->done();
             }));
}

void addMeasurement(scpi::CommandSet *set, device::InstrumentPool *pool)
{
    const auto figure = [pool](std::function<QByteArray(const Reading &)> f) {
        return onInstrument(pool, [f](const CallPtr &call, device::Instrument *i, Connection *) {
            replyFigure(call, i, f);
        });
    };
    set->add(QStringLiteral("FETCh:ERATio?"),
             figure([](const Reading &r) { return scpi::formatReal(r.ber); }));
    set->add(QStringLiteral("FETCh:ECOunt?"),
             figure([](const Reading &r) { return count(r.errors); }));
    set->add(QStringLiteral("FETCh:BCOunt?"),
             figure([](const Reading &r) { return count(r.bits); }));
    set->add(QStringLiteral("FETCh:TIME?"),
             figure([](const Reading &r) { return real(r.elapsedS); }));
    set->add(QStringLiteral("FETCh:ALL?"),
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *) {
                 call->reply(allFigures(readingOf(*i)));
             }));
    // The next record that arrives; a helper of the connection waits for it,
    // so that a client gone meanwhile leaves nothing behind.
    set->add(QStringLiteral("READ:ALL?"),
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *c) {
                 auto *wait = new QTimer(c);
                 wait->setSingleShot(true);
                 QObject::connect(wait, &QTimer::timeout, wait, [call, wait] {
                     if (!call->isComplete())
                         call->fail(scpi::HardwareError);
                     wait->deleteLater();
                 });
                 QObject::connect(i, &device::Instrument::measured, wait, [call, i, wait] {
                     if (call->isComplete())
                         return;
                     call->reply(allFigures(readingOf(*i)));
                     wait->stop();
                     wait->deleteLater();
                 });
                 wait->start(ReadTimeoutMs);
             }));
    set->add(QStringLiteral("SENSe:ECOunt:RESet"),
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *) {
                 i->resetErrors();
                 call->done();
             }));
    set->add(QStringLiteral("MEASure:POWer:RX?"),
             figure([](const Reading &r) { return real(r.rxDbm); }));
    set->add(QStringLiteral("MEASure:POWer:TX?"),
             figure([](const Reading &r) { return real(r.txDbm); }));
    set->add(QStringLiteral("MEASure:TEMPerature?"),
             figure([](const Reading &r) { return real(r.temperatureC); }));
    set->add(QStringLiteral("MEASure:WAVelength?"),
             figure([](const Reading &r) { return real(r.wavelengthNm); }));
}

void addSource(scpi::CommandSet *set, device::InstrumentPool *pool)
{
    // The rate field: a rate outside the model's spans is not sent.
    set->add(QStringLiteral("SOURce:RATE"), 1,
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *) {
                 double bps;
                 if (!call->number(0, &bps))
                     return;
                 const double mbps = bps / 1e6;
                 QString why;
                 if (!bert::rateWithinModel(i->model(), mbps, &why) || !i->setRate(mbps)) {
                     call->fail(scpi::DataOutOfRange);
                     return;
                 }
                 call->done();
             }));
    set->add(QStringLiteral("SOURce:RATE?"),
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *) {
                 replyFigure(call, i,
                             [](const Reading &r) { return scpi::formatInteger(r.rateBps); });
             }));

    // The pattern slider: the position of the pattern's letter.
    set->add(QStringLiteral("SOURce:PATTern"), 1,
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *) {
                 const char letter = patternLetter(call->params().at(0).text());
                 const bert::PatternLetters &letters = i->patternLetters();
                 for (int position = 0; letter && position <= i->model().sliderMax(); ++position) {
                     if (letters[size_t(position)] == letter) {
                         i->setPattern(position, QString());
                         call->done();
                         return;
                     }
                 }
                 call->fail(scpi::IllegalParameterValue);
             }));
    set->add(QStringLiteral("SOURce:PATTern?"),
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *) {
                 replyFigure(call, i, [](const Reading &r) { return pattern(r.pattern); });
             }));
    set->add(QStringLiteral("SOURce:PATTern:CATalog?"),
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *) {
                 QByteArrayList names;
                 for (char letter : i->model().letters)
                     names << pattern(letter);
                 call->reply(names.join(','));
             }));

    set->add(QStringLiteral("OUTPut[:STATe]"), 1,
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *) {
                 bool on;
                 if (!call->boolean(0, &on))
                     return;
                 QString refusal;
                 if (!i->setTransmitter(on, &refusal)) {
                     call->fail(scpi::SettingsConflict.detail(refusal));
                     return;
                 }
                 call->done();
             }));
    set->add(QStringLiteral("OUTPut[:STATe]?"),
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *) {
                 switch (i->transmitter()) {
                 case device::Transmitter::On: call->reply(1); return;
                 case device::Transmitter::Off: call->reply(0); return;
                 case device::Transmitter::Unknown: call->replyNone(); return;
                 }
             }));

    // The wavelength dialog's OK: the grid channel at the wavelength, sent as
    // that channel's wavelength with two decimals.
    set->add(QStringLiteral("SOURce:WAVelength"), 1,
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *) {
                 double nm;
                 if (!call->number(0, &nm))
                     return;
                 if (!i->model().tunable) {
                     call->fail(scpi::SettingsConflict.detail(QStringLiteral("not tunable")));
                     return;
                 }
                 if (!(nm >= wavelength::LowestNm && nm <= wavelength::HighestNm)) {
                     call->fail(scpi::DataOutOfRange);
                     return;
                 }
                 const int channel = wavelength::channelOf(wavelength::hundredths(nm));
                 i->setWavelength(wavelength::wavelengthText(wavelength::wavelengthOf(channel)));
                 call->done();
             }));
    set->add(QStringLiteral("SOURce:WAVelength?"),
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *) {
                 replyFigure(call, i, [](const Reading &r) { return real(r.wavelengthNm); });
             }));
}

void addEye(scpi::CommandSet *set, device::InstrumentPool *pool)
{
    set->add(QStringLiteral("EYE:SCALe"), 1, [](CallPtr call) {
        qint64 mv;
        if (!call->integer(0, &mv))
            return;
        if (mv != 50 && mv != 100 && mv != 150 && mv != 200) {
            call->fail(scpi::IllegalParameterValue);
            return;
        }
        connectionOf(call->session())->eyeScaleMv = int(mv);
        call->done();
    });
    set->add(QStringLiteral("EYE:SCALe?"),
             [](CallPtr call) { call->reply(connectionOf(call->session())->eyeScaleMv); });

    // The eye window's Scan button: an operation that *OPC? and *WAI wait for.
    set->add(
        QStringLiteral("EYE:STARt"),
        onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *c) {
            if (!i->model().multiRange()) {
                call->fail(scpi::SettingsConflict.detail(QStringLiteral("no eye scan")));
                return;
            }
            if (!i->hasMeasurement() || i->measurement().rateBps / 1e6 < EyeMinimumRateMbps) {
                call->fail(scpi::SettingsConflict.detail(QStringLiteral("rate too low")));
                return;
            }
            if (i->isBusy()) {
                call->fail(BusyError);
                return;
            }
            const QPointer<scpi::Session> session(call->session());
            const quint64 operation = session->beginOperation();
            const auto end = [session, operation](const scpi::Error &error) {
                if (!session)
                    return;
                if (error.code)
                    session->pushError(error);
                session->endOperation(operation);
            };
            if (!i->scanEye(
                    c, c->eyeScaleMv / 50, [end](const QByteArray &) { end(scpi::NoError); },
                    [end](const QString &reason) { end(scpi::HardwareError.detail(reason)); })) {
                session->endOperation(operation);
                call->fail(BusyError);
                return;
            }
            call->done();
        }));
    set->add(QStringLiteral("EYE:OPENing?"),
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *) {
                 // "0.63 UI / 123 mV"
                 static const QRegularExpression opening(
                     QStringLiteral("([0-9.]+)\\s*UI\\s*/\\s*([0-9.]+)\\s*mV"));
                 const QRegularExpressionMatch m = opening.match(i->eyeOpeningText());
                 if (!m.hasMatch()) {
                     call->reply(scpi::formatNone() + ',' + scpi::formatNone());
                     return;
                 }
                 call->reply(scpi::formatReal(m.captured(1).toDouble()) + ',' +
                             scpi::formatReal(m.captured(2).toDouble()));
             }));
    set->add(QStringLiteral("EYE:DATA?"),
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *) {
                 if (i->lastEyeScan().isEmpty()) {
                     call->fail(scpi::ExecutionError.detail(QStringLiteral("no eye scan")));
                     return;
                 }
                 const eye::Samples samples = eye::samples(i->lastEyeScan());
                 QByteArray out;
                 out.reserve(eye::Cells * 4);
                 for (int k = 0; k < eye::Cells; ++k) {
                     if (k)
                         out += ',';
                     out += QByteArray::number(samples[size_t(k)]);
                 }
                 call->reply(out);
             }));
}

void addTransceiver(scpi::CommandSet *set, device::InstrumentPool *pool)
{
    set->add(QStringLiteral("XCVR:WRITe:ENABle"), 1, [](CallPtr call) {
        bool on;
        if (!call->boolean(0, &on))
            return;
        connectionOf(call->session())->writeEnabled = on;
        call->done();
    });
    set->add(QStringLiteral("XCVR:WRITe:ENABle?"), [](CallPtr call) {
        call->reply(connectionOf(call->session())->writeEnabled ? 1 : 0);
    });

    // The utilities' "Rd": a request for the line, written as typed (no side
    // letter), whatever arrived RegisterReplyMs later is the reply.
    set->add(QStringLiteral("XCVR:REGister?"), 2,
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *c) {
                 Register r;
                 if (!registerOf(call, i, &r))
                     return;
                 if (i->isBusy()) {
                     call->fail(BusyError);
                     return;
                 }
                 device::Step step;
                 step.delayMs = RegisterFirstStepMs;
                 step.drain = true; // records, and the answer to the page write
                 step.raw = true;
                 step.command = xcvr::readCommand(r.kind, r.page, xcvr::addressText(r.address));
                 step.timeoutMs = RegisterReplyMs;
                 const QPointer<scpi::Session> session(call->session());
                 const quint64 operation = session->beginOperation();
                 const auto endOperation = [session, operation] {
                     if (session)
                         session->endOperation(operation);
                 };
                 device::Request request =
                     device::Request::single(QStringLiteral("a remote register read"), step,
                                             [call, endOperation](const device::Reply &reply) {
                                                 int value;
                                                 endOperation();
                                                 if (registerValue(reply.bytes, &value))
                                                     call->reply(value);
                                                 else
                                                     call->fail(scpi::HardwareError);
                                             });
                 request.finished = [call, endOperation](const QString &reason) {
                     if (reason.isEmpty() || call->isComplete())
                         return;
                     endOperation();
                     call->fail(scpi::HardwareError.detail(reason));
                 };
                 QString refusal;
                 // Nothing is written before the line is ours.
                 if (!i->request(c, std::move(request), &refusal)) {
                     endOperation();
                     call->fail(BusyError);
                     return;
                 }
                 selectXfpPage(i, r);
             }));
    // The utilities' "Wr", once the connection has enabled writes.
    set->add(QStringLiteral("XCVR:REGister"), 3,
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *c) {
                 if (!c->writeEnabled) {
                     call->fail(scpi::CommandProtected);
                     return;
                 }
                 Register r;
                 if (!registerOf(call, i, &r))
                     return;
                 qint64 value;
                 if (!call->integer(2, &value))
                     return;
                 if (value < 0 || value > 255) {
                     call->fail(scpi::DataOutOfRange);
                     return;
                 }
                 if (i->isBusy()) {
                     call->fail(BusyError);
                     return;
                 }
                 selectXfpPage(i, r);
                 i->sendCommand(xcvr::writeCommand(r.kind, r.page, xcvr::addressText(r.address),
                                                   hexByte(int(value))));
                 call->done();
             }));
}

void addLog(scpi::CommandSet *set, device::InstrumentPool *pool)
{
    set->add(QStringLiteral("LOG:STARt"), 1,
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *) {
                 QString error;
                 if (!i->testLog()->start(call->params().at(0).text(), i->model(), &error)) {
                     call->fail(scpi::ExecutionError.detail(error));
                     return;
                 }
                 call->done();
             }));
    set->add(QStringLiteral("LOG:STOP"),
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *) {
                 i->testLog()->stop();
                 call->done();
             }));
    set->add(QStringLiteral("LOG:STATe?"),
             onInstrument(pool, [](const CallPtr &call, device::Instrument *i, Connection *) {
                 call->reply(i->testLog()->isRunning() ? 1 : 0);
             }));
}

} // namespace

void addInstrumentCommands(scpi::CommandSet *set, device::InstrumentPool *pool)
{
    addCommon(set, pool);
    addInstrumentSelection(set, pool);
    addMeasurement(set, pool);
    addSource(set, pool);
    addEye(set, pool);
    addTransceiver(set, pool);
    addLog(set, pool);
}

} // namespace remote
