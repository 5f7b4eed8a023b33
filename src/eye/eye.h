// The eye-scan window: asks the instrument for a 64 x 64 scan (a request for
// the line), draws it with the eye opening, and saves the picture with the
// scan as CSV beside it. Closing the window frees it.
#pragma once
#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QWidget>
#include <functional>

#include "eye/eyelevels.h"

namespace Ui {
class Eye;
}
namespace device {
class Instrument;
}
class QGraphicsScene;
class QGraphicsPixmapItem;
class QGraphicsRectItem;
class QGraphicsTextItem;
class QTimer;

class Eye : public QWidget
{
    Q_OBJECT

public:
    explicit Eye(device::Instrument *instrument, QWidget *parent = nullptr);
    ~Eye() override;

    // Asks for the image file name, given the folder to start in; replaceable
    // so tests need no dialog. A null string means cancelled.
    std::function<QString(QWidget *parent, const QString &folder)> askImageFileName;
    // The clock of text line 3 and of the CSV header; replaceable for tests.
    std::function<QDateTime()> clock;
    // Asks whether an existing file beside the picture (the CSV a save would
    // replace) may be replaced; replaceable so tests need no dialog.
    std::function<bool(QWidget *parent, const QString &path)> askReplace;

    // The folder the save dialog starts in: that of the last image saved, else
    // the user's Pictures folder.
    static QString imageFolder();
    static constexpr char ImageFolderKey[] = "eye/imageFolder";

    // The reply of the last finished scan, as read.
    const QByteArray &eyeData() const { return EyeData; }
    // Shows a scan reply as if a scan had just collected it, and draws it.
    void setEyeData(const QByteArray &reply);
    // True while this window's scan holds the line.
    bool scanning() const;

public slots:
    void on_PlotGain_valueChanged(int);
    void on_PlotDeriv_clicked();
    void on_PlotBW_clicked();
    void on_PlotInvert_clicked();
    void on_ScanBtn_clicked();
    void on_CopyPlot_clicked();
    void PlotEye();

private:
    enum class Message { None, Scanning, Refused, Lost, SaveFailed, Info };
    void showMessage(Message kind, const QString &text = QString());
    void hideMessage();
    void report(const QString &line, bool failure = true);
    void collect(const QByteArray &reply);
    void scanCut(const QString &reason);
    bool saveImage(const QString &name, QString *why);
    bool saveCsv(const QString &name, QString *why);
    QString csvPathFor(const QString &imageName, QString *note);
    eye::ScanFacts currentFacts() const;
    double rateMbps() const;
    QString openingText() const;
    void fitMakerLine();

    Ui::Eye *ui;
    device::Instrument *m_instrument;
    QByteArray EyeData;
    QGraphicsScene *PlotScene;

    QStringList m_written; // files this window wrote (it may replace them without asking)
    QHash<QString, QString> m_keptAside; // a user's file kept -> where this window's scan went
    Message m_message = Message::None;
    QRect m_messageGeometry;    // ScanMessage as the form places it
    QString m_scanningText;     // ScanMessage's text in the form
    eye::ScanFacts m_pending;   // of the scan being taken
    eye::ScanFacts m_scanFacts; // of the scan in EyeData
    bool m_haveScan = false;    // EyeData came from a scan (or setEyeData)

    // The picture: the cells as one 64 x 64 image shown four times enlarged,
    // then the grid, the strip and the texts, kept from call to call.
    QImage m_cells;
    QGraphicsPixmapItem *m_cellItem = nullptr;
    QGraphicsRectItem *m_strip = nullptr;
    QGraphicsTextItem *m_text[3] = {};
    void buildPlot();
};
