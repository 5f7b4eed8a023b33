// A simulated instrument on a real pseudo-terminal and what reached its wire;
// measurement records written as changes to a worked example. No widgets:
// the device tests use it alone.
#pragma once
#include "device/instrument.h"
#include "link/portsearch.h"
#include "ptysimulator.h"
#include "support/table.h"

#include <QStandardPaths>
#include <QtTest>
#include <memory>

// Tests never touch the user's settings.
inline const bool TestPaths = (QStandardPaths::setTestModeEnabled(true), true);

// A measurement record as the instrument of the model sends it (27 bytes on the
// NanoT models, else 24): 10 Mbit/s (x 10 on some models), pattern '3', Rx and
// Tx +10.0 dBm, 1550.12 nm, 42.1 C, lamp code 2, 8388608 bits, no errors, eye
// 20 and 40, no PRBS information; `changes` sets fields in hex, "count=80000029".
inline QByteArray record(const QByteArray &model, const QString &changes = QString())
{
    QByteArray r = QByteArray::fromHex("00989680 33 7c18 7c18 025d84 6f8e 02 80000018 00000000 "
                                       "142800 00");
    const QStringList names{"rate",        "pattern", "rx",    "tx",     "wavelength",
                            "temperature", "status",  "count", "errors", "eye"};
    const int at[] = {0, 4, 5, 7, 9, 12, 14, 15, 19, 23, 26};
    for (const QString &change : changes.split(' ', Qt::SkipEmptyParts)) {
        const int i = names.indexOf(change.section('=', 0, 0));
        r.replace(at[i], at[i + 1] - at[i], QByteArray::fromHex(change.section('=', 1).toLatin1()));
    }
    r.resize(model.startsWith("Corvane NanoT") ? 27 : 24);
    return r;
}

// A simulated instrument on a real pseudo-terminal, and what reached it.
class SimWire
{
public:
    std::unique_ptr<sim::PtySimulator> sim;

    // A (new) instrument appears as a new serial device.
    bool plugIn(const QByteArray &model, quint32 seed = 1)
    {
        sim = std::make_unique<sim::PtySimulator>(seed);
        portcatalog::clearExtras();
        portcatalog::addExtra(sim->start(model) ? sim->slavePath() : QString(),
                              QStringLiteral("USB Serial Device"));
        return sim->isRunning();
    }
    QString portName() const { return sim->slavePath().mid(5); } // "/dev/pts/N" -> "pts/N"
    template <class F> auto engine(F f) const { return sim->withEngine(f); }
    qint64 logSize() const
    {
        return engine([](sim::Engine &e) { return e.commandsReceived(); });
    }
    // Lines the instrument received from the command numbered `from` on.
    QList<QByteArray> lines(qint64 from = 0) const
    {
        QList<QByteArray> out;
        for (const sim::LoggedCommand &c : sim->commandLog())
            if (c.index >= from)
                out << c.line;
        return out;
    }
    // The same without the measurement requests.
    QList<QByteArray> commands(qint64 from = 0) const
    {
        QList<QByteArray> out = lines(from);
        out.removeAll("r");
        out.removeAll("rB");
        return out;
    }
    int count(const QByteArray &line, qint64 from = 0) const { return lines(from).count(line); }
    // The command that followed `line` (the first since `from`), and how many
    // milliseconds later by the instrument's clock.
    QPair<QByteArray, qint64> after(const QByteArray &line, qint64 from) const
    {
        const QVector<sim::LoggedCommand> log = sim->commandLog();
        for (int i = 0; i + 1 < log.size(); ++i)
            if (log[i].index >= from && log[i].line == line)
                return {log[i + 1].line, log[i + 1].ms - log[i].ms};
        return {};
    }
    // Waits until the instrument has received n more requests for a record.
    bool waitForRequests(int n)
    {
        const qint64 from = logSize();
        return QTest::qWaitFor([&] { return lines(from).size() - commands(from).size() >= n; });
    }
};

// Several simulated instruments (seeds 1, 2, ...: serial numbers 10447,
// 10448, ...), all offered to the port search, and what reached each wire.
struct SimRack {
    std::vector<std::unique_ptr<sim::PtySimulator>> sims;

    bool plugIn(const QList<QByteArray> &models)
    {
        if (sims.empty())
            portcatalog::clearExtras();
        for (const QByteArray &model : models) {
            sims.push_back(std::make_unique<sim::PtySimulator>(quint32(sims.size() + 1)));
            if (!sims.back()->start(model))
                return false;
            portcatalog::addExtra(sims.back()->slavePath(), QStringLiteral("USB Serial Device"));
        }
        return true;
    }
    QString path(int i = 0) const { return sims.at(size_t(i))->slavePath(); }
    template <class F> auto engine(F f, int i = 0) const
    {
        return sims.at(size_t(i))->withEngine(f);
    }
    qint64 logSize(int i = 0) const
    {
        return engine([](sim::Engine &e) { return e.commandsReceived(); }, i);
    }
    // Lines instrument i received from the command numbered `from` on, and
    // the same without the requests for records.
    QList<QByteArray> lines(int i, qint64 from = 0) const
    {
        QList<QByteArray> out;
        for (const sim::LoggedCommand &c : sims.at(size_t(i))->commandLog())
            if (c.index >= from)
                out << c.line;
        return out;
    }
    QList<QByteArray> commands(int i, qint64 from = 0) const
    {
        QList<QByteArray> out = lines(i, from);
        out.removeAll("r");
        out.removeAll("rB");
        return out;
    }
    // Instrument i is being polled: three more requests for a record come.
    bool polling(int i) const
    {
        const qint64 from = logSize(i);
        return QTest::qWaitFor([&] { return lines(i, from).count("r") >= 3; }, 3000);
    }
};
