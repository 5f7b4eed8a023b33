#include "app/options.h"

#include "corvane_version.h"

#include <QRegularExpression>
#include <QVector>

#include <arpa/inet.h>
#include <cmath>

namespace {

const QString Program = QStringLiteral("corvane");

// Options that Qt's application objects take for themselves. They are accepted
// here and passed on untouched; --help-all lists them.
struct QtOption {
    const char *name;
    const char *value; // null for a switch
    const char *help;
};
const QtOption QtOptions[] = {
    {"platform", "name[:options]", "Platform plugin (xcb, wayland, offscreen, ...)."},
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

// The program's own options.
enum Id {
    Simulate,
    Port,
    OpenAll,
    Scpi,
    Metrics,
    Headless,
    Instrument,
    All,
    Log,
    Duration,
    MaxBer,
    Help,
    HelpAll,
    Version,
    QtOwn, // placeholder: Qt's options are not kept
};
enum class Value { None, Required, Optional };
struct Option {
    const char *name;
    Id id;
    Value value;
    bool repeatable;
};
const Option Options[] = {
    {"simulate", Simulate, Value::Optional, true},
    {"port", Port, Value::Required, true},
    {"open-all", OpenAll, Value::None, true},
    {"scpi", Scpi, Value::Optional, false},
    {"metrics", Metrics, Value::Optional, false},
    {"headless", Headless, Value::None, true},
    {"instrument", Instrument, Value::Required, true},
    {"all", All, Value::None, true},
    {"log", Log, Value::Required, false},
    {"duration", Duration, Value::Required, false},
    {"max-ber", MaxBer, Value::Required, false},
    {"help", Help, Value::None, true},
    {"h", Help, Value::None, true},
    {"?", Help, Value::None, true},
    {"help-all", HelpAll, Value::None, true},
    {"version", Version, Value::None, true},
    {"v", Version, Value::None, true},
};

// One option as it stood on the command line.
struct Given {
    Id id;
    QString spelled; // "--duration", as the messages name it
    QString value;
    bool hasValue;
};

bool isAsciiNumber(const QString &s)
{
    if (s.isEmpty())
        return false;
    for (QChar c : s) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// The numeric form of an IPv4 or IPv6 address, or an empty string.
QString canonicalAddress(const QString &text, int family)
{
    const QByteArray latin = text.toLatin1();
    if (latin.isEmpty() || QString::fromLatin1(latin) != text || latin.contains('\0'))
        return QString();
    unsigned char binary[16];
    char back[64];
    if (::inet_pton(family, latin.constData(), binary) != 1 ||
        !::inet_ntop(family, binary, back, sizeof back))
        return QString();
    return QString::fromLatin1(back);
}

// ENDPOINT: PORT, :PORT, ADDR:PORT, [IPv6]:PORT, ADDR or [IPv6].
bool parseEndpoint(const QString &option, const QString &text, quint16 defaultPort,
                   Endpoint *endpoint, QString *why)
{
    QString address;
    QString port;
    bool ipv6 = false;
    if (text.isEmpty()) {
        *why = QStringLiteral("%1= needs an endpoint: PORT, ADDR:PORT, [IPv6]:PORT or ADDR.")
                   .arg(option);
        return false;
    }
    if (text.startsWith(QLatin1Char('['))) {
        const int close = text.indexOf(QLatin1Char(']'));
        if (close < 0) {
            *why = QStringLiteral("%1: '%2' lacks its ']'.").arg(option, text);
            return false;
        }
        address = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':'))) {
            *why = QStringLiteral("%1: expected ':PORT' after ']' in '%2'.").arg(option, text);
            return false;
        }
        if (!rest.isEmpty())
            port = rest.mid(1);
        if (!rest.isEmpty() && port.isEmpty()) {
            *why = QStringLiteral("%1: no port after ':' in '%2'.").arg(option, text);
            return false;
        }
        ipv6 = true;
    } else if (isAsciiNumber(text)) {
        port = text;
    } else if (text.count(QLatin1Char(':')) > 1) {
        *why = QStringLiteral("%1: write an IPv6 address in brackets, as in [::1]:%2.")
                   .arg(option)
                   .arg(defaultPort);
        return false;
    } else if (text.contains(QLatin1Char(':'))) {
        const int colon = text.indexOf(QLatin1Char(':'));
        address = text.left(colon);
        port = text.mid(colon + 1);
        if (port.isEmpty()) {
            *why = QStringLiteral("%1: no port after ':' in '%2'.").arg(option, text);
            return false;
        }
    } else {
        address = text;
    }

