// The BER statistics window: the history plot, the confidence that the BER is
// below the target, what the goal still needs, the optional stop of the test
// log, and the exports. It reads everything from the instrument's statistics,
// so it can be opened at any time of a run; it deletes itself when closed.
#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>

namespace Ui {
class StatsWindow;
}
class BerMonitor;
class QTimer;
namespace device {
class Instrument;
}

class StatsWindow : public QWidget
{
    Q_OBJECT

public:
    StatsWindow(device::Instrument *instrument, QWidget *parent = nullptr);
    ~StatsWindow() override;

    // Asks for the name of a file to save (caption, proposed path, filter);
    // replaceable so tests need no dialog.
    std::function<QString(QWidget *, const QString &, const QString &, const QString &)>
        askFileName;

private slots:
    void on_TargetBox_activated(int index);
    void on_GoalBox_activated(int index);
    void on_StopLogBx_toggled(bool checked);
    void on_ExportCsvBtn_clicked();
    void on_SavePlotBtn_clicked();

private:
    void showFigures();
    void schedulePlot();
    void redrawPlot();
    QString askPath(const QString &caption, const QString &name, const QString &filter);
    void report(const QString &path, const QString &error);

    Ui::StatsWindow *ui;
    QPointer<BerMonitor> m_monitor;
    QWidget *m_plot = nullptr; // the plot, or a line saying the build has none
    bool m_hasPlot = false;
    QTimer *m_plotTimer;
};
