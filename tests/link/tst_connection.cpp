// End to end over a real pty: discovery, connection, the cycle's stop
// conditions, re-identification, disconnect and refresh, as the user sees them
// and as they reach the wire.
#include "support/simbench.h"

#include <QPlainTextEdit>
#include <QTemporaryDir>

class TstConnection : public QObject
{
    Q_OBJECT
private slots:
    void discovery_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<int>("fault"); // the instrument's replies spoilt?
        QTest::addColumn<bool>("listed");
        QTest::addColumn<QString>("debug"); // after the port name
        QTest::addColumn<int>("queries");   // "?" the instrument received
        QTest::newRow("USB Serial Device") << "USB Serial Device" << int(sim::Fault::None) << true
                                           << ": OK, Match 2: Corvane NanoTb:SN " << 4;
        QTest::newRow("CCS USB to UART") << "Acme CCS USB to UART (COM3)" << int(sim::Fault::None)
                                         << true << ": OK, Match 2: Corvane NanoTb:SN " << 4;
        QTest::newRow("no match") << "USB Serial Device" << int(sim::Fault::NoReply) << false
                                  << ": OK, NoMatch" << 4;
        QTest::newRow("not a candidate")
            << "usb serial device" << int(sim::Fault::None) << false << "usb serial device" << 0;
    }
    void discovery()
    {
        QFETCH(QString, description);
        QFETCH(int, fault);
        SimBench b;
        QVERIFY(b.plugIn("Corvane NanoTb"));
        b.engine([&](sim::Engine &e) { e.setFault(sim::Fault(fault)); });
        portcatalog::clearExtras();
        portcatalog::addExtra(b.sim->slavePath(), description);
        portcatalog::addExtra("/dev/pts/no-such-device", "USB Serial Device");
        QVERIFY(b.makeWindow());

        QFETCH(bool, listed);
        QCOMPARE(portList(b)->count(), listed ? 2 : 1);
        QCOMPARE(portList(b)->itemText(0), QString("Select Device"));
        if (listed) {
            const int serial = b.engine([](sim::Engine &e) { return e.serialNumber(); });
            QCOMPARE(portList(b)->itemText(1),
                     b.portName() +
                         QString(": Corvane NanoTb\r\nSN %1\r\nFW 2.61\r\n").arg(serial));
        }
        QFETCH(QString, debug);
        const QStringList lines = debugText(b).split('\n');
        const QRegularExpression found("^" + QRegularExpression::escape(b.portName() + debug) +
                                       ".*");
        QVERIFY2(lines.indexOf(found) >= 0, qPrintable(debugText(b)));
        const QRegularExpression failed(
            "^pts/no-such-deviceUSB Serial Device \\(cannot open: .+\\)$");
        QVERIFY2(lines.indexOf(failed) >= 0, qPrintable(debugText(b)));
        QTEST(b.count("?"), "queries");
        QVERIFY(!b.link()->isOpen());
        QCOMPARE(lampOf(b.w.get(), "LEDCOM"), 'g');
    }

    void connectingConfiguresAndPolls()
    {
        SimBench b;
        QVERIFY(b.start("Corvane NanoTb"));
        QVERIFY(b.connectFirst());
        MainWindow &w = *b.w;
        const int serial = b.engine([](sim::Engine &e) { return e.serialNumber(); });
        // Each line break of the identification shows as one space in the title.
        QCOMPARE(w.windowTitle(),
                 b.portName() + QString(": Corvane NanoTb SN %1 FW 2.61").arg(serial));
        QCOMPARE(lampOf(&w, "LEDCOM"), 'G');
        QVERIFY(!control(&w, "DisConectBtn")->isHidden());
        QVERIFY(!control(&w, "RefreshBtn")->isEnabled());
        QVERIFY(control(&w, "PatListT")->isVisibleTo(&w)); // configured for the NanoTb
        QTRY_COMPARE_WITH_TIMEOUT(textOf(&w, "WaveLengBtn"), QString("1550.12 nm"), 3000);
        QVERIFY(b.waitForRequests(3));
    }

    void tabNeverFreezesTheMeasurement()
    {
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano"));
        MainWindow &w = *b.w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        for (int i = 0; i < 40; ++i) {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &w,
                            Qt::Key_Tab);
            QVERIFY(QApplication::focusWidget() != portList(b));
        }
        const QString count = textOf(&w, "CountTxt");
        QVERIFY(b.waitForRequests(3));
        QTRY_VERIFY(textOf(&w, "CountTxt") != count);
    }

    void portPathWithColons()
    {
        QTemporaryDir dir;
        SimBench b;
        QVERIFY(b.plugIn("Corvane Nano"));
        const QString path = dir.filePath("pci-0000:00:14.0-usb-0:2:1.0");
        QVERIFY(QFile::link(b.sim->slavePath(), path));
        portcatalog::clearExtras();
        portcatalog::addExtra(path, "USB Serial Device");
        QVERIFY(b.makeWindow());
        QVERIFY(portList(b)->itemText(1).startsWith(path + ": Corvane Nano\r\n"));
        QVERIFY(b.connectFirst());
        QVERIFY(b.waitForRequests(2));
    }

    void stopConditionsHoldAndResume_data()
    {
        QTest::addColumn<QString>("hold");
        QTest::newRow("rate dial held") << "RateDial";
        QTest::newRow("pattern slider held") << "SliderPattern";
        QTest::newRow("exchange holds the line") << "exchange";
    }
    void stopConditionsHoldAndResume()
    {
        QFETCH(QString, hold);
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano"));
        QObject owner;
        auto *slider =
            hold == "exchange" ? nullptr : control<QAbstractSlider>(b.w.get(), qPrintable(hold));
        if (hold == "exchange")
            QVERIFY(b.link()->beginExchange(&owner, "a test"));
        else
            slider->setSliderDown(true);
        QVERIFY(b.waitUntilPollingStopped());
        const qint64 from = b.logSize();
        if (hold == "exchange")
            b.link()->endExchange(&owner);
        else
            slider->setSliderDown(false); // the release restarts the cycle
        QVERIFY(b.waitForRequests(3));
        QVERIFY(b.count("r", from) >= 3);
    }

    void reidentificationRereadsAndResumes()
    {
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano Tera"));
        MainWindow &w = *b.w;
        const qint64 from = b.logSize();
        const int lines = debugText(b).count('\n');
        b.engine([](sim::Engine &e) { e.requestReidentify(); });
        // Three queries: the first of the sender's three is dropped, one follows the drain.
        QTRY_COMPARE_WITH_TIMEOUT(b.count("?", from), 3, 3000);
        QTRY_VERIFY(debugText(b).count('\n') > lines);
        QVERIFY(debugText(b)
                    .section('\n', lines)
                    .contains(QRegularExpression("^Corvane Nano Tera:SN ",
                                                 QRegularExpression::MultilineOption)));
        QVERIFY(w.windowTitle().startsWith(b.portName() + ": Corvane Nano Tera SN "));
        QCOMPARE(portList(b)->currentIndex(), 1);
        QVERIFY(b.waitForRequests(3)); // polling resumed
    }

    void disconnectThenRefresh()
    {
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano Span"));
        MainWindow &w = *b.w;
        control<QAbstractButton>(&w, "DisConectBtn")->click();
        QCOMPARE(w.windowTitle(), QString("Corvane Nano"));
        QCOMPARE(lampOf(&w, "LEDCOM"), 'g');
        QVERIFY(control(&w, "DisConectBtn")->isHidden());
        QVERIFY(!portList(b)->isHidden());
        QVERIFY(control(&w, "RefreshBtn")->isEnabled());
        QCOMPARE(portList(b)->currentIndex(), 0);
        QVERIFY(readoutsGreyed(b)); // the last values are no longer live
        QVERIFY(b.waitUntilPollingStopped());
        QVERIFY(!b.link()->isOpen());

        QVERIFY(b.refresh());
        QCOMPARE(portList(b)->count(), 2);
        QCOMPARE(portList(b)->itemText(0), QString("Select Device"));
        QVERIFY(b.connectFirst());
        QVERIFY(b.waitForRequests(2));
        QTRY_VERIFY(readoutsLive(b));
    }
};

QTEST_MAIN(TstConnection)
#include "tst_connection.moc"
