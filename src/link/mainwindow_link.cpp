// Port discovery, connection, identification, disconnection and loss of the link.
#include "app/mainwindow.h"
#include "link/link.h"
#include "link/portcatalog.h"
#include "link/protocol.h"
#include "link/unitmodels.h"
#include "ui_mainwindow.h"
#include "widgets/lamps.h"

#include <QDateTime>

#include <QAbstractItemView>
#include <QEvent>
#include <QTimer>

namespace {
const char *const CandidateDescriptions[] = {"USB Serial Device", "CCS USB to UART"};

bool isCandidate(const QString &description)
{
    for (const char *d : CandidateDescriptions) {
        if (description.contains(QLatin1String(d)))
            return true;
    }
    return false;
}

// The device path of a list entry is kept beside its text: a path may hold
// colons, which the text uses as its separator.
constexpr int PathRole = Qt::UserRole;

// Resumes the measurement cycle when the port list's popup closes, if a cycle
// found it open and stopped for it.
class PopupWatcher : public QObject
{
public:
    PopupWatcher(QObject *parent, std::function<void()> closed)
        : QObject(parent), m_closed(std::move(closed))
    {
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Hide)
            m_closed();
        return false;
    }

private:
    std::function<void()> m_closed;
};
} // namespace

void MainWindow::FindSerialPorts()
{
    // A new search starts from a clean connection lamp.
    lamp::show(ui->LEDCOM, lamp::Grey);
    ui->LEDCOM->setToolTip(QString());
    if (m_link->probing())
        return; // the search under way will fill the list
    ui->PortSelBox->clear();
    ui->PortSelBox->addItem(tr("Searching Please Wait..."));
    // Every candidate port is asked at once; the window stays responsive.
    m_searchedPorts = portcatalog::ports();
    QStringList candidates;
    for (const PortEntry &entry : qAsConst(m_searchedPorts)) {
        if (isCandidate(entry.description))
            candidates << entry.path;
    }
    m_link->probePorts(candidates);
}

void MainWindow::listFoundPorts(const QVector<Link::Probe> &probes)
{
    ui->PortSelBox->clear();
    ui->PortSelBox->addItem(tr("Select Device"));
    int next = 0;
    for (const PortEntry &entry : qAsConst(m_searchedPorts)) {
        QString diagnosticText = entry.description;
        QString name = entry.name;
        if (isCandidate(entry.description) && next < probes.size()) {
            const Link::Probe &probe = probes[next++];
            name = probe.portName;
            if (probe.opened) {
                const int row = unit::matchRow(probe.reply);
                if (row > 0) {
                    diagnosticText = QString::asprintf(": OK, Match %d: ", row) +
                                     unit::textUpToNul(probe.reply.left(20));
                    ui->PortSelBox->addItem(
                        unit::itemTextFromReply(probe.reply, probe.portName.toLocal8Bit()),
                        entry.path);
                } else {
                    diagnosticText = QStringLiteral(": OK, NoMatch");
                }
            } else {
                diagnosticText += QStringLiteral(" (cannot open: %1)").arg(probe.error);
            }
        }
        diagnostic(name + diagnosticText);
    }
    m_searchedPorts.clear();
    ui->RefreshBtn->setText(tr("Refresh"));
    emit portsSearched();
}

void MainWindow::on_PortSelBox_activated(int)
{
    const int index = ui->PortSelBox->currentIndex();
    if (index == 0)
        return;
    const QString text = ui->PortSelBox->currentText();
    QString path = ui->PortSelBox->itemData(index, PathRole).toString();
    if (path.isEmpty()) {
        const int colon = text.indexOf(QLatin1Char(':'));
        path = colon < 0 ? text : text.left(colon);
    }
    QString reason;
    if (m_link->open(path, &reason)) {
        startSession(text);
    } else {
        // Say why, instead of leaving the user in front of an unchanged window.
        lamp::show(ui->LEDCOM, lamp::Red);
        ui->LEDCOM->setToolTip(reason);
        diagnostic(m_link->portName() + QStringLiteral(": cannot open: ") + reason);
    }
    ui->AboutBtn->setFocus(Qt::OtherFocusReason);
    ui->RateSetting->setValue(0);
}

