#include "scene/scenemodel.h"

#include "drawings/drawing.h"
#include "layers/annotationlayer.h"
#include "layers/layeritem.h"
#include "scene/scenelayercolumns_p.h"
#include "settings/settings.h"
#include "strokes/stroke.h"

#include <QClipboard>
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPainterPath>
#include <QSize>

#include <algorithm>
#include <cmath>

namespace Model {

namespace {

// Frames at least this wide for their height get a cell of fixed height
// instead of one of fixed width, so that thumbnails stay readable.
constexpr double WideAspect = 18.0 / 7.0;
constexpr double NarrowestAspect = 0.67;
constexpr int MinimumCellHeight = 14;
constexpr int MinimumCellWidth = 36;

int thumbnailWidth(KL::ThumbnailSize size)
{
    switch (size) {
    case KL::ThumbnailSize::ThumbnailTiny:
        return 36;
    case KL::ThumbnailSize::ThumbnailSmall:
        return 46;
    case KL::ThumbnailSize::ThumbnailMedium:
        return 56;
    case KL::ThumbnailSize::ThumbnailLarge:
        return 76;
    }
    return 56;
}

int thumbnailHeight(KL::ThumbnailSize size)
{
    switch (size) {
    case KL::ThumbnailSize::ThumbnailTiny:
        return 14;
    case KL::ThumbnailSize::ThumbnailSmall:
        return 21;
    case KL::ThumbnailSize::ThumbnailMedium:
        return 28;
    case KL::ThumbnailSize::ThumbnailLarge:
        return 42;
    }
    return 28;
}

QList<SceneChange> reversed(QList<SceneChange> changes)
{
    std::reverse(changes.begin(), changes.end());
    return changes;
}

} // namespace

class SceneModelPrivate
{
public:
    Scene *m_scene = nullptr;
    QSize m_cellSizeHint;
    QSize m_annotationSizeHint;
};

SceneModel::SceneModel(QObject *parent)
    : QAbstractTableModel(parent)
    , d(std::make_unique<SceneModelPrivate>())
{
}

SceneModel::~SceneModel() = default;

Scene *SceneModel::scene() const { return d->m_scene; }

void SceneModel::setScene(Scene *scene)
{
    if (scene == d->m_scene)
        return;

    beginResetModel();
    if (d->m_scene) {
        disconnect(d->m_scene, nullptr, this, nullptr);
        disconnect(this, nullptr, d->m_scene, nullptr);
    }
    d->m_scene = scene;

    if (scene) {
        updateSizeHints(scene->thumbnailSize());
        connect(scene, &Scene::layersChanged, this,
                [this](int from, int to) { Q_EMIT headerDataChanged(Qt::Horizontal, from, to); });
        connect(scene, &Scene::drawingsChanged, this, [this](const QList<std::pair<int, int>> &cells) {
            for (const auto &[frame, layer] : cells) {
                // A cell that an edit took away has no index left to refresh.
                const QModelIndex cell = index(frame - 1, layer);
                if (cell.isValid())
                    Q_EMIT dataChanged(cell, cell);
            }
        });
        connect(scene, &Scene::frameSizeChanged, this, [this] {
            updateSizeHints(d->m_scene->thumbnailSize());
            announceSizeHints();
        });
        connect(scene, &Scene::thumbnailSizeChanged, this, [this](KL::ThumbnailSize size) {
            updateSizeHints(size);
            announceSizeHints();
        });
        connect(scene, &Scene::layerMoved, this, [this] {
            if (columnCount() > 0)
                Q_EMIT headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
        });
        connect(scene, &Scene::backlightFramesChanged, this, [this] {
            if (rowCount() > 0)
                Q_EMIT headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
        });
        connect(scene, &Scene::scrubFrameChanged, this, [this](int current, int previous) {
            const int hi = std::min(std::max(current, previous) - 1, rowCount() - 1);
            int lo = std::min(current, previous) - 1;
            if (lo < 0)
                lo = hi;
            if (hi >= 0)
                Q_EMIT headerDataChanged(Qt::Vertical, lo, hi);
        });
        // The scene announces the new count only once it holds, so rows are
        // not inserted or removed one by one but the layout is renewed.
        followSceneLayers(this, scene, &Scene::maximumFrameNumberChanged);
    }
    endResetModel();
}

void SceneModel::updateSizeHints(KL::ThumbnailSize thumbnailSize)
{
    // Computed in double from the stored percent, so that 100 % is exact.
    const double scale = Settings::instance()->UIScalePercent() * 0.01;
    double aspect = 16.0 / 9.0;
    if (d->m_scene)
        aspect = double(d->m_scene->frameWidth()) / double(d->m_scene->frameHeight());

    if (aspect < WideAspect) {
        aspect = std::max(aspect, NarrowestAspect);
        const int width = int(thumbnailWidth(thumbnailSize) * scale);
        const int height = std::max(int(MinimumCellHeight * scale), int(std::floor(width / aspect)));
        d->m_cellSizeHint = QSize(width, height);
    } else {
        const int height = int(thumbnailHeight(thumbnailSize) * scale);
        const int width = std::max(int(MinimumCellWidth * scale),
                                   std::min(6 * height, int(std::ceil(height * aspect))));
        d->m_cellSizeHint = QSize(width, height);
    }
    const int height = d->m_cellSizeHint.height();
    d->m_annotationSizeHint = QSize(6 * height + 2, height);
}

void SceneModel::announceSizeHints()
{
    const QModelIndex first = index(0, 0);
    if (first.isValid())
        Q_EMIT dataChanged(first, first, {Qt::SizeHintRole});
    if (columnCount() > 0)
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

int SceneModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !d->m_scene)
        return 0;
    return d->m_scene->maximumFrameNumber();
}

int SceneModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !d->m_scene)
        return 0;
    return d->m_scene->layerCount();
}

QModelIndex SceneModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || !d->m_scene || row < 0 || column < 0 || column >= d->m_scene->layerCount())
        return QModelIndex();

    bool valid = false;
    if (d->m_scene->isAnnotationLayer(column))
        valid = true;
    else if (d->m_scene->isAudioLayer(column))
        valid = d->m_scene->hasAudioAtFrame(row + 1);
    else if (d->m_scene->isVisualLayer(column))
        valid = row <= d->m_scene->layerFrameCount(column);
    else
        valid = row < rowCount();
    return valid ? createIndex(row, column) : QModelIndex();
}

Qt::ItemFlags SceneModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (!index.isValid() || !d->m_scene)
        return flags;
    if (!d->m_scene->isVisualLayer(index.column()))
        flags &= ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    else if (index.row() == d->m_scene->layerFrameCount(index.column()))
        flags &= ~Qt::ItemIsSelectable;
    return flags;
}

QVariant SceneModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !d->m_scene)
        return QVariant();

    const Scene *scene = d->m_scene;
    const int layer = index.column();
    const int frame = index.row() + 1;
    switch (role) {
    case Qt::ToolTipRole:
        return scene->isVisualLayer(layer) ? scene->frameLabel(frame, layer) : QString();
    case AnnotationImageRole:
        if (const auto *annotations = qobject_cast<const AnnotationLayer *>(scene->layerAt(layer).get()))
            return annotations->image(frame);
        return QVariant();
    case OriginalDrawingRole:
        return scene->isOriginalDrawing(layer, frame);
    case DistantCloneRole:
        return scene->isDistantCloneDrawing(layer, frame);
    case CloneRole:
        return scene->isCloneDrawing(layer, frame);
    case KeyDrawingRole:
        return scene->isKeyDrawing(layer, frame);
    case FrameAfterLastRole:
        return scene->isFrameAfterLastDrawing(layer, frame);
    default:
        return QVariant();
    }
}

bool SceneModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!d->m_scene)
        return false;
    if (role != AnnotationImageRole || !index.isValid() || !d->m_scene->isAnnotationLayer(index.column())
        || !value.canConvert<QImage>())
        return QAbstractTableModel::setData(index, value, role);
    const bool accepted = d->m_scene->setAnnotationImage(index.row() + 1, value.value<QImage>());
    // The scene announces the whole annotation column only through its header.
    if (accepted)
        Q_EMIT dataChanged(index, index, {AnnotationImageRole});
    return accepted;
}

