// The measurement as the main window shows it, for exact records (worked
// examples sent by the simulated instrument); the commands each control sends
// per model, and a rate the model cannot take refused with the reason; the
// test log on disk.
#include "support/simbench.h"
#include "support/smallfs.h"
#include "device/testlogfile.h"

#include <QCheckBox>
#include <QDial>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QToolTip>

namespace {
// The lines of a log file.
QStringList readLog(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()).split("\r\n")
                                       : QStringList();
}
} // namespace

class TstBert : public QObject
{
    Q_OBJECT
    BenchPool pool;

private slots:
    void cleanupTestCase() { pool.clear(); }

    // Records, in order, and what the window shows after the last.
    void readouts_data()
    {
        // records: changes to the worked example
        columns<QByteArray, QStringList, QString>({"model", "records", "shown"});
        const QByteArray nano = "Corvane Nano", span = "Corvane Nano Span", tb = "Corvane NanoTb";
        QTest::newRow("Nano, every read-out")
            << nano << QStringList{"count=80000029 temperature=6f88"} // 2^40 bits, 42.16 C
            << "RateSetting=10.000000|LEDRate=G|CountTxt=1.100e+12|TimeTxt=1d 06:32:31|"
               "RxPowTxt=10.0|TxEnBtn=Tx: +10.0 dBm|TxEnBtn@=G|WaveLengBtn=1550.12 nm|TempTxt=42.2|"
               "ErrorCntTxt=0.000e+00|BERText=0.000e-00|LEDBER=G|ErrorReset@=G|LEDSig=G|LEDSync=G|"
               "SliderPattern=8";
        QTest::newRow("Nano, the dial and a bit error rate")
            << nano << QStringList{"rate=9450c000 errors=80000000"} // 0.5 errors
            << "RateDial=2488320|RateSetting=2488.320000|CountTxt=8.389e+06|"
               "ErrorCntTxt=5.000e-01|BERText=5.960e-08|LEDBER=R|ErrorReset@=R|TimeTxt=0d 00:00:00";
        QTest::newRow("Nano, dark, no rate, no bits, lamp code 1, K28.5")
            << nano
            << QStringList{"rate=00000000 rx=8fa0 tx=8fa0 count=00000000 errors=00000000 "
                           "status=01 pattern=4b"}
            << "LEDRate=R|RateSetting=0.000000|RxPowTxt=----|TxEnBtn=Tx: ----|CountTxt=0.000e+00|"
               "BERText=0.000e-00|LEDBER=G|TimeTxt=0d 00:00:00|LEDSig=R|LEDSync=R|SliderPattern=5";
        QTest::newRow("Nano, lamp code 3, then 0; pattern Z unknown")
            << nano << QStringList{"status=03", "status=00 pattern=5a"}
            << "LEDSig=G|LEDSync=R|SliderPattern=8";
        QTest::newRow("Tera, rate x 10")
            << QByteArray("Corvane Tera") << QStringList{"rate=3b538000 pattern=5a"}
            << "RateSetting=9953.280000|RateDial=9953280|SliderPattern=4";
        QTest::newRow("Span, Tx on") << span << QStringList{"wavelength=010000"} // byte 9: 1
                                     << "RxPowTxt=10.000|TxEnBtn=Tx: On|TxEnBtn@=G";
        QTest::newRow("Span, Tx off")
            << span << QStringList{"wavelength=020000"} << "TxEnBtn=Tx: Off|TxEnBtn@=g";
        QTest::newRow("NanoTb, inverted") << tb << QStringList{"eye=142883"} // PRBS info 131
                                          << "EyeButton=0.63 UI / 125 mV|"
                                             "BERTGroup=BERT: PRBS 31, Inverted";
        QTest::newRow("NanoTb, non-inverted")
            << tb << QStringList{"eye=01011f"}
            << "EyeButton=0.03 UI /   3 mV|BERTGroup=BERT: PRBS 31, Noninverted";
        QTest::newRow("NanoTb, PRBS information 100")
            << tb << QStringList{"eye=142864"} << "BERTGroup=BERT";
    }
    void readouts()
    {
        QFETCH(QByteArray, model);
        QFETCH(QString, shown);
        SimBench &b = pool.live(model);
        QList<QByteArray> bytes;
        for (const QString &changes : data<QStringList>("records"))
            bytes << record(model, changes);
        QVERIFY(b.show(bytes));
        QCOMPARE(looks(b.w.get(), shown), shown);
    }

