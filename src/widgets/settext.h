// Setting a text repaints the widget and lays its text out again even when the
// text is the same. Read-outs that are set on every record (ten times a
// second) are given a new text only when it differs.
#pragma once

#include <QGraphicsTextItem>
#include <QString>

namespace widgets {

// For labels, buttons and anything else with text() and setText().
template <class W> void setTextIfChanged(W *w, const QString &text)
{
    if (w->text() != text)
        w->setText(text);
}

inline void setTextIfChanged(QGraphicsTextItem *item, const QString &text)
{
    if (item->toPlainText() != text)
        item->setPlainText(text);
}

} // namespace widgets
