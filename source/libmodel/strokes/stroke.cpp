#include "stroke.h"

#include "strokes/bitmapstroke.h"
#include "strokes/compoundstroke.h"
#include "strokes/singlestroke.h"

#include <QDataStream>

#include <cmath>

namespace Model {

Stroke::~Stroke() = default;

bool Stroke::isWithinLimits(const QRect &rect)
{
    for (int coordinate : {rect.left(), rect.top(), rect.right(), rect.bottom()}) {
        if (coordinate < -maximumCoordinate || coordinate > maximumCoordinate)
            return false;
    }
    return true;
}

QRectF Stroke::toRectF(const QRect &rect)
{
    return QRectF(QPointF(rect.left(), rect.top()),
                  QPointF(qreal(rect.right()) + 1.0, qreal(rect.bottom()) + 1.0));
}

QRect Stroke::alignedRect(const QRectF &rect)
{
    const QRectF r = rect.normalized();
    if (!std::isfinite(r.left()) || !std::isfinite(r.top()) || !std::isfinite(r.right())
        || !std::isfinite(r.bottom()))
        return {};
    const qreal limit = maximumCoordinate;
    QRectF clamped;
    clamped.setCoords(qBound(-limit, r.left(), limit), qBound(-limit, r.top(), limit),
                      qBound(-limit, r.right(), limit), qBound(-limit, r.bottom(), limit));
    return clamped.toAlignedRect();
}

void Stroke::writeRecord(QDataStream &stream, const Stroke &stroke)
{
    stream << qint32(stroke.type());
    stroke.write(stream);
}

std::unique_ptr<Stroke> Stroke::readRecord(QDataStream &stream)
{
    qint32 type = -1;
    stream >> type;
    if (stream.status() != QDataStream::Ok)
        return nullptr;
    return readRecord(type, stream);
}

std::unique_ptr<Stroke> Stroke::readRecord(qint32 type, QDataStream &stream)
{
    // The one place where a type code becomes a stroke class; every class
    // that can be a member has its case here.
    switch (type) {
    case SingleStrokeType:
        return SingleStroke::read(stream);
    case CompoundStrokeType:
        return CompoundStroke::read(stream);
    case BitmapStrokeType:
        return BitmapStroke::read(stream);
    default:
        return nullptr;
    }
}

} // namespace Model
