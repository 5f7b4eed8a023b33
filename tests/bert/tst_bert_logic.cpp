// Measurement decoding, read-out texts, model tables, rate arithmetic and the
// test log, checked against worked examples rather than against the code.
#include "bert/measurementrecord.h"
#include "bert/modelconfig.h"
#include "bert/ratecontrol.h"
#include "bert/testlog.h"
#include "link/unitmodels.h"

#include <QtTest>

namespace {
// A record with every field set from the given bytes; the rest zero.
QByteArray record(int length, std::initializer_list<std::pair<int, quint8>> bytes)
{
    QByteArray r(length, '\0');
    for (const auto &b : bytes)
        r[b.first] = char(b.second);
    return r;
}
} // namespace

class TstBertLogic : public QObject
{
    Q_OBJECT
private slots:
    void rateScaling()
    {
        const QByteArray r = record(24, {{0, 0x00}, {1, 0x98}, {2, 0x96}, {3, 0x80}});
        bert::Measurement m;
        QVERIFY(bert::decodeRecord(r, unit::Nano, 24, &m));
        QCOMPARE(m.rateBps, qint64(10000000));
        QVERIFY(bert::decodeRecord(r, unit::Tera, 24, &m));
        QCOMPARE(m.rateBps, qint64(100000000));
        QVERIFY(bert::decodeRecord(r, unit::Span, 24, &m));
        QCOMPARE(m.rateBps, qint64(10000000));
        const QByteArray big = record(27, {{0, 0xff}, {1, 0xff}, {2, 0xff}, {3, 0xff}});
        QVERIFY(bert::decodeRecord(big, unit::NanoTb, 27, &m));
        QCOMPARE(m.rateBps, qint64(42949672950)); // no 32-bit overflow
    }

    void lengthMustMatch()
    {
        bert::Measurement m;
        QVERIFY(!bert::decodeRecord(QByteArray(23, 0), unit::Nano, 24, &m));
        QVERIFY(!bert::decodeRecord(QByteArray(25, 0), unit::Nano, 24, &m));
        QVERIFY(!bert::decodeRecord(QByteArray(24, 0), unit::NanoTa, 27, &m));
        QVERIFY(!bert::decodeRecord(QByteArray(), unit::None, 0, &m)); // nothing expected yet
        QVERIFY(!bert::decodeRecord(QByteArray(24, 0), unit::None, 0, &m));
    }

    void countsAndStatus()
    {
        bert::Measurement m;
        QVERIFY(
            bert::decodeRecord(record(24, {{15, 0x80}, {18, 24}, {19, 0x80}, {22, 0}, {14, 0x82}}),
                               unit::Nano, 24, &m));
        QCOMPARE(m.bits, 8388608.0f);
        QCOMPARE(m.errors, 0.5f);
        QCOMPARE(m.lampCode, 2);
        QVERIFY(m.reidentify);
        QVERIFY(!m.hasEye);
        QCOMPARE(bert::decodeCount(0xC00000, 60), std::ldexp(1.5f, 59));
        QCOMPARE(bert::decodeCount(0, 0), 0.0f);
    }

    void levelsAndRanges()
    {
        QCOMPARE(bert::decodeLevel(0x8FA0), -40.0);
        QCOMPARE(bert::decodeLevel(0x7C18), 10.0);
        QCOMPARE(bert::rxPowerText(bert::decodeLevel(0x8FA0)), QString("----"));
        QCOMPARE(bert::rxPowerText(bert::decodeLevel(0x7C18)), QString("10.0"));
        QCOMPARE(bert::rxPowerText(10.01), QString("----"));
        QCOMPARE(bert::rxPowerText(-39.99), QString("-40.0"));
        QCOMPARE(bert::txPowerText(1.5), QString("Tx: +1.5 dBm"));
        QCOMPARE(bert::txPowerText(-3.25), QString("Tx: -3.3 dBm")); // halves round away from zero
        QCOMPARE(bert::txPowerText(-40.0), QString("Tx: ----"));
        QCOMPARE(bert::temperatureText(bert::decodeLevel(32768 - 4210)), QString("42.1"));
        QCOMPARE(bert::temperatureText(bert::decodeLevel(65535)), QString("-327.7"));
    }

    void eyeAndWavelength()
    {
        bert::Measurement m;
        QVERIFY(bert::decodeRecord(
            record(27, {{9, 0x02}, {10, 0x5D}, {11, 0x8C}, {23, 20}, {24, 40}, {25, 131}}),
            unit::NanoTa, 27, &m));
        QCOMPARE(bert::wavelengthText(m.wavelengthNm), QString("1550.20 nm"));
        QVERIFY(m.hasEye);
        QCOMPARE(bert::eyeText(m.eyeWidth, m.eyeHeight), QString("0.63 UI / 125 mV"));
        QCOMPARE(bert::eyeText(0, 3), QString("0.00 UI /   9 mV"));
        QCOMPARE(bert::prbsTitle(m.prbsInfo), QString("BERT: PRBS 31, Inverted"));
        QCOMPARE(bert::prbsTitle(31), QString("BERT: PRBS 31, Noninverted"));
        QCOMPARE(bert::prbsTitle(99), QString("BERT: PRBS 99, Noninverted"));
        QCOMPARE(bert::prbsTitle(100), QString("BERT"));
        QCOMPARE(bert::prbsTitle(0), QString("BERT"));
        QCOMPARE(bert::prbsTitle(101), QString("BERT: PRBS 1, Inverted"));
    }

