#include "eye/eye.h"

#include "app/mainwindow.h"
#include "link/diagnostics.h"
#include "link/link.h"
#include "link/protocol.h"
#include "ui_eye.h"
#include "widgets/savefolder.h"
#include "widgets/settext.h"

#include <QBuffer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsPixmapItem>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QImageWriter>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

namespace {
// The scan chain's timing.
constexpr int FirstStepMs = 200; // after the click: the command goes out
constexpr int StepMs = 40;       // then the port is polled this often
constexpr int LastStep = 99;     // a step counter above this collects the reply
constexpr int MinimumRateMbps = 4975;

// The eye area and the grid over it.
constexpr int Cell = 4;
constexpr int Area = eye::Size * Cell; // 256
const QColor GridColour(0, 153, 255, 128);
const QColor StripColour(130, 135, 144);
constexpr qreal TextTop = 252;
constexpr qreal TextStep = 14;

using widgets::setTextIfChanged;
} // namespace

Eye::Eye(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::Eye), MainWin(qobject_cast<MainWindow *>(parent))
{
    ui->setupUi(this);
    setFixedSize(size());

    PlotScene = new QGraphicsScene(this);
    ui->PlotWindow->setScene(PlotScene);
    ui->ScanMessage->hide();
    m_messageGeometry = ui->ScanMessage->geometry();
    m_scanningText = ui->ScanMessage->text();

    m_step = new QTimer(this);
    m_step->setSingleShot(true);
    m_step->setTimerType(Qt::PreciseTimer);
    connect(m_step, &QTimer::timeout, this, &Eye::ReceiveData);
    if (MainWin)
        connect(MainWin->link(), &Link::exchangeEnded, this, &Eye::scanCut);

    askImageFileName = [](QWidget *parent, const QString &folder) {
        return QFileDialog::getSaveFileName(parent, Eye::tr("Save image"), folder,
                                            QStringLiteral("BMP Files (*.bmp);;JPEG (*.JPEG);;"
                                                           "PNG (*.png)"));
    };
    clock = [] { return QDateTime::currentDateTime(); };

    // The scale chosen last time (in any eye window) is the scale of the next
    // scan; the form's 200mV until one was chosen.
    const int scale =
        QSettings().value(QLatin1String(ScaleKey), ui->EyeScale->currentIndex()).toInt();
    if (scale >= 0 && scale < ui->EyeScale->count())
        ui->EyeScale->setCurrentIndex(scale);
    connect(ui->EyeScale, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [](int index) { QSettings().setValue(QLatin1String(ScaleKey), index); });

    on_ScanBtn_clicked();
}

Eye::~Eye()
{
    // The link may be gone already (it is destroyed with the main window,
    // before its other children): a scan still running is handed back by the
    // link itself when this window is destroyed.
    delete ui;
}

bool Eye::scanning() const
{
    return MainWin && MainWin->link()->holds(this);
}

// --- The scan ---------------------------------------------------------------------

void Eye::on_ScanBtn_clicked()
{
    const double rate = MainWin ? MainWin->lineRateMbps() : 0;
    if (rate < MinimumRateMbps) {
        ui->LowRateMessage->show();
        return;
    }
    // The rate is good: its message goes, and a refusal (nothing is sent and
    // no timer runs) says why instead.
    ui->LowRateMessage->hide();
    Link *link = MainWin->link();
    if (!link->connected()) {
        showMessage(Message::Refused, tr("No instrument connected"));
        return;
    }
    QString refusal;
    if (!link->beginExchange(this, tr("the eye scan"), &refusal)) {
        showMessage(Message::Refused, refusal);
        return;
    }
    showMessage(Message::Scanning);
    m_pending = eye::ScanFacts();
    m_pending.rateMbps = rate;
    ScanStep = 0;
    m_step->start(FirstStepMs);
}

