// A main window talking to a simulated instrument over a real pseudo-terminal,
// and helpers to look at the windows as a user does: controls by object name,
// texts, lamp pictures, and the commands that reached the instrument.
#pragma once
#include "app/mainwindow.h"
#include "link/link.h"
#include "link/portcatalog.h"
#include "ptysimulator.h"
#include "widgets/lamps.h"

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

// Tests never touch the user's settings.
inline const bool TestPaths = (QStandardPaths::setTestModeEnabled(true), true);

// The columns of a data table: columns<int, QString>({"code", "text"}).
template <class... T> void columns(std::initializer_list<const char *> names)
{
    auto name = names.begin();
    (QTest::addColumn<T>(*name++), ...);
}

// A column of the current data row: data<int>("code").
template <class T> const T &data(const char *column)
{
    return *static_cast<const T *>(QTest::qData(column, qMetaTypeId<T>()));
}

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

// A measurement record as the instrument of the model sends it (27 bytes on the
// NanoT models, else 24): 10 Mbit/s (x 10 on some models), pattern '3', Rx and
// Tx +10.0 dBm, 1550.12 nm, 42.1 C, lamp code 2, 8388608 bits, no errors, eye
// 20 and 40, no PRBS information; `changes` sets fields in hex, "count=80000029".
inline QByteArray record(const QByteArray &model, const QString &changes = QString())
{
    QByteArray r = QByteArray::fromHex("00989680 33 7c18 7c18 025d84 6f8e 02 80000018 00000000 "
                                       "142800 00");
    const QStringList names{"rate",        "pattern", "rx",    "tx",     "wavelength",
                            "temperature", "status",  "count", "errors", "eye"};
    const int at[] = {0, 4, 5, 7, 9, 12, 14, 15, 19, 23, 26};
    for (const QString &change : changes.split(' ', Qt::SkipEmptyParts)) {
        const int i = names.indexOf(change.section('=', 0, 0));
        r.replace(at[i], at[i + 1] - at[i], QByteArray::fromHex(change.section('=', 1).toLatin1()));
    }
    r.resize(model.startsWith("Corvane NanoT") ? 27 : 24);
    return r;
}

class SimBench
{
public:
    std::unique_ptr<sim::PtySimulator> sim;
    std::unique_ptr<MainWindow> w;

    // An instrument of the model and a window that has searched the ports.
    bool start(const QByteArray &model) { return plugIn(model) && makeWindow(); }
    bool makeWindow()
    {
        w = std::make_unique<MainWindow>();
        return QSignalSpy(w.get(), &MainWindow::portsSearched).wait(5000);
    }
    // A (new) instrument appears as a new serial device.
    bool plugIn(const QByteArray &model)
    {
        sim = std::make_unique<sim::PtySimulator>();
        portcatalog::clearExtras();
        portcatalog::addExtra(sim->start(model) ? sim->slavePath() : QString(),
                              QStringLiteral("USB Serial Device"));
        return sim->isRunning();
    }
    // Picks the first listed instrument, as a user would.
    bool connectFirst()
    {
        QComboBox *box = control<QComboBox>(w.get(), "PortSelBox");
        box->setCurrentIndex(1);
        emit box->activated(1);
        return box->count() > 1 && link()->connected();
    }
    // Starts, connects and waits until the window shows live records.
    bool startLive(const QByteArray &model)
    {
        return start(model) && connectFirst() &&
               QTest::qWaitFor(
                   [this] { return count("r") >= 2 && look(w.get(), "CountTxt") != "0.000e-00"; },
                   5000);
    }

    Link *link() const { return w->link(); }
    QString portName() const { return sim->slavePath().mid(5); } // "/dev/pts/N" -> "pts/N"
    template <class F> auto engine(F f) const { return sim->withEngine(f); }
    qint64 logSize() const
    {
        return engine([](sim::Engine &e) { return e.commandsReceived(); });
    }
    // Lines the instrument received from the command numbered `from` on.
    QList<QByteArray> lines(qint64 from = 0) const
    {
        QList<QByteArray> out;
        for (const sim::LoggedCommand &c : sim->commandLog())
            if (c.index >= from)
                out << c.line;
        return out;
    }
    // The same without the measurement requests.
    QList<QByteArray> commands(qint64 from = 0) const
    {
        QList<QByteArray> out = lines(from);
        out.removeAll("r");
        out.removeAll("rB");
        return out;
    }
    int count(const QByteArray &line, qint64 from = 0) const { return lines(from).count(line); }
    // The command that followed `line` (the first since `from`), and how many
    // milliseconds later by the instrument's clock.
    QPair<QByteArray, qint64> after(const QByteArray &line, qint64 from) const
    {
        const QVector<sim::LoggedCommand> log = sim->commandLog();
        for (int i = 0; i + 1 < log.size(); ++i)
            if (log[i].index >= from && log[i].line == line)
                return {log[i + 1].line, log[i + 1].ms - log[i].ms};
        return {};
    }
    // Waits until the instrument has received n more requests for a record.
    bool waitForRequests(int n)
    {
        const qint64 from = logSize();
        return QTest::qWaitFor([&] { return lines(from).size() - commands(from).size() >= n; });
    }
    // Waits until the pending measurement cycle has run and none is scheduled.
    bool waitUntilPollingStopped()
    {
        return QTest::qWaitFor([&] { return !link()->pollPending(); }, 3000);
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
    // The measurement's read-outs and lamps: "live", "greyed" or "mixed".
    QString readouts() const
    {
        int greyed = 0;
        const char *names[] = {"BERText",  "ErrorCntTxt", "CountTxt", "TimeTxt",
                               "RxPowTxt", "TempTxt",     "LEDSig",   "LEDSync"};
        for (const char *name : names)
            greyed += !control(w.get(), name)->isEnabled();
        return greyed == 0 ? "live" : greyed == 8 ? "greyed" : "mixed";
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
            m_offline = std::make_unique<MainWindow>();
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
    std::unique_ptr<MainWindow> m_offline;
    std::map<QByteArray, std::unique_ptr<SimBench>> m_benches;
};
