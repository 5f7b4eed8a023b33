// A request for the serial line, as a window (or a remote client) asks an
// instrument for it: what to send, how its reply is complete, and what to do
// with the reply. While a request runs, measurement polling pauses; a second
// request is refused with a reason the caller shows; polling resumes once,
// ResumeAfterExchangeMs after the request's last step.
#pragma once
#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace device {

// One step of a request: wait, send, collect.
struct Step {
    int delayMs = 0;     // wait before the step: after the request was accepted, or after the previous step
    bool drain = false;  // drop what waits on the line before sending
    QString command;     // empty: nothing is sent
    bool raw = false;    // written as typed plus CR LF (no side letter), else through the command sender

    // How the reply is complete. With neither a count nor a terminator, the
    // reply is whatever arrived within timeoutMs.
    int count = 0;          // complete once this many bytes arrived
    QByteArray terminator;  // or once these bytes arrived
    int timeoutMs = 0;      // otherwise the step ends with what arrived by then
    // Looks at the line only every lookEveryMs (0: as bytes arrive). A reply
    // seen complete at one look is taken at the next, so that bytes trailing
    // it are taken too; the request's progress callback runs at every look.
    int lookEveryMs = 0;
};

enum class Ended {
    Complete, // the count or terminator was reached, or the step's time ran out (time-only steps)
    TimedOut, // a count or terminator was asked for and not reached in time
};

struct Reply {
    QByteArray bytes;
    Ended how = Ended::Complete;
};

struct Request {
    QString name; // "the eye scan": how refusals name the request holding the line
    Step first;
    // Called when a step ends, with its reply; returns the next step, or
    // nothing to end the request.
    std::function<std::optional<Step>(const Reply &)> next;
    // Called at each look of a step that looks at intervals (0 right after sending).
    std::function<void(int look)> progress;
    // Called once when the request ends: an empty reason when its last step
    // ended, else why it was cut short (the instrument was lost, the session
    // ended). Not called when the owner cancels or goes away.
    std::function<void(const QString &reason)> finished;

    // A request of one step whose reply goes to `done`.
    static Request single(const QString &name, const Step &step,
                          std::function<void(const Reply &)> done)
    {
        Request r;
        r.name = name;
        r.first = step;
        r.next = [done = std::move(done)](const Reply &reply) -> std::optional<Step> {
            if (done)
                done(reply);
            return std::nullopt;
        };
        return r;
    }
};

} // namespace device
