#include "singlestroke.h"

#include "render/alphacomposition.h"
#include "render/offscreenrenderer.h"
#include "strokes/arcsegment.h"
#include "strokes/compactstrokedata.h"
#include "strokes/linesegment.h"
#include "strokes/pointsegment.h"
#include "strokes/segment.h"
#include "tools/drawingtool.h"
#include "tools/erasertool.h"
#include "tools/pentool.h"

#include <QDataStream>
#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <utility>

namespace Model {

namespace {

constexpr int PenToolType = int(Tool::Type::Pen);
constexpr int EraserToolType = int(Tool::Type::Eraser);
constexpr int DefaultSubType = 1;

// How far each refit moves towards the newest sample.
constexpr double DrawingFraction = 0.6;
constexpr double FinishingFraction = 1.0;

// A fitted point that moves less than this adds no segment: smaller pieces
// would only add triangles without changing the picture.
constexpr double MinimumStep = 1.0;

bool isFinite(double value)
{
    return std::isfinite(value);
}

// Reading stops at the first value that cannot come from a writer: sub-types
// outside the three kinds, positions, pressures or segment values that no
// stroke holds (see Stroke::isWithinLimits).
void markCorrupt(QDataStream &stream)
{
    if (stream.status() == QDataStream::Ok)
        stream.setStatus(QDataStream::ReadCorruptData);
}

QLineF reversed(const QLineF &line)
{
    return QLineF(line.p1(), line.p1() - (line.p2() - line.p1()));
}

} // namespace

class SingleStrokePrivate
{
public:
    // Where the fit has got to: position, pressure there, and the direction
    // the stroke runs in there (a null line when none is known).
    struct FitPoint
    {
        QPointF position;
        double pressure = 0.0;
        QLineF tangent;
    };

    const DrawingTool *drawingTool() const;
    double radius(double pressure) const;
    double opacity(double pressure) const;

    void fit(double fraction);
    bool straightStep(double fraction);
    void addSegment(std::shared_ptr<Segment> segment);

    // The samples and segments, whichever form holds them.
    QList<SingleStroke::InputPoint> points() const;
    QList<std::shared_ptr<Segment>> segmentList() const;
    qsizetype segmentCount() const;
    void clearSegments();
    // Into the compact form, and back to the lists for a compact stroke that
    // is given samples again.
    void pack();
    void unpack();

    QList<SingleStroke::InputPoint> m_inputPoints;
    QList<FitPoint> m_fitPoints;
    QRect m_pendingLineRect;
    // Whether the last fit point's tangent may be continued by an arc: it is
    // not after a corner, nor once a stroke has been finished.
    bool m_tangentPending = false;
    QList<std::shared_ptr<Segment>> m_segments;
    QRect m_bounds;
    // Shared by all clones, and with the other strokes begun with the same
    // settings; it has no parent, so only the last holder to go deletes it.
    std::shared_ptr<const Tool> m_tool;
    int m_toolType = PenToolType;
    int m_penType = DefaultSubType;
    int m_eraserType = DefaultSubType;
    QImage m_mask;

