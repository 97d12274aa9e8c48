#include "scene/klscene.h"

#include "scene/framerangemodel.h"
#include "scene/scene.h"
#include "scene/scenecommand.h"
#include "scene/scenegesture.h"
#include "scene/scenemodel.h"

#include <QDebug>
#include <QItemSelectionModel>
#include <QList>
#include <QScopedValueRollback>
#include <QStringList>
#include <QUndoStack>

#include <cstddef>
#include <deque>
#include <utility>
#include <vector>

namespace Model {

namespace {

KLScene *s_current = nullptr;

} // namespace

class KLScenePrivate
{
public:
    // A command waiting for the change to end, or what makes it then, and
    // whether a gesture made it.
    struct Pending
    {
        std::unique_ptr<SceneCommand> command;
        std::function<SceneCommand *()> make;
        bool own = false;

        std::unique_ptr<SceneCommand> take()
        {
            return command ? std::move(command) : std::unique_ptr<SceneCommand>(make ? make() : nullptr);
        }
    };

    // Counts one change (a step, a column going, the current cell
    // following the active one) for as long as it lives.
    class Change
    {
    public:
        explicit Change(KLScenePrivate *d)
            : m_d(d)
        {
            ++m_d->m_changing;
        }
        ~Change() { m_d->endChange(); }
        Change(const Change &) = delete;
        Change &operator=(const Change &) = delete;

    private:
        KLScenePrivate *m_d;
    };

    explicit KLScenePrivate(KLScene *handle)
        : q(handle)
    {
    }

    void request(Pending pending);
    void endChange();
    void push(std::unique_ptr<SceneCommand> command, bool own);
    void pushHeld();
    void takeBackGesture();
    bool fitsAsRedo() const;

    KLScene *q;

