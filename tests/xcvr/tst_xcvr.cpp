// The transceiver utilities end to end, for an SFP and an XFP instrument and
// one without a cage: what the dialog shows and what reaches the wire.
#include "support/simbench.h"
#include "xcvr/xcvrutils.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QTextEdit>
#include <atomic>
#include <thread>

using Lines = QList<QByteArray>;

namespace {
const QByteArray Sfp = "Corvane NanoTb", Xfp = "Corvane Tera", NoCage = "Corvane Nano Span";

QString boxText(const XCVRUtils *d)
{
    return control<QTextEdit>(d, "XCVRResutsBox")->toPlainText();
}
void click(const XCVRUtils *d, const char *button)
{
    control<QAbstractButton>(d, button)->click();
}

// Spoils the instrument's next `times` replies with garbage as soon as `line`
// has reached it (a thread watches its log: the replies that follow within
// milliseconds are spoiled, none before).
struct GarbleAfter {
    std::atomic<bool> stop{false};
    std::thread thread;
    GarbleAfter(SimBench *b, const QByteArray &line, int times, qint64 from)
        : thread([=] {
              while (!stop && !b->engine([&](sim::Engine &e) {
                  for (const sim::LoggedCommand &c : e.commandLog())
                      if (c.index >= from && c.line == line)
                          return e.setFault(sim::Fault::Garbage, times), true;
                  return false;
              }))
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
          })
    {
    }
    ~GarbleAfter() { stop = true, thread.join(); }
};
} // namespace

class TstXcvr : public QObject
{
    Q_OBJECT
    BenchPool pool;

    // A new dialog of a live window on side A, with the line free; null when
    // the line stays taken.
    XCVRUtils *open(const QByteArray &model, SimBench **bench)
    {
        SimBench &b = pool.live(model);
        qDeleteAll(b.w->findChildren<XCVRUtils *>());
        b.instrument()->setSide('A');
        *bench = &b;
        if (!QTest::qWaitFor([&] { return !b.instrument()->isBusy() && b.instrument()->isPolling(); }, 5000))
            return nullptr;
        b.w->on_XCVRBtn_clicked(); // the button's slot: the button is hidden on some models
        return b.w->findChildren<XCVRUtils *>().value(0);
    }

    // One press of a button with the fields as typed: what reaches the wire (a
    // command repeated back to back, a read-back retried, counted once), the
    // end of the results box, the progress bar's values in the order first
    // shown; polling goes on afterwards.
    static void table()
    {
        // typed: field=text;...
        columns<QByteArray, char, QString, QByteArray, Lines, QString, QList<int>>(
            {"model", "side", "typed", "button", "wire", "box", "progress"});
    }

