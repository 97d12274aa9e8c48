#include "floatingpieceinplace.h"

#include "drawings/strokedrawing.h"
#include "layers/layeritem.h"
#include "layers/strokelayer.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "strokes/floatingselection.h"
#include "tools/toolmanager.h"

#include <QUuid>

namespace Model {

class FloatingPieceInPlacePrivate
{
public:
    // The drawing that holds the piece, with what it held before and its
    // copy id.
    std::shared_ptr<StrokeDrawing> m_drawing;
    std::unique_ptr<Drawing> m_before;
    QUuid m_copyId;
    // The layer that was given a cell for the piece, at its end.
    std::shared_ptr<StrokeLayer> m_extended;

    void place(const Scene &scene, FloatingSelection &selection)
    {
        const auto layer = std::dynamic_pointer_cast<StrokeLayer>(scene.layerAt(scene.activeLayerIdx()));
        if (!layer)
            return;
        const int frame = scene.activeFrame();
        std::shared_ptr<LayerItem> cell = layer->cell(frame);
        if (!cell && frame == layer->frameCount() + 1) {
            cell = layer->newCell();
            if (!cell || !layer->insertCell(layer->frameCount(), cell))
                return;
            m_extended = layer;
        }
        const auto drawing = cell ? std::dynamic_pointer_cast<StrokeDrawing>(cell->drawing()) : nullptr;
        std::unique_ptr<Stroke> stamped = drawing ? selection.stamp() : nullptr;
        std::unique_ptr<Drawing> placed = drawing ? drawing->clone() : nullptr;
        if (!placed || !static_cast<StrokeDrawing &>(*placed).addStroke(std::move(stamped)))
            return;
        // The drawing object stays, so that every cell showing it shows the
        // piece; the copy keeps what it held.
        drawing->swapContent(static_cast<StrokeDrawing &>(*placed));
        m_copyId = drawing->copyId();
        drawing->setCopyId(QUuid());
        m_before = std::move(placed);
        m_drawing = drawing;
    }
};

FloatingPieceInPlace::FloatingPieceInPlace(const Scene &scene)
    : d(std::make_unique<FloatingPieceInPlacePrivate>())
{
    const KLScene *handle = KLScene::current();
    FloatingSelection *selection = handle && handle->scene() == &scene ? handle->floatingSelection() : nullptr;
    if (selection && ToolManager::instance()->lastEditingToolType() == Tool::Type::FloatingSelection)
        d->place(scene, *selection);
}

FloatingPieceInPlace::~FloatingPieceInPlace()
{
    if (d->m_drawing) {
        d->m_drawing->swapContent(static_cast<StrokeDrawing &>(*d->m_before));
        d->m_drawing->setCopyId(d->m_copyId);
    }
    if (d->m_extended)
        d->m_extended->takeCell(d->m_extended->frameCount() - 1);
}

bool FloatingPieceInPlace::isPlaced() const
{
    return d->m_drawing != nullptr;
}

} // namespace Model
