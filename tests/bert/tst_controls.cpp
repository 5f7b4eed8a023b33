// Rate, pattern, transmitter and reset controls, and the test log, checked
// against what reaches the simulated instrument and what lands on disk.
#include "link/simfixture.h"

#include <QTemporaryDir>

namespace {
// Rows of a log file as fields ("a, b" separated); the first two lines are the header.
QList<QStringList> readRows(const QString &path, QString *header = nullptr)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromLocal8Bit(f.readAll());
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (header)
        *header = lines.mid(0, 2).join(QStringLiteral("\r\n"));
    QList<QStringList> rows;
    for (int i = 2; i < lines.size(); ++i)
        rows << lines[i].split(QStringLiteral(", "));
    return rows;
}
} // namespace

class TstControls : public QObject
{
    Q_OBJECT
private slots:
    void rateCommandsPerModel_data()
    {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<double>("mbps");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("Tera") << QByteArray("Corvane Tera") << 10312.5
                              << QByteArray("setrate 1031250000");
        QTest::newRow("NanoTa") << QByteArray("Corvane NanoTa") << 14500.0
                                << QByteArray("setrate 14500000");
        QTest::newRow("Nano") << QByteArray("Corvane Nano") << 2488.32
                              << QByteArray("setrate 2488320000");
        QTest::newRow("Span") << QByteArray("Corvane Nano Span") << 44.736
                              << QByteArray("setrate 44736000");
    }
    void rateCommandsPerModel()
    {
        QFETCH(QByteArray, model);
        QFETCH(double, mbps);
        QFETCH(QByteArray, line);
        SimBench b;
        QVERIFY(b.startLive(model));
        MainWindow &w = *b.w;

        // Releasing the dial sends the rate, then asks for a record at once.
        w.ui->RateSetting->setValue(mbps);
        w.on_RateDial_sliderReleased();
        auto followedByRequest = [&] {
            const auto log = b.sim->commandLog();
            for (int i = 0; i + 1 < log.size(); ++i) {
                if (log[i].line == line)
                    return log[i + 1].line == "r";
            }
            return false;
        };
        QTRY_VERIFY(followedByRequest());
        QCOMPARE(b.count(line), 1);
        if (model == "Corvane Nano Span")
            QCOMPARE(w.ui->CustPatBx->toolTip(), QString("Pulse Width= # * 22.4nS"));

        // Finishing an edit sends the same command once and moves the focus to
        // the dial (whose focus change must not finish the edit a second time).
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.ui->RateSetting->setFocus();
        w.ui->RateSetting->setValue(mbps);
        w.on_RateSetting_editingFinished();
        QTRY_COMPARE(b.count(line), 2);
        QVERIFY(w.ui->RateDial->hasFocus());
        if (model == "Corvane Nano Span")
            QCOMPARE(w.ui->CustPatBx->toolTip(), QString("Pulse Width= # * 22.353nS"));

        // Side B goes in directly after the command word.
        w.link.side = 'B';
        w.ui->RateSetting->setValue(mbps);
        w.on_RateDial_sliderReleased();
        QTRY_COMPARE(b.count(QByteArray(line).replace("setrate", "setrateB")), 1);
        QTRY_VERIFY(b.count("rB") >= 1);
    }

    void patternCommands()
    {
        struct Case {
            QByteArray model;
            int position;
            QString field;
            QByteArray line;
        };
        const Case cases[] = {
            {"Corvane Nano", 8, "", "setpat 3"},
            {"Corvane Nano", 0, "AAAAAAAAAA", "setpat CAAAAAAAAAA"},
            {"Corvane Nano", 3, "AAAAAAAAAA", "setpat R"},
            {"Corvane Tera", 4, "", "setpat 3"},
            {"Corvane Tera", 0, "0123456789abcdef", "setpat C0123456789abcdef"},
            {"Corvane Nano Span", 0, "50", "setpat C32"},
            {"Corvane Nano Span", 0, "01", "setpat C1"},
            {"Corvane Nano Span", 0, "", "setpat C0"},
            {"Corvane NanoTb", 8, "", "setpat 6"},
            {"Corvane NanoTb", 0, "", "setpat L"},
        };
        QByteArray current;
        SimBench b;
        for (const Case &c : cases) {
            if (c.model != current) {
                b = SimBench();
                QVERIFY(b.start(c.model));
                QVERIFY(b.connectFirst());
                current = c.model;
            }
            MainWindow &w = *b.w;
            w.ui->CustPatBx->setText(c.field);
            w.ui->SliderPattern->setValue(c.position);
            const int before = b.count(c.line);
            w.on_SliderPattern_sliderReleased();
            QTRY_VERIFY2(b.count(c.line) == before + 1, c.line.constData());
        }
        // Enter in the custom field sends the pattern of the slider's position.
        MainWindow &w = *b.w;
        w.ui->CustPatBx->setText("1234");
        w.ui->SliderPattern->setValue(0);
        w.on_CustPatBx_returnPressed();
        QTRY_COMPARE(b.count("setpat L1234"), 1);
        w.ui->SliderPattern->setValue(5);
        w.link.side = 'B';
        w.on_CustPatBx_returnPressed();
        QTRY_COMPARE(b.count("setpatB 2"), 1);
    }

