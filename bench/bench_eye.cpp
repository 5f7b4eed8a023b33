// Cost of one eye-diagram redraw (PlotEye), the plain way and ours, in one
// run: the plain way clears the scene and adds 4096 rectangle items,
// the lines, the strip and the texts on every call (tests/support/eyereference.h);
// ours refreshes one 64 x 64 image shown four times enlarged and the texts
// (Eye::PlotEye). Both draw a simulated scan into a 256 x 300 view, with the
// gain stepping 1..100 as when the slider is dragged.
//
//   bench_eye [--calls N] [--rounds R]
//
// Each round times N calls of each way (default 1000, 2 rounds, alternating
// so that load changes hit both): the call alone, and the call with the event
// loop and a repaint of the view after it (what the user waits for while
// dragging). CPU time of the GUI thread and wall time. Figures are printed
// only; nothing is asserted.
#include "app/mainwindow.h"
#include "benchsupport.h"
#include "eye/eye.h"
#include "link/portsearch.h"
#include "simengine.h"
#include "support/eyereference.h"

#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGraphicsView>
#include <QLabel>
#include <QLoggingCategory>
#include <QSignalBlocker>
#include <QSlider>

#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

using bench::threadCpuNs;
using bench::wallNs;

void printRow(const char *title, const bench::Figures &s)
{
    std::printf("| %-42s | %8.4f | %8.4f | %8.4f | %8.4f |\n", title, s.mean, s.median, s.p99,
                s.max);
}

struct Timings {
    std::vector<qint64> callCpu, callWall, paintedCpu, paintedWall;
};

// Times `calls` redraws: draw(gain) alone (the event loop then runs, untimed,
// as it does between two values of a dragged slider), then draw(gain) with the
// event loop and a synchronous repaint of the view timed too.
void run(int calls, QGraphicsView *view, const std::function<void(int)> &draw, Timings &t)
{
    for (int i = 0; i < calls; ++i) {
        const int gain = i % 100 + 1;
        const qint64 c0 = threadCpuNs(), w0 = wallNs();
        draw(gain);
        t.callCpu.push_back(threadCpuNs() - c0);
        t.callWall.push_back(wallNs() - w0);
        QCoreApplication::processEvents();
        view->viewport()->repaint();
    }
    for (int i = 0; i < calls; ++i) {
        const int gain = (i * 37) % 100 + 1;
        const qint64 c0 = threadCpuNs(), w0 = wallNs();
        draw(gain);
        QCoreApplication::processEvents();
        view->viewport()->repaint();
        t.paintedCpu.push_back(threadCpuNs() - c0);
        t.paintedWall.push_back(wallNs() - w0);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int calls = 1000, rounds = 2;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--calls"))
            calls = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::max(1, std::atoi(argv[i + 1]));
    }
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("corvane.*.info=false"));
    portcatalog::clearExtras();

    const QByteArray scan = sim::Engine("Corvane NanoTb").eyeScan(4);

    // Ours: the real window (no instrument needed to redraw a scan).
    auto *eye = new Eye(nullptr);
    eye->show();
    eye->setEyeData(scan);
    auto *gain = eye->findChild<QSlider *>(QStringLiteral("PlotGain"));
    auto *oursView = eye->findChild<QGraphicsView *>(QStringLiteral("PlotWindow"));
    const auto ours = [&](int g) {
        {
            const QSignalBlocker quiet(gain);
            gain->setValue(g);
        }
        eye->PlotEye();
    };

    // The plain way, in a view like PlotWindow.
    QGraphicsView docView;
    docView.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    docView.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    docView.resize(256, 300);
    QGraphicsScene docScene;
    docView.setScene(&docScene);
    docView.show();
    reference::PlotInputs in;
    const QString opening = QStringLiteral("0.00 UI / 000 mV");
    in.lines[0] = eye::verticalLine(QStringLiteral("200mV"), opening);
    in.lines[1] = eye::horizontalLine(10312.5, opening);
    const auto plain = [&](int g) {
        // Every call works out every level and makes every item again.
        eye::Shading shading;
        shading.gain = g;
        in.levels = eye::levels(scan, shading);
        in.lines[2] = eye::makerLine(QDateTime::currentDateTime());
        reference::plotEye(&docScene, in);
    };
    app.processEvents();

    // Warm-up, then alternate.
    Timings t[2];
    Timings warm;
    run(50, oursView, ours, warm);
    run(50, &docView, plain, warm);
    for (int r = 0; r < rounds; ++r) {
        run(calls, &docView, plain, t[0]);
        run(calls, oursView, ours, t[1]);
    }

    std::printf("PlotEye, %d calls per way and figure (%d rounds of %d), gain stepping 1..100,\n"
                "derivative view of a simulated scan, 256 x 300 view, QT_QPA_PLATFORM=%s\n\n",
                calls * rounds, rounds, calls, qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("| %-42s | %8s | %8s | %8s | %8s |\n", "ms per call", "mean", "median", "p99",
                "max");
    std::printf("|%s|----------|----------|----------|----------|\n", std::string(44, '-').c_str());
    const char *names[2] = {"4096 items", "one image"};
    bench::Figures s[2][4];
    for (int k = 0; k < 2; ++k) {
        s[k][0] = bench::figures(t[k].callCpu);
        s[k][1] = bench::figures(t[k].callWall);
        s[k][2] = bench::figures(t[k].paintedCpu);
        s[k][3] = bench::figures(t[k].paintedWall);
    }
    const char *figures[4] = {"call, CPU", "call, wall", "call + paint, CPU", "call + paint, wall"};
    for (int f = 0; f < 4; ++f)
        for (int k = 0; k < 2; ++k)
            printRow((std::string(names[k]) + ", " + figures[f]).c_str(), s[k][f]);
    std::printf("\nspeed-up (mean): call %.1fx CPU, %.1fx wall; call + paint %.1fx CPU, %.1fx "
                "wall\n",
                s[0][0].mean / s[1][0].mean, s[0][1].mean / s[1][1].mean,
                s[0][2].mean / s[1][2].mean, s[0][3].mean / s[1][3].mean);
    std::printf("target: ours <= 2 ms per call and at least 10x faster: %s\n",
                s[1][1].mean <= 2.0 && s[0][1].mean / s[1][1].mean >= 10 ? "met" : "NOT met");
    return 0;
}
