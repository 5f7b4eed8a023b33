// What remote control costs, and what it leaves of the measurement cycle.
//
// A simulated NanoTb on a pty, an instrument of its own pool polling it every
// 100 ms, the SCPI server with the instrument commands and the metrics
// endpoint, all on the main thread's event loop as in the programs. The
// clients run on another thread with blocking loopback sockets.
//
//   1. FETC:ERAT? round trips, one at a time: median and 99th percentile.
//   2. A write (OUTP ON) and then a query as two packets: time to the reply,
//      and how many replies came in one piece.
//   3. 1000 queries a second for --seconds: records taken per second beside
//      them, and records lost (requests for a record the cycle did not take).
//   4. Scrapes of /metrics as fast as one keep-alive client goes: scrapes per
//      second, records per second and lost; and the cost of one scrape
//      (figures of the pool and the exposition text) without the network.
//   5. corvane-headless polling a corvane-sim of its own (two processes):
//      resident memory and CPU of the headless process over --seconds, and
//      the mappings that hold most of its memory.
//
//   bench_scpi [--seconds S] [--round-trips N]    (defaults 60 and 2000)
#include "device/instrument.h"
#include "device/instrumentpool.h"
#include "remote/figures.h"
#include "remote/metricsserver.h"
#include "remote/scpicommands.h"
#include "remote/scpiserver.h"

#include "benchsupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>

namespace {

// A blocking loopback client reading reply lines.
class Socket
{
public:
    explicit Socket(quint16 port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
            std::perror("connect");
            std::exit(1);
        }
        int one = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~Socket() { ::close(m_fd); }
    void send(const std::string &bytes)
    {
        if (::send(m_fd, bytes.data(), bytes.size(), 0) != ssize_t(bytes.size())) {
            std::perror("send");
            std::exit(1);
        }
    }
    // The next line; *pieces counts the reads it took.
    std::string line(int *pieces = nullptr)
    {
        int reads = 0;
        size_t lf;
        while ((lf = m_buffer.find('\n')) == std::string::npos) {
            char chunk[65536];
            const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (n <= 0) {
                std::fprintf(stderr, "the server closed the connection\n");
                std::exit(1);
            }
            m_buffer.append(chunk, size_t(n));
            ++reads;
        }
        std::string line = m_buffer.substr(0, lf);
        m_buffer.erase(0, lf + 1);
        if (pieces)
            *pieces = reads;
        return line;
    }
    // One HTTP response with Content-Length; returns the body's size.
    size_t response()
    {
        size_t end;
        while ((end = m_buffer.find("\r\n\r\n")) == std::string::npos)
            fill();
        const size_t at = m_buffer.find("Content-Length: ");
        const size_t length = std::stoul(m_buffer.substr(at + 16));
        while (m_buffer.size() < end + 4 + length)
            fill();
        m_buffer.erase(0, end + 4 + length);
        return length;
    }

private:
    void fill()
    {
        char chunk[65536];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            std::fprintf(stderr, "the server closed the connection\n");
            std::exit(1);
        }
        m_buffer.append(chunk, size_t(n));
    }
    int m_fd;
    std::string m_buffer;
};

void sleepUntil(qint64 wallNs)
{
    const qint64 left = wallNs - bench::wallNs();
    if (left > 0)
        ::usleep(useconds_t(left / 1000));
}

