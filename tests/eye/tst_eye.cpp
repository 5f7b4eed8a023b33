// The eye-scan window. The picture: worked levels and the line-end rules cell
// by cell, and pixel for pixel against one item per cell; the third text line
// fits the picture. A scan end to end: the command on the wire, polling
// paused and resumed, one request at a time, the rate limit, a missing reply,
// the instrument gone. Saving, and never replacing a file the user made.
#include "eye/eye.h"
#include "support/eyereference.h"
#include "support/simbench.h"
#include "support/smallfs.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGraphicsView>
#include <QImageReader>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>

namespace {
Eye *openEye(MainWindow *w)
{
    control<QAbstractButton>(w, "EyeButton")->click();
    return w->findChildren<Eye *>().last();
}
// A message over the plot as the user reads it ("" when hidden), and its colour.
QString message(const Eye *eye, const char *label = "ScanMessage")
{
    return control(eye, label)->isHidden() ? QString() : richText(eye, label);
}
bool red(const Eye *eye, const char *label = "ScanMessage")
{
    return control<QLabel>(eye, label)->text().contains("color:#ff0000");
}
bool scanEnds(Eye *eye, int timeoutMs = 6000)
{
    return QTest::qWaitFor([eye] { return !eye->scanning(); }, timeoutMs);
}
QImage picture(const Eye *eye)
{
    QCoreApplication::processEvents(); // the view catches up with its scene
    return control<QGraphicsView>(eye, "PlotWindow")->grab().toImage();
}
// The colour of cell (c, j), j from the bottom: one pixel into the cell, as the
// view's frame covers the outermost pixels.
QColor cell(const Eye *eye, const QImage &shot, int c, int j)
{
    auto *view = control<QGraphicsView>(eye, "PlotWindow");
    const QPoint at = view->mapFromScene(QPointF(4 * c + 1, 4 * (63 - j) + 1));
    return shot.pixelColor(view->viewport()->mapTo(view, at));
}
QStringList sceneTexts(const Eye *eye)
{
    QStringList texts;
    for (QGraphicsItem *item : control<QGraphicsView>(eye, "PlotWindow")->scene()->items())
        if (auto *t = dynamic_cast<QGraphicsTextItem *>(item))
            texts << t->toPlainText();
    std::sort(texts.begin(), texts.end()); // "Horz", "Vert", "https"
    return texts;
}
// A well-formed scan whose samples tell their cells: column c, row j.
int sampleOf(int c, int j)
{
    const int v = (c * 37 + j * 11 + 20) % 256;
    return v == '\n' || v == '\r' ? v + 1 : v;
}
const QDateTime FixedNow(QDate(2025, 3, 7), QTime(14, 5, 9));
} // namespace

class TstEye : public QObject
{
    Q_OBJECT
    BenchPool pool;
    Eye *plot = nullptr; // an eye window without an instrument, for pictures

    // Sets the display controls (d derivative, b black and white, i invert) and draws.
    void draw(const QByteArray &reply, int gain, const QString &view)
    {
        control<QSlider>(plot, "PlotGain")->setValue(gain);
        control<QCheckBox>(plot, "PlotDeriv")->setChecked(view.contains('d'));
        control<QCheckBox>(plot, "PlotBW")->setChecked(view.contains('b'));
        control<QCheckBox>(plot, "PlotInvert")->setChecked(view.contains('i'));
        plot->setEyeData(reply);
    }

private slots:
    void initTestCase()
    {
        // The parts of this test run at once: each keeps settings of its own.
        QCoreApplication::setApplicationName(
            QString("tst_eye-%1").arg(QCoreApplication::applicationPid()));
        plot = new Eye(nullptr); // no instrument: no rate, no opening yet
        plot->clock = [] { return FixedNow; };
        plot->show();
        QVERIFY(QTest::qWaitForWindowExposed(plot));
    }
    void cleanupTestCase()
    {
        delete plot;
        pool.clear();
        QFile::remove(QSettings().fileName());
    }

