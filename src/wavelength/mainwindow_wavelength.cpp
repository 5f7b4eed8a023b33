#include "app/mainwindow.h"
#include "bert/modelconfig.h"
#include "ui_mainwindow.h"
#include "wavelength/wavelengthdb.h"

void MainWindow::on_WaveLengBtn_clicked()
{
    // Only tunable transceivers take a new wavelength.
    if (!bert::modelRow(unitType()).wavelengthDialog)
        return;
    auto *dialog = new WavelengthDB(this, ui->WaveLengBtn->text());
    dialog->show();
}
