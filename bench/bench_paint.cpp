// What the main window paints per record while it polls: a shown MainWindow
// connected to the simulated instrument over a real pty, with an application
// event filter that counts every paint event by widget (object name, or class
// for unnamed ones) and the pixels of its region. Printed per record, the
// widgets painted most first, and what each record changed (the read-outs
// whose text or picture differs from the previous record's).
//
//   bench_paint [--records N] [--verbose]        (default 100 records)
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise (the
// widgets' repaint regions do not depend on the platform; on Xvfb, xcb gives
// the same counts). --verbose prints each paint event's widget and region for
// the first three records measured.
#include "app/mainwindow.h"
#include "benchsupport.h"
#include "benchwindow.h"
#include "device/instrument.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QMap>
#include <QPaintEvent>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Tally {
    int events = 0;
    qint64 pixels = 0;
};

QString nameOf(const QObject *o)
{
    return o->objectName().isEmpty() ? QString::fromLatin1(o->metaObject()->className())
                                     : o->objectName();
}

qint64 pixelsOf(const QRegion &region)
{
    qint64 n = 0;
    for (const QRect &r : region)
        n += qint64(r.width()) * r.height();
    return n;
}

class PaintCensus : public QObject
{
public:
    bool counting = false;
    int verboseRecords = 0;
    QMap<QString, Tally> tally;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (counting && event->type() == QEvent::Paint && watched->isWidgetType()) {
            const QRegion &region = static_cast<QPaintEvent *>(event)->region();
            Tally &t = tally[nameOf(watched)];
            ++t.events;
            t.pixels += pixelsOf(region);
            if (verboseRecords > 0) {
                const QRect b = region.boundingRect();
                std::printf("    paint %-18s %3d,%3d %3dx%-3d (%d rects)\n",
                            qPrintable(nameOf(watched)), b.x(), b.y(), b.width(), b.height(),
                            region.rectCount());
            }
        }
        return false;
    }
};

// What the window shows in its read-outs: texts and pictures by name.
QMap<QString, QString> looks(const MainWindow &w)
{
    QMap<QString, QString> m;
    for (const QLabel *l : w.findChildren<QLabel *>()) {
        if (l->objectName().isEmpty())
            continue;
        m[l->objectName()] = l->text() + QLatin1Char('|') +
                             QString::number(l->property("pixmap").value<QPixmap>().cacheKey());
    }
    for (const QAbstractButton *b : w.findChildren<QAbstractButton *>())
        if (!b->objectName().isEmpty())
            m[b->objectName()] =
                b->text() + QLatin1Char('|') + QString::number(b->icon().cacheKey());
    return m;
}

} // namespace

int main(int argc, char *argv[])
{
    int records = 100;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--records") && i + 1 < argc) {
            records = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--verbose")) {
            verbose = true;
        } else {
            std::fprintf(stderr, "usage: %s [--records N] [--verbose]\n", argv[0]);
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const auto sim = bench::listedSimulator("Corvane NanoTb");
    sim->withEngine([](sim::Engine &e) { e.setRateBps(10312500000LL); });

    MainWindow w;
    w.show();
    PaintCensus census;
    app.installEventFilter(&census);

    if (!bench::connectFirstListed(w))
        return 1;
    const QComboBox *ports = w.findChild<QComboBox *>(QStringLiteral("PortSelBox"));
    device::Instrument *instrument = w.instrument();
    if (!instrument->isConnected()) {
        for (int i = 0; i < ports->count(); ++i)
            std::fprintf(stderr, "port list: %s\n", qPrintable(ports->itemText(i)));
        std::fprintf(stderr, "cannot connect to %s\n", qPrintable(sim->slavePath()));
        return 1;
    }

    // Each record: what changed in the read-outs, then (when the event loop
    // has painted) what was painted.
    QMap<QString, int> changes;
    QMap<QString, QString> before = looks(w);
    int seen = 0;
    const int warmup = 5;
    QEventLoop loop;
    QObject::connect(instrument, &device::Instrument::measured, &loop, [&] {
        // Runs after the window's own slot (connected first).
        ++seen;
        const QMap<QString, QString> now = looks(w);
        if (seen > warmup) {
            for (auto it = now.begin(); it != now.end(); ++it)
                if (before.value(it.key()) != it.value())
                    ++changes[it.key()];
        }
        before = now;
        if (seen == warmup)
            census.counting = true;
        if (verbose && seen > warmup && seen <= warmup + 3) {
            census.verboseRecords = 1;
            std::printf("  record %d:\n", seen - warmup);
        } else {
            census.verboseRecords = 0;
        }
        if (seen == warmup + records)
            QTimer::singleShot(50, &loop, &QEventLoop::quit); // its paint included
    });
    QTimer::singleShot((warmup + records) * 1000 + 30000, &loop, &QEventLoop::quit);
    loop.exec();
    census.counting = false;
    const int measured = seen - warmup;
    if (measured <= 0) {
        std::fprintf(stderr, "no records\n");
        return 1;
    }

    std::printf("Corvane NanoTb, window shown (%s), %d records\n",
                qPrintable(QGuiApplication::platformName()), measured);
    std::printf("read-outs changed per record:");
    for (auto it = changes.begin(); it != changes.end(); ++it)
        std::printf(" %s %.2f", qPrintable(it.key()), double(it.value()) / measured);
    std::printf("\n%-24s %16s %16s\n", "widget painted", "paints/record", "pixels/record");
    QList<QPair<qint64, QString>> order;
    int events = 0;
    for (auto it = census.tally.begin(); it != census.tally.end(); ++it) {
        order.append({it.value().pixels, it.key()});
        events += it.value().events;
    }
    std::sort(order.begin(), order.end(),
              [](const auto &a, const auto &b) { return a.first > b.first; });
    for (const auto &o : order) {
        const Tally &t = census.tally[o.second];
        std::printf("%-24s %16.2f %16.1f\n", qPrintable(o.second), double(t.events) / measured,
                    double(t.pixels) / measured);
    }
    std::printf("paint events per record: %.2f\n", double(events) / measured);
    w.on_DisConectBtn_clicked();
    return 0;
}
