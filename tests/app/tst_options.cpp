// The command lines of corvane and corvane-sim: what each argument list means,
// the exact usage errors, the display check, and the exit statuses of the real
// programs where no display is needed.
#include "app/display.h"
#include "app/options.h"

#include <QProcess>
#include <QtTest>

#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The columns of a data table: columns<int, QString>({"code", "text"}).
template <class... T> void columns(std::initializer_list<const char *> names)
{
    auto name = names.begin();
    (QTest::addColumn<T>(*name++), ...);
}

template <class T> const T &data(const char *column)
{
    return *static_cast<const T *>(QTest::qData(column, qMetaTypeId<T>()));
}

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
    auto endpoint = [&](const char *name, const Endpoint &e) {
        if (!e.enabled)
            return;
        const QString host = e.address.contains(':') ? "[" + e.address + "]" : e.address;
        f << QString("%1 %2:%3%4%5")
                 .arg(name, host)
                 .arg(e.port)
                 .arg(e.explicitAddress ? " given" : "", e.isLoopback() ? "" : " not loopback");
    };
    endpoint("scpi", o.scpi);
    endpoint("metrics", o.metrics);
    if (o.headless)
        f << "headless";
    for (const QString &i : o.instruments)
        f << "instrument " + i;
    if (o.all)
        f << "all";
    if (!o.logFile.isEmpty())
        f << "log " + o.logFile +
                 (o.logFormat == LogFormat::Csv     ? " as csv"
                  : o.logFormat == LogFormat::Jsonl ? " as jsonl"
                                                    : " as ?");
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

// The environment without any display, for programs that must not need one.
QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    return env;
}

// Sends one command to a simulated instrument over its terminal, as a client
// does, and returns the reply line.
QByteArray ask(const QString &ptyPath, const QByteArray &command)
{
    const int fd = ::open(QFile::encodeName(ptyPath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return "cannot open " + ptyPath.toLocal8Bit();
    QByteArray reply;
    if (::write(fd, command.constData(), size_t(command.size())) == command.size()) {
        (void)QTest::qWaitFor(
            [&] {
                char buffer[256];
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n > 0)
                    reply.append(buffer, int(n));
                return reply.endsWith("\r\n");
            },
            5000);
    }
    ::close(fd);
    return reply;
}

} // namespace

