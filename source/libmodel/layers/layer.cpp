#include "layers/layer.h"

namespace Model {

class LayerPrivate
{
public:
    QString m_name;
    bool m_linked = false;
    QUuid m_identifier = QUuid::createUuid();
    int m_beyondLast = Layer::ShowNothing;
};

Layer::Layer(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<LayerPrivate>())
{
}

Layer::Layer(const Layer &other)
    : QObject(other.parent())
    , d(std::make_unique<LayerPrivate>())
{
    d->m_name = other.d->m_name;
    d->m_linked = other.d->m_linked;
    d->m_beyondLast = other.d->m_beyondLast;
}

Layer::~Layer() = default;

QString Layer::name() const
{
    return d->m_name;
}

bool Layer::isLinked() const
{
    return d->m_linked;
}

QUuid Layer::identifier() const
{
    return d->m_identifier;
}

void Layer::setIdentifier(const QUuid &identifier)
{
    if (!identifier.isNull())
        d->m_identifier = identifier;
}

Layer::LayerBeyondLast Layer::layerBeyondLast() const
{
    return static_cast<LayerBeyondLast>(d->m_beyondLast);
}

int Layer::frameCount() const
{
    return 0;
}

void Layer::insertFrame(int)
{
}

void Layer::extendFrame(int)
{
}

QList<LayerChange> Layer::removeFrame(int)
{
    return {};
}

QList<std::pair<int, int>> Layer::applyChange(const LayerChange &change, int layer)
{
    // Undoing an insertion: the records of this removal have nothing to undo.
    if (change.kind() == LayerChange::RemoveCell)
        removeFrame(change.index());
    return {{change.index(), layer}};
}

void Layer::setName(const QString &name)
{
    if (d->m_name == name)
        return;
    d->m_name = name;
    Q_EMIT nameChanged(name);
}

void Layer::setLinked(bool linked)
{
    if (d->m_linked == linked)
        return;
    d->m_linked = linked;
    Q_EMIT linkedChanged(linked);
}

bool Layer::setLayerBeyondLast(LayerBeyondLast beyondLast)
{
    if (d->m_beyondLast == int(beyondLast))
        return false;
    d->m_beyondLast = int(beyondLast);
    return true;
}

} // namespace Model