QVariant SceneModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (!d->m_scene)
        return QVariant();

    const Scene *scene = d->m_scene;
    const int layer = section;
    switch (role) {
    case Qt::DisplayRole:
        if (scene->isAudioLayer(layer))
            return scene->effectiveAudioOffset();
        return scene->layerName(layer);
    case Qt::SizeHintRole:
        return scene->isAnnotationLayer(layer) ? d->m_annotationSizeHint : d->m_cellSizeHint;
    case LayerTypeRole:
        return scene->layerType(layer);
    case LinkedRole:
        return scene->isLayerLinked(layer);
    case VisibleRole:
        return scene->isLayerVisible(layer);
    case AudibleRole:
        return scene->isLayerAudible(layer);
    case ColorRole:
        return scene->isVisualLayer(layer) ? QVariant(scene->layerColor(layer)) : QVariant();
    case OpacityRole:
        return scene->layerOpacity(layer);
    case DrawLayerRole:
        return scene->isDrawLayer(layer);
    case VisualLayerRole:
        return scene->isVisualLayer(layer);
    case BeyondLastRole:
        return scene->layerBeyondLast(layer);
    case FrameCountRole:
        return scene->layerFrameCount(layer) + 1;
    case BacklightFrameRole:
        if (orientation == Qt::Vertical)
            return scene->isBacklightFrame(section + 1);
        break;
    case ScrubFrameRole:
        if (orientation == Qt::Vertical)
            return scene->isScrubFrame(section + 1);
        break;
    default:
        break;
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool SceneModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (!d->m_scene)
        return false;

    switch (role) {
    case Qt::DisplayRole:
        return d->m_scene->setLayerName(section, value.toString());
    case LayerTypeRole:
        return false;
    case LinkedRole:
        return d->m_scene->setLayerLinked(section, value.toBool());
    case VisibleRole:
        return d->m_scene->setLayerVisible(section, value.toBool());
    case AudibleRole:
        return d->m_scene->setLayerAudible(section, value.toBool());
    case ColorRole:
        return d->m_scene->setLayerColor(section, value.value<QColor>());
    case OpacityRole:
        return d->m_scene->setLayerOpacity(section, value.toDouble());
    default:
        return QAbstractTableModel::setHeaderData(section, orientation, value, role);
    }
}

QList<SceneChange> SceneModel::addBlankDrawing(const QModelIndex &index)
{
    if (!d->m_scene)
        return {};
    return reversed(d->m_scene->addBlankDrawing(index.column(), index.row() + 1));
}

QList<SceneChange> SceneModel::insertBlankDrawing(const QModelIndex &index)
{
    if (!d->m_scene)
        return {};
    return reversed(d->m_scene->insertBlankDrawing(index.column(), index.row() + 1));
}

QList<SceneChange> SceneModel::addCloneDrawing(const QModelIndex &index)
{
    if (!d->m_scene)
        return {};
    return reversed(d->m_scene->addCloneDrawing(index.column(), index.row() + 1, false));
}

QList<SceneChange> SceneModel::addCloneDrawings(const QModelIndex &index, int count)
{
    if (!d->m_scene)
        return {};
    return reversed(d->m_scene->addCloneDrawings(index.column(), index.row() + 1, count));
}

QList<SceneChange> SceneModel::removeDrawing(const QModelIndex &index)
{
    if (!d->m_scene)
        return {};
    return reversed(d->m_scene->removeDrawing(index.column(), index.row() + 1));
}

QList<SceneChange> SceneModel::removeDrawings(const QModelIndex &index, int count)
{
    if (!d->m_scene)
        return {};
    // The scene removes backwards from the frame it is given.
    return reversed(d->m_scene->removeDrawings(index.column(), index.row() + count, count));
}

QList<SceneChange> SceneModel::cutPath(const QModelIndex &index, const QPainterPath &path)
{
    if (!d->m_scene)
        return {};
    return reversed(d->m_scene->cutPath(index.column(), index.row() + 1, path));
}

