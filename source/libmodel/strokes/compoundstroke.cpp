#include "compoundstroke.h"

#include "render/alphacomposition.h"
#include "strokes/bitmapstroke.h"
#include "strokes/rleimage.h"
#include "strokes/singlestroke.h"

#include <QDataStream>
#include <QImage>
#include <QPainter>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <deque>
#include <unordered_map>
#include <vector>

namespace Model {

namespace {

// composeAlphaMask for two images that lie at different places of one pixel
// grid: pixel (0, 0) of destination is at destinationOrigin, that of source
// at sourceOrigin, and rect is in the grid. Nothing is copied.
void composeAt(QImage &destination, QPoint destinationOrigin, const QImage &source,
               QPoint sourceOrigin, QRect rect, bool draw)
{
    rect &= QRect(destinationOrigin, destination.size()) & QRect(sourceOrigin, source.size());
    if (rect.isEmpty())
        return;
    const QRect to = rect.translated(-destinationOrigin);
    const QRect from = rect.translated(-sourceOrigin);
    QImage destinationPart(destination.scanLine(to.top()) + to.left(), to.width(), to.height(),
                           destination.bytesPerLine(), QImage::Format_Alpha8);
    const QImage sourcePart(source.constScanLine(from.top()) + from.left(), from.width(),
                            from.height(), source.bytesPerLine(), QImage::Format_Alpha8);
    composeAlphaMask(destinationPart, sourcePart, destinationPart.rect(), draw);
}

bool isEraserStroke(const Stroke &stroke)
{
    const auto *single = dynamic_cast<const SingleStroke *>(&stroke);
    return single && single->isEraserStroke();
}

bool markCorrupt(QDataStream &stream)
{
    stream.setStatus(QDataStream::ReadCorruptData);
    return false;
}

// Qt's own path reader trusts the record: it reserves room for as many
// elements as the count claims, takes any element type and any current
// subpath index. This one reads the same form element by element and builds
// the path through its public interface, so that a damaged record can only
// fail. Returns whether the path was read whole.
bool readPath(QDataStream &stream, QPainterPath &path)
{
    qint32 count = 0;
    stream >> count;
    if (stream.status() != QDataStream::Ok)
        return false;
    if (count == 0) {
        path = QPainterPath();
        return true;
    }
    if (count < 0)
        return markCorrupt(stream);

    QPainterPath result;
    // A curve is one CurveToElement followed by two CurveToDataElements.
    QPointF curve[2];
    int curveData = 0;
    for (qint32 i = 0; i < count; ++i) {
        qint32 type = -1;
        double x = 0.0;
        double y = 0.0;
        stream >> type >> x >> y;
        if (stream.status() != QDataStream::Ok)
            return false;
        const QPointF point(x, y);
        if (!Stroke::isWithinLimits(point))
            return markCorrupt(stream);
        if (i == 0 && type != QPainterPath::MoveToElement)
            return markCorrupt(stream);
        switch (type) {
        case QPainterPath::MoveToElement:
        case QPainterPath::LineToElement:
        case QPainterPath::CurveToElement:
            if (curveData != 0)
                return markCorrupt(stream);
            if (type == QPainterPath::MoveToElement)
                result.moveTo(point);
            else if (type == QPainterPath::LineToElement)
                result.lineTo(point);
            else
                curve[curveData++] = point;
            break;
        case QPainterPath::CurveToDataElement:
            if (curveData == 0)
                return markCorrupt(stream);
            if (curveData == 1) {
                curve[curveData++] = point;
            } else {
                result.cubicTo(curve[0], curve[1], point);
                curveData = 0;
            }
            break;
        default:
            return markCorrupt(stream);
        }
    }
    if (curveData != 0)
        return markCorrupt(stream);

    // The index of the current subpath follows from the elements.
    qint32 currentSubpath = 0;
    qint32 fillRule = 0;
    stream >> currentSubpath >> fillRule;
    if (stream.status() != QDataStream::Ok)
        return false;
    if (fillRule != Qt::OddEvenFill && fillRule != Qt::WindingFill)
        return markCorrupt(stream);
    result.setFillRule(Qt::FillRule(fillRule));
    path = result;
    return true;
}

bool readTransform(QDataStream &stream, QTransform &transform)
{
    QTransform result;
    stream >> result;
    if (stream.status() != QDataStream::Ok)
        return false;
    if (!Stroke::isPossibleTransform(result))
        return markCorrupt(stream);
    transform = result;
    return true;
}

} // namespace

class CompoundStrokePrivate
{
public:
    std::vector<std::unique_ptr<Stroke>> m_members;
    QRect m_boundingRect;
    QPainterPath m_erasePath;
    QPainterPath m_clipPath;
    QTransform m_transform;
    // Set on a compound that holds its parent's former content, moved down
    // one level so that a member added on top of it falls under none of its
    // paths and transform: taking that member back lifts the content up
    // again, and the parent is exactly as it was before.
    bool m_keptForAddition = false;
};

// One count for the whole tree, shared by the nested renders, so that the
// steps add up to strokeCount() and a cancel stops every level.
class CompoundStroke::RenderProgress
{
public:
    RenderProgress(const Progress &callback, int total)
        : m_callback(callback)
        , m_total(total)
    {
    }

