#include "scene/framerangemodel.h"

#include "scene/scene.h"
#include "scene/scenelayercolumns_p.h"
#include "scene/scenemodel.h"

#include <QList>

#include <algorithm>

namespace Model {

class FrameRangeModelPrivate
{
public:
    explicit FrameRangeModelPrivate(FrameRangeModel *model)
        : q(model)
    {
    }

    int first() const { return m_scene ? m_scene->frameRangeFirst() : 0; }
    int anchorRow() const { return m_anchor.row(); }
    int anchorColumn() const { return m_anchor.column(); }
    bool isVisual(int column) const { return m_scene && m_scene->isVisualLayer(column); }

    // During an add-clones drag: the anchor's column and every column linked
    // together with it.
    bool isDragged(int column) const
    {
        if (m_dragMode != FrameRangeModel::AddClonesDrag || !m_scene)
            return false;
        const int anchor = anchorColumn();
        return column == anchor || (m_scene->isLayerLinked(anchor) && m_scene->isLayerLinked(column));
    }

    int previewedFrameCount(int column) const
    {
        int count = m_scene->layerFrameCount(column);
        if (m_dragMode != FrameRangeModel::AddClonesDrag)
            return count;
        if (isDragged(column)) {
            if (count >= anchorRow() + first())
                count += m_dragDistance;
        } else if (!isVisual(column)) {
            count = std::min(count, q->maximumFrameNumber());
        }
        return count;
    }

    bool isClone(int layer, int frame) const { return m_scene->isCloneDrawing(layer, frame); }

    // The proxy row each row of the anchor's column shows during a slide;
    // see the class comment of the scene's slide for which holds move.
    void rebuildSlideRows()
    {
        const int count = m_scene->layerFrameCount(anchorColumn()) - first() + 1;
        m_slideRows.resize(std::max(0, count));
        for (int row = 0; row < m_slideRows.size(); ++row)
            m_slideRows[row] = row;
        if (m_dragMode != FrameRangeModel::SlideDrag)
            return;

        const int a = anchorRow();
        const int layer = anchorColumn();
        const int lo = m_minDragDistanceReached;
        const int hi = m_maxDragDistanceReached;
        const int d = m_dragDistance;
        const QList<int> identity = m_slideRows;

        // Above: the -lo clones nearest above the anchor make way.
        int toRemove = -lo;
        int target = a + lo - 1;
        for (int row = a - 1; row >= 0 && target >= 0; --row) {
            if (toRemove > 0 && isClone(layer, row + first())) {
                --toRemove;
                continue;
            }
            m_slideRows[target--] = identity.at(row);
        }
        for (int row = std::max(0, a + lo); row < a + d && row < m_slideRows.size(); ++row)
            m_slideRows[row] = a - 1;
        for (int row = std::max(0, a + d); row <= a + hi && row < m_slideRows.size(); ++row)
            m_slideRows[row] = a;
        // Below: the hi clones nearest below the anchor make way.
        toRemove = hi;
        target = a + hi + 1;
        for (int row = a + 1; row < identity.size() && target < m_slideRows.size(); ++row) {
            if (toRemove > 0 && isClone(layer, row + first())) {
                --toRemove;
                continue;
            }
            m_slideRows[target++] = identity.at(row);
        }
    }

    // Rows that a drag turns into holds of the drawing before them.
    bool isPreviewedClone(int row, int column) const
    {
        const int a = anchorRow();
        const int d = m_dragDistance;
        if (m_dragMode == FrameRangeModel::SlideDrag && column == anchorColumn()) {
            return (a + m_minDragDistanceReached <= row && row < a + d)
                || (a + d < row && row <= a + m_maxDragDistanceReached);
        }
        if (m_dragMode == FrameRangeModel::AddClonesDrag && d >= 1 && isDragged(column) && isVisual(column))
            return a < row && row <= a + d;
        return false;
    }

