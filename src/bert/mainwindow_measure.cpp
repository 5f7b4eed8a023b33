// The live measurement cycle: read one record, show it, log it, ask for the next.
#include "app/mainwindow.h"
#include "bert/measurementrecord.h"
#include "link/link.h"
#include "link/protocol.h"
#include "ui_mainwindow.h"
#include "widgets/lamps.h"
#include "widgets/settext.h"

#include <QDateTime>

namespace {
using widgets::setTextIfChanged;

// After this long without a valid record the read-outs are shown as stale.
constexpr int SilenceMs = 1000;

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

void MainWindow::ReceiveMeas()
{
    // A user picking from the port list holds the cycle until the list closes.
    if (portListInUse()) {
        m_waitingForPortList = true;
        return;
    }

    const qint64 available = m_link->readInto(m_reply);
    // The rest of a broken reply (one of the wrong length) may still arrive and,
    // joined with the head of the next reply, add up to a record's length. So
    // after a broken reply nothing is taken as a record, and no request is sent,
    // until a cycle finds the line quiet.
    const bool wasResyncing = m_resyncing;
    m_resyncing = wasResyncing ? available > 0
                               : available > 0 && available != m_replyLength && m_replyLength > 0;
    bert::Measurement m;
    const bool valid = !wasResyncing && available == m_replyLength &&
                       bert::decodeRecord(m_reply, m_unitType, m_replyLength, &m);
    if (valid) {
        showRecord(m);
        if (m_logging)
            logMeasurement(m.rateBps, m.pattern);
        emit recordShown(m);
        if (m.reidentify) {
            GetUnitInfo();
            return;
        }
    } else {
        noteSilence();
    }

    if (ui->RateDial->isSliderDown() || ui->SliderPattern->isSliderDown() ||
        m_link->pollingPaused())
        return;
    if (m_resyncing) {
        if (m_link->connected())
            m_link->schedulePoll(m_link->pollInterval());
        return;
    }
    m_link->send(QLatin1String(proto::Measure));
    if (m_link->connected())
        m_link->schedulePoll(m_link->pollInterval());
}

void MainWindow::showRecord(const bert::Measurement &m)
{
    const bert::ModelRow &model = bert::modelRow(m_unitType);
    m_sinceRecord.start();
    m_lastRecordMs = QDateTime::currentMSecsSinceEpoch();
    if (m_stale) {
        setStale(false);
        lamp::show(ui->LEDCOM, lamp::Green);
        ui->LEDCOM->setToolTip(QString());
    }

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
    if (model.rangeCount > 0 && m_txState == '3')
        ui->RateRange->setCurrentIndex(bert::rangeForRate(m.rateBps));

    ui->SliderPattern->setValue(
        bert::patternPosition(m_patternLetters, m.pattern, ui->SliderPattern->maximum()));

    // Texts are formatted only for values that changed since the last record
    // shown (most fields stay the same from one record to the next).
    Shown &was = m_shown;
    if (changed(was.rx, model.rxShowsRate ? double(m.rateBps) : m.rxDbm))
        setTextIfChanged(ui->RxPowTxt, model.rxShowsRate
                                           ? QString::asprintf("%0.3f", m.rateBps / 1000000.0)
                                           : bert::rxPowerText(m.rxDbm));
    if (model.txSource == bert::TxSource::Flag) {
        m_txState = m.txFlag ? '1' : '0';
        setTextIfChanged(ui->TxEnBtn,
                         m.txFlag ? QStringLiteral("Tx: On") : QStringLiteral("Tx: Off"));
    } else {
        if (changed(was.tx, m.txDbm))
            setTextIfChanged(ui->TxEnBtn, bert::txPowerText(m.txDbm));
        const double tx = bert::powerOutOfRange(m.txDbm) ? -40.0 : m.txDbm;
        if (m_txState == '3')
            m_txState = tx > -40.0 ? '1' : '0';
    }
    lamp::show(ui->TxEnBtn, m_txState == '1' ? lamp::Green : lamp::Grey);

    if (changed(was.wavelength, double(m.wavelengthNm)))
        setTextIfChanged(ui->WaveLengBtn, bert::wavelengthText(m.wavelengthNm));
    if (changed(was.temperature, m.temperatureC))
        setTextIfChanged(ui->TempTxt, bert::temperatureText(m.temperatureC));

    // Signal lamps; other lamp codes leave them as they are.
    static const struct {
        lamp::Colour sig, sync;
    } LampCodes[4] = {
        {}, {lamp::Red, lamp::Red}, {lamp::Green, lamp::Green}, {lamp::Green, lamp::Red}};
    if (m.lampCode >= 1 && m.lampCode <= 3) {
        lamp::show(ui->LEDSig, LampCodes[m.lampCode].sig);
        lamp::show(ui->LEDSync, LampCodes[m.lampCode].sync);
    }

    const double rateMbps = ui->RateSetting->value();
    if (changed(was.bits, double(m.bits)) | changed(was.rateMbps, rateMbps)) {
        setTextIfChanged(ui->CountTxt, bert::countText(m.bits));
        setTextIfChanged(ui->TimeTxt, bert::elapsedText(m.bits, rateMbps));
    }
    if (changed(was.errors, double(m.errors)))
        setTextIfChanged(ui->ErrorCntTxt, bert::countText(m.errors));
    lamp::show(ui->LEDError, m.errors == m_lastErrorCount ? lamp::Green : lamp::Red);
    m_lastErrorCount = m.errors;
    const float ber = bert::bitErrorRate(m.errors, m.bits);
    if (changed(was.ber, double(ber)))
        setTextIfChanged(ui->BERText, bert::berText(ber));
    const lamp::Colour berLamp = ber <= 0 ? lamp::Green : lamp::Red;
    lamp::show(ui->LEDBER, berLamp);
    lamp::show(ui->ErrorReset, berLamp);

    if (model.recordHasEye && m.hasEye) {
        if (changed(was.eye, double(m.eyeWidth << 8 | m.eyeHeight)))
            setTextIfChanged(ui->EyeButton, bert::eyeText(m.eyeWidth, m.eyeHeight));
        if (changed(was.prbs, double(m.prbsInfo)))
            ui->BERTGroup->setTitle(bert::prbsTitle(m.prbsInfo));
    }
}

void MainWindow::noteSilence()
{
    // Silence counts only while this window polls: not while another window's
    // exchange holds the line, and not once the session has ended.
    if (m_stale || !m_link->connected() || m_link->pollingPaused() || !m_sinceRecord.isValid() ||
        m_sinceRecord.elapsed() < SilenceMs)
        return;
    setStale(true);
    lamp::show(ui->LEDCOM, lamp::Yellow);
    ui->LEDCOM->setToolTip(tr("no reply since %1")
                               .arg(QDateTime::fromMSecsSinceEpoch(m_lastRecordMs)
                                        .toString(QStringLiteral("hh:mm:ss"))));
    diagnostic(m_link->portName() + QStringLiteral(": ") + ui->LEDCOM->toolTip(), lcMeasure());
}

QList<QLabel *> MainWindow::readouts() const
{
    return {ui->BERText, ui->ErrorCntTxt, ui->CountTxt, ui->TimeTxt, ui->RxPowTxt, ui->TempTxt,
            ui->LEDBER,  ui->LEDError,    ui->LEDRate,  ui->LEDSig,  ui->LEDSync};
}

void MainWindow::setStale(bool stale)
{
    // Greyed read-outs and lamps tell a frozen display from a live one.
    m_stale = stale;
    for (QLabel *label : readouts())
        label->setEnabled(!stale);
}
