// Port discovery, connection, identification, disconnection and loss of the link.
#include "app/mainwindow.h"
#include "bert/lamps.h"
#include "link/portcatalog.h"
#include "link/protocol.h"
#include "link/unitmodels.h"
#include "ui_mainwindow.h"

#include <QThread>

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
} // namespace

void MainWindow::FindSerialPorts()
{
    ui->PortSelBox->clear();
    ui->PortSelBox->addItem(tr("Select Device"));
    const QList<PortEntry> ports = portcatalog::ports();
    for (const PortEntry &entry : ports) {
        link.port->setPortName(entry.name);
        QString diagnostic;
        if (isCandidate(entry.description) &&
            (link.connected = link.port->open(QIODevice::ReadWrite))) {
            for (int i = 0; i < 3; ++i)
                link.send(QLatin1String(proto::Identify));
            link.port->flush();
            link.send(QLatin1String(proto::Identify));
            const QByteArray reply = link.collectFor(proto::IdentifySettleMs);
            const int row = unit::matchRow(reply);
            if (row > 0) {
                diagnostic =
                    QString::asprintf(": OK, Match %d: ", row) + unit::textUpToNul(reply.left(20));
                ui->PortSelBox->addItem(
                    unit::itemTextFromReply(reply, link.port->portName().toLocal8Bit()));
            } else {
                diagnostic = QStringLiteral(": OK, NoMatch");
            }
            if (link.port->isOpen())
                link.port->close();
            link.connected = 0;
        } else {
            link.connected = 0;
            diagnostic = entry.description;
            if (isCandidate(entry.description))
                diagnostic += QStringLiteral(" (cannot open: %1)").arg(link.port->errorString());
        }
        ui->DebugOut->appendPlainText(link.port->portName() + diagnostic);
    }
}

void MainWindow::on_PortSelBox_activated(int)
{
    if (ui->PortSelBox->currentIndex() == 0)
        return;
    const QString text = ui->PortSelBox->currentText();
    const int colon = text.indexOf(QLatin1Char(':'));
    link.buffer = colon < 0 ? text : text.left(colon);
    link.port->setPortName(link.buffer);
    link.connected = link.port->open(QIODevice::ReadWrite);
    if (link.connected) {
        lamp::show(ui->LEDCOM, lamp::Green);
        ui->LEDCOM->setToolTip(QString());
        link.port->setReadBufferSize(0);
        resyncing = false;
        ui->DisConectBtn->show();
        setWindowTitle(text.left(text.size() - 2));
        const int row = unit::matchRow(text.toUtf8());
        if (row > 0)
            SetBERTType(unit::codeOfRow(row));
        link.send(QLatin1String(proto::Measure));
        scheduleMeasurement(link.pollInterval);
        ui->RefreshBtn->setEnabled(false);
    } else {
        // Say why, instead of leaving the user in front of an unchanged window.
        QString reason = link.port->errorString();
        if (link.port->error() == QSerialPort::PermissionError)
            reason += tr(". Your user must be in the \"dialout\" group to use serial ports.");
        lamp::show(ui->LEDCOM, lamp::Red);
        ui->LEDCOM->setToolTip(reason);
        ui->DebugOut->appendPlainText(link.port->portName() + QStringLiteral(": cannot open: ") +
                                      reason);
    }
    ui->AboutBtn->setFocus(Qt::OtherFocusReason);
    ui->RateSetting->setValue(0);
}

void MainWindow::GetUnitInfo()
{
    if (!link.connected)
        return;
    link.collectFor(proto::IdentifySettleMs);
    link.skip = 1;
    for (int i = 0; i < 3; ++i)
        link.send(QLatin1String(proto::Identify));
    if (link.port->isOpen()) {
        link.port->flush();
        link.port->readAll();
    }
    link.send(QLatin1String(proto::Identify));
    const QByteArray reply = link.collectFor(proto::IdentifySettleMs);
    ui->DebugOut->appendPlainText(unit::textUpToNul(reply));
    const QString text = unit::itemTextFromReply(reply, link.port->portName().toLocal8Bit());
    const int index = ui->PortSelBox->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        ui->PortSelBox->setCurrentIndex(index);
    setWindowTitle(text.left(text.size() - 2));
    if (link.connected)
        scheduleMeasurement(link.pollInterval);
}

void MainWindow::on_DisConectBtn_clicked()
{
    if (!link.connected)
        return;
    link.collectFor(proto::DisconnectSettleMs);
    link.port->close();
    link.connected = 0;
    showDisconnected();
    lamp::show(ui->LEDCOM, lamp::Grey);
    ui->LEDCOM->setToolTip(QString());
}

void MainWindow::showDisconnected()
{
    setWindowTitle(tr("Corvane Nano"));
    ui->PortSelBox->setCurrentIndex(0);
    ui->DisConectBtn->hide();
    ui->RefreshBtn->setEnabled(true);
}

void MainWindow::on_RefreshBtn_clicked()
{
    ui->PortSelBox->setItemText(0, tr("Searching Please Wait..."));
    repaint();
    emit ui->DisConectBtn->clicked(false);
    QThread::msleep(proto::RefreshSettleMs);
    FindSerialPorts();
    ui->RefreshBtn->setText(tr("Refresh"));
}

void MainWindow::onPortError(QSerialPort::SerialPortError error)
{
    // A vanished device makes the port report read/resource errors in a tight
    // loop until it is closed: close it at once and show the link as lost.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (!link.port->isOpen())
        return;
    const QString reason = link.port->errorString();
    const QString name = link.port->portName();
    link.port->close();
    const bool wasConnected = link.connected;
    link.connected = 0;
    if (!wasConnected || ui->DisConectBtn->isHidden())
        return; // a port being queried by the search: the search reports it
    showDisconnected();
    lamp::show(ui->LEDCOM, lamp::Red);
    ui->LEDCOM->setToolTip(tr("Connection to the instrument was lost (%1). "
                              "Press Refresh to search again.")
                               .arg(reason));
    ui->DebugOut->appendPlainText(name + QStringLiteral(": connection lost: ") + reason);
}