    endpoint->port = defaultPort;
    if (!port.isNull()) {
        bool ok = false;
        const uint value = port.toUInt(&ok);
        if (!isAsciiNumber(port) || !ok || port.size() > 5 || value > 65535) {
            *why = QStringLiteral("%1: '%2' is not a port number (0 to 65535).").arg(option, port);
            return false;
        }
        endpoint->port = quint16(value);
    }
    endpoint->explicitAddress = !address.isEmpty() || ipv6;
    if (!endpoint->explicitAddress) {
        endpoint->address = QStringLiteral("127.0.0.1");
    } else if (!ipv6 && address.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        endpoint->address = QStringLiteral("127.0.0.1");
    } else {
        endpoint->address = canonicalAddress(address, ipv6 ? AF_INET6 : AF_INET);
        if (endpoint->address.isEmpty()) {
            *why = ipv6 ? QStringLiteral("%1: '%2' is not an IPv6 address.").arg(option, address)
                        : QStringLiteral("%1: '%2' is not an IP address or localhost.")
                              .arg(option, address);
            return false;
        }
    }
    endpoint->enabled = true;
    return true;
}

// D: 90s, 10m, 2h, 3d or plain seconds; a decimal fraction is allowed.
bool parseDuration(const QString &text, qint64 *ms, QString *why)
{
    static const QRegularExpression form(
        QStringLiteral("^([0-9]{1,15}(?:\\.[0-9]{1,9})?)([smhd]?)$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) {
        *why = QStringLiteral("--duration: '%1' is not a duration (such as 90s, 10m, 2h, 3d or "
                              "plain seconds).")
                   .arg(text);
        return false;
    }
    const QChar unit =
        m.captured(2).toLower().isEmpty() ? QLatin1Char('s') : m.captured(2).toLower().at(0);
    const double seconds = m.captured(1).toDouble() * (unit == QLatin1Char('m')   ? 60.0
                                                       : unit == QLatin1Char('h') ? 3600.0
                                                       : unit == QLatin1Char('d') ? 86400.0
                                                                                  : 1.0);
    const double milliseconds = std::round(seconds * 1000.0);
    if (milliseconds < 1.0) {
        *why = QStringLiteral("--duration must be positive.");
        return false;
    }
    if (milliseconds > 1e15) { // about 31000 years
        *why = QStringLiteral("--duration: '%1' is too long.").arg(text);
        return false;
    }
    *ms = qint64(milliseconds);
    return true;
}

// Lines of the help: the option column and a one-line summary, then any
// detail wrapped at spaces to 79 columns below the summary. A unit separator
// (\x1f) is a space that never breaks.
QString helpLine(const QString &left, const QString &summary, const QString &detail = QString())
{
    constexpr int Column = 30;
    constexpr int Width = 79;
    QString out = QStringLiteral("  ") + left;
    out = out.size() < Column ? out.leftJustified(Column) : out + QLatin1Char(' ');
    out += summary;
    int lineLength = Width; // the detail starts on a line of its own
    for (const QString &word : detail.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (lineLength + 1 + word.size() > Width) {
            out += QLatin1Char('\n') + QString(Column, QLatin1Char(' '));
            lineLength = Column;
        } else {
            out += QLatin1Char(' ');
            ++lineLength;
        }
        out += word;
        lineLength += word.size();
    }
    out.replace(QChar(0x1f), QLatin1Char(' '));
    return out + QLatin1Char('\n');
}

QString unbroken(QString text)
{
    return text.replace(QLatin1Char(' '), QChar(0x1f));
}

QString helpText(const QStringList &simulatorModels)
{
    QString t =
        QStringLiteral("Usage: corvane [OPTION]...\n"
                       "       corvane --headless [OPTION]...\n"
                       "Control and monitoring program for Corvane bit-error-rate testers.\n"
                       "\nInstruments:\n");
    if (!simulatorModels.isEmpty()) {
        QStringList models;
        for (const QString &m : simulatorModels)
            models << unbroken(m);
        t += helpLine(QStringLiteral("--simulate[=MODEL|N]"),
                      QStringLiteral("Start simulated instruments; repeatable."),
                      QStringLiteral("Alone: one %1. MODEL: one of that model. N: N (1 to %2) "
                                     "of %1. Models: %3.")
                          .arg(unbroken(QLatin1String(DefaultSimulatedModel)))
                          .arg(MaxSimulatedAtOnce)
                          .arg(models.join(QStringLiteral(", "))));
    }
    t += helpLine(QStringLiteral("--port PATH"),
                  QStringLiteral("Also look for an instrument on PATH; repeatable."));
    t += helpLine(QStringLiteral("--open-all"),
                  QStringLiteral("Open a window for every instrument found."));
    t += QStringLiteral("\nRemote control:\n");
    t +=
        helpLine(QStringLiteral("--scpi[=ENDPOINT]"),
                 QStringLiteral("SCPI server on TCP (default 127.0.0.1:%1).").arg(DefaultScpiPort));
    t += helpLine(
        QStringLiteral("--metrics[=ENDPOINT]"),
        QStringLiteral("Prometheus /metrics (default 127.0.0.1:%1).").arg(DefaultMetricsPort),
        QStringLiteral("ENDPOINT: PORT, :PORT, ADDR:PORT, [IPv6]:PORT or ADDR, where "
                       "ADDR is an IP address or localhost; port 0 takes any free "
                       "port. Only loopback unless ADDR is given."));
    t += QStringLiteral("\nHeadless:\n");
    t += helpLine(QStringLiteral("--headless"),
                  QStringLiteral("No window: measure, log, then exit."));
    t += helpLine(QStringLiteral("--instrument SERIAL|PATH"),
                  QStringLiteral("Test this serial number or port; repeatable."));
    t += helpLine(QStringLiteral("--all"),
                  QStringLiteral("Test every instrument found (as --open-all)."));
    t += helpLine(QStringLiteral("--log FILE"),
                  QStringLiteral("Log to FILE, ending in .csv or .jsonl."),
                  QStringLiteral("{serial} in FILE becomes the instrument's serial number."));
    t += helpLine(QStringLiteral("--duration D"),
                  QStringLiteral("Stop after D: 90s, 10m, 2h, 3d or seconds."));
    t += helpLine(QStringLiteral("--max-ber X"),
                  QStringLiteral("Status 1 if a BER ends above X (e.g. 1e-12)."));
    t += QStringLiteral("\n");
    t += helpLine(QStringLiteral("-h, --help"), QStringLiteral("Show this help."));
    t += helpLine(QStringLiteral("--help-all"), QStringLiteral("Show this help and Qt's options."));
    t += helpLine(QStringLiteral("-v, --version"), QStringLiteral("Show the version."));
    t +=
        QStringLiteral("\nExit status: 0 normal end; 1 a simulated instrument could not start, or\n"
                       "(headless) a bit error rate above --max-ber; 2 bad usage; 3 (headless) no\n"
                       "instrument found, or every instrument lost; 4 no display.\n");
    return t;
}

QString qtOptionsHelp()
{
    QString text = QStringLiteral("\nQt options:\n");
    for (const QtOption &o : QtOptions) {
        QString left = QStringLiteral("-") + QLatin1String(o.name);
        if (o.value)
            left += QStringLiteral(" <") + QLatin1String(o.value) + QLatin1Char('>');
        text += helpLine(left, QLatin1String(o.help));
    }
    return text;
}

} // namespace