void Eye::ReceiveData()
{
    if (!scanning())
        return; // the chain was cut (the instrument went away)
    Link *link = MainWin->link();
    if (ScanStep == 0) {
        ReplyBuffer = link->readAll(); // leftovers of the measurement cycle
        m_pending.scale = ui->EyeScale->currentText();
        link->send(QString::asprintf(proto::Scan, unsigned(ui->EyeScale->currentIndex() + 1)));
        if (!scanning())
            return; // the write lost the instrument
    } else if (ScanStep > LastStep) {
        ReplyBuffer = link->readAll();
        EyeData = ReplyBuffer;
        hideMessage();
        m_pending.opening = MainWin->eyeOpeningText();
        m_pending.when = clock();
        m_scanFacts = m_pending;
        m_haveScan = true;
        PlotEye();
        link->endExchange(this); // polling resumes 100 ms later
        ++ScanStep;
        return;
    }
    m_step->start(StepMs);
    if (link->bytesAvailable() > proto::ScanReplyLength - 1)
        ScanStep = LastStep + 2; // collected by the step just scheduled
    else
        ++ScanStep;
}

void Eye::scanCut(QObject *owner, const QString &reason)
{
    // Our own hand-back says nothing; a reason means the line was taken away.
    if (owner != this || reason.isEmpty())
        return;
    m_step->stop();
    ScanStep = LastStep + 2;
    showMessage(Message::Lost, tr("Scan stopped: %1").arg(reason));
    report(ui->ScanMessage->toolTip());
}

void Eye::setEyeData(const QByteArray &reply)
{
    EyeData = reply;
    m_scanFacts = currentFacts();
    m_haveScan = true;
    PlotEye();
}

// --- Messages over the plot ------------------------------------------------------------

void Eye::report(const QString &line)
{
    // In the main window's diagnostics box and on stderr.
    if (MainWin)
        MainWin->diagnostic(line, lcEye());
    else
        qCInfo(lcEye).noquote() << line;
}

void Eye::showMessage(Message kind, const QString &text)
{
    QLabel *label = ui->ScanMessage;
    m_message = kind;
    if (kind == Message::Scanning) {
        label->setStyleSheet(QString());
        label->setWordWrap(false);
        label->setAlignment(Qt::AlignLeading | Qt::AlignLeft | Qt::AlignVCenter);
        label->setGeometry(m_messageGeometry);
        label->setText(m_scanningText);
    } else {
        // Longer texts: wrapped across the plot, on a pale ground so that the
        // red stays readable over a yellow eye.
        label->setStyleSheet(
            QStringLiteral("QLabel { background-color: rgba(255, 255, 255, 220); }"));
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignCenter);
        label->setText(QStringLiteral("<span style=\" font-weight:600; color:#ff0000;\">") +
                       text.toHtmlEscaped() + QStringLiteral("</span>"));
        const int width = Area - 2 * Cell;
        const int height = qMax(m_messageGeometry.height(), label->heightForWidth(width) + 8);
        label->setGeometry(Cell, m_messageGeometry.center().y() - height / 2, width, height);
    }
    label->setToolTip(kind == Message::Scanning ? QString() : text);
    label->show();
    label->raise();
}

void Eye::hideMessage()
{
    m_message = Message::None;
    ui->ScanMessage->hide();
}

// --- The picture ---------------------------------------------------------------------------

void Eye::on_PlotGain_valueChanged(int)
{
    PlotEye();
}

void Eye::on_PlotDeriv_clicked()
{
    PlotEye();
}

void Eye::on_PlotBW_clicked()
{
    PlotEye();
}

void Eye::on_PlotInvert_clicked()
{
    PlotEye();
}

void Eye::buildPlot()
{
    // The 4096 cells are one 64 x 64 image of palette indices, L -> (L, L, 0),
    // shown four times enlarged without smoothing: the same pixels as 4096
    // filled 4 x 4 squares, for the cost of one item.
    m_cells = QImage(eye::Size, eye::Size, QImage::Format_Indexed8);
    QVector<QRgb> palette(256);
    for (int l = 0; l < 256; ++l)
        palette[l] = qRgb(l, l, 0);
    m_cells.setColorTable(palette);
    m_cellItem = PlotScene->addPixmap(QPixmap());
    m_cellItem->setTransformationMode(Qt::FastTransformation);
    m_cellItem->setScale(Cell);

    QPen pen(GridColour);
    pen.setWidth(1);
    PlotScene->addLine(Area / 2, 0, Area / 2, Area, pen);
    PlotScene->addLine(0, Area / 2, Area, Area / 2, pen);
    pen.setDashPattern({2, 4});
    for (int at : {Area / 4, Area * 3 / 4})
        PlotScene->addLine(at, 0, at, Area, pen);
    for (int at : {Area / 4, Area * 3 / 4})
        PlotScene->addLine(0, at, Area, at, pen);

    pen.setColor(StripColour);
    m_strip = PlotScene->addRect(0, Area, Area, ui->PlotWindow->height() - Area, pen,
                                 QBrush(StripColour));
    for (int i = 0; i < 3; ++i) {
        m_text[i] = PlotScene->addText(QString(), QFont());
        m_text[i]->setPos(0, TextTop + i * TextStep);
    }
}

