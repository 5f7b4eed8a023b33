// End to end over a real pty: discovery, connection, the live measurement
// cycle, re-identification, disconnect, refresh, unplugging and bad replies.
#include "bert/measurementrecord.h"
#include "link/simfixture.h"

class TstConnection : public QObject
{
    Q_OBJECT
private slots:
    void discoveryListsTheInstrument()
    {
        SimBench b;
        QVERIFY(b.start("Corvane NanoTb"));
        QCOMPARE(b.w->ui->PortSelBox->count(), 2);
        const int serial = b.engine([](sim::Engine &e) { return e.serialNumber(); });
        const QString item = b.w->ui->PortSelBox->itemText(1);
        QCOMPARE(item,
                 b.portName() + QString(": Corvane NanoTb\r\nSN %1\r\nFW 2.61\r\n").arg(serial));
        const QString debug = b.w->ui->DebugOut->toPlainText();
        QVERIFY2(debug.contains(b.portName() + ": OK, Match 2: Corvane NanoTb:SN "),
                 qPrintable(debug));
        QCOMPARE(b.count("?"), 4);
        QVERIFY(!b.w->link.port->isOpen());
        QCOMPARE(b.w->link.connected, 0);
    }

    void connectingStartsPolling()
    {
        SimBench b;
        QVERIFY(b.start("Corvane NanoTb"));
        b.engine([](sim::Engine &e) {
            e.setRateBps(10312500000LL);
            e.setWavelengthNm(1550.12);
        });
        QVERIFY(b.connectFirst());
        MainWindow &w = *b.w;
        QCOMPARE(w.windowTitle(), w.ui->PortSelBox->itemText(1).chopped(2));
        QVERIFY(SimBench::shows(w.ui->LEDCOM, lamp::Green));
        QVERIFY(!w.ui->DisConectBtn->isHidden());
        QVERIFY(!w.ui->RefreshBtn->isEnabled());
        QCOMPARE(w.unitType, 50077063);
        QCOMPARE(w.replyLength, 27);

        QTRY_VERIFY_WITH_TIMEOUT(w.ui->CountTxt->text() != "0.000e-00", 3000);
        QCOMPARE(w.ui->RateSetting->value(), 10312.5);
        QCOMPARE(w.ui->RateDial->value(), 10312500);
        QCOMPARE(w.ui->RateRange->currentIndex(), 3);
        QCOMPARE(w.ui->WaveLengBtn->text(), QString("1550.12 nm"));
        QVERIFY(SimBench::shows(w.ui->LEDSync, lamp::Green));
        QVERIFY(SimBench::shows(w.ui->LEDSig, lamp::Green));
        QVERIFY(SimBench::shows(w.ui->LEDRate, lamp::Green));
        QCOMPARE(w.txState, '1');
        QVERIFY(SimBench::shows(w.ui->TxEnBtn, lamp::Green));
        const double rx = b.engine([](sim::Engine &e) { return e.rxPowerDbm(); });
        QCOMPARE(w.ui->RxPowTxt->text(), bert::rxPowerText(rx));
        QVERIFY(w.ui->EyeButton->text().endsWith(" mV"));
        QCOMPARE(w.ui->BERTGroup->title(), QString("BERT: PRBS 31, Noninverted"));
        QCOMPARE(w.ui->BERText->text(), QString("0.000e-00"));
        QVERIFY(w.ui->TimeTxt->text().startsWith("0d 00:00:0"));

        // About ten records a second, one chain.
        const int from = b.logSize();
        QTest::qWait(1000);
        const int perSecond = b.count("r", from);
        QVERIFY2(perSecond >= 5 && perSecond <= 11, qPrintable(QString::number(perSecond)));
    }

