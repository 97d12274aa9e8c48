// The run-length image record: operator>> of RleImage, then decoding.

#include "fuzztarget.h"

#include "strokes/rleimage.h"

#include <QImage>
#include <QList>
#include <QRandomGenerator>

#include <algorithm>
#include <iterator>
#include <tuple>

namespace {

using RunAt = std::tuple<int, int, const uchar *, int>;

QList<RunAt> runsFrom(const Model::RleImage &image, int fromRow)
{
    QList<RunAt> runs;
    Model::RleImage::Runs walk(image, fromRow);
    Model::RleImage::Run run;
    while (walk.next(run))
        runs.append({run.row, run.column, run.bytes, run.length});
    return runs;
}

} // namespace

void Fuzz::testOneInput(const QByteArray &input)
{
    QDataStream stream(input);
    Model::RleImage encoded;
    stream >> encoded;
    const QImage image = encoded.toImage();
    if (image.isNull())
        return;
    // A walk that starts further down, as a picture composed in bands of
    // rows starts it, gives the same runs as the walk from the top.
    const QList<RunAt> all = runsFrom(encoded, 0);
    for (int from : {1, 15, 16, 17, 33, encoded.height() / 2, encoded.height() - 1, encoded.height()}) {
        QList<RunAt> below;
        std::copy_if(all.cbegin(), all.cend(), std::back_inserter(below),
                     [from](const RunAt &run) { return std::get<0>(run) >= from; });
        expect(runsFrom(encoded, from) == below, "the runs from a row are those of the whole walk from there");
    }
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
