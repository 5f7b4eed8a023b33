#include "bert/diagnostics.h"

Q_LOGGING_CATEGORY(lcLink, "corvane.link", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMeasure, "corvane.measure", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLog, "corvane.log", QtInfoMsg)
Q_LOGGING_CATEGORY(lcEye, "corvane.eye", QtInfoMsg)
Q_LOGGING_CATEGORY(lcXcvr, "corvane.xcvr", QtInfoMsg)
Q_LOGGING_CATEGORY(lcStats, "corvane.stats", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRemote, "corvane.remote", QtInfoMsg)