    void errorsLightTheLampsForOneCycle()
    {
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano"));
        MainWindow &w = *b.w;
        QVERIFY(SimBench::shows(w.ui->LEDError, lamp::Green));
        QVERIFY(SimBench::shows(w.ui->LEDBER, lamp::Green));
        b.engine([](sim::Engine &e) { e.injectErrors(1000); });
        QTRY_VERIFY_WITH_TIMEOUT(SimBench::shows(w.ui->LEDError, lamp::Red), 2000);
        QCOMPARE(w.ui->ErrorCntTxt->text(), QString("1.000e+03"));
        QVERIFY(w.ui->BERText->text() != "0.000e-00");
        QVERIFY(SimBench::shows(w.ui->LEDBER, lamp::Red));
        QVERIFY(SimBench::shows(w.ui->ErrorReset, lamp::Red));
        QTRY_VERIFY_WITH_TIMEOUT(SimBench::shows(w.ui->LEDError, lamp::Green), 2000);
        QVERIFY(SimBench::shows(w.ui->LEDBER, lamp::Red)); // the rate stays above 0

        // Reset clears the counts; the lamps follow.
        w.on_ErrorReset_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(SimBench::shows(w.ui->LEDBER, lamp::Green), 2000);
        QCOMPARE(b.count("reset"), 1);
    }

    void reidentificationRereadsAndResumes()
    {
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano Tera"));
        MainWindow &w = *b.w;
        const int questions = b.count("?");
        const int lines = w.ui->DebugOut->blockCount();
        b.engine([](sim::Engine &e) { e.requestReidentify(); });
        QTRY_VERIFY_WITH_TIMEOUT(b.count("?") == questions + 3,
                                 3000); // the first of three is skipped
        QTRY_VERIFY(w.ui->DebugOut->blockCount() > lines);
        QVERIFY(w.ui->DebugOut->toPlainText().contains("Corvane Nano Tera:SN"));
        QCOMPARE(w.windowTitle(), w.ui->PortSelBox->itemText(1).chopped(2));
        QCOMPARE(w.ui->PortSelBox->currentIndex(), 1);
        QCOMPARE(w.unitType, 500120);
        const int from = b.logSize();
        QTRY_VERIFY_WITH_TIMEOUT(b.count("r", from) >= 3, 3000); // polling resumed
    }

    void disconnectAndRefresh()
    {
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano Span"));
        MainWindow &w = *b.w;
        w.on_DisConectBtn_clicked();
        QCOMPARE(w.windowTitle(), QString("Corvane Nano"));
        QVERIFY(SimBench::shows(w.ui->LEDCOM, lamp::Grey));
        QVERIFY(w.ui->DisConectBtn->isHidden());
        QVERIFY(w.ui->RefreshBtn->isEnabled());
        QCOMPARE(w.ui->PortSelBox->currentIndex(), 0);
        QCOMPARE(w.unitType, 500130); // the configuration stays
        QTest::qWait(300);
        const int from = b.logSize();
        QTest::qWait(400);
        QCOMPARE(b.count("r", from), 0);

        w.on_RefreshBtn_clicked();
        QCOMPARE(w.ui->PortSelBox->count(), 2);
        QCOMPARE(w.ui->PortSelBox->itemText(0), QString("Select Device"));
        QVERIFY(b.connectFirst());
        QTRY_VERIFY_WITH_TIMEOUT(b.count("r", from) >= 2, 3000);
    }

    void unplugEndsTheSessionQuietly()
    {
        SimBench b;
        QVERIFY(b.start("Corvane NanoTa"));
        QVERIFY(b.connectFirst());
        MainWindow &w = *b.w;
        int errors = 0;
        connect(w.link.port, &QSerialPort::errorOccurred, this,
                [&](QSerialPort::SerialPortError e) {
                    if (e != QSerialPort::NoError)
                        ++errors;
                });
        QTRY_VERIFY_WITH_TIMEOUT(b.count("r") >= 2, 3000);
        b.sim->unplug();
        QTRY_VERIFY_WITH_TIMEOUT(w.ui->DisConectBtn->isHidden(), 3000);
        QCOMPARE(w.link.connected, 0);
        QVERIFY(!w.link.port->isOpen());
        QVERIFY(SimBench::shows(w.ui->LEDCOM, lamp::Red));
        QVERIFY(w.ui->LEDCOM->toolTip().contains("lost"));
        QVERIFY(w.ui->RefreshBtn->isEnabled());
        QCOMPARE(w.windowTitle(), QString("Corvane Nano"));
        QVERIFY(w.ui->DebugOut->toPlainText().contains("connection lost"));
        QTest::qWait(300);
        QVERIFY2(errors < 10, qPrintable(QString::number(errors)));
        QVERIFY(!w.measurementPending());

        // The instrument comes back (as a new device); Refresh finds it again.
        QVERIFY(b.plugIn("Corvane NanoTa"));
        w.on_RefreshBtn_clicked();
        QVERIFY(b.connectFirst());
        QVERIFY(SimBench::shows(w.ui->LEDCOM, lamp::Green));
        QTRY_VERIFY_WITH_TIMEOUT(b.count("r") >= 2, 3000);
    }

