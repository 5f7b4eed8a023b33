// Tests of the simulated instrument's protocol engine, on its virtual clock.
// Expected bytes are worked out by hand from the record layout, not by calling
// the engine's own encoders.

#include "simengine.h"

#include <QtTest>

using sim::Engine;
using sim::Fault;
using sim::Reply;

namespace {

QVector<Reply> send(Engine &e, const QByteArray &line, qint64 now)
{
    return e.receive(line + "\r\n", now);
}

// The single reply to one command (fails the test through the caller's checks
// when there is not exactly one).
Reply one(Engine &e, const QByteArray &line, qint64 now)
{
    const QVector<Reply> r = send(e, line, now);
    return r.size() == 1 ? r.first() : Reply{-1, QByteArray()};
}

quint32 be(const QByteArray &b, int at, int n)
{
    quint32 v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | quint8(b.at(at + i));
    return v;
}

double count(const QByteArray &rec, int at)
{
    return double(be(rec, at, 3)) * std::pow(2.0, int(quint8(rec.at(at + 3))) - 24);
}

// What the program's single-register read keeps: the first two hex digits
// among the last six characters.
QByteArray singleReadValue(const QByteArray &reply)
{
    QByteArray digits;
    for (char c : reply.right(6))
        if (std::isxdigit(static_cast<unsigned char>(c)) && digits.size() < 2)
            digits += c;
    return digits;
}

} // namespace

class TestSimEngine : public QObject
{
    Q_OBJECT

private slots:
    void encoders();
    void recordLayout_data();
    void recordLayout();
    void transmitterOff();
    void countsGrowAtLineRate();
    void errorsFollowRateAndReset();
    void sideBIsIndependent();
    void setCommandsUseModelUnits();
    void lineFramingAndLog();
    void sfpRegisters();
    void xfpPasswordAndPages();
    void eyeScan();
    void dumpAndLoopbackTest();
    void faults_data();
    void faults();
};

void TestSimEngine::encoders()
{
    using namespace sim::codec;
    QCOMPARE(centiRaw(-40.0), quint16(0x8FA0));
    QCOMPARE(centiRaw(10.0), quint16(0x7C18));
    QCOMPARE(centiRaw(0.0), quint16(0x8000));
    QCOMPARE(encodeCount(8388608.0), QByteArray::fromHex("80000018"));
    QCOMPARE(encodeCount(0.5), QByteArray::fromHex("80000000"));
    QCOMPARE(encodeCount(0.0), QByteArray::fromHex("00000000"));
    QCOMPARE(encodeCount(1.0), QByteArray::fromHex("80000001"));
    QCOMPARE(encodeCount(3.0), QByteArray::fromHex("c0000002"));
    QCOMPARE(decodeCount(QByteArray::fromHex("80000018")), 8388608.0);
    // Large counts keep 24 significant bits.
    const double big = 123456789012345.0;
    QVERIFY(qAbs(decodeCount(encodeCount(big)) - big) / big < 1.0 / 8388608.0);
    QByteArray b(4, '\0');
    put32(b, 0, 10000000);
    QCOMPARE(b, QByteArray::fromHex("00989680"));
}

void TestSimEngine::recordLayout_data()
{
    QTest::addColumn<QByteArray>("model");
    QTest::addColumn<int>("length");
    QTest::addColumn<qint64>("rate"); // bit/s that must encode as 00 98 96 80
    QTest::newRow("Nano") << QByteArray("Corvane Nano") << 24 << qint64(10000000);
    QTest::newRow("Nano Span") << QByteArray("Corvane Nano Span") << 24 << qint64(10000000);
    QTest::newRow("Tera") << QByteArray("Corvane Tera") << 24 << qint64(100000000);
    QTest::newRow("Nano Tera") << QByteArray("Corvane Nano Tera") << 24 << qint64(100000000);
    QTest::newRow("NanoTa") << QByteArray("Corvane NanoTa") << 27 << qint64(100000000);
    QTest::newRow("NanoTb") << QByteArray("Corvane NanoTb") << 27 << qint64(100000000);
}

