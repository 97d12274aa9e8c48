#include "io/filewriting.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>

#include <cerrno>
#include <filesystem>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace Model {

namespace {

bool failed(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
    return false;
}

// Asks the system itself, which alone knows every rule that applies.
bool mayWrite(const QString &path, bool isFolder, QString *reason)
{
#ifdef Q_OS_UNIX
    // A folder takes new files only where it may be searched as well.
    const int mode = isFolder ? W_OK | X_OK : W_OK;
    if (::access(QFile::encodeName(path).constData(), mode) == 0)
        return true;
    return failed(reason, systemErrorText(std::error_code(errno, std::generic_category())));
#else
    Q_UNUSED(isFolder);
    return QFileInfo(path).isWritable()
        || failed(reason, systemErrorText(std::make_error_code(std::errc::permission_denied)));
#endif
}

} // namespace

std::filesystem::path fileSystemPath(const QString &path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(QDir::toNativeSeparators(path).toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

QString systemErrorText(const std::error_code &error)
{
    return QString::fromLocal8Bit(error.message());
}

bool writeAll(QFileDevice &file, const QByteArray &data, QString *reason)
{
    const char *bytes = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const qint64 written = file.write(bytes, left);
        if (written < 0)
            return failed(reason, file.errorString());
        // A write that takes nothing and reports nothing would loop for ever.
        if (written == 0)
            return failed(reason, systemErrorText(std::make_error_code(std::errc::io_error)));
        bytes += written;
        left -= written;
    }
    return true;
}

bool flushAll(QFileDevice &file, QString *reason)
{
    // A short write leaves the rest in the buffer with no reason given;
    // flushing on lets the system refuse the rest and say why.
    for (;;) {
        const qint64 before = file.bytesToWrite();
        if (file.flush())
            return true;
        const qint64 after = file.bytesToWrite();
        if (after == 0 || after >= before)
            return failed(reason, file.errorString());
    }
}

bool makeFolder(const QString &path, QString *reason)
{
    std::error_code error;
    if (std::filesystem::create_directory(fileSystemPath(path), error))
        return true;
    if (!error)
        error = std::make_error_code(std::errc::file_exists);
    return failed(reason, systemErrorText(error));
}

bool makeFolderPath(const QString &path, QString *reason)
{
    std::error_code error;
    const std::filesystem::path folder = fileSystemPath(path);
    std::filesystem::create_directories(folder, error);
    if (!error && !std::filesystem::is_directory(folder, error) && !error)
        error = std::make_error_code(std::errc::not_a_directory);
    return !error || failed(reason, systemErrorText(error));
}

bool mayWriteFile(const QString &path, QString *reason)
{
    return mayWrite(path, false, reason);
}

bool mayMakeFilesIn(const QString &folder, QString *reason)
{
    std::error_code error;
    const bool isFolder = std::filesystem::is_directory(fileSystemPath(folder), error);
    if (error)
        return failed(reason, systemErrorText(error));
    if (!isFolder)
        return failed(reason, systemErrorText(std::make_error_code(std::errc::not_a_directory)));
    return mayWrite(folder, true, reason);
}

} // namespace Model
