// Scrapes served per second by the metrics endpoint, and what serving them
// costs the measurement cycle.
//
// The server runs on the main thread's event loop beside a 100 ms precise
// QTimer that stands for the measurement cycle. One client on another thread
// scrapes GET /metrics over a single keep-alive loopback connection as fast as
// it can, one request at a time (as Prometheus does, only without pause).
// Printed: the cost of one exposition (µs), the scrape rate, and the timer's
// lateness (interval beyond 100 ms) first without scrapes, then with them.
//
//   bench_metrics [--seconds S] [--instruments N]     (defaults 5 and 4)
#include "remote/metricsserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

QList<metrics::InstrumentFigures> instruments(int n)
{
    QList<metrics::InstrumentFigures> list;
    for (int i = 0; i < n; ++i) {
        metrics::InstrumentFigures f;
        f.serial = QStringLiteral("CV2417-%1").arg(i, 4, 10, QLatin1Char('0'));
        f.model = QStringLiteral("NanoTb");
        f.port = QStringLiteral("/dev/ttyACM%1").arg(i);
        f.connected = true;
        f.bits = 1.616e12 + i;
        f.errors = 3;
        f.ber = 3 / 1.616e12;
        f.rateBps = 10312500000.0;
        f.rxDbm = -3.2;
        f.txDbm = 1.1;
        f.temperatureC = 42.1;
        f.wavelengthNm = 1550.12;
        f.signal = true;
        f.sync = true;
        f.lastRecordUnixSeconds = 1714000000.25;
        f.confidence = 0.8013;
        list.append(f);
    }
    return list;
}

// Lateness of a 100 ms timer over a phase, in ms.
struct Lateness {
    std::vector<double> ms;
    void print(const char *phase) const
    {
        if (ms.empty())
            return;
        double sum = 0, worst = 0;
        for (double v : ms) {
            sum += v;
            worst = std::max(worst, v);
        }
        std::printf("  100 ms timer, %-13s %4zu ticks, mean lateness %6.3f ms, worst %6.3f ms\n",
                    phase, ms.size(), sum / double(ms.size()), worst);
    }
};

// Runs the event loop for ms milliseconds, recording the cycle timer's lateness.
Lateness cycle(int ms)
{
    Lateness lateness;
    QElapsedTimer clock;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    qint64 last = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        lateness.ms.push_back(std::max(0.0, double(now - last) / 1e6 - 100.0));
        last = now;
    });
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    clock.start();
    timer.start(100);
    loop.exec();
    return lateness;
}

// The scraping client: blocking socket, one request at a time.
void scrapeLoop(quint16 port, std::atomic<bool> *stop, std::atomic<long> *scrapes,
                std::atomic<long> *failures)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        std::perror("connect");
        ++*failures;
        ::close(fd);
        return;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const char request[] = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                           "Accept: application/openmetrics-text;version=1.0.0,text/plain;"
                           "version=0.0.4;q=0.5,*/*;q=0.1\r\n\r\n";
    std::string buffer;
    char chunk[65536];
    while (!stop->load()) {
        if (::send(fd, request, sizeof request - 1, MSG_NOSIGNAL) != ssize_t(sizeof request - 1)) {
            ++*failures;
            break;
        }
        // One reply: headers, then Content-Length bytes.
        size_t need = std::string::npos;
        for (;;) {
            if (need == std::string::npos) {
                const size_t end = buffer.find("\r\n\r\n");
                if (end != std::string::npos) {
                    const size_t at = buffer.find("Content-Length: ");
                    if (buffer.compare(0, 12, "HTTP/1.1 200") != 0 || at == std::string::npos ||
                        at > end) {
                        ++*failures;
                        stop->store(true);
                        break;
                    }
                    need = end + 4 + std::strtoul(buffer.c_str() + at + 16, nullptr, 10);
                }
            }
            if (need != std::string::npos && buffer.size() >= need) {
                buffer.erase(0, need);
                ++*scrapes;
                break;
            }
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) {
                ++*failures;
                stop->store(true);
                break;
            }
            buffer.append(chunk, size_t(n));
        }
    }
    ::close(fd);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int seconds = 5, count = 4;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--instruments"))
            count = std::max(0, std::atoi(argv[i + 1]));
    }
    const QList<metrics::InstrumentFigures> figures = instruments(count);

    std::printf("metrics endpoint, %d instrument(s)\n", count);
    for (auto format : {metrics::Format::Prometheus, metrics::Format::OpenMetrics}) {
        metrics::Writer writer;
        const int rounds = 20000;
        int size = 0;
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < rounds; ++i)
            size = writer.render(figures, format, QStringLiteral("2.61"), QStringLiteral("5.15.8"))
                       .size();
        std::printf("  one exposition (%s): %.2f us, %d bytes\n",
                    format == metrics::Format::Prometheus ? "Prometheus" : "OpenMetrics",
                    double(t.nsecsElapsed()) / 1e3 / rounds, size);
    }

    MetricsServer server([&figures] { return figures; });
    QString error;
    if (!server.listen(QHostAddress::LocalHost, 0, &error)) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(error));
        return 1;
    }

    const Lateness quiet = cycle(2000);

    std::atomic<bool> stop{false};
    std::atomic<long> scrapes{0}, failures{0};
    std::atomic<bool> done{false};
    std::thread client([&] {
        scrapeLoop(server.port(), &stop, &scrapes, &failures);
        done.store(true);
    });
    QElapsedTimer wall;
    wall.start();
    const Lateness busy = cycle(seconds * 1000);
    stop.store(true);
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    const long served = scrapes.load();
    // The client may be waiting for a reply: the loop answers it until it ends.
    while (!done.load())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    client.join();

    std::printf("  scrapes over one keep-alive connection: %ld in %.2f s = %.0f scrapes/s%s\n",
                served, elapsed, double(served) / elapsed,
                failures.load() ? " (the client saw a failure)" : "");
    quiet.print("no scrapes:");
    busy.print("scraping:");
    return failures.load() ? 1 : 0;
}
