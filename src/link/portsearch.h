// Finding the instruments: the serial ports the program may ask (those the
// system lists, plus device paths given on the command line or opened by the
// built-in simulator), and the search that asks every candidate who it is,
// all at once and without blocking.
#pragma once
#include "bert/identification.h"

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

class QSerialPort;

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
// A port is a candidate when its description names one of the USB serial
// bridges the instruments use.
bool isCandidate(const QString &description);
} // namespace portcatalog

// What the search found on one port.
struct Found {
    enum class Status {
        Listed,       // an instrument answered with a known model name
        NotCandidate, // not a port an instrument uses; not asked
        CannotOpen,   // a candidate that would not open
        NoMatch,      // opened, but no model name came back
        InUse,        // held by an instrument of this program; not asked
    };
    Status status = Status::NotCandidate;
    QString path;
    QString portName;
    QString description;
    QString reason; // why it is not listed (CannotOpen, NoMatch, InUse)
    QByteArray reply;
    bert::Identification id;

    QString entryText() const { return id.entryText(portName); }
    // The line the search writes to the diagnostics.
    QString diagnostic() const;
};

Q_DECLARE_METATYPE(Found)

class PortSearch : public QObject
{
    Q_OBJECT

public:
    explicit PortSearch(QObject *parent = nullptr);
    ~PortSearch() override;

    // Asks every candidate port except those in `inUse` (device paths), each
    // with a port object of its own: the identification query three times, a
    // flush, once more (framed with `side`), then reads what arrived
    // IdentifySettleMs later and closes it. finished() gives every port the
    // system and the command line know, in order. False while a search runs.
    bool start(const QStringList &inUse, char side);
    bool running() const { return m_running; }
    const QVector<Found> &results() const { return m_results; }

signals:
    void finished(const QVector<Found> &results);

private:
    void finish();

    bool m_running = false;
    QVector<Found> m_results;
    QList<QSerialPort *> m_ports; // parallel to m_results; null where nothing was opened
};
