// The statistics of the running measurement, kept by the instrument whether
// or not the statistics window is open: the history of the instrument's
// counters, the line rate, and the user's target and confidence goal
// (remembered between runs, for each instrument). Recording a record costs an O(1) append unless the
// user asked for the test log to stop at the goal, which needs the confidence
// of every record.
#pragma once
#include "bert/berstats.h"

#include <QList>
#include <QVariant>
#include <QObject>
#include <functional>

class BerMonitor : public QObject
{
    Q_OBJECT

public:
    explicit BerMonitor(QObject *parent = nullptr);

    // The clock that stamps each record (milliseconds); a steady clock unless
    // replaced (a benchmark feeds days of records in seconds).
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }
    qint64 now() const { return m_clock(); }

    // A record of the instrument's own counters, and the line rate (bit/s).
    void record(double bits, double errors, qint64 rateBps);
    void record(qint64 tMs, double bits, double errors, qint64 rateBps);
    // Takes the target, goal and stop remembered for an instrument (a settings
    // group such as "instrument-4711"; empty: the ones remembered last for
    // any instrument), and remembers later changes there too.
    void useSettingsOf(const QString &group);

    // Empties the history: the counters start again (a new connection).
    void restart();
    // Empties the history after the instrument was told to clear its counters.
    // A record requested before that may still arrive: records that show the
    // old counts or more are left out until one shows fewer, for at most
    // StaleRecordMs.
    void counterReset();
    static constexpr int StaleRecordMs = 1000;

    const stats::BerHistory &history() const { return m_history; }
    qint64 rateBps() const { return m_rateBps; }

    // The choices offered: target BERs 1e-9 ... 1e-15, goals 90, 95, 99 %.
    static QList<double> targets();
    static QList<double> goals();
    double targetBer() const { return m_target; }
    double goal() const { return m_goal; }
    bool stopLogAtGoal() const { return m_stopLog; }
    void setTargetBer(double ber);
    void setGoal(double confidence);
    void setStopLogAtGoal(bool stop);

    // Figures of the last record (0 or "met: no" without one).
    double confidence() const;
    bool goalMet() const;
    double bitsStillNeeded() const;    // to reach the goal without further errors
    double secondsStillNeeded() const; // at the line rate; negative without a rate
    // The stretch since the error count last changed. When the instrument has
    // counted no error at all, it began with the instrument's count: the bits
    // counted before the first record add first-record bits / rate to the time.
    double errorFreeBits() const;
    double errorFreeSeconds() const;

    // The test log was stopped because the goal was reached (until restart()).
    void noteLogStopped() { m_logStopped = true; }
    bool logStopped() const { return m_logStopped; }

signals:
    // While stopLogAtGoal(): a record has just taken the confidence to the
    // goal (emitted before recorded()), or a change of the target, the goal or
    // the stop finds it reached.
    void goalReached();
    void recorded();
    void restarted();
    void targetChanged();

private:
    void rearm();
    void load();
    void save(const char *key, const QVariant &value);
    QString m_group;
    void clearHistory();

    std::function<qint64()> m_clock;
    stats::BerHistory m_history;
    qint64 m_rateBps = 0;
    qint64 m_firstRateBps = 0; // the line rate of the history's first record
    double m_target;
    double m_goal;
    bool m_stopLog;
    bool m_wasMet = false; // the goal was met at the previous record (watched while stopLog)
    bool m_logStopped = false;
    bool m_awaitingReset = false;
    stats::Record m_beforeReset; // the last record before counterReset()
    // Caches: the confidence of the last record, the bits the goal needs per error count.
    mutable double m_confidence = -1;
    mutable double m_neededFor = -1;
    mutable double m_needed = 0;
};
