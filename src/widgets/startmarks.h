// Where the start-up goes: with CORVANE_STARTUP_TRACE set in the environment,
// each mark prints to stderr the wall time since the program entered main()
// (or, when the variable holds a time in seconds since the epoch, such as
// `date +%s.%N` taken just before the exec, since that moment) and since the
// previous mark. Without the variable a mark costs one test of a flag.
#pragma once

#include <QByteArray>
#include <QEvent>
#include <QTimer>
#include <QVariant>
#include <QWidget>
#include <QWindow>
#include <QtGlobal>
#include <cstdio>
#include <ctime>

namespace startmarks {

inline double nowSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

inline bool enabled()
{
    static const bool on = qEnvironmentVariableIsSet("CORVANE_STARTUP_TRACE");
    return on;
}

inline void mark(const char *what)
{
    if (!enabled())
        return;
    static const double origin = [] {
        const double given = qgetenv("CORVANE_STARTUP_TRACE").toDouble();
        return given > 1e9 ? given : nowSeconds();
    }();
    static double last = origin;
    const double now = nowSeconds();
    std::fprintf(stderr, "startup %8.2f ms  (+%6.2f)  %s\n", (now - origin) * 1e3,
                 (now - last) * 1e3, what);
    last = now;
}

// Marks a window's first paint request and its exposure on screen, and the
// event loop's first idle moment after the paint.
class WindowMarks : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && !m_exposed) {
            m_exposed = true;
            mark("window exposed");
        } else if (event->type() == QEvent::UpdateRequest && !m_painted) {
            m_painted = true;
            mark("first paint requested");
            QTimer::singleShot(0, watched, [] { mark("first paint done, event loop idle"); });
        }
        return false;
    }

private:
    bool m_exposed = false, m_painted = false;
};

// Call from the window's first showEvent(), when its native window exists.
inline void watchWindow(QWidget *window)
{
    if (!enabled() || window->property("corvaneStartMarks").toBool())
        return;
    window->setProperty("corvaneStartMarks", true);
    auto *marks = new WindowMarks(window);
    window->installEventFilter(marks);
    if (window->windowHandle())
        window->windowHandle()->installEventFilter(marks);
}

} // namespace startmarks
