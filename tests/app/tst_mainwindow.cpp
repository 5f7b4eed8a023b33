// The main window as it opens and as each model configures it, one model after
// another on one window; the About box. (The command line: tst_options.)
#include "about/aboutbx.h"
#include "device/instrumentpool.h"
#include "support/simbench.h"
#include "wavelength/wavelengthdb.h"

#include <QDial>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QTextEdit>

namespace {
bool shown(const QWidget *w, const char *name)
{
    return control(w, name)->isVisibleTo(w);
}
// The configuration as the window shows it: the pattern list and the slider's
// span; the dial's span (per item of the range selector, when shown); the rate
// field's step; the Rx units and point size; the controls shown, and whether
// the wavelength button opens its dialog; the custom field's mask, text and tooltip.
QString configuration(QWidget *w)
{
    QStringList parts;
    for (const char *list : {"PatListNano", "PatListNanoTera", "PatListSpan", "PatListT"})
        if (shown(w, list))
            parts << QString("%1 0-%2").arg(list).arg(
                control<QAbstractSlider>(w, "SliderPattern")->maximum());
    auto *range = control<QComboBox>(w, "RateRange");
    auto *dial = control<QDial>(w, "RateDial");
    const bool ranges = shown(w, "RateRange");
    QStringList spans{ranges ? range->currentText() + " first:" : QString("dial")};
    for (int i = 0; i < (ranges ? range->count() : 1); ++i) {
        if (ranges)
            range->setCurrentIndex(i);
        spans << (ranges ? range->currentText() + ' ' : QString()) +
                     QString("%1-%2").arg(dial->minimum()).arg(dial->maximum());
    }
    parts << spans.join(' ')
          << QString("step %1").arg(control<QDoubleSpinBox>(w, "RateSetting")->singleStep());
    parts << QString("%1 %2pt")
                 .arg(look(w, "RxPowUnits"))
                 .arg(control(w, "RxPowTxt")->font().pointSize());
    QStringList controls;
    for (const char *c : {"WaveLengBtn", "TempTxt", "XCVRBtn", "KnobLabel_12", "EyeButton"})
        if (shown(w, c))
            controls << c;
    control<QAbstractButton>(w, "WaveLengBtn")->click();
    if (!w->findChildren<WavelengthDB *>().isEmpty())
        controls << "(opens the wavelength dialog)";
    qDeleteAll(w->findChildren<WavelengthDB *>());
    parts << controls.join(' ');
    auto *custom = control<QLineEdit>(w, "CustPatBx");
    if (shown(w, "CustPatBx"))
        parts << custom->inputMask().section(';', 0, 0) + ' ' + custom->text() + ' ' +
                     custom->toolTip();
    return parts.join(" | ");
}
AboutBx *about(MainWindow &w)
{
    control<QAbstractButton>(&w, "AboutBtn")->click();
    return w.findChildren<AboutBx *>().last();
}
} // namespace

class TstMainWindow : public QObject
{
    Q_OBJECT
    device::InstrumentPool pool;
    std::unique_ptr<MainWindow> w;

private slots:
    void cleanupTestCase() { w.reset(); }
    void initTestCase()
    {
        portcatalog::clearExtras();
        w = std::make_unique<MainWindow>(&pool);
        QVERIFY(QSignalSpy(w.get(), &MainWindow::portsSearched).wait(5000));
        QCOMPARE(w->minimumSize(), QSize(589, 454));
        QCOMPARE(w->maximumSize(), QSize(589, 454));
        QCOMPARE(w->windowTitle(), QString("Corvane Nano"));
        const QString start = "PortSelBox=Select Device|LEDCOM=g|LEDBER=g|LogBtn@=g|RateDial=0|"
                              "RateSetting=0.000000|EyeButton=0.00 UI / 000 mV";
        QCOMPARE(looks(w.get(), start), start);
    }

