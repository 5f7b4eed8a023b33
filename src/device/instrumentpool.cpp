#include "device/instrumentpool.h"

#include "device/instrument.h"

#include <QCoreApplication>

namespace device {

InstrumentPool::InstrumentPool(QObject *parent) : QObject(parent), m_search(new PortSearch(this))
{
    connect(m_search, &PortSearch::finished, this, [this](const QVector<Found> &results) {
        m_searched = true;
        emit searchFinished(results);
    });
}

InstrumentPool::~InstrumentPool() = default;

InstrumentPool *InstrumentPool::instance()
{
    static QPointer<InstrumentPool> pool;
    if (!pool)
        pool = new InstrumentPool(QCoreApplication::instance());
    return pool;
}

void InstrumentPool::add(Instrument *instrument)
{
    m_instruments.append(instrument);
    connect(instrument, &QObject::destroyed, this, [this] {
        m_instruments.removeAll(nullptr);
        emit instrumentsChanged();
    });
    connect(instrument, &Instrument::connected, this, &InstrumentPool::instrumentsChanged);
    connect(instrument, &Instrument::disconnected, this, &InstrumentPool::instrumentsChanged);
    connect(instrument, &Instrument::portReleased, this, &InstrumentPool::instrumentsChanged);
    emit instrumentsChanged();
}

QList<Instrument *> InstrumentPool::instruments() const
{
    QList<Instrument *> all;
    for (const QPointer<Instrument> &i : m_instruments)
        if (i)
            all.append(i);
    return all;
}

QList<Instrument *> InstrumentPool::connectedInstruments() const
{
    QList<Instrument *> all;
    for (Instrument *i : instruments())
        if (i->isConnected())
            all.append(i);
    return all;
}

QStringList InstrumentPool::portsInUse() const
{
    QStringList paths;
    for (Instrument *i : instruments())
        if (i->holdsPort())
            paths.append(i->portPath());
    return paths;
}

void InstrumentPool::search(char side)
{
    if (m_search->running())
        return;
    m_search->start(portsInUse(), side);
    emit searchStarted();
}

Instrument *InstrumentPool::find(const QString &serialOrPath) const
{
    for (Instrument *i : instruments())
        if ((!i->serialNumber().isEmpty() && i->serialNumber() == serialOrPath) ||
            (!i->portPath().isEmpty() && i->portPath() == serialOrPath))
            return i;
    return nullptr;
}

void InstrumentPool::setRemoteStatus(const RemoteStatus &status)
{
    m_remote = status;
    emit remoteStatusChanged();
}

const Found *InstrumentPool::found(const QString &path) const
{
    for (const Found &f : m_search->results())
        if (f.path == path)
            return &f;
    return nullptr;
}

} // namespace device
