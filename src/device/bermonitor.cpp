#include "device/bermonitor.h"

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

    load();
}

void BerMonitor::useSettingsOf(const QString &group)
{
    m_group = group;
    load();
    rearm();
}

void BerMonitor::load()
{
    // An instrument's own choice wins; else the last choice for any.
    const QSettings settings;
    auto value = [&](const char *key) {
        const QString own = m_group + QLatin1Char('/') + QLatin1String(key);
        return !m_group.isEmpty() && settings.contains(own) ? settings.value(own)
                                                            : settings.value(QLatin1String(key));
    };
    bool ok = false;
    const double target = value(TargetKey).toDouble(&ok);
    m_target = ok ? pick(targets(), target, DefaultTarget) : DefaultTarget;
    const double goal = value(GoalKey).toDouble(&ok);
    m_goal = ok ? pick(goals(), goal, DefaultGoal) : DefaultGoal;
    // Only a value that reads as a yes or a no counts; anything else is the default (off).
    const QString stop = value(StopKey).toString().trimmed().toLower();
    m_stopLog = stop == QLatin1String("true") || stop == QLatin1String("1");
}

void BerMonitor::save(const char *key, const QVariant &v)
{
    QSettings settings;
    settings.setValue(QLatin1String(key), v);
    if (!m_group.isEmpty())
        settings.setValue(m_group + QLatin1Char('/') + QLatin1String(key), v);
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
    save(TargetKey, m_target);
    rearm();
}

void BerMonitor::setGoal(double confidence)
{
    m_goal = pick(goals(), confidence, m_goal);
    save(GoalKey, m_goal);
    rearm();
}

void BerMonitor::setStopLogAtGoal(bool stop)
{
    m_stopLog = stop;
    save(StopKey, stop);
    rearm();
}

void BerMonitor::rearm()
{
    // The window says "Target met" as soon as the goal is met, also when a
    // new target or goal is already met: a log asked to stop at the goal
    // stops then too.
    m_confidence = m_neededFor = -1;
    const bool met = goalMet();
    m_wasMet = met;
    if (m_stopLog && met)
        emit goalReached();
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
