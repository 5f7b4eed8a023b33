// The keyboard, window by window: a main window opens with the focus on the
// port list, Tab goes through every control in reading order and comes back
// to where it started (no control keeps it), the control with the focus shows
// a mark whatever the style, and passing through the rate field sends nothing
// to the instrument.
#include "about/aboutbx.h"
#include "eye/eye.h"
#include "stats/statswindow.h"
#include "support/simbench.h"
#include "wavelength/wavelengthdb.h"
#include "xcvr/xcvrutils.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QStyle>
#include <QStyleFactory>

namespace {
// A control as the tables name it: its object name, else its text (the
// buttons of a button box).
QString nameOf(const QWidget *w)
{
    if (!w)
        return QStringLiteral("<none>");
    if (!w->objectName().isEmpty() && !w->objectName().startsWith("qt_"))
        return w->objectName();
    if (auto *b = qobject_cast<const QAbstractButton *>(w))
        return b->text().remove('&');
    return QStringLiteral("<%1>").arg(w->metaObject()->className());
}
// The controls of a window that a user can reach: shown, enabled, taking the
// focus by Tab, not inside another window; sorted by name.
QStringList reachable(const QWidget *window)
{
    QStringList names;
    for (QWidget *w : window->findChildren<QWidget *>())
        if (w->window() == window && w->isVisible() && w->isEnabled() &&
            (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy())
            names << nameOf(w);
    names.sort();
    return names;
}
QWidget *focused()
{
    return QApplication::focusWidget();
}
void press(Qt::Key key)
{
    QTest::keyClick(focused(), key);
}
// Whether a control shows the focus mark: its left edge, half-way down, in
// the highlight colour of its palette.
bool marked(QWidget *w)
{
    const QImage shot = w->grab().toImage();
    return shot.pixelColor(0, shot.height() / 2) ==
           w->palette().color(QPalette::Active, QPalette::Highlight);
}
// The window under test, shown and active with the focus inside it.
bool activate(QWidget *window)
{
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window) &&
           QTest::qWaitFor([window] { return focused() && focused()->window() == window; });
}

const QByteArray Sfp = "Corvane NanoTb", Xfp = "Corvane Tera", Span = "Corvane Nano Span";
} // namespace

class TstKeyboard : public QObject
{
    Q_OBJECT
    BenchPool pool;

    // The window of a row: the main window (offline, or live for a model) or
    // one that opens from it; null when it did not open.
    QWidget *open(const QByteArray &model, const QString &which, SimBench **bench)
    {
        *bench = nullptr;
        if (model.isEmpty())
            return which == "main" ? pool.offline() : nullptr;
        SimBench &b = pool.live(model);
        *bench = &b;
        MainWindow *w = b.w.get();
        if (which == "main")
            return w;
        QObject *before = nullptr;
        if (which == "eye")
            w->on_EyeButton_clicked(), before = w->findChildren<Eye *>().value(0);
        else if (which == "utilities")
            w->on_XCVRBtn_clicked(), before = w->findChildren<XCVRUtils *>().value(0);
        else if (which == "wavelength")
            w->on_WaveLengBtn_clicked(), before = w->findChildren<WavelengthDB *>().value(0);
        else if (which == "about")
            w->on_AboutBtn_clicked(), before = w->findChildren<AboutBx *>().value(0);
        else if (which == "statistics")
            w->showStatistics(), before = w->findChildren<StatsWindow *>().value(0);
        return qobject_cast<QWidget *>(before);
    }

private slots:
    void cleanupTestCase() { pool.clear(); }

    // A main window opens with the focus, and its mark, on the port list:
    // picking an instrument is the first thing to do.
    void focusAtOpening()
    {
        portcatalog::clearExtras();
        device::InstrumentPool own;
        MainWindow w(&own);
        QVERIFY(QSignalSpy(&w, &MainWindow::portsSearched).wait(5000));
        QVERIFY(activate(&w));
        QCOMPARE(nameOf(focused()), QString("PortSelBox"));
        QVERIFY(marked(focused()));
    }

