// The paper's view: the chain of transforms from widget to scene and
// drawing coordinates, every operation that changes it, the zoom-pan-rotate
// symbol, the off-pegs circle, the wheel and the gestures.
//
// Transforms compose in QTransform's order: A * B applies A first. A drag or
// gesture edits only the live deltas (liveViewDelta, liveOffPegsDelta) and
// commit() folds them into the committed transforms at its end, so that a
// cancelled drag leaves the view as it was.

#include "paper/paper.h"

#include "paper/paper_p.h"

#include "scene/klscene.h"
#include "scene/scene.h"
#include "tools/offpegstool.h"
#include "tools/toolmanager.h"
#include "tools/zprtool.h"

#include <QCursor>
#include <QGestureEvent>
#include <QLineF>
#include <QNativeGestureEvent>
#include <QPolygonF>
#include <QResizeEvent>
#include <QSvgRenderer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace UI {

namespace {

constexpr double MinimumLevel = 0.0625;
constexpr double MaximumLevel = 16.0;

// The offset of the touch-pad's pan gesture, shared by every paper: a gesture
// belongs to the pointer, not to one widget.
QPointF s_panGestureOffset;

bool differs(double a, double b)
{
    return std::min(std::abs(a), std::abs(b)) < std::abs(a - b) * 1e12;
}

double degrees(double radians)
{
    return radians * 180.0 / std::numbers::pi;
}

} // namespace

// --- The chain ----------------------------------------------------------

void PaperPrivate::rebuild()
{
    rebuildSelectionChain();
    offPegs = committedOffPegs * liveOffPegsDelta;
    widgetToScene = viewTransform * liveViewDelta;
    widgetToDrawing = widgetToScene * offPegs;
    if (mode == Mode::FloatingSelection)
        rebuildHandles();
    if (gridStatus == KL::GridStatus::GridOn)
        mapGrid();
}

// Reads pan, angle and scale back from the committed view, unmirrored.
void PaperPrivate::decompose()
{
    const QTransform v = mirrorTransform.inverted() * viewTransform;
    pan = QPointF(v.dx(), v.dy());
    double newScale = 1.0;
    double newAngle = 0.0;
    if (std::abs(v.m11()) > 1e-12 || std::abs(v.m12()) > 1e-12) {
        newScale = std::hypot(v.m11(), v.m12());
        newAngle = degrees(std::acos(std::clamp(v.m11() / newScale, -1.0, 1.0)));
        if (!(v.m12() > 0.0))
            newAngle = -newAngle;
    } else if (std::abs(v.m21()) > 1e-12 || std::abs(v.m22()) > 1e-12) {
        newScale = std::hypot(v.m21(), v.m22());
        const double sine = v.m22() > 0.0 ? -v.m21() / newScale : v.m21() / newScale;
        newAngle = 90.0 - degrees(std::acos(std::clamp(sine, -1.0, 1.0)));
    }
    if (differs(newScale, scale)) {
        // The quick-zoom memory lasts until the zoom changes.
        quickZoomSaved.reset();
        scale = newScale;
        Q_EMIT q->zoomLevelChanged(devicePixelRatio / scale);
    }
    if (differs(newAngle, angle)) {
        angle = newAngle;
        emitZoomLevelToFit();
    }
    if (mode == Mode::FloatingSelection)
        rebuildHandles();
}

void PaperPrivate::resetLiveDeltas()
{
    liveViewDelta = QTransform();
    liveOffPegsDelta = QTransform();
    liveZoomFactor = 1.0;
}

void PaperPrivate::commit()
{
    viewTransform = viewTransform * liveViewDelta;
    committedOffPegs = offPegs;
    resetLiveDeltas();
    rebuild();
    decompose();
}

void PaperPrivate::rebuildMirrorTransform()
{
    mirrorTransform = mirrored ? scalingAbout(viewCentre, -1.0, 1.0) : QTransform();
}

