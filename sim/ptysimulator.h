// Simulated Corvane instrument behind a pseudo-terminal.
//
// start() opens a pty pair, puts the slave side in raw mode and keeps one slave
// descriptor open for the simulator's whole life (without it a client that
// closes the port makes the master read EIO, and the line discipline would echo
// and translate CR/LF). A worker thread reads the master with poll(), feeds the
// Engine on a wall clock (milliseconds since start) and writes every reply when
// it falls due. Clients open slavePath() like any serial port.
#pragma once

#include "simengine.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace sim {

class PtySimulator
{
public:
    explicit PtySimulator(quint32 seed = 1);
    ~PtySimulator(); // stops cleanly
    PtySimulator(const PtySimulator &) = delete;
    PtySimulator &operator=(const PtySimulator &) = delete;

    // Opens the pty and starts the worker. False (with a message) on failure or
    // an unknown model name; a second start() without stop() fails too.
    bool start(const QByteArray &model, QString *error = nullptr);
    QString slavePath() const { return m_slavePath; } // e.g. "/dev/pts/5"
    bool isRunning() const { return m_thread.joinable(); }

    // Stops the worker and closes both sides of the pty. Safe to call twice.
    void stop();
    // Closes the master at once: a client on the slave sees a read error, as if
    // the instrument's USB cable was pulled. The engine stays available.
    void unplug();

    QVector<LoggedCommand> commandLog() const;

    // Runs f(engine) under the engine mutex, from any thread.
    template <class F> auto withEngine(F f) -> decltype(f(std::declval<Engine &>()))
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return f(*m_engine);
    }

private:
    void run();
    void shutdown(bool join);
    void wake();

    quint32 m_seed;
    mutable std::mutex m_mutex; // guards m_engine
    std::unique_ptr<Engine> m_engine;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    int m_master = -1;
    int m_slave = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    QString m_slavePath;
};

} // namespace sim
