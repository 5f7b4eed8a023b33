// The eye scan without windows: the level of every cell (the worked table and
// its edge cases), where the samples land when line ends stand anywhere or the
// reply is short, the text lines under the plot and the CSV file.
// Expected values are worked out by hand, not by the code.
#include "eye/eyelevels.h"

#include <QtTest>

namespace {
// A well-formed reply whose sample tells its cell: column c, row j.
int sampleOf(int c, int j)
{
    const int v = (c * 37 + j * 11 + 20) % 256;
    return v == 0x0A || v == 0x0D ? v + 1 : v; // those bytes frame the lines
}
QByteArray column(int c)
{
    QByteArray samples;
    for (int j = 0; j < 64; ++j)
        samples += char(sampleOf(c, j));
    return samples;
}
QByteArray wellFormed()
{
    QByteArray r;
    for (int c = 0; c < 64; ++c)
        r += column(c) + "\r\n";
    return r;
}
// Display controls as letters: d derivative (else normal), b black and white, i invert.
eye::Shading shading(int gain, const QString &view)
{
    return {gain, view.contains('d'), view.contains('b'), view.contains('i')};
}
} // namespace

class TstEyeLogic : public QObject
{
    Q_OBJECT
private slots:
    // One cell at a time: the reply holds the bytes up to the cell looked at,
    // row `row` of column 0 (column 1 when the reply is longer than a line).
    void levels_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("gain");
        QTest::addColumn<QString>("view");
        QTest::addColumn<int>("L");
        const auto add = [](const char *name, std::initializer_list<int> bytes, int row, int gain,
                            const char *view, int level) {
            QByteArray b;
            for (int x : bytes)
                b += char(x);
            QTest::newRow(name) << b << row << gain << QString(view) << level;
        };
        // The worked table (gain 75). Its s = 10 is a line feed on the wire,
        // never a sample: those rows are taken with s = 11.
        add("normal s=0: 382 clamped", {0}, 0, 75, "n", 255);
        add("normal s=100", {100}, 0, 75, "n", 232);
        add("normal s=255", {255}, 0, 75, "n", 0);
        add("deriv first s=11", {11}, 0, 75, "d", 165);
        add("deriv s=40 t=30", {30, 40}, 1, 75, "d", 150);
        add("deriv s=11 t=200: clamped", {200, 11}, 1, 75, "d", 255);
        add("deriv s=11 t=200, gain 1", {200, 11}, 1, 1, "d", 37);
        add("byte 10 is no sample", {10}, 0, 75, "d", 0);
        add("gain 1, s=0", {0}, 0, 1, "n", 5);
        add("gain 100, s=127: 256 clamped", {127}, 0, 100, "n", 255);
        // Black and white at 128 / 129 (gain 50: L = 255 - s); inverted first.
        add("bw 128 -> black", {127}, 0, 50, "nb", 0);
        add("bw 129 -> yellow", {126}, 0, 50, "nb", 255);
        add("invert 128 -> 127", {127}, 0, 50, "ni", 127);
        add("invert then bw: 128 -> 127 -> black", {127}, 0, 50, "nbi", 0);
        add("invert then bw: 126 -> 129 -> yellow", {129}, 0, 50, "nbi", 255);
        add("clamped before inverted", {0}, 0, 75, "ni", 0);
        // Cells the reply does not reach: 255 - s = 255 normal, s = 0 derivative,
        // and the first of them takes the last byte as t.
        add("normal, missing", {}, 5, 75, "n", 255);
        add("normal gain 10, missing", {}, 0, 10, "n", 51);
        add("deriv first, missing", {}, 0, 75, "d", 0);
        add("deriv first missing after s=3", {3}, 1, 10, "d", 6);
        add("deriv second missing", {20}, 2, 75, "d", 0);
        add("deriv missing, inverted", {}, 9, 75, "di", 255);
        // A line end skipped inside a column is the next cell's t.
        add("t is a skipped CR: 27*75/5", {40, 13, 40}, 1, 75, "d", 255);
        add("t is a skipped LF, gain 1", {40, 13, 10, 20}, 1, 1, "d", 2);
        QTest::newRow("first of column 1: t not used")
            << QByteArray(64, char(200)) + "\r\n\x14" << 0 << 10 << QString("d") << 40;
    }
    void levels()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, row);
        QFETCH(int, gain);
        QFETCH(QString, view);
        QFETCH(int, L);
        const int col = reply.size() > 64 ? 1 : 0;
        QCOMPARE(int(eye::levels(reply, shading(gain, view))[eye::cellIndex(col, row)]), L);
    }

    // Before any scan: the normal view is all yellow, the derivative view all black.
    void emptyScan()
    {
        const eye::Levels normal = eye::levels(QByteArray(), shading(75, "n"));
        const eye::Levels deriv = eye::levels(QByteArray(), shading(75, "d"));
        QVERIFY(std::all_of(normal.begin(), normal.end(), [](quint8 l) { return l == 255; }));
        QVERIFY(std::all_of(deriv.begin(), deriv.end(), [](quint8 l) { return l == 0; }));
    }

    // Runs of CR and LF are skipped wherever they stand: the samples land in
    // the same cells (the first of a column at the bottom); bytes after the
    // 4096th sample are ignored.
    void lineEndsAnywhere_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QByteArray bare, moved;
        for (int c = 0; c < 64; ++c) {
            bare += column(c);
            moved += column(c).left(c) + (c % 2 ? "\n" : "\r\r\n\n") + column(c).mid(c);
        }
        QTest::newRow("well formed") << wellFormed();
        QTest::newRow("no line ends") << bare;
        QTest::newRow("moved into the lines") << "\r\n" + moved;
        QTest::newRow("bytes after the last sample") << wellFormed() + QByteArray(500, 'w');
    }
    void lineEndsAnywhere()
    {
        QFETCH(QByteArray, reply);
        const eye::Samples s = eye::samples(reply);
        const eye::Levels normal = eye::levels(reply, shading(50, "n"));
        for (int c = 0; c < 64; ++c) {
            for (int j = 0; j < 64; ++j) {
                const int top = (63 - j) * 64 + c; // picture order: top row first
                QCOMPARE(int(s[top]), sampleOf(c, j));
                QCOMPARE(int(normal[top]), 255 - sampleOf(c, j));
            }
        }
    }

    // A line lacking a sample shifts every later sample by one cell and the
    // last cell has none; a short reply leaves the cells past its end empty.
    void shiftedAndShortReplies()
    {
        QByteArray shifted = wellFormed();
        shifted.remove(2 * 66 + 5, 1); // column 2 loses its row 5
        eye::Samples s = eye::samples(shifted);
        QCOMPARE(int(s[eye::cellIndex(2, 4)]), sampleOf(2, 4));
        QCOMPARE(int(s[eye::cellIndex(2, 5)]), sampleOf(2, 6));
        QCOMPARE(int(s[eye::cellIndex(2, 63)]), sampleOf(3, 0));
        QCOMPARE(int(s[eye::cellIndex(63, 62)]), sampleOf(63, 63));
        QCOMPARE(int(s[eye::cellIndex(63, 63)]), -1);

        const QByteArray shortReply = wellFormed().left(10 * 66 + 20);
        s = eye::samples(shortReply);
        QCOMPARE(int(std::count_if(s.begin(), s.end(), [](qint16 v) { return v >= 0; })),
                 10 * 64 + 20);
        QCOMPARE(int(s[eye::cellIndex(10, 19)]), sampleOf(10, 19));
        QCOMPARE(int(s[eye::cellIndex(10, 20)]), -1);
        const eye::Levels deriv = eye::levels(shortReply, shading(1, "d"));
        QCOMPARE(int(deriv[eye::cellIndex(10, 20)]), sampleOf(10, 19) / 5); // t = the last sample
        QCOMPARE(int(deriv[eye::cellIndex(10, 21)]), 0);
    }

    // Any length, any byte, any gain: no crash, and a gain of 0 or below draws nothing.
    void anyInput()
    {
        QByteArray junk;
        for (int i = 0; i < 9000; ++i)
            junk += char((i * 7919) % 256);
        for (int len : {0, 1, 65, 66, 4095, 4223, 4225, 9000})
            for (int gain : {INT_MIN, -5, 0, 1, 100, INT_MAX})
                for (const char *view : {"n", "d", "dbi", "nbi"})
                    eye::levels(junk.left(len), shading(gain, view));
        QCOMPARE(int(eye::levels(junk, shading(-5, "n"))[0]), 0);
        QCOMPARE(int(eye::levels(QByteArray(1, 0), shading(INT_MAX, "n"))[63 * 64]), 255);
        QCOMPARE(int(eye::levels(QByteArray(1, 0), shading(INT_MIN, "n"))[63 * 64]), 0);
    }

    void textLines_data()
    {
        QTest::addColumn<QString>("scale");
        QTest::addColumn<double>("rate");
        QTest::addColumn<QString>("opening");
        QTest::addColumn<QString>("line1");
        QTest::addColumn<QString>("line2");
        QTest::newRow("worked example") << "200mV" << 10312.5 << "0.63 UI / 123 mV"
                                        << "Vert: 200mV (123 mV)"
                                        << "Horz: 0.5UI, 10.312500Gbps, 48.5pS (0.63 UI)";
        QTest::newRow("padded height") << "50mV" << 4975.0 << "0.25 UI /  25 mV"
                                       << "Vert: 50mV ( 25 mV)"
                                       << "Horz: 0.5UI, 4.975000Gbps, 100.5pS (0.25 UI)";
        QTest::newRow("rate 0: dashes, not inf") << "100mV" << 0.0 << "0.00 UI / 000 mV"
                                                 << "Vert: 100mV (000 mV)"
                                                 << "Horz: 0.5UI, 0.000000Gbps, ----pS (0.00 UI)";
        QTest::newRow("short opening text") << "150mV" << 28050.0 << "0.5 UI"
                                            << "Vert: 150mV ()"
                                            << "Horz: 0.5UI, 28.050000Gbps, 17.8pS (0.5 UI)";
    }
    void textLines()
    {
        QFETCH(QString, scale);
        QFETCH(double, rate);
        QFETCH(QString, opening);
        QFETCH(QString, line1);
        QFETCH(QString, line2);
        QCOMPARE(eye::verticalLine(scale, opening), line1);
        QCOMPARE(eye::horizontalLine(rate, opening), line2);
        const QDateTime when(QDate(2025, 3, 7), QTime(14, 5, 9));
        QCOMPARE(eye::makerLine(when),
                 "https://corvane.example     " + when.toString(Qt::TextDate));
    }

    // The CSV text: the header line, the top row first, empty fields for
    // cells without a sample. (The window test reads a saved file back.)
    void csv()
    {
        const eye::ScanFacts facts{10312.5, "100mV", "0.63 UI / 123 mV",
                                   QDateTime(QDate(2025, 3, 7), QTime(14, 5, 9))};
        const QList<QByteArray> lines =
            eye::scanCsv(wellFormed().left(66 * 63 + 10), facts).split('\n');
        QCOMPARE(lines.size(), 66); // header, 64 rows, nothing after the last CR LF
        QCOMPARE(lines[0], QByteArray("Corvane eye scan,rate 10312.5 Mbps,scale 100mV,"
                                      "eye opening 0.63 UI / 123 mV,date 2025-03-07,"
                                      "time 14:05:09\r"));
        const QList<QByteArray> top = lines[1].chopped(1).split(',');
        QCOMPARE(top.size(), 64);
        QCOMPARE(top[0].toInt(), sampleOf(0, 63));
        QCOMPARE(top[63], QByteArray()); // column 63 holds rows 0 to 9 only
        QCOMPARE(lines[64].chopped(1).split(',')[63].toInt(), sampleOf(63, 0));
        QCOMPARE(eye::csvField("a, \"b\""), QString("\"a, \"\"b\"\"\""));
    }
};

QTEST_GUILESS_MAIN(TstEyeLogic)
#include "tst_eye_logic.moc"