    void operation()
    {
        QFETCH(char, side);
        QFETCH(QString, typed);
        QFETCH(QByteArray, button);
        QFETCH(Lines, wire);
        QFETCH(QString, box);
        SimBench *b;
        XCVRUtils *d = open(data<QByteArray>("model"), &b);
        QVERIFY(d);
        for (const QString &field : typed.split(';', Qt::SkipEmptyParts)) {
            if (auto *edit = d->findChild<QLineEdit *>(field.section('=', 0, 0)))
                edit->setText(field.section('=', 1));
            else if (auto *text = d->findChild<QTextEdit *>(field.section('=', 0, 0)))
                text->setPlainText(field.section('=', 1));
        }
        QList<int> seen{control<QProgressBar>(d, "progressBar")->value()}; // 0: nothing ran yet
        connect(control<QProgressBar>(d, "progressBar"), &QProgressBar::valueChanged, d,
                [&](int v) {
                    if (!seen.contains(v))
                        seen << v;
                });
        const bool silent = typed.endsWith(";silent");
        b->engine(
            [&](sim::Engine &e) { e.setFault(silent ? sim::Fault::NoReply : sim::Fault::None); });
        b->instrument()->setSide(side);
        const qint64 from = b->logSize();
        std::unique_ptr<GarbleAfter> garble; // ";garbled N after LINE"
        if (const int at = typed.indexOf(";garbled "); at >= 0)
            garble = std::make_unique<GarbleAfter>(
                b, typed.mid(at).section(" after ", 1).toLatin1(),
                typed.mid(at + 9).section(' ', 0, 0).toInt(), from);
        click(d, button);
        QTRY_VERIFY_WITH_TIMEOUT(!b->instrument()->isBusy(), 15000);
        garble.reset();
        b->engine([](sim::Engine &e) { e.setFault(sim::Fault::None); });
        QVERIFY(b->waitForRequests(3));
        Lines sent; // a command repeated back to back counted once
        for (const QByteArray &line : b->commands(from))
            if (sent.isEmpty() || sent.last() != line)
                sent << line;
        QCOMPARE(sent, wire);
        const QString text = boxText(d);
        QVERIFY2(text.endsWith(box) || text.startsWith(box), qPrintable(text));
        QFETCH(QList<int>, progress);
        QCOMPARE(seen, progress);
        QCOMPARE(control<QProgressBar>(d, "progressBar")->value(), progress.last());
        if (box.endsWith("***FAIL***")) // after the twelfth read-back
            QVERIFY(b->count(wire.last(), from) >= 12);
        if (box.startsWith("Side")) { // the main window's title says side B
            QCOMPARE(QChar(b->instrument()->side()), box[4]);
            QCOMPARE(b->w->windowTitle().endsWith(" (side B)"), box[4] == 'B');
        } else if (button == "ReadXCVRBtn" && !wire.isEmpty()) // 2000 + 100 ms, less reading time
            QVERIFY(b->after(wire.first(), from).second >= 1900);
    }

private slots:
    void dump_data()
    {
        table();
        const QByteArray dump = "ReadXCVRBtn";
        QList<int> steps;
        for (int i = 0; i <= 100; ++i)
            steps << i;
        // The dump: read 100 steps of 20 ms after the command, shown as it came.
        QTest::newRow("dump SFP, side B")
            << Sfp << 'B' << "" << dump << Lines{"SFPB"} << "A0 00: 03 04 07 20" << steps;
        QTest::newRow("dump XFP, side B")
            << Xfp << 'B' << "" << dump << Lines{"XFPB"} << "Lower 00: 06 00" << steps;
        QTest::newRow("dump, no cage")
            << NoCage << 'A' << "" << dump << Lines()
            << "No transceiver port is available on this instrument. Nothing was sent."
            << QList<int>{0};
    }
    void dump() { operation(); }

