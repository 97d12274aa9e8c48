#include "bitmapstroke.h"

#include "render/alphacomposition.h"
#include "strokes/rleimage.h"

#include <QDataStream>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QRectF>
#include <QTransform>

#include <cmath>

namespace Model {

namespace {

// QRect's own width() overflows for rectangles that span more than the int
// range; these come from records, so the conversion takes the long way.
QRectF toRectF(const QRect &rect)
{
    return QRectF(QPointF(rect.left(), rect.top()),
                  QPointF(qreal(rect.right()) + 1.0, qreal(rect.bottom()) + 1.0));
}

// QRectF::toAlignedRect, held inside the coordinate range of a drawing.
QRect alignedRect(const QRectF &rect)
{
    const QRectF r = rect.normalized();
    if (!std::isfinite(r.left()) || !std::isfinite(r.top()) || !std::isfinite(r.right())
        || !std::isfinite(r.bottom()))
        return {};
    const qreal limit = BitmapStroke::maximumCoordinate;
    QRectF clamped;
    clamped.setCoords(qBound(-limit, r.left(), limit), qBound(-limit, r.top(), limit),
                      qBound(-limit, r.right(), limit), qBound(-limit, r.bottom(), limit));
    return clamped.toAlignedRect();
}

bool withinLimits(const QRect &rect)
{
    const int limit = BitmapStroke::maximumCoordinate;
    for (int coordinate : {rect.left(), rect.top(), rect.right(), rect.bottom()}) {
        if (coordinate < -limit || coordinate > limit)
            return false;
    }
    return true;
}

} // namespace

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
    // one image pixel per drawing pixel instead.
    int factor = d->m_image.width() / d->m_rect.width();
    const bool coarse = factor < 1;
    if (coarse)
        factor = 1;
    const QPoint offset((d->m_rect.left() - cropped.left()) * factor,
                        (d->m_rect.top() - cropped.top()) * factor);
    QImage image(cropped.width() * factor, cropped.height() * factor, d->m_image.format());
    if (!image.isNull()) {
        image.fill(0);
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        if (coarse) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(QRect(offset, d->m_rect.size()), d->m_image);
        } else {
            painter.drawImage(offset, d->m_image);
        }
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
    if (!withinLimits(rect)) {
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
    if (tag != ImageTag) {
        stream.setStatus(QDataStream::ReadCorruptData);
        return stroke;
    }
    RleImage encoded;
    stream >> encoded;
    if (stream.status() != QDataStream::Ok)
        return stroke;
    // Only an image was ever written after the tag, so a record that decodes
    // to nothing is damage, not an empty picture.
    const QImage image = encoded.toImage();
    if (image.isNull()) {
        stream.setStatus(QDataStream::ReadCorruptData);
        return stroke;
    }
    stroke->d->m_image = image;
    return stroke;
}

} // namespace Model
