// Soak: a main window polls a simulated instrument for a long time while
// faults are switched on at random (short, split, late and garbage replies,
// silence, and the cable pulled and plugged in again), as a lab instrument
// left running for days would meet them. Prints records shown, faults
// survived, reconnections and the memory in use at the start and the end.
//
//   soak [--minutes M] [--seed N] [--quiet]     (default 60 minutes)
//
// Figures are printed only; nothing is asserted. Runs on the offscreen
// platform unless QT_QPA_PLATFORM says otherwise.
#include "app/mainwindow.h"
#include "device/instrument.h"
#include "benchsupport.h"
#include "bert/measurementrecord.h"
#include "device/instrument.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>

namespace {


struct Counts {
    qint64 records = 0;
    int faults[6] = {};
    int unplugs = 0;
    int reconnects = 0;
    int failedReconnects = 0;
};

const char *const FaultNames[] = {"none", "no reply", "short", "split", "late", "garbage"};

} // namespace

int main(int argc, char *argv[])
{
    double minutes = 60;
    unsigned seed = 1;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--minutes") && i + 1 < argc)
            minutes = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc)
            seed = unsigned(std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--quiet"))
            quiet = true;
        else {
            std::fprintf(stderr, "usage: %s [--minutes M] [--seed N] [--quiet]\n", argv[0]);
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "corvane.*.info=false");
    QApplication app(argc, argv);

    std::unique_ptr<sim::PtySimulator> sim;
    auto plugIn = [&sim] { sim = bench::listedSimulator("Corvane NanoTb"); };
    plugIn();

    MainWindow w;
    w.show();
    device::Instrument *instrument = w.instrument();
    auto *ports = w.findChild<QComboBox *>(QStringLiteral("PortSelBox"));
    auto *refresh = w.findChild<QAbstractButton *>(QStringLiteral("RefreshBtn"));
    Counts counts;
    QObject::connect(instrument, &device::Instrument::measured, [&counts] { ++counts.records; });

    // After each search, pick the instrument as a user would.
    QObject::connect(&w, &MainWindow::portsSearched, [&] {
        if (ports->count() < 2) {
            ++counts.failedReconnects;
            return;
        }
        ports->setCurrentIndex(1);
        emit ports->activated(1);
        if (instrument->isConnected())
            ++counts.reconnects;
        else
            ++counts.failedReconnects;
    });

    std::mt19937 rng(seed);
    QTimer chaos;
    QObject::connect(&chaos, &QTimer::timeout, [&] {
        if (!instrument->isConnected())
            return; // a reconnection is under way
        const int pick = int(rng() % 12);
        if (pick == 0) {
            // The cable is pulled; it is plugged in again a moment later and
            // the user presses Refresh.
            ++counts.unplugs;
            sim->unplug();
            QTimer::singleShot(1500, [&] {
                plugIn();
                refresh->click();
            });
            return;
        }
        const int fault = 1 + pick % 5; // no reply, short, split, late, garbage
        ++counts.faults[fault];
        const int times = 1 + int(rng() % 20);
        sim->withEngine([&](sim::Engine &e) { e.setFault(sim::Fault(fault), times); });
    });
    chaos.start(3000);

    const long rssStart = bench::rssKiB();
    QElapsedTimer clock;
    clock.start();
    QTimer report;
    QObject::connect(&report, &QTimer::timeout, [&] {
        if (!quiet)
            std::printf("%6.1f min: %lld records, %d unplugs, %d reconnects, RSS %ld KiB\n",
                        clock.elapsed() / 60000.0, static_cast<long long>(counts.records),
                        counts.unplugs, counts.reconnects, bench::rssKiB());
        std::fflush(stdout);
    });
    report.start(60000);
    QTimer::singleShot(int(minutes * 60000), &app, &QCoreApplication::quit);
    app.exec();

    const double elapsed = clock.elapsed() / 1000.0;
    std::printf("\nSoak of %.1f minutes against the simulated Corvane NanoTb (seed %u)\n",
                elapsed / 60, seed);
    std::printf("  records shown          %lld (%.2f a second)\n",
                static_cast<long long>(counts.records), counts.records / elapsed);
    int faults = 0;
    for (int f = 1; f <= 5; ++f) {
        std::printf("  faults: %-13s %d\n", FaultNames[f], counts.faults[f]);
        faults += counts.faults[f];
    }
    std::printf("  faults survived        %d, and %d unplugs\n", faults, counts.unplugs);
    std::printf("  reconnects             %d (%d searches found nothing or failed)\n",
                counts.reconnects - 1, counts.failedReconnects);
    std::printf("  still connected        %s\n", instrument->isConnected() ? "yes" : "no");
    std::printf("  RSS                    %ld KiB at the start, %ld KiB at the end\n", rssStart,
                bench::rssKiB());
    return 0;
}
