// The main window's side of the BER statistics: it feeds every record shown
// to the BerMonitor (whether or not the window is open), starts the history
// afresh on an error reset or a new connection, ends the test log when the
// user asked for that at the goal, and opens the window from a small chart
// button in the free corner of the BERT area.
#include "app/mainwindow.h"
#include "bert/measurementrecord.h"
#include "link/diagnostics.h"
#include "link/link.h"
#include "stats/bermonitor.h"
#include "stats/statswindow.h"
#include "ui_mainwindow.h"

#include <QPainter>
#include <QToolButton>

namespace {
// A small chart: two axes and a falling curve above a dashed target line.
QIcon chartIcon()
{
    QPixmap pixmap(36, 36);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 2.5));
    p.drawLine(QPointF(5, 3), QPointF(5, 31));
    p.drawLine(QPointF(5, 31), QPointF(33, 31));
    p.setPen(QPen(QColor(200, 30, 30), 2, Qt::DashLine));
    p.drawLine(QPointF(7, 24), QPointF(33, 24));
    p.setPen(QPen(QColor(20, 70, 200), 3));
    const QPointF curve[] = {{7, 5}, {12, 12}, {18, 16}, {25, 19}, {33, 21}};
    p.drawPolyline(curve, 5);
    return QIcon(pixmap);
}
} // namespace

void MainWindow::setUpStatistics()
{
    m_statistics = new BerMonitor(this);
    connect(this, &MainWindow::recordShown, m_statistics, [this](const bert::Measurement &m) {
        m_statistics->record(m.bits, m.errors, m.rateBps);
    });
    connect(this, &MainWindow::errorCounterReset, m_statistics, &BerMonitor::counterReset);
    connect(m_link, &Link::opened, m_statistics, &BerMonitor::restart);
    connect(m_statistics, &BerMonitor::goalReached, this, [this] {
        if (!testLogRunning())
            return;
        stopTestLog();
        m_statistics->noteLogStopped();
        diagnostic(QString::asprintf("%.0f %% confidence that the BER is below %.0e reached: "
                                     "test log stopped",
                                     m_statistics->goal() * 100, m_statistics->targetBer()),
                   lcStats());
    });

    // In the BERT area, right of the error lamp and above the Reset button.
    auto *button = new QToolButton(ui->BERTGroup);
    button->setObjectName(QStringLiteral("StatsBtn"));
    button->setGeometry(310, 106, 30, 30);
    button->setIcon(chartIcon());
    button->setIconSize(QSize(22, 22));
    button->setAutoRaise(true);
    button->setToolTip(tr("BER statistics"));
    button->setAccessibleName(tr("BER statistics"));
    connect(button, &QToolButton::clicked, this, &MainWindow::showStatistics);
}

void MainWindow::showStatistics()
{
    if (!m_statsWindow)
        m_statsWindow = new StatsWindow(m_statistics, this);
    m_statsWindow->show();
    m_statsWindow->raise();
    m_statsWindow->activateWindow();
}
