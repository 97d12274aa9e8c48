#include "imagedrawing.h"

#include <QPainter>
#include <QRectF>
#include <QSizeF>

#include <algorithm>
#include <cmath>

namespace Model {

class ImageDrawingPrivate
{
public:
    QImage m_image;
    // Filled on demand by the const thumbnail().
    QImage m_thumbnail;
    QSize m_thumbnailSize;
};

ImageDrawing::ImageDrawing(const QImage &image)
    : d(std::make_unique<ImageDrawingPrivate>())
{
    d->m_image = image;
}

ImageDrawing::~ImageDrawing() = default;

int ImageDrawing::type() const
{
    return ImageDrawingType;
}

std::unique_ptr<Drawing> ImageDrawing::clone() const
{
    auto copy = std::make_unique<ImageDrawing>(d->m_image);
    copy->d->m_thumbnail = d->m_thumbnail;
    copy->d->m_thumbnailSize = d->m_thumbnailSize;
    return copy;
}

bool ImageDrawing::isEmpty() const
{
    return d->m_image.isNull();
}

QImage ImageDrawing::thumbnail(const QSize &size, const QList<QRgb> &colorTable) const
{
    Q_UNUSED(colorTable)
    if (!size.isValid())
        return {};
    if (size != d->m_thumbnailSize) {
        d->m_thumbnailSize = size;
        d->m_thumbnail = QImage();
    }
    if (d->m_thumbnail.isNull()) {
        QImage thumbnail(size, QImage::Format_ARGB32_Premultiplied);
        thumbnail.fill(Qt::transparent);
        if (!d->m_image.isNull() && !thumbnail.isNull()) {
            const QImage scaled =
                d->m_image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            // std::round rounds halves away from zero, which keeps an odd
            // margin on the same side for every picture.
            const int x = int(std::round((size.width() - scaled.width()) * 0.5));
            const int y = int(std::round((size.height() - scaled.height()) * 0.5));
            QPainter painter(&thumbnail);
            painter.drawImage(x, y, scaled);
        }
        d->m_thumbnail = thumbnail;
    }
    return d->m_thumbnail;
}

void ImageDrawing::clearCache()
{
    d->m_thumbnail = QImage();
}

void ImageDrawing::changeFrameSize(const QSize &size, KL::FitMode mode)
{
    Q_UNUSED(size)
    Q_UNUSED(mode)
}

void ImageDrawing::mergeFrom(const Drawing *other)
{
    Q_UNUSED(other)
}

QImage ImageDrawing::image() const
{
    return d->m_image;
}

void ImageDrawing::paint(QPainter *painter, const QSize &frameSize, const QRect &rect) const
{
    if (!painter || d->m_image.isNull())
        return;
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    if (d->m_image.size() == frameSize) {
        painter->drawImage(rect, d->m_image, rect);
    } else {
        QSizeF fitted = QSizeF(d->m_image.size()).scaled(QSizeF(frameSize), Qt::KeepAspectRatio);
        // A frame without area still gets a pixel's worth of picture rather
        // than a division by zero below.
        fitted = QSizeF(std::max(fitted.width(), 1.0), std::max(fitted.height(), 1.0));
        const QPointF offset((frameSize.width() - fitted.width()) * 0.5,
                             (frameSize.height() - fitted.height()) * 0.5);
        const QRectF target = QRectF(rect) & QRectF(offset, fitted);
        if (!target.isEmpty()) {
            const double f = d->m_image.width() / fitted.width();
            const QRectF source((target.left() - offset.x()) * f, (target.top() - offset.y()) * f,
                                target.width() * f, target.height() * f);
            painter->drawImage(target, d->m_image, source);
        }
    }
    painter->restore();
}

} // namespace Model
