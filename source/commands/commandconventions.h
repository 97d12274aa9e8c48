#pragma once

// What every undo command of the program shares: how it names itself in the
// undo history, how it compares values, which ids the merging commands use,
// how a cell command reads its cells and keeps and applies its change lists.
//
// Every command derives from Model::SceneCommand, does its redo's work in
// perform(), and keeps its state in a private record of its own; the record
// of a command that edits cells derives from CellRecord below. A command
// that could change nothing makes itself obsolete in its constructor, so
// that it is dropped unrun and never shows in the history; one that can tell
// only by trying makes itself obsolete in a first redo that changed nothing,
// which the scene's handle then runs before the push, where there are
// undone steps to keep, and no more after it.
//
// Change lists. The table model's edits hand back the records that undo them
// in reverse order, and SceneModel::applyChanges reverses a copy again, so a
// command may append the lists of several edits in the order it made them
// and undo them all with one call. Two ways of keeping them:
// - recorded (redo records, undo applies): redo starts from an empty list,
//   edits afresh and appends each edit's list; undo applies the list and
//   empties it. The command holds a list only while it is done.
// - inserted (undo records, a later redo applies): the first redo inserts
//   cells and drops the lists; undo removes exactly the cells that redo
//   inserted and keeps the lists of those removals; a later redo applies
//   them, which puts the very same cell objects back. The command holds a
//   list only while it is undone.
// Cell commands choose the active cell themselves: undo gives back the frame
// range and current cell of construction, redo names the cell of its edit.

#include "layers/scenechange.h"

#include <QList>
#include <QModelIndex>
#include <QString>
#include <QUndoCommand>
#include <QUuid>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace Model {
class KLScene;
class Layer;
class LayerItem;
class Scene;
class SceneModel;
} // namespace Model

class QObject;

namespace Commands {

// QUndoCommand::id() of the commands that merge with the one before them on
// the stack. Every other command keeps QUndoCommand's -1 and never merges.
enum MergeId : int {
    SetActiveFrameAndLayerId = 1,
    SetFrameRangeId = 2,
    OffPegsId = 3,
    ChangeToolTypeId = 4,
    ChangeLayerOpacityId = 5,
    SetAudioOffsetId = 6,
    SetFrameRateId = 7,
};

// Whether two values of a command (frame rate, audio offset, opacity) count
// as equal: |a - b| * 10^12 <= min(|a|, |b|). A command whose new value
// equals its old one is obsolete, and a merge that returns to the old value
// takes the entry out of the history.
bool fuzzyEqual(double a, double b);

// The line a command shows in the undo history. Translated in QObject's own
// context; the disambiguation is "Commands::" and the class name unless a
// command says otherwise, and n, -1 for most, is a count that only a
// language with plural forms uses.
QString historyText(const char *sourceText, const char *disambiguation, int n = -1);

// The usual test of a cell command: a valid index (row and column not
// negative, a model) in a column that the handle's scene model reports as a
// visual layer. False without a handle.
bool isVisualLayerIndex(const Model::KLScene *scene, const QModelIndex &index);

// A callback for the model's long work (a collapse, a resize) that reports
// to progress, any object with the properties of a progress dialog: it sets
// "maximum" and "value" and answers false once "wasCanceled" holds. Empty
// without an object; once the object is gone the work goes on unreported.
std::function<bool(int done, int total)> progressCallback(QObject *progress);

// Cells by row alone; cells of one row keep no particular order.
void sortByRow(QModelIndexList &cells, Qt::SortOrder order);

// The order in which a cell command walks its cells.
enum class CellOrder {
    AsGiven,
    AscendingRows,
    DescendingRows,
};

// A scene's frame range; -1 until read.
struct FrameRange
{
    qint32 first = -1;
    qint32 last = -1;

    static FrameRange of(const Model::Scene *scene);
};

// What a layer command gives back on undo where the layer list changes under
// the user's eyes: the frame range and the active frame and layer.
struct ViewState
{
    FrameRange range;
    qint32 activeFrame = -1;
    qint32 activeLayer = -1;

    static ViewState of(const Model::Scene *scene);
    // Through Scene::setFrameRange, which also picks another active layer
    // when the saved one cannot be active; nothing without a scene.
    void restore(Model::Scene *scene) const;
};

// Where a layer stands in the scene's ordering (0 = top); -1 for no layer.
int positionOfLayer(const Model::Scene *scene, int layer);

// Inserts layer at index of the layer list, which puts it at the bottom of
// the ordering, and moves it to position there; a position outside the
// ordering leaves it at the bottom. The index used, -1 when the scene
// refused the layer.
int insertLayerAt(Model::Scene *scene, const std::shared_ptr<Model::Layer> &layer, int index, int position);

// The cells that a recorded command makes anew on each redo (the holds it
// inserts, the blank a layer keeps when its last cell goes): on every redo
// after the first they take the identifiers the first redo gave them, before
// anything names them by key. Later commands keep records and keys of those
// cells, and a distant clone's original lists it by key, so a cell must not
// change its identity between redos.
class NewCells
{
public:
    NewCells();
    ~NewCells();

