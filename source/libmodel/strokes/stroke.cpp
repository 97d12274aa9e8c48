#include "stroke.h"

#include "strokes/bitmapstroke.h"
#include "strokes/compoundstroke.h"
#include "strokes/singlestroke.h"

#include <QDataStream>
#include <QPainterPath>
#include <QTransform>

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

bool Stroke::isWithinLimits(QPointF point)
{
    // Written this way round, a value that is not a number fails too.
    return std::abs(point.x()) <= maximumCoordinate && std::abs(point.y()) <= maximumCoordinate;
}

bool Stroke::isWithinLimits(const QPainterPath &path)
{
    for (int i = 0; i < path.elementCount(); ++i) {
        if (!isWithinLimits(QPointF(path.elementAt(i))))
            return false;
    }
    return true;
}

bool Stroke::isPossibleRadius(double radius)
{
    return radius >= 0.0 && radius <= maximumCoordinate;
}

bool Stroke::isPossibleFraction(double value)
{
    return value >= 0.0 && value <= 1.0;
}

bool Stroke::isPossibleTransform(const QTransform &transform)
{
    // Affine to the bit, as records carry the transforms the program makes;
    // Qt inverts nothing nearly flat.
    if (transform.m13() != 0.0 || transform.m23() != 0.0 || transform.m33() != 1.0)
        return false;
    bool invertible = false;
    const QTransform inverse = transform.inverted(&invertible);
    if (!invertible)
        return false;
    const double limit = double(maximumCoordinate) * maximumCoordinate;
    for (const QTransform &t : {transform, inverse}) {
        // Written this way round, a value that is not a number fails too.
        for (qreal value : {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()}) {
            if (!(std::abs(value) <= limit))
                return false;
        }
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

QRect Stroke::mappedRect(const QTransform &transform, const QRect &rect)
{
    if (rect.isEmpty())
        return {};
    if (transform.isIdentity())
        return rect;
    return alignedRect(transform.mapRect(toRectF(rect)));
}

int Stroke::featherMargin(double renderScale)
{
    if (!std::isfinite(renderScale) || renderScale <= 0.0)
        return 1;
    return int(std::ceil(std::min(renderScale, 1024.0))) + 1;
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
