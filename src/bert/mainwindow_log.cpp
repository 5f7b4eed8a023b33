// The test log: starting and stopping it, and one row per second at most.
#include "app/mainwindow.h"
#include "bert/testlog.h"
#include "ui_mainwindow.h"
#include "widgets/lamps.h"

#include <QDate>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

void MainWindow::on_LogBtn_clicked()
{
    if (m_logging) {
        stopLogging();
        return;
    }
    const QString name = askLogFileName(this);
    if (name.isEmpty())
        return;
    m_logFile.setFileName(name);
    if (!m_logFile.open(QIODevice::WriteOnly)) {
        // Logging stays off: a green lamp over a file that receives nothing
        // would tell the user that data is being kept when it is not.
        const QString reason =
            tr("Cannot write the log file %1: %2").arg(name, m_logFile.errorString());
        ui->LogBtn->setToolTip(reason);
        diagnostic(reason, lcLog());
        return;
    }
    ui->LogBtn->setToolTip(m_logToolTip);
    m_logFile.write(
        bert::logHeader(m_unitType, QDate::currentDate(), ui->RxPowUnits->text()).toLocal8Bit());
    m_logFile.flush();
    m_logging = 1;
    lamp::show(ui->LogBtn, lamp::Green);
}

void MainWindow::stopLogging()
{
    if (!m_logging)
        return;
    m_logging = 0;
    lamp::show(ui->LogBtn, lamp::Grey);
    m_logFile.flush();
#ifdef Q_OS_UNIX
    if (m_logFile.handle() >= 0)
        ::fsync(m_logFile.handle());
#endif
    m_logFile.close();
}

void MainWindow::logMeasurement(qint64 rateBps, char pattern)
{
    const QTime now = QTime::currentTime();
    const bert::RowDecision decision = bert::decideRow(m_lastLogTime, now);
    lamp::show(ui->LogBtn, decision.yellow ? lamp::Yellow : lamp::Green);
    if (!decision.writeRow)
        return;
    m_lastLogTime = now;
    const bert::LogFields fields{rateBps,
                                 pattern,
                                 ui->TempTxt->isVisibleTo(this) ? ui->TempTxt->text() : QString(),
                                 ui->RxPowTxt->text(),
                                 ui->CountTxt->text(),
                                 ui->ErrorCntTxt->text(),
                                 ui->BERText->text()};
    m_logFile.write(bert::logRow(now, fields).toLocal8Bit());
    // Every row the window has counted as written is on disk, even if the
    // program is killed a moment later.
    m_logFile.flush();
}
