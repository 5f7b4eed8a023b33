// Arithmetic and texts that the window tests do not reach row by row: the
// elapsed time, the range bounds, the log's text and its once-a-second rule,
// checked against worked examples rather than against the code.
#include "bert/measurementrecord.h"
#include "bert/modelconfig.h"
#include "bert/testlog.h"
#include "link/unitmodels.h"

#include <QtTest>

class TstBertLogic : public QObject
{
    Q_OBJECT
private slots:
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

    void rateTables_data()
    {
        // Every standard-rate list, entry 1 first, as the documents give them.
        QTest::addColumn<int>("code");  // single-range model, or 0 for a range
        QTest::addColumn<int>("range"); // range of the multi-range models
        QTest::addColumn<QList<int>>("rates");
        QTest::newRow("list A") << 500110 << -1
                                << QList<int>{125000,  155520,  200000,  622080,  1062500, 1250000,
                                              2125000, 2488320, 2500000, 2666080, 4250000};
        QTest::newRow("list B") << 500120 << -1
                                << QList<int>{9953280,  10312500, 10518800, 10709200,
                                              11049000, 11095700, 11270000, 11317600};
        QTest::newRow("list C") << 500130 << -1
                                << QList<int>{6312,  8000,  8448,  10000, 12500,  16000,
                                              32064, 34368, 43000, 44736, 48960,  50112,
                                              51840, 52000, 53000, 97728, 100000, 125000};
        QTest::newRow("range 0") << 0 << 0 << QList<int>{1244160, 1250000, 1485000, 1813000};
        QTest::newRow("range 1") << 0 << 1 << QList<int>{2488320, 2500000, 2666057,
                                                         2970000, 3125000, 3625000};
        QTest::newRow("range 2") << 0 << 2
                                 << QList<int>{4975000, 5000000, 5940000, 6250000, 7250000};
        QTest::newRow("range 3") << 0 << 3
                                 << QList<int>{9953280,  10000000, 10079800, 10312500, 10443590,
                                               10446490, 10518750, 10664228, 10692000, 10709200,
                                               10754600, 11049000, 11095700, 11145840, 11270000,
                                               11317600, 11880000, 12000000, 14025000, 14062500,
                                               14500000};
        QTest::newRow("range 4") << 0 << 4 << QList<int>{19900000, 20000000, 24000000, 24883200,
                                                         25781252, 27952490, 28050000, 29000000};
    }
    void rateTables()
    {
        QFETCH(int, code);
        QFETCH(int, range);
        QFETCH(QList<int>, rates);
        bert::RateTable t;
        if (code) {
            const bert::ModelRow &row = bert::modelRow(code);
            t.load(row.rates, row.rateCount);
        } else {
            QVERIFY(bert::loadRange(range, t));
        }
        QCOMPARE(t.count, rates.size());
        for (int i = 0; i < rates.size(); ++i)
            QCOMPARE(t.entry[size_t(i + 1)], rates[i]);
    }

    void rangeOfARate()
    {
        // Each bound is inclusive.
        const qint64 bounds[] = {1813000000, 3325000000, 7250000000, 14500000000};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(bert::rangeForRate(bounds[i]), i);
            QCOMPARE(bert::rangeForRate(bounds[i] + 1), i + 1);
        }
        QCOMPARE(bert::rangeForRate(0), 0);
        bert::RateTable t;
        QVERIFY(bert::loadRange(4, t));
        QVERIFY(!bert::loadRange(5, t)); // no such range: the table stays
        QCOMPARE(t.last(), 29000000);
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
