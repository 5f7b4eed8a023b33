// CPU cost of the measurement cycle with the BER statistics window closed and
// open, over a week-long history, in one run.
//
// A main window is connected to the simulated instrument ("Corvane NanoTb",
// 10.3125 Gb/s) over a real pty, shown on the offscreen platform. After a
// warm-up the statistics history is replaced by 7 days of records at 10 a
// second on a simulated clock (ending at the live counters, with error bursts),
// and the monitor's clock is moved on by 7 days so that live records continue
// it. Then:
//   phase "closed": S seconds with the statistics window closed;
//   phase "open":   S seconds with the window open (figures every record, the
//                   plot of the whole week redrawn once a second).
// Each ReceiveMeas() call is timed (thread CPU) through a wrapper on the
// link's pollDue signal; the GUI thread's CPU over each phase, divided by its
// cycles, includes painting and the plot's redraws.
//
//   bench_stats [--seconds S]      (default 30)
#include "app/mainwindow.h"
#include "device/instrument.h"
#include "device/instrument.h"
#include "benchsupport.h"
#include "device/bermonitor.h"
#include "stats/statswindow.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using bench::threadCpuNs;

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Phase {
    std::vector<qint64> slotNs;
    qint64 threadNs = 0;
    double seconds = 0;
};

void print(const char *name, const Phase &p)
{
    const bench::Figures slot = bench::figures(p.slotNs);
    std::printf("  %-7s cycles %4zu  slot CPU mean %.4f  median %.4f  p99 %.4f ms   "
                "GUI thread CPU per cycle %.4f ms\n",
                name, slot.n, slot.mean, slot.median, slot.p99,
                slot.n ? double(p.threadNs) / 1e6 / double(slot.n) : 0.0);
}

} // namespace

int main(int argc, char *argv[])
{
    int seconds = 30;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--seconds S]\n", argv[0]);
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
    QCoreApplication::setApplicationName(QStringLiteral("bench_stats"));

    const auto sim = bench::listedSimulator("Corvane NanoTb");
    sim->withEngine([](sim::Engine &e) {
        e.setRateBps(10312500000LL);
        e.setBitErrorRate(1e-12);
        e.injectErrors(2000);
    });

    MainWindow w;
    w.show();
    {
        QEventLoop loop;
        QObject::connect(&w, &MainWindow::portsSearched, &loop, &QEventLoop::quit);
        loop.exec();
    }
    device::Instrument *instrument = w.instrument();
    BerMonitor *monitor = instrument->statistics();
    Phase *current = nullptr;
    instrument->aroundCycle = [&](const std::function<void()> &cycle) {
        const qint64 cpu0 = threadCpuNs();
        cycle();
        if (current)
            current->slotNs.push_back(threadCpuNs() - cpu0);
    };
    auto *ports = w.findChild<QComboBox *>(QStringLiteral("PortSelBox"));
    if (ports->count() < 2) {
        std::fprintf(stderr, "the simulated instrument is not listed\n");
        return 1;
    }
    ports->setCurrentIndex(1);
    emit ports->activated(1);
    runFor(1500);
    if (monitor->history().isEmpty()) {
        std::fprintf(stderr, "no records from %s\n", qPrintable(sim->slavePath()));
        return 1;
    }

    // A week of records at 10 a second, ending at the live counters, with an
    // error burst every day and single errors in between.
    const stats::Record live = monitor->history().last();
    const qint64 week = 7LL * 86400 * 1000;
    const qint64 records = week / 100;
    monitor->restart();
    QElapsedTimer fill;
    fill.start();
    const qint64 cpuFill0 = threadCpuNs();
    for (qint64 i = 1; i <= records; ++i) {
        const double f = double(i) / double(records);
        double errors = std::floor(live.errors * f * 0.5);
        errors += std::floor(live.errors * 0.5 * std::floor(f * 7) / 7); // the daily bursts
        monitor->record(i * 100, live.bits * f, std::min(errors, live.errors), 10312500000LL);
    }
    const double fillCpuNs = double(threadCpuNs() - cpuFill0);
    // From now on the clock reads 7 days plus the time since.
    const qint64 offset = week - fill.elapsed();
    monitor->setClock([&fill, offset] { return offset + fill.elapsed(); });

    std::printf("Corvane NanoTb on %s, Qt %s, offscreen\n", qPrintable(sim->slavePath()),
                qVersion());
    std::printf("History: %lld records over 7 days appended in %.3f s CPU (%.1f ns each); "
                "%d buckets of %.1f s, %d plotted points\n",
                records, fillCpuNs / 1e9, fillCpuNs / double(records),
                monitor->history().bucketsInUse(),
                double(monitor->history().bucketWidthMs()) / 1000.0,
                int(monitor->history().points().size()));

    auto measure = [&](Phase &p) {
        current = &p;
        QElapsedTimer wall;
        wall.start();
        const qint64 cpu0 = threadCpuNs();
        runFor(seconds * 1000);
        p.threadNs = threadCpuNs() - cpu0;
        p.seconds = double(wall.nsecsElapsed()) / 1e9;
        current = nullptr;
    };
    Phase closed, open;
    measure(closed);

    const qint64 openCpu0 = threadCpuNs();
    w.showStatistics();
    QCoreApplication::processEvents();
    const double openMs = double(threadCpuNs() - openCpu0) / 1e6;
    auto *window = w.findChild<StatsWindow *>();
    runFor(1500); // the first redraw of the plot
    measure(open);

    std::printf("Opening the window with the week's history: %.1f ms CPU (drawn once)\n", openMs);
    std::printf("Per measurement cycle, %d s each, poll interval %d ms:\n", seconds,
                instrument->pollInterval());
    print("closed", closed);
    print("open", open);
    std::printf("  ratio open/closed: slot CPU %.2f, GUI thread CPU %.2f   (target <= 2)\n",
                bench::figures(open.slotNs).mean /
                    std::max(1e-9, bench::figures(closed.slotNs).mean),
                (double(open.threadNs) / double(std::max<size_t>(1, open.slotNs.size()))) /
                    std::max(1.0, double(closed.threadNs) /
                                      double(std::max<size_t>(1, closed.slotNs.size()))));
    std::printf("History after the run: %d buckets of %.1f s\n", monitor->history().bucketsInUse(),
                double(monitor->history().bucketWidthMs()) / 1000.0);
    if (window)
        window->close();
    w.on_DisConectBtn_clicked();
    return 0;
}