    Scene *m_scene = nullptr;
    SceneModel *m_sceneModel = nullptr;
    FrameRangeModel *m_frameRangeModel = nullptr;
    QItemSelectionModel *m_selectionModel = nullptr;
    std::unique_ptr<FloatingSelection> m_floatingSelection;
    QList<QMetaObject::Connection> m_connections;
    int m_changing = 0;
    std::deque<Pending> m_pending;
    bool m_pushingPending = false;
    // Gestures under way with their texts, and the steps they made: run,
    // in order.
    int m_gestures = 0;
    QStringList m_gestureTexts;
    std::vector<std::unique_ptr<SceneCommand>> m_held;
    bool m_gestureDropped = false;
    bool m_takingBackGesture = false;
};

void KLScenePrivate::request(Pending pending)
{
    if (m_changing > 0) {
        m_pending.push_back(std::move(pending));
        return;
    }
    push(pending.take(), pending.own);
}

void KLScenePrivate::endChange()
{
    if (--m_changing > 0 || m_pushingPending)
        return;
    // What a pending push brings about waits behind the pushes before it.
    const QScopedValueRollback<bool> pushing(m_pushingPending, true);
    while (!m_pending.empty()) {
        Pending next = std::move(m_pending.front());
        m_pending.pop_front();
        push(next.take(), next.own);
    }
}

void KLScenePrivate::push(std::unique_ptr<SceneCommand> command, bool own)
{
    if (!command || command->isObsolete())
        return;
    // A step of the user's own (a key's, a menu's) during a gesture ends the
    // gesture first, as its release would end it, on what the gesture began
    // on: a stroke in its own cell, before the step can move the active
    // cell, a drag at the distance it shows. What the gesture made is in the
    // history then, before the step, and an undo takes back the step first.
    if (m_gestures > 0 && !own)
        q->endGestures();
    const Change change(this);
    QUndoStack *stack = m_scene->undoStack();
    const bool held = m_gestures > 0 && own;
    // QUndoStack::push cuts the undone steps before it looks whether the
    // command is obsolete, which some commands tell only once they have run.
    // Where there are undone steps to lose, the command runs first: one that
    // changed nothing goes, anything else is pushed done, and the push's own
    // redo does nothing. During a gesture it is held back done.
    if (held || stack->canRedo()) {
        command->redo();
        if (command->isObsolete())
            return;
        command->markPerformed();
    }
    if (held) {
        m_held.push_back(std::move(command));
        Q_EMIT q->stepHeld();
        return;
    }
    stack->push(command.release());
}

void KLScenePrivate::pushHeld()
{
    const Change change(this);
    for (std::unique_ptr<SceneCommand> &command : std::exchange(m_held, {}))
        m_scene->undoStack()->push(command.release());
}

// Whether the held steps can go onto the history as steps to redo, each
// alone, and take nothing off it.
bool KLScenePrivate::fitsAsRedo() const
{
    const QUndoStack *stack = m_scene->undoStack();
    if (stack->canRedo())
        return false;
    const int limit = stack->undoLimit();
    if (limit > 0 && stack->count() + int(m_held.size()) > limit)
        return false;
    const QUndoCommand *before = stack->command(stack->index() - 1);
    for (const std::unique_ptr<SceneCommand> &command : m_held) {
        if (command->id() != -1 && before && before->id() == command->id())
            return false;
        before = command.get();
    }
    return true;
}

void KLScenePrivate::takeBackGesture()
{
    {
        const QScopedValueRollback<bool> takingBack(m_takingBackGesture, true);
        Q_EMIT q->aboutToUndo();
    }
    const bool offered = !std::exchange(m_gestureDropped, false) && fitsAsRedo();
    std::vector<std::unique_ptr<SceneCommand>> held = std::exchange(m_held, {});
    if (!held.empty()) {
        const Change change(this);
        QUndoStack *stack = m_scene->undoStack();
        if (offered) {
            for (std::unique_ptr<SceneCommand> &command : held)
                stack->push(command.release());
            for (std::size_t i = 0; i < held.size(); ++i)
                stack->undo();
        } else {
            for (auto command = held.rbegin(); command != held.rend(); ++command)
                (*command)->undo();
        }
    }
    // Announced only now: until the held steps went, they were changes to
    // save, and whoever shows that must find them gone.
    Q_EMIT q->gestureUnderWayChanged(m_gestures > 0);
}

KLScene::KLScene(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<KLScenePrivate>(this))
{
    d->m_scene = new Scene(this);
    // A column that goes moves the current cell off it before the scene
    // names its new active cell. Counted from before the models hear of it
    // until after they have.
    connect(d->m_scene, &Scene::beginRemoveLayer, this, [this] { ++d->m_changing; });
    d->m_sceneModel = new SceneModel(this);
    d->m_sceneModel->setScene(d->m_scene);
    d->m_frameRangeModel = new FrameRangeModel(this);
    d->m_frameRangeModel->setSourceModel(d->m_sceneModel);
    d->m_frameRangeModel->setScene(d->m_scene);
    d->m_selectionModel = new QItemSelectionModel(d->m_frameRangeModel, this);
    connect(d->m_frameRangeModel, &QObject::destroyed, d->m_selectionModel, &QObject::deleteLater);

    const QModelIndex active =
        d->m_sceneModel->index(d->m_scene->activeFrame() - 1, d->m_scene->activeLayerIdx());
    d->m_selectionModel->setCurrentIndex(d->m_frameRangeModel->mapFromSource(active),
                                         QItemSelectionModel::NoUpdate);
    connect(d->m_scene, &Scene::activeFrameAndLayerChanged, this, &KLScene::followActiveCell);
    connect(d->m_scene, &Scene::endRemoveLayer, this, [this] { d->endChange(); });
}

KLScene::~KLScene()
{
    if (s_current == this)
        s_current = nullptr;
}

KLScene *KLScene::current() { return s_current; }

void KLScene::setCurrent(KLScene *scene) { s_current = scene; }

void KLScene::pushCommand(SceneCommand *command)
{
    std::unique_ptr<SceneCommand> owned(command);
    if (!s_current || !s_current->scene()) {
        qDebug() << "Trying to push command with no current scene";
        return;
    }
    s_current->d->request({std::move(owned), {}, SceneGesture::isMakingOwnSteps()});
}

void KLScene::pushCommand(std::function<SceneCommand *()> make)
{
    if (!s_current || !s_current->scene()) {
        qDebug() << "Trying to push command with no current scene";
        return;
    }
    s_current->d->request({nullptr, std::move(make), SceneGesture::isMakingOwnSteps()});
}

void KLScene::undo()
{
    if (isChanging())
        return;
    if (d->m_gestures > 0) {
        d->takeBackGesture();
        return;
    }
    const KLScenePrivate::Change change(d.get());
    d->m_scene->undoStack()->undo();
}

void KLScene::redo()
{
    if (isChanging() || d->m_gestures > 0)
        return;
    const KLScenePrivate::Change change(d.get());
    d->m_scene->undoStack()->redo();
}

void KLScene::beginGesture(const QString &text)
{
    if (d->m_gestures++ == 0)
        d->m_gestureDropped = false;
    d->m_gestureTexts.append(text);
    Q_EMIT gestureUnderWayChanged(true);
}

void KLScene::endGesture(bool kept, const QString &text)
{
    if (d->m_gestures == 0)
        return;
    d->m_gestureTexts.removeOne(text);
    if (!kept)
        d->m_gestureDropped = true;
    if (--d->m_gestures == 0) {
        d->m_gestureTexts.clear();
        // An undo that ends the gesture decides what becomes of what it
        // held.
        if (!d->m_takingBackGesture)
            d->pushHeld();
    }
    if (!d->m_takingBackGesture)
        Q_EMIT gestureUnderWayChanged(d->m_gestures > 0);
}

bool KLScene::isChanging() const { return d->m_changing > 0; }

bool KLScene::isGestureUnderWay() const { return d->m_gestures > 0; }

QString KLScene::gestureText() const { return d->m_gestureTexts.value(0); }

void KLScene::endGestures()
{
    if (d->m_gestures == 0)
        return;
    Q_EMIT aboutToEndGestures();
    if (d->m_gestures == 0)
        return;
    // A gesture whose view did not end it: what it made is kept all the
    // same.
    d->m_gestures = 1;
    endGesture(true, QString());
}

bool KLScene::isModified() const { return !d->m_scene->undoStack()->isClean() || !d->m_held.empty(); }

Scene *KLScene::scene() const { return d->m_scene; }
SceneModel *KLScene::sceneModel() const { return d->m_sceneModel; }
FrameRangeModel *KLScene::frameRangeModel() const { return d->m_frameRangeModel; }
QItemSelectionModel *KLScene::selectionModel() const { return d->m_selectionModel; }

QModelIndex KLScene::currentIndex() const
{
    if (!d->m_selectionModel || !d->m_frameRangeModel)
        return QModelIndex();
    return d->m_frameRangeModel->mapToSource(d->m_selectionModel->currentIndex());
}

QItemSelection KLScene::selection() const
{
    if (!d->m_selectionModel || !d->m_frameRangeModel)
        return QItemSelection();
    return d->m_frameRangeModel->mapSelectionToSource(d->m_selectionModel->selection());
}

bool KLScene::hasSelection() const { return d->m_selectionModel && d->m_selectionModel->hasSelection(); }

void KLScene::clearSelection()
{
    if (d->m_selectionModel)
        d->m_selectionModel->clearSelection();
}

FloatingSelection *KLScene::floatingSelection() const { return d->m_floatingSelection.get(); }

std::unique_ptr<FloatingSelection> KLScene::setFloatingSelection(std::unique_ptr<FloatingSelection> selection)
{
    std::unique_ptr<FloatingSelection> previous = std::exchange(d->m_floatingSelection, std::move(selection));
    Q_EMIT floatingSelectionChanged();
    return previous;
}

FloatingSelection::Transform KLScene::floatingSelectionTransform() const
{
    return d->m_floatingSelection ? d->m_floatingSelection->transform() : FloatingSelection::Transform();
}

void KLScene::setFloatingSelectionTransform(const FloatingSelection::Transform &transform)
{
    if (!d->m_floatingSelection)
        return;
    d->m_floatingSelection->setTransform(transform);
    Q_EMIT floatingSelectionTransformChanged(d->m_floatingSelection->transform());
}

void KLScene::addConnection(const QMetaObject::Connection &connection) { d->m_connections.append(connection); }

void KLScene::disconnectAll()
{
    for (const QMetaObject::Connection &connection : std::as_const(d->m_connections))
        QObject::disconnect(connection);
    d->m_connections.clear();
}

void KLScene::followActiveCell(int frame, int layer)
{
    const KLScenePrivate::Change change(d.get());
    const QModelIndex cell = d->m_frameRangeModel->mapFromSource(d->m_sceneModel->index(frame - 1, layer));
    // Moving to another cell drops a selection made around the old one.
    if (cell != d->m_selectionModel->currentIndex())
        d->m_selectionModel->clearSelection();
    d->m_selectionModel->setCurrentIndex(cell, QItemSelectionModel::NoUpdate);
}

} // namespace Model
