#include "app/mainwindow.h"

#include "bert/diagnostics.h"
#include "device/instrument.h"
#include "device/instrumentpool.h"
#include "device/testlogfile.h"
#include "ui_mainwindow.h"
#include "widgets/backdrop.h"
#include "widgets/lamps.h"
#include "widgets/savefolder.h"
#include "widgets/startmarks.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QSplashScreen>
#include <QStandardPaths>
#include <QTimer>

static void initResources()
{
    // The pictures are compiled into a static library; make sure they are linked.
    Q_INIT_RESOURCE(resources);
}

MainWindow::MainWindow(QWidget *parent) : MainWindow(nullptr, parent) {}

MainWindow::MainWindow(device::InstrumentPool *pool, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow),
      m_pool(pool ? pool : device::InstrumentPool::instance()),
      m_instrument(new device::Instrument(this))
{
    initResources();
    m_pool->add(m_instrument);
    // Before any model is recognised the dial keeps the form's 0-99 span.
    m_rateTable.entry[1] = 0;
    m_rateTable.entry[2] = 99;
    m_rateTable.count = 2;
    askLogFileName = [](QWidget *parent) {
        const QString key = QStringLiteral("log/folder");
        const QString folder = widgets::startFolder(key, QStandardPaths::DocumentsLocation);
        return QFileDialog::getSaveFileName(
            parent, tr("Open Log File"), QDir(folder).filePath(QStringLiteral("Corvane-Log.csv")),
            QStringLiteral("Log Files (*.txt *.csv)"));
    };

    startmarks::mark("window: members");
    QPixmap splashPicture(QStringLiteral(":/new/prefix1/Splash.jpg"));
    startmarks::mark("window: splash picture loaded");
    QSplashScreen splash(splashPicture);
    splash.show();
    startmarks::mark("window: splash shown");

    ui->setupUi(this);
    startmarks::mark("window: form set up");
    setFixedSize(size());
    // A program left running for days keeps its diagnostics bounded.
    ui->DebugOut->setMaximumBlockCount(2000);
    m_logToolTip = ui->LogBtn->toolTip();
    m_rateToolTip = ui->RateSetting->toolTip();
    ui->DisConectBtn->hide();
    configureFor(bert::noModel());
    startmarks::mark("window: configured for no model");
    setUp();
    startmarks::mark("window: connections, added controls");
    // The ports are searched once the window is up: their answers take a
    // moment, and the window should not wait for them to appear. A further
    // window of the program lists what the last search found (Refresh
    // searches again), so that one search serves every window.
    if (m_pool->hasSearched())
        QTimer::singleShot(0, this, [this] { listFoundPorts(m_pool->lastSearch()); });
    else
        QTimer::singleShot(0, this, [this] {
            startmarks::mark("port search starts");
            findSerialPorts();
            startmarks::mark("port search under way");
        });
}

void MainWindow::setUp()
{
    device::Instrument *inst = m_instrument;
    connect(inst, &device::Instrument::modelChanged, this, &MainWindow::configureFor);
    connect(inst, &device::Instrument::connected, this, &MainWindow::onConnected);
    connect(inst, &device::Instrument::disconnected, this, &MainWindow::onDisconnected);
    connect(inst, &device::Instrument::identified, this, [this] {
        // The entry of the same text becomes the current one, if the list has it.
        const int index = ui->PortSelBox->findText(m_instrument->entryText(),
                                                   Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index >= 0)
            ui->PortSelBox->setCurrentIndex(index);
        showTitle();
    });
    connect(inst, &device::Instrument::sideChanged, this, &MainWindow::showTitle);
    connect(inst, &device::Instrument::measured, this, &MainWindow::showRecord);
    connect(inst, &device::Instrument::staleChanged, this, &MainWindow::showStale);
    connect(inst, &device::Instrument::transmitterChanged, this, &MainWindow::showTransmitter);
    connect(inst, &device::Instrument::rateRefused, this, &MainWindow::showRateRefusal);
    connect(inst, &device::Instrument::diagnostic, this, &MainWindow::diagnostic);
    connect(inst->testLog(), &device::TestLogFile::stopped, this, &MainWindow::onLogStopped);
    connect(m_pool, &device::InstrumentPool::searchFinished, this, &MainWindow::listFoundPorts);
    // Another window taking or giving back an instrument changes what this
    // window's list offers.
    connect(m_pool, &device::InstrumentPool::instrumentsChanged, this, &MainWindow::relistPorts);
    watchPortListPopup();
    addStatisticsButton();
    addNewWindowAction();
    addRemoteIndicator();
    ui->RateSetting->installEventFilter(this);
    orderKeyboardFocus();
}

void MainWindow::orderKeyboardFocus() {}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->RateSetting && event->type() == QEvent::FocusIn)
        m_rateAtFocusIn = ui->RateSetting->value();
    return QMainWindow::eventFilter(watched, event);
}

MainWindow::~MainWindow()
{
    // The secondary windows go first (they are views of the instrument), then
    // the instrument: its log is closed, its port too.
    const auto children = findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *child : children)
        if (child->isWindow())
            delete child;
    delete m_instrument;
    m_instrument = nullptr;
    delete ui;
}

void MainWindow::diagnostic(const QString &line)
{
    ui->DebugOut->appendPlainText(line);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    startmarks::watchWindow(this);
    startmarks::mark("window: show event");
    fillReadoutBackgrounds();
    startmarks::mark("window: read-out backgrounds filled");
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if ((event->type() == QEvent::StyleChange || event->type() == QEvent::PaletteChange) &&
        isVisible())
        fillReadoutBackgrounds();
}

void MainWindow::fillReadoutBackgrounds()
{
    // The read-outs the measurement cycle rewrites: painting their own plain
    // background spares the group boxes beneath a repaint at every record.
    for (QWidget *w : std::initializer_list<QWidget *>{ui->BERText, ui->ErrorCntTxt, ui->CountTxt,
                                                       ui->TimeTxt, ui->RxPowTxt, ui->TempTxt,
                                                       ui->EyeButton, ui->TxEnBtn, ui->WaveLengBtn})
        widgets::fillLikeBackdrop(w);
}
