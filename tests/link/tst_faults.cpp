// End to end over a real pty, when things go wrong: a port that will not
// open, an instrument unplugged, replies that are spoilt or missing, silence.
#include "support/simbench.h"

#include <QPlainTextEdit>

namespace {
QByteArray record24(quint32 countMantissa, quint8 exponent)
{
    QByteArray r = QByteArray::fromHex("00989680"
                                       "33"
                                       "7c18"
                                       "7c18"
                                       "025d84"
                                       "6f8e"
                                       "02");
    r += char(countMantissa >> 16);
    r += char(countMantissa >> 8);
    r += char(countMantissa);
    r += char(exponent);
    r += QByteArray(5, '\0');
    return r;
}
} // namespace

class TstFaults : public QObject
{
    Q_OBJECT
private slots:
    void unplugEndsTheSessionAndRefreshStartsClean()
    {
        SimBench b;
        QVERIFY(b.startLive("Corvane NanoTa"));
        MainWindow &w = *b.w;
        b.sim->unplug();
        QTRY_VERIFY_WITH_TIMEOUT(control(&w, "DisConectBtn")->isHidden(), 3000);
        QCOMPARE(lampOf(&w, "LEDCOM"), 'R');
        QVERIFY(control(&w, "LEDCOM")->toolTip().contains("lost"));
        QVERIFY(control(&w, "RefreshBtn")->isEnabled());
        QCOMPARE(w.windowTitle(), QString("Corvane Nano"));
        QVERIFY(debugText(b).contains("Connection to the instrument was lost"));
        QVERIFY(readoutsGreyed(b));
        QVERIFY(b.waitUntilPollingStopped());

        // The instrument comes back as a new device; the search starts grey.
        QVERIFY(b.plugIn("Corvane NanoTa"));
        QVERIFY(b.refresh());
        QCOMPARE(lampOf(&w, "LEDCOM"), 'g');
        QCOMPARE(control(&w, "LEDCOM")->toolTip(), QString());
        QVERIFY(b.connectFirst());
        QCOMPARE(lampOf(&w, "LEDCOM"), 'G');
        QVERIFY(b.waitForRequests(2));
    }

    void portThatCannotBeOpened()
    {
        SimBench b;
        QVERIFY(b.start("Corvane Nano"));
        MainWindow &w = *b.w;
        // The listed device has gone away before the user picks it.
        portList(b)->addItem("pts/does-not-exist: Corvane Nano\r\n");
        portList(b)->setCurrentIndex(2);
        emit portList(b)->activated(2);
        QCOMPARE(b.link()->connected(), 0);
        QVERIFY(control(&w, "DisConectBtn")->isHidden());
        QCOMPARE(lampOf(&w, "LEDCOM"), 'R');
        QVERIFY(!control(&w, "LEDCOM")->toolTip().isEmpty());
        QVERIFY(debugText(b).contains("pts/does-not-exist: cannot open: "));
        QCOMPARE(w.windowTitle(), QString("Corvane Nano"));
    }

    void badRepliesLeaveTheDisplay_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("no reply") << int(sim::Fault::NoReply);
        QTest::newRow("short") << int(sim::Fault::ShortReply);
        QTest::newRow("split") << int(sim::Fault::SplitReply);
        QTest::newRow("garbage") << int(sim::Fault::Garbage);
        QTest::newRow("late") << int(sim::Fault::LateReply);
    }
    void badRepliesLeaveTheDisplay()
    {
        QFETCH(int, fault);
        SimBench b;
        QVERIFY(b.start("Corvane Nano"));
        b.engine([&](sim::Engine &e) { e.scriptRecords({record24(0x800000, 24)}); });
        QVERIFY(b.connectFirst());
        QTRY_COMPARE_WITH_TIMEOUT(textOf(b.w.get(), "CountTxt"), QString("8.389e+06"), 3000);

        // Every cycle from now on is watched: while the replies are spoilt the
        // display must not change, and afterwards it shows the new record.
        QStringList shown;
        connect(b.link(), &Link::pollDue, b.w.get(),
                [&] { shown << textOf(b.w.get(), "CountTxt"); });
        b.engine([&](sim::Engine &e) {
            e.scriptRecords({record24(0x800000, 25)});
            e.setFault(sim::Fault(fault), 4);
        });
        QTRY_VERIFY_WITH_TIMEOUT(
            b.engine([](sim::Engine &e) { return e.fault(); }) == sim::Fault::None, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(textOf(b.w.get(), "CountTxt"), QString("1.678e+07"), 5000);
        const int firstNew = shown.indexOf("1.678e+07");
        QVERIFY(shown.size() >= 4); // the cycle went on
        for (int i = 0; i < (firstNew < 0 ? shown.size() : firstNew); ++i)
            QCOMPARE(shown[i], QString("8.389e+06"));
        for (int i = qMax(0, firstNew); i < shown.size(); ++i)
            QCOMPARE(shown[i], QString("1.678e+07"));
    }

    void silenceShowsStaleReadouts()
    {
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano"));
        MainWindow &w = *b.w;
        const QTime before = QTime::currentTime().addSecs(-1);
        b.engine([](sim::Engine &e) { e.setFault(sim::Fault::NoReply); });
        QTRY_COMPARE_WITH_TIMEOUT(lampOf(&w, "LEDCOM"), 'Y', 4000);
        const QString tip = control(&w, "LEDCOM")->toolTip();
        QVERIFY2(tip.startsWith("no reply since "), qPrintable(tip));
        const QTime since = QTime::fromString(tip.mid(15), "hh:mm:ss");
        QVERIFY2(since.isValid() && since >= before.addSecs(-1), qPrintable(tip));
        QVERIFY(readoutsGreyed(b));
        QVERIFY(b.waitForRequests(2)); // nothing changes on the wire
        b.engine([](sim::Engine &e) { e.setFault(sim::Fault::None); });
        QTRY_COMPARE_WITH_TIMEOUT(lampOf(&w, "LEDCOM"), 'G', 3000);
        QVERIFY(readoutsLive(b));
        QCOMPARE(control(&w, "LEDCOM")->toolTip(), QString());

        // Another window holding the line for a while is not silence.
        QObject owner;
        QVERIFY(b.link()->beginExchange(&owner, "a long exchange"));
        QTest::qWait(1500);
        b.link()->endExchange(&owner);
        QVERIFY(b.waitForRequests(2));
        QCOMPARE(lampOf(&w, "LEDCOM"), 'G');
        QVERIFY(readoutsLive(b));
    }
};

QTEST_MAIN(TstFaults)
#include "tst_faults.moc"