    void portThatCannotBeOpened()
    {
        SimBench b;
        QVERIFY(b.start("Corvane Nano"));
        MainWindow &w = *b.w;
        // The listed device has gone away before the user picks it.
        w.ui->PortSelBox->addItem("pts/does-not-exist: Corvane Nano\r\n");
        w.ui->PortSelBox->setCurrentIndex(2);
        emit w.ui->PortSelBox->activated(2);
        QCOMPARE(w.link.connected, 0);
        QVERIFY(w.ui->DisConectBtn->isHidden());
        QVERIFY(SimBench::shows(w.ui->LEDCOM, lamp::Red));
        QVERIFY(!w.ui->LEDCOM->toolTip().isEmpty());
        QVERIFY(w.ui->DebugOut->toPlainText().contains("cannot open"));
        QCOMPARE(w.windowTitle(), QString("Corvane Nano"));
    }

    void badRepliesLeaveTheDisplay_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("no reply") << int(sim::Fault::NoReply);
        QTest::newRow("short") << int(sim::Fault::ShortReply);
        QTest::newRow("split") << int(sim::Fault::SplitReply);
        QTest::newRow("garbage") << int(sim::Fault::Garbage);
    }
    void badRepliesLeaveTheDisplay()
    {
        QFETCH(int, fault);
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano"));
        MainWindow &w = *b.w;
        b.engine([&](sim::Engine &e) { e.setFault(sim::Fault(fault)); });
        QTest::qWait(300); // let replies already on their way arrive
        const QString count = w.ui->CountTxt->text();
        const QString rx = w.ui->RxPowTxt->text();
        const int from = b.logSize();
        QTest::qWait(800);
        QCOMPARE(w.ui->CountTxt->text(), count);
        QCOMPARE(w.ui->RxPowTxt->text(), rx);
        QVERIFY(b.count("r", from) >= 3); // the cycle goes on
        b.engine([](sim::Engine &e) { e.setFault(sim::Fault::None); });
        QTRY_VERIFY_WITH_TIMEOUT(w.ui->CountTxt->text() != count, 3000);
    }

    void onlyOneChainAfterQuickRestarts()
    {
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano"));
        MainWindow &w = *b.w;
        for (int i = 0; i < 5; ++i) {
            w.on_RateDial_sliderReleased();
            w.on_SliderPattern_sliderReleased();
            QTest::qWait(20);
        }
        QTest::qWait(300);
        const int from = b.logSize();
        QTest::qWait(1000);
        const int perSecond = b.count("r", from);
        QVERIFY2(perSecond <= 11, qPrintable(QString::number(perSecond)));
        QVERIFY(perSecond >= 5);
    }

    void pausedPollingRunsOnceMoreAndSendsNothing()
    {
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano"));
        MainWindow &w = *b.w;
        w.link.pausePolling = true;
        QTest::qWait(150);
        QVERIFY(!w.measurementPending());
        const int from = b.logSize();
        QTest::qWait(300);
        QCOMPARE(b.count("r", from), 0);
        w.link.pausePolling = false;
        w.scheduleMeasurement(100);
        QTRY_VERIFY_WITH_TIMEOUT(b.count("r", from) >= 2, 2000);
    }
};

QTEST_MAIN(TstConnection)
#include "tst_connection.moc"
