#include "drawingcontentcommands.h"

#include "commandconventions.h"
#include "drawingcellcommands.h"
#include "scenesettingscommands.h"
#include "drawings/drawing.h"
#include "drawings/strokedrawing.h"
#include "layers/layer.h"
#include "layers/layeritem.h"
#include "layers/visuallayer.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"
#include "settings/settings.h"
#include "strokes/rleimage.h"
#include "strokes/singlestroke.h"
#include "strokes/stroke.h"
#include "tools/toolmanager.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QGuiApplication>
#include <QMap>
#include <QPointer>
#include <QSet>
#include <QUuid>
#include <QVariant>

#include <cstring>
#include <utility>

namespace Commands {

namespace {

// Valid in the table model's sense: row and column not negative, a model.
bool isCell(const QModelIndex &cell)
{
    return cell.row() >= 0 && cell.column() >= 0 && cell.model();
}

std::shared_ptr<Model::Drawing> drawingAt(const Model::SceneModel *model, const QModelIndex &cell)
{
    const std::shared_ptr<Model::LayerItem> item = model ? model->itemAt(cell) : nullptr;
    return item ? item->drawing() : nullptr;
}

int layerTypeOf(const Model::KLScene *scene, const QModelIndex &cell)
{
    return scene->sceneModel()->headerData(cell.column(), Qt::Horizontal, Model::SceneModel::LayerTypeRole).toInt();
}

// The wait cursor for as long as it lives, where there is a cursor to show.
class WaitCursor
{
public:
    WaitCursor()
        : m_shown(qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr)
    {
        if (m_shown)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~WaitCursor()
    {
        if (m_shown)
            QGuiApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;

private:
    bool m_shown;
};

} // namespace

// Stroke

// A live stroke comes with the mask it was drawn into, as big as the frame.
// Kept as it is, 500 strokes of a history would hold a gigabyte; dropped, a
// later redo would have to render the stroke again, which differs from the
// mask at the edges of its turns. So the command keeps the mask coded and cut
// to the stroke's rectangle: a redo gives it back to its copy of the stroke,
// and composes the very pixels of the first. And it keeps, for each drawing,
// what the drawing showed where the stroke changed it (under the mask, or
// over the rectangle of a stroke without one), which undo puts back instead
// of rendering every stroke that the removed one touched: slow, and not to
// the pixel what masks gathered while drawing had shown.
class StrokePrivate
{
public:
    // A copy of the kept stroke for a drawing to take, with the mask of the
    // first redo.
    std::unique_ptr<Model::Stroke> copy() const
    {
        std::unique_ptr<Model::Stroke> copy = m_stroke->clone();
        auto *single = dynamic_cast<Model::SingleStroke *>(copy.get());
        if (single && single->image().isNull() && hasMask()) {
            QImage frame(m_frame, QImage::Format_Alpha8);
            if (!frame.isNull()) {
                frame.fill(0);
                const QImage part = m_mask.toImage();
                for (int y = 0; y < part.height(); ++y)
                    std::memcpy(frame.scanLine(m_maskArea.top() + y) + m_maskArea.left(), part.constScanLine(y),
                                size_t(part.width()));
                single->setImage(std::move(frame));
            }
        }
        return copy;
    }

    bool hasMask() const { return !m_maskArea.isEmpty(); }

    // On the first redo: the part of the live mask that a drawing composes.
    void keepMask()
    {
        const auto *single = dynamic_cast<const Model::SingleStroke *>(m_stroke.get());
        if (hasMask() || !single || single->image().isNull())
            return;
        const QImage &mask = single->image();
        QRect area = single->boundingRect();
        if (area.isNull())
            area = mask.rect();
        area &= mask.rect();
        if (area.isEmpty())
            return;
        m_mask = Model::RleImage(mask.copy(area));
        m_maskArea = area;
        m_frame = mask.size();
    }

    // What a drawing showed where the stroke changes it, for undo to put back.
    struct Underneath
    {
        QRect area;
        // Over a mask: what the drawing showed under it, 0 elsewhere.
        bool masked = false;
        Model::RleImage pixels;
    };