    // Whether a proxy row for a source cell may be shown.
    bool accepts(int row, int column) const
    {
        return row >= 0 && column >= 0 && column < m_scene->layerCount()
            && first() + row <= m_scene->frameRangeLast() + 1
            && first() + row <= m_scene->layerFrameCount(column) + 1;
    }

    FrameRangeModel *q;
    Scene *m_scene = nullptr;
    int m_dragMode = FrameRangeModel::NoDrag;
    QModelIndex m_anchor;
    int m_dragDistance = 0;
    int m_minDragDistance = 0;
    // Read only during a slide, which sets them when it starts.
    int m_maxDragDistance = 0;
    int m_minDragDistanceReached = 0;
    int m_maxDragDistanceReached = 0;
    QList<int> m_slideRows;
};

FrameRangeModel::FrameRangeModel(QObject *parent)
    : QAbstractProxyModel(parent)
    , d(std::make_unique<FrameRangeModelPrivate>(this))
{
}

FrameRangeModel::~FrameRangeModel() = default;

QModelIndex FrameRangeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || !d->m_scene || row < 0 || column < 0 || column >= d->m_scene->layerCount())
        return QModelIndex();
    if (d->isVisual(column)) {
        const QModelIndex candidate = createIndex(row, column);
        return mapToSource(candidate).isValid() ? candidate : QModelIndex();
    }
    return row < rowCount() - 1 ? createIndex(row, column) : QModelIndex();
}

QModelIndex FrameRangeModel::parent(const QModelIndex &child) const
{
    Q_UNUSED(child);
    return QModelIndex();
}

int FrameRangeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !d->m_scene)
        return 0;
    return lastFrame() - d->first() + 2;
}

int FrameRangeModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !d->m_scene)
        return 0;
    return d->m_scene->layerCount();
}

bool FrameRangeModel::hasChildren(const QModelIndex &parent) const
{
    // The base asks the source about the mapped parent, and a cell without
    // a source cell would stand for the source's root.
    return !parent.isValid() && rowCount() > 0 && columnCount() > 0;
}

QVariant FrameRangeModel::data(const QModelIndex &index, int role) const
{
    if (index.isValid() && d->m_scene && d->isPreviewedClone(index.row(), index.column())) {
        switch (role) {
        case SceneModel::CloneRole:
            return true;
        case SceneModel::KeyDrawingRole:
        case SceneModel::DistantCloneRole:
            return false;
        default:
            break;
        }
    }
    return QAbstractProxyModel::data(index, role);
}

QVariant FrameRangeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    QAbstractItemModel *source = sourceModel();
    if (!source)
        return QVariant();
    if (orientation == Qt::Vertical) {
        if (d->m_dragMode != NoDrag && role == SceneModel::BacklightFrameRole)
            return QVariant();
        return source->headerData(section + d->first() - 1, orientation, role);
    }

    const QVariant value = source->headerData(section, orientation, role);
    if (role != SceneModel::FrameCountRole || d->m_dragMode != AddClonesDrag || !d->m_scene)
        return value;
    int count = value.toInt();
    if (d->isDragged(section) && count >= d->anchorRow() + d->first())
        count += d->m_dragDistance;
    if (!d->isVisual(section))
        count = std::min(count, maximumFrameNumber());
    return count;
}

bool FrameRangeModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    QAbstractItemModel *source = sourceModel();
    if (!source)
        return false;
    if (orientation == Qt::Vertical)
        section += d->first() - 1;
    return source->setHeaderData(section, orientation, value, role);
}

