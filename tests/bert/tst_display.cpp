// What the main window shows for exact measurement records: the simulated
// instrument answers with scripted bytes (the documents' worked examples) and
// the test reads the window's texts and lamps.
#include "support/simbench.h"

#include <QAbstractSpinBox>
#include <QGroupBox>

namespace {
// A measurement record; fields are raw bytes as the instrument sends them.
struct Rec {
    QByteArray rate = QByteArray::fromHex("00989680"); // 10 Mbit/s (x10 on some models)
    char pattern = '3';
    QByteArray rx = QByteArray::fromHex("7c18"); // +10.0 dBm
    QByteArray tx = QByteArray::fromHex("7c18");
    QByteArray wavelength = QByteArray::fromHex("025d84"); // 1550.12 nm
    QByteArray temperature = QByteArray::fromHex("6f8e");  // 42.1 C
    quint8 status = 0x02;
    QByteArray count = QByteArray::fromHex("80000018"); // 8388608 bits
    QByteArray errors = QByteArray::fromHex("00000000");
    QByteArray eye = QByteArray::fromHex("142800"); // 27-byte records: 20, 40, PRBS info 0

    QByteArray bytes(int length) const
    {
        QByteArray r =
            rate + pattern + rx + tx + wavelength + temperature + char(status) + count + errors;
        if (length == 27)
            r += eye;
        r.resize(length);
        return r;
    }
};

QString shownText(const QWidget *w, const char *name)
{
    if (auto *spin = w->findChild<QAbstractSpinBox *>(QLatin1String(name)))
        return spin->text();
    if (auto *slider = w->findChild<QAbstractSlider *>(QLatin1String(name)))
        return QString::number(slider->value());
    if (auto *box = w->findChild<QComboBox *>(QLatin1String(name)))
        return box->currentText();
    if (auto *group = w->findChild<QGroupBox *>(QLatin1String(name)))
        return group->title();
    return textOf(w, name);
}

} // namespace

class TstDisplay : public QObject
{
    Q_OBJECT

    BenchPool pool;
    SimBench &live(const QByteArray &model) { return pool.live(model); }

    // Shows the records, in order, and returns once the last one is on screen.
    bool show(SimBench &b, const QList<QByteArray> &records)
    {
        const qint64 from = b.engine([&](sim::Engine &e) {
            e.scriptRecords(records);
            return e.commandsReceived();
        });
        // The request after the one answered by the last record is sent by the
        // cycle that showed it.
        const int requests = records.size() + 1;
        return QTest::qWaitFor([&] { return b.count("r", from) >= requests; }, 5000);
    }

private slots:
    void cleanupTestCase() { pool.clear(); }

