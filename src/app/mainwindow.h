// The main window: the view of one instrument. It lists the instruments the
// port search found, connects the one the user picks, shows its records and
// lamps, sends what its controls ask for, runs its test log and opens the
// secondary windows for it. The instrument itself (its line, cycle, state,
// log and statistics) is a device::Instrument that no widget owns.
#pragma once
#include <QMainWindow>
#include <QPointer>
#include <QtNumeric>
#include <functional>

#include "bert/measurementrecord.h"
#include "bert/models.h"
#include "link/portsearch.h"

namespace Ui {
class MainWindow;
}
namespace device {
class Instrument;
class InstrumentPool;
enum class Transmitter;
} // namespace device
class QLabel;
class StatsWindow;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // A window with an instrument of its own, in the program's pool (or the one given).
    explicit MainWindow(QWidget *parent = nullptr);
    explicit MainWindow(device::InstrumentPool *pool, QWidget *parent = nullptr);
    ~MainWindow() override;

    device::Instrument *instrument() const { return m_instrument; }
    // The program's first window (freed when closed); with openAll, one more
    // for each further instrument its first search lists, each connected to
    // its own instrument.
    static MainWindow *openFirst(device::InstrumentPool *pool, bool openAll);

    // Connects the window's instrument to one the port search listed, as
    // picking it in the port list does.
    void connectTo(const Found &found);

    // Asks for the log file name; replaceable so tests need no dialog.
    std::function<QString(QWidget *)> askLogFileName;

signals:
    // A search of the serial ports has ended and the port list shows its result.
    void portsSearched();

public slots:
    // Slots of the form's controls (connected by object name).
    void on_EyeButton_clicked();
    void on_XCVRBtn_clicked();
    void on_WaveLengBtn_clicked();
    void on_AboutBtn_clicked();
    void showStatistics(); // the chart button StatsBtn

    void on_PortSelBox_activated(int index);
    void on_DisConectBtn_clicked();
    void on_RefreshBtn_clicked();

    void on_RateRange_currentIndexChanged(int index);

    void on_RateDial_valueChanged(int value);
    void on_RateDial_sliderPressed();
    void on_RateDial_sliderReleased();
    void on_RateSetting_editingFinished();
    void on_SliderPattern_sliderPressed();
    void on_SliderPattern_sliderReleased();
    void on_CustPatBx_returnPressed();
    void on_TxEnBtn_clicked();
    void on_ErrorReset_clicked();

    void on_LogBtn_clicked();

    // Sets the window up for a model (pattern list, rates, custom field,
    // visible controls); sends nothing.
    void configureFor(const bert::Model &model);
    // Searches the serial ports (the list reads "Searching Please Wait..." meanwhile).
    void findSerialPorts();
    // Opens another main window (Ctrl+N), for another instrument.
    void openNewWindow();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setUp();
    // The keyboard: the order Tab takes through the controls, and a visible
    // mark on whatever has the focus.
    void orderKeyboardFocus();
    void fillReadoutBackgrounds();
    void diagnostic(const QString &line);

    // mainwindow_link.cpp: the port list, connecting, the session's end.
    void listFoundPorts(const QVector<Found> &results);
    void relistPorts();
    void onConnected();
    void onDisconnected(const QString &reason);
    void showTitle();
    void watchPortListPopup();
    bool m_searchRequested = false; // this window asked for the search under way

    // mainwindow_models.cpp
    void boundRateControls();
    bert::RateTable m_rateTable;
    const bert::Model *m_configured = nullptr; // the model the window is set up for

    // mainwindow_measure.cpp: what a record shows.
    void showRecord(const bert::Measurement &m);
    void showTransmitter(device::Transmitter tx);
    void showStale(bool stale);
    // The values behind the read-outs as last shown; NaN: shown afresh.
    struct Shown {
        double rx = qQNaN(), tx = qQNaN(), wavelength = qQNaN(), temperature = qQNaN();
        double bits = qQNaN(), rateMbps = qQNaN(), errors = qQNaN(), ber = qQNaN();
        double eye = qQNaN(), prbs = qQNaN();
    } m_shown;

    // mainwindow_controls.cpp
    void sendRateFromField();
    void showRateRefusal(const QString &reason);
    bool m_finishingRateEdit = false;
    double m_rateAtFocusIn = 0; // the rate field's value when it took the focus
    QString m_rateToolTip;

    // mainwindow_log.cpp
    void showLogLamp();
    void onLogStopped(const QString &reason);
    QString m_logToolTip;

    // mainwindow_windows.cpp
    void addStatisticsButton();
    void addNewWindowAction();
    void addRemoteIndicator();
    void showRemoteStatus();
    QLabel *m_remote = nullptr;
    QPointer<StatsWindow> m_statsWindow;

    Ui::MainWindow *ui;
    device::InstrumentPool *m_pool;
    device::Instrument *m_instrument;
};