    void clear_data()
    {
        table();
        const QByteArray clear = "ClearXcvrBtn";
        // The clear: progress step x 100 / (3 x registers + 5); a FAIL line after
        // the twelfth read-back that does not show the value (read-only), or
        // that finds no reply.
        const QList<int> one{0, 12, 25, 37, 50, 62, 75, 87, 100};
        const QList<int> two{0, 9, 18, 27, 36, 45, 54, 63, 72, 81, 90, 100};
        const QString with = "Clearing Transceiver Registers with ";
        const QString fields = "ClrPage=%1;ClrStartAddr=%2;ClrEndAddr=%3;ClrWrData=%4";
        QTest::newRow("SFP one register") << Sfp << 'A' << fields.arg("A2", "80", "80", "00")
                                          << clear << Lines{"WrSFP D 80 00", "RdSFP D 80"}
                                          << with + "00\nPage A2, Reg 80 = 00 pass(0)" << one;
        QTest::newRow("SFP a2, 0A") << Sfp << 'A' << fields.arg("a2", "0A", "0A", "5A") << clear
                                    << Lines{"WrSFP D a 5A", "RdSFP D a"}
                                    << with + "5A\nPage a2, Reg 0a = 5a pass(0)" << one;
        QTest::newRow("SFP read-only F8")
            << Sfp << 'A' << fields.arg("A2", "F7", "F8", "00") << clear
            << Lines{"WrSFP D f7 00", "RdSFP D f7", "WrSFP D f8 00", "RdSFP D f8"}
            << with + "00\nPage A2, Reg f7 = 00 pass(0)\nPage A2, Reg f8 = 43 ***FAIL***" << two;
        QTest::newRow("SFP a0, read-only") << Sfp << 'A' << fields.arg("a0", "00", "00", "00")
                                           << clear << Lines{"WrSFP I 0 00", "RdSFP I 0"}
                                           << with + "00\nPage a0, Reg 00 = 03 ***FAIL***" << one;
        QTest::newRow("SFP, silent instrument")
            << Sfp << 'A' << fields.arg("A2", "80", "81", "00") + ";silent" << clear
            << Lines{"WrSFP D 80 00", "RdSFP D 80", "WrSFP D 81 00", "RdSFP D 81"}
            << with + "00\nPage A2, Reg 80 ***FAIL*** (no reply)\nPage A2, Reg 81 ***FAIL*** (no "
                      "reply)"
            << two;
        // Wrong values read back three times, then the right one.
        QTest::newRow("SFP passes after three mismatches")
            << Sfp << 'A' << fields.arg("A2", "80", "80", "00") + ";garbled 3 after WrSFP D 80 00"
            << clear << Lines{"WrSFP D 80 00", "RdSFP D 80"}
            << with + "00\nPage A2, Reg 80 = 00 pass(3)" << one;
        QTest::newRow("SFP end below start") << Sfp << 'A' << fields.arg("A2", "80", "7F", "00")
                                             << clear << Lines() << with + "00" << QList<int>{0};
        QTest::newRow("XFP, side B")
            << Xfp << 'B' << fields.arg("02", "80", "80", "00") << clear
            << Lines{"WrXFPB 7B 00", "WrXFPB 7C 00", "WrXFPB 7D 10", "WrXFPB 7E 11",
                     "WrXFPB 7F 02", "WrXFPB 80 00", "RdXFPB 80"}
            << with + "00\nPage 02, Reg 80 = 00 pass(0)" << one;
        QTest::newRow("one digit of data")
            << Sfp << 'A' << fields.arg("A2", "80", "80", "0") << clear << Lines()
            << "Enter the data to write as two hexadecimal digits. Nothing was sent."
            << QList<int>{0};
    }
    void clear() { operation(); }

    void settingsButton_data()
    {
        table();
        const QByteArray settings = "FactoryBtn";
        // The settings button: "Side=A" or "Side=B" anywhere in the box (A wins,
        // case matters) choose the side (the title says side B) and are never
        // sent; otherwise the last non-empty line goes out as typed, without
        // the side letter.
        QTest::newRow("Side=B anywhere") << Sfp << 'A' << "XCVRResutsBox=x Side=B y\nlast"
                                         << settings << Lines() << "SideB Selected" << QList<int>{0};
        QTest::newRow("Side=A wins") << Sfp << 'B' << "XCVRResutsBox=Side=B\nSide=A" << settings
                                     << Lines() << "SideA Selected" << QList<int>{0};
        QTest::newRow("side keywords are case-sensitive")
            << Sfp << 'A' << "XCVRResutsBox=side=a SIDE=A Side=B" << settings << Lines()
            << "SideB Selected" << QList<int>{0};
        QTest::newRow("console, the last line")
            << Sfp << 'B' << "XCVRResutsBox=Side=C\nRdSFP I 14\n\n"
            << settings << Lines{"RdSFP I 14"} << "A0 14 = 43" << QList<int>{0};
        QTest::newRow("console, spaces kept")
            << Sfp << 'B' << "XCVRResutsBox=first\n  RdSFP I 14 " << settings
            << Lines{"  RdSFP I 14 "} << "ERR" << QList<int>{0};
    }
    void settingsButton() { operation(); }