// The same pan, angle and scale seen through the mirror about the view's
// centre, or without it.
void PaperPrivate::setMirrored(bool mirror)
{
    if (mirror == mirrored)
        return;
    mirrored = mirror;
    decompose();
    rebuildMirrorTransform();
    viewTransform = mirrorTransform * QTransform().translate(pan.x(), pan.y()).rotate(angle).scale(scale, scale);
    rebuild();
    Q_EMIT q->mirrorViewChanged(mirror);
}

void PaperPrivate::resetViewState()
{
    liveFirst = liveSecond = liveThird = QTransform();
    livePivotDelta = QPointF();
    widgetToScene = QTransform();
    offPegs = committedOffPegs = QTransform();
    resetLiveDeltas();
    widgetToDrawing = QTransform();
    rebuildMirrorTransform();
    viewTransform = mirrorTransform;
    decompose();
}

void PaperPrivate::emitZoomLevelToFit()
{
    Q_EMIT q->zoomLevelToFitChanged(fitLevel(0.0));
}

QPolygonF PaperPrivate::paperInWidget(const QTransform &paperToWidget) const
{
    return paperToWidget.map(QPolygonF(paperRect));
}

void PaperPrivate::repaintDrawingRect(const QRect &rect)
{
    // Smoothed pictures reach one scene pixel beyond what changed.
    const QRectF grown = QRectF(rect).adjusted(-1.0, -1.0, 1.0, 1.0);
    q->update(widgetToDrawing.inverted().mapRect(grown).toAlignedRect().adjusted(-1, -1, 1, 1));
    if (mode == Mode::FloatingSelection)
        repaintHandleRegion();
}

// --- Primitive operations -----------------------------------------------

double PaperPrivate::clampScale(double value) const
{
    return std::clamp(value, devicePixelRatio * MinimumLevel, devicePixelRatio * MaximumLevel);
}

void PaperPrivate::showAt(QPointF source, QPointF target)
{
    viewTransform = viewTransform * translation(viewTransform.map(source) - viewTransform.map(target));
    rebuild();
    decompose();
}

void PaperPrivate::zoomBy(QPointF widgetPoint, double factor)
{
    if (!std::isfinite(factor) || factor <= 0.0 || !isFinite(widgetPoint))
        return;
    const double target = clampScale(factor * scale);
    const QPointF c = viewTransform.map(widgetPoint);
    viewTransform = viewTransform * scalingAbout(c, target / scale, target / scale);
    rebuild();
    decompose();
}

void PaperPrivate::setZoomLevelAbout(double level, QPointF scenePoint)
{
    if (!std::isfinite(level) || level <= 0.0)
        return;
    level = std::clamp(level, MinimumLevel, MaximumLevel);
    const double ratio = devicePixelRatio / (level * scale);
    viewTransform = viewTransform * scalingAbout(scenePoint, ratio, ratio);
    rebuild();
    decompose();
}

void PaperPrivate::setRotation(double degreesTo)
{
    if (!std::isfinite(degreesTo))
        return;
    const QPointF c = viewTransform.map(viewCentre);
    liveViewDelta = rotationAbout(c, degreesTo - angle);
    rebuild();
    commit();
}

void PaperPrivate::centrePaper()
{
    if (paperRect.isNull())
        return;
    const QRectF bounds = paperInWidget(widgetToScene.inverted()).boundingRect()
        | paperInWidget(widgetToDrawing.inverted()).boundingRect();
    showAt(bounds.center(), viewCentre);
}

double PaperPrivate::fitLevel(double degreesTo) const
{
    const double level = devicePixelRatio / scale;
    if (paperRect.isEmpty())
        return level;
    const QPointF c = viewTransform.map(viewCentre);
    const QTransform w = viewTransform * liveViewDelta * rotationAbout(c, degreesTo - angle);
    const QRectF bounds = paperInWidget(w.inverted()).boundingRect()
        | paperInWidget((w * offPegs).inverted()).boundingRect();
    const QRectF area = QRectF(freeArea).adjusted(4.0, 4.0, -4.0, -4.0);
    if (bounds.width() <= 0.0 || bounds.height() <= 0.0 || area.width() <= 0.0 || area.height() <= 0.0)
        return level;
    return std::min(area.width() / bounds.width(), area.height() / bounds.height()) * level;
}

