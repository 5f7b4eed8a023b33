// The test log: starting and stopping it, and one row per second at most.
#include "app/mainwindow.h"
#include "bert/lamps.h"
#include "bert/testlog.h"
#include "ui_mainwindow.h"

#include <QDate>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

void MainWindow::on_LogBtn_clicked()
{
    if (logging) {
        stopLogging();
        return;
    }
    const QString name = askLogFileName(this);
    if (name.isEmpty())
        return;
    logFile.setFileName(name);
    if (!logFile.open(QIODevice::WriteOnly)) {
        // Logging stays off: a green lamp over a file that receives nothing
        // would tell the user that data is being kept when it is not.
        const QString reason =
            tr("Cannot write the log file %1: %2").arg(name, logFile.errorString());
        ui->LogBtn->setToolTip(reason);
        ui->DebugOut->appendPlainText(reason);
        return;
    }
    ui->LogBtn->setToolTip(logToolTip);
    logFile.write(
        bert::logHeader(unitType, QDate::currentDate(), ui->RxPowUnits->text()).toLocal8Bit());
    logFile.flush();
    logging = 1;
    lamp::show(ui->LogBtn, lamp::Green);
}

void MainWindow::stopLogging()
{
    if (!logging)
        return;
    logging = 0;
    lamp::show(ui->LogBtn, lamp::Grey);
    logFile.flush();
#ifdef Q_OS_UNIX
    if (logFile.handle() >= 0)
        ::fsync(logFile.handle());
#endif
    logFile.close();
}

void MainWindow::logMeasurement(qint64 rateBps, char pattern)
{
    const QTime now = QTime::currentTime();
    const bert::RowDecision decision = bert::decideRow(lastLogTime, now);
    lamp::show(ui->LogBtn, decision.yellow ? lamp::Yellow : lamp::Green);
    if (!decision.writeRow)
        return;
    lastLogTime = now;
    const bert::LogFields fields{rateBps,
                                 pattern,
                                 ui->TempTxt->isVisibleTo(this) ? ui->TempTxt->text() : QString(),
                                 ui->RxPowTxt->text(),
                                 ui->CountTxt->text(),
                                 ui->ErrorCntTxt->text(),
                                 ui->BERText->text()};
    logFile.write(bert::logRow(now, fields).toLocal8Bit());
    // Every row the window has counted as written is on disk, even if the
    // program is killed a moment later.
    logFile.flush();
}
