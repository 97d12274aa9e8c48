#pragma once

#include <QSet>
#include <QString>

namespace Model {

// Names that exports give their files and folders. Layer and export names
// are whatever the user typed; the files they name must stay inside the
// export folder and open on every system the package may travel to.

// text as a single file or folder name, safe on Linux, macOS and Windows:
// separators, control characters and the characters Windows forbids become
// '_', trailing dots and spaces go, a name that Windows reserves for a
// device (CON, NUL, COM1, ... also before an extension) gets a leading '_',
// and an overlong name is cut. Never empty, never "." or "..".
QString safeFileName(const QString &text);

// name, or name with "_2", "_3", ... when another name taken already
// differs from it only in case (as Windows and macOS compare names); the
// result is added to taken, which holds case-folded names.
QString uniqueFileName(const QString &name, QSet<QString> &taken);

// A frame number padded with zeros to at least digits digits.
QString paddedNumber(int number, int digits);

} // namespace Model