    void readouts_data()
    {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("text");
        const QByteArray nano = "Corvane Nano", tera = "Corvane Tera", span = "Corvane Nano Span",
                         tb = "Corvane NanoTb";
        Rec r;
        QTest::newRow("rate field") << nano << r.bytes(24) << "RateSetting"
                                    << "10.000000";
        Rec sonet;
        sonet.rate = QByteArray::fromHex("9450c000"); // 2488320000
        QTest::newRow("rate dial") << nano << sonet.bytes(24) << "RateDial"
                                   << "2488320";
        QTest::newRow("rate x10 field") << tera << r.bytes(24) << "RateSetting"
                                        << "100.000000";
        Rec tenG;
        tenG.rate = QByteArray::fromHex("3b538000"); // 995328000 x 10
        QTest::newRow("rate x10 dial") << tera << tenG.bytes(24) << "RateDial"
                                       << "9953280";
        QTest::newRow("count") << nano << r.bytes(24) << "CountTxt"
                               << "8.389e+06";
        Rec half;
        half.count = QByteArray::fromHex("80000000");
        QTest::newRow("count 0.5") << nano << half.bytes(24) << "CountTxt"
                                   << "5.000e-01";
        QTest::newRow("rx 10.0 shown") << nano << r.bytes(24) << "RxPowTxt"
                                       << "10.0";
        QTest::newRow("tx 10.0 shown") << nano << r.bytes(24) << "TxEnBtn"
                                       << "Tx: +10.0 dBm";
        Rec dark;
        dark.rx = dark.tx = QByteArray::fromHex("8fa0"); // -40.0 dBm
        QTest::newRow("rx -40.0 dashed") << nano << dark.bytes(24) << "RxPowTxt"
                                         << "----";
        QTest::newRow("tx -40.0 dashed") << nano << dark.bytes(24) << "TxEnBtn"
                                         << "Tx: ----";
        QTest::newRow("wavelength") << nano << r.bytes(24) << "WaveLengBtn"
                                    << "1550.12 nm";
        QTest::newRow("temperature") << nano << r.bytes(24) << "TempTxt"
                                     << "42.1";
        QTest::newRow("no errors") << nano << r.bytes(24) << "ErrorCntTxt"
                                   << "0.000e+00";
        QTest::newRow("BER zero") << nano << r.bytes(24) << "BERText"
                                  << "0.000e-00";
        Rec errs;
        errs.errors = QByteArray::fromHex("80000000"); // 0.5 errors in 8388608 bits
        QTest::newRow("BER") << nano << errs.bytes(24) << "BERText"
                             << "5.960e-08";
        Rec nobits;
        nobits.count = QByteArray::fromHex("00000000");
        nobits.errors = errs.errors;
        QTest::newRow("BER without bits") << nano << nobits.bytes(24) << "BERText"
                                          << "0.000e-00";
        QTest::newRow("time zero") << nano << nobits.bytes(24) << "TimeTxt"
                                   << "0d 00:00:00";
        Rec hour;
        hour.count = QByteArray::fromHex("80000024"); // 2^35 bits at 10 Mbit/s
        QTest::newRow("time") << nano << hour.bytes(24) << "TimeTxt"
                              << "0d 00:57:15";
        Rec k;
        k.pattern = 'K';
        QTest::newRow("pattern K28.5") << nano << k.bytes(24) << "SliderPattern"
                                       << "5";
        Rec unknown;
        unknown.pattern = 'Z';
        QTest::newRow("unknown pattern, top") << nano << unknown.bytes(24) << "SliderPattern"
                                              << "8";
        QTest::newRow("unknown pattern, 10G top") << tera << unknown.bytes(24) << "SliderPattern"
                                                  << "4";
        Rec on;
        on.wavelength = QByteArray::fromHex("010000");
        QTest::newRow("low-rate Rx shows the rate") << span << on.bytes(24) << "RxPowTxt"
                                                    << "10.000";
        QTest::newRow("low-rate Tx on") << span << on.bytes(24) << "TxEnBtn"
                                        << "Tx: On";
        Rec off;
        off.wavelength = QByteArray::fromHex("020000");
        QTest::newRow("low-rate Tx off") << span << off.bytes(24) << "TxEnBtn"
                                         << "Tx: Off";
        QTest::newRow("eye opening") << tb << r.bytes(27) << "EyeButton"
                                     << "0.63 UI / 125 mV";
        Rec inv;
        inv.eye = QByteArray::fromHex("1428"
                                      "83"); // PRBS info 131
        QTest::newRow("inverted PRBS") << tb << inv.bytes(27) << "BERTGroup"
                                       << "BERT: PRBS 31, Inverted";
        Rec non;
        non.eye = QByteArray::fromHex("1428"
                                      "1f");
        QTest::newRow("non-inverted PRBS") << tb << non.bytes(27) << "BERTGroup"
                                           << "BERT: PRBS 31, Noninverted";
        QTest::newRow("no PRBS") << tb << r.bytes(27) << "BERTGroup"
                                 << "BERT";
        Rec hundred;
        hundred.eye = QByteArray::fromHex("1428"
                                          "64");
        QTest::newRow("PRBS info 100") << tb << hundred.bytes(27) << "BERTGroup"
                                       << "BERT";
    }
    void readouts()
    {
        QFETCH(QByteArray, model);
        QFETCH(QByteArray, record);
        QFETCH(QString, control);
        SimBench &b = live(model);
        QVERIFY(show(b, {record}));
        QTEST(shownText(b.w.get(), qPrintable(control)), "text");
    }