QPointF PaperPrivate::zoomPoint() const
{
    const QPointF cursor = q->mapFromGlobal(QCursor::pos());
    return freeArea.contains(cursor.toPoint()) ? cursor : viewCentre;
}

// --- View drags ---------------------------------------------------------

void PaperPrivate::handDrag(QPointF anchor, QPointF pos)
{
    liveViewDelta = translation(viewTransform.map(anchor) - viewTransform.map(pos));
    rebuild();
}

// Down and to the right zooms in, up and to the left out, by how far the
// pointer went along that diagonal, measured in free-area sizes.
void PaperPrivate::zoomDrag(QPointF anchor, QPointF pos)
{
    if (freeArea.isEmpty())
        return;
    const QLineF across(anchor, anchor + QPointF(1.0, -1.0));
    const QLineF along(pos, pos + QPointF(1.0, 1.0));
    QPointF foot;
    if (across.intersects(along, &foot) == QLineF::NoIntersection)
        foot = anchor;
    const QPointF d = pos - foot;
    const double nx = d.x() / freeArea.width();
    const double ny = d.y() / freeArea.height();
    const double factor = 5.0 * std::sqrt(nx * nx + ny * ny) + 1.0;
    const double target = clampScale(nx > -ny ? scale / factor : scale * factor);
    liveZoomFactor = target / scale;
    liveViewDelta = scalingAbout(viewTransform.map(anchor), liveZoomFactor, liveZoomFactor);
    rebuild();
    quickZoomSaved.reset();
    Q_EMIT q->zoomLevelChanged(devicePixelRatio / target);
}

void PaperPrivate::viewDrag(QPointF pos)
{
    if (mode == Mode::Hand) {
        handDrag(dragAnchor, pos);
    } else if (mode == Mode::Zoom) {
        zoomDrag(dragAnchor, pos);
    } else {
        double turn = QLineF(viewCentre, dragAnchor).angleTo(QLineF(viewCentre, pos));
        if (mirrored)
            turn = -turn;
        liveViewDelta = rotationAbout(viewTransform.map(viewCentre), turn);
        rebuild();
    }
    q->update();
}

// --- Zoom, pan and rotate with one symbol ---------------------------------

void PaperPrivate::placeZprSymbol()
{
    auto *tool = qobject_cast<Model::ZPRTool *>(Model::ToolManager::instance()->tool(Model::Tool::Type::ZoomPanRotate));
    QPointF point = QRectF(freeArea).isEmpty() ? viewCentre : QPointF(freeArea.center());
    // Where the key that called the tool was pressed, when that is on the
    // paper.
    const QVariant global = tool ? tool->pressPosGlobal() : QVariant();
    if (global.isValid()) {
        const QPointF local = q->mapFromGlobal(QPointF(global.toPoint()));
        if (q->rect().contains(local.toPoint())) {
            point = local;
            lastPressPos = point;
        }
    }
    const double r = std::min(freeArea.width(), freeArea.height()) / 12.0;
    zprCentre = point;
    zprPanArea = circle(point, r);
    zprRotateArea = QPainterPath();
    zprRotateArea.addEllipse(point - QPointF(0.0, r), 1.75 * r, r);
    const QRectF viewBox = panSymbol->viewBoxF();
    const double height = 1.8 * r;
    const double width = viewBox.height() > 0.0 ? height * viewBox.width() / viewBox.height() : height;
    zprPanSymbolRect = QRectF(point.x() - width / 2.0, point.y() - height / 2.0, width, height);
    zprRotateSymbolRect = zprPanSymbolRect.translated(0.0, -0.8 * r);
    zprZoomSymbolRect = zprPanSymbolRect.translated(0.0, 1.5 * r);
    dragAnchor = lastPressPos;
    zprDragState = q->devicePressed() ? zprRegion(dragAnchor) : NoRegion;
    updateZprCursor(q->mapFromGlobal(QCursor::pos()));
    q->setMouseTracking(true);
}

