#include "remote/headless.h"

#include "bert/measurementrecord.h"
#include "device/instrument.h"
#include "device/instrumentpool.h"
#include "device/testlogfile.h"
#include "remote/figures.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <unistd.h>

namespace remote {

namespace {

constexpr int ProgressMs = 10000;
const QString SerialField = QStringLiteral("{serial}");

// SIGINT and SIGTERM reach the event loop through a pipe: the handler only
// writes a byte, a socket notifier reads it.
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &c, 1);
}

bool catchSignals()
{
    if (signalPipe[0] < 0) {
        if (::pipe(signalPipe) != 0)
            return false;
        for (int fd : signalPipe)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0;
}

void say(const QString &line)
{
    std::fprintf(stderr, "corvane: %s\n", qPrintable(line));
    std::fflush(stderr);
}

// "10447 Corvane NanoTb: 1.616000e+12 bits, 0 errors, BER 0.000000e+00, 0d 00:02:37"
QString summaryLine(const device::Instrument &i)
{
    const Reading r = readingOf(i);
    return QString::asprintf("%s %s: %.6e bits, %.0f errors, BER %.6e, %s",
                             qPrintable(i.serialNumber()), qPrintable(i.model().name().trimmed()),
                             r.bits, r.errors, r.ber,
                             qPrintable(bert::elapsedText(float(r.bits), r.rateBps / 1e6)));
}

} // namespace

class Headless::Private
{
public:
    struct Run {
        device::Instrument *instrument = nullptr;
        bool lost = false;
    };

    Headless *q = nullptr;
    device::InstrumentPool *pool = nullptr;
    HeadlessConfig config;
    std::vector<Run> runs;
    QTimer *duration = nullptr;
    QTimer *progress = nullptr;
    QSocketNotifier *signalNotifier = nullptr;
    bool ended = false;

    void searched(const QVector<Found> &results);
    bool begin(const Found &found);
    void lost(device::Instrument *instrument, const QString &reason);
    void showProgress();
    void finish(int status);
};

Headless::Headless(device::InstrumentPool *pool, const HeadlessConfig &config, QObject *parent)
    : QObject(parent), d(new Private)
{
    d->q = this;
    d->pool = pool;
    d->config = config;
    d->duration = new QTimer(this);
    d->duration->setSingleShot(true);
    connect(d->duration, &QTimer::timeout, this, [this] { d->finish(Finished); });
    d->progress = new QTimer(this);
    connect(d->progress, &QTimer::timeout, this, [this] { d->showProgress(); });
}

Headless::~Headless()
{
    for (const Private::Run &run : d->runs)
        run.instrument->testLog()->stop();
    delete d;
}

void Headless::start()
{
    if (catchSignals()) {
        d->signalNotifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
        connect(d->signalNotifier, &QSocketNotifier::activated, this, [this] {
            char buffer[16];
            [[maybe_unused]] ssize_t n = ::read(signalPipe[0], buffer, sizeof buffer);
            d->finish(Finished);
        });
    } else {
        say(QStringLiteral("cannot catch SIGINT and SIGTERM: a signal ends the run without "
                           "closing the logs"));
    }
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(d->pool, &device::InstrumentPool::searchFinished, this,
                    [this, once](const QVector<Found> &results) {
                        disconnect(*once);
                        d->searched(results);
                    });
    d->pool->search('A');
}

