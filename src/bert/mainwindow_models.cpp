// Configuring the main window for the recognised unit model.
#include "app/mainwindow.h"
#include "bert/modelconfig.h"
#include "link/unitmodels.h"
#include "ui_mainwindow.h"

void MainWindow::SetBERTType(int type)
{
    unitType = type;
    using Widgets = std::initializer_list<QWidget *>;
    for (QWidget *w : Widgets{ui->PatListSpan, ui->PatListNanoTera, ui->PatListNano, ui->PatListT,
                              ui->EyeButton, ui->RateRange})
        w->hide();
    if (type == unit::None)
        ui->PatListNano->show();
    for (QWidget *w :
         Widgets{ui->KnobLabel_12, ui->WaveLengBtn, ui->TempTxt, ui->XCVRBtn, ui->CustPatBx})
        w->show();
    rateTable.count = 2;
    QFont font = ui->RxPowTxt->font();
    font.setPointSize(type == unit::Span ? 22 : 32);
    ui->RxPowTxt->setFont(font);

    if (const bert::ModelConfig *config = bert::modelConfig(type)) {
        if (config->rates) {
            rateTable.load(config->rates, config->rateCount);
        } else {
            // Multi-range: fill the range selector and start in the 10 Gbit/s range.
            bert::loadRange(0, rateTable);
            ui->RateRange->clear();
            for (int i = 0; i < bert::RangeCountNanoTa; ++i)
                ui->RateRange->addItem(QLatin1String(bert::rangeItemText(i)));
            ui->RateRange->setCurrentIndex(3);
        }
        switch (config->list) {
        case bert::PatternList::Nano: ui->PatListNano->show(); break;
        case bert::PatternList::NanoTera: ui->PatListNanoTera->show(); break;
        case bert::PatternList::Span: ui->PatListSpan->show(); break;
        case bert::PatternList::T:
            ui->PatListSpan->hide();
            ui->PatListNano->hide();
            ui->PatListNanoTera->hide();
            ui->PatListT->show();
            break;
        }
        ui->SliderPattern->setMaximum(config->sliderMax);
        replyLength = config->replyLength;
        bert::applyLetters(*config, patternLetters);
        ui->RxPowUnits->setText(QLatin1String(config->rxUnits));
        if (config->customMask) {
            ui->CustPatBx->setInputMask(QLatin1String(config->customMask));
            ui->CustPatBx->setText(QLatin1String(config->customText));
            ui->CustPatBx->setToolTip(tr(config->customToolTip));
        }
        const Widgets transceiver{ui->KnobLabel_12, ui->WaveLengBtn, ui->TempTxt, ui->XCVRBtn};
        for (QWidget *w : transceiver)
            w->setVisible(config->transceiverControls);
        if (unit::isMultiRange(type)) {
            ui->EyeButton->show();
            ui->RateRange->show();
            ui->CustPatBx->hide();
            if (type == unit::NanoTb)
                ui->RateRange->addItem(QLatin1String(bert::rangeItemText(4)));
        }
    }
    boundRateControls();
}

void MainWindow::on_RateRange_currentIndexChanged(int)
{
    bert::loadRange(ui->RateRange->currentIndex(), rateTable);
    boundRateControls();
}

void MainWindow::boundRateControls()
{
    ui->RateDial->setMinimum(rateTable.first());
    ui->RateDial->setMaximum(rateTable.last());
    ui->RateSetting->setSingleStep(bert::rateFieldStep(rateTable));
}
