#include "scene/scene.h"

#include "layers/audiolayer.h"
#include "layers/visuallayer.h"
#include "scene/scene_p.h"
#include "settings/settings.h"

#include <QFileInfo>
#include <QUndoStack>

#include <algorithm>
#include <cmath>

namespace Model {

namespace {

constexpr int UndoLimit = 50;
constexpr int StrokeUpdateIntervalMs = 20;
constexpr int StrokeFinishIntervalMs = 500;

} // namespace

Scene::Scene(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<ScenePrivate>())
{
    d->m_undoStack = new QUndoStack(this);
    d->m_undoStack->setUndoLimit(UndoLimit);
    d->m_strokeUpdateTimer.setInterval(StrokeUpdateIntervalMs);
    d->m_strokeUpdateTimer.setSingleShot(false);
    d->m_strokeFinishTimer.setInterval(StrokeFinishIntervalMs);
    d->m_strokeFinishTimer.setSingleShot(false);

    Settings *settings = Settings::instance();
    // The preferences refuse sizes without pixels and rates that are not
    // positive, but a scene must never take one, whatever the store held.
    if (settings->defaultFrameSize().width() >= 1 && settings->defaultFrameSize().height() >= 1)
        d->m_frameSize = settings->defaultFrameSize();
    if (std::isfinite(settings->defaultFrameRate()) && settings->defaultFrameRate() > 0.0)
        d->m_frameRate = settings->defaultFrameRate();
    d->m_thumbnailSize = settings->thumbnailSize();
    d->m_backlightSettings = settings->backlightSettings();
    connect(settings, &Settings::backlightSettingsChanged, this,
            [this] { setBacklightSettings(Settings::instance()->backlightSettings()); });
}

Scene::~Scene()
{
    disconnect(Settings::instance(), nullptr, this, nullptr);
    // Layers name the scene as their QObject parent, yet their lifetime is
    // their holders' business: one that an undo command or a caller still
    // holds must outlive the scene instead of being deleted under it.
    for (const std::shared_ptr<Layer> &layer : std::as_const(d->m_layers)) {
        disconnect(layer.get(), nullptr, this, nullptr);
        if (layer->parent() == this)
            layer->setParent(nullptr);
    }
    d->m_layers.clear();
}

QString Scene::name() const { return d->m_name; }
QString Scene::filePath() const { return d->m_filePath; }

void Scene::setFilePath(const QString &path)
{
    d->m_filePath = path;
    d->m_name = QFileInfo(path).completeBaseName();
    Q_EMIT nameChanged(d->m_name);
}

void Scene::setName(const QString &name)
{
    d->m_name = name;
    Q_EMIT nameChanged(d->m_name);
}

QSize Scene::frameSize() const { return d->m_frameSize; }
int Scene::frameWidth() const { return d->m_frameSize.width(); }
int Scene::frameHeight() const { return d->m_frameSize.height(); }
QRect Scene::frameRect() const { return QRect(QPoint(0, 0), d->m_frameSize); }
double Scene::frameRate() const { return d->m_frameRate; }
KL::ThumbnailSize Scene::thumbnailSize() const { return d->m_thumbnailSize; }

bool Scene::setThumbnailSize(KL::ThumbnailSize size, bool force)
{
    if (!force && size == d->m_thumbnailSize)
        return false;
    d->m_thumbnailSize = size;
    Q_EMIT thumbnailSizeChanged(size);
    return true;
}

int Scene::maximumFrameNumber() const { return d->m_maximumFrameNumber; }
QUndoStack *Scene::undoStack() const { return d->m_undoStack; }
int Scene::activeFrame() const { return d->m_activeFrame; }
int Scene::activeLayerIdx() const { return d->m_activeLayerIdx; }
int Scene::frameRangeFirst() const { return d->m_frameRangeFirst; }
int Scene::frameRangeLast() const { return d->m_frameRangeLast; }
int Scene::scrubFrame() const { return d->m_scrubFrame; }
bool Scene::isScrubFrame(int frame) const { return d->m_scrubFrame != -1 && d->m_scrubFrame == frame; }
bool Scene::isScrubbing() const { return d->m_scrubbing; }
int Scene::audioLayerIdx() const { return d->m_audioLayerIdx; }
SingleStroke *Scene::activeStroke() const { return d->m_activeStroke.get(); }
bool Scene::hasActiveStroke() const { return d->m_activeStroke != nullptr; }

void Scene::updateMaxFrameNumber()
{
    int maximum = 1;
    for (const std::shared_ptr<Layer> &layer : std::as_const(d->m_layers))
        maximum = std::max(maximum, layer->frameCount());
    if (maximum == d->m_maximumFrameNumber)
        return;
    d->m_maximumFrameNumber = maximum;
    Q_EMIT maximumFrameNumberChanged(maximum);
}

void Scene::emitWholeFrameChanged()
{
    Q_EMIT rectChanged(frameRect());
}

void Scene::emitDrawingsChanged(QList<std::pair<int, int>> cells)
{
    std::sort(cells.begin(), cells.end());
    cells.erase(std::unique(cells.begin(), cells.end()), cells.end());
    Q_EMIT drawingsChanged(cells);
}

} // namespace Model
