// The Prometheus scrape endpoint: GET /metrics answered with the exposition of
// the instruments' last figures, in the Prometheus text format or, when the
// scraper accepts it, OpenMetrics.
#pragma once

#include "remote/httpresponder.h"
#include "remote/metrics.h"

#include <QHostAddress>
#include <QObject>

#include <functional>

namespace metrics {

using Provider = std::function<QList<InstrumentFigures>()>;

// Whether the Accept header values ask for OpenMetrics rather than the
// Prometheus text format: an application/openmetrics-text range that is not
// refused (q=0) and weighs at least as much as text/plain or a wildcard.
bool prefersOpenMetrics(const http::Request &request);

// Routes a request without sockets: GET /metrics gets the exposition, another
// method on /metrics 405, any other path 404.
class ScrapeHandler
{
public:
    ScrapeHandler(Provider provider, QString version, QString qtVersion);
    void operator()(const http::Request &request, http::Reply &reply);

private:
    Provider m_provider;
    QString m_version, m_qtVersion;
    Writer m_writer;
};

} // namespace metrics

class MetricsServer : public QObject
{
    Q_OBJECT
public:
    explicit MetricsServer(metrics::Provider provider, QObject *parent = nullptr);

    // Port 0 takes any free port. A failure is logged (corvane.remote) and
    // error says why; an address other than loopback is served with a warning,
    // as the figures then reach other machines.
    bool listen(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const { return m_responder.port(); }
    HttpResponder &responder() { return m_responder; }

private:
    HttpResponder m_responder;
};
