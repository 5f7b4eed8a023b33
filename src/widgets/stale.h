// Buttons that show a figure of the instrument (the Tx power, the wavelength,
// the eye opening) grey their text and icon while that figure is stale, and
// stay usable meanwhile.
#pragma once

class QAbstractButton;

namespace widgets {

void showStale(QAbstractButton *button, bool stale);
bool looksStale(const QAbstractButton *button);

} // namespace widgets