void FrameRangeModel::setSourceModel(QAbstractItemModel *model)
{
    if (model == sourceModel())
        return;

    beginResetModel();
    if (sourceModel())
        disconnect(sourceModel(), nullptr, this, nullptr);
    QAbstractProxyModel::setSourceModel(model);
    if (model) {
        connect(model, &QAbstractItemModel::headerDataChanged, this,
                [this](Qt::Orientation orientation, int from, int to) {
                    if (orientation == Qt::Horizontal) {
                        Q_EMIT headerDataChanged(orientation, from, to);
                        return;
                    }
                    const int shiftedFrom = from - d->first() + 1;
                    const int shiftedTo = to - d->first() + 1;
                    const int lastRow = rowCount() - 1;
                    if (shiftedTo < 0 || shiftedFrom > lastRow - 1)
                        return;
                    Q_EMIT headerDataChanged(orientation, std::max(0, shiftedFrom), std::min(shiftedTo, lastRow));
                });
        connect(model, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles) {
                    // Cells outside the range have nothing to refresh here.
                    const QModelIndex from = mapFromSource(topLeft);
                    const QModelIndex to = mapFromSource(bottomRight);
                    if (from.isValid() && to.isValid())
                        Q_EMIT dataChanged(from, to, roles);
                });
    }
    endResetModel();
}

QModelIndex FrameRangeModel::mapToSource(const QModelIndex &proxyIndex) const
{
    QAbstractItemModel *source = sourceModel();
    if (!proxyIndex.isValid() || proxyIndex.model() != this || !d->m_scene || !source)
        return QModelIndex();

    const int r = proxyIndex.row();
    const int c = proxyIndex.column();
    const int first = d->first();
    const int s = r + first - 1;
    const int a = d->anchorRow();
    const int distance = d->m_dragDistance;

    if (d->m_dragMode == SlideDrag && c == d->anchorColumn() && r >= 0 && r < d->m_slideRows.size())
        return source->index(d->m_slideRows.at(r) + first - 1, c);

    // A drag's preview walks every layer for it: once per cell is enough.
    const int last = lastFrame();
    if (d->isDragged(c)) {
        const int count = d->previewedFrameCount(c);
        if (distance >= 1 && r > a && s < last && s < count)
            return source->index(std::max(r - distance, a) + first - 1, c);
        if (distance < 0 && r > a + distance && s < last && s < count)
            return source->index(s - distance, c);
    }

    if (!d->isVisual(c))
        return source->index(s, c);

    const int shown = std::min(d->previewedFrameCount(c), last);
    if (s < shown)
        return source->index(s, c);
    if (s == shown)
        return source->index(d->m_scene->layerFrameCount(c), c);
    return QModelIndex();
}

QModelIndex FrameRangeModel::mapFromSource(const QModelIndex &sourceIndex) const
{
    if (!sourceIndex.isValid() || sourceIndex.model() != sourceModel() || !d->m_scene)
        return QModelIndex();

    const int sourceRow = sourceIndex.row();
    const int c = sourceIndex.column();
    const int q = sourceRow - d->first() + 1;
    const int a = d->anchorRow();
    const int distance = d->m_dragDistance;

    int row = q;
    if (d->m_dragMode == SlideDrag && c == d->anchorColumn()) {
        row = int(d->m_slideRows.indexOf(q));
        if (row < 0)
            return QModelIndex();
    } else if (d->isDragged(c) && distance > 0 && q > a) {
        return createIndex(q + distance, c);
    } else if (d->isDragged(c) && distance < 0 && q > a) {
        row = q + distance;
    } else if (d->isDragged(c) && distance < 0 && a + distance < q && q <= a) {
        // A clone that the drag takes away.
        return QModelIndex();
    } else if (d->isVisual(c)) {
        const int count = d->previewedFrameCount(c);
        if (sourceRow > count)
            return QModelIndex();
        if (sourceRow == count && count >= lastFrame())
            row = rowCount() - 1;
    }
    return d->accepts(row, c) ? createIndex(row, c) : QModelIndex();
}

void FrameRangeModel::setScene(Scene *scene)
{
    if (scene == d->m_scene)
        return;

    beginResetModel();
    if (d->m_scene) {
        disconnect(d->m_scene, nullptr, this, nullptr);
        disconnect(this, nullptr, d->m_scene, nullptr);
    }
    d->m_scene = scene;
    if (scene)
        followSceneLayers(this, scene, &Scene::frameRangeChanged);
    endResetModel();
}

