// The floating selection over the paper: its handles, their drags, the
// scrolling while it is dragged near an edge, and its painting. The paper
// never changes the selection itself: each finished edit is announced as a
// whole placement record, which the main window turns into an undo command.
//
// The placement maps drawing to selection coordinates as
// third * second * first (third applied first): first scales and flips,
// second turns, third moves. A drag edits the live parts, which the release
// folds into the record.

#include "paper/paper.h"

#include "paper/paper_p.h"

#include "scene/klscene.h"
#include "tools/floatingselectiontool.h"
#include "tools/toolmanager.h"

#include <QCursor>
#include <QLineF>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace UI {

namespace {

constexpr double HandleSpan = 70.0;

// A scale factor whose denominator is about zero (the handle dragged onto
// the pivot's line) would make the placement infinite or collapse it. A
// millionth of a pixel in selection units is as close as a drag ever means.
bool aboutZero(double value)
{
    return std::abs(value) < 1e-6;
}

Model::FloatingSelectionTool *selectionTool()
{
    return qobject_cast<Model::FloatingSelectionTool *>(
        Model::ToolManager::instance()->tool(Model::Tool::Type::FloatingSelection));
}

} // namespace

void PaperPrivate::rebuildSelectionChain()
{
    selectionTransform = third * liveThird * second * liveSecond * first * liveFirst;
}

QTransform PaperPrivate::selectionToWidget() const
{
    return (widgetToDrawing * selectionTransform).inverted();
}

bool PaperPrivate::selectionMirrored() const
{
    return (selectionTransform.m11() < 0.0) != (selectionTransform.m22() < 0.0);
}

// The direction of the selection's up on screen, as QLineF::angle gives it.
double PaperPrivate::upAngle() const
{
    return selectionToWidget().map(QLineF(0.0, 0.0, 0.0, -1.0)).angle();
}

void PaperPrivate::rebuildHandles()
{
    for (QPainterPath *path : {&rotateHandle, &scaleHandle, &scaleRotateHandle, &flipHButton, &flipHArrowA,
                               &flipHArrowB, &flipVButton, &flipVArrowA, &flipVArrowB, &pivotCircle, &pivotStar})
        *path = QPainterPath();
    if (selectionRect.isNull())
        return;

    const QTransform wi = selectionToWidget();
    const double up = upAngle();
    const QTransform turn = std::isnan(up) ? QTransform() : QTransform().rotate(-up);
    const auto placed = [&turn](const QPainterPath &shape, QPointF at) {
        return (turn * QTransform::fromTranslate(at.x(), at.y())).map(shape);
    };

    // Selection units per widget pixel along each axis.
    const QTransform scaling = first * liveFirst;
    double k1 = std::abs(scaling.m11()) * scale;
    double k2 = std::abs(scaling.m22()) * scale;
    if (!(k1 > 0.0) || !std::isfinite(k1))
        k1 = scale;
    if (!(k2 > 0.0) || !std::isfinite(k2))
        k2 = scale;
    const double w = selectionRect.width() / k1;
    const double h = selectionRect.height() / k2;
    // A small selection still gets its handles 70 pixels apart.
    QRectF frame = selectionRect;
    if (w < HandleSpan || h < HandleSpan) {
        const QPointF centre = frame.center();
        if (w < HandleSpan)
            frame.setWidth(HandleSpan * k1);
        if (h < HandleSpan)
            frame.setHeight(HandleSpan * k2);
        frame.moveCenter(centre);
    }

    rotateHandle = circle(wi.map(QPointF(frame.center().x(), frame.top())), 14.0);
    QPainterPath square;
    square.addRect(-12.0, -12.0, 24.0, 24.0);
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(-12.5, -12.5, 25.0, 25.0), 60.0, 60.0, Qt::RelativeSize);
    // While dragged, the scale handles travel with the pointer.
    const bool pressed = activeHandle != Handle::None && (mousePressed || tabletPressed);
    scaleHandle = placed(square, pressed ? lastPos : wi.map(frame.bottomRight()));
    scaleRotateHandle = placed(rounded, pressed ? lastPos : wi.map(frame.topRight()));

    const QPointF flipH = wi.map(QPointF(frame.right(), frame.center().y()));
    flipHButton = placed(diamondTemplate, flipH);
    flipHArrowA = placed(arrowheadTemplate, flipH);
    flipHArrowB = placed(QTransform().rotate(180.0).map(arrowheadTemplate), flipH);
    if (selectionMirrored())
        std::swap(flipHArrowA, flipHArrowB);
    const QPointF flipV = wi.map(QPointF(frame.center().x(), frame.bottom()));
    flipVButton = placed(diamondTemplate, flipV);
    flipVArrowA = placed(QTransform().rotate(90.0).map(arrowheadTemplate), flipV);
    flipVArrowB = placed(QTransform().rotate(270.0).map(arrowheadTemplate), flipV);

    const QPointF pivotAt = wi.map(pivot + livePivotDelta);
    pivotCircle = circle(pivotAt, 9.0);
    pivotStar = placed(starTemplate, pivotAt);
    const QRectF star = pivotStar.boundingRect();
    if (1.75 * star.width() <= w && 1.75 * star.height() <= h && !(w < HandleSpan && h < HandleSpan))
        pivotShown = true;
    else
        pivotShown = !wi.map(QPolygonF(selectionRect)).containsPoint(pivotAt, Qt::OddEvenFill);
}

