#include "strokes/strokeengine.h"

#include "tools/toolmanager.h"

#include <QTimer>

namespace Model {

class StrokeEnginePrivate
{
public:
    std::unique_ptr<SingleStroke> m_stroke;
    QRect m_canvas;
    // Children of the engine, so that they go with it; the update timer
    // refits while the pen moves, the finish timer closes the gap to the pen
    // once it rests.
    QTimer *m_updateTimer = nullptr;
    QTimer *m_finishTimer = nullptr;

    void stopTimers()
    {
        m_updateTimer->stop();
        m_finishTimer->stop();
    }

    void startTimers()
    {
        m_updateTimer->start();
        m_finishTimer->start();
    }

    StrokeEngine::InputPoint relative(const StrokeEngine::InputPoint &point) const
    {
        StrokeEngine::InputPoint inside = point;
        inside.x -= m_canvas.left();
        inside.y -= m_canvas.top();
        return inside;
    }
};

StrokeEngine::StrokeEngine(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<StrokeEnginePrivate>())
{
    d->m_updateTimer = new QTimer(this);
    d->m_updateTimer->setObjectName(QStringLiteral("updateTimer"));
    d->m_updateTimer->setInterval(20);
    d->m_finishTimer = new QTimer(this);
    d->m_finishTimer->setObjectName(QStringLiteral("finishTimer"));
    d->m_finishTimer->setInterval(500);
    connect(d->m_updateTimer, &QTimer::timeout, this, &StrokeEngine::updateTick);
    connect(d->m_finishTimer, &QTimer::timeout, this, &StrokeEngine::finishTick);
}

StrokeEngine::~StrokeEngine()
{
    delete d->m_updateTimer;
    delete d->m_finishTimer;
}

void StrokeEngine::beginStroke(QRect canvas, const InputPoint &point, const Tool *tool)
{
    if (d->m_stroke) {
        // An interrupted stroke is thrown away, but it is finished first, as
        // any stroke is before it leaves the engine.
        d->stopTimers();
        d->m_stroke->finish();
        d->m_stroke->updateMask();
        d->m_stroke.reset();
        Q_EMIT hasActiveStrokeChanged(false);
    }

    d->m_canvas = canvas;
    if (!tool) {
        const ToolManager *manager = ToolManager::instance();
        tool = manager->tool(manager->currentToolType());
    }
    d->m_stroke = std::make_unique<SingleStroke>(canvas.size(), tool);
    d->m_stroke->addPoint(d->relative(point));
    updateMask();

    d->startTimers();
    Q_EMIT hasActiveStrokeChanged(true);
}

void StrokeEngine::addPoint(const InputPoint &point)
{
    if (!d->m_stroke)
        return;
    const InputPoint inside = d->relative(point);
    if (d->m_stroke->isNearLastPoint(inside.position()))
        return;
    d->startTimers();
    d->m_stroke->addPoint(inside);
    updateMask();
}

std::unique_ptr<SingleStroke> StrokeEngine::endStroke()
{
    d->stopTimers();
    if (!d->m_stroke)
        return nullptr;
    // The owner composes the whole mask into its image and repaints all of
    // it, so the last change is not reported.
    d->m_stroke->finish();
    d->m_stroke->updateMask();
    std::unique_ptr<SingleStroke> stroke = std::move(d->m_stroke);
    Q_EMIT hasActiveStrokeChanged(false);
    return stroke;
}

bool StrokeEngine::hasActiveStroke() const
{
    return d->m_stroke != nullptr;
}

const SingleStroke *StrokeEngine::activeStroke() const
{
    return d->m_stroke.get();
}

void StrokeEngine::updateTick()
{
    if (!d->m_stroke)
        return;
    d->m_stroke->update();
    updateMask();
}

void StrokeEngine::finishTick()
{
    // The stroke stays live: the pen may move on, and its next sample starts
    // both timers again.
    d->stopTimers();
    if (!d->m_stroke)
        return;
    d->m_stroke->finish();
    updateMask();
}

void StrokeEngine::updateMask()
{
    const QRect changed = d->m_stroke->updateMask();
    // A null rectangle (nothing rasterised) stays null rather than becoming
    // an empty one somewhere on the owner's surface.
    Q_EMIT rectChanged(changed.isNull() ? changed : changed.translated(d->m_canvas.topLeft()));
}

} // namespace Model
