#include "app/options.h"

#include <QCommandLineParser>
#include <QCoreApplication>

bool parseOptions(const QStringList &arguments, AppOptions *options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Control and monitoring program for Corvane bit-error-rate testers."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral("Start a simulated instrument and offer it in the port list "
                       "(--simulate=MODEL picks the model; default \"%1\").")
            .arg(QLatin1String(DefaultSimulatedModel)),
        QStringLiteral("model"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Also query this serial device (repeatable)."),
                                  QStringLiteral("path"));
    parser.addOption(simulate);
    parser.addOption(port);

    // "--simulate" may stand without a value; give it the default model.
    QStringList args = arguments;
    for (QString &a : args) {
        if (a == QLatin1String("--simulate") || a == QLatin1String("-simulate"))
            a = QStringLiteral("--simulate=") + QLatin1String(DefaultSimulatedModel);
    }
    if (!parser.parse(args)) {
        fprintf(stderr, "%s\n", qPrintable(parser.errorText()));
        return false;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    options->simulate = parser.isSet(simulate);
    options->simulateModel = parser.value(simulate);
    options->ports = parser.values(port);
    return true;
}
