// End to end over a real pty: discovery, connection, the measurement cycle's
// stop conditions and its resumption, re-identification, the session ended by
// the user or by the instrument, spoilt or missing replies, and exchanges that
// take the line from the cycle.
#include "support/simbench.h"

#include <QTemporaryDir>

namespace {
QString lampAndTip(const QWidget *w, const char *name)
{
    return QString(QChar(lampOf(w, name))) + ' ' + control(w, name)->toolTip();
}
} // namespace

class TstLink : public QObject
{
    Q_OBJECT
    BenchPool pool;

private slots:
    void cleanupTestCase() { pool.clear(); }

    // Candidates by description, each asked "?" four times; a port is listed
    // when a model name answers; every port gets a diagnostic line.
    void discovery_data()
    {
        // debug: after the port name
        columns<QString, int, bool, QString, int>(
            {"description", "fault", "listed", "debug", "queries"});
        const int good = int(sim::Fault::None);
        QTest::newRow("USB Serial Device")
            << "USB Serial Device" << good << true << ": OK, Match 2: Corvane NanoTb:SN " << 4;
        QTest::newRow("CCS USB to UART") << "Acme CCS USB to UART (COM3)" << good << true
                                         << ": OK, Match 2: Corvane NanoTb:SN " << 4;
        QTest::newRow("no match") << "USB Serial Device" << int(sim::Fault::NoReply) << false
                                  << ": OK, NoMatch" << 4;
        QTest::newRow("not a candidate")
            << "usb serial device" << good << false << "usb serial device" << 0;
    }
    void discovery()
    {
        SimBench b;
        QVERIFY(b.plugIn("Corvane NanoTb"));
        b.engine([&](sim::Engine &e) { e.setFault(sim::Fault(data<int>("fault"))); });
        portcatalog::clearExtras();
        portcatalog::addExtra(b.sim->slavePath(), data<QString>("description"));
        portcatalog::addExtra("/dev/pts/no-such-device", "USB Serial Device");
        QVERIFY(b.makeWindow());
        const int serial = b.engine([](sim::Engine &e) { return e.serialNumber(); });
        const QString entry = b.portName() + QString(": Corvane NanoTb\r\nSN %1\r\nFW 2.61\r\n");
        auto *list = control<QComboBox>(b.w.get(), "PortSelBox");
        QCOMPARE(list->count(), data<bool>("listed") ? 2 : 1);
        QCOMPARE(list->itemText(list->count() - 1),
                 data<bool>("listed") ? entry.arg(serial) : QString("Select Device"));
        const QStringList lines = b.debugText().split('\n');
        QVERIFY2(lines.indexOf(QRegularExpression(
                     "^" + QRegularExpression::escape(b.portName() + data<QString>("debug")) +
                     ".*")) >= 0,
                 qPrintable(b.debugText()));
        QVERIFY2(lines.indexOf(QRegularExpression(
                     "^pts/no-such-deviceUSB Serial Device \\(cannot open: .+\\)$")) >= 0,
                 qPrintable(b.debugText()));
        QTEST(b.count("?"), "queries");
    }

    // The title shows the identification on one line; the window is set up for
    // the model and polls; the first record picks the rate range and settles
    // the transmitter (dark: off), later records change neither.
    void connecting()
    {
        SimBench b;
        QVERIFY(b.start("Corvane NanoTb"));
        // 2488320000 bit/s, Tx -40.0 dBm
        const QByteArray first = record("Corvane NanoTb", "rate=0ed4e000 tx=8fa0");
        b.engine([&](sim::Engine &e) { e.scriptRecords({first}); });
        QVERIFY(b.connectFirst());
        MainWindow *w = b.w.get();
        const int serial = b.engine([](sim::Engine &e) { return e.serialNumber(); });
        QCOMPARE(w->windowTitle(),
                 b.portName() + QString(": Corvane NanoTb SN %1 FW 2.61").arg(serial));
        QVERIFY(!control(w, "DisConectBtn")->isHidden() && !control(w, "RefreshBtn")->isEnabled());
        const QString firstShown = "LEDCOM=G|RateRange=2.488 - 3.325G|TxEnBtn=Tx: ----|TxEnBtn@=g";
        QTRY_COMPARE(looks(w, firstShown), firstShown);
        QVERIFY(b.show({record("Corvane NanoTb", "rate=3d77a050")})); // 10312500000 bit/s
        const QString laterShown =
            "RateSetting=10312.500000|RateRange=2.488 - 3.325G|TxEnBtn=Tx: +10.0 dBm|TxEnBtn@=g";
        QCOMPARE(looks(w, laterShown), laterShown);
    }