int PaperPrivate::zprRegion(QPointF pos) const
{
    if (mode != Mode::ZoomPanRotate)
        return NoRegion;
    if (zprPanArea.contains(pos))
        return 0;
    if (zprRotateArea.contains(pos))
        return 1;
    return 2;
}

void PaperPrivate::zprPress(QPointF pos)
{
    if (zprDragState == NoRegion)
        zprDragState = zprRegion(pos);
    q->update();
    updateZprCursor(pos);
}

void PaperPrivate::zprMove(QPointF pos)
{
    if (zprDragState == 0) {
        handDrag(dragAnchor, pos);
    } else if (zprDragState == 1) {
        double turn = QLineF(zprCentre, dragAnchor).angleTo(QLineF(zprCentre, pos));
        if (mirrored)
            turn = -turn;
        liveViewDelta = rotationAbout(viewTransform.map(zprCentre), turn);
        rebuild();
        if (auto *tool = qobject_cast<Model::ZPRTool *>(
                Model::ToolManager::instance()->tool(Model::Tool::Type::ZoomPanRotate)))
            tool->setCursorRotation(zprCursorRotation(pos));
    } else if (zprDragState == 2) {
        zoomDrag(dragAnchor, pos);
    }
    q->update();
    updateZprCursor(pos);
}

// The chosen part stays chosen: later drags repeat it until the tool is
// chosen again.
void PaperPrivate::zprRelease()
{
    if (zprDragState != NoRegion) {
        commit();
        q->update();
    }
}

void PaperPrivate::zprDoubleAction()
{
    const int region = zprRegion(lastPos);
    if (region == 0)
        centrePaper();
    else if (region == 1)
        setRotation(0.0);
    else if (region == 2)
        setZoomLevelAbout(1.0, viewTransform.map(zoomPoint()));
    q->update();
}

double PaperPrivate::zprCursorRotation(QPointF pos) const
{
    return -QLineF(zprCentre, pos).angle();
}

void PaperPrivate::updateZprCursor(QPointF pos)
{
    if (mode != Mode::ZoomPanRotate)
        return;
    auto *tool = qobject_cast<Model::ZPRTool *>(Model::ToolManager::instance()->tool(Model::Tool::Type::ZoomPanRotate));
    if (!tool)
        return;
    const int under = zprRegion(pos);
    const int compared = zprDragState == NoRegion ? under : zprDragState;
    if (compared != zprCursorRegion) {
        if (under == 0) {
            tool->setCursorType(Model::ZPRTool::ZPRCursorType::Hand);
        } else if (under == 1) {
            tool->setCursorRotation(zprCursorRotation(pos));
            tool->setCursorType(Model::ZPRTool::ZPRCursorType::Rotate);
        } else {
            tool->setCursorType(Model::ZPRTool::ZPRCursorType::Zoom);
        }
        zprCursorRegion = compared;
    } else if (zprCursorRegion == 1) {
        tool->setCursorRotation(zprCursorRotation(pos));
    }
}

// --- Off pegs -------------------------------------------------------------

void PaperPrivate::layOutOffPegs()
{
    const int r = std::min(freeArea.width(), freeArea.height()) / 7;
    const QPointF c = freeArea.center();
    offPegsPanArea = circle(c, r);
    offPegsSymbolRect = QRectF(c.x() - 1.7 * r, c.y() - 1.7 * r, 3.4 * r, 3.4 * r);
    QSizeF button = offPegsButtonArt->viewBoxF().size();
    if (button.isEmpty())
        button = QSizeF(86.0, 28.0);
    const QPointF buttonCentre = c + QPointF(0.0, 42.0 + r);
    offPegsButton = QPainterPath();
    offPegsButton.addRoundedRect(QRectF(buttonCentre - QPointF(button.width(), button.height()) / 2.0, button),
                                 button.height() / 2.0, button.height() / 2.0);
}