QRect PaperPrivate::handleRegion() const
{
    if (selectionRect.isNull())
        return QRect();
    QRectF region = selectionToWidget().mapRect(selectionRect);
    for (const QPainterPath *path : {&pivotStar, &rotateHandle, &scaleHandle, &scaleRotateHandle, &flipHButton,
                                     &flipVButton})
        region |= path->boundingRect();
    return region.toAlignedRect().adjusted(-1, -1, 1, 1);
}

void PaperPrivate::repaintHandleRegion()
{
    const QRect region = handleRegion();
    if (!region.isEmpty())
        q->update(region);
}

int PaperPrivate::hitTest(QPointF pos) const
{
    if (mode != Mode::FloatingSelection)
        return Handle::None;
    if (pivotShown && pivotCircle.contains(pos))
        return Handle::Pivot;
    if (scaleHandle.contains(pos))
        return Handle::Scale;
    if (rotateHandle.contains(pos))
        return Handle::Rotate;
    if (scaleRotateHandle.contains(pos))
        return Handle::ScaleRotate;
    if (flipHButton.contains(pos))
        return Handle::FlipHorizontal;
    if (flipVButton.contains(pos))
        return Handle::FlipVertical;
    if (selectionRect.contains((widgetToDrawing * selectionTransform).map(pos)))
        return Handle::Move;
    return Handle::None;
}

void PaperPrivate::refreshSelection()
{
    if (mode == Mode::FloatingSelection)
        repaintHandleRegion();
    selectionRect = QRectF();
    selectionOutline = QPainterPath();
    activeHandle = Handle::None;
    hoverHandle = Handle::None;
    if (const Model::FloatingSelection *selection = klScene ? klScene->floatingSelection() : nullptr) {
        selectionRect = QRectF(selection->rect());
        selectionOutline.addRect(selectionRect);
        const Model::FloatingSelection::Transform placement = selection->transform();
        first = placement.first;
        second = placement.second;
        third = placement.third;
        pivot = placement.center;
    }
    rebuild();
    if (mode == Mode::FloatingSelection) {
        repaintHandleRegion();
        selectionHover(q->mapFromGlobal(QCursor::pos()));
    }
}

void PaperPrivate::selectionPress(QPointF pos, Qt::KeyboardModifiers modifiers)
{
    activeHandle = hitTest(pos);
    if (activeHandle == Handle::None)
        Q_EMIT q->floatingSelectionStamped(modifiers);
    else
        selectionHover(pos);
}

