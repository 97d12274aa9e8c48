#include "scene/klscene.h"

#include "scene/framerangemodel.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"

#include <QDebug>
#include <QItemSelectionModel>
#include <QList>
#include <QUndoCommand>
#include <QUndoStack>

namespace Model {

namespace {

KLScene *s_current = nullptr;

} // namespace

class KLScenePrivate
{
public:
    Scene *m_scene = nullptr;
    SceneModel *m_sceneModel = nullptr;
    FrameRangeModel *m_frameRangeModel = nullptr;
    QItemSelectionModel *m_selectionModel = nullptr;
    std::unique_ptr<FloatingSelection> m_floatingSelection;
    QList<QMetaObject::Connection> m_connections;
};

KLScene::KLScene(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<KLScenePrivate>())
{
    d->m_scene = new Scene(this);
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
}

KLScene::~KLScene()
{
    if (s_current == this)
        s_current = nullptr;
}

KLScene *KLScene::current() { return s_current; }

void KLScene::setCurrent(KLScene *scene) { s_current = scene; }

void KLScene::pushCommand(QUndoCommand *command)
{
    if (s_current && s_current->scene()) {
        s_current->scene()->undoStack()->push(command);
        return;
    }
    qDebug() << "Trying to push command with no current scene";
    delete command;
}

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
    const QModelIndex cell = d->m_frameRangeModel->mapFromSource(d->m_sceneModel->index(frame - 1, layer));
    // Moving to another cell drops a selection made around the old one.
    if (cell != d->m_selectionModel->currentIndex())
        d->m_selectionModel->clearSelection();
    d->m_selectionModel->setCurrentIndex(cell, QItemSelectionModel::NoUpdate);
}

} // namespace Model