int PaperPrivate::offPegsRegion(QPointF pos) const
{
    if (mode != Mode::OffPegs)
        return NoRegion;
    if (offPegsPanArea.contains(pos))
        return 1;
    if (!committedOffPegs.isIdentity() && offPegsButton.contains(pos))
        return 2;
    return 0;
}

QRect PaperPrivate::offPegsButtonRect() const
{
    return offPegsButton.boundingRect().toAlignedRect().adjusted(-1, -1, 1, 1);
}

void PaperPrivate::offPegsPress(QPointF pos)
{
    offPegsDragState = offPegsRegion(pos);
    q->update(offPegsButtonRect());
    updateOffPegsHover(pos);
}

void PaperPrivate::offPegsMove(QPointF pos)
{
    const QTransform pegs = viewTransform * committedOffPegs;
    if (offPegsDragState == 0) {
        double turn = QLineF(viewCentre, pressPos).angleTo(QLineF(viewCentre, pos));
        if (mirrored)
            turn = -turn;
        liveOffPegsDelta = rotationAbout(pegs.map(viewCentre), turn);
    } else if (offPegsDragState == 1) {
        liveOffPegsDelta = translation(pegs.map(pressPos) - pegs.map(pos));
    }
    rebuild();
    q->update();
    updateOffPegsHover(pos);
}

void PaperPrivate::offPegsRelease(QPointF pos)
{
    if (offPegsDragState != 2) {
        commit();
        q->update();
        Q_EMIT q->offPegsTransformChanged(committedOffPegs);
    } else {
        // A press on the put-on-pegs button counts only when released on it.
        if (offPegsRegion(pos) != 2) {
            q->update(offPegsButtonRect());
            offPegsDragState = NoRegion;
            updateOffPegsHover(pos);
            return;
        }
        resetLiveDeltas();
        rebuild();
        decompose();
        committedOffPegs = QTransform();
        rebuild();
        q->update();
        Q_EMIT q->offPegsTransformChanged(QTransform());
    }
    emitZoomLevelToFit();
    offPegsDragState = NoRegion;
    updateOffPegsHover(pos);
}

void PaperPrivate::updateOffPegsHover(QPointF pos)
{
    if (mode != Mode::OffPegs)
        return;
    const int region = offPegsRegion(pos);
    if (offPegsDragState == NoRegion && region != offPegsCursorRegion) {
        if (auto *tool = qobject_cast<Model::OffPegsTool *>(
                Model::ToolManager::instance()->tool(Model::Tool::Type::OffPegs))) {
            tool->setCursorType(region == 1   ? Model::OffPegsTool::OPCursorType::Hand
                                : region == 2 ? Model::OffPegsTool::OPCursorType::Arrow
                                              : Model::OffPegsTool::OPCursorType::Rotate);
        }
        offPegsCursorRegion = region;
    }
    if (region != offPegsHoverRegion) {
        q->update(offPegsButtonRect());
        offPegsHoverRegion = region;
    }
}

// --- Gestures -------------------------------------------------------------