    // The error lamp is red for the one record whose error count changed.
    void errorLamp()
    {
        SimBench &b = pool.live("Corvane Nano");
        const QByteArray none = record("Corvane Nano"),
                         one = record("Corvane Nano", "errors=80000001");
        QStringList seen; // count and lamp after each record, repeats dropped
        const auto watch = connect(b.instrument(), &device::Instrument::measured, b.w.get(), [&] {
            const QString s = look(b.w.get(), "ErrorCntTxt") + ' ' + lampOf(b.w.get(), "LEDError");
            if (seen.isEmpty() || seen.last() != s)
                seen << s;
        });
        QVERIFY(b.show({none, none, one, one, none, none}));
        disconnect(watch);
        QCOMPARE(seen.mid(seen.indexOf("0.000e+00 G"), 5),
                 QStringList(
                     {"0.000e+00 G", "1.000e+00 R", "1.000e+00 G", "0.000e+00 R", "0.000e+00 G"}));
    }

    // Dragging the dial with "Standard Rates Only" snaps the field to the nearer
    // standard rate (the midpoint goes down); the dial itself stays put.
    void dialSnapsWhileDragged_data()
    {
        columns<bool, int, double>({"standard", "dial", "field"});
        QTest::newRow("nearer the lower rate") << true << 1100000 << 1062.5;
        QTest::newRow("the midpoint goes down") << true << 1156250 << 1062.5;
        QTest::newRow("past the midpoint") << true << 1156251 << 1250.0;
        QTest::newRow("on a standard rate") << true << 2500000 << 2500.0;
        QTest::newRow("any rate") << false << 1100001 << 1100.001;
    }
    void dialSnapsWhileDragged()
    {
        QFETCH(int, dial);
        MainWindow *offline = pool.offline();
        QVERIFY(offline);
        offline->instrument()->setModel(bert::modelByCode(500110));
        control<QCheckBox>(offline, "StandRates")->setChecked(data<bool>("standard"));
        auto *d = control<QDial>(offline, "RateDial");
        auto *field = control<QDoubleSpinBox>(offline, "RateSetting");
        d->setSliderDown(true);
        d->setValue(dial);
        QTEST(field->value(), "field");
        QCOMPARE(d->value(), dial);
        d->setSliderDown(false);
        d->setValue(2000000); // moves by the program or the keyboard do not reach the field
        QTEST(field->value(), "field");
    }

