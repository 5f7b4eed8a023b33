// The plain logic against worked examples: identification replies (clean,
// after stale bytes, shortened, without a line end), the range a reported
// rate picks, the test log's rows and once-a-second rule, and the wavelength
// grid's round trip; and the simulated instrument's own model table against
// the program's. (Each model's rate unit and log header: tst_bert, end to end.)
#include "bert/identification.h"
#include "bert/measurementrecord.h"
#include "bert/ratecontrol.h"
#include "bert/recordreader.h"
#include "bert/testlog.h"
#include "simengine.h"
#include "wavelength/wavelengthgrid.h"

#include <QtTest>

class TstLogic : public QObject
{
    Q_OBJECT
private slots:
    // The first name of the search order that occurs wins; the entry holds the
    // identification line only, each field on a line of its own.
    void identification_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("entry");
        QTest::newRow("NanoTa") << QByteArray("Corvane NanoTa:SN 1:FW 2.61:\r\n") << "Corvane NanoTa"
                                << 1 << "pts/3: Corvane NanoTa\r\nSN 1\r\nFW 2.61\r\n";
        QTest::newRow("NanoTb, not Nano")
            << QByteArray("Corvane NanoTb:SN 4711:FW 2.61:\r\nCorvane NanoTb:SN 4711:FW 2.61:\r\n")
            << "Corvane NanoTb" << 2 << "pts/3: Corvane NanoTb\r\nSN 4711\r\nFW 2.61\r\n";
        QTest::newRow("Nano Span") << QByteArray("Corvane Nano Span:SN 2:FW 2.61:\r\n")
                                   << "Corvane Nano Span" << 3
                                   << "pts/3: Corvane Nano Span\r\nSN 2\r\nFW 2.61\r\n";
        QTest::newRow("Tera") << QByteArray("Corvane Tera:SN 3\r\n") << "Corvane Tera" << 4
                              << "pts/3: Corvane Tera\r\nSN 3";
        QTest::newRow("Nano Tera, a Tera") << QByteArray("Corvane Nano Tera:SN 4:\r\n")
                                           << "Corvane Tera" << 5
                                           << "pts/3: Corvane Nano Tera\r\nSN 4\r\n";
        QTest::newRow("Nano") << QByteArray("Corvane Nano:SN 7:FW 2.61:\r\n") << "Corvane Nano" << 6
                              << "pts/3: Corvane Nano\r\nSN 7\r\nFW 2.61\r\n";
        QTest::newRow("case matters") << QByteArray("corvane nano:SN 7:\r\n") << "" << 0 << "";
        QTest::newRow("a record left over before it")
            << QByteArray::fromHex("00989680337c187c18025d846f8e02800000180000000000") +
                   "Corvane NanoTb:SN 4711:FW 2.61:\r\n"
            << "Corvane NanoTb" << 2 << "pts/3: Corvane NanoTb\r\nSN 4711\r\nFW 2.61\r\n";
        QTest::newRow("a shortened reply run into the next")
            << QByteArray("Corvane NanoTb:SN 47Corvane NanoTb:SN 4711:FW 2.61:\r\n")
            << "Corvane NanoTb" << 2 << "pts/3: Corvane NanoTb\r\nSN 4711\r\nFW 2.61\r\n";
        QTest::newRow("no line end at all") << QByteArray("Corvane Nano:SN 7:FW 2.61:")
                                            << "Corvane Nano" << 6
                                            << "pts/3: Corvane Nano\r\nSN 7\r\nFW 2.61\r\n";
        QTest::newRow("control bytes dropped")
            << QByteArray("\r\nCorvane Nano:SN\x07 7:FW\x1b 2.61:\r\n") << "Corvane Nano" << 6
            << "pts/3: Corvane Nano\r\nSN 7\r\nFW 2.61\r\n";
    }
    void identification()
    {
        QFETCH(QByteArray, reply);
        const bert::Identification id = bert::identify(reply);
        QTEST(id.recognised() ? id.model->name() : QString(), "model");
        QTEST(id.row, "row");
        QTEST(id.recognised() ? id.entryText("pts/3") : QString(), "entry");
    }

    // The first record of a multi-range unit picks the range; each bound is inclusive.
    void rangeOfARate()
    {
        const bert::Model &nanoTb = bert::modelByCode(50077063);
        const qint64 bounds[] = {1813000000, 3325000000, 7250000000, 14500000000};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(bert::rangeForRate(nanoTb, bounds[i]), i);
            QCOMPARE(bert::rangeForRate(nanoTb, bounds[i] + 1), i + 1);
        }
        QCOMPARE(bert::rangeForRate(bert::modelByCode(50077041), 20000000000), 3);
    }

    // A reply cut in two: its tail, joined to the head of the next reply, is
    // as long as a record and decodes, but is none. Nothing is taken until the
    // line is quiet; then the next whole record is.
    void brokenReplyTailIsNoRecord()
    {
        const bert::Model &nano = bert::modelByCode(500110);
        // 10 Mbit/s, 8388608 bits then 16777216 bits, no errors; 24 bytes each.
        const QByteArray a = QByteArray::fromHex("00989680337c187c18025d846f8e0280000018000000"
                                                 "0000");
        const QByteArray b = QByteArray::fromHex("00989680337c187c18025d846f8e0280000019000000"
                                                 "0000");
        QCOMPARE(a.size(), 24);
        bert::RecordReader reader;
        bert::Measurement m;
        using O = bert::RecordReader::Outcome;
        QCOMPARE(reader.take(a.left(10), nano, &m), O::Broken);
        const QByteArray joined = a.mid(10) + b.left(10);
        QCOMPARE(joined.size(), 24);
        QVERIFY(bert::decodeRecord(joined, nano, &m)); // looks like a record
        QVERIFY(bert::plausible(nano, m));
        QCOMPARE(reader.take(joined, nano, &m), O::Nothing);
        QVERIFY(reader.resyncing());
        QCOMPARE(reader.take(QByteArray(), nano, &m), O::Nothing);
        QVERIFY(!reader.resyncing());
        QCOMPARE(reader.take(b, nano, &m), O::Record);
        QCOMPARE(m.bits, 16777216.0);
        QCOMPARE(m.rateBps, 10000000);
    }

    void logRows()
    {
        QString names;
        for (char code : QByteArray("12357CDJKLRS689"))
            names += bert::patternName(code) + ' ';
        QCOMPARE(names, QString("PRBS11 PRBS23 PRBS31 PRBS15 PRBS7 Custom DCD CJTPAT K28.5 "
                                "Loopback CRPAT CSPAT PRBS63 PRBS58 PRBS9 "));
        const bert::LogFields f{10312500000LL, 'L',         "41.5",     "-3.1",
                                "1.000e+10",   "0.000e+00", "0.000e-00"};
        QCOMPARE(bert::logRow(QTime(7, 5, 9), f),
                 QString("\r\n07:05:09, 10312500000, Loopback, 41.5, -3.1, 1.000e+10, 0.000e+00, "
                         "0.000e-00"));
        // 10312500000 bit/s, PRBS 31, 1.616e12 bits, 3 errors, Rx -3.2 dBm,
        // Tx out of range, 42.1 C, 1550.12 nm, signal without sync.
        bert::Measurement m;
        m.rateBps = 10312500000LL;
        m.pattern = '3';
        m.bits = 1.616e12f;
        m.errors = 3;
        m.rxDbm = -3.2;
        m.txDbm = -40.0;
        m.temperatureC = 42.1;
        m.wavelengthNm = 1550.12f;
        m.lampCode = 3;
        const QByteArray json =
            bert::jsonRow(QDateTime(QDate(2026, 12, 7), QTime(7, 5, 9, 250)),
                          bert::modelByCode(50077063), m);
        // 1.616e12 in single precision is 1616000057344, the count a record can carry.
        QCOMPARE(json, QByteArray("{\"ber\":1.8564355776884642e-12,\"bits\":1616000057344,"
                                  "\"errors\":3,\"pattern\":\"PRBS31\",\"rate_bps\":10312500000,"
                                  "\"rx_dbm\":-3.2,\"signal\":true,\"sync\":false,"
                                  "\"temperature_c\":42.1,\"time\":\"2026-12-07T07:05:09.250\","
                                  "\"tx_dbm\":null,\"wavelength_nm\":1550.12}"));
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

    // The simulated instrument keeps a table of its own on purpose (it stands
    // in for the hardware); the two must agree on what reaches the wire.
    void simulatorAgrees()
    {
        for (const QByteArray &name : sim::Engine::modelNames()) {
            const sim::ModelInfo *info = sim::Engine::findModel(name);
            const bert::Identification id = bert::identify(name + ":SN 1:FW 2.61:\r\n");
            QVERIFY2(id.recognised(), name.constData());
            const bert::Model &m = *id.model;
            QCOMPARE(m.replyLength, info->recordLength);
            QCOMPARE(m.recordRateFactor, info->rateDivisor);
            QCOMPARE(qint64(1000000 / m.setRateScale), info->setrateUnit);
            QCOMPARE(int(m.transceiver), int(info->transceiver));
            QCOMPARE(m.tunable, info->tunable);
        }
    }
};

QTEST_APPLESS_MAIN(TstLogic)
#include "tst_logic.moc"
