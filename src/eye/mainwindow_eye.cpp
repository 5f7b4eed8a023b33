#include "app/mainwindow.h"

void MainWindow::on_EyeButton_clicked()
{
    // The window opened here is built in this folder.
}