    // A device path with colons connects; a listed device that has gone away
    // turns the lamp red with the reason and changes nothing else.
    void connectsByPath()
    {
        QTemporaryDir dir;
        SimBench b;
        QVERIFY(b.plugIn("Corvane Nano"));
        const QString path = dir.filePath("pci-0000:00:14.0-usb-0:2:1.0");
        QVERIFY(QFile::link(b.sim->slavePath(), path));
        portcatalog::clearExtras();
        portcatalog::addExtra(path, "USB Serial Device");
        QVERIFY(b.makeWindow());
        auto *list = control<QComboBox>(b.w.get(), "PortSelBox");
        QVERIFY(list->itemText(1).startsWith(path + ": Corvane Nano\r\n"));
        list->addItem("pts/does-not-exist: Corvane Nano\r\n");
        list->setCurrentIndex(2);
        emit list->activated(2);
        QVERIFY(lampAndTip(b.w.get(), "LEDCOM").startsWith("R No such file or directory"));
        QVERIFY(b.debugText().contains("pts/does-not-exist: cannot open: No such file"));
        QCOMPARE(b.w->windowTitle(), QString("Corvane Nano"));
        QVERIFY(b.connectFirst());
        QVERIFY(b.waitForRequests(2));
        QCOMPARE(lampAndTip(b.w.get(), "LEDCOM"), QString("G "));
    }

    // The session ends by Disconnect or by unplugging: the window says so, greys
    // the read-outs and stops polling; a new search starts grey and connects.
    void sessionEnds_data()
    {
        // lamp: LEDCOM and its tooltip
        columns<bool, QString>({"unplug", "lamp"});
        QTest::newRow("Disconnect") << false << "g ";
        QTest::newRow("unplugged") << true << "R Connection to the instrument was lost";
    }
    void sessionEnds()
    {
        QFETCH(bool, unplug);
        SimBench b;
        QVERIFY(b.startLive("Corvane NanoTa"));
        MainWindow *w = b.w.get();
        if (unplug)
            b.sim->unplug();
        else
            control<QAbstractButton>(w, "DisConectBtn")->click();
        QTRY_VERIFY(control(w, "DisConectBtn")->isHidden());
        QFETCH(QString, lamp);
        QVERIFY2(lampAndTip(w, "LEDCOM").startsWith(lamp), qPrintable(lampAndTip(w, "LEDCOM")));
        QCOMPARE(w->windowTitle(), QString("Corvane Nano"));
        QVERIFY(!control(w, "PortSelBox")->isHidden() && control(w, "RefreshBtn")->isEnabled());
        QCOMPARE(look(w, "PortSelBox"), QString("Select Device"));
        QCOMPARE(b.readouts(), QString("greyed"));
        QVERIFY(b.waitUntilPollingStopped());
        if (unplug) {
            QVERIFY(b.debugText().contains(lamp.mid(2)));
            QVERIFY(b.plugIn("Corvane NanoTa")); // back as a new device
        }
        QSignalSpy searched(w, &MainWindow::portsSearched);
        control<QAbstractButton>(w, "RefreshBtn")->click();
        QVERIFY(searched.wait(5000));
        QCOMPARE(lampAndTip(w, "LEDCOM"), QString("g "));
        QCOMPARE(control<QComboBox>(w, "PortSelBox")->count(), 2);
        QVERIFY(b.connectFirst());
        QVERIFY(b.waitForRequests(2));
        QTRY_COMPARE(b.readouts(), QString("live"));
    }