    // Tab from the first control of a window's reading order, three times
    // round: every control it reaches, in order, each once a round, with the
    // focus mark on it and on nothing it left; nothing else of the window
    // can take the focus. Passing through the rate field sends no rate.
    void tabRound_data()
    {
        columns<QByteArray, QString, QStringList>({"model", "window", "round"});
        const QStringList bert{"StatsBtn", "ErrorReset"};
        const QStringList transceiver{"TxEnBtn", "WaveLengBtn", "XCVRBtn"};
        QTest::newRow("main window, no instrument")
            << QByteArray() << "main"
            << bert + QStringList{"RateDial", "RateSetting", "StandRates", "SliderPattern",
                                  "CustPatBx"} +
                   transceiver + QStringList{"RefreshBtn", "PortSelBox", "LogBtn", "AboutBtn"};
        QTest::newRow("main window, NanoTb")
            << Sfp << "main"
            << bert + QStringList{"RateDial", "RateRange", "RateSetting", "StandRates",
                                  "SliderPattern", "EyeButton"} +
                   transceiver + QStringList{"DisConectBtn", "LogBtn", "AboutBtn"};
        QTest::newRow("main window, Nano Span")
            << Span << "main"
            << bert + QStringList{"RateDial", "RateSetting", "StandRates", "SliderPattern",
                                  "CustPatBx", "TxEnBtn", "DisConectBtn", "LogBtn", "AboutBtn"};
        QTest::newRow("eye scan")
            << Sfp << "eye"
            << QStringList{"PlotGain", "CopyPlot", "EyeScale", "ScanBtn", "PlotDeriv", "PlotBW",
                           "PlotInvert"};
        const QStringList registers{"ReadXCVRBtn", "TestXCVRBtn",   "RegTypeBx",
                                    "AddressBx",   "RegValueBx",    "ReadByteBtn",
                                    "TestXCVRBtn_3", "FactoryBtn"};
        const QStringList clear{"ClrPage", "ClrStartAddr", "ClrEndAddr", "ClrWrData",
                                "ClearXcvrBtn", "XCVRResutsBox"};
        QTest::newRow("utilities, SFP") << Sfp << "utilities" << registers + clear;
        QTest::newRow("utilities, XFP: the password first")
            << Xfp << "utilities"
            << registers + QStringList{"EEPw7B", "EEPw7C", "EEPw7D", "EEPw7E"} + clear;
        QTest::newRow("wavelength") << Sfp << "wavelength"
                                    << QStringList{"ChannelDial", "WLDial", "OK", "Cancel"};
        QTest::newRow("about") << Sfp << "about" << QStringList{"LicenseTB", "BuildTxt"};
        QTest::newRow("statistics")
            << Sfp << "statistics"
            << QStringList{"TargetBox", "GoalBox", "StopLogBx", "ExportCsvBtn", "SavePlotBtn"};
    }
    void tabRound()
    {
        QFETCH(QStringList, round);
        SimBench *b;
        QWidget *window = open(data<QByteArray>("model"), data<QString>("window"), &b);
        QVERIFY(window);
        if (auto *save = control(window, "SavePlotBtn"); save && !save->isEnabled())
            round.removeAll("SavePlotBtn"); // a build without the plot
        QVERIFY(activate(window));
        const qint64 from = b ? b->logSize() : 0;
        for (int i = 0; i <= round.size() && nameOf(focused()) != round.first(); ++i)
            press(Qt::Key_Tab);
        QCOMPARE(nameOf(focused()), round.first());
        QVERIFY2(marked(focused()), qPrintable(round.first()));

        QStringList seen, unmarked;
        for (int i = 0; i < 3 * round.size(); ++i) {
            QWidget *left = focused();
            press(Qt::Key_Tab);
            seen << nameOf(focused());
            if (!marked(focused()) || marked(left))
                unmarked << nameOf(focused()) + " after " + nameOf(left);
        }
        QCOMPARE(seen.join(' '), (round.mid(1) + round + round + round.mid(0, 1)).join(' '));
        QCOMPARE(unmarked, QStringList());
        QStringList all = round;
        all.sort();
        QCOMPARE(reachable(window), all);
        if (b && data<QString>("window") == "main") {
            QVERIFY(b->waitForRequests(2));
            for (const QByteArray &line : b->commands(from))
                QVERIFY2(!line.startsWith("setrate"), line.constData());
        }
        if (data<QString>("window") != "main") {
            QPointer<QWidget> closing = window;
            window->close();
            QTRY_VERIFY(!closing);
        }
    }

