#include "app/options.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {
// Options that Qt's application objects take for themselves. They are accepted
// here and passed on untouched; --help-all lists them.
struct QtOption {
    const char *name;
    const char *value; // null for a switch
    const char *help;
};
const QtOption QtOptions[] = {
    {"platform", "name[:options]", "Platform plugin to use (xcb, wayland, offscreen, ...)."},
    {"platformpluginpath", "path", "Path to the platform plugins."},
    {"platformtheme", "name", "Platform theme to use."},
    {"plugin", "plugin", "Additional plugin to load (repeatable)."},
    {"qwindowgeometry", "geometry", "Geometry of the first window."},
    {"qwindowicon", "icon", "Icon of the windows."},
    {"qwindowtitle", "title", "Title of the first window."},
    {"style", "style", "Widget style to use."},
    {"stylesheet", "file", "Style sheet to apply."},
    {"session", "session", "Session to restore."},
    {"display", "display", "X11 display to use."},
    {"geometry", "geometry", "Geometry of the main window (X11)."},
    {"name", "name", "Application name (X11)."},
    {"title", "title", "Application title (X11)."},
    {"visual", "visual", "Visual to use (X11)."},
    {"reverse", nullptr, "Lay out widgets right to left."},
    {"widgetcount", nullptr, "Print the number of widgets at exit."},
    {"nograb", nullptr, "Never grab the mouse or keyboard."},
    {"dograb", nullptr, "Allow grabbing the mouse and keyboard."},
    {"sync", nullptr, "Run X11 in synchronous mode."},
};

QString qtOptionsHelp()
{
    QString text = QStringLiteral("\nQt options:\n");
    for (const QtOption &o : QtOptions) {
        QString left = QStringLiteral("  -") + QLatin1String(o.name);
        if (o.value)
            left += QStringLiteral(" <") + QLatin1String(o.value) + QLatin1Char('>');
        text += left.leftJustified(34) + QLatin1String(o.help) + QLatin1Char('\n');
    }
    return text;
}
} // namespace

ParseResult parseOptions(const QStringList &arguments, const QStringList &simulatorModels,
                         AppOptions *options)
{
    ParseResult result;
    const QString program = QCoreApplication::applicationName();
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Control and monitoring program for Corvane bit-error-rate testers."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const bool withSimulator = !simulatorModels.isEmpty();
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral("Start a simulated instrument and offer it in the port list "
                       "(--simulate=MODEL picks the model; default \"%1\"). Models: %2.")
            .arg(QLatin1String(DefaultSimulatedModel), simulatorModels.join(QStringLiteral(", "))),
        QStringLiteral("model"));
    if (withSimulator)
        parser.addOption(simulate);
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Also query this serial device (repeatable)."),
                                  QStringLiteral("path"));
    parser.addOption(port);
    for (const QtOption &o : QtOptions) {
        QCommandLineOption option(QLatin1String(o.name), QLatin1String(o.help));
        if (o.value)
            option.setValueName(QLatin1String(o.value));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    // "--simulate" may stand without a value; give it the default model.
    QStringList args = arguments;
    for (int i = 1; i < args.size(); ++i) {
        if (withSimulator &&
            (args[i] == QLatin1String("--simulate") || args[i] == QLatin1String("-simulate")))
            args[i] = QStringLiteral("--simulate=") + QLatin1String(DefaultSimulatedModel);
    }
    auto usageError = [&](const QString &message) {
        result.action = ParseResult::ExitUsage;
        result.output = program + QStringLiteral(": ") + message +
                        QStringLiteral("\nTry '%1 --help' for more information.\n").arg(program);
        return result;
    };
    if (!parser.parse(args))
        return usageError(parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        result.action = ParseResult::ExitOk;
        result.output = parser.helpText();
        if (parser.isSet(QStringLiteral("help-all")))
            result.output += qtOptionsHelp();
        return result;
    }
    if (parser.isSet(version)) {
        result.action = ParseResult::ExitOk;
        result.output =
            program + QLatin1Char(' ') + QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'.")
                              .arg(parser.positionalArguments().constFirst()));
    if (withSimulator && parser.isSet(simulate)) {
        options->simulate = true;
        options->simulateModel = parser.value(simulate);
        if (!simulatorModels.contains(options->simulateModel))
            return usageError(
                QStringLiteral("unknown model \"%1\" for --simulate; the models are: %2.")
                    .arg(options->simulateModel, simulatorModels.join(QStringLiteral(", "))));
    }
    options->ports = parser.values(port);
    for (const QString &p : qAsConst(options->ports)) {
        if (p.isEmpty())
            return usageError(QStringLiteral("--port needs a device path."));
    }
    return result;
}
