#pragma once

// A disk that fills up, for the tests of code that writes files.

#include "support/filesizelimit.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace TestSupport {

// A folder on which every file together may hold only a few bytes, as on a
// full disk: a file system of its own (a tmpfs of that size) where the test
// may mount one, which it does in a mount namespace of the calling thread,
// so that nothing else on the machine sees it; elsewhere (no right to
// mount) a limit on the size of any file the process writes (see
// FileSizeLimit), which the system refuses with another reason. Files that
// the folder is to hold before it fills up are written through it. The
// writes that fail must come from the thread that made it.
class FullDisk
{
public:
    FullDisk(const QString &folder, qint64 bytes)
        : m_folder(folder)
        , m_bytes(bytes)
    {
        m_savedNamespace = ::open("/proc/self/ns/mnt", O_RDONLY | O_CLOEXEC);
        if (m_savedNamespace < 0)
            return;
        const QByteArray where = QFile::encodeName(folder);
        const QByteArray options = "size=" + QByteArray::number(bytes);
        // A namespace of the thread's own, whose mounts do not reach back.
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount("tmpfs", where.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) != 0) {
            restoreNamespace();
            return;
        }
        m_mounted = true;
    }
    ~FullDisk()
    {
        m_limit.reset();
        if (m_mounted)
            ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
        restoreNamespace();
    }

    // Whether the folder is a small file system of its own.
    bool isFileSystem() const { return m_mounted; }

    // From now on no write may go past the bytes given: the file system is
    // full, or the size limit holds.
    void fill()
    {
        if (!m_mounted)
            m_limit = std::make_unique<FileSizeLimit>(rlim_t(m_bytes));
    }

    // Files may grow again where only the size limit held them; a file
    // system of its own stays as full as it is.
    void makeRoom() { m_limit.reset(); }

    // What the system says when a write meets the full disk.
    QString reason() const { return qt_error_string(m_mounted ? ENOSPC : EFBIG); }

private:
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    void restoreNamespace()
    {
        if (m_savedNamespace < 0)
            return;
        // Joining a namespace takes the thread to its root.
        const QString working = QDir::currentPath();
        ::setns(m_savedNamespace, CLONE_NEWNS);
        ::close(m_savedNamespace);
        m_savedNamespace = -1;
        QDir::setCurrent(working);
    }

    QString m_folder;
    qint64 m_bytes;
    int m_savedNamespace = -1;
    bool m_mounted = false;
    std::unique_ptr<FileSizeLimit> m_limit;
};

} // namespace TestSupport
