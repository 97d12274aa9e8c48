#include "customize/draggablespacer.h"

#include "customize/actiondrag.h"
#include "style/uiresources.h"
#include "tools/toolbarlayout.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

namespace UI {

class DraggableSpacer::DraggableSpacerPrivate
{
public:
    DraggableSpacerPrivate()
    {
        registerUiResources();
        m_wellArt.load(QStringLiteral(":/customize/iconSpacer.svg"));
        m_hoverArt.load(QStringLiteral(":/toolbar/icon-hover.svg"));
    }

    QSvgRenderer m_wellArt;
    QSvgRenderer m_hoverArt;
    QPointF m_hoverOffset{1.0, 1.0};
    ActionDrag::Gesture m_gesture;
    bool m_hovered = false;
};

DraggableSpacer::DraggableSpacer(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<DraggableSpacerPrivate>())
{
    setFixedSize(d->m_hoverArt.defaultSize());
    setMouseTracking(true);
}

DraggableSpacer::~DraggableSpacer() = default;

void DraggableSpacer::mousePressEvent(QMouseEvent *event)
{
    d->m_gesture.press(event);
}

void DraggableSpacer::mouseMoveEvent(QMouseEvent *event)
{
    if (!d->m_gesture.startsDrag(event))
        return;
    ActionDrag::exec(this, ToolBarLayout::SpacerName, true, ActionDrag::spacerPixmap(), QPoint(16, 8),
                     Qt::CopyAction);
}

void DraggableSpacer::enterEvent(QEnterEvent *)
{
    d->m_hovered = true;
    update();
}

void DraggableSpacer::leaveEvent(QEvent *)
{
    d->m_hovered = false;
    update();
}

void DraggableSpacer::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPointF centre = QRectF(rect()).center();
    drawArtCentred(painter, d->m_wellArt, centre);
    if (d->m_hovered)
        drawArtCentred(painter, d->m_hoverArt, centre + d->m_hoverOffset);
}

} // namespace UI