    void lamps_data()
    {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<QList<QByteArray>>("records");
        QTest::addColumn<QString>("lamps"); // name=colour ..., after the last record
        Rec r, zero;
        zero.rate = QByteArray(4, '\0');
        QTest::newRow("rate") << QByteArray("Corvane Nano") << QList<QByteArray>{r.bytes(24)}
                              << "LEDRate=G";
        QTest::newRow("no rate") << QByteArray("Corvane Nano") << QList<QByteArray>{zero.bytes(24)}
                                 << "LEDRate=R";
        Rec c1, c2, c3, c0;
        c1.status = 0x01, c2.status = 0x02, c3.status = 0x03, c0.status = 0x00;
        QTest::newRow("code 1") << QByteArray("Corvane Nano") << QList<QByteArray>{c1.bytes(24)}
                                << "LEDSig=R LEDSync=R";
        QTest::newRow("code 2") << QByteArray("Corvane Nano") << QList<QByteArray>{c2.bytes(24)}
                                << "LEDSig=G LEDSync=G";
        QTest::newRow("code 3") << QByteArray("Corvane Nano") << QList<QByteArray>{c3.bytes(24)}
                                << "LEDSig=G LEDSync=R";
        QTest::newRow("code 0 keeps them")
            << QByteArray("Corvane Nano") << QList<QByteArray>{c3.bytes(24), c0.bytes(24)}
            << "LEDSig=G LEDSync=R";
        Rec errs;
        errs.errors = QByteArray::fromHex("80000000");
        QTest::newRow("BER lamps") << QByteArray("Corvane Nano")
                                   << QList<QByteArray>{errs.bytes(24)} << "LEDBER=R ErrorReset=R";
        QTest::newRow("BER lamps clear")
            << QByteArray("Corvane Nano") << QList<QByteArray>{r.bytes(24)}
            << "LEDBER=G ErrorReset=G";
        Rec on, off;
        on.wavelength = QByteArray::fromHex("010000");
        off.wavelength = QByteArray::fromHex("000000");
        QTest::newRow("low-rate flag on")
            << QByteArray("Corvane Nano Span") << QList<QByteArray>{on.bytes(24)} << "TxEnBtn=G";
        QTest::newRow("low-rate flag off")
            << QByteArray("Corvane Nano Span") << QList<QByteArray>{off.bytes(24)} << "TxEnBtn=g";
    }
    void lamps()
    {
        QFETCH(QByteArray, model);
        QFETCH(QList<QByteArray>, records);
        QFETCH(QString, lamps);
        SimBench &b = live(model);
        QVERIFY(show(b, records));
        for (const QString &expect : lamps.split(' ')) {
            const QString name = expect.section('=', 0, 0);
            QCOMPARE(QString(QChar(lampOf(b.w.get(), qPrintable(name)))), expect.section('=', 1));
        }
    }

    void errorLampLightsForOneRecord()
    {
        Rec none, one;
        one.errors = QByteArray::fromHex("80000001"); // 1 error
        SimBench b;
        QVERIFY(b.start("Corvane Nano"));
        b.engine([&](sim::Engine &e) {
            e.scriptRecords(
                {none.bytes(24), one.bytes(24), one.bytes(24), none.bytes(24), none.bytes(24)});
        });
        QStringList seen; // error count and lamp after each cycle, repeats dropped
        connect(b.link(), &Link::pollDue, b.w.get(), [&] {
            const QString s =
                textOf(b.w.get(), "ErrorCntTxt") + ' ' + lampOf(b.w.get(), "LEDError");
            if (seen.isEmpty() || seen.last() != s)
                seen << s;
        });
        QVERIFY(b.connectFirst());
        QTRY_VERIFY_WITH_TIMEOUT(seen.size() >= 5, 5000);
        QCOMPARE(seen.mid(seen.indexOf("0.000e+00 G"), 5),
                 QStringList(
                     {"0.000e+00 G", "1.000e+00 R", "1.000e+00 G", "0.000e+00 R", "0.000e+00 G"}));
    }

    void firstRecordChoosesTheRateRange()
    {
        Rec first, later;
        first.rate = QByteArray::fromHex("0ed4e000"); // 2488320000 bit/s
        later.rate = QByteArray::fromHex("3d77a050"); // 10312500000 bit/s
        SimBench b;
        QVERIFY(b.start("Corvane NanoTb"));
        b.engine([&](sim::Engine &e) { e.scriptRecords({first.bytes(27)}); });
        QVERIFY(b.connectFirst());
        QTRY_COMPARE_WITH_TIMEOUT(shownText(b.w.get(), "RateRange"), QString("2.488 - 3.325G"),
                                  3000);
        QVERIFY(show(b, {later.bytes(27)}));
        QCOMPARE(shownText(b.w.get(), "RateSetting"), QString("10312.500000"));
        QCOMPARE(shownText(b.w.get(), "RateRange"), QString("2.488 - 3.325G")); // first record only
    }
};

QTEST_MAIN(TstDisplay)
#include "tst_display.moc"