bool PaperPrivate::gestureEvent(QGestureEvent *event)
{
    if ((mousePressed || tabletPressed) && !gestureActive)
        return false;
    if (!mousePressed && !tabletPressed && !gestureActive && nativeGestureActive)
        return false;

    const auto running = [](const QGesture *gesture) {
        return gesture && (gesture->state() == Qt::GestureStarted || gesture->state() == Qt::GestureUpdated);
    };
    auto *pinch = static_cast<QPinchGesture *>(event->gesture(Qt::PinchGesture));
    QGesture *panGesture = event->gesture(Qt::PanGesture);
    double factor = 1.0;
    double turn = 0.0;
    QPointF centre;
    const bool pinching = running(pinch);
    if (pinching) {
        factor = 1.0 / pinch->totalScaleFactor();
        turn = -pinch->totalRotationAngle();
        centre = pinch->centerPoint() - q->mapToGlobal(QPointF(0.0, 0.0));
    }
    const bool panning = running(panGesture);
    if (panning)
        s_panGestureOffset = static_cast<QPanGesture *>(panGesture)->offset();

    if (!pinching && !panning) {
        commit();
        q->update();
        gestureActive = false;
        s_panGestureOffset = QPointF();
        return true;
    }
    if (!std::isfinite(factor) || factor <= 0.0 || !std::isfinite(turn) || !isFinite(centre)
        || !isFinite(s_panGestureOffset))
        return true;

    const double ratio = clampScale(scale * factor) / scale;
    if (mirrored)
        turn = -turn;
    const QTransform panned = translation(viewTransform.map(QPointF(0.0, 0.0)) - viewTransform.map(s_panGestureOffset));
    const QPointF p = viewTransform.map(centre);
    const QTransform pinched = QTransform().translate(p.x(), p.y()).scale(ratio, ratio).rotate(turn).translate(-p.x(), -p.y());
    liveViewDelta = pinched * panned;
    rebuild();
    q->update();
    gestureActive = true;
    return true;
}

bool PaperPrivate::nativeGestureEvent(QNativeGestureEvent *event)
{
    if (!nativeGestureActive && (mousePressed || tabletPressed || gestureActive))
        return false;
    const QPointF p = q->mapFromGlobal(event->globalPosition());
    const double value = event->value();
    switch (event->gestureType()) {
    case Qt::BeginNativeGesture:
        nativeGestureActive = true;
        break;
    case Qt::EndNativeGesture:
        commit();
        q->update();
        nativeGestureActive = false;
        break;
    case Qt::ZoomNativeGesture:
        if (std::isfinite(value) && isFinite(p))
            zoomBy(p, float(1.0 - value));
        q->update();
        break;
    case Qt::SmartZoomNativeGesture:
        if (isFinite(p))
            zoomBy(p, value > 0.5 ? 1.0 / 3.0 : 3.0);
        q->update();
        break;
    case Qt::RotateNativeGesture:
        if (std::isfinite(value) && isFinite(p)) {
            viewTransform = viewTransform * rotationAbout(viewTransform.map(p), mirrored ? value : -value);
            rebuild();
            decompose();
        }
        q->update();
        break;
    default:
        return false;
    }
    event->accept();
    return true;
}

// --- Slots and events -----------------------------------------------------

double Paper::zoomLevel() const
{
    return d->devicePixelRatio / d->scale;
}

double Paper::zoomLevelToFit() const
{
    return d->fitLevel(0.0);
}

bool Paper::mirrorView() const
{
    return d->mirrored;
}

void Paper::setZoomLevel(double level)
{
    d->setZoomLevelAbout(level, d->viewTransform.map(d->zoomPoint()));
    update();
}

void Paper::setZoomLevelCenteringOnOrigin(double level)
{
    d->setZoomLevelAbout(level, d->viewTransform.map(d->viewCentre));
    update();
}

void Paper::rotatePaperTo(double angle)
{
    d->setRotation(d->mirrored ? -angle : angle);
    update();
}

void Paper::rotatePaperToNext(double step)
{
    const double size = std::abs(step);
    if (!(size > 0.0) || !std::isfinite(size))
        return;
    const double base = std::round(d->angle / size) * size;
    d->setRotation(base + (d->mirrored ? -step : step));
    update();
}

void Paper::setMirrorView(bool mirrored)
{
    d->setMirrored(mirrored);
    update();
}

void Paper::resetView()
{
    d->centrePaper();
    d->setRotation(0.0);
    update();
    d->setMirrored(false);
    update();
    d->setZoomLevelAbout(1.0, d->viewTransform.map(d->viewCentre));
    update();
}

