// Rate, pattern, transmitter and reset controls, and the test log, checked
// against what reaches the simulated instrument and what lands on disk.
#include "support/simbench.h"

#include <QCheckBox>
#include <QDial>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>

namespace {
// Rows of a log file as fields ("a, b" separated); the first two lines are the header.
QList<QStringList> readRows(const QString &path, QString *header = nullptr)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QStringList lines = QString::fromLocal8Bit(f.readAll()).split(QStringLiteral("\r\n"));
    if (header)
        *header = lines.mid(0, 2).join(QStringLiteral("\r\n"));
    QList<QStringList> rows;
    for (int i = 2; i < lines.size(); ++i)
        rows << lines[i].split(QStringLiteral(", "));
    return rows;
}

// The line the instrument received right after `line`, or "<none>".
QByteArray lineAfter(const SimBench &b, const QByteArray &line)
{
    const QList<QByteArray> all = b.lines();
    const int at = all.lastIndexOf(line);
    return at >= 0 && at + 1 < all.size() ? all[at + 1] : QByteArray("<none>");
}

void dragDialTo(QDial *dial, int value, bool release)
{
    dial->setSliderDown(true);
    dial->setValue(value);
    if (release)
        dial->setSliderDown(false); // the release sends the rate
}
} // namespace

class TstControls : public QObject
{
    Q_OBJECT
    BenchPool pool;

private slots:
    void cleanupTestCase() { pool.clear(); }

    void rateCommands_data()
    {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("dialTip"); // pulse-width hint after a dial release
        QTest::addColumn<QString>("editTip"); // ... and after an edit
        QTest::newRow("Tera") << QByteArray("Corvane Tera") << "10312.5"
                              << QByteArray("setrate 1031250000") << ""
                              << "";
        QTest::newRow("NanoTa") << QByteArray("Corvane NanoTa") << "14500"
                                << QByteArray("setrate 14500000") << ""
                                << "";
        QTest::newRow("Nano") << QByteArray("Corvane Nano") << "2488.32"
                              << QByteArray("setrate 2488320000") << ""
                              << "";
        QTest::newRow("Span") << QByteArray("Corvane Nano Span") << "100"
                              << QByteArray("setrate 100000000") << "Pulse Width= # * 10.0nS"
                              << "Pulse Width= # * 10.000nS";
    }
    void rateCommands()
    {
        QFETCH(QByteArray, model);
        QFETCH(QString, typed);
        QFETCH(QByteArray, line);
        SimBench b;
        QVERIFY(b.startLive(model));
        MainWindow &w = *b.w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto *field = control<QDoubleSpinBox>(&w, "RateSetting");
        auto *dial = control<QDial>(&w, "RateDial");
        auto *custom = control<QLineEdit>(&w, "CustPatBx");

        // Typing a rate and pressing Enter sends it once and moves the focus to
        // the dial (whose focus change must not finish the edit a second time).
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, typed);
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_COMPARE(b.count(line), 1);
        QVERIFY(dial->hasFocus());
        QTEST(custom->toolTip().startsWith("Pulse") ? custom->toolTip() : QString(), "editTip");

        // Releasing the dial sends the field's rate, then asks for a record at once.
        field->setValue(typed.toDouble());
        dial->setSliderDown(true);
        dial->setSliderDown(false);
        QTRY_COMPARE(b.count(line), 2);
        QTRY_COMPARE(lineAfter(b, line), QByteArray("r"));
        QTEST(custom->toolTip().startsWith("Pulse") ? custom->toolTip() : QString(), "dialTip");

