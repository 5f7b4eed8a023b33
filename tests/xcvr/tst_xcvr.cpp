// The transceiver utilities end to end: the dialog against the simulated
// instrument over a pty, checked by what the user sees and what reaches the wire.
#include "support/simbench.h"
#include "xcvr/xcvrutils.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QTextEdit>
#include <algorithm>

using Lines = QList<QByteArray>;

namespace {
const QByteArray Sfp = "Corvane NanoTb", Xfp = "Corvane Tera", NoCage = "Corvane Nano Span";

QString boxText(XCVRUtils *d)
{
    return control<QTextEdit>(d, "XCVRResutsBox")->toPlainText();
}
QString lastLine(XCVRUtils *d)
{
    return boxText(d).split('\n').last();
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
// What the dialog sent since `from`: measurement requests left out, a command
// repeated back to back (a read-back retried) counted once.
Lines commandsSince(const SimBench &b, qint64 from)
{
    Lines out;
    for (const QByteArray &line : b.lines(from))
        if (!isRequest(line) && (out.isEmpty() || out.last() != line))
            out << line;
    return out;
}
// Waits until the measurement cycle has asked for three more records.
bool pollingGoesOn(SimBench &b)
{
    const qint64 from = b.logSize();
    return QTest::qWaitFor(
        [&] {
            const Lines sent = b.lines(from);
            return std::count_if(sent.begin(), sent.end(), isRequest) >= 3;
        },
        5000);
}
// Instrument-clock milliseconds from `first` to the next measurement request.
qint64 msUntilNextRequest(const SimBench &b, qint64 from, const QByteArray &first)
{
    qint64 at = -1;
    for (const sim::LoggedCommand &c : b.sim->commandLog()) {
        if (c.index >= from && at < 0 && c.line == first)
            at = c.ms;
        else if (c.index >= from && at >= 0 && isRequest(c.line))
            return c.ms - at;
    }
    return -1;
}
} // namespace

class TstXcvr : public QObject
{
    Q_OBJECT
    BenchPool pool;

    // A live window on side A with a new utilities dialog and the line free.
    XCVRUtils *open(const QByteArray &model, SimBench **bench)
    {
        SimBench &b = pool.live(model);
        qDeleteAll(b.w->findChildren<XCVRUtils *>());
        b.link()->setSide('A');
        if (!QTest::qWaitFor([&] { return !b.link()->busy() && b.link()->pollPending(); }, 5000))
            qWarning("the line did not come free");
        *bench = &b;
        b.w->on_XCVRBtn_clicked(); // the button's slot: the button is hidden on some models
        return b.w->findChildren<XCVRUtils *>().value(0);
    }

private slots:
    void cleanupTestCase() { pool.clear(); }

    // Set-up by transceiver kind, and the dump on side B.
    void setUpAndDump_data()
    {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<QStringList>("types");
        QTest::addColumn<bool>("password");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QByteArray>("dump");
        QTest::addColumn<QString>("shown");
        QTest::newRow("SFP") << Sfp << QStringList{"Diag", "Info"} << false << "A2"
                             << "F7" << QByteArray("SFPB") << "A0 00: 03 04 07 20";
        QTest::newRow("XFP") << Xfp << QStringList{"Diag"} << true << "02"
                             << "FF" << QByteArray("XFPB") << "Lower 00: 06 00";
        QTest::newRow("no cage") << NoCage << QStringList{"Diag"} << true << "02"
                                 << "FF" << QByteArray() << "No transceiver port is available";
    }
    void setUpAndDump()
    {
        QFETCH(QByteArray, model);
        QFETCH(QByteArray, dump);
        QFETCH(QString, shown);
        SimBench *b;
        XCVRUtils *d = open(model, &b);
        QCOMPARE(d->windowTitle(), QString("Transceiver Utilities"));
        QCOMPARE(d->maximumSize(), QSize(529, 570));
        QCOMPARE(d->minimumSize(), QSize(529, 570));
        auto *types = control<QComboBox>(d, "RegTypeBx");
        QStringList items;
        for (int i = 0; i < types->count(); ++i)
            items << types->itemText(i);
        QTEST(items, "types");
        QCOMPARE(types->currentIndex(), 0);
        for (const char *name : {"label_3", "EEPw7B", "EEPw7C", "EEPw7D", "EEPw7E"})
            QTEST(control(d, name)->isVisible(), "password");
        QTEST(control<QLineEdit>(d, "ClrPage")->text(), "page");
        QTEST(control<QLineEdit>(d, "ClrEndAddr")->text(), "end");
        QCOMPARE(control<QProgressBar>(d, "progressBar")->value(), 100);

        b->link()->setSide('B');
        const qint64 from = b->logSize();
        click(d, "ReadXCVRBtn");
        QTRY_VERIFY_WITH_TIMEOUT(boxText(d).startsWith(shown) && !b->link()->busy(), 8000);
        QVERIFY(pollingGoesOn(*b));
        QCOMPARE(commandsSince(*b, from), dump.isEmpty() ? Lines() : Lines{dump});
        if (dump.isEmpty()) {
            QCOMPARE(lastLine(d), QString("No transceiver port is available on this instrument. "
                                          "Nothing was sent."));
            return;
        }
        QCOMPARE(control<QProgressBar>(d, "progressBar")->value(), 100);
        // Read 100 steps of 20 ms after the command, with no request in between.
        QVERIFY(msUntilNextRequest(*b, from, dump) >= 2000);
    }