void TestSimEngine::recordLayout()
{
    QFETCH(QByteArray, model);
    QFETCH(int, length);
    QFETCH(qint64, rate);
    Engine e(model);
    e.setRateBps(rate);
    e.setTxPowerDbm(10.0);
    e.setRxLossDb(0.0);
    e.setPattern('K');
    const Reply r = one(e, "r", 500);
    QVERIFY(r.dueMs - 500 >= 20 && r.dueMs - 500 <= 30);
    const QByteArray rec = r.bytes;
    QCOMPARE(rec.size(), length);
    QCOMPARE(rec.left(4), QByteArray::fromHex("00989680"));
    QCOMPARE(rec.at(4), 'K');
    QCOMPARE(rec.mid(5, 2), QByteArray::fromHex("7c18")); // Rx +10.0 dBm
    QCOMPARE(rec.mid(7, 2), QByteArray::fromHex("7c18")); // Tx +10.0 dBm
    if (model == "Corvane Nano Span") {
        QCOMPARE(int(rec.at(9)), 1); // transmitter flag
    } else {
        QCOMPARE(rec.mid(9, 3), QByteArray::fromHex("025d84")); // 1550.12 nm
    }
    const double temp = (32768.0 - be(rec, 12, 2)) / 100.0;
    QVERIFY2(temp >= 35.0 && temp <= 45.0, qPrintable(QString::number(temp)));
    QCOMPARE(rec.at(14) & 0x0F, 2);
    QCOMPARE(rec.at(14) & 0x80, 0);
    if (length == 27) {
        QCOMPARE(int(quint8(rec.at(25))), 0); // K28.5 is no PRBS
        e.setPattern('3');
        e.setPrbsInverted(false);
        QCOMPARE(int(quint8(one(e, "r", 600).bytes.at(25))), 31);
        e.setPrbsInverted(true);
        const QByteArray inv = one(e, "r", 700).bytes;
        QCOMPARE(int(quint8(inv.at(25))), 131);
        QVERIFY(quint8(inv.at(23)) * 0.03125 > 0.4); // an open eye while synchronised
        QVERIFY(quint8(inv.at(24)) * 3.125 > 100.0);
    }
}

void TestSimEngine::transmitterOff()
{
    Engine e("Corvane Nano");
    send(e, "r", 0);
    send(e, "tx 0", 100);
    const QByteArray rec = one(e, "r", 200).bytes;
    QVERIFY(be(rec, 7, 2) >= 0x8FA0); // Tx at or below -40 dBm
    QVERIFY(be(rec, 5, 2) >= 0x8FA0);
    QCOMPARE(rec.at(14) & 0x0F, 1);
    const quint64 bits = e.bitCount();
    e.advanceTo(5000);
    QCOMPARE(e.bitCount(), bits);

    Engine span("Corvane Nano Span");
    send(span, "tx 0", 0);
    QCOMPARE(int(one(span, "r", 10).bytes.at(9)), 0);

    // Cable pulled with the transmitter on: no signal either.
    Engine cable("Corvane Nano");
    cable.setLoopback(false);
    QCOMPARE(one(cable, "r", 10).bytes.at(14) & 0x0F, 1);
}

void TestSimEngine::countsGrowAtLineRate()
{
    Engine e("Corvane NanoTb");
    e.setRateBps(Q_INT64_C(10312500000));
    e.advanceTo(1000);
    QCOMPARE(e.bitCount(), quint64(10312500000));
    const QByteArray rec = one(e, "r", 1000).bytes;
    QVERIFY(qAbs(count(rec, 15) - 10312500000.0) / 10312500000.0 < 1e-6);
    QCOMPARE(count(rec, 19), 0.0);

    // Fractions of a bit per millisecond are carried, not lost.
    Engine span("Corvane Nano Span");
    span.setRateBps(6312001);
    for (qint64 t = 7; t <= 1001; t += 7)
        span.advanceTo(t);
    QCOMPARE(span.bitCount(), quint64(6318313)); // 6312001 * 1.001 s, truncated
}

