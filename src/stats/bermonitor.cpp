#include "stats/bermonitor.h"

#include <QElapsedTimer>
#include <QSettings>
#include <cmath>
#include <memory>

namespace {
const char TargetKey[] = "statistics/targetBer";
const char GoalKey[] = "statistics/confidenceGoal";
const char StopKey[] = "statistics/stopLogAtGoal";
constexpr double DefaultTarget = 1e-12;
constexpr double DefaultGoal = 0.95;

// The entry of `choices` equal to v (within rounding of a stored text), else fallback.
double pick(const QList<double> &choices, double v, double fallback)
{
    for (double c : choices)
        if (std::fabs(v - c) <= c * 1e-9)
            return c;
    return fallback;
}
} // namespace

BerMonitor::BerMonitor(QObject *parent) : QObject(parent)
{
    auto steady = std::make_shared<QElapsedTimer>();
    steady->start();
    m_clock = [steady] { return steady->elapsed(); };

    const QSettings settings;
    m_target = pick(targets(), settings.value(TargetKey, DefaultTarget).toDouble(), DefaultTarget);
    m_goal = pick(goals(), settings.value(GoalKey, DefaultGoal).toDouble(), DefaultGoal);
    m_stopLog = settings.value(StopKey, false).toBool();
}

QList<double> BerMonitor::targets()
{
    return {1e-9, 1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15};
}

QList<double> BerMonitor::goals()
{
    return {0.90, 0.95, 0.99};
}

void BerMonitor::record(double bits, double errors, qint64 rateBps)
{
    record(now(), bits, errors, rateBps);
}

void BerMonitor::record(qint64 tMs, double bits, double errors, qint64 rateBps)
{
    if (m_awaitingReset) {
        if (tMs - m_beforeReset.tMs < StaleRecordMs && bits >= m_beforeReset.bits &&
            errors >= m_beforeReset.errors)
            return;
        m_awaitingReset = false;
    }
    const bool wasEmpty = m_history.isEmpty();
    const bool restarted = m_history.append(tMs, bits, errors);
    if (restarted) {
        m_wasMet = false;
        m_logStopped = false;
    }
    if (wasEmpty || restarted)
        m_firstRateBps = rateBps;
    m_rateBps = rateBps;
    m_confidence = -1;
    if (m_stopLog) {
        const bool met = goalMet();
        if (met && !m_wasMet)
            emit goalReached();
        m_wasMet = met;
    }
    emit recorded();
}

void BerMonitor::counterReset()
{
    m_awaitingReset = !m_history.isEmpty();
    m_beforeReset = m_history.last();
    m_beforeReset.tMs = now();
    clearHistory();
}

void BerMonitor::restart()
{
    m_awaitingReset = false;
    clearHistory();
}

void BerMonitor::clearHistory()
{
    m_history.clear();
    m_rateBps = 0;
    m_confidence = m_neededFor = -1;
    m_wasMet = m_logStopped = false;
    emit restarted();
}

void BerMonitor::setTargetBer(double ber)
{
    m_target = pick(targets(), ber, m_target);
    QSettings().setValue(TargetKey, m_target);
    rearm();
}

void BerMonitor::setGoal(double confidence)
{
    m_goal = pick(goals(), confidence, m_goal);
    QSettings().setValue(GoalKey, m_goal);
    rearm();
}

void BerMonitor::setStopLogAtGoal(bool stop)
{
    m_stopLog = stop;
    QSettings().setValue(StopKey, stop);
    rearm();
}

void BerMonitor::rearm()
{
    // A goal met already, or met by changing the target, is not "reached"
    // by the run: only a record that takes the confidence there stops the log.
    m_confidence = m_neededFor = -1;
    m_wasMet = goalMet();
    emit targetChanged();
}

double BerMonitor::confidence() const
{
    if (m_history.isEmpty())
        return 0.0;
    if (m_confidence < 0) {
        const stats::Record &r = m_history.last();
        m_confidence = stats::confidenceLevel(r.bits, r.errors, m_target);
    }
    return m_confidence;
}

bool BerMonitor::goalMet() const
{
    return !m_history.isEmpty() && confidence() >= m_goal;
}

double BerMonitor::bitsStillNeeded() const
{
    if (m_history.isEmpty())
        return stats::bitsForConfidence(0, m_target, m_goal);
    const stats::Record &r = m_history.last();
    if (m_neededFor != r.errors) {
        m_needed = stats::bitsForConfidence(r.errors, m_target, m_goal);
        m_neededFor = r.errors;
    }
    return std::max(0.0, m_needed - r.bits);
}

double BerMonitor::secondsStillNeeded() const
{
    if (m_rateBps <= 0)
        return -1;
    return bitsStillNeeded() / double(m_rateBps);
}

double BerMonitor::errorFreeBits() const
{
    if (m_history.isEmpty())
        return 0;
    const stats::Record &since = m_history.lastErrorChange();
    return m_history.last().bits - (since.errors > 0 ? since.bits : 0.0);
}

double BerMonitor::errorFreeSeconds() const
{
    if (m_history.isEmpty())
        return 0;
    const stats::Record &since = m_history.lastErrorChange();
    double seconds = double(m_history.last().tMs - since.tMs) / 1000.0;
    if (since.errors <= 0 && m_firstRateBps > 0)
        seconds += m_history.first().bits / double(m_firstRateBps);
    return seconds;
}
