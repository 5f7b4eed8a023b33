#include "link/link.h"

#include "link/commandframe.h"
#include "link/diagnostics.h"
#include "link/protocol.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QThread>
#include <QTimer>

Link::Link(QObject *parent) : QObject(parent)
{
    m_port = new QSerialPort(this);
    connect(m_port, &QSerialPort::errorOccurred, this, &Link::onError);
    connect(m_port, &QIODevice::readyRead, this, &Link::checkCollect);

    m_pollTimer = new QTimer(this);
    m_pollTimer->setSingleShot(true);
    connect(m_pollTimer, &QTimer::timeout, this, &Link::pollDue);

    m_collectTimer = new QTimer(this);
    m_collectTimer->setSingleShot(true);
    connect(m_collectTimer, &QTimer::timeout, this, [this] { finishCollect(Collected::TimedOut); });
}

Link::~Link()
{
    // Windows that still hold the line are being destroyed with us: tell nobody.
    if (m_owner)
        disconnect(m_ownerGone);
    m_collect = Pending();
}

// --- The port ---------------------------------------------------------------

bool Link::open(const QString &path, QString *reason)
{
    if (m_port->isOpen())
        m_port->close();
    m_port->setPortName(path);
    m_connected = m_port->open(QIODevice::ReadWrite);
    if (!m_connected) {
        QString why = m_port->errorString();
        if (m_port->error() == QSerialPort::PermissionError)
            why += tr(". Your user must be in the \"dialout\" group to use serial ports.");
        if (reason)
            *reason = why;
        return false;
    }
    m_port->setReadBufferSize(0);
    emit opened(m_port->portName());
    return true;
}

void Link::disconnectSession()
{
    if (!m_connected)
        return;
    collectFor(proto::DisconnectSettleMs);
    if (m_port->isOpen())
        m_port->close();
    m_connected = 0;
    releaseLine(tr("Disconnected"));
    emit closed(QString());
}

bool Link::isOpen() const
{
    return m_port->isOpen();
}

QString Link::portName() const
{
    return m_port->portName();
}

void Link::onError()
{
    // A vanished device makes the port report read or resource errors in a
    // tight loop until it is closed: close it at once. Other errors (the
    // modem-line ioctls a pty refuses, for one) are harmless here.
    const QSerialPort::SerialPortError error = m_port->error();
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (!m_port->isOpen())
        return;
    const QString reason = m_port->errorString();
    m_port->close();
    const bool wasSession = m_connected;
    m_connected = 0;
    if (wasSession)
        lose(reason);
}

void Link::lose(const QString &reason)
{
    const QString why = tr("Connection to the instrument was lost (%1)").arg(reason);
    qCWarning(lcLink).noquote() << portName() + QStringLiteral(": connection lost: ") + reason;
    releaseLine(why);
    emit closed(why);
}

// --- The command sender -------------------------------------------------------

void Link::send(const QString &command)
{
    m_buffer = command;
    if (m_skip) {
        m_skip = 0;
        return;
    }
    frameCommand(m_buffer, m_side);
    if (!m_connected || !m_port->isOpen())
        return;
    const QByteArray bytes = m_buffer.toUtf8();
    const int nul = bytes.indexOf('\0');
    m_port->write(nul < 0 ? bytes : bytes.left(nul));
    waitWritten();
}

void Link::writeRaw(const QString &text)
{
    if (!m_port->isOpen())
        return;
    m_port->write((text + QLatin1String(proto::LineEnd)).toLocal8Bit());
    waitWritten();
}

void Link::waitWritten()
{
    m_port->flush();
    // Once everything is written, waitForBytesWritten would block its whole
    // time-out and report failure; wait only while bytes remain.
    QDeadlineTimer deadline(proto::WriteWaitMs);
    while (m_port->isOpen() && m_port->bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!m_port->waitForBytesWritten(int(deadline.remainingTime())))
            break;
    }
}

// --- Reading ------------------------------------------------------------------

qint64 Link::bytesAvailable() const
{
    return m_port->isOpen() ? m_port->bytesAvailable() : 0;
}

QByteArray Link::readAll()
{
    return m_port->isOpen() ? m_port->readAll() : QByteArray();
}

qint64 Link::readInto(QByteArray &buf)
{
    const qint64 n = bytesAvailable();
    buf.resize(int(n));
    if (n > 0)
        m_port->read(buf.data(), n);
    return n;
}

