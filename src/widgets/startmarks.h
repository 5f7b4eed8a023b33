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
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <unistd.h>

namespace startmarks {

inline double nowSeconds()
{
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
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

// Milliseconds since the process was started (exec), to the kernel's clock
// tick (10 ms); -1 where that is not known.
inline double processAgeMs()
{
#ifdef Q_OS_LINUX
    // Field 22 of /proc/self/stat, after the command name in parentheses: the
    // start time in clock ticks since boot.
    std::ifstream stat("/proc/self/stat");
    std::string line;
    if (!std::getline(stat, line))
        return -1;
    const auto paren = line.rfind(')');
    if (paren == std::string::npos)
        return -1;
    std::size_t pos = paren + 2; // field 3
    for (int field = 3; field < 22 && pos != std::string::npos; ++field) {
        pos = line.find(' ', pos);
        if (pos != std::string::npos)
            ++pos;
    }
    if (pos == std::string::npos)
        return -1;
    const double startTicks = std::strtod(line.c_str() + pos, nullptr);
    timespec now;
    if (clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        return -1;
    const double nowMs = double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
    return nowMs - startTicks * 1e3 / double(sysconf(_SC_CLK_TCK));
#else
    return -1;
#endif
}

// Marks a window's first exposure on screen and the moment its first paint
// is done (when the event loop runs again after the exposure's event).
class WindowMarks : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && !m_exposed) {
            m_exposed = true;
            mark("window exposed");
            QTimer::singleShot(0, this, [] { mark("first paint done"); });
        }
        return false;
    }

private:
    bool m_exposed = false;
};

// Call from the window's first showEvent(), when its native window exists.
inline void watchWindow(QWidget *window)
{
    if (!enabled() || !window->windowHandle() || window->property("corvaneStartMarks").toBool())
        return;
    window->setProperty("corvaneStartMarks", true);
    window->windowHandle()->installEventFilter(new WindowMarks(window));
}

} // namespace startmarks
