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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace widgets
