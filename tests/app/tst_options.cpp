// The command lines of corvane and corvane-sim: what each argument list means,
// the exact usage errors, the display check, and the exit statuses of the real
// programs where no display is needed (headless runs: remote_headless).
#include "app/display.h"
#include "app/options.h"
#include "support/table.h"

#include <QProcess>

#include <cstdlib>
#include <cstring>

#include <sys/resource.h>

namespace {

// A model list of a program built with a simulator of three models.
const QStringList Models{"Corvane NanoTa", "Corvane NanoTb", "Corvane Nano Span"};
const QString TryHelp = "Try 'corvane --help' for more information.";

// What the parsed options say, field by field; defaults are left out.
QString describe(const AppOptions &o)
{
    QStringList f;
    if (!o.simulated.isEmpty())
        f << "simulate " + o.simulated.join(" + ");
    for (const QString &p : o.ports)
        f << "port " + p;
    if (o.openAll)
        f << "open-all";
    for (const Endpoint *e : {&o.scpi, &o.metrics})
        if (e->enabled)
            f << QString("%1 %2:%3%4%5")
                     .arg(e == &o.scpi ? "scpi" : "metrics",
                          e->address.contains(':') ? "[" + e->address + "]" : e->address)
                     .arg(e->port)
                     .arg(e->explicitAddress ? " given" : "",
                          e->isLoopback() ? "" : " not loopback");
    if (o.headless)
        f << "headless";
    for (const QString &i : o.instruments)
        f << "instrument " + i;
    if (o.all)
        f << "all";
    if (!o.logFile.isEmpty())
        f << "log " + o.logFile + (o.logFormat == LogFormat::Csv ? " as csv" : " as jsonl");
    if (o.durationMs)
        f << QString("duration %1 ms").arg(o.durationMs);
    if (o.maxBer != 0.0)
        f << "max-ber " + QString::number(o.maxBer);
    return f.join(" | ");
}

QStringList lines(const QByteArray &text)
{
    return QString::fromUtf8(text).split('\n', Qt::SkipEmptyParts);
}

// Runs a program without any display; its exit code, stdout and stderr lines.
QStringList run(const QString &program, const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit)
        return {"did not end normally"};
    return QStringList{QString::number(p.exitCode())} + lines(p.readAllStandardOutput()) +
           lines(p.readAllStandardError());
}

} // namespace

