// Rate, pattern, transmitter and error-counter controls of the main window.
#include "app/mainwindow.h"
#include "bert/lamps.h"
#include "bert/ratecontrol.h"
#include "link/protocol.h"
#include "link/unitmodels.h"
#include "ui_mainwindow.h"

void MainWindow::on_RateDial_valueChanged(int)
{
    // Only a drag by the user reaches the rate field; the dial itself is never
    // moved to the snapped rate.
    if (!ui->RateDial->isSliderDown())
        return;
    int v = ui->RateDial->value();
    if (ui->StandRates->isChecked())
        v = bert::snapToStandardRate(v, rateTable);
    ui->RateSetting->setValue(v / 1000.0);
}

void MainWindow::on_RateDial_sliderPressed()
{
    // Holding the dial stops the measurement cycle (see ReceiveMeas).
}

void MainWindow::sendRateFromField()
{
    // Models without a set-rate unit send nothing (rather than repeating
    // whatever command the buffer held last).
    const QString command = bert::setRateCommand(unitType, ui->RateSetting->value());
    if (!command.isNull())
        link.send(command);
}

void MainWindow::on_RateDial_sliderReleased()
{
    sendRateFromField();
    if (unitType == unit::Span)
        ui->CustPatBx->setToolTip(bert::pulseWidthToolTip(ui->RateSetting->value(), 1));
    link.send(QLatin1String(proto::Measure));
    if (link.connected)
        scheduleMeasurement(link.pollInterval);
}

void MainWindow::on_RateSetting_editingFinished()
{
    // Moving the focus away below finishes the edit again (focus out); that
    // nested call must not send the rate a second time.
    if (finishingRateEdit)
        return;
    finishingRateEdit = true;
    sendRateFromField();
    ui->RateDial->setFocus(Qt::OtherFocusReason);
    finishingRateEdit = false;
    if (unitType == unit::Span)
        ui->CustPatBx->setToolTip(bert::pulseWidthToolTip(ui->RateSetting->value(), 3));
}

void MainWindow::on_SliderPattern_sliderPressed()
{
    // Holding the slider stops the measurement cycle (see ReceiveMeas).
}

void MainWindow::sendPattern()
{
    const int position = ui->SliderPattern->value();
    QString command = QString::asprintf(proto::SetPattern, patternLetters[size_t(position)]);
    if (position == 0) {
        if (unitType == unit::Span)
            command += QString::asprintf("%x", ui->CustPatBx->text().toUInt());
        else
            command += ui->CustPatBx->text();
    }
    link.send(command);
    if (link.connected)
        scheduleMeasurement(link.pollInterval);
}

void MainWindow::on_SliderPattern_sliderReleased()
{
    sendPattern();
}

void MainWindow::on_CustPatBx_returnPressed()
{
    sendPattern();
}

void MainWindow::on_TxEnBtn_clicked()
{
    if (txState == '0') {
        txState = '1';
        link.send(QLatin1String(proto::TxOn));
        lamp::show(ui->TxEnBtn, lamp::Green);
    } else {
        txState = '0';
        link.send(QLatin1String(proto::TxOff));
        lamp::show(ui->TxEnBtn, lamp::Grey);
    }
}

void MainWindow::on_ErrorReset_clicked()
{
    link.send(QLatin1String(proto::ResetErrors));
}
