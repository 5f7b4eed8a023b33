#include "remote/services.h"

#include "device/instrumentpool.h"
#include "remote/figures.h"
#include "remote/metricsserver.h"
#include "remote/scpi.h"
#include "remote/scpicommands.h"
#include "remote/scpiserver.h"

#include <QHostAddress>
#include <cstdio>

namespace remote {

namespace {

// "127.0.0.1:5025", "[::1]:5025".
QString endpointText(const QHostAddress &address, quint16 port)
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
                             : address.toString();
    return host + QLatin1Char(':') + QString::number(port);
}

// The address a server binds to; false with the reason for an address that
// is not numeric, or one beyond loopback that the user did not name.
bool addressOf(const Listen &l, const char *what, QHostAddress *address, QString *error)
{
    if (!address->setAddress(l.address)) {
        *error = QStringLiteral("cannot listen on %1 for %2: not a numeric IP address")
                     .arg(l.address, QLatin1String(what));
        return false;
    }
    if (!address->isLoopback() && !l.explicitAddress) {
        *error = QStringLiteral("cannot listen on %1 for %2: only a loopback address is used "
                                "unless one is named")
                     .arg(l.address, QLatin1String(what));
        return false;
    }
    return true;
}

} // namespace

class Services::Private
{
public:
    device::InstrumentPool *pool = nullptr;
    scpi::CommandSet commands;
    ScpiServer *scpi = nullptr;
    MetricsServer *metrics = nullptr;
    QString scpiLine, metricsLine; // "SCPI on 127.0.0.1:5025", "metrics on http://..."
    QStringList warnings;

    void publish(int clients)
    {
        device::InstrumentPool::RemoteStatus status;
        QStringList lines;
        for (const QString &line : {scpiLine, metricsLine})
            if (!line.isEmpty())
                lines << line;
        status.server = lines.join(QStringLiteral("; "));
        status.clients = clients;
        status.warning = warnings.join(QLatin1Char('\n'));
        pool->setRemoteStatus(status);
    }
};

Services::Services(device::InstrumentPool *pool, QObject *parent) : QObject(parent), d(new Private)
{
    d->pool = pool;
    addInstrumentCommands(&d->commands, pool);
}

Services::~Services()
{
    // The servers go first: their sessions refer to the command set.
    delete d->scpi;
    delete d->metrics;
    if (!d->scpiLine.isEmpty() || !d->metricsLine.isEmpty())
        d->pool->setRemoteStatus({});
    delete d;
}

bool Services::start(const Listen &scpi, const Listen &metrics, QString *error)
{
    QHostAddress scpiAddress, metricsAddress;
    if ((scpi.enabled && !addressOf(scpi, "SCPI", &scpiAddress, error)) ||
        (metrics.enabled && !addressOf(metrics, "metrics", &metricsAddress, error)))
        return false;

    if (scpi.enabled) {
        auto *server = new ScpiServer(&d->commands, this);
        QString why;
        if (!server->listen(scpiAddress, scpi.port, &why)) {
            delete server;
            // The server's message names the address and port; the reason ends it.
            *error = QStringLiteral("cannot listen on %1 for SCPI: %2")
                         .arg(endpointText(scpiAddress, scpi.port),
                              why.section(QStringLiteral(": "), -1));
            return false;
        }
        d->scpi = server;
        connect(server, &ScpiServer::clientsChanged, this, [this](int clients) {
            d->publish(clients);
            emit scpiClientsChanged(clients);
        });
    }
    if (metrics.enabled) {
        auto *server = new MetricsServer([pool = d->pool] { return figuresOf(*pool); }, this);
        QString why;
        if (!server->listen(metricsAddress, metrics.port, &why)) {
            delete server;
            delete d->scpi; // nothing is left listening
            d->scpi = nullptr;
            *error = QStringLiteral("cannot listen on %1 for metrics: %2")
                         .arg(endpointText(metricsAddress, metrics.port), why);
            return false;
        }
        d->metrics = server;
    }

    if (d->scpi) {
        const QString where = endpointText(scpiAddress, d->scpi->port());
        d->scpiLine = QStringLiteral("SCPI on ") + where;
        std::fprintf(stderr, "corvane: SCPI on %s\n", qPrintable(where));
        if (!scpiAddress.isLoopback()) {
            const QString warning =
                QStringLiteral("SCPI listens on %1, beyond this computer: whoever reaches it "
                               "there can drive the instruments")
                    .arg(where);
            d->warnings << warning; // the server has said so on stderr
        }
    }
    if (d->metrics) {
        const QString where = endpointText(metricsAddress, d->metrics->port());
        d->metricsLine = QStringLiteral("metrics on http://%1/metrics").arg(where);
        std::fprintf(stderr, "corvane: metrics on http://%s/metrics\n", qPrintable(where));
        if (!metricsAddress.isLoopback()) {
            const QString warning =
                QStringLiteral("metrics are served on %1, beyond this computer: whoever "
                               "reaches it there can read the measurements")
                    .arg(where);
            d->warnings << warning; // the server has said so on stderr
        }
    }
    std::fflush(stderr);
    if (d->scpi || d->metrics)
        d->publish(scpiClients());
    return true;
}

quint16 Services::scpiPort() const
{
    return d->scpi ? d->scpi->port() : 0;
}

quint16 Services::metricsPort() const
{
    return d->metrics ? d->metrics->port() : 0;
}

int Services::scpiClients() const
{
    return d->scpi ? d->scpi->clientCount() : 0;
}

} // namespace remote