void Paper::fitToView()
{
    d->centrePaper();
    d->setRotation(0.0);
    update();
    d->setZoomLevelAbout(d->fitLevel(0.0), d->viewTransform.map(d->viewCentre));
    update();
}

void Paper::toggleQuickZoom()
{
    if (d->quickZoomSaved) {
        const QTransform saved = *d->quickZoomSaved;
        if (d->mirrored != d->quickZoomSavedMirrored) {
            d->mirrored = d->quickZoomSavedMirrored;
            d->rebuildMirrorTransform();
            Q_EMIT mirrorViewChanged(d->mirrored);
        }
        d->viewTransform = saved;
        d->rebuild();
        d->decompose();
    } else {
        const QTransform before = d->viewTransform;
        d->setZoomLevelAbout(3.0 * zoomLevel(), d->viewTransform.map(d->zoomPoint()));
        d->quickZoomSaved = before;
        d->quickZoomSavedMirrored = d->mirrored;
    }
    update();
}

void Paper::updateDevicePixelRatio()
{
    const double level = zoomLevel();
    d->devicePixelRatio = devicePixelRatio();
    d->setZoomLevelAbout(level, d->viewTransform.map(d->viewCentre));
    Q_EMIT zoomLevelChanged(zoomLevel());
    d->emitZoomLevelToFit();
    update();
}

void Paper::setOffPegsTransform(const QTransform &transform)
{
    d->committedOffPegs = transform;
    d->rebuild();
    update();
}

void Paper::setCurrentScene(Model::KLScene *klscene)
{
    // What a gesture under way made stays with the scene it was made on.
    d->sceneGesture.end();
    if (d->klScene) {
        disconnect(d->klScene, nullptr, this, nullptr);
        disconnect(this, nullptr, d->klScene, nullptr);
    }
    if (d->scene) {
        disconnect(d->scene, nullptr, this, nullptr);
        disconnect(this, nullptr, d->scene, nullptr);
    }

    d->klScene = klscene;
    setMirrorView(false);
    d->first = d->second = d->third = QTransform();
    d->pivot = QPointF();
    d->resetViewState();

    d->scene = klscene ? klscene->scene() : nullptr;
    if (klscene) {
        const Model::FloatingSelection::Transform placement = klscene->floatingSelectionTransform();
        d->first = placement.first;
        d->second = placement.second;
        d->third = placement.third;
        d->pivot = placement.center;
        connect(klscene, &Model::KLScene::floatingSelectionChanged, this, [this] { d->refreshSelection(); });
        connect(klscene, &Model::KLScene::floatingSelectionTransformChanged, this,
                &Paper::setFloatingSelectionTransform);
        connect(klscene, &Model::KLScene::aboutToUndo, this, [this] { d->endGestureForUndo(); });
        connect(klscene, &Model::KLScene::aboutToEndGestures, this, [this] { d->releaseLost(); });
    }
    if (Model::Scene *scene = d->scene) {
        d->paperRect = QRectF(QPointF(0.0, 0.0), QSizeF(scene->frameSize()));
        connect(scene, &Model::Scene::activeFrameAndLayerChanged, this, [this](int frame, int) {
            d->committedOffPegs = d->scene->offPegsTransform(frame);
            d->rebuild();
            update();
        });
        connect(scene, &Model::Scene::scrubFrameChanged, this, [this](int, int) {
            d->committedOffPegs = QTransform();
            d->rebuild();
            update();
        });
        connect(scene, &Model::Scene::rectChanged, this, [this](QRect rect) { d->repaintDrawingRect(rect); });
        connect(scene, &Model::Scene::offPegsTransformChanged, this, &Paper::setOffPegsTransform);
        connect(scene, &Model::Scene::frameSizeChanged, this, [this](QSize) { updateFrameSize(); });
        d->committedOffPegs = scene->offPegsTransform(scene->activeFrame());
    } else {
        d->paperRect = QRectF();
    }
    d->rebuild();
    d->rebuildGridPaths();
    d->showAt(d->paperRect.center(), isVisible() ? QPointF(d->freeArea.center()) : QPointF());
    Q_EMIT zoomLevelChanged(zoomLevel());
    d->emitZoomLevelToFit();
    update();
}

