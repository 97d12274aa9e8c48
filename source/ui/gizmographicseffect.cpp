#include "gizmographicseffect.h"

#include "uiresources.h"

#include "settings/settings.h"

#include <QIcon>
#include <QPainter>

namespace UI {

class GizmoGraphicsEffect::GizmoGraphicsEffectPrivate
{
public:
    QIcon m_shadow;
    QSize m_shadowSize{42, 116};
    // Below the gizmo, in its pixels at scale 1.
    int m_spread = 9;
};

GizmoGraphicsEffect::GizmoGraphicsEffect(QObject *parent)
    : QGraphicsEffect(parent)
    , d(std::make_unique<GizmoGraphicsEffectPrivate>())
{
    registerUiResources();
    d->m_shadow = QIcon(QStringLiteral(":/xsheet/X-layerColBaseShadow.svg"));
    updateUISize();
}

GizmoGraphicsEffect::~GizmoGraphicsEffect() = default;

void GizmoGraphicsEffect::updateUISize()
{
    const float s = Model::Settings::instance()->UIScale();
    d->m_shadowSize = QSize(int(42 * s), int(116 * s));
    d->m_spread = int(9 * s);
    updateBoundingRect();
}

QRectF GizmoGraphicsEffect::boundingRectFor(const QRectF &rect) const
{
    const QPointF offset((rect.width() - d->m_shadowSize.width()) / 2, 0);
    return QRectF(rect.topLeft() + offset, QSizeF(d->m_shadowSize.width(), rect.height() + d->m_spread));
}

void GizmoGraphicsEffect::draw(QPainter *painter)
{
    if (!d->m_shadowSize.isEmpty()) {
        const QRectF bounds = boundingRectFor(sourceBoundingRect(Qt::LogicalCoordinates));
        const QPixmap shadow = d->m_shadow.pixmap(d->m_shadowSize);
        const double r = shadow.devicePixelRatio();
        // The bottom of the shadow under the bottom of the bounds.
        const QRectF part(0, r * (d->m_shadowSize.height() - bounds.height()), bounds.width() * r, bounds.height() * r);
        painter->drawPixmap(bounds.topLeft(), shadow, part);
    }
    QPoint offset;
    const QPixmap source = sourcePixmap(Qt::LogicalCoordinates, &offset, QGraphicsEffect::NoPad);
    painter->drawPixmap(offset, source);
}

} // namespace UI
