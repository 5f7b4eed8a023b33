// Command-line options. Without any the program behaves as a plain instrument
// front end; --simulate and --port only add candidate ports to the search.
#pragma once
#include <QString>
#include <QStringList>

struct AppOptions {
    bool simulate = false;
    QString simulateModel; // model name of the built-in simulated instrument
    QStringList ports;     // extra device paths to query
};

// Parses the arguments; prints help or version and exits for --help/--version.
// Returns false (after printing why) on a usage error.
bool parseOptions(const QStringList &arguments, AppOptions *options);

inline constexpr char DefaultSimulatedModel[] = "Corvane NanoTb";
