// The eye-scan window end to end over the simulated instrument: the rate
// limit, the command and its timing on the wire, polling paused and resumed,
// missing and short replies, one exchange at a time, the instrument going away
// mid-scan; the picture (pixel for pixel against the drawing with one item
// per cell); saving the picture and the scan.
#include "eye/eye.h"
#include "eye/eyelevels.h"
#include "support/eyereference.h"
#include "support/simbench.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGraphicsTextItem>
#include <QGraphicsView>
#include <QImageReader>
#include <QSettings>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextDocument>

namespace {
Eye *openEye(SimBench &b)
{
    const QList<Eye *> before = b.w->findChildren<Eye *>();
    control<QAbstractButton>(b.w.get(), "EyeButton")->click();
    for (Eye *e : b.w->findChildren<Eye *>())
        if (!before.contains(e))
            return e;
    return nullptr;
}
// A connected window showing the rate of 10.3125 Gb/s.
bool live(SimBench &b, const QByteArray &model = "Corvane NanoTb")
{
    return (b.w || b.startLive(model)) &&
           QTest::qWaitFor(
               [&] {
                   return control<QDoubleSpinBox>(b.w.get(), "RateSetting")->value() == 10312.5;
               },
               3000);
}

// The text a message label shows ("" when hidden), and whether it is red.
QString shownText(const QLabel *label)
{
    QTextDocument doc;
    doc.setHtml(label->text());
    return label->isHidden() ? QString() : doc.toPlainText();
}
QString message(const Eye *eye)
{
    return shownText(control<QLabel>(eye, "ScanMessage"));
}
bool red(const Eye *eye, const char *label = "ScanMessage")
{
    return control<QLabel>(eye, label)->text().contains("color:#ff0000");
}

QList<QByteArray> scanLines(const SimBench &b, qint64 from)
{
    QList<QByteArray> out;
    for (const QByteArray &line : b.lines(from))
        if (line.startsWith("Scan"))
            out << line;
    return out;
}
bool waitScanEnd(Eye *eye, int timeoutMs = 6000)
{
    return QTest::qWaitFor([eye] { return !eye->scanning(); }, timeoutMs);
}
bool setRate(SimBench &b, qint64 bps)
{
    b.engine([bps](sim::Engine &e) { e.setRateBps(bps); });
    auto *rate = control<QDoubleSpinBox>(b.w.get(), "RateSetting");
    return QTest::qWaitFor([&] { return qRound64(rate->value() * 1e6) == bps; }, 3000);
}

// The colour the picture shows in cell (c, j), j from the bottom; one pixel
// into the cell, as the view's frame covers the outermost pixels.
QColor cellColour(Eye *eye, int c, int j)
{
    auto *view = control<QGraphicsView>(eye, "PlotWindow");
    const QPoint at = view->mapFromScene(QPointF(4 * c + 1, 4 * (63 - j) + 1));
    return view->grab().toImage().pixelColor(view->viewport()->mapTo(view, at));
}
QStringList sceneTexts(Eye *eye)
{
    QStringList texts;
    for (QGraphicsItem *item : control<QGraphicsView>(eye, "PlotWindow")->scene()->items())
        if (auto *t = dynamic_cast<QGraphicsTextItem *>(item))
            texts << t->toPlainText();
    std::sort(texts.begin(), texts.end()); // "Horz", "Vert", "https"
    return texts;
}

// A CSV parser after RFC 4180: quoted fields, doubled quotes, CR LF or LF.
QList<QStringList> parseCsv(const QString &text)
{
    QList<QStringList> rows{{}};
    QString field;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (quoted && ch == '"' && text.mid(i + 1, 1) == "\"")
            field += text[i++];
        else if (ch == '"')
            quoted = !quoted;
        else if (quoted || (ch != ',' && ch != '\r' && ch != '\n'))
            field += ch;
        else if (ch == ',' || ch == '\n' || text.mid(i + 1, 1) != "\n") {
            rows.last() << field;
            field.clear();
            if (ch != ',')
                rows << QStringList();
        }
    }
    if (!field.isEmpty() || quoted)
        rows.last() << field;
    if (rows.last().isEmpty())
        rows.removeLast();
    return rows;
}

