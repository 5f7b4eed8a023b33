#include "widgets/backdrop.h"

#include <QGroupBox>
#include <QImage>
#include <QPainter>

namespace widgets {
namespace {
// The group box a widget is drawn over, and the widget's rectangle in its
// coordinates.
QGroupBox *backdropOf(QWidget *w, QRect *area)
{
    if (auto *box = qobject_cast<QGroupBox *>(w->parentWidget())) {
        *area = w->geometry();
        return box;
    }
    if (!w->parentWidget())
        return nullptr;
    const auto siblings =
        w->parentWidget()->findChildren<QGroupBox *>(QString(), Qt::FindDirectChildrenOnly);
    for (QGroupBox *box : siblings) {
        if (box->geometry().contains(w->geometry())) {
            *area = w->geometry().translated(-box->pos());
            return box;
        }
    }
    return nullptr;
}
} // namespace

void fillLikeBackdrop(QWidget *readout)
{
    readout->setAutoFillBackground(false);
    readout->setPalette(QPalette()); // follow the window's palette again
    QRect area;
    QGroupBox *box = backdropOf(readout, &area);
    if (!box)
        return;
    // The group box alone, as it paints itself, without any child.
    QImage image(box->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    box->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    area &= image.rect();
    if (area.isEmpty())
        return;
    const QRgb colour = image.pixel(area.topLeft());
    if (qAlpha(colour) != 255)
        return;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = area.left(); x <= area.right(); ++x) {
            if (line[x] != colour)
                return;
        }
    }
    readout->setBackgroundRole(QPalette::Window);
    QPalette palette = readout->palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(colour));
    readout->setPalette(palette);
    readout->setAutoFillBackground(true);
}

} // namespace widgets
