#include "app/mainwindow.h"

#include "bert/lamps.h"
#include "link/protocol.h"
#include "ui_mainwindow.h"

#include <QFileDialog>
#include <QSplashScreen>
#include <QTimer>

static void initResources()
{
    // The pictures are compiled into a static library; make sure they are linked.
    Q_INIT_RESOURCE(resources);
}

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    initResources();
    link.connected = 0;
    link.skip = 0;
    link.side = 'A';
    // Before any unit is recognised the dial keeps the form's 0-99 span.
    rateTable.entry[1] = 0;
    rateTable.entry[2] = 99;
    rateTable.count = 2;
    // Letters of the pattern list shown before any unit is recognised.
    bert::applyLetters(*bert::modelConfig(500110), patternLetters);
    askLogFileName = [](QWidget *parent) {
        return QFileDialog::getSaveFileName(parent, tr("Open Log File"),
                                            QStringLiteral("/Corvane-Log.csv"),
                                            QStringLiteral("Log Files (*.txt *.csv)"));
    };

    QSplashScreen splash(QPixmap(QStringLiteral(":/new/prefix1/Splash.jpg")));
    splash.show();

    ui->setupUi(this);
    setFixedSize(size());
    logToolTip = ui->LogBtn->toolTip();

    link.pausePolling = false;
    link.pollInterval = proto::PollIntervalMs;
    ui->DisConectBtn->hide();
    SetBERTType(0);

    measureTimer = new QTimer(this);
    measureTimer->setSingleShot(true);
    connect(measureTimer, &QTimer::timeout, this, &MainWindow::ReceiveMeas);

    link.port = new QSerialPort(this);
    connect(link.port, &QSerialPort::errorOccurred, this, &MainWindow::onPortError);
    FindSerialPorts();
}

MainWindow::~MainWindow()
{
    stopLogging();
    delete ui;
}

void MainWindow::scheduleMeasurement(int delayMs)
{
    measureTimer->start(delayMs);
}

bool MainWindow::measurementPending() const
{
    return measureTimer->isActive();
}
