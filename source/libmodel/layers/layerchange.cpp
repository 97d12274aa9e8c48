#include "layers/layerchange.h"

#include "layers/layeritem.h"

#include <utility>

namespace Model {

LayerChange::LayerChange() = default;

LayerChange::LayerChange(int kind, int index, std::shared_ptr<LayerItem> item)
    : m_kind(kind)
    , m_index(index)
    , m_item(std::move(item))
{
}

LayerChange::LayerChange(int index, const QTransform &transform)
    : m_kind(PutTransformBack)
    , m_index(index)
    , m_transform(transform)
{
}

LayerChange::LayerChange(const LayerChange &other)
{
    copyFrom(other);
}

LayerChange::LayerChange(LayerChange &&other) noexcept
{
    moveFrom(other);
}

LayerChange &LayerChange::operator=(const LayerChange &other)
{
    if (this != &other)
        copyFrom(other);
    return *this;
}

LayerChange &LayerChange::operator=(LayerChange &&other) noexcept
{
    if (this != &other)
        moveFrom(other);
    return *this;
}

LayerChange::~LayerChange() = default;

int LayerChange::kind() const
{
    return m_kind;
}

void LayerChange::setKind(int kind)
{
    m_kind = kind;
}

int LayerChange::index() const
{
    return m_index;
}

void LayerChange::setIndex(int index)
{
    m_index = index;
}

std::shared_ptr<LayerItem> LayerChange::item() const
{
    return m_item;
}

QTransform LayerChange::transform() const
{
    return m_transform;
}

QImage LayerChange::image() const
{
    return m_image;
}

void LayerChange::setImage(const QImage &image)
{
    m_image = image;
}

// Only the member of the kind travels, so that a list of records holds on
// to no drawing or picture that applying it would not use.
void LayerChange::copyFrom(const LayerChange &other)
{
    m_kind = other.m_kind;
    m_index = other.m_index;
    m_item.reset();
    m_transform.reset();
    m_image = QImage();
    if (m_kind >= InsertItem && m_kind <= RemoveCell)
        m_item = other.m_item;
    else if (m_kind == PutTransformBack)
        m_transform = other.m_transform;
    else if (m_kind >= InsertImage && m_kind <= RemoveImage)
        m_image = other.m_image;
}

void LayerChange::moveFrom(LayerChange &other)
{
    copyFrom(other);
    other.m_kind = NoChange;
    other.m_index = -1;
    other.m_item.reset();
}

} // namespace Model
