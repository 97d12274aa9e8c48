#pragma once

// A save in progress as the system shows it, read from Linux's /proc: the
// save's new file and how much of the document it holds, and whether a
// process has come to a stop. The save helper watches its own save with
// it, and the atomic save test the helper's.

#include <QByteArray>
#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

namespace SaveInProgress {

// Whether this system shows what processes do.
inline bool watchable()
{
    return QDir(QStringLiteral("/proc/self/fd")).exists();
}

// The new file that a save writes, as far as it has got.
struct NewFile
{
    // -1 while no save has its new file open.
    qint64 bytes = -1;
};

// The new file that the process (a number, or "self") has open in `folder`,
// the folder of the file being saved. A save opens no other file in that
// folder, and the system may keep the new one nameless there until it takes
// the old one's place, so it is looked for among the process's open files
// rather than in the folder. With `fd`, only that descriptor is looked at.
inline NewFile newFile(const QString &process, const QString &folder, const QString &fd = QString())
{
    const QByteArray prefix = QFile::encodeName(QDir(folder).canonicalPath()) + '/';
    const QString fds = QStringLiteral("/proc/%1/fd").arg(process);
    const QStringList entries =
        fd.isEmpty() ? QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot) : QStringList{fd};
    for (const QString &entry : entries) {
        const QByteArray link = QFile::encodeName(fds + u'/' + entry);
        char target[4096];
        const ssize_t length = ::readlink(link.constData(), target, sizeof target);
        struct stat status;
        if (length > 0 && QByteArrayView(target, length).startsWith(prefix) && ::stat(link.constData(), &status) == 0)
            return {qint64(status.st_size)};
    }
    return {};
}

// Whether every thread of the process has stopped (or ended).
inline bool stopped(qint64 pid)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    const QStringList threads = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &thread : threads) {
        // A thread that has gone in the meantime runs no more.
        QFile stat(tasks.filePath(thread + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ...": the name may hold anything but ends at the
        // last parenthesis. Stopped, or ended.
        const QByteArray line = stat.readAll();
        const qsizetype at = line.lastIndexOf(')') + 2;
        const char state = at > 1 && at < line.size() ? line.at(at) : 'X';
        if (!QByteArrayView("TtZXx").contains(state))
            return false;
    }
    return true;
}

} // namespace SaveInProgress
