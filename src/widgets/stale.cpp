#include "widgets/stale.h"

#include <QAbstractButton>
#include <QApplication>
#include <QIcon>

namespace widgets {
namespace {
const char StaleProperty[] = "corvaneStale";
const char IconProperty[] = "corvaneLiveIcon";
} // namespace

void showStale(QAbstractButton *button, bool stale)
{
    if (looksStale(button) == stale)
        return;
    button->setProperty(StaleProperty, stale);
    // Only the text roles change: the palette may carry a background of its own.
    QPalette palette = button->palette();
    const QPalette base = QApplication::palette(button);
    for (QPalette::ColorRole role : {QPalette::ButtonText, QPalette::WindowText, QPalette::Text}) {
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            palette.setColor(group, role,
                             stale ? base.color(QPalette::Disabled, role) : base.color(group, role));
        }
    }
    button->setPalette(palette);
    if (stale) {
        const QIcon live = button->icon();
        button->setProperty(IconProperty, QVariant::fromValue(live));
        QIcon grey;
        for (const QSize &size : live.availableSizes())
            grey.addPixmap(live.pixmap(size, QIcon::Disabled));
        if (grey.isNull())
            grey.addPixmap(live.pixmap(button->iconSize(), QIcon::Disabled));
        button->setIcon(grey);
    } else {
        const QVariant live = button->property(IconProperty);
        if (live.isValid())
            button->setIcon(live.value<QIcon>());
        button->setProperty(IconProperty, QVariant());
    }
}

bool looksStale(const QAbstractButton *button)
{
    return button->property(StaleProperty).toBool();
}

} // namespace widgets
