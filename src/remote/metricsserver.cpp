#include "remote/metricsserver.h"
#include "bert/diagnostics.h"

#include "corvane_version.h"

#include <memory>

namespace metrics {

namespace {


// The q parameter of a media range's parameters ("; version=1.0.0;q=0.5"),
// 1 without one; 0 for a value that is not a number from 0 to 1.
double qualityOf(std::string_view parameters)
{
    while (!parameters.empty()) {
        const size_t semicolon = parameters.find(';');
        std::string_view parameter = http::trimmed(parameters.substr(0, semicolon));
        parameters = semicolon == std::string_view::npos ? std::string_view()
                                                         : parameters.substr(semicolon + 1);
        if (parameter.size() < 2 || (parameter[0] | 0x20) != 'q' || parameter[1] != '=')
            continue;
        parameter.remove_prefix(2);
        // qvalue: 0[.ddd] or 1[.000]
        double q = 0;
        if (parameter.empty() || (parameter[0] != '0' && parameter[0] != '1'))
            return 0;
        q = parameter[0] - '0';
        double scale = 0.1;
        for (size_t i = 1; i < parameter.size(); ++i) {
            const char c = parameter[i];
            if (i == 1 && c == '.')
                continue;
            if (i == 1 || c < '0' || c > '9' || i > 4)
                return 0;
            q += (c - '0') * scale;
            scale /= 10;
        }
        return q > 1 ? 0 : q;
    }
    return 1;
}

} // namespace

bool prefersOpenMetrics(const http::Request &request)
{
    double openMetrics = 0, text = 0;
    request.forEachValue("Accept", [&](std::string_view value) {
        while (!value.empty()) {
            const size_t comma = value.find(',');
            const std::string_view range = value.substr(0, comma);
            value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
            const size_t semicolon = range.find(';');
            const std::string_view type = http::trimmed(range.substr(0, semicolon));
            const double q =
                semicolon == std::string_view::npos ? 1.0 : qualityOf(range.substr(semicolon + 1));
            if (http::equalsIgnoringCase(type, "application/openmetrics-text"))
                openMetrics = std::max(openMetrics, q);
            else if (http::equalsIgnoringCase(type, "text/plain") ||
                     http::equalsIgnoringCase(type, "text/*") || type == "*/*")
                text = std::max(text, q);
        }
    });
    return openMetrics > 0 && openMetrics >= text;
}

ScrapeHandler::ScrapeHandler(Provider provider, QString version, QString qtVersion)
    : m_provider(std::move(provider)), m_version(std::move(version)),
      m_qtVersion(std::move(qtVersion))
{
}

void ScrapeHandler::operator()(const http::Request &request, http::Reply &reply)
{
    if (request.path != "/metrics") {
        reply.status = 404;
        reply.body = http::errorBody(404);
        return;
    }
    if (request.method != "GET") {
        reply.status = 405;
        reply.body = http::errorBody(405);
        reply.allow = "GET";
        return;
    }
    const Format format = prefersOpenMetrics(request) ? Format::OpenMetrics : Format::Prometheus;
    const QList<InstrumentFigures> instruments =
        m_provider ? m_provider() : QList<InstrumentFigures>();
    const QByteArray &text = m_writer.render(instruments, format, m_version, m_qtVersion);
    reply.status = 200;
    reply.contentType = contentType(format);
    reply.body = std::string_view(text.constData(), size_t(text.size()));
}

} // namespace metrics

MetricsServer::MetricsServer(metrics::Provider provider, QObject *parent)
    : QObject(parent),
      m_responder(
          [handler = std::make_shared<metrics::ScrapeHandler>(std::move(provider),
                                                              QStringLiteral(CORVANE_VERSION),
                                                              QString::fromLatin1(qVersion()))](
              const http::Request &request, http::Reply &reply) { (*handler)(request, reply); },
          this)
{
}

bool MetricsServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    QString why;
    if (!m_responder.listen(address, port, &why)) {
        qCWarning(lcRemote).noquote() << QStringLiteral("cannot serve metrics on %1:%2: %3")
                                              .arg(address.toString())
                                              .arg(port)
                                              .arg(why);
        if (error)
            *error = why;
        return false;
    }
    if (!address.isLoopback())
        qCWarning(lcRemote).noquote()
            << QStringLiteral("serving metrics on %1:%2, which other machines can reach")
                   .arg(address.toString())
                   .arg(m_responder.port());
    else
        qCInfo(lcRemote).noquote() << QStringLiteral("serving metrics on http://%1:%2/metrics")
                                           .arg(address.toString())
                                           .arg(m_responder.port());
    return true;
}