    // What the drawing shows where the stroke is about to change it: under
    // the mask when there is one, else over the stroke's rectangle. Empty
    // when there is nothing to put back (no image yet) or a frame of
    // another size; undo then renders instead.
    Underneath underneath(const Model::Drawing &drawing) const
    {
        const QImage image = imageOf(drawing);
        if (image.isNull())
            return {};
        if (!hasMask()) {
            const QRect area = m_stroke->boundingRect() & image.rect();
            if (area.isEmpty())
                return {};
            return {area, false, Model::RleImage(image.copy(area))};
        }
        if (image.size() != m_frame)
            return {};
        const QImage mask = m_mask.toImage();
        QImage under(m_maskArea.size(), QImage::Format_Alpha8);
        if (mask.isNull() || under.isNull())
            return {};
        for (int y = 0; y < under.height(); ++y) {
            const uchar *covered = mask.constScanLine(y);
            const uchar *shown = image.constScanLine(m_maskArea.top() + y) + m_maskArea.left();
            uchar *kept = under.scanLine(y);
            for (int x = 0; x < under.width(); ++x)
                kept[x] = covered[x] ? shown[x] : 0;
        }
        return {m_maskArea, true, Model::RleImage(under)};
    }

    // What the drawing showed over the rectangle before the stroke came:
    // what it shows now, and under the mask what it showed then.
    QImage before(const Model::Drawing &drawing, const Underneath &underneath) const
    {
        const QImage image = imageOf(drawing);
        const QImage kept = underneath.pixels.toImage();
        if (image.isNull() || kept.size() != underneath.area.size() || !image.rect().contains(underneath.area))
            return {};
        if (!underneath.masked)
            return kept;
        const QImage mask = m_mask.toImage();
        if (mask.size() != kept.size())
            return {};
        QImage restored = image.copy(underneath.area);
        for (int y = 0; y < restored.height(); ++y) {
            const uchar *covered = mask.constScanLine(y);
            const uchar *then = kept.constScanLine(y);
            uchar *line = restored.scanLine(y);
            for (int x = 0; x < restored.width(); ++x) {
                if (covered[x])
                    line[x] = then[x];
            }
        }
        return restored;
    }

    // The kept stroke never needs its own frame-sized mask again.
    void releaseMask()
    {
        if (auto *single = dynamic_cast<Model::SingleStroke *>(m_stroke.get()))
            single->takeImage();
    }

