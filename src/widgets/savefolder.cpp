#include "widgets/savefolder.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>

namespace widgets {

QString startFolder(const QString &settingsKey, QStandardPaths::StandardLocation fallback)
{
    for (const QString &folder :
         {QSettings().value(settingsKey).toString(), QStandardPaths::writableLocation(fallback)}) {
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    }
    return QDir::homePath();
}

void rememberFolderOf(const QString &settingsKey, const QString &savedFile)
{
    QSettings().setValue(settingsKey, QFileInfo(savedFile).absolutePath());
}

bool saveAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    // Unbuffered, so that a write the disk cannot take fails at once; the
    // file replaces the target only when every byte was written (a failed
    // save leaves no empty or partial file behind, and any earlier file as it was).
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        *error = file.errorString();
        file.cancelWriting();
        file.commit(); // removes the temporary file
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    if (QFileInfo(path).size() != bytes.size()) {
        *error = QStringLiteral("the file holds %1 of %2 bytes after saving")
                     .arg(QFileInfo(path).size())
                     .arg(bytes.size());
        return false;
    }
    return true;
}

} // namespace widgets