    // Tab never gives the focus to the port list hidden under Disconnect.
    void tabNeverFreezesTheMeasurement()
    {
        SimBench &b = pool.live("Corvane Nano");
        b.w->show();
        QVERIFY(QTest::qWaitForWindowActive(b.w.get()));
        for (int i = 0; i < 40; ++i) {
            QWidget *focus = QApplication::focusWidget();
            QTest::keyClick(focus ? focus : b.w.get(), Qt::Key_Tab);
            QVERIFY(QApplication::focusWidget() != control(b.w.get(), "PortSelBox"));
        }
        QVERIFY(b.waitForRequests(3));
    }

    // Holding the rate dial or the pattern slider, or another window's exchange,
    // stops the cycle; the release or the exchange's end resumes it.
    void stopsAndResumes_data()
    {
        columns<QString>({"hold"});
        QTest::newRow("rate dial held") << "RateDial";
        QTest::newRow("pattern slider held") << "SliderPattern";
        QTest::newRow("another window's exchange") << "";
    }
    void stopsAndResumes()
    {
        QFETCH(QString, hold);
        SimBench &b = pool.live("Corvane Nano");
        QObject owner;
        auto *held = hold.isEmpty() ? nullptr : control<QAbstractSlider>(b.w.get(), hold);
        if (held)
            held->setSliderDown(true);
        else
            QVERIFY(b.link()->beginExchange(&owner, "a test"));
        QVERIFY(b.waitUntilPollingStopped());
        if (held)
            held->setSliderDown(false);
        else
            b.link()->endExchange(&owner);
        QVERIFY(b.waitForRequests(3));
    }

    // The instrument asks to be identified again: the identification is reread
    // (the first of three queries dropped, one after the drain) into the title,
    // and polling goes on.
    void reidentification()
    {
        SimBench &b = pool.live("Corvane Nano Tera");
        const qint64 from = b.logSize();
        b.engine([](sim::Engine &e) { e.requestReidentify(); });
        QTRY_COMPARE(b.count("?", from), 3);
        QVERIFY(b.waitForRequests(3));
        QCOMPARE(b.count("?", from), 3);
        QVERIFY(b.w->windowTitle().startsWith(b.portName() + ": Corvane Nano Tera SN "));
        QCOMPARE(control<QComboBox>(b.w.get(), "PortSelBox")->currentIndex(), 1);
    }

    // Spoilt replies leave the display as it was while the cycle goes on; the
    // next good record is shown.
    void badRepliesLeaveTheDisplay_data()
    {
        columns<int, int>({"fault", "times"});
        QTest::newRow("no reply") << int(sim::Fault::NoReply) << 4;
        QTest::newRow("short") << int(sim::Fault::ShortReply) << 4;
        QTest::newRow("split") << int(sim::Fault::SplitReply) << 1;
        QTest::newRow("garbage") << int(sim::Fault::Garbage) << 4;
        QTest::newRow("late") << int(sim::Fault::LateReply) << 4;
    }
    void badRepliesLeaveTheDisplay()
    {
        SimBench &b = pool.live("Corvane Nano");
        QVERIFY(b.show({record("Corvane Nano")}));
        QStringList shown; // after each cycle from now on
        const auto watch = connect(b.link(), &Link::pollDue, b.w.get(),
                                   [&] { shown << look(b.w.get(), "CountTxt"); });
        b.engine([&](sim::Engine &e) {
            e.scriptRecords({record("Corvane Nano", "count=80000019")}); // 16777216 bits
            e.setFault(sim::Fault(data<int>("fault")), data<int>("times"));
        });
        QTRY_VERIFY(shown.contains("1.678e+07"));
        disconnect(watch);
        const int firstNew = shown.indexOf("1.678e+07");
        QVERIFY2(firstNew >= 2, qPrintable(shown.join(' '))); // the replies were spoilt
        QVERIFY2(shown.mid(0, firstNew).count("8.389e+06") == firstNew,
                 qPrintable(shown.join(' ')));
        QCOMPARE(shown.mid(firstNew).count("1.678e+07"), shown.size() - firstNew);
    }

