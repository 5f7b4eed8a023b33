#include "link/portcatalog.h"

#include <QSerialPortInfo>

namespace portcatalog {
namespace {
QList<PortEntry> &extras()
{
    static QList<PortEntry> list;
    return list;
}
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

} // namespace portcatalog
