// The main window: the form, the link to the instrument, the live measurement
// cycle and its controls. Its members are grouped by the file that implements
// them; what the secondary windows need is public.
#pragma once
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QPointer>
#include <QTime>
#include <QtNumeric>
#include <functional>

#include "bert/modelconfig.h"
#include "link/diagnostics.h"
#include "link/link.h"
#include "link/portcatalog.h"

namespace Ui {
class MainWindow;
}
namespace bert {
struct Measurement;
}
class QLabel;
class BerMonitor;
class StatsWindow;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // --- app/mainwindow.cpp: the shell -------------------------------------
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The link to the instrument, shared by every window.
    Link *link() const { return m_link; }
    // What the secondary windows read of the main window.
    int unitType() const { return m_unitType; }
    double lineRateMbps() const;        // the rate field (Mbit/s)
    QString eyeOpeningText() const;     // the eye button's "0.00 UI / 000 mV"
    QString instrumentIdentity() const; // the connected instrument's list entry, one line
    // Appends a line to the diagnostics box and writes it to stderr.
    void diagnostic(const QString &line, const QLoggingCategory &category = lcLink());

    // Asks for the log file name; replaceable so tests need no dialog.
    std::function<QString(QWidget *)> askLogFileName;

    // Ends the test log if it is running (the file is closed and kept).
    void stopTestLog() { stopLogging(); }
    bool testLogRunning() const { return m_logging != 0; }

    // The statistics of the running measurement (stats/mainwindow_stats.cpp).
    BerMonitor *statistics() const { return m_statistics; }

signals:
    // A search of the serial ports has ended and the port list shows its result.
    void portsSearched();
    // A valid measurement record has just been shown (and logged).
    void recordShown(const bert::Measurement &m);
    // The user asked the instrument to clear its error counter.
    void errorCounterReset();

public slots:
    // --- the secondary windows (each in its subsystem's folder) -------------
    void on_EyeButton_clicked();   // eye/mainwindow_eye.cpp
    void on_XCVRBtn_clicked();     // xcvr/mainwindow_xcvr.cpp
    void on_WaveLengBtn_clicked(); // wavelength/mainwindow_wavelength.cpp
    void on_AboutBtn_clicked();    // about/mainwindow_about.cpp
    void showStatistics();         // stats/mainwindow_stats.cpp (the chart button StatsBtn)

    // --- link/mainwindow_link.cpp: discovery and connection -----------------
    void FindSerialPorts();
    void GetUnitInfo();
    void on_PortSelBox_activated(int index);
    void on_DisConectBtn_clicked();
    void on_RefreshBtn_clicked();

    // --- bert/mainwindow_models.cpp: configuration per model ------------------
    void SetBERTType(int type);
    void on_RateRange_currentIndexChanged(int index);

    // --- bert/mainwindow_measure.cpp: the measurement cycle -----------------
    void ReceiveMeas();

    // --- bert/mainwindow_controls.cpp: rate, pattern, transmitter, reset ----
    void on_RateDial_valueChanged(int value);
    void on_RateDial_sliderPressed();
    void on_RateDial_sliderReleased();
    void on_RateSetting_editingFinished();
    void on_SliderPattern_sliderPressed();
    void on_SliderPattern_sliderReleased();
    void on_CustPatBx_returnPressed();
    void on_TxEnBtn_clicked();
    void on_ErrorReset_clicked();

    // --- bert/mainwindow_log.cpp: the test log --------------------------------
    void on_LogBtn_clicked();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    Ui::MainWindow *ui;
    Link *m_link;
    void fillReadoutBackgrounds();

    // link/mainwindow_link.cpp
    void onLinkClosed(const QString &reason);
    void showDisconnected();
    bool portListInUse() const;
    void startSession(const QString &itemText);
    void setTitleFromItem(const QString &itemText);
    void watchPortListPopup();
    void listFoundPorts(const QVector<Link::Probe> &probes);
    QList<PortEntry> m_searchedPorts;  // the ports of the search under way
    bool m_waitingForPortList = false; // a cycle found the port list open

    // bert/mainwindow_models.cpp
    void boundRateControls();
    int m_unitType = 0;
    int m_replyLength = 0; // bytes of a valid measurement record; 0 accepts none
    bert::RateTable m_rateTable;
    bert::PatternLetters m_patternLetters{};

    // bert/mainwindow_measure.cpp
    void showRecord(const bert::Measurement &m);
    void noteSilence();
    void setStale(bool stale);
    QList<QLabel *> readouts() const;
    char m_txState = '3'; // '0' off, '1' on, '3' not yet known
    float m_lastErrorCount = 0;
    bool m_resyncing = false;    // the last measurement reply was broken
    QByteArray m_reply;          // reused read buffer of the cycle
    QElapsedTimer m_sinceRecord; // since the last valid record (or the start of polling)
    qint64 m_lastRecordMs = 0;   // wall clock of the last valid record (ms since the epoch)
    bool m_stale = false;
    // The values behind the read-outs as last shown; NaN: shown afresh.
    struct Shown {
        double rx = qQNaN(), tx = qQNaN(), wavelength = qQNaN(), temperature = qQNaN();
        double bits = qQNaN(), rateMbps = qQNaN(), errors = qQNaN(), ber = qQNaN();
        double eye = qQNaN(), prbs = qQNaN();
    } m_shown;

    // bert/mainwindow_controls.cpp
    void sendPattern();
    void sendRateFromField();
    void restartPolling();
    bool m_finishingRateEdit = false;

    // bert/mainwindow_log.cpp
    void logMeasurement(qint64 rateBps, char pattern);
    void stopLogging();
    int m_logging = 0;
    QFile m_logFile;
    QTime m_lastLogTime;
    QString m_logToolTip;

    // stats/mainwindow_stats.cpp
    void setUpStatistics();
    BerMonitor *m_statistics = nullptr;
    QPointer<StatsWindow> m_statsWindow;
};
