#include "app/mainwindow.h"

#include "link/diagnostics.h"
#include "link/link.h"
#include "link/protocol.h"
#include "ui_mainwindow.h"
#include "widgets/lamps.h"

#include <QFileDialog>
#include <QSplashScreen>

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
        return QFileDialog::getSaveFileName(parent, tr("Open Log File"),
                                            QStringLiteral("/Corvane-Log.csv"),
                                            QStringLiteral("Log Files (*.txt *.csv)"));
    };

    QSplashScreen splash(QPixmap(QStringLiteral(":/new/prefix1/Splash.jpg")));
    splash.show();

    ui->setupUi(this);
    setFixedSize(size());
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
    FindSerialPorts();
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