class TstOptions : public QObject
{
    Q_OBJECT

private slots:
    // Argument lists that parse, and what they give.
    void parses_data()
    {
        columns<QStringList, QString>({"args", "options"});
        QTest::newRow("nothing") << QStringList{} << "";
        QTest::newRow("simulate alone") << QStringList{"--simulate"} << "simulate Corvane NanoTb";
        QTest::newRow("simulate=MODEL")
            << QStringList{"--simulate=Corvane Nano Span"} << "simulate Corvane Nano Span";
        QTest::newRow("simulate MODEL")
            << QStringList{"--simulate", "Corvane NanoTa"} << "simulate Corvane NanoTa";
        QTest::newRow("simulate=N") << QStringList{"--simulate=3"}
                                    << "simulate Corvane NanoTb + Corvane NanoTb + Corvane NanoTb";
        QTest::newRow("simulate N")
            << QStringList{"--simulate", "2"} << "simulate Corvane NanoTb + Corvane NanoTb";
        QTest::newRow("simulate before an option")
            << QStringList{"--simulate", "--port", "/dev/ttyACM3"}
            << "simulate Corvane NanoTb | port /dev/ttyACM3";
        QTest::newRow("simulate repeated, in order")
            << QStringList{"--simulate=2", "--simulate", "Corvane Nano Span", "--simulate"}
            << "simulate Corvane NanoTb + Corvane NanoTb + Corvane Nano Span + Corvane NanoTb";
        QTest::newRow("one dash, as Qt's options")
            << QStringList{"-simulate=Corvane NanoTa", "-port", "/dev/ttyUSB0"}
            << "simulate Corvane NanoTa | port /dev/ttyUSB0";
        QTest::newRow("ports") << QStringList{"--port", "/dev/ttyACM0",
                                              "--port=/dev/serial/by-id/usb-x"}
                               << "port /dev/ttyACM0 | port /dev/serial/by-id/usb-x";
        QTest::newRow("Qt's options are stepped over")
            << QStringList{"-platform", "offscreen", "-style", "fusion", "-reverse", "--open-all"}
            << "open-all";
        QTest::newRow("a port named like a Qt option")
            << QStringList{"--port", "-platform"} << "port -platform";
        QTest::newRow("-- ends the options") << QStringList{"--open-all", "--"} << "open-all";

        QTest::newRow("scpi default") << QStringList{"--scpi"} << "scpi 127.0.0.1:5025";
        QTest::newRow("metrics default") << QStringList{"--metrics"} << "metrics 127.0.0.1:9464";
        QTest::newRow("PORT") << QStringList{"--scpi=6000"} << "scpi 127.0.0.1:6000";
        QTest::newRow("any free port") << QStringList{"--metrics=0"} << "metrics 127.0.0.1:0";
        QTest::newRow(":PORT") << QStringList{"--scpi=:65535"} << "scpi 127.0.0.1:65535";
        QTest::newRow("ADDR:PORT") << QStringList{"--scpi=192.168.1.20:5025"}
                                   << "scpi 192.168.1.20:5025 given not loopback";
        QTest::newRow("every address")
            << QStringList{"--metrics=0.0.0.0"} << "metrics 0.0.0.0:9464 given not loopback";
        QTest::newRow("localhost")
            << QStringList{"--scpi=localhost:7000"} << "scpi 127.0.0.1:7000 given";
        QTest::newRow("another loopback address")
            << QStringList{"--scpi=127.0.0.2"} << "scpi 127.0.0.2:5025 given";
        QTest::newRow("[IPv6]:PORT")
            << QStringList{"--metrics=[::1]:9000"} << "metrics [::1]:9000 given";
        QTest::newRow("[IPv6], written long")
            << QStringList{"--scpi=[0:0:0:0:0:0:0:1]"} << "scpi [::1]:5025 given";
        QTest::newRow("[IPv6] any")
            << QStringList{"--scpi=[::]:1"} << "scpi [::]:1 given not loopback";

        QTest::newRow("headless, every option")
            << QStringList{"--headless",       "--instrument", "10447",
                           "--instrument",     "/dev/ttyUSB0", "--log",
                           "run-{serial}.csv", "--duration",   "2h",
                           "--max-ber",        "1e-12",        "--scpi"}
            << "scpi 127.0.0.1:5025 | headless | instrument 10447 | instrument /dev/ttyUSB0 | "
               "log run-{serial}.csv as csv | duration 7200000 ms | max-ber 1e-12";
        QTest::newRow("headless after its options")
            << QStringList{"--all", "--log=/tmp/x/BER.JSONL", "--headless"}
            << "headless | all | log /tmp/x/BER.JSONL as jsonl";
        QTest::newRow("open-all in headless is all")
            << QStringList{"--headless", "--open-all", "--simulate=2"}
            << "simulate Corvane NanoTb + Corvane NanoTb | open-all | headless | all";
        QTest::newRow("90s") << QStringList{"--headless", "--duration", "90s"}
                             << "headless | duration 90000 ms";
        QTest::newRow("10m") << QStringList{"--headless", "--duration", "10m"}
                             << "headless | duration 600000 ms";
        QTest::newRow("3d") << QStringList{"--headless", "--duration", "3d"}
                            << "headless | duration 259200000 ms";
        QTest::newRow("plain seconds")
            << QStringList{"--headless", "--duration=45"} << "headless | duration 45000 ms";
        QTest::newRow("1.5h") << QStringList{"--headless", "--duration", "1.5H"}
                              << "headless | duration 5400000 ms";
        QTest::newRow("a BER of 1")
            << QStringList{"--headless", "--max-ber", "1"} << "headless | max-ber 1";
        QTest::newRow("a BER in plain digits")
            << QStringList{"--headless", "--max-ber", "0.00025"} << "headless | max-ber 0.00025";
    }
    void parses()
    {
        AppOptions options;
        const ParseResult r =
            parseOptions(QStringList{"corvane"} + data<QStringList>("args"), Models, &options);
        QVERIFY2(r.action == ParseResult::Run, qPrintable(r.output));
        QCOMPARE(r.output, QString());
        QTEST(describe(options), "options");
    }