class TstOptions : public QObject
{
    Q_OBJECT

private slots:
    // Argument lists, and what they give: the options parsed, or the usage
    // error with the line that says why.
    void parses_data()
    {
        columns<QStringList, bool, QString>({"args", "simulator", "result"});
        auto row = [](const QStringList &args, const QString &options) {
            QTest::newRow(qPrintable(args.join(' '))) << args << true << options;
        };
        auto bad = [](const QStringList &args, const QString &why, bool simulator = true) {
            QTest::newRow(qPrintable(args.join(' '))) << args << simulator << "corvane: " + why;
        };
        row({"--simulate", "Corvane NanoTa"}, "simulate Corvane NanoTa");
        row({"--simulate=2", "--simulate=Corvane Nano Span", "--simulate"},
            "simulate Corvane NanoTb + Corvane NanoTb + Corvane Nano Span + Corvane NanoTb");
        row({"--simulate", "--port", "/dev/ttyACM3"},
            "simulate Corvane NanoTb | port /dev/ttyACM3");
        row({"-simulate=Corvane NanoTa", "-port", "/dev/ttyUSB0"},
            "simulate Corvane NanoTa | port /dev/ttyUSB0");
        row({"--port", "/dev/ttyACM0", "--port=/dev/serial/by-id/usb-x"},
            "port /dev/ttyACM0 | port /dev/serial/by-id/usb-x");
        row({"-platform", "offscreen", "-style", "fusion", "-reverse", "--open-all", "--"},
            "open-all");
        row({"--port", "-platform"}, "port -platform");

        row({"--scpi", "--metrics"}, "scpi 127.0.0.1:5025 | metrics 127.0.0.1:9464");
        row({"--scpi=6000", "--metrics=:65535"}, "scpi 127.0.0.1:6000 | metrics 127.0.0.1:65535");
        row({"--scpi=192.168.1.20:5025", "--metrics=0.0.0.0"},
            "scpi 192.168.1.20:5025 given not loopback | metrics 0.0.0.0:9464 given not loopback");
        row({"--scpi=localhost:7000", "--metrics=127.0.0.2"},
            "scpi 127.0.0.1:7000 given | metrics 127.0.0.2:9464 given");
        row({"--metrics=[::1]:9000", "--scpi=[0:0:0:0:0:0:0:1]"},
            "scpi [::1]:5025 given | metrics [::1]:9000 given");
        row({"--scpi=[::]:1"}, "scpi [::]:1 given not loopback");

        row({"--headless", "--instrument", "10447", "--instrument", "/dev/ttyUSB0", "--log",
             "run-{serial}.csv", "--duration", "2h", "--max-ber", "1e-12"},
            "headless | instrument 10447 | instrument /dev/ttyUSB0 | log run-{serial}.csv as csv | "
            "duration 7200000 ms | max-ber 1e-12");
        row({"--all", "--log=/tmp/x/BER.JSONL", "--headless"},
            "headless | all | log /tmp/x/BER.JSONL as jsonl");
        row({"--headless", "--open-all", "--simulate=2"},
            "simulate Corvane NanoTb + Corvane NanoTb | open-all | headless | all");
        const char *durations[][2] = {{"90s", "90000"},
                                      {"10m", "600000"},
                                      {"3d", "259200000"},
                                      {"45", "45000"},
                                      {"1.5H", "5400000"}};
        for (const auto &[d, ms] : durations)
            row({"--headless", "--duration", d}, QString("headless | duration %1 ms").arg(ms));
        row({"--headless", "--max-ber", "1"}, "headless | max-ber 1");

        bad({"--bogus"}, "Unknown option 'bogus'.");
        bad({"--simulate"}, "Unknown option 'simulate'.", false);
        bad({"ttyACM0"}, "unexpected argument 'ttyACM0'.");
        bad({"--simulate=Corvane Zeta"},
            "unknown model \"Corvane Zeta\" for --simulate; the models are: Corvane NanoTa, "
            "Corvane NanoTb, Corvane Nano Span.");
        bad({"--simulate=0"}, "--simulate=0: the number of simulated instruments is 1 to 8.");
        bad({"--simulate=9"}, "--simulate=9: the number of simulated instruments is 1 to 8.");
        bad({"--port"}, "Missing value after '--port'.");
        bad({"--port="}, "--port needs a device path.");
        bad({"--open-all=yes"}, "Unexpected value after '--open-all'.");

        bad({"--scpi", "5025"},
            "unexpected argument '5025' (an endpoint goes after '=': --scpi=5025).");
        bad({"--metrics="}, "--metrics= needs an endpoint: PORT, ADDR:PORT, [IPv6]:PORT or ADDR.");
        bad({"--scpi=65536"}, "--scpi: '65536' is not a port number (0 to 65535).");
        bad({"--metrics=127.0.0.1:"}, "--metrics: no port after ':' in '127.0.0.1:'.");
        bad({"--scpi=lab-pc:5025"}, "--scpi: 'lab-pc' is not an IP address or localhost.");
        bad({"--scpi=::1"}, "--scpi: write an IPv6 address in brackets, as in [::1]:5025.");
        bad({"--metrics=[::1"}, "--metrics: '[::1' lacks its ']'.");
        bad({"--scpi=[127.0.0.1]:80"}, "--scpi: '127.0.0.1' is not an IPv6 address.");
        bad({"--scpi=[::1]5025"}, "--scpi: expected ':PORT' after ']' in '[::1]5025'.");
        bad({"--scpi", "--scpi=6000"}, "--scpi given twice.");

        for (const char *option :
             {"--instrument=1", "--all", "--log=a.csv", "--duration=1", "--max-ber=1"})
            bad({option}, QString(option).section('=', 0, 0) + " needs --headless.");
        bad({"--headless", "--instrument", "10447", "--all"},
            "--all and --instrument exclude each other.");
        bad({"--headless", "--instrument="}, "--instrument needs a serial number or a port path.");
        bad({"--headless", "--log", "ber.txt"}, "--log: 'ber.txt' must end in .csv or .jsonl.");
        bad({"--headless", "--log", "/tmp/.csv"},
            "--log: '/tmp/.csv' has no name before its suffix.");
        bad({"--headless", "--duration", "0"}, "--duration must be positive.");
        bad({"--headless", "--duration", "10w"},
            "--duration: '10w' is not a duration (such as 90s, 10m, 2h, 3d or plain seconds).");
        bad({"--headless", "--duration", "999999999999999d"},
            "--duration: '999999999999999d' is too long.");
        for (const char *ber : {"0", "12"})
            bad({"--headless", "--max-ber", ber},
                QString("--max-ber: '%1' is not a bit error rate above 0 and at most 1 (such as "
                        "1e-12).")
                    .arg(ber));
        bad({"--headless", "--max-ber", "inf"}, "--max-ber: 'inf' is not a number.");
    }
    void parses()
    {
        AppOptions options;
        options.ports << "/dev/untouched";
        const ParseResult r =
            parseOptions(QStringList{"corvane"} + data<QStringList>("args"),
                         data<bool>("simulator") ? Models : QStringList(), &options);
        const QString result = data<QString>("result");
        if (!result.startsWith("corvane: ")) {
            QVERIFY2(r.action == ParseResult::Run && r.output.isEmpty(), qPrintable(r.output));
            QCOMPARE(describe(options), result);
            return;
        }
        QCOMPARE(int(r.action), int(ParseResult::ExitUsage));
        QCOMPARE(r.output.split('\n'), (QStringList{result, TryHelp, ""}));
        QCOMPARE(options.ports, QStringList{"/dev/untouched"}); // a failed parse changes nothing
    }

