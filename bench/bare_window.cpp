// The yardstick for corvane's start-up and polling figures: a bare Qt Widgets
// window of the main window's size (589 x 454) with a few labels, started the
// way corvane starts itself (high-DPI scaling, no GL integration on xcb), and
// nothing else: no splash, no resources, no form, no serial ports.
//
//   bare_window [--tick MS] [--field] [--title TEXT]
//
// --tick MS (default 0: never) changes one label's text every MS ms, as a
// read-out of the main window changes at every record (100 ms: the fair
// comparison for the CPU while corvane polls ten records a second).
// --field adds a text field (a QLineEdit, as in the rate's spin box): a
// field lays its text out when it is made, so the font system (fontconfig's
// configuration and caches) is set up before the window is mapped instead of
// at its first paint, as it is in any window with a text field. The
// window's title is "Bare window" unless --title says otherwise; the
// benchmarks find the window mapped by its title. CORVANE_STARTUP_TRACE
// prints the same start-up marks as corvane's (src/widgets/startmarks.h).
#include "widgets/startmarks.h"

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QTimer>
#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    startmarks::mark("main() entered");
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication app(argc, argv);
    startmarks::mark("QApplication constructed");

    int tickMs = 0;
    bool field = false;
    QString title = QStringLiteral("Bare window");
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--tick") && i + 1 < args.size()) {
            tickMs = args.at(++i).toInt();
        } else if (args.at(i) == QLatin1String("--field")) {
            field = true;
        } else if (args.at(i) == QLatin1String("--title") && i + 1 < args.size()) {
            title = args.at(++i);
        } else {
            std::fprintf(stderr, "usage: bare_window [--tick MS] [--field] [--title TEXT]\n");
            return 2;
        }
    }

    QMainWindow window;
    window.setWindowTitle(title);
    auto *central = new QWidget(&window);
    window.setCentralWidget(central);
    window.setFixedSize(589, 454);

    QFont big;
    big.setPointSize(16);
    big.setBold(true);
    const char *const names[] = {"Errors:", "Count:", "Time:"};
    QLabel *count = nullptr;
    for (int i = 0; i < 3; ++i) {
        auto *name = new QLabel(QString::fromLatin1(names[i]), central);
        name->setGeometry(40, 80 + 30 * i, 61, 31);
        auto *value = new QLabel(QStringLiteral("0.000e+00"), central);
        value->setFont(big);
        value->setGeometry(110, 80 + 30 * i, 141, 31);
        if (i == 1)
            count = value;
    }

    if (field)
        (new QLineEdit(QStringLiteral("0.000000"), central))->setGeometry(20, 390, 141, 22);

    QTimer tick;
    quint64 bits = 0;
    QObject::connect(&tick, &QTimer::timeout, count, [&] {
        bits += 1031250000; // 10.3125 Gb/s for 100 ms
        count->setText(QString::asprintf("%.3e", double(bits)));
    });
    if (tickMs > 0)
        tick.start(tickMs);

    startmarks::mark("window built");
    window.show();
    startmarks::watchWindow(&window);
    startmarks::mark("window shown");
    return app.exec();
}
