// The program without a display: the instruments found, measured until a
// duration ends or a signal (SIGINT, SIGTERM) asks to stop, each with its own
// log file; one summary line per instrument on stdout; a progress line on
// stderr every 10 s when stderr is a terminal. QtCore only.
#pragma once
#include <QObject>
#include <QStringList>

namespace device {
class InstrumentPool;
}

namespace remote {

struct HeadlessConfig {
    QStringList instruments; // serial numbers or port paths; empty: the first found (or all with `all`)
    bool all = false;        // every instrument found
    QString logPattern;      // "run.csv", "soak-{serial}.jsonl"; empty: no log
    qint64 durationMs = 0;   // 0: until a signal
    double maxBer = 0;       // 0: no limit
};

// Exit statuses of the headless program.
enum HeadlessStatus {
    Finished = 0,     // the duration was reached, or a signal ended the run
    BerTooHigh = 1,   // a BER above maxBer at the end
    BadUsage = 2,     // a configuration that cannot run (a log pattern without {serial} for several instruments, ...)
    NoInstrument = 3, // none found, or every instrument lost
};

class Headless : public QObject
{
    Q_OBJECT

public:
    Headless(device::InstrumentPool *pool, const HeadlessConfig &config, QObject *parent = nullptr);
    ~Headless() override;

    // Searches the ports, connects the instruments asked for and starts their
    // logs; finished() follows when the run ends.
    void start();

signals:
    void finished(int status);

private:
    class Private;
    Private *d;
};

} // namespace remote