    // A second without a valid record turns the connection lamp yellow, saying
    // since when, and greys the read-outs; records bring them back. Another
    // window's exchange is no silence.
    void silenceShowsStaleReadouts()
    {
        SimBench &b = pool.live("Corvane Nano");
        MainWindow *w = b.w.get();
        const QTime before = QTime::currentTime();
        QElapsedTimer silent;
        silent.start();
        b.engine([](sim::Engine &e) { e.setFault(sim::Fault::NoReply); });
        QTRY_COMPARE_WITH_TIMEOUT(lampOf(w, "LEDCOM"), 'Y', 2500);
        QVERIFY2(silent.elapsed() >= 850, qPrintable(QString::number(silent.elapsed())));
        const QString tip = control(w, "LEDCOM")->toolTip();
        const QTime since = QTime::fromString(tip.mid(15), "hh:mm:ss");
        QVERIFY2(tip.startsWith("no reply since ") && qAbs(since.secsTo(before)) <= 1,
                 qPrintable(tip));
        QCOMPARE(b.readouts(), QString("greyed"));
        QVERIFY(b.waitForRequests(2));
        b.engine([](sim::Engine &e) { e.setFault(sim::Fault::None); });
        QTRY_COMPARE(lampAndTip(w, "LEDCOM"), QString("G "));
        QCOMPARE(b.readouts(), QString("live"));

        QObject owner;
        QVERIFY(b.link()->beginExchange(&owner, "a long exchange"));
        QTest::qWait(1500); // proves that the lamp stays green meanwhile
        b.link()->endExchange(&owner);
        QVERIFY(b.waitForRequests(2));
        QCOMPARE(lampAndTip(w, "LEDCOM"), QString("G "));
        QCOMPARE(b.readouts(), QString("live"));
    }

    // An exchange collects its reply by count, by terminator or at its time-out.
    // (Losing the instrument meanwhile: see the eye and utilities windows.)
    void exchanges_data()
    {
        columns<QByteArray, int, QByteArray, int, QString>(
            {"command", "count", "terminator", "timeout", "result"});
        QTest::newRow("by count") << QByteArray("Scan 4") << 4224 << QByteArray() << 4000
                                  << "complete 4224";
        QTest::newRow("by terminator")
            << QByteArray("RdSFP D 7f") << 0 << QByteArray("\r\n") << 4000 << "complete 12";
        QTest::newRow("by time-out")
            << QByteArray("tx 1") << 10 << QByteArray("\n") << 300 << "timed out 0";
    }
    void exchanges()
    {
        SimBench &b = pool.live("Corvane NanoTb");
        QObject owner;
        QVERIFY(b.link()->beginExchange(&owner, "a test"));
        QVERIFY(b.waitUntilPollingStopped());
        b.link()->readAll();
        b.link()->send(QString::fromLatin1(data<QByteArray>("command")));
        QString got;
        b.link()->collect(
            &owner, {data<int>("count"), data<QByteArray>("terminator"), data<int>("timeout")},
            [&](const QByteArray &reply, Link::Collected how) {
                got = QString("%1 %2")
                          .arg(how == Link::Collected::Complete ? "complete" : "timed out")
                          .arg(reply.size());
            });
        QVERIFY(got.isEmpty()); // never from inside the call
        QTRY_VERIFY_WITH_TIMEOUT(!got.isEmpty(), 6000);
        b.link()->endExchange(&owner);
        QTEST(got, "result");
        QVERIFY(b.waitForRequests(2));
    }
};

QTEST_MAIN(TstLink)
#include "tst_link.moc"