    void berAndCounts()
    {
        QCOMPARE(bert::berText(bert::bitErrorRate(5, 0)), QString("0.000e-00"));
        QCOMPARE(bert::berText(bert::bitErrorRate(0, 1e9f)), QString("0.000e-00"));
        QCOMPARE(bert::berText(bert::bitErrorRate(1, 1e9f)), QString("1.000e-09"));
        QCOMPARE(bert::countText(0), QString("0.000e+00"));
        QCOMPARE(bert::countText(8388608.0f), QString("8.389e+06"));
    }

    void elapsedTime_data()
    {
        QTest::addColumn<float>("bits");
        QTest::addColumn<double>("mbps");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing") << 0.0f << 10000.0 << "0d 00:00:00";
        QTest::newRow("no rate") << 1e12f << 0.0 << "0d 00:00:00";
        QTest::newRow("a minute and a half second") << 605e6f << 10.0 << "0d 00:01:00";
        QTest::newRow("1h 1m 1.5s") << 36615e6f << 10.0 << "0d 01:01:01";
        QTest::newRow("two days exactly") << 1.728e11f << 1.0 << "2d 00:00:00";
    }
    void elapsedTime()
    {
        QFETCH(float, bits);
        QFETCH(double, mbps);
        QFETCH(QString, text);
        QCOMPARE(bert::elapsedText(bits, mbps), text);
    }

    void patternPositions()
    {
        bert::PatternLetters letters{};
        bert::applyLetters(*bert::modelConfig(unit::Nano), letters);
        QCOMPARE(QByteArray(letters.data(), 9), QByteArray("CLSRJK723"));
        QCOMPARE(bert::patternPosition(letters, '3', 8), 8);
        QCOMPARE(bert::patternPosition(letters, 'C', 8), 0);
        QCOMPARE(bert::patternPosition(letters, 'Z', 8), 8);
        // The 10 Gbit/s model sets positions 0..4 only and keeps the rest.
        bert::applyLetters(*bert::modelConfig(unit::Tera), letters);
        QCOMPARE(QByteArray(letters.data(), 9), QByteArray("CLD73K723"));
        QCOMPARE(bert::patternPosition(letters, '3', 4), 4);
        QCOMPARE(bert::patternPosition(letters, 'Q', 4), 4);
        bert::applyLetters(*bert::modelConfig(unit::NanoTb), letters);
        QCOMPARE(QByteArray(letters.data(), 9), QByteArray("L79152386"));
        bert::applyLetters(*bert::modelConfig(unit::Span), letters);
        QCOMPARE(QByteArray(letters.data(), 9), QByteArray("CLDK71523"));
    }

    void rangeTables()
    {
        bert::RateTable t;
        QVERIFY(bert::loadRange(1, t));
        QCOMPARE(t.count, 6);
        QCOMPARE(t.last(), 3625000);
        QVERIFY(bert::loadRange(4, t));
        QCOMPARE(t.entry[5], 25781252);
        QCOMPARE(t.first(), 19900000);
        QCOMPARE(t.last(), 29000000);
        QVERIFY(!bert::loadRange(-1, t));
        QCOMPARE(t.last(), 29000000);
        QCOMPARE(bert::rangeForRate(1813000000), 0);
        QCOMPARE(bert::rangeForRate(1813000001), 1);
        QCOMPARE(bert::rangeForRate(3325000000), 1);
        QCOMPARE(bert::rangeForRate(7250000000), 2);
        QCOMPARE(bert::rangeForRate(14500000000), 3);
        QCOMPARE(bert::rangeForRate(14500000001), 4);
        QCOMPARE(bert::rangeForRate(0), 0);
    }

    void snapping_data()
    {
        QTest::addColumn<int>("dial");
        QTest::addColumn<int>("snapped");
        QTest::newRow("nearer lower") << 1100000 << 1062500;
        QTest::newRow("midpoint goes down") << 1156250 << 1062500;
        QTest::newRow("just past midpoint") << 1156251 << 1250000;
        QTest::newRow("on an entry") << 1250000 << 1250000;
        QTest::newRow("first entry") << 125000 << 125000;
        QTest::newRow("last entry") << 4250000 << 4250000;
        QTest::newRow("odd span midpoint") << 140260 << 125000; // 125000 + 30520/2
        QTest::newRow("odd span above") << 140261 << 155520;
    }
    void snapping()
    {
        QFETCH(int, dial);
        QFETCH(int, snapped);
        bert::RateTable t;
        const bert::ModelConfig *c = bert::modelConfig(unit::Nano);
        t.load(c->rates, c->rateCount);
        QCOMPARE(bert::snapToStandardRate(dial, t), snapped);
    }