    bool start() { return ask(); }

    bool advance()
    {
        if (m_cancelled)
            return false;
        ++m_done;
        return ask();
    }

    bool cancelled() const { return m_cancelled; }

    // A render in bands walks the tree once per band: each walk counts for
    // its share of the total, so that the steps still end at the total.
    void startRound(int round, int rounds)
    {
        m_round = round;
        m_rounds = std::max(rounds, 1);
        m_done = 0;
    }

private:
    bool ask()
    {
        const int reported = int((qint64(m_round) * m_total + m_done) / m_rounds);
        if (!m_callback(reported, m_total))
            m_cancelled = true;
        return !m_cancelled;
    }

    const Progress &m_callback;
    int m_done = 0;
    int m_total = 0;
    int m_round = 0;
    int m_rounds = 1;
    bool m_cancelled = false;
};

// What every level of one render shares. All rectangles are in the pixel grid
// of the caller's target; each level composes on a canvas that covers only
// the part of that grid its content can reach.
class CompoundStroke::RenderPass
{
public:
    RenderPass(QRect frame, QPoint paperOffset, double renderScale, RenderProgress *progress)
        : m_frame(frame)
        , m_paperOffset(paperOffset)
        , m_renderScale(renderScale)
        , m_margin(Stroke::featherMargin(renderScale))
        , m_progress(progress)
    {
    }

    // Where the top level may change its target; every level lies inside it.
    void setArea(QRect area) { m_area = area; }

    // The pixels that stroke can cover when drawn with outer. For a compound
    // this is worked out from its members rather than from its cached
    // rectangle, which is rounded at every transform on the way down.
    QRect reach(const Stroke &stroke, const QTransform &outer)
    {
        const auto *top = dynamic_cast<const CompoundStroke *>(&stroke);
        if (!top)
            return leafReach(stroke, outer);
        // Every compound occurs once in a tree, so one transform each.
        const auto known = m_reaches.find(top);
        if (known != m_reaches.end())
            return known->second;

        // The compounds below are worked out first, deepest first.
        struct Visit
        {
            const CompoundStroke *compound;
            QTransform inner;
            size_t next;
            QRect result;
        };
        std::vector<Visit> visits{{top, top->d->m_transform * outer, 0, QRect()}};
        for (;;) {
            Visit &visit = visits.back();
            const auto &members = visit.compound->d->m_members;
            if (visit.next < members.size()) {
                const Stroke &member = *members[visit.next++];
                // Erasers only take away from what the other members drew.
                if (isEraserStroke(member))
                    continue;
                const auto *nested = dynamic_cast<const CompoundStroke *>(&member);
                if (!nested) {
                    visit.result |= leafReach(member, visit.inner);
                    continue;
                }
                const auto done = m_reaches.find(nested);
                if (done != m_reaches.end()) {
                    visit.result |= done->second;
                    continue;
                }
                const Visit inside{nested, nested->d->m_transform * visit.inner, 0, QRect()};
                visits.push_back(inside);
                continue;
            }
            QRect result = visit.result;
            // Beyond its clip path a compound is wiped to nothing: a lifted
            // selection holds a copy of the whole drawing, but shows only
            // what lies inside its outline.
            const QPainterPath &clipPath = visit.compound->d->m_clipPath;
            if (!clipPath.isEmpty())
                result &= alignedRect(visit.inner.mapRect(clipPath.boundingRect())).adjusted(-1, -1, 1, 1);
            m_reaches.emplace(visit.compound, result);
            visits.pop_back();
            if (visits.empty())
                return result;
            visits.back().result |= result;
        }
    }

