#include "layers/layeritem.h"

#include "drawings/imagedrawing.h"
#include "drawings/strokedrawing.h"

#include <QImage>

namespace Model {

class LayerItemPrivate
{
public:
    int m_kind = LayerItem::OriginalKind;
    QUuid m_identifier = QUuid::createUuid();
    std::shared_ptr<Drawing> m_drawing;
    QTransform m_offPegsTransform;
    bool m_keyDrawing = false;
    QList<LayerItem::Key> m_distantClones;
    QUuid m_originalLayer;
    QUuid m_originalItem;
};

LayerItem::LayerItem(QSize size)
    : d(std::make_unique<LayerItemPrivate>())
{
    d->m_drawing = std::make_shared<StrokeDrawing>(size);
}

LayerItem::LayerItem(const QImage &image)
    : d(std::make_unique<LayerItemPrivate>())
{
    d->m_drawing = std::make_shared<ImageDrawing>(image);
}

LayerItem::LayerItem(std::shared_ptr<LayerItem> item)
    : d(std::make_unique<LayerItemPrivate>())
{
    d->m_kind = CloneKind;
    if (item)
        d->m_drawing = item->d->m_drawing;
}

LayerItem::~LayerItem() = default;

int LayerItem::kind() const
{
    return d->m_kind;
}

void LayerItem::setKind(int kind)
{
    d->m_kind = kind;
}

QUuid LayerItem::identifier() const
{
    return d->m_identifier;
}

void LayerItem::setIdentifier(const QUuid &identifier)
{
    d->m_identifier = identifier;
}

std::shared_ptr<Drawing> LayerItem::drawing() const
{
    return d->m_drawing;
}

void LayerItem::setDrawing(std::shared_ptr<Drawing> drawing)
{
    d->m_drawing = std::move(drawing);
}

QTransform LayerItem::offPegsTransform() const
{
    return d->m_offPegsTransform;
}

void LayerItem::setOffPegsTransform(const QTransform &transform)
{
    d->m_offPegsTransform = transform;
}

bool LayerItem::isKeyDrawing() const
{
    return d->m_keyDrawing;
}

void LayerItem::setKeyDrawing(bool keyDrawing)
{
    d->m_keyDrawing = keyDrawing;
}

QList<LayerItem::Key> LayerItem::distantClones() const
{
    return d->m_distantClones;
}

void LayerItem::setDistantClones(const QList<Key> &keys)
{
    d->m_distantClones = keys;
}

QUuid LayerItem::originalLayer() const
{
    return d->m_originalLayer;
}

QUuid LayerItem::originalItem() const
{
    return d->m_originalItem;
}

void LayerItem::setOriginal(const Key &key)
{
    d->m_originalLayer = key.first;
    d->m_originalItem = key.second;
}

} // namespace Model