    // The console sends the last line the user typed, never one the program
    // wrote: not the help text, not a reply, not a message.
    void consoleSendsTypedLinesOnly()
    {
        SimBench *b;
        XCVRUtils *d = open(Sfp, &b);
        QVERIFY(d);
        const qint64 from = b->logSize();
        const QString nothing = "Type a command (or Side=A, Side=B) as the last line of this "
                                "box, then press the settings button. Nothing was sent.";
        QTest::ignoreMessage(QtWarningMsg, qPrintable(nothing));
        click(d, "FactoryBtn"); // only the help text in the box
        QCOMPARE(boxText(d).section('\n', -1), nothing);
        control<QTextEdit>(d, "XCVRResutsBox")->setPlainText("RdSFP I 14");
        for (int press = 0; press < 2; ++press) {
            click(d, "FactoryBtn");
            QTRY_COMPARE(boxText(d).section('\n', -1), QString("A0 14 = 43"));
            QTRY_VERIFY(!b->instrument()->isBusy());
        }
        b->engine([](sim::Engine &e) { e.setFault(sim::Fault::NoReply); });
        QTest::ignoreMessage(QtWarningMsg, "No reply to the console command.");
        click(d, "FactoryBtn");
        QTRY_COMPARE(boxText(d).section('\n', -1), QString("No reply to the console command."));
        QTRY_VERIFY(!b->instrument()->isBusy());
        b->engine([](sim::Engine &e) { e.setFault(sim::Fault::None); });
        click(d, "FactoryBtn");
        QTRY_COMPARE(boxText(d).section('\n', -1), QString("A0 14 = 43"));
        QVERIFY(b->waitForRequests(3));
        QCOMPARE(b->commands(from), Lines({"RdSFP I 14", "RdSFP I 14", "RdSFP I 14", "RdSFP I 14"}));
    }

    void cleanupTestCase() { pool.clear(); }

    // Set up by the kind of cage. (The XFP password fields, shown only there:
    // tst_keyboard's tab rounds.)
    void setUp_data()
    {
        // range: page, start, end
        columns<QByteArray, int, QString>({"model", "types", "range"});
        QTest::newRow("SFP") << Sfp << 2
                             << "RegTypeBx=Diag|ClrPage=A2|ClrStartAddr=80|ClrEndAddr=F7";
        QTest::newRow("XFP") << Xfp << 1
                             << "RegTypeBx=Diag|ClrPage=02|ClrStartAddr=80|ClrEndAddr=FF";
    }
    void setUp()
    {
        SimBench *b;
        XCVRUtils *d = open(data<QByteArray>("model"), &b);
        QVERIFY(d);
        QCOMPARE(d->windowTitle(), QString("Transceiver Utilities (SN 10447)"));
        QCOMPARE(d->maximumSize(), d->minimumSize());
        QTEST(control<QComboBox>(d, "RegTypeBx")->count(), "types"); // "Diag", then "Info"
        QCOMPARE(control<QComboBox>(d, "RegTypeBx")->itemText(1),
                 QString(data<int>("types") > 1 ? "Info" : ""));
        QTEST(looks(d, data<QString>("range")), "range");
    }