void PaperPrivate::selectionDrag(QPointF pos, Qt::KeyboardModifiers modifiers)
{
    // Selection coordinates of a widget point under the committed placement.
    const QTransform committed = widgetToDrawing * third * second * first;
    const double sign = mirrored ? -1.0 : 1.0;
    const QRect before = handleRegion();
    switch (activeHandle) {
    case Handle::Move: {
        const QTransform moved = widgetToDrawing * third;
        liveThird = translation(moved.map(pressPos) - moved.map(pos));
        rebuild();
        q->update(before | handleRegion());
        updateAutoPan(pos);
        selectionHover(pos);
        return;
    }
    case Handle::Pivot:
        livePivotDelta = committed.map(pos) - committed.map(pressPos);
        break;
    case Handle::Rotate: {
        const QPointF pivotW = committed.inverted().map(pivot);
        const double turn = sign * QLineF(pivotW, pressPos).angleTo(QLineF(pivotW, pos));
        liveSecond = rotationAbout(first.inverted().map(pivot), turn);
        break;
    }
    case Handle::Scale: {
        const QPointF d = committed.map(pos) - committed.map(pressPos);
        const double rx = selectionRect.right() - pivot.x();
        const double ry = selectionRect.bottom() - pivot.y();
        if (modifiers & Qt::ShiftModifier) {
            const double numerator = rx * rx + ry * ry;
            const double denominator = (rx + d.x()) * rx + (ry + d.y()) * ry;
            if (aboutZero(denominator) || aboutZero(numerator))
                return;
            const double f = numerator / denominator;
            liveFirst = scalingAbout(pivot, f, f);
        } else {
            if (aboutZero(rx + d.x()) || aboutZero(ry + d.y()))
                return;
            // An edge through the pivot has no length to scale by.
            const double fx = aboutZero(rx) ? 1.0 : rx / (rx + d.x());
            const double fy = aboutZero(ry) ? 1.0 : ry / (ry + d.y());
            liveFirst = scalingAbout(pivot, fx, fy);
        }
        break;
    }
    case Handle::ScaleRotate: {
        // The handle's own centre, wherever on it the press landed.
        const QPointF at = pos - handleOffset;
        const QPointF from = pressPos - handleOffset;
        const QPointF pivotW = committed.inverted().map(pivot);
        const double turn = sign * QLineF(pivotW, from).angleTo(QLineF(pivotW, at));
        liveSecond = rotationAbout(first.inverted().map(pivot), turn);
        // The pointer in selection coordinates with the turn applied lies on
        // the handle's own diagonal: what is left is how far along it the
        // handle went.
        const QTransform turned = widgetToDrawing * third * second * liveSecond * first;
        const QPointF d = turned.map(at) - committed.map(from);
        const double rx = selectionRect.right() - pivot.x();
        const double ry = pivot.y() - selectionRect.top();
        if (aboutZero(rx + d.x()) || aboutZero(ry - d.y()))
            return;
        const double fx = aboutZero(rx) ? 1.0 : rx / (rx + d.x());
        const double fy = aboutZero(ry) ? 1.0 : ry / (ry - d.y());
        liveFirst = scalingAbout(pivot, fx, fy);
        break;
    }
    default:
        selectionHover(pos);
        return;
    }
    rebuild();
    q->update(before | handleRegion());
    setSelectionCursorRotation(activeHandle);
    selectionHover(pos);
}

void PaperPrivate::updateAutoPan(QPointF pos)
{
    const double edge = 50.0 * devicePixelRatio;
    autoPanRight = pos.x() > q->width() - edge;
    autoPanLeft = pos.x() < edge;
    autoPanDown = pos.y() > q->height() - edge;
    autoPanUp = pos.y() < edge;
    if (!autoPanRight && !autoPanLeft && !autoPanDown && !autoPanUp)
        autoPanTimer->stop();
    else if (!autoPanTimer->isActive())
        autoPanTimer->start();
}

void PaperPrivate::stopAutoPan()
{
    autoPanTimer->stop();
    autoPanRight = autoPanLeft = autoPanDown = autoPanUp = false;
}

