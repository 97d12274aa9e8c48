#include "xsheet/shadoweffect.h"

#include "style/uiresources.h"

#include <QPainter>
#include <QSvgRenderer>

namespace UI {

class ShadowEffect::ShadowEffectPrivate
{
public:
    QSvgRenderer m_art;
    QSize m_size;
};

ShadowEffect::ShadowEffect(QObject *parent)
    : ShadowEffect(QStringLiteral(":/xsheet/LayerRenameShadow.svg"), QSize(90, 38), parent)
{
}

ShadowEffect::ShadowEffect(const QString &art, QSize size, QObject *parent)
    : QGraphicsEffect(parent)
    , d(std::make_unique<ShadowEffectPrivate>())
{
    registerUiResources();
    d->m_art.load(art);
    d->m_size = size;
}

ShadowEffect::~ShadowEffect() = default;

QSize ShadowEffect::shadowSize() const
{
    return d->m_size;
}

QRectF ShadowEffect::shadowRectFor(const QRectF &rect) const
{
    const QSizeF size(d->m_size);
    return QRectF(rect.topLeft() + QPointF((rect.width() - size.width()) / 2, (rect.height() - size.height()) / 2),
                  size);
}

QRectF ShadowEffect::boundingRectFor(const QRectF &rect) const
{
    return shadowRectFor(rect).united(rect);
}

void ShadowEffect::draw(QPainter *painter)
{
    QPoint offset;
    const QPixmap source = sourcePixmap(Qt::LogicalCoordinates, &offset, QGraphicsEffect::NoPad);
    const QRectF widget = sourceBoundingRect(Qt::LogicalCoordinates);
    d->m_art.render(painter, shadowRectFor(widget));
    painter->drawPixmap(offset, source);
}

} // namespace UI