    Model::KLScene *m_scene = nullptr;
    std::unique_ptr<Model::Stroke> m_stroke;
    QMap<QModelIndex, QUuid> m_copyIdsBefore;
    QMap<QModelIndex, QUuid> m_copyIdsAfter;
    QModelIndexList m_cells;
    // The cells whose drawing took the stroke at the last redo: undo takes a
    // stroke back from these alone. With each, what it showed there before.
    QMap<QModelIndex, Underneath> m_added;
    Model::RleImage m_mask;
    QRect m_maskArea;
    QSize m_frame;

private:
    static QImage imageOf(const Model::Drawing &drawing)
    {
        const auto *strokes = dynamic_cast<const Model::StrokeDrawing *>(&drawing);
        return strokes ? strokes->image() : QImage();
    }
};

Stroke::Stroke(Model::KLScene *scene, const QModelIndexList &cells, std::unique_ptr<Model::Stroke> stroke,
               QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<StrokePrivate>())
{
    setText(historyText("Append stroke", "Commands::Stroke"));
    if (!scene || !stroke || !scene->sceneModel()) {
        setObsolete(true);
        return;
    }
    const Model::SceneModel *model = scene->sceneModel();
    const bool originalsOnly = Model::Settings::instance()->clonesLockedForDrawing();
    QSet<Model::Scene::DrawingKey> seen;
    for (const QModelIndex &cell : cells) {
        if (!isCell(cell))
            continue;
        // The empty row after a layer's last cell stands for itself.
        if (model->data(cell, Model::SceneModel::FrameAfterLastRole).toBool()) {
            d->m_cells.append(cell);
            continue;
        }
        if (originalsOnly && !model->data(cell, Model::SceneModel::OriginalDrawingRole).toBool())
            continue;
        const Model::Scene::DrawingKey key = model->originalDrawingKey(cell);
        if (key.first.isNull() || key.second.isNull() || seen.contains(key))
            continue;
        seen.insert(key);
        const QModelIndex original = model->indexOfDrawing(key);
        if (original.isValid())
            d->m_cells.append(original);
    }
    if (d->m_cells.isEmpty()) {
        setObsolete(true);
        return;
    }
    d->m_scene = scene;
    d->m_stroke = stroke->clone();
}

Stroke::Stroke(Model::KLScene *scene, const QModelIndex &cell, std::unique_ptr<Model::SingleStroke> stroke,
               QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<StrokePrivate>())
{
    if (stroke)
        setText(stroke->isPenStroke() ? historyText("Draw", "Commands::Stroke") : historyText("Erase", "Commands::Stroke"));
    if (!scene || !stroke || !isCell(cell)) {
        setObsolete(true);
        return;
    }
    d->m_scene = scene;
    d->m_stroke = std::move(stroke);
    d->m_cells = {cell};
}

Stroke::Stroke(Model::KLScene *scene, const QModelIndex &cell, std::unique_ptr<Model::Stroke> stroke,
               QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<StrokePrivate>())
{
    setText(historyText("Append stroke", "Commands::Stroke"));
    if (!scene || !stroke || !isCell(cell)) {
        setObsolete(true);
        return;
    }
    d->m_scene = scene;
    d->m_stroke = std::move(stroke);
    d->m_cells = {cell};
}

Stroke::~Stroke() = default;

void Stroke::perform()
{
    if (!d->m_scene || !d->m_stroke)
        return;
    Model::SceneModel *model = d->m_scene->sceneModel();
    d->m_copyIdsBefore.clear();
    d->m_added.clear();
    d->keepMask();
    for (const QModelIndex &cell : std::as_const(d->m_cells)) {
        const std::shared_ptr<Model::Drawing> drawing = drawingAt(model, cell);
        if (!drawing)
            continue;
        d->m_copyIdsBefore.insert(cell, drawing->copyId());
        StrokePrivate::Underneath underneath = d->underneath(*drawing);
        if (!model->addStroke(cell, d->copy()))
            continue;
        d->m_added.insert(cell, std::move(underneath));
        const QUuid after = d->m_copyIdsAfter.value(cell);
        if (!after.isNull())
            drawing->setCopyId(after);
    }
    d->releaseMask();
    // Every drawing refused it: an eraser on an empty drawing, a cell
    // without one.
    if (d->m_added.isEmpty())
        setObsolete(true);
}

void Stroke::undo()
{
    if (!d->m_scene || !d->m_stroke)
        return;
    Model::SceneModel *model = d->m_scene->sceneModel();
    d->m_copyIdsAfter.clear();
    for (const QModelIndex &cell : std::as_const(d->m_cells)) {
        if (!d->m_added.contains(cell))
            continue;
        const std::shared_ptr<Model::Drawing> drawing = drawingAt(model, cell);
        if (!drawing)
            continue;
        d->m_copyIdsAfter.insert(cell, drawing->copyId());
        const StrokePrivate::Underneath underneath = d->m_added.value(cell);
        model->removeStroke(cell, d->before(*drawing, underneath), underneath.area.topLeft());
        const QUuid before = d->m_copyIdsBefore.value(cell);
        if (!before.isNull())
            drawing->setCopyId(before);
    }
    d->m_added.clear();
}

// Cut

class CutPathPrivate
{
public:
    Model::KLScene *m_scene = nullptr;
    QModelIndex m_cell;
    QPainterPath m_path;
    QList<Model::SceneChange> m_changes;
    QUuid m_copyIdBefore;
    QUuid m_copyIdAfter;
};

CutPath::CutPath(Model::KLScene *scene, const QModelIndex &cell, QPainterPath path, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<CutPathPrivate>())
{
    setText(historyText("Cutout", "Commands::CutPath"));
    d->m_scene = scene;
    d->m_cell = cell;
    d->m_path = std::move(path);
    if (!scene || !isCell(cell) || d->m_path.isEmpty())
        setObsolete(true);
}

CutPath::~CutPath() = default;

void CutPath::perform()
{
    if (d->m_scene) {
        Model::SceneModel *model = d->m_scene->sceneModel();
        if (const std::shared_ptr<Model::Drawing> drawing = drawingAt(model, d->m_cell))
            d->m_copyIdBefore = drawing->copyId();
        {
            const WaitCursor wait;
            d->m_changes += model->cutPath(d->m_cell, d->m_path);
        }
        // The cut drawing is a new one in the cell's place.
        const std::shared_ptr<Model::Drawing> cut = drawingAt(model, d->m_cell);
        if (cut && !d->m_changes.isEmpty() && !d->m_copyIdAfter.isNull())
            cut->setCopyId(d->m_copyIdAfter);
    }
    // Nothing was cut: the stack drops the command.
    if (d->m_changes.isEmpty())
        setObsolete(true);
}

void CutPath::undo()
{
    if (!d->m_scene)
        return;
    Model::SceneModel *model = d->m_scene->sceneModel();
    const std::shared_ptr<Model::Drawing> edited = drawingAt(model, d->m_cell);
    if (edited)
        d->m_copyIdAfter = edited->copyId();
    model->applyChanges(d->m_changes);
    d->m_changes.clear();
    // The drawing that the record put back, not the edited one.
    const std::shared_ptr<Model::Drawing> restored = drawingAt(model, d->m_cell);
    if (edited && restored && !d->m_copyIdBefore.isNull())
        restored->setCopyId(d->m_copyIdBefore);
}

// Collapse

class CollapseVectorDataPrivate
{
public:
    // The original drawing behind the cell: back over holds, and from a
    // distant clone to its original. Invalid when the walk finds none.
    static QModelIndex originalBehind(const Model::KLScene &scene, const QModelIndex &cell)
    {
        const Model::Scene *document = scene.scene();
        const auto layer = std::dynamic_pointer_cast<Model::VisualLayer>(document->layerAt(cell.column()));
        int layerIndex = cell.column();
        int frame = cell.row() + 1;
        for (; layer && frame >= 1; --frame) {
            const std::shared_ptr<Model::LayerItem> item = layer->cell(frame);
            if (!item)
                return QModelIndex();
            if (item->kind() == Model::LayerItem::OriginalKind)
                break;
            if (item->kind() == Model::LayerItem::DistantCloneKind) {
                int originalLayer = -1;
                int originalFrame = -1;
                if (document->findDrawing({item->originalLayer(), item->originalItem()}, &originalLayer,
                                          &originalFrame)) {
                    layerIndex = originalLayer;
                    frame = originalFrame;
                    break;
                }
            }
        }
        if (!layer || frame < 1)
            return QModelIndex();
        return scene.sceneModel()->index(frame - 1, layerIndex);
    }

