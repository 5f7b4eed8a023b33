#include "link/portsearch.h"

#include "bert/commandframe.h"
#include "bert/protocol.h"

#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTimer>

namespace portcatalog {
namespace {
QList<PortEntry> &extras()
{
    static QList<PortEntry> list;
    return list;
}
const char *const CandidateDescriptions[] = {"USB Serial Device", "CCS USB to UART"};
} // namespace

void addExtra(const QString &path, const QString &description)
{
    // The name a serial port gives itself for a device path ("/dev/pts/3" -> "pts/3").
    const QString name = path.startsWith(QLatin1String("/dev/")) ? path.mid(5) : path;
    extras().append({path, name, description});
}

void clearExtras()
{
    extras().clear();
}

QList<PortEntry> ports()
{
    QList<PortEntry> all;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos)
        all.append({info.systemLocation(), info.portName(), info.description()});
    all += extras();
    return all;
}

bool isCandidate(const QString &description)
{
    for (const char *d : CandidateDescriptions) {
        if (description.contains(QLatin1String(d)))
            return true;
    }
    return false;
}
} // namespace portcatalog

QString Found::diagnostic() const
{
    switch (status) {
    case Status::Listed:
        return portName + QString::asprintf(": OK, Match %d: ", id.row) +
               QString::fromLatin1(id.line.left(20));
    case Status::NoMatch:
        return portName + QStringLiteral(": OK, NoMatch (") + reason + QLatin1Char(')');
    case Status::CannotOpen:
        return portName + QStringLiteral(": ") + description + QStringLiteral(" (cannot open: ") +
               reason + QLatin1Char(')');
    case Status::InUse:
        return portName + QStringLiteral(": ") + reason;
    case Status::NotCandidate:
        break;
    }
    return description.isEmpty() ? portName : portName + QStringLiteral(": ") + description;
}

PortSearch::PortSearch(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<QVector<Found>>("QVector<Found>");
}

PortSearch::~PortSearch()
{
    qDeleteAll(m_ports);
}

bool PortSearch::start(const QStringList &inUse, char side)
{
    if (m_running)
        return false;
    m_running = true;
    m_results.clear();
    const QList<PortEntry> entries = portcatalog::ports();
    for (const PortEntry &entry : entries) {
        Found found;
        found.path = entry.path;
        found.portName = entry.name;
        found.description = entry.description;
        QSerialPort *port = nullptr;
        if (inUse.contains(entry.path)) {
            found.status = Found::Status::InUse;
            found.reason = tr("in use by another window of this program");
        } else if (portcatalog::isCandidate(entry.description)) {
            port = new QSerialPort(this);
            port->setPortName(entry.path);
            found.portName = port->portName();
            if (!port->open(QIODevice::ReadWrite)) {
                found.status = Found::Status::CannotOpen;
                found.reason = port->errorString();
                delete port;
                port = nullptr;
            } else {
                found.status = Found::Status::NoMatch;
                // A device that vanishes while it is asked reports errors in a
                // tight loop until closed; what it sent so far is its reply.
                connect(port, &QSerialPort::errorOccurred, port, [port] {
                    if (port->isOpen() && (port->error() == QSerialPort::ResourceError ||
                                           port->error() == QSerialPort::ReadError))
                        port->close();
                });
                // The identification queries, framed like every command: three,
                // a flush, and a fourth.
                for (int i = 0; i < 4; ++i) {
                    QString framed = QLatin1String(proto::Identify);
                    frameCommand(framed, side);
                    port->write(framed.toUtf8());
                    if (i == 2)
                        port->flush();
                }
                port->flush();
            }
        }
        m_results.append(found);
        m_ports.append(port);
    }
    QTimer::singleShot(proto::IdentifySettleMs, this, &PortSearch::finish);
    return true;
}

void PortSearch::finish()
{
    for (int i = 0; i < m_results.size(); ++i) {
        QSerialPort *port = m_ports.value(i);
        if (!port)
            continue;
        Found &found = m_results[i];
        if (port->isOpen()) {
            found.reply = port->readAll();
            port->close();
        }
        found.id = bert::identify(found.reply);
        if (found.id.recognised()) {
            found.status = Found::Status::Listed;
        } else {
            found.reason = found.reply.isEmpty()
                               ? tr("no reply within %1 ms").arg(proto::IdentifySettleMs)
                               : tr("the reply names no known model");
        }
        port->deleteLater();
    }
    m_ports.clear();
    m_running = false;
    emit finished(m_results);
}
