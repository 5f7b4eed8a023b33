#include "remote/services.h"

#include "device/instrumentpool.h"

namespace remote {

class Services::Private
{
public:
    device::InstrumentPool *pool = nullptr;
};

Services::Services(device::InstrumentPool *pool, QObject *parent)
    : QObject(parent), d(new Private)
{
    d->pool = pool;
}

Services::~Services()
{
    delete d;
}

bool Services::start(const Listen &scpi, const Listen &metrics, QString *error)
{
    if (scpi.enabled || metrics.enabled) {
        *error = QStringLiteral("remote control is not available yet");
        return false;
    }
    return true;
}

quint16 Services::scpiPort() const
{
    return 0;
}

quint16 Services::metricsPort() const
{
    return 0;
}

int Services::scpiClients() const
{
    return 0;
}

} // namespace remote
