// Serves two fixed instruments on /metrics for the scrape checks with promtool
// and Prometheus, until it is terminated. The port goes to stdout on a line of
// its own once the server listens.
//
//   metrics_fixture [PORT]        (default 0: any free port, on 127.0.0.1)
#include "remote/metricsserver.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int signalPipe[2];

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &c, 1);
}

QList<metrics::InstrumentFigures> instruments()
{
    // A running test at 10.3125 Gb/s, every read-out known.
    metrics::InstrumentFigures a;
    a.serial = QStringLiteral("CV2417-0042");
    a.model = QStringLiteral("NanoTb");
    a.port = QStringLiteral("/dev/ttyACM0");
    a.connected = true;
    a.bits = 1.616e12;
    a.errors = 0;
    a.ber = 0;
    a.rateBps = 10312500000.0;
    a.rxDbm = -3.2;
    a.txDbm = 1.1;
    a.temperatureC = 42.1;
    a.wavelengthNm = 1550.12;
    a.signal = true;
    a.sync = false;
    a.lastRecordUnixSeconds = 1714000000.25;
    a.confidence = 0.8013;

    // A week-long test whose counts need the exponent form, a stale record,
    // dashes for the optics, and labels that need escaping.
    metrics::InstrumentFigures b;
    b.serial = QStringLiteral("CV\"2417\"\\0043");
    b.model = QStringLiteral("Nano 24\nrev B");
    b.port = QStringLiteral("/dev/ttyACM1");
    b.connected = true;
    b.stale = true;
    b.bits = 1e17;
    b.errors = 123456789;
    b.ber = 1.23456789e-9;
    b.rateBps = 25781250000.0;
    b.signal = true;
    b.sync = true;
    b.lastRecordUnixSeconds = 1714600000.125;
    b.confidence = 1;
    b.targetBer = 1e-9;
    return {a, b};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const quint16 port = argc > 1 ? quint16(QByteArray(argv[1]).toUInt()) : 0;

    // SIGTERM and SIGINT end the event loop, so the server closes cleanly.
    if (::pipe(signalPipe) != 0)
        return 1;
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);

    MetricsServer server(instruments);
    QString error;
    if (!server.listen(QHostAddress::LocalHost, port, &error)) {
        std::fprintf(stderr, "metrics_fixture: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%u\n", unsigned(server.port()));
    std::fflush(stdout);
    return app.exec();
}
