#include "device/replycollector.h"

namespace device {

void ReplyCollector::start(const Step &step)
{
    m_step = step;
    m_got.clear();
    m_look = -1;
    m_seen = false;
}

bool ReplyCollector::complete() const
{
    return (m_step.count > 0 && m_got.size() >= m_step.count) ||
           (!m_step.terminator.isEmpty() && m_got.contains(m_step.terminator));
}

Ended ReplyCollector::how() const
{
    const bool condition = m_step.count > 0 || !m_step.terminator.isEmpty();
    return !condition || complete() ? Ended::Complete : Ended::TimedOut;
}

bool ReplyCollector::look()
{
    ++m_look;
    if (m_seen)
        return true;
    if (qint64(m_look) * m_step.lookEveryMs >= m_step.timeoutMs)
        return true;
    if (complete())
        m_seen = true;
    return false;
}

} // namespace device