    // The first redo's work; false, with nothing changed, when there is
    // nothing to collapse or the user cancelled.
    bool collapse()
    {
        const Model::SceneModel *model = m_scene->sceneModel();
        const std::shared_ptr<Model::Drawing> drawing = drawingAt(model, m_target);
        if (!drawing || drawing->type() != Model::Drawing::StrokeDrawingType || drawing->isEmpty())
            return false;
        std::shared_ptr<Model::Drawing> copy = drawing->clone();
        if (m_progress) {
            m_progress->setProperty(
                "labelText", QObject::tr("Collapsing current drawing", "CollapseVectorData progress dialog"));
            m_progress->setProperty("minimumDuration", 2000);
        }
        const QRect frame(QPoint(0, 0), m_scene->scene()->frameSize());
        auto *strokes = static_cast<Model::StrokeDrawing *>(copy.get());
        if (!strokes->collapseVectorData(Model::Settings::instance()->collapseScaleFactor(), frame,
                                         progressCallback(m_progress)))
            return false;
        // A drawing collapsed before comes out as it went in.
        if (recordOf(*strokes) == recordOf(static_cast<const Model::StrokeDrawing &>(*drawing)))
            return false;
        m_collapsed = std::move(copy);
        return true;
    }

    static QByteArray recordOf(const Model::StrokeDrawing &drawing)
    {
        QByteArray record;
        QDataStream out(&record, QIODevice::WriteOnly);
        out << drawing;
        return record;
    }