bool SceneModel::addStroke(const QModelIndex &index, std::unique_ptr<Stroke> stroke)
{
    if (!d->m_scene)
        return false;
    return d->m_scene->addStroke(index.column(), index.row() + 1, std::move(stroke));
}

std::unique_ptr<Stroke> SceneModel::removeStroke(const QModelIndex &index, const QImage &before, QPoint at)
{
    if (!d->m_scene)
        return nullptr;
    return d->m_scene->removeStroke(index.column(), index.row() + 1, before, at);
}

QList<SceneChange> SceneModel::setDrawing(const QModelIndex &index, std::shared_ptr<Drawing> drawing,
                                          bool detachDistantClones, bool quiet)
{
    if (!d->m_scene)
        return {};
    return reversed(
        d->m_scene->setDrawing(index.column(), index.row() + 1, std::move(drawing), detachDistantClones, quiet));
}

QList<SceneChange> SceneModel::makeClone(const QModelIndex &index, const Scene::DrawingKey &key, bool quiet)
{
    if (!d->m_scene)
        return {};
    return reversed(d->m_scene->makeClone(index.column(), index.row() + 1, key, quiet));
}

QList<SceneChange> SceneModel::makeHold(const QModelIndex &index, bool quiet)
{
    if (!d->m_scene)
        return {};
    return reversed(d->m_scene->makeHold(index.column(), index.row() + 1, quiet));
}

QList<SceneChange> SceneModel::makeOriginal(const QModelIndex &index, const QUuid &copyId)
{
    if (!d->m_scene)
        return {};
    return reversed(d->m_scene->makeOriginal(index.column(), index.row() + 1, copyId));
}

void SceneModel::applyChanges(const QList<SceneChange> &changes)
{
    if (!d->m_scene)
        return;
    d->m_scene->applyChanges(reversed(changes));
}

std::shared_ptr<LayerItem> SceneModel::itemAt(const QModelIndex &index) const
{
    if (!d->m_scene)
        return nullptr;
    return d->m_scene->itemAt(index.column(), index.row() + 1);
}

Scene::DrawingKey SceneModel::drawingKey(const QModelIndex &index) const
{
    if (!d->m_scene || !headerData(index.column(), Qt::Horizontal, VisualLayerRole).toBool())
        return {};
    const std::shared_ptr<Layer> layer = d->m_scene->layerAt(index.column());
    const std::shared_ptr<LayerItem> item = d->m_scene->itemAt(index.column(), index.row() + 1);
    if (!layer || !item)
        return {};
    return {layer->identifier(), item->identifier()};
}

Scene::DrawingKey SceneModel::originalDrawingKey(const QModelIndex &index) const
{
    if (!d->m_scene || !d->m_scene->isVisualLayer(index.column()))
        return {};
    return d->m_scene->originalKeyAt(index.column(), index.row() + 1);
}

Scene::DrawingKey SceneModel::findDrawingKey(const QUuid &copyId) const
{
    Scene::DrawingKey key;
    if (d->m_scene && !d->m_scene->findOriginalByCopyId(copyId, &key))
        return {};
    return key;
}

QModelIndex SceneModel::indexOfDrawing(const Scene::DrawingKey &key) const
{
    if (!d->m_scene)
        return QModelIndex();
    int layer = -1;
    int frame = -1;
    if (!d->m_scene->findDrawing(key, &layer, &frame))
        return QModelIndex();
    return index(frame - 1, layer);
}

bool SceneModel::copyToClipboard(const QModelIndexList &indexes) const
{
    if (!d->m_scene || indexes.isEmpty())
        return false;
    QModelIndexList sorted = indexes;
    std::sort(sorted.begin(), sorted.end(), [](const QModelIndex &a, const QModelIndex &b) {
        return a.row() != b.row() ? a.row() < b.row() : a.column() < b.column();
    });
    const QModelIndex &first = sorted.constFirst();
    QMimeData *mime = d->m_scene->copy(first.column(), first.row() + 1, int(sorted.size()));
    if (!mime)
        return false;
    QGuiApplication::clipboard()->setMimeData(mime);
    return true;
}

bool SceneModel::copyToClipboard(const QModelIndex &index) const
{
    return copyToClipboard(QModelIndexList{index});
}

} // namespace Model