    // Enter in the rate field sends the rate typed (records arriving meanwhile
    // leave the field alone) once in the model's unit and moves the focus to
    // the dial; releasing the dial sends it, then asks for a record.
    void rateCommands_data()
    {
        // hints: pulse width after the edit | after the release
        columns<QByteArray, QString, QByteArray, QString>({"model", "typed", "line", "hints"});
        QTest::newRow("Nano") << QByteArray("Corvane Nano") << "2488.32"
                              << QByteArray("setrate 2488320000") << "|";
        QTest::newRow("Tera") << QByteArray("Corvane Tera") << "10312.5"
                              << QByteArray("setrate 1031250000") << "|";
        QTest::newRow("Span") << QByteArray("Corvane Nano Span") << "100"
                              << QByteArray("setrate 100000000")
                              << "Pulse Width= # * 10.000nS|Pulse Width= # * 10.0nS";
        QTest::newRow("NanoTa") << QByteArray("Corvane NanoTa") << "14500"
                                << QByteArray("setrate 14500000") << "|";
        QTest::newRow("NanoTb") << QByteArray("Corvane NanoTb") << "25781.252"
                                << QByteArray("setrate 25781252") << "|";
    }
    void rateCommands()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, line);
        SimBench &b = pool.live(data<QByteArray>("model"));
        MainWindow *w = b.w.get();
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w));
        auto *field = control<QDoubleSpinBox>(w, "RateSetting");
        auto *dial = control<QDial>(w, "RateDial");
        const auto hint = [&] {
            const QString tip = control(w, "CustPatBx")->toolTip();
            return tip.startsWith("Pulse") ? tip : QString();
        };
        const qint64 from = b.logSize();
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, typed);
        // Records arrive while the user looks: the field keeps the text typed.
        QVERIFY(b.waitForRequests(2));
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(dial->hasFocus());
        QString hints = hint() + '|';
        field->setValue(typed.toDouble());
        dial->setSliderDown(true);
        dial->setSliderDown(false);
        hints += hint();
        QTRY_COMPARE(b.commands(from), (QList<QByteArray>{line, line}));
        const auto next = [&] { // the line after the last set-rate command
            const QList<QByteArray> sent = b.lines(from);
            return sent.value(sent.lastIndexOf(line) + 1);
        };
        QTRY_COMPARE(next(), QByteArray("r"));
        QTEST(hints, "hints");
    }

    // A rate outside every rate of the model is not sent: the field says why
    // until the next rate goes out.
    void rateRefused()
    {
        SimBench &b = pool.live("Corvane Nano");
        MainWindow *w = b.w.get();
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        auto *field = control<QDoubleSpinBox>(w, "RateSetting");
        const qint64 from = b.logSize();
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, "99999999");
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(field->toolTip(), QString("Rate not sent: 99999999 Mbps is outside the rates of "
                                           "the Corvane Nano (125-4250 Mbps)."));
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, "622.08");
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_COMPARE(b.commands(from), QList<QByteArray>{"setrate 622080000"});
        QVERIFY(!field->toolTip().startsWith("Rate not sent"));
    }

    // Each slider position sends its pattern letter when released, position 0
    // with the custom field (Enter there sends too; on the low-rate model the
    // duty cycle in hexadecimal). From position 0 upward.
    void patterns_data()
    {
        // enter: position 0 by Enter in the custom field
        columns<QByteArray, QString, char, bool, QString>(
            {"model", "field", "side", "enter", "lines"});
        QTest::newRow("Nano") << QByteArray("Corvane Nano") << "AAAAAAAAAA" << 'A' << false
                              << "setpat CAAAAAAAAAA,setpat L,setpat S,setpat R,setpat J,"
                                 "setpat K,setpat 7,setpat 2,setpat 3";
        QTest::newRow("Tera, Enter, side B")
            << QByteArray("Corvane Tera") << "0123456789ABCDEF" << 'B' << true
            << "setpatB C0123456789ABCDEF,setpatB L,setpatB D,setpatB 7,setpatB 3";
        QTest::newRow("Span, 50") << QByteArray("Corvane Nano Span") << "50" << 'A' << false
                                  << "setpat C32,setpat L,setpat D,setpat K,setpat 7,setpat 1,"
                                     "setpat 5,setpat 2,setpat 3";
        QTest::newRow("Span, 01") << QByteArray("Corvane Nano Span") << "01" << 'A' << false
                                  << "setpat C1";
        QTest::newRow("Span, empty")
            << QByteArray("Corvane Nano Span") << "" << 'A' << false << "setpat C0";
        for (const char *model : {"Corvane NanoTa", "Corvane NanoTb"})
            QTest::newRow(model) << QByteArray(model) << "" << 'A' << false
                                 << "setpat L,setpat 7,setpat 9,setpat 1,setpat 5,setpat 2,"
                                    "setpat 3,setpat 8,setpat 6";
    }
    void patterns()
    {
        QFETCH(QString, lines);
        SimBench &b = pool.live(data<QByteArray>("model"));
        auto *slider = control<QAbstractSlider>(b.w.get(), "SliderPattern");
        auto *custom = control<QLineEdit>(b.w.get(), "CustPatBx");
        custom->setText(data<QString>("field"));
        b.instrument()->setSide(data<char>("side"));
        const qint64 from = b.logSize();
        for (int p = 0; p <= lines.count(','); ++p) {
            if (p == 0 && data<bool>("enter")) {
                slider->setValue(0);
                QTest::keyClick(custom, Qt::Key_Return);
                continue;
            }
            slider->setSliderDown(true);
            slider->setValue(p);
            slider->setSliderDown(false);
        }
        b.instrument()->setSide('A');
        QTRY_COMPARE(b.commands(from).join(','), lines.toLatin1());
        QVERIFY(b.waitForRequests(2));
    }

    // Before the first record the transmitter button switches off; then it
    // toggles; Reset asks the instrument to clear its error counter.
    void transmitterAndReset()
    {
        SimBench b;
        QVERIFY(b.start("Corvane Nano"));
        const qint64 from = b.logSize();
        QVERIFY(b.connectFirst());
        auto *tx = control<QAbstractButton>(b.w.get(), "TxEnBtn");
        tx->click(); // the state is not known yet
        QString lamps(lampOf(b.w.get(), "TxEnBtn"));
        QVERIFY(b.waitForRequests(3));
        lamps += lampOf(b.w.get(), "TxEnBtn"); // records do not change it
        tx->click();
        lamps += lampOf(b.w.get(), "TxEnBtn");
        tx->click();
        lamps += lampOf(b.w.get(), "TxEnBtn");
        control<QAbstractButton>(b.w.get(), "ErrorReset")->click();
        QTRY_COMPARE(b.commands(from), (QList<QByteArray>{"tx 0", "tx 1", "tx 0", "reset"}));
        QCOMPARE(lamps, QString("ggGg"));
    }

    // The log: the model's header, rows with the read-outs as shown (no
    // temperature on the low-rate model), more than a second apart, the lamp
    // yellow after each row, then green; off again, grey; a cancelled dialog
    // changes nothing.
    void testLog_data()
    {
        // header: the model's words | the Rx units; row: after the time
        columns<QByteArray, QString, QString>({"model", "header", "row"});
        const QString fields = "PRBS31, 42.1, 10.0, 8.389e+06, 0.000e+00, 0.000e-00";
        QTest::newRow("Nano") << QByteArray("Corvane Nano") << "Corvane Nano Log file |dBm"
                              << "10000000, " + fields;
        QTest::newRow("Tera") << QByteArray("Corvane Tera") << "Corvane Nano Tera Log file |dBm"
                              << "100000000, " + fields;
        QTest::newRow("Span") << QByteArray("Corvane Nano Span") << "|Mbps"
                              << "10000000, PRBS31, , 10.000, 8.389e+06, 0.000e+00, 0.000e-00";
        QTest::newRow("NanoTb") << QByteArray("Corvane NanoTb") << "Corvane NanoT Log file |dBm"
                                << "100000000, " + fields;
    }
    void testLog()
    {
        QFETCH(QByteArray, model);
        QFETCH(QString, row);
        SimBench &b = pool.live(model);
        MainWindow *w = b.w.get();
        QVERIFY(b.show({record(model)}));
        QTemporaryDir dir;
        QString file = dir.filePath("a.csv");
        w->askLogFileName = [&](QWidget *parent) { return parent == w ? file : QString(); };
        QString lamps; // after each record
        const auto watch =
            connect(b.instrument(), &device::Instrument::measured, w, [&] { lamps += lampOf(w, "LogBtn"); });
        control<QAbstractButton>(w, "LogBtn")->click();
        QCOMPARE(lampOf(w, "LogBtn"), 'G');
        const int rows = model == "Corvane NanoTb" ? 3 : 1;
        QTRY_VERIFY_WITH_TIMEOUT(readLog(file).size() >= 2 + rows, 6000);
        const QStringList log = readLog(file);
        const QString header = data<QString>("header");
        QCOMPARE(
            log.mid(0, 2),
            QStringList({header.section('|', 0, 0) + QDate::currentDate().toString(Qt::TextDate),
                         "Time, Rate, Pattern, Temp (C), Rx (" + header.section('|', 1) +
                             "), Count, Errors, BER"}));
        QTime last;
        for (const QString &line : log.mid(2)) {
            QCOMPARE(line.mid(8), ", " + row);
            const QTime at = QTime::fromString(line.left(8), "hh:mm:ss");
            QVERIFY(!last.isValid() || last.secsTo(at) >= 1);
            last = at;
        }
        QVERIFY2(rows == 1 || lamps.contains("YG"), qPrintable(lamps)); // yellow after a row
        disconnect(watch);
        control<QAbstractButton>(w, "LogBtn")->click();
        QCOMPARE(lampOf(w, "LogBtn"), 'g');
        file.clear(); // cancelled: nothing changes
        control<QAbstractButton>(w, "LogBtn")->click();
        QCOMPARE(lampOf(w, "LogBtn"), 'g');
    }

    // A log file that cannot be written: the lamp turns red, its tooltip and
    // a balloon beside it say why, the log does not run (and no record turns
    // the lamp green); a folder that refused the log is not remembered for
    // the next dialog, the one that took the last log is.
    void testLogFailures_data()
    {
        columns<QString, QString>({"file", "says"});
        QTest::newRow("a full device")
            << "/dev/full" << "Cannot write the log file /dev/full: No space left on device";
        QTest::newRow("a read-only folder")
            << "read-only/a.csv" << "Cannot write the log file %1/a.csv: Read-only file system";
        // The file opens, its header does not fit: no empty log is left behind.
        QTest::newRow("a full file system")
            << "full/a.csv"
            << "Cannot write the log file %1/a.csv: No space left on device";
    }
    void testLogFailures()
    {
        QFETCH(QString, file);
        QString says = data<QString>("says");
        SimBench &b = pool.live("Corvane Nano");
        MainWindow *w = b.w.get();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        SmallFileSystem fs;
        const QString where = file.section('/', 0, 0);
        if (where == "read-only" || where == "full") {
            MOUNT_SMALL_FS(fs, where == "full" ? SmallFileSystem::Full : SmallFileSystem::ReadOnly);
            file = fs.path(file.section('/', 1));
            says = says.arg(fs.path());
        }
        QTemporaryDir good;
        QString name = good.filePath("good.csv"); // a log that runs, then stops
        w->askLogFileName = [&](QWidget *) { return name; };
        auto *button = control<QAbstractButton>(w, "LogBtn");
        button->click();
        QCOMPARE(lampOf(w, "LogBtn"), 'G');
        button->click();
        const QString remembered = QSettings().value("log/folder").toString();
        QCOMPARE(remembered, good.path());

        name = file;
        QTest::ignoreMessage(QtWarningMsg, qPrintable(says));
        button->click();
        QCOMPARE(lampOf(w, "LogBtn"), 'R');
        QCOMPARE(button->toolTip(), says);
        QVERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), says);
        QVERIFY(b.debugText().contains(says));
        QVERIFY(!b.instrument()->testLog()->isRunning());
        QVERIFY(b.waitForRequests(3));
        QTest::qWait(300); // records go on arriving: none turns the lamp green
        QCOMPARE(lampOf(w, "LogBtn"), 'R');
        QCOMPARE(QSettings().value("log/folder").toString(), remembered);
        if (!file.startsWith("/dev/"))
            QCOMPARE(fs.files(), where == "full" ? QStringList{"filler"} : QStringList());
        QToolTip::hideText();
    }

    // The disk fills while the log runs: the log stops, the lamp turns red,
    // its tooltip, a balloon and the diagnostics say why, and the records
    // that follow leave the lamp red.
    void testLogFillsTheDisk()
    {
        SimBench &b = pool.live("Corvane Nano");
        MainWindow *w = b.w.get();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        SmallFileSystem fs;
        MOUNT_SMALL_FS(fs, SmallFileSystem::OnePageFree);
        // The log's clock moves on two seconds a record: every record is a
        // row, and the page left fills within seconds.
        device::TestLogFile *log = b.instrument()->testLog();
        const auto clock = std::make_shared<QTime>(QTime::currentTime());
        log->timeOfDay = [clock] { return *clock = clock->addSecs(2); };
        const auto realClock =
            qScopeGuard([log] { log->timeOfDay = [] { return QTime::currentTime(); }; });
        const QString file = fs.path("a.csv");
        w->askLogFileName = [&](QWidget *) { return file; };
        // The system's reason follows; a row cut short by the full disk
        // gives none at present.
        const QString says = "The log file " + file + " could not be written: ";
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^" + QRegularExpression::escape(says)));
        auto *button = control<QAbstractButton>(w, "LogBtn");
        button->click();
        QCOMPARE(lampOf(w, "LogBtn"), 'G');
        QTRY_VERIFY_WITH_TIMEOUT(!log->isRunning(), 20000);
        QVERIFY(log->rows() > 10);
        QCOMPARE(lampOf(w, "LogBtn"), 'R');
        const QString reason = button->toolTip();
        QVERIFY2(reason.startsWith(says), qPrintable(reason));
        QVERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), reason);
        QVERIFY(b.debugText().contains(reason));
        QVERIFY(b.waitForRequests(3));
        QCOMPARE(lampOf(w, "LogBtn"), 'R');
        QToolTip::hideText();
    }
};

QTEST_MAIN(TstBert)
#include "tst_bert.moc"
