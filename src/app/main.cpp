// corvane: the windows. With --headless the same command runs the program
// without a display (corvane-headless, which loads no QtGui and no QtWidgets).
#include "app/display.h"
#include "app/mainwindow.h"
#include "app/startup.h"
#include "device/instrument.h"
#include "device/instrumentpool.h"
#include "remote/services.h"
#include "widgets/startmarks.h"

#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#ifndef CORVANE_LIBEXEC_FROM_BIN
#define CORVANE_LIBEXEC_FROM_BIN "../libexec/corvane"
#endif

namespace {
// The forms name the usual Windows desktop fonts and were laid out for an
// 8-point default. Where those fonts are missing, use metric-compatible ones so
// that the texts fit their fixed-size controls.
void useDesktopFontSubstitutes()
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

// Runs the program without windows in this process's place: beside this
// program (a build tree), else where it is installed (libexec/corvane beside
// the bin folder).
int execHeadless(char *argv[])
{
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    QString dir = n > 0 ? QFileInfo(QString::fromLocal8Bit(self, int(n))).absolutePath() : QString();
    for (const QString &candidate :
         {dir + QStringLiteral("/corvane-headless"),
          dir + QStringLiteral("/" CORVANE_LIBEXEC_FROM_BIN "/corvane-headless")}) {
        const QByteArray path = QFile::encodeName(candidate);
        if (::access(path.constData(), X_OK) == 0) {
            ::execv(path.constData(), argv);
            std::fprintf(stderr, "corvane: cannot run %s: %s\n", path.constData(),
                         std::strerror(errno));
            return 2;
        }
    }
    std::fprintf(stderr, "corvane: the program for --headless (corvane-headless) is not "
                         "installed beside corvane or in %s/" CORVANE_LIBEXEC_FROM_BIN "\n",
                 qPrintable(dir));
    return 2;
}


} // namespace

int main(int argc, char *argv[])
{
    startmarks::mark("main() entered");
    startup::nameApplication();
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
    int status = 0;
    if (!startup::readOptions(argc, argv, &options, &status))
        return status;
    if (options.headless)
        return execHeadless(argv);

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QString why;
    if (!displayAvailable(arguments, &why)) {
        std::fprintf(stderr, "corvane: %s\n", qPrintable(why));
        return 4;
    }
    exitWhenPlatformFails(4);

    // The program draws nothing with OpenGL. On X11, Qt would still load the
    // GL stack (tens of MiB of Mesa) for every window; a user who wants it
    // back can set the variable to "xcb_glx" or "xcb_egl".
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");

    startmarks::mark("options read, display checked");
    QApplication app(argc, argv);
    startmarks::mark("QApplication constructed");
    useDesktopFontSubstitutes();
    startmarks::mark("font substitutes set");

    std::unique_ptr<startup::Simulators> simulators;
    QString error;
    if (!startup::offerPorts(options, &simulators, &error)) {
        std::fprintf(stderr, "corvane: cannot start the simulated instrument: %s\n",
                     qPrintable(error));
        return 1;
    }

    device::InstrumentPool *pool = device::InstrumentPool::instance();
    remote::Services services(pool);
    if (!services.start(startup::listenOf(options.scpi), startup::listenOf(options.metrics), &error)) {
        std::fprintf(stderr, "corvane: %s\n", qPrintable(error));
        return 2;
    }
    startmarks::mark("ports offered, remote services started");
    MainWindow::openFirst(pool, options.openAll);
    startmarks::mark("main window constructed and shown");
    return app.exec();
}