// Runs the client on its own thread while the event loop serves it.
void serve(const std::function<void()> &client)
{
    std::thread t([&] {
        client();
        QMetaObject::invokeMethod(qApp, "quit", Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    t.join();
}

// Records and requests for records during a phase.
struct Cycle {
    device::Instrument *instrument;
    sim::PtySimulator *sim;
    quint64 records0 = 0;
    qint64 requests0 = 0;
    qint64 t0 = 0;
    void start()
    {
        records0 = instrument->recordCount();
        requests0 = sim->withEngine([](sim::Engine &e) { return e.commandsReceived(); });
        t0 = bench::wallNs();
    }
    void report(const char *what) const
    {
        const double s = double(bench::wallNs() - t0) / 1e9;
        const quint64 records = instrument->recordCount() - records0;
        qint64 asked = 0;
        for (const sim::LoggedCommand &c : sim->commandLog())
            asked += c.index >= requests0 && c.line == "r";
        std::printf(
            "  %s: %.2f records/s (goal 10), %lld requests for a record, %lld records lost\n", what,
            double(records) / s, static_cast<long long>(asked),
            static_cast<long long>(asked - qint64(records)));
    }
};

// --- corvane-headless as a process ---------------------------------------------

qint64 cpuTicks(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // Fields after the command's closing parenthesis: state is field 3,
    // utime 14 and stime 15.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.value(11).toLongLong() + fields.value(12).toLongLong();
}

QByteArray statusField(qint64 pid, const char *field)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).simplified();
    return {};
}

// Resident kB per mapping name (a library, [heap], [anon], ...), largest first.
std::vector<std::pair<qint64, QByteArray>> residentByMapping(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/smaps").arg(pid));
    std::map<QByteArray, qint64> kb;
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray name;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (!parts.at(0).endsWith(':')) { // a mapping: range, perms, offset, device, inode, name
            name = parts.size() >= 6 ? parts.at(5).mid(parts.at(5).lastIndexOf('/') + 1)
                                     : QByteArray("[anon]");
            continue;
        }
        if (line.startsWith("Rss:"))
            kb[name] += line.mid(4).simplified().split(' ').at(0).toLongLong();
    }
    std::vector<std::pair<qint64, QByteArray>> sorted;
    for (const auto &e : kb)
        sorted.push_back({e.second, e.first});
    std::sort(sorted.rbegin(), sorted.rend());
    return sorted;
}

