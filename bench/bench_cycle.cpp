// CPU cost of one measurement cycle and records shown per second, measured on
// a main window connected to the simulated instrument over a real pty.
//
// The window's own cycle timer is kept, but its timeout is re-routed through a
// wrapper that times each MainWindow::ReceiveMeas() call (thread CPU time and
// wall time) and notes whether a whole record was waiting to be decoded.
//
//   bench_cycle [--seconds S] [--cycles N] [--fast-interval MS] [--hidden]
//
// Phase 1 (paced): S seconds (default 60) at the program's own poll interval:
//   records/s, and GUI-thread CPU time per cycle (event loop, serial reads,
//   painting of the offscreen window and the slot itself).
// Phase 2 (fast): the poll interval lowered to MS (default 30, the instrument
//   answers after 22 ms) until N (default 1000) records were decoded, to get
//   per-call statistics over enough cycles. --cycles 0 skips it.
// Figures are printed only; nothing is asserted.
#include "app/mainwindow.h"
#include "device/instrument.h"
#include "benchsupport.h"
#include "benchwindow.h"
#include "device/instrument.h"

#include <QComboBox>
#include <QLabel>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace {

using bench::threadCpuNs;

struct Sample {
    qint64 cpuNs;
    qint64 wallNs;
    bool record; // a whole record was waiting when the slot ran
};

struct Recorder {
    std::vector<Sample> samples;
    int records = 0;
    int countChanges = 0; // changes of the bit-count field
    int calls = 0;
};

void printStats(const char *title, std::vector<qint64> ns)
{
    if (ns.empty()) {
        std::printf("  %-34s no samples\n", title);
        return;
    }
    const bench::Figures f = bench::figures(std::move(ns));
    std::printf("  %-34s n=%-6zu mean %.4f  median %.4f  p99 %.4f  max %.4f ms\n", title, f.n,
                f.mean, f.median, f.p99, f.max);
}

void report(const char *phase, const Recorder &r)
{
    std::vector<qint64> cpuRec, wallRec, cpuAll;
    for (const Sample &s : r.samples) {
        cpuAll.push_back(s.cpuNs);
        if (s.record) {
            cpuRec.push_back(s.cpuNs);
            wallRec.push_back(s.wallNs);
        }
    }
    std::printf("%s: ReceiveMeas() calls %d, with a record %d, count field changed %d\n", phase,
                r.calls, r.records, r.countChanges);
    printStats("slot CPU, cycles with a record", cpuRec);
    printStats("slot wall, cycles with a record", wallRec);
    printStats("slot CPU, all calls", cpuAll);
}

// Runs the event loop until done() holds after a measurement cycle, or until
// the deadline. Nothing else wakes the loop: a polling timer here would add
// its own wake-ups to the figures.
std::function<void()> afterCycle;
template <class F> void runUntil(F done, qint64 deadlineMs)
{
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(int(deadlineMs));
    afterCycle = [&] {
        if (done())
            loop.quit();
    };
    loop.exec();
    afterCycle = nullptr;
}

} // namespace

int main(int argc, char *argv[])
{
    double seconds = 60;
    int cycles = 1000;
    int fastInterval = 30;
    bool hidden = false;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--seconds") && hasValue)
            seconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--cycles") && hasValue)
            cycles = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--fast-interval") && hasValue)
            fastInterval = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--hidden"))
            hidden = true;
        else {
            std::fprintf(stderr,
                         "usage: %s [--seconds S] [--cycles N] [--fast-interval MS] [--hidden]\n",
                         argv[0]);
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const auto sim = bench::listedSimulator("Corvane NanoTb");
    sim->withEngine([](sim::Engine &e) { e.setRateBps(10312500000LL); });

    MainWindow w;
    if (!hidden)
        w.show();

    // Every run of the cycle (the instrument's and the window's share of it)
    // goes through the timing wrapper.
    device::Instrument *instrument = w.instrument();
    QLabel *countTxt = w.findChild<QLabel *>(QStringLiteral("CountTxt"));
    QComboBox *ports = w.findChild<QComboBox *>(QStringLiteral("PortSelBox"));
    Recorder *current = nullptr;
    int totalCalls = 0; // every cycle, warm-up included
    quint64 taken = 0;
    instrument->aroundCycle = [&](const std::function<void()> &cycle) {
        const quint64 before = instrument->recordCount();
        const QString countBefore = countTxt->text();
        QElapsedTimer wall;
        const qint64 cpu0 = threadCpuNs();
        wall.start();
        cycle();
        const qint64 wallNs = wall.nsecsElapsed();
        const bool record = instrument->recordCount() != before;
        taken += record;
        const qint64 cpuNs = threadCpuNs() - cpu0;
        ++totalCalls;
        if (!current)
            return;
        current->samples.push_back({cpuNs, wallNs, record});
        ++current->calls;
        current->records += record;
        current->countChanges += countTxt->text() != countBefore;
        if (afterCycle)
            afterCycle();
    };

    if (!bench::connectFirstListed(w))
        return 1;
    if (!instrument->isConnected()) {
        std::fprintf(stderr, "cannot connect to %s\n", qPrintable(sim->slavePath()));
        return 1;
    }
    // Warm up: let the first records arrive before measuring.
    Recorder warmup;
    current = &warmup;
    runUntil([&] { return warmup.records >= 5; }, 5000);

    std::printf("Corvane NanoTb on %s, window %s, Qt %s\n", qPrintable(sim->slavePath()),
                hidden ? "hidden" : "shown (offscreen)", qVersion());

    // Phase 1: the program's own pace.
    Recorder paced;
    current = &paced;
    QElapsedTimer clock;
    const qint64 cpuStart = threadCpuNs();
    clock.start();
    runUntil([] { return false; }, qint64(seconds * 1000));
    const double elapsed = double(clock.nsecsElapsed()) / 1e9;
    const qint64 threadCpu = threadCpuNs() - cpuStart;
    current = nullptr;
    std::printf("\nPhase 1, poll interval %d ms, %.1f s\n", instrument->pollInterval(), elapsed);
    report("paced", paced);
    std::printf("  GUI thread CPU per cycle (whole loop) %.4f ms  (%.3f s CPU / %d calls)\n",
                paced.calls ? double(threadCpu) / 1e6 / paced.calls : 0.0, double(threadCpu) / 1e9,
                paced.calls);
    std::printf("  records shown per second             %.2f   (target >= 9.8)\n",
                paced.records / elapsed);

    // Phase 2: faster polling, for the per-call statistics.
    if (cycles > 0) {
        Recorder fast;
        current = &fast;
        instrument->setPollInterval(fastInterval);
        runUntil([&] { return fast.records >= cycles; }, qint64(cycles) * 1000);
        current = nullptr;
        std::printf("\nPhase 2, poll interval %d ms\n", fastInterval);
        report("fast", fast);
        std::printf("  target: <= 0.2 ms CPU per cycle\n");
    }
    instrument->setPollInterval(100);
    w.on_DisConectBtn_clicked();
    // Under callgrind --toggle-collect: instructions per cycle = total Ir / this.
    std::printf("\nCycles in total, warm-up included: %d (%llu records)\n", totalCalls,
                static_cast<unsigned long long>(taken));
    return 0;
}
