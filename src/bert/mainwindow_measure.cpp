// The live measurement cycle: read one record, show it, log it, ask for the next.
#include "app/mainwindow.h"
#include "bert/lamps.h"
#include "bert/measurementrecord.h"
#include "link/protocol.h"
#include "link/unitmodels.h"
#include "ui_mainwindow.h"

void MainWindow::ReceiveMeas()
{
    if (ui->PortSelBox->hasFocus())
        return;

    qint64 available = 0;
    QByteArray reply;
    if (link.port->isOpen()) {
        available = link.port->bytesAvailable();
        reply = link.port->readAll();
    }
    // The rest of a broken reply (one of the wrong length) may still arrive and,
    // joined with the head of the next reply, add up to a record's length. So
    // after a broken reply nothing is taken as a record, and no request is sent,
    // until a cycle finds the line quiet.
    const bool wasResyncing = resyncing;
    resyncing =
        wasResyncing ? available > 0 : available > 0 && available != replyLength && replyLength > 0;
    bert::Measurement m;
    if (!wasResyncing && available == replyLength &&
        bert::decodeRecord(reply, unitType, replyLength, &m)) {
        // Rate.
        if (m.rateBps == 0) {
            lamp::show(ui->LEDRate, lamp::Red);
        } else {
            lamp::show(ui->LEDRate, lamp::Green);
            ui->RateDial->setValue(int(m.rateBps / 1000));
        }
        if (!ui->RateSetting->hasFocus())
            ui->RateSetting->setValue(m.rateBps / 1000000.0);
        if (unit::isMultiRange(unitType) && txState == '3')
            ui->RateRange->setCurrentIndex(bert::rangeForRate(m.rateBps));

        ui->SliderPattern->setValue(
            bert::patternPosition(patternLetters, m.pattern, ui->SliderPattern->maximum()));

        // Powers and transmitter.
        if (unitType == unit::Span) {
            ui->RxPowTxt->setText(QString::asprintf("%0.3f", m.rateBps / 1000000.0));
            txState = m.txFlag ? '1' : '0';
            ui->TxEnBtn->setText(m.txFlag ? QStringLiteral("Tx: On") : QStringLiteral("Tx: Off"));
        } else {
            ui->RxPowTxt->setText(bert::rxPowerText(m.rxDbm));
            const double tx = bert::powerOutOfRange(m.txDbm) ? -40.0 : m.txDbm;
            ui->TxEnBtn->setText(bert::txPowerText(m.txDbm));
            if (txState == '3')
                txState = tx > -40.0 ? '1' : '0';
        }
        lamp::show(ui->TxEnBtn, txState == '1' ? lamp::Green : lamp::Grey);

        ui->WaveLengBtn->setText(bert::wavelengthText(m.wavelengthNm));
        ui->TempTxt->setText(bert::temperatureText(m.temperatureC));

        switch (m.lampCode) {
        case 1:
            lamp::show(ui->LEDSig, lamp::Red);
            lamp::show(ui->LEDSync, lamp::Red);
            break;
        case 2:
            lamp::show(ui->LEDSig, lamp::Green);
            lamp::show(ui->LEDSync, lamp::Green);
            break;
        case 3:
            lamp::show(ui->LEDSig, lamp::Green);
            lamp::show(ui->LEDSync, lamp::Red);
            break;
        default: break;
        }

        ui->CountTxt->setText(bert::countText(m.bits));
        ui->TimeTxt->setText(bert::elapsedText(m.bits, ui->RateSetting->value()));

        ui->ErrorCntTxt->setText(bert::countText(m.errors));
        lamp::show(ui->LEDError, m.errors == lastErrorCount ? lamp::Green : lamp::Red);
        lastErrorCount = m.errors;
        const float ber = bert::bitErrorRate(m.errors, m.bits);
        ui->BERText->setText(bert::berText(ber));
        const lamp::Colour berLamp = ber <= 0 ? lamp::Green : lamp::Red;
        lamp::show(ui->LEDBER, berLamp);
        lamp::show(ui->ErrorReset, berLamp);

        if (m.hasEye && unit::isMultiRange(unitType)) {
            ui->EyeButton->setText(bert::eyeText(m.eyeWidth, m.eyeHeight));
            ui->BERTGroup->setTitle(bert::prbsTitle(m.prbsInfo));
        }

        if (logging)
            logMeasurement(m.rateBps, m.pattern);

        if (m.reidentify) {
            GetUnitInfo();
            return;
        }
    }

    if (ui->RateDial->isSliderDown() || ui->SliderPattern->isSliderDown() || link.pausePolling)
        return;
    if (resyncing) {
        if (link.connected)
            scheduleMeasurement(link.pollInterval);
        return;
    }
    link.send(QLatin1String(proto::Measure));
    if (link.connected)
        scheduleMeasurement(link.pollInterval);
}
