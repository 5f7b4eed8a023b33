// The main window as it opens and as each model configures it, one model after
// another on one window; the command line, which needs no display.
#include "support/simbench.h"

#include <QDial>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QProcess>

namespace {
bool shown(const QWidget *w, const char *name)
{
    return control(w, name)->isVisibleTo(w);
}
} // namespace

class TstMainWindow : public QObject
{
    Q_OBJECT
    std::unique_ptr<MainWindow> w;

private slots:
    void opensUnconfigured()
    {
        portcatalog::clearExtras();
        w = std::make_unique<MainWindow>();
        QVERIFY(QSignalSpy(w.get(), &MainWindow::portsSearched).wait(5000));
        QCOMPARE(w->minimumSize(), QSize(589, 454));
        QCOMPARE(w->maximumSize(), QSize(589, 454));
        QCOMPARE(w->windowTitle(), QString("Corvane Nano"));
        const QString start = "PortSelBox=Select Device|LEDCOM=g|LEDBER=g|LogBtn@=g|RateDial=0|"
                              "RateSetting=0.000000";
        QCOMPARE(looks(w.get(), start), start);
        QVERIFY(!shown(w.get(), "DisConectBtn") && shown(w.get(), "PortSelBox"));
        QCOMPARE(control<QDial>(w.get(), "RateDial")->maximum(), 99);
        QCOMPARE(control<QDoubleSpinBox>(w.get(), "RateSetting")->maximum(), 1500000000.0);
        auto *custom = control<QLineEdit>(w.get(), "CustPatBx");
        custom->setText("0123456789abcdefAB");
        QCOMPARE(custom->text(), QString("0123456789abcdef"));
        for (const char *list : {"PatListNano", "PatListNanoTera", "PatListSpan", "PatListT",
                                 "EyeButton", "RateRange"})
            QCOMPARE(shown(w.get(), list), list == QLatin1String("PatListNano"));
    }

    // In this order: single-range models, the low-rate model, the multi-range ones.
    void modelConfiguration_data()
    {
        // dial: min-max, per range
        // custom: mask|text|tooltip, empty when hidden
        columns<int, QString, int, QString, double, QString, int, bool, QString>(
            {"code", "list", "sliderMax", "dial", "step", "units", "rxPoints", "transceiver",
             "custom"});
        QTest::newRow("Nano") << 500110 << "PatListNano" << 8 << "125000-4250000" << 1.0 << "dBm"
                              << 32 << true
                              << "HHHHHHHHHH|AAAAAAAAAA|Custom pattern (10 hex characters)";
        QTest::newRow("Tera") << 500120 << "PatListNanoTera" << 4 << "9953280-11317600" << 1.0
                              << "dBm" << 32 << true
                              << "HHHHHHHHHHHHHHHH|AAAAAAAAAAAAAAAA|Custom pattern (16 hex "
                                 "characters)";
        QTest::newRow("Span") << 500130 << "PatListSpan" << 8 << "6312-125000" << 0.1 << "Mbps"
                              << 22 << false << "00|01|Duty Cycle (%)";
        const QString ranges = "1244160-1813000 2488320-3625000 4975000-7250000 9953280-14500000";
        QTest::newRow("NanoTa") << 50077041 << "PatListT" << 8 << ranges << 1.0 << "dBm" << 32
                                << true << "";
        QTest::newRow("NanoTb after NanoTa")
            << 50077063 << "PatListT" << 8 << ranges + " 19900000-29000000" << 1.0 << "dBm" << 32
            << true << "";
    }
    void modelConfiguration()
    {
        QFETCH(QString, custom);
        w->SetBERTType(data<int>("code"));
        for (const char *l : {"PatListNano", "PatListNanoTera", "PatListSpan", "PatListT"})
            QCOMPARE(shown(w.get(), l), data<QString>("list") == l);
        QTEST(control<QAbstractSlider>(w.get(), "SliderPattern")->maximum(), "sliderMax");
        QTEST(control<QDoubleSpinBox>(w.get(), "RateSetting")->singleStep(), "step");
        QTEST(look(w.get(), "RxPowUnits"), "units");
        QTEST(control(w.get(), "RxPowTxt")->font().pointSize(), "rxPoints");
        for (const char *t : {"WaveLengBtn", "TempTxt", "XCVRBtn", "KnobLabel_12"})
            QCOMPARE(shown(w.get(), t), data<bool>("transceiver"));
        auto *field = control<QLineEdit>(w.get(), "CustPatBx");
        QCOMPARE(shown(w.get(), "CustPatBx") ? field->inputMask().section(';', 0, 0) + '|' +
                                                   field->text() + '|' + field->toolTip()
                                             : QString(),
                 custom);
        // The range selector: shown with the eye button on multi-range models,
        // each range bounding the dial; they start in the 10 Gbit/s range.
        auto *range = control<QComboBox>(w.get(), "RateRange");
        auto *dial = control<QDial>(w.get(), "RateDial");
        QCOMPARE(shown(w.get(), "RateRange"), custom.isEmpty());
        QCOMPARE(shown(w.get(), "EyeButton"), custom.isEmpty());
        QStringList bounds, items;
        if (custom.isEmpty()) {
            QCOMPARE(range->currentText(), QString("9.950 - 14.50G"));
            for (int i = 0; i < range->count(); ++i) {
                range->setCurrentIndex(i);
                items << range->currentText();
                bounds << QString("%1-%2").arg(dial->minimum()).arg(dial->maximum());
            }
            QCOMPARE(items, QString("1.244 - 1.813G,2.488 - 3.325G,4.975 - 7.250G,9.950 - 14.50G,"
                                    "19.90 - 29.00G")
                                .split(',')
                                .mid(0, items.size()));
        } else {
            bounds << QString("%1-%2").arg(dial->minimum()).arg(dial->maximum());
        }
        QTEST(bounds.join(' '), "dial");
    }

    void commandLine_data()
    {
        columns<QStringList, int, QString>({"args", "exitCode", "says"});
        QTest::newRow("bad option") << QStringList{"--bogus"} << 2
                                    << "corvane: Unknown option 'bogus'.\nTry 'corvane --help'";
        QTest::newRow("stray argument")
            << QStringList{"ttyACM0"} << 2 << "unexpected argument 'ttyACM0'";
        QTest::newRow("help-all") << QStringList{"--help-all"} << 0 << "--simulate <model>";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "corvane 2.61\n";
    }
    void commandLine()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(display);
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(CORVANE_BINARY, data<QStringList>("args"));
        QVERIFY(p.waitForFinished(10000));
        QTEST(p.exitCode(), "exitCode");
        const QString out = p.readAllStandardOutput() + p.readAllStandardError();
        QVERIFY2(out.contains(data<QString>("says")), qPrintable(out));
    }
};

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