        // Side B goes in directly after the command word.
        b.link()->setSide('B');
        field->setValue(typed.toDouble());
        dial->setSliderDown(true);
        dial->setSliderDown(false);
        QTRY_COMPARE(b.count(QByteArray(line).replace("setrate", "setrateB")), 1);
        QTRY_VERIFY(b.count("rB") >= 1);
    }

    void dialSnapsWhileDragged_data()
    {
        QTest::addColumn<bool>("standard");
        QTest::addColumn<int>("dial");
        QTest::addColumn<double>("field");
        QTest::newRow("nearer the lower rate") << true << 1100000 << 1062.5;
        QTest::newRow("the midpoint goes down") << true << 1156250 << 1062.5;
        QTest::newRow("past the midpoint") << true << 1156251 << 1250.0;
        QTest::newRow("on a standard rate") << true << 2500000 << 2500.0;
        QTest::newRow("any rate") << false << 1100001 << 1100.001;
    }
    void dialSnapsWhileDragged()
    {
        QFETCH(bool, standard);
        QFETCH(int, dial);
        QFETCH(double, field);
        SimBench b;
        QVERIFY(b.start("Corvane Nano"));
        b.w->SetBERTType(500110);
        control<QCheckBox>(b.w.get(), "StandRates")->setChecked(standard);
        auto *d = control<QDial>(b.w.get(), "RateDial");
        dragDialTo(d, dial, false);
        QCOMPARE(control<QDoubleSpinBox>(b.w.get(), "RateSetting")->value(), field);
        QCOMPARE(d->value(), dial); // the dial itself is not moved to the snapped rate
        d->setSliderDown(false);
        // Moves by the program (or keyboard) do not reach the field.
        d->setValue(2000000);
        QCOMPARE(control<QDoubleSpinBox>(b.w.get(), "RateSetting")->value(), field);
    }

    void patternCommands_data()
    {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("Nano top") << QByteArray("Corvane Nano") << 8 << ""
                                  << QByteArray("setpat 3");
        QTest::newRow("Nano custom")
            << QByteArray("Corvane Nano") << 0 << "AAAAAAAAAA" << QByteArray("setpat CAAAAAAAAAA");
        QTest::newRow("Nano CRPAT")
            << QByteArray("Corvane Nano") << 3 << "AAAAAAAAAA" << QByteArray("setpat R");
        QTest::newRow("Tera top") << QByteArray("Corvane Tera") << 4 << ""
                                  << QByteArray("setpat 3");
        QTest::newRow("Tera custom") << QByteArray("Corvane Tera") << 0 << "0123456789abcdef"
                                     << QByteArray("setpat C0123456789abcdef");
        QTest::newRow("Span duty 50")
            << QByteArray("Corvane Nano Span") << 0 << "50" << QByteArray("setpat C32");
        QTest::newRow("Span duty 01")
            << QByteArray("Corvane Nano Span") << 0 << "01" << QByteArray("setpat C1");
        QTest::newRow("Span duty empty")
            << QByteArray("Corvane Nano Span") << 0 << "" << QByteArray("setpat C0");
        QTest::newRow("Span DCD") << QByteArray("Corvane Nano Span") << 2 << ""
                                  << QByteArray("setpat D");
        QTest::newRow("NanoTb top")
            << QByteArray("Corvane NanoTb") << 8 << "" << QByteArray("setpat 6");
        QTest::newRow("NanoTb repeat")
            << QByteArray("Corvane NanoTb") << 0 << "" << QByteArray("setpat L");
        QTest::newRow("NanoTb PRBS9")
            << QByteArray("Corvane NanoTb") << 2 << "" << QByteArray("setpat 9");
    }
    void patternCommands()
    {
        QFETCH(QByteArray, model);
        QFETCH(int, position);
        QFETCH(QString, field);
        QFETCH(QByteArray, line);
        SimBench &b = pool.live(model);
        const qint64 from = b.logSize();
        auto *slider = control<QAbstractSlider>(b.w.get(), "SliderPattern");
        control<QLineEdit>(b.w.get(), "CustPatBx")->setText(field);
        slider->setSliderDown(true);
        QVERIFY(b.waitUntilPollingStopped());
        slider->setValue(position);
        slider->setSliderDown(false);
        QTRY_COMPARE(b.count(line, from), 1);
        QVERIFY(b.waitForRequests(2)); // the release restarts the cycle
    }

    void enterInTheCustomField()
    {
        SimBench b;
        QVERIFY(b.startLive("Corvane Tera"));
        auto *slider = control<QAbstractSlider>(b.w.get(), "SliderPattern");
        auto *custom = control<QLineEdit>(b.w.get(), "CustPatBx");
        slider->setSliderDown(true); // keeps the cycle from moving the slider
        slider->setValue(0);
        custom->setText("0123456789ABCDEF");
        QTest::keyClick(custom, Qt::Key_Return);
        QTRY_COMPARE(b.count("setpat C0123456789ABCDEF"), 1);
        slider->setValue(2);
        b.link()->setSide('B');
        QTest::keyClick(custom, Qt::Key_Return);
        QTRY_COMPARE(b.count("setpatB D"), 1); // not position 0: no suffix
    }

    void transmitterAndReset()
    {
        SimBench b;
        QVERIFY(b.start("Corvane Nano"));
        b.engine([](sim::Engine &e) { e.setTxOn(false); });
        QVERIFY(b.connectFirst());
        auto *tx = control<QAbstractButton>(b.w.get(), "TxEnBtn");
        // Settled off by the first record; a click switches it on.
        QTRY_COMPARE_WITH_TIMEOUT(textOf(b.w.get(), "TxEnBtn"), QString("Tx: ----"), 3000);
        QCOMPARE(lampOf(b.w.get(), "TxEnBtn"), 'g');
        tx->click();
        QTRY_COMPARE(b.count("tx 1"), 1);
        QCOMPARE(lampOf(b.w.get(), "TxEnBtn"), 'G');
        QTRY_COMPARE_WITH_TIMEOUT(lampOf(b.w.get(), "LEDSync"), 'G', 3000);
        tx->click();
        QTRY_COMPARE(b.count("tx 0"), 1);
        QCOMPARE(lampOf(b.w.get(), "TxEnBtn"), 'g');
        QTRY_COMPARE_WITH_TIMEOUT(lampOf(b.w.get(), "LEDSig"), 'R', 3000);

        control<QAbstractButton>(b.w.get(), "ErrorReset")->click();
        QTRY_COMPARE(b.count("reset"), 1);
    }

    void transmitterBeforeTheFirstRecord()
    {
        SimBench b;
        QVERIFY(b.start("Corvane Nano"));
        auto *tx = control<QAbstractButton>(b.w.get(), "TxEnBtn");
        tx->click(); // state not yet known: switches off
        QCOMPARE(b.link()->buffer(), QString("tx 0\r\n"));
        QCOMPARE(lampOf(b.w.get(), "TxEnBtn"), 'g');
        tx->click();
        QCOMPARE(b.link()->buffer(), QString("tx 1\r\n"));
        QCOMPARE(lampOf(b.w.get(), "TxEnBtn"), 'G');
        control<QAbstractButton>(b.w.get(), "ErrorReset")->click();
        QCOMPARE(b.link()->buffer(), QString("reset\r\n"));
        QCOMPARE(b.count("tx 0") + b.count("tx 1") + b.count("reset"), 0); // not connected
    }

    void logRowsAndLamp()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("run.csv");
        SimBench b;
        QVERIFY(b.startLive("Corvane NanoTb"));
        MainWindow &w = *b.w;
        QString lampsSeen;
        connect(b.link(), &Link::pollDue, &w, [&] { lampsSeen += lampOf(&w, "LogBtn"); });
        w.askLogFileName = [&](QWidget *) { return path; };
        control<QAbstractButton>(&w, "LogBtn")->click();
        QCOMPARE(lampOf(&w, "LogBtn"), 'G');
        // Rows are on disk as soon as they are written, about a second apart.
        QTRY_VERIFY_WITH_TIMEOUT(readRows(path).size() >= 3, 6000);
        QString header;
        const QList<QStringList> rows = readRows(path, &header);
        QCOMPARE(header, "Corvane NanoT Log file " + QDate::currentDate().toString(Qt::TextDate) +
                             "\r\nTime, Rate, Pattern, Temp (C), Rx (dBm), Count, Errors, BER");
        for (const QStringList &row : rows) {
            QCOMPARE(row.size(), 8);
            QVERIFY(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(row[0]).hasMatch());
            QCOMPARE(row[1], QString("10312500000"));
            QCOMPARE(row[2], QString("PRBS31"));
            QVERIFY(QRegularExpression("^\\d+\\.\\d$").match(row[3]).hasMatch());
            QCOMPARE(row[4], QString("-0.3")); // 1.5 dBm out, 1.8 dB lost
            QVERIFY(QRegularExpression("^\\d\\.\\d{3}e\\+\\d\\d$").match(row[5]).hasMatch());
            QCOMPARE(row[6], QString("0.000e+00"));
            QCOMPARE(row[7], QString("0.000e-00"));
        }
        for (int i = 1; i < rows.size(); ++i)
            QVERIFY(QTime::fromString(rows[i - 1][0]).secsTo(QTime::fromString(rows[i][0])) >= 1);
        QVERIFY2(lampsSeen.contains("YG"), qPrintable(lampsSeen)); // yellow after a row, then green

        // Restarting at once: the new file's first row still waits a second
        // after the last row of the old one.
        control<QAbstractButton>(&w, "LogBtn")->click();
        QCOMPARE(lampOf(&w, "LogBtn"), 'g');
        const QString lastOld = readRows(path).last()[0];
        const QString second = dir.filePath("second.csv");
        w.askLogFileName = [&](QWidget *) { return second; };
        control<QAbstractButton>(&w, "LogBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(readRows(second).size() == 1, 3000);
        QVERIFY(QTime::fromString(lastOld).secsTo(QTime::fromString(readRows(second)[0][0])) >= 1);
        control<QAbstractButton>(&w, "LogBtn")->click();

        // Cancelling the dialog changes nothing.
        w.askLogFileName = [](QWidget *) { return QString(); };
        control<QAbstractButton>(&w, "LogBtn")->click();
        QCOMPARE(lampOf(&w, "LogBtn"), 'g');
    }

    void logOnTheLowRateModel()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("span.csv");
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano Span"));
        b.w->askLogFileName = [&](QWidget *) { return path; };
        control<QAbstractButton>(b.w.get(), "LogBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(readRows(path).size() == 1, 3000);
        control<QAbstractButton>(b.w.get(), "LogBtn")->click();
        QString header;
        const QList<QStringList> rows = readRows(path, &header);
        QCOMPARE(header, QDate::currentDate().toString(Qt::TextDate) +
                             "\r\nTime, Rate, Pattern, Temp (C), Rx (Mbps), Count, Errors, BER");
        QCOMPARE(rows[0][1], QString("44736000"));
        QCOMPARE(rows[0][3], QString());         // no temperature on this model
        QCOMPARE(rows[0][4], QString("44.736")); // the rate stands in the Rx column
    }

    void logFileThatCannotBeOpened()
    {
        SimBench b;
        QVERIFY(b.start("Corvane Nano"));
        b.w->askLogFileName = [](QWidget *) { return QStringLiteral("/no/such/dir/log.csv"); };
        control<QAbstractButton>(b.w.get(), "LogBtn")->click();
        QCOMPARE(lampOf(b.w.get(), "LogBtn"), 'g');
        QVERIFY(control(b.w.get(), "LogBtn")->toolTip().contains("/no/such/dir/log.csv"));
        QVERIFY(control<QPlainTextEdit>(b.w.get(), "DebugOut")
                    ->toPlainText()
                    .contains("Cannot write the log file /no/such/dir/log.csv: "));
    }
};

QTEST_MAIN(TstControls)
#include "tst_controls.moc"
