#include "widgets/focusmark.h"

#include <QEvent>
#include <QPainter>
#include <QPointer>
#include <QWidget>

namespace widgets {
namespace {

QColor markColour(const QWidget *control)
{
    return control->palette().color(QPalette::Active, QPalette::Highlight);
}

// Paints the mark after the control has painted itself: the control's paint
// event is handed to it here, then the frame goes on top. QWidget::grab()
// paints through the same event, so a grabbed control shows its mark too.
class FocusMark : public QObject
{
public:
    explicit FocusMark(QWidget *window) : QObject(window) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint || !watched->isWidgetType())
            return false;
        auto *control = static_cast<QWidget *>(watched);
        if (!control->hasFocus() || !control->isEnabled())
            return false;
        watched->event(event); // the control's own picture
        QPainter p(control);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(markColour(control), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(control->rect()).adjusted(1, 1, -1, -1), 3, 3);
        return true;
    }
};

} // namespace

void markKeyboardFocus(QWidget *window)
{
    auto *mark = new FocusMark(window);
    const auto controls = window->findChildren<QWidget *>();
    for (QWidget *control : controls) {
        // A focus proxy (the field inside a spin box) gives its focus to the
        // control that owns it: that control is marked.
        if ((control->focusPolicy() & Qt::TabFocus) && !control->focusProxy())
            control->installEventFilter(mark);
    }
}

} // namespace widgets
