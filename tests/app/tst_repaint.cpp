// What the main window paints: its first paint shows the port list searching
// before the search (which then starts) holds up the paint; after records
// that change its read-outs the window on screen is pixel for pixel what a
// repaint of the whole window shows: the read-outs repaint only where their
// texts are, and that leaves nothing behind (a longer or shorter text, a
// button's hover frame, the neighbours they touch).
#include "support/simbench.h"

#include <QScopeGuard>
#include <QScreen>
#include <QWindow>
#include <functional>

namespace {
// What the window's backing store holds: what the user sees.
QImage onScreen(QWidget *w)
{
    return w->windowHandle()
        ->screen()
        ->grabWindow(w->winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}
// The whole window painted afresh.
QImage afresh(QWidget *w)
{
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}
// The read-outs with a margin of two pixels, which holds what they touch.
// (Elsewhere a repaint afresh may differ from the screen regardless: the
// pattern slider's tick marks take another colour in a repaint afresh.)
QRegion readoutsAndSurroundings(QWidget *w)
{
    QRegion r;
    for (const char *name : {"BERText", "ErrorCntTxt", "CountTxt", "TimeTxt", "RxPowTxt", "TempTxt",
                             "EyeButton", "TxEnBtn", "WaveLengBtn"}) {
        const QWidget *c = control(w, name);
        r += QRect(c->mapTo(w, QPoint()), c->size()).adjusted(-2, -2, 2, 2);
    }
    return r;
}
// The pixels of the read-outs and their surroundings that differ between the
// screen and a repaint afresh, as "x,y" (the first ten, and how many).
QString differingPixels(QWidget *w)
{
    const QImage a = onScreen(w), b = afresh(w);
    if (a.size() != b.size())
        return QStringLiteral("sizes differ");
    QStringList at;
    int n = 0;
    for (const QRect &rect : readoutsAndSurroundings(w)) {
        const QRect inside = rect & a.rect();
        for (int y = inside.top(); y <= inside.bottom(); ++y) {
            for (int x = inside.left(); x <= inside.right(); ++x) {
                if (a.pixel(x, y) != b.pixel(x, y) && n++ < 10)
                    at << QStringLiteral("%1,%2").arg(x).arg(y);
            }
        }
    }
    return n ? QStringLiteral("%1 pixels: %2").arg(n).arg(at.join(' ')) : QString();
}
// Calls `painted` whenever the watched widget receives a paint event.
class PaintWatch : public QObject
{
public:
    PaintWatch(QWidget *w, std::function<void()> painted) : m_painted(std::move(painted))
    {
        w->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            m_painted();
        return false;
    }

private:
    std::function<void()> m_painted;
};
} // namespace

class TstRepaint : public QObject
{
    Q_OBJECT
    SimBench b;

    // A window connected to the simulated NanoTb, shown (made once).
    bool live()
    {
        if (b.w)
            return true;
        if (!b.startLive("Corvane NanoTb"))
            return false;
        b.w->show();
        return QTest::qWaitForWindowExposed(b.w.get());
    }

private slots:
    // The port list as each paint of it shows it, and whether the search was
    // under way then, until the search has ended (no port to search here).
    void firstPaint()
    {
        portcatalog::clearExtras();
        device::InstrumentPool pool;
        MainWindow w(&pool);
        auto *ports = control<QComboBox>(&w, "PortSelBox");
        QStringList painted;
        PaintWatch watch(ports, [&] {
            painted << ports->currentText() + (pool.searching() ? " (searching)" : "");
        });
        QSignalSpy searched(&w, &MainWindow::portsSearched);
        w.show();
        QVERIFY(searched.wait(5000));
        QTRY_COMPARE(painted.last(), QString("Select Device"));
        QCOMPARE(painted.first(), QString("Searching Please Wait..."));
    }

    // Records in order, whether the mouse rests on the eye-opening button
    // (which then shows its frame), and the texts shown after the last.
    void readoutsOnScreen_data()
    {
        columns<QStringList, bool, QString>({"records", "hover", "shown"});
        QTest::newRow("shorter texts")
            << QStringList{"rx=8fa0 eye=01011f temperature=6f88"} << false
            << "RxPowTxt=----|EyeButton=0.03 UI /   3 mV|TempTxt=42.2";
        QTest::newRow("longer texts") << QStringList{"rx=8fa0 eye=01011f", "eye=142883"} << false
                                      << "RxPowTxt=10.0|EyeButton=0.63 UI / 125 mV";
        QTest::newRow("the eye-opening button hovered, its text shorter, then longer")
            << QStringList{"eye=01011f", "eye=142883"} << true << "EyeButton=0.63 UI / 125 mV";
        QTest::newRow("the eye-opening button hovered, its text longer, then shorter")
            << QStringList{"eye=142883", "eye=01011f"} << true << "EyeButton=0.03 UI /   3 mV";
    }
    void readoutsOnScreen()
    {
        QFETCH(QString, shown);
        QVERIFY(live());
        auto *eye = control(b.w.get(), "EyeButton");
        if (data<bool>("hover")) {
            QTest::mouseMove(eye, eye->rect().center());
            QTRY_VERIFY(eye->underMouse());
        } else {
            QTest::mouseMove(b.w.get(), QPoint(580, 450));
            QTRY_VERIFY(!eye->underMouse());
        }
        QList<QByteArray> records;
        for (const QString &changes : data<QStringList>("records"))
            records << record("Corvane NanoTb", changes);
        QVERIFY(b.show(records));
        // The cycle is held so that the window stays as the last record left it.
        b.instrument()->hold(QStringLiteral("test"));
        const auto release = qScopeGuard([&] { b.instrument()->release(QStringLiteral("test")); });
        QVERIFY(b.waitUntilPollingStopped());
        QCOMPARE(looks(b.w.get(), shown), shown);
        QTRY_COMPARE(differingPixels(b.w.get()), QString());
    }
};

QTEST_MAIN(TstRepaint)
#include "tst_repaint.moc"
