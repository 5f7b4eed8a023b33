// A main window talking to a simulated instrument over a real pseudo-terminal,
// and helpers to look at the windows as a user does: controls by object name,
// texts, lamp pictures, and the commands that reached the instrument.
#pragma once
#include "app/mainwindow.h"
#include "device/instrumentpool.h"
#include "support/simwire.h"
#include "widgets/lamps.h"
#include "widgets/stale.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTextDocument>
#include <QtTest>
#include <map>
#include <memory>

// A control of a window by its object name.
template <class T = QWidget> T *control(const QWidget *window, const QString &name)
{
    return window->findChild<T *>(name);
}

// The lamp a label or a button's icon shows: G green, R red, Y yellow, g grey,
// ? anything else. Pictures are compared pixel for pixel.
inline char lampOf(const QWidget *window, const QString &name)
{
    QImage shown;
    if (auto *b = window->findChild<QAbstractButton *>(name))
        shown = b->icon().pixmap(lamp::pixmap(lamp::Grey).size()).toImage();
    else if (auto *l = window->findChild<QLabel *>(name))
        shown = l->property("pixmap").value<QPixmap>().toImage();
    const char letters[] = "GRYg";
    for (int i = 0; i < 4 && !shown.isNull(); ++i) {
        const QImage lampImage = lamp::pixmap(lamp::Colour(i)).toImage();
        if (shown.convertToFormat(QImage::Format_ARGB32) ==
            lampImage.convertToFormat(QImage::Format_ARGB32))
            return letters[i];
    }
    return '?';
}

// What a control shows as text; "name@" is the lamp of a button's icon, and a
// label without text is a lamp.
inline QString look(const QWidget *w, const QString &name)
{
    if (name.endsWith('@'))
        return QString(QChar(lampOf(w, name.chopped(1))));
    if (auto *spin = w->findChild<QAbstractSpinBox *>(name))
        return spin->text();
    if (auto *slider = w->findChild<QAbstractSlider *>(name))
        return QString::number(slider->value());
    if (auto *box = w->findChild<QComboBox *>(name))
        return box->currentText();
    if (auto *group = w->findChild<QGroupBox *>(name))
        return group->title();
    if (auto *b = w->findChild<QAbstractButton *>(name))
        return b->text();
    if (auto *edit = w->findChild<QLineEdit *>(name))
        return edit->text();
    if (auto *l = w->findChild<QLabel *>(name))
        return l->text().isEmpty() ? QString(QChar(lampOf(w, name))) : l->text();
    return QStringLiteral("<no control %1>").arg(name);
}

// A rich-text label as the user reads it.
inline QString richText(const QWidget *w, const QString &name)
{
    QTextDocument doc;
    doc.setHtml(control<QLabel>(w, name)->text());
    return doc.toPlainText();
}

// What a control shows (the statistics tests' name for it).
inline QString textOf(const QWidget *w, const char *name)
{
    return look(w, name);
}

// "name=shown|..." for the names of `expected`, which has the same form: one
// comparison shows every difference.
inline QString looks(const QWidget *w, const QString &expected)
{
    QStringList out;
    for (const QString &item : expected.split('|'))
        out << item.section('=', 0, 0) + '=' + look(w, item.section('=', 0, 0));
    return out.join('|');
}

class SimBench : public SimWire
{
public:
    // Each bench is a program of its own: its pool, its port search.
    std::unique_ptr<device::InstrumentPool> pool;
    std::unique_ptr<MainWindow> w;

    // An instrument of the model and a window that has searched the ports.
    bool start(const QByteArray &model) { return plugIn(model) && makeWindow(); }
    bool makeWindow()
    {
        w.reset();
        pool = std::make_unique<device::InstrumentPool>();
        w = std::make_unique<MainWindow>(pool.get());
        return QSignalSpy(w.get(), &MainWindow::portsSearched).wait(5000);
    }
    // Picks the first listed instrument, as a user would.
    bool connectFirst()
    {
        QComboBox *box = control<QComboBox>(w.get(), "PortSelBox");
        box->setCurrentIndex(1);
        emit box->activated(1);
        return box->count() > 1 && instrument()->isConnected();
    }
    // Starts, connects and waits until the window shows live records.
    bool startLive(const QByteArray &model)
    {
        return start(model) && connectFirst() &&
               QTest::qWaitFor(
                   [this] { return count("r") >= 2 && look(w.get(), "CountTxt") != "0.000e-00"; },
                   5000);
    }

    device::Instrument *instrument() const { return w->instrument(); }
    // Waits until the pending measurement cycle has run and none is scheduled.
    bool waitUntilPollingStopped()
    {
        return QTest::qWaitFor([&] { return !instrument()->isPolling(); }, 3000);
    }
    // Answers the next requests with these records and waits until the last is shown.
    bool show(const QList<QByteArray> &records)
    {
        const qint64 from = engine([&](sim::Engine &e) {
            e.scriptRecords(records);
            return e.commandsReceived();
        });
        return QTest::qWaitFor([&] { return count("r", from) > records.size(); }, 5000);
    }
    // The measurement's read-outs, lamps and the buttons that show a figure:
    // "live", "greyed" or "mixed".
    QString readouts() const
    {
        int greyed = 0;
        const char *labels[] = {"BERText",  "ErrorCntTxt", "CountTxt", "TimeTxt",
                                "RxPowTxt", "TempTxt",     "LEDSig",   "LEDSync"};
        for (const char *name : labels)
            greyed += !control(w.get(), name)->isEnabled();
        const char *buttons[] = {"TxEnBtn", "WaveLengBtn", "EyeButton"};
        for (const char *name : buttons)
            greyed += widgets::looksStale(control<QAbstractButton>(w.get(), name));
        return greyed == 0 ? "live" : greyed == 11 ? "greyed" : "mixed";
    }
    QString debugText() const
    {
        return control<QPlainTextEdit>(w.get(), "DebugOut")->toPlainText();
    }
};

// Windows kept across the data rows of a test: connected ones, one per model,
// and one with no instrument.
class BenchPool
{
public:
    // The window with no instrument, once its first port search has ended;
    // null when the search never ends.
    MainWindow *offline()
    {
        if (!m_offline) {
            portcatalog::clearExtras();
            m_offlinePool = std::make_unique<device::InstrumentPool>();
            m_offline = std::make_unique<MainWindow>(m_offlinePool.get());
            if (!QSignalSpy(m_offline.get(), &MainWindow::portsSearched).wait(5000))
                m_offline.reset();
        }
        return m_offline.get();
    }
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
    void clear()
    {
        m_offline.reset();
        m_benches.clear();
    }

private:
    std::unique_ptr<device::InstrumentPool> m_offlinePool;
    std::unique_ptr<MainWindow> m_offline;
    std::map<QByteArray, std::unique_ptr<SimBench>> m_benches;
};
