#pragma once

// Folders on which writing fails as it fails for users: a file system that
// fills up, and one that is mounted read-only.

#include "support/filesizelimit.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TestSupport {

// What the system says about an error number, as programs show it.
inline QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A file system of its own, mounted on an empty folder for as long as the
// object lives: a RAM disk (tmpfs) of the given size, or a read-only one.
// Mounting needs the right to mount (root with CAP_SYS_ADMIN); where it is
// missing isMounted() is false and the test picks its fallback. Nothing of it
// outlives the test: the folder is unmounted at the end, and removed too
// when it was the file system's own.
class SmallFileSystem
{
public:
    enum Mode { Writable, ReadOnly };

    // On a temporary folder of its own.
    SmallFileSystem(qint64 bytes, Mode mode)
        : SmallFileSystem(QString(), bytes, mode)
    {
    }
    // On folder, which must stand empty.
    SmallFileSystem(const QString &folder, qint64 bytes, Mode mode)
    {
        if (folder.isEmpty()) {
            m_dir = std::make_unique<QTemporaryDir>();
            if (!m_dir->isValid())
                return;
        }
        m_path = m_dir ? m_dir->path() : folder;
        m_mounted = mount(bytes, mode, 0);
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
    }

    bool isMounted() const { return m_mounted; }
    QString whyNot() const { return m_whyNot; }
    QString path() const { return m_path; }

    // The mounted file system with another size or mode, keeping what it
    // holds, as a disk that is remounted read-only or given room.
    bool remount(qint64 bytes, Mode mode) { return m_mounted && mount(bytes, mode, MS_REMOUNT); }

private:
    SmallFileSystem(const SmallFileSystem &) = delete;
    SmallFileSystem &operator=(const SmallFileSystem &) = delete;

    bool mount(qint64 bytes, Mode mode, unsigned long remount)
    {
        const QByteArray path = QFile::encodeName(m_path);
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0777";
        const unsigned long flags =
            MS_NOSUID | MS_NODEV | MS_NOEXEC | remount | (mode == ReadOnly ? MS_RDONLY : 0);
        if (::mount("tmpfs", path.constData(), "tmpfs", flags, options.constData()) == 0)
            return true;
        m_whyNot = systemErrorText(errno);
        return false;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    bool m_mounted = false;
    QString m_whyNot;
};

// A folder on which every file together may hold only a few bytes, as on a
// full disk: a small file system of its own where the test may mount one;
// elsewhere (no right to mount) a limit on the size of any file the process
// writes (see FileSizeLimit), which the system refuses with another reason.
// Files that the folder is to hold before it fills up are written before
// fill().
class FullDisk
{
public:
    FullDisk(const QString &folder, qint64 bytes)
        : m_disk(folder, bytes, SmallFileSystem::Writable)
        , m_bytes(bytes)
    {
    }

    // Whether the folder is a small file system of its own.
    bool isFileSystem() const { return m_disk.isMounted(); }

    // From now on no write may go past the bytes given: the file system is
    // full, or the size limit holds.
    void fill()
    {
        if (!m_disk.isMounted())
            m_limit = std::make_unique<FileSizeLimit>(rlim_t(m_bytes));
    }

    // Files may grow again: the size limit goes, or the file system grows
    // far beyond what a test writes.
    void makeRoom()
    {
        m_limit.reset();
        m_disk.remount(RoomBytes, SmallFileSystem::Writable);
    }

    // What the system says when a write meets the full disk.
    QString reason() const { return systemErrorText(m_disk.isMounted() ? ENOSPC : EFBIG); }

private:
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    static constexpr qint64 RoomBytes = 256 * 1024 * 1024;

    SmallFileSystem m_disk;
    qint64 m_bytes;
    std::unique_ptr<FileSizeLimit> m_limit;
};

// A folder that this process cannot write into, and the system's reason
// for it: a read-only file system where the test may mount one, else a
// folder without write permission. Root ignores permissions, so a test run
// as root without the right to mount has none (path() is empty).
class UnwritableFolder
{
public:
    UnwritableFolder()
        : m_fileSystem(64 * 1024, SmallFileSystem::ReadOnly)
    {
        if (m_fileSystem.isMounted()) {
            m_path = m_fileSystem.path();
            m_reason = systemErrorText(EROFS);
            return;
        }
        if (::geteuid() == 0 || !m_dir.isValid())
            return;
        const QString path = QDir(m_dir.path()).filePath(QStringLiteral("locked"));
        if (!QDir().mkdir(path) || ::chmod(QFile::encodeName(path).constData(), 0555) != 0)
            return;
        m_path = path;
        m_reason = systemErrorText(EACCES);
    }
    ~UnwritableFolder()
    {
        // Writable again, so that the temporary folder can go.
        if (!m_path.isEmpty() && !m_fileSystem.isMounted())
            ::chmod(QFile::encodeName(m_path).constData(), 0755);
    }

    QString path() const { return m_path; }
    QString reason() const { return m_reason; }
    QString whyNot() const
    {
        return QStringLiteral("root without the right to mount a read-only file system (%1): no folder is "
                              "closed to it")
            .arg(m_fileSystem.whyNot());
    }

private:
    UnwritableFolder(const UnwritableFolder &) = delete;
    UnwritableFolder &operator=(const UnwritableFolder &) = delete;

    QTemporaryDir m_dir;
    SmallFileSystem m_fileSystem;
    QString m_path;
    QString m_reason;
};

} // namespace TestSupport
