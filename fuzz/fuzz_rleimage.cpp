// The run-length image record: operator>> of RleImage, then decoding.

#include "fuzztarget.h"

#include "strokes/rleimage.h"

#include <QImage>
#include <QRandomGenerator>

void Fuzz::testOneInput(const QByteArray &input)
{
    QDataStream stream(input);
    Model::RleImage encoded;
    stream >> encoded;
    const QImage image = encoded.toImage();
    if (image.isNull())
        return;
    expect(image.format() == QImage::Format_Alpha8 && image.width() == encoded.width()
               && image.height() == encoded.height(),
           "a decoded image has the record's size and format");
    // Whatever decodes encodes again to codes that decode to the same image.
    expect(Model::RleImage(image).toImage() == image, "an image survives encoding and decoding");
}

QList<QByteArray> Fuzz::seeds()
{
    QList<QByteArray> seeds;
    QRandomGenerator random(7);
    const auto add = [&seeds](const QImage &image) {
        QByteArray data;
        QDataStream stream(&data, QIODevice::WriteOnly);
        stream << Model::RleImage(image);
        seeds.append(data);
    };
    QImage blank(16, 9, QImage::Format_Alpha8);
    blank.fill(0);
    add(blank);
    // Short and long runs, empty rows and edges, as strokes leave them.
    QImage strokes(300, 40, QImage::Format_Alpha8);
    strokes.fill(0);
    for (int y = 3; y < 40; y += 5) {
        uchar *row = strokes.scanLine(y);
        for (int x = y; x < 300; x += 1 + int(random.bounded(40)))
            row[x] = uchar(1 + random.bounded(255));
        if (y % 10 == 3)
            std::fill(row + 20, row + 290, uchar(200));
    }
    add(strokes);
    QImage column(1, 12, QImage::Format_Alpha8);
    column.fill(90);
    add(column);
    return seeds;
}
