#include "app/mainwindow.h"
#include "app/options.h"
#include "link/portcatalog.h"
#include "ptysimulator.h"

#include <QApplication>
#include <QFont>
#include <memory>

// The forms name the usual Windows desktop fonts and were laid out for an
// 8-point default. Where those fonts are missing, use metric-compatible ones so
// that the texts fit their fixed-size controls.
static void useDesktopFontSubstitutes()
{
    const QStringList sans{QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"),
                           QStringLiteral("Arial")};
    const QStringList mono{QStringLiteral("Liberation Mono"), QStringLiteral("Nimbus Mono PS"),
                           QStringLiteral("DejaVu Sans Mono")};
    for (const char *family : {"MS Shell Dlg 2", "Segoe UI", "Trebuchet MS"})
        QFont::insertSubstitutions(QLatin1String(family), sans);
    for (const char *family : {"Terminal", "Courier", "Courier New"})
        QFont::insertSubstitutions(QLatin1String(family), mono);
    QApplication::setFont(QFont(QStringLiteral("MS Shell Dlg 2"), 8));
}

// --help and --version must work without a display.
static bool asksForInformation(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--help" || a == "-h" || a == "-?" || a == "--help-all" || a == "--version" ||
            a == "-v")
            return true;
    }
    return false;
}

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("corvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.61"));
    if (asksForInformation(argc, argv)) {
        QCoreApplication app(argc, argv);
        AppOptions options;
        return parseOptions(QCoreApplication::arguments(), &options) ? 0 : 2;
    }

    QApplication app(argc, argv);
    useDesktopFontSubstitutes();

    AppOptions options;
    if (!parseOptions(QCoreApplication::arguments(), &options))
        return 2;

    // The simulated instrument stands in for hardware: it runs on its own thread
    // and is reached only through its pseudo-terminal, like a real device.
    std::unique_ptr<sim::PtySimulator> simulator;
    if (options.simulate) {
        simulator = std::make_unique<sim::PtySimulator>();
        QString error;
        if (!simulator->start(options.simulateModel.toUtf8(), &error)) {
            fprintf(stderr, "corvane: cannot start the simulated instrument: %s\n",
                    qPrintable(error));
            return 1;
        }
        portcatalog::addExtra(simulator->slavePath(), QStringLiteral("USB Serial Device"));
    }
    for (const QString &path : options.ports)
        portcatalog::addExtra(path, QStringLiteral("USB Serial Device"));

    int result;
    {
        MainWindow window;
        window.show();
        result = app.exec();
    }
    return result;
}
