// What reaches the wire, and when, for each operation a user can start: the
// window is driven through its controls only (so the same source builds
// against any version of the program) and the simulated instrument's command
// log is printed per operation, each command with the milliseconds since the
// one before it (rounded to 10 ms: timers are not more exact than that).
// Run it for two versions and compare the outputs.
//
//   wirelog [--model NAME]        (default "Corvane NanoTb"; "Corvane Tera" for XFP)
#include "app/mainwindow.h"
#include "benchsupport.h"
#include "eye/eye.h"
#include "ptysimulator.h"
#include "xcvr/xcvrutils.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

namespace {
void runFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
}

template <class T> T *child(QWidget *w, const char *name)
{
    return w->findChild<T *>(QString::fromLatin1(name));
}
} // namespace

int main(int argc, char *argv[])
{
    const char *model = "Corvane NanoTb";
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--model") && i + 1 < argc)
            model = argv[++i];
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "corvane.*=false");
    QApplication app(argc, argv);
    const auto sim = bench::listedSimulator(model);
    const bool xfp = QByteArray(model).contains("Tera");

    auto *w = new MainWindow;
    w->show();
    auto *ports = child<QComboBox>(w, "PortSelBox");
    runFor(1000);
    if (ports->count() < 2) {
        std::fprintf(stderr, "the simulated instrument is not listed\n");
        return 1;
    }
    qint64 seen = 0;
    // Prints the commands since the last call, each with the time since the
    // one before (the first relative to the last command printed before).
    qint64 lastMs = -1;
    const auto print = [&](const char *what) {
        std::printf("== %s\n", what);
        const QVector<sim::LoggedCommand> log = sim->commandLog();
        QByteArray run;
        int repeats = 0;
        qint64 runMs = 0;
        const auto flush = [&] {
            if (repeats)
                std::printf("  %-28s x%-4d +%lld ms\n", run.constData(), repeats,
                            static_cast<long long>(runMs));
            repeats = 0;
        };
        for (const sim::LoggedCommand &c : log) {
            if (c.index < seen)
                continue;
            const qint64 delta = lastMs < 0 ? 0 : qint64(std::lround((c.ms - lastMs) / 10.0)) * 10;
            lastMs = c.ms;
            seen = c.index + 1;
            // Polling in a row is one line: the request and the usual pace.
            if (c.line == run && (c.line == "r" || c.line == "rB") && repeats > 0) {
                ++repeats;
                continue;
            }
            flush();
            run = c.line;
            repeats = 1;
            runMs = delta;
        }
        flush();
    };

    ports->setCurrentIndex(1);
    emit ports->activated(1);
    runFor(1500);
    print("connect, then polling");

    if (!xfp) {
        child<QAbstractButton>(w, "EyeButton")->click();
        runFor(3000);
        print("eye scan (the window opens and scans)");
        for (Eye *e : w->findChildren<Eye *>())
            e->close();
    }

    w->findChild<QAbstractButton *>(QStringLiteral("XCVRBtn"))->click();
    XCVRUtils *u = w->findChildren<XCVRUtils *>().last();
    child<QAbstractButton>(u, "ReadXCVRBtn")->click();
    runFor(3000);
    print("register dump");
    child<QLineEdit>(u, "AddressBx")->setText(QStringLiteral("14"));
    child<QAbstractButton>(u, "ReadByteBtn")->click();
    runFor(800);
    print("register read");
    child<QLineEdit>(u, "RegValueBx")->setText(QStringLiteral("5A"));
    child<QAbstractButton>(u, "TestXCVRBtn_3")->click();
    runFor(800);
    print("register write");
    child<QLineEdit>(u, "ClrStartAddr")->setText(QStringLiteral("80"));
    child<QLineEdit>(u, "ClrEndAddr")->setText(QStringLiteral("81"));
    child<QAbstractButton>(u, "ClearXcvrBtn")->click();
    runFor(1500);
    print("register clear, 80 to 81");
    child<QTextEdit>(u, "XCVRResutsBox")->setPlainText(xfp ? QStringLiteral("RdXFP 7f")
                                                           : QStringLiteral("RdSFP D 7f"));
    child<QAbstractButton>(u, "FactoryBtn")->click();
    runFor(1000);
    print("console line");
    child<QAbstractButton>(u, "TestXCVRBtn")->click();
    runFor(21500);
    print("loop-back test");
    u->close();

    w->findChild<QAbstractButton *>(QStringLiteral("WaveLengBtn"))->click();
    runFor(300);
    for (QDialogButtonBox *box : w->findChildren<QDialogButtonBox *>())
        if (box->objectName() == QLatin1String("buttonBox"))
            box->button(QDialogButtonBox::Ok)->click();
    runFor(500);
    print("wavelength OK");

    child<QAbstractButton>(w, "ErrorReset")->click();
    child<QAbstractButton>(w, "TxEnBtn")->click();
    runFor(500);
    print("Reset, Tx");
    child<QAbstractButton>(w, "DisConectBtn")->click();
    runFor(800);
    print("Disconnect");
    delete w;
    return 0;
}
