#include "bitmapstroke.h"

#include "render/alphacomposition.h"
#include "strokes/decodebudget.h"
#include "strokes/rleimage.h"

#include <QDataStream>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QRectF>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace Model {

class BitmapStrokePrivate
{
public:
    // The picture as its record carries it; decoded only in the parts a
    // render shows, and only for that render. Invalid for no picture.
    RleImage m_picture;
    QRect m_rect;
};

namespace {

// A render decodes the part of the picture it shows in bands of target rows,
// each at most about this large, so that a render holds little beyond its
// target whatever the picture claims.
constexpr qint64 BandBytes = qint64(4) * 1024 * 1024;
// A picture turned or sheared is decoded whole (see render()), at a grain
// coarse enough to hold it within this.
constexpr qint64 TurnedBytes = qint64(64) * 1024 * 1024;

// How many picture pixels a side make one pixel of the part decoded for a
// render that maps target pixels back to picture pixels through back: none
// while a target pixel spans no more picture pixels in any direction than
// the finest grain a collapse makes, so that such pictures are drawn from
// their own pixels, as they always were; beyond it, enough to decode at that
// grain, which the smooth scaling then averages. The grain is chosen with
// room to spare for the round-off of single precision, in which files keep
// transforms: a drawing shrunk to exactly 24 picture pixels a pixel shows
// the same grain whether its transform was just made or read back.
int reductionFor(const QTransform &back)
{
    // The least a target pixel spans in the picture, in any direction: the
    // smaller singular value of the linear part.
    const double sum = back.m11() * back.m11() + back.m12() * back.m12() + back.m21() * back.m21()
        + back.m22() * back.m22();
    const double determinant = back.m11() * back.m22() - back.m12() * back.m21();
    const double spread = std::sqrt(std::max(sum * sum - 4.0 * determinant * determinant, 0.0));
    const double least = std::sqrt(std::max((sum - spread) / 2.0, 0.0));
    constexpr double finest = BitmapStroke::maximumResolutionFactor * (1.0 + 1e-4);
    if (!(least > finest))
        return 1;
    return int(std::min(std::ceil(least / finest), double(RleImage::maximumReduction)));
}

// The picture pixels around area (in picture pixels) that the smooth scaling
// reads, in whole blocks of reduction pixels a side counted from the
// picture's corner, within picture.
QRect blocksAround(const QRectF &area, int reduction, const QRect &picture)
{
    const double margin = 2.0 * reduction;
    const auto down = [reduction](double value) { return std::floor(value / reduction) * reduction; };
    const auto up = [reduction](double value) { return std::ceil(value / reduction) * reduction; };
    const double left = std::max(down(area.left() - margin), double(picture.left()));
    const double top = std::max(down(area.top() - margin), double(picture.top()));
    const double right = std::min(up(area.right() + margin), double(picture.right()) + 1.0);
    const double bottom = std::min(up(area.bottom() + margin), double(picture.bottom()) + 1.0);
    if (!(left < right && top < bottom))
        return {};
    return QRect(QPoint(int(left), int(top)), QPoint(int(right) - 1, int(bottom) - 1));
}

} // namespace

BitmapStroke::BitmapStroke()
    : d(std::make_unique<BitmapStrokePrivate>())
{
}

BitmapStroke::BitmapStroke(const QImage &image, const QRect &rect)
    : d(std::make_unique<BitmapStrokePrivate>())
{
    if (!image.isNull())
        d->m_picture = RleImage(image);
    d->m_rect = rect;
}

BitmapStroke::BitmapStroke(const BitmapStroke &other)
    : Stroke(other)
    , d(std::make_unique<BitmapStrokePrivate>(*other.d))
{
}

BitmapStroke::~BitmapStroke() = default;

QImage BitmapStroke::image() const
{
    return d->m_picture.toImage();
}

QRect BitmapStroke::rect() const
{
    return d->m_rect;
}

int BitmapStroke::type() const
{
    return BitmapStrokeType;
}

std::unique_ptr<Stroke> BitmapStroke::clone() const
{
    return std::unique_ptr<Stroke>(new BitmapStroke(*this));
}