    Model::KLScene *m_scene = nullptr;
    QUuid m_copyId;
    QModelIndex m_target;
    std::shared_ptr<Model::Drawing> m_collapsed;
    QList<Model::SceneChange> m_changes;
    // Only the first redo reports to it; its owner may close it afterwards.
    QPointer<QObject> m_progress;
};

CollapseVectorData::CollapseVectorData(Model::KLScene *scene, const QModelIndex &cell, QObject *progress,
                                       QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<CollapseVectorDataPrivate>())
{
    setText(historyText("Collapse Vector Data", "Commands::CollapseVectorData"));
    if (!scene || !scene->scene() || !isCell(cell) || layerTypeOf(scene, cell) != Model::Layer::StrokeLayerType) {
        setObsolete(true);
        return;
    }
    d->m_scene = scene;
    d->m_progress = progress;
    d->m_target = CollapseVectorDataPrivate::originalBehind(*scene, cell);
}

CollapseVectorData::~CollapseVectorData() = default;

void CollapseVectorData::perform()
{
    if (isObsolete() || !d->m_scene)
        return;
    if (!d->m_collapsed) {
        const bool collapsed = d->collapse();
        d->m_progress = nullptr;
        if (!collapsed) {
            setObsolete(true);
            return;
        }
    }
    d->m_changes.clear();
    std::shared_ptr<Model::Drawing> drawing = d->m_collapsed->clone();
    if (!d->m_copyId.isNull())
        drawing->setCopyId(d->m_copyId);
    d->m_changes += d->m_scene->sceneModel()->setDrawing(d->m_target, std::move(drawing), false, false);
}

void CollapseVectorData::undo()
{
    if (isObsolete() || !d->m_scene)
        return;
    Model::SceneModel *model = d->m_scene->sceneModel();
    if (const std::shared_ptr<Model::Drawing> drawing = drawingAt(model, d->m_target))
        d->m_copyId = drawing->copyId();
    model->applyChanges(d->m_changes);
    d->m_changes.clear();
}

// Floating selection

class FloatingSelectionNewPrivate
{
public:
    // Hands the selection kept in give to the scene and keeps the one the
    // scene hands back in take.
    void swap(std::unique_ptr<Model::FloatingSelection> &give, std::unique_ptr<Model::FloatingSelection> &take)
    {
        if (!m_scene)
            return;
        take = m_scene->setFloatingSelection(std::move(give));
    }

    Model::KLScene *m_scene = nullptr;
    std::unique_ptr<Model::FloatingSelection> m_toInstall;
    std::unique_ptr<Model::FloatingSelection> m_takenOut;
};

FloatingSelectionNew::FloatingSelectionNew(Model::KLScene *scene, std::unique_ptr<Model::FloatingSelection> selection,
                                           QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<FloatingSelectionNewPrivate>())
{
    setText(historyText("Create floating selection", "Commands::FloatingSelectionNew"));
    d->m_scene = scene;
    d->m_toInstall = std::move(selection);
    if (!scene)
        setObsolete(true);
}

FloatingSelectionNew::~FloatingSelectionNew() = default;

void FloatingSelectionNew::perform()
{
    d->swap(d->m_toInstall, d->m_takenOut);
}

void FloatingSelectionNew::undo()
{
    d->swap(d->m_takenOut, d->m_toInstall);
}

class FloatingSelectionTransformPrivate
{
public:
    // Keeps the scene's placement in store and sets the one in place.
    void exchange(Model::FloatingSelection::Transform &place, Model::FloatingSelection::Transform &store)
    {
        if (!m_scene)
            return;
        store = m_scene->floatingSelectionTransform();
        m_scene->setFloatingSelectionTransform(place);
    }

