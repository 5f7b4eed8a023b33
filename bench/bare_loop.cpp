// The yardstick of headless_cpu.sh: a QtCore event loop that does nothing but
// wake up as often as the headless program must to poll an instrument ten
// times a second (the poll timer, the reply arriving, the port becoming
// writable: --wakeups per second, default 30). Its CPU is what the machine
// charges for the wake-ups alone.
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    int perSecond = 30;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--wakeups") == 0 && i + 1 < argc) {
            perSecond = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: bare_loop [--wakeups N]\n");
            return 2;
        }
    }
    if (perSecond < 1 || perSecond > 1000) {
        std::fprintf(stderr, "bare_loop: --wakeups must be 1 to 1000\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(1000 / perSecond);
    quint64 ticks = 0;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start();
    return app.exec();
}
