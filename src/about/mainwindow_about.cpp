#include "about/aboutbx.h"
#include "app/mainwindow.h"

void MainWindow::on_AboutBtn_clicked()
{
    auto *box = new AboutBx(this);
    box->show();
}
