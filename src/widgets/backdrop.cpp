#include "widgets/backdrop.h"

#include <QGroupBox>
#include <QImage>
#include <QPainter>
#include <QVector>
#include <algorithm>

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
// Makes the read-out fill its background with the colour of `area` of the
// backdrop's image if that area is all one opaque colour.
void fillWhenPlain(QWidget *readout, const QImage &image, const QRect &area)
{
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
} // namespace

void fillLikeBackdrop(const QVector<QWidget *> &readouts)
{
    // The read-outs over each group box, and their rectangles in its coordinates.
    struct Backdrop {
        QGroupBox *box;
        QVector<QPair<QWidget *, QRect>> readouts;
        QRect bounds;
    };
    QVector<Backdrop> backdrops;
    for (QWidget *readout : readouts) {
        readout->setAutoFillBackground(false);
        readout->setPalette(QPalette()); // follow the window's palette again
        QRect area;
        QGroupBox *box = backdropOf(readout, &area);
        if (!box)
            continue;
        area &= box->rect();
        if (area.isEmpty())
            continue;
        auto it = std::find_if(backdrops.begin(), backdrops.end(),
                               [box](const Backdrop &b) { return b.box == box; });
        if (it == backdrops.end())
            it = backdrops.insert(backdrops.end(), Backdrop{box, {}, QRect()});
        it->readouts.append({readout, area});
        it->bounds |= area;
    }
    for (const Backdrop &b : qAsConst(backdrops)) {
        // The group box alone, as it paints itself without any child, over the
        // read-outs only and once for all of them: this runs before the
        // window first appears.
        QImage image(b.bounds.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        b.box->render(&image, QPoint(), QRegion(b.bounds), QWidget::DrawWindowBackground);
        for (const auto &r : b.readouts)
            fillWhenPlain(r.first, image, r.second.translated(-b.bounds.topLeft()));
    }
}

void fillLikeBackdrop(QWidget *readout)
{
    fillLikeBackdrop(QVector<QWidget *>{readout});
}

} // namespace widgets
