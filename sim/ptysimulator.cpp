#include "ptysimulator.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

PtySimulator::PtySimulator(quint32 seed) : m_seed(seed), m_engine(new Engine()) {}

PtySimulator::~PtySimulator()
{
    stop();
}

bool PtySimulator::start(const QByteArray &model, QString *error)
{
    auto fail = [&](const QString &message) {
        if (error)
            *error = message;
        closeFd(m_master);
        closeFd(m_slave);
        closeFd(m_wakeRead);
        closeFd(m_wakeWrite);
        return false;
    };
    if (m_thread.joinable())
        return fail(QStringLiteral("simulator already running"));
    if (!Engine::findModel(model))
        return fail(QStringLiteral("unknown model: %1").arg(QString::fromLatin1(model)));

    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0)
        return fail(systemError("posix_openpt"));
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return fail(systemError("grantpt/unlockpt"));
    char name[128];
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        return fail(systemError("ptsname_r"));
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0)
        return fail(systemError("open slave"));
    termios tio;
    if (::tcgetattr(m_slave, &tio) != 0)
        return fail(systemError("tcgetattr"));
    ::cfmakeraw(&tio);
    if (::tcsetattr(m_slave, TCSANOW, &tio) != 0)
        return fail(systemError("tcsetattr"));
    const int flags = ::fcntl(m_master, F_GETFL);
    ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return fail(systemError("pipe2"));
    m_wakeRead = pipeFds[0];
    m_wakeWrite = pipeFds[1];

    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_engine.reset(new Engine(model, m_seed));
    }
    m_slavePath = QString::fromLocal8Bit(name);
    m_stop = false;
    m_thread = std::thread([this] { run(); });
    return true;
}

void PtySimulator::wake()
{
    if (m_wakeWrite >= 0) {
        const char c = 1;
        [[maybe_unused]] ssize_t n = ::write(m_wakeWrite, &c, 1);
    }
}

void PtySimulator::shutdown(bool join)
{
    m_stop = true;
    wake();
    if (join && m_thread.joinable())
        m_thread.join();
}

void PtySimulator::stop()
{
    shutdown(true);
    closeFd(m_master);
    closeFd(m_slave);
    closeFd(m_wakeRead);
    closeFd(m_wakeWrite);
}

void PtySimulator::unplug()
{
    // The worker owns the master while it runs: end it first, then hang up.
    shutdown(true);
    closeFd(m_master);
    closeFd(m_slave);
}

QVector<LoggedCommand> PtySimulator::commandLog() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_engine->commandLog();
}

void PtySimulator::run()
{
    QElapsedTimer clock;
    clock.start();
    std::deque<Reply> pending; // ordered by due time, in order of arrival for equal times
    QByteArray outgoing;       // bytes due but not yet taken by the pty

    while (!m_stop) {
        const qint64 now = clock.elapsed();
        while (!pending.empty() && pending.front().dueMs <= now) {
            outgoing += pending.front().bytes;
            pending.pop_front();
        }
        if (!outgoing.isEmpty()) {
            const ssize_t n = ::write(m_master, outgoing.constData(), size_t(outgoing.size()));
            if (n > 0)
                outgoing.remove(0, int(n));
        }

        int timeout = 200;
        if (!pending.empty())
            timeout = int(qBound(qint64(0), pending.front().dueMs - clock.elapsed(), qint64(200)));
        pollfd fds[2] = {{m_master, short(POLLIN | (outgoing.isEmpty() ? 0 : POLLOUT)), 0},
                         {m_wakeRead, POLLIN, 0}};
        const int rc = ::poll(fds, 2, timeout);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents & POLLIN) {
            char drain[64];
            while (::read(m_wakeRead, drain, sizeof drain) > 0) {
            }
        }
        if (fds[0].revents & POLLIN) {
            char buf[4096];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0) {
                QVector<Reply> replies;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    replies = m_engine->receive(QByteArray(buf, int(n)), clock.elapsed());
                }
                for (const Reply &r : replies) {
                    auto at =
                        std::upper_bound(pending.begin(), pending.end(), r.dueMs,
                                         [](qint64 due, const Reply &x) { return due < x.dueMs; });
                    pending.insert(at, r);
                }
            }
        } else if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            // Should not happen while our slave descriptor is open; avoid spinning.
            ::poll(nullptr, 0, 20);
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_engine->advanceTo(clock.elapsed());
    }
}

} // namespace sim
