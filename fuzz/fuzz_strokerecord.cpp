// A stroke record as a compound stroke holds its members:
// Stroke::readRecord (single, compound and bitmap strokes), then what the
// user does with strokes: render them, lasso and cut them.

#include "fuzztarget.h"

#include "render/alphacomposition.h"
#include "strokes/bitmapstroke.h"
#include "strokes/compoundstroke.h"
#include "strokes/singlestroke.h"
#include "support/strictrecord.h"
#include "tools/pentool.h"

#include <QImage>
#include <QPainterPath>
#include <QTransform>

#include <cstdlib>

namespace {

QByteArray recordOf(const Model::Stroke &stroke)
{
    return Fuzz::record([&](QDataStream &out) { Model::Stroke::writeRecord(out, stroke); });
}

} // namespace

void Fuzz::testOneInput(const QByteArray &input)
{
    QDataStream stream(input);
    prepareRecordStream(stream);
    const std::unique_ptr<Model::Stroke> stroke = Model::Stroke::readRecord(stream);
    if (!stroke)
        return;
    const QRect bounds = stroke->boundingRect();
    // Records keep every rectangle within the coordinate limit; margins of
    // a few pixels may go beyond it, never near the ends of int. (Taking
    // the margins off would turn a rectangle narrower than them inside out.)
    const auto withinReach = [](int coordinate) {
        return std::abs(qint64(coordinate)) <= qint64(Model::Stroke::maximumCoordinate) + 2;
    };
    expect(bounds.isEmpty()
               || (withinReach(bounds.left()) && withinReach(bounds.top()) && withinReach(bounds.right())
                   && withinReach(bounds.bottom())),
           "a stroke lies within a drawing's reach");

    // What was read, whole or up to the damage, writes and reads back the
    // same: nothing kept from a damaged record is what a reader refuses.
    const QByteArray written = recordOf(*stroke);
    QDataStream again(written);
    prepareRecordStream(again);
    const std::unique_ptr<Model::Stroke> reread = Model::Stroke::readRecord(again);
    expect(reread && again.status() == QDataStream::Ok && again.atEnd(), "a written stroke reads back whole");
    expect(recordOf(*reread) == written, "a stroke reads back as it was written");
    expect(StrictRecord::strokeFault(written).isEmpty(), "a written stroke holds only what a stroke can");

    // Drawn onto a small frame, then lassoed and cut as a user would.
    QImage target(96, 64, QImage::Format_Alpha8);
    target.fill(0);
    stroke->render(target, target.rect(), QTransform(), QPoint(0, 0), 1.0);
    QPainterPath lasso;
    lasso.addEllipse(QRectF(10, 8, 60, 40));
    std::unique_ptr<Model::Stroke> lifted = stroke->clone();
    lifted->clipTo(lasso);
    lifted->render(target, QRect(0, 0, 48, 32), QTransform::fromScale(2.0, 2.0), QPoint(0, 0), 2.0);
    stroke->eraseInside(lasso);
    stroke->clipTo(QPainterPath());
}

QList<QByteArray> Fuzz::seeds()
{
    Model::PenTool pen(Model::Tool::PenType::Pencil);
    auto single = std::make_unique<Model::SingleStroke>(&pen);
    for (int i = 0; i < 30; ++i)
        single->addPoint({5.0 + i * 3.0, 20.0 + 10.0 * std::sin(i / 4.0), 0.3 + i / 60.0, 0.0});
    single->finish();

    QImage coverage(40, 24, QImage::Format_Alpha8);
    coverage.fill(0);
    for (int y = 4; y < 20; ++y)
        std::fill(coverage.scanLine(y) + y, coverage.scanLine(y) + 30, uchar(40 + 8 * y));
    auto bitmap = std::make_unique<Model::BitmapStroke>(coverage, QRect(30, 10, 20, 12));

    auto group = std::make_unique<Model::CompoundStroke>();
    group->addStroke(single->clone());
    group->addStroke(bitmap->clone());
    QPainterPath cut;
    cut.addEllipse(QRectF(20, 10, 15, 15));
    group->erase(cut);
    group->addStroke(single->clone());
    group->setTransform(QTransform::fromTranslate(3.5, -2.0));

    return {recordOf(*single), recordOf(*bitmap), recordOf(*group)};
}