    // Replies drawn with the display controls (d derivative, b black and white,
    // i invert): the picture, pixel for pixel, against one rectangle item per
    // cell; the text lines of a window without an instrument, the third within
    // the picture's width; the worked level of one cell (the reply's first
    // column, its second when longer than a line), or of every cell in order of
    // arrival (normal view, gain 50: 255 - s).
    void drawing_data()
    {
        columns<QByteArray, int, QString, int, int, int, QVector<int>>(
            {"reply", "gain", "view", "height", "row", "L", "arrival"});
        const auto level = [](const char *name, std::initializer_list<int> bytes, int row, int gain,
                              const char *view, int L) {
            QByteArray b;
            for (int x : bytes)
                b += char(x);
            QTest::newRow(name) << b << gain << QString(view) << 300 << row << L << QVector<int>();
        };
        // The worked table, gain 75 unless said. Its s = 10 is a line feed, never
        // a sample: those rows take s = 11.
        level("normal s=0: 382 clamped", {0}, 0, 75, "", 255);
        level("normal s=100", {100}, 0, 75, "", 232);
        level("derivative, first cell s=11", {11}, 0, 75, "d", 165);
        level("derivative s=40 t=30", {30, 40}, 1, 75, "d", 150);
        level("derivative s=11 t=200: clamped", {200, 11}, 1, 75, "d", 255);
        level("derivative s=11 t=200, gain 1", {200, 11}, 1, 1, "d", 37);
        level("derivative s=128, gain 10: 256 clamped", {128}, 0, 10, "d", 255);
        level("gain 1, s=0", {0}, 0, 1, "", 5);
        level("bw: 128 black", {127}, 0, 50, "b", 0);
        level("bw: 129 yellow", {126}, 0, 50, "b", 255);
        level("invert: 128 to 127", {127}, 0, 50, "i", 127);
        level("invert first, then bw: 128 black", {127}, 0, 50, "bi", 0);
        level("clamped, then inverted", {0}, 0, 75, "i", 0);
        // Cells past the reply: 255 - s = 255 normal, s = 0 derivative, where the
        // first of them takes the last byte as t.
        level("empty, derivative view: black", {}, 40, 75, "d", 0);
        level("normal, no sample, gain 10", {}, 5, 10, "", 51);
        level("derivative, after the last sample 3", {3}, 1, 10, "d", 6);
        // A line end skipped inside a column is the next cell's t.
        level("t is a skipped CR", {40, 13, 40}, 1, 75, "d", 255);
        level("t is a skipped LF, gain 1", {40, 13, 10, 20}, 1, 1, "d", 2);
        QTest::newRow("the first cell of column 1 takes no t")
            << QByteArray(64, char(200)) + "\r\n\x14" << 10 << QString("d") << 300 << 0 << 40
            << QVector<int>();
        // Runs of CR and LF are skipped wherever they stand; samples fill the
        // columns bottom up in order of arrival; after the 4096th nothing counts.
        QByteArray wellFormed, bare, moved;
        QVector<int> all;
        for (int c = 0; c < 64; ++c) {
            QByteArray column;
            for (int j = 0; j < 64; ++j) {
                all << sampleOf(c, j);
                column += char(sampleOf(c, j));
            }
            wellFormed += column + "\r\n";
            bare += column;
            moved += column.left(c) + (c % 2 ? "\n" : "\r\r\n\n") + column.mid(c);
        }
        QByteArray shifted = wellFormed;
        shifted.remove(2 * 66 + 5, 1); // column 2 loses its row 5: the rest shifts
        QVector<int> lessOne = all;
        lessOne.remove(2 * 64 + 5);
        const auto arrival = [](const char *name, const QByteArray &reply, const QVector<int> &a) {
            QTest::newRow(name) << reply << 50 << QString() << 300 << -1 << 0 << a;
        };
        arrival("well formed", wellFormed, all);
        arrival("no line ends", bare, all);
        arrival("line ends inside the lines", "\r\n" + moved, all);
        arrival("bytes after the last sample", wellFormed + QByteArray(300, 'w'), all);
        arrival("a sample missing", shifted, lessOne);
        arrival("short", wellFormed.left(10 * 66 + 20), all.mid(0, 10 * 64 + 20));
        // Simulated scans.
        const QByteArray scan = sim::Engine("Corvane NanoTb", 7).eyeScan(4);
        QTest::newRow("scan") << scan << 75 << "d" << 300 << -1 << 0 << QVector<int>();
        QTest::newRow("taller plot") << scan << 75 << "d" << 320 << -1 << 0 << QVector<int>();
    }
    void drawing()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, gain);
        QFETCH(QString, view);
        QFETCH(int, height);
        QFETCH(int, L);
        QFETCH(QVector<int>, arrival);
        auto *plotView = control<QGraphicsView>(plot, "PlotWindow");
        plotView->resize(256, height);
        draw(QByteArray(5000, 'U'), gain, view); // drawn twice: kept items are refreshed
        plot->setEyeData(reply);
        const QImage ours = picture(plot);
        if (data<int>("row") >= 0)
            QCOMPARE(cell(plot, ours, reply.size() > 64 ? 1 : 0, data<int>("row")),
                     QColor(L, L, 0));
        for (int c = 0; c < 64 && !arrival.isEmpty(); ++c) {
            for (int j = 0; j < 64; ++j) {
                const int level = 255 - arrival.value(c * 64 + j, 0);
                if (cell(plot, ours, c, j) != QColor(level, level, 0))
                    QFAIL(qPrintable(QString("cell %1, %2 is not %3").arg(c).arg(j).arg(level)));
            }
        }
        plotView->resize(256, 300);
        const QStringList texts = sceneTexts(plot);
        QCOMPARE(texts,
                 QStringList({"Horz: 0.5UI, 0.000000Gbps, ----pS (0.00 UI)", "Vert: 200mV (000 mV)",
                              "https://corvane.example     Fri Mar 7 14:05:09 2025"}));
        QFont lastLineFont;
        for (QGraphicsItem *item : plotView->scene()->items())
            if (auto *t = dynamic_cast<QGraphicsTextItem *>(item))
                if (t->toPlainText().startsWith("https")) {
                    lastLineFont = t->font();
                    QVERIFY2(t->boundingRect().width() <= 256,
                             qPrintable(QString::number(t->boundingRect().width())));
                }

        QGraphicsView other;
        other.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        other.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        other.resize(256, height);
        QGraphicsScene scene;
        other.setScene(&scene);
        eye::Shading shading;
        shading.gain = gain;
        shading.derivative = view.contains('d');
        shading.blackWhite = view.contains('b');
        shading.invert = view.contains('i');
        reference::plotEye(&scene, {eye::levels(reply, shading),
                                    {texts[1], texts[0], texts[2]}, lastLineFont, height});
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        const QImage theirs = other.grab().toImage();
        QCOMPARE(ours.size(), QSize(256, height));
        if (ours != theirs.convertToFormat(ours.format())) {
            ours.save(QDir::temp().filePath("eye-ours.png"));
            theirs.save(QDir::temp().filePath("eye-reference.png"));
            QFAIL("the pictures differ (saved as eye-ours.png and eye-reference.png in the "
                  "temporary folder)");
        }
    }

    // A failed save says so in red, naming the file and the reason, and in the
    // diagnostics; cancelling writes nothing; the dialog starts in the last
    // folder saved to, else in the Pictures folder.
    void saveFailures()
    {
        QTemporaryDir dir;
        QString name, asked;
        plot->askImageFileName = [&](QWidget *, const QString &folder) {
            asked = folder;
            return name;
        };
        const auto save = [&](const QString &n) {
            name = n;
            control<QAbstractButton>(plot, "CopyPlot")->click();
        };
        QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        if (!QFileInfo(pictures).isDir())
            pictures = QDir::homePath();
        save(QString()); // cancelled
        QCOMPARE(asked, pictures);
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable("Image not saved: " + dir.filePath("eye") +
                                        ": the name has no suffix (.bmp, .jpeg or .png)"));
        save(dir.filePath("eye"));
        QVERIFY2(message(plot).contains(name + ": the name has no suffix") && red(plot),
                 qPrintable(message(plot)));
        QCOMPARE(asked, pictures);      // nothing saved, nothing remembered
        save(dir.filePath("good.png")); // clears the message, and is remembered
        QCOMPARE(message(plot), QString());
        save(QString());
        QCOMPARE(asked, QDir(dir.path()).absolutePath());
    }

    // A save on a full file system: the window says "not saved" in red with
    // the system's reason, and leaves no file (neither an empty picture nor a
    // partial one, nor a temporary file) behind.
    void saveOnFullFileSystem()
    {
        SmallFileSystem fs;
        MOUNT_SMALL_FS(fs, SmallFileSystem::Full);
        plot->setEyeData(sim::Engine("Corvane NanoTb", 7).eyeScan(4));
        plot->askImageFileName = [&](QWidget *, const QString &) { return fs.path("eye.png"); };
        const QString says =
            "Image not saved: " + fs.path("eye.png") + ": No space left on device";
        QTest::ignoreMessage(QtWarningMsg, qPrintable(says));
        control<QAbstractButton>(plot, "CopyPlot")->click();
        QCOMPARE(message(plot), says);
        QVERIFY(red(plot));
        QCOMPARE(fs.files(), QStringList{"filler"});
    }

    // The eye opening the window shows before it has drawn anything: the
    // instrument's, as the main window's eye button shows it ("0.00 UI / 000
    // mV" before any record carried one); below the scan rate nothing is drawn.
    void openingBeforeAnyDrawing()
    {
        QPointer<Eye> none = new Eye(nullptr);
        QCOMPARE(look(none, "EyeMeas"), QString("0.00 UI / 000 mV"));
        delete none;
        SimBench &b = pool.live("Corvane NanoTb");
        QVERIFY(b.show({record("Corvane NanoTb")})); // 100 Mbps: no scan
        Eye *eye = openEye(b.w.get());
        QVERIFY(!eye->scanning());
        QCOMPARE(look(eye, "EyeMeas"), QString("0.63 UI / 125 mV"));
        eye->close();
    }

    // A scan: "Scan 4" 200 ms after the click, no request until 100 ms after
    // the reply is drawn; a second scan or a second window is refused in red
    // meanwhile; redraws send nothing; the next scan goes out at the scale
    // chosen since.
    void scan()
    {
        SimBench &b = pool.live("Corvane NanoTb");
        // 10312.5 Mbps, the opening 0.63 UI / 125 mV
        QVERIFY(b.show({record("Corvane NanoTb", "rate=3d77a050")}));
        const qint64 from = b.logSize();
        QElapsedTimer sinceClick;
        sinceClick.start();
        Eye *eye = openEye(b.w.get());
        QVERIFY(eye->scanning() && b.instrument()->isBusy());
        QCOMPARE(message(eye), QString("Scanning..."));
        QVERIFY(red(eye) && message(eye, "LowRateMessage").isEmpty());
        control<QAbstractButton>(eye, "ScanBtn")->click(); // its own scan: nothing changes
        QCOMPARE(message(eye), QString("Scanning..."));
        Eye *second = openEye(b.w.get());
        QCOMPARE(message(second), QString("Busy: the eye scan holds the instrument"));
        QVERIFY(red(second) && !second->scanning());
        QVERIFY(QTest::qWaitFor([&] { return b.count("Scan 4", from) == 1; }, 3000));
        QVERIFY2(sinceClick.elapsed() >= 195, qPrintable(QString::number(sinceClick.elapsed())));
        QVERIFY(scanEnds(eye));
        QCOMPARE(eye->eyeData().size(), 4224);
        QCOMPARE(message(eye), QString());
        QVERIFY(b.waitForRequests(3));
        // Collected soon after the reply (1.5 s) was in, not at the 4.2 s time-out.
        const auto next = b.after("Scan 4", from);
        QVERIFY2(next.first == "r" && next.second >= 1600 && next.second < 4000,
                 qPrintable(next.first + ' ' + QString::number(next.second)));
        QCOMPARE(look(eye, "EyeMeas"), QString("0.63 UI / 125 mV"));
        QCOMPARE(
            sceneTexts(eye).mid(0, 2),
            QStringList({"Horz: 0.5UI, 10.312500Gbps, 48.5pS (0.63 UI)", "Vert: 200mV (125 mV)"}));

        const qint64 before = b.logSize();
        for (const char *box : {"PlotDeriv", "PlotBW", "PlotInvert", "PlotGain"}) {
            const QImage shown = picture(eye);
            if (QLatin1String(box) == "PlotGain")
                control<QSlider>(eye, box)->setValue(20);
            else
                control<QCheckBox>(eye, box)->click();
            QVERIFY2(picture(eye) != shown, box); // redrawn
        }
        QCOMPARE(b.commands(before), QList<QByteArray>());

        auto *scale = control<QComboBox>(second, "EyeScale");
        scale->setCurrentIndex(1);
        emit scale->textActivated("100mV"); // as the user's choice
        control<QAbstractButton>(second, "ScanBtn")->click();
        QCOMPARE(message(second), QString("Scanning..."));
        QVERIFY(scanEnds(second));
        QCOMPARE(second->eyeData().size(), 4224);
        // A new window starts at the form's scale (the scale decides the
        // command); the one used last with this instrument is only a hint.
        Eye *third = openEye(b.w.get());
        QCOMPARE(look(third, "EyeScale"), QString("200mV"));
        QCOMPARE(control(third, "EyeScale")->toolTip(),
                 QString("Last used with this instrument: 100mV"));
        QVERIFY(scanEnds(third));
        QCOMPARE(b.commands(from), QList<QByteArray>({"Scan 4", "Scan 2", "Scan 4"}));
        QVERIFY(b.waitForRequests(2));
    }

    // Scans from 4975 Mbps up; below, the window says so in red, sends nothing
    // and draws nothing, and polling goes on.
    void rateLimit_data()
    {
        columns<qint64, bool>({"bps", "accepted"});
        QTest::newRow("4974.99 Mbps") << Q_INT64_C(4974990000) << false;
        QTest::newRow("4975 Mbps") << Q_INT64_C(4975000000) << true;
    }
    void rateLimit()
    {
        QFETCH(qint64, bps);
        QFETCH(bool, accepted);
        SimBench &b = pool.live("Corvane NanoTa");
        b.engine([bps](sim::Engine &e) { e.setRateBps(bps); });
        auto *rate = control<QDoubleSpinBox>(b.w.get(), "RateSetting");
        QTRY_COMPARE(qRound64(rate->value() * 1e6), bps);
        const qint64 from = b.logSize();
        Eye *eye = openEye(b.w.get());
        QCOMPARE(eye->scanning(), accepted);
        QCOMPARE(message(eye, "LowRateMessage"),
                 QString(accepted ? "" : "Rate must be >= 4.975Gbps"));
        QVERIFY(red(eye, "LowRateMessage"));
        QCOMPARE(message(eye), QString(accepted ? "Scanning..." : ""));
        QVERIFY(scanEnds(eye));
        QCOMPARE(control<QGraphicsView>(eye, "PlotWindow")->scene()->items().isEmpty(), !accepted);
        QVERIFY(b.waitForRequests(3));
        QCOMPARE(b.commands(from), accepted ? QList<QByteArray>{"Scan 4"} : QList<QByteArray>());
    }

    // The picture as PNG, BMP or JPEG by the suffix, 256 x 300 as shown, the
    // scan as CSV beside it (the top row first), the folder remembered.
    void save()
    {
        SimBench &b = pool.live("Corvane NanoTb");
        QVERIFY(b.show({record("Corvane NanoTb", "rate=3d77a050")}));
        Eye *eye = openEye(b.w.get());
        QVERIFY(scanEnds(eye));
        QTemporaryDir dir;
        QString name;
        eye->askImageFileName = [&](QWidget *parent, const QString &) {
            return parent == eye ? dir.filePath(name) : QString();
        };
        QStringList asked; // eye.csv is this window's own when eye.png replaces eye.bmp's
        eye->askReplace = [&](QWidget *, const QString &path) {
            asked << path;
            return false;
        };
        const QStringList files{"eye.bmp:bmp", "scan.2.JPEG:jpeg", "eye.png:png"};
        for (const QString &file : files) {
            name = file.section(':', 0, 0);
            control<QAbstractButton>(eye, "CopyPlot")->click();
            QCOMPARE(message(eye), QString());
            QImageReader reader(dir.filePath(name));
            QCOMPARE(reader.format(), file.section(':', 1).toLatin1());
            const QImage saved = reader.read().convertToFormat(QImage::Format_RGB32);
            QCOMPARE(saved.size(), QSize(256, 300));
            if (!name.endsWith("JPEG") &&
                saved != picture(eye).convertToFormat(QImage::Format_RGB32)) {
                saved.save(QDir::temp().filePath("eye-saved.png"));
                picture(eye).save(QDir::temp().filePath("eye-shown.png"));
                QFAIL("the saved picture is not the one shown (eye-saved.png, eye-shown.png in "
                      "the temporary folder)");
            }
        }
        QCOMPARE(asked, QStringList());
        QCOMPARE(Eye::imageFolder(), QDir(dir.path()).absolutePath());
        QFile csv(dir.filePath("eye.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = csv.readAll().split('\n');
        QCOMPARE(rows.size(), 66); // the header, 64 rows, nothing after the last line end
        const QList<QByteArray> header = rows[0].chopped(1).split(',');
        QCOMPARE(header.mid(0, 4),
                 QList<QByteArray>({"Corvane eye scan", "rate 10312.5 Mbps", "scale 200mV",
                                    "eye opening 0.63 UI / 125 mV"}));
        const QByteArray &data = eye->eyeData(); // line c: column c, byte j: row j from the bottom
        for (int r = 0; r < 64; ++r) {
            const QList<QByteArray> values = rows[r + 1].chopped(1).split(',');
            QCOMPARE(values.size(), 64);
            for (int c = 0; c < 64; ++c)
                QCOMPARE(values[c].toInt(), int(uchar(data[c * 66 + 63 - r])));
        }
    }

    // A file beside the picture that this window did not write is the user's:
    // it is replaced only when the user agrees; otherwise the scan goes to a
    // free name beside it and the window says where.
    void saveKeepsTheUsersFile_data()
    {
        columns<bool, QString, QString>({"agree", "csv", "says"});
        QTest::newRow("replace") << true << "run5.csv" << "";
        QTest::newRow("keep") << false << "run5-scan.csv"
                              << "Saved %1/run5.png; the scan went to %1/run5-scan.csv (%1/run5.csv "
                                 "was kept as it was)";
    }
    void saveKeepsTheUsersFile()
    {
        QTemporaryDir dir;
        QFile user(dir.filePath("run5.csv"));
        QVERIFY(user.open(QIODevice::WriteOnly) && user.write("my own data\n") == 12);
        user.close();
        QStringList asked;
        plot->askImageFileName = [&](QWidget *, const QString &) { return dir.filePath("run5.png"); };
        plot->askReplace = [&](QWidget *, const QString &path) {
            asked << path;
            return data<bool>("agree");
        };
        plot->setEyeData(sim::Engine("Corvane NanoTb", 7).eyeScan(4));
        control<QAbstractButton>(plot, "CopyPlot")->click();
        QCOMPARE(asked, QStringList{dir.filePath("run5.csv")});
        const QString says = data<QString>("says");
        QCOMPARE(message(plot), says.isEmpty() ? says : says.arg(dir.path()));
        QVERIFY(user.open(QIODevice::ReadOnly));
        QCOMPARE(user.readAll() == "my own data\n", !data<bool>("agree"));
        user.close();
        QFile scan(dir.filePath(data<QString>("csv")));
        QVERIFY(scan.open(QIODevice::ReadOnly));
        QVERIFY(scan.readLine().startsWith("Corvane eye scan,"));
        // Saved again: the window's own files are replaced without asking.
        control<QAbstractButton>(plot, "CopyPlot")->click();
        QCOMPARE(asked.size(), 1);
    }

    // No reply: the scan gives up at its 101st step, 4.2 s after the click,
    // draws what came (nothing: black in the derivative view), polling resumes.
    void missingReply()
    {
        SimBench &b = pool.live("Corvane NanoTb");
        b.engine([](sim::Engine &e) { e.setFault(sim::Fault::NoReply); });
        const qint64 from = b.logSize();
        QElapsedTimer sinceClick;
        sinceClick.start();
        Eye *eye = openEye(b.w.get());
        QVERIFY(scanEnds(eye, 10000));
        QVERIFY2(sinceClick.elapsed() >= 4195, qPrintable(QString::number(sinceClick.elapsed())));
        b.engine([](sim::Engine &e) { e.setFault(sim::Fault::None); });
        QCOMPARE(eye->eyeData().size(), 0);
        QCOMPARE(message(eye), QString());
        const QImage shot = picture(eye);
        for (int c : {0, 32, 63})
            for (int j : {0, 31, 63})
                QCOMPARE(cell(eye, shot, c, j), QColor(0, 0, 0));
        QVERIFY(b.waitForRequests(2));
        QCOMPARE(b.commands(from), QList<QByteArray>{"Scan 4"});
    }

    // The instrument goes away mid-scan: the scan ends at once, the window
    // says why in red, nothing more happens, and the next press finds no
    // instrument. (Any reason the session ends reaches the window alike: the
    // main window's, tst_connection's sessionEnds.)
    void instrumentGoneDuringScan()
    {
        SimBench b;
        QVERIFY(b.startLive("Corvane NanoTb"));
        Eye *eye = openEye(b.w.get());
        QTRY_COMPARE(b.count("Scan 4"), 1);
        const QString why = "Scan stopped: Connection to the instrument was lost: the instrument "
                            "was unplugged";
        QTest::ignoreMessage(QtWarningMsg, qPrintable(why));
        b.sim->unplug();
        QTRY_VERIFY2(!eye->scanning() && message(eye) == why && red(eye), qPrintable(message(eye)));
        QTest::qWait(4300); // past the scan's time-out: proves that nothing more happens
        QCOMPARE(message(eye), why);
        QCOMPARE(control<QGraphicsView>(eye, "PlotWindow")->scene()->items().size(), 0);
        control<QAbstractButton>(eye, "ScanBtn")->click();
        QCOMPARE(message(eye), QString("No instrument connected"));
    }
};

QTEST_MAIN(TstEye)
#include "tst_eye.moc"
