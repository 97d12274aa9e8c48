#pragma once

// Whole files read and written in one go, for tests that set a file up and
// look at what is left of it.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace TestSupport {

// Empty when the file cannot be read.
inline QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFileContents(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace TestSupport
