// Command-line options, parsed before any window exists so that help, version
// and every usage error work without a display. Without options the program is
// a plain instrument front end; --simulate and --port only add candidate ports.
#pragma once
#include <QString>
#include <QStringList>

struct AppOptions {
    bool simulate = false;
    QString simulateModel; // model name of the built-in simulated instrument
    QStringList ports;     // extra device paths to query
};

struct ParseResult {
    enum Action { Run, ExitOk, ExitUsage } action = Run;
    QString output; // text for stdout (ExitOk) or stderr (ExitUsage)
};

// Parses the program's arguments (argv[0] first). The model names offered by
// --simulate are passed in; an empty list means the program has no simulator.
// Qt's own options (-platform, -style, ...) are accepted and left to Qt.
// Needs a QCoreApplication (for the help texts), not a display.
ParseResult parseOptions(const QStringList &arguments, const QStringList &simulatorModels,
                         AppOptions *options);

inline constexpr char DefaultSimulatedModel[] = "Corvane NanoTb";
