// The main window end to end over a real pty: the port list after a search,
// connecting, the title, the session ended by the user or by the instrument,
// the controls that hold the measurement cycle, and stale data.
#include "support/simbench.h"

#include <QStandardItemModel>
#include <QTemporaryDir>

namespace {
QString lampAndTip(const QWidget *w, const char *name)
{
    return QString(QChar(lampOf(w, name))) + ' ' + control(w, name)->toolTip();
}
} // namespace

class TstConnection : public QObject
{
    Q_OBJECT
    BenchPool pool;

private slots:
    void cleanupTestCase() { pool.clear(); }

    // Candidates by description, each asked "?" four times; a port is listed
    // when a model name answers; a candidate that cannot be chosen is listed
    // greyed with the reason in its tooltip; every port gets a diagnostic line.
    void discovery_data()
    {
        // list: the entries after "Select Device", "(greyed: tooltip)" where greyed;
        // %1 the simulator's port, %2 its serial number
        columns<QString, int, QStringList, QString, int>(
            {"description", "fault", "list", "debug", "queries"});
        const int good = int(sim::Fault::None);
        const QString gone = "pts/no-such-device: cannot open (greyed: No such file or directory)";
        QTest::newRow("USB Serial Device")
            << "USB Serial Device" << good
            << QStringList{"%1: Corvane NanoTb\r\nSN %2\r\nFW 2.61\r\n", gone}
            << "%1: OK, Match 2: Corvane NanoTb:SN " << 4;
        QTest::newRow("CCS USB to UART")
            << "Acme CCS USB to UART (COM3)" << good
            << QStringList{"%1: Corvane NanoTb\r\nSN %2\r\nFW 2.61\r\n", gone}
            << "%1: OK, Match 2: Corvane NanoTb:SN " << 4;
        QTest::newRow("no reply")
            << "USB Serial Device" << int(sim::Fault::NoReply)
            << QStringList{"%1: no instrument (greyed: no reply within 100 ms)", gone}
            << "%1: OK, NoMatch (no reply within 100 ms)" << 4;
        QTest::newRow("not a candidate") << "usb serial device" << good << QStringList{gone}
                                         << "%1: usb serial device" << 0;
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
        auto *list = control<QComboBox>(b.w.get(), "PortSelBox");
        auto *model = qobject_cast<QStandardItemModel *>(list->model());
        QStringList shown;
        for (int i = 1; i < list->count(); ++i)
            shown << list->itemText(i) +
                         (model->item(i)->isEnabled()
                              ? QString()
                              : " (greyed: " + list->itemData(i, Qt::ToolTipRole).toString() + ")");
        QStringList expected;
        for (const QString &e : data<QStringList>("list"))
            expected << QString(e).replace("%1", b.portName()).replace("%2", QString::number(serial));
        QCOMPARE(shown, expected);
        const QStringList lines = b.debugText().split('\n');
        const QString debug = data<QString>("debug").arg(b.portName());
        QVERIFY2(lines.indexOf(QRegularExpression("^" + QRegularExpression::escape(debug) + ".*")) >= 0,
                 qPrintable(b.debugText()));
        QVERIFY2(lines.contains("pts/no-such-device: USB Serial Device (cannot open: No such file "
                                "or directory)"),
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
        // Side B changes what every command addresses: the title says so.
        b.instrument()->setSide('B');
        QCOMPARE(w->windowTitle(),
                 b.portName() + QString(": Corvane NanoTb SN %1 FW 2.61 (side B)").arg(serial));
        b.instrument()->setSide('A');
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
        QVERIFY(b.connectFirst());
        QVERIFY(b.waitForRequests(2));
        QCOMPARE(lampAndTip(b.w.get(), "LEDCOM"), QString("G "));
        control<QAbstractButton>(b.w.get(), "DisConectBtn")->click();
        QTRY_VERIFY(!control(b.w.get(), "PortSelBox")->isHidden());
        QVERIFY(QFile::remove(path)); // the device is gone, its entry still listed
        list->setCurrentIndex(1);
        emit list->activated(1);
        QVERIFY2(lampAndTip(b.w.get(), "LEDCOM")
                     .startsWith("R " + path + ": No such file or directory"),
                 qPrintable(lampAndTip(b.w.get(), "LEDCOM")));
        QVERIFY(b.debugText().contains(path + ": cannot open: No such file"));
        QCOMPARE(b.w->windowTitle(), QString("Corvane Nano"));
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

    // Holding the rate dial or the pattern slider stops the cycle; the release
    // resumes it.
    void stopsAndResumes_data()
    {
        columns<QString>({"hold"});
        QTest::newRow("rate dial held") << "RateDial";
        QTest::newRow("pattern slider held") << "SliderPattern";
    }
    void stopsAndResumes()
    {
        QFETCH(QString, hold);
        SimBench &b = pool.live("Corvane Nano");
        auto *held = control<QAbstractSlider>(b.w.get(), hold);
        held->setSliderDown(true);
        QVERIFY(b.waitUntilPollingStopped());
        held->setSliderDown(false);
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

    // A second without a valid record turns the connection lamp yellow, saying
    // since when, and greys every read-out (the buttons that show a figure
    // too); records bring them back.
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
    }
};

QTEST_MAIN(TstConnection)
#include "tst_connection.moc"
