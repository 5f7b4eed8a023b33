// Rate, pattern, transmitter and error-counter controls of the main window.
#include "app/mainwindow.h"
#include "bert/ratecontrol.h"
#include "link/link.h"
#include "link/protocol.h"
#include "ui_mainwindow.h"
#include "widgets/lamps.h"

void MainWindow::on_RateDial_valueChanged(int)
{
    // Only a drag by the user reaches the rate field; the dial itself is never
    // moved to the snapped rate.
    if (!ui->RateDial->isSliderDown())
        return;
    int v = ui->RateDial->value();
    if (ui->StandRates->isChecked())
        v = bert::snapToStandardRate(v, m_rateTable);
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
    const QString command = bert::setRateCommand(m_unitType, ui->RateSetting->value());
    if (!command.isNull())
        m_link->send(command);
}

void MainWindow::restartPolling()
{
    if (!m_link->connected())
        return;
    m_sinceRecord.start();
    m_link->schedulePoll(m_link->pollInterval());
}

void MainWindow::on_RateDial_sliderReleased()
{
    sendRateFromField();
    if (bert::modelRow(m_unitType).pulseWidthHint)
        ui->CustPatBx->setToolTip(bert::pulseWidthToolTip(ui->RateSetting->value(), 1));
    m_link->send(QLatin1String(proto::Measure));
    restartPolling();
}

void MainWindow::on_RateSetting_editingFinished()
{
    // Moving the focus away below finishes the edit again (focus out); that
    // nested call must not send the rate a second time.
    if (m_finishingRateEdit)
        return;
    m_finishingRateEdit = true;
    sendRateFromField();
    ui->RateDial->setFocus(Qt::OtherFocusReason);
    m_finishingRateEdit = false;
    if (bert::modelRow(m_unitType).pulseWidthHint)
        ui->CustPatBx->setToolTip(bert::pulseWidthToolTip(ui->RateSetting->value(), 3));
}

void MainWindow::on_SliderPattern_sliderPressed()
{
    // Holding the slider stops the measurement cycle (see ReceiveMeas).
}

void MainWindow::sendPattern()
{
    const int position = ui->SliderPattern->value();
    QString command = QString::asprintf(proto::SetPattern, m_patternLetters[size_t(position)]);
    if (position == 0) {
        if (bert::modelRow(m_unitType).customIsDutyCycle)
            command += QString::asprintf("%x", ui->CustPatBx->text().toUInt());
        else
            command += ui->CustPatBx->text();
    }
    m_link->send(command);
    restartPolling();
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
    if (m_txState == '0') {
        m_txState = '1';
        m_link->send(QLatin1String(proto::TxOn));
        lamp::show(ui->TxEnBtn, lamp::Green);
    } else {
        m_txState = '0';
        m_link->send(QLatin1String(proto::TxOff));
        lamp::show(ui->TxEnBtn, lamp::Grey);
    }
}

void MainWindow::on_ErrorReset_clicked()
{
    m_link->send(QLatin1String(proto::ResetErrors));
    emit errorCounterReset();
}
