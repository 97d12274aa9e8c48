#include "tools/toolsettingsshadoweffect.h"

#include "tools/toolsettings.h"

#include <QPainter>

namespace UI {

class ToolSettingsShadowEffect::ToolSettingsShadowEffectPrivate
{
public:
    ToolSettingsShadowEffectPrivate()
    {
        for (QGradient *gradient : {static_cast<QGradient *>(&m_linear), static_cast<QGradient *>(&m_radial)}) {
            const QColor shade(45, 41, 38);
            const std::pair<double, int> stops[] = {{0.0, 90}, {0.4, 60}, {0.6, 25}, {0.75, 10}, {1.0, 0}};
            for (const auto &stop : stops) {
                QColor colour = shade;
                colour.setAlpha(stop.second);
                gradient->setColorAt(stop.first, colour);
            }
        }
    }

    // A strip whose shade fades from `from` toward `to`.
    void fillStrip(QPainter *painter, const QRectF &strip, QPointF from, QPointF to)
    {
        m_linear.setStart(from);
        m_linear.setFinalStop(to);
        painter->fillRect(strip, m_linear);
    }

    // A 16 x 16 corner square whose shade fades out from `centre`.
    void fillCorner(QPainter *painter, QPointF topLeft, QPointF centre)
    {
        m_radial.setCenter(centre);
        m_radial.setFocalPoint(centre);
        painter->fillRect(QRectF(topLeft, QSizeF(16, 16)), m_radial);
    }

    QLinearGradient m_linear;
    QRadialGradient m_radial{QPointF(), 16};
};

ToolSettingsShadowEffect::ToolSettingsShadowEffect(QObject *parent)
    : QGraphicsEffect(parent)
    , d(std::make_unique<ToolSettingsShadowEffectPrivate>())
{
}

ToolSettingsShadowEffect::~ToolSettingsShadowEffect() = default;

bool ToolSettingsShadowEffect::isPocketShown() const
{
    const auto *panel = qobject_cast<const ToolSettings *>(parent());
    return panel && panel->isToolPocketShown();
}

QRectF ToolSettingsShadowEffect::boundingRectFor(const QRectF &sourceRect) const
{
    return sourceRect.adjusted(-10, isPocketShown() ? -8 : 0, 10, 12);
}

void ToolSettingsShadowEffect::draw(QPainter *painter)
{
    QPoint offset;
    const QPixmap source = sourcePixmap(Qt::LogicalCoordinates, &offset, QGraphicsEffect::NoPad);
    // The shadow falls 2 px below the panel.
    const QRectF panel = sourceBoundingRect(Qt::LogicalCoordinates);
    const QRectF s(panel.topLeft() + QPointF(0, 2), panel.size());
    const bool shown = isPocketShown();

    painter->save();
    painter->setPen(Qt::NoPen);
    QRectF left(s.left() - 10, s.top() + 6, 16, s.height() - 12);
    QRectF right(s.right() - 6, s.top() + 6, 16, s.height() - 12);
    if (!shown) {
        left.setTop(left.top() - 8);
        right.setTop(right.top() - 8);
    }
    d->fillStrip(painter, left, left.topRight(), left.topLeft());
    d->fillStrip(painter, right, right.topLeft(), right.topRight());
    if (shown) {
        const QRectF top(s.left() + 6, s.top() - 10, s.width() - 12, 16);
        d->fillStrip(painter, top, top.bottomLeft(), top.topLeft());
    }
    const QRectF bottom(s.left() + 6, s.bottom() - 6, s.width() - 12, 16);
    d->fillStrip(painter, bottom, bottom.topLeft(), bottom.bottomLeft());
    if (shown) {
        d->fillCorner(painter, QPointF(s.left() - 10, s.top() - 10), QPointF(s.left() + 6, s.top() + 6));
        d->fillCorner(painter, QPointF(s.right() - 6, s.top() - 10), QPointF(s.right() - 6, s.top() + 6));
    }
    d->fillCorner(painter, QPointF(s.left() - 10, s.bottom() - 6), QPointF(s.left() + 6, s.bottom() - 6));
    d->fillCorner(painter, QPointF(s.right() - 6, s.bottom() - 6), QPointF(s.right() - 6, s.bottom() - 6));
    painter->restore();

    painter->drawPixmap(offset, source);
}

} // namespace UI
