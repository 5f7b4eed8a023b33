// Memory of the secondary windows: a main window connected to the simulated
// instrument opens and closes each window (Info, the eye, Utilities, the
// wavelength, the statistics) by its button, 100 times, and prints the memory
// in use (VmRSS) before and after. A closed window frees what it holds, so
// the figures after should stay within about 2 MB of those before.
//
//   bench_windows [--cycles N] [--only BUTTON]     (default 100, every window)
//
// A few rounds before the first figure let the one-time allocations settle
// (fonts, style caches, pictures of the resources). The figure after
// malloc_trim() tells memory the allocator merely keeps from memory in use.
// Figures are printed only; nothing is asserted.
#include "app/mainwindow.h"
#include "benchsupport.h"
#include "device/instrument.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>

#include <cstdio>
#include <cstring>
#include <malloc.h>

namespace {


long trimmedRssKiB()
{
    malloc_trim(0);
    return bench::rssKiB();
}

bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// The window a button opens: the only top-level child of the main window
// that is shown.
QWidget *openWindow(MainWindow &w)
{
    for (QWidget *child : w.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (child->isWindow() && child->isVisible())
            return child;
    return nullptr;
}

// Opens the window by its button and closes it again; false when it did not
// open or was not freed.
bool openAndClose(MainWindow &w, QAbstractButton *button)
{
    button->click();
    QPointer<QWidget> window = openWindow(w);
    if (!window)
        return false;
    QCoreApplication::processEvents();
    window->close();
    return waitFor([&] { return window.isNull(); }, 5000);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int cycles = 100;
    QString only;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--cycles") && i + 1 < argc) {
            cycles = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--only") && i + 1 < argc) {
            only = QString::fromLocal8Bit(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: bench_windows [--cycles N] [--only AboutBtn|EyeButton|"
                                 "XCVRBtn|WaveLengBtn|StatsBtn]\n");
            return 2;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bench_windows"));
    auto sim = bench::listedSimulator("Corvane NanoTb");

    MainWindow w;
    w.show();
    auto *ports = w.findChild<QComboBox *>(QStringLiteral("PortSelBox"));
    if (!waitFor([&] { return ports->count() > 1; }, 5000)) {
        std::fprintf(stderr, "the simulated instrument was not listed\n");
        return 1;
    }
    ports->setCurrentIndex(1);
    emit ports->activated(1);
    if (!waitFor([&] { return w.instrument()->recordCount() >= 3; }, 5000)) {
        std::fprintf(stderr, "no records from the simulated instrument\n");
        return 1;
    }

    struct Kind {
        const char *label;
        const char *button;
    } const kinds[] = {{"Info (About)", "AboutBtn"},
                       {"eye scan", "EyeButton"},
                       {"Utilities", "XCVRBtn"},
                       {"wavelength", "WaveLengBtn"},
                       {"statistics", "StatsBtn"}};

    const long atStart = bench::rssKiB();
    // Warm-up: the first rounds load what stays for the program's life.
    for (const Kind &k : kinds)
        for (int i = 0; i < 3; ++i)
            openAndClose(w, w.findChild<QAbstractButton *>(QString::fromLatin1(k.button)));
    const long afterWarmUp = trimmedRssKiB();
    std::printf("VmRSS at start %ld KiB, after 3 warm-up rounds of each window %ld KiB\n",
                atStart, afterWarmUp);
    std::printf("%-14s %8s %12s %12s %10s %16s\n", "window", "cycles", "before KiB",
                "after KiB", "diff KiB", "after trim KiB");
    for (const Kind &k : kinds) {
        if (!only.isEmpty() && only != QLatin1String(k.button))
            continue;
        auto *button = w.findChild<QAbstractButton *>(QString::fromLatin1(k.button));
        const long before = trimmedRssKiB();
        int done = 0;
        for (int i = 0; i < cycles; ++i)
            done += openAndClose(w, button);
        const long after = bench::rssKiB();
        const long trimmed = trimmedRssKiB();
        std::printf("%-14s %4d/%-3d %12ld %12ld %+10ld %16ld\n", k.label, done, cycles, before,
                    after, after - before, trimmed);
        std::fflush(stdout);
    }
    const long atEnd = trimmedRssKiB();
    std::printf("all windows: %ld KiB after the warm-up, %ld KiB at the end (%+ld KiB, goal: "
                "within 2048)\n",
                afterWarmUp, atEnd, atEnd - afterWarmUp);
    return 0;
}
