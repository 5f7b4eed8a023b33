#include "widgets/readouttext.h"

#include <QAbstractButton>
#include <QLabel>
#include <QStyle>
#include <QTextDocument>

namespace widgets {
namespace {

// Runs `change`, which would repaint the whole widget, and repaints `area`
// instead. Qt repaints a widget when its updates are enabled again, so the
// attribute that setUpdatesEnabled() sets is set and cleared directly (the
// read-outs have no child widgets it would have to be passed on to).
template <class Change> void changeRepainting(QWidget *w, Change change, const QRect &area)
{
    w->setAttribute(Qt::WA_UpdatesDisabled, true);
    change();
    w->setAttribute(Qt::WA_UpdatesDisabled, false);
    w->update(area);
}

// Whether a widget stacked above `w` (a later sibling of it or of one of its
// ancestors) overlaps it and lets what lies beneath show through: Qt then
// repaints that widget too whenever `w` is repainted.
bool touchesSeeThroughNeighbour(const QWidget *w)
{
    QRect r = w->rect();
    for (const QWidget *c = w; c->parentWidget() && !c->isWindow(); c = c->parentWidget()) {
        r.translate(c->pos());
        const QObjectList &siblings = c->parentWidget()->children();
        for (int i = siblings.indexOf(const_cast<QWidget *>(c)) + 1; i < siblings.size(); ++i) {
            const auto *s = qobject_cast<const QWidget *>(siblings.at(i));
            if (!s || s->isWindow() || !s->isVisible() || !s->geometry().intersects(r))
                continue;
            const bool opaque =
                s->testAttribute(Qt::WA_OpaquePaintEvent) ||
                (s->autoFillBackground() && s->palette().brush(s->backgroundRole()).isOpaque());
            if (!opaque)
                return true;
        }
        r &= c->parentWidget()->rect();
    }
    return false;
}

bool showsPicture(const QLabel *label)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return !label->pixmap().isNull();
#else
    return !label->pixmap(Qt::ReturnByValue).isNull();
#endif
}

// Whether only the text's place needs repainting when the label's text changes.
bool plainSingleLine(const QLabel *label, const QString &text)
{
    if (label->wordWrap() || label->frameWidth() > 0 || label->indent() >= 0 ||
        label->textFormat() == Qt::RichText || text.contains(QLatin1Char('\n')))
        return false;
    return label->textFormat() == Qt::PlainText || !Qt::mightBeRichText(text);
}

// Where a label draws a plain single-line text: the advances of its glyphs
// and their ink (which may reach beyond), with a margin for antialiasing.
QRect textArea(const QLabel *label, const QString &text)
{
    const int m = label->margin();
    const QRect inside = label->contentsRect().adjusted(m, m, -m, -m);
    const QFontMetrics fm = label->fontMetrics();
    const QRect advances =
        label->style()->itemTextRect(fm, inside, int(label->alignment()), label->isEnabled(), text);
    const QRect ink =
        fm.tightBoundingRect(text).translated(advances.x(), advances.y() + fm.ascent());
    return (advances | ink).adjusted(-2, -2, 2, 2) & label->rect();
}

} // namespace

void setReadoutText(QLabel *label, const QString &text)
{
    const QString before = label->text();
    if (before == text)
        return;
    if (!label->isVisible() || !label->updatesEnabled() || !touchesSeeThroughNeighbour(label) ||
        showsPicture(label) || !plainSingleLine(label, before) || !plainSingleLine(label, text)) {
        label->setText(text);
        return;
    }
    const QRect area = textArea(label, before) | textArea(label, text);
    changeRepainting(
        label, [&] { label->setText(text); }, area);
}

void setReadoutText(QAbstractButton *button, const QString &text)
{
    if (button->text() == text)
        return;
    if (!button->isVisible() || !button->updatesEnabled()) {
        button->setText(text);
        return;
    }
    changeRepainting(
        button, [&] { button->setText(text); }, button->rect().adjusted(1, 1, -1, -1));
}

} // namespace widgets