    // Argument lists that are usage errors, and the line that says why.
    void usageErrors_data()
    {
        columns<QStringList, bool, QString>({"args", "simulator", "why"});
        auto row = [](const char *name, const QStringList &args, const QString &why,
                      bool simulator = true) {
            QTest::newRow(name) << args << simulator << "corvane: " + why;
        };
        row("unknown option", {"--bogus"}, "Unknown option 'bogus'.");
        row("no simulator: --simulate is unknown", {"--simulate"}, "Unknown option 'simulate'.",
            false);
        row("stray argument", {"ttyACM0"}, "unexpected argument 'ttyACM0'.");
        row("argument after --", {"--", "--port"}, "unexpected argument '--port'.");
        row("unknown model", {"--simulate=Corvane Zeta"},
            "unknown model \"Corvane Zeta\" for --simulate; the models are: Corvane NanoTa, "
            "Corvane NanoTb, Corvane Nano Span.");
        row("unknown model, space form", {"--simulate", "nanotb"},
            "unknown model \"nanotb\" for --simulate; the models are: Corvane NanoTa, "
            "Corvane NanoTb, Corvane Nano Span.");
        row("simulate=0", {"--simulate=0"},
            "--simulate=0: the number of simulated instruments is 1 to 8.");
        row("simulate=9", {"--simulate=9"},
            "--simulate=9: the number of simulated instruments is 1 to 8.");
        row("port without a path", {"--port"}, "Missing value after '--port'.");
        row("empty port", {"--port="}, "--port needs a device path.");
        row("Qt option without its value", {"-platform"}, "Missing value after '-platform'.");
        row("value on a switch", {"--open-all=yes"}, "Unexpected value after '--open-all'.");

        row("scpi port in the next word", {"--scpi", "5025"},
            "unexpected argument '5025' (an endpoint goes after '=': --scpi=5025).");
        row("empty endpoint", {"--metrics="},
            "--metrics= needs an endpoint: PORT, ADDR:PORT, [IPv6]:PORT or ADDR.");
        row("port too high", {"--scpi=65536"},
            "--scpi: '65536' is not a port number (0 to 65535).");
        row("port not a number", {"--scpi=localhost:http"},
            "--scpi: 'http' is not a port number (0 to 65535).");
        row("no port after the colon", {"--metrics=127.0.0.1:"},
            "--metrics: no port after ':' in '127.0.0.1:'.");
        row("host name", {"--scpi=lab-pc:5025"},
            "--scpi: 'lab-pc' is not an IP address or localhost.");
        row("short IPv4", {"--scpi=10.1:5025"},
            "--scpi: '10.1' is not an IP address or localhost.");
        row("IPv6 without brackets", {"--scpi=::1"},
            "--scpi: write an IPv6 address in brackets, as in [::1]:5025.");
        row("IPv6 without its bracket", {"--metrics=[::1"}, "--metrics: '[::1' lacks its ']'.");
        row("IPv4 in brackets", {"--scpi=[127.0.0.1]:80"},
            "--scpi: '127.0.0.1' is not an IPv6 address.");
        row("junk after the bracket", {"--scpi=[::1]5025"},
            "--scpi: expected ':PORT' after ']' in '[::1]5025'.");
        row("scpi twice", {"--scpi", "--scpi=6000"}, "--scpi given twice.");

        row("instrument without headless", {"--instrument", "10447"},
            "--instrument needs --headless.");
        row("all without headless", {"--all"}, "--all needs --headless.");
        row("log without headless", {"--log", "a.csv"}, "--log needs --headless.");
        row("duration without headless", {"--duration", "10m"}, "--duration needs --headless.");
        row("max-ber without headless", {"--max-ber=1e-9"}, "--max-ber needs --headless.");
        row("all and instrument", {"--headless", "--instrument", "10447", "--all"},
            "--all and --instrument exclude each other.");
        row("open-all and instrument", {"--open-all", "--headless", "--instrument", "/dev/ttyACM0"},
            "--open-all and --instrument exclude each other.");
        row("empty instrument", {"--headless", "--instrument="},
            "--instrument needs a serial number or a port path.");
        row("log suffix", {"--headless", "--log", "ber.txt"},
            "--log: 'ber.txt' must end in .csv or .jsonl.");
        row("log without a name", {"--headless", "--log", "/tmp/.csv"},
            "--log: '/tmp/.csv' has no name before its suffix.");
        row("log twice", {"--headless", "--log", "a.csv", "--log", "b.csv"}, "--log given twice.");
        row("zero duration", {"--headless", "--duration", "0"}, "--duration must be positive.");
        row("negative duration", {"--headless", "--duration", "-5"},
            "--duration: '-5' is not a duration (such as 90s, 10m, 2h, 3d or plain seconds).");
        row("unknown unit", {"--headless", "--duration", "10w"},
            "--duration: '10w' is not a duration (such as 90s, 10m, 2h, 3d or plain seconds).");
        row("endless duration", {"--headless", "--duration", "999999999999999d"},
            "--duration: '999999999999999d' is too long.");
        row("zero BER", {"--headless", "--max-ber", "0"},
            "--max-ber: '0' is not a bit error rate above 0 and at most 1 (such as 1e-12).");
        row("negative BER", {"--headless", "--max-ber", "-1e-9"},
            "--max-ber: '-1e-9' is not a bit error rate above 0 and at most 1 (such as 1e-12).");
        row("BER above 1", {"--headless", "--max-ber", "12"},
            "--max-ber: '12' is not a bit error rate above 0 and at most 1 (such as 1e-12).");
        row("infinite BER", {"--headless", "--max-ber", "inf"},
            "--max-ber: 'inf' is not a number.");
        row("BER not a number", {"--headless", "--max-ber", "1e-12x"},
            "--max-ber: '1e-12x' is not a number.");
    }
    void usageErrors()
    {
        AppOptions options;
        options.ports << "/dev/untouched";
        const ParseResult r =
            parseOptions(QStringList{"corvane"} + data<QStringList>("args"),
                         data<bool>("simulator") ? Models : QStringList(), &options);
        QCOMPARE(int(r.action), int(ParseResult::ExitUsage));
        QCOMPARE(r.output.split('\n'), (QStringList{data<QString>("why"), TryHelp, ""}));
        QCOMPARE(options.ports, QStringList{"/dev/untouched"}); // a failed parse changes nothing
    }