bool Endpoint::isLoopback() const
{
    return address == QLatin1String("::1") || address.startsWith(QLatin1String("127."));
}

ParseResult parseOptions(const QStringList &arguments, const QStringList &simulatorModels,
                         AppOptions *options)
{
    ParseResult result;
    auto usageError = [&](const QString &message) {
        result.action = ParseResult::ExitUsage;
        result.output = Program + QStringLiteral(": ") + message +
                        QStringLiteral("\nTry '%1 --help' for more information.\n").arg(Program);
        return result;
    };
    const bool withSimulator = !simulatorModels.isEmpty();

    // First the words: which options, which values. Their meaning comes after,
    // so that --help stands even beside a bad value.
    QVector<Given> given;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QLatin1String("--")) {
            if (i + 1 < arguments.size())
                return usageError(
                    QStringLiteral("unexpected argument '%1'.").arg(arguments.at(i + 1)));
            break;
        }
        if (!arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            // "--scpi 5025" meant "--scpi=5025": say so.
            QString hint;
            if (!given.isEmpty() && !given.constLast().hasValue &&
                (given.constLast().id == Scpi || given.constLast().id == Metrics))
                hint = QStringLiteral(" (an endpoint goes after '=': %1=%2)")
                           .arg(given.constLast().spelled, arg);
            return usageError(QStringLiteral("unexpected argument '%1'%2.").arg(arg, hint));
        }
        const QString body = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
        const int eq = body.indexOf(QLatin1Char('='));
        const QString name = eq < 0 ? body : body.left(eq);
        Given g{QtOwn, QStringLiteral("--") + name, eq < 0 ? QString() : body.mid(eq + 1), eq >= 0};

        const Option *option = nullptr;
        for (const Option &o : Options) {
            if (name == QLatin1String(o.name) && (o.id != Simulate || withSimulator))
                option = &o;
        }
        if (!option) {
            const QtOption *qt = nullptr;
            for (const QtOption &o : QtOptions) {
                if (name == QLatin1String(o.name))
                    qt = &o;
            }
            if (!qt)
                return usageError(QStringLiteral("Unknown option '%1'.").arg(name));
            // Qt reads its options from argv itself; only step over the value.
            if (qt->value && !g.hasValue && ++i >= arguments.size())
                return usageError(QStringLiteral("Missing value after '%1'.").arg(arg));
            continue;
        }
        g.id = option->id;
        switch (option->value) {
        case Value::None:
            if (g.hasValue)
                return usageError(QStringLiteral("Unexpected value after '%1'.").arg(g.spelled));
            break;
        case Value::Required:
            if (!g.hasValue) {
                if (i + 1 >= arguments.size())
                    return usageError(QStringLiteral("Missing value after '%1'.").arg(arg));
                g.value = arguments.at(++i);
                g.hasValue = true;
            }
            break;
        case Value::Optional:
            // --simulate takes the next word as its model unless it is an option.
            if (!g.hasValue && option->id == Simulate && i + 1 < arguments.size() &&
                !arguments.at(i + 1).startsWith(QLatin1Char('-'))) {
                g.value = arguments.at(++i);
                g.hasValue = true;
            }
            break;
        }
        if (!option->repeatable) {
            for (const Given &earlier : qAsConst(given)) {
                if (earlier.id == g.id)
                    return usageError(QStringLiteral("%1 given twice.").arg(g.spelled));
            }
        }
        given.append(g);
    }

    auto isSet = [&](Id id) {
        for (const Given &g : qAsConst(given)) {
            if (g.id == id)
                return true;
        }
        return false;
    };
    if (isSet(Help) || isSet(HelpAll)) {
        result.action = ParseResult::ExitOk;
        result.output = helpText(simulatorModels);
        if (isSet(HelpAll))
            result.output += qtOptionsHelp();
        return result;
    }
    if (isSet(Version)) {
        result.action = ParseResult::ExitOk;
        result.output = Program + QStringLiteral(" " CORVANE_VERSION "\n");
        return result;
    }

    // Then what the options mean, in the order they were given.
    AppOptions o;
    o.headless = isSet(Headless);
    QString why;
    const Given *allGiven = nullptr;
    const Given *instrumentGiven = nullptr;
    for (const Given &g : qAsConst(given)) {
        const bool headlessOnly =
            g.id == Instrument || g.id == All || g.id == Log || g.id == Duration || g.id == MaxBer;
        if (headlessOnly && !o.headless)
            return usageError(QStringLiteral("%1 needs --headless.").arg(g.spelled));
        switch (g.id) {
        case Simulate: {
            if (!g.hasValue) {
                o.simulated << QLatin1String(DefaultSimulatedModel);
            } else if (isAsciiNumber(g.value)) {
                const int n = g.value.size() > 2 ? 0 : g.value.toInt();
                if (n < 1 || n > MaxSimulatedAtOnce)
                    return usageError(
                        QStringLiteral("--simulate=%1: the number of simulated instruments is "
                                       "1 to %2.")
                            .arg(g.value)
                            .arg(MaxSimulatedAtOnce));
                for (int k = 0; k < n; ++k)
                    o.simulated << QLatin1String(DefaultSimulatedModel);
            } else if (simulatorModels.contains(g.value)) {
                o.simulated << g.value;
            } else {
                return usageError(
                    QStringLiteral("unknown model \"%1\" for --simulate; the models are: %2.")
                        .arg(g.value, simulatorModels.join(QStringLiteral(", "))));
            }
            break;
        }
        case Port:
            if (g.value.isEmpty())
                return usageError(QStringLiteral("--port needs a device path."));
            o.ports << g.value;
            break;
        case OpenAll:
            o.openAll = true;
            if (o.headless) {
                o.all = true;
                allGiven = &g;
            }
            break;
        case Scpi:
        case Metrics: {
            Endpoint *e = g.id == Scpi ? &o.scpi : &o.metrics;
            const quint16 port = g.id == Scpi ? DefaultScpiPort : DefaultMetricsPort;
            if (!g.hasValue) {
                e->enabled = true;
                e->address = QStringLiteral("127.0.0.1");
                e->port = port;
            } else if (!parseEndpoint(g.spelled, g.value, port, e, &why)) {
                return usageError(why);
            }
            break;
        }
        case Instrument:
            if (g.value.isEmpty())
                return usageError(
                    QStringLiteral("--instrument needs a serial number or a port path."));
            o.instruments << g.value;
            instrumentGiven = &g;
            break;
        case All:
            o.all = true;
            allGiven = &g;
            break;
        case Log: {
            const QString lower = g.value.toLower();
            const QString fileName = lower.mid(lower.lastIndexOf(QLatin1Char('/')) + 1);
            if (lower.endsWith(QLatin1String(".csv")))
                o.logFormat = LogFormat::Csv;
            else if (lower.endsWith(QLatin1String(".jsonl")))
                o.logFormat = LogFormat::Jsonl;
            else
                return usageError(
                    QStringLiteral("--log: '%1' must end in .csv or .jsonl.").arg(g.value));
            if (fileName == QLatin1String(".csv") || fileName == QLatin1String(".jsonl"))
                return usageError(
                    QStringLiteral("--log: '%1' has no name before its suffix.").arg(g.value));
            o.logFile = g.value;
            break;
        }
        case Duration:
            if (!parseDuration(g.value, &o.durationMs, &why))
                return usageError(why);
            break;
        case MaxBer: {
            bool ok = false;
            const double x = g.value.toDouble(&ok);
            if (!ok || !std::isfinite(x))
                return usageError(QStringLiteral("--max-ber: '%1' is not a number.").arg(g.value));
            if (!(x > 0.0 && x <= 1.0))
                return usageError(
                    QStringLiteral("--max-ber: '%1' is not a bit error rate above 0 and at "
                                   "most 1 (such as 1e-12).")
                        .arg(g.value));
            o.maxBer = x;
            break;
        }
        case Help:
        case HelpAll:
        case Version:
        case Headless:
        case QtOwn: break;
        }
    }
    if (allGiven && instrumentGiven)
        return usageError(
            QStringLiteral("%1 and --instrument exclude each other.").arg(allGiven->spelled));
    o.simulate = !o.simulated.isEmpty();
    o.simulateModel = o.simulated.value(0);
    *options = o;
    return result;
}
