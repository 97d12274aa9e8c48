#include "xsheet/gizmographicseffect.h"

#include "style/uiresources.h"
#include "xsheet/gizmo.h"

#include "settings/settings.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>

namespace UI {

class GizmoGraphicsEffect::GizmoGraphicsEffectPrivate
{
public:
    QIcon m_shadow;
    QSize m_shadowSize{42, 116};
    // Below the gizmo, in its pixels at scale 1.
    int m_spread = 9;
    // The gizmo as last painted, and how it looked then: the sheet repaints
    // the band under the gizmos at every scroll step, and painting a gizmo
    // anew each time costs more than the rows around it.
    QPixmap m_source;
    QPoint m_sourceOffset;
    Gizmo::Look m_sourceLook;
    double m_sourceRatio = 0.0;
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
    const auto *gizmo = qobject_cast<const Gizmo *>(parent());
    const double ratio = painter->device()->devicePixelRatio();
    if (!gizmo || d->m_source.isNull() || !(gizmo->look() == d->m_sourceLook) || ratio != d->m_sourceRatio) {
        d->m_source = sourcePixmap(Qt::LogicalCoordinates, &d->m_sourceOffset, QGraphicsEffect::NoPad);
        d->m_sourceRatio = ratio;
        if (gizmo)
            d->m_sourceLook = gizmo->look();
    }
    painter->drawPixmap(d->m_sourceOffset, d->m_source);
}

} // namespace UI
