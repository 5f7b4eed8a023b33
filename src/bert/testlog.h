// The test log: file header, row text, pattern names and the once-a-second
// row rule. The clock is passed in, so everything here is tested without waiting.
#pragma once
#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include "bert/models.h"

namespace bert {

struct Measurement;

// Name written to the log for a pattern code of the measurement record.
QString patternName(char code);

// Model words, date and column header (no line end after it: every row starts
// with one, so the file never ends with a line end).
QString logHeader(const Model &model, const QDate &date, const QString &rxUnits);

struct LogFields {
    qint64 rateBps;
    char pattern;
    QString temperature; // empty when the temperature read-out is hidden
    QString rx;
    QString count;
    QString errors;
    QString ber;
};
QString logRow(const QTime &time, const LogFields &fields);

// One logged row as a JSON object (no line end): the moment, the line rate,
// the pattern's log name and the figures as numbers; null where the window
// shows dashes.
QByteArray jsonRow(const QDateTime &when, const Model &model, const Measurement &m);

// What the row rule decides for one measurement reply while logging is on.
struct RowDecision {
    bool yellow;   // a row was written less than half a second ago
    bool writeRow; // more than a second has passed since the last row
};
// Times of day wrap at midnight; an invalid last time counts as earlier than any.
RowDecision decideRow(const QTime &lastRow, const QTime &now);

} // namespace bert