Scene *FrameRangeModel::scene() const { return d->m_scene; }

bool FrameRangeModel::startDrag(int kind, const QModelIndex &index)
{
    if (!index.isValid() || !d->m_scene || (kind != SlideDrag && kind != AddClonesDrag)
        || data(index, SceneModel::FrameAfterLastRole).toBool())
        return false;

    d->m_anchor = index;
    d->m_dragMode = NoDrag;
    d->m_dragDistance = 0;

    const int first = d->first();
    const int a = index.row();
    const int layer = index.column();
    const int frame = a + first;
    if (kind == SlideDrag) {
        if (frame == 1 || data(index, SceneModel::CloneRole).toBool())
            return false;
        d->rebuildSlideRows();
        int above = 0;
        for (int f = first; f < frame; ++f)
            above += d->isClone(layer, f) ? 1 : 0;
        int below = 0;
        const int end = std::min(d->m_scene->layerFrameCount(layer), lastFrame());
        for (int f = frame + 1; f <= end; ++f)
            below += d->isClone(layer, f) ? 1 : 0;
        d->m_minDragDistance = -above;
        d->m_maxDragDistance = below;
        d->m_minDragDistanceReached = 0;
        d->m_maxDragDistanceReached = 0;
    } else {
        const bool linked = d->m_scene->isLayerLinked(layer);
        int clones = 0;
        for (int f = frame; f >= 1; --f) {
            bool allClones = d->isClone(layer, f);
            for (int other = 0; allClones && linked && other < d->m_scene->layerCount(); ++other) {
                if (d->m_scene->isVisualLayer(other) && d->m_scene->isLayerLinked(other)
                    && f <= d->m_scene->layerFrameCount(other))
                    allClones = d->isClone(other, f);
            }
            if (!allClones)
                break;
            ++clones;
        }
        d->m_minDragDistance = -clones;
    }
    d->m_dragMode = kind;
    return true;
}

void FrameRangeModel::setDragDistance(int distance)
{
    if (d->m_dragMode == SlideDrag) {
        distance = std::clamp(distance, d->m_minDragDistance, d->m_maxDragDistance);
        if (distance == d->m_dragDistance)
            return;
        d->m_dragDistance = distance;
        d->m_minDragDistanceReached = std::min(d->m_minDragDistanceReached, distance);
        d->m_maxDragDistanceReached = std::max(d->m_maxDragDistanceReached, distance);
        d->rebuildSlideRows();
    } else if (d->m_dragMode == AddClonesDrag) {
        distance = std::max(distance, d->m_minDragDistance);
        if (distance == d->m_dragDistance)
            return;
        d->m_dragDistance = distance;
    } else {
        return;
    }
    Q_EMIT dragDistanceChanged(distance);
}

void FrameRangeModel::endDrag()
{
    d->m_dragMode = NoDrag;
    d->m_dragDistance = 0;
    d->m_slideRows.clear();
    Q_EMIT dragDistanceChanged(0);
}

int FrameRangeModel::dragDistance() const { return d->m_dragDistance; }
int FrameRangeModel::dragMode() const { return d->m_dragMode; }
int FrameRangeModel::minDragDistanceReached() const { return d->m_minDragDistanceReached; }
int FrameRangeModel::maxDragDistanceReached() const { return d->m_maxDragDistanceReached; }

QModelIndex FrameRangeModel::dragTargetIndex() const
{
    if (d->m_dragMode == NoDrag || !d->m_anchor.isValid())
        return QModelIndex();
    return index(d->anchorRow() + d->m_dragDistance, d->anchorColumn());
}

void FrameRangeModel::setAudioDragOffset(double frames)
{
    if (d->m_scene)
        d->m_scene->setAudioDragOffset(frames);
}

int FrameRangeModel::firstFrame() const { return d->first(); }