void headlessProcess(int seconds)
{
    QProcess sim;
    sim.start(QStringLiteral(CORVANE_SIM_BINARY), QStringList());
    if (!sim.waitForReadyRead(5000)) {
        std::printf("  corvane-sim did not start\n");
        return;
    }
    const QString path = QString::fromLatin1(sim.readLine().trimmed());
    QProcess headless;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("corvane.*.info=false"));
    headless.setProcessEnvironment(env);
    headless.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    headless.start(QStringLiteral(CORVANE_HEADLESS_BINARY),
                   QStringList{QStringLiteral("--headless"), QStringLiteral("--port"), path});
    if (!headless.waitForStarted(5000)) {
        std::printf("  corvane-headless did not start\n");
        return;
    }
    const qint64 pid = headless.processId();
    QThread::sleep(3); // the search and the first records
    const long hz = ::sysconf(_SC_CLK_TCK);
    const qint64 t0 = bench::wallNs();
    const qint64 c0 = cpuTicks(pid);
    QThread::sleep(ulong(seconds));
    const qint64 c1 = cpuTicks(pid);
    const double wall = double(bench::wallNs() - t0) / 1e9;
    std::printf("  CPU: %.3f %% of a core over %.0f s (goal <= 0.1 %%; %lld ticks of 1/%ld s)\n",
                100.0 * double(c1 - c0) / double(hz) / wall, wall, static_cast<long long>(c1 - c0),
                hz);
    std::printf("  resident: VmRSS %s, peak VmHWM %s (goal <= 15 MiB)\n",
                statusField(pid, "VmRSS:").constData(), statusField(pid, "VmHWM:").constData());
    std::printf("  where it goes (resident kB by mapping):\n");
    int shown = 0;
    for (const auto &e : residentByMapping(pid)) {
        if (shown++ == 10)
            break;
        std::printf("    %6lld kB  %s\n", static_cast<long long>(e.first), e.second.constData());
    }
    headless.terminate();
    headless.waitForFinished(5000);
    std::printf("  summary at SIGTERM: %s", headless.readAllStandardOutput().constData());
    sim.terminate();
    sim.waitForFinished(5000);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures as they come, also into a file
    int seconds = 60;
    int roundTrips = 2000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QByteArray option = argv[i];
        if (option == "--seconds")
            seconds = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--round-trips")
            roundTrips = std::max(10, std::atoi(argv[i + 1]));
    }
    qRegisterMetaType<bert::Measurement>();

    std::unique_ptr<sim::PtySimulator> sim = bench::listedSimulator("Corvane NanoTb");
    device::InstrumentPool pool;
    {
        QSignalSpy searched(&pool, &device::InstrumentPool::searchFinished);
        pool.search('A');
        searched.wait(5000);
    }
    const Found *found = pool.found(sim->slavePath());
    device::Instrument instrument;
    pool.add(&instrument);
    QSignalSpy first(&instrument, &device::Instrument::measured);
    if (!found || !instrument.connectTo(*found) || !first.wait(3000)) {
        std::fprintf(stderr, "the simulated instrument did not connect\n");
        return 1;
    }
    scpi::CommandSet commands;
    remote::addInstrumentCommands(&commands, &pool);
    ScpiServer scpiServer(&commands);
    MetricsServer metricsServer([&pool] { return remote::figuresOf(pool); });
    if (!scpiServer.listen(QHostAddress::LocalHost, 0, nullptr) ||
        !metricsServer.listen(QHostAddress::LocalHost, 0, nullptr))
        return 1;
    const quint16 scpiPort = scpiServer.port(), metricsPort = metricsServer.port();
    Cycle cycle{&instrument, sim.get()};
    std::printf("bench_scpi: Corvane NanoTb simulated on %s, polled every %d ms\n",
                qPrintable(sim->slavePath()), instrument.pollInterval());

    std::printf("1. FETC:ERAT? round trips (%d, one at a time)\n", roundTrips);
    serve([&] {
        Socket s(scpiPort);
        std::vector<qint64> ns;
        for (int i = 0; i < roundTrips; ++i) {
            const qint64 t = bench::wallNs();
            s.send("FETC:ERAT?\n");
            s.line();
            ns.push_back(bench::wallNs() - t);
        }
        const bench::Figures f = bench::figures(ns);
        std::printf("  median %.3f ms, p99 %.3f ms (goal <= 2 ms), max %.3f ms\n", f.median, f.p99,
                    f.max);
    });

    std::printf("2. OUTP ON, then FETC:ERAT? as a second packet (%d)\n", roundTrips / 2);
    serve([&] {
        Socket s(scpiPort);
        std::vector<qint64> ns;
        int whole = 0;
        for (int i = 0; i < roundTrips / 2; ++i) {
            const qint64 t = bench::wallNs();
            s.send("OUTP ON\n");
            s.send("FETC:ERAT?\n");
            int pieces = 0;
            s.line(&pieces);
            ns.push_back(bench::wallNs() - t);
            whole += pieces == 1;
        }
        const bench::Figures f = bench::figures(ns);
        std::printf("  median %.3f ms, p99 %.3f ms (goal <= 5 ms), max %.3f ms; %d of %zu "
                    "replies came in one piece\n",
                    f.median, f.p99, f.max, whole, f.n);
    });

    std::printf("3. 1000 FETC:ERAT? a second for %d s\n", seconds);
    cycle.start();
    serve([&] {
        Socket s(scpiPort);
        std::vector<qint64> ns;
        const qint64 start = bench::wallNs();
        for (qint64 i = 0; i < qint64(seconds) * 1000; ++i) {
            sleepUntil(start + i * 1000000);
            const qint64 t = bench::wallNs();
            s.send("FETC:ERAT?\n");
            s.line();
            ns.push_back(bench::wallNs() - t);
        }
        const double s1 = double(bench::wallNs() - start) / 1e9;
        const bench::Figures f = bench::figures(ns);
        std::printf("  %.0f queries/s, median %.3f ms, p99 %.3f ms\n", double(f.n) / s1, f.median,
                    f.p99);
    });
    cycle.report("the cycle meanwhile");

    const int scrapeSeconds = std::max(1, seconds / 6);
    std::printf("4. /metrics scraped as fast as one keep-alive client goes, %d s\n", scrapeSeconds);
    cycle.start();
    serve([&] {
        Socket s(metricsPort);
        const qint64 start = bench::wallNs();
        qint64 scrapes = 0;
        size_t bytes = 0;
        while (bench::wallNs() - start < qint64(scrapeSeconds) * 1000000000LL) {
            s.send("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
            bytes = s.response();
            ++scrapes;
        }
        std::printf("  %.0f scrapes/s of %zu bytes\n",
                    double(scrapes) / (double(bench::wallNs() - start) / 1e9), bytes);
    });
    cycle.report("the cycle meanwhile");
    {
        metrics::Writer writer;
        const int n = 20000;
        const qint64 c0 = bench::threadCpuNs();
        size_t size = 0;
        for (int i = 0; i < n; ++i)
            size += size_t(writer
                               .render(remote::figuresOf(pool), metrics::Format::Prometheus,
                                       QStringLiteral("2.61"), QStringLiteral("5.15"))
                               .size());
        std::printf("  one scrape's figures and text (one instrument): %.2f us CPU (%zu bytes)\n",
                    double(bench::threadCpuNs() - c0) / n / 1000.0, size / n);
    }

    std::printf("5. corvane-headless polling corvane-sim, %d s\n", seconds);
    headlessProcess(seconds);
    return 0;
}