void TestSimEngine::errorsFollowRateAndReset()
{
    Engine e("Corvane Nano Tera", 7);
    e.setRateBps(Q_INT64_C(10000000000));
    e.setBitErrorRate(1e-6);
    e.advanceTo(1000);
    const double errors = double(e.errorCount());
    QVERIFY2(errors > 9500 && errors < 10500, qPrintable(QString::number(errors))); // mean 10000
    const QByteArray rec = one(e, "r", 1000).bytes;
    QVERIFY(qAbs(count(rec, 19) - errors) <= errors / 8388608.0 + 1);

    send(e, "reset", 1000);
    QCOMPARE(e.bitCount(), quint64(0));
    QCOMPARE(e.errorCount(), quint64(0));
    QCOMPARE(one(e, "r", 1000).bytes.mid(15, 8), QByteArray(8, '\0'));

    e.setBitErrorRate(0.0);
    e.advanceTo(3000);
    QCOMPARE(e.errorCount(), quint64(0));
    e.injectErrors(5);
    QCOMPARE(e.errorCount(), quint64(5));
}

void TestSimEngine::sideBIsIndependent()
{
    Engine e("Corvane NanoTb");
    const qint64 rateA = e.rateBps('A');
    QVERIFY(send(e, "setrateB 2488320", 0).isEmpty());
    QCOMPARE(e.rateBps('B'), qint64(2488320000));
    QCOMPARE(e.rateBps('A'), rateA);
    send(e, "setpatB 7", 0);
    send(e, "txB 0", 0);
    QCOMPARE(e.patternCode('B'), '7');
    QCOMPARE(e.patternCode('A'), '3');
    e.advanceTo(1000);
    QCOMPARE(e.bitCount('B'), quint64(0));
    QVERIFY(e.bitCount('A') > 0);

    const QByteArray recB = one(e, "rB", 1000).bytes;
    QCOMPARE(be(recB, 0, 4), quint32(248832000));
    QCOMPARE(recB.at(4), '7');
    QCOMPARE(recB.at(14) & 0x0F, 1);
    QCOMPARE(one(e, "r", 1000).bytes.at(14) & 0x0F, 2);

    send(e, "txB 1", 1000);
    e.advanceTo(2000);
    send(e, "resetB", 2000);
    QCOMPARE(e.bitCount('B'), quint64(0));
    QVERIFY(e.bitCount('A') > 0);
}

void TestSimEngine::setCommandsUseModelUnits()
{
    Engine nano("Corvane Nano");
    QVERIFY(send(nano, "setrate 2488320000", 0).isEmpty());
    QCOMPARE(nano.rateBps(), qint64(2488320000));
    Engine tera("Corvane Tera");
    send(tera, "setrate 995328000", 0);
    QCOMPARE(tera.rateBps(), qint64(9953280000));
    Engine ta("Corvane NanoTa");
    send(ta, "setrate 14500000", 0);
    QCOMPARE(ta.rateBps(), qint64(14500000000));
    // 29 Gbit/s does not fit 32 bits in bit/s but does in tens of bit/s.
    Engine tb("Corvane NanoTb");
    send(tb, "setrate 29000000", 0);
    QCOMPARE(be(one(tb, "r", 10).bytes, 0, 4), quint32(2900000000u));

    QVERIFY(send(nano, "setpat CAAAAAAAAAA", 0).isEmpty());
    QCOMPARE(nano.patternCode(), 'C');
    QCOMPARE(nano.patternSuffix(), QByteArray("AAAAAAAAAA"));
    QVERIFY(send(nano, "SetWL 1550.52", 0).isEmpty());
    QCOMPARE(one(nano, "r", 10).bytes.mid(9, 3), QByteArray::fromHex("025dac")); // 155052
    QCOMPARE(nano.sfpRegister(0xA0, 60) * 256 + nano.sfpRegister(0xA0, 61), 1551);

    Engine span("Corvane Nano Span");
    QCOMPARE(one(span, "SetWL 1550.12", 0).bytes, QByteArray("ERR\r\n"));
    QCOMPARE(one(span, "setpat C32", 0).bytes, QByteArray()); // accepted silently: no reply
    QCOMPARE(span.patternSuffix(), QByteArray("32"));
    QCOMPARE(one(nano, "bogus", 0).bytes, QByteArray("ERR\r\n"));
    QCOMPARE(one(nano, "setpat Z", 0).bytes, QByteArray("ERR\r\n"));
    QCOMPARE(one(nano, "tx 2", 0).bytes, QByteArray("ERR\r\n"));
}