QRect BitmapStroke::render(QImage &target, QRect clip, const QTransform &transform, QPoint,
                           double) const
{
    const RleImage &picture = d->m_picture;
    if (!picture.isValid() || d->m_rect.isEmpty() || target.isNull())
        return {};
    const QRect area = transform.mapToPolygon(d->m_rect).boundingRect() & clip;
    if (area.isEmpty())
        return {};

    // Picture pixels to target pixels, and back.
    const QRectF rect = toRectF(d->m_rect);
    const QRect whole(0, 0, picture.width(), picture.height());
    const QTransform shown = QTransform::fromScale(rect.width() / whole.width(), rect.height() / whole.height())
        * QTransform::fromTranslate(rect.left(), rect.top()) * transform;
    bool invertible = false;
    const QTransform back = shown.inverted(&invertible);
    if (!invertible)
        return area;
    // Only the target pixels that can see ink are drawn: elsewhere the
    // picture is 0, and so is what scaling makes of it. A picture turned or
    // sheared is drawn whole all the same: which pixels along a slanted edge
    // Qt fills depends on where the edge ends, and a render of a part must
    // give the pixels a render of the whole gives.
    const bool upright = shown.type() <= QTransform::TxScale;
    int reduction = reductionFor(back);
    if (!upright) {
        const double blocks = std::ceil(std::sqrt(double(whole.width()) * whole.height() / TurnedBytes));
        reduction = std::max(reduction, int(std::min(blocks, double(RleImage::maximumReduction))));
    }
    const QRect ink = picture.inkBounds(blocksAround(back.mapRect(QRectF(area)), reduction, whole));
    if (ink.isEmpty())
        return area;
    const QRect inked = blocksAround(upright ? QRectF(ink) : QRectF(whole), reduction, whole);
    const QRect reach = alignedRect(shown.mapRect(QRectF(inked))) & area;
    if (reach.isEmpty())
        return area;

    // The picture is scaled on its own canvas first, so that it is combined
    // with what the target holds through the draw table like every stroke.
    // The canvas shares the target's pixel grid, so that the scaling sees
    // the very coordinates it would see drawing into the target.
    QImage scratch(reach.right() + 1, reach.bottom() + 1, QImage::Format_Alpha8);
    if (scratch.isNull())
        return {};
    fillAlphaRect(scratch, reach, 0);
    QPainter painter(&scratch);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const qint64 decoded = qint64(inked.width() / reduction + 1) * (inked.height() / reduction + 1);
    const int bands = upright ? int(std::clamp<qint64>(decoded / BandBytes + 1, 1, reach.height())) : 1;
    for (int band = 0; band < bands; ++band) {
        const int top = reach.top() + int(qint64(reach.height()) * band / bands);
        const int bottom = reach.top() + int(qint64(reach.height()) * (band + 1) / bands);
        const QRect rows(reach.left(), top, reach.width(), bottom - top);
        QRect part = inked;
        if (bands > 1) {
            part &= blocksAround(back.mapRect(QRectF(rows)), reduction, whole);
            const QRect bandInk = picture.inkBounds(part);
            if (bandInk.isEmpty())
                continue;
            part &= blocksAround(QRectF(bandInk), reduction, whole);
        }
        const QImage pixels = picture.toImage(part, reduction);
        if (pixels.isNull())
            continue;
        // Placed as the whole picture would be: its edges are taken as the
        // rectangle's multiples, which keeps a whole picture exactly on it.
        const double left = rect.left() + double(part.left()) * rect.width() / whole.width();
        const double right =
            rect.left() + double(part.left() + qint64(pixels.width()) * reduction) * rect.width() / whole.width();
        const double above = rect.top() + double(part.top()) * rect.height() / whole.height();
        const double below =
            rect.top() + double(part.top() + qint64(pixels.height()) * reduction) * rect.height() / whole.height();
        painter.resetTransform();
        painter.setClipRect(rows);
        painter.setTransform(transform);
        painter.drawImage(QRectF(QPointF(left, above), QPointF(right, below)), pixels);
    }
    painter.end();
    composeAlphaMask(target, scratch, reach, true);
    return area;
}