    // At the start of every redo.
    void start();
    // Runs edit, one scene edit of the redo, and settles the identifiers of
    // the cells that it made, in layer and frame order. Answers what edit
    // answers.
    template<typename Edit>
    auto track(Model::Scene *scene, Edit edit) -> decltype(edit())
    {
        const QList<std::shared_ptr<Model::LayerItem>> before = cellsOf(scene);
        auto result = edit();
        settle(scene, before);
        return result;
    }

private:
    static QList<std::shared_ptr<Model::LayerItem>> cellsOf(const Model::Scene *scene);
    void settle(const Model::Scene *scene, const QList<std::shared_ptr<Model::LayerItem>> &before);

    bool m_started = false;
    bool m_recording = false;
    qsizetype m_next = 0;
    QList<QUuid> m_identifiers;
};

// The part of a private record that every cell command keeps: the handle it
// edits through (not owned), its cells as scene model indexes (row = frame
// - 1, column = layer index), its change list, and the current cell and
// frame range at construction, which undo gives back.
class CellRecord
{
public:
    // Reads the current cell and frame range when there is a scene.
    explicit CellRecord(Model::KLScene *scene);
    virtual ~CellRecord();

    bool hasScene() const;
    Model::Scene *document() const;
    Model::SceneModel *model() const;

    // Keeps the cells of given that pass test, in order, and makes command
    // obsolete without a scene or when no cell passes.
    template<typename Test>
    void keepCells(QUndoCommand *command, const QModelIndexList &given, Test test, CellOrder order)
    {
        if (hasScene()) {
            for (const QModelIndex &cell : given) {
                if (test(cell))
                    m_cells.append(cell);
            }
        }
        if (order != CellOrder::AsGiven)
            sortByRow(m_cells, order == CellOrder::AscendingRows ? Qt::AscendingOrder : Qt::DescendingOrder);
        if (m_cells.isEmpty())
            command->setObsolete(true);
    }

    // The current cell at construction as a frame (row + 1) and a layer;
    // 0 and -1 when there was none.
    int currentFrame() const;
    int currentLayer() const;
    // Undo's last step: the frame range and the active cell of construction.
    void restoreConstructionState() const;
    // The end of a recorded undo: applies the list, empties it and gives back
    // the frame range and active cell of construction.
    void applyRecordedChanges();

    // Inserted lists. insert(cell) makes the edit and answers its list; it is
    // called from the last cell to the first, so that what it adds below a
    // cell never moves a cell still to come. A later redo applies the lists
    // of the last undo instead. The first redo makes (frame, layer) active,
    // clamped into the layer's cells and range; a later redo makes active
    // the cell that the first one ended on. False when the first redo
    // inserted nothing; it then leaves the active cell as it was too.
    template<typename Insert>
    bool redoInsertion(Insert insert, int frame, int layer)
    {
        if (!m_performed) {
            m_performed = true;
            m_inserted = QList<bool>(m_cells.size(), false);
            for (qsizetype i = m_cells.size() - 1; i >= 0; --i)
                m_inserted[i] = !insert(m_cells.at(i)).isEmpty();
            if (!m_inserted.contains(true))
                return false;
            activate(frame, layer);
            return true;
        }
        applyInsertion();
        return true;
    }

    // remove(cell) takes away what redo inserted for the cell and answers
    // the list that puts it back; it is called from the first cell to the
    // last, and only for cells whose insertion took.
    template<typename Remove>
    void undoInsertion(Remove remove)
    {
        m_changes.clear();
        m_lastUndoRange = FrameRange::of(document());
        for (qsizetype i = 0; i < m_cells.size(); ++i) {
            if (i < m_inserted.size() && m_inserted.at(i))
                m_changes += remove(m_cells.at(i));
        }
        restoreConstructionState();
    }

    Model::KLScene *m_scene = nullptr;
    QModelIndexList m_cells;
    QList<Model::SceneChange> m_changes;
    QModelIndex m_currentIndex;
    FrameRange m_constructionRange;
    FrameRange m_lastUndoRange;

private:
    void activate(int frame, int layer);
    void applyInsertion();

    // Whether the first redo has run, and for each cell whether it inserted
    // anything: undo must never remove a cell that redo did not add.
    bool m_performed = false;
    QList<bool> m_inserted;
    // The active cell that the first redo left.
    qint32 m_redoFrame = -1;
    qint32 m_redoLayer = -1;
};

} // namespace Commands
