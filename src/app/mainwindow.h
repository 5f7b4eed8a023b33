// The main window: owns the form, the one serial port and the link state that
// every window shares, and runs the live measurement cycle.
#pragma once
#include <QFile>
#include <QMainWindow>
#include <QSerialPort>
#include <QTime>
#include <functional>

#include "bert/modelconfig.h"
#include "link/linkstate.h"

namespace Ui {
class MainWindow;
}
class QTimer;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    LinkState link;      // port, command buffer, connected/skip/pause flags, side
    Ui::MainWindow *ui;  // the form; secondary windows read a few of its controls
    int unitType = 0;    // unit type code of the recognised model
    int replyLength = 0; // bytes of a valid measurement record; 0 accepts none
    bert::RateTable rateTable;
    bert::PatternLetters patternLetters;
    char txState = '3'; // '0' off, '1' on, '3' not yet known
    float lastErrorCount = 0;
    int logging = 0;
    QFile logFile;
    QTime lastLogTime;

    // Asks for the log file name; replaceable so tests need no dialog.
    std::function<QString(QWidget *)> askLogFileName;

    // Schedules the next measurement cycle. Only one cycle is ever pending:
    // scheduling again while one waits moves it rather than adding a second.
    void scheduleMeasurement(int delayMs);
    bool measurementPending() const;

public slots:
    void SetBERTType(int type);
    void ReceiveMeas();
    void FindSerialPorts();
    void GetUnitInfo();

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

private:
    void onPortError(QSerialPort::SerialPortError error);
    void showDisconnected();
    void boundRateControls();
    void sendPattern();
    void sendRateFromField();
    void logMeasurement(qint64 rateBps, char pattern);
    void stopLogging();

    QTimer *measureTimer = nullptr;
    bool resyncing = false; // the last measurement reply was broken
    bool finishingRateEdit = false;
    QString logToolTip;
};
