// The wavelength dialog: two dials pick one channel of the 50 GHz grid (by
// frequency or by wavelength), and OK sends that channel's wavelength.
#pragma once
#include <QDialog>

namespace Ui {
class WavelengthDB;
}
namespace device {
class Instrument;
}

class WavelengthDB : public QDialog
{
    Q_OBJECT

public:
    // `wavelength` is the main window's read-out, e.g. "1550.12 nm"; the dials
    // reach 100 nm either side of it. OK sends to `instrument`.
    WavelengthDB(device::Instrument *instrument, const QString &wavelength,
                 QWidget *parent = nullptr);
    ~WavelengthDB() override;

private slots:
    // Connected by name; the dial slots read the dials rather than their argument,
    // because the two call each other before either signal has finished.
    void on_ChannelDial_valueChanged(int);
    void on_WLDial_valueChanged(int);
    void on_buttonBox_accepted();

private:
    void updateSendable();

    Ui::WavelengthDB *ui;
    device::Instrument *m_instrument; // not owned
};
