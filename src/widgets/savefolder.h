// Where a save dialog opens, and how a file is saved, alike in every window:
// the dialog starts in the folder of the last save (remembered under a
// settings key) while it exists, else in a standard folder, else in home; a
// file is written beside its target and renamed over it, so a failed save
// leaves any earlier file as it was.
#pragma once

#include <QByteArray>
#include <QStandardPaths>
#include <QString>

namespace widgets {

QString startFolder(const QString &settingsKey, QStandardPaths::StandardLocation fallback);
void rememberFolderOf(const QString &settingsKey, const QString &savedFile);

// False with the system's reason in *error when the file could not be written.
bool saveAtomically(const QString &path, const QByteArray &bytes, QString *error);

} // namespace widgets
