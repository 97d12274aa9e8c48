#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

class QImage;

namespace Model {

// The image file formats of the frame and exposure-sheet exports.
enum class ImageFileFormat { Png, OpenExr };

// "png" or "exr".
QString fileExtension(ImageFileFormat format);
// Whether this build can write the format; PNG goes through Qt's image
// plug-ins, which a deployment may lack.
bool canWriteImageFormat(ImageFileFormat format);
// What the user is told when this build cannot write the format; the reason
// also goes to the log.
QString unsupportedFormatMessage(ImageFileFormat format);
// The bytes of the image as a file of the format (PNG at Qt's default
// quality); empty, with the reason in error, when it cannot be encoded.
QByteArray encodeImage(const QImage &image, ImageFileFormat format, QString *error = nullptr);

// Writes data to path and checks every step through to closing the file, so
// that a full disk is noticed also in the last buffered bytes. mode adds
// QIODevice::NewOnly for a file that must not exist yet (never written
// through an existing name or link) or QIODevice::Truncate to replace one.
// On failure a file that this call created is removed again, and error says
// why.
bool writeFileData(const QString &path, const QByteArray &data, QIODevice::OpenMode mode,
                   QString *error = nullptr);

} // namespace Model
