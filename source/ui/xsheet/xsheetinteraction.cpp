// The exposure sheet's pointer input: clicks and Shift ranges, frame drags
// and audio offset drags, the beyond buttons, annotation strokes with mouse
// or pen, and selection with the eraser end of a pen.

#include "xsheet/xsheet.h"

#include "xsheet/xsheet_p.h"
#include "xsheet/xsheetfooter.h"
#include "xsheet/xsheetheader.h"
#include "importcommands.h"
#include "layercommands.h"
#include "layerpropertycommands.h"

#include "clonecommands.h"
#include "commandconventions.h"
#include "drawingcontentcommands.h"
#include "kl.h"
#include "layers/layer.h"
#include "render/alphacomposition.h"
#include "scene/framerangemodel.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"
#include "tools/drawingtool.h"
#include "tools/toolmanager.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTabletEvent>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

namespace UI {

namespace {

using Role = Model::SceneModel::Role;

Model::Scene *currentScene()
{
    Model::KLScene *handle = Model::KLScene::current();
    return handle ? handle->scene() : nullptr;
}

// The next beyond-last mode of a button click; 0 for none.
int nextBeyondLast(int mode)
{
    switch (mode) {
    case Model::Layer::ShowNothing:
        return Model::Layer::FreezeLastDrawing;
    case Model::Layer::FreezeLastDrawing:
        return Model::Layer::CycleDrawings;
    case Model::Layer::CycleDrawings:
        return Model::Layer::ShowNothing;
    default:
        return 0;
    }
}

} // namespace

QImage XSheetPrivate::noteWithStroke(const QImage &note, int row, const Model::SingleStroke &stroke) const
{
    const QImage &mask = stroke.image();
    const int band = m_annotationRowHeight;
    if (row < 0 || mask.isNull() || (row + 1) * band > mask.height())
        return note;
    const QImage slice = mask.copy(0, row * band, mask.width(), band);
    if (note.isNull())
        return stroke.isPenStroke() ? slice : QImage();
    QImage composed = note.convertToFormat(QImage::Format_Alpha8);
    Model::composeAlphaMask(composed, slice, slice.rect(), stroke.isPenStroke());
    return composed;
}

// Press, move, release

void XSheet::mousePressEvent(QMouseEvent *event)
{
    if ((event->buttons() & Qt::RightButton) || !d->m_model || d->m_tabletStrokeActive)
        return;
    // The system's copy of a pen press that the sheet has taken already.
    if (event->source() != Qt::MouseEventNotSynthesized && d->m_tabletTimer->isActive())
        return;

    d->m_scrollAnimation->stop();
    d->m_pressAbandoned = false;
    const QPointF position = event->position();
    d->m_pressPosition = position.toPoint();
    d->m_lastPosition = position;
    d->m_pressedIndex = indexAt(d->m_pressPosition);

    const int column = d->m_header->logicalIndexAt(qRound(position.x()));
    const int kind = columnKind(column);
    if (kind == Model::Layer::AnnotationLayerType) {
        beginAnnotationStroke(position, 0.5, event->timestamp());
        return;
    }
    if (kind == Model::Layer::AudioLayerType)
        return;

    const int buttonColumn = isOnBeyondButton(column, position) ? column : -1;
    const QModelIndex pressed = d->m_pressedIndex;
    QItemSelectionModel *selection = selectionModel();
    if (pressed.isValid() && selection && columnData(pressed.column(), Role::VisualLayerRole).toBool()
        && (event->modifiers() & Qt::ShiftModifier)) {
        const QScopedValueRollback<bool> own(d->m_ownChange, true);
        const QModelIndex anchor = d->m_selectionAnchor.isValid() ? d->m_selectionAnchor : selection->currentIndex();
        if (anchor.isValid() && anchor.column() == pressed.column()) {
            selection->setCurrentIndex(pressed, QItemSelectionModel::NoUpdate);
            selection->select(QItemSelection(anchor, pressed), QItemSelectionModel::ClearAndSelect);
            d->m_selectionAnchor = anchor;
        } else {
            selection->setCurrentIndex(pressed, QItemSelectionModel::ClearAndSelect);
        }
    }
    if (d->m_showBeyondButtons && d->m_pressedBeyondColumn != buttonColumn) {
        d->m_pressedBeyondColumn = buttonColumn;
        if (column >= 0)
            viewport()->update(beyondButtonArea(column));
    }
}

void XSheet::mouseMoveEvent(QMouseEvent *event)
{
    if ((event->buttons() & Qt::RightButton) || !d->m_model || d->m_tabletStrokeActive)
        return;
    const QPointF position = event->position();
    int hovered = -1;
    if (event->buttons() != Qt::NoButton)
        d->m_lastPosition = position;

    if (d->m_strokeEngine.hasActiveStroke()) {
        addAnnotationPoint(position, 0.5, event->timestamp());
    } else {
        const QPointF moved = position - d->m_pressPosition;
        if (!d->m_frameDragActive && !d->m_audioDragActive && !d->m_pressAbandoned
            && event->buttons() != Qt::NoButton && event->modifiers() == Qt::NoModifier
            && std::abs(moved.x()) + std::abs(moved.y()) >= QApplication::startDragDistance()) {
            const int column = d->m_header->logicalIndexAt(d->m_pressPosition.x());
            if (columnKind(column) == Model::Layer::AudioLayerType) {
                d->m_audioDragActive = !d->m_audioOffsetLocked;
                d->m_audioDragOffset = 0.0;
                if (d->m_audioDragActive)
                    d->m_gesture.begin(Commands::historyText("Set Audio Offset", "Commands::SetAudioOffset"));
            } else if (d->m_pressedIndex.isValid()
                       && columnData(d->m_pressedIndex.column(), Role::VisualLayerRole).toBool()) {
                d->m_scrollToCenter = false;
                // Its move of the current cell is the drag's own step.
                d->m_gesture.begin(d->m_slideMode
                                       ? Commands::historyText("Slide Original Drawing", "Commands::SlideOriginal")
                                       : Commands::historyText("Add Clone Drawings", "Commands::AddCloneDrawings"));
                const QScopedValueRollback<bool> own(d->m_ownChange, true);
                const Model::SceneGesture::OwnSteps steps;
                if (selectionModel())
                    selectionModel()->setCurrentIndex(d->m_pressedIndex, QItemSelectionModel::Clear);
                d->m_frameDragActive = d->m_model->startDrag(
                    d->m_slideMode ? Model::FrameRangeModel::SlideDrag : Model::FrameRangeModel::AddClonesDrag,
                    d->m_pressedIndex);
            }
        }

        if (d->m_audioDragActive) {
            const double offset = (position.y() - d->m_pressPosition.y()) / d->m_rowHeight;
            if (!Commands::fuzzyEqual(offset, d->m_audioDragOffset)) {
                d->m_audioDragOffset = offset;
                d->m_model->setAudioDragOffset(offset);
                const int column = d->m_header->logicalIndexAt(d->m_pressPosition.x());
                viewport()->update(QRect(d->m_header->sectionViewportPosition(column), 0,
                                         d->m_header->sectionSize(column), viewport()->height()));
            }
        } else if (d->m_frameDragActive) {
            int y = qRound(position.y()) - d->m_topMargin + verticalOffset();
            if (y < 1)
                y = 0;
            d->m_model->setDragDistance(y / d->m_rowHeight - d->m_pressedIndex.row());
            viewport()->update();
        } else {
            const int column = d->m_header->logicalIndexAt(qRound(position.x()));
            if (isOnBeyondButton(column, position))
                hovered = column;
            updateCursor(position.toPoint());
        }
    }

    if (d->m_showBeyondButtons && d->m_hoveredBeyondColumn != hovered) {
        const int previous = d->m_hoveredBeyondColumn;
        d->m_hoveredBeyondColumn = hovered;
        for (int column : {previous, hovered}) {
            if (column >= 0)
                viewport()->update(beyondButtonArea(column));
        }
    }
}

void XSheet::mouseReleaseEvent(QMouseEvent *event)
{
    if ((event->buttons() & Qt::RightButton) || !d->m_model || d->m_tabletStrokeActive)
        return;
    const QPointF position = event->position();
    const QPoint point = position.toPoint();
    // What the release makes is the gesture's own step.
    const QScopedValueRollback<bool> own(d->m_ownChange, true);
    const Model::SceneGesture::OwnSteps steps;

    // What the pen wrote stays, wherever it was lifted.
    if (d->m_strokeEngine.hasActiveStroke()) {
        addAnnotationPoint(position, 0.5, event->timestamp());
        finishAnnotationStroke();
        return;
    }

    // A drag let go of beyond the sheet's left or right edge, or with a
    // modifier held, is cancelled by the reset below. Above or below the
    // sheet it still ends on the row under the pointer, the first row at
    // the most, as its preview already shows.
    const bool inside = point.x() >= 0 && point.x() < viewport()->width();
    const bool plain = event->modifiers() == Qt::NoModifier;
    if (inside && d->m_audioDragActive && plain) {
        d->m_model->setAudioDragOffset((position.y() - d->m_pressPosition.y()) / d->m_rowHeight);
        if (Model::Scene *scene = currentScene())
            Model::KLScene::pushCommand(new Commands::SetAudioOffset(scene, scene->effectiveAudioOffset()));
        d->m_audioDragOffset = 0.0;
        d->m_model->setAudioDragOffset(0.0);
        d->m_audioDragActive = false;
    } else if (inside && d->m_frameDragActive && plain) {
        finishFrameDrag(std::max(qRound(position.y()) - d->m_topMargin + verticalOffset(), 0) / d->m_rowHeight);
        d->m_frameDragActive = false;
        updateScrollBars();
        setScrollToCenter(d->m_scrollToCenterSetting);
        viewport()->update();
    } else if (inside && !d->m_audioDragActive && !d->m_frameDragActive) {
        const int column = d->m_header->logicalIndexAt(qRound(position.x()));
        const int end = columnData(column, Role::FrameCountRole).toInt();
        if (d->m_model->firstFrame() <= end && end <= d->m_model->lastFrame() + 1 && d->m_showBeyondButtons
            && column == d->m_pressedBeyondColumn && isOnBeyondButton(column, position)) {
            const int mode = nextBeyondLast(columnData(column, Role::BeyondLastRole).toInt());
            Model::Scene *scene = currentScene();
            if (mode != 0 && scene)
                Model::KLScene::pushCommand(new Commands::SetLayerBeyondLast(scene, column, mode));
            viewport()->update();
        }
        const QModelIndex pressed = d->m_pressedIndex;
        if (pressed.isValid() && indexAt(point) == pressed && (d->m_model->flags(pressed) & Qt::ItemIsEnabled)
            && selectionModel()) {
            const bool shift = event->modifiers() & Qt::ShiftModifier;
            selectionModel()->setCurrentIndex(pressed, shift ? QItemSelectionModel::NoUpdate
                                                             : QItemSelectionModel::Clear);
        }
    }

    cancelDrags();
    d->m_gesture.end();
    d->m_pressAbandoned = false;
    updateCursor(point);
}

void XSheet::cancelDrags()
{
    if (d->m_pressedBeyondColumn >= 0)
        viewport()->update(beyondButtonArea(d->m_pressedBeyondColumn));
    d->m_pressedBeyondColumn = -1;
    d->m_pressedIndex = QModelIndex();
    d->m_pressPosition = QPoint();
    if (d->m_audioDragActive) {
        d->m_audioDragOffset = 0.0;
        if (d->m_model)
            d->m_model->setAudioDragOffset(0.0);
        d->m_audioDragActive = false;
        viewport()->update();
    } else if (d->m_frameDragActive) {
        d->m_frameDragActive = false;
        if (d->m_model)
            d->m_model->endDrag();
        updateScrollBars();
        setScrollToCenter(d->m_scrollToCenterSetting);
        viewport()->update();
    }
    // A drag that the model refused switched centring off all the same.
    d->m_scrollToCenter = d->m_scrollToCenterSetting;
}

void XSheet::abandonGestures()
{
    if (d->m_ownChange)
        return;
    // The pen or the button is still down: what it does from now on
    // changes nothing until it is lifted.
    if (d->m_strokeEngine.hasActiveStroke()) {
        d->m_strokeEngine.endStroke();
        viewport()->update();
        d->m_pressAbandoned = true;
    }
    if (std::exchange(d->m_tabletStrokeActive, false))
        d->m_pressAbandoned = true;
    d->m_tabletAnnotation = false;
    abandonDrags();
}

// Every press and drag under way, here and in the header and footer, ends
// with nothing more to come of it; a stroke goes on. True when a frame or
// audio drag was under way.
bool XSheet::abandonDrags()
{
    d->m_header->abandonPress();
    d->m_footer->abandonPress();
    const bool dragged = d->m_frameDragActive || d->m_audioDragActive;
    if (dragged || d->m_pressedIndex.isValid() || d->m_pressedBeyondColumn >= 0) {
        cancelDrags();
        d->m_pressAbandoned = true;
    }
    if (!d->m_strokeEngine.hasActiveStroke())
        d->m_gesture.drop();
    return dragged;
}

// What an undo takes back of a gesture under way, as on the paper (see
// KLScene::undo()): a stroke is handed over first, as its release would
// hand it over; a drag, here or of a column in the footer, is dropped.
void XSheet::endGestureForUndo()
{
    if (!d->m_gesture.isUnderWay() && !d->m_footer->dragsColumn())
        return;
    if (d->m_strokeEngine.hasActiveStroke())
        finishAnnotationStroke();
    abandonGestures();
}

// No release will reach the sheet (see KLScene::endGestures()): a gesture
// under way ends now as that release would end it, where the pointer was
// last seen; a press that began none is let go. The button, should it
// still be down, changes nothing more until it is lifted.
void XSheet::releaseLost()
{
    d->m_footer->releaseLost();
    d->m_header->abandonPress();
    if (!d->m_gesture.isUnderWay() && !d->m_tabletStrokeActive && !d->m_pressedIndex.isValid()
        && d->m_pressedBeyondColumn < 0)
        return;
    if (std::exchange(d->m_tabletStrokeActive, false)) {
        d->m_tabletAnnotation = false;
        finishAnnotationStroke();
    }
    if (d->m_gesture.isUnderWay()) {
        const QPointF at = d->m_lastPosition;
        QMouseEvent release(QEvent::MouseButtonRelease, at, viewport()->mapToGlobal(at), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        mouseReleaseEvent(&release);
    }
    cancelDrags();
    d->m_pressAbandoned = true;
}

void XSheet::finishFrameDrag(int row)
{
    Model::FrameRangeModel *model = d->m_model;
    model->setDragDistance(row - d->m_pressedIndex.row());
    const int distance = model->dragDistance();
    const int kind = model->dragMode();

    Model::KLScene *handle = Model::KLScene::current();
    Model::Scene *scene = handle ? handle->scene() : nullptr;
    std::unique_ptr<Model::SceneCommand> command;
    if (scene && kind == Model::FrameRangeModel::SlideDrag) {
        const int lowest = model->minDragDistanceReached();
        const int highest = model->maxDragDistanceReached();
        if (distance != 0 || lowest != 0 || highest != 0)
            command = std::make_unique<Commands::SlideOriginalDrawing>(scene, distance, lowest, highest);
    } else if (scene && kind == Model::FrameRangeModel::AddClonesDrag) {
        if (distance >= 1)
            command = std::make_unique<Commands::AddCloneDrawings>(handle, handle->currentIndex(), distance);
        else if (distance < 0)
            command = std::make_unique<Commands::DiscardCloneDrawings>(scene, -distance);
    }
    model->endDrag();
    if (command)
        Model::KLScene::pushCommand(command.release());
}

// Annotation strokes

void XSheet::beginAnnotationStroke(QPointF point, double pressure, quint64 timeStamp)
{
    d->m_gesture.begin(Commands::historyText("Add Annotation", "Commands::AddAnnotation"));
    const int column = d->m_header->logicalIndexAt(qRound(point.x()));
    d->m_annotationTopRow = rowAt(0);
    d->m_annotationColumn = column;
    int last = rowAt(viewport()->height() - 1);
    if (last < 1)
        last = d->m_model->lastFrame() - d->m_model->firstFrame();

    const int x0 = d->m_header->sectionViewportPosition(column);
    const int y0 = d->m_annotationTopRow * d->m_rowHeight + d->m_topMargin - verticalOffset();
    const double k = double(d->m_annotationRowHeight) / d->m_rowHeight;
    d->m_annotationTransform = QTransform();
    d->m_annotationTransform.scale(k, k);
    d->m_annotationTransform.translate(-(d->m_cellLeftInset + x0), -(d->m_cellTopInset + y0));
    const QRect canvas(d->m_cellLeftInset + x0, d->m_cellTopInset + y0,
                       d->m_header->sectionSize(column) - d->m_cellWidthInset,
                       (last - d->m_annotationTopRow + 1) * d->m_rowHeight);

    Model::ToolManager *tools = Model::ToolManager::instance();
    const Model::Tool::Type type = XSheetPrivate::annotationToolType();
    const Model::Tool *tool = d->m_annotationPenType == int(KL::AnnotationPenType::DrawToolPen)
        ? tools->tool(type)
        : tools->scribbleTool(type);
    const QPointF mapped = d->m_annotationTransform.map(point);
    d->m_strokeEngine.beginStroke(d->m_annotationTransform.mapRect(canvas),
                                  {mapped.x(), mapped.y(), pressure, double(timeStamp)}, tool);
}

void XSheet::addAnnotationPoint(QPointF point, double pressure, quint64 timeStamp)
{
    const QPointF mapped = d->m_annotationTransform.map(point);
    d->m_strokeEngine.addPoint({mapped.x(), mapped.y(), pressure, double(timeStamp)});
}

void XSheet::finishAnnotationStroke()
{
    const QScopedValueRollback<bool> own(d->m_ownChange, true);
    const Model::SceneGesture::OwnSteps steps;
    const auto ending = qScopeGuard([this] { d->m_gesture.end(); });
    const std::unique_ptr<Model::SingleStroke> stroke = d->m_strokeEngine.endStroke();
    Model::KLScene *handle = Model::KLScene::current();
    if (!stroke || !handle || !d->m_model)
        return;
    // Repaint what the live stroke showed, whatever is pushed.
    viewport()->update();

    const int band = d->m_annotationRowHeight;
    const QRect bounds = stroke->boundingRect();
    const int first = std::max(bounds.top(), 0) / band;
    const int last = std::min(stroke->image().height() - 1, bounds.bottom()) / band;
    if (first > last)
        return;

    // The new note of each row the stroke crossed, null where it changed
    // nothing.
    QModelIndexList cells;
    QList<QImage> images;
    const int frameOfTopRow = d->m_model->firstFrame() + d->m_annotationTopRow;
    for (int row = first; row <= last; ++row) {
        const QModelIndex cell = d->m_model->index(d->m_annotationTopRow + row, d->m_annotationColumn);
        const QImage note = cell.data(Role::AnnotationImageRole).value<QImage>();
        const QImage image = d->noteWithStroke(note, row, *stroke);
        cells.append(handle->sceneModel()->index(frameOfTopRow - 1 + row, d->m_annotationColumn));
        images.append(image.isNull() || image == note ? QImage() : image.copy());
    }
    Commands::addAnnotations(handle, cells, images);
}

// Pen input

bool XSheet::annotationTabletEvent(QTabletEvent *event)
{
    if (d->m_frameDragActive || d->m_audioDragActive || (d->m_tabletStrokeActive && !d->m_tabletAnnotation))
        return false;
    const QPointF position = event->position();
    const int column = d->m_header->logicalIndexAt(qRound(position.x()));
    if (!d->m_strokeEngine.hasActiveStroke() && !d->m_tabletStrokeActive
        && columnKind(column) != Model::Layer::AnnotationLayerType)
        return false;

    switch (event->type()) {
    case QEvent::TabletPress:
        if (!d->m_tabletStrokeActive) {
            setFocus(Qt::OtherFocusReason);
            d->m_tabletStrokeActive = true;
            d->m_tabletAnnotation = true;
            beginAnnotationStroke(position, event->pressure(), event->timestamp());
            d->m_tabletTimer->start();
        }
        break;
    case QEvent::TabletMove:
        if (d->m_tabletStrokeActive)
            addAnnotationPoint(position, event->pressure(), event->timestamp());
        else
            updateCursor(position.toPoint());
        break;
    case QEvent::TabletRelease:
        if (d->m_tabletStrokeActive) {
            addAnnotationPoint(position, event->pressure(), event->timestamp());
            finishAnnotationStroke();
        }
        d->m_tabletStrokeActive = false;
        d->m_tabletAnnotation = false;
        // The system may still send its mouse copy of the pen's lift.
        d->m_tabletTimer->start();
        updateCursor(position.toPoint());
        break;
    default:
        break;
    }
    return true;
}

bool XSheet::eraserTabletEvent(QTabletEvent *event)
{
    const QPoint point = event->position().toPoint();
    switch (event->type()) {
    case QEvent::TabletPress:
        if (!d->m_tabletStrokeActive) {
            d->m_tabletStrokeActive = true;
            d->m_pressPosition = point;
            d->m_pressedIndex = indexAt(point);
            const QScopedValueRollback<bool> own(d->m_ownChange, true);
            selectRangeTo(d->m_pressedIndex, true);
            d->m_tabletTimer->start();
        }
        break;
    case QEvent::TabletMove:
        if (d->m_tabletStrokeActive) {
            const QScopedValueRollback<bool> own(d->m_ownChange, true);
            selectRangeTo(indexAt(point), false);
        } else {
            updateCursor(point);
        }
        break;
    case QEvent::TabletRelease:
        d->m_tabletStrokeActive = false;
        d->m_pressedIndex = QModelIndex();
        d->m_pressPosition = QPoint();
        d->m_tabletTimer->start();
        updateCursor(point);
        break;
    default:
        break;
    }
    return true;
}

} // namespace UI
