#include "link/link.h"

#include "bert/commandframe.h"
#include "bert/diagnostics.h"
#include "bert/protocol.h"

#include <QFileInfo>
#include <QSerialPort>

Link::Link(QObject *parent) : QObject(parent), m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::errorOccurred, this, &Link::onError);
    connect(m_port, &QIODevice::readyRead, this, &Link::readyRead);
}

Link::~Link() = default;

bool Link::open(const QString &path, QString *reason)
{
    close();
    m_path = path;
    m_port->setPortName(path);
    if (!m_port->open(QIODevice::ReadWrite)) {
        QString why = m_port->errorString();
        // The port's lock file is held: another program (or another window
        // of this one) has the instrument.
        if (why.contains(QLatin1String("locking"), Qt::CaseInsensitive))
            why = tr("the port is in use by another program (%1)").arg(why);
        else if (m_port->error() == QSerialPort::PermissionError)
            why += tr(". Your user must be in the \"dialout\" group to use serial ports.");
        if (reason)
            *reason = why;
        return false;
    }
    m_port->setReadBufferSize(0);
    return true;
}

void Link::close()
{
    m_connected = false;
    if (m_port->isOpen())
        m_port->close();
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
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::WriteError)
        return;
    if (!m_port->isOpen())
        return;
    const QString system = m_port->errorString();
    const bool detail = !system.isEmpty() && system != QLatin1String("Unknown error");
    QString reason;
    switch (error) {
    case QSerialPort::WriteError:
        reason = tr("the port could not be written (%1)").arg(system);
        break;
    case QSerialPort::ReadError:
        reason = !QFileInfo::exists(m_path) || !detail
                     ? tr("the instrument was unplugged")
                     : tr("the port could not be read (%1)").arg(system);
        break;
    default:
        // The system's words for a vanished device vary ("Unknown error",
        // "Resource temporarily unavailable"); they go to the diagnostics only.
        reason = tr("the instrument was unplugged");
        break;
    }
    qCInfo(lcLink).noquote() << m_port->portName() + QStringLiteral(": the port reports: ") + system;
    m_port->close();
    m_connected = false;
    emit lost(reason);
}

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
    write(nul < 0 ? bytes : bytes.left(nul));
}

void Link::writeRaw(const QString &text)
{
    if (m_port->isOpen())
        write((text + QLatin1String(proto::LineEnd)).toLocal8Bit());
}

void Link::write(const QByteArray &bytes)
{
    // Hands the bytes to the system without waiting; what the system does not
    // take now goes out from the event loop. A failure arrives as WriteError.
    if (m_port->write(bytes) == bytes.size())
        m_port->flush();
}

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

void Link::drain()
{
    if (m_port->isOpen())
        m_port->readAll();
}
