// Whether the windows can start, asked before any QGuiApplication exists, and
// a clean exit when Qt finds out too late. QtCore only.
#pragma once
#include <QString>
#include <QStringList>

// The platform plugin Qt will use: the "-platform" argument, else
// QT_QPA_PLATFORM, else xcb or wayland as the session provides. xcb needs a
// DISPLAY (or a "-display" argument), wayland a WAYLAND_DISPLAY; every other
// plugin (offscreen, minimal, vnc, ...) passes. When false, *why is the text
// to print after "corvane: ", e.g. "no display (set DISPLAY, or use --headless)".
bool displayAvailable(const QStringList &arguments, QString *why);

// Installs a Qt message handler, chained to the one before it, that catches
// Qt's fatal message when no platform plugin could start, prints
// "corvane: no display (set DISPLAY, or use --headless)" on stderr (or, when
// the plugin named does not exist, Qt's own text listing the ones there are)
// and ends the process with status at once (_exit). Every other message goes
// to the previous handler. Call before constructing the QApplication.
void exitWhenPlatformFails(int status);