QByteArray Link::collectFor(int ms)
{
    QByteArray got;
    QDeadlineTimer deadline(ms);
    if (!m_port->isOpen()) {
        QThread::msleep(ulong(ms));
        return got;
    }
    got += m_port->readAll();
    while (!deadline.hasExpired()) {
        if (m_port->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            got += m_port->readAll();
        else if (!m_port->isOpen() || m_port->error() == QSerialPort::ReadError ||
                 m_port->error() == QSerialPort::ResourceError)
            break;
    }
    if (m_port->isOpen())
        got += m_port->readAll();
    return got;
}

// --- Identification -------------------------------------------------------------

QByteArray Link::identify(Handshake kind)
{
    const QString query = QLatin1String(proto::Identify);
    if (kind == Handshake::Reidentify) {
        collectFor(proto::IdentifySettleMs);
        m_skip = 1; // the first of the three queries is dropped
    }
    for (int i = 0; i < 3; ++i)
        send(query);
    if (m_port->isOpen()) {
        m_port->flush();
        if (kind == Handshake::Reidentify)
            m_port->readAll();
    }
    send(query);
    return collectFor(proto::IdentifySettleMs);
}

bool Link::probePorts(const QStringList &paths)
{
    if (probing())
        return false;
    m_results.clear();
    for (const QString &path : paths) {
        Probe probe;
        probe.path = path;
        auto *port = new QSerialPort(this);
        port->setPortName(path);
        probe.portName = port->portName();
        probe.opened = port->open(QIODevice::ReadWrite);
        if (!probe.opened) {
            probe.error = port->errorString();
            delete port;
            port = nullptr;
        } else {
            // A device that vanishes while it is asked reports errors in a
            // tight loop until closed; what it sent so far is its reply.
            connect(port, &QSerialPort::errorOccurred, port, [port] {
                if (port->isOpen() && (port->error() == QSerialPort::ResourceError ||
                                       port->error() == QSerialPort::ReadError))
                    port->close();
            });
            // The discovery queries, framed like every command: three, a
            // flush, and a fourth.
            const QString query = QLatin1String(proto::Identify);
            for (int i = 0; i < 4; ++i) {
                QString framed = query;
                frameCommand(framed, m_side);
                port->write(framed.toUtf8());
                if (i == 2)
                    port->flush();
            }
            port->flush();
        }
        m_results.append(probe);
        m_probes.append(port);
    }
    if (m_results.isEmpty()) {
        QTimer::singleShot(0, this, &Link::finishProbes);
        m_probes.append(nullptr); // marks the search as running until then
        return true;
    }
    QTimer::singleShot(proto::IdentifySettleMs, this, &Link::finishProbes);
    return true;
}

void Link::finishProbes()
{
    for (int i = 0; i < m_probes.size() && i < m_results.size(); ++i) {
        QSerialPort *port = m_probes[i];
        if (!port)
            continue;
        if (port->isOpen()) {
            port->waitForReadyRead(0); // take what the system has buffered
            m_results[i].reply = port->readAll();
            port->close();
        }
        port->deleteLater();
    }
    m_probes.clear();
    const QVector<Probe> results = m_results;
    m_results.clear();
    emit probesFinished(results);
}

void Link::recognise(int code)
{
    m_model = code;
    emit modelRecognised(code);
}

// --- Measurement polling ----------------------------------------------------------

void Link::schedulePoll(int ms)
{
    m_pollTimer->start(ms);
}

bool Link::pollPending() const
{
    return m_pollTimer->isActive();
}

// --- Exchanges ----------------------------------------------------------------------

bool Link::beginExchange(QObject *owner, const QString &what, QString *refusal)
{
    if (m_owner) {
        if (refusal)
            *refusal = m_owner == owner ? tr("Busy: %1 is still running").arg(m_ownerWhat)
                                        : tr("Busy: %1 holds the instrument").arg(m_ownerWhat);
        return false;
    }
    m_owner = owner;
    m_ownerWhat = what;
    // A window destroyed in the middle of its exchange hands the line back.
    m_ownerGone = connect(owner, &QObject::destroyed, this, [this](QObject *gone) {
        if (m_collect.owner == gone)
            m_collect = Pending();
        m_collectTimer->stop();
        m_owner = nullptr;
        if (m_connected)
            schedulePoll(proto::ResumeAfterExchangeMs);
    });
    qCDebug(lcLink).noquote() << QStringLiteral("line taken by ") + what;
    return true;
}

void Link::endExchange(QObject *owner)
{
    if (!holds(owner))
        return;
    if (m_collect.owner == owner) {
        m_collect = Pending();
        m_collectTimer->stop();
    }
    disconnect(m_ownerGone);
    m_owner = nullptr;
    if (m_connected)
        schedulePoll(proto::ResumeAfterExchangeMs);
    emit exchangeEnded(owner, QString());
}

void Link::releaseLine(const QString &reason)
{
    if (m_collect.active)
        finishCollect(Collected::Lost);
    if (!m_owner)
        return;
    QObject *owner = m_owner;
    disconnect(m_ownerGone);
    m_owner = nullptr;
    emit exchangeEnded(owner, reason);
}

void Link::collect(QObject *owner, const Collect &what, CollectDone done)
{
    if (!holds(owner) || !m_connected) {
        // Nothing to collect from: say so from the event loop, as promised.
        QTimer::singleShot(0, owner, [done] { done(QByteArray(), Collected::Lost); });
        return;
    }
    m_collect = Pending();
    m_collect.owner = owner;
    m_collect.what = what;
    m_collect.done = std::move(done);
    m_collect.active = true;
    m_collectTimer->start(qMax(0, what.timeoutMs));
    // Bytes that are already waiting count too.
    QTimer::singleShot(0, this, &Link::checkCollect);
}

void Link::checkCollect()
{
    if (!m_collect.active)
        return;
    if (m_port->isOpen())
        m_collect.got += m_port->readAll();
    const Collect &w = m_collect.what;
    const bool byCount = w.count > 0 && m_collect.got.size() >= w.count;
    const bool byEnd = !w.terminator.isEmpty() && m_collect.got.contains(w.terminator);
    if (byCount || byEnd)
        finishCollect(Collected::Complete);
}

void Link::finishCollect(Collected how)
{
    if (!m_collect.active)
        return;
    if (how == Collected::TimedOut && m_port->isOpen())
        m_collect.got += m_port->readAll();
    Pending finished = std::move(m_collect);
    m_collect = Pending();
    m_collectTimer->stop();
    if (finished.done)
        finished.done(finished.got, how);
}