    void sideKeywords_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<char>("side");
        QTest::newRow("B anywhere") << "x Side=B y\nlast"
                                    << "SideB Selected" << 'B';
        QTest::newRow("A") << "Side=A"
                           << "SideA Selected" << 'A';
        QTest::newRow("A wins") << "Side=B\nSide=A"
                                << "SideA Selected" << 'A';
        QTest::newRow("case matters") << "side=a SIDE=A Side=B"
                                      << "SideB Selected" << 'B';
    }
    void sideKeywords()
    {
        QFETCH(QString, typed);
        QFETCH(char, side);
        SimBench *b;
        XCVRUtils *d = open(Sfp, &b);
        b->link()->setSide(side == 'A' ? 'B' : 'A');
        control<QTextEdit>(d, "XCVRResutsBox")->setPlainText(typed);
        const qint64 from = b->logSize();
        click(d, "FactoryBtn");
        QTEST(lastLine(d), "confirmation");
        QCOMPARE(b->link()->side(), side);
        QCOMPARE(d->focusWidget(), control(d, "XCVRResutsBox"));
        QVERIFY(pollingGoesOn(*b));
        QCOMPARE(commandsSince(*b, from), Lines()); // the keywords are never sent
    }

    // "Wr" through the command sender (side letter), "Rd" straight to the port.
    void singleRegister_data()
    {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<int>("typeIndex");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("value");
        QTest::addColumn<Lines>("wire");
        QTest::addColumn<QString>("shown");
        QTest::newRow("SFP Diag") << Sfp << 0 << "9"
                                  << "5A" << Lines{"WrSFPB D 9 5A", "RdSFP D 9"} << "5a";
        QTest::newRow("SFP Info") << Sfp << 1 << "14"
                                  << "00" << Lines{"WrSFPB I 14 00", "RdSFP I 14"} << "43";
        QTest::newRow("XFP") << Xfp << 0 << "10"
                             << "c3" << Lines{"WrXFPB 10 c3", "RdXFP 10"} << "c3";
    }
    void singleRegister()
    {
        QFETCH(QByteArray, model);
        QFETCH(int, typeIndex);
        SimBench *b;
        XCVRUtils *d = open(model, &b);
        control<QComboBox>(d, "RegTypeBx")->setCurrentIndex(typeIndex);
        b->link()->setSide('B');
        QFETCH(QString, address);
        QFETCH(QString, value);
        type(d, "AddressBx", address);
        type(d, "RegValueBx", value);
        const qint64 from = b->logSize();
        click(d, "TestXCVRBtn_3"); // "Wr"
        QVERIFY(!b->link()->busy());
        type(d, "RegValueBx", "00");
        click(d, "ReadByteBtn"); // "Rd"
        QTRY_VERIFY(!b->link()->busy());
        QTEST(commandsSince(*b, from), "wire");
        QTEST(control<QLineEdit>(d, "RegValueBx")->text(), "shown");
        QVERIFY(pollingGoesOn(*b));
    }