void TestSimEngine::lineFramingAndLog()
{
    Engine e("Corvane Nano");
    QVERIFY(e.receive("r", 10).isEmpty());
    QVERIFY(e.receive("\r", 11).isEmpty());
    const QVector<Reply> r = e.receive("\n?\r\nr\r\nre", 12);
    QCOMPARE(r.size(), 3);
    QCOMPARE(r[0].bytes.size(), 24);
    QVERIFY(r[1].bytes.startsWith("Corvane Nano:"));
    QCOMPARE(r[2].bytes.size(), 24);
    e.receive("set\r\n", 20);
    const QVector<sim::LoggedCommand> log = e.commandLog();
    QCOMPARE(log.size(), 4);
    QCOMPARE(log[0].line, QByteArray("r"));
    QCOMPARE(log[0].ms, qint64(12));
    QCOMPARE(log[3].line, QByteArray("reset"));
    QCOMPARE(log[3].ms, qint64(20));
}

void TestSimEngine::sfpRegisters()
{
    Engine e("Corvane NanoTb");
    QCOMPARE(one(e, "WrSFP D 80 5A", 0).bytes, QByteArray("OK\r\n"));
    const Reply r = one(e, "RdSFP D 80", 0);
    QVERIFY(r.dueMs <= 10);
    QCOMPARE(r.bytes, QByteArray("A2 80 = 5a\r\n"));
    QCOMPARE(r.bytes.mid(8, 2), QByteArray("5a")); // read-back verify position
    QCOMPARE(singleReadValue(r.bytes), QByteArray("5a"));

    // One-digit and upper-case addresses are reported as two lower-case digits.
    send(e, "WrSFP D 8 ab", 0);
    QCOMPARE(one(e, "RdSFP D 8", 0).bytes, QByteArray("A2 08 = ab\r\n"));
    QCOMPARE(one(e, "RdSFP D 0A", 0).bytes.left(8), QByteArray("A2 0a = "));
    QCOMPARE(one(e, "RdSFP I 14", 0).bytes, QByteArray("A0 14 = 43\r\n")); // 'C' of CORVANE
    QCOMPARE(one(e, "RdSFP I 0", 0).bytes, QByteArray("A0 00 = 03\r\n"));

    // Read-only: A0 entirely, A2 live diagnostics.
    send(e, "WrSFP I 14 00", 0);
    QCOMPARE(e.sfpRegister(0xA0, 0x14), 0x43);
    const int live = e.sfpRegister(0xA2, 0x68);
    send(e, "WrSFP D 68 " + QByteArray::number(live ^ 0xFF, 16), 0);
    QCOMPARE(e.sfpRegister(0xA2, 0x68), live);
    // User EEPROM end is F7.
    send(e, "WrSFP D F7 00", 0);
    QCOMPARE(e.sfpRegister(0xA2, 0xF7), 0x00);

    QCOMPARE(one(e, "RdSFP D 100", 0).bytes, QByteArray("ERR\r\n"));
    QCOMPARE(one(e, "RdSFP X 10", 0).bytes, QByteArray("ERR\r\n"));
    QCOMPARE(one(e, "RdXFP 10", 0).bytes, QByteArray("ERR\r\n")); // no XFP cage on this model
}

