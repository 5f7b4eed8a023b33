// Configuring the main window for the recognised unit model.
#include "app/mainwindow.h"
#include "bert/modelconfig.h"
#include "ui_mainwindow.h"

void MainWindow::SetBERTType(int type)
{
    const bert::ModelRow &model = bert::modelRow(type);
    m_unitType = type;
    m_shown = Shown(); // the read-outs may mean something else now: show them afresh
    using Widgets = std::initializer_list<QWidget *>;
    for (QWidget *w : Widgets{ui->PatListSpan, ui->PatListNanoTera, ui->PatListNano, ui->PatListT,
                              ui->EyeButton, ui->RateRange})
        w->hide();
    if (type == 0)
        ui->PatListNano->show();
    for (QWidget *w :
         Widgets{ui->KnobLabel_12, ui->WaveLengBtn, ui->TempTxt, ui->XCVRBtn, ui->CustPatBx})
        w->show();
    m_rateTable.count = 2;
    QFont font = ui->RxPowTxt->font();
    font.setPointSize(model.rxPointSize);
    ui->RxPowTxt->setFont(font);

    if (model.configures) {
        if (model.rates) {
            m_rateTable.load(model.rates, model.rateCount);
        } else {
            // Multi-range: fill the range selector and start in the 10 Gbit/s range.
            bert::loadRange(0, m_rateTable);
            ui->RateRange->clear();
            for (int i = 0; i < 4; ++i)
                ui->RateRange->addItem(QLatin1String(bert::rangeItemText(i)));
            ui->RateRange->setCurrentIndex(3);
        }
        QLabel *const lists[] = {ui->PatListNano, ui->PatListNanoTera, ui->PatListSpan,
                                 ui->PatListT};
        for (QLabel *list : lists)
            list->setVisible(list == lists[int(model.list)]);
        ui->SliderPattern->setMaximum(model.sliderMax);
        m_replyLength = model.replyLength;
        bert::applyLetters(model, m_patternLetters);
        ui->RxPowUnits->setText(QLatin1String(model.rxUnits));
        if (model.customMask) {
            ui->CustPatBx->setInputMask(QLatin1String(model.customMask));
            ui->CustPatBx->setText(QLatin1String(model.customText));
            ui->CustPatBx->setToolTip(tr(model.customToolTip));
        }
        for (QWidget *w : Widgets{ui->KnobLabel_12, ui->WaveLengBtn, ui->TempTxt, ui->XCVRBtn})
            w->setVisible(model.transceiverControls);
        if (model.rangeCount > 0) {
            ui->EyeButton->show();
            ui->RateRange->show();
            ui->CustPatBx->hide();
            for (int i = 4; i < model.rangeCount; ++i)
                ui->RateRange->addItem(QLatin1String(bert::rangeItemText(i)));
        }
    }
    boundRateControls();
}

void MainWindow::on_RateRange_currentIndexChanged(int)
{
    bert::loadRange(ui->RateRange->currentIndex(), m_rateTable);
    boundRateControls();
}

void MainWindow::boundRateControls()
{
    ui->RateDial->setMinimum(m_rateTable.first());
    ui->RateDial->setMaximum(m_rateTable.last());
    ui->RateSetting->setSingleStep(bert::rateFieldStep(m_rateTable));
}