    // A rate typed in the field and left with Tab is sent once. (A Tab that
    // passes through sends nothing: tabRound; Return: tst_bert's rateCommands.)
    void rateField()
    {
        SimBench &b = pool.live(Sfp);
        MainWindow *w = b.w.get();
        QVERIFY(activate(w));
        auto *field = control<QDoubleSpinBox>(w, "RateSetting");
        for (int i = 0; i < 20 && focused() != field; ++i)
            press(Qt::Key_Tab);
        QCOMPARE(focused(), field);
        const qint64 from = b.logSize();
        press(Qt::Key_End);
        for (int i = 0; i < 12; ++i)
            press(Qt::Key_Backspace);
        QTest::keyClicks(field, "9953.28");
        press(Qt::Key_Tab);
        QCOMPARE(nameOf(focused()), QString("StandRates"));
        QVERIFY(b.waitForRequests(3));
        QCOMPARE(b.commands(from), QList<QByteArray>{"setrate 9953280"});
    }

    // A command-link button shows the mark when it has the focus under the
    // styles that draw no focus frame of their own on it.
    void commandLinkButtons_data()
    {
        columns<QString, QString, QStringList>({"style", "window", "buttons"});
        for (const QString style : {"Fusion", "Windows"}) {
            QTest::addRow("main window, %s", qPrintable(style))
                << style << "main"
                << QStringList{"ErrorReset", "EyeButton", "TxEnBtn", "WaveLengBtn", "XCVRBtn",
                               "DisConectBtn", "LogBtn", "AboutBtn"};
            QTest::addRow("utilities, %s", qPrintable(style))
                << style << "utilities"
                << QStringList{"ReadXCVRBtn", "TestXCVRBtn", "ReadByteBtn", "TestXCVRBtn_3",
                               "FactoryBtn", "ClearXcvrBtn"};
            QTest::addRow("eye scan, %s", qPrintable(style))
                << style << "eye" << QStringList{"ScanBtn", "CopyPlot"};
        }
    }
    void commandLinkButtons()
    {
        QStyle *style = QStyleFactory::create(data<QString>("style"));
        QVERIFY(style);
        QApplication::setStyle(style);
        SimBench *b;
        QWidget *window = open(Sfp, data<QString>("window"), &b);
        QVERIFY(window);
        QVERIFY(activate(window));
        QStringList unmarked;
        for (const QString &name : data<QStringList>("buttons")) {
            auto *button = control<QAbstractButton>(window, name);
            QVERIFY2(button && button->isVisible(), qPrintable(name));
            window->setFocus(Qt::OtherFocusReason); // none of the window's controls
            const QImage without = button->grab().toImage();
            button->setFocus(Qt::TabFocusReason);
            QCOMPARE(focused(), button);
            const QImage with = button->grab().toImage();
            if (with == without || !marked(button))
                unmarked << name + (with == without ? " (unchanged)" : " (no mark)");
            window->setFocus(Qt::OtherFocusReason);
            QVERIFY(!marked(button));
        }
        QCOMPARE(unmarked.join(", "), QString());
        if (window != b->w.get()) {
            QPointer<QWidget> closing = window;
            window->close();
            QTRY_VERIFY(!closing);
        }
    }
};

QTEST_MAIN(TstKeyboard)
#include "tst_keyboard.moc"
