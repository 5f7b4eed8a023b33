// How long the event loop stalls while the main window searches the ports,
// connects, re-identifies the instrument, disconnects and searches again:
// a precise 1 ms timer runs throughout, and the worst lateness of its shots
// in each phase is printed. The window is driven through its controls only,
// so the same source measures any version of the program.
//
//   bench_stall [--rounds N]
#include "app/mainwindow.h"
#include "benchsupport.h"
#include "ptysimulator.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>

namespace {
// Runs the event loop until done() or the time-out.
bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return done();
}
} // namespace

int main(int argc, char *argv[])
{
    int rounds = 5;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "corvane.*.info=false");
    QApplication app(argc, argv);
    const auto sim = bench::listedSimulator("Corvane NanoTb");

    // The 1 ms timer and the phase its shots count for.
    std::string phase = "start";
    std::map<std::string, double> worst;
    QElapsedTimer clock;
    clock.start();
    qint64 expected = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (expected > 0) {
            const double late = double(now - expected) / 1e6;
            worst[phase] = std::max(worst[phase], late);
        }
        expected = now + 1000000;
    });
    tick.start(1);

    for (int round = 0; round < rounds; ++round) {
        phase = "open window";
        expected = 0;
        auto *w = new MainWindow;
        w->show();
        QCoreApplication::processEvents();
        phase = "search";
        expected = 0;
        auto *ports = w->findChild<QComboBox *>(QStringLiteral("PortSelBox"));
        if (!runUntil([&] { return ports->count() > 1; }, 5000)) {
            std::fprintf(stderr, "the simulated instrument is not listed\n");
            return 1;
        }
        // Each action runs from the event loop, as a click does, so that a
        // stall inside it makes the timer late.
        const auto act = [](const std::function<void()> &action) {
            QTimer::singleShot(0, action);
        };
        phase = "connect";
        act([&] {
            ports->setCurrentIndex(1);
            emit ports->activated(1);
        });
        runUntil([] { return false; }, 500);
        phase = "re-identify";
        sim->withEngine([](sim::Engine &e) { e.requestReidentify(); });
        runUntil([&] { return sim->withEngine([](sim::Engine &e) { return !e.reidentifyPending(); }); },
                 3000);
        runUntil([] { return false; }, 500);
        phase = "disconnect";
        act([w] { w->findChild<QAbstractButton *>(QStringLiteral("DisConectBtn"))->click(); });
        runUntil([] { return false; }, 500);
        phase = "refresh";
        act([w] { w->findChild<QAbstractButton *>(QStringLiteral("RefreshBtn"))->click(); });
        runUntil([] { return false; }, 1000);
        phase = "between";
        delete w;
    }
    std::printf("Worst lateness of a 1 ms timer, %d rounds (goal <= 20 ms):\n", rounds);
    for (const char *p : {"open window", "search", "connect", "re-identify", "disconnect", "refresh"})
        std::printf("  %-12s %7.2f ms\n", p, worst[p]);
    return 0;
}