void MainWindow::startSession(const QString &itemText)
{
    lamp::show(ui->LEDCOM, lamp::Green);
    ui->LEDCOM->setToolTip(QString());
    m_resyncing = false;
    m_shown = Shown();
    m_lastRecordMs = QDateTime::currentMSecsSinceEpoch();
    m_sinceRecord.start();
    ui->DisConectBtn->show();
    // The port list lies under the Disconnect button: keep it out of the way of
    // the keyboard too, or Tab would give it the focus unseen.
    ui->PortSelBox->hide();
    setTitleFromItem(itemText);
    const int row = unit::matchRow(itemText.toUtf8());
    if (row > 0)
        m_link->recognise(unit::codeOfRow(row));
    m_link->send(QLatin1String(proto::Measure));
    m_link->schedulePoll(m_link->pollInterval());
    ui->RefreshBtn->setEnabled(false);
}

void MainWindow::setTitleFromItem(const QString &itemText)
{
    // The entry holds the identification fields on separate lines; a title
    // shows each line break as one space.
    QString title = itemText.left(itemText.size() - 2);
    title.replace(QLatin1String("\r\n"), QLatin1String(" "));
    title.replace(QLatin1Char('\r'), QLatin1Char(' '));
    title.replace(QLatin1Char('\n'), QLatin1Char(' '));
    setWindowTitle(title);
}

bool MainWindow::portListInUse() const
{
    return ui->PortSelBox->view()->isVisible();
}

void MainWindow::GetUnitInfo()
{
    if (!m_link->connected())
        return;
    const QByteArray reply = m_link->identify(Link::Handshake::Reidentify);
    diagnostic(unit::textUpToNul(reply));
    const QString text = unit::itemTextFromReply(reply, m_link->portName().toLocal8Bit());
    const int index = ui->PortSelBox->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        ui->PortSelBox->setCurrentIndex(index);
    setTitleFromItem(text);
    if (m_link->connected()) {
        m_sinceRecord.start();
        m_link->schedulePoll(m_link->pollInterval());
    }
}

void MainWindow::on_DisConectBtn_clicked()
{
    if (!m_link->connected())
        return;
    m_link->disconnectSession(); // the link reports the end through onLinkClosed
}

void MainWindow::onLinkClosed(const QString &reason)
{
    showDisconnected();
    setStale(true); // what is still shown is no longer live
    if (reason.isEmpty()) {
        lamp::show(ui->LEDCOM, lamp::Grey);
        ui->LEDCOM->setToolTip(QString());
        return;
    }
    lamp::show(ui->LEDCOM, lamp::Red);
    ui->LEDCOM->setToolTip(reason + tr(". Press Refresh to search again."));
    diagnostic(m_link->portName() + QStringLiteral(": ") + reason);
}

void MainWindow::showDisconnected()
{
    setWindowTitle(tr("Corvane Nano"));
    ui->PortSelBox->setCurrentIndex(0);
    ui->PortSelBox->show();
    ui->DisConectBtn->hide();
    ui->RefreshBtn->setEnabled(true);
}

void MainWindow::on_RefreshBtn_clicked()
{
    if (m_link->probing())
        return;
    ui->PortSelBox->setItemText(0, tr("Searching Please Wait..."));
    emit ui->DisConectBtn->clicked(false);
    // Give a device that was just released a moment before it is asked again,
    // without freezing the window meanwhile.
    QTimer::singleShot(proto::RefreshSettleMs, this, &MainWindow::FindSerialPorts);
}

void MainWindow::watchPortListPopup()
{
    auto *watcher = new PopupWatcher(this, [this] {
        if (!m_waitingForPortList)
            return;
        m_waitingForPortList = false;
        if (m_link->connected()) {
            m_sinceRecord.start();
            m_link->schedulePoll(m_link->pollInterval());
        }
    });
    ui->PortSelBox->view()->window()->installEventFilter(watcher);
}
