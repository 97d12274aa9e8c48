#include "export/exrwriter.h"

#include "export/imagefile.h"

#include <QDebug>
#include <QFloat16>
#include <QImage>

#include <tinyexr.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace Model {

namespace {

using Half = quint16;

Half toHalf(float value)
{
    const qfloat16 half(value);
    Half bits;
    std::memcpy(&bits, &half, sizeof bits);
    return bits;
}

// Each 8-bit level through a 2.2 gamma into linear light, as floats and as
// the half floats that opaque pixels store unchanged; built once.
struct LinearLevels
{
    std::array<float, 256> value{};
    std::array<Half, 256> half{};
};

const LinearLevels &linearLevels()
{
    static const LinearLevels levels = [] {
        LinearLevels table;
        for (int i = 0; i < 256; ++i) {
            table.value[i] = float(std::pow(i / 255.0, 2.2));
            table.half[i] = toHalf(table.value[i]);
        }
        return table;
    }();
    return levels;
}

void setChannelName(EXRChannelInfo &channel, const char *name)
{
    std::strncpy(channel.name, name, sizeof(channel.name) - 1);
}

} // namespace

QByteArray exrImageData(const QImage &image, QString *error)
{
    const bool premultiplied = image.format() == QImage::Format_ARGB32_Premultiplied;
    if (image.isNull() || (image.format() != QImage::Format_ARGB32 && !premultiplied)) {
        if (error)
            *error = QStringLiteral("not an ARGB32 image");
        return {};
    }
    const int width = image.width();
    const int height = image.height();
    const std::size_t pixels = std::size_t(width) * std::size_t(height);

    // One plane of half floats per channel, in the order OpenEXR sorts their
    // names, converted here rather than by tinyexr, value by value. Most of
    // an animation frame is transparent and stays zero; opaque pixels come
    // straight from the table; only the pixels between are computed, from
    // their straight colour so that the gamma applies to the colour alone.
    std::vector<Half> planes(pixels * 4);
    Half *alpha = planes.data();
    Half *blue = alpha + pixels;
    Half *green = blue + pixels;
    Half *red = green + pixels;
    const LinearLevels &linear = linearLevels();
    const Half opaque = toHalf(1.0f);
    for (int y = 0; y < height; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        const std::size_t row = std::size_t(y) * std::size_t(width);
        for (int x = 0; x < width; ++x) {
            const QRgb pixel = line[x];
            const int a = qAlpha(pixel);
            const std::size_t i = row + std::size_t(x);
            if (a == 0)
                continue;
            if (a == 255) {
                alpha[i] = opaque;
                blue[i] = linear.half[qBlue(pixel)];
                green[i] = linear.half[qGreen(pixel)];
                red[i] = linear.half[qRed(pixel)];
                continue;
            }
            const QRgb straight = premultiplied ? qUnpremultiply(pixel) : pixel;
            const float af = float(a) / 255.0f;
            alpha[i] = toHalf(af);
            blue[i] = toHalf(linear.value[qBlue(straight)] * af);
            green[i] = toHalf(linear.value[qGreen(straight)] * af);
            red[i] = toHalf(linear.value[qRed(straight)] * af);
        }
    }

    std::array<EXRChannelInfo, 4> channels{};
    setChannelName(channels[0], "A");
    setChannelName(channels[1], "B");
    setChannelName(channels[2], "G");
    setChannelName(channels[3], "R");
    std::array<int, 4> halfTypes;
    halfTypes.fill(TINYEXR_PIXELTYPE_HALF);
    std::array<int, 4> storedTypes = halfTypes;

    EXRHeader header;
    InitEXRHeader(&header);
    header.num_channels = 4;
    header.channels = channels.data();
    header.pixel_types = halfTypes.data();
    header.requested_pixel_types = storedTypes.data();
    header.compression_type = TINYEXR_COMPRESSIONTYPE_NONE;

    std::array<unsigned char *, 4> planePointers = {
        reinterpret_cast<unsigned char *>(alpha), reinterpret_cast<unsigned char *>(blue),
        reinterpret_cast<unsigned char *>(green), reinterpret_cast<unsigned char *>(red)};
    EXRImage exrImage;
    InitEXRImage(&exrImage);
    exrImage.num_channels = 4;
    exrImage.images = planePointers.data();
    exrImage.width = width;
    exrImage.height = height;

    unsigned char *memory = nullptr;
    const char *message = nullptr;
    const std::size_t size = SaveEXRImageToMemory(&exrImage, &header, &memory, &message);
    if (size == 0 || !memory) {
        if (error)
            *error = message ? QString::fromUtf8(message) : QStringLiteral("tinyexr wrote nothing");
        FreeEXRErrorMessage(message);
        std::free(memory);
        return {};
    }
    QByteArray data(reinterpret_cast<const char *>(memory), qsizetype(size));
    std::free(memory);
    return data;
}

bool writeExrImage(const QImage &image, const QString &path)
{
    QString error;
    const QByteArray data = exrImageData(image, &error);
    if (data.isEmpty() || !writeFileData(path, data, QIODevice::Truncate, &error)) {
        qWarning().noquote() << "Save EXR err:" << error;
        return false;
    }
    return true;
}

} // namespace Model
