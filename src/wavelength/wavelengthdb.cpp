#include "wavelength/wavelengthdb.h"

#include "device/instrument.h"
#include "ui_wavelengthdb.h"
#include "wavelength/wavelengthgrid.h"
#include "widgets/title.h"
#include "widgets/focusmark.h"

#include <QPushButton>

WavelengthDB::WavelengthDB(device::Instrument *instrument, const QString &wavelength,
                           QWidget *parent)
    : QDialog(parent), ui(new Ui::WavelengthDB), m_instrument(instrument)
{
    setAttribute(Qt::WA_DeleteOnClose);
    ui->setupUi(this);
    setFixedSize(size());
    if (instrument && instrument->isConnected())
        widgets::nameAfterInstrument(this, instrument->serialNumber());

    const double nm = wavelength::openingWavelength(wavelength);
    ui->CurSettings->setText(wavelength::currentSettingsText(nm));

    // Each range change that moves a dial runs its slot, so the order matters:
    // the wavelength dial first, then the channel dial, then the opening value.
    const wavelength::DialRanges r = wavelength::dialRanges(nm);
    ui->WLDial->setMinimum(r.wavelengthMin);
    ui->WLDial->setMaximum(r.wavelengthMax);
    ui->ChannelDial->setMinimum(r.channelMin);
    ui->ChannelDial->setMaximum(r.channelMax);
    ui->WLDial->setValue(wavelength::hundredths(nm));

    // OK is offered only while the command can reach a tunable instrument;
    // otherwise it would close the dialog having sent nothing.
    if (instrument) {
        connect(instrument, &device::Instrument::connected, this, &WavelengthDB::updateSendable);
        connect(instrument, &device::Instrument::disconnected, this,
                &WavelengthDB::updateSendable);
        connect(instrument, &device::Instrument::modelChanged, this,
                &WavelengthDB::updateSendable);
    }
    updateSendable();
    // OK closes the dialog only when the wavelength can go out. Between a
    // Disconnect and the instrument's disconnected() a moment later, OK
    // would close it as if the wavelength had been sent: it greys and says
    // why instead, and the dialog stays.
    disconnect(ui->buttonBox, SIGNAL(accepted()), this, SLOT(accept()));
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, [this] {
        updateSendable();
        if (ui->buttonBox->button(QDialogButtonBox::Ok)->isEnabled())
            accept();
    });
    widgets::markKeyboardFocus(this);
}

WavelengthDB::~WavelengthDB()
{
    delete ui;
}

void WavelengthDB::on_WLDial_valueChanged(int)
{
    ui->ChannelDial->setValue(wavelength::channelOf(ui->WLDial->value()));
}

void WavelengthDB::on_ChannelDial_valueChanged(int)
{
    const int channel = ui->ChannelDial->value();
    const int nm100 = wavelength::wavelengthOf(channel);
    ui->NewChanBx->setText(wavelength::frequencyText(channel));
    ui->NewWLBx->setText(wavelength::wavelengthText(nm100));
    // Snaps the wavelength dial to the channel; its slot finds the same channel.
    ui->WLDial->setValue(nm100);
}

void WavelengthDB::on_buttonBox_accepted()
{
    if (m_instrument)
        m_instrument->setWavelength(ui->NewWLBx->text());
}

void WavelengthDB::updateSendable()
{
    const bool sendable =
        m_instrument && m_instrument->isConnected() && m_instrument->model().tunable;
    QPushButton *ok = ui->buttonBox->button(QDialogButtonBox::Ok);
    ok->setEnabled(sendable);
    ok->setToolTip(sendable ? QString() : tr("Not connected to a tunable instrument"));
}
