// The eye-scan window. The picture: the documents' level table and line-end
// rules cell by cell, and pixel for pixel against one item per cell. A scan end
// to end: the command on the wire, polling paused and resumed, one exchange at
// a time, the rate limit, a missing reply, the instrument gone. Saving.
#include "eye/eye.h"
#include "support/eyereference.h"
#include "support/simbench.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGraphicsView>
#include <QImageReader>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QTextDocument>

namespace {
Eye *openEye(MainWindow *w)
{
    const QList<Eye *> before = w->findChildren<Eye *>();
    control<QAbstractButton>(w, "EyeButton")->click();
    for (Eye *e : w->findChildren<Eye *>())
        if (!before.contains(e))
            return e;
    return nullptr;
}
// A message over the plot as the user reads it ("" when hidden), and its colour.
QString message(const Eye *eye, const char *label = "ScanMessage")
{
    QTextDocument doc;
    doc.setHtml(control<QLabel>(eye, label)->text());
    return control(eye, label)->isHidden() ? QString() : doc.toPlainText();
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
QByteArray column(int c)
{
    QByteArray samples;
    for (int j = 0; j < 64; ++j)
        samples += char(sampleOf(c, j));
    return samples;
}
const QDateTime FixedNow(QDate(2025, 3, 7), QTime(14, 5, 9));
} // namespace

class TstEye : public QObject
{
    Q_OBJECT
    BenchPool pool;
    std::unique_ptr<MainWindow> offline; // no instrument, rate 10312.5
    Eye *plot = nullptr;                 // an eye window of it, for pictures

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
        QCoreApplication::setOrganizationName("Corvane");
        QCoreApplication::setApplicationName("corvane");
        QSettings().remove(Eye::ImageFolderKey);
        portcatalog::clearExtras();
        offline = std::make_unique<MainWindow>();
        QVERIFY(QSignalSpy(offline.get(), &MainWindow::portsSearched).wait(5000));
        plot = openEye(offline.get()); // at the rate of 0
        plot->clock = [] { return FixedNow; };
        control<QDoubleSpinBox>(offline.get(), "RateSetting")->setValue(10312.5);
        plot->show();
        QVERIFY(QTest::qWaitForWindowExposed(plot));
    }
    void cleanupTestCase()
    {
        offline.reset();
        pool.clear();
    }

