// corvane-sim: a simulated Corvane instrument on a pseudo-terminal.
// Prints the pty path as its first line, then serves until SIGINT or SIGTERM.

#include "corvane_version.h"
#include "ptysimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

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
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption modelOpt(
        QStringLiteral("model"),
        QStringLiteral("Model name, one of: %1.")
            .arg(QString::fromLatin1(sim::Engine::modelNames().join(", "))),
        QStringLiteral("NAME"), QStringLiteral("Corvane NanoTb"));
    const QCommandLineOption berOpt(QStringLiteral("ber"),
                                    QStringLiteral("Bit error rate of both sides (default 0)."),
                                    QStringLiteral("X"), QStringLiteral("0"));
    const QCommandLineOption faultOpt(
        QStringLiteral("fault"),
        QStringLiteral("Spoil every reply: none, no-reply, short, split, late or garbage."),
        QStringLiteral("NAME"), QStringLiteral("none"));
    const QCommandLineOption seedOpt(QStringLiteral("seed"),
                                     QStringLiteral("Random seed (default 1)."),
                                     QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption unplugOpt(
        QStringLiteral("unplug-after"),
        QStringLiteral("Close the terminal after this many seconds, as if the cable was pulled."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption verboseOpt(
        QStringLiteral("verbose"),
        QStringLiteral("Print every received command to standard error."));
    parser.addOptions({modelOpt, berOpt, faultOpt, seedOpt, unplugOpt, verboseOpt});
    parser.process(app);

    QTextStream err(stderr);
    const QByteArray model = parser.value(modelOpt).toLatin1();
    if (!sim::Engine::findModel(model)) {
        err << "unknown model: " << parser.value(modelOpt) << "\n";
        return 2;
    }
    bool ok = false;
    const double ber = parser.value(berOpt).toDouble(&ok);
    if (!ok || ber < 0.0 || ber > 1.0) {
        err << "bad bit error rate: " << parser.value(berOpt) << "\n";
        return 2;
    }
    sim::Fault fault = sim::Fault::None;
    if (!parseFault(parser.value(faultOpt), &fault)) {
        err << "unknown fault: " << parser.value(faultOpt) << "\n";
        return 2;
    }
    const quint32 seed = parser.value(seedOpt).toUInt(&ok);
    if (!ok) {
        err << "bad seed: " << parser.value(seedOpt) << "\n";
        return 2;
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

    if (parser.isSet(unplugOpt)) {
        const double secs = parser.value(unplugOpt).toDouble();
        QTimer::singleShot(int(secs * 1000), &app, [&] {
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
