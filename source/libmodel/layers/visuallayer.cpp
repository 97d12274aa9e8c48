#include "layers/visuallayer.h"

#include "drawings/drawing.h"
#include "layers/layeritem.h"
#include "scene/scene.h"

#include <QVariant>

#include <algorithm>
#include <cmath>
#include <utility>

namespace Model {

class VisualLayerPrivate
{
public:
    QList<std::shared_ptr<LayerItem>> m_cells;
    QSize m_frameSize;
    bool m_visible = true;
    double m_opacity = 1.0;
    // Distant clones put back while the scene applied a change list and
    // found no original: it may be a cell of a linked layer that a later
    // record of the list puts back.
    QList<std::weak_ptr<LayerItem>> m_awaitingOriginal;
};

namespace {

// The translation (dx, dy) that keeps an off-pegs offset at the same place
// relative to the picture once the frame is resized the way mode resizes it.
QPointF offPegsShift(const QTransform &transform, QSize oldSize, QSize newSize, KL::FitMode mode)
{
    QSizeF scaled;
    switch (mode) {
    case KL::FitMode::FitModeStretch:
        scaled = newSize;
        break;
    case KL::FitMode::FitModeKeepAspect:
        scaled = QSizeF(oldSize).scaled(newSize, Qt::KeepAspectRatio);
        break;
    case KL::FitMode::FitModeKeepAspectByExpanding:
        scaled = QSizeF(oldSize).scaled(newSize, Qt::KeepAspectRatioByExpanding);
        break;
    default:
        return {};
    }
    const double tx = transform.dx();
    const double ty = transform.dy();
    // A frame without pixels has no proportions to keep.
    const double dx = oldSize.width() > 0 ? tx * (scaled.width() / oldSize.width()) - tx : 0.0;
    const double dy = oldSize.height() > 0 ? ty * (scaled.height() / oldSize.height()) - ty : 0.0;
    return {dx, dy};
}

} // namespace

VisualLayer::VisualLayer(const QSize &frameSize, QObject *parent)
    : Layer(parent)
    , d(std::make_unique<VisualLayerPrivate>())
{
    d->m_frameSize = frameSize;
}

VisualLayer::VisualLayer(const VisualLayer &other)
    : Layer(other)
    , d(std::make_unique<VisualLayerPrivate>())
{
    d->m_frameSize = other.d->m_frameSize;
    d->m_visible = other.d->m_visible;
    d->m_opacity = other.d->m_opacity;
}

VisualLayer::~VisualLayer() = default;

bool VisualLayer::isVisible() const
{
    return d->m_visible;
}

double VisualLayer::opacity() const
{
    return d->m_opacity;
}

QSize VisualLayer::frameSize() const
{
    return d->m_frameSize;
}

const QList<std::shared_ptr<LayerItem>> &VisualLayer::cells() const
{
    return d->m_cells;
}

std::shared_ptr<LayerItem> VisualLayer::cell(int frame) const
{
    return hasFrame(frame) ? d->m_cells.at(frame - 1) : nullptr;
}

int VisualLayer::frameCount() const
{
    return int(d->m_cells.size());
}

bool VisualLayer::hasFrame(int frame) const
{
    return frame >= 1 && frame <= frameCount();
}

void VisualLayer::insertFrame(int n)
{
    if (n < 0 || n > frameCount())
        return;
    auto blank = newCell();
    if (!blank)
        return;
    d->m_cells.insert(n, std::move(blank));
    relinkFollowingClones(n + 1);
}

void VisualLayer::extendFrame(int n)
{
    if (n == 0) {
        insertFrame(0);
        return;
    }
    if (!hasFrame(n))
        return;
    d->m_cells.insert(n, std::make_shared<LayerItem>(d->m_cells.at(n - 1)));
}

QList<LayerChange> VisualLayer::removeFrame(int frame)
{
    if (!hasFrame(frame))
        return {};

    const auto c = d->m_cells.at(frame - 1);
    QList<LayerChange> steps;

    switch (c->kind()) {
    case LayerItem::CloneKind:
        d->m_cells.removeAt(frame - 1);
        steps.append(LayerChange(LayerChange::InsertItem, frame, c));
        break;

    case LayerItem::OriginalKind:
    case LayerItem::DistantCloneKind: {
        // A held first frame keeps its drawing: the hold becomes one frame
        // shorter, and the first cell takes the second cell's placement.
        if (frame == 1 && frameCount() >= 2 && d->m_cells.at(1)->kind() == LayerItem::CloneKind) {
            steps.append(LayerChange(1, c->offPegsTransform()));
            c->setOffPegsTransform(d->m_cells.at(1)->offPegsTransform());
            steps.append(LayerChange(LayerChange::InsertItem, 2, d->m_cells.takeAt(1)));
            break;
        }

        // The last cell is replaced rather than removed, so that the layer
        // keeps a frame; its blank is made before anything changes.
        const bool onlyCell = frameCount() == 1;
        auto blank = onlyCell ? newCell() : nullptr;
        if (onlyCell && !blank)
            return {};

        if (c->kind() == LayerItem::DistantCloneKind) {
            if (const auto original = findInScene({c->originalLayer(), c->originalItem()})) {
                auto keys = original->distantClones();
                keys.removeAll(LayerItem::Key(identifier(), c->identifier()));
                original->setDistantClones(keys);
            }
        } else if (!c->distantClones().isEmpty()) {
            // The first distant clone takes over as the original of the rest.
            // c keeps its own list, in that order, so that putting it back
            // can undo this.
            const auto *scene = qobject_cast<const Scene *>(parent());
            const QList<LayerItem::Key> keys = scene ? scene->inSceneOrder(c->distantClones()) : c->distantClones();
            c->setDistantClones(keys);
            const LayerItem::Key heirKey = keys.first();
            if (const auto heir = findInScene(heirKey)) {
                heir->setDistantClones(keys.mid(1));
                heir->setOriginal({});
                heir->setKind(LayerItem::OriginalKind);
                for (const auto &key : keys.mid(1)) {
                    if (const auto other = findInScene(key))
                        other->setOriginal(heirKey);
                }
            }
        }

        if (onlyCell) {
            d->m_cells.removeAt(0);
            steps.append(LayerChange(LayerChange::PutItemBack, 1, c));
            d->m_cells.append(std::move(blank));
            break;
        }

        d->m_cells.removeAt(frame - 1);
        steps.append(LayerChange(LayerChange::InsertItem, frame, c));
        if (frame >= 2)
            relinkFollowingClones(frame - 1);
        break;
    }

    default:
        break;
    }

    std::reverse(steps.begin(), steps.end());
    return steps;
}

QString VisualLayer::frameLabel(int frame) const
{
    if (isFrameAfterLast(frame))
        return {};
    if (!hasFrame(frame))
        return tr("Invalid frame");
    const auto &item = d->m_cells.at(frame - 1);
    if (!item->drawing())
        return {};
    const QString name = item->drawing()->name();
    if (!name.isEmpty())
        return name;

    QString label = QString::number(frame);
    if (item->kind() == LayerItem::CloneKind) {
        int held = frame;
        while (held >= 1 && isClone(held))
            --held;
        const int h = holdCount(held);
        if (h > 0)
            label += tr(" (%1 held for %2)").arg(held).arg(h + 1);
    } else {
        const int h = holdCount(frame);
        if (h > 0)
            label += tr(" (Held for %1)").arg(h + 1);
    }
    return label;
}

void VisualLayer::setFrameSize(const QSize &size, KL::FitMode mode, QObject *progress)
{
    if (size == d->m_frameSize)
        return;
    for (const auto &item : std::as_const(d->m_cells)) {
        // Clones share their original's drawing: resized once, through it.
        if (item->kind() == LayerItem::OriginalKind && item->drawing())
            item->drawing()->changeFrameSize(size, mode);
        const QTransform transform = item->offPegsTransform();
        if (!transform.isIdentity()) {
            const QPointF shift = offPegsShift(transform, d->m_frameSize, size, mode);
            item->setOffPegsTransform(transform * QTransform::fromTranslate(shift.x(), shift.y()));
        }
        if (progress)
            progress->setProperty("value", progress->property("value").toInt() + 1);
    }
    d->m_frameSize = size;
}

bool VisualLayer::isOriginal(int frame) const
{
    return hasFrame(frame) && d->m_cells.at(frame - 1)->kind() == LayerItem::OriginalKind;
}

bool VisualLayer::isClone(int frame) const
{
    return hasFrame(frame) && d->m_cells.at(frame - 1)->kind() == LayerItem::CloneKind;
}

bool VisualLayer::isDistantClone(int frame) const
{
    return hasFrame(frame) && d->m_cells.at(frame - 1)->kind() == LayerItem::DistantCloneKind;
}

bool VisualLayer::isKeyDrawing(int frame) const
{
    return hasFrame(frame) && d->m_cells.at(frame - 1)->isKeyDrawing();
}

bool VisualLayer::setKeyDrawing(int frame, bool keyDrawing)
{
    if (!hasFrame(frame) || d->m_cells.at(frame - 1)->isKeyDrawing() == keyDrawing)
        return false;
    d->m_cells.at(frame - 1)->setKeyDrawing(keyDrawing);
    return true;
}

QTransform VisualLayer::offPegsTransform(int frame) const
{
    return hasFrame(frame) ? d->m_cells.at(frame - 1)->offPegsTransform() : QTransform();
}

bool VisualLayer::setOffPegsTransform(int frame, const QTransform &transform)
{
    if (!hasFrame(frame) || d->m_cells.at(frame - 1)->offPegsTransform() == transform)
        return false;
    d->m_cells.at(frame - 1)->setOffPegsTransform(transform);
    return true;
}

bool VisualLayer::isFrameAfterLast(int frame) const
{
    return frame == frameCount() + 1;
}

int VisualLayer::drawingTypeAt(int frame) const
{
    const int count = frameCount();
    if (frame < 1 || count == 0)
        return NoDrawing;
    if (frame > count) {
        switch (layerBeyondLast()) {
        case FreezeLastDrawing:
            return LayerItem::CloneKind;
        case CycleDrawings:
            if (count == 1)
                return LayerItem::CloneKind;
            frame = (frame - 1) % count + 1;
            break;
        default:
            return NoDrawing;
        }
    }
    return d->m_cells.at(frame - 1)->kind();
}

int VisualLayer::holdCount(int frame) const
{
    const int count = frameCount();
    if (frame < 1 || count == 0)
        return 0;
    if (layerBeyondLast() == CycleDrawings && frame > count) {
        // Every repeat of a cycling single cell is a frame of its own.
        if (count == 1)
            return 0;
        frame = (frame - 1) % count + 1;
    }
    int holds = 0;
    for (int i = frame; i < count && d->m_cells.at(i)->kind() == LayerItem::CloneKind; ++i)
        ++holds;
    return holds;
}

std::shared_ptr<LayerItem> VisualLayer::shownCell(int frame) const
{
    const int count = frameCount();
    if (frame < 1 || count == 0)
        return nullptr;
    if (frame <= count)
        return d->m_cells.at(frame - 1);
    switch (layerBeyondLast()) {
    case FreezeLastDrawing:
        return d->m_cells.last();
    case CycleDrawings:
        return d->m_cells.at((frame - 1) % count);
    default:
        return nullptr;
    }
}

std::shared_ptr<LayerItem> VisualLayer::takeCell(int index)
{
    if (index < 0 || index >= frameCount())
        return nullptr;
    return d->m_cells.takeAt(index);
}

bool VisualLayer::insertCell(int index, std::shared_ptr<LayerItem> item)
{
    if (!item || index < 0 || index > frameCount())
        return false;
    d->m_cells.insert(index, std::move(item));
    return true;
}

bool VisualLayer::setCell(int index, std::shared_ptr<LayerItem> item)
{
    if (!item || index < 0 || index >= frameCount())
        return false;
    if (d->m_cells.at(index) == item)
        return false;
    d->m_cells[index] = std::move(item);
    return true;
}

QList<int> VisualLayer::relinkFollowingClones(int frame)
{
    if (!hasFrame(frame))
        return {};
    const auto drawing = d->m_cells.at(frame - 1)->drawing();
    QList<int> frames;
    for (int i = frame; i < frameCount() && d->m_cells.at(i)->kind() == LayerItem::CloneKind; ++i) {
        d->m_cells.at(i)->setDrawing(drawing);
        frames.append(i + 1);
    }
    return frames;
}

void VisualLayer::setVisible(bool visible)
{
    if (d->m_visible == visible)
        return;
    d->m_visible = visible;
    Q_EMIT visibleChanged(visible);
}

void VisualLayer::setOpacity(double opacity)
{
    if (std::isnan(opacity))
        return;
    d->m_opacity = std::clamp(opacity, 0.0, 1.0);
}

void VisualLayer::copyCellsFrom(const VisualLayer &source)
{
    const QUuid from = source.identifier();
    const QUuid to = identifier();
    for (const auto &item : source.cells()) {
        switch (item->kind()) {
        case LayerItem::CloneKind:
            d->m_cells.append(std::make_shared<LayerItem>(d->m_cells.isEmpty() ? nullptr : d->m_cells.last()));
            break;
        case LayerItem::OriginalKind:
        case LayerItem::DistantCloneKind: {
            auto copy = std::make_shared<LayerItem>(QImage());
            copy->setKind(item->kind());
            copy->setIdentifier(item->identifier());
            copy->setDrawing(item->drawing() ? std::shared_ptr<Drawing>(item->drawing()->clone()) : nullptr);
            QList<LayerItem::Key> keys;
            if (item->kind() == LayerItem::OriginalKind) {
                // Distant clones in other layers stay with the source.
                for (const auto &key : item->distantClones()) {
                    if (key.first == from)
                        keys.append({to, key.second});
                }
            } else {
                keys = item->distantClones();
            }
            copy->setDistantClones(keys);
            copy->setOriginal({item->originalLayer() == from && item->kind() == LayerItem::DistantCloneKind
                                   ? to
                                   : item->originalLayer(),
                               item->originalItem()});
            d->m_cells.append(std::move(copy));
            break;
        }
        default:
            break;
        }
    }
}

namespace {

// The original that lists key among its distant clones; null when none does.
std::shared_ptr<LayerItem> originalListing(const Scene *scene, const LayerItem::Key &key, LayerItem::Key *ownerKey)
{
    for (int layer = 0; scene && layer < scene->layerCount(); ++layer) {
        const auto visual = std::dynamic_pointer_cast<VisualLayer>(scene->layerAt(layer));
        if (!visual)
            continue;
        for (const auto &cell : visual->cells()) {
            if (cell && cell->kind() == LayerItem::OriginalKind && cell->distantClones().contains(key)) {
                *ownerKey = {visual->identifier(), cell->identifier()};
                return cell;
            }
        }
    }
    return nullptr;
}

} // namespace

void VisualLayer::rejoinOriginal(LayerItem &item, const LayerItem::Key &ownKey) const
{
    // A distant clone that took over as original when its original was
    // removed, and was removed after it (the frames of linked layers go
    // together), comes back after the original did: the original lists it
    // again, and it is that original's distant clone again.
    if (item.kind() != LayerItem::OriginalKind)
        return;
    LayerItem::Key ownerKey;
    if (const auto owner = originalListing(qobject_cast<const Scene *>(parent()), ownKey, &ownerKey)) {
        item.setKind(LayerItem::DistantCloneKind);
        item.setDistantClones({});
        item.setOriginal(ownerKey);
        item.setDrawing(owner->drawing());
    }
}

std::shared_ptr<LayerItem> VisualLayer::findInScene(const LayerItem::Key &key, int *layer, int *frame) const
{
    const auto *scene = qobject_cast<const Scene *>(parent());
    return scene ? scene->findDrawing(key, layer, frame) : nullptr;
}

QList<std::pair<int, int>> VisualLayer::applyChange(const LayerChange &change, int layer)
{
    const int frame = change.index();
    const auto item = change.item();
    const LayerItem::Key ownKey(identifier(), item ? item->identifier() : QUuid());
    QList<std::pair<int, int>> changed{{frame, layer}};

    switch (change.kind()) {
    case LayerChange::InsertItem: {
        if (!insertCell(frame - 1, item))
            return changed;
        rejoinOriginal(*item, ownKey);
        // Putting back a removed original with distant clones: the one that
        // took over as original becomes a distant clone again, and all of
        // them look to the restored cell.
        const QList<LayerItem::Key> keys = item->distantClones();
        if (item->kind() == LayerItem::OriginalKind && !keys.isEmpty()) {
            if (const auto heir = findInScene(keys.first())) {
                heir->setKind(LayerItem::DistantCloneKind);
                heir->setDistantClones({});
            }
            for (const auto &key : keys) {
                int otherLayer = -1;
                int otherFrame = -1;
                if (const auto other = findInScene(key, &otherLayer, &otherFrame)) {
                    other->setOriginal(ownKey);
                    changed.append({otherFrame, otherLayer});
                }
            }
        }
        break;
    }
    case LayerChange::PutItemBack: {
        const auto current = cell(frame);
        if (!current || !item)
            return changed;
        if (current->kind() == LayerItem::OriginalKind) {
            // Distant clones made of the replaced cell since stay with the
            // drawing in its place.
            auto keys = item->distantClones();
            for (const auto &key : current->distantClones()) {
                if (findInScene(key) && !keys.contains(key))
                    keys.append(key);
            }
            item->setDistantClones(keys);
        } else if (current->kind() == LayerItem::DistantCloneKind) {
            if (const auto original = findInScene({current->originalLayer(), current->originalItem()})) {
                auto keys = original->distantClones();
                keys.removeAll(LayerItem::Key(identifier(), current->identifier()));
                original->setDistantClones(keys);
            }
        } else if (current->kind() == LayerItem::CloneKind) {
            changed.append({frame - 1, layer});
        }
        setCell(frame - 1, item);
        rejoinOriginal(*item, ownKey);
        break;
    }
    case LayerChange::PutTransformBack:
        if (!hasFrame(frame))
            return changed;
        d->m_cells.at(frame - 1)->setOffPegsTransform(change.transform());
        break;
    default:
        return Layer::applyChange(change, layer);
    }

    repairLinks(frame, layer, changed);
    return changed;
}

void VisualLayer::repairLinks(int frame, int layer, QList<std::pair<int, int>> &changed)
{
    const auto item = cell(frame);
    if (!item)
        return;
    const LayerItem::Key ownKey(identifier(), item->identifier());
    const auto *scene = qobject_cast<const Scene *>(parent());

    if (item->kind() == LayerItem::CloneKind && frame >= 2) {
        item->setDrawing(d->m_cells.at(frame - 2)->drawing());
    } else if (item->kind() == LayerItem::DistantCloneKind) {
        LayerItem::Key originalKey(item->originalLayer(), item->originalItem());
        auto original = findInScene(originalKey);
        // The original it names may be a distant clone again: one that stood
        // in for a removed original, which came back before this cell did
        // (cells of linked layers come back one layer after the other). The
        // original that stands now is the one it shows.
        for (int step = 0; original && original->kind() == LayerItem::DistantCloneKind && step < 16; ++step) {
            originalKey = {original->originalLayer(), original->originalItem()};
            original = findInScene(originalKey);
        }
        if (original && original->kind() == LayerItem::DistantCloneKind)
            original = nullptr;
        if (original) {
            item->setOriginal(originalKey);
            auto keys = original->distantClones();
            if (!keys.contains(ownKey)) {
                keys.append(ownKey);
                original->setDistantClones(keys);
            }
            item->setDrawing(original->drawing());
        } else if (scene && scene->isApplyingChanges()) {
            d->m_awaitingOriginal.append(item);
        } else {
            // Its original is gone: it keeps its place with a blank drawing
            // of its own.
            const auto blank = newCell();
            item->setKind(LayerItem::OriginalKind);
            item->setDrawing(blank ? blank->drawing() : nullptr);
            item->setOriginal({});
        }
    }

    for (const auto &key : item->distantClones()) {
        int otherLayer = -1;
        int otherFrame = -1;
        const auto other = findInScene(key, &otherLayer, &otherFrame);
        if (!other)
            continue;
        other->setKind(LayerItem::DistantCloneKind);
        other->setDrawing(item->drawing());
        other->setDistantClones({});
        other->setOriginal(ownKey);
        changed.append({otherFrame, otherLayer});
        const auto visual = scene ? std::dynamic_pointer_cast<VisualLayer>(scene->layerAt(otherLayer)) : nullptr;
        if (visual) {
            for (int holdFrame : visual->relinkFollowingClones(otherFrame))
                changed.append({holdFrame, otherLayer});
        }
    }

    for (int holdFrame : relinkFollowingClones(frame))
        changed.append({holdFrame, layer});
}

QList<std::pair<int, int>> VisualLayer::settleAwaitingDistantClones(int layer)
{
    QList<std::pair<int, int>> changed;
    const QList<std::weak_ptr<LayerItem>> awaiting = std::exchange(d->m_awaitingOriginal, {});
    for (const auto &weak : awaiting) {
        const auto item = weak.lock();
        const int index = item ? int(d->m_cells.indexOf(item)) : -1;
        if (index >= 0 && item->kind() == LayerItem::DistantCloneKind)
            repairLinks(index + 1, layer, changed);
    }
    return changed;
}

} // namespace Model
