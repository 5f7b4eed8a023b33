// What the benchmarks share: the clocks they time with, the figures printed
// for a list of timings, and the simulated instrument offered in the port list.
#pragma once
#include <QFile>

#include "link/portsearch.h"
#include "ptysimulator.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

namespace bench {

inline qint64 nowNs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return qint64(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}
inline qint64 threadCpuNs() { return nowNs(CLOCK_THREAD_CPUTIME_ID); }
inline qint64 wallNs() { return nowNs(CLOCK_MONOTONIC); }

// Mean, median, 99th percentile and maximum of timings in nanoseconds, in
// milliseconds; all zero without timings.
struct Figures {
    size_t n = 0;
    double mean = 0, median = 0, p99 = 0, max = 0;
};
inline Figures figures(std::vector<qint64> ns)
{
    Figures f;
    f.n = ns.size();
    if (ns.empty())
        return f;
    std::sort(ns.begin(), ns.end());
    double sum = 0;
    for (qint64 v : ns)
        sum += double(v);
    const size_t n = ns.size();
    const size_t p99 = std::min(n - 1, size_t(std::ceil(0.99 * double(n))) - 1);
    const double median =
        n % 2 ? double(ns[n / 2]) : (double(ns[n / 2 - 1]) + double(ns[n / 2])) / 2;
    f.mean = sum / double(n) / 1e6;
    f.median = median / 1e6;
    f.p99 = double(ns[p99]) / 1e6;
    f.max = double(ns.back()) / 1e6;
    return f;
}

// The simulated model on a pty, listed as the only extra port (a USB serial
// device, as the instrument is); ends the benchmark when it cannot start.
// The resident memory of this process in KiB (-1 when it cannot be read).
inline long rssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

inline std::unique_ptr<sim::PtySimulator> listedSimulator(const char *model)
{
    auto sim = std::make_unique<sim::PtySimulator>();
    QString error;
    if (!sim->start(model, &error)) {
        std::fprintf(stderr, "cannot start the simulated instrument: %s\n", qPrintable(error));
        std::exit(1);
    }
    portcatalog::clearExtras();
    portcatalog::addExtra(sim->slavePath(), QStringLiteral("USB Serial Device"));
    return sim;
}

} // namespace bench
