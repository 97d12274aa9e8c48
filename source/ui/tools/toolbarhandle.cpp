#include "tools/toolbarhandle.h"

#include "style/uiresources.h"

#include "settings/settings.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

namespace UI {

class ToolBarHandle::ToolBarHandlePrivate
{
public:
    KL::ToolBarPosition m_position = KL::ToolBarPosition::Left;
    bool m_opened = false;
    QPoint m_leftCenter;
    QPoint m_rightCenter;
    QSvgRenderer m_openArt;
    QSvgRenderer m_closeArt;
    QSize m_closedSize;
    QSize m_openedSize;
    float m_scale = 1.0f;

    ToolBarHandlePrivate()
    {
        registerUiResources();
        m_openArt.load(QStringLiteral(":/toolbar/toolbarOpen.svg"));
        m_closeArt.load(QStringLiteral(":/toolbar/toolbarClose.svg"));
    }

    void computeSizes()
    {
        m_scale = Model::Settings::instance()->UIScale();
        m_closedSize = QSize(int(23 * m_scale), int(15 * m_scale));
        m_openedSize = QSize(int(32 * m_scale), int(15 * m_scale));
    }
};

ToolBarHandle::ToolBarHandle(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<ToolBarHandlePrivate>())
{
    d->computeSizes();
    setFocusPolicy(Qt::ClickFocus);
    layOut();
}

ToolBarHandle::~ToolBarHandle() = default;

bool ToolBarHandle::isOpened() const
{
    return d->m_opened;
}

KL::ToolBarPosition ToolBarHandle::handlePosition() const
{
    return d->m_position;
}

void ToolBarHandle::updateUISize()
{
    d->computeSizes();
    layOut();
    update();
    updateGeometry();
}

void ToolBarHandle::moveLeftAndRightCenter(QPoint leftCenter, QPoint rightCenter)
{
    d->m_leftCenter = leftCenter;
    d->m_rightCenter = rightCenter;
    layOut();
}

void ToolBarHandle::setOpened(bool opened)
{
    d->m_opened = opened;
    layOut();
}

void ToolBarHandle::setHandlePosition(KL::ToolBarPosition position)
{
    if (d->m_position == position)
        return;
    d->m_position = position;
    layOut();
}

void ToolBarHandle::layOut()
{
    if (d->m_opened) {
        resize(d->m_openedSize);
        setToolTip(tr("Hide Tool Bar"));
    } else {
        resize(d->m_closedSize);
        setToolTip(tr("Show Tool Bar"));
    }
    if (d->m_position == KL::ToolBarPosition::Right)
        move(d->m_rightCenter.x() - width(), d->m_rightCenter.y() - height() / 2);
    else
        move(d->m_leftCenter.x(), d->m_leftCenter.y() - height() / 2);
    update();
}

void ToolBarHandle::mouseReleaseEvent(QMouseEvent *event)
{
    // Only the part away from the window edge counts.
    const float x = float(std::lround(event->position().x()));
    const float s = d->m_scale;
    bool counts;
    if (d->m_opened)
        counts = x >= int(9 * s) && x <= int(23 * s);
    else if (d->m_position == KL::ToolBarPosition::Right)
        counts = x <= int(14 * s);
    else
        counts = x >= int(9 * s);
    if (!counts) {
        event->ignore();
        return;
    }
    d->m_opened = !d->m_opened;
    layOut();
    Q_EMIT toggled(d->m_opened);
    event->accept();
}

void ToolBarHandle::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (d->m_opened) {
        d->m_closeArt.render(&painter, QRectF(QPointF(0, 0), QSizeF(d->m_openedSize)));
    } else if (d->m_position == KL::ToolBarPosition::Right) {
        d->m_openArt.render(&painter, QRectF(QPointF(0, 0), QSizeF(d->m_closedSize)));
    } else {
        // The same tab, turned to face the other edge.
        painter.rotate(180);
        painter.translate(-d->m_closedSize.width(), -d->m_closedSize.height());
        d->m_openArt.render(&painter, QRectF(QPointF(0, 0), QSizeF(d->m_closedSize)));
    }
}

} // namespace UI