    // --help names every option on a line of its own, --help-all adds Qt's,
    // and neither is stopped by a bad value elsewhere.
    void helpAndVersion_data()
    {
        columns<QStringList, QStringList, QStringList>({"args", "has", "hasNot"});
        const QStringList ours{"  --simulate[=MODEL|N]     ",
                               "  --port PATH              ",
                               "  --open-all               ",
                               "  --scpi[=ENDPOINT]        ",
                               "  --metrics[=ENDPOINT]     ",
                               "  --headless               ",
                               "  --instrument SERIAL|PATH ",
                               "  --all                    ",
                               "  --log FILE               ",
                               "  --duration D             ",
                               "  --max-ber X              ",
                               "  -h, --help               ",
                               "  --help-all               ",
                               "  -v, --version            ",
                               "Instruments:",
                               "Remote control:",
                               "Headless:",
                               "Exit status: 0 normal end;"};
        QTest::newRow("help") << QStringList{"--help"} << ours << QStringList{"-platform"};
        QTest::newRow("help-all") << QStringList{"--help-all"}
                                  << ours +
                                         QStringList{"Qt options:", "  -platform <name[:options]>",
                                                     "  -reverse "}
                                  << QStringList{};
        QTest::newRow("help beside a bad value")
            << QStringList{"--duration", "soon", "-h"} << ours << QStringList{"Qt options:"};
    }
    void helpAndVersion()
    {
        AppOptions options;
        const ParseResult r =
            parseOptions(QStringList{"corvane"} + data<QStringList>("args"), Models, &options);
        QCOMPARE(int(r.action), int(ParseResult::ExitOk));
        for (const QString &text : data<QStringList>("has"))
            QVERIFY2(r.output.contains(text), qPrintable(text));
        for (const QString &text : data<QStringList>("hasNot"))
            QVERIFY2(!r.output.contains(text), qPrintable(text));
        for (const QString &line : r.output.split('\n'))
            QVERIFY2(line.size() <= 79, qPrintable(line));
        const QString models = "Models: Corvane NanoTa, Corvane NanoTb, Corvane Nano Span.";
        QVERIFY(r.output.simplified().contains(models));

        const ParseResult withoutSimulator =
            parseOptions(QStringList{"corvane", "--help"}, QStringList(), &options);
        QVERIFY(!withoutSimulator.output.contains("--simulate"));

        const ParseResult version =
            parseOptions(QStringList{"corvane", "--port", "/dev/x", "-v"}, Models, &options);
        QCOMPARE(int(version.action), int(ParseResult::ExitOk));
        QCOMPARE(version.output, QString("corvane 2.61\n"));
    }

