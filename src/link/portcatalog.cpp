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
    extras().append({path, description});
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
        all.append({info.portName(), info.description()});
    all += extras();
    return all;
}

} // namespace portcatalog
