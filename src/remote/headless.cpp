#include "remote/headless.h"

#include <QTimer>

namespace remote {

class Headless::Private
{
public:
    device::InstrumentPool *pool = nullptr;
    HeadlessConfig config;
};

Headless::Headless(device::InstrumentPool *pool, const HeadlessConfig &config, QObject *parent)
    : QObject(parent), d(new Private)
{
    d->pool = pool;
    d->config = config;
}

Headless::~Headless()
{
    delete d;
}

void Headless::start()
{
    QTimer::singleShot(0, this, [this] { emit finished(NoInstrument); });
}

} // namespace remote
