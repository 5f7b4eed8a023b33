// The wavelength dialog as the user sees it: what it opens at, how the dials
// follow each other, what OK and Cancel send. (On which models it opens: see
// the main window's configuration.)
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
// The present settings, both dials' ranges, the two labels and both dials.
QString shown(const QWidget *d)
{
    const QDial *wl = dial(d, "WLDial"), *ch = dial(d, "ChannelDial");
    return QString("%1 | %2-%3 %4-%5 | %6 THz %7 nm | %8 %9")
        .arg(look(d, "CurSettings"))
        .arg(wl->minimum())
        .arg(wl->maximum())
        .arg(ch->minimum())
        .arg(ch->maximum())
        .arg(look(d, "NewChanBx"), look(d, "NewWLBx"))
        .arg(ch->value())
        .arg(wl->value());
}
// Presses the wavelength button: the dialog it opened, if any.
WavelengthDB *pressWavelength(MainWindow &w)
{
    const int before = w.findChildren<WavelengthDB *>().size();
    control<QAbstractButton>(&w, "WaveLengBtn")->click();
    const QList<WavelengthDB *> all = w.findChildren<WavelengthDB *>();
    return all.size() > before ? all.last() : nullptr;
}
} // namespace

class TstWavelength : public QObject
{
    Q_OBJECT
    BenchPool pool;

private slots:
    void cleanupTestCase() { pool.clear(); }

    // What the dialog opens at for the main window's read-out, and a user's
    // move of either dial: a value, one step down (-) or up (+).
    void dials_data()
    {
        columns<QString, QString, QString>({"readout", "move", "shown"});
        auto row = [](const char *name, const char *readout, const char *move,
                      const QString &shown) {
            QTest::newRow(name) << QString(readout) << QString(move) << shown;
        };
        const QString at1550 = "193.40THz, 1550.12nm | 145012-165012 3633-4134 | ";
        const QString fallback = "193.41THz, 1550.00nm | 145000-165000 3633-4135 | 193.40 THz "
                                 "1550.12 nm | 3868 155012";
        row("1550.12", "1550.12 nm", "", at1550 + "193.40 THz 1550.12 nm | 3868 155012");
        row("1550.00", "1550.00 nm", "", fallback);
        row("1550.50", "1550.50 nm", "",
            "193.35THz, 1550.50nm | 145050-165050 3632-4133 | 193.35 THz 1550.52 nm | 3867 155052");
        row("1310.00", "1310.00 nm", "",
            "228.85THz, 1310.00nm | 121000-141000 4252-4955 | 228.85 THz 1310.00 nm | 4577 131000");
        // 230.589 THz: the channel at or below is 230.55 THz, not 230.60 THz.
        row("1300.09", "1300.09 nm", "",
            "230.59THz, 1300.09nm | 120009-140009 4282-4996 | 230.55 THz 1300.34 nm | 4611 130034");
        for (const char *text : {" 0000.00 nm", "----", "", "1299.99 nm", "1650.01 nm"})
            row(text, text, "", fallback);
        row("channel down", "1550.12 nm", "ChannelDial-",
            at1550 + "193.35 THz 1550.52 nm | 3867 155052");
        row("channel up", "1550.12 nm", "ChannelDial+",
            at1550 + "193.45 THz 1549.72 nm | 3869 154972");
        // One step of 0.40 nm changes the channel: the dial snaps to its wavelength.
        row("wavelength step up", "1550.12 nm", "WLDial+",
            at1550 + "193.35 THz 1550.52 nm | 3867 155052");
        // A move within the channel leaves the dial where it was put.
        row("within the channel", "1550.12 nm", "WLDial=155000",
            at1550 + "193.40 THz 1550.12 nm | 3868 155000");
        // 214.05 THz is 1400.57 nm, beyond the wavelength dial's 1400.26 nm: the
        // dials settle on the next channel inside instead of swinging.
        row("channel beyond the wavelength dial", "1300.26 nm", "ChannelDial=4281",
            "230.56THz, 1300.26nm | 120026-140026 4281-4995 | 214.10 THz 1400.25 nm | 4282 140025");
    }
    void dials()
    {
        QFETCH(QString, move);
        // No instrument: the dialog follows the read-out it is given.
        QScopedPointer<WavelengthDB> owned(new WavelengthDB(nullptr, data<QString>("readout")));
        WavelengthDB &d = *owned;
        QCOMPARE(d.windowTitle(), QString("Set Wavelength"));
        QCOMPARE(d.maximumSize(), d.minimumSize());
        QDial *moved = d.findChild<QDial *>(move.section(QRegularExpression("[-+=]"), 0, 0));
        if (!move.isEmpty()) {
            if (move.contains('='))
                moved->setValue(move.section('=', 1).toInt());
            else
                moved->triggerAction(move.endsWith('-') ? QAbstractSlider::SliderSingleStepSub
                                                        : QAbstractSlider::SliderSingleStepAdd);
        }
        QTEST(shown(&d), "shown");
    }

