#include "app/display.h"

#include <QtGlobal>

#include <cstdio>
#include <unistd.h>

namespace {

bool isSet(const char *variable)
{
    return !qEnvironmentVariableIsEmpty(variable);
}

// The value of a Qt option that takes the next argument ("-platform xcb",
// "--platform xcb"); the last one counts, as for Qt.
QString argumentValue(const QStringList &arguments, const QString &name)
{
    QString value;
    for (int i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1Char('-') + name ||
            arguments.at(i) == QLatin1String("--") + name)
            value = arguments.at(++i);
    }
    return value;
}

// Whether one platform plugin (without its ":options") can reach its display.
bool platformUsable(const QString &platform, bool displayArgument, QString *why)
{
    if (platform == QLatin1String("xcb")) {
        if (isSet("DISPLAY") || displayArgument)
            return true;
        *why = QStringLiteral("no display (set DISPLAY, or use --headless)");
        return false;
    }
    if (platform.startsWith(QLatin1String("wayland"))) {
        if (isSet("WAYLAND_DISPLAY"))
            return true;
        *why = QStringLiteral("no display (set WAYLAND_DISPLAY, or use --headless)");
        return false;
    }
    return true;
}

QtMessageHandler g_previous = nullptr;
int g_status = 4;
bool g_pluginMissing = false; // Qt said the plugin does not exist at all

// Qt 5.15 and 6 first warn "Could not load (or find) the Qt platform plugin
// ..." and then die with "This application failed to start because no Qt
// platform plugin could be initialized"; older versions say it all in the
// fatal message.
bool isPlatformFailure(const QString &message)
{
    return message.contains(QLatin1String("platform plugin"), Qt::CaseInsensitive) &&
           (message.contains(QLatin1String("could not"), Qt::CaseInsensitive) ||
            message.contains(QLatin1String("no Qt platform plugin"), Qt::CaseInsensitive));
}

void platformFailureHandler(QtMsgType type, const QMessageLogContext &context,
                            const QString &message)
{
    const bool missing = message.contains(QLatin1String("Could not find the Qt platform plugin"),
                                          Qt::CaseInsensitive);
    if (type != QtFatalMsg && missing)
        g_pluginMissing = true;
    if (type == QtFatalMsg && isPlatformFailure(message)) {
        if (g_pluginMissing || missing) {
            // A plugin that does not exist: Qt's own text names the ones there are.
            if (g_previous)
                g_previous(type, context, message);
        } else {
            std::fputs("corvane: no display (set DISPLAY, or use --headless)\n", stderr);
        }
        std::fflush(stderr);
        ::_exit(g_status);
    }
    if (g_previous)
        g_previous(type, context, message);
}

} // namespace

bool displayAvailable(const QStringList &arguments, QString *why)
{
    QString reason;
    const bool displayArgument = !argumentValue(arguments, QStringLiteral("display")).isEmpty();
    QString platforms = argumentValue(arguments, QStringLiteral("platform"));
    if (platforms.isEmpty())
        platforms = qEnvironmentVariable("QT_QPA_PLATFORM");
    // QT_QPA_PLATFORM may list fallbacks: "wayland;xcb".
    QStringList names;
    for (const QString &entry : platforms.split(QLatin1Char(';'))) {
        const QString name = entry.section(QLatin1Char(':'), 0, 0).trimmed();
        if (!name.isEmpty())
            names << name;
    }
    bool usable = false;
    if (names.isEmpty()) {
        // Qt picks xcb or wayland from the session: either display will do.
        usable = isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || displayArgument;
        if (!usable)
            reason = QStringLiteral("no display (set DISPLAY, or use --headless)");
    }
    for (const QString &name : qAsConst(names)) {
        QString nameWhy;
        if (platformUsable(name, displayArgument, &nameWhy)) {
            usable = true;
            break;
        }
        if (reason.isEmpty())
            reason = nameWhy;
    }
    if (!usable && why)
        *why = reason;
    return usable;
}

void exitWhenPlatformFails(int status)
{
    g_status = status;
    QtMessageHandler previous = qInstallMessageHandler(platformFailureHandler);
    if (previous != platformFailureHandler)
        g_previous = previous;
}
