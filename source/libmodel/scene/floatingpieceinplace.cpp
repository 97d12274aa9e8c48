#include "floatingpieceinplace.h"

#include "drawings/strokedrawing.h"
#include "layers/layeritem.h"
#include "layers/strokelayer.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "settings/settings.h"
#include "strokes/floatingselection.h"
#include "tools/toolmanager.h"

#include <QItemSelection>
#include <QList>
#include <QUuid>

#include <optional>
#include <vector>

namespace Model {

namespace {

using Drawings = QList<std::shared_ptr<StrokeDrawing>>;

std::shared_ptr<StrokeDrawing> strokeDrawing(const std::shared_ptr<LayerItem> &cell)
{
    return cell ? std::dynamic_pointer_cast<StrokeDrawing>(cell->drawing()) : nullptr;
}

} // namespace

class FloatingPieceInPlacePrivate
{
public:
    // A drawing that holds the piece for now, with what it held before and
    // its copy id.
    struct Placed
    {
        std::shared_ptr<StrokeDrawing> drawing;
        std::unique_ptr<Drawing> before;
        QUuid copyId;
    };

    Scene *m_scene = nullptr;
    std::vector<Placed> m_placed;
    // The blank that the stamp adds on the row after a layer's last cell,
    // for as long as the piece lies in it.
    std::optional<Scene::UnannouncedInsertion> m_insertion;

    void place(Scene &scene, const KLScene &handle, FloatingSelection &selection)
    {
        m_scene = &scene;
        const std::unique_ptr<Stroke> stamped = selection.stamp();
        if (!stamped)
            return;
        Drawings drawings;
        // Where the window's stamp would put it down now, as the tool's
        // cursor tells the user.
        if (scene.activeCellInkRefusal() == Scene::InkRefusal::None)
            drawings = handle.hasSelection() ? selectedDrawings(scene, handle.selection()) : activeDrawing(scene);
        // Wherever the piece floats, it is never lost: what cannot be put
        // down there goes back into the drawing it came from.
        if (drawings.isEmpty())
            drawings = originDrawing(scene, selection.origin());
        for (const std::shared_ptr<StrokeDrawing> &drawing : std::as_const(drawings))
            putInto(drawing, *stamped);
    }

    // As the stamp without a sheet selection puts it: into the drawing the
    // active cell shows, or into a blank added after the layer's last cell.
    Drawings activeDrawing(Scene &scene)
    {
        const int layer = scene.activeLayerIdx();
        if (scene.isFrameAfterLastDrawing(layer, scene.activeFrame())) {
            m_insertion = scene.addBlankAfterLastUnannounced(layer);
            if (!m_insertion)
                return {};
        }
        const std::shared_ptr<StrokeDrawing> drawing = strokeDrawing(scene.itemAt(layer, scene.activeFrame()));
        if (drawing)
            return {drawing};
        if (m_insertion)
            scene.takeBackUnannounced(*m_insertion);
        m_insertion.reset();
        return {};
    }

    // As the stamp into a sheet selection puts it: once into each original
    // that a selected cell shows, on a visible stroke layer, leaving out
    // holds while they are locked for drawing.
    static Drawings selectedDrawings(const Scene &scene, const QItemSelection &selection)
    {
        const bool locked = Settings::instance()->clonesLockedForDrawing();
        Drawings drawings;
        for (const QModelIndex &cell : selection.indexes()) {
            const int layer = cell.column();
            const int frame = cell.row() + 1;
            if (!scene.itemAt(layer, frame) || (locked && !scene.isOriginalDrawing(layer, frame)))
                continue;
            int originalLayer = -1;
            int originalFrame = -1;
            if (!scene.findDrawing(scene.originalKeyAt(layer, frame), &originalLayer, &originalFrame)
                || !qobject_cast<const StrokeLayer *>(scene.layerAt(originalLayer).get())
                || !scene.isLayerVisible(originalLayer))
                continue;
            const std::shared_ptr<StrokeDrawing> drawing = strokeDrawing(scene.itemAt(originalLayer, originalFrame));
            if (drawing && !drawings.contains(drawing))
                drawings.append(drawing);
        }
        return drawings;
    }

    // The drawing the cell the piece was lifted from shows, wherever that
    // cell stands now; none once the cell is gone.
    static Drawings originDrawing(const Scene &scene, const Scene::DrawingKey &origin)
    {
        const std::shared_ptr<StrokeDrawing> drawing = strokeDrawing(scene.findDrawing(origin));
        return drawing ? Drawings{drawing} : Drawings{};
    }

    void putInto(const std::shared_ptr<StrokeDrawing> &drawing, const Stroke &stamped)
    {
        std::unique_ptr<Drawing> placed = drawing->clone();
        if (!placed || !static_cast<StrokeDrawing &>(*placed).addStroke(stamped.clone()))
            return;
        // The drawing object stays, so that every cell showing it shows the
        // piece; the copy keeps what it held.
        drawing->swapContent(static_cast<StrokeDrawing &>(*placed));
        m_placed.push_back({drawing, std::move(placed), drawing->copyId()});
        drawing->setCopyId(QUuid());
    }

    void restore()
    {
        for (auto it = m_placed.rbegin(); it != m_placed.rend(); ++it) {
            it->drawing->swapContent(static_cast<StrokeDrawing &>(*it->before));
            it->drawing->setCopyId(it->copyId);
        }
        m_placed.clear();
        if (m_insertion)
            m_scene->takeBackUnannounced(*m_insertion);
        m_insertion.reset();
    }
};

FloatingPieceInPlace::FloatingPieceInPlace(const Scene &scene)
    : d(std::make_unique<FloatingPieceInPlacePrivate>())
{
    const KLScene *handle = KLScene::current();
    FloatingSelection *selection = handle && handle->scene() == &scene ? handle->floatingSelection() : nullptr;
    // Saving and exporting see a scene they may not change; the piece is put
    // in place only for as long as this lives, and everything it changed is
    // given back before anyone else can change the scene.
    if (selection && ToolManager::instance()->lastEditingToolType() == Tool::Type::FloatingSelection)
        d->place(const_cast<Scene &>(scene), *handle, *selection);
}

FloatingPieceInPlace::~FloatingPieceInPlace()
{
    d->restore();
}

bool FloatingPieceInPlace::isPlaced() const
{
    return !d->m_placed.empty();
}

} // namespace Model