const QDateTime FixedNow(QDate(2025, 3, 7), QTime(14, 5, 9));
} // namespace

// CTest runs the functions in groups (tests/CMakeLists.txt, PARTS): list a new
// function there too.
class TstEye : public QObject
{
    Q_OBJECT
    BenchPool pool;

private slots:
    // Every test starts from the form's scale, whatever an earlier one chose.
    void init() { QSettings().remove(QLatin1String(Eye::ScaleKey)); }
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName("Corvane");
        QCoreApplication::setApplicationName("corvane");
        QSettings().remove(Eye::ImageFolderKey);
    }
    void cleanupTestCase() { pool.clear(); }

    // The form: names, texts, sizes and starting values; opened without an
    // instrument (rate 0) it shows the rate message and draws nothing.
    void form()
    {
        SimBench b;
        QVERIFY(b.start("Corvane NanoTb"));
        Eye *eye = openEye(b);
        QVERIFY(eye && eye->isWindow());
        QCOMPARE(eye->windowTitle(), QString("Eye Scan"));
        QCOMPARE(eye->size(), QSize(294, 418));
        QCOMPARE(eye->minimumSize(), eye->maximumSize());
        auto *view = control<QGraphicsView>(eye, "PlotWindow");
        QCOMPARE(view->geometry(), QRect(0, 0, 256, 300));
        QCOMPARE(view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        auto *gain = control<QSlider>(eye, "PlotGain");
        QCOMPARE(QList<int>({gain->minimum(), gain->maximum(), gain->value(), gain->height()}),
                 QList<int>({1, 100, 75, 300}));
        auto *scale = control<QComboBox>(eye, "EyeScale");
        QCOMPARE(scale->itemText(0) + scale->itemText(1) + scale->itemText(2) +
                     scale->currentText(),
                 QString("50mV100mV150mV200mV"));
        QStringList texts;
        for (const char *name : {"EyeMeas", "EyeMeas_2", "QRateText_5", "ScanBtn", "CopyPlot",
                                 "PlotDeriv", "PlotBW", "PlotInvert"})
            texts << textOf(eye, name) +
                         (name[0] == 'P' && control<QCheckBox>(eye, name)->isChecked() ? "*" : "");
        QCOMPARE(texts.join('|'), QString("0.00 UI, 000 mV|Eq Eye Opening:|Scale V/div:|Refresh||"
                                          "Derivative*|Black and White|Invert Colors"));
        QCOMPARE(shownText(control<QLabel>(eye, "LowRateMessage")),
                 QString("Rate must be >= 4.975Gbps"));
        QVERIFY(red(eye, "LowRateMessage") && red(eye));
        QCOMPARE(message(eye), QString());
        QCOMPARE(view->scene()->items().size(), 0);
        eye->close(); // only hidden
        QCOMPARE(b.w->findChildren<Eye *>().size(), 1);
    }

    // The main path: timing on the wire, polling paused and resumed, the
    // drawing and its texts, redraws from every control that send nothing.
    void scanFromTheMainWindow()
    {
        SimBench b;
        QVERIFY(live(b));
        const qint64 from = b.logSize();
        QElapsedTimer sinceClick;
        sinceClick.start();
        Eye *eye = openEye(b);
        QVERIFY(eye->scanning() && b.link()->pollingPaused());
        QCOMPARE(message(eye), QString("Scanning..."));
        QVERIFY(red(eye));
        QVERIFY(control(eye, "LowRateMessage")->isHidden());

        // The command leaves 200 ms after the click; the reply (after 1.5 s)
        // is collected within a step or two of its arrival.
        QVERIFY(QTest::qWaitFor([&] { return !scanLines(b, from).isEmpty(); }, 3000));
        const qint64 sentAfter = sinceClick.elapsed();
        QVERIFY2(sentAfter >= 195 && sentAfter < 1500, qPrintable(QString::number(sentAfter)));
        QVERIFY(waitScanEnd(eye));
        const qint64 drawnAfter = sinceClick.elapsed();
        QVERIFY2(drawnAfter >= 1700 && drawnAfter < 5000, qPrintable(QString::number(drawnAfter)));
        QCOMPARE(message(eye), QString());
        QCOMPARE(eye->eyeData().size(), 4224);

        // On the wire: "Scan 4", then no "r" until 100 ms after the collection.
        QVERIFY(b.waitForRequests(3));
        QVector<sim::LoggedCommand> wire = b.sim->commandLog();
        const auto scan = std::find_if(wire.begin(), wire.end(), [&](const sim::LoggedCommand &c) {
            return c.index >= from && c.line.startsWith("Scan");
        });
        QVERIFY(scan != wire.end() && scan + 1 != wire.end());
        QCOMPARE(scan->line, QByteArray("Scan 4"));
        QCOMPARE(scan[1].line, QByteArray("r"));
        // (collected soon after the reply was complete, not at the 4.2 s time-out)
        const qint64 gap = scan[1].ms - scan->ms;
        QVERIFY2(gap >= 1600 && gap < 3500, qPrintable(QString::number(gap)));
        QVERIFY(!b.link()->pollingPaused());

        // The opening from the main window, and the three text lines.
        const QString opening = textOf(eye, "EyeMeas");
        QVERIFY2(QRegularExpression("^\\d\\.\\d\\d UI / [ \\d]{3} mV$").match(opening).hasMatch(),
                 qPrintable(opening)); // the main window's eye button, as it read then
        QStringList texts = sceneTexts(eye);
        QCOMPARE(texts.size(), 3);
        QCOMPARE(texts[0], "Horz: 0.5UI, 10.312500Gbps, 48.5pS (" + opening.left(7) + ")");
        QCOMPARE(texts[1], "Vert: 200mV (" + opening.mid(10, 6) + ")");
        QVERIFY2(texts[2].startsWith("https://corvane.example     "), qPrintable(texts[2]));
        const QDateTime stamp = QDateTime::fromString(texts[2].mid(28), Qt::TextDate);
        QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 10);
        QCOMPARE(cellColour(eye, 60, -4), QColor(130, 135, 144)); // the strip

        // Redraws: normal view, any gain, inverted, black and white; a new scale.
        const qint64 before = b.logSize();
        const QByteArray &data = eye->eyeData();
        const int s = uchar(data[32 * 66 + 10]); // column 32, row 10
        control<QCheckBox>(eye, "PlotDeriv")->click();
        const int normal = qMin(255, (255 - s) * 75 / 50);
        QCOMPARE(cellColour(eye, 32, 10), QColor(normal, normal, 0));
        for (int g = 1; g <= 100; ++g)
            control<QSlider>(eye, "PlotGain")->setValue(g);
        const int full = qMin(255, (255 - s) * 2);
        QCOMPARE(cellColour(eye, 32, 10), QColor(full, full, 0));
        control<QCheckBox>(eye, "PlotInvert")->click();
        QCOMPARE(cellColour(eye, 32, 10), QColor(255 - full, 255 - full, 0));
        control<QCheckBox>(eye, "PlotBW")->click();
        const int bw = 255 - full >= 129 ? 255 : 0;
        QCOMPARE(cellColour(eye, 32, 10), QColor(bw, bw, 0));
        control<QComboBox>(eye, "EyeScale")->setCurrentIndex(0);
        control<QCheckBox>(eye, "PlotDeriv")->click();
        QCOMPARE(sceneTexts(eye)[1], "Vert: 50mV (" + textOf(eye, "EyeMeas").mid(10, 6) + ")");
        QVERIFY(b.waitForRequests(3));
        QCOMPARE(scanLines(b, before), QList<QByteArray>());
        QVERIFY(!eye->scanning());
    }

    // From 4975 Mbps up; below, the window says so, sends nothing, polling goes on.
    void rateLimit_data()
    {
        QTest::addColumn<qint64>("bps");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("4974.99 Mbps") << Q_INT64_C(4974990000) << false;
        QTest::newRow("4975 Mbps") << Q_INT64_C(4975000000) << true;
    }
    void rateLimit()
    {
        QFETCH(qint64, bps);
        QFETCH(bool, accepted);
        SimBench &b = pool.live("Corvane NanoTa");
        QVERIFY(setRate(b, bps));
        const qint64 from = b.logSize();
        Eye *eye = openEye(b);
        QCOMPARE(eye->scanning(), accepted);
        QCOMPARE(control(eye, "LowRateMessage")->isHidden(), accepted);
        QCOMPARE(message(eye), accepted ? QString("Scanning...") : QString());
        if (!accepted) {
            QVERIFY(b.waitForRequests(6)); // well past the 200 ms
            QCOMPARE(scanLines(b, from), QList<QByteArray>());
            // The rate comes up: the next press scans and clears the rate message.
            QVERIFY(setRate(b, Q_INT64_C(10312500000)));
            control<QAbstractButton>(eye, "ScanBtn")->click();
            QVERIFY(eye->scanning());
            QVERIFY(control(eye, "LowRateMessage")->isHidden());
        }
        QVERIFY(waitScanEnd(eye));
        QCOMPARE(scanLines(b, from).size(), 1);
        QVERIFY(setRate(b, Q_INT64_C(10312500000)));
    }

    // No reply, or a short one: given up at the 101st step (4.2 s after the
    // click), what came is drawn and polling resumes.
    void missingOrShortReply_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("bytes");
        QTest::newRow("no reply") << int(sim::Fault::NoReply) << 0;
        QTest::newRow("short reply") << int(sim::Fault::ShortReply) << 4221;
    }
    void missingOrShortReply()
    {
        QFETCH(int, fault);
        QFETCH(int, bytes);
        SimBench b;
        QVERIFY(live(b));
        Eye *eye = openEye(b);
        QVERIFY(waitScanEnd(eye)); // a full scan first: the failed one replaces it
        QVERIFY(b.waitForRequests(2));

        b.engine([&](sim::Engine &e) { e.setFault(sim::Fault(fault)); });
        const qint64 from = b.logSize();
        QElapsedTimer sinceClick;
        sinceClick.start();
        control<QAbstractButton>(eye, "ScanBtn")->click();
        QVERIFY(waitScanEnd(eye, 10000));
        const qint64 drawnAfter = sinceClick.elapsed();
        b.engine([](sim::Engine &e) { e.setFault(sim::Fault::None); });
        QVERIFY2(drawnAfter >= 4195 && drawnAfter < 8000, qPrintable(QString::number(drawnAfter)));
        QCOMPARE(eye->eyeData().size(), bytes);
        QCOMPARE(message(eye), QString());
        if (bytes == 0) { // an empty scan, derivative view: all black
            for (int c : {0, 32, 63})
                for (int j : {0, 31, 63})
                    QCOMPARE(cellColour(eye, c, j), QColor(0, 0, 0));
        } else { // the last cell lost its sample: yellow in the normal view
            control<QCheckBox>(eye, "PlotDeriv")->click();
            QCOMPARE(cellColour(eye, 63, 63), QColor(255, 255, 0));
        }
        QVERIFY(b.waitForRequests(2));
        QCOMPARE(scanLines(b, from).size(), 1);
    }

    // One exchange owns the line: a second click, a second eye window and a
    // transceiver operation are refused in red and send nothing.
    void oneExchangeAtATime()
    {
        SimBench b;
        QVERIFY(live(b));
        const qint64 from = b.logSize();
        Eye *first = openEye(b);
        QVERIFY(first->scanning());
        control<QAbstractButton>(first, "ScanBtn")->click();
        QCOMPARE(message(first), QString("Busy: the eye scan is still running"));
        QVERIFY(red(first));
        Eye *second = openEye(b);
        QVERIFY(!second->scanning());
        QCOMPARE(message(second), QString("Busy: the eye scan holds the instrument"));
        QVERIFY(red(second) && control(second, "LowRateMessage")->isHidden());
        QVERIFY(waitScanEnd(first));
        QCOMPARE(first->eyeData().size(), 4224);
        QCOMPARE(message(first), QString());
        QVERIFY(second->eyeData().isEmpty());

        QObject dump; // the utilities' register dump holds the line
        QVERIFY(b.link()->beginExchange(&dump, "the register dump"));
        control<QAbstractButton>(second, "ScanBtn")->click();
        QCOMPARE(message(second), QString("Busy: the register dump holds the instrument"));
        QVERIFY(!second->scanning());
        b.link()->endExchange(&dump);

        // Free again: the second window scans, at 100mV; the scans never overlapped.
        control<QComboBox>(second, "EyeScale")->setCurrentIndex(1);
        QCOMPARE(scanLines(b, from).size(), 1); // a new scale starts nothing
        control<QAbstractButton>(second, "ScanBtn")->click();
        QCOMPARE(message(second), QString("Scanning..."));
        QVERIFY(waitScanEnd(second));
        QCOMPARE(second->eyeData().size(), 4224);
        QCOMPARE(scanLines(b, from), QList<QByteArray>({"Scan 4", "Scan 2"}));
        QList<qint64> at;
        for (const sim::LoggedCommand &c : b.sim->commandLog())
            if (c.index >= from && c.line.startsWith("Scan"))
                at << c.ms;
        QVERIFY(at[1] - at[0] >= 1500); // after the first reply was in
        QVERIFY(b.waitForRequests(2));
    }

    // The instrument goes away mid-scan: the scan ends, the window says why,
    // nothing hangs or is drawn; the next press finds no instrument.
    void instrumentGoneDuringScan_data()
    {
        QTest::addColumn<bool>("unplug");
        QTest::addColumn<QString>("reason");
        QTest::newRow("unplugged") << true << "Scan stopped: Connection to the instrument was lost";
        QTest::newRow("disconnected") << false << "Scan stopped: Disconnected";
    }
    void instrumentGoneDuringScan()
    {
        QFETCH(bool, unplug);
        QFETCH(QString, reason);
        SimBench b;
        QVERIFY(live(b));
        const qint64 from = b.logSize();
        Eye *eye = openEye(b);
        QVERIFY(QTest::qWaitFor([&] { return !scanLines(b, from).isEmpty(); }, 3000));
        if (unplug)
            b.sim->unplug();
        else
            control<QAbstractButton>(b.w.get(), "DisConectBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!eye->scanning(), 3000);
        QVERIFY2(message(eye).startsWith(reason) && red(eye), qPrintable(message(eye)));
        QTest::qWait(4300); // past the scan's time-out: nothing more happens
        QVERIFY(message(eye).startsWith(reason));
        QVERIFY(eye->eyeData().isEmpty());
        QCOMPARE(control<QGraphicsView>(eye, "PlotWindow")->scene()->items().size(), 0);
        QVERIFY(!b.link()->pollPending());
        control<QAbstractButton>(eye, "ScanBtn")->click();
        QCOMPARE(message(eye), QString("No instrument connected"));
        QVERIFY(!eye->scanning());
    }

    // Our picture, pixel for pixel, against one rectangle item per cell in a
    // view like PlotWindow.
    void pixelIdentity_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("gain");
        QTest::addColumn<QString>("view"); // d derivative, b black and white, i invert
        QTest::addColumn<int>("height");
        const QByteArray scan = sim::Engine("Corvane NanoTb", 7).eyeScan(4);
        QByteArray odd = scan.left(3000);
        odd.insert(700, "\r\r\n");
        odd.remove(1500, 1);
        QTest::newRow("derivative") << scan << 75 << "d" << 300;
        QTest::newRow("normal, gain 1") << scan << 1 << "" << 300;
        QTest::newRow("inverted, gain 100") << scan << 100 << "i" << 300;
        QTest::newRow("bw inverted") << sim::Engine().eyeScan(1) << 40 << "dbi" << 300;
        QTest::newRow("odd reply") << odd << 75 << "d" << 300;
        QTest::newRow("empty") << QByteArray() << 75 << "" << 300;
        QTest::newRow("taller plot") << scan << 75 << "d" << 320;
    }
    void pixelIdentity()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, gain);
        QFETCH(QString, view);
        QFETCH(int, height);
        portcatalog::clearExtras();
        MainWindow w; // no instrument: the window opens refused
        Eye *eye = new Eye(&w);
        eye->clock = [] { return FixedNow; };
        eye->show();
        auto *plot = control<QGraphicsView>(eye, "PlotWindow");
        plot->resize(256, height);
        control<QDoubleSpinBox>(&w, "RateSetting")->setValue(10312.5);
        control<QSlider>(eye, "PlotGain")->setValue(gain);
        control<QCheckBox>(eye, "PlotDeriv")->setChecked(view.contains('d'));
        control<QCheckBox>(eye, "PlotBW")->setChecked(view.contains('b'));
        control<QCheckBox>(eye, "PlotInvert")->setChecked(view.contains('i'));
        eye->setEyeData(QByteArray(5000, 'U')); // drawn twice: kept items are refreshed
        eye->setEyeData(reply);
        QVERIFY(QTest::qWaitForWindowExposed(eye));
        const QImage ours = plot->grab().toImage();

        QGraphicsView other;
        other.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        other.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        other.resize(256, height);
        QGraphicsScene scene;
        other.setScene(&scene);
        reference::plotEye(&scene,
                           {reply, gain, view.contains('d'), view.contains('b'), view.contains('i'),
                            "200mV", textOf(&w, "EyeButton"), 10312.5, height, FixedNow});
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        const QImage theirs = other.grab().toImage();

        QCOMPARE(ours.size(), QSize(256, height));
        QCOMPARE(theirs.size(), ours.size());
        int differ = 0;
        for (int y = 0; y < ours.height(); ++y)
            for (int x = 0; x < ours.width(); ++x)
                differ += ours.pixel(x, y) != theirs.pixel(x, y);
        if (differ) {
            ours.save(QDir::temp().filePath("eye-ours.png"));
            theirs.save(QDir::temp().filePath("eye-reference.png"));
        }
        QCOMPARE(differ, 0);
        QCOMPARE(cellColour(eye, 60, -4), QColor(130, 135, 144)); // not blank
    }

    // BMP, JPEG and PNG by the suffix, 256 x 300, the scan as CSV beside it,
    // the folder remembered; saved from a closed (hidden) window.
    void savePictureAndScan_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("png") << "eye.png" << QByteArray("png");
        QTest::newRow("bmp") << "eye.bmp" << QByteArray("bmp");
        QTest::newRow("JPEG (the dialog's filter)") << "scan.2.JPEG" << QByteArray("jpeg");
    }
    void savePictureAndScan()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, format);
        SimBench &b = pool.live("Corvane NanoTb");
        QVERIFY(live(b));
        Eye *eye = openEye(b);
        eye->close(); // a scan running when the window closes ends in the hidden window
        QVERIFY(eye->isHidden() && eye->scanning());
        QVERIFY(waitScanEnd(eye));
        QTemporaryDir dir;
        eye->askImageFileName = [&](QWidget *parent, const QString &) {
            return parent == eye ? dir.filePath(file) : QString();
        };
        control<QAbstractButton>(eye, "CopyPlot")->click();
        QCOMPARE(message(eye), QString());

        QImageReader reader(dir.filePath(file));
        QCOMPARE(reader.format(), format);
        const QImage saved = reader.read().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(saved.size(), QSize(256, 300));
        if (format != "jpeg")
            QCOMPARE(saved, control<QWidget>(eye, "PlotWindow")
                                ->grab()
                                .toImage()
                                .convertToFormat(QImage::Format_RGB32));
        QCOMPARE(Eye::imageFolder(), QDir(dir.path()).absolutePath());

        // Beside it: the header, then 64 rows of 64 samples, the top row first.
        QFile csv(dir.filePath(QFileInfo(file).completeBaseName() + ".csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QStringList> rows = parseCsv(QString::fromUtf8(csv.readAll()));
        QCOMPARE(rows.size(), 65);
        QCOMPARE(rows[0].mid(0, 4),
                 QStringList({"Corvane eye scan", "rate 10312.5 Mbps", "scale 200mV",
                              "eye opening " + textOf(eye, "EyeMeas")}));
        const QDateTime stamp =
            QDateTime::fromString(rows[0][4] + rows[0][5], "'date 'yyyy-MM-dd'time 'hh:mm:ss");
        QVERIFY2(qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 20,
                 qPrintable(rows[0].join('|')));
        const QByteArray &data = eye->eyeData(); // line c: column c, byte j: row j from the bottom
        for (int r = 0; r < 64; ++r) {
            QCOMPARE(rows[r + 1].size(), 64);
            for (int c = 0; c < 64; ++c)
                QCOMPARE(rows[r + 1][c], QString::number(uchar(data[c * 66 + 63 - r])));
        }
    }

    // A failed save says so in red, naming the file and the reason, and in the
    // diagnostics; cancelling writes nothing; the dialog starts in the last
    // folder saved to, else in the Pictures folder.
    void saveFailures()
    {
        QSettings().remove(Eye::ImageFolderKey);
        SimBench b;
        QVERIFY(b.start("Corvane NanoTb"));
        Eye *eye = openEye(b);
        eye->setEyeData(sim::Engine().eyeScan(4));
        QTemporaryDir dir;
        QString name, asked;
        eye->askImageFileName = [&](QWidget *, const QString &folder) {
            asked = folder;
            return name;
        };
        const auto save = [&](const QString &n) {
            name = n;
            control<QAbstractButton>(eye, "CopyPlot")->click();
        };
        QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        if (!QFileInfo(pictures).isDir())
            pictures = QDir::homePath();

        save(QString()); // cancelled
        QCOMPARE(asked, pictures);
        const QList<QPair<QString, QString>> failures{
            {dir.filePath("no-such-folder/eye.png"), "No such file or directory"},
            {dir.filePath("eye.xyz"), ".xyz"},
            {dir.filePath("eye"), "no suffix"}};
        for (const auto &f : failures) {
            save(f.first);
            QVERIFY2(message(eye).contains(f.first) && message(eye).contains(f.second) && red(eye),
                     qPrintable(message(eye)));
            QCOMPARE(asked, pictures); // nothing saved, nothing remembered
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
        QVERIFY(debugText(b).contains("Image not saved: " + dir.filePath("eye.xyz")));

        QVERIFY(QDir(dir.path()).mkdir("blocked.csv")); // the picture saves, its CSV cannot
        save(dir.filePath("blocked.png"));
        QVERIFY(QFileInfo::exists(dir.filePath("blocked.png")));
        QVERIFY2(message(eye).contains(dir.filePath("blocked.csv")), qPrintable(message(eye)));

        save(dir.filePath("good.png")); // clears the message, is remembered
        QCOMPARE(message(eye), QString());
        QVERIFY(QFileInfo::exists(dir.filePath("good.csv")));
        save(QString());
        QCOMPARE(asked, QDir(dir.path()).absolutePath());
        QSettings().setValue(Eye::ImageFolderKey, dir.filePath("gone"));
        save(QString());
        QCOMPARE(asked, pictures); // a remembered folder that is gone
        QSettings().remove(Eye::ImageFolderKey);
    }
};

QTEST_MAIN(TstEye)
#include "tst_eye.moc"
