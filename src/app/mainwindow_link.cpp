// The port list, connecting to the instrument picked in it, the title, and
// the end of a session (Disconnect, Refresh, or the instrument lost).
#include "app/mainwindow.h"
#include "bert/protocol.h"
#include "device/instrument.h"
#include "device/instrumentpool.h"
#include "ui_mainwindow.h"
#include "widgets/lamps.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QStandardItemModel>
#include <QTimer>

namespace {
// The device path of a list entry is kept beside its text: a path may hold
// colons, which the text uses as its separator.
constexpr int PathRole = Qt::UserRole;

// Holds the measurement cycle while the port list's popup is open.
class PopupWatcher : public QObject
{
public:
    PopupWatcher(QObject *parent, std::function<void(bool)> shown)
        : QObject(parent), m_shown(std::move(shown))
    {
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            m_shown(true);
        else if (event->type() == QEvent::Hide)
            m_shown(false);
        return false;
    }

private:
    std::function<void(bool)> m_shown;
};
} // namespace

void MainWindow::findSerialPorts()
{
    // A new search starts from a clean connection lamp.
    lamp::show(ui->LEDCOM, lamp::Grey);
    ui->LEDCOM->setToolTip(QString());
    m_searchRequested = true;
    if (m_pool->searching())
        return; // the search under way will fill the list
    ui->PortSelBox->clear();
    ui->PortSelBox->addItem(tr("Searching Please Wait..."));
    // Every candidate port is asked at once; the window stays responsive.
    m_pool->search(m_instrument->side());
}

void MainWindow::listFoundPorts(const QVector<Found> &results)
{
    // A connected window keeps its list as it is (it is hidden under Disconnect).
    if (m_instrument->isConnected() && !m_searchRequested)
        return;
    // Another window's search shows here too, but only the window that asked
    // for it writes the diagnostics.
    const bool mine = m_searchRequested;
    m_searchRequested = false;
    ui->PortSelBox->clear();
    ui->PortSelBox->addItem(tr("Select Device"));
    auto *model = qobject_cast<QStandardItemModel *>(ui->PortSelBox->model());
    for (const Found &found : results) {
        if (mine)
            diagnostic(found.diagnostic());
        QString text;
        QString why;
        // An instrument another window has taken since the search is in use now.
        const bool mine = found.path == m_instrument->portPath() && m_instrument->holdsPort();
        const bool taken = !mine && m_pool->portsInUse().contains(found.path);
        switch (found.status) {
        case Found::Status::Listed:
            if (!taken) {
                ui->PortSelBox->addItem(found.entryText(), found.path);
                continue;
            }
            text = found.entryText();
            why = tr("in use by another window of this program");
            break;
        case Found::Status::InUse:
            if (mine)
                continue;
            text = found.portName + tr(": in use");
            why = found.reason;
            break;
        case Found::Status::CannotOpen:
            text = found.portName + tr(": cannot open");
            why = found.reason;
            break;
        case Found::Status::NoMatch:
            text = found.portName + tr(": no instrument");
            why = found.reason;
            break;
        case Found::Status::NotCandidate:
            continue;
        }
        // Ports that were asked but cannot be chosen are listed greyed, with
        // the reason in their tooltip, so that nobody wonders where they went.
        ui->PortSelBox->addItem(text, found.path);
        const int index = ui->PortSelBox->count() - 1;
        ui->PortSelBox->setItemData(index, why, Qt::ToolTipRole);
        if (model)
            model->item(index)->setEnabled(false);
    }
    ui->RefreshBtn->setText(tr("Refresh"));
    emit portsSearched();
}

void MainWindow::relistPorts()
{
    if (m_instrument->holdsPort() || !m_pool->hasSearched() || m_pool->searching() ||
        ui->PortSelBox->view()->isVisible())
        return;
    const bool requested = m_searchRequested;
    const QSignalBlocker quiet(this); // not a new search: nobody is told
    m_searchRequested = false;
    listFoundPorts(m_pool->lastSearch());
    m_searchRequested = requested;
}