QRect BitmapStroke::boundingRect() const
{
    return d->m_rect;
}

bool BitmapStroke::isEmpty() const
{
    return d->m_rect.isEmpty();
}

bool BitmapStroke::eraseInside(const QPainterPath &)
{
    return true;
}

void BitmapStroke::clipTo(const QPainterPath &path)
{
    const QRectF area = toRectF(d->m_rect);
    if (path.contains(area))
        return;
    const QRect cropped = alignedRect(path.boundingRect()) & d->m_rect;
    if (!path.intersects(area) || cropped.isEmpty()) {
        d->m_rect = QRect();
        d->m_picture = RleImage();
        return;
    }
    if (cropped == d->m_rect)
        return;
    RleImage &picture = d->m_picture;
    if (!picture.isValid()) {
        d->m_rect = cropped;
        return;
    }

    // Cropping keeps the resolution factor: the new picture is the part of
    // the old one under the new rectangle, cut from its code. A picture
    // coarser than its rectangle (never made here, but a record may hold
    // one) is cut at the grain it has. Sizes are taken in 64 bits: the
    // rectangle may span most of the coordinate range.
    const qint64 rectWidth = qint64(d->m_rect.right()) - d->m_rect.left() + 1;
    const qint64 factor = std::min<qint64>(picture.width() / rectWidth, maximumResolutionFactor);
    QRect part;
    if (factor >= 1) {
        part = QRect(int((qint64(cropped.left()) - d->m_rect.left()) * factor),
                     int((qint64(cropped.top()) - d->m_rect.top()) * factor),
                     int((qint64(cropped.right()) - cropped.left() + 1) * factor),
                     int((qint64(cropped.bottom()) - cropped.top() + 1) * factor));
    } else {
        part = QTransform::fromScale(picture.width() / area.width(), picture.height() / area.height())
                   .mapRect(toRectF(cropped).translated(-area.topLeft()))
                   .toAlignedRect()
            & QRect(0, 0, picture.width(), picture.height());
    }
    picture = picture.cropped(part);
    d->m_rect = cropped;
}

void BitmapStroke::write(QDataStream &stream) const
{
    stream << d->m_rect;
    // The code is the record's: nothing is encoded here.
    if (!d->m_picture.isValid())
        stream << NoImageTag;
    else
        stream << ImageTag << d->m_picture;
}

std::unique_ptr<BitmapStroke> BitmapStroke::read(QDataStream &stream)
{
    auto stroke = std::make_unique<BitmapStroke>();
    QRect rect;
    stream >> rect;
    if (stream.status() != QDataStream::Ok)
        return stroke;
    if (!isWithinLimits(rect)) {
        stream.setStatus(QDataStream::ReadCorruptData);
        return stroke;
    }
    stroke->d->m_rect = rect;

    // Records written without an image may stop here.
    if (stream.atEnd())
        return stroke;
    qint32 tag = NoImageTag;
    stream >> tag;
    if (stream.status() != QDataStream::Ok || tag == NoImageTag)
        return stroke;
    // A tag of no kind known: whatever it announced is lost, and what
    // follows is read as what it claims to be.
    if (tag != ImageTag) {
        DecodeBudget::noteLoss();
        return stroke;
    }
    RleImage encoded;
    stream >> encoded;
    if (stream.status() != QDataStream::Ok)
        return stroke;
    // An image far finer than its rectangle is refused before it is decoded.
    const qint64 rectWidth = qint64(rect.right()) - rect.left() + 1;
    const qint64 rectHeight = qint64(rect.bottom()) - rect.top() + 1;
    if (!encoded.isValid() || encoded.width() > rectWidth * maximumResolutionFactor
        || encoded.height() > rectHeight * maximumResolutionFactor) {
        DecodeBudget::noteLoss();
        return stroke;
    }
    // Kept as it came: whatever it claims costs the bytes it carries until a
    // render shows a part of it.
    stroke->d->m_picture = std::move(encoded);
    return stroke;
}

} // namespace Model
