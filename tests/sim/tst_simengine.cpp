// The simulated instrument's replies, byte for byte, where the program's own
// end-to-end tests rely on them (record layout, register read-backs, the scan,
// faults). Expected bytes are worked out by hand from the documented layouts.

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
    void recordLayout_data();
    void recordLayout();
    void sfpRegisters();
    void xfpPasswordAndPages();
    void eyeScan();
    void faults_data();
    void faults();
};

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

    // Read-only: A0 entirely.
    send(e, "WrSFP I 14 00", 0);
    QCOMPARE(e.sfpRegister(0xA0, 0x14), 0x43);
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
    QCOMPARE(one(e, "Scan 5", 300).bytes, QByteArray("ERR\r\n"));
    QCOMPARE(one(e, "ScanB 4", 400).bytes.size(), 4224);
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