    void setRateCommands()
    {
        QCOMPARE(bert::setRateCommand(unit::Nano, 2488.32), QString("setrate 2488320000"));
        QCOMPARE(bert::setRateCommand(unit::Tera, 9953.28), QString("setrate 995328000"));
        QCOMPARE(bert::setRateCommand(unit::Tera, 10312.5), QString("setrate 1031250000"));
        QCOMPARE(bert::setRateCommand(unit::NanoTa, 9953.28), QString("setrate 9953280"));
        QCOMPARE(bert::setRateCommand(unit::NanoTb, 14500), QString("setrate 14500000"));
        QCOMPARE(bert::setRateCommand(unit::Span, 6.312), QString("setrate 6312000"));
        QVERIFY(bert::setRateCommand(unit::None, 10).isNull());
        QCOMPARE(bert::pulseWidthToolTip(100, 1), QString("Pulse Width= # * 10.0nS"));
        QCOMPARE(bert::pulseWidthToolTip(100, 3), QString("Pulse Width= # * 10.000nS"));
    }

    void fieldStep()
    {
        bert::RateTable t;
        const bert::ModelConfig *span = bert::modelConfig(unit::Span);
        t.load(span->rates, span->rateCount);
        QCOMPARE(bert::rateFieldStep(t), 0.1);
        const bert::ModelConfig *nano = bert::modelConfig(unit::Nano);
        t.load(nano->rates, nano->rateCount);
        QCOMPARE(bert::rateFieldStep(t), 1.0);
    }

    void logHeaderAndRows()
    {
        const QDate date(2026, 12, 6);
        const QString dateText = date.toString(Qt::TextDate);
        QCOMPARE(bert::logHeader(unit::Nano, date, "dBm"),
                 "Corvane Nano Log file " + dateText +
                     "\r\nTime, Rate, Pattern, Temp (C), Rx (dBm), Count, Errors, BER");
        QVERIFY(bert::logHeader(unit::Tera, date, "dBm").startsWith("Corvane Nano Tera Log file "));
        QVERIFY(bert::logHeader(unit::NanoTa, date, "dBm").startsWith("Corvane NanoT Log file "));
        QVERIFY(bert::logHeader(unit::NanoTb, date, "dBm").startsWith("Corvane NanoT Log file "));
        QCOMPARE(bert::logHeader(unit::Span, date, "Mbps"),
                 dateText + "\r\nTime, Rate, Pattern, Temp (C), Rx (Mbps), Count, Errors, BER");

        const bert::LogFields f{10312500000LL, 'L',         "41.5",     "-3.1",
                                "1.000e+10",   "0.000e+00", "0.000e-00"};
        QCOMPARE(bert::logRow(QTime(7, 5, 9), f),
                 QString("\r\n07:05:09, 10312500000, Loopback, 41.5, -3.1, 1.000e+10, 0.000e+00, "
                         "0.000e-00"));
        const bert::LogFields span{50000000, '3', QString(), "50.000", "1.0e+00", "0", "0"};
        QVERIFY(bert::logRow(QTime(23, 0), span).contains(", PRBS31, , 50.000,"));
        const char codes[] = "12357CDJKLRS689";
        for (const char *c = codes; *c; ++c)
            QVERIFY2(!bert::patternName(*c).isEmpty(), c);
        QCOMPARE(bert::patternName('6'), QString("PRBS63"));
        QCOMPARE(bert::patternName('?'), QString());
    }

    void rowRule()
    {
        const QTime t0(12, 0, 0);
        auto d = bert::decideRow(QTime(), t0);
        QVERIFY(d.writeRow);
        QVERIFY(!d.yellow);
        d = bert::decideRow(t0, t0.addMSecs(300));
        QVERIFY(d.yellow && !d.writeRow);
        d = bert::decideRow(t0, t0.addMSecs(500)); // not yet past half a second
        QVERIFY(d.yellow && !d.writeRow);
        d = bert::decideRow(t0, t0.addMSecs(600));
        QVERIFY(!d.yellow && !d.writeRow);
        d = bert::decideRow(t0, t0.addMSecs(1000));
        QVERIFY(!d.writeRow);
        d = bert::decideRow(t0, t0.addMSecs(1001));
        QVERIFY(d.writeRow);
        // Across midnight the sums wrap and are compared as times of day.
        const QTime late(23, 59, 59, 800);
        d = bert::decideRow(late, QTime(0, 0, 0, 700));
        QVERIFY(!d.writeRow);
        d = bert::decideRow(late, QTime(0, 0, 0, 900));
        QVERIFY(d.writeRow);
    }
};

QTEST_APPLESS_MAIN(TstBertLogic)
#include "tst_bert_logic.moc"
