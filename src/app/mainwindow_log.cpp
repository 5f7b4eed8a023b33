// The Log button: starting and stopping the instrument's test log, and its lamp.
#include "app/mainwindow.h"
#include "bert/diagnostics.h"
#include "device/instrument.h"
#include "device/testlogfile.h"
#include "ui_mainwindow.h"
#include "widgets/lamps.h"
#include "widgets/savefolder.h"

#include <QToolTip>

namespace {
// Shows a failure beside the Log button, where the user just looked.
void tell(QWidget *anchor, const QString &text)
{
    QToolTip::showText(anchor->mapToGlobal(QPoint(0, anchor->height())), text, anchor, QRect(),
                       10000);
}
} // namespace

void MainWindow::on_LogBtn_clicked()
{
    device::TestLogFile *log = m_instrument->testLog();
    if (log->isRunning()) {
        log->stop();
        return;
    }
    const QString name = askLogFileName(this);
    if (name.isEmpty())
        return;
    QString error;
    if (!log->start(name, m_instrument->model(), &error)) {
        // Logging stays off: a green lamp over a file that receives nothing
        // would tell the user that data is being kept when it is not.
        lamp::show(ui->LogBtn, lamp::Red);
        ui->LogBtn->setToolTip(error);
        diagnostic(error);
        tell(ui->LogBtn, error);
        return;
    }
    // Only a folder the log could be written in is proposed next time.
    widgets::rememberFolderOf(QStringLiteral("log/folder"), name);
    ui->LogBtn->setToolTip(m_logToolTip);
    lamp::show(ui->LogBtn, lamp::Green);
}

void MainWindow::showLogLamp()
{
    const device::TestLogFile *log = m_instrument->testLog();
    if (log->isRunning())
        lamp::show(ui->LogBtn, log->yellow() ? lamp::Yellow : lamp::Green);
}

void MainWindow::onLogStopped(const QString &reason)
{
    if (reason.isEmpty()) {
        lamp::show(ui->LogBtn, lamp::Grey);
        ui->LogBtn->setToolTip(m_logToolTip);
        return;
    }
    // The log failed (a full disk, a vanished medium): red, with the reason.
    lamp::show(ui->LogBtn, lamp::Red);
    ui->LogBtn->setToolTip(reason);
    diagnostic(reason);
    tell(ui->LogBtn, reason);
}