int FrameRangeModel::lastFrame() const
{
    if (!d->m_scene)
        return -1;
    const int last = d->m_scene->frameRangeLast();
    const int distance = d->m_dragDistance;
    if (d->m_dragMode != AddClonesDrag || distance == 0)
        return last;

    int result = distance > 0 ? last : last + distance;
    for (int layer = 0; layer < d->m_scene->layerCount(); ++layer) {
        const int count = d->m_scene->layerFrameCount(layer);
        if (distance > 0 && d->isDragged(layer))
            result = std::max(result, count >= last ? last + distance : last + std::max(0, distance - (last - count)));
        else if (distance < 0 && !d->isDragged(layer) && d->isVisual(layer))
            result = std::max(result, std::min(last, count));
    }
    return result;
}

int FrameRangeModel::maximumFrameNumber() const
{
    if (!d->m_scene)
        return 0;
    if (d->m_dragMode != AddClonesDrag)
        return d->m_scene->maximumFrameNumber();
    int maximum = 0;
    for (int layer = 0; layer < d->m_scene->layerCount(); ++layer) {
        if (d->isVisual(layer))
            maximum = std::max(maximum, d->previewedFrameCount(layer));
    }
    return maximum;
}

QSize FrameRangeModel::frameSize() const { return d->m_scene ? d->m_scene->frameSize() : QSize(); }

bool FrameRangeModel::hasAudio() const { return d->m_scene && d->m_scene->hasAudio(); }

bool FrameRangeModel::hasAudioAfterLastRow() const
{
    if (!d->m_scene || !d->m_scene->hasAudio())
        return false;
    const int last = lastFrame();
    return d->m_scene->effectiveAudioOffset() >= last || d->m_scene->hasAudioInFrames(last + 1, last + 1);
}

bool FrameRangeModel::audioStartsAfterLastRow() const
{
    return d->m_scene && d->m_scene->hasAudio() && d->m_scene->effectiveAudioOffset() > lastFrame();
}

bool FrameRangeModel::isOffPegsAt(int row, int *layerOut) const
{
    if (!d->m_scene)
        return false;
    int layer = -1;
    const int first = d->first();
    if (d->m_dragMode == AddClonesDrag) {
        const int anchorColumn = d->anchorColumn();
        // The anchor's column shows shifted cells; its own transform moves
        // with them, those of other layers stay on their frames.
        const QModelIndex shifted = mapToSource(createIndex(row, anchorColumn));
        if (shifted.isValid() && d->m_scene->isOffPegs(shifted.row() + 1, &layer) && layer == anchorColumn) {
            if (layerOut)
                *layerOut = anchorColumn;
            return true;
        }
        const bool offPegs = d->m_scene->isOffPegs(first + row, &layer);
        if (layerOut)
            *layerOut = layer;
        return offPegs && layer != anchorColumn;
    }
    return d->m_scene->isOffPegs(first + row, layerOut);
}

QImage FrameRangeModel::thumbnail(const QModelIndex &index, const QSize &size) const
{
    if (!d->m_scene)
        return QImage();
    const int row = index.row();
    const int a = d->anchorRow();
    if (d->isDragged(index.column()) && d->m_scene->isAnnotationLayer(index.column()) && d->m_dragDistance > 0
        && a < row && row <= a + d->m_dragDistance)
        return QImage();
    const QModelIndex source = mapToSource(index);
    if (!source.isValid())
        return QImage();
    return d->m_scene->layerImage(source.row() + 1, source.column(), size);
}

QModelIndexList FrameRangeModel::distantCloneIndexes(const QModelIndex &index) const
{
    QAbstractItemModel *model = sourceModel();
    const QModelIndex source = mapToSource(index);
    if (!d->m_scene || !model || !source.isValid())
        return {};
    QModelIndexList indexes;
    const QList<std::pair<int, int>> cells = d->m_scene->distantCloneCells(source.column(), source.row() + 1);
    for (const auto &[frame, layer] : cells)
        indexes.append(mapFromSource(model->index(frame - 1, layer)));
    return indexes;
}

} // namespace Model
