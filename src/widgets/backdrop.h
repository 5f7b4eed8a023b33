// Read-outs that change ten times a second are transparent labels and buttons
// drawn over group boxes. Each change then repaints the group box beneath as
// well (its frame, its title), which costs more than the read-out itself. When
// the group box's interior is a plain colour under a read-out, the read-out can
// fill its own background with that colour instead: it looks the same, and only
// the read-out is repainted.
#pragma once

#include <QVector>

class QWidget;

namespace widgets {

// Makes `readout` paint its own background if the group box beneath it (its
// parent, or a sibling group box that contains it) is one plain colour over the
// whole area of the read-out; otherwise leaves it transparent. Call again when
// the style or palette changes.
void fillLikeBackdrop(QWidget *readout);
// The same for several read-outs, each group box beneath them painted once.
void fillLikeBackdrop(const QVector<QWidget *> &readouts);

} // namespace widgets
