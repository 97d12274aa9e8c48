#include "stroke.h"

#include "strokes/bitmapstroke.h"
#include "strokes/compoundstroke.h"
#include "strokes/singlestroke.h"

#include <QDataStream>

namespace Model {

Stroke::~Stroke() = default;

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