// Scrolls while a moved selection is near an edge, as long as the paper
// stays within reach, and keeps the selection under the pointer.
void PaperPrivate::autoPanStep()
{
    // The step moves the committed placement with the view: only a move
    // drag under way may do that, or the paper would show the selection
    // where the scene's record does not put it.
    if (mode != Mode::FloatingSelection || activeHandle != Handle::Move) {
        stopAutoPan();
        return;
    }
    const double k = 5.0 * devicePixelRatio;
    const double inset = 50.0 * devicePixelRatio;
    const QPolygonF inner(QRectF(q->rect()).adjusted(inset, inset, -inset, -inset));
    const struct
    {
        bool on;
        QPointF delta;
    } steps[] = {{autoPanRight, {-k, 0.0}}, {autoPanLeft, {k, 0.0}}, {autoPanDown, {0.0, -k}}, {autoPanUp, {0.0, k}}};
    for (const auto &step : steps) {
        if (!step.on)
            continue;
        const QPointF sceneShift = viewTransform.map(step.delta) - viewTransform.map(QPointF(0.0, 0.0));
        const QTransform toWidget = widgetToDrawing.inverted();
        const QPolygonF moved = toWidget.map(QPolygonF(paperRect.translated(sceneShift)));
        const QPolygonF current = toWidget.map(QPolygonF(paperRect));
        if (inner.intersects(moved) || !inner.intersects(current)) {
            showAt(QPointF(0.0, 0.0), step.delta);
            third = translation(sceneShift) * third;
            rebuild();
        }
    }
    q->update();
}

void PaperPrivate::selectionRelease(QPointF pos)
{
    if (activeHandle == Handle::None) {
        selectionHover(pos);
        return;
    }
    stopAutoPan();
    if (activeHandle == Handle::FlipHorizontal || activeHandle == Handle::FlipVertical) {
        // A click that leaves the button is no click.
        if (hitTest(pos) != activeHandle) {
            activeHandle = Handle::None;
            selectionHover(pos);
            return;
        }
        const bool horizontal = activeHandle == Handle::FlipHorizontal;
        liveFirst = scalingAbout(selectionRect.center(), horizontal ? -1.0 : 1.0, horizontal ? 1.0 : -1.0);
        rebuild();
    }
    commitSelectionDrag();
    selectionHover(pos);
}

// Folds the live parts of a handle drag into the record and announces it.
void PaperPrivate::commitSelectionDrag()
{
    const QRect before = handleRegion();
    pivot += livePivotDelta;
    livePivotDelta = QPointF();
    first = first * liveFirst;
    second = second * liveSecond;
    third = third * liveThird;
    liveFirst = liveSecond = liveThird = QTransform();
    rebuild();
    q->update(before | handleRegion());
    Q_EMIT q->floatingSelectionTransformChanged({first, second, third, pivot});
    activeHandle = Handle::None;
}

// The release of a handle drag that another tool took over part-way (a
// view tool held, a tool key): the drag ends here all the same, as it
// stands, so that the record the scene keeps, and a stamp, put the
// selection where the paper showed it. A flip click is no click then.
void PaperPrivate::endSelectionDragElsewhere()
{
    if (activeHandle == Handle::None)
        return;
    if (activeHandle == Handle::FlipHorizontal || activeHandle == Handle::FlipVertical) {
        activeHandle = Handle::None;
        return;
    }
    commitSelectionDrag();
}

void PaperPrivate::setSelectionCursorRotation(int handle)
{
    Model::FloatingSelectionTool *tool = selectionTool();
    if (!tool)
        return;
    const double base = handle == Handle::Scale ? 135.0 : handle == Handle::ScaleRotate ? 45.0 : 0.0;
    const double up = upAngle();
    tool->setCursorRotation(selectionMirrored() == mirrored ? base - up : -up - base);
}

void PaperPrivate::selectionHover(QPointF pos)
{
    if (mode != Mode::FloatingSelection || activeHandle != Handle::None)
        return;
    const int handle = hitTest(pos);
    if (handle == hoverHandle)
        return;
    Model::FloatingSelectionTool *tool = selectionTool();
    if (tool) {
        // By handle: move, pivot, rotate, scale, scale and rotate, the two
        // flips (plain arrows), outside (stamp).
        static const quint32 cursors[] = {0, 6, 1, 2, 3, 4, 5, 10};
        if (handle >= Handle::Rotate && handle <= Handle::ScaleRotate)
            setSelectionCursorRotation(handle);
        tool->setCursorType(Model::FloatingSelectionTool::FSCursorType(cursors[handle]));
    }
    hoverHandle = handle;
}

