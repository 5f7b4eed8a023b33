#include "app/mainwindow.h"

#include "bert/diagnostics.h"
#include "device/instrument.h"
#include "device/instrumentpool.h"
#include "device/testlogfile.h"
#include "ui_mainwindow.h"
#include "widgets/backdrop.h"
#include "widgets/focusmark.h"
#include "widgets/lamps.h"
#include "widgets/savefolder.h"
#include "widgets/startmarks.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QSplashScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QWindow>

namespace {
// Runs `then` once, right after the window's first paint on screen: at once
// when the window is hidden or already exposed, else after its first
// exposure has been painted, or after ExposeWaitMs if it is shown but never
// exposed (started minimised, or on another desktop).
class AfterFirstPaint : public QObject
{
public:
    static constexpr int ExposeWaitMs = 250;

    AfterFirstPaint(QWidget *window, std::function<void()> then)
        : QObject(window), m_then(std::move(then))
    {
        window->windowHandle()->installEventFilter(this);
        QTimer::singleShot(ExposeWaitMs, this, &AfterFirstPaint::run);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        // The exposure is painted when its event has been handled; what the
        // paint left for the event loop goes first too.
        if (event->type() == QEvent::Expose)
            QTimer::singleShot(0, this,
                               [this] { QTimer::singleShot(0, this, &AfterFirstPaint::run); });
        return false;
    }

private:
    void run()
    {
        if (!m_then)
            return;
        const std::function<void()> then = std::move(m_then);
        m_then = nullptr;
        deleteLater();
        then();
    }
    std::function<void()> m_then;
};

void afterFirstPaint(QWidget *window, std::function<void()> then)
{
    if (!window->isVisible() || !window->windowHandle() || window->windowHandle()->isExposed())
        then();
    else
        new AfterFirstPaint(window, std::move(then));
}

void fixReadoutSizes(Ui::MainWindow *ui)
{
    // The window has no layouts: the read-outs keep the form's geometry
    // anyway. With their sizes fixed, a new text no longer asks their parent
    // for a layout pass (a posted event, and a wake-up of the event loop) at
    // every record.
    for (QWidget *w : std::initializer_list<QWidget *>{ui->BERText, ui->ErrorCntTxt, ui->CountTxt,
                                                       ui->TimeTxt, ui->RxPowTxt, ui->TempTxt,
                                                       ui->EyeButton, ui->TxEnBtn, ui->WaveLengBtn})
        w->setFixedSize(w->size());
}
} // namespace

// The program's age when its first window is built beyond which the splash
// picture is shown meanwhile.
constexpr double SplashAfterMs = 100;

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

    // The splash picture covers the building of the program's first window
    // when the program has been slow to start (cold disk caches, a loaded or
    // remote display), and the building will be slow too. Otherwise the
    // window is up some 20 ms after the splash would be: the splash would
    // only flash on screen, and cost the start 5-10 ms (decoding the picture,
    // a window of its own painted at once).
    static bool firstWindow = true;
    std::unique_ptr<QSplashScreen> splash;
    if (firstWindow && startmarks::processAgeMs() > SplashAfterMs) {
        splash =
            std::make_unique<QSplashScreen>(QPixmap(QStringLiteral(":/new/prefix1/Splash.jpg")));
        splash->show();
        startmarks::mark("window: splash shown");
    }
    firstWindow = false;
    startmarks::mark("window: members");

    {
        // Each command link button of the form asks the style for its default
        // arrow icon when it is made, which on X11 searches the desktop's icon
        // theme (its index files and folders: a quarter of the form's set-up
        // the first time). Every one of them is then given its own icon by
        // the form, so the search is skipped here: the style draws the same
        // pictures either way, and windows opened later search when they need it.
        const bool aware = QGuiApplication::desktopSettingsAware();
        QGuiApplication::setDesktopSettingsAware(false);
        ui->setupUi(this);
        QGuiApplication::setDesktopSettingsAware(aware);
    }
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
    fixReadoutSizes(ui);
    startmarks::mark("window: connections, added controls");
    // The ports are searched once the window is on screen: their answers
    // take a moment, and the window should not wait for them to appear (nor
    // its first paint for the ports to be listed and opened, which takes a
    // good part of the start-up's time). A further window of the program
    // lists what the last search found (Refresh searches again), so that one
    // search serves every window.
    if (m_pool->hasSearched()) {
        QTimer::singleShot(0, this, [this] { listFoundPorts(m_pool->lastSearch()); });
    } else {
        // The list says so from the first paint on, as the search will.
        if (!m_pool->searching()) {
            ui->PortSelBox->clear();
            ui->PortSelBox->addItem(tr("Searching Please Wait..."));
        }
        QTimer::singleShot(0, this, [this] {
            afterFirstPaint(this, [this] {
                startmarks::mark("port search starts");
                findSerialPorts();
                startmarks::mark("port search under way");
            });
        });
    }
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

void MainWindow::orderKeyboardFocus()
{
    // Tab goes through the areas in reading order: BERT, rate, pattern,
    // transceiver, system; within an area top to bottom, left to right. A
    // control hidden for the model or the state (the range selector, the
    // eye button, Disconnect) is passed over.
    QWidget *const order[] = {findChild<QWidget *>(QStringLiteral("StatsBtn")),
                              ui->ErrorReset,
                              ui->RateDial,
                              ui->RateRange,
                              ui->RateSetting,
                              ui->StandRates,
                              ui->SliderPattern,
                              ui->CustPatBx,
                              ui->EyeButton,
                              ui->TxEnBtn,
                              ui->WaveLengBtn,
                              ui->XCVRBtn,
                              ui->RefreshBtn,
                              ui->PortSelBox,
                              ui->DisConectBtn,
                              ui->LogBtn,
                              ui->AboutBtn};
    QWidget *previous = nullptr;
    for (QWidget *control : order) {
        if (previous)
            setTabOrder(previous, control);
        previous = control;
    }
    // The first thing to do is to pick an instrument: the port list has the
    // focus when the window opens.
    ui->PortSelBox->setFocus(Qt::OtherFocusReason);
    widgets::markKeyboardFocus(this);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->RateSetting && event->type() == QEvent::FocusIn)
        m_rateAtFocusIn = ui->RateSetting->value();
    return QMainWindow::eventFilter(watched, event);
}

MainWindow::~MainWindow()
{
    // Nothing the pool says concerns this window any more; the secondary
    // windows go first (they are views of the instrument), then the
    // instrument: its log is closed, its port too.
    disconnect(m_pool, nullptr, this, nullptr);
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
    widgets::fillLikeBackdrop({ui->BERText, ui->ErrorCntTxt, ui->CountTxt, ui->TimeTxt,
                               ui->RxPowTxt, ui->TempTxt, ui->EyeButton, ui->TxEnBtn,
                               ui->WaveLengBtn});
}