    // The worked level table and its edges, gain 75 unless said: one cell of
    // the reply's first column (its second when longer than a line).
    void levels_data()
    {
        columns<QByteArray, int, int, QString, int>({"reply", "row", "gain", "view", "L"});
        const auto add = [](const char *name, std::initializer_list<int> bytes, int row, int gain,
                            const char *view, int level) {
            QByteArray b;
            for (int x : bytes)
                b += char(x);
            QTest::newRow(name) << b << row << gain << QString(view) << level;
        };
        // The table's s = 10 is a line feed, never a sample: those rows take s = 11.
        add("normal s=0: 382 clamped", {0}, 0, 75, "", 255);
        add("normal s=100", {100}, 0, 75, "", 232);
        add("normal s=255", {255}, 0, 75, "", 0);
        add("derivative, first cell s=11", {11}, 0, 75, "d", 165);
        add("derivative s=40 t=30", {30, 40}, 1, 75, "d", 150);
        add("derivative s=11 t=200: clamped", {200, 11}, 1, 75, "d", 255);
        add("derivative s=11 t=200, gain 1", {200, 11}, 1, 1, "d", 37);
        add("gain 1, s=0", {0}, 0, 1, "", 5);
        add("gain 100, s=127: 256 clamped", {127}, 0, 100, "", 255);
        add("bw: 128 black", {127}, 0, 50, "b", 0);
        add("bw: 129 yellow", {126}, 0, 50, "b", 255);
        add("invert: 128 to 127", {127}, 0, 50, "i", 127);
        add("invert first, then bw: 128 black", {127}, 0, 50, "bi", 0);
        add("invert first, then bw: 126 yellow", {129}, 0, 50, "bi", 255);
        add("clamped, then inverted", {0}, 0, 75, "i", 0);
        // Cells past the reply: 255 - s = 255 normal, s = 0 derivative, where the
        // first of them takes the last byte as t.
        add("normal, no sample", {}, 5, 10, "", 51);
        add("derivative, first cell without sample", {}, 0, 75, "d", 0);
        add("derivative, after the last sample 3", {3}, 1, 10, "d", 6);
        add("derivative, second past the end", {20}, 2, 75, "d", 0);
        add("derivative, no sample, inverted", {}, 9, 75, "di", 255);
        // A line end skipped inside a column is the next cell's t.
        add("t is a skipped CR", {40, 13, 40}, 1, 75, "d", 255);
        add("t is a skipped LF, gain 1", {40, 13, 10, 20}, 1, 1, "d", 2);
        QTest::newRow("the first cell of column 1 takes no t")
            << QByteArray(64, char(200)) + "\r\n\x14" << 0 << 10 << QString("d") << 40;
    }
    void levels()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, L);
        draw(reply, data<int>("gain"), data<QString>("view"));
        QCOMPARE(cell(plot, picture(plot), reply.size() > 64 ? 1 : 0, data<int>("row")),
                 QColor(L, L, 0));
    }

    // Runs of CR and LF are skipped wherever they stand; samples fill the
    // columns bottom up, in order of arrival; after the 4096th nothing counts;
    // cells past the end have none. Every cell, normal view at gain 50 (255 - s).
    void lineEnds_data()
    {
        // arrival: the samples in order
        columns<QByteArray, QVector<int>>({"reply", "arrival"});
        QByteArray wellFormed, bare, moved, shifted;
        QVector<int> all, lessOne;
        for (int c = 0; c < 64; ++c) {
            wellFormed += column(c) + "\r\n";
            bare += column(c);
            moved += column(c).left(c) + (c % 2 ? "\n" : "\r\r\n\n") + column(c).mid(c);
            for (int j = 0; j < 64; ++j)
                all << sampleOf(c, j);
        }
        shifted = wellFormed;
        shifted.remove(2 * 66 + 5, 1); // column 2 loses its row 5
        lessOne = all;
        lessOne.remove(2 * 64 + 5);
        QTest::newRow("well formed") << wellFormed << all;
        QTest::newRow("no line ends") << bare << all;
        QTest::newRow("line ends inside the lines") << "\r\n" + moved << all;
        QTest::newRow("bytes after the last sample") << wellFormed + QByteArray(300, 'w') << all;
        QTest::newRow("a sample missing: the rest shifts") << shifted << lessOne;
        QTest::newRow("short") << wellFormed.left(10 * 66 + 20) << all.mid(0, 10 * 64 + 20);
        QTest::newRow("empty: all yellow") << QByteArray() << QVector<int>();
    }
    void lineEnds()
    {
        draw(data<QByteArray>("reply"), 50, "");
        const QImage shot = picture(plot);
        for (int c = 0; c < 64; ++c) {
            for (int j = 0; j < 64; ++j) {
                const int L = 255 - data<QVector<int>>("arrival").value(c * 64 + j, 0);
                if (cell(plot, shot, c, j) != QColor(L, L, 0))
                    QFAIL(qPrintable(QString("cell %1, %2 is not %3").arg(c).arg(j).arg(L)));
            }
        }
    }

    // The picture, pixel for pixel, against one rectangle item per cell; the
    // text lines for the offline window (opening "0.00 UI / 000 mV").
    void pixelIdentity_data()
    {
        columns<QByteArray, int, QString, int>({"reply", "gain", "view", "height"});
        const QByteArray scan = sim::Engine("Corvane NanoTb", 7).eyeScan(4);
        QByteArray odd = scan.left(3000);
        odd.insert(700, "\r\r\n");
        odd.remove(1500, 1);
        QTest::newRow("derivative") << scan << 75 << "d" << 300;
        QTest::newRow("normal, gain 1") << scan << 1 << "" << 300;
        QTest::newRow("inverted, gain 100") << scan << 100 << "i" << 300;
        QTest::newRow("bw inverted") << sim::Engine().eyeScan(1) << 40 << "dbi" << 300;
        QTest::newRow("odd reply") << odd << 75 << "d" << 300;
        QTest::newRow("taller plot") << scan << 75 << "d" << 320;
    }
    void pixelIdentity()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, gain);
        QFETCH(QString, view);
        QFETCH(int, height);
        auto *plotView = control<QGraphicsView>(plot, "PlotWindow");
        plotView->resize(256, height);
        draw(QByteArray(5000, 'U'), gain, view); // drawn twice: kept items are refreshed
        plot->setEyeData(reply);
        const QImage ours = picture(plot);
        plotView->resize(256, 300);
        QCOMPARE(
            sceneTexts(plot),
            QStringList({"Horz: 0.5UI, 10.312500Gbps, 48.5pS (0.00 UI)", "Vert: 200mV (000 mV)",
                         "https://corvane.example     " + FixedNow.toString(Qt::TextDate)}));

        QGraphicsView other;
        other.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        other.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        other.resize(256, height);
        QGraphicsScene scene;
        other.setScene(&scene);
        reference::plotEye(&scene,
                           {reply, gain, view.contains('d'), view.contains('b'), view.contains('i'),
                            "200mV", "0.00 UI / 000 mV", 10312.5, height, FixedNow});
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
        save(dir.filePath("no-such-folder/eye.png"));
        QVERIFY2(message(plot).contains(name + ": No such file or directory") && red(plot),
                 qPrintable(message(plot)));
        save(dir.filePath("eye"));
        QVERIFY2(message(plot).contains(name + ": the name has no suffix") && red(plot),
                 qPrintable(message(plot)));
        QVERIFY(control<QPlainTextEdit>(offline.get(), "DebugOut")
                    ->toPlainText()
                    .contains("Image not saved: " + dir.filePath("eye")));
        QCOMPARE(asked, pictures);      // nothing saved, nothing remembered
        save(dir.filePath("good.png")); // clears the message, and is remembered
        QCOMPARE(message(plot), QString());
        save(QString());
        QCOMPARE(asked, QDir(dir.path()).absolutePath());
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
        QVERIFY(eye->scanning() && b.link()->pollingPaused());
        QCOMPARE(message(eye), QString("Scanning..."));
        QVERIFY(red(eye) && message(eye, "LowRateMessage").isEmpty());
        control<QAbstractButton>(eye, "ScanBtn")->click();
        QCOMPARE(message(eye), QString("Busy: the eye scan is still running"));
        Eye *second = openEye(b.w.get());
        QCOMPARE(message(second), QString("Busy: the eye scan holds the instrument"));
        QVERIFY(red(second) && !second->scanning());
        QVERIFY(QTest::qWaitFor([&] { return b.count("Scan 4", from) == 1; }, 3000));
        QVERIFY2(sinceClick.elapsed() >= 195, qPrintable(QString::number(sinceClick.elapsed())));
        QVERIFY(scanEnds(eye));
        QCOMPARE(eye->eyeData().size(), 4224);
        QCOMPARE(message(eye), QString());
        QVERIFY(b.waitForRequests(3));
        const QVector<sim::LoggedCommand> wire = b.sim->commandLog();
        const auto sent = std::find_if(wire.begin(), wire.end(), [&](const sim::LoggedCommand &c) {
            return c.index >= from && c.line.startsWith("Scan");
        });
        QCOMPARE(sent->line, QByteArray("Scan 4"));
        QCOMPARE(sent[1].line, QByteArray("r"));
        // Collected soon after the reply (1.5 s) was in, not at the 4.2 s time-out.
        QVERIFY2(sent[1].ms - sent->ms >= 1600 && sent[1].ms - sent->ms < 4000,
                 qPrintable(QString::number(sent[1].ms - sent->ms)));
        QCOMPARE(look(eye, "EyeMeas"), QString("0.63 UI / 125 mV"));
        const QStringList texts = sceneTexts(eye);
        QCOMPARE(texts.mid(0, 2), QStringList({"Horz: 0.5UI, 10.312500Gbps, 48.5pS (0.63 UI)",
                                               "Vert: 200mV (125 mV)"}));
        QVERIFY2(qAbs(QDateTime::fromString(texts[2].mid(28), Qt::TextDate)
                          .secsTo(QDateTime::currentDateTime())) < 10,
                 qPrintable(texts[2]));

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

        control<QComboBox>(second, "EyeScale")->setCurrentIndex(1);
        control<QAbstractButton>(second, "ScanBtn")->click();
        QCOMPARE(message(second), QString("Scanning..."));
        QVERIFY(scanEnds(second));
        QCOMPARE(second->eyeData().size(), 4224);
        QCOMPARE(b.commands(from), QList<QByteArray>({"Scan 4", "Scan 2"}));
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
    // scan as CSV beside it (the top row first), the folder remembered; saved
    // from a window closed while its scan ran.
    void save()
    {
        SimBench &b = pool.live("Corvane NanoTb");
        QVERIFY(b.show({record("Corvane NanoTb", "rate=3d77a050")}));
        Eye *eye = openEye(b.w.get());
        eye->close(); // only hidden: the scan runs on
        QVERIFY(eye->isHidden() && eye->scanning());
        QVERIFY(scanEnds(eye));
        QTemporaryDir dir;
        QString name;
        eye->askImageFileName = [&](QWidget *parent, const QString &) {
            return parent == eye ? dir.filePath(name) : QString();
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
            if (!name.endsWith("JPEG"))
                QCOMPARE(saved, picture(eye).convertToFormat(QImage::Format_RGB32));
        }
        QCOMPARE(Eye::imageFolder(), QDir(dir.path()).absolutePath());
        QFile csv(dir.filePath("eye.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = csv.readAll().split('\n');
        QCOMPARE(rows.size(), 66); // the header, 64 rows, nothing after the last line end
        const QList<QByteArray> header = rows[0].chopped(1).split(',');
        QCOMPARE(header.mid(0, 4),
                 QList<QByteArray>({"Corvane eye scan", "rate 10312.5 Mbps", "scale 200mV",
                                    "eye opening 0.63 UI / 125 mV"}));
        const QDateTime stamp =
            QDateTime::fromString(header[4] + header[5], "'date 'yyyy-MM-dd'time 'hh:mm:ss");
        QVERIFY2(qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 20, rows[0].constData());
        const QByteArray &data = eye->eyeData(); // line c: column c, byte j: row j from the bottom
        for (int r = 0; r < 64; ++r) {
            const QList<QByteArray> values = rows[r + 1].chopped(1).split(',');
            QCOMPARE(values.size(), 64);
            for (int c = 0; c < 64; ++c)
                QCOMPARE(values[c].toInt(), int(uchar(data[c * 66 + 63 - r])));
        }
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

    // The instrument goes away mid-scan (unplugged; Disconnect): the scan ends
    // at once, the window says why in red, nothing more happens, and the next
    // press finds no instrument.
    void instrumentGoneDuringScan()
    {
        SimBench unplugged, disconnected;
        QVERIFY(unplugged.startLive("Corvane NanoTb") && disconnected.startLive("Corvane NanoTb"));
        SimBench *benches[] = {&unplugged, &disconnected};
        Eye *eyes[] = {openEye(unplugged.w.get()), openEye(disconnected.w.get())};
        QVERIFY(QTest::qWaitFor(
            [&] { return unplugged.count("Scan 4") + disconnected.count("Scan 4") == 2; }, 3000));
        unplugged.sim->unplug();
        control<QAbstractButton>(disconnected.w.get(), "DisConectBtn")->click();
        const QString why[] = {"Scan stopped: Connection to the instrument was lost",
                               "Scan stopped: Disconnected"};
        for (int i : {0, 1})
            QTRY_VERIFY2(!eyes[i]->scanning() && message(eyes[i]).startsWith(why[i]) &&
                             red(eyes[i]),
                         qPrintable(message(eyes[i])));
        QTest::qWait(4300); // past the scan's time-out: proves that nothing more happens
        for (int i : {0, 1}) {
            QVERIFY(message(eyes[i]).startsWith(why[i]));
            QVERIFY(benches[i]->debugText().contains(why[i]));
            QCOMPARE(control<QGraphicsView>(eyes[i], "PlotWindow")->scene()->items().size(), 0);
            control<QAbstractButton>(eyes[i], "ScanBtn")->click();
            QCOMPARE(message(eyes[i]), QString("No instrument connected"));
        }
    }
};

QTEST_MAIN(TstEye)
#include "tst_eye.moc"