void TestSimEngine::xfpPasswordAndPages()
{
    Engine e("Corvane Nano Tera");
    QCOMPARE(one(e, "RdXFP 0", 0).bytes, QByteArray("00 = 06\r\n"));
    send(e, "WrXFP 7F 02", 0);
    const Reply r = one(e, "RdXFP 7F", 0);
    QCOMPARE(r.bytes, QByteArray("7f = 02\r\n"));
    QCOMPARE(r.bytes.mid(5, 2), QByteArray("02"));
    QCOMPARE(singleReadValue(r.bytes), QByteArray("02"));

    // Page 02 stays locked until the password is right.
    const int before = e.xfpRegister(0x80);
    send(e, "WrXFP 80 55", 0);
    QCOMPARE(e.xfpRegister(0x80), before);
    send(e, "WrXFP 7B 01", 0);
    send(e, "WrXFP 7C 02", 0);
    send(e, "WrXFP 7D 03", 0);
    send(e, "WrXFP 7E 04", 0);
    send(e, "WrXFP 80 55", 0);
    QCOMPARE(e.xfpRegister(0x80), before);
    QVERIFY(!e.xfpUnlocked());
    const QByteArray pw[4] = {"7B ", "7C ", "7D ", "7E "};
    for (int i = 0; i < 4; ++i)
        send(e, "WrXFP " + pw[i] + QByteArray::number(Engine::kXfpPassword[i], 16), 0);
    QVERIFY(e.xfpUnlocked());
    QCOMPARE(one(e, "RdXFP 7B", 0).bytes, QByteArray("7b = 00\r\n")); // entry reads as zero
    send(e, "WrXFP 80 55", 0);
    QCOMPARE(one(e, "RdXFP 80", 0).bytes, QByteArray("80 = 55\r\n"));

    // Page 01 (serial ID) is read-only even when unlocked; pages are separate.
    send(e, "WrXFP 7F 01", 0);
    QCOMPARE(e.xfpRegister(0x80), 0x06);
    send(e, "WrXFP 80 00", 0);
    QCOMPARE(e.xfpRegister(0x80), 0x06);
    send(e, "WrXFP 7F 02", 0);
    QCOMPARE(e.xfpRegister(0x80), 0x55);

    QCOMPARE(one(e, "RdSFP D 10", 0).bytes, QByteArray("ERR\r\n"));
}

void TestSimEngine::eyeScan()
{
    Engine e("Corvane NanoTb");
    const Reply r = one(e, "Scan 4", 100);
    QCOMPARE(r.dueMs, qint64(1600));
    const QByteArray &b = r.bytes;
    QCOMPARE(b.size(), 4224);
    auto sample = [&](int col, int row) { return int(quint8(b.at(col * 66 + row))); };
    for (int col = 0; col < 64; ++col) {
        QCOMPARE(b.mid(col * 66 + 64, 2), QByteArray("\r\n"));
        for (int row = 0; row < 64; ++row)
            QVERIFY(sample(col, row) != 0x0D && sample(col, row) != 0x0A);
    }
    // Open centre, dense rails above and below it, dense crossing at the centre row.
    QVERIFY(sample(32, 31) < 30);
    int railMax = 0;
    for (int row = 0; row < 64; ++row)
        railMax = qMax(railMax, sample(32, row));
    QVERIFY(railMax > 200);
    QVERIFY(sample(16, 31) > 100 || sample(16, 32) > 100);

    // A finer vertical scale pushes the rails apart.
    auto railRow = [](const QByteArray &scan) {
        int best = 0, row = 0;
        for (int j = 32; j < 64; ++j)
            if (quint8(scan.at(32 * 66 + j)) > best) {
                best = quint8(scan.at(32 * 66 + j));
                row = j;
            }
        return row;
    };
    QVERIFY(railRow(one(e, "Scan 3", 200).bytes) > railRow(b));
    QCOMPARE(one(e, "Scan 5", 300).bytes, QByteArray("ERR\r\n"));
    QCOMPARE(one(e, "ScanB 4", 400).bytes.size(), 4224);
}

