#include "export/exrwriter.h"

#include "export/imagefile.h"

#include <QDebug>
#include <QImage>

#include <tinyexr.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace Model {

namespace {

// Each 8-bit level through a 2.2 gamma into linear light, built once.
const std::array<float, 256> &linearLevels()
{
    static const std::array<float, 256> table = [] {
        std::array<float, 256> levels{};
        for (int i = 0; i < 256; ++i)
            levels[i] = float(std::pow(i / 255.0, 2.2));
        return levels;
    }();
    return table;
}

void setChannelName(EXRChannelInfo &channel, const char *name)
{
    std::strncpy(channel.name, name, sizeof(channel.name) - 1);
}

} // namespace

QByteArray exrImageData(const QImage &source, QString *error)
{
    if (source.isNull()
        || (source.format() != QImage::Format_ARGB32 && source.format() != QImage::Format_ARGB32_Premultiplied)) {
        if (error)
            *error = QStringLiteral("not an ARGB32 image");
        return {};
    }
    // Straight colours first, so that the gamma applies to the colour and
    // not to its product with alpha.
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int width = image.width();
    const int height = image.height();
    const std::size_t pixels = std::size_t(width) * std::size_t(height);

    // One plane per channel, in the order OpenEXR sorts their names.
    std::vector<float> planes(pixels * 4);
    float *alpha = planes.data();
    float *blue = alpha + pixels;
    float *green = blue + pixels;
    float *red = green + pixels;
    const std::array<float, 256> &linear = linearLevels();
    for (int y = 0; y < height; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        const std::size_t row = std::size_t(y) * std::size_t(width);
        for (int x = 0; x < width; ++x) {
            const QRgb pixel = line[x];
            const float a = float(qAlpha(pixel)) / 255.0f;
            alpha[row + x] = a;
            blue[row + x] = linear[qBlue(pixel)] * a;
            green[row + x] = linear[qGreen(pixel)] * a;
            red[row + x] = linear[qRed(pixel)] * a;
        }
    }

    std::array<EXRChannelInfo, 4> channels{};
    setChannelName(channels[0], "A");
    setChannelName(channels[1], "B");
    setChannelName(channels[2], "G");
    setChannelName(channels[3], "R");
    std::array<int, 4> inputTypes;
    inputTypes.fill(TINYEXR_PIXELTYPE_FLOAT);
    std::array<int, 4> storedTypes;
    storedTypes.fill(TINYEXR_PIXELTYPE_HALF);

    EXRHeader header;
    InitEXRHeader(&header);
    header.num_channels = 4;
    header.channels = channels.data();
    header.pixel_types = inputTypes.data();
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