void Eye::PlotEye()
{
    // The scene is built once; each call refreshes what can change: the
    // cells, the strip's height and the texts.
    if (!m_cellItem)
        buildPlot();
    if (MainWin)
        ui->EyeMeas->setText(MainWin->eyeOpeningText());

    eye::Shading shading;
    shading.gain = ui->PlotGain->value();
    shading.derivative = ui->PlotDeriv->isChecked();
    shading.blackWhite = ui->PlotBW->isChecked();
    shading.invert = ui->PlotInvert->isChecked();
    const eye::Levels levels = eye::levels(EyeData, shading);
    for (int y = 0; y < eye::Size; ++y)
        memcpy(m_cells.scanLine(y), levels.data() + y * eye::Size, eye::Size);
    m_cellItem->setPixmap(QPixmap::fromImage(m_cells));

    const QRectF strip(0, Area, Area, ui->PlotWindow->height() - Area);
    if (m_strip->rect() != strip)
        m_strip->setRect(strip);

    const QString opening = ui->EyeMeas->text();
    setTextIfChanged(m_text[0], eye::verticalLine(ui->EyeScale->currentText(), opening));
    setTextIfChanged(m_text[1],
                     eye::horizontalLine(MainWin ? MainWin->lineRateMbps() : 0, opening));
    setTextIfChanged(m_text[2], eye::makerLine(clock()));
}

// --- Saving --------------------------------------------------------------------------------

QString Eye::imageFolder()
{
    return widgets::startFolder(QLatin1String(ImageFolderKey), QStandardPaths::PicturesLocation);
}

eye::ScanFacts Eye::currentFacts() const
{
    eye::ScanFacts facts;
    facts.rateMbps = MainWin ? MainWin->lineRateMbps() : 0;
    facts.scale = ui->EyeScale->currentText();
    facts.opening = MainWin ? MainWin->eyeOpeningText() : QString();
    facts.when = clock();
    return facts;
}

void Eye::on_CopyPlot_clicked()
{
    const QString name = askImageFileName(this, imageFolder());
    if (name.isEmpty())
        return;
    QString why;
    if (!saveImage(name, &why)) {
        showMessage(Message::SaveFailed, tr("Image not saved: %1: %2").arg(name, why));
        report(ui->ScanMessage->toolTip());
        return;
    }
    const QFileInfo info(name);
    widgets::rememberFolderOf(QLatin1String(ImageFolderKey), name);
    const QString csv =
        info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".csv");
    if (!saveCsv(csv, &why)) {
        showMessage(Message::SaveFailed,
                    tr("Image saved, but the scan was not: %1: %2").arg(csv, why));
        report(ui->ScanMessage->toolTip());
        return;
    }
    report(tr("Saved %1 and %2").arg(name, csv));
    if (m_message == Message::SaveFailed)
        hideMessage();
}

bool Eye::saveImage(const QString &name, QString *why)
{
    // The format follows the suffix, as QPixmap::save would choose it; an
    // unknown one is refused before anything is written.
    const QByteArray format = QFileInfo(name).suffix().toLower().toLatin1();
    if (format.isEmpty()) {
        *why = tr("the name has no suffix (.bmp, .jpeg or .png)");
        return false;
    }
    if (!QImageWriter::supportedImageFormats().contains(format)) {
        *why = tr("no image type is known by the suffix .%1 (use .bmp, .jpeg or .png)")
                   .arg(QString::fromLatin1(format));
        return false;
    }
    const QImage shot = ui->PlotWindow->grab().toImage();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(shot)) {
        *why = writer.errorString();
        return false;
    }
    return widgets::saveAtomically(name, bytes, why);
}

bool Eye::saveCsv(const QString &name, QString *why)
{
    return widgets::saveAtomically(
        name, eye::scanCsv(EyeData, m_haveScan ? m_scanFacts : currentFacts()), why);
}
