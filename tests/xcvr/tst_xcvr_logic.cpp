// The transceiver utilities' plain logic: command texts, the clear procedure's
// steps and progress, and the read-back rule, with the values written out.
#include "xcvr/xcvrlogic.h"

#include <QtTest>

using xcvr::Kind;
using xcvr::SfpPage;
using xcvr::Verdict;

Q_DECLARE_METATYPE(xcvr::Kind)
Q_DECLARE_METATYPE(xcvr::Verdict)

namespace {
xcvr::ClearPlan plan(Kind kind, const QString &page, const QString &data)
{
    xcvr::ClearPlan p;
    p.kind = kind;
    p.pageText = page;
    p.data = data;
    if (kind == Kind::Sfp)
        xcvr::sfpPageOf(page, &p.page);
    const char *password[4] = {"00", "00", "10", "11"};
    for (int i = 0; i < 4; ++i)
        p.password[i] = QLatin1String(password[i]);
    return p;
}
} // namespace

class TstXcvrLogic : public QObject
{
    Q_OBJECT
private slots:
    void singleRegisterCommands_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<int>("typeIndex");
        QTest::addColumn<QString>("read");
        QTest::addColumn<QString>("write");
        QTest::newRow("SFP Diag") << Kind::Sfp << 0 << "RdSFP D 7F"
                                  << "WrSFP D 7F 00";
        QTest::newRow("SFP Info") << Kind::Sfp << 1 << "RdSFP I 7F"
                                  << "WrSFP I 7F 00";
        QTest::newRow("XFP ignores the type") << Kind::Xfp << 1 << "RdXFP 7F"
                                              << "WrXFP 7F 00";
        QTest::newRow("no transceiver") << Kind::None << 0 << ""
                                        << "";
    }
    void singleRegisterCommands()
    {
        QFETCH(Kind, kind);
        QFETCH(int, typeIndex);
        const SfpPage page = xcvr::pageOfIndex(typeIndex);
        QTEST(xcvr::readCommand(kind, page, "7F"), "read");
        QTEST(xcvr::writeCommand(kind, page, "7F", "00"), "write");
    }

    void addressesAndValues()
    {
        QCOMPARE(xcvr::addressText(0x80), QString("80"));
        QCOMPARE(xcvr::addressText(0x0A), QString("a"));
        QCOMPARE(xcvr::addressText(0xFF), QString("ff"));
        QCOMPARE(xcvr::hexValue("F7"), 0xF7);
        QCOMPARE(xcvr::hexValue("8"), 8);
        QCOMPARE(xcvr::hexValue(""), 0);
        QCOMPARE(xcvr::hexValue("zz"), 0);
        // An address holding a placeholder is sent as typed.
        QCOMPARE(xcvr::writeCommand(Kind::Xfp, SfpPage::Diag, "%2", "01"), QString("WrXFP %2 01"));
        // Single read: the last six characters of the reply, up to a zero byte.
        QCOMPARE(xcvr::lastSix(xcvr::replyText("A2 7f = 0a\r\n")), QString("= 0a\r\n"));
        QCOMPARE(xcvr::lastSix(xcvr::replyText(QByteArray("7f = 0a\0junk", 12))),
                 QString("f = 0a"));
        QCOMPARE(xcvr::lastSix(xcvr::replyText("")), QString());
    }

    void sfpPages_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("info");
        QTest::newRow("A0") << "A0" << true << true;
        QTest::newRow("a0") << "a0" << true << true;
        QTest::newRow("A2") << "A2" << true << false;
        QTest::newRow("a2") << "a2" << true << false;
        QTest::newRow("A1") << "A1" << false << false;
        QTest::newRow("02") << "02" << false << false;
        QTest::newRow("A") << "A" << false << false;
    }
    void sfpPages()
    {
        QFETCH(QString, text);
        SfpPage page = SfpPage::Diag;
        QTEST(xcvr::sfpPageOf(text, &page), "valid");
        QTEST(page == SfpPage::Info, "info");
    }

    void clearSteps_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("commands"); // steps 0..8 for register 0x0A
        QTest::newRow("SFP A2") << Kind::Sfp << "A2"
                                << QStringList{"",          "", "", "", "", "", "WrSFP D a 5A",
                                               "RdSFP D a", ""};
        QTest::newRow("SFP a0") << Kind::Sfp << "a0"
                                << QStringList{"",          "", "", "", "", "", "WrSFP I a 5A",
                                               "RdSFP I a", ""};
        QTest::newRow("XFP 02") << Kind::Xfp << "02"
                                << QStringList{"",
                                               "WrXFP 7B 00",
                                               "WrXFP 7C 00",
                                               "WrXFP 7D 10",
                                               "WrXFP 7E 11",
                                               "WrXFP 7F 02",
                                               "WrXFP a 5A",
                                               "RdXFP a",
                                               ""};
    }
    void clearSteps()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, page);
        QFETCH(QStringList, commands);
        const xcvr::ClearPlan p = plan(kind, page, "5A");
        QStringList got;
        for (int step = 0; step <= 8; ++step)
            got << xcvr::clearStep(p, step, 0x0A).command;
        QCOMPARE(got, commands);
        QCOMPARE(xcvr::clearStep(p, 8, 0x0A).kind, xcvr::StepKind::Verify);
        QCOMPARE(xcvr::clearStep(p, 7, 0x0A).kind, xcvr::StepKind::Read);
        // The next register: write at step 9.
        QCOMPARE(xcvr::clearStep(p, 9, 0x0B).kind, xcvr::StepKind::Write);
    }

    void clearProgress()
    {
        QList<int> one;
        for (int step = 0; step <= 8; ++step)
            one << xcvr::clearProgress(step, 0x80, 0x80);
        QCOMPARE(one, (QList<int>{0, 12, 25, 37, 50, 62, 75, 87, 100}));
        QCOMPARE(xcvr::clearProgress(365, 0x80, 0xF7), 100); // default SFP range, last verify
        QCOMPARE(xcvr::clearProgress(183, 0x80, 0xF7), 50);
        QCOMPARE(xcvr::clearProgress(0, 0x80, 0x7F), 0);    // end below start
        QCOMPARE(xcvr::clearProgress(3, 0x80, 0x7E), 100);  // 3 x -1 + 5: kept within 100
        QCOMPARE(xcvr::clearProgress(1, 0x80, 0x7D), 0);    // negative total
        QCOMPARE(xcvr::clearProgress(50, 0x80, 0x80), 100); // end edited during a run
    }

    void readBack_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("value");
        QTest::newRow("SFP") << Kind::Sfp << QByteArray("A2 7f = 0a\r\n") << true << "7f = 0a"
                             << "0a";
        QTest::newRow("SFP ten bytes") << Kind::Sfp << QByteArray("A2 7f = 0a") << true << "7f = 0a"
                                       << "0a";
        QTest::newRow("SFP nine bytes") << Kind::Sfp << QByteArray("A2 7f = 0") << false << ""
                                        << "";
        QTest::newRow("XFP") << Kind::Xfp << QByteArray("7f = 0a\r\n") << true << "7f = 0a"
                             << "0a";
        QTest::newRow("XFP six bytes") << Kind::Xfp << QByteArray("7f = 0") << false << ""
                                       << "";
        QTest::newRow("zero byte in the value")
            << Kind::Xfp << QByteArray("7f = 0\0\r\n", 9) << true << "7f = 0"
            << "0";
        QTest::newRow("zero byte first")
            << Kind::Sfp << QByteArray("\0\0\0\0\0\0\0\0\0\0", 10) << true << ""
            << "";
        QTest::newRow("empty") << Kind::Sfp << QByteArray() << false << ""
                               << "";
    }
    void readBack()
    {
        QFETCH(Kind, kind);
        QFETCH(QByteArray, reply);
        xcvr::ReadBack rb;
        QTEST(xcvr::parseReadBack(kind, reply, &rb), "complete");
        QTEST(rb.report, "report");
        QTEST(rb.value, "value");
    }

    void verdicts_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("retries");
        QTest::addColumn<int>("silences");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<QString>("line");
        QTest::newRow("pass at once") << Kind::Sfp << "A2"
                                      << "00" << QByteArray("A2 80 = 00\r\n") << 0 << 0
                                      << Verdict::Pass << "Page A2, Reg 80 = 00 pass(0)";
        QTest::newRow("pass after 3, page as typed")
            << Kind::Sfp << "a2"
            << "5A" << QByteArray("A2 81 = 5a\r\n") << 3 << 0 << Verdict::Pass
            << "Page a2, Reg 81 = 5a pass(3)";
        QTest::newRow("FF passes on ff") << Kind::Xfp << "02"
                                         << "FF" << QByteArray("80 = ff\r\n") << 0 << 0
                                         << Verdict::Pass << "Page 02, Reg 80 = ff pass(0)";
        QTest::newRow("FF does not pass on FF")
            << Kind::Xfp << "02"
            << "FF" << QByteArray("80 = FF\r\n") << 0 << 0 << Verdict::Mismatch << "";
        QTest::newRow("eleventh mismatch")
            << Kind::Sfp << "A2"
            << "00" << QByteArray("A2 f8 = 43\r\n") << 10 << 0 << Verdict::Mismatch << "";
        QTest::newRow("twelfth mismatch") << Kind::Sfp << "A2"
                                          << "00" << QByteArray("A2 f8 = 43\r\n") << 11 << 0
                                          << Verdict::Fail << "Page A2, Reg f8 = 43 ***FAIL***";
        QTest::newRow("short reply")
            << Kind::Sfp << "A2"
            << "00" << QByteArray("A2 80 =") << 11 << 10 << Verdict::NoReply << "";
        QTest::newRow("twelfth silence") << Kind::Sfp << "A2"
                                         << "00" << QByteArray() << 0 << 11 << Verdict::Silent
                                         << "Page A2, Reg 80 ***FAIL*** (no reply)";
    }
    void verdicts()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, page);
        QFETCH(QString, data);
        QFETCH(QByteArray, reply);
        QFETCH(int, retries);
        QFETCH(int, silences);
        QString line = "stale";
        QTEST(xcvr::verify(plan(kind, page, data), reply, 0x80, retries, silences, &line),
              "verdict");
        QTEST(line, "line");
    }

    // Whatever bytes arrive, the reply functions return without reading past them.
    void anyBytes()
    {
        quint32 seed = 7;
        for (int n = 0; n < 2000; ++n) {
            QByteArray bytes(int(n % 23), '\0');
            for (char &c : bytes) {
                seed = seed * 1103515245u + 12345u;
                c = char(seed >> 16);
            }
            xcvr::ReadBack rb;
            for (Kind kind : {Kind::Sfp, Kind::Xfp}) {
                if (xcvr::parseReadBack(kind, bytes, &rb))
                    QVERIFY(rb.value.size() <= 2);
            }
            QVERIFY(xcvr::lastSix(xcvr::replyText(bytes)).size() <= 6);
        }
    }
};

QTEST_GUILESS_MAIN(TstXcvrLogic)
#include "tst_xcvr_logic.moc"
