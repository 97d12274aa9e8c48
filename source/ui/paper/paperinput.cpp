// The paper's input: mouse and pen events dispatched by mode, strokes,
// outlines, scrubbing and pen adjustment.

#include "paper/paper.h"

#include "paper/holdkey.h"
#include "paper/paper_p.h"

#include "actions/actionmanager.h"
#include "commandconventions.h"
#include "drawingcellcommands.h"
#include "drawingcontentcommands.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"
#include "tools/drawingtool.h"
#include "tools/fixedcursortools.h"
#include "tools/penadjustmenttool.h"
#include "tools/toolmanager.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QScopeGuard>
#include <QStyleHints>
#include <QTabletEvent>

#include <algorithm>
#include <cmath>
#include <utility>

namespace UI {

namespace {

double manhattan(QPointF a, QPointF b)
{
    return std::abs(a.x() - b.x()) + std::abs(a.y() - b.y());
}

Model::ToolManager *tools()
{
    return Model::ToolManager::instance();
}

// Any device that reports itself as a mouse counts as the same mouse; a pen's
// made-up mouse events carry the pen's device.
QInputDevice::DeviceType deviceType(const QPointerEvent *event)
{
    const QPointingDevice *device = event->pointingDevice();
    return device ? device->type() : QInputDevice::DeviceType::Mouse;
}

} // namespace

// --- Predicates ---------------------------------------------------------

bool PaperPrivate::canDraw() const
{
    return (mode == Mode::Pen || mode == Mode::Eraser) && tools()->currentCursorType() == Model::Tool::OwnCursor;
}

bool PaperPrivate::canStartDrawing() const
{
    return canDraw() && holdKeyResolved();
}

bool PaperPrivate::canOutline() const
{
    return (mode == Mode::Lasso || mode == Mode::Cutter) && tools()->currentCursorType() == Model::Tool::OwnCursor;
}

bool PaperPrivate::canStartOutline() const
{
    return canOutline() && holdKeyResolved();
}

// --- Who holds the paper ------------------------------------------------

void PaperPrivate::setMousePressed(bool pressed)
{
    if (mousePressed == pressed)
        return;
    mousePressed = pressed;
    Q_EMIT q->devicePressedChanged(q->devicePressed());
}

void PaperPrivate::setTabletPressed(bool pressed)
{
    if (tabletPressed == pressed)
        return;
    tabletPressed = pressed;
    Q_EMIT q->devicePressedChanged(q->devicePressed());
}

// What every accepted press of the left button, the middle button or the pen
// does first; the device's flag is already set.
void PaperPrivate::takePress(const PointerSample &sample)
{
    q->setFocus(Qt::OtherFocusReason);
    pressPos = sample.pos;
    dragAnchor = sample.pos;
    lastPos = sample.pos;
    lastPressPos = sample.pos;
    lastPressure = sample.pressure;
    lastTimestamp = sample.timestamp;
}

Model::SingleStroke::InputPoint PaperPrivate::drawingPoint(const PointerSample &sample) const
{
    const QPointF point = widgetToDrawing.map(sample.pos);
    // The sample's time travels in the point's spare value.
    return {point.x(), point.y(), sample.pressure, double(quint32(sample.timestamp))};
}

void PaperPrivate::leftPress(const PointerSample &sample, QPointF prevHover)
{
    const Model::SceneGesture::OwnSteps own;
    if ((mode == Mode::Pen || mode == Mode::Eraser) && canStartDrawing() && scene) {
        if (sample.modifiers & Qt::AltModifier) {
            penAdjustStart();
            return;
        }
        // The blank drawing is the stroke's own step.
        sceneGesture.begin(mode == Mode::Pen ? Commands::historyText("Draw", "Commands::Stroke")
                                             : Commands::historyText("Erase", "Commands::Stroke"));
        addBlankDrawingIfNeeded();
        const Model::SingleStroke::InputPoint point = drawingPoint(sample);
        strokeBegun = true;
        // The pen's approach gives the stroke's first point its direction.
        if (!prevHover.isNull())
            scene->beginStrokeWithVector(point, widgetToDrawing.map(prevHover));
        else
            scene->beginStroke(point);
        return;
    }
    if (mode == Mode::ZoomPanRotate) {
        zprPress(sample.pos);
    } else if (mode == Mode::OffPegs) {
        offPegsPress(sample.pos);
        if (offPegsDragState != 2)
            sceneGesture.begin(Commands::historyText("Take Frame Off the Pegs", "Commands::OffPegs"));
    } else if (canStartOutline()) {
        sceneGesture.begin(QCoreApplication::translate("Commands", "New Floating Selection"));
        outlineStart(sample);
    } else if (mode == Mode::FloatingSelection) {
        if (holdKeyResolved()) {
            handleOffset = pressPos - scaleRotateHandle.boundingRect().center();
            selectionPress(sample.pos, sample.modifiers);
            if (activeHandle != Handle::None)
                sceneGesture.begin(
                    Commands::historyText("Change floating selection", "Commands::FloatingSelectionTransform"));
        }
    } else if (mode == Mode::Scrubbing) {
        scrubStart();
    }
}

void PaperPrivate::pressedMove(const PointerSample &sample)
{
    const Model::SceneGesture::OwnSteps own;
    lastPos = sample.pos;
    lastPressure = sample.pressure;
    lastTimestamp = sample.timestamp;
    // Without the hold-key test: a stroke begun goes on while a hold key is
    // being told apart.
    if (canDraw() && scene) {
        scene->addStrokePoint(drawingPoint(sample));
        return;
    }
    switch (mode) {
    case Mode::Hand:
    case Mode::Zoom:
    case Mode::Rotate:
        viewDrag(sample.pos);
        return;
    case Mode::ZoomPanRotate:
        zprMove(sample.pos);
        return;
    case Mode::OffPegs:
        offPegsMove(sample.pos);
        return;
    default:
        break;
    }
    if (canOutline()) {
        outlinePoint(sample);
    } else if (mode == Mode::FloatingSelection) {
        selectionDrag(sample.pos, sample.modifiers);
    } else if (mode == Mode::Scrubbing) {
        scrubMove(sample.pos);
    } else if (mode == Mode::PenAdjustment) {
        penAdjustMove(sample.pos);
    }
}

void PaperPrivate::leftRelease(const PointerSample &sample)
{
    const Model::SceneGesture::OwnSteps own;
    // Whatever the release makes is the gesture's last step.
    const auto ending = qScopeGuard([this] { sceneGesture.end(); });
    stopAutoPan();
    if (mode != Mode::FloatingSelection)
        endSelectionDragElsewhere();
    // A stroke this press began is always handed over, even when the tool
    // or its cursor changed while the pen was down: no stroke is left
    // behind in the scene, to be dropped by the next one.
    if (strokeBegun || canStartDrawing()) {
        finishStroke();
        if (mode == Mode::Pen || mode == Mode::Eraser)
            return;
    }
    switch (mode) {
    case Mode::Hand:
    case Mode::Zoom:
    case Mode::Rotate:
        commit();
        q->update();
        return;
    case Mode::ZoomPanRotate:
        zprRelease();
        return;
    case Mode::OffPegs:
        offPegsRelease(sample.pos);
        return;
    default:
        break;
    }
    if (canStartOutline()) {
        outlineFinish(sample);
    } else if (mode == Mode::FloatingSelection) {
        // A drag this press began ends with it, as a stroke does.
        if (holdKeyResolved() || activeHandle != Handle::None)
            selectionRelease(sample.pos);
    } else if (mode == Mode::Scrubbing) {
        scrubEnd(sample.pos);
    } else if (mode == Mode::PenAdjustment) {
        backToLastDrawingTool();
    }
}

// An undo during a gesture takes back that gesture alone (see
// KLScene::undo()): a stroke is handed over as the release would hand it
// over; an outline or a drag is dropped, and the paper shows the frame and
// the floating selection as the scene keeps them. The button still down
// changes nothing more until it is let go.
void PaperPrivate::endGestureForUndo()
{
    if (!sceneGesture.isUnderWay())
        return;
    const Model::SceneGesture::OwnSteps own;
    if (strokeBegun) {
        finishStroke();
        sceneGesture.end();
        return;
    }
    stopAutoPan();
    if (outline) {
        repaintOutline();
        outline.reset();
    }
    if (offPegsDragState != NoRegion) {
        liveOffPegsDelta = QTransform();
        offPegsDragState = NoRegion;
        rebuild();
        q->update();
    }
    if (activeHandle != Handle::None) {
        liveFirst = liveSecond = liveThird = QTransform();
        livePivotDelta = QPointF();
        activeHandle = Handle::None;
        if (klScene)
            q->setFloatingSelectionTransform(klScene->floatingSelectionTransform());
        q->update();
    }
    sceneGesture.drop();
}

// No release will reach the paper (see KLScene::endGestures()): the press
// under way ends now as that release would end it, where the pointer was
// last seen. The button, should it still be down, changes nothing more.
void PaperPrivate::releaseLost()
{
    const PointerSample sample{lastPos, lastPressure, lastTimestamp, Qt::NoModifier};
    if (tabletPressed) {
        setTabletPressed(false);
        leftRelease(sample);
    } else if (mousePressed) {
        mouseRelease(sample);
    }
    sceneGesture.end();
}

void PaperPrivate::mouseRelease(const PointerSample &sample)
{
    const Qt::MouseButton button = std::exchange(mouseButton, Qt::NoButton);
    setMousePressed(false);
    if (button == Qt::LeftButton) {
        leftRelease(sample);
        return;
    }
    QAction *panning = Model::ActionManager::instance()->action(KL::Action::Pan);
    if (panning && panning->isChecked())
        panning->toggle();
}

void PaperPrivate::doubleAction()
{
    if (isViewToolMode()) {
        if (mode == Mode::Hand)
            centrePaper();
        else if (mode == Mode::Zoom)
            setZoomLevelAbout(1.0, viewTransform.map(zoomPoint()));
        else
            setRotation(0.0);
        q->update();
    } else if (mode == Mode::ZoomPanRotate) {
        zprDoubleAction();
    }
}

void PaperPrivate::updateHoverCursors(QPointF pos)
{
    updateZprCursor(pos);
    updateOffPegsHover(pos);
    selectionHover(pos);
}

// --- Strokes --------------------------------------------------------------

void PaperPrivate::addBlankDrawingIfNeeded()
{
    if (!scene || !scene->isActiveFrameAfterLastDrawing())
        return;
    Model::KLScene *holder = Model::KLScene::current();
    if (!holder)
        return;
    // The cell of the frame before the active one: the command adds its blank
    // drawing right after it, in the active frame.
    const QModelIndex current = holder->currentIndex();
    if (!current.isValid())
        return;
    const QModelIndex before = holder->sceneModel()->index(current.row() - 1, current.column());
    if (before.isValid())
        Model::KLScene::pushCommand(new Commands::AddBlankDrawing(holder, before));
}

void PaperPrivate::finishStroke()
{
    strokeBegun = false;
    Model::KLScene *holder = Model::KLScene::current();
    if (!holder || !scene)
        return;
    std::unique_ptr<Model::SingleStroke> stroke = scene->takeActiveStroke();
    if (stroke)
        Model::KLScene::pushCommand(new Commands::Stroke(holder, holder->currentIndex(), std::move(stroke)));
}

// --- Outlines ---------------------------------------------------------------

void PaperPrivate::repaintOutline()
{
    if (!outline)
        return;
    // The dashed line is 0.8 pixels wide; a pixel around covers its edges.
    q->update(widgetToDrawing.inverted().mapRect(QRectF(outline->boundingRect())).toAlignedRect().adjusted(-1, -1, 1,
                                                                                                           1));
}

void PaperPrivate::outlineStart(const PointerSample &sample)
{
    outline = std::make_unique<Model::SingleStroke>(paperRect.size().toSize(), tools()->tool(Model::Tool::Type::Pen));
    outline->addPoint(drawingPoint(sample));
    repaintOutline();
}

void PaperPrivate::outlinePoint(const PointerSample &sample)
{
    if (!outline)
        return;
    outline->addPoint(drawingPoint(sample));
    repaintOutline();
}

void PaperPrivate::outlineFinish(const PointerSample &sample)
{
    if (!outline)
        return;
    outline->addPoint(drawingPoint(sample));
    outline->finish();
    QPainterPath path = outline->path();
    path.closeSubpath();
    path.setFillRule(Qt::WindingFill);
    path = path.simplified();
    repaintOutline();
    outline.reset();
    Q_EMIT q->lassoingCompleted(path, mode == Mode::Cutter);
}

// --- Scrubbing --------------------------------------------------------------

void PaperPrivate::scrubStart()
{
    auto *tool = qobject_cast<Model::ScrubbingTool *>(tools()->tool(Model::Tool::Type::Scrubbing));
    if (!tool || tool->isScrubbingStarted())
        return;
    Q_EMIT tool->cursorChanged(tool->cursor());
    Q_EMIT tool->scrubbingStarted();
    tool->setScrubbingStarted(true);
}

// One frame for every 16 pixels of the summed horizontal and vertical
// displacement from the press, on top of the offset of earlier scrubs.
int PaperPrivate::scrubOffsetAt(QPointF pos) const
{
    const double frames = std::floor(((pos.y() - lastPressPos.y()) + (pos.x() - lastPressPos.x())) * 0.0625);
    const double total = std::clamp(frames + scrubOffset, double(std::numeric_limits<int>::min()),
                                    double(std::numeric_limits<int>::max()));
    return int(total);
}

void PaperPrivate::scrubMove(QPointF pos)
{
    Q_EMIT q->scrubOffsetChanged(scrubOffsetAt(pos));
}

void PaperPrivate::scrubEnd(QPointF pos)
{
    scrubOffset = std::clamp(scrubOffsetAt(pos), minScrubOffset, std::max(minScrubOffset, maxScrubOffset));
}

// --- Pen adjustment ---------------------------------------------------------

void PaperPrivate::penAdjustStart()
{
    penAdjustAxis = 0;
    tools()->setCurrentTool(Model::Tool::Type::PenAdjustment, Model::Tool::OwnCursor);
}

// Ten pixels of drag change the size (sideways) or the opacity (upwards) by a
// quarter; the axis is chosen once the drag is long enough to tell.
void PaperPrivate::penAdjustMove(QPointF pos)
{
    const QPointF delta = pos - pressPos;
    if (penAdjustAxis == 0) {
        if (std::abs(delta.x()) + std::abs(delta.y()) < QApplication::startDragDistance())
            return;
        penAdjustAxis = std::abs(delta.x()) > std::abs(delta.y()) ? 2 : 1;
    }
    auto *tool = qobject_cast<Model::PenAdjustmentTool *>(tools()->tool(Model::Tool::Type::PenAdjustment));
    if (!tool)
        return;
    if (penAdjustAxis == 2)
        tool->adjustSizeRange(std::clamp(std::pow(1.25, delta.x() / 10.0), 0.001, 1000.0));
    else
        tool->adjustOpacityRange(std::clamp(std::pow(1.25, -delta.y() / 10.0), 0.001, 1000.0));
}

void PaperPrivate::backToLastDrawingTool()
{
    tools()->setCurrentTool(tools()->lastDrawingToolType(), Model::Tool::OwnCursor);
}

// --- Events -----------------------------------------------------------------

void Paper::mousePressEvent(QMouseEvent *event)
{
    const PointerSample sample{event->position(), 0.5, event->timestamp(), event->modifiers()};
    if (!isFinite(sample.pos)) {
        event->accept();
        return;
    }
    // The mouse press a pen makes up for a tap the paper already took.
    if (d->lastTabletRelease.isDoubledPress(sample.timestamp) && manhattan(sample.pos, d->lastPressPos) < 2.0) {
        event->accept();
        return;
    }
    const Qt::MouseButton button = event->button();
    if (button == Qt::LeftButton || button == Qt::MiddleButton) {
        if (d->mousePressed) {
            event->ignore();
            return;
        }
        if (!d->tabletPressed && !d->gestureActive && !d->nativeGestureActive) {
            d->mouseDevice = deviceType(event);
            d->mouseButton = button;
            d->setMousePressed(true);
            d->takePress(sample);
            if (button == Qt::MiddleButton) {
                if (QAction *pan = Model::ActionManager::instance()->action(KL::Action::Pan))
                    pan->activate(QAction::Trigger);
            } else {
                d->leftPress(sample, d->mousePrevHover);
            }
            event->accept();
            return;
        }
    }
    if (devicePressed() || button != Qt::RightButton) {
        event->ignore();
        return;
    }
    Q_EMIT rightButtonPressed(event->modifiers());
    event->accept();
}

void Paper::mouseMoveEvent(QMouseEvent *event)
{
    const PointerSample sample{event->position(), 0.5, event->timestamp(), event->modifiers()};
    if (!isFinite(sample.pos)) {
        event->accept();
        return;
    }
    if (d->mousePressed && !d->tabletPressed) {
        // Only the mouse that pressed drives the gesture.
        if (deviceType(event) != d->mouseDevice) {
            event->ignore();
            return;
        }
        d->pressedMove(sample);
        event->accept();
        return;
    }
    d->mousePrevHover = d->mouseLastHover;
    d->mouseLastHover = sample.pos;
    d->updateHoverCursors(sample.pos);
    event->ignore();
}

void Paper::mouseReleaseEvent(QMouseEvent *event)
{
    const Qt::MouseButton button = event->button();
    // Only the release of the button that pressed, by the mouse that pressed,
    // ends the gesture; other buttons still held do not keep it alive.
    const bool ends = d->mousePressed && !d->tabletPressed && button == d->mouseButton
        && !(event->buttons() & button) && deviceType(event) == d->mouseDevice;
    if (ends) {
        PointerSample sample{event->position(), 0.5, event->timestamp(), event->modifiers()};
        if (!isFinite(sample.pos))
            sample.pos = d->lastPos;
        d->mouseRelease(sample);
        event->accept();
    } else {
        event->ignore();
    }
    d->mouseLastHover = QPointF();
    d->mousePrevHover = QPointF();
}

void Paper::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (d->isViewToolMode() || d->mode == Mode::ZoomPanRotate) {
        if (isFinite(event->position())) {
            d->lastPos = event->position();
            d->doubleAction();
        }
        event->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void Paper::tabletEvent(QTabletEvent *event)
{
    PointerSample sample{event->position(), event->pressure(), event->timestamp(), event->modifiers()};
    const bool finite = isFinite(sample.pos) && std::isfinite(sample.pressure);
    switch (event->type()) {
    case QEvent::TabletPress: {
        if (!finite) {
            event->accept();
            return;
        }
        const QStyleHints *hints = QGuiApplication::styleHints();
        if (d->lastTabletPress.isWithin(sample.timestamp, quint32(hints->mouseDoubleClickInterval()))
            && manhattan(sample.pos, d->lastPressPos) < hints->touchDoubleTapDistance()
            && (d->isViewToolMode() || d->mode == Mode::ZoomPanRotate)) {
            d->lastPos = sample.pos;
            d->doubleAction();
            event->accept();
            return;
        }
        if (d->mousePressed || d->tabletPressed) {
            event->ignore();
            return;
        }
        if (!d->gestureActive && !d->nativeGestureActive && event->buttons() == Qt::LeftButton) {
            d->setTabletPressed(true);
            d->takePress(sample);
            d->leftPress(sample, d->tabletPrevHover);
            event->accept();
            d->lastTabletPress.remember(sample.timestamp);
            return;
        }
        if (!devicePressed() && event->button() == Qt::RightButton) {
            Q_EMIT rightButtonPressed(event->modifiers());
            event->accept();
        } else {
            event->ignore();
        }
        return;
    }
    case QEvent::TabletMove:
        if (!finite) {
            event->accept();
            return;
        }
        if (d->tabletPressed && !d->mousePressed) {
            d->pressedMove(sample);
            event->accept();
            return;
        }
        d->tabletPrevHover = d->tabletLastHover;
        d->tabletLastHover = sample.pos;
        d->updateHoverCursors(sample.pos);
        event->ignore();
        return;
    case QEvent::TabletRelease:
        if (!d->mousePressed && d->tabletPressed && !(event->buttons() & Qt::LeftButton)) {
            // A release always ends the stroke, at the last good sample if
            // this one is broken.
            if (!isFinite(sample.pos))
                sample.pos = d->lastPos;
            if (!std::isfinite(sample.pressure))
                sample.pressure = d->lastPressure;
            d->setTabletPressed(false);
            d->leftRelease(sample);
            event->accept();
            d->lastTabletRelease.remember(sample.timestamp);
        } else {
            event->ignore();
        }
        d->tabletLastHover = QPointF();
        d->tabletPrevHover = QPointF();
        return;
    default:
        QWidget::tabletEvent(event);
        return;
    }
}

} // namespace UI
