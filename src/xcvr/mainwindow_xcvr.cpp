#include "app/mainwindow.h"
#include "xcvr/xcvrutils.h"

void MainWindow::on_XCVRBtn_clicked()
{
    // A new window at every click, shown without modality; it lives (hidden
    // once closed) until the main window goes.
    auto *utilities = new XCVRUtils(this);
    utilities->show();
}
