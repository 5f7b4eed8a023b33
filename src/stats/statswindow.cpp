#include "stats/statswindow.h"

#include "bert/measurementrecord.h"
#include "bert/diagnostics.h"
#include "device/bermonitor.h"
#include "device/instrument.h"
#include "ui_statswindow.h"
#include "widgets/focusmark.h"
#include "widgets/savefolder.h"
#include "widgets/settext.h"
#include "widgets/title.h"
#ifdef CORVANE_WITH_QWT
#include "stats/berplot.h"
#endif

#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QImageWriter>
#include <QLabel>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace {
using widgets::setTextIfChanged;
const char FolderKey[] = "statistics/exportFolder";

QString goalText(double goal)
{
    return QString::asprintf("%.0f %%", goal * 100);
}
} // namespace

StatsWindow::StatsWindow(device::Instrument *instrument, QWidget *parent)
    : QWidget(parent, Qt::Window), ui(new Ui::StatsWindow), m_monitor(instrument->statistics()),
      m_plotTimer(new QTimer(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    ui->setupUi(this);
    if (instrument->isConnected())
        widgets::nameAfterInstrument(this, instrument->serialNumber());
    askFileName = [](QWidget *parent, const QString &caption, const QString &path,
                     const QString &filter) {
        return QFileDialog::getSaveFileName(parent, caption, path, filter);
    };

    auto *plotLayout = new QVBoxLayout(ui->PlotArea);
    plotLayout->setContentsMargins(0, 0, 0, 0);
#ifdef CORVANE_WITH_QWT
    m_plot = new BerPlot(ui->PlotArea);
    m_hasPlot = true;
#else
    auto *none = new QLabel(
        tr("The plot needs the Qwt library, which this build was made without."), ui->PlotArea);
    none->setAlignment(Qt::AlignCenter);
    none->setWordWrap(true);
    m_plot = none;
    ui->SavePlotBtn->setEnabled(false);
    ui->SavePlotBtn->setToolTip(none->text());
#endif
    m_plot->setObjectName(QStringLiteral("Plot"));
    BerMonitor *monitor = m_monitor;
    plotLayout->addWidget(m_plot);

    for (double t : BerMonitor::targets())
        ui->TargetBox->addItem(stats::berChoiceText(t), t);
    for (double g : BerMonitor::goals())
        ui->GoalBox->addItem(goalText(g), g);
    ui->TargetBox->setCurrentIndex(BerMonitor::targets().indexOf(monitor->targetBer()));
    ui->GoalBox->setCurrentIndex(BerMonitor::goals().indexOf(monitor->goal()));
    {
        const QSignalBlocker quiet(ui->StopLogBx);
        ui->StopLogBx->setChecked(monitor->stopLogAtGoal());
    }

    // The figures follow every record; the plot is redrawn at most once a
    // second, less often when a pixel of its time axis stands for longer.
    m_plotTimer->setSingleShot(true);
    connect(m_plotTimer, &QTimer::timeout, this, &StatsWindow::redrawPlot);
    connect(monitor, &BerMonitor::recorded, this, [this] {
        showFigures();
        schedulePlot();
    });
    auto redrawAll = [this] {
        showFigures();
        redrawPlot();
    };
    connect(monitor, &BerMonitor::restarted, this, redrawAll);
    connect(monitor, &BerMonitor::targetChanged, this, redrawAll);
    redrawAll();

    // Tab goes through the choices and the buttons; the plot and its legend
    // are pictures, not controls.
    for (QWidget *w : m_plot->findChildren<QWidget *>())
        w->setFocusPolicy(Qt::NoFocus);
    widgets::markKeyboardFocus(this);
}

StatsWindow::~StatsWindow()
{
    delete ui;
}

void StatsWindow::on_TargetBox_activated(int index)
{
    if (m_monitor)
        m_monitor->setTargetBer(ui->TargetBox->itemData(index).toDouble());
}

void StatsWindow::on_GoalBox_activated(int index)
{
    if (m_monitor)
        m_monitor->setGoal(ui->GoalBox->itemData(index).toDouble());
}

void StatsWindow::on_StopLogBx_toggled(bool checked)
{
    if (m_monitor)
        m_monitor->setStopLogAtGoal(checked);
}

void StatsWindow::showFigures()
{
    if (!m_monitor)
        return;
    const BerMonitor &m = *m_monitor;
    const stats::BerHistory &h = m.history();
    const double goal = m.goal();
    if (h.isEmpty()) {
        setTextIfChanged(ui->ConfidenceTxt, stats::confidenceText(0));
        ui->ConfidenceBar->setValue(0);
        setTextIfChanged(ui->NeededTxt, QString::asprintf("%0.3e bits", m.bitsStillNeeded()));
        setTextIfChanged(ui->ErrorFreeTxt, QStringLiteral("-"));
        setTextIfChanged(ui->MeasuredTxt, QStringLiteral("-"));
        setTextIfChanged(ui->VerdictTxt, tr("No measurement yet"));
        ui->VerdictTxt->setStyleSheet(QString());
        return;
    }

    const stats::Record &last = h.last();
    const double cl = m.confidence();
    setTextIfChanged(ui->ConfidenceTxt, stats::confidenceText(cl));
    const int bar = int(std::floor(cl * 1000));
    if (ui->ConfidenceBar->value() != bar)
        ui->ConfidenceBar->setValue(bar);

    const bool met = m.goalMet();
    if (met) {
        setTextIfChanged(ui->NeededTxt, tr("nothing: the goal is reached"));
    } else {
        QString needed = QString::asprintf("%0.3e bits", m.bitsStillNeeded());
        const double seconds = m.secondsStillNeeded();
        if (seconds >= 0)
            needed += QStringLiteral(", ") + stats::durationText(seconds);
        setTextIfChanged(ui->NeededTxt, needed);
    }

    setTextIfChanged(ui->ErrorFreeTxt, stats::durationText(m.errorFreeSeconds()) +
                                           QString::asprintf(", %0.3e bits", m.errorFreeBits()));
    setTextIfChanged(
        ui->MeasuredTxt,
        tr("%1 bits, %2 errors, BER %3")
            .arg(bert::countText(float(last.bits)), bert::countText(float(last.errors)),
                 bert::berText(bert::bitErrorRate(float(last.errors), float(last.bits)))));

    QString verdict;
    if (met) {
        verdict = tr("Target met: BER below %1 with %2 confidence")
                      .arg(stats::berChoiceText(m.targetBer()), goalText(goal));
        if (m.logStopped())
            verdict += tr("; test log stopped");
    } else {
        verdict = tr("Not yet: %1 confidence needed that BER is below %2")
                      .arg(goalText(goal), stats::berChoiceText(m.targetBer()));
    }
    setTextIfChanged(ui->VerdictTxt, verdict);
    const QString style = met ? QStringLiteral("color: #17803a;") : QString();
    if (ui->VerdictTxt->styleSheet() != style)
        ui->VerdictTxt->setStyleSheet(style);
}

void StatsWindow::schedulePlot()
{
#ifdef CORVANE_WITH_QWT
    if (!m_plotTimer->isActive())
        m_plotTimer->start(static_cast<BerPlot *>(m_plot)->redrawIntervalMs());
#endif
}

void StatsWindow::redrawPlot()
{
    m_plotTimer->stop();
#ifdef CORVANE_WITH_QWT
    if (m_monitor)
        static_cast<BerPlot *>(m_plot)->showHistory(m_monitor->history(), m_monitor->targetBer(),
                                                    m_monitor->goal());
#endif
}

QString StatsWindow::askPath(const QString &caption, const QString &name, const QString &filter)
{
    const QString folder =
        widgets::startFolder(QLatin1String(FolderKey), QStandardPaths::DocumentsLocation);
    return askFileName(this, caption, QDir(folder).filePath(name), filter);
}

void StatsWindow::report(const QString &path, const QString &error)
{
    const QString shown = QDir::toNativeSeparators(path);
    if (error.isEmpty()) {
        ui->MessageTxt->setStyleSheet(QString());
        ui->MessageTxt->setText(tr("Saved %1").arg(shown));
        widgets::rememberFolderOf(QLatin1String(FolderKey), path);
        qCInfo(lcStats).noquote() << "saved" << shown;
    } else {
        ui->MessageTxt->setStyleSheet(QStringLiteral("color: #c01010;"));
        ui->MessageTxt->setText(tr("Not saved: %1: %2").arg(shown, error));
        qCWarning(lcStats).noquote() << "cannot save" << shown << ":" << error;
    }
}

void StatsWindow::on_ExportCsvBtn_clicked()
{
    if (!m_monitor)
        return;
    const QString path =
        askPath(tr("Export BER history"), QStringLiteral("Corvane-BER-history.csv"),
                tr("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;
    QString error;
    widgets::saveAtomically(path, stats::historyCsv(m_monitor->history()), &error);
    report(path, error);
}

void StatsWindow::on_SavePlotBtn_clicked()
{
    if (!m_hasPlot)
        return;
    const QString path = askPath(tr("Save BER plot"), QStringLiteral("Corvane-BER-plot.png"),
                                 tr("PNG pictures (*.png)"));
    if (path.isEmpty())
        return;
    redrawPlot();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    QString error;
    if (!writer.write(m_plot->grab().toImage()))
        error = writer.errorString();
    else
        widgets::saveAtomically(path, png, &error);
    report(path, error);
}
