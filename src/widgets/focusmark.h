// A visible mark on the control that has the keyboard focus, the same in every
// window and with every style: some styles draw no focus rectangle at all on a
// command-link button (Tx, Utilities, Log, Refresh, Read, Clear ...), and a
// user who moves through a window with Tab has to see where the focus is.
#pragma once

class QWidget;

namespace widgets {

// Marks, from now on, whichever of the window's controls that take the focus
// by Tab has the focus: a frame of two pixels in the palette's highlight
// colour, drawn over the control's own picture, inside its rectangle. Call it
// once at the end of a window's set-up (controls added later are not marked).
void markKeyboardFocus(QWidget *window);

} // namespace widgets
