// The clear procedure's plain logic: progress and read-back verdicts, with
// the values written out.
#include "xcvr/xcvrlogic.h"

#include <QtTest>

using xcvr::Kind;
using xcvr::Verdict;
Q_DECLARE_METATYPE(xcvr::Kind)
Q_DECLARE_METATYPE(xcvr::Verdict)

namespace {
xcvr::ClearPlan plan(Kind kind, const QString &page, const QString &data)
{
    xcvr::ClearPlan p{kind, xcvr::SfpPage::Diag, page, data, {"00", "00", "10", "11"}};
    if (kind == Kind::Sfp)
        xcvr::sfpPageOf(page, &p.page);
    return p;
}
} // namespace

class TstXcvrLogic : public QObject
{
    Q_OBJECT
private slots:
    void clearProgress()
    {
        QList<int> one;
        for (int step = 0; step <= 8; ++step)
            one << xcvr::clearProgress(step, 0x80, 0x80);
        QCOMPARE(one, (QList<int>{0, 12, 25, 37, 50, 62, 75, 87, 100}));
        QCOMPARE(xcvr::clearProgress(365, 0x80, 0xF7), 100); // default SFP range, last step
        QCOMPARE(xcvr::clearProgress(0, 0x80, 0x7F), 0);     // end below start
        QCOMPARE(xcvr::clearProgress(3, 0x80, 0x7E), 100);   // a total of 2 steps
        QCOMPARE(xcvr::clearProgress(1, 0x80, 0x7D), 0);     // a negative total
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
        QTest::newRow("SFP pass") << Kind::Sfp << "a2"
                                  << "5A" << QByteArray("A2 81 = 5a\r\n") << 3 << 0 << Verdict::Pass
                                  << "Page a2, Reg 81 = 5a pass(3)";
        QTest::newRow("XFP FF on ff") << Kind::Xfp << "02"
                                      << "FF" << QByteArray("80 = ff\r\n") << 0 << 0
                                      << Verdict::Pass << "Page 02, Reg 80 = ff pass(0)";
        QTest::newRow("FF not on FF")
            << Kind::Xfp << "02"
            << "FF" << QByteArray("80 = FF\r\n") << 0 << 0 << Verdict::Mismatch << "";
        QTest::newRow("11th mismatch")
            << Kind::Sfp << "A2"
            << "00" << QByteArray("A2 f8 = 43") << 10 << 0 << Verdict::Mismatch << "";
        QTest::newRow("12th mismatch") << Kind::Sfp << "A2"
                                       << "00" << QByteArray("A2 f8 = 43") << 11 << 0
                                       << Verdict::Fail << "Page A2, Reg f8 = 43 ***FAIL***";
        QTest::newRow("zero byte")
            << Kind::Xfp << "02"
            << "00" << QByteArray("80 = 0\0", 7) << 0 << 0 << Verdict::Mismatch << "";
        QTest::newRow("SFP 9 bytes")
            << Kind::Sfp << "A2"
            << "00" << QByteArray("A2 80 = 0") << 11 << 10 << Verdict::NoReply << "";
        QTest::newRow("XFP 6 bytes")
            << Kind::Xfp << "02"
            << "00" << QByteArray("80 = 0") << 0 << 0 << Verdict::NoReply << "";
        QTest::newRow("12th silence") << Kind::Sfp << "A2"
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
};

QTEST_GUILESS_MAIN(TstXcvrLogic)
#include "tst_xcvr_logic.moc"
