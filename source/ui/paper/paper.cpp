#include "paper/paper.h"

#include "paper/paper_p.h"
#include "style/tooltips.h"
#include "style/uiresources.h"

#include "scene/klscene.h"
#include "scene/scene.h"
#include "tools/toolmanager.h"

#include <QCursor>
#include <QEvent>
#include <QFocusEvent>
#include <QGestureEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QSvgRenderer>

namespace UI {

namespace {

std::unique_ptr<QSvgRenderer> renderer(const char *name)
{
    return std::make_unique<QSvgRenderer>(QStringLiteral(":/paper/") + QLatin1String(name));
}

QPainterPath closedPolygon(std::initializer_list<QPointF> points)
{
    QPainterPath path;
    path.addPolygon(QPolygonF(points));
    path.closeSubpath();
    return path;
}

} // namespace

PaperPrivate::PaperPrivate(Paper *paper)
    : panSymbol(renderer("papersymbol-pan.svg"))
    , rotateSymbol(renderer("papersymbol-rotate.svg"))
    , zoomSymbol(renderer("papersymbol-zoom.svg"))
    , offPegsPanSymbol(renderer("papersymbol-offpegs-pan.svg"))
    , offPegsRotateSymbol(renderer("papersymbol-offpegs-rotate.svg"))
    , offPegsButtonArt(renderer("offPegs_button.svg"))
    , offPegsButtonClickArt(renderer("offPegs_button-click.svg"))
    , offPegsButtonHoverArt(renderer("offPegs_button-hover.svg"))
    , q(paper)
    , deskBrush(QImage(QStringLiteral(":/paper/linenBG.png")))
{
    // The handles' shapes, centred on the origin; they are turned with the
    // selection and placed where each handle sits.
    diamondTemplate = closedPolygon({{-17.0, 0.0}, {0.0, 17.0}, {17.0, 0.0}, {0.0, -17.0}});
    const double r18 = std::sqrt(18.0);
    arrowheadTemplate = closedPolygon({{r18 + 1.8 - 17.0, 1.8}, {0.0, 17.0 - r18}, {15.2 - r18, 1.8}});
    const double diagonal = std::sqrt(40.5);
    for (const QPointF end : {QPointF(9.0, 0.0), QPointF(-9.0, 0.0), QPointF(0.0, 9.0), QPointF(0.0, -9.0),
                              QPointF(diagonal, diagonal), QPointF(-diagonal, -diagonal),
                              QPointF(diagonal, -diagonal), QPointF(-diagonal, diagonal)}) {
        starTemplate.moveTo(0.0, 0.0);
        starTemplate.lineTo(end);
    }
    updateStripMetrics();
    rebuildTransparencyBrush();
}

PaperPrivate::~PaperPrivate() = default;

Paper::Paper(QWidget *parent)
    : QWidget(parent)
{
    registerUiResources();
    d = std::make_unique<PaperPrivate>(this);

    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TabletTracking);
    setAttribute(Qt::WA_MouseTracking);
    grabGesture(Qt::PanGesture);
    grabGesture(Qt::PinchGesture);

    Model::ToolManager *tools = Model::ToolManager::instance();
    // The paper follows the tool that is current when it is made, and every
    // later one.
    d->mode = int(tools->currentToolType());
    connect(tools, &Model::ToolManager::currentToolTypeChanged, this,
            [this](Model::Tool::Type current, Model::Tool::Type) { setCurrentToolType(current); });
    connect(this, &Paper::zoomLevelChanged, tools,
            [this](double level) { Model::ToolManager::instance()->setCursorScale(level / d->devicePixelRatio); });

    d->autoPanTimer = new QTimer(this);
    d->autoPanTimer->setObjectName(QStringLiteral("autoPanTimer"));
    d->autoPanTimer->setInterval(10);
    connect(d->autoPanTimer, &QTimer::timeout, this, [this] { d->autoPanStep(); });
}

Paper::~Paper() = default;

bool Paper::devicePressed() const
{
    return d->tabletPressed || d->mousePressed || d->gestureActive || d->nativeGestureActive;
}

QTransform Paper::widgetToScene() const
{
    return d->widgetToScene;
}

QTransform Paper::widgetToDrawing() const
{
    return d->widgetToDrawing;
}

