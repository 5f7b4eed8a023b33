// The transceiver utilities end to end: the dialog against the simulated
// instrument over a pty, checked by what the user sees and what reaches the
// wire.
#include "support/simbench.h"
#include "xcvr/xcvrutils.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QTextEdit>

namespace {
const QByteArray Sfp = "Corvane NanoTb";
const QByteArray Xfp = "Corvane Tera";
const QByteArray NoCage = "Corvane Nano Span";

XCVRUtils *openUtilities(SimBench &b)
{
    b.w->on_XCVRBtn_clicked(); // the button's slot (the button is hidden on some models)
    const QList<XCVRUtils *> all = b.w->findChildren<XCVRUtils *>();
    return all.isEmpty() ? nullptr : all.last();
}

QTextEdit *box(XCVRUtils *d)
{
    return control<QTextEdit>(d, "XCVRResutsBox");
}
QString boxText(XCVRUtils *d)
{
    return box(d)->toPlainText();
}
void click(XCVRUtils *d, const char *button)
{
    control<QAbstractButton>(d, button)->click();
}
void type(XCVRUtils *d, const char *field, const QString &text)
{
    control<QLineEdit>(d, field)->setText(text);
}

bool isRequest(const QByteArray &line)
{
    return line == "r" || line == "rB";
}

// Waits until the measurement cycle has asked for `n` more records (on either side).
bool waitForPolling(SimBench &b, int n = 3)
{
    const qint64 from = b.logSize();
    return QTest::qWaitFor(
        [&] {
            int got = 0;
            for (const QByteArray &line : b.lines(from))
                got += isRequest(line);
            return got >= n;
        },
        5000);
}

// What the dialog sent since `from`: the measurement requests left out and a
// command repeated back to back (a read-back retried) counted once.
QList<QByteArray> commandsSince(const SimBench &b, qint64 from)
{
    QList<QByteArray> out;
    for (const QByteArray &line : b.lines(from))
        if (!isRequest(line) && (out.isEmpty() || out.last() != line))
            out << line;
    return out;
}

// Milliseconds (instrument clock) from the first `first` to the next
// measurement request after it; -1 when there is none.
qint64 msUntilNextRequest(const SimBench &b, qint64 from, const QByteArray &first)
{
    qint64 at = -1;
    for (const sim::LoggedCommand &c : b.sim->commandLog()) {
        if (c.index < from)
            continue;
        if (at < 0 && c.line == first)
            at = c.ms;
        else if (at >= 0 && c.line == "r")
            return c.ms - at;
    }
    return -1;
}

bool idle(SimBench &b)
{
    return !b.link()->busy();
}
} // namespace

class TstXcvr : public QObject
{
    Q_OBJECT
    BenchPool pool;

    // A live window on side A with no utilities open and the line free.
    SimBench &bench(const QByteArray &model)
    {
        SimBench &b = pool.live(model);
        qDeleteAll(b.w->findChildren<XCVRUtils *>());
        b.link()->setSide('A');
        if (!QTest::qWaitFor([&] { return idle(b) && b.link()->pollPending(); }, 5000))
            qWarning("the line did not come back");
        return b;
    }

private slots:
    void cleanupTestCase() { pool.clear(); }