    void transmitterAndResetWithoutAUnit()
    {
        SimBench b;
        QVERIFY(b.start("Corvane Nano"));
        MainWindow &w = *b.w; // not connected: commands are framed, nothing is written
        QCOMPARE(w.txState, '3');
        w.on_TxEnBtn_clicked();
        QCOMPARE(w.link.buffer, QString("tx 0\r\n"));
        QVERIFY(SimBench::shows(w.ui->TxEnBtn, lamp::Grey));
        w.on_TxEnBtn_clicked();
        QCOMPARE(w.link.buffer, QString("tx 1\r\n"));
        QVERIFY(SimBench::shows(w.ui->TxEnBtn, lamp::Green));
        w.on_ErrorReset_clicked();
        QCOMPARE(w.link.buffer, QString("reset\r\n"));
        w.ui->SliderPattern->setValue(0);
        w.on_SliderPattern_sliderReleased();
        w.on_RateDial_sliderReleased(); // no model: no rate command
        QCOMPARE(w.link.buffer, QString("r\r\n"));
        QVERIFY(!w.measurementPending());
        QTest::qWait(100);
        QCOMPARE(b.logSize(), 4); // only the search's identification queries
    }

    void transmitterToggleOverTheWire()
    {
        SimBench b;
        QVERIFY(b.start("Corvane Nano"));
        QVERIFY(b.connectFirst());
        MainWindow &w = *b.w;
        QTRY_COMPARE(w.txState, '1'); // settled by the first record
        w.on_TxEnBtn_clicked();
        QTRY_COMPARE(b.count("tx 0"), 1);
        QTRY_VERIFY(!b.engine([](sim::Engine &e) { return e.txOn(); }));
        QTRY_COMPARE(w.ui->TxEnBtn->text(), QString("Tx: ----"));
        QTRY_VERIFY(SimBench::shows(w.ui->LEDSig, lamp::Red));
        w.on_TxEnBtn_clicked();
        QTRY_COMPARE(b.count("tx 1"), 1);
        QTRY_VERIFY(SimBench::shows(w.ui->LEDSync, lamp::Green));
        QVERIFY(SimBench::shows(w.ui->TxEnBtn, lamp::Green));
    }

    void dialSnapsWhileDragged()
    {
        SimBench b;
        QVERIFY(b.start("Corvane Nano"));
        MainWindow &w = *b.w;
        w.SetBERTType(500110);
        QDial *dial = w.ui->RateDial;
        auto drag = [&](int v) {
            dial->setSliderDown(true);
            dial->setValue(v);
            dial->setSliderDown(false);
            return w.ui->RateSetting->value();
        };
        QCOMPARE(drag(1100000), 1062.5);
        QCOMPARE(drag(1156250), 1062.5);
        QCOMPARE(drag(1156251), 1250.0);
        QCOMPARE(drag(2500000), 2500.0);
        QCOMPARE(dial->value(), 2500000); // the dial itself is not moved to the snapped rate
        w.ui->StandRates->setChecked(false);
        QCOMPARE(drag(1100001), 1100.001);
        // Moves by the program (or keyboard) do not reach the field.
        w.ui->RateSetting->setValue(7);
        dial->setValue(2000000);
        QCOMPARE(w.ui->RateSetting->value(), 7.0);
    }

