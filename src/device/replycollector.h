// How one step of a request gathers its reply: the bytes as they arrive, and
// when the reply is taken: at once when its count or terminator is reached,
// at the step's time-out, or, for a step that looks at the line at intervals,
// one look after it was seen complete (so that bytes trailing it are taken
// too) or at the last look. Pure: no timers, no port; any bytes, any chunks.
#pragma once
#include "device/request.h"

namespace device {

class ReplyCollector
{
public:
    void start(const Step &step);
    void add(const QByteArray &bytes) { m_got += bytes; }
    const QByteArray &bytes() const { return m_got; }

    // The count or the terminator has arrived.
    bool complete() const;
    // How the step ends now: Complete when it asked for nothing but time, or
    // its count or terminator arrived; TimedOut otherwise.
    Ended how() const;

    // One look at the line (the first right after sending): true when the
    // reply is to be taken now. lookIndex() is the number of this look.
    bool look();
    int lookIndex() const { return m_look; }

private:
    Step m_step;
    QByteArray m_got;
    int m_look = -1;
    bool m_seen = false;
};

} // namespace device