    // The image that single strokes and bitmaps are drawn on one at a time
    // before they are composed, in the caller's grid so that the renderer
    // places every pixel exactly where a render straight into the target
    // would. It reaches only as far as the top level's area, and inside that
    // area it is 0 between members.
    QImage &memberImage()
    {
        if (m_memberImage.isNull() && !m_area.isEmpty()) {
            m_memberImage = QImage(m_area.right() + 1, m_area.bottom() + 1, QImage::Format_Alpha8);
            if (!m_memberImage.isNull())
                fillAlphaRect(m_memberImage, m_area, 0);
        }
        return m_memberImage;
    }

    // The caller's whole target.
    QRect frame() const { return m_frame; }
    QPoint paperOffset() const { return m_paperOffset; }
    double renderScale() const { return m_renderScale; }
    RenderProgress *progress() const { return m_progress; }

private:
    QRect leafReach(const Stroke &stroke, const QTransform &outer) const
    {
        const QRect rect = stroke.boundingRect();
        if (rect.isEmpty())
            return {};
        return alignedRect(outer.mapRect(toRectF(rect)))
            .adjusted(-m_margin, -m_margin, m_margin, m_margin);
    }

    QRect m_frame;
    QPoint m_paperOffset;
    double m_renderScale;
    int m_margin;
    RenderProgress *m_progress;
    QRect m_area;
    std::unordered_map<const CompoundStroke *, QRect> m_reaches;
    QImage m_memberImage;
};

// One compound of a render in progress: the canvas it composes its members
// on, and how far it has got.
struct CompoundStroke::RenderLevel
{
    const CompoundStroke *compound = nullptr;
    // Where the level composes its result, and that image's place in the
    // pass's grid.
    QImage *target = nullptr;
    QPoint origin;
    QRect area;
    QTransform combined;
    bool inPlace = false;
    QImage ownCanvas;
    QImage *canvas = nullptr;
    QPoint canvasOrigin;
    QRect changed;
    size_t next = 0;
};

CompoundStroke::CompoundStroke()
    : d(std::make_unique<CompoundStrokePrivate>())
{
}

CompoundStroke::CompoundStroke(const CompoundStroke &other)
    : Stroke(other)
    , d(std::make_unique<CompoundStrokePrivate>())
{
    // Level by level: each copy made here is filled when its turn comes.
    std::vector<std::pair<const CompoundStroke *, CompoundStroke *>> pending{{&other, this}};
    while (!pending.empty()) {
        const auto [from, to] = pending.back();
        pending.pop_back();
        CompoundStrokePrivate &source = *from->d;
        CompoundStrokePrivate &copy = *to->d;
        copy.m_members.reserve(source.m_members.size());
        for (const auto &member : source.m_members) {
            if (const auto *nested = dynamic_cast<const CompoundStroke *>(member.get())) {
                auto nestedCopy = std::make_unique<CompoundStroke>();
                pending.emplace_back(nested, nestedCopy.get());
                copy.m_members.push_back(std::move(nestedCopy));
            } else {
                copy.m_members.push_back(member->clone());
            }
        }
        copy.m_boundingRect = source.m_boundingRect;
        copy.m_erasePath = source.m_erasePath;
        copy.m_clipPath = source.m_clipPath;
        copy.m_transform = source.m_transform;
        copy.m_keptForAddition = source.m_keptForAddition;
    }
}

CompoundStroke::~CompoundStroke()
{
    if (!d)
        return;
    // Nested compounds are emptied before they go, so that each goes
    // without a chain of destructors beneath it.
    std::vector<std::unique_ptr<Stroke>> pending = std::move(d->m_members);
    while (!pending.empty()) {
        std::unique_ptr<Stroke> stroke = std::move(pending.back());
        pending.pop_back();
        auto *nested = dynamic_cast<CompoundStroke *>(stroke.get());
        if (nested && nested->d) {
            for (auto &member : nested->d->m_members)
                pending.push_back(std::move(member));
            nested->d->m_members.clear();
        }
    }
}

int CompoundStroke::type() const
{
    return CompoundStrokeType;
}

std::unique_ptr<Stroke> CompoundStroke::clone() const
{
    return std::make_unique<CompoundStroke>(*this);
}

QRect CompoundStroke::render(QImage &target, QRect clip, const QTransform &transform,
                             QPoint paperOffset, double renderScale) const
{
    return render(target, clip, transform, paperOffset, renderScale, nullptr);
}

QRect CompoundStroke::render(QImage &target, QRect clip, const QTransform &transform,
                             QPoint paperOffset, double renderScale,
                             RenderProgress *progress) const
{
    if (target.isNull() || d->m_members.empty())
        return {};
    RenderPass pass(target.rect(), paperOffset, renderScale, progress);
    const QRect area = clip & target.rect() & pass.reach(*this, transform);
    // Content that lies wholly outside the clip needs no canvas. A render that
    // counts its steps walks every member all the same, so that the count
    // reaches its total.
    if (area.isEmpty() && !progress)
        return {};

    // Every level that composes on a canvas of its own holds it while the
    // levels inside it render. A tree that nests deeper than a few such
    // levels is rendered in bands across the area, so that all canvases
    // together never cover more than a few times the area, however deep the
    // tree goes.
    const int depth = area.isEmpty() ? 1 : canvasDepth(false);
    const int bands = std::clamp((depth + MaximumCanvases - 1) / MaximumCanvases, 1, std::max(area.height(), 1));
    if (bands == 1) {
        pass.setArea(area);
        return render(pass, target, QPoint(0, 0), area, transform, false);
    }
    QRect changed;
    for (int band = 0; band < bands; ++band) {
        const int top = area.top() + int(qint64(area.height()) * band / bands);
        const int bottom = area.top() + int(qint64(area.height()) * (band + 1) / bands);
        const QRect part(area.left(), top, area.width(), bottom - top);
        RenderPass bandPass(target.rect(), paperOffset, renderScale, progress);
        bandPass.setArea(part);
        if (progress)
            progress->startRound(band, bands);
        changed |= render(bandPass, target, QPoint(0, 0), part, transform, false);
        if (progress && progress->cancelled())
            return {};
    }
    return changed;
}

int CompoundStroke::canvasDepth(bool inPlace) const
{
    struct Visit
    {
        const CompoundStroke *compound;
        bool inPlace;
        size_t next;
        int deepest;
    };
    std::vector<Visit> visits{{this, inPlace, 0, 0}};
    for (;;) {
        Visit &visit = visits.back();
        const auto &members = visit.compound->d->m_members;
        if (visit.next < members.size()) {
            const size_t index = visit.next++;
            // The first member of a compound lands on a blank canvas.
            if (const auto *nested = dynamic_cast<const CompoundStroke *>(members[index].get()))
                visits.push_back({nested, index == 0, 0, 0});
            continue;
        }
        const int depth = (visit.inPlace ? 0 : 1) + visit.deepest;
        visits.pop_back();
        if (visits.empty())
            return depth;
        visits.back().deepest = std::max(visits.back().deepest, depth);
    }
}

QRect CompoundStroke::render(RenderPass &pass, QImage &target, QPoint origin, QRect area,
                             const QTransform &transform, bool inPlace) const
{
    RenderProgress *progress = pass.progress();
    // One level per compound being drawn, this one at the front. A deque
    // keeps each level where it is while deeper ones come and go, so a
    // level may compose onto the canvas of the level above it.
    std::deque<RenderLevel> levels;

    // The members are composed on a canvas of their own, so that erasers and
    // both paths act on this compound's content only. It covers area alone:
    // nothing of this compound can land outside it. Where the target is
    // still blank inside area, the target serves as the canvas: composing a
    // canvas onto nothing gives the canvas, so nothing needs to be kept
    // apart. That is the rule for the first member of every compound, and it
    // is what keeps a drawing cut a thousand times (each cut nests the
    // content before it as the first member) at one canvas.
    const auto enter = [&levels](const CompoundStroke *compound, QImage *levelTarget, QPoint levelOrigin,
                                 QRect levelArea, const QTransform &outer, bool levelInPlace) {
        RenderLevel &level = levels.emplace_back();
        level.compound = compound;
        level.target = levelTarget;
        level.origin = levelOrigin;
        level.area = levelArea;
        level.combined = compound->d->m_transform * outer;
        level.inPlace = levelInPlace;
        if (!levelInPlace && !levelArea.isEmpty()) {
            level.ownCanvas = QImage(levelArea.size(), QImage::Format_Alpha8);
            if (level.ownCanvas.isNull()) {
                levels.pop_back();
                return false;
            }
            level.ownCanvas.fill(0);
        }
        level.canvas = levelInPlace ? levelTarget : &level.ownCanvas;
        level.canvasOrigin = levelInPlace ? levelOrigin : levelArea.topLeft();
        return true;
    };

    if (!enter(this, &target, origin, area, transform, inPlace))
        return {};
    for (;;) {
        RenderLevel &level = levels.back();
        const auto &members = level.compound->d->m_members;
        if (level.next < members.size()) {
            const Stroke &member = *members[level.next++];
            // Each member is drawn only where it can reach: a stroke across a
            // corner of the frame must not cost a render of the whole frame.
            const QRect memberArea = level.area.isEmpty() ? QRect() : level.area & pass.reach(member, level.combined);
            if (const auto *nested = dynamic_cast<const CompoundStroke *>(&member)) {
                if (!memberArea.isEmpty() || progress) {
                    const bool blank = !memberArea.isEmpty() && !level.changed.intersects(memberArea);
                    // Its step is counted once its own members are done.
                    if (enter(nested, level.canvas, level.canvasOrigin, memberArea, level.combined, blank))
                        continue;
                }
            } else if (!memberArea.isEmpty()) {
                // Single strokes overwrite what lies under them and bitmaps draw
                // over it, so either is drawn on its own image, all 0 there, and
                // composed from it.
                QImage &image = pass.memberImage();
                const auto *single = dynamic_cast<const SingleStroke *>(&member);
                const QRect drawn = member.render(image, memberArea, level.combined, pass.paperOffset(),
                                                  pass.renderScale());
                if (!drawn.isNull()) {
                    level.changed |= drawn;
                    composeAt(*level.canvas, level.canvasOrigin, image, QPoint(0, 0), drawn,
                              !single || !single->isEraserStroke());
                    fillAlphaRect(image, drawn, 0);
                }
            }
            if (progress && !progress->advance())
                return {};
            continue;
        }

        const QRect changed = finishLevel(pass, level);
        levels.pop_back();
        if (levels.empty())
            return changed;
        levels.back().changed |= changed;
        if (progress && !progress->advance())
            return {};
    }
}

QRect CompoundStroke::finishLevel(RenderPass &pass, RenderLevel &level)
{
    if (level.changed.isEmpty())
        return {};
    const CompoundStrokePrivate &d = *level.compound->d;
    QImage &canvas = *level.canvas;
    if (!d.m_erasePath.isEmpty() || !d.m_clipPath.isEmpty()) {
        QPainter painter(&canvas);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setRenderHint(QPainter::Antialiasing);
        // The paths are placed in the target's grid and moved onto the
        // canvas by whole pixels, which leaves their edges' coverage as it is.
        // Only what changed is touched: on a shared canvas, that is this
        // compound's own content.
        painter.translate(-QPointF(level.canvasOrigin));
        painter.setClipRect(level.changed);
        if (!d.m_erasePath.isEmpty())
            painter.fillPath(level.combined.map(d.m_erasePath), Qt::transparent);
        if (!d.m_clipPath.isEmpty()) {
            // Cut out of the whole target, not just of what changed: how Qt
            // subtracts a curved path depends on how the rectangle meets it,
            // and the edge must come out the same whichever part of the
            // target is rendered, or cached images drift from fresh renders.
            QPainterPath outside;
            outside.addRect(toRectF(pass.frame()));
            painter.fillPath(outside.subtracted(level.combined.map(d.m_clipPath)), Qt::transparent);
        }
    }
    if (!level.inPlace)
        composeAt(*level.target, level.origin, canvas, level.canvasOrigin, level.changed, true);
    return level.changed;
}

QRect CompoundStroke::boundingRect() const
{
    return d->m_boundingRect;
}

bool CompoundStroke::isEmpty() const
{
    return d->m_members.empty();
}

bool CompoundStroke::eraseInside(const QPainterPath &path)
{
    forEachLeaf(path, [](Stroke &member, const QPainterPath &local) { member.eraseInside(local); });
    return true;
}

void CompoundStroke::clipTo(const QPainterPath &path)
{
    forEachLeaf(path, [](Stroke &member, const QPainterPath &local) { member.clipTo(local); });
}

void CompoundStroke::forEachLeaf(const QPainterPath &path,
                                 const std::function<void(Stroke &, const QPainterPath &)> &apply)
{
    struct Visit
    {
        CompoundStroke *compound;
        QPainterPath local;
        size_t next;
    };
    std::vector<Visit> visits{{this, d->m_transform.inverted().map(path), 0}};
    while (!visits.empty()) {
        Visit &visit = visits.back();
        auto &members = visit.compound->d->m_members;
        if (visit.next < members.size()) {
            Stroke &member = *members[visit.next++];
            if (auto *nested = dynamic_cast<CompoundStroke *>(&member)) {
                const Visit inside{nested, nested->d->m_transform.inverted().map(visit.local), 0};
                visits.push_back(inside);
            } else {
                apply(member, visit.local);
            }
            continue;
        }
        // Its members are final now, nested compounds included.
        visit.compound->removeEmptyMembers();
        visit.compound->updateBoundingRect();
        visits.pop_back();
    }
}

void CompoundStroke::write(QDataStream &stream) const
{
    // The record nests as the tree does: a nested compound's members and
    // paths come between its type code and the next member of its parent.
    struct Visit
    {
        const CompoundStroke *compound;
        size_t next;
    };
    std::vector<Visit> visits{{this, 0}};
    stream << qint64(d->m_members.size());
    while (!visits.empty()) {
        Visit &visit = visits.back();
        const CompoundStrokePrivate &level = *visit.compound->d;
        if (visit.next < level.m_members.size()) {
            const Stroke &member = *level.m_members[visit.next++];
            if (const auto *nested = dynamic_cast<const CompoundStroke *>(&member)) {
                stream << qint32(CompoundStrokeType) << qint64(nested->d->m_members.size());
                visits.push_back({nested, 0});
            } else {
                writeRecord(stream, member);
            }
            continue;
        }
        stream << level.m_erasePath << level.m_clipPath << level.m_transform;
        visits.pop_back();
    }
}

std::unique_ptr<CompoundStroke> CompoundStroke::read(QDataStream &stream)
{
    // The compounds being read, the outermost first. A nested compound
    // joins its parent only once its record is whole: what follows its
    // members (its paths and transform) belongs to them.
    struct Level
    {
        std::unique_ptr<CompoundStroke> compound;
        qint64 remaining;
    };
    std::vector<Level> levels;
    const auto open = [&stream, &levels]() {
        qint64 count = 0;
        stream >> count;
        if (stream.status() == QDataStream::Ok && count < 0)
            markCorrupt(stream);
        levels.push_back({std::make_unique<CompoundStroke>(), count});
    };

    open();
    for (;;) {
        Level &level = levels.back();
        // The count only bounds the loop; nothing is reserved from it. Every
        // member takes at least its type code from the record, so a count
        // beyond what the record holds ends at the record's end.
        if (level.remaining > 0 && stream.status() == QDataStream::Ok) {
            --level.remaining;
            qint32 type = -1;
            stream >> type;
            if (stream.status() != QDataStream::Ok)
                continue;
            if (type == CompoundStrokeType) {
                open();
                continue;
            }
            std::unique_ptr<Stroke> member = readRecord(type, stream);
            if (stream.status() != QDataStream::Ok)
                continue;
            // An unknown type code: the member's record has no length to skip
            // it by, so nothing after it can be read as what it claims to be.
            if (!member) {
                markCorrupt(stream);
                continue;
            }
            level.compound->d->m_members.push_back(std::move(member));
            continue;
        }

        CompoundStroke &compound = *level.compound;
        QPainterPath erasePath;
        QPainterPath clipPath;
        QTransform transform;
        if (stream.status() == QDataStream::Ok && readPath(stream, erasePath)
            && readPath(stream, clipPath) && readTransform(stream, transform)) {
            compound.d->m_erasePath = erasePath;
            compound.d->m_clipPath = clipPath;
            compound.d->m_transform = transform;
        }
        compound.updateBoundingRect();
        std::unique_ptr<CompoundStroke> finished = std::move(level.compound);
        levels.pop_back();
        if (levels.empty())
            return finished;
        if (stream.status() == QDataStream::Ok)
            levels.back().compound->d->m_members.push_back(std::move(finished));
    }
}

bool CompoundStroke::addStroke(std::unique_ptr<Stroke> stroke)
{
    if (!stroke)
        return false;
    if (!d->m_erasePath.isEmpty() || !d->m_transform.isIdentity()) {
        // With nothing to keep them for, the path and transform simply go.
        if (d->m_members.empty()) {
            const bool kept = d->m_keptForAddition;
            d = std::make_unique<CompoundStrokePrivate>();
            d->m_keptForAddition = kept;
        } else {
            nest();
            static_cast<CompoundStroke &>(*d->m_members.front()).d->m_keptForAddition = true;
        }
    }
    // Members are drawn from their vector data; a live stroke's mask would
    // only keep a frame's worth of memory for as long as the compound lives.
    if (auto *single = dynamic_cast<SingleStroke *>(stroke.get()))
        single->takeImage();
    d->m_members.push_back(std::move(stroke));
    updateBoundingRect();
    return true;
}

bool CompoundStroke::erase(const QPainterPath &path)
{
    if (d->m_members.empty() || !isWithinLimits(path))
        return false;
    d->m_erasePath = d->m_erasePath.united(path);
    return eraseInside(d->m_erasePath);
}

QPainterPath CompoundStroke::erasePath() const
{
    return d->m_erasePath;
}

bool CompoundStroke::setClipPath(const QPainterPath &path)
{
    if (!isWithinLimits(path))
        return false;
    d->m_clipPath = path;
    if (path.isEmpty())
        updateBoundingRect();
    else
        clipTo(path);
    return true;
}

QPainterPath CompoundStroke::clipPath() const
{
    return d->m_clipPath;
}

bool CompoundStroke::setTransform(const QTransform &transform)
{
    // An inverse or a product keeps its last entries only to the last bit;
    // Qt maps by the affine part alone, which is what the record keeps.
    const QTransform affine = transform.isAffine()
        ? QTransform(transform.m11(), transform.m12(), transform.m21(), transform.m22(), transform.dx(), transform.dy())
        : transform;
    if (!isPossibleTransform(affine))
        return false;
    d->m_transform = affine;
    updateBoundingRect();
    return true;
}

QTransform CompoundStroke::transform() const
{
    return d->m_transform;
}

void CompoundStroke::bakeTransform()
{
    if (d->m_transform.isIdentity())
        return;
    nest();
    updateBoundingRect();
}

std::unique_ptr<Stroke> CompoundStroke::takeLast()
{
    if (d->m_members.empty())
        return nullptr;
    std::unique_ptr<Stroke> last = std::move(d->m_members.back());
    d->m_members.pop_back();
    // The member for which the content moved down has gone: the content comes
    // back up, paths and transform included.
    if (d->m_members.size() == 1 && d->m_erasePath.isEmpty() && d->m_clipPath.isEmpty()
        && d->m_transform.isIdentity()) {
        auto *kept = dynamic_cast<CompoundStroke *>(d->m_members.front().get());
        if (kept && kept->d->m_keptForAddition) {
            const bool ownMark = d->m_keptForAddition;
            std::unique_ptr<CompoundStrokePrivate> content = std::move(kept->d);
            kept->d = std::make_unique<CompoundStrokePrivate>();
            d = std::move(content);
            d->m_keptForAddition = ownMark;
        }
    }
    updateBoundingRect();
    return last;
}

int CompoundStroke::memberCount() const
{
    return int(d->m_members.size());
}

const Stroke *CompoundStroke::member(int index) const
{
    if (index < 0 || index >= memberCount())
        return nullptr;
    return d->m_members[size_t(index)].get();
}

int CompoundStroke::strokeCount() const
{
    // Each member counts one, and a nested compound adds its own members.
    int count = 0;
    std::vector<const CompoundStroke *> pending{this};
    while (!pending.empty()) {
        const CompoundStroke *compound = pending.back();
        pending.pop_back();
        count += int(compound->d->m_members.size());
        for (const auto &member : compound->d->m_members) {
            if (const auto *nested = dynamic_cast<const CompoundStroke *>(member.get()))
                pending.push_back(nested);
        }
    }
    return count;
}

bool CompoundStroke::collapse(int scale, QRect limit, const Progress &progress)
{
    // A finer bitmap would not read back.
    scale = std::clamp(scale, 1, BitmapStroke::maximumResolutionFactor);
    QRect rect = d->m_boundingRect;
    if (limit.isValid())
        rect &= limit;
    if (rect.isEmpty()) {
        // Nothing lies inside the limit: an empty bitmap would be a member
        // that paints nothing, so the content simply goes.
        d = std::make_unique<CompoundStrokePrivate>();
        return true;
    }

    // The bitmap is held to what a run-length image may hold, or it would
    // not read back: content that reaches far (strokes from a damaged record,
    // a selection lifted without a frame to cut it to) is collapsed at a
    // coarser grain, and at one pixel per drawing pixel or not at all.
    const qint64 rectWidth = qint64(rect.right()) - rect.left() + 1;
    const qint64 rectHeight = qint64(rect.bottom()) - rect.top() + 1;
    while (scale > 1 && rectWidth * rectHeight * scale * scale > RleImage::maximumImageBytes)
        --scale;
    if (rectWidth * rectHeight * scale * scale > RleImage::maximumImageBytes)
        return false;
    const qint64 width = rectWidth * scale;
    const qint64 height = rectHeight * scale;
    QImage image(int(width), int(height), QImage::Format_Alpha8);
    if (image.isNull())
        return false;
    image.fill(0);

    const QTransform placement = QTransform::fromTranslate(-rect.x(), -rect.y())
        * QTransform::fromScale(scale, scale);
    if (progress) {
        RenderProgress state(progress, strokeCount());
        if (!state.start())
            return false;
        render(image, image.rect(), placement, QPoint(0, 0), scale, &state);
        if (state.cancelled())
            return false;
    } else {
        render(image, image.rect(), placement, QPoint(0, 0), scale, nullptr);
    }

    auto collapsed = std::make_unique<CompoundStrokePrivate>();
    collapsed->m_members.push_back(std::make_unique<BitmapStroke>(image, rect));
    // The old content is deleted with the old private part.
    std::swap(d, collapsed);
    updateBoundingRect();
    return true;
}

void CompoundStroke::nest()
{
    auto nested = std::make_unique<CompoundStroke>();
    std::swap(nested->d, d);
    // Whether this compound itself holds content kept apart stays with it.
    std::swap(d->m_keptForAddition, nested->d->m_keptForAddition);
    d->m_members.push_back(std::move(nested));
}

void CompoundStroke::removeEmptyMembers()
{
    auto &members = d->m_members;
    members.erase(std::remove_if(members.begin(), members.end(),
                                 [](const std::unique_ptr<Stroke> &member) {
                                     return member->isEmpty();
                                 }),
                  members.end());
}

void CompoundStroke::updateBoundingRect()
{
    QRect rect;
    for (const auto &member : d->m_members) {
        if (!isEraserStroke(*member))
            rect |= Stroke::mappedRect(d->m_transform, member->boundingRect());
    }

    if (!d->m_clipPath.isEmpty()) {
        const QPainterPath clip = d->m_transform.map(d->m_clipPath);
        if (clip.contains(toRectF(rect)))
            d->m_clipPath = QPainterPath();
        else
            rect &= alignedRect(clip.boundingRect());
    }

    // The erase path and the members' rectangles are both taken in the
    // members' coordinates, where the erase path lives.
    if (!d->m_erasePath.isEmpty()) {
        const bool touches = std::any_of(
            d->m_members.begin(), d->m_members.end(), [this](const std::unique_ptr<Stroke> &member) {
                return d->m_erasePath.intersects(toRectF(member->boundingRect()));
            });
        if (!touches)
            d->m_erasePath = QPainterPath();
    }

    d->m_boundingRect = rect;
}

} // namespace Model