void PaperPrivate::paintSelection(QPainter &painter, bool withHandles)
{
    const Model::FloatingSelection *selection = klScene ? klScene->floatingSelection() : nullptr;
    if (!selection)
        return;
    const QTransform wi = selectionToWidget();
    painter.save();
    painter.setTransform(wi, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setOpacity(selection->opacity());
    painter.drawImage(selectionRect, selection->image());
    painter.restore();

    painter.save();
    const Model::FloatingSelectionTool *tool = selectionTool();
    const bool canStamp = !tool || tool->cursorType() == Model::Tool::OwnCursor;
    QColor colour = canStamp ? QColor(77, 163, 77) : QColor(196, 46, 85);
    const Qt::PenStyle style = canStamp ? Qt::SolidLine : Qt::DotLine;
    colour.setAlphaF(0.4f);
    const QPen strong(colour, 1.5, style, Qt::RoundCap, Qt::RoundJoin);
    const QBrush arrows(colour);
    colour.setAlphaF(0.2f);
    const QPen faint(colour, 1.0, style, Qt::RoundCap, Qt::RoundJoin);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);

    // The outline is drawn last, and not across the handles drawn here.
    QPainterPath clip;
    clip.addRect(QRectF(q->rect()));
    const bool dragging = activeHandle != Handle::None;
    if (withHandles && dragging) {
        painter.setPen(strong);
        switch (activeHandle) {
        case Handle::Pivot:
            painter.drawPath(pivotStar);
            break;
        case Handle::Rotate:
        case Handle::Scale:
        case Handle::ScaleRotate: {
            if (pivotShown) {
                painter.setPen(faint);
                painter.drawPath(pivotStar);
                painter.setPen(strong);
            }
            const QPainterPath &handle = activeHandle == Handle::Rotate ? rotateHandle
                : activeHandle == Handle::Scale                         ? scaleHandle
                                                                        : scaleRotateHandle;
            painter.drawPath(handle);
            clip = clip.subtracted(handle);
            break;
        }
        case Handle::FlipHorizontal:
        case Handle::FlipVertical: {
            const bool horizontal = activeHandle == Handle::FlipHorizontal;
            painter.drawPath(horizontal ? flipHButton : flipVButton);
            painter.drawPath(horizontal ? flipHArrowA : flipVArrowA);
            painter.fillPath(horizontal ? flipHArrowB : flipVArrowB, arrows);
            clip = clip.subtracted(horizontal ? flipHButton : flipVButton);
            break;
        }
        default:
            break;
        }
    } else if (withHandles) {
        painter.setPen(strong);
        for (const QPainterPath *path : {&rotateHandle, &scaleHandle, &scaleRotateHandle, &flipHButton, &flipHArrowA,
                                         &flipVButton, &flipVArrowA})
            painter.drawPath(*path);
        painter.fillPath(flipHArrowB, arrows);
        painter.fillPath(flipVArrowB, arrows);
        if (pivotShown)
            painter.drawPath(pivotStar);
        for (const QPainterPath *path : {&rotateHandle, &scaleHandle, &scaleRotateHandle, &flipHButton, &flipVButton})
            clip = clip.subtracted(*path);
    }
    painter.setClipPath(clip, Qt::IntersectClip);
    painter.setPen(withHandles && !dragging && mode == Mode::FloatingSelection ? strong : faint);
    painter.drawPath(wi.map(selectionOutline));
    painter.restore();
}

void Paper::setFloatingSelectionTransform(const Model::FloatingSelection::Transform &transform)
{
    if (d->mode == Mode::FloatingSelection)
        d->repaintHandleRegion();
    d->first = transform.first;
    d->second = transform.second;
    d->third = transform.third;
    d->pivot = transform.center;
    d->rebuild();
    if (d->mode == Mode::FloatingSelection)
        d->repaintHandleRegion();
}

} // namespace UI