    // "Wr" goes through the command sender (side letter), "Rd" straight to the
    // port, and shows the value read.
    void singleRegister_data()
    {
        columns<QByteArray, int, QString, QString, Lines, QString>(
            {"model", "typeIndex", "address", "value", "wire", "shown"});
        QTest::newRow("SFP Diag") << Sfp << 0 << "9"
                                  << "5A" << Lines{"WrSFPB D 9 5A", "RdSFP D 9"} << "5a";
        QTest::newRow("SFP Info") << Sfp << 1 << "14"
                                  << "00" << Lines{"WrSFPB I 14 00", "RdSFP I 14"} << "43";
        QTest::newRow("XFP") << Xfp << 0 << "10"
                             << "c3" << Lines{"WrXFPB 10 c3", "RdXFP 10"} << "c3";
    }
    void singleRegister()
    {
        SimBench *b;
        XCVRUtils *d = open(data<QByteArray>("model"), &b);
        QVERIFY(d);
        control<QComboBox>(d, "RegTypeBx")->setCurrentIndex(data<int>("typeIndex"));
        b->instrument()->setSide('B');
        control<QLineEdit>(d, "AddressBx")->setText(data<QString>("address"));
        control<QLineEdit>(d, "RegValueBx")->setText(data<QString>("value"));
        const qint64 from = b->logSize();
        click(d, "TestXCVRBtn_3"); // "Wr"
        QVERIFY(!b->instrument()->isBusy());
        control<QLineEdit>(d, "RegValueBx")->setText("00");
        click(d, "ReadByteBtn"); // "Rd"
        QTRY_VERIFY(!b->instrument()->isBusy());
        QTEST(b->commands(from), "wire");
        QTEST(look(d, "RegValueBx"), "shown");
        QVERIFY(b->waitForRequests(3));
    }

    // "Test": "test" 200 ms after the click, then a step every 200 ms (the
    // progress bar counts them); closing the dialog ends it.
    void loopbackTest()
    {
        SimBench *b;
        XCVRUtils *d = open(Sfp, &b);
        QVERIFY(d);
        b->instrument()->setSide('B');
        const qint64 from = b->logSize();
        QElapsedTimer sinceClick;
        sinceClick.start();
        QList<qint64> steps; // when the bar showed 1, 2, 3, ... (it shows 0 until then)
        connect(control<QProgressBar>(d, "progressBar"), &QProgressBar::valueChanged, d,
                [&](int v) {
                    if (v == steps.size() + 1)
                        steps << sinceClick.elapsed();
                });
        click(d, "TestXCVRBtn");
        QTRY_COMPARE(b->count("testB", from), 1);
        QVERIFY2(sinceClick.elapsed() >= 195, qPrintable(QString::number(sinceClick.elapsed())));
        QTRY_VERIFY_WITH_TIMEOUT(steps.size() >= 6, 5000);
        for (int i = 0; i < steps.size(); ++i) // step v = i + 1 at 200 + 200 v ms
            QVERIFY2(steps[i] >= 180 * (i + 2),
                     qPrintable(QString("step %1 at %2 ms").arg(i + 1).arg(steps[i])));
        d->close();
        b->instrument()->setSide('A');
        QVERIFY(b->waitForRequests(3));
        QCOMPARE(b->commands(from), Lines{"testB"});
    }

    // The loop-back report is read at the 100th look, 200 ms apart: the
    // instrument's reply (after 5 s) waits on the line until then.
    void loopbackReportAtTheHundredthLook()
    {
        SimBench *b;
        XCVRUtils *d = open(Sfp, &b);
        QVERIFY(d);
        QStringList boxAt; // the box when the bar showed 30 and 99
        connect(control<QProgressBar>(d, "progressBar"), &QProgressBar::valueChanged, d,
                [&](int v) {
                    if (v == 30 || v == 99)
                        boxAt << QString("%1: %2").arg(v).arg(boxText(d));
                });
        click(d, "TestXCVRBtn");
        QTRY_VERIFY_WITH_TIMEOUT(boxText(d).startsWith("Loopback test:"), 25000);
        QCOMPARE(boxAt, QStringList({"30: ", "99: "}));
        QCOMPARE(control<QProgressBar>(d, "progressBar")->value(), 100);
        QVERIFY2(boxText(d).startsWith("Loopback test: PASS\nSide: A\nRate: "),
                 qPrintable(boxText(d)));
        QTRY_VERIFY(!b->instrument()->isBusy());
    }

