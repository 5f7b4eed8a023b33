// Several instruments at once, a main window each, in one process: each
// window shows its own instrument and sends to its wire only; an instrument in
// use cannot be chosen in another window; one unplugged or one window closed
// leaves the others polling; settings of two instruments stay apart; secondary
// windows carry the serial number; --open-all opens one window per instrument.
#include "device/bermonitor.h"
#include "device/instrumentpool.h"
#include "stats/statswindow.h"
#include "support/simbench.h"

#include <QComboBox>
#include <QSettings>
#include <QStandardItemModel>

namespace {
// The list entries of a window: text, and "(greyed: tooltip)" for one that
// cannot be chosen.
QStringList entries(MainWindow *w)
{
    auto *list = control<QComboBox>(w, "PortSelBox");
    auto *model = qobject_cast<QStandardItemModel *>(list->model());
    QStringList out;
    for (int i = 1; i < list->count(); ++i)
        out << list->itemText(i).section('\r', 0, 0) +
                   (model->item(i)->isEnabled()
                        ? QString()
                        : " (greyed: " + list->itemData(i, Qt::ToolTipRole).toString() + ")");
    return out;
}

bool pick(MainWindow *w, const QString &path)
{
    auto *list = control<QComboBox>(w, "PortSelBox");
    const int i = list->findData(path);
    if (i < 0)
        return false;
    list->setCurrentIndex(i);
    emit list->activated(i);
    return w->instrument()->isConnected();
}
} // namespace

class TstWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(
            QString("tst_windows-%1").arg(QCoreApplication::applicationPid()));
    }
    void cleanupTestCase() { QFile::remove(QSettings().fileName()); }

    // Two windows, two instruments: each shows and commands its own; the
    // instrument one window holds is listed greyed "in use" in the other.
    void twoWindowsTwoInstruments()
    {
        SimRack rack;
        QVERIFY(rack.plugIn({"Corvane Nano", "Corvane NanoTb"}));
        device::InstrumentPool pool;
        MainWindow a(&pool);
        QVERIFY(QSignalSpy(&a, &MainWindow::portsSearched).wait(5000));
        // A second window lists what the search found, without asking again;
        // an instrument the first window takes then is greyed in its list.
        const qint64 asked = rack.logSize(1);
        MainWindow b(&pool);
        QTRY_COMPARE(entries(&b).size(), 2);
        QCOMPARE(rack.lines(1, asked).count("?"), 0);
        QCOMPARE(entries(&b), QStringList({rack.path(0).mid(5) + ": Corvane Nano",
                                           rack.path(1).mid(5) + ": Corvane NanoTb"}));
        QVERIFY(pick(&a, rack.path(0)));
        QCOMPARE(entries(&b),
                 QStringList({rack.path(0).mid(5) + ": Corvane Nano (greyed: in use by another "
                                                    "window of this program)",
                              rack.path(1).mid(5) + ": Corvane NanoTb"}));
        QVERIFY(!pick(&b, rack.path(0)));
        QVERIFY(pick(&b, rack.path(1)));
        QTRY_VERIFY(a.windowTitle().contains("Corvane Nano SN 10447") &&
                    b.windowTitle().contains("Corvane NanoTb SN 10448"));
        // Each shows its own instrument's records.
        QTRY_COMPARE(look(&a, "RateSetting"), QString("2488.320000"));
        QTRY_COMPARE(look(&b, "RateSetting"), QString("10312.500000"));
        QVERIFY(control(&b, "RateRange")->isVisibleTo(&b) && !control(&a, "RateRange")->isVisibleTo(&a));
        // Commands from one window reach only its own wire.
        const qint64 fromA = rack.logSize(0), fromB = rack.logSize(1);
        control<QAbstractButton>(&a, "ErrorReset")->click();
        control<QAbstractButton>(&b, "TxEnBtn")->click();
        QVERIFY(rack.polling(0) && rack.polling(1));
        QCOMPARE(rack.commands(0, fromA), QList<QByteArray>{"reset"});
        QCOMPARE(rack.commands(1, fromB), QList<QByteArray>{"tx 0"}); // its transmitter was on
        // Secondary windows carry the serial number.
        control<QAbstractButton>(&b, "StatsBtn")->click();
        QTRY_VERIFY(b.findChild<StatsWindow *>());
        QCOMPARE(b.findChild<StatsWindow *>()->windowTitle(), QString("BER statistics (SN 10448)"));
    }

    // An instrument unplugged, a window closed: only that session ends, the
    // other window's instrument goes on at ten records a second.
    void sessionsEndAlone()
    {
        SimRack rack;
        QVERIFY(rack.plugIn({"Corvane Nano", "Corvane Tera", "Corvane NanoTa"}));
        device::InstrumentPool pool;
        auto *a = new MainWindow(&pool);
        QVERIFY(QSignalSpy(a, &MainWindow::portsSearched).wait(5000));
        QVERIFY(pick(a, rack.path(0)));
        MainWindow b(&pool), c(&pool);
        QTRY_COMPARE(entries(&b).size(), 3);
        QTRY_COMPARE(entries(&c).size(), 3);
        QVERIFY(pick(&b, rack.path(1)));
        QVERIFY(pick(&c, rack.path(2)));
        rack.sims[1]->unplug();
        QTRY_VERIFY(!b.instrument()->isConnected());
        QVERIFY(rack.polling(0) && rack.polling(2));
        delete a; // the window and its session end
        const qint64 from = rack.logSize(0);
        QVERIFY(rack.polling(2));
        QTest::qWait(300); // proves that the closed window's instrument is asked nothing more
        QCOMPARE(rack.lines(0, from), QList<QByteArray>());
        QCOMPARE(pool.connectedInstruments().size(), 1);
    }

    // The statistics target is kept for each instrument by its serial number:
    // two windows never overwrite each other's choice.
    void settingsPerInstrument()
    {
        SimRack rack;
        QVERIFY(rack.plugIn({"Corvane Nano", "Corvane Nano"}));
        device::InstrumentPool pool;
        MainWindow a(&pool), b(&pool);
        QVERIFY(QSignalSpy(&a, &MainWindow::portsSearched).wait(5000));
        QTRY_COMPARE(entries(&b).size(), 2);
        QVERIFY(pick(&a, rack.path(0)) && pick(&b, rack.path(1)));
        a.instrument()->statistics()->setTargetBer(1e-9);
        b.instrument()->statistics()->setTargetBer(1e-14);
        QSettings settings;
        QCOMPARE(settings.value("instrument-10447/statistics/targetBer").toDouble(), 1e-9);
        QCOMPARE(settings.value("instrument-10448/statistics/targetBer").toDouble(), 1e-14);
        // A new session of the first instrument takes its own choice back,
        // not the one made last for another.
        control<QAbstractButton>(&a, "DisConectBtn")->click();
        QTRY_VERIFY(!a.instrument()->holdsPort());
        b.instrument()->statistics()->setTargetBer(1e-10);
        control<QAbstractButton>(&a, "RefreshBtn")->click();
        QVERIFY(QSignalSpy(&a, &MainWindow::portsSearched).wait(5000));
        QVERIFY(pick(&a, rack.path(0)));
        QCOMPARE(a.instrument()->statistics()->targetBer(), 1e-9);
    }

    // --open-all: one window per instrument found, each connected to its own.
    void openAll()
    {
        SimRack rack;
        QVERIFY(rack.plugIn({"Corvane Nano", "Corvane Tera", "Corvane NanoTb"}));
        device::InstrumentPool pool;
        MainWindow *first = MainWindow::openFirst(&pool, true);
        QTRY_COMPARE_WITH_TIMEOUT(pool.connectedInstruments().size(), 3, 5000);
        QStringList titles;
        QList<QPointer<MainWindow>> windows;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *m = qobject_cast<MainWindow *>(w))
                titles << m->windowTitle().section(' ', 1, 3), windows << m;
        titles.sort();
        QCOMPARE(titles, QStringList({"Corvane Nano SN", "Corvane NanoTb SN", "Corvane Tera SN"}));
        QVERIFY(windows.contains(first));
        for (int i = 0; i < 3; ++i)
            QVERIFY(rack.polling(i));
        qDeleteAll(windows);
    }

    // A window shows that the instruments are remote-controlled: a small
    // label with the number of clients, the server in its tooltip, red with a
    // warning when the server listens beyond this computer.
    void remoteIndicator()
    {
        device::InstrumentPool pool;
        MainWindow w(&pool);
        auto *label = control<QLabel>(&w, "RemoteLbl");
        QVERIFY(!label->isVisibleTo(&w));
        pool.setRemoteStatus({"SCPI on 127.0.0.1:5025", 0, ""});
        QCOMPARE(label->text() + " | " + label->toolTip(),
                 QString("Remote control on | SCPI on 127.0.0.1:5025\n0 clients connected"));
        pool.setRemoteStatus({"SCPI on 0.0.0.0:5025", 1, "listening beyond this computer"});
        QCOMPARE(label->text() + " | " + label->toolTip(),
                 QString("Remote: 1 client | SCPI on 0.0.0.0:5025\n1 client connected\nlistening "
                         "beyond this computer"));
        QVERIFY(label->isVisibleTo(&w) && label->styleSheet().contains("color"));
    }

    // A port another program holds cannot be opened a second time: the
    // window says so.
    void portHeldElsewhere()
    {
        SimRack rack;
        QVERIFY(rack.plugIn({"Corvane Nano"}));
        device::InstrumentPool pool;
        MainWindow a(&pool);
        QVERIFY(QSignalSpy(&a, &MainWindow::portsSearched).wait(5000));
        // Another program (another pool: another process, as far as the
        // port's lock knows) takes the instrument first.
        device::InstrumentPool elsewhere;
        device::Instrument other;
        QVERIFY(other.connectTo(*pool.found(rack.path(0))));
        QVERIFY(!pick(&a, rack.path(0)));
        QVERIFY2(control(&a, "LEDCOM")->toolTip().contains("in use by another program"),
                 qPrintable(control(&a, "LEDCOM")->toolTip()));
        QCOMPARE(lampOf(&a, "LEDCOM"), 'R');
    }
};

QTEST_MAIN(TstWindows)
#include "tst_windows.moc"
