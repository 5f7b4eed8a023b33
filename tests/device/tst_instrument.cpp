// The instrument without any window, over a real pty: the search, the session,
// the measurement cycle and its resynchronisation, staleness, re-identification,
// holds, requests for the line, and what each puts on the wire.
#include "device/instrumentpool.h"
#include "device/testlogfile.h"
#include "support/simwire.h"

#include <QSignalSpy>
#include <QTemporaryDir>

namespace {
// An instrument of its own pool connected to a simulated one.
struct Rig : SimWire {
    device::InstrumentPool pool;
    device::Instrument inst;
    Rig() { pool.add(&inst); }

    bool search()
    {
        QSignalSpy done(&pool, &device::InstrumentPool::searchFinished);
        pool.search('A');
        return done.wait(3000);
    }
    const Found *found() const { return pool.found(sim->slavePath()); }
    bool connect(const QByteArray &model)
    {
        if (!plugIn(model) || !search() || !found())
            return false;
        QSignalSpy measured(&inst, &device::Instrument::measured);
        return inst.connectTo(*found()) && measured.wait(3000);
    }
    // Gaps in ms between the "r" requests the instrument received since `from`.
    QList<qint64> gapsBetweenRequests(qint64 from) const
    {
        QList<qint64> gaps;
        qint64 last = -1;
        for (const sim::LoggedCommand &c : sim->commandLog()) {
            if (c.index < from || c.line != "r")
                continue;
            if (last >= 0)
                gaps << c.ms - last;
            last = c.ms;
        }
        return gaps;
    }
    qint64 lastCommandMs() const { return sim->commandLog().last().ms; }
};

// Bits of every record the instrument takes, in order.
QList<double> bitsOf(const QSignalSpy &spy)
{
    QList<double> bits;
    for (const QList<QVariant> &args : spy)
        bits << double(args.at(0).value<bert::Measurement>().bits);
    return bits;
}
} // namespace

