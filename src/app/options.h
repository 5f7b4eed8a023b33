// Command-line options of corvane, parsed before any window or display exists
// so that help, version and every usage error work without a display. QtCore
// only: parseOptions() needs no application object.
//
//   corvane [--simulate[=MODEL|N]]... [--port PATH]... [--open-all]
//           [--scpi[=ENDPOINT]] [--metrics[=ENDPOINT]]
//   corvane --headless [--simulate[=MODEL|N]]... [--port PATH]...
//           [--instrument SERIAL|PATH]... [--all] [--log FILE] [--duration D]
//           [--max-ber X] [--scpi[=ENDPOINT]] [--metrics[=ENDPOINT]]
#pragma once
#include <QString>
#include <QStringList>

inline constexpr char DefaultSimulatedModel[] = "Corvane NanoTb";
inline constexpr int MaxSimulatedAtOnce = 8; // the N of --simulate=N
inline constexpr quint16 DefaultScpiPort = 5025;
inline constexpr quint16 DefaultMetricsPort = 9464;

// Where a server listens (--scpi, --metrics). Without an address on the
// command line it is 127.0.0.1; any other address is used only when the user
// names it, and the caller warns when that address is not a loopback one.
struct Endpoint {
    bool enabled = false;
    QString address;              // numeric ("127.0.0.1", "::1"); "localhost" is 127.0.0.1
    quint16 port = 0;             // 0: any free port
    bool explicitAddress = false; // the address was on the command line
    bool isLoopback() const;      // 127.0.0.0/8 or ::1
};

enum class LogFormat { None, Csv, Jsonl };

struct AppOptions {
    // Instruments.
    QStringList simulated; // one model name per simulated instrument, in command-line order
    QStringList ports;     // extra device paths to query (--port)
    bool openAll = false;  // a main window per instrument found (--open-all)

    // Remote control; address and port are filled in when enabled.
    Endpoint scpi;
    Endpoint metrics;

    // Headless mode; the fields below stay at their defaults without --headless.
    bool headless = false;
    QStringList instruments; // serial numbers or port paths (--instrument)
    bool all = false;        // every instrument found (--all, or --open-all with --headless)
    QString logFile;         // as given; may hold "{serial}"
    LogFormat logFormat = LogFormat::None; // from the file name's suffix
    qint64 durationMs = 0;                 // 0: until stopped
    double maxBer = 0.0;                   // 0: no limit

    // The first simulated instrument, for callers that start only one.
    bool simulate = false;
    QString simulateModel;
};

struct ParseResult {
    enum Action { Run, ExitOk, ExitUsage } action = Run;
    // ExitOk: text for stdout (help, version). ExitUsage: text for stderr,
    // "corvane: <why>\nTry 'corvane --help' for more information.\n"; exit status 2.
    QString output;
};

// Parses the program's arguments (argv[0] first). The model names offered by
// --simulate are passed in; an empty list means the program has no simulator
// and --simulate is an unknown option. Qt's own options (-platform, -style,
// ...) are accepted and left to Qt.
ParseResult parseOptions(const QStringList &arguments, const QStringList &simulatorModels,
                         AppOptions *options);