    Model::KLScene *m_scene = nullptr;
    Model::FloatingSelection::Transform m_a;
    Model::FloatingSelection::Transform m_b;
};

FloatingSelectionTransform::FloatingSelectionTransform(Model::KLScene *scene,
                                                       const Model::FloatingSelection::Transform &transform,
                                                       QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<FloatingSelectionTransformPrivate>())
{
    setText(historyText("Change floating selection", "Commands::FloatingSelectionTransform"));
    d->m_scene = scene;
    d->m_a = transform;
    if (!scene || !scene->floatingSelection())
        setObsolete(true);
}

FloatingSelectionTransform::~FloatingSelectionTransform() = default;

void FloatingSelectionTransform::perform()
{
    d->exchange(d->m_a, d->m_b);
    // Nothing to place, or placed so already: a click on a handle.
    if (!d->m_scene || !d->m_scene->floatingSelection() || d->m_scene->floatingSelectionTransform() == d->m_b)
        setObsolete(true);
}

void FloatingSelectionTransform::undo()
{
    d->exchange(d->m_b, d->m_a);
}

// Off pegs

class OffPegsPrivate
{
public:
    static QString textFor(const QTransform &transform)
    {
        return transform.isIdentity() ? historyText("Put Frame On the Pegs", "Commands::OffPegs")
                                      : historyText("Take Frame Off the Pegs", "Commands::OffPegs");
    }

