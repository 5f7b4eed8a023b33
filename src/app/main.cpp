#include "app/mainwindow.h"
#include "app/options.h"
#include "corvane_version.h"
#include "link/portsearch.h"
#ifdef CORVANE_WITH_SIMULATOR
#include "ptysimulator.h"
#endif

#include <QApplication>
#include <QFont>
#include <cstdio>
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

static QStringList simulatorModels()
{
    QStringList names;
#ifdef CORVANE_WITH_SIMULATOR
    for (const QByteArray &name : sim::Engine::modelNames())
        names << QString::fromLatin1(name);
#endif
    return names;
}

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("corvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // The windows have fixed sizes and absolute positions: on a 150 % or 200 %
    // screen they must scale as a whole rather than keep their pixel sizes and
    // clip their texts (Qt 6 always scales).
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif

    // The options are read before any window exists: help, version and usage
    // errors need no display.
    AppOptions options;
    {
        QCoreApplication reader(argc, argv);
        const ParseResult parsed =
            parseOptions(QCoreApplication::arguments(), simulatorModels(), &options);
        if (parsed.action == ParseResult::ExitOk) {
            std::fputs(qPrintable(parsed.output), stdout);
            return 0;
        }
        if (parsed.action == ParseResult::ExitUsage) {
            std::fputs(qPrintable(parsed.output), stderr);
            return 2;
        }
    }

    // The program draws nothing with OpenGL. On X11, Qt would still load the
    // GL stack (tens of MiB of Mesa) for every window; a user who wants it
    // back can set the variable to "xcb_glx" or "xcb_egl".
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");

    QApplication app(argc, argv);
    useDesktopFontSubstitutes();

#ifdef CORVANE_WITH_SIMULATOR
    // The simulated instrument stands in for hardware: it runs on its own thread
    // and is reached only through its pseudo-terminal, like a real device.
    std::unique_ptr<sim::PtySimulator> simulator;
    if (options.simulate) {
        simulator = std::make_unique<sim::PtySimulator>();
        QString error;
        if (!simulator->start(options.simulateModel.toUtf8(), &error)) {
            std::fprintf(stderr, "corvane: cannot start the simulated instrument: %s\n",
                         qPrintable(error));
            return 1;
        }
        portcatalog::addExtra(simulator->slavePath(), QStringLiteral("USB Serial Device"));
    }
#endif
    for (const QString &path : qAsConst(options.ports))
        portcatalog::addExtra(path, QStringLiteral("USB Serial Device"));

    int result;
    {
        MainWindow window;
        window.show();
        result = app.exec();
    }
    return result;
}
