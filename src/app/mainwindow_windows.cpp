// Opening the secondary windows of the instrument: eye scan, transceiver
// utilities, wavelength, About and the BER statistics (from a small chart
// button in the free corner of the BERT area).
#include "about/aboutbx.h"
#include "app/mainwindow.h"
#include "device/instrument.h"
#include "device/instrumentpool.h"
#include "eye/eye.h"
#include "stats/statswindow.h"
#include "ui_mainwindow.h"
#include "wavelength/wavelengthdb.h"
#include "xcvr/xcvrutils.h"

#include <QAction>
#include <QLabel>
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

// Each click opens a new window, shown without modality; closing it frees it.

void MainWindow::on_EyeButton_clicked()
{
    // It starts a scan at once when the rate allows.
    (new Eye(m_instrument, this))->show();
}

void MainWindow::on_XCVRBtn_clicked()
{
    (new XCVRUtils(m_instrument, this))->show();
}

void MainWindow::on_WaveLengBtn_clicked()
{
    // Only tunable transceivers take a new wavelength.
    if (!m_instrument->model().tunable)
        return;
    (new WavelengthDB(m_instrument, ui->WaveLengBtn->text(), this))->show();
}

void MainWindow::on_AboutBtn_clicked()
{
    (new AboutBx(m_instrument, this))->show();
}

void MainWindow::addStatisticsButton()
{
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
    // One statistics window per instrument: it shows the whole run.
    if (!m_statsWindow)
        m_statsWindow = new StatsWindow(m_instrument, this);
    m_statsWindow->show();
    m_statsWindow->raise();
    m_statsWindow->activateWindow();
}

void MainWindow::addNewWindowAction()
{
    // Ctrl+N, and the window's context menu (a right click on its background).
    auto *action = new QAction(tr("New window"), this);
    action->setObjectName(QStringLiteral("NewWindowAct"));
    action->setShortcut(QKeySequence::New);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setToolTip(tr("Open another main window, for another instrument"));
    connect(action, &QAction::triggered, this, &MainWindow::openNewWindow);
    addAction(action);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

MainWindow *MainWindow::openFirst(device::InstrumentPool *pool, bool openAll)
{
    auto *first = new MainWindow(pool);
    first->setAttribute(Qt::WA_DeleteOnClose);
    first->show();
    if (!openAll)
        return first;
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(first, &MainWindow::portsSearched, first, [pool, first, once] {
        disconnect(*once);
        MainWindow *next = first;
        for (const Found &found : pool->lastSearch()) {
            if (found.status != Found::Status::Listed)
                continue;
            if (!next) {
                next = new MainWindow(pool);
                next->setAttribute(Qt::WA_DeleteOnClose);
                next->move(first->pos() + QPoint(40, 40) * int(pool->instruments().size()));
                next->show();
            }
            next->connectTo(found);
            next = nullptr;
        }
    });
    return first;
}

void MainWindow::openNewWindow()
{
    // A window of its own instrument in the same pool; the program ends with
    // its last window.
    auto *w = new MainWindow(m_pool);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->move(pos() + QPoint(40, 40));
    w->show();
}

void MainWindow::addRemoteIndicator()
{
    // In the System area, under the Refresh button: shown while remote
    // clients can reach the instruments (a SCPI server runs).
    m_remote = new QLabel(ui->groupBox_6);
    m_remote->setObjectName(QStringLiteral("RemoteLbl"));
    m_remote->setGeometry(80, 76, 131, 16);
    m_remote->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(m_pool, &device::InstrumentPool::remoteStatusChanged, this,
            &MainWindow::showRemoteStatus);
    showRemoteStatus();
}

void MainWindow::showRemoteStatus()
{
    const device::InstrumentPool::RemoteStatus &r = m_pool->remoteStatus();
    m_remote->setVisible(!r.server.isEmpty());
    if (r.server.isEmpty())
        return;
    const QString clients = r.clients == 1 ? tr("1 client") : tr("%1 clients").arg(r.clients);
    m_remote->setText(r.clients > 0 ? tr("Remote: %1").arg(clients) : tr("Remote control on"));
    QString tip = r.server + QLatin1Char('\n') + tr("%1 connected").arg(clients);
    if (!r.warning.isEmpty())
        tip += QLatin1Char('\n') + r.warning;
    m_remote->setToolTip(tip);
    m_remote->setStyleSheet(r.warning.isEmpty() ? QString()
                                                : QStringLiteral("color: #c01010;"));
}
