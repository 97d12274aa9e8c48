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

namespace Model {

class BitmapStrokePrivate
{
public:
    QImage m_image;
    QRect m_rect;
};

BitmapStroke::BitmapStroke()
    : d(std::make_unique<BitmapStrokePrivate>())
{
}

BitmapStroke::BitmapStroke(const QImage &image, const QRect &rect)
    : d(std::make_unique<BitmapStrokePrivate>())
{
    d->m_image = (image.isNull() || image.format() == QImage::Format_Alpha8)
        ? image
        : image.convertToFormat(QImage::Format_Alpha8);
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
    return d->m_image;
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
    if (d->m_image.isNull() || d->m_rect.isEmpty() || target.isNull())
        return {};
    const QRect area = transform.mapToPolygon(d->m_rect).boundingRect() & clip;
    if (area.isEmpty())
        return {};

    // The image is scaled on its own canvas first, so that it is combined
    // with what the target holds through the draw table like every stroke.
    QImage scratch(target.size(), QImage::Format_Alpha8);
    if (scratch.isNull())
        return {};
    scratch.fill(0);
    {
        QPainter painter(&scratch);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setClipRect(area);
        painter.setTransform(transform);
        painter.drawImage(d->m_rect, d->m_image);
    }
    composeAlphaMask(target, scratch, area, true);
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
        d->m_image = QImage();
        return;
    }
    if (cropped == d->m_rect)
        return;
    if (d->m_image.isNull()) {
        d->m_rect = cropped;
        return;
    }

    // Cropping keeps the resolution factor. An image coarser than its
    // rectangle (never made here, but a record may hold one) is cropped at
    // one image pixel per drawing pixel instead. Sizes are taken in 64 bits:
    // the rectangle may span most of the coordinate range.
    const qint64 rectWidth = qint64(d->m_rect.right()) - d->m_rect.left() + 1;
    qint64 factor = d->m_image.width() / rectWidth;
    const bool coarse = factor < 1;
    factor = std::clamp<qint64>(factor, 1, maximumResolutionFactor);
    const qint64 width = (qint64(cropped.right()) - cropped.left() + 1) * factor;
    const qint64 height = (qint64(cropped.bottom()) - cropped.top() + 1) * factor;
    QImage image;
    if (width * height <= RleImage::maximumImageBytes) {
        const QPoint offset(int((d->m_rect.left() - qint64(cropped.left())) * factor),
                            int((d->m_rect.top() - qint64(cropped.top())) * factor));
        image = QImage(int(width), int(height), d->m_image.format());
        if (!image.isNull()) {
            image.fill(0);
            QPainter painter(&image);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            if (coarse) {
                painter.setRenderHint(QPainter::SmoothPixmapTransform);
                painter.drawImage(QRectF(QPointF(offset), QSizeF(toRectF(d->m_rect).size())), d->m_image);
            } else {
                painter.drawImage(offset, d->m_image);
            }
        }
    } else {
        // A coarse image over a vast rectangle: scaling the part up to one
        // pixel per drawing pixel would take more than any image may, so the
        // part is cut from the image at the grain it has.
        const QRectF part = QTransform::fromScale(d->m_image.width() / area.width(),
                                                  d->m_image.height() / area.height())
                                .mapRect(toRectF(cropped).translated(-area.topLeft()));
        image = d->m_image.copy(part.toAlignedRect() & d->m_image.rect());
    }
    d->m_image = image;
    d->m_rect = cropped;
}

void BitmapStroke::write(QDataStream &stream) const
{
    stream << d->m_rect;
    if (d->m_image.isNull()) {
        stream << NoImageTag;
    } else {
        stream << ImageTag << RleImage(d->m_image);
    }
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
        DecodeBudget::noteLoss(DecodeBudget::Loss::Damaged);
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
        DecodeBudget::noteLoss(DecodeBudget::Loss::Damaged);
        return stroke;
    }
    stroke->d->m_image = encoded.toImage();
    if (stroke->d->m_image.isNull())
        DecodeBudget::noteLoss(DecodeBudget::Loss::OverBudget);
    return stroke;
}

} // namespace Model
