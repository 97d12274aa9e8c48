#include "layers/referencelayer.h"

#include "drawings/imagedrawing.h"
#include "layers/layeritem.h"

#include <QPainter>

namespace Model {

namespace {

// Half transparent, so that the drawings on top stay readable.
constexpr double newLayerOpacity = 0.5;

const ImageDrawing *imageDrawing(const std::shared_ptr<LayerItem> &item)
{
    if (!item || !item->drawing() || item->drawing()->type() != Drawing::ImageDrawingType)
        return nullptr;
    return static_cast<const ImageDrawing *>(item->drawing().get());
}

} // namespace

ReferenceLayer::ReferenceLayer(const QSize &frameSize, QObject *parent)
    : VisualLayer(frameSize, parent)
{
    insertCell(0, std::make_shared<LayerItem>(QImage()));
    setOpacity(newLayerOpacity);
}

ReferenceLayer::ReferenceLayer(const ReferenceLayer &other)
    : VisualLayer(other)
{
    copyCellsFrom(other);
}

ReferenceLayer::~ReferenceLayer() = default;

int ReferenceLayer::type() const
{
    return ReferenceLayerType;
}

Layer *ReferenceLayer::clone() const
{
    return new ReferenceLayer(*this);
}

std::shared_ptr<LayerItem> ReferenceLayer::newCell() const
{
    return std::make_shared<LayerItem>(QImage());
}

void ReferenceLayer::paint(int frame, QPainter *painter, const QRect &target) const
{
    const ImageDrawing *drawing = painter ? imageDrawing(shownCell(frame)) : nullptr;
    if (!drawing)
        return;
    painter->save();
    painter->setOpacity(painter->opacity() * opacity());
    drawing->paint(painter, frameSize(), target);
    painter->restore();
}

void ReferenceLayer::paint(int frame, QPainter *painter, const QRect &target, bool) const
{
    const ImageDrawing *drawing = painter ? imageDrawing(cell(frame)) : nullptr;
    if (!drawing)
        return;
    painter->save();
    drawing->paint(painter, frameSize(), target);
    painter->restore();
}

QImage ReferenceLayer::thumbnail(int frame, const QSize &size) const
{
    const auto item = cell(frame);
    if (!item || !item->drawing())
        return {};
    return item->drawing()->thumbnail(size, {});
}

} // namespace Model