    void clear_data()
    {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<QStringList>("fields"); // page, start, end, data
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<Lines>("wire");
        QTest::addColumn<QList<int>>("progress"); // in the order first shown
        const QList<int> one{0, 12, 25, 37, 50, 62, 75, 87, 100};
        const QString with00 = "Clearing Transceiver Registers with 00";
        QTest::newRow("SFP one register") << Sfp << QStringList{"A2", "80", "80", "00"}
                                          << QStringList{with00, "Page A2, Reg 80 = 00 pass(0)"}
                                          << Lines{"WrSFP D 80 00", "RdSFP D 80"} << one;
        QTest::newRow("SFP a2, 0A")
            << Sfp << QStringList{"a2", "0A", "0A", "5A"}
            << QStringList{"Clearing Transceiver Registers with 5A", "Page a2, Reg 0a = 5a pass(0)"}
            << Lines{"WrSFP D a 5A", "RdSFP D a"} << one;
        QTest::newRow("SFP FF") << Sfp << QStringList{"A2", "81", "81", "FF"}
                                << QStringList{"Clearing Transceiver Registers with FF",
                                               "Page A2, Reg 81 = ff pass(0)"}
                                << Lines{"WrSFP D 81 FF", "RdSFP D 81"} << one;
        QTest::newRow("SFP read-only F8")
            << Sfp << QStringList{"A2", "F7", "F8", "00"}
            << QStringList{with00, "Page A2, Reg f7 = 00 pass(0)",
                           "Page A2, Reg f8 = 43 ***FAIL***"}
            << Lines{"WrSFP D f7 00", "RdSFP D f7", "WrSFP D f8 00", "RdSFP D f8"}
            << QList<int>{0, 9, 18, 27, 36, 45, 54, 63, 72, 81, 90, 100};
        QTest::newRow("end below start") << Sfp << QStringList{"A2", "80", "7F", "00"}
                                         << QStringList{with00} << Lines() << QList<int>{0};
        QTest::newRow("XFP user EEPROM")
            << Xfp << QStringList{"02", "80", "80", "00"}
            << QStringList{with00, "Page 02, Reg 80 = 00 pass(0)"}
            << Lines{"WrXFP 7B 00", "WrXFP 7C 00", "WrXFP 7D 10", "WrXFP 7E 11",
                     "WrXFP 7F 02", "WrXFP 80 00", "RdXFP 80"}
            << one;
        QTest::newRow("SFP a0, read-only") << Sfp << QStringList{"a0", "00", "00", "00"}
                                           << QStringList{with00, "Page a0, Reg 00 = 03 ***FAIL***"}
                                           << Lines{"WrSFP I 0 00", "RdSFP I 0"} << one;
    }
    void clear()
    {
        QFETCH(QByteArray, model);
        QFETCH(QStringList, fields);
        QFETCH(Lines, wire);
        SimBench *b;
        XCVRUtils *d = open(model, &b);
        const char *names[] = {"ClrPage", "ClrStartAddr", "ClrEndAddr", "ClrWrData"};
        for (int i = 0; i < 4; ++i)
            type(d, names[i], fields[i]);
        QList<int> seen;
        connect(control<QProgressBar>(d, "progressBar"), &QProgressBar::valueChanged, d,
                [&](int v) {
                    if (!seen.contains(v))
                        seen << v;
                });
        const qint64 from = b->logSize();
        click(d, "ClearXcvrBtn");
        QTRY_VERIFY_WITH_TIMEOUT(!b->link()->busy(), 15000);
        QTEST(boxText(d).split('\n'), "shown");
        QCOMPARE(commandsSince(*b, from), wire);
        QTEST(seen, "progress");
        if (boxText(d).endsWith("***FAIL***")) // after the twelfth read-back
            QVERIFY(b->count(wire.last(), from) >= 12);
        QVERIFY(pollingGoesOn(*b));
    }