    // Whether a window could open, decided before Qt tries.
    void display_data()
    {
        columns<QStringList, QString, QString, QString, QString>(
            {"args", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "why"});
        const QString noX = "no display (set DISPLAY, or use --headless)";
        const QString noWayland = "no display (set WAYLAND_DISPLAY, or use --headless)";
        QTest::newRow("nothing") << QStringList{} << ""
                                 << ""
                                 << "" << noX;
        QTest::newRow("X11 session") << QStringList{} << ":0"
                                     << ""
                                     << ""
                                     << "";
        QTest::newRow("Wayland session") << QStringList{} << ""
                                         << "wayland-0"
                                         << ""
                                         << "";
        QTest::newRow("-display") << QStringList{"-display", ":1"} << ""
                                  << ""
                                  << ""
                                  << "";
        QTest::newRow("xcb asked, no X") << QStringList{} << ""
                                         << "wayland-0"
                                         << "xcb" << noX;
        QTest::newRow("wayland asked, no Wayland") << QStringList{} << ":0"
                                                   << ""
                                                   << "wayland" << noWayland;
        QTest::newRow("wayland-egl") << QStringList{} << ":0"
                                     << ""
                                     << "wayland-egl" << noWayland;
        QTest::newRow("a fallback works") << QStringList{} << ":0"
                                          << ""
                                          << "wayland;xcb"
                                          << "";
        QTest::newRow("no fallback works") << QStringList{} << ""
                                           << ""
                                           << "wayland;xcb" << noWayland;
        QTest::newRow("offscreen") << QStringList{} << ""
                                   << ""
                                   << "offscreen"
                                   << "";
        QTest::newRow("minimal") << QStringList{} << ""
                                 << ""
                                 << "minimal"
                                 << "";
        QTest::newRow("vnc with options") << QStringList{} << ""
                                          << ""
                                          << "vnc:size=800x600"
                                          << "";
        QTest::newRow("-platform over the variable") << QStringList{"-platform", "offscreen"} << ""
                                                     << ""
                                                     << "xcb"
                                                     << "";
        QTest::newRow("--platform xcb over the variable") << QStringList{"--platform", "xcb"} << ""
                                                          << ""
                                                          << "offscreen" << noX;
        QTest::newRow("xcb with options") << QStringList{"-platform", "xcb:nodpifromx"} << ""
                                          << ""
                                          << "" << noX;
    }
    void display()
    {
        const char *variables[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
        QByteArray saved[3];
        for (int i = 0; i < 3; ++i) {
            saved[i] = qgetenv(variables[i]);
            const QString value = data<QString>(variables[i]);
            if (value.isEmpty())
                qunsetenv(variables[i]);
            else
                qputenv(variables[i], value.toLocal8Bit());
        }
        QString why = "untouched";
        const bool available =
            displayAvailable(QStringList{"corvane"} + data<QStringList>("args"), &why);
        for (int i = 0; i < 3; ++i) {
            if (saved[i].isNull())
                qunsetenv(variables[i]);
            else
                qputenv(variables[i], saved[i]);
        }
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
        QTest::newRow("plugin found, display not")
            << 4
            << "Could not load the Qt platform plugin \"xcb\" in \"\" even though it was found."
            << noPlugin << 4 << noDisplay;
        QTest::newRow("the status asked for")
            << 9
            << "Could not load the Qt platform plugin \"wayland\" in \"\" even though it was found."
            << noPlugin << 9 << noDisplay;
        QTest::newRow("no such plugin: Qt's text")
            << 4 << "Could not find the Qt platform plugin \"xbc\" in \"\"" << noPlugin << 4
            << "Available platform plugins are: minimal, offscreen, xcb.";
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
        if (data<int>("exitCode") < 0) {
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        } else {
            QCOMPARE(child.exitStatus(), QProcess::NormalExit);
            QTEST(child.exitCode(), "exitCode");
        }
        QVERIFY(!err.isEmpty());
        // Messages before the fatal one still reach the handler that was there.
        if (!data<QString>("warning").isEmpty())
            QCOMPARE(err.first(), "qt.qpa.plugin: " + data<QString>("warning"));
        QCOMPARE(err.last(), data<QString>("stderrEnd"));
    }

    // The real program, where its answer needs no display.
    void corvaneStatuses_data()
    {
        columns<QStringList, int, QString>({"args", "exitCode", "firstLine"});
        QTest::newRow("version") << QStringList{"--version"} << 0 << "corvane 2.61";
        QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: corvane [OPTION]...";
        QTest::newRow("bad option")
            << QStringList{"--bogus"} << 2 << "corvane: Unknown option 'bogus'.";
#ifdef CORVANE_WITH_SIMULATOR
        QTest::newRow("bad model") << QStringList{"--simulate", "Corvane Zeta"} << 2
                                   << "corvane: unknown model \"Corvane Zeta\" for --simulate; the "
                                      "models are: Corvane NanoTa, Corvane NanoTb, Corvane Nano "
                                      "Span, Corvane Tera, Corvane Nano Tera, Corvane Nano.";
#endif
        QTest::newRow("duration without headless")
            << QStringList{"--duration", "10m"} << 2 << "corvane: --duration needs --headless.";
    }
    void corvaneStatuses()
    {
        QProcess p;
        p.setProcessEnvironment(withoutDisplay());
        p.start(CORVANE_BINARY, data<QStringList>("args"));
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QTEST(p.exitCode(), "exitCode");
        const QStringList out = lines(p.readAllStandardOutput());
        const QStringList err = lines(p.readAllStandardError());
        if (p.exitCode() == 0) {
            QVERIFY(err.isEmpty());
            QVERIFY(!out.isEmpty());
            QTEST(out.first(), "firstLine");
        } else {
            QVERIFY(out.isEmpty());
            QCOMPARE(err, (QStringList{data<QString>("firstLine"), TryHelp}));
        }
    }

    // Without any display the program says so and ends with status 4.
    void corvaneWithoutDisplay()
    {
        QProcess p;
        p.setProcessEnvironment(withoutDisplay());
        p.start(CORVANE_BINARY, QStringList{});
        if (!p.waitForFinished(10000)) {
            p.kill();
            p.waitForFinished();
            QFAIL("corvane kept running without a display");
        }
        const QStringList err = lines(p.readAllStandardError());
        if (p.exitStatus() == QProcess::CrashExit)
            QSKIP("corvane still aborts in Qt without a display: its main() does not call "
                  "displayAvailable() / exitWhenPlatformFails(4) yet");
        QCOMPARE(p.exitCode(), 4);
        QVERIFY2(err.contains("corvane: no display (set DISPLAY, or use --headless)"),
                 qPrintable(err.join('\n')));
    }

    // corvane-sim's own command line.
    void simStatuses_data()
    {
        columns<QStringList, int, QString>({"args", "exitCode", "firstLine"});
        auto bad = [](const char *name, const QStringList &args, const QString &why) {
            QTest::newRow(name) << args << 2 << "corvane-sim: " + why;
        };
        QTest::newRow("version") << QStringList{"--version"} << 0 << "corvane-sim 2.61";
        QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: corvane-sim [options]";
        bad("bad option", {"--bogus"}, "Unknown option 'bogus'.");
        bad("missing value", {"--seed"}, "Missing value after '--seed'.");
        bad("extra argument", {"/dev/pts/9"}, "unexpected argument '/dev/pts/9'.");
        bad("unknown model", {"--model", "Corvane"},
            "unknown model \"Corvane\"; the models are: Corvane NanoTa, Corvane NanoTb, "
            "Corvane Nano Span, Corvane Tera, Corvane Nano Tera, Corvane Nano.");
        bad("unknown fault", {"--fault", "slow"},
            "unknown fault 'slow'; the faults are: none, no-reply, short, split, late, garbage.");
        bad("unplug-after a word", {"--unplug-after", "abc"},
            "--unplug-after: 'abc' is not a number of seconds from 0 to 2147483.");
        bad("unplug-after negative", {"--unplug-after", "-3"},
            "--unplug-after: '-3' is not a number of seconds from 0 to 2147483.");
        bad("unplug-after beyond the timer", {"--unplug-after=3000000"},
            "--unplug-after: '3000000' is not a number of seconds from 0 to 2147483.");
        bad("ber above 1", {"--ber", "1.5"}, "--ber: '1.5' is not a bit error rate from 0 to 1.");
        bad("ber nan", {"--ber", "nan"}, "--ber: 'nan' is not a bit error rate from 0 to 1.");
        bad("seed a word", {"--seed", "x"}, "--seed: 'x' is not a number from 0 to 4294967295.");
        bad("seed negative", {"--seed", "-1"},
            "--seed: '-1' is not a number from 0 to 4294967295.");
        bad("seed too large", {"--seed", "4294967296"},
            "--seed: '4294967296' is not a number from 0 to 4294967295.");
    }
    void simStatuses()
    {
        QProcess p;
        p.start(CORVANE_SIM_BINARY, data<QStringList>("args"));
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QTEST(p.exitCode(), "exitCode");
        const QStringList out = lines(p.readAllStandardOutput());
        const QStringList err = lines(p.readAllStandardError());
        if (p.exitCode() == 0) {
            QVERIFY(err.isEmpty());
            QVERIFY(!out.isEmpty());
            QTEST(out.first(), "firstLine");
        } else {
            QVERIFY(out.isEmpty());
            QCOMPARE(err, (QStringList{data<QString>("firstLine"),
                                       "Try 'corvane-sim --help' for more information."}));
        }
    }

    // Instruments started with different seeds tell different serial numbers;
    // SIGTERM ends the simulator with status 0.
    void simSerialNumbers_data()
    {
        columns<QStringList, QByteArray>({"args", "identification"});
        QTest::newRow("default seed")
            << QStringList{} << QByteArray("Corvane NanoTb:SN 10447:FW 2.61:\r\n");
        QTest::newRow("seed 2") << QStringList{"--seed", "2"}
                                << QByteArray("Corvane NanoTb:SN 10448:FW 2.61:\r\n");
        QTest::newRow("seed 3, another model")
            << QStringList{"--seed=3", "--model", "Corvane Nano Span"}
            << QByteArray("Corvane Nano Span:SN 10449:FW 2.61:\r\n");
        // The serial number is 10446 + seed % 80000.
        QTest::newRow("seed 80000") << QStringList{"--seed", "80000", "--ber", "1e-6"}
                                    << QByteArray("Corvane NanoTb:SN 10446:FW 2.61:\r\n");
    }
    void simSerialNumbers()
    {
        QProcess p;
        p.start(CORVANE_SIM_BINARY, data<QStringList>("args"));
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(p.canReadLine(), 10000);
        const QString path = QString::fromLocal8Bit(p.readLine()).trimmed();
        QVERIFY2(path.startsWith("/dev/pts/"), qPrintable(path));
        QTEST(ask(path, "?\r\n"), "identification");
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
        QVERIFY(p.waitForStarted());
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += p.readAllStandardError()).contains("unplugged\n"), 10000);
        QVERIFY(p.readAllStandardOutput().startsWith("/dev/pts/"));
        p.terminate();
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
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
