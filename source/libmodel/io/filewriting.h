#pragma once

#include <QByteArray>
#include <QString>

#include <filesystem>
#include <system_error>

class QFileDevice;

namespace Model {

// Writing files and folders so that a failure keeps the system's own words
// for it ("No space left on device", "Read-only file system"), which is what
// the user needs to put it right. Qt loses them in two places: a full disk
// takes what still fits and the short write reports no error, and close()
// clears the error text of a failed flush.

// The path as the system spells it, for the standard library's file calls.
std::filesystem::path fileSystemPath(const QString &path);

// The system's words for an error.
QString systemErrorText(const std::error_code &error);

// Writes all of data to file, writing on after a short write until the
// system refuses and says why. On failure reason, when given, holds the
// system's words, read before anything clears them.
bool writeAll(QFileDevice &file, const QByteArray &data, QString *reason = nullptr);
// Hands what the file still buffers to the system; the reason as above.
bool flushAll(QFileDevice &file, QString *reason = nullptr);

// Creates one folder, whose parent must exist; false, with the system's
// reason, when it cannot (also when something is there already).
bool makeFolder(const QString &path, QString *reason = nullptr);
// Creates the folder and whatever parent folders it needs; true when it
// stands there as a folder afterwards.
bool makeFolderPath(const QString &path, QString *reason = nullptr);

// Whether the system lets this process write the file that stands at path,
// and whether it lets it make files in the folder at path. The file's own
// permission bits are only part of the answer: the mount (read-only), the
// owner and the folder have their say. False, with the system's reason
// ("Read-only file system", "Permission denied"), when the answer is no.
bool mayWriteFile(const QString &path, QString *reason = nullptr);
bool mayMakeFilesIn(const QString &folder, QString *reason = nullptr);

} // namespace Model