void MainWindow::on_PortSelBox_activated(int)
{
    const int index = ui->PortSelBox->currentIndex();
    if (index == 0)
        return;
    const QString path = ui->PortSelBox->itemData(index, PathRole).toString();
    const Found *found = m_pool->found(path);
    if (found && found->status == Found::Status::Listed) {
        connectTo(*found);
        return;
    }
    const QString reason =
        tr("This port holds no instrument that can be chosen now; press Refresh to search again.");
    lamp::show(ui->LEDCOM, lamp::Red);
    ui->LEDCOM->setToolTip(reason);
    diagnostic(reason);
}

void MainWindow::connectTo(const Found &found)
{
    QString reason;
    // Another window of this program may have taken the instrument since
    // the search: the port is not opened twice.
    if (m_pool->portsInUse().contains(found.path) && m_instrument->portPath() != found.path)
        reason = tr("%1: in use by another window of this program").arg(found.portName);
    else if (!m_instrument->connectTo(found, &reason))
        reason = tr("%1: %2").arg(found.portName, reason);
    if (!reason.isEmpty()) {
        // Say why, instead of leaving the user in front of an unchanged window.
        lamp::show(ui->LEDCOM, lamp::Red);
        ui->LEDCOM->setToolTip(reason);
        diagnostic(reason);
    }
    ui->AboutBtn->setFocus(Qt::OtherFocusReason);
    ui->RateSetting->setValue(0);
}

void MainWindow::onConnected()
{
    lamp::show(ui->LEDCOM, lamp::Green);
    ui->LEDCOM->setToolTip(QString());
    m_shown = Shown();
    ui->DisConectBtn->show();
    // The port list lies under the Disconnect button: keep it out of the way of
    // the keyboard too, or Tab would give it the focus unseen.
    ui->PortSelBox->hide();
    showTitle();
    ui->RefreshBtn->setEnabled(false);
}

void MainWindow::showTitle()
{
    if (!m_instrument->holdsPort() || !m_instrument->isConnected()) {
        setWindowTitle(tr("Corvane Nano"));
        return;
    }
    QString title = m_instrument->title();
    // Side B changes what every command addresses: the title says so.
    if (m_instrument->side() == 'B')
        title += tr(" (side B)");
    setWindowTitle(title);
}

void MainWindow::on_DisConectBtn_clicked()
{
    // The instrument reports the end through disconnected().
    m_instrument->disconnectFromInstrument();
}

void MainWindow::onDisconnected(const QString &reason)
{
    setWindowTitle(tr("Corvane Nano"));
    ui->PortSelBox->setCurrentIndex(0);
    ui->PortSelBox->show();
    ui->DisConectBtn->hide();
    ui->RefreshBtn->setEnabled(true);
    if (reason.isEmpty()) {
        lamp::show(ui->LEDCOM, lamp::Grey);
        ui->LEDCOM->setToolTip(QString());
        return;
    }
    lamp::show(ui->LEDCOM, lamp::Red);
    ui->LEDCOM->setToolTip(reason + tr(". Press Refresh to search again."));
    diagnostic(m_instrument->portName() + QStringLiteral(": ") + reason);
}

void MainWindow::on_RefreshBtn_clicked()
{
    if (m_pool->searching())
        return;
    ui->PortSelBox->setItemText(0, tr("Searching Please Wait..."));
    on_DisConectBtn_clicked();
    // Give a device that was just released a moment before it is asked again,
    // without freezing the window meanwhile.
    QTimer::singleShot(proto::RefreshSettleMs, this, &MainWindow::findSerialPorts);
}

void MainWindow::watchPortListPopup()
{
    auto *watcher = new PopupWatcher(this, [this](bool open) {
        const QString why = QStringLiteral("the port list");
        if (open)
            m_instrument->hold(why);
        else
            m_instrument->release(why);
    });
    ui->PortSelBox->view()->window()->installEventFilter(watcher);
}