    void setUpByTransceiver_data()
    {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<QStringList>("types");
        QTest::addColumn<bool>("password");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QByteArray>("dump");
        QTest::addColumn<QString>("shown"); // start of the dump as the box shows it
        QTest::newRow("SFP") << Sfp << QStringList{"Diag", "Info"} << false << "A2"
                             << "F7" << QByteArray("SFP") << "A0 00: 03 04 07 20";
        QTest::newRow("XFP") << Xfp << QStringList{"Diag"} << true << "02"
                             << "FF" << QByteArray("XFP") << "Lower 00: 06 00";
        QTest::newRow("no cage") << NoCage << QStringList{"Diag"} << true << "02"
                                 << "FF" << QByteArray() << "";
    }
    void setUpByTransceiver()
    {
        QFETCH(QByteArray, model);
        QFETCH(QStringList, types);
        QFETCH(QByteArray, dump);
        QFETCH(QString, shown);
        SimBench &b = bench(model);
        XCVRUtils *d = openUtilities(b);
        QVERIFY(d && d->isVisible());
        QCOMPARE(d->windowTitle(), QString("Transceiver Utilities"));
        QCOMPARE(d->size(), QSize(529, 570));
        QCOMPARE(d->minimumSize(), d->maximumSize());
        auto *regType = control<QComboBox>(d, "RegTypeBx");
        QStringList items;
        for (int i = 0; i < regType->count(); ++i)
            items << regType->itemText(i);
        QCOMPARE(items, types);
        QCOMPARE(regType->currentIndex(), 0);
        for (const char *name : {"label_3", "EEPw7B", "EEPw7C", "EEPw7D", "EEPw7E"})
            QTEST(control(d, name)->isVisible(), "password");
        QTEST(control<QLineEdit>(d, "ClrPage")->text(), "page");
        QTEST(control<QLineEdit>(d, "ClrEndAddr")->text(), "end");
        QCOMPARE(control<QProgressBar>(d, "progressBar")->value(), 100);

        const qint64 from = b.logSize();
        click(d, "ReadXCVRBtn");
        if (dump.isEmpty()) {
            QVERIFY(boxText(d).startsWith("No transceiver port is available on this instrument"));
            QVERIFY(boxText(d).endsWith(
                "No transceiver port is available on this instrument. Nothing was sent."));
            QVERIFY(waitForPolling(b)); // polling never stopped
            QCOMPARE(commandsSince(b, from), QList<QByteArray>());
            return;
        }
        QVERIFY(boxText(d).startsWith("Clearing the Transceiver:")); // the help text
        QTRY_VERIFY_WITH_TIMEOUT(boxText(d).startsWith(shown), 8000);
        QCOMPARE(commandsSince(b, from), QList<QByteArray>{dump});
        QCOMPARE(control<QProgressBar>(d, "progressBar")->value(), 100);
        QVERIFY(waitForPolling(b)); // polling resumed
        // The reply was read 100 steps of 20 ms after the command, with no
        // measurement request in between.
        QVERIFY(msUntilNextRequest(b, from, dump) >= 2000);
    }

