// Logging categories of the program. Every diagnostic line a window shows is
// also written here, so a user who starts the program from a terminal sees
// which ports were tried and why something failed (QT_LOGGING_RULES filters
// them, e.g. "corvane.*.debug=false").
#pragma once
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcLink)    // corvane.link: ports, identification, exchanges
Q_DECLARE_LOGGING_CATEGORY(lcMeasure) // corvane.measure: the measurement cycle
Q_DECLARE_LOGGING_CATEGORY(lcLog)     // corvane.log: the test log file
Q_DECLARE_LOGGING_CATEGORY(lcEye)     // corvane.eye: eye scans and saved images
Q_DECLARE_LOGGING_CATEGORY(lcXcvr)    // corvane.xcvr: transceiver utilities
Q_DECLARE_LOGGING_CATEGORY(lcStats)   // corvane.stats: BER statistics and their exports
Q_DECLARE_LOGGING_CATEGORY(lcRemote)  // corvane.remote: SCPI and metrics servers, their clients