    // The clear checks the SFP page before anything else: a wrong page is
    // said even with no instrument connected or the line busy; a right one
    // meets the refusal.
    void clearChecksThePageFirst_data()
    {
        columns<QString, QString, QString>({"state", "page", "says"});
        const QString invalid = "Invalid SFP Page. Choose A0 or A2";
        QTest::newRow("not connected, page A1") << "disconnected" << "A1" << invalid;
        QTest::newRow("not connected, page A2")
            << "disconnected" << "A2" << "No instrument is connected. Nothing was sent.";
        QTest::newRow("busy, page A0")
            << "busy" << "A0" << "Busy: the register dump is still running. Nothing was sent.";
    }
    void clearChecksThePageFirst()
    {
        SimBench b;
        QVERIFY(b.startLive(Sfp));
        b.w->on_XCVRBtn_clicked();
        XCVRUtils *d = b.w->findChild<XCVRUtils *>();
        if (data<QString>("state") == "busy") {
            click(d, "ReadXCVRBtn");
            QVERIFY(b.instrument()->isBusy());
        } else {
            b.w->on_DisConectBtn_clicked();
            QTRY_VERIFY(!b.instrument()->isConnected());
        }
        control<QLineEdit>(d, "ClrPage")->setText(data<QString>("page"));
        const qint64 from = b.logSize();
        QTest::ignoreMessage(QtWarningMsg, qPrintable(data<QString>("says")));
        click(d, "ClearXcvrBtn");
        QTEST(boxText(d).section('\n', -1), "says");
        QVERIFY(!b.commands(from).join(' ').contains("WrSFP"));
    }

    // One operation at a time, in this window and across windows, and no
    // register write between its commands; closing the window ends its
    // operation and polling resumes.
    void oneOperationAtATime()
    {
        SimBench *b;
        XCVRUtils *d = open(Sfp, &b);
        QVERIFY(d);
        const qint64 from = b->logSize();
        click(d, "ClearXcvrBtn"); // 80 to F7: several seconds
        QTRY_VERIFY(b->count("RdSFP D 81", from) >= 1);
        click(d, "ReadXCVRBtn");
        QCOMPARE(boxText(d).section('\n', -1),
                 QString("Busy: the register clear is still running. Nothing was sent."));
        control<QLineEdit>(d, "AddressBx")->setText("10");
        control<QLineEdit>(d, "RegValueBx")->setText("5A");
        click(d, "TestXCVRBtn_3"); // "Wr" between the clear's commands
        QCOMPARE(boxText(d).section('\n', -1),
                 QString("Busy: the register clear is still running. The register was not "
                         "written."));
        b->w->on_XCVRBtn_clicked();
        XCVRUtils *other = b->w->findChildren<XCVRUtils *>().last();
        click(other, "ReadByteBtn");
        QCOMPARE(boxText(other).section('\n', -1),
                 QString("Busy: the register clear holds the instrument. Nothing was sent."));
        QPointer<XCVRUtils> closed = d;
        d->close(); // frees the window and ends its operation
        QTRY_VERIFY(!closed);
        QVERIFY(b->waitForRequests(3));
        const qint64 after = b->logSize();
        QTest::qWait(300); // proves that no further step of the clear runs
        QCOMPARE(b->commands(after), Lines());
        const Lines sent = b->commands(from);
        QVERIFY(!sent.contains("SFP") && !sent.contains("WrSFP D 00 00") &&
                !sent.contains("RdSFP D 00") && !sent.contains("WrSFP D 10 5A"));
    }

    // The instrument vanishes during a dump: the window says why.
    void instrumentLostMidDump()
    {
        SimBench b;
        QVERIFY(b.startLive(Sfp));
        b.w->on_XCVRBtn_clicked();
        XCVRUtils *d = b.w->findChild<XCVRUtils *>();
        click(d, "ReadXCVRBtn");
        QTRY_COMPARE(b.count("SFP"), 1);
        b.sim->unplug();
        QTRY_VERIFY(boxText(d).contains(
            "The register dump stopped: Connection to the instrument was lost"));
        click(d, "ReadByteBtn");
        QCOMPARE(boxText(d).section('\n', -1),
                 QString("No instrument is connected. Nothing was sent."));
    }
};

QTEST_MAIN(TstXcvr)
#include "tst_xcvr.moc"
