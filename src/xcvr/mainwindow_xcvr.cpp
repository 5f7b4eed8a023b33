#include "app/mainwindow.h"

void MainWindow::on_XCVRBtn_clicked()
{
    // The window opened here is built in this folder.
}