    // --help names every option on a line of its own within 79 columns,
    // --help-all adds Qt's, and neither is stopped by a bad value elsewhere.
    void helpAndVersion()
    {
        AppOptions options;
        const QStringList ours{"  --simulate[=MODEL|N]     ", "  --port PATH              ",
                               "  --open-all               ", "  --scpi[=ENDPOINT]        ",
                               "  --metrics[=ENDPOINT]     ", "  --headless               ",
                               "  --instrument SERIAL|PATH ", "  --all                    ",
                               "  --log FILE               ", "  --duration D             ",
                               "  --max-ber X              ", "  -h, --help               ",
                               "  --help-all               ", "  -v, --version            ",
                               "Exit status: 0 normal end;"};
        for (const char *help : {"--help-all", "-h"}) {
            const ParseResult r =
                parseOptions({"corvane", "--duration", "soon", help}, Models, &options);
            QCOMPARE(int(r.action), int(ParseResult::ExitOk));
            for (const QString &text : ours)
                QVERIFY2(r.output.contains(text), qPrintable(text));
            QVERIFY(r.output.simplified().contains(
                "Models: Corvane NanoTa, Corvane NanoTb, Corvane Nano Span."));
            QCOMPARE(r.output.contains("Qt options:\n  -platform <name[:options]>"),
                     QString(help) == "--help-all");
            for (const QString &line : r.output.split('\n'))
                QVERIFY2(line.size() <= 79, qPrintable(line));
        }
        QVERIFY(!parseOptions({"corvane", "--help"}, {}, &options).output.contains("--simulate"));
        const ParseResult version =
            parseOptions({"corvane", "--port", "/dev/x", "-v"}, Models, &options);
        QCOMPARE(int(version.action), int(ParseResult::ExitOk));
        QCOMPARE(version.output, QString("corvane 2.61\n"));
    }

