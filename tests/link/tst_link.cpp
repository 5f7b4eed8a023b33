// The link over a simulated instrument: what reaches the wire through the
// command sender, and exchanges that take the line from the measurement cycle.
#include "support/simbench.h"

namespace {
// Gaps between consecutive measurement requests, in the instrument's clock.
QList<qint64> requestGaps(const SimBench &b, qint64 from)
{
    QList<qint64> gaps;
    qint64 last = -1;
    for (const sim::LoggedCommand &c : b.sim->commandLog()) {
        if (c.index < from || c.line != "r")
            continue;
        if (last >= 0)
            gaps << c.ms - last;
        last = c.ms;
    }
    return gaps;
}
} // namespace

class TstLink : public QObject
{
    Q_OBJECT
private slots:
    void commandSenderOnTheWire()
    {
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano"));
        Link *link = b.link();
        const qint64 from = b.logSize();
        link->send("reset");
        link->setSide('B');
        link->send("setrate 100 200"); // the letter goes before the first space only
        QCOMPARE(link->buffer(), QString("setrateB 100 200\r\n"));
        link->writeRaw("RdSFP D 7F"); // raw: no side letter
        link->setSide('A');
        QTRY_VERIFY(b.lines(from).contains("RdSFP D 7F"));
        const QList<QByteArray> sent = b.lines(from);
        QVERIFY(sent.contains("reset"));
        QVERIFY(sent.contains("setrateB 100 200"));
        QVERIFY(sent.indexOf("reset") < sent.indexOf("setrateB 100 200"));

        // With the session ended the sender still frames, but writes nothing.
        b.w->on_DisConectBtn_clicked();
        const qint64 after = b.logSize();
        link->send("tx 1");
        QCOMPARE(link->buffer(), QString("tx 1\r\n"));
        QTest::qWait(100);
        QCOMPARE(b.logSize(), after);
    }

    void secondExchangeIsRefused()
    {
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano"));
        QObject eye, utilities;
        QString why;
        QVERIFY(b.link()->beginExchange(&eye, "the eye scan", &why));
        QVERIFY(!b.link()->beginExchange(&utilities, "the register dump", &why));
        QCOMPARE(why, QString("Busy: the eye scan holds the instrument"));
        QVERIFY(!b.link()->beginExchange(&eye, "the eye scan", &why));
        QCOMPARE(why, QString("Busy: the eye scan is still running"));
        b.link()->endExchange(&utilities); // not the holder: nothing happens
        QVERIFY(b.link()->holds(&eye));
        b.link()->endExchange(&eye);
        QVERIFY(b.link()->beginExchange(&utilities, "the register dump", &why));
        b.link()->endExchange(&utilities);
    }

    void exchangePausesPollingAndResumesOnce()
    {
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano"));
        Link *link = b.link();
        QObject owner;
        QVERIFY(link->beginExchange(&owner, "the register dump"));
        QVERIFY(b.waitUntilPollingStopped()); // the pending cycle ran once more and stopped
        const qint64 from = b.logSize();
        link->send("SFP");
        QByteArray dump;
        link->collect(&owner, {0, QByteArray(), 900},
                      [&](const QByteArray &reply, Link::Collected) { dump = reply; });
        QTRY_VERIFY_WITH_TIMEOUT(!dump.isEmpty(), 3000);
        QVERIFY(dump.startsWith("A0 00: 03 04 07"));
        QCOMPARE(b.count("r", from), 0); // no request while the line was lent
        link->endExchange(&owner);
        QVERIFY(b.waitForRequests(6));
        // One chain: requests come a polling interval apart, never two at once.
        for (qint64 gap : requestGaps(b, from))
            QVERIFY2(gap >= 90, qPrintable(QString::number(gap)));
    }

    void collectEnds_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("terminator");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<int>("how");
        QTest::addColumn<int>("size");
        QTest::newRow("by count") << QByteArray("Scan 4") << 4224 << QByteArray() << 4000
                                  << int(Link::Collected::Complete) << 4224;
        QTest::newRow("by terminator") << QByteArray("RdSFP D 7f") << 0 << QByteArray("\r\n")
                                       << 4000 << int(Link::Collected::Complete) << 12;
        QTest::newRow("by time-out") << QByteArray("tx 1") << 10 << QByteArray("\n") << 300
                                     << int(Link::Collected::TimedOut) << 0;
    }
    void collectEnds()
    {
        QFETCH(QByteArray, command);
        QFETCH(int, count);
        QFETCH(QByteArray, terminator);
        QFETCH(int, timeout);
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano"));
        QObject owner;
        QVERIFY(b.link()->beginExchange(&owner, "a test"));
        QVERIFY(b.waitUntilPollingStopped());
        b.link()->readAll();
        b.link()->send(QString::fromLatin1(command));
        int how = -1;
        QByteArray reply;
        b.link()->collect(&owner, {count, terminator, timeout},
                          [&](const QByteArray &r, Link::Collected h) {
                              reply = r;
                              how = int(h);
                          });
        QCOMPARE(how, -1); // never from inside the call
        QTRY_VERIFY_WITH_TIMEOUT(how >= 0, 5000);
        QTEST(how, "how");
        QTEST(int(reply.size()), "size");
        b.link()->endExchange(&owner);
    }

    void instrumentLostDuringAnExchange_data()
    {
        QTest::addColumn<bool>("unplug");
        QTest::addColumn<QString>("reason");
        QTest::newRow("unplugged") << true << "Connection to the instrument was lost";
        QTest::newRow("disconnected") << false << "Disconnected";
    }
    void instrumentLostDuringAnExchange()
    {
        QFETCH(bool, unplug);
        QFETCH(QString, reason);
        SimBench b;
        QVERIFY(b.startLive("Corvane NanoTb"));
        QObject owner;
        QString ended = "<not ended>";
        connect(b.link(), &Link::exchangeEnded, &owner, [&](QObject *who, const QString &why) {
            if (who == &owner)
                ended = why;
        });
        QVERIFY(b.link()->beginExchange(&owner, "the eye scan"));
        b.link()->send("Scan 4");
        int how = -1;
        b.link()->collect(&owner, {4224, QByteArray(), 4000},
                          [&](const QByteArray &, Link::Collected h) { how = int(h); });
        if (unplug)
            b.sim->unplug();
        else
            b.w->on_DisConectBtn_clicked();
        QTRY_COMPARE(how, int(Link::Collected::Lost));
        QVERIFY2(ended.startsWith(reason), qPrintable(ended));
        QVERIFY(!b.link()->busy());
        QVERIFY(control(b.w.get(), "DisConectBtn")->isHidden());
    }

    void windowGoneHandsTheLineBack()
    {
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano"));
        auto *owner = new QObject;
        QVERIFY(b.link()->beginExchange(owner, "the loop-back test"));
        QVERIFY(b.waitUntilPollingStopped());
        delete owner;
        QVERIFY(!b.link()->busy());
        QVERIFY(b.waitForRequests(3));
    }
};

QTEST_MAIN(TstLink)
#include "tst_link.moc"
