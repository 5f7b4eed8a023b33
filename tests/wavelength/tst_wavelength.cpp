// The wavelength dialog as the user sees it: what it opens at, how the dials
// follow each other, and what OK and Cancel send to the instrument.
#include "support/simbench.h"
#include "wavelength/wavelengthdb.h"

#include <QDial>
#include <QDialogButtonBox>
#include <QPushButton>

namespace {
QDial *dial(const QWidget *d, const char *name)
{
    return control<QDial>(d, name);
}
QPushButton *button(const QWidget *d, QDialogButtonBox::StandardButton which)
{
    return control<QDialogButtonBox>(d, "buttonBox")->button(which);
}
// What the dialog shows: the two labels and both dials' values.
QString shown(const QWidget *d)
{
    return QStringLiteral("%1 THz %2 nm, dials %3 %4")
        .arg(textOf(d, "NewChanBx"), textOf(d, "NewWLBx"))
        .arg(dial(d, "ChannelDial")->value())
        .arg(dial(d, "WLDial")->value());
}
// Presses the wavelength button; the dialog it opened, if any.
WavelengthDB *pressWavelength(MainWindow &w)
{
    const int before = w.findChildren<WavelengthDB *>().size();
    control<QAbstractButton>(&w, "WaveLengBtn")->click();
    const QList<WavelengthDB *> all = w.findChildren<WavelengthDB *>();
    return all.size() > before ? all.last() : nullptr;
}
QList<QByteArray> setWavelengthLines(const SimBench &b, qint64 from)
{
    QList<QByteArray> out;
    for (const QByteArray &line : b.lines(from))
        if (line.startsWith("SetWL"))
            out << line;
    return out;
}
} // namespace

class TstWavelength : public QObject
{
    Q_OBJECT
    BenchPool pool;
    std::unique_ptr<MainWindow> offline; // no instrument connected

private slots:
    void initTestCase()
    {
        portcatalog::clearExtras();
        offline = std::make_unique<MainWindow>();
        QVERIFY(QSignalSpy(offline.get(), &MainWindow::portsSearched).wait(5000));
    }
    void cleanupTestCase()
    {
        offline.reset();
        pool.clear();
    }

    void opensAt_data()
    {
        QTest::addColumn<QString>("readout");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("ranges");
        QTest::addColumn<QString>("dialog");
        QTest::newRow("1550.12") << "1550.12 nm"
                                 << "193.40THz, 1550.12nm"
                                 << "145012..165012 3633..4134"
                                 << "193.40 THz 1550.12 nm, dials 3868 155012";
        QTest::newRow("1550.00") << "1550.00 nm"
                                 << "193.41THz, 1550.00nm"
                                 << "145000..165000 3633..4135"
                                 << "193.40 THz 1550.12 nm, dials 3868 155012";
        QTest::newRow("1550.50") << "1550.50 nm"
                                 << "193.35THz, 1550.50nm"
                                 << "145050..165050 3632..4133"
                                 << "193.35 THz 1550.52 nm, dials 3867 155052";
        QTest::newRow("1310.00") << "1310.00 nm"
                                 << "228.85THz, 1310.00nm"
                                 << "121000..141000 4252..4955"
                                 << "228.85 THz 1310.00 nm, dials 4577 131000";
        for (const char *text : {" 0000.00 nm", "----", "", "1650.01 nm"})
            QTest::newRow(text) << text << "193.41THz, 1550.00nm"
                                << "145000..165000 3633..4135"
                                << "193.40 THz 1550.12 nm, dials 3868 155012";
        // 230.589 THz: the channel at or below is 230.55 THz, not 230.60 THz.
        QTest::newRow("1300.09") << "1300.09 nm"
                                 << "230.59THz, 1300.09nm"
                                 << "120009..140009 4282..4996"
                                 << "230.55 THz 1300.34 nm, dials 4611 130034";
    }
    void opensAt()
    {
        QFETCH(QString, readout);
        WavelengthDB d(offline.get(), readout);
        QTEST(textOf(&d, "CurSettings"), "settings");
        QDial *wl = dial(&d, "WLDial"), *ch = dial(&d, "ChannelDial");
        QTEST(QStringLiteral("%1..%2 %3..%4")
                  .arg(wl->minimum())
                  .arg(wl->maximum())
                  .arg(ch->minimum())
                  .arg(ch->maximum()),
              "ranges");
        QTEST(shown(&d), "dialog");
        QCOMPARE(d.windowTitle(), QStringLiteral("Set Wavelength"));
        QCOMPARE(d.minimumSize(), QSize(368, 224));
        QCOMPARE(d.maximumSize(), QSize(368, 224));
    }

