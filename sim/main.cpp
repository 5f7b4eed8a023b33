// corvane-sim: a simulated Corvane instrument on a pseudo-terminal.
// Prints the pty path as its first line, then serves until SIGINT or SIGTERM.

#include "corvane_version.h"
#include "ptysimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <cmath>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

bool parseFault(const QString &name, sim::Fault *fault)
{
    static const struct {
        const char *name;
        sim::Fault fault;
    } table[] = {
        {"none", sim::Fault::None},        {"no-reply", sim::Fault::NoReply},
        {"short", sim::Fault::ShortReply}, {"split", sim::Fault::SplitReply},
        {"late", sim::Fault::LateReply},   {"garbage", sim::Fault::Garbage},
    };
    for (const auto &entry : table)
        if (name == QLatin1String(entry.name)) {
            *fault = entry.fault;
            return true;
        }
    return false;
}

// A usage error: one line saying why, a pointer to --help, exit status 2.
int usageError(const QString &why)
{
    std::fprintf(stderr, "corvane-sim: %s\nTry 'corvane-sim --help' for more information.\n",
                 qPrintable(why));
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvane-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated Corvane bit-error-rate tester on a pseudo-terminal.\n"
                       "Prints the terminal's path as the first line of output."));
    const QCommandLineOption helpOpt = parser.addHelpOption();
    const QCommandLineOption versionOpt = parser.addVersionOption();
    const QString models = QString::fromLatin1(sim::Engine::modelNames().join(", "));
    const QCommandLineOption modelOpt(QStringLiteral("model"),
                                      QStringLiteral("Model name, one of: %1.").arg(models),
                                      QStringLiteral("NAME"), QStringLiteral("Corvane NanoTb"));
    const QCommandLineOption berOpt(
        QStringLiteral("ber"), QStringLiteral("Bit error rate of both sides, 0 to 1 (default 0)."),
        QStringLiteral("X"), QStringLiteral("0"));
    const QCommandLineOption faultOpt(
        QStringLiteral("fault"),
        QStringLiteral("Spoil every reply: none, no-reply, short, split, late or garbage."),
        QStringLiteral("NAME"), QStringLiteral("none"));
    const QCommandLineOption seedOpt(
        QStringLiteral("seed"),
        QStringLiteral("Random seed, 0 to 4294967295 (default 1). The serial number is "
                       "10446 + N (seeds 1 to 80000 give distinct ones)."),
        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption unplugOpt(
        QStringLiteral("unplug-after"),
        QStringLiteral("Close the terminal after this many seconds, as if the cable was pulled."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption verboseOpt(
        QStringLiteral("verbose"),
        QStringLiteral("Print every received command to standard error."));
    parser.addOptions({modelOpt, berOpt, faultOpt, seedOpt, unplugOpt, verboseOpt});

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(helpOpt) || parser.isSet(QStringLiteral("help-all"))) {
        // Qt names the program as it was called; the help names it plainly.
        QString help = parser.helpText();
        help.replace(0, help.indexOf(QLatin1Char('\n')),
                     QStringLiteral("Usage: corvane-sim [options]"));
        std::fputs(qPrintable(help), stdout);
        std::fputs("\nExit status: 0 stopped by SIGINT or SIGTERM; 1 the pseudo-terminal could "
                   "not\nbe opened; 2 bad usage.\n",
                   stdout);
        return 0;
    }
    if (parser.isSet(versionOpt)) {
        std::printf("corvane-sim %s\n", CORVANE_VERSION);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'.")
                              .arg(parser.positionalArguments().constFirst()));

    QTextStream err(stderr);
    const QByteArray model = parser.value(modelOpt).toLatin1();
    if (!sim::Engine::findModel(model))
        return usageError(QStringLiteral("unknown model \"%1\"; the models are: %2.")
                              .arg(parser.value(modelOpt), models));
    bool ok = false;
    const double ber = parser.value(berOpt).toDouble(&ok);
    if (!ok || !(ber >= 0.0 && ber <= 1.0))
        return usageError(QStringLiteral("--ber: '%1' is not a bit error rate from 0 to 1.")
                              .arg(parser.value(berOpt)));
    sim::Fault fault = sim::Fault::None;
    if (!parseFault(parser.value(faultOpt), &fault))
        return usageError(QStringLiteral("unknown fault '%1'; the faults are: none, no-reply, "
                                         "short, split, late, garbage.")
                              .arg(parser.value(faultOpt)));
    const quint32 seed = parser.value(seedOpt).toUInt(&ok);
    if (!ok)
        return usageError(QStringLiteral("--seed: '%1' is not a number from 0 to 4294967295.")
                              .arg(parser.value(seedOpt)));
    // The timer counts milliseconds in an int.
    constexpr double MaxUnplugSeconds = 2147483.0;
    double unplugSeconds = -1.0;
    if (parser.isSet(unplugOpt)) {
        unplugSeconds = parser.value(unplugOpt).toDouble(&ok);
        if (!ok || !(unplugSeconds >= 0.0 && unplugSeconds <= MaxUnplugSeconds))
            return usageError(
                QStringLiteral("--unplug-after: '%1' is not a number of seconds from 0 to %2.")
                    .arg(parser.value(unplugOpt))
                    .arg(MaxUnplugSeconds, 0, 'f', 0));
    }

    sim::PtySimulator simulator(seed);
    QString error;
    if (!simulator.start(model, &error)) {
        err << error << "\n";
        return 1;
    }
    simulator.withEngine([&](sim::Engine &e) {
        e.setBitErrorRate(ber, 'A');
        e.setBitErrorRate(ber, 'B');
        e.setFault(fault);
    });
    std::printf("%s\n", simulator.slavePath().toLocal8Bit().constData());
    std::fflush(stdout);

    if (::pipe2(g_signalPipe, O_CLOEXEC) != 0) {
        err << "pipe2 failed\n";
        return 1;
    }
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    if (unplugSeconds >= 0.0) {
        QTimer::singleShot(int(std::lround(unplugSeconds * 1000.0)), &app, [&] {
            simulator.unplug();
            err << "unplugged\n";
            err.flush();
        });
    }

    qint64 logged = 0;
    QTimer logTimer;
    if (parser.isSet(verboseOpt)) {
        QObject::connect(&logTimer, &QTimer::timeout, &app, [&] {
            const QVector<sim::LoggedCommand> log = simulator.commandLog();
            for (const sim::LoggedCommand &c : log) {
                if (c.index < logged)
                    continue;
                err << c.ms << " ms: " << QString::fromLatin1(c.line) << "\n";
                logged = c.index + 1;
            }
            err.flush();
        });
        logTimer.start(100);
    }

    const int rc = app.exec();
    simulator.stop();
    return rc;
}