void Headless::Private::searched(const QVector<Found> &results)
{
    QVector<Found> listed;
    for (const Found &f : results)
        if (f.status == Found::Status::Listed)
            listed << f;

    QVector<Found> chosen;
    if (!config.instruments.isEmpty()) {
        for (const QString &wanted : config.instruments) {
            auto it = std::find_if(listed.begin(), listed.end(), [&](const Found &f) {
                return f.path == wanted || f.id.serialNumber() == wanted;
            });
            if (it == listed.end()) {
                say(QStringLiteral("no instrument %1 found").arg(wanted));
                finish(NoInstrument);
                return;
            }
            if (std::none_of(chosen.begin(), chosen.end(),
                             [&](const Found &f) { return f.path == it->path; }))
                chosen << *it;
        }
    } else if (config.all) {
        chosen = listed;
    } else if (!listed.isEmpty()) {
        chosen << listed.first();
    }
    if (chosen.isEmpty()) {
        say(QStringLiteral("no instrument found"));
        for (const Found &f : results)
            say(QStringLiteral("  ") + f.diagnostic());
        finish(NoInstrument);
        return;
    }
    if (chosen.size() > 1 && !config.logPattern.isEmpty() &&
        !config.logPattern.contains(SerialField)) {
        say(QStringLiteral("%1 instruments would share the log %2: put {serial} in its name")
                .arg(chosen.size())
                .arg(config.logPattern));
        finish(BadUsage);
        return;
    }
    for (const Found &f : chosen) {
        if (!begin(f))
            return; // finish() has run
    }
    if (std::all_of(runs.begin(), runs.end(), [](const Run &r) { return r.lost; })) {
        finish(NoInstrument);
        return;
    }
    if (config.durationMs > 0)
        duration->start(int(qMin<qint64>(config.durationMs, std::numeric_limits<int>::max())));
    if (::isatty(STDERR_FILENO))
        progress->start(ProgressMs);
}

bool Headless::Private::begin(const Found &found)
{
    auto *instrument = new device::Instrument(q);
    pool->add(instrument);
    runs.push_back({instrument, false});
    QObject::connect(instrument, &device::Instrument::disconnected, q,
                     [this, instrument](const QString &reason) { lost(instrument, reason); });
    QString why;
    if (!instrument->connectTo(found, &why)) {
        say(QStringLiteral("cannot open %1: %2").arg(found.path, why));
        runs.back().lost = true;
        return true;
    }
    const QString serial = instrument->serialNumber();
    QString logLine;
    if (!config.logPattern.isEmpty()) {
        QString path = config.logPattern;
        path.replace(SerialField, serial);
        QString error;
        if (!instrument->testLog()->start(path, instrument->model(), &error)) {
            say(error);
            finish(BadUsage);
            return false;
        }
        logLine = QStringLiteral(", log ") + path;
    }
    say(QStringLiteral("measuring %1 %2 on %3%4")
            .arg(serial, instrument->model().name().trimmed(), found.path, logLine));
    return true;
}

void Headless::Private::lost(device::Instrument *instrument, const QString &reason)
{
    if (ended)
        return;
    auto run = std::find_if(runs.begin(), runs.end(),
                            [instrument](const Run &r) { return r.instrument == instrument; });
    if (run == runs.end() || run->lost)
        return;
    run->lost = true;
    instrument->testLog()->stop();
    say(QStringLiteral("%1 lost: %2").arg(instrument->serialNumber(), reason));
    if (std::all_of(runs.begin(), runs.end(), [](const Run &r) { return r.lost; }))
        finish(NoInstrument);
}

void Headless::Private::showProgress()
{
    for (const Run &run : runs)
        say(summaryLine(*run.instrument) + (run.lost ? QStringLiteral(", lost") : QString()));
}

void Headless::Private::finish(int status)
{
    if (ended)
        return;
    ended = true;
    duration->stop();
    progress->stop();
    bool above = false;
    for (const Run &run : runs) {
        run.instrument->testLog()->stop();
        const Reading r = readingOf(*run.instrument);
        if (config.maxBer > 0 && r.hasRecord && r.ber > config.maxBer)
            above = true;
        std::printf("%s%s\n", qPrintable(summaryLine(*run.instrument)), run.lost ? ", lost" : "");
    }
    std::fflush(stdout);
    if (status == Finished && above)
        status = BerTooHigh;
    // From the event loop: a run that ends at once still ends after exec() began.
    QMetaObject::invokeMethod(
        q, [q = q, status] { emit q->finished(status); }, Qt::QueuedConnection);
}

} // namespace remote