void TestSimEngine::dumpAndLoopbackTest()
{
    Engine e("Corvane NanoTb");
    const Reply d = one(e, "SFP", 0);
    QVERIFY(d.dueMs > 0 && d.dueMs <= 1000);
    const QList<QByteArray> rows = d.bytes.split('\n');
    QCOMPARE(rows.size(), 33); // 32 rows and the empty tail
    QVERIFY(rows[0].startsWith("A0 00: 03 04 07 "));
    QVERIFY(rows[16].startsWith("A2 00: 4b 00 fb 00 "));
    QCOMPARE(one(e, "XFP", 0).bytes, QByteArray("ERR\r\n"));

    Engine x("Corvane Nano Tera");
    const QByteArray xd = one(x, "XFPB", 0).bytes;
    QVERIFY(xd.startsWith("Lower 00: 06 "));
    QVERIFY(xd.contains("Page 01 80: 06 90 07 "));

    const Reply t = one(e, "test", 0);
    QCOMPARE(t.dueMs, qint64(5000));
    QVERIFY(t.bytes.startsWith("Loopback test: PASS\r\n"));
    QVERIFY(t.bytes.count("\r\n") > 3);
    send(e, "tx 0", 0);
    QVERIFY(one(e, "test", 0).bytes.startsWith("Loopback test: FAIL\r\n"));
}

void TestSimEngine::faults_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("no reply") << int(Fault::NoReply);
    QTest::newRow("short") << int(Fault::ShortReply);
    QTest::newRow("split") << int(Fault::SplitReply);
    QTest::newRow("late") << int(Fault::LateReply);
    QTest::newRow("garbage") << int(Fault::Garbage);
}

void TestSimEngine::faults()
{
    QFETCH(int, fault);
    // Two engines fed the same inputs agree byte for byte; one of them is spoilt.
    Engine ref("Corvane Nano"), e("Corvane Nano");
    e.setFault(Fault(fault), 2);
    const Reply good = one(ref, "r", 100);
    const QVector<Reply> bad = send(e, "r", 100);
    switch (Fault(fault)) {
    case Fault::NoReply: QVERIFY(bad.isEmpty()); break;
    case Fault::ShortReply:
        QCOMPARE(bad.size(), 1);
        QVERIFY(bad[0].bytes.size() < 24 && bad[0].bytes.size() > 0);
        QVERIFY(good.bytes.startsWith(bad[0].bytes));
        break;
    case Fault::SplitReply:
        QCOMPARE(bad.size(), 2);
        QCOMPARE(bad[0].dueMs, good.dueMs);
        QCOMPARE(bad[1].dueMs, good.dueMs + 150);
        QCOMPARE(bad[0].bytes + bad[1].bytes, good.bytes);
        break;
    case Fault::LateReply:
        QCOMPARE(bad.size(), 1);
        QCOMPARE(bad[0].dueMs, good.dueMs + 250);
        QCOMPARE(bad[0].bytes, good.bytes);
        break;
    case Fault::Garbage:
        QCOMPARE(bad.size(), 1);
        QVERIFY(bad[0].bytes.size() != 24);
        break;
    default: QFAIL("unexpected fault");
    }
    // A clean reply: exactly one, on time, with the reference bytes.
    auto clean = [](const QVector<Reply> &r, const Reply &expected) {
        return r.size() == 1 && r[0].dueMs == expected.dueMs && r[0].bytes == expected.bytes;
    };
    // The fault also hits "?", then runs out after the two replies asked for.
    QVERIFY(!clean(send(e, "?", 200), one(ref, "?", 200)));
    QVERIFY(clean(send(e, "?", 300), one(ref, "?", 300)));

    e.setFault(Fault(fault)); // until switched off
    for (qint64 t = 400; t < 700; t += 100)
        QVERIFY(!clean(send(e, "r", t), one(ref, "r", t)));
    e.setFault(Fault::None);
    QVERIFY(clean(send(e, "r", 800), one(ref, "r", 800)));
}

QTEST_GUILESS_MAIN(TestSimEngine)
#include "tst_simengine.moc"