    // Cancel sends nothing; OK sends exactly one command with the chosen
    // wavelength.
    void okAndCancel()
    {
        SimBench &b = pool.live("Corvane NanoTb");
        QTRY_COMPARE(look(b.w.get(), "WaveLengBtn"), QString("1550.12 nm"));
        const qint64 from = b.logSize();
        // Closing a dialog frees it.
        QPointer<WavelengthDB> d = pressWavelength(*b.w);
        QVERIFY(d && d->isVisible() && !d->isModal());
        QTest::mouseClick(button(d, QDialogButtonBox::Cancel), Qt::LeftButton);
        QTRY_VERIFY(!d);
        QVERIFY((d = pressWavelength(*b.w)));
        QTest::mouseClick(button(d, QDialogButtonBox::Ok), Qt::LeftButton);
        QTRY_VERIFY(!d);
        QVERIFY((d = pressWavelength(*b.w)));
        dial(d, "ChannelDial")->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QTest::mouseClick(button(d, QDialogButtonBox::Ok), Qt::LeftButton);
        QTRY_COMPARE(look(b.w.get(), "WaveLengBtn"), QString("1550.52 nm"));
        QVERIFY(b.waitForRequests(3));
        QCOMPARE(b.commands(from), QList<QByteArray>({"SetWL 1550.12", "SetWL 1550.52"}));
    }

    // Without a tunable instrument connected, OK is greyed with the reason and
    // a click sends nothing. (OK with one: okAndCancel.)
    void okGreyedWithoutTunableInstrument_data()
    {
        QTest::addColumn<QString>("instrument");
        for (const char *which :
             {"none", "offline", "Corvane Nano Span", "Corvane NanoTb, OK just after Disconnect"})
            QTest::newRow(which) << QString(which);
    }
    void okGreyedWithoutTunableInstrument()
    {
        const QString which = data<QString>("instrument");
        SimBench *b = nullptr;
        device::Instrument *instrument = nullptr;
        std::unique_ptr<SimBench> own;
        if (which == "offline") {
            instrument = pool.offline()->instrument();
        } else if (which.endsWith("Disconnect")) {
            own = std::make_unique<SimBench>();
            QVERIFY(own->startLive(which.section(',', 0, 0).toLatin1()));
            b = own.get();
            instrument = b->instrument();
        } else if (which != "none") {
            b = &pool.live(which.toLatin1());
            instrument = b->instrument();
        }
        QPointer<WavelengthDB> d = new WavelengthDB(instrument, "1550.12 nm");
        d->show();
        const qint64 from = b ? b->logSize() : 0;
        if (own)
            own->w->on_DisConectBtn_clicked();
        QPushButton *ok = button(d, QDialogButtonBox::Ok);
        QVERIFY(!ok->isEnabled());
        QCOMPARE(ok->toolTip(), QString("Not connected to a tunable instrument"));
        QTest::mouseClick(ok, Qt::LeftButton);
        if (b) {
            QVERIFY(b->waitForRequests(own ? 0 : 3));
            QCOMPARE(b->commands(from), QList<QByteArray>());
        }
        QVERIFY(d && d->isVisible());
        delete d;
    }
};

QTEST_MAIN(TstWavelength)
#include "tst_wavelength.moc"
