// The documents' tables written out as data: the unit-model table, every
// standard-rate list, the rate ranges' bounds, the test log's pattern names,
// row and once-a-second rule, and the wavelength grid's round trip.
#include "bert/modelconfig.h"
#include "bert/testlog.h"
#include "link/unitmodels.h"
#include "wavelength/wavelengthgrid.h"

#include <QtTest>

class TstTables : public QObject
{
    Q_OBJECT
private slots:
    void unitModels_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("code");
        QTest::newRow("NanoTa") << QByteArray("x Corvane NanoTa:SN 1") << 1 << 50077041;
        QTest::newRow("NanoTb, not Nano") << QByteArray("Corvane NanoTb:SN 7") << 2 << 50077063;
        QTest::newRow("Nano Span") << QByteArray("Corvane Nano Span") << 3 << 500130;
        QTest::newRow("Tera") << QByteArray("Corvane Tera") << 4 << 500120;
        QTest::newRow("Nano Tera") << QByteArray("Corvane Nano Tera") << 5 << 500120;
        QTest::newRow("Nano") << QByteArray("Corvane Nano:SN 2") << 6 << 500110;
        QTest::newRow("case matters") << QByteArray("corvane nano") << 0 << 0;
    }
    void unitModels()
    {
        QFETCH(QByteArray, reply);
        QTEST(unit::matchRow(reply), "row");
        QTEST(unit::codeOfRow(unit::matchRow(reply)), "code");
    }

    void rateTables_data()
    {
        QTest::addColumn<int>("code");  // a single-range model, or 0 for a range
        QTest::addColumn<int>("range"); // of the multi-range models
        QTest::addColumn<QString>("rates");
        QTest::newRow("list A") << 500110 << -1
                                << "125000 155520 200000 622080 1062500 1250000 2125000 2488320 "
                                   "2500000 2666080 4250000";
        QTest::newRow("list B") << 500120 << -1
                                << "9953280 10312500 10518800 10709200 11049000 11095700 "
                                   "11270000 11317600";
        QTest::newRow("list C") << 500130 << -1
                                << "6312 8000 8448 10000 12500 16000 32064 34368 43000 44736 "
                                   "48960 50112 51840 52000 53000 97728 100000 125000";
        QTest::newRow("range 0") << 0 << 0 << "1244160 1250000 1485000 1813000";
        QTest::newRow("range 1") << 0 << 1 << "2488320 2500000 2666057 2970000 3125000 3625000";
        QTest::newRow("range 2") << 0 << 2 << "4975000 5000000 5940000 6250000 7250000";
        QTest::newRow("range 3")
            << 0 << 3
            << "9953280 10000000 10079800 10312500 10443590 10446490 10518750 10664228 10692000 "
               "10709200 10754600 11049000 11095700 11145840 11270000 11317600 11880000 12000000 "
               "14025000 14062500 14500000";
        QTest::newRow("range 4") << 0 << 4
                                 << "19900000 20000000 24000000 24883200 25781252 27952490 "
                                    "28050000 29000000";
    }
    void rateTables()
    {
        QFETCH(int, code);
        QFETCH(int, range);
        bert::RateTable t;
        if (code)
            t.load(bert::modelRow(code).rates, bert::modelRow(code).rateCount);
        else
            QVERIFY(bert::loadRange(range, t));
        QStringList rates;
        for (int i = 1; i <= t.count; ++i)
            rates << QString::number(t.entry[size_t(i)]);
        QTEST(rates.join(' '), "rates");
    }

    // The first record of a multi-range unit picks the range; each bound is inclusive.
    void rangeOfARate()
    {
        const qint64 bounds[] = {1813000000, 3325000000, 7250000000, 14500000000};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(bert::rangeForRate(bounds[i]), i);
            QCOMPARE(bert::rangeForRate(bounds[i] + 1), i + 1);
        }
    }

    void logTexts()
    {
        QString names;
        for (char code : QByteArray("12357CDJKLRS"))
            names += bert::patternName(code) + ' ';
        QCOMPARE(names, QString("PRBS11 PRBS23 PRBS31 PRBS15 PRBS7 Custom DCD CJTPAT K28.5 "
                                "Loopback CRPAT CSPAT "));
        const bert::LogFields f{10312500000LL, 'L',         "41.5",     "-3.1",
                                "1.000e+10",   "0.000e+00", "0.000e-00"};
        QCOMPARE(bert::logRow(QTime(7, 5, 9), f),
                 QString("\r\n07:05:09, 10312500000, Loopback, 41.5, -3.1, 1.000e+10, 0.000e+00, "
                         "0.000e-00"));
    }

    // The lamp is yellow for half a second after a row; rows are more than a
    // second apart; times of day wrap at midnight.
    void rowRule_data()
    {
        QTest::addColumn<QTime>("last");
        QTest::addColumn<QTime>("now");
        QTest::addColumn<QString>("decision"); // yellow? row?
        const QTime t0(12, 0, 0);
        QTest::newRow("never logged") << QTime() << t0 << "green row";
        QTest::newRow("500 ms") << t0 << t0.addMSecs(500) << "yellow";
        QTest::newRow("600 ms") << t0 << t0.addMSecs(600) << "green";
        QTest::newRow("1000 ms") << t0 << t0.addMSecs(1000) << "green";
        QTest::newRow("1001 ms") << t0 << t0.addMSecs(1001) << "green row";
        QTest::newRow("midnight, 900 ms")
            << QTime(23, 59, 59, 800) << QTime(0, 0, 0, 700) << "green";
        QTest::newRow("midnight, 1100 ms")
            << QTime(23, 59, 59, 800) << QTime(0, 0, 0, 900) << "green row";
    }
    void rowRule()
    {
        QFETCH(QTime, last);
        QFETCH(QTime, now);
        const bert::RowDecision d = bert::decideRow(last, now);
        QTEST(QString(d.yellow ? "yellow" : "green") + (d.writeRow ? " row" : ""), "decision");
    }

    // Over the widest span the wavelength dials can cover (1200 to 1750 nm):
    // every channel's wavelength has that channel again, so the dials settle
    // after one exchange.
    void everyChannelMapsBack()
    {
        QCOMPARE(wavelength::channelOf(175000), 3426);
        QCOMPARE(wavelength::channelOf(120000), 4996);
        for (int ch = 3426; ch <= 4996; ++ch)
            if (wavelength::channelOf(wavelength::wavelengthOf(ch)) != ch)
                QFAIL(qPrintable(QString("channel %1 does not map back").arg(ch)));
    }
};

QTEST_APPLESS_MAIN(TstTables)
#include "tst_tables.moc"
