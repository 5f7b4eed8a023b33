#include "device/instrument.h"

#include "bert/diagnostics.h"
#include "bert/protocol.h"
#include "bert/ratecontrol.h"
#include "device/bermonitor.h"
#include "device/testlogfile.h"
#include "link/link.h"

#include <QDateTime>
#include <QTimer>

namespace device {

Instrument::Instrument(QObject *parent)
    : QObject(parent), m_link(new Link(this)), m_pollTimer(new QTimer(this)),
      m_stepTimer(new QTimer(this)), m_lookTimer(new QTimer(this)),
      m_log(new TestLogFile(this)), m_statistics(new BerMonitor(this)),
      m_model(&bert::noModel()), m_eyeOpening(QStringLiteral("0.00 UI / 000 mV")),
      m_identTimer(new QTimer(this)), m_settleTimer(new QTimer(this))
{
    m_pollInterval = proto::PollIntervalMs;
    // Letters of the pattern list shown before any model is recognised.
    for (int i = 0, pos = m_model->sliderMax(); pos >= 0; ++i, --pos)
        m_letters[size_t(pos)] = m_model->letters[i];

    for (QTimer *t : {m_pollTimer, m_stepTimer, m_lookTimer, m_identTimer, m_settleTimer})
        t->setSingleShot(true);
    m_stepTimer->setTimerType(Qt::PreciseTimer);
    m_lookTimer->setTimerType(Qt::PreciseTimer);
    connect(m_pollTimer, &QTimer::timeout, this, [this] {
        if (aroundCycle)
            aroundCycle([this] { cycle(); });
        else
            cycle();
    });
    connect(m_stepTimer, &QTimer::timeout, this, [this] {
        if (!m_stepRunning) {
            runStep();
            return;
        }
        m_collector.add(m_link->readAll());
        endStep(m_collector.how());
    });
    connect(m_lookTimer, &QTimer::timeout, this, &Instrument::look);
    connect(m_link, &Link::readyRead, this, &Instrument::onReadyRead);
    connect(m_link, &Link::lost, this, &Instrument::onLost);
    connect(m_settleTimer, &QTimer::timeout, this, [this] {
        m_link->drain();
        m_link->close();
        m_closing = false;
        emit portReleased();
    });

    // The statistics start afresh with every session and every error reset;
    // reaching the confidence goal can end the test log.
    connect(m_statistics, &BerMonitor::goalReached, this, [this] {
        if (!m_log->isRunning())
            return;
        m_log->stop();
        m_statistics->noteLogStopped();
        say(QString::asprintf("%.0f %% confidence that the BER is below %.0e reached: "
                              "test log stopped",
                              m_statistics->goal() * 100, m_statistics->targetBer()),
            lcStats());
    });
}

Instrument::~Instrument()
{
    if (m_owner)
        disconnect(m_ownerGone);
    m_log->stop();
}

// --- The session ---------------------------------------------------------------

bool Instrument::connectTo(const Found &found, QString *reason)
{
    if (m_closing) {
        m_settleTimer->stop();
        m_link->close();
        m_closing = false;
    }
    QString why;
    if (!m_link->open(found.path, &why)) {
        say(m_link->portName() + QStringLiteral(": cannot open: ") + why, lcLink());
        if (reason)
            *reason = why;
        return false;
    }
    m_connected = true;
    m_link->setConnected(true);
    m_portName = m_link->portName();
    m_identification = found.id;
    m_reader.reset();
    m_records = 0;
    m_lastRecordMs = QDateTime::currentMSecsSinceEpoch();
    m_sinceRecord.start();
    // The model is the one the identification named when the port was asked,
    // not one guessed again from the entry's text.
    if (found.id.model)
        setModel(*found.id.model);
    m_statistics->useSettingsOf(settingsGroup());
    m_statistics->restart();
    emit connected();
    send(QLatin1String(proto::Measure));
    schedulePoll(m_pollInterval);
    return true;
}

void Instrument::disconnectFromInstrument()
{
    if (!m_connected)
        return;
    // The session ends at once for everyone who shows it; the port is kept
    // DisconnectSettleMs more for the instrument's last bytes, which are
    // dropped, and then closed.
    m_connected = false;
    m_link->setConnected(false);
    m_closing = true;
    m_pollTimer->stop();
    m_identTimer->stop();
    m_reidentifying = false;
    if (m_owner)
        endRequest(tr("Disconnected"), true);
    setStale(true);
    emit disconnected(QString());
    m_settleTimer->start(proto::DisconnectSettleMs);
}

bool Instrument::holdsPort() const
{
    return m_connected || m_closing;
}

QString Instrument::portPath() const
{
    return m_link->path();
}

QString Instrument::portName() const
{
    return m_portName;
}

QString Instrument::entryText() const
{
    return m_identification.entryText(m_portName);
}

QString Instrument::title() const
{
    return m_identification.title(m_portName);
}

QString Instrument::settingsGroup() const
{
    const QString serial = serialNumber();
    return serial.isEmpty() ? QString() : QStringLiteral("instrument-") + serial;
}

void Instrument::onLost(const QString &reason)
{
    if (m_closing) {
        // The user's Disconnect was under way: the port is gone already.
        m_settleTimer->stop();
        m_closing = false;
        emit portReleased();
        return;
    }
    if (!m_connected)
        return;
    say(m_portName + QStringLiteral(": connection lost: ") + reason, lcLink());
    endSession(tr("Connection to the instrument was lost: %1").arg(reason));
}

void Instrument::endSession(const QString &reason)
{
    m_connected = false;
    m_link->setConnected(false);
    m_pollTimer->stop();
    m_identTimer->stop();
    m_reidentifying = false;
    if (m_owner)
        endRequest(reason, true);
    m_link->close();
    setStale(true);
    emit disconnected(reason);
}

void Instrument::setModel(const bert::Model &model)
{
    m_model = &model;
    if (model.configures)
        bert::applyLetters(model, m_letters);
    emit modelChanged(model);
}

// --- The measurement cycle ---------------------------------------------------------

void Instrument::schedulePoll(int ms)
{
    // One cycle pending at most: scheduling again moves it.
    m_pollTimer->start(ms);
}

bool Instrument::isPolling() const
{
    return m_pollTimer->isActive();
}

void Instrument::restartPolling()
{
    // A request holding the line resumes polling itself when it ends; a cycle
    // run now would take its reply.
    if (!m_connected || m_owner || m_reidentifying)
        return;
    m_sinceRecord.start();
    schedulePoll(m_pollInterval);
}

void Instrument::hold(const QString &why)
{
    if (!m_holds.contains(why))
        m_holds.append(why);
}

void Instrument::release(const QString &why)
{
    m_holds.removeAll(why);
    if (m_holds.isEmpty())
        restartPolling();
}

void Instrument::cycle()
{
    if (m_stepRunning)
        return; // a request's reply is arriving: it is not a record
    m_link->readInto(m_reply);
    bert::Measurement m;
    const bert::RecordReader::Outcome outcome = m_reader.take(m_reply, *m_model, &m);
    const bool valid = outcome == bert::RecordReader::Outcome::Record;
    if (valid) {
        takeRecord(m);
        if (m.reidentify) {
            startReidentify();
            return;
        }
    } else {
        noteSilence();
    }

    if (!m_connected || isHeld() || m_owner || m_reidentifying)
        return;
    if (m_reader.resyncing()) {
        schedulePoll(m_pollInterval);
        return;
    }
    send(QLatin1String(proto::Measure));
    schedulePoll(m_pollInterval);
}

void Instrument::takeRecord(const bert::Measurement &record)
{
    bert::Measurement m = record;
    m_sinceRecord.start();
    m_lastRecordMs = QDateTime::currentMSecsSinceEpoch();
    if (m_stale)
        setStale(false);

    const Transmitter before = m_tx;
    m.txSettled = m_tx == Transmitter::Unknown;
    if (m_model->txSource == bert::TxSource::Flag) {
        m_tx = m.txFlag ? Transmitter::On : Transmitter::Off;
    } else if (m_tx == Transmitter::Unknown) {
        const double tx = bert::powerOutOfRange(m.txDbm) ? -40.0 : m.txDbm;
        m_tx = tx > -40.0 ? Transmitter::On : Transmitter::Off;
    }
    if (m_model->recordHasEye && m.hasEye)
        m_eyeOpening = bert::eyeText(m.eyeWidth, m.eyeHeight);
    m.errorsChanged = m.errors != m_lastErrorCount;
    m_lastErrorCount = m.errors;
    m_last = m;
    ++m_records;

    if (m_log->isRunning())
        m_log->record(*m_model, m);
    m_statistics->record(m.bits, m.errors, m.rateBps);
    if (m_tx != before)
        emit transmitterChanged(m_tx);
    emit measured(m);
}

void Instrument::noteSilence()
{
    // Silence counts only while the cycle polls: not while a request holds the
    // line, and not once the session has ended.
    if (m_stale || !m_connected || m_owner || m_reidentifying || !m_sinceRecord.isValid() ||
        m_sinceRecord.elapsed() < SilenceMs)
        return;
    setStale(true);
    say(m_portName + QStringLiteral(": no reply since ") +
            QDateTime::fromMSecsSinceEpoch(m_lastRecordMs).toString(QStringLiteral("hh:mm:ss")),
        lcMeasure());
}

void Instrument::setStale(bool stale)
{
    if (m_stale == stale)
        return;
    m_stale = stale;
    emit staleChanged(stale);
}

// --- Re-identification -----------------------------------------------------------------

void Instrument::startReidentify()
{
    if (!m_connected)
        return;
    // The instrument asked to be identified again: the line is drained after a
    // moment, the first of three queries dropped (so two go out), the line
    // drained again and a fourth query sent; the reply is read a moment later.
    m_reidentifying = true;
    m_identTimer->disconnect();
    connect(m_identTimer, &QTimer::timeout, this, [this] {
        m_link->drain();
        m_link->skipNext();
        const QString query = QLatin1String(proto::Identify);
        for (int i = 0; i < 3; ++i)
            send(query);
        m_link->drain();
        send(query);
        m_identTimer->disconnect();
        connect(m_identTimer, &QTimer::timeout, this, &Instrument::finishReidentify);
        m_identTimer->start(proto::IdentifySettleMs);
    });
    m_identTimer->start(proto::IdentifySettleMs);
}

void Instrument::finishReidentify()
{
    m_reidentifying = false;
    if (!m_connected)
        return;
    const QByteArray reply = m_link->readAll();
    const bert::Identification id = bert::identify(reply);
    say(id.recognised() ? m_portName + QStringLiteral(": ") + QString::fromLatin1(id.line)
                        : m_portName + QStringLiteral(": the identification names no known model"),
        lcLink());
    // The model stays as it was; the identification is taken only when it
    // names a model (a garbled reply leaves the last good one).
    if (id.recognised()) {
        m_identification = id;
        emit identified();
    }
    m_sinceRecord.start();
    schedulePoll(m_pollInterval);
}

// --- Commands ---------------------------------------------------------------------------

void Instrument::send(const QString &command)
{
    m_link->send(command);
}

bool Instrument::setRate(double mbps, QString *refusal)
{
    const QString command = bert::setRateCommand(*m_model, mbps);
    if (command.isNull())
        return false; // no model with a set-rate unit: nothing to send
    QString why;
    if (!bert::rateWithinModel(*m_model, mbps, &why)) {
        say(m_portName + QStringLiteral(": rate not sent: ") + why, lcMeasure());
        if (refusal)
            *refusal = why;
        emit rateRefused(why);
        return false;
    }
    send(command);
    return true;
}

QString Instrument::patternCommand(int position, const QString &customText) const
{
    position = qBound(0, position, int(m_letters.size()) - 1);
    QString command = QString::asprintf(proto::SetPattern, m_letters[size_t(position)]);
    if (position == 0) {
        if (m_model->customIsDutyCycle)
            command += QString::asprintf("%x", customText.toUInt());
        else
            command += customText;
    }
    return command;
}

void Instrument::setPattern(int position, const QString &customText)
{
    send(patternCommand(position, customText));
    restartPolling();
}

void Instrument::toggleTransmitter()
{
    const bool on = m_tx == Transmitter::Off;
    m_tx = on ? Transmitter::On : Transmitter::Off;
    send(QLatin1String(on ? proto::TxOn : proto::TxOff));
    emit transmitterChanged(m_tx);
}

bool Instrument::setTransmitter(bool on, QString *refusal)
{
    if (!m_model->configures) {
        if (refusal)
            *refusal = tr("no model is set up");
        return false;
    }
    m_tx = on ? Transmitter::On : Transmitter::Off;
    send(QLatin1String(on ? proto::TxOn : proto::TxOff));
    emit transmitterChanged(m_tx);
    return true;
}

void Instrument::resetErrors()
{
    send(QLatin1String(proto::ResetErrors));
    m_statistics->counterReset();
    emit errorsReset();
}

void Instrument::setWavelength(const QString &nmText)
{
    send(QString(QLatin1String(proto::SetWavelength)).arg(nmText));
}

void Instrument::requestRecord()
{
    send(QLatin1String(proto::Measure));
}

void Instrument::sendCommand(const QString &command)
{
    send(command);
}

char Instrument::side() const
{
    return m_link->side();
}

void Instrument::setSide(char side)
{
    const char before = m_link->side();
    m_link->setSide(side);
    if (m_link->side() != before)
        emit sideChanged(m_link->side());
}

void Instrument::say(const QString &line, const QLoggingCategory &category)
{
    qCInfo(category).noquote() << line;
    emit diagnostic(line);
}

// --- The eye scan ------------------------------------------------------------------------

bool Instrument::scanEye(QObject *owner, int scale, std::function<void(const QByteArray &)> done,
                         std::function<void(const QString &)> cut, QString *refusal)
{
    Step step;
    step.delayMs = ScanFirstStepMs;
    step.drain = true; // leftovers of the measurement cycle
    step.command = QString::asprintf(proto::Scan, unsigned(scale));
    step.count = proto::ScanReplyLength;
    step.lookEveryMs = ScanLookMs;
    step.timeoutMs = ScanLookMs * ScanLooks;
    Request r = Request::single(tr("the eye scan"), step,
                                [this, done = std::move(done)](const Reply &reply) {
                                    m_eyeScan = reply.bytes;
                                    if (done)
                                        done(reply.bytes);
                                });
    r.finished = [cut = std::move(cut)](const QString &reason) {
        if (!reason.isEmpty() && cut)
            cut(reason);
    };
    return request(owner, std::move(r), refusal);
}

// --- Requests ------------------------------------------------------------------------------

bool Instrument::isBusy() const
{
    return m_owner || m_reidentifying;
}

QString Instrument::busyWith() const
{
    if (m_owner)
        return m_request.name;
    return m_reidentifying ? tr("the identification") : QString();
}

bool Instrument::request(QObject *owner, Request request, QString *refusal)
{
    QString why;
    if (!m_connected)
        why = tr("No instrument is connected");
    else if (m_owner)
        why = m_owner == owner ? tr("Busy: %1 is still running").arg(m_request.name)
                               : tr("Busy: %1 holds the instrument").arg(m_request.name);
    else if (m_reidentifying)
        why = tr("Busy: %1 holds the instrument").arg(busyWith());
    if (!why.isEmpty()) {
        if (refusal)
            *refusal = why;
        return false;
    }
    m_owner = owner;
    m_request = std::move(request);
    m_step = m_request.first;
    m_stepRunning = false;
    // An owner destroyed in the middle of its request hands the line back.
    m_ownerGone = connect(owner, &QObject::destroyed, this,
                          [this] { endRequest(QString(), false); });
    qCDebug(lcLink).noquote() << QStringLiteral("line taken by ") + m_request.name;
    emit busyChanged(true);
    // A cycle already scheduled still runs once, reads what arrived and stops.
    m_stepTimer->start(qMax(0, m_step.delayMs));
    return true;
}

void Instrument::cancelRequests(QObject *owner)
{
    if (owner && m_owner == owner)
        endRequest(QString(), false);
}

void Instrument::runStep()
{
    if (!m_owner)
        return;
    // The cycle that was scheduled when the request was taken runs before the
    // request's first command (it reads what arrived and asks for nothing),
    // even when its timer, less precise than the request's, is a little late.
    if (m_pollTimer->isActive()) {
        m_pollTimer->stop();
        cycle();
        if (!m_owner)
            return;
    }
    if (m_step.drain)
        m_link->drain();
    if (!m_step.command.isEmpty()) {
        if (m_step.raw)
            m_link->writeRaw(m_step.command);
        else
            send(m_step.command);
    }
    if (!m_owner)
        return; // the write lost the instrument
    m_stepRunning = true;
    m_collector.start(m_step);
    if (m_step.lookEveryMs > 0) {
        look();
        return;
    }
    m_collector.add(m_link->readAll());
    if (m_collector.complete()) {
        // From the event loop, like every other end of a step.
        m_stepTimer->start(0);
        return;
    }
    m_stepTimer->start(qMax(0, m_step.timeoutMs));
}

void Instrument::look()
{
    if (!m_owner || !m_stepRunning)
        return;
    m_collector.add(m_link->readAll());
    const bool take = m_collector.look();
    const quint64 generation = m_generation;
    if (m_request.progress)
        m_request.progress(m_collector.lookIndex());
    if (generation != m_generation)
        return; // the owner cancelled
    if (take)
        endStep(m_collector.how());
    else
        m_lookTimer->start(m_step.lookEveryMs);
}

void Instrument::onReadyRead()
{
    if (!m_stepRunning || m_step.lookEveryMs > 0 ||
        (m_step.count <= 0 && m_step.terminator.isEmpty()))
        return;
    m_collector.add(m_link->readAll());
    if (m_collector.complete())
        endStep(Ended::Complete);
}

void Instrument::endStep(Ended how)
{
    m_stepRunning = false;
    m_stepTimer->stop();
    m_lookTimer->stop();
    if (!m_owner)
        return;
    const Reply reply{m_collector.bytes(), how};
    m_collector.start(Step());
    const quint64 generation = m_generation;
    std::optional<Step> next;
    if (m_request.next)
        next = m_request.next(reply);
    if (generation != m_generation || !m_owner)
        return; // the callback ended the request (or the owner cancelled)
    if (next) {
        m_step = *next;
        m_stepTimer->start(qMax(0, m_step.delayMs));
        return;
    }
    endRequest(QString(), true);
}

void Instrument::endRequest(const QString &reason, bool notify)
{
    const auto finished = std::move(m_request.finished);
    disconnect(m_ownerGone);
    m_owner = nullptr;
    m_request = Request();
    m_stepRunning = false;
    m_stepTimer->stop();
    m_lookTimer->stop();
    ++m_generation;
    // Time spent by a request is not silence of the instrument; polling
    // resumes once, a moment after the request.
    if (m_connected) {
        m_sinceRecord.start();
        schedulePoll(proto::ResumeAfterExchangeMs);
    }
    emit busyChanged(false);
    if (notify && finished)
        finished(reason);
}

} // namespace device
