#include "scene/scene.h"

#include "layers/strokelayer.h"
#include "scene/scene_p.h"
#include "tools/toolmanager.h"

#include <QPainter>

namespace Model {

// The stroke being drawn lives here until its owner commits it. While the
// pen moves, the 20 ms timer refits it towards the pen; half a second after
// the last accepted sample the 500 ms timer fits it all the way and stops
// both, leaving the stroke complete but still held. Every sample restarts
// both timers, so neither fires while samples keep arriving.

namespace {

void stopStrokeTimers(ScenePrivate &d)
{
    d.m_strokeUpdateTimer.stop();
    d.m_strokeFinishTimer.stop();
}

// start() on a running timer starts its interval again.
void restartStrokeTimers(ScenePrivate &d)
{
    d.m_strokeUpdateTimer.start();
    d.m_strokeFinishTimer.start();
}

} // namespace

void Scene::beginStroke(const SingleStroke::InputPoint &point)
{
    startActiveStroke();
    d->m_activeStroke->addPoint(point);
    Q_EMIT rectChanged(d->m_activeStroke->updateMask());
    restartStrokeTimers(*d);
    Q_EMIT hasActiveStrokeChanged(true);
}

void Scene::beginStrokeWithVector(const SingleStroke::InputPoint &point, const QPointF &vector)
{
    startActiveStroke();
    d->m_activeStroke->addPointWithTangent(point, vector);
    Q_EMIT rectChanged(d->m_activeStroke->updateMask());
    restartStrokeTimers(*d);
    Q_EMIT hasActiveStrokeChanged(true);
}

void Scene::startActiveStroke()
{
    // The timers only ever run once a stroke has begun, so connecting them
    // here is as good as in the constructor; unique connections keep it to
    // one each.
    connect(&d->m_strokeUpdateTimer, &QTimer::timeout, this, &Scene::strokeUpdateTimeout,
            Qt::UniqueConnection);
    connect(&d->m_strokeFinishTimer, &QTimer::timeout, this, &Scene::strokeFinishTimeout,
            Qt::UniqueConnection);

    // A stroke still held is finished, as every stroke is before it leaves
    // the scene, and then dropped.
    takeActiveStroke();

    const ToolManager *tools = ToolManager::instance();
    d->m_activeStroke = std::make_unique<SingleStroke>(d->m_frameSize, tools->tool(tools->currentToolType()));
}

void Scene::addStrokePoint(const SingleStroke::InputPoint &point)
{
    if (!d->m_activeStroke || d->m_activeStroke->isNearLastPoint(point.position()))
        return;
    restartStrokeTimers(*d);
    d->m_activeStroke->addPoint(point);
    Q_EMIT rectChanged(d->m_activeStroke->updateMask());
}

std::unique_ptr<SingleStroke> Scene::takeActiveStroke()
{
    stopStrokeTimers(*d);
    if (!d->m_activeStroke)
        return nullptr;
    d->m_activeStroke->finish();
    Q_EMIT rectChanged(d->m_activeStroke->updateMask());
    // Released before the announcement, so that a listener asking the scene
    // already finds no stroke.
    std::unique_ptr<SingleStroke> stroke = std::move(d->m_activeStroke);
    Q_EMIT hasActiveStrokeChanged(false);
    return stroke;
}

void Scene::strokeUpdateTimeout()
{
    if (!d->m_activeStroke)
        return;
    d->m_activeStroke->update();
    Q_EMIT rectChanged(d->m_activeStroke->updateMask());
}

void Scene::strokeFinishTimeout()
{
    // The stroke is complete but not committed: the pen may go on, and its
    // next sample starts both timers again.
    stopStrokeTimers(*d);
    if (!d->m_activeStroke)
        return;
    d->m_activeStroke->finish();
    Q_EMIT rectChanged(d->m_activeStroke->updateMask());
}

void Scene::paintActiveStroke(QPainter *painter, const QRect &rect, double scale)
{
    const bool scrubFrameShown = d->m_scrubFrame >= 1 && d->m_scrubFrame <= d->m_maximumFrameNumber;
    if (!painter || scrubFrameShown || !d->m_activeStroke || d->m_activeStroke->isEraserStroke())
        return;
    // Only ink shows a line ahead of the fit; the fitted part reaches the
    // screen with the frame (paintFrame).
    const auto *layer = qobject_cast<const StrokeLayer *>(layerAt(d->m_activeLayerIdx).get());
    if (!layer || !layer->isVisible())
        return;
    const QRect clip = rect & frameRect();
    if (clip.isEmpty())
        return;
    d->m_activeStroke->paintPendingLine(*painter, layer->color(), clip, scale);
}

} // namespace Model