    // Whether a window could open, decided before Qt tries.
    void display_data()
    {
        columns<QStringList, QString, QString, QString, QString>(
            {"args", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "why"});
        const char *noX = "no display (set DISPLAY, or use --headless)";
        const char *noWayland = "no display (set WAYLAND_DISPLAY, or use --headless)";
        auto row = [](const char *name, const QStringList &args, const char *x, const char *w,
                      const char *qpa, const char *why = "") {
            QTest::newRow(name) << args << QString(x) << QString(w) << QString(qpa) << QString(why);
        };
        row("nothing", {}, "", "", "", noX);
        row("Wayland session", {}, "", "wayland-0", "");
        row("-display", {"-display", ":1"}, "", "", "");
        row("xcb asked, no X", {}, "", "wayland-0", "xcb", noX);
        row("wayland-egl asked, no Wayland", {}, ":0", "", "wayland-egl", noWayland);
        row("a fallback works", {}, ":0", "", "wayland;xcb");
        row("no fallback works", {}, "", "", "wayland;xcb", noWayland);
        row("offscreen with options", {}, "", "", "offscreen:size=800x600");
        row("--platform xcb over the variable", {"--platform", "xcb"}, "", "", "offscreen", noX);
        row("xcb with options", {"-platform", "xcb:nodpifromx"}, "", "", "", noX);
    }
    void display()
    {
        // The variables stay set after the test: nothing later in this program
        // opens a window, and the programs it starts are given none (run()).
        for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            qputenv(variable, data<QString>(variable).toLocal8Bit());
            if (data<QString>(variable).isEmpty())
                qunsetenv(variable);
        }
        QString why = "untouched";
        const bool available =
            displayAvailable(QStringList{"corvane"} + data<QStringList>("args"), &why);
        QCOMPARE(available, data<QString>("why").isEmpty());
        QCOMPARE(why, available ? QString("untouched") : data<QString>("why"));
    }

    // Qt's messages when no platform plugin starts, caught in a child process
    // (this test program itself, see main()): a warning in the category
    // qt.qpa.plugin, then the fatal message.
    void platformFailure_data()
    {
        columns<int, QString, QString, int, QString>(
            {"status", "warning", "fatal", "exitCode", "stderrEnd"});
        const QString noPlugin =
            "This application failed to start because no Qt platform plugin could be "
            "initialized. Reinstalling the application may fix this problem.\n\nAvailable "
            "platform plugins are: minimal, offscreen, xcb.";
        const QString noDisplay = "corvane: no display (set DISPLAY, or use --headless)";
        QTest::newRow("plugin found, display not, status 9")
            << 9
            << "Could not load the Qt platform plugin \"xcb\" in \"\" even though it was found."
            << noPlugin << 9 << noDisplay;
        QTest::newRow("all in the fatal message")
            << 4 << ""
            << "This application failed to start because it could not load the Qt platform "
               "plugin \"xcb\"\nin \"\", even though it was found."
            << 4 << noDisplay;
        QTest::newRow("another fatal error aborts") << 4 << "a warning on the way"
                                                    << "out of sockets" << -1 << "out of sockets";
    }
    void platformFailure()
    {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {"--child-fatal", QString::number(data<int>("status")),
                     data<QString>("warning"), data<QString>("fatal")});
        QVERIFY(child.waitForFinished(10000));
        const QStringList err = lines(child.readAllStandardError());
        QCOMPARE(child.exitStatus() == QProcess::CrashExit, data<int>("exitCode") < 0);
        if (data<int>("exitCode") >= 0)
            QTEST(child.exitCode(), "exitCode");
        // Messages before the fatal one still reach the handler that was there.
        if (!data<QString>("warning").isEmpty())
            QCOMPARE(err.value(0), "qt.qpa.plugin: " + data<QString>("warning"));
        QCOMPARE(err.value(err.size() - 1), data<QString>("stderrEnd"));
    }

    // The real programs, where their answer needs no display: the exit code,
    // then the lines on stdout and stderr.
    void statuses_data()
    {
        columns<QString, QStringList, QStringList>({"program", "args", "says"});
        const QString corvane = CORVANE_BINARY, sim = CORVANE_SIM_BINARY;
        const QString trySim = "Try 'corvane-sim --help' for more information.";
        QTest::newRow("corvane version")
            << corvane << QStringList{"--version"} << QStringList{"0", "corvane 2.61"};
        QTest::newRow("corvane bad option")
            << corvane << QStringList{"--bogus"}
            << QStringList{"2", "corvane: Unknown option 'bogus'.", TryHelp};
#ifdef CORVANE_WITH_SIMULATOR
        QTest::newRow("corvane bad model")
            << corvane << QStringList{"--simulate", "Corvane Zeta"}
            << QStringList{"2",
                           "corvane: unknown model \"Corvane Zeta\" for --simulate; the models "
                           "are: Corvane NanoTa, Corvane NanoTb, Corvane Nano Span, Corvane "
                           "Tera, Corvane Nano Tera, Corvane Nano.",
                           TryHelp};
#endif
        // Without any display the program says so and ends with status 4.
        QTest::newRow("corvane without a display")
            << corvane << QStringList{}
            << QStringList{"4", "corvane: no display (set DISPLAY, or use --headless)"};
        QTest::newRow("sim version")
            << sim << QStringList{"--version"} << QStringList{"0", "corvane-sim 2.61"};
        auto bad = [&](const char *name, const QStringList &args, const QString &why) {
            QTest::newRow(name) << sim << args << QStringList{"2", "corvane-sim: " + why, trySim};
        };
        bad("sim bad option", {"--bogus"}, "Unknown option 'bogus'.");
        bad("sim unknown fault", {"--fault", "slow"},
            "unknown fault 'slow'; the faults are: none, no-reply, short, split, late, garbage.");
        bad("sim unplug beyond the timer", {"--unplug-after=3000000"},
            "--unplug-after: '3000000' is not a number of seconds from 0 to 2147483.");
        bad("sim ber above 1", {"--ber", "1.5"},
            "--ber: '1.5' is not a bit error rate from 0 to 1.");
    }
    void statuses()
    {
        QTEST(run(data<QString>("program"), data<QStringList>("args")), "says");
    }

    // The seed and model chosen make the instrument's identification (serial
    // number 10446 + seed % 80000), as corvane --headless reads it; SIGTERM
    // ends the simulator with status 0.
    void simIdentification()
    {
        QProcess p;
        p.start(CORVANE_SIM_BINARY, {"--seed", "80000", "--model", "Corvane Nano Span"});
        QTRY_VERIFY_WITH_TIMEOUT(p.canReadLine(), 10000);
        const QString path = QString::fromLocal8Bit(p.readLine()).trimmed();
        const QStringList said =
            run(CORVANE_BINARY, {"--headless", "--port", path, "--duration", "1s"});
        QVERIFY2(said.value(1).startsWith("10446 Corvane Nano Span: "),
                 qPrintable(said.join('\n')));
        p.terminate();
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
    }

    // --unplug-after 0 is a valid time: the terminal goes at once.
    void simUnplugs()
    {
        QProcess p;
        p.start(CORVANE_SIM_BINARY, {"--unplug-after", "0"});
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += p.readAllStandardError()).contains("unplugged\n"), 10000);
        QVERIFY(p.readAllStandardOutput().startsWith("/dev/pts/"));
        p.terminate();
        QVERIFY(p.waitForFinished(10000));
    }
};

// "--child-fatal STATUS WARNING FATAL": the child of platformFailure(). It
// installs the handler, warns as Qt's platform code does, then dies of FATAL.
int main(int argc, char *argv[])
{
    if (argc == 5 && std::strcmp(argv[1], "--child-fatal") == 0) {
        const rlimit noCore = {0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore); // the abort is expected
        exitWhenPlatformFails(std::atoi(argv[2]));
        const QLoggingCategory plugin("qt.qpa.plugin");
        if (*argv[3])
            qCWarning(plugin, "%s", argv[3]);
        qFatal("%s", argv[4]);
    }
    QCoreApplication app(argc, argv);
    TstOptions test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_options.moc"