    void clearRefused_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("shown");
        QTest::newRow("A1") << "A1"
                            << "00"
                            << "Invalid SFP Page. Choose A0 or A2";
        QTest::newRow("one digit") << "A2"
                                   << "0"
                                   << "Enter the data to write as two hexadecimal digits. "
                                      "Nothing was sent.";
    }
    void clearRefused()
    {
        SimBench *b;
        XCVRUtils *d = open(Sfp, &b);
        QFETCH(QString, page);
        QFETCH(QString, data);
        type(d, "ClrPage", page);
        type(d, "ClrWrData", data);
        const qint64 from = b->logSize();
        click(d, "ClearXcvrBtn");
        QTEST(lastLine(d), "shown");
        QVERIFY(pollingGoesOn(*b));
        QCOMPARE(commandsSince(*b, from), Lines());
    }

    // Every read-back of a silent instrument comes up short: the clear still
    // ends, with FAIL lines, and polling resumes.
    void clearAgainstSilentInstrument()
    {
        SimBench *b;
        XCVRUtils *d = open(Sfp, &b);
        type(d, "ClrStartAddr", "80");
        type(d, "ClrEndAddr", "81");
        b->engine([](sim::Engine &e) { e.setFault(sim::Fault::NoReply); });
        const qint64 from = b->logSize();
        click(d, "ClearXcvrBtn");
        QTRY_VERIFY_WITH_TIMEOUT(!b->link()->busy(), 15000);
        b->engine([](sim::Engine &e) { e.setFault(sim::Fault::None); });
        QCOMPARE(boxText(d).split('\n'), (QStringList{"Clearing Transceiver Registers with 00",
                                                      "Page A2, Reg 80 ***FAIL*** (no reply)",
                                                      "Page A2, Reg 81 ***FAIL*** (no reply)"}));
        QCOMPARE(b->count("RdSFP D 80", from), 12);
        QCOMPARE(b->count("RdSFP D 81", from), 12);
        QVERIFY(pollingGoesOn(*b));
        QTRY_VERIFY(readoutsLive(*b));
    }

    // The last non-empty line goes out as typed, without the side letter.
    void console_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<Lines>("wire");
        QTest::addColumn<QString>("reply");
        QTest::newRow("last line") << "Side=C\nRdSFP I 14\n\n"
                                   << Lines{"RdSFP I 14"} << "A0 14 = 43";
        QTest::newRow("spaces") << "first\n  RdSFP I 14 " << Lines{"  RdSFP I 14 "} << "ERR";
        QTest::newRow("nothing typed") << "" << Lines() << "";
    }
    void console()
    {
        QFETCH(QString, typed);
        SimBench *b;
        XCVRUtils *d = open(Sfp, &b);
        b->link()->setSide('B');
        control<QTextEdit>(d, "XCVRResutsBox")->setPlainText(typed);
        const qint64 from = b->logSize();
        click(d, "FactoryBtn");
        QVERIFY(b->link()->holds(d));
        QTRY_VERIFY(!b->link()->busy());
        QVERIFY(pollingGoesOn(*b));
        QTEST(commandsSince(*b, from), "wire");
        QTEST(lastLine(d), "reply");
    }

    // The instrument's report is appended about 20 s after the click.
    void loopbackTest()
    {
        SimBench *b;
        XCVRUtils *d = open(Sfp, &b);
        const qint64 from = b->logSize();
        click(d, "TestXCVRBtn");
        QTRY_VERIFY_WITH_TIMEOUT(boxText(d).startsWith("Loopback test: PASS\nSide: A\n"), 30000);
        QCOMPARE(commandsSince(*b, from), Lines{"test"});
        QCOMPARE(control<QProgressBar>(d, "progressBar")->value(), 100);
        QVERIFY(pollingGoesOn(*b));
        QVERIFY(msUntilNextRequest(*b, from, "test") >= 20000);
    }

    // One operation at a time, in this window and across windows.
    void secondOperationRefused()
    {
        SimBench *b;
        XCVRUtils *d = open(Sfp, &b);
        const qint64 from = b->logSize();
        click(d, "ClearXcvrBtn"); // 80..F7: several seconds
        QTRY_VERIFY(b->count("WrSFP D 80 00", from) == 1);
        click(d, "ReadXCVRBtn");
        QCOMPARE(lastLine(d),
                 QString("Busy: the register clear is still running. Nothing was sent."));
        click(d, "TestXCVRBtn_3"); // "Wr" of 00 to register 00
        QCOMPARE(lastLine(d), QString("Busy: the register clear is still running. The register "
                                      "was not written."));
        b->w->on_XCVRBtn_clicked();
        XCVRUtils *other = b->w->findChildren<XCVRUtils *>().last();
        click(other, "ReadByteBtn");
        QCOMPARE(lastLine(other),
                 QString("Busy: the register clear holds the instrument. Nothing was sent."));
        d->close();
        QVERIFY(pollingGoesOn(*b));
        const Lines sent = b->lines(from);
        QVERIFY(!sent.contains("SFP") && !sent.contains("WrSFP D 00 00"));
        QVERIFY(!sent.contains("RdSFP D 00"));
    }

    // Closing the window (or Esc) mid-clear ends the clear; polling resumes.
    void closingMidClear_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("close") << false;
        QTest::newRow("Esc") << true;
    }
    void closingMidClear()
    {
        QFETCH(bool, escape);
        SimBench *b;
        XCVRUtils *d = open(Sfp, &b);
        const qint64 from = b->logSize();
        click(d, "ClearXcvrBtn");
        QTRY_VERIFY(b->count("RdSFP D 81", from) >= 1);
        if (escape)
            QTest::keyClick(d, Qt::Key_Escape);
        else
            d->close();
        QVERIFY(!d->isVisible());
        QVERIFY(pollingGoesOn(*b));
        const qint64 after = b->logSize();
        QTest::qWait(300); // proves that no further step of the clear runs
        QCOMPARE(commandsSince(*b, after), Lines());
    }

    // The instrument vanishes during a dump: the window says why.
    void instrumentLostMidDump()
    {
        SimBench b;
        QVERIFY(b.startLive(Sfp));
        b.w->on_XCVRBtn_clicked();
        XCVRUtils *d = b.w->findChild<XCVRUtils *>();
        click(d, "ReadXCVRBtn");
        QTRY_VERIFY(b.count("SFP") == 1);
        b.sim->unplug();
        QTRY_VERIFY(boxText(d).contains(
            "The register dump stopped: Connection to the instrument was lost"));
        click(d, "ReadByteBtn");
        QCOMPARE(lastLine(d), QString("No instrument is connected. Nothing was sent."));
    }
};

QTEST_MAIN(TstXcvr)
#include "tst_xcvr.moc"
