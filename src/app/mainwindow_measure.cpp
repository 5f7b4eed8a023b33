// What a record shows: the read-outs, the lamps, the rate and pattern
// controls, and the greyed look of data that is no longer live.
#include "app/mainwindow.h"
#include "device/instrument.h"
#include "device/testlogfile.h"
#include "ui_mainwindow.h"
#include "widgets/lamps.h"
#include "widgets/readouttext.h"
#include "widgets/stale.h"

#include <QDateTime>

namespace {
using widgets::setReadoutText;

// True (and remembers v) when v differs from what was shown last. A value
// never shown yet is NaN, which differs from everything.
bool changed(double &shown, double v)
{
    if (shown == v)
        return false;
    shown = v;
    return true;
}
} // namespace

void MainWindow::showRecord(const bert::Measurement &m)
{
    const bert::Model &model = m_instrument->model();

    // Rate.
    if (m.rateBps == 0) {
        lamp::show(ui->LEDRate, lamp::Red);
    } else {
        lamp::show(ui->LEDRate, lamp::Green);
        ui->RateDial->setValue(int(m.rateBps / 1000));
    }
    // Setting a spin box repaints it even when the value stays the same.
    if (!ui->RateSetting->hasFocus() && ui->RateSetting->value() != m.rateBps / 1000000.0)
        ui->RateSetting->setValue(m.rateBps / 1000000.0);
    // The first record of a multi-range model picks its range.
    if (model.multiRange() && m.txSettled)
        ui->RateRange->setCurrentIndex(bert::rangeForRate(model, m.rateBps));

    ui->SliderPattern->setValue(bert::patternPosition(m_instrument->patternLetters(), m.pattern,
                                                      ui->SliderPattern->maximum()));

    // Texts are formatted only for values that changed since the last record
    // shown (most fields stay the same from one record to the next).
    Shown &was = m_shown;
    if (changed(was.rx, model.rxShowsRate ? double(m.rateBps) : m.rxDbm))
        setReadoutText(ui->RxPowTxt, bert::rxText(model, m));
    if (model.txSource == bert::TxSource::Flag)
        setReadoutText(ui->TxEnBtn,
                       m.txFlag ? QStringLiteral("Tx: On") : QStringLiteral("Tx: Off"));
    else if (changed(was.tx, m.txDbm))
        setReadoutText(ui->TxEnBtn, bert::txPowerText(m.txDbm));
    showTransmitter(m_instrument->transmitter());

    if (changed(was.wavelength, double(m.wavelengthNm)))
        setReadoutText(ui->WaveLengBtn, bert::wavelengthText(m.wavelengthNm));
    if (changed(was.temperature, m.temperatureC))
        setReadoutText(ui->TempTxt, bert::temperatureText(m.temperatureC));

    // Signal lamps; other lamp codes leave them as they are.
    static const struct {
        lamp::Colour sig, sync;
    } LampCodes[4] = {
        {}, {lamp::Red, lamp::Red}, {lamp::Green, lamp::Green}, {lamp::Green, lamp::Red}};
    if (m.lampCode >= 1 && m.lampCode <= 3) {
        lamp::show(ui->LEDSig, LampCodes[m.lampCode].sig);
        lamp::show(ui->LEDSync, LampCodes[m.lampCode].sync);
    }

    // The elapsed time follows from the bit count and the rate in the rate field.
    const double rateMbps = ui->RateSetting->value();
    if (changed(was.bits, double(m.bits)) | changed(was.rateMbps, rateMbps)) {
        setReadoutText(ui->CountTxt, bert::countText(m.bits));
        setReadoutText(ui->TimeTxt, bert::elapsedText(m.bits, rateMbps));
    }
    if (changed(was.errors, double(m.errors)))
        setReadoutText(ui->ErrorCntTxt, bert::countText(m.errors));
    lamp::show(ui->LEDError, m.errorsChanged ? lamp::Red : lamp::Green);
    const float ber = bert::bitErrorRate(m.errors, m.bits);
    if (changed(was.ber, double(ber)))
        setReadoutText(ui->BERText, bert::berText(ber));
    const lamp::Colour berLamp = ber <= 0 ? lamp::Green : lamp::Red;
    lamp::show(ui->LEDBER, berLamp);
    lamp::show(ui->ErrorReset, berLamp);

    if (model.recordHasEye && m.hasEye) {
        if (changed(was.eye, double(m.eyeWidth << 8 | m.eyeHeight)))
            setReadoutText(ui->EyeButton, bert::eyeText(m.eyeWidth, m.eyeHeight));
        if (changed(was.prbs, double(m.prbsInfo)))
            ui->BERTGroup->setTitle(bert::prbsTitle(m.prbsInfo));
    }
    showLogLamp();
}

void MainWindow::showTransmitter(device::Transmitter tx)
{
    lamp::show(ui->TxEnBtn, tx == device::Transmitter::On ? lamp::Green : lamp::Grey);
}

void MainWindow::showStale(bool stale)
{
    // Greyed read-outs and lamps tell a frozen display from a live one: every
    // figure of the instrument, including the buttons that show one (their
    // text greys, they stay usable).
    for (QLabel *label : {ui->BERText, ui->ErrorCntTxt, ui->CountTxt, ui->TimeTxt, ui->RxPowTxt,
                          ui->TempTxt, ui->LEDBER, ui->LEDError, ui->LEDRate, ui->LEDSig,
                          ui->LEDSync})
        label->setEnabled(!stale);
    for (QAbstractButton *button : {static_cast<QAbstractButton *>(ui->TxEnBtn),
                                    static_cast<QAbstractButton *>(ui->WaveLengBtn),
                                    static_cast<QAbstractButton *>(ui->EyeButton)})
        widgets::showStale(button, stale);
    if (!m_instrument->isConnected())
        return;
    if (stale) {
        lamp::show(ui->LEDCOM, lamp::Yellow);
        ui->LEDCOM->setToolTip(tr("no reply since %1")
                                   .arg(QDateTime::fromMSecsSinceEpoch(m_instrument->lastRecordMs())
                                            .toString(QStringLiteral("hh:mm:ss"))));
    } else {
        lamp::show(ui->LEDCOM, lamp::Green);
        ui->LEDCOM->setToolTip(QString());
    }
}