    void sideKeywords_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<char>("side");
        QTest::newRow("B") << "Side=B"
                           << "SideB Selected" << 'B';
        QTest::newRow("A") << "Side=A"
                           << "SideA Selected" << 'A';
        QTest::newRow("anywhere") << "first line Side=B\nlast line"
                                  << "SideB Selected" << 'B';
        QTest::newRow("A wins") << "Side=B\nSide=A"
                                << "SideA Selected" << 'A';
        QTest::newRow("case matters") << "side=a\nSIDE=A\nSide=B"
                                      << "SideB Selected" << 'B';
    }
    void sideKeywords()
    {
        QFETCH(QString, typed);
        QFETCH(QString, confirmation);
        QFETCH(char, side);
        SimBench &b = bench(Sfp);
        b.link()->setSide(side == 'A' ? 'B' : 'A');
        XCVRUtils *d = openUtilities(b);
        box(d)->setPlainText(typed);
        const qint64 from = b.logSize();
        click(d, "FactoryBtn");
        QCOMPARE(boxText(d), typed + "\n" + confirmation);
        QCOMPARE(b.link()->side(), side);
        QCOMPARE(d->focusWidget(), static_cast<QWidget *>(box(d)));
        QVERIFY(waitForPolling(b));
        QCOMPARE(commandsSince(b, from), QList<QByteArray>()); // the keywords are never sent
        b.link()->setSide('A');
    }

    // Side B as the user selects it: commands through the command sender carry
    // the letter; the single read and the console line go out as they are.
    void sideBOnTheWire()
    {
        SimBench &b = bench(Sfp);
        XCVRUtils *d = openUtilities(b);
        box(d)->setPlainText("Side=B");
        click(d, "FactoryBtn");
        const qint64 from = b.logSize();
        click(d, "ReadXCVRBtn");
        QTRY_VERIFY_WITH_TIMEOUT(idle(b) && boxText(d).startsWith("A0 00:"), 8000);
        type(d, "AddressBx", "14");
        control<QComboBox>(d, "RegTypeBx")->setCurrentIndex(1);
        click(d, "ReadByteBtn");
        QTRY_VERIFY(idle(b));
        box(d)->setPlainText("RdSFP I 15");
        click(d, "FactoryBtn");
        QTRY_VERIFY(idle(b) && boxText(d).endsWith("A0 15 = 4f"));
        QCOMPARE(commandsSince(b, from), (QList<QByteArray>{"SFPB", "RdSFP I 14", "RdSFP I 15"}));
        QCOMPARE(control<QLineEdit>(d, "RegValueBx")->text(), QString("43")); // 'C'
        b.link()->setSide('A');
    }

    void singleRegister_data()
    {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<int>("typeIndex");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QList<QByteArray>>("wire");
        QTest::addColumn<QString>("shown"); // the value box after the read
        QTest::newRow("SFP Diag") << Sfp << 0 << "80"
                                  << "5a" << QList<QByteArray>{"WrSFPB D 80 5a", "RdSFP D 80"}
                                  << "5a";
        QTest::newRow("SFP Diag, one digit")
            << Sfp << 0 << "9"
            << "3C" << QList<QByteArray>{"WrSFPB D 9 3C", "RdSFP D 9"} << "3c";
        QTest::newRow("SFP Info, read-only")
            << Sfp << 1 << "14"
            << "00" << QList<QByteArray>{"WrSFPB I 14 00", "RdSFP I 14"} << "43";
        QTest::newRow("XFP") << Xfp << 0 << "10"
                             << "c3" << QList<QByteArray>{"WrXFPB 10 c3", "RdXFP 10"} << "c3";
    }
    void singleRegister()
    {
        QFETCH(QByteArray, model);
        QFETCH(QString, address);
        QFETCH(QString, value);
        SimBench &b = bench(model);
        XCVRUtils *d = openUtilities(b);
        QFETCH(int, typeIndex);
        control<QComboBox>(d, "RegTypeBx")->setCurrentIndex(typeIndex);
        b.link()->setSide('B');
        type(d, "AddressBx", address);
        type(d, "RegValueBx", value);
        const qint64 from = b.logSize();
        click(d, "TestXCVRBtn_3");  // "Wr"
        QVERIFY(!b.link()->busy()); // the write does not take the line
        type(d, "RegValueBx", "00");
        click(d, "ReadByteBtn"); // "Rd"
        QTRY_VERIFY(idle(b));
        QTEST(commandsSince(b, from), "wire");
        QTEST(control<QLineEdit>(d, "RegValueBx")->text(), "shown");
        QVERIFY(waitForPolling(b));
        b.link()->setSide('A');
    }

    void clear_data()
    {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QList<QByteArray>>("wire");
        QTest::addColumn<QList<int>>("progress"); // in the order first shown
        const QList<int> oneRegister{0, 12, 25, 37, 50, 62, 75, 87, 100};
        QTest::newRow("SFP one register")
            << Sfp << "A2"
            << "80"
            << "80"
            << "00"
            << QStringList{"Clearing Transceiver Registers with 00", "Page A2, Reg 80 = 00 pass(0)"}
            << QList<QByteArray>{"WrSFP D 80 00", "RdSFP D 80"} << oneRegister;
        QTest::newRow("SFP a2, register 0A")
            << Sfp << "a2"
            << "0A"
            << "0A"
            << "5A"
            << QStringList{"Clearing Transceiver Registers with 5A", "Page a2, Reg 0a = 5a pass(0)"}
            << QList<QByteArray>{"WrSFP D a 5A", "RdSFP D a"} << oneRegister;
        QTest::newRow("SFP FF") << Sfp << "A2"
                                << "81"
                                << "81"
                                << "FF"
                                << QStringList{"Clearing Transceiver Registers with FF",
                                               "Page A2, Reg 81 = ff pass(0)"}
                                << QList<QByteArray>{"WrSFP D 81 FF", "RdSFP D 81"} << oneRegister;
        QTest::newRow("SFP into the read-only end of A2")
            << Sfp << "A2"
            << "F7"
            << "F8"
            << "00"
            << QStringList{"Clearing Transceiver Registers with 00", "Page A2, Reg f7 = 00 pass(0)",
                           "Page A2, Reg f8 = 43 ***FAIL***"}
            << QList<QByteArray>{"WrSFP D f7 00", "RdSFP D f7", "WrSFP D f8 00", "RdSFP D f8"}
            << QList<int>{0, 9, 18, 27, 36, 45, 54, 63, 72, 81, 90, 100};
        QTest::newRow("SFP serial ID")
            << Sfp << "A0"
            << "00"
            << "00"
            << "00"
            << QStringList{"Clearing Transceiver Registers with 00",
                           "Page A0, Reg 00 = 03 ***FAIL***"}
            << QList<QByteArray>{"WrSFP I 0 00", "RdSFP I 0"} << oneRegister;
        QTest::newRow("end below start")
            << Sfp << "A2"
            << "80"
            << "7F"
            << "00" << QStringList{"Clearing Transceiver Registers with 00"} << QList<QByteArray>{}
            << QList<int>{0};
        QTest::newRow("XFP user EEPROM")
            << Xfp << "02"
            << "80"
            << "80"
            << "00"
            << QStringList{"Clearing Transceiver Registers with 00", "Page 02, Reg 80 = 00 pass(0)"}
            << QList<QByteArray>{"WrXFP 7B 00", "WrXFP 7C 00", "WrXFP 7D 10", "WrXFP 7E 11",
                                 "WrXFP 7F 02", "WrXFP 80 00", "RdXFP 80"}
            << oneRegister;
        QTest::newRow("XFP serial ID page")
            << Xfp << "01"
            << "80"
            << "80"
            << "00"
            << QStringList{"Clearing Transceiver Registers with 00",
                           "Page 01, Reg 80 = 06 ***FAIL***"}
            << QList<QByteArray>{"WrXFP 7B 00", "WrXFP 7C 00", "WrXFP 7D 10", "WrXFP 7E 11",
                                 "WrXFP 7F 01", "WrXFP 80 00", "RdXFP 80"}
            << oneRegister;
    }
    void clear()
    {
        QFETCH(QByteArray, model);
        QFETCH(QStringList, shown);
        QFETCH(QList<QByteArray>, wire);
        SimBench &b = bench(model);
        XCVRUtils *d = openUtilities(b);
        QFETCH(QString, page);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, data);
        type(d, "ClrPage", page);
        type(d, "ClrStartAddr", start);
        type(d, "ClrEndAddr", end);
        type(d, "ClrWrData", data);
        auto *progress = control<QProgressBar>(d, "progressBar");
        QList<int> seen;
        connect(progress, &QProgressBar::valueChanged, d, [&](int v) {
            if (!seen.contains(v))
                seen << v;
        });
        const qint64 from = b.logSize();
        click(d, "ClearXcvrBtn");
        QVERIFY(b.link()->holds(d));
        QTRY_VERIFY_WITH_TIMEOUT(idle(b), 15000);
        QCOMPARE(boxText(d).split('\n'), shown);
        QCOMPARE(commandsSince(b, from), wire);
        QTEST(seen, "progress");
        if (shown.last().endsWith("***FAIL***")) {
            // After the twelfth read-back that did not show the value.
            QVERIFY(b.count(wire.last(), from) >= 12);
        }
        QVERIFY(waitForPolling(b)); // polling resumed
    }

    // Nothing is sent for inputs the clear cannot use; polling goes on.
    void clearRefused_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("shown");
        QTest::newRow("page A1") << "A1"
                                 << "00"
                                 << "Invalid SFP Page. Choose A0 or A2";
        QTest::newRow("page 02") << "02"
                                 << "00"
                                 << "Invalid SFP Page. Choose A0 or A2";
        QTest::newRow("one-digit data")
            << "A2"
            << "0"
            << "Enter the data to write as two hexadecimal digits. Nothing was sent.";
    }
    void clearRefused()
    {
        QFETCH(QString, page);
        QFETCH(QString, data);
        SimBench &b = bench(Sfp);
        XCVRUtils *d = openUtilities(b);
        type(d, "ClrPage", page);
        type(d, "ClrWrData", data);
        const qint64 from = b.logSize();
        click(d, "ClearXcvrBtn");
        QTEST(boxText(d).split('\n').last(), "shown");
        QVERIFY(!b.link()->busy());
        QVERIFY(waitForPolling(b));
        QCOMPARE(commandsSince(b, from), QList<QByteArray>());
    }

    // A silent instrument: every read-back comes up short, yet the clear ends
    // with FAIL lines and hands the line back.
    void clearAgainstSilentInstrument()
    {
        SimBench &b = bench(Sfp);
        XCVRUtils *d = openUtilities(b);
        type(d, "ClrStartAddr", "80");
        type(d, "ClrEndAddr", "81");
        b.engine([](sim::Engine &e) { e.setFault(sim::Fault::NoReply); });
        const qint64 from = b.logSize();
        click(d, "ClearXcvrBtn");
        QTRY_VERIFY_WITH_TIMEOUT(idle(b), 15000);
        b.engine([](sim::Engine &e) { e.setFault(sim::Fault::None); });
        QCOMPARE(boxText(d).split('\n'), (QStringList{"Clearing Transceiver Registers with 00",
                                                      "Page A2, Reg 80 ***FAIL*** (no reply)",
                                                      "Page A2, Reg 81 ***FAIL*** (no reply)"}));
        QCOMPARE(b.count("RdSFP D 80", from), 12);
        QCOMPARE(b.count("RdSFP D 81", from), 12);
        QCOMPARE(control<QProgressBar>(d, "progressBar")->value(), 100);
        QVERIFY(waitForPolling(b));
        QTRY_VERIFY_WITH_TIMEOUT(readoutsLive(b), 5000);
    }

    void console_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<QByteArray>>("wire");
        QTest::addColumn<QString>("reply"); // the box's last line afterwards
        QTest::newRow("last line") << "Side=C\nRdSFP I 14\n\n"
                                   << QList<QByteArray>{"RdSFP I 14"} << "A0 14 = 43";
        QTest::newRow("as typed, spaces and all")
            << "first\n  RdSFP I 14 " << QList<QByteArray>{"  RdSFP I 14 "} << "ERR";
        QTest::newRow("nothing typed") << "" << QList<QByteArray>{} << "";
    }
    void console()
    {
        QFETCH(QString, typed);
        SimBench &b = bench(Sfp);
        XCVRUtils *d = openUtilities(b);
        box(d)->setPlainText(typed);
        const qint64 from = b.logSize();
        click(d, "FactoryBtn");
        QVERIFY(b.link()->holds(d) || typed.isEmpty());
        QTRY_VERIFY(idle(b));
        QVERIFY(waitForPolling(b));
        QTEST(commandsSince(b, from), "wire");
        QTEST(boxText(d).split('\n').last(), "reply");
    }

    // The instrument's report of the loop-back test is appended (about 20 s).
    void loopbackTest()
    {
        SimBench &b = bench(Sfp);
        XCVRUtils *d = openUtilities(b);
        const qint64 from = b.logSize();
        click(d, "TestXCVRBtn");
        QTRY_VERIFY_WITH_TIMEOUT(boxText(d).startsWith("Loopback test: PASS\nSide: A\n"), 30000);
        QCOMPARE(commandsSince(b, from), QList<QByteArray>{"test"});
        QCOMPARE(control<QProgressBar>(d, "progressBar")->value(), 100);
        QVERIFY(waitForPolling(b));
        QVERIFY(msUntilNextRequest(b, from, "test") >= 20000);
    }

    // One operation at a time, in this window and across windows.
    void secondOperationRefused()
    {
        SimBench &b = bench(Sfp);
        XCVRUtils *d = openUtilities(b);
        const qint64 from = b.logSize();
        click(d, "ClearXcvrBtn"); // 80..F7: several seconds
        QTRY_VERIFY(b.count("WrSFP D 80 00", from) == 1);
        click(d, "ReadXCVRBtn");
        click(d, "TestXCVRBtn_3"); // "Wr" of 00 to register 00
        click(d, "ReadByteBtn");
        const QStringList lines = boxText(d).split('\n');
        QVERIFY(lines.contains("Busy: the register clear is still running. Nothing was sent."));
        QVERIFY(lines.contains(
            "Busy: the register clear is still running. The register was not written."));
        // Another window's operation holds the line too.
        XCVRUtils *other = openUtilities(b);
        click(other, "ReadXCVRBtn");
        QCOMPARE(boxText(other).split('\n').last(),
                 QString("Busy: the register clear holds the instrument. Nothing was sent."));
        d->close();
        QVERIFY(waitForPolling(b));
        const QList<QByteArray> sent = b.lines(from);
        QVERIFY(!sent.contains("SFP"));
        QVERIFY(!sent.contains("WrSFP D 00 00"));
        QVERIFY(!sent.contains("RdSFP D 00"));
    }

    // Closing the window mid-clear ends the clear and polling resumes.
    void closingMidClear_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("close") << false;
        QTest::newRow("Esc") << true;
    }
    void closingMidClear()
    {
        QFETCH(bool, escape);
        SimBench &b = bench(Sfp);
        XCVRUtils *d = openUtilities(b);
        const qint64 from = b.logSize();
        click(d, "ClearXcvrBtn");
        QTRY_VERIFY(b.count("RdSFP D 81", from) >= 1);
        if (escape)
            QTest::keyClick(d, Qt::Key_Escape);
        else
            d->close();
        QVERIFY(!d->isVisible());
        QVERIFY(idle(b));
        QVERIFY(waitForPolling(b));
        const qint64 after = b.logSize();
        QTest::qWait(300); // proves that no further step of the clear runs
        QCOMPARE(commandsSince(b, after), QList<QByteArray>());
    }

    // The instrument vanishes during a dump: the dialog says why, and a new
    // operation says that nothing is connected.
    void instrumentLostMidDump()
    {
        SimBench b;
        QVERIFY(b.startLive(Sfp));
        XCVRUtils *d = openUtilities(b);
        click(d, "ReadXCVRBtn");
        QTRY_VERIFY(b.count("SFP") == 1);
        b.sim->unplug();
        QTRY_VERIFY(boxText(d).contains(
            "The register dump stopped: Connection to the instrument was lost"));
        click(d, "ReadByteBtn");
        QCOMPARE(boxText(d).split('\n').last(),
                 QString("No instrument is connected. Nothing was sent."));
    }
};

QTEST_MAIN(TstXcvr)
#include "tst_xcvr.moc"
