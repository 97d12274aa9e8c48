// A drawing record, as scene files embed it and the clipboard carries it:
// operator>> of StrokeDrawing (which rebuilds the image when the record's is
// missing or damaged) and readFitted(), as the scene reader and a paste read
// it for a scene's frame; then what the user does with a drawing: thumbnails,
// painting, lassoing, cutting and collapsing.

#include "fuzztarget.h"

#include "drawings/strokedrawing.h"
#include "strokes/bitmapstroke.h"
#include "strokes/singlestroke.h"
#include "tools/erasertool.h"
#include "tools/pentool.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

QByteArray recordOf(const Model::StrokeDrawing &drawing)
{
    return Fuzz::record([&](QDataStream &out) { out << drawing; });
}

} // namespace

void Fuzz::testOneInput(const QByteArray &input)
{
    QDataStream stream(input);
    prepareRecordStream(stream);
    Model::StrokeDrawing drawing{QSize()};
    stream >> drawing;
    // Whatever it holds, the image is that of the strokes, or none.
    const QImage &image = drawing.image();
    expect(image.isNull() || (image.size() == drawing.size() && image.format() == QImage::Format_Alpha8),
           "a drawing's image covers its frame");
    expect(!image.isNull() || drawing.isEmpty() || drawing.size().isEmpty()
               || qint64(drawing.size().width()) * drawing.size().height()
                   > Model::StrokeDrawing::maximumImageBytes,
           "a drawing with strokes has an image");

    // Read for a scene of another frame, it becomes a drawing of that frame
    // whatever frame it claims; the record reads alike.
    {
        const QSize frame(64, 36);
        QDataStream fittedStream(input);
        prepareRecordStream(fittedStream);
        Model::StrokeDrawing fitted{QSize()};
        fitted.readFitted(fittedStream, frame);
        expect(fittedStream.status() == stream.status(), "a record reads alike for any frame");
        expect(fittedStream.status() != QDataStream::Ok || fitted.size() == frame,
               "a drawing read for a frame takes that frame");
        expect(fitted.image().isNull() || fitted.image().size() == frame, "a drawing's image covers its frame");
    }

    if (stream.status() == QDataStream::Ok) {
        const QByteArray written = recordOf(drawing);
        QDataStream again(written);
        prepareRecordStream(again);
        Model::StrokeDrawing reread{QSize()};
        again >> reread;
        expect(again.status() == QDataStream::Ok, "a written drawing reads back");
        expect(recordOf(reread) == written, "a drawing reads back as it was written");
    }

    const QList<QRgb> table = colourTable(qRgb(20, 60, 200));
    drawing.thumbnail(QSize(64, 36), table);
    QImage screen(160, 90, QImage::Format_ARGB32_Premultiplied);
    screen.fill(Qt::white);
    {
        QPainter painter(&screen);
        drawing.paint(&painter, table, screen.rect());
    }
    drawing.blendOnto(screen, table, QRect(-10, 5, 500, 40), 0.6);

    // Edits render whole frames, and collapses all the content: huge ones
    // would only slow the search down.
    const QRect content = drawing.root().boundingRect();
    if (qint64(drawing.size().width()) * drawing.size().height() > 4096 * 4096
        || qint64(content.width()) * content.height() > 4096 * 4096)
        return;
    const QRectF frame(QPointF(0, 0), QSizeF(drawing.size()));
    QPainterPath lasso;
    lasso.addEllipse(frame.adjusted(frame.width() / 5, frame.height() / 5, -frame.width() / 4, -frame.height() / 4));
    lasso.addRect(QRectF(-3.5, -3.5, 9.0, 9.0));
    std::unique_ptr<Model::CompoundStroke> lifted = drawing.copyInside(lasso);
    lifted->collapse(2, QRect());
    const std::unique_ptr<Model::Drawing> copy = drawing.clone();
    auto &cut = static_cast<Model::StrokeDrawing &>(*copy);
    cut.eraseInside(lasso);
    cut.collapseVectorData(2, QRect(QPoint(0, 0), drawing.size()));
    drawing.addStroke(std::move(lifted));
}

QList<QByteArray> Fuzz::seeds()
{
    Model::PenTool pen(Model::Tool::PenType::Marker);
    pen.setSizeRangeLimits(2.0, 9.0);
    Model::EraserTool eraser(Model::Tool::PenType::RubberEraser);
    eraser.setSizeRangeLimits(4.0, 12.0);
    const auto wave = [](const Model::Tool &tool, double y) {
        auto stroke = std::make_unique<Model::SingleStroke>(&tool);
        for (int i = 0; i <= 24; ++i)
            stroke->addPoint({4.0 + i * 5.0, y + 8.0 * std::sin(i / 3.0), 0.4 + i / 50.0, 0.0});
        stroke->finish();
        return stroke;
    };
    QImage dot(6, 6, QImage::Format_Alpha8);
    dot.fill(255);

    QList<QByteArray> seeds;
    Model::StrokeDrawing empty(QSize(64, 36));
    seeds.append(recordOf(empty));

    // Strokes, an eraser, a cut and a bitmap, as a drawing collects them.
    Model::StrokeDrawing drawing(QSize(128, 72));
    drawing.addStroke(wave(pen, 20.0));
    drawing.addStroke(wave(eraser, 24.0));
    QPainterPath cut;
    cut.addEllipse(QRectF(30, 10, 25, 25));
    drawing.eraseInside(cut);
    drawing.addStroke(wave(pen, 50.0));
    drawing.addStroke(std::make_unique<Model::BitmapStroke>(dot, QRect(100, 60, 3, 3)));
    seeds.append(recordOf(drawing));

    Model::StrokeDrawing collapsed(QSize(80, 45));
    collapsed.addStroke(wave(pen, 20.0));
    collapsed.collapseVectorData(2, QRect(0, 0, 80, 45));
    seeds.append(recordOf(collapsed));
    return seeds;
}