void Paper::setMinMaxScrubOffset(int minimum, int maximum)
{
    d->minScrubOffset = minimum;
    d->maxScrubOffset = maximum;
}

void Paper::returnFlip_Menu()
{
}

void Paper::setCurrentToolType(Model::Tool::Type type)
{
    const int next = int(type);
    if (next == d->mode)
        return;

    // Scrolling follows a selection being moved, and only in its own tool.
    d->stopAutoPan();

    if (d->mode == Mode::FloatingSelection)
        d->repaintHandleRegion();
    if (d->isViewToolMode() || d->mode == Mode::ZoomPanRotate)
        d->commit();

    d->mode = next;
    d->resetLiveDeltas();
    d->rebuild();

    const QPointF cursor = mapFromGlobal(QCursor::pos());
    const bool outlineReady = Model::ToolManager::instance()->currentCursorType() == Model::Tool::OwnCursor;
    switch (next) {
    case Mode::OffPegs:
        d->updateOffPegsHover(cursor);
        setMouseTracking(true);
        break;
    case Mode::FloatingSelection:
        // A view tool held for a moment during a handle drag moved the view:
        // the drag goes on from where the pointer now is over the selection.
        if (d->activeHandle != Handle::None) {
            d->pressPos += d->lastPos - d->dragAnchor;
        } else {
            d->refreshSelection();
            d->selectionHover(cursor);
        }
        setMouseTracking(true);
        break;
    case Mode::Hand:
    case Mode::Zoom:
    case Mode::Rotate:
        d->dragAnchor = d->lastPos;
        setMouseTracking(false);
        break;
    case Mode::Scrubbing:
        d->scrubOffset = 0;
        setMouseTracking(false);
        break;
    case Mode::ZoomPanRotate:
        d->placeZprSymbol();
        setMouseTracking(true);
        break;
    case Mode::Lasso:
    case Mode::Cutter:
        if (outlineReady) {
            d->outline.reset();
            setMouseTracking(false);
            break;
        }
        [[fallthrough]];
    default:
        setMouseTracking(false);
        d->offPegsHoverRegion = NoRegion;
        d->offPegsDragState = NoRegion;
        break;
    }
    update();
}

bool Paper::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::ToolTip: {
        auto *help = static_cast<QHelpEvent *>(event);
        const QPointF pos = help->pos();
        QString text;
        if (d->mode == Mode::OffPegs && !d->offPegsPanArea.contains(pos) && !d->committedOffPegs.isIdentity()
            && d->offPegsButton.contains(pos))
            text = tr("Put Frame On the Pegs", "Tool tip");
        return answerToolTip(help, text);
    }
    case QEvent::NativeGesture:
        if (d->nativeGestureEvent(static_cast<QNativeGestureEvent *>(event)))
            return true;
        break;
    case QEvent::Gesture:
        if (d->gestureEvent(static_cast<QGestureEvent *>(event)))
            return true;
        break;
    // The pointer's release goes elsewhere from now on: to a modal dialog,
    // a popup, or the window that took the focus.
    case QEvent::WindowBlocked:
    case QEvent::WindowDeactivate:
        d->releaseLost();
        break;
    case QEvent::FocusOut:
        if (static_cast<QFocusEvent *>(event)->reason() == Qt::PopupFocusReason)
            d->releaseLost();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void Paper::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    d->paint(painter, event->region());
}

void Paper::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Shift && !event->isAutoRepeat() && event->modifiers() == Qt::ShiftModifier
        && d->mode == Mode::FloatingSelection && d->activeHandle == Handle::Scale)
        d->selectionDrag(d->lastPos, event->modifiers());
    QWidget::keyPressEvent(event);
}

void Paper::keyReleaseEvent(QKeyEvent *event)
{
    if (!event->isAutoRepeat() && event->modifiers() == Qt::NoModifier) {
        if (event->key() == Qt::Key_Shift && d->mode == Mode::FloatingSelection
            && d->activeHandle == Handle::Scale)
            d->selectionDrag(d->lastPos, event->modifiers());
        if (event->key() == Qt::Key_Control && d->mode == Mode::PenAdjustment)
            d->backToLastDrawingTool();
    }
    QWidget::keyReleaseEvent(event);
}

void Paper::leaveEvent(QEvent *event)
{
    d->stopAutoPan();
    QWidget::leaveEvent(event);
}

} // namespace UI