    void logRowsAndLamp()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("run.csv");
        SimBench b;
        QVERIFY(b.startLive("Corvane NanoTb"));
        MainWindow &w = *b.w;
        w.askLogFileName = [&](QWidget *) { return path; };
        w.on_LogBtn_clicked();
        QCOMPARE(w.logging, 1);

        // The first row is on disk as soon as it is written.
        QTRY_VERIFY_WITH_TIMEOUT(readRows(path).size() == 1, 2000);
        bool sawYellow = false, sawGreen = false;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 2300) {
            QTest::qWait(20);
            sawYellow |= SimBench::shows(w.ui->LogBtn, lamp::Yellow);
            sawGreen |= SimBench::shows(w.ui->LogBtn, lamp::Green);
        }
        QVERIFY(sawYellow && sawGreen);
        QString header;
        const QList<QStringList> rows = readRows(path, &header);
        QVERIFY2(rows.size() >= 2 && rows.size() <= 4, qPrintable(QString::number(rows.size())));
        QVERIFY(header.startsWith("Corvane NanoT Log file " +
                                  QDate::currentDate().toString(Qt::TextDate)));
        QVERIFY(header.endsWith("\r\nTime, Rate, Pattern, Temp (C), Rx (dBm), Count, Errors, BER"));
        for (const QStringList &row : rows) {
            QCOMPARE(row.size(), 8);
            QVERIFY(QTime::fromString(row[0], Qt::TextDate).isValid());
            QCOMPARE(row[1], QString("10312500000"));
            QCOMPARE(row[2], QString("PRBS31"));
            QVERIFY(!row[3].isEmpty());
            QCOMPARE(row[7], QString("0.000e-00"));
        }
        for (int i = 1; i < rows.size(); ++i)
            QVERIFY(QTime::fromString(rows[i - 1][0]).secsTo(QTime::fromString(rows[i][0])) >= 1);

        // Restarting at once: the new file's first row still waits a second
        // after the last row of the old one.
        const QString lastOld = rows.last()[0];
        w.on_LogBtn_clicked();
        QCOMPARE(w.logging, 0);
        QVERIFY(SimBench::shows(w.ui->LogBtn, lamp::Grey));
        const QString second = dir.filePath("second.csv");
        w.askLogFileName = [&](QWidget *) { return second; };
        w.on_LogBtn_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(readRows(second).size() == 1, 3000);
        QVERIFY(QTime::fromString(lastOld).secsTo(QTime::fromString(readRows(second)[0][0])) >= 1);
        w.on_LogBtn_clicked();

        // Cancelling the dialog changes nothing.
        w.askLogFileName = [](QWidget *) { return QString(); };
        w.on_LogBtn_clicked();
        QCOMPARE(w.logging, 0);
    }

    void logOnTheLowRateModel()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("span.csv");
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano Span"));
        MainWindow &w = *b.w;
        w.askLogFileName = [&](QWidget *) { return path; };
        w.on_LogBtn_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(readRows(path).size() == 1, 2000);
        w.on_LogBtn_clicked();
        QString header;
        const QList<QStringList> rows = readRows(path, &header);
        QVERIFY(header.startsWith(QDate::currentDate().toString(Qt::TextDate) + "\r\n"));
        QVERIFY(header.contains("Rx (Mbps)"));
        QCOMPARE(rows[0][1], QString("44736000"));
        QCOMPARE(rows[0][3], QString());         // no temperature on this model
        QCOMPARE(rows[0][4], QString("44.736")); // the rate stands in the Rx column
    }

    void logFileThatCannotBeOpened()
    {
        SimBench b;
        QVERIFY(b.start("Corvane Nano"));
        MainWindow &w = *b.w;
        w.askLogFileName = [](QWidget *) { return QStringLiteral("/no/such/dir/log.csv"); };
        w.on_LogBtn_clicked();
        QCOMPARE(w.logging, 0);
        QVERIFY(!SimBench::shows(w.ui->LogBtn, lamp::Green));
        QVERIFY(w.ui->LogBtn->toolTip().contains("/no/such/dir/log.csv"));
        QVERIFY(w.ui->DebugOut->toPlainText().contains("Cannot write the log file"));
    }
};

QTEST_MAIN(TstControls)
#include "tst_controls.moc"