    Model::Scene *m_scene = nullptr;
    qint32 m_frame = -1;
    qint32 m_layer = -1;
    QTransform m_new;
    QTransform m_old;
};

OffPegs::OffPegs(Model::Scene *scene, const QTransform &transform, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<OffPegsPrivate>())
{
    setText(OffPegsPrivate::textFor(transform));
    d->m_scene = scene;
    d->m_new = transform;
    if (!scene) {
        setObsolete(true);
        return;
    }
    d->m_frame = scene->activeFrame();
    if (transform.isIdentity() && !scene->isOffPegs(d->m_frame))
        setObsolete(true);
}

OffPegs::~OffPegs() = default;

void OffPegs::perform()
{
    if (!d->m_scene)
        return;
    // The layer is chosen once: by a later redo the active layer may be
    // another one, and the change must land where it landed the first time.
    if (d->m_layer == -1) {
        int layer = -1;
        d->m_old = d->m_scene->offPegsTransform(d->m_frame, &layer);
        d->m_layer = layer == -1 ? d->m_scene->activeLayerIdx() : layer;
        // Already so, or no cell to take it.
        if (d->m_new == d->m_old || !d->m_scene->itemAt(d->m_layer, d->m_frame)) {
            setObsolete(true);
            return;
        }
    }
    d->m_scene->setOffPegsTransform(d->m_frame, d->m_layer, d->m_new);
}

void OffPegs::undo()
{
    if (d->m_scene)
        d->m_scene->setOffPegsTransform(d->m_frame, d->m_layer, d->m_old);
}

int OffPegs::id() const
{
    return OffPegsId;
}

bool OffPegs::mergeWith(const QUndoCommand *other)
{
    const auto *later = dynamic_cast<const OffPegs *>(other);
    if (!later || later->d->m_frame != d->m_frame || later->d->m_layer != d->m_layer)
        return false;
    d->m_new = later->d->m_new;
    setText(OffPegsPrivate::textFor(d->m_new));
    if (d->m_new == d->m_old)
        setObsolete(true);
    return true;
}

// Annotation

class AddAnnotationPrivate
{
public:
    Model::KLScene *m_scene = nullptr;
    QModelIndex m_cell;
    QImage m_image;
};

AddAnnotation::AddAnnotation(Model::KLScene *scene, const QModelIndex &cell, QImage image, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<AddAnnotationPrivate>())
{
    setText(historyText("Add Annotation", "Commands::AddAnnotation"));
    if (!scene || image.isNull() || !isCell(cell) || layerTypeOf(scene, cell) != Model::Layer::AnnotationLayerType) {
        setObsolete(true);
        return;
    }
    d->m_scene = scene;
    d->m_cell = cell;
    d->m_image = std::move(image);
}

AddAnnotation::~AddAnnotation() = default;

void AddAnnotation::perform()
{
    if (!d->m_scene)
        return;
    // Undo is the very same exchange.
    Model::SceneModel *model = d->m_scene->sceneModel();
    const QVariant previous = model->data(d->m_cell, Model::SceneModel::AnnotationImageRole);
    model->setData(d->m_cell, d->m_image, Model::SceneModel::AnnotationImageRole);
    d->m_image = previous.canConvert<QImage>() ? previous.value<QImage>() : QImage();
}

void AddAnnotation::undo()
{
    perform();
}

void addAnnotations(Model::KLScene *klscene, const QModelIndexList &cells, const QList<QImage> &images)
{
    if (cells.size() == 1) {
        Model::KLScene::pushCommand(new AddAnnotation(klscene, cells.first(), images.value(0)));
        return;
    }
    auto group = std::make_unique<Model::SceneCommand>(QCoreApplication::translate("Commands", "Add Annotations"));
    for (qsizetype row = 0; row < cells.size(); ++row) {
        if (!images.value(row).isNull())
            new AddAnnotation(klscene, cells.at(row), images.at(row), group.get());
    }
    if (group->childCount() > 0)
        Model::KLScene::pushCommand(group.release());
}

void liftFloatingSelection(Model::KLScene *klscene, std::unique_ptr<Model::FloatingSelection> selection,
                           const QPainterPath &path, bool cut, QObject *progress)
{
    if (!klscene || !selection)
        return;
    const bool collapse = selection->collapseVectorData();
    auto *lift = new Model::SceneCommand(QCoreApplication::translate("Commands", "New Floating Selection"));
    const QModelIndex cell = klscene->currentIndex();
    new FloatingSelectionNew(klscene, std::move(selection), lift);
    if (cut && path.isEmpty())
        new ClearDrawingMakingBlank(klscene, cell, lift);
    else if (cut)
        new CutPath(klscene, cell, path, lift);
    if (collapse)
        new CollapseVectorData(klscene, cell, progress, lift);
    new ChangeToolType(klscene, int(Model::Tool::Type::FloatingSelection), lift);
    Model::KLScene::pushCommand(lift);
}

bool stampFloatingSelection(Model::KLScene *klscene, bool keepFloating, const Model::CompoundStroke::Progress &progress)
{
    Model::Scene *scene = klscene ? klscene->scene() : nullptr;
    Model::FloatingSelection *selection = scene ? klscene->floatingSelection() : nullptr;
    // The piece floats on rather than be lost where it cannot go down.
    if (!selection || scene->activeCellInkRefusal() != Model::Scene::InkRefusal::None)
        return false;

    auto *stamp = new Model::SceneCommand(historyText("Stamp Floating Selection", "Commands"));
    if (!klscene->hasSelection()) {
        const QModelIndex cell = klscene->currentIndex();
        // The row after a layer's last cell has no drawing to stamp into: a
        // blank comes first, as an undo step of its own. The cell before it
        // is looked up in the scene rather than in the frame range, which
        // may begin at this very row.
        if (cell.isValid() && cell.data(Model::SceneModel::FrameAfterLastRole).toBool() && cell.row() > 0)
            Model::KLScene::pushCommand(new AddBlankDrawing(klscene, cell.siblingAtRow(cell.row() - 1)));
        new Stroke(klscene, cell, selection->stamp(progress), stamp);
    } else {
        new Stroke(klscene, klscene->selection().indexes(), selection->stamp(progress), stamp);
        klscene->clearSelection();
    }
    if (!keepFloating)
        new ChangeToolType(klscene, int(Model::ToolManager::instance()->lastDrawingToolType()), stamp);
    Model::KLScene::pushCommand(stamp);
    return true;
}

} // namespace Commands
