#include "app/mainwindow.h"

void MainWindow::on_WaveLengBtn_clicked()
{
    // The window opened here is built in this folder.
}
