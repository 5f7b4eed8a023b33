// Setting the main window up for the recognised model.
#include "app/mainwindow.h"
#include "bert/models.h"
#include "ui_mainwindow.h"

void MainWindow::configureFor(const bert::Model &model)
{
    m_configured = &model;
    m_shown = Shown(); // the read-outs may mean something else now: show them afresh
    using Widgets = std::initializer_list<QWidget *>;
    for (QWidget *w : Widgets{ui->PatListSpan, ui->PatListNanoTera, ui->PatListNano, ui->PatListT,
                              ui->EyeButton, ui->RateRange})
        w->hide();
    if (!model.configures)
        ui->PatListNano->show();
    for (QWidget *w :
         Widgets{ui->KnobLabel_12, ui->WaveLengBtn, ui->TempTxt, ui->XCVRBtn, ui->CustPatBx})
        w->show();
    m_rateTable.count = 2;
    QFont font = ui->RxPowTxt->font();
    font.setPointSize(model.rxPointSize);
    ui->RxPowTxt->setFont(font);

    if (model.configures) {
        if (model.multiRange()) {
            // Fill the range selector and start in the model's first range;
            // each change of the current item loads its rates.
            bert::loadRange(model, 0, m_rateTable);
            ui->RateRange->clear();
            for (int i = 0; i <= model.firstRange; ++i)
                ui->RateRange->addItem(model.ranges[i].text);
            ui->RateRange->setCurrentIndex(model.firstRange);
        } else {
            m_rateTable.load(model.rates);
        }
        QLabel *const lists[] = {ui->PatListNano, ui->PatListNanoTera, ui->PatListSpan,
                                 ui->PatListT};
        for (QLabel *list : lists)
            list->setVisible(list == lists[int(model.list)]);
        ui->SliderPattern->setMaximum(model.sliderMax());
        ui->RxPowUnits->setText(model.rxUnits);
        if (!model.customMask.isEmpty()) {
            ui->CustPatBx->setInputMask(model.customMask);
            ui->CustPatBx->setText(model.customText);
            ui->CustPatBx->setToolTip(model.customToolTip);
        }
        for (QWidget *w : Widgets{ui->KnobLabel_12, ui->WaveLengBtn, ui->TempTxt, ui->XCVRBtn})
            w->setVisible(model.transceiverControls);
        if (model.multiRange()) {
            ui->EyeButton->show();
            ui->RateRange->show();
            ui->CustPatBx->hide();
            for (int i = model.firstRange + 1; i < model.ranges.size(); ++i)
                ui->RateRange->addItem(model.ranges[i].text);
        }
    }
    boundRateControls();
}

void MainWindow::on_RateRange_currentIndexChanged(int)
{
    bert::loadRange(*m_configured, ui->RateRange->currentIndex(), m_rateTable);
    boundRateControls();
}

void MainWindow::boundRateControls()
{
    ui->RateDial->setMinimum(m_rateTable.first());
    ui->RateDial->setMaximum(m_rateTable.last());
    ui->RateSetting->setSingleStep(bert::rateFieldStep(m_rateTable));
}
