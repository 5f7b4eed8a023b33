#include "eye/eye.h"

#include "bert/diagnostics.h"
#include "device/instrument.h"
#include "ui_eye.h"
#include "widgets/focusmark.h"
#include "widgets/savefolder.h"
#include "widgets/settext.h"
#include "widgets/title.h"

#include <QBuffer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsPixmapItem>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QFontMetrics>
#include <QTextDocument>
#include <QImageWriter>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

namespace {
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

Eye::Eye(device::Instrument *instrument, QWidget *parent)
    : QWidget(parent, Qt::Window), ui(new Ui::Eye), m_instrument(instrument)
{
    setAttribute(Qt::WA_DeleteOnClose);
    ui->setupUi(this);
    setFixedSize(size());
    if (instrument && instrument->isConnected())
        widgets::nameAfterInstrument(this, instrument->serialNumber());

    PlotScene = new QGraphicsScene(this);
    ui->PlotWindow->setScene(PlotScene);
    ui->ScanMessage->hide();
    m_messageGeometry = ui->ScanMessage->geometry();
    m_scanningText = ui->ScanMessage->text();
    // Before anything is drawn the window shows the instrument's eye opening
    // as the main window's eye button does, not the form's placeholder.
    ui->EyeMeas->setText(openingText());

    askImageFileName = [](QWidget *parent, const QString &folder) {
        return QFileDialog::getSaveFileName(parent, Eye::tr("Save image"), folder,
                                            QStringLiteral("BMP Files (*.bmp);;JPEG (*.JPEG);;"
                                                           "PNG (*.png)"));
    };
    clock = [] { return QDateTime::currentDateTime(); };
    askReplace = [](QWidget *parent, const QString &path) {
        return QMessageBox::question(
                   parent, Eye::tr("Replace file?"),
                   Eye::tr("%1 already exists. Replace it with the scan?\n\nNo keeps it and "
                           "saves the scan under another name.")
                       .arg(QDir::toNativeSeparators(path)),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };

    // The scale of a new window is always the form's 200mV: the scale decides
    // the command ("Scan 4"), so nothing remembered may change it. The scale
    // last used with this instrument is offered as a hint.
    const QString group = instrument ? instrument->settingsGroup() : QString();
    if (!group.isEmpty()) {
        const QString key = group + QStringLiteral("/eye/lastScale");
        const QString last = QSettings().value(key).toString();
        if (!last.isEmpty() && last != ui->EyeScale->currentText())
            ui->EyeScale->setToolTip(tr("Last used with this instrument: %1").arg(last));
        connect(ui->EyeScale, &QComboBox::textActivated, this,
                [key](const QString &text) { QSettings().setValue(key, text); });
    }
    widgets::markKeyboardFocus(this);

    on_ScanBtn_clicked();
}

Eye::~Eye()
{
    // A scan still running is handed back by the instrument itself when this
    // window (its owner) is destroyed.
    delete ui;
}

bool Eye::scanning() const
{
    return m_instrument && m_instrument->holdsLine(this);
}

double Eye::rateMbps() const
{
    return m_instrument && m_instrument->hasMeasurement()
               ? m_instrument->measurement().rateBps / 1000000.0
               : 0.0;
}

QString Eye::openingText() const
{
    return m_instrument ? m_instrument->eyeOpeningText() : QStringLiteral("0.00 UI / 000 mV");
}

// --- The scan ---------------------------------------------------------------------

void Eye::on_ScanBtn_clicked()
{
    // A second press while this window's own scan runs changes nothing: the
    // window keeps saying "Scanning...".
    if (scanning())
        return;
    const double rate = rateMbps();
    if (rate < MinimumRateMbps) {
        ui->LowRateMessage->show();
        return;
    }
    // The rate is good: its message goes, and a refusal (nothing is sent and
    // no timer runs) says why instead.
    ui->LowRateMessage->hide();
    if (!m_instrument || !m_instrument->isConnected()) {
        showMessage(Message::Refused, tr("No instrument connected"));
        return;
    }
    m_pending = eye::ScanFacts();
    m_pending.rateMbps = rate;
    m_pending.scale = ui->EyeScale->currentText();
    QString refusal;
    if (!m_instrument->scanEye(
            this, ui->EyeScale->currentIndex() + 1,
            [this](const QByteArray &reply) { collect(reply); },
            [this](const QString &reason) { scanCut(reason); }, &refusal)) {
        showMessage(Message::Refused, refusal);
        return;
    }
    showMessage(Message::Scanning);
}

void Eye::collect(const QByteArray &reply)
{
    EyeData = reply;
    hideMessage();
    m_pending.opening = openingText();
    m_pending.when = clock();
    m_scanFacts = m_pending;
    m_haveScan = true;
    PlotEye();
}

void Eye::scanCut(const QString &reason)
{
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

void Eye::report(const QString &line, bool failure)
{
    if (failure)
        qCWarning(lcEye).noquote() << line;
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
        const QString colour =
            kind == Message::Info ? QStringLiteral("#1a3c8c") : QStringLiteral("#ff0000");
        label->setText(QStringLiteral("<span style=\" font-weight:600; color:%1;\">").arg(colour) +
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
    ui->EyeMeas->setText(openingText());

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
    setTextIfChanged(m_text[1], eye::horizontalLine(rateMbps(), opening));
    setTextIfChanged(m_text[2], eye::makerLine(clock()));
    fitMakerLine();
    // The scene spans its items, as it would by itself; set at once, so that
    // a picture taken before the view has caught up shows the same.
    const QRectF bounds = PlotScene->itemsBoundingRect();
    if (PlotScene->sceneRect() != bounds)
        PlotScene->setSceneRect(bounds);
}

void Eye::fitMakerLine()
{
    // The third line (address, date and time) must fit the 256-pixel picture,
    // whatever the fonts of the desktop: its font shrinks until it does.
    QFont font;
    const QString text = m_text[2]->toPlainText();
    const qreal margin = 2 * m_text[2]->document()->documentMargin();
    while (QFontMetricsF(font).horizontalAdvance(text) + margin > Area && font.pointSizeF() > 5)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    if (m_text[2]->font() != font)
        m_text[2]->setFont(font);
}

// --- Saving --------------------------------------------------------------------------------

QString Eye::imageFolder()
{
    return widgets::startFolder(QLatin1String(ImageFolderKey), QStandardPaths::PicturesLocation);
}

eye::ScanFacts Eye::currentFacts() const
{
    eye::ScanFacts facts;
    facts.rateMbps = rateMbps();
    facts.scale = ui->EyeScale->currentText();
    facts.opening = openingText();
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
    m_written << QFileInfo(name).absoluteFilePath();
    widgets::rememberFolderOf(QLatin1String(ImageFolderKey), name);
    QString note;
    const QString csv = csvPathFor(name, &note);
    if (!saveCsv(csv, &why)) {
        showMessage(Message::SaveFailed,
                    tr("Image saved, but the scan was not: %1: %2").arg(csv, why));
        report(ui->ScanMessage->toolTip());
        return;
    }
    m_written << csv;
    report(tr("Saved %1 and %2").arg(name, csv) + note, false);
    if (note.isEmpty()) {
        if (m_message == Message::SaveFailed || m_message == Message::Info)
            hideMessage();
    } else {
        // The user's own file stayed: say where the scan went.
        showMessage(Message::Info, tr("Saved %1; the scan went to %2").arg(name, csv) + note);
    }
}

QString Eye::csvPathFor(const QString &imageName, QString *note)
{
    // The scan goes beside the picture under the same name (eye.png ->
    // eye.csv). A file of that name that this window did not write is the
    // user's: it is replaced only if the user agrees, else the scan takes a
    // free name beside it.
    const QFileInfo info(imageName);
    const QString base = info.absolutePath() + QLatin1Char('/') + info.completeBaseName();
    const QString csv = base + QStringLiteral(".csv");
    QString aside = m_keptAside.value(csv);
    if (aside.isEmpty()) {
        if (!QFileInfo::exists(csv) || m_written.contains(csv) || askReplace(this, csv))
            return csv;
        for (int n = 1;; ++n) {
            aside = base + (n == 1 ? QStringLiteral("-scan.csv")
                                   : QStringLiteral("-scan-%1.csv").arg(n));
            if (!QFileInfo::exists(aside))
                break;
        }
        m_keptAside.insert(csv, aside);
    }
    *note = tr(" (%1 was kept as it was)").arg(csv);
    return aside;
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