void Paper::updateFrameSize()
{
    if (!d->scene)
        return;
    QPointF centre = d->widgetToScene.map(d->viewCentre);
    const double level = zoomLevel();
    const double oldAngle = d->angle;
    const QSizeF oldSize = d->paperRect.size();
    d->paperRect = QRectF(QPointF(0.0, 0.0), QSizeF(d->scene->frameSize()));
    d->rebuildGridPaths();

    // The same place of the frame stays in the middle, as near as the new
    // size allows.
    const QRectF bounds = d->paperRect;
    if (oldSize.width() > 0.0 && oldSize.height() > 0.0)
        centre = QPointF(centre.x() * bounds.width() / oldSize.width(), centre.y() * bounds.height() / oldSize.height());
    const auto clampInto = [](double value, double low, double high) {
        return low <= high ? std::clamp(value, low, high) : (low + high) / 2.0;
    };
    centre = QPointF(clampInto(centre.x(), bounds.left(), bounds.right()),
                     clampInto(centre.y(), bounds.top(), bounds.bottom()));

    // The floating selection keeps its committed placement; only the view
    // starts again.
    d->resetViewState();
    d->rebuild();
    d->showAt(d->widgetToScene.inverted().map(centre), d->viewCentre);
    d->setRotation(oldAngle);
    d->setZoomLevelAbout(level, d->viewTransform.map(d->zoomPoint()));
    d->committedOffPegs = d->scene->offPegsTransform(d->scene->activeFrame());
    d->rebuild();
    update();
    d->emitZoomLevelToFit();
}

QSize Paper::sizeHint() const
{
    if (!d->scene)
        return QSize(100, 100);
    const QRectF bounds = d->paperInWidget(d->widgetToScene.inverted()).boundingRect()
        | d->paperInWidget(d->widgetToDrawing.inverted()).boundingRect();
    return bounds.toAlignedRect().size();
}

void Paper::resizeEvent(QResizeEvent *event)
{
    QRect area = rect();
    if (d->topWidget) {
        d->topWidget->resize(width(), d->topWidget->height());
        area.setTop(d->topWidget->height());
        d->layOutStrip(width());
    }
    d->freeArea = area;
    const QPointF centre = area.center();
    const QPointF shift = centre - d->viewCentre;
    d->showAt(d->viewCentre, centre);
    // The desk and the checkers stay put under the paper's centre.
    d->deskBrush.setTransform(d->deskBrush.transform() * QTransform::fromTranslate(shift.x(), shift.y()));
    d->transparencyBrush.setTransform(d->transparencyBrush.transform()
                                      * QTransform::fromTranslate(shift.x(), shift.y()));
    d->layOutOffPegs();
    d->viewCentre = centre;
    d->rebuildMirrorTransform();
    d->emitZoomLevelToFit();
    QWidget::resizeEvent(event);
}

void Paper::wheelEvent(QWheelEvent *event)
{
    if (!isFinite(event->position())) {
        event->accept();
        return;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (modifiers == Qt::ControlModifier) {
        const double turn = std::clamp(event->angleDelta().y() / 8.0, -360.0, 360.0);
        // One notch (15 degrees) up brings the paper 1/16 closer.
        d->zoomBy(event->position(), float((360.0 - 3.0 * turn) / 720.0 + 0.5));
        update();
        event->accept();
        return;
    }
    if (modifiers != Qt::NoModifier) {
        event->ignore();
        return;
    }
    QPointF delta = event->pixelDelta();
    if (delta.isNull())
        delta = QPointF(std::round(event->angleDelta().x() / 8.0), std::round(event->angleDelta().y() / 8.0));
    d->showAt(d->viewCentre, d->viewCentre + delta);
    update();
    event->accept();
}

} // namespace UI
