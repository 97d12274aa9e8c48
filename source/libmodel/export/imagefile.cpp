#include "export/imagefile.h"

#include "export/exrwriter.h"
#include "io/filewriting.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>

namespace Model {

QString fileExtension(ImageFileFormat format)
{
    return format == ImageFileFormat::OpenExr ? QStringLiteral("exr") : QStringLiteral("png");
}

bool canWriteImageFormat(ImageFileFormat format)
{
    return format == ImageFileFormat::OpenExr || QImageWriter::supportedImageFormats().contains("png");
}

QString unsupportedFormatMessage(ImageFileFormat format)
{
    const QString extension = fileExtension(format);
    qWarning().noquote() << "Export Frames: Unsupported image format" << extension;
    return QCoreApplication::translate("Model::Scene", "This installation cannot write %1 images.")
        .arg(extension.toUpper());
}

QByteArray encodeImage(const QImage &image, ImageFileFormat format, QString *error)
{
    if (format == ImageFileFormat::OpenExr)
        return exrImageData(image, error);

    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) {
        if (error)
            *error = writer.errorString();
        return {};
    }
    return data;
}

bool writeFileData(const QString &path, const QByteArray &data, QIODevice::OpenMode mode, QString *error)
{
    const bool existed = QFileInfo::exists(path) || QFileInfo(path).isSymLink();
    QFile file(path);
    QString reason;
    // The data is written in one go: Qt's buffer would only copy it.
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered | mode);
    if (!written) {
        reason = file.errorString();
    } else {
        written = writeAll(file, data, &reason) && flushAll(file, &reason);
        file.close();
        // Closing may fail on its own (a network disk that writes late).
        if (written && file.error() != QFileDevice::NoError) {
            written = false;
            reason = file.errorString();
        }
    }
    if (written)
        return true;

    if (error)
        *error = reason;
    // Only a plain file of our own making goes: never what stood there
    // before, a link, or a device such as /dev/full.
    const QFileInfo info(path);
    if (!existed && info.isFile() && !info.isSymLink())
        QFile::remove(path);
    return false;
}

} // namespace Model
