// Rate, pattern, transmitter and error-counter controls of the main window.
#include "app/mainwindow.h"
#include "bert/ratecontrol.h"
#include "device/instrument.h"
#include "ui_mainwindow.h"
#include "widgets/lamps.h"

#include <QToolTip>

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
    // Holding the dial holds the measurement cycle.
    m_instrument->hold(QStringLiteral("the rate dial"));
}

void MainWindow::sendRateFromField()
{
    QString refusal;
    if (m_instrument->setRate(ui->RateSetting->value(), &refusal))
        ui->RateSetting->setToolTip(m_rateToolTip);
}

void MainWindow::showRateRefusal(const QString &reason)
{
    // Nothing was sent: say why where the user typed, until the next rate
    // goes out. The diagnostics box and stderr have it too.
    const QString text = tr("Rate not sent: %1.").arg(reason);
    ui->RateSetting->setToolTip(text);
    QToolTip::showText(ui->RateSetting->mapToGlobal(QPoint(0, ui->RateSetting->height())), text,
                       ui->RateSetting);
}

void MainWindow::on_RateDial_sliderReleased()
{
    sendRateFromField();
    if (m_instrument->model().pulseWidthHint)
        ui->CustPatBx->setToolTip(bert::pulseWidthToolTip(ui->RateSetting->value(), 1));
    m_instrument->requestRecord();
    m_instrument->release(QStringLiteral("the rate dial"));
}

void MainWindow::on_RateSetting_editingFinished()
{
    // Moving the focus away below finishes the edit again (focus out); that
    // nested call must not send the rate a second time.
    if (m_finishingRateEdit)
        return;
    // Return sends; the focus leaving the field sends only a changed rate
    // (setting the rate again can disturb a running measurement).
    const bool returnPressed = ui->RateSetting->hasFocus();
    if (!returnPressed && ui->RateSetting->value() == m_rateAtFocusIn)
        return;
    m_finishingRateEdit = true;
    sendRateFromField();
    m_rateAtFocusIn = ui->RateSetting->value();
    // After Return the focus goes to the dial, so that the records show in
    // the field again; a Tab that finished the edit goes on where it was going.
    if (returnPressed)
        ui->RateDial->setFocus(Qt::OtherFocusReason);
    m_finishingRateEdit = false;
    if (m_instrument->model().pulseWidthHint)
        ui->CustPatBx->setToolTip(bert::pulseWidthToolTip(ui->RateSetting->value(), 3));
}

void MainWindow::on_SliderPattern_sliderPressed()
{
    // Holding the slider holds the measurement cycle.
    m_instrument->hold(QStringLiteral("the pattern slider"));
}

void MainWindow::on_SliderPattern_sliderReleased()
{
    m_instrument->setPattern(ui->SliderPattern->value(), ui->CustPatBx->text());
    m_instrument->release(QStringLiteral("the pattern slider"));
}

void MainWindow::on_CustPatBx_returnPressed()
{
    m_instrument->setPattern(ui->SliderPattern->value(), ui->CustPatBx->text());
}

void MainWindow::on_TxEnBtn_clicked()
{
    m_instrument->toggleTransmitter();
}

void MainWindow::on_ErrorReset_clicked()
{
    m_instrument->resetErrors();
}
