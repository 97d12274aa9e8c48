#pragma once

#include <QByteArray>
#include <QString>

class QImage;

namespace Model {

// OpenEXR frames for compositing software, over the tinyexr library: four
// channels "A", "B", "G", "R" stored as half floats without compression,
// alpha linear and the colours taken from sRGB-like 8-bit values through a
// 2.2 gamma, premultiplied by alpha as OpenEXR readers expect.
//
// Only Format_ARGB32 and Format_ARGB32_Premultiplied images are written; a
// null image or any other format gives nothing.

// The file's bytes; empty, with the reason in error, when nothing can be
// encoded.
QByteArray exrImageData(const QImage &image, QString *error = nullptr);

// Writes the image to path, replacing a file there. False when the image
// cannot be encoded or the file not fully written (logged as "Save EXR
// err:"); a file this call created is then removed again.
bool writeExrImage(const QImage &image, const QString &path);

} // namespace Model
