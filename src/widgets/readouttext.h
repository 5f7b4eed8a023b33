// The read-outs of the main window change their text up to ten times a
// second. Setting a text repaints the whole widget, and a read-out laid over
// a group box touches some neighbours by a pixel in the form's geometry (the
// eye-opening button's top row is the bottom row of the Signal and Sync
// lamps and labels): a repaint of the whole read-out repaints those
// neighbours as well, a text layout each, at every record. These setters
// repaint only where the text is drawn, which no neighbour overlaps, when a
// neighbour that lets what is beneath show through touches the read-out (a
// read-out touched by none, or only by opaque ones, is repainted alone anyway,
// and costs less so); what is on screen is the same.
#pragma once

class QAbstractButton;
class QLabel;
class QString;

namespace widgets {

// Sets a label's text when it differs, repainting the places of the old and
// the new text (for plain, single-line text; otherwise the whole label).
void setReadoutText(QLabel *label, const QString &text);

// Sets a button's text when it differs, repainting the inside of the button
// only: its text and icon lie within its outer pixel, which holds the frame
// drawn when the button is hovered or pressed, and which a new text leaves as
// it is. (Cheap to find, so done whether or not a neighbour touches it.)
void setReadoutText(QAbstractButton *button, const QString &text);

} // namespace widgets