    // A user's moves of either dial in the dialog opened at 1550.12 nm.
    void dialMoves_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("to"); // a value, or -1/-2 for one step down/up
        QTest::addColumn<QString>("dialog");
        QTest::newRow("channel down")
            << QByteArray("ChannelDial") << -1 << "193.35 THz 1550.52 nm, dials 3867 155052";
        QTest::newRow("channel up")
            << QByteArray("ChannelDial") << -2 << "193.45 THz 1549.72 nm, dials 3869 154972";
        // One step of 0.40 nm changes the channel: the dial snaps to its wavelength.
        QTest::newRow("wavelength step up")
            << QByteArray("WLDial") << -2 << "193.35 THz 1550.52 nm, dials 3867 155052";
        // A move within the channel leaves the dial where it was put.
        QTest::newRow("within the channel")
            << QByteArray("WLDial") << 155000 << "193.40 THz 1550.12 nm, dials 3868 155000";
    }
    void dialMoves()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, to);
        WavelengthDB d(offline.get(), QStringLiteral("1550.12 nm"));
        QDial *moved = dial(&d, name.constData());
        if (to < 0)
            moved->triggerAction(to == -1 ? QAbstractSlider::SliderSingleStepSub
                                          : QAbstractSlider::SliderSingleStepAdd);
        else
            moved->setValue(to);
        QTEST(shown(&d), "dialog");
    }

    // The channel dial's end can lie beyond the wavelength dial's (214.05 THz is
    // 1400.57 nm, the wavelength dial ends at 1400.26 nm): the dials settle on
    // the next channel inside instead of swinging back and forth.
    void channelBeyondWavelengthDialSettles()
    {
        WavelengthDB d(offline.get(), QStringLiteral("1300.26 nm"));
        dial(&d, "ChannelDial")->setValue(4281);
        QCOMPARE(shown(&d), QStringLiteral("214.10 THz 1400.25 nm, dials 4282 140025"));
    }

    void okAndCancel()
    {
        SimBench &b = pool.live("Corvane NanoTb");
        QTRY_COMPARE(textOf(b.w.get(), "WaveLengBtn"), QStringLiteral("1550.12 nm"));
        qint64 from = b.logSize();
        WavelengthDB *d = pressWavelength(*b.w);
        QVERIFY(d && d->isVisible() && !d->isModal());
        QTest::mouseClick(button(d, QDialogButtonBox::Cancel), Qt::LeftButton);
        QVERIFY(!d->isVisible());
        QVERIFY(b.waitForRequests(3)); // polling goes on, nothing else is sent
        QCOMPARE(setWavelengthLines(b, from).size(), 0);

        QVERIFY((d = pressWavelength(*b.w)));
        QTest::mouseClick(button(d, QDialogButtonBox::Ok), Qt::LeftButton);
        QVERIFY(!d->isVisible());
        QTRY_COMPARE(b.count("SetWL 1550.12", from), 1);

        QVERIFY((d = pressWavelength(*b.w)));
        dial(d, "ChannelDial")->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QTest::mouseClick(button(d, QDialogButtonBox::Ok), Qt::LeftButton);
        QTRY_COMPARE(textOf(b.w.get(), "WaveLengBtn"), QStringLiteral("1550.52 nm"));
        QVERIFY(b.waitForRequests(3));
        QCOMPARE(setWavelengthLines(b, from),
                 QList<QByteArray>({"SetWL 1550.12", "SetWL 1550.52"}));
    }

    // OK is offered only while the command can reach the instrument.
    void okNeedsTheInstrument()
    {
        WavelengthDB unconnected(offline.get(), QStringLiteral("1550.12 nm"));
        QVERIFY(!button(&unconnected, QDialogButtonBox::Ok)->isEnabled());
        SimBench b;
        QVERIFY(b.startLive("Corvane Nano"));
        WavelengthDB *d = pressWavelength(*b.w);
        QVERIFY(d);
        QVERIFY(button(d, QDialogButtonBox::Ok)->isEnabled());
        b.w->on_DisConectBtn_clicked();
        QVERIFY(!button(d, QDialogButtonBox::Ok)->isEnabled());
    }

    void opensOnTunableModelsOnly_data()
    {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<bool>("opens");
        QTest::newRow("no unit") << QByteArray() << false;
        QTest::newRow("Nano") << QByteArray("Corvane Nano") << true;
        QTest::newRow("Tera") << QByteArray("Corvane Tera") << true;
        QTest::newRow("NanoTa") << QByteArray("Corvane NanoTa") << true;
        QTest::newRow("NanoTb") << QByteArray("Corvane NanoTb") << true;
        QTest::newRow("Span") << QByteArray("Corvane Nano Span") << false;
    }
    void opensOnTunableModelsOnly()
    {
        QFETCH(QByteArray, model);
        MainWindow &w = model.isEmpty() ? *offline : *pool.live(model).w;
        QTEST(pressWavelength(w) != nullptr, "opens");
    }
};

QTEST_MAIN(TstWavelength)
#include "tst_wavelength.moc"
