// The main window as it opens and as each model configures it, and the
// command line, which must work without a display.
#include "app/options.h"
#include "corvane_version.h"
#include "support/simbench.h"

#include <QCheckBox>
#include <QDial>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QProcess>

namespace {
QStringList warnings;
void collect(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        warnings << msg;
}
bool shown(const MainWindow &w, const char *name)
{
    return control(&w, name)->isVisibleTo(&w);
}
} // namespace

class TstMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void opensUnconfigured()
    {
        portcatalog::clearExtras();
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collect);
        MainWindow w;
        QVERIFY(QSignalSpy(&w, &MainWindow::portsSearched).wait(5000));
        qInstallMessageHandler(previous);
        for (const QString &m : qAsConst(warnings))
            QVERIFY2(!m.contains(QLatin1String("No matching signal")), qPrintable(m));
        QCOMPARE(w.size(), QSize(589, 454));
        QCOMPARE(w.minimumSize(), QSize(589, 454));
        QCOMPARE(w.maximumSize(), QSize(589, 454));
        QCOMPARE(w.windowTitle(), QString("Corvane Nano"));
        QVERIFY(!shown(w, "DisConectBtn"));
        QVERIFY(shown(w, "PortSelBox"));
        QCOMPARE(control(&w, "DisConectBtn")->geometry(), control(&w, "PortSelBox")->geometry());
        QCOMPARE(control<QComboBox>(&w, "PortSelBox")->itemText(0), QString("Select Device"));
        auto *dial = control<QDial>(&w, "RateDial");
        QCOMPARE(dial->minimum(), 0);
        QCOMPARE(dial->maximum(), 99);
        auto *field = control<QDoubleSpinBox>(&w, "RateSetting");
        QCOMPARE(field->maximum(), 1500000000.0);
        QCOMPARE(field->decimals(), 6);
        QCOMPARE(field->textFromValue(2488.32), QString("2488.320000"));
        auto *custom = control<QLineEdit>(&w, "CustPatBx");
        QCOMPARE(custom->inputMask(), QString("HHHHHHHHHHHHHHHH"));
        custom->setText("0123456789abcdefAB");
        QCOMPARE(custom->text(), QString("0123456789abcdef"));
        QVERIFY(shown(w, "PatListNano"));
        for (const char *hidden :
             {"PatListNanoTera", "PatListSpan", "PatListT", "EyeButton", "RateRange"})
            QVERIFY2(!shown(w, hidden), hidden);
        QCOMPARE(lampOf(&w, "LEDCOM"), 'g');
        QCOMPARE(lampOf(&w, "LEDBER"), 'g');
        QCOMPARE(lampOf(&w, "LogBtn"), 'g');
        QVERIFY(control(&w, "DebugOut")->x() >= 589);
    }

    void modelConfiguration_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("sliderMax");
        QTest::addColumn<int>("dialMin");
        QTest::addColumn<int>("dialMax");
        QTest::addColumn<double>("step");
        QTest::addColumn<QString>("units");
        QTest::addColumn<int>("rxPoints");
        QTest::addColumn<bool>("transceiver");
        QTest::addColumn<QString>("customMask");
        QTest::addColumn<QString>("customText");
        QTest::addColumn<QString>("customTip");
        QTest::addColumn<int>("ranges"); // items of the range selector; 0 hidden
        QTest::newRow("Nano") << 500110 << "PatListNano" << 8 << 125000 << 4250000 << 1.0 << "dBm"
                              << 32 << true << "HHHHHHHHHH"
                              << "AAAAAAAAAA"
                              << "Custom pattern (10 hex characters)" << 0;
        QTest::newRow("Tera") << 500120 << "PatListNanoTera" << 4 << 9953280 << 11317600 << 1.0
                              << "dBm" << 32 << true << "HHHHHHHHHHHHHHHH"
                              << "AAAAAAAAAAAAAAAA"
                              << "Custom pattern (16 hex characters)" << 0;
        QTest::newRow("Span") << 500130 << "PatListSpan" << 8 << 6312 << 125000 << 0.1 << "Mbps"
                              << 22 << false << "00"
                              << "01"
                              << "Duty Cycle (%)" << 0;
        QTest::newRow("NanoTa") << 50077041 << "PatListT" << 8 << 9953280 << 14500000 << 1.0
                                << "dBm" << 32 << true << ""
                                << ""
                                << "" << 4;
        QTest::newRow("NanoTb") << 50077063 << "PatListT" << 8 << 9953280 << 14500000 << 1.0
                                << "dBm" << 32 << true << ""
                                << ""
                                << "" << 5;
    }
    void modelConfiguration()
    {
        QFETCH(int, code);
        QFETCH(QString, list);
        MainWindow w;
        w.SetBERTType(code);
        for (const char *l : {"PatListNano", "PatListNanoTera", "PatListSpan", "PatListT"})
            QCOMPARE(shown(w, l), list == l);
        QTEST(control<QAbstractSlider>(&w, "SliderPattern")->maximum(), "sliderMax");
        QTEST(control<QDial>(&w, "RateDial")->minimum(), "dialMin");
        QTEST(control<QDial>(&w, "RateDial")->maximum(), "dialMax");
        QTEST(control<QDoubleSpinBox>(&w, "RateSetting")->singleStep(), "step");
        QTEST(textOf(&w, "RxPowUnits"), "units");
        QTEST(control(&w, "RxPowTxt")->font().pointSize(), "rxPoints");
        QFETCH(bool, transceiver);
        for (const char *t : {"WaveLengBtn", "TempTxt", "XCVRBtn", "KnobLabel_12"})
            QCOMPARE(shown(w, t), transceiver);
        QFETCH(int, ranges);
        auto *custom = control<QLineEdit>(&w, "CustPatBx");
        QCOMPARE(shown(w, "EyeButton"), ranges > 0);
        QCOMPARE(shown(w, "RateRange"), ranges > 0);
        QCOMPARE(control<QComboBox>(&w, "RateRange")->count(), ranges);
        QCOMPARE(custom->isVisibleTo(&w), ranges == 0);
        if (ranges == 0) {
            QTEST(custom->inputMask().section(';', 0, 0), "customMask");
            QTEST(custom->text(), "customText");
            QTEST(custom->toolTip(), "customTip");
        } else {
            QCOMPARE(control<QComboBox>(&w, "RateRange")->currentText(), QString("9.950 - 14.50G"));
        }
    }

    void rangeSelectorBoundsTheDial()
    {
        MainWindow w;
        auto *range = control<QComboBox>(&w, "RateRange");
        auto *dial = control<QDial>(&w, "RateDial");
        w.SetBERTType(50077041);
        w.SetBERTType(50077063); // emptied and refilled: no duplicates
        const QStringList items = {"1.244 - 1.813G", "2.488 - 3.325G", "4.975 - 7.250G",
                                   "9.950 - 14.50G", "19.90 - 29.00G"};
        QCOMPARE(range->count(), 5);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(range->itemText(i), items[i]);
        const int bounds[5][2] = {{1244160, 1813000},
                                  {2488320, 3625000},
                                  {4975000, 7250000},
                                  {9953280, 14500000},
                                  {19900000, 29000000}};
        for (int i = 0; i < 5; ++i) {
            range->setCurrentIndex(i);
            QCOMPARE(dial->minimum(), bounds[i][0]);
            QCOMPARE(dial->maximum(), bounds[i][1]);
        }
        w.SetBERTType(500110); // a single-range model hides the selector again
        QVERIFY(!range->isVisibleTo(&w));
        QCOMPARE(dial->maximum(), 4250000);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("says");
        QTest::newRow("no options") << QStringList() << int(ParseResult::Run) << "";
        QTest::newRow("Qt's own options")
            << QStringList{"-platform", "offscreen", "-reverse"} << int(ParseResult::Run) << "";
        QTest::newRow("bad option") << QStringList{"--bogus"} << int(ParseResult::ExitUsage)
                                    << "corvane: Unknown option 'bogus'.\nTry 'corvane --help'";
        QTest::newRow("stray argument") << QStringList{"ttyACM0"} << int(ParseResult::ExitUsage)
                                        << "unexpected argument 'ttyACM0'";
        QTest::newRow("unknown model")
            << QStringList{"--simulate=Corvane X"} << int(ParseResult::ExitUsage)
            << "unknown model \"Corvane X\" for --simulate; the models are: Corvane NanoTa, "
               "Corvane Nano";
        QTest::newRow("help") << QStringList{"--help"} << int(ParseResult::ExitOk)
                              << "--port <path>";
        QTest::newRow("help-all") << QStringList{"--help-all"} << int(ParseResult::ExitOk)
                                  << "-platform <name[:options]>";
        QTest::newRow("version") << QStringList{"--version"} << int(ParseResult::ExitOk)
                                 << "corvane " CORVANE_VERSION "\n";
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        QCoreApplication::setApplicationName("corvane");
        QCoreApplication::setApplicationVersion(CORVANE_VERSION);
        AppOptions options;
        const ParseResult r = parseOptions(QStringList{"corvane"} + args,
                                           {"Corvane NanoTa", "Corvane Nano"}, &options);
        QTEST(int(r.action), "action");
        QVERIFY2(r.output.contains(says), qPrintable(r.output));
    }

    void programNeedsNoDisplayForItsOptions()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(CORVANE_BINARY, {"--bogus"});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardError().contains("Try 'corvane --help'"));
        p.start(CORVANE_BINARY, {"--help-all"});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().contains("--simulate <model>"));
    }
};

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