class TstInstrument : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<bert::Measurement>(); }

    // The search lists what answered with a model name and says why the rest
    // is not listed; a port held by an instrument of the program is not asked.
    // (A port that cannot be opened, as the window lists it: tst_connection.)
    void search()
    {
        Rig a;
        QVERIFY(a.connect("Corvane NanoTb"));
        const QString held = a.sim->slavePath();
        Rig b;
        QVERIFY(b.plugIn("Corvane Nano"));
        portcatalog::addExtra(held, "USB Serial Device");
        portcatalog::addExtra("/dev/ttyS99", "");
        b.pool.add(&a.inst);
        const qint64 heldFrom = a.logSize();
        QVERIFY(b.search());
        QStringList lines;
        for (const Found &f : b.pool.lastSearch())
            lines << f.diagnostic();
        // The first 20 characters of the identification follow the match.
        const int serial = b.engine([](sim::Engine &e) { return e.serialNumber(); });
        QVERIFY2(lines.contains(b.portName() + ": OK, Match 6: Corvane Nano:SN " +
                                QString::number(serial).left(4)),
                 qPrintable(lines.join('\n')));
        QVERIFY2(lines.contains(held.mid(5) + ": in use by another window of this program"),
                 qPrintable(lines.join('\n')));
        QVERIFY(lines.contains("ttyS99"));
        QCOMPARE(a.commands(heldFrom), QList<QByteArray>()); // nothing asked of the held one
    }

    // Spoilt replies are never taken for records: the cycle drops what
    // arrives until the line is quiet, and the next good record is taken.
    void brokenReplies_data()
    {
        columns<int, int>({"fault", "times"});
        QTest::newRow("no reply") << int(sim::Fault::NoReply) << 4;
        QTest::newRow("short") << int(sim::Fault::ShortReply) << 4;
        QTest::newRow("split") << int(sim::Fault::SplitReply) << 1;
        QTest::newRow("garbage") << int(sim::Fault::Garbage) << 4;
        QTest::newRow("late") << int(sim::Fault::LateReply) << 4;
    }
    void brokenReplies()
    {
        Rig r;
        QVERIFY(r.connect("Corvane Nano"));
        r.engine([](sim::Engine &e) { e.scriptRecords({record("Corvane Nano")}); });
        QSignalSpy measured(&r.inst, &device::Instrument::measured);
        QTRY_VERIFY(bitsOf(measured).contains(8388608));
        measured.clear();
        r.engine([&](sim::Engine &e) {
            e.scriptRecords({record("Corvane Nano", "count=80000019")}); // 16777216 bits
            e.setFault(sim::Fault(data<int>("fault")), data<int>("times"));
        });
        QTRY_VERIFY(bitsOf(measured).contains(16777216));
        QTRY_COMPARE(bitsOf(measured).size(), bitsOf(measured).indexOf(16777216) + 3);
        for (double bits : bitsOf(measured))
            QVERIFY2(bits == 8388608 || bits == 16777216, qPrintable(QString::number(bits)));
    }

    // Records that cannot be true are dropped like broken replies; others are
    // taken as the instrument sends them, even outside the standard rates.
    void implausibleRecords_data()
    {
        // The record says 4194304 bits; the Tera's records carry rate / 10.
        columns<QByteArray, QString, bool>({"model", "changes", "taken"});
        QTest::newRow("more errors than bits")
            << QByteArray("Corvane Nano") << "errors=80000018" << false;
        QTest::newRow("as many errors as bits")
            << QByteArray("Corvane Nano") << "errors=80000017" << true;
        QTest::newRow("Tera at 42.9 Gbit/s") << QByteArray("Corvane Tera") << "rate=ffffffff" << false;
        QTest::newRow("Tera at 22.6352001 Gbit/s, past twice its top rate")
            << QByteArray("Corvane Tera") << "rate=86ea9301" << false;
        QTest::newRow("Tera at 22.6352 Gbit/s, twice its top rate")
            << QByteArray("Corvane Tera") << "rate=86ea9300" << true;
        QTest::newRow("Nano at 10 Mbit/s, below its standard rates")
            << QByteArray("Corvane Nano") << "rate=00989680" << true;
    }
    void implausibleRecords()
    {
        Rig r;
        const QByteArray model = data<QByteArray>("model");
        QVERIFY(r.connect(model));
        QSignalSpy measured(&r.inst, &device::Instrument::measured);
        const QByteArray odd = record(model, data<QString>("changes") + " count=80000017");
        r.engine([&](sim::Engine &e) { e.scriptRecords({odd, odd, record(model)}); });
        QTRY_VERIFY(bitsOf(measured).contains(8388608));
        QCOMPARE(bitsOf(measured).contains(4194304), data<bool>("taken"));
    }

    // A request holding the line is no silence: the data does not go stale
    // (silence itself: tst_connection's silenceShowsStaleReadouts). An
    // instrument silent from its connection on goes stale too.
    void staleness()
    {
        Rig r;
        QVERIFY(r.connect("Corvane Nano"));
        QSignalSpy stale(&r.inst, &device::Instrument::staleChanged);
        QObject owner;
        device::Step step;
        step.timeoutMs = 1500;
        QSignalSpy busy(&r.inst, &device::Instrument::busyChanged);
        QVERIFY(r.inst.request(&owner, device::Request::single("a long request", step, nullptr)));
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 2, 3000);
        QVERIFY(r.waitForRequests(3));
        QCOMPARE(stale.size(), 0);

        Rig mute;
        QVERIFY(mute.plugIn("Corvane Nano") && mute.search() && mute.found());
        mute.engine([](sim::Engine &e) { e.setFault(sim::Fault::NoReply); });
        QSignalSpy staleFromTheStart(&mute.inst, &device::Instrument::staleChanged);
        QVERIFY(mute.inst.connectTo(*mute.found()));
        QVERIFY(staleFromTheStart.wait(3000));
        QCOMPARE(staleFromTheStart.first().at(0).toBool(), true);
    }

    // A request's reply completes by count, by terminator or at its time-out;
    // a second request is refused meanwhile; polling resumes once, 100 ms after.
    void requests_data()
    {
        columns<QString, bool, int, QByteArray, int, QString>(
            {"command", "raw", "count", "terminator", "timeout", "result"});
        QTest::newRow("by count") << "Scan 4" << false << 4224 << QByteArray() << 4000
                                  << "complete 4224";
        QTest::newRow("by terminator")
            << "RdSFP D 7f" << true << 0 << QByteArray("\r\n") << 4000 << "complete 12";
        QTest::newRow("by time-out")
            << "tx 1" << false << 10 << QByteArray("\n") << 300 << "timed out 0";
        QTest::newRow("time only") << "RdXFP 7f" << true << 0 << QByteArray() << 300
                                   << "complete 9";
    }
    void requests()
    {
        Rig r;
        QVERIFY(r.connect(QTest::currentDataTag() == QByteArray("time only") ? "Corvane Tera"
                                                                               : "Corvane NanoTb"));
        QObject owner, other;
        device::Step step;
        step.delayMs = 100;
        step.drain = true;
        step.command = data<QString>("command");
        step.raw = data<bool>("raw");
        step.count = data<int>("count");
        step.terminator = data<QByteArray>("terminator");
        step.timeoutMs = data<int>("timeout");
        QString got, ended = "not yet";
        device::Request request = device::Request::single("a test", step, [&](const device::Reply &reply) {
            got = QString("%1 %2")
                      .arg(reply.how == device::Ended::Complete ? "complete" : "timed out")
                      .arg(reply.bytes.size());
        });
        request.finished = [&](const QString &reason) { ended = reason; };
        const qint64 from = r.logSize();
        QVERIFY(r.inst.request(&owner, request));
        QString refusal;
        QVERIFY(!r.inst.request(&other, device::Request::single("another", step, nullptr), &refusal));
        QCOMPARE(refusal, QString("Busy: a test holds the instrument"));
        QVERIFY(!r.inst.request(&owner, device::Request::single("again", step, nullptr), &refusal));
        QCOMPARE(refusal, QString("Busy: a test is still running"));
        QTRY_VERIFY_WITH_TIMEOUT(!got.isEmpty(), 6000);
        QTEST(got, "result");
        QCOMPARE(ended, QString());
        QVERIFY(r.waitForRequests(10));
        // The request's command went out alone, 100 ms after the last record's
        // request; polling came back once: one chain, a request every 100 ms.
        const QList<QByteArray> sent = r.commands(from);
        QCOMPARE(sent, QList<QByteArray>{data<QString>("command").toLatin1()});
        const QPair<QByteArray, qint64> resumed = r.after(step.command.toLatin1(), from);
        QCOMPARE(resumed.first, QByteArray("r"));
        QVERIFY2(resumed.second >= 100, qPrintable(QString::number(resumed.second)));
        for (qint64 gap : r.gapsBetweenRequests(from))
            QVERIFY2(gap >= 80, qPrintable(QString::number(gap)));
    }

    // Commands on the wire: a rate outside the model's rates is refused with
    // the reason and sends nothing; the side letter goes after the command word.
    // (Each model's unit, and the refusal the window shows: tst_bert.)
    void commands_data()
    {
        columns<QByteArray, double, char, QString, QString>(
            {"model", "mbps", "side", "sent", "refusal"});
        QTest::newRow("NanoTa 14500") << QByteArray("Corvane NanoTa") << 14500.0 << 'B'
                                      << "setrateB 14500000" << "";
        QTest::newRow("NanoTa 3700, between ranges")
            << QByteArray("Corvane NanoTa") << 3700.0 << 'A' << ""
            << "3700 Mbps is outside the rates of the Corvane NanoTa (1244.16-1813, 2488.32-3625, "
               "4975-7250, 9953.28-14500 Mbps)";
    }
    void commands()
    {
        Rig r;
        QVERIFY(r.connect(data<QByteArray>("model")));
        r.inst.setSide(data<char>("side"));
        const qint64 from = r.logSize();
        QString refusal;
        const bool sent = r.inst.setRate(data<double>("mbps"), &refusal);
        QCOMPARE(sent, refusal.isEmpty());
        QTEST(refusal, "refusal");
        r.inst.resetErrors();
        const QByteArray reset = data<char>("side") == 'B' ? "resetB" : "reset";
        QTRY_VERIFY(r.commands(from).contains(reset));
        QList<QByteArray> expected;
        if (!data<QString>("sent").isEmpty())
            expected << data<QString>("sent").toLatin1();
        expected << reset;
        QCOMPARE(r.commands(from), expected);
    }

    // Disconnect: the session ends at once, nothing more is written, the port
    // is closed a moment later;
    // a test log stays open until stopped, and stops with its rows on disk.
    void disconnecting()
    {
        Rig r;
        QVERIFY(r.connect("Corvane Nano"));
        QTemporaryDir dir;
        QString error;
        QVERIFY(r.inst.testLog()->start(dir.filePath("run.csv"), r.inst.model(), &error));
        QTRY_COMPARE(r.inst.testLog()->rows(), 1);
        QSignalSpy disconnected(&r.inst, &device::Instrument::disconnected);
        QSignalSpy released(&r.inst, &device::Instrument::portReleased);
        r.inst.disconnectFromInstrument();
        QCOMPARE(disconnected.size(), 1); // at once, for everyone who shows the session
        QCOMPARE(disconnected.first().at(0).toString(), QString());
        const qint64 from = r.logSize();
        QVERIFY(released.wait(2000));
        QCOMPARE(r.lines(from), QList<QByteArray>());
        QVERIFY(!r.inst.holdsPort());
        r.inst.testLog()->stop();
        QFile f(dir.filePath("run.csv"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().split('\n');
        QCOMPARE(lines.size(), 3); // date, header, one row
        QVERIFY2(lines[1].startsWith("Time, Rate, Pattern, Temp (C), Rx (dBm), Count"),
                 lines[1].constData());
        QCOMPARE(lines[2].split(',').size(), 8);
    }
};

QTEST_MAIN(TstInstrument)
#include "tst_instrument.moc"
