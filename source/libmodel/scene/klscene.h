#pragma once

#include "strokes/floatingselection.h"

#include <QItemSelection>
#include <QMetaObject>
#include <QModelIndex>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QItemSelectionModel;

namespace Model {

class FrameRangeModel;
class KLScenePrivate;
class Scene;
class SceneCommand;
class SceneModel;

// The handle of one open scene: it owns the document, its table model, the
// frame-range proxy the exposure sheet shows, the selection on that proxy and
// the piece of a drawing that floats over the canvas.
//
// One handle at a time is current; the rest of the program reaches the
// document through current() and pushes every undoable edit through
// pushCommand(). The handle does not make itself current: whoever switches
// scenes does, and cuts the connections it registered with addConnection()
// before switching. Positions handed out (currentIndex(), selection()) are
// in the scene model's rows, frame - 1, whatever range the proxy shows.
//
// The undo stack is not reentrant: a push while a step runs would cut the
// history under the step. While the scene changes (isChanging()), undo()
// and redo() do nothing, and what is pushed waits: once the change is over
// it is pushed, in the order it came, each push a change of its own. A
// command that would change nothing never reaches the stack, which would
// cut the steps after the current one all the same: what was undone stays
// to be redone.
//
// While a gesture of a view is under way, the steps it makes run at once but
// are held back from the history, in the order they came, until the gesture
// ends: pushed then, they could not have cut undone steps, pushed the oldest
// step out of a full history or merged into the step before the gesture,
// all of which an undo during the gesture must find as they were. Only the
// gesture's own steps are held (see SceneGesture): a step of the user's own
// meanwhile (a key's, a menu's) first ends every gesture under way as its
// release would, on what the gesture began on, so that what they made goes
// into the history before it. Nothing stays held once the user can do
// anything else: a gesture ends as its release would as soon as no release
// can reach its view (see endGestures()).
class KLScene : public QObject
{
    Q_OBJECT

public:
    explicit KLScene(QObject *parent = nullptr);
    ~KLScene() override;

    // Null when no scene is open. A handle that is deleted while current
    // leaves no current handle behind.
    static KLScene *current();
    static void setCurrent(KLScene *scene);
    // Takes the command: pushes it on the current scene's undo stack, which
    // runs it, at once or, while that scene changes, once the change is
    // over. Dropped without a current scene, and when it changes nothing:
    // obsolete by the time its turn comes, or once it has run, which it does
    // before the push where there are undone steps to keep. It runs once
    // either way; a group runs its children once. This is the one way onto
    // a stack.
    static void pushCommand(SceneCommand *command);
    // The same for a command that make builds when its turn comes, from the
    // scene as it then is; it answers null for nothing to push. For an edit
    // that names what a step can move or take away, a layer by its index.
    static void pushCommand(std::function<SceneCommand *()> make);
    // Takes back the last step. During a gesture (see SceneGesture) it
    // takes back that gesture instead, and only it: aboutToUndo() asks the
    // views to end theirs, a stroke handed over as its release would hand
    // it over, an outline or a drag dropped. The history then holds exactly
    // the steps done before the gesture began, and still offers every step
    // that was undone before it began. What the gesture made is offered to
    // redo only when nothing else was to redo, the history has room for it
    // without losing its oldest step, and the view kept it; else it is
    // taken back for good.
    void undo();
    // Does nothing while a gesture is under way: an undone step can only be
    // redone onto the history it left, and under a gesture it would move
    // what the gesture works on.
    void redo();
    // True while a step runs through pushCommand(), undo() or redo(), while
    // a layer's column goes, and while the sheet's current cell follows the
    // active cell: whatever the current cell does meanwhile is the scene's
    // doing, not a choice of the user's.
    bool isChanging() const;
    // A gesture of a view is under way: an undo now takes it back, whatever
    // the history holds.
    bool isGestureUnderWay() const;
    // What an undo takes back meanwhile; empty without a gesture.
    QString gestureText() const;
    // Ends every gesture under way as its release would, for what no
    // release will follow: a question, a save, a backup, the scene going,
    // the end of the run, a step of the user's own. aboutToEndGestures() asks each view to end its
    // own, and what they held reaches the history.
    void endGestures();
    // Changes that no save holds: steps in the history since the last save,
    // or held by a gesture under way.
    bool isModified() const;

    Scene *scene() const;
    SceneModel *sceneModel() const;
    FrameRangeModel *frameRangeModel() const;
    QItemSelectionModel *selectionModel() const;

    QModelIndex currentIndex() const;
    QItemSelection selection() const;
    bool hasSelection() const;

    FloatingSelection *floatingSelection() const;
    // Hands the previous one back, so that an undo command can swap them.
    std::unique_ptr<FloatingSelection> setFloatingSelection(std::unique_ptr<FloatingSelection> selection);
    // Identity transforms and a zero centre without a floating selection.
    FloatingSelection::Transform floatingSelectionTransform() const;
    // Announces the transform as the floating selection kept it.
    void setFloatingSelectionTransform(const FloatingSelection::Transform &transform);

    void addConnection(const QMetaObject::Connection &connection);
    void disconnectAll();

public Q_SLOTS:
    void clearSelection();

Q_SIGNALS:
    // undo() is about to take back the gesture under way: each view ends
    // its own now.
    void aboutToUndo();
    // No release will reach the gestures under way: each view ends its own
    // now, as its release would, and lets the press go.
    void aboutToEndGestures();
    // A gesture began or ended; underWay: whether any still is. After an
    // undo that took a gesture back, once what it held is gone.
    void gestureUnderWayChanged(bool underWay);
    // A step the gesture under way made has run; it reaches the history
    // when the gesture ends.
    void stepHeld();
    void floatingSelectionChanged();
    void floatingSelectionTransformChanged(Model::FloatingSelection::Transform transform);

private:
    friend class SceneGesture;
    void beginGesture(const QString &text);
    // kept: the view handed over what the gesture made rather than
    // dropping it.
    void endGesture(bool kept, const QString &text);
    void followActiveCell(int frame, int layer);

    std::unique_ptr<KLScenePrivate> d;
};

} // namespace Model
