#include "app/mainwindow.h"
#include "eye/eye.h"

void MainWindow::on_EyeButton_clicked()
{
    // A new window on every click, owned by the main window and only hidden
    // when closed; it starts a scan at once when the rate allows.
    auto *eye = new Eye(this);
    eye->show();
}
