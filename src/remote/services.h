// The remote-control servers of a running program: SCPI on a raw TCP socket
// and the Prometheus scrape endpoint, both over the instruments of a pool.
// Each listens on loopback unless an address was named; a named address that
// is not a loopback one is used, with a warning on stderr and in the windows
// (through the pool's remote status).
#pragma once
#include <QObject>
#include <QString>

namespace device {
class InstrumentPool;
}
class ScpiServer;
class MetricsServer;

namespace remote {

// Where a server listens, as the command line gave it.
struct Listen {
    bool enabled = false;
    QString address = QStringLiteral("127.0.0.1"); // numeric
    quint16 port = 0;                              // 0: any free port
    bool explicitAddress = false;                  // named on the command line
};

class Services : public QObject
{
    Q_OBJECT

public:
    explicit Services(device::InstrumentPool *pool, QObject *parent = nullptr);
    ~Services() override;

    // Starts the servers that are enabled. False, with the reason, when one
    // cannot listen (nothing is left listening then). The address and port
    // each listens on go to stderr ("corvane: SCPI on 127.0.0.1:5025").
    bool start(const Listen &scpi, const Listen &metrics, QString *error);

    quint16 scpiPort() const;    // 0 when not listening
    quint16 metricsPort() const; // 0 when not listening
    int scpiClients() const;

signals:
    void scpiClientsChanged(int clients);

private:
    class Private;
    Private *d;
};

} // namespace remote
