#include "app/mainwindow.h"

#include "link/diagnostics.h"
#include "link/link.h"
#include "link/protocol.h"
#include "ui_mainwindow.h"
#include "widgets/backdrop.h"
#include "widgets/lamps.h"
#include "widgets/savefolder.h"

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

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), m_link(new Link(this))
{
    initResources();
    // Before any unit is recognised the dial keeps the form's 0-99 span.
    m_rateTable.entry[1] = 0;
    m_rateTable.entry[2] = 99;
    m_rateTable.count = 2;
    // Letters of the pattern list shown before any unit is recognised.
    bert::applyLetters(bert::modelRow(0), m_patternLetters);
    askLogFileName = [](QWidget *parent) {
        const QString key = QStringLiteral("log/folder");
        const QString folder = widgets::startFolder(key, QStandardPaths::DocumentsLocation);
        const QString name = QFileDialog::getSaveFileName(
            parent, tr("Open Log File"), QDir(folder).filePath(QStringLiteral("Corvane-Log.csv")),
            QStringLiteral("Log Files (*.txt *.csv)"));
        if (!name.isEmpty())
            widgets::rememberFolderOf(key, name);
        return name;
    };

    QSplashScreen splash(QPixmap(QStringLiteral(":/new/prefix1/Splash.jpg")));
    splash.show();

    ui->setupUi(this);
    setFixedSize(size());
    // A program left running for days keeps its diagnostics bounded.
    ui->DebugOut->setMaximumBlockCount(2000);
    m_logToolTip = ui->LogBtn->toolTip();

    m_link->setPollInterval(proto::PollIntervalMs);
    ui->DisConectBtn->hide();
    SetBERTType(0);

    connect(m_link, &Link::pollDue, this, &MainWindow::ReceiveMeas);
    connect(m_link, &Link::closed, this, &MainWindow::onLinkClosed);
    connect(m_link, &Link::modelRecognised, this, &MainWindow::SetBERTType);
    // Time spent by another window's exchange is not silence of the instrument.
    connect(m_link, &Link::exchangeEnded, this, [this] { m_sinceRecord.start(); });
    watchPortListPopup();
    setUpStatistics();
    connect(m_link, &Link::probesFinished, this, &MainWindow::listFoundPorts);
    // The ports are searched once the window is up: their answers take a
    // moment, and the window should not wait for them to appear.
    QTimer::singleShot(0, this, &MainWindow::FindSerialPorts);
}

MainWindow::~MainWindow()
{
    stopLogging();
    delete ui;
}

double MainWindow::lineRateMbps() const
{
    return ui->RateSetting->value();
}

QString MainWindow::eyeOpeningText() const
{
    return ui->EyeButton->text();
}

QString MainWindow::instrumentIdentity() const
{
    if (!m_link->connected())
        return QString();
    return windowTitle();
}

void MainWindow::diagnostic(const QString &line, const QLoggingCategory &category)
{
    ui->DebugOut->appendPlainText(line);
    qCInfo(category).noquote() << line;
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    fillReadoutBackgrounds();
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
