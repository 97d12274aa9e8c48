#include "tools/presettoolbuttonshadoweffect.h"

#include "style/uiresources.h"
#include "tools/presettoolbutton.h"

#include <QPainter>
#include <QSvgRenderer>

namespace UI {

class PresetToolButtonShadowEffect::PresetToolButtonShadowEffectPrivate
{
public:
    PresetToolButtonShadowEffectPrivate()
    {
        registerUiResources();
        m_hoverImage.load(QStringLiteral(":/toolsettings/icon-hover-darkBG.svg"));
        m_clickImage.load(QStringLiteral(":/toolsettings/icon-click-darkBG.svg"));
    }

    // An image's rectangle at the scale, centred on the source's centre
    // moved by the offset (in units of the scale).
    QRectF imageRect(const QSvgRenderer &image, QPointF offset, const QRectF &source) const
    {
        return artRectCentred(image, source.center() + offset * m_scale, m_scale);
    }

    QSvgRenderer m_hoverImage;
    QPointF m_hoverOffset{0, 0};
    QSvgRenderer m_clickImage;
    QPointF m_clickOffset{0, 2};
    double m_scale = 1.0;
};

PresetToolButtonShadowEffect::PresetToolButtonShadowEffect(QObject *parent)
    : QGraphicsEffect(parent)
    , d(std::make_unique<PresetToolButtonShadowEffectPrivate>())
{
}

PresetToolButtonShadowEffect::~PresetToolButtonShadowEffect() = default;

double PresetToolButtonShadowEffect::scale() const
{
    return d->m_scale;
}

void PresetToolButtonShadowEffect::setScale(double scale)
{
    d->m_scale = scale;
    updateBoundingRect();
}

QRectF PresetToolButtonShadowEffect::boundingRectFor(const QRectF &sourceRect) const
{
    return d->imageRect(d->m_hoverImage, d->m_hoverOffset, sourceRect)
        .united(d->imageRect(d->m_clickImage, d->m_clickOffset, sourceRect))
        .united(sourceRect);
}

void PresetToolButtonShadowEffect::draw(QPainter *painter)
{
    QPoint offset;
    const QPixmap pixmap = sourcePixmap(Qt::LogicalCoordinates, &offset, QGraphicsEffect::NoPad);
    const QRectF source = sourceBoundingRect(Qt::LogicalCoordinates);
    // Placed relative to the source, wherever the painter puts it.
    const QPointF shift = QPointF(offset) - source.topLeft();
    const auto *button = qobject_cast<const PresetToolButton *>(parent());
    if (button && button->isDown())
        d->m_clickImage.render(painter, d->imageRect(d->m_clickImage, d->m_clickOffset, source).translated(shift));
    painter->drawPixmap(offset, pixmap);
    if (button && button->underMouse())
        d->m_hoverImage.render(painter, d->imageRect(d->m_hoverImage, d->m_hoverOffset, source).translated(shift));
}

} // namespace UI
