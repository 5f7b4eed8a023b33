// A main window talking to a simulated instrument over a real pseudo-terminal,
// and helpers to look at the window as a user does: controls by object name,
// lamp pictures, and the commands that reached the instrument.
#pragma once
#include "app/mainwindow.h"
#include "link/link.h"
#include "link/portcatalog.h"
#include "ptysimulator.h"
#include "widgets/lamps.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QtTest>
#include <map>
#include <memory>

// Tests never touch the user's settings: QSettings and QStandardPaths use a
// test location.
inline const bool TestPaths = (QStandardPaths::setTestModeEnabled(true), true);

// A control of a window by its object name (fails the test when missing).
template <class T = QWidget> T *control(const QWidget *window, const char *name)
{
    T *c = window->findChild<T *>(QLatin1String(name));
    if (!c)
        qWarning("no control named %s", name);
    return c;
}

inline QString textOf(const QWidget *window, const char *name)
{
    if (auto *l = window->findChild<QLabel *>(QLatin1String(name)))
        return l->text();
    if (auto *b = window->findChild<QAbstractButton *>(QLatin1String(name)))
        return b->text();
    return QStringLiteral("<no control %1>").arg(QLatin1String(name));
}

// The lamp colour a label or button shows, as a letter: G, R, Y, g (grey) or ?.
// Pictures are compared pixel for pixel: what the user sees, however it was set.
inline char lampOf(const QWidget *window, const char *name)
{
    QImage shown;
    if (auto *l = window->findChild<QLabel *>(QLatin1String(name))) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        shown = l->pixmap().toImage();
#else
        shown = l->pixmap(Qt::ReturnByValue).toImage();
#endif
    } else if (auto *b = window->findChild<QAbstractButton *>(QLatin1String(name))) {
        shown = b->icon().pixmap(lamp::pixmap(lamp::Grey).size()).toImage();
    }
    shown = shown.convertToFormat(QImage::Format_ARGB32);
    const lamp::Colour colours[] = {lamp::Green, lamp::Red, lamp::Yellow, lamp::Grey};
    const char letters[] = {'G', 'R', 'Y', 'g'};
    for (int i = 0; i < 4; ++i) {
        if (!shown.isNull() &&
            shown == lamp::pixmap(colours[i]).toImage().convertToFormat(QImage::Format_ARGB32))
            return letters[i];
    }
    return '?';
}

class SimBench;
bool readoutsLive(const SimBench &b);
bool readoutsGreyed(const SimBench &b);
QString debugText(const SimBench &b);
QComboBox *portList(const SimBench &b);

class SimBench
{
public:
    std::unique_ptr<sim::PtySimulator> sim;
    std::unique_ptr<MainWindow> w;

    // Starts an instrument of the model and builds the window, which searches
    // the ports and lists the instrument. False when the simulator cannot start.
    bool start(const QByteArray &model) { return plugIn(model) && makeWindow(); }

    // Builds the window and waits until its search of the ports has ended.
    bool makeWindow()
    {
        w = std::make_unique<MainWindow>();
        QSignalSpy searched(w.get(), &MainWindow::portsSearched);
        return searched.wait(5000);
    }

    // Clicks Refresh and waits until the new search has ended.
    bool refresh()
    {
        QSignalSpy searched(w.get(), &MainWindow::portsSearched);
        control<QAbstractButton>(w.get(), "RefreshBtn")->click();
        return searched.wait(5000);
    }

    // A (new) instrument appears as a new serial device.
    bool plugIn(const QByteArray &model)
    {
        sim = std::make_unique<sim::PtySimulator>();
        if (!sim->start(model))
            return false;
        portcatalog::clearExtras();
        portcatalog::addExtra(sim->slavePath(), QStringLiteral("USB Serial Device"));
        return true;
    }

    // Picks the first listed instrument, as a user would.
    bool connectFirst()
    {
        QComboBox *box = control<QComboBox>(w.get(), "PortSelBox");
        if (box->count() < 2)
            return false;
        box->setCurrentIndex(1);
        emit box->activated(1);
        return link()->connected() != 0;
    }

    // Starts, connects and waits until the window shows live records.
    bool startLive(const QByteArray &model)
    {
        return start(model) && connectFirst() &&
               QTest::qWaitFor(
                   [this] { return count("r") >= 2 && textOf(w.get(), "CountTxt") != "0.000e-00"; },
                   5000);
    }

    Link *link() const { return w->link(); }
    QString portName() const { return sim->slavePath().mid(5); } // "/dev/pts/N" -> "pts/N"

    // Lines the instrument received, counted from the command numbered `from`.
    int count(const QByteArray &line, qint64 from = 0) const
    {
        int n = 0;
        for (const sim::LoggedCommand &c : sim->commandLog())
            n += c.index >= from && c.line == line;
        return n;
    }
    QList<QByteArray> lines(qint64 from = 0) const
    {
        QList<QByteArray> out;
        for (const sim::LoggedCommand &c : sim->commandLog())
            if (c.index >= from)
                out << c.line;
        return out;
    }
    qint64 logSize() const
    {
        return sim->withEngine([](sim::Engine &e) { return e.commandsReceived(); });
    }
    // Waits until the instrument has received `n` more requests for a record.
    bool waitForRequests(int n, int timeoutMs = 5000)
    {
        const qint64 from = logSize();
        return QTest::qWaitFor([&] { return count("r", from) >= n; }, timeoutMs);
    }
    // Waits until the pending measurement cycle has run and none is scheduled.
    bool waitUntilPollingStopped(int timeoutMs = 3000)
    {
        return QTest::qWaitFor([&] { return !link()->pollPending(); }, timeoutMs);
    }

    template <class F> auto engine(F f) { return sim->withEngine(f); }
};

// Read-outs and lamps that show the measurement (greyed when it is not live).
inline const char *const Readouts[] = {"BERText",  "ErrorCntTxt", "CountTxt", "TimeTxt",
                                       "RxPowTxt", "TempTxt",     "LEDSig",   "LEDSync"};
inline bool readoutsLive(const SimBench &b)
{
    for (const char *name : Readouts)
        if (!control(b.w.get(), name)->isEnabled())
            return false;
    return true;
}
inline bool readoutsGreyed(const SimBench &b)
{
    for (const char *name : Readouts)
        if (control(b.w.get(), name)->isEnabled())
            return false;
    return true;
}
inline QString debugText(const SimBench &b)
{
    return control<QPlainTextEdit>(b.w.get(), "DebugOut")->toPlainText();
}
inline QComboBox *portList(const SimBench &b)
{
    return control<QComboBox>(b.w.get(), "PortSelBox");
}

// Connected windows kept across the data rows of a test, one per model.
class BenchPool
{
public:
    SimBench &live(const QByteArray &model)
    {
        auto &b = m_benches[model];
        if (!b) {
            b = std::make_unique<SimBench>();
            if (!b->startLive(model))
                qFatal("cannot connect to the simulated %s", model.constData());
        }
        return *b;
    }
    void clear() { m_benches.clear(); }

private:
    std::map<QByteArray, std::unique_ptr<SimBench>> m_benches;
};
