#pragma once

#include <QAbstractItemView>
#include <QModelIndex>
#include <QPoint>
#include <QRect>

#include <memory>

class QTabletEvent;

namespace UI {

class Dialogs;
class XSheetPrivate;

// The exposure sheet: one column per layer and one row per frame of the
// scene's frame range, plus one row after its last frame. The model is the
// scene's Model::FrameRangeModel; the sheet never edits the scene itself
// but pushes undo commands through Model::KLScene::pushCommand, one per
// gesture: a frame drag (add or discard holds, slide a drawing), an audio
// offset drag, a click on a column's beyond button, an annotation stroke.
// While a frame drag runs, the model's data already shows the moved cells,
// so painting follows the model and knows nothing of drags.
//
// Geometry, in viewport pixels: row r (proxy row) starts at topMargin +
// r * rowHeight - verticalOffset; columns are the sections of the header
// above the grid, whose widths follow the model's horizontal size hints.
// Every metric is a design value at UI scale 1 times the current UI scale,
// truncated, recomputed by updateUISize(); the row height itself is the
// model's vertical size hint once a model is set.
//
// Pointer input: a press only remembers where it was; a release on the same
// cell makes it current, Shift extends a selection within one column, and a
// move of the start-drag distance with a button held and no modifier starts
// a drag. A drag released beyond the left or right edge, or one that a
// modifier was pressed during, is cancelled: the model's preview is undone
// and nothing is pushed; released above or below the sheet, it ends on the
// row under the pointer, clamped at the first row. Annotation columns take strokes from the mouse or a
// pen; the eraser end of a pen selects cells. Mouse presses that the system
// makes up from pen input are dropped for half a second after the pen was
// last pressed or lifted on the sheet.
//
// A gesture aims at cells as they were when it began. A step that comes from
// elsewhere while it runs (a redo, an edit by a shortcut, a move of the
// current cell) may move or take those cells away, so it ends every gesture
// under way, in the sheet, its header and its footer: previews and live
// strokes go, and what is still held changes nothing when let go. An undo is
// the user's own: it takes back the stroke or drag under way and nothing
// before it (see Model::KLScene::undo). Playback, a flip or a scrub shows
// its frames as the scene's scrub frame and may leave the current cell
// elsewhere when it stops: every drag under way when the scene starts or
// stops showing such a frame is abandoned alike, and a stroke goes on.
class XSheet : public QAbstractItemView
{
    Q_OBJECT

public:
    explicit XSheet(QWidget *parent = nullptr);
    ~XSheet() override;

    // Takes the scene's Model::FrameRangeModel; any other model leaves the
    // sheet empty, as no model does.
    void setModel(QAbstractItemModel *model) override;
    void setSelectionModel(QItemSelectionModel *selectionModel) override;

    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;
    // The proxy row at viewport height y; the row count for the space below
    // the last row, -1 without a model or further down.
    int rowAt(int y) const;
    int rowHeight() const;

    // Brings a proxy row into view, centred unless centring is off.
    void scrollToFrame(int row);
    void updateUISize();
    // Where the questions of the sheet and its header go (see Dialogs); the
    // caller keeps it alive. Without one they are Qt's own dialogs.
    void setDialogs(Dialogs *dialogs);
    // The column gizmos follow the column heads.
    void updateGizmos();
    void updateScrollBars();

public Q_SLOTS:
    void setScrollToCenter(bool on);
    void showBeyondButtons(bool on);
    void setSlideMode(bool on);
    // A KL::TransparencyType value.
    void setTransparencyType(int type);
    void setEnableVerticalScrollAnimation(bool on);
    // The audio column's lock and the annotation pen, as their gizmos set
    // them; a locked audio column refuses offset drags. The pen type is a
    // KL::AnnotationPenType value.
    void setAudioOffsetLocked(bool locked);
    void setAnnotationPenType(int type);

Q_SIGNALS:
    void opacityClicked(int column);
    void opacityCenterMoved(QPoint globalPos);
    void frameHeightChanged(int rowHeight);
    void rightClickedThumbnail(QModelIndex index, QPoint globalPos);
    void rightClickedLayer(int column, QPoint globalPos);
    void doubleClickedLayer(int column, QRect globalRect);

protected Q_SLOTS:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override;
    void updateGeometries() override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;

protected:
    bool event(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    QSize viewportSizeHint() const override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex &index) const override;
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    // Column widths come from the model's size hints alone, not from the
    // cells of a column.
    int sizeHintForColumn(int column) const override;
    void scrollContentsBy(int dx, int dy) override;

    bool eventFilter(QObject *object, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    // Geometry (xsheet.cpp)
    int columnKind(int column) const;
    QVariant columnData(int column, int role) const;
    int contentHeight() const;
    int rowTop(int row) const;
    QPointF beyondButtonCentre(int column) const;
    bool isOnBeyondButton(int column, QPointF position) const;
    QRect beyondButtonArea(int column) const;
    QRect backlightSymbolRect(int row) const;
    void updateMetrics();
    void updateViewportMargins();
    void updateRowHeight();
    void syncSectionOrder();
    void onFooterSectionMoved(int logical, int oldVisual, int newVisual);
    void moveOpacityCenter();
    void scrollToColumn(int column, ScrollHint hint);
    void scrollToRow(int row);
    void updateCell(const QModelIndex &index);
    void updateDistantClones(const QModelIndex &index);
    void selectRangeTo(const QModelIndex &index, bool resetAnchor);
    void updateCursor(QPoint point, bool force = false);

    // Painting (xsheetpainting.cpp)
    QImage liveAnnotation(const QModelIndex &index, QSize size) const;

    // Pointer input (xsheetinteraction.cpp)
    void beginAnnotationStroke(QPointF point, double pressure, quint64 timeStamp);
    void addAnnotationPoint(QPointF point, double pressure, quint64 timeStamp);
    void finishAnnotationStroke();
    void finishFrameDrag(int row);
    void cancelDrags();
    void abandonGestures();
    bool abandonDrags();
    void endGestureForUndo();
    void releaseLost();
    bool annotationTabletEvent(QTabletEvent *event);
    bool eraserTabletEvent(QTabletEvent *event);

    std::unique_ptr<XSheetPrivate> d;
    friend class XSheetPrivate;
};

} // namespace UI
