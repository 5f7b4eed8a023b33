// A small file system of its own for tests of failed writes: a 64 KiB tmpfs
// mounted on a temporary folder, full (a file fills it), full but for one
// page of 4096 bytes (a file that grows fills it a moment later) or
// read-only. Mounting
// needs root (CI runs the tests as root); elsewhere the test is skipped and
// says why.
#pragma once
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

class SmallFileSystem
{
public:
    enum State { Full, OnePageFree, ReadOnly };

    // Mounts and, for Full and OnePageFree, fills it; false with the reason otherwise.
    bool mount(State state, QString *why)
    {
        m_dir = std::make_unique<QTemporaryDir>();
        const QByteArray target = QFile::encodeName(m_dir->path());
        if (::mount("tmpfs", target.constData(), "tmpfs",
                    state == ReadOnly ? MS_RDONLY : 0, "size=64k") != 0) {
            *why = QStringLiteral("cannot mount a tmpfs on %1 (%2): needs root")
                       .arg(m_dir->path(), QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        m_mounted = true;
        if (state == Full || state == OnePageFree) {
            // Whole pages first, then single bytes into the last page.
            QFile filler(path("filler"));
            if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
                *why = filler.errorString();
                return false;
            }
            const QByteArray page(4096, 'x');
            while (filler.write(page) == page.size()) {
            }
            while (filler.write("x", 1) == 1) {
            }
            // The filler gives back its last page, whole.
            if (state == OnePageFree && !filler.resize((filler.size() - 1) / 4096 * 4096)) {
                *why = filler.errorString();
                return false;
            }
        }
        return true;
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir->path()).constData(), MNT_DETACH);
    }
    QString path(const QString &name = QString()) const
    {
        return name.isEmpty() ? m_dir->path() : m_dir->filePath(name);
    }
    // The files in it, hidden ones too, sorted.
    QStringList files() const
    {
        return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden | QDir::System,
                                             QDir::Name);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    bool m_mounted = false;
};

// Mounts a small file system in the state, or skips the test saying why.
#define MOUNT_SMALL_FS(fs, state)                                                                  \
    do {                                                                                           \
        QString why_;                                                                              \
        if (!(fs).mount(state, &why_))                                                             \
            QSKIP(qPrintable("not tested: " + why_));                                              \
    } while (false)