    // A stroke that a drawing keeps is never fitted again; it keeps its
    // samples and segments compact instead of in the lists, and no fit
    // points: a fifth of the memory, and what the stroke would be after the
    // drawing was saved and read back.
    bool m_settled = false;
    bool m_packed = false;
    CompactStrokeData m_compact;
};

QList<SingleStroke::InputPoint> SingleStrokePrivate::points() const
{
    return m_packed ? m_compact.points() : m_inputPoints;
}

QList<std::shared_ptr<Segment>> SingleStrokePrivate::segmentList() const
{
    return m_packed ? m_compact.segments() : m_segments;
}

qsizetype SingleStrokePrivate::segmentCount() const
{
    return m_packed ? m_compact.segmentCount() : m_segments.size();
}

void SingleStrokePrivate::clearSegments()
{
    m_segments.clear();
    m_compact.clearSegments();
}

void SingleStrokePrivate::pack()
{
    m_settled = true;
    m_fitPoints = {};
    m_tangentPending = false;
    if (m_packed)
        return;
    m_compact = CompactStrokeData(m_inputPoints, m_segments);
    m_inputPoints = {};
    m_segments = {};
    m_packed = true;
}

void SingleStrokePrivate::unpack()
{
    if (!m_packed)
        return;
    m_inputPoints = m_compact.points();
    m_segments = m_compact.segments();
    m_compact = CompactStrokeData();
    m_packed = false;
}

const DrawingTool *SingleStrokePrivate::drawingTool() const
{
    return qobject_cast<const DrawingTool *>(m_tool.get());
}

double SingleStrokePrivate::radius(double pressure) const
{
    return drawingTool()->radiusForPressure(pressure);
}

double SingleStrokePrivate::opacity(double pressure) const
{
    return drawingTool()->opacityForPressure(pressure);
}

void SingleStrokePrivate::addSegment(std::shared_ptr<Segment> segment)
{
    m_bounds |= segment->boundingRect();
    m_segments.append(std::move(segment));
}

// One step of the fitted chain straight towards the newest sample.
bool SingleStrokePrivate::straightStep(double fraction)
{
    const SingleStroke::InputPoint &last = m_inputPoints.constLast();
    const FitPoint from = m_fitPoints.constLast();
    const QPointF next = from.position + (last.position() - from.position) * fraction;
    if (QLineF(from.position, next).length() < MinimumStep)
        return false;

    const QLineF tangent(next, next + (next - from.position));
    m_tangentPending = true;
    const double pressure = from.pressure + (last.pressure - from.pressure) * fraction;
    addSegment(std::make_shared<LineSegment>(from.position, next, opacity(from.pressure), opacity(pressure),
                                             radius(from.pressure), radius(pressure)));
    m_fitPoints.append({next, pressure, tangent});
    return true;
}

void SingleStrokePrivate::fit(double fraction)
{
    if (m_settled || m_inputPoints.isEmpty() || !drawingTool())
        return;
    const SingleStroke::InputPoint &last = m_inputPoints.constLast();
    const QPointF target = last.position();

    // The first sample is a dab, so that a click paints a dot.
    if (m_fitPoints.isEmpty()) {
        addSegment(std::make_shared<PointSegment>(target, opacity(last.pressure), radius(last.pressure)));
        m_fitPoints.append({target, last.pressure, QLineF()});
        return;
    }

    const FitPoint from = m_fitPoints.constLast();
    const double angle = from.tangent.angleTo(QLineF(from.position, target));

    // Nearly straight ahead, or no direction to bend from.
    if (!m_tangentPending || from.tangent.isNull() || angle < 1.0 || angle > 359.0) {
        straightStep(fraction);
        return;
    }

    // A stroke begun with a direction that the pen did not follow: the dab
    // drawn for that direction would show as a blob off the line.
    if (m_fitPoints.size() == 1 && angle > 45.0 && angle < 315.0) {
        if (straightStep(fraction))
            m_segments.removeFirst();
        return;
    }

    // The pen turned back: an arc would bulge across the turn, so the chain
    // goes straight to the sample before the turn and on from there.
    if (angle > 90.0 && angle < 270.0 && m_inputPoints.size() >= 2) {
        const SingleStroke::InputPoint &corner = m_inputPoints.at(m_inputPoints.size() - 2);
        m_tangentPending = false;
        addSegment(std::make_shared<LineSegment>(from.position, corner.position(), opacity(from.pressure),
                                                 opacity(corner.pressure), radius(from.pressure),
                                                 radius(corner.pressure)));
        m_fitPoints.append({corner.position(), corner.pressure, QLineF()});
        straightStep(fraction);
        m_tangentPending = false;
        return;
    }

    // Otherwise bend along the circle that leaves the last fitted point in its
    // running direction and passes through the sample.
    const auto [centreX, centreY, arcRadius] = ArcSegment::centerFromTangent(from.position, target, from.tangent);
    // Near the coordinate limit a circle may reach beyond it, where no
    // record could carry its centre.
    if ((centreX == 0.0 && centreY == 0.0 && arcRadius == 0.0)
        || !Stroke::isWithinLimits(QPointF(centreX, centreY)) || !Stroke::isPossibleRadius(arcRadius)) {
        straightStep(fraction);
        return;
    }
    const QPointF centre(centreX, centreY);
    const bool clockwise = angle > 180.0;

    QLineF normalAtTarget = QLineF(target, centre).normalVector();
    if (!clockwise)
        normalAtTarget = reversed(normalAtTarget);
    const double turn = from.tangent.angleTo(normalAtTarget);
    const double sweep = fraction * (clockwise ? 360.0 - turn : turn);

    QLineF spoke(centre, from.position);
    spoke.setAngle(spoke.angle() + (clockwise ? -sweep : sweep));
    const QPointF end = spoke.p2();
    if (QLineF(from.position, end).length() < MinimumStep)
        return;
    if (!Stroke::isWithinLimits(end)) {
        straightStep(fraction);
        return;
    }

    QLineF tangent = QLineF(end, centre).normalVector();
    if (!clockwise)
        tangent = reversed(tangent);
    m_tangentPending = true;
    const double pressure = from.pressure + (last.pressure - from.pressure) * fraction;
    addSegment(std::make_shared<ArcSegment>(centre, arcRadius, from.position, end, clockwise,
                                            opacity(from.pressure), opacity(pressure), radius(from.pressure),
                                            radius(pressure)));
    m_fitPoints.append({end, pressure, tangent});
}

SingleStroke::SingleStroke(QSize size, const Tool *tool)
    : SingleStroke(tool)
{
    d->m_mask = QImage(size, QImage::Format_Alpha8);
    d->m_mask.fill(0);
}

SingleStroke::SingleStroke(const Tool *tool)
    : d(std::make_unique<SingleStrokePrivate>())
{
    if (!tool)
        return;
    d->m_tool = tool->sharedCopy();
    d->m_toolType = int(tool->type());
    if (auto pen = qobject_cast<const PenTool *>(tool); pen && tool->type() == Tool::Type::Pen)
        d->m_penType = int(pen->subType());
    else if (auto eraser = qobject_cast<const EraserTool *>(tool); eraser && tool->type() == Tool::Type::Eraser)
        d->m_eraserType = int(eraser->subType());
}

SingleStroke::SingleStroke(const SingleStroke &other)
    : Stroke(other)
    , d(std::make_unique<SingleStrokePrivate>(*other.d))
{
}

SingleStroke::~SingleStroke() = default;

int SingleStroke::type() const
{
    return SingleStrokeType;
}

std::unique_ptr<Stroke> SingleStroke::clone() const
{
    return std::unique_ptr<Stroke>(new SingleStroke(*this));
}

QRect SingleStroke::render(QImage &target, QRect clip, const QTransform &transform, QPoint paperOffset,
                           double renderScale) const
{
    if (d->segmentCount() == 0)
        return QRect();
    const QPolygonF bounds = transform.map(QPolygonF(QRectF(boundingRect())));
    if (!bounds.intersects(QPolygonF(QRectF(clip))))
        return QRect();

    // A segment, or a cap, paints in clip when its feathered edge reaches it.
    const int margin = featherMargin(renderScale);
    const QRect reach = clip.adjusted(-margin, -margin, margin, margin);
    QList<float> positions;
    QList<float> attributes;
    QList<float> kinds;
    const QList<std::shared_ptr<Segment>> segments = d->segmentList();
    for (const auto &segment : segments) {
        if (!Segment::reaches(QRectF(segment->boundingRect()), transform, reach))
            continue;
        segment->tessellateWithCaps(positions, attributes, kinds, transform, reach);
    }

    OffscreenRenderer *renderer = OffscreenRenderer::instance();
    const bool drawn = isEraserStroke()
        ? renderer->renderEraser(target, d->m_eraserType, paperOffset, float(renderScale), clip, transform,
                                 positions, attributes, kinds)
        : renderer->renderPen(target, d->m_penType, paperOffset, float(renderScale), clip, transform, positions,
                              attributes, kinds);
    return drawn ? clip : QRect();
}

QRect SingleStroke::boundingRect() const
{
    // A stroke that was clipped away covers nothing, not the pixels around
    // the origin that a null rectangle grown by one would name.
    if (d->m_bounds.isNull())
        return QRect();
    return d->m_bounds.adjusted(-1, -1, 1, 1);
}

bool SingleStroke::isEmpty() const
{
    return d->segmentCount() == 0;
}

bool SingleStroke::eraseInside(const QPainterPath &path)
{
    if (d->segmentCount() == 0 || !path.contains(QRectF(boundingRect())))
        return false;
    d->clearSegments();
    return true;
}

void SingleStroke::clipTo(const QPainterPath &path)
{
    const QRectF bounds(boundingRect());
    if (path.contains(bounds) || path.intersects(bounds))
        return;
    d->clearSegments();
    d->m_bounds = QRect();
}

void SingleStroke::write(QDataStream &stream) const
{
    const bool pen = d->m_toolType == PenToolType;
    stream << qint8(pen ? 1 : 0);
    stream << qint32(pen ? d->m_penType : d->m_eraserType);
    stream << d->m_bounds;
    const QList<InputPoint> points = d->points();
    stream << quint32(points.size());
    for (const InputPoint &point : points)
        stream << point.position() << point.pressure;
    const QList<std::shared_ptr<Segment>> segments = d->segmentList();
    stream << qint32(segments.size());
    for (const auto &segment : segments)
        Segment::writeRecord(stream, *segment);
}

std::unique_ptr<SingleStroke> SingleStroke::read(QDataStream &stream)
{
    auto stroke = std::make_unique<SingleStroke>();
    SingleStrokePrivate *d = stroke->d.get();

    bool pen = true;
    qint32 subType = DefaultSubType;
    stream >> pen >> subType;
    if (stream.status() != QDataStream::Ok)
        return stroke;
    if (subType < 0 || subType > 2) {
        markCorrupt(stream);
        return stroke;
    }
    d->m_toolType = pen ? PenToolType : EraserToolType;
    (pen ? d->m_penType : d->m_eraserType) = subType;

    QRect bounds;
    stream >> bounds;
    if (stream.status() != QDataStream::Ok)
        return stroke;
    if (!isWithinLimits(bounds)) {
        markCorrupt(stream);
        return stroke;
    }
    d->m_bounds = bounds;

    // Counts come from the data and may be damaged: nothing is reserved from
    // them, and every loop ends at the first read past the data's end.
    quint32 pointCount = 0;
    stream >> pointCount;
    for (quint32 i = 0; i < pointCount && stream.status() == QDataStream::Ok; ++i) {
        QPointF position;
        double pressure = 0.0;
        stream >> position >> pressure;
        if (stream.status() != QDataStream::Ok)
            break;
        if (!isWithinLimits(position) || !isPossibleFraction(pressure)) {
            markCorrupt(stream);
            break;
        }
        d->m_inputPoints.append({position.x(), position.y(), pressure, 0.0});
    }
    if (stream.status() != QDataStream::Ok)
        return stroke;

    qint32 segmentCount = 0;
    stream >> segmentCount;
    for (qint32 i = 0; i < segmentCount && stream.status() == QDataStream::Ok; ++i) {
        std::shared_ptr<Segment> segment = Segment::readRecord(stream);
        if (segment && stream.status() == QDataStream::Ok)
            d->m_segments.append(std::move(segment));
    }
    // What was read has the record's precision already: the compact form
    // loses nothing.
    d->pack();
    return stroke;
}

void SingleStroke::addPoint(const InputPoint &point)
{
    // A sample no record could carry is no sample; a pressure beyond what
    // a pen reports draws as the nearest one it does.
    if (!isWithinLimits(point.position()) || !isFinite(point.pressure))
        return;
    d->unpack();
    d->m_inputPoints.append({point.x, point.y, std::clamp(point.pressure, 0.0, 1.0), point.extra});
    d->fit(DrawingFraction);
}

void SingleStroke::addPointWithTangent(const InputPoint &point, QPointF from)
{
    const qsizetype before = d->m_inputPoints.size();
    addPoint(point);
    if (d->m_inputPoints.size() == before || d->m_fitPoints.isEmpty())
        return;
    const QPointF position = point.position();
    if (QLineF(from, position).length() > 5.0) {
        d->m_fitPoints.last().tangent = QLineF(position, position + (position - from));
        d->m_tangentPending = true;
    }
}

void SingleStroke::update()
{
    d->fit(DrawingFraction);
}

void SingleStroke::finish()
{
    d->fit(FinishingFraction);
    d->m_tangentPending = false;
}

bool SingleStroke::isNearLastPoint(QPointF position) const
{
    const QList<InputPoint> points = d->points();
    if (points.isEmpty())
        return false;
    const QPointF delta = position - points.constLast().position();
    return QPointF::dotProduct(delta, delta) < 1.0;
}

SingleStroke::InputPoint SingleStroke::lastPoint() const
{
    const QList<InputPoint> points = d->points();
    return points.isEmpty() ? InputPoint() : points.constLast();
}

bool SingleStroke::isPenStroke() const
{
    return d->m_toolType == PenToolType;
}

bool SingleStroke::isEraserStroke() const
{
    return d->m_toolType == EraserToolType;
}

int SingleStroke::toolType() const
{
    return d->m_toolType;
}

int SingleStroke::penType() const
{
    return d->m_penType;
}

int SingleStroke::eraserType() const
{
    return d->m_eraserType;
}

const Tool *SingleStroke::tool() const
{
    return d->m_tool.get();
}

QList<SingleStroke::InputPoint> SingleStroke::inputPoints() const
{
    return d->points();
}

QList<std::shared_ptr<Segment>> SingleStroke::segments() const
{
    return d->segmentList();
}

int SingleStroke::fitPointCount() const
{
    return int(d->m_fitPoints.size());
}

QPainterPath SingleStroke::path() const
{
    QPainterPath path;
    const QList<std::shared_ptr<Segment>> segments = d->segmentList();
    if (segments.isEmpty())
        return path;
    segments.constFirst()->moveToStart(path);
    for (const auto &segment : segments)
        segment->addToPath(path);
    return path;
}

void SingleStroke::settle()
{
    d->pack();
}

const QImage &SingleStroke::image() const
{
    return d->m_mask;
}

QImage SingleStroke::takeImage()
{
    return std::exchange(d->m_mask, QImage());
}

void SingleStroke::setImage(QImage mask)
{
    d->m_mask = std::move(mask);
}

QRect SingleStroke::updateMask()
{
    if (d->m_mask.isNull() || d->segmentCount() == 0)
        return QRect();

    const std::shared_ptr<Segment> last = d->segmentList().constLast();
    const Segment &segment = *last;
    const QRect area = segment.boundingRect().adjusted(-1, -1, 1, 1);
    // Only the part on the drawing is rasterised: a pen that wanders off the
    // paper must not cost a full-size render per sample.
    const QRect visible = area & d->m_mask.rect();
    if (!visible.isEmpty()) {
        QList<float> positions;
        QList<float> attributes;
        QList<float> kinds;
        segment.tessellateWithCaps(positions, attributes, kinds);

        // The segment is rasterised on its own and merged by maximum, so that
        // it joins the segments before it without a seam or a darker overlap.
        QImage piece(visible.size(), QImage::Format_Alpha8);
        piece.fill(0);
        const QTransform toPiece = QTransform::fromTranslate(-visible.left(), -visible.top());
        const QRect pieceRect(QPoint(0, 0), visible.size());
        OffscreenRenderer *renderer = OffscreenRenderer::instance();
        if (isEraserStroke())
            renderer->renderEraser(piece, d->m_eraserType, visible.topLeft(), 1.0f, pieceRect, toPiece, positions,
                                   attributes, kinds);
        else
            renderer->renderPen(piece, d->m_penType, visible.topLeft(), 1.0f, pieceRect, toPiece, positions,
                                attributes, kinds);
        composeAlphaMaskMax(d->m_mask, piece, visible, visible.topLeft());
    }

    // Besides the segment, the pen's surroundings and the last lag line need
    // repainting: the owner paints the lag line over the mask.
    QRect changed = area | d->m_pendingLineRect;
    if (const QList<InputPoint> points = d->points(); !points.isEmpty()) {
        // Held where an int can take it; samples may lie far off the paper.
        const QPointF sample = points.constLast().position();
        const QPoint pen(qRound(qBound(-1e7, sample.x(), 1e7)), qRound(qBound(-1e7, sample.y(), 1e7)));
        changed |= QRect(pen - QPoint(5, 5), pen + QPoint(3, 3));
    }
    return changed & d->m_mask.rect();
}

QRect SingleStroke::paintPendingLine(QPainter &painter, QColor color, QRect clip, double size)
{
    if (d->m_inputPoints.isEmpty() || d->m_fitPoints.isEmpty() || !d->drawingTool())
        return QRect();

    const InputPoint &last = d->m_inputPoints.constLast();
    const QLineF line(last.position(), d->m_fitPoints.constLast().position);

    painter.save();
    color.setAlphaF(float(qBound(0.0, d->opacity(last.pressure), 1.0)));
    QPen pen = painter.pen();
    pen.setColor(color);
    pen.setWidthF(2.0 * size);
    pen.setStyle(Qt::DotLine);
    painter.setPen(pen);
    painter.drawLine(line);
    painter.restore();

    const int grow = int(2.0 * size);
    d->m_pendingLineRect =
        QRectF(line.p1(), line.p2()).normalized().toAlignedRect().adjusted(-grow, -grow, grow, grow);
    return clip & d->m_pendingLineRect;
}

} // namespace Model
