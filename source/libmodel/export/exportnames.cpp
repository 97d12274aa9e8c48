#include "export/exportnames.h"

#include <QStringList>

namespace Model {

namespace {

// Long enough for any layer name an animator types, short enough that the
// frame numbers and suffixes around it stay within the 255 bytes most file
// systems allow for one name.
constexpr int MaximumNameLength = 96;

bool isForbidden(QChar c)
{
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    return c.unicode() < 0x20 || c.unicode() == 0x7f || forbidden.contains(c);
}

// Windows opens a device for these names, with any extension.
bool isReservedDeviceName(const QString &name)
{
    static const QStringList devices = {QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                        QStringLiteral("NUL"), QStringLiteral("CONIN$"),
                                        QStringLiteral("CONOUT$")};
    const QString stem = name.section(u'.', 0, 0).trimmed().toUpper();
    if (devices.contains(stem))
        return true;
    // COM0 to COM9 and LPT0 to LPT9, also with the superscript digits.
    if (stem.size() == 4 && (stem.startsWith(u"COM") || stem.startsWith(u"LPT"))) {
        const QChar digit = stem.at(3);
        return digit.isDigit() || digit == QChar(0xb9) || digit == QChar(0xb2) || digit == QChar(0xb3);
    }
    return false;
}

} // namespace

QString safeFileName(const QString &text)
{
    QString name;
    name.reserve(text.size());
    for (const QChar c : text)
        name += isForbidden(c) ? QChar(u'_') : c;

    if (name.size() > MaximumNameLength) {
        int length = MaximumNameLength;
        // Never cut a character encoded as two halves in two.
        if (name.at(length - 1).isHighSurrogate())
            --length;
        name.truncate(length);
    }
    // Windows drops trailing dots and spaces, so "a." and "a" would be one
    // file there; this also turns "." and ".." into nothing.
    while (!name.isEmpty() && (name.back() == u'.' || name.back() == u' '))
        name.chop(1);
    if (name.isEmpty())
        return QStringLiteral("_");
    if (isReservedDeviceName(name))
        name.prepend(u'_');
    return name;
}

QString uniqueFileName(const QString &name, QSet<QString> &taken)
{
    QString unique = name;
    for (int n = 2; taken.contains(unique.toCaseFolded()); ++n)
        unique = QStringLiteral("%1_%2").arg(name).arg(n);
    taken.insert(unique.toCaseFolded());
    return unique;
}

QString paddedNumber(int number, int digits)
{
    return QStringLiteral("%1").arg(number, digits, 10, QChar(u'0'));
}

} // namespace Model
