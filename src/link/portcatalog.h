// The serial ports the program may query: those the system lists, plus device
// paths given on the command line or opened by the built-in simulator.
#pragma once
#include <QList>
#include <QString>

struct PortEntry {
    QString path;        // what the port is opened by (the device path)
    QString name;        // the port's name as the system shows it ("ttyACM0", "pts/3")
    QString description; // the driver's description
};

namespace portcatalog {

// Adds a device path as a candidate; it is listed after the system's ports.
void addExtra(const QString &path, const QString &description);
void clearExtras();
QList<PortEntry> ports();

} // namespace portcatalog