    // As opened, then each model in turn on the same window.
    void modelConfiguration_data()
    {
        columns<int, QString>({"code", "configuration"});
        const QString transceiver = "WaveLengBtn TempTxt XCVRBtn KnobLabel_12";
        const QString dialog = transceiver + " (opens the wavelength dialog)";
        QTest::newRow("as opened") << 0
                                   << "PatListNano 0-8 | dial 0-99 | step 0.1 | dBm 32pt | " +
                                          transceiver + " | HHHHHHHHHHHHHHHH  ";
        QTest::newRow("Nano") << 500110
                              << "PatListNano 0-8 | dial 125000-4250000 | step 1 | dBm 32pt | " +
                                     dialog +
                                     " | HHHHHHHHHH AAAAAAAAAA Custom pattern (10 hex characters)";
        QTest::newRow("Tera")
            << 500120
            << "PatListNanoTera 0-4 | dial 9953280-11317600 | step 1 | dBm 32pt | " + dialog +
                   " | HHHHHHHHHHHHHHHH AAAAAAAAAAAAAAAA Custom pattern (16 hex "
                   "characters)";
        QTest::newRow("Span") << 500130
                              << "PatListSpan 0-8 | dial 6312-125000 | step 0.1 | Mbps 22pt |  | "
                                 "00 01 Duty Cycle (%)";
        const QString ranges = "PatListT 0-8 | 9.950 - 14.50G first: 1.244 - 1.813G "
                               "1244160-1813000 2.488 - 3.325G 2488320-3625000 4.975 - 7.250G "
                               "4975000-7250000 9.950 - 14.50G 9953280-14500000";
        const QString rest =
            " | step 1 | dBm 32pt | " + transceiver + " EyeButton (opens the wavelength dialog)";
        QTest::newRow("NanoTa") << 50077041 << ranges + rest;
        QTest::newRow("NanoTb after NanoTa")
            << 50077063 << ranges + " 19.90 - 29.00G 19900000-29000000" + rest;
    }
    void modelConfiguration()
    {
        if (data<int>("code"))
            w->instrument()->setModel(bert::modelByCode(data<int>("code")));
        QTEST(configuration(w.get()), "configuration");
    }

    // The About box at the size it opens at: the version and the four models
    // a user looks for, the licence text, and the build line a user quotes in
    // a problem report.
    void aboutBox()
    {
        SimBench b;
        QVERIFY(b.startLive("Corvane NanoTb"));
        AboutBx *box = about(*b.w);
        QVERIFY(box->isVisible() && !box->isModal());
        QCOMPARE(box->windowTitle(), QString("About"));
        QCOMPARE(box->size(), QSize(561, 361));
        const QString text = richText(box, "label");
        QVERIFY2(text.startsWith("Corvane family of bit-error-rate testers, V 2.61\n"),
                 qPrintable(text));
        for (const char *model : {"Corvane NanoT with SFP+ tunable (CVN-2941)",
                                  "Corvane Nano with SFP+ tunable (CVN-0411)",
                                  "Corvane Nano Tera (CVN-1012)", "Corvane Nano Span (CVN-0113)"})
            QVERIFY2(text.contains(model), model);
        const QString program = QString("Corvane 2.61 \u00b7 Qt ") + qVersion();
        // With an instrument connected, its list entry on one line.
        QVERIFY2(look(box, "BuildTxt")
                     .startsWith(program + " \u00b7 " + b.portName() + ": Corvane NanoTb SN "),
                 qPrintable(look(box, "BuildTxt")));
        QVERIFY(!look(box, "BuildTxt").contains('\n'));
        b.w->on_DisConectBtn_clicked();
        QCOMPARE(look(about(*b.w), "BuildTxt"), program);

        const QStringList licence = control<QTextEdit>(box, "LicenseTB")->toPlainText().split('\n');
        QCOMPARE(licence.first(), QString("                   GNU LESSER GENERAL PUBLIC LICENSE"));
        QCOMPARE(licence.last(), QString("Library."));
        QVERIFY(control<QTextEdit>(box, "LicenseTB")->isReadOnly());
    }
};

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
