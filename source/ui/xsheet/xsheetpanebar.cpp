#include "xsheet/xsheetpanebar.h"

#include "style/tooltips.h"
#include "style/uiresources.h"
#include "xsheet/xsheetchrome.h"
#include "xsheet/xsheetpane.h"

#include "actions/actionmanager.h"
#include "settings/settings.h"

#include <QAction>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QSvgRenderer>

#include <cmath>

namespace UI {

class XSheetPaneBarPrivate
{
public:
    explicit XSheetPaneBarPrivate(XSheetPaneBar *owner)
        : q(owner)
    {
        registerUiResources();
        m_clickImage.load(QStringLiteral(":/toolsettings/icon-click-darkBG.svg"));
        m_hoverImage.load(QStringLiteral(":/toolsettings/icon-hover-darkBG.svg"));
    }

    void addAction(KL::Action id)
    {
        QAction *action = Model::ActionManager::instance()->action(id);
        m_actions.append(action);
        if (action)
            QObject::connect(action, &QAction::changed, q, qOverload<>(&QWidget::update));
    }

    int count() const { return int(m_actions.size()); }
    int leftCount() const { return m_leftCount < 0 ? count() - m_middleCount : m_leftCount; }
    int rightCount() const { return m_leftCount < 0 ? 0 : count() - m_middleCount - m_leftCount; }

    void updateMetrics()
    {
        const float s = Model::Settings::instance()->UIScale();
        m_k = 2.0 * s / 3.0;
        m_height = int(44 * s - 1);
        m_halfPitch = m_halfHitHeight = int(16 * m_k);
        m_pitch = m_buttonSize = int(32 * m_k);
        m_gap = int(3 * s);
        m_margin = int(8 * s);
        m_centreY = m_height / 2;
        m_background = SheetChrome::bandGradient(1, m_height);
        q->setFixedHeight(m_height);
        q->setMinimumWidth((leftCount() + rightCount()) * m_pitch + 2);
        layout(q->width());
    }

    void layout(int width)
    {
        m_width = width;
        m_leftWidth = leftCount() * m_pitch;
        m_middleWidth = m_middleCount * m_pitch;
        m_rightWidth = rightCount() * m_pitch;
        m_middleSpace = width - m_rightWidth - m_leftWidth;
    }

    bool isMiddle(int i) const { return i >= leftCount() && i < leftCount() + m_middleCount; }
    bool middleShown() const { return m_middleSpace > m_middleWidth + 2 * m_margin; }
    bool isPositioned(int i) const { return i >= 0 && i < count() && (!isMiddle(i) || middleShown()); }

    // The left edge of a positioned button.
    int buttonLeft(int i) const
    {
        if (i < leftCount())
            return i * m_pitch + 1;
        if (!isMiddle(i))
            return m_width - (count() - i) * m_pitch - 1;
        return (m_middleSpace - m_middleWidth) / 2 + (i - leftCount()) * m_pitch + m_gap + m_leftWidth;
    }

    QPointF centre(int i) const { return QPointF(m_halfPitch + buttonLeft(i), m_centreY); }

    int buttonAt(QPointF point) const
    {
        if (m_pitch <= 0 || point.y() < m_centreY - m_halfHitHeight || point.y() > m_centreY + m_halfHitHeight
            || point.x() < 1)
            return -1;
        const int x = int(std::lround(point.x()));
        const int left = (x - 1) / m_pitch;
        if (left >= 0 && left < leftCount())
            return left;
        if (middleShown() && m_middleCount > 0) {
            const int dx = x - buttonLeft(leftCount());
            if (dx >= 0 && dx / m_pitch < m_middleCount)
                return leftCount() + dx / m_pitch;
        }
        const int firstRight = leftCount() + m_middleCount;
        if (rightCount() > 0) {
            const int dx = x - buttonLeft(firstRight);
            if (dx >= 0 && dx / m_pitch < rightCount())
                return firstRight + dx / m_pitch;
        }
        return -1;
    }

    bool isEnabled(int i) const { return isPositioned(i) && m_actions.at(i) && m_actions.at(i)->isEnabled(); }

    void setHovered(QPointF point)
    {
        const int hovered = buttonAt(point);
        if (hovered == m_hovered)
            return;
        m_hovered = hovered;
        q->update();
    }

    // An image at its own size times k, centred on a point.
    void renderAt(QPainter *painter, QSvgRenderer &image, QPointF centre) const
    {
        const QSize size = (QSizeF(image.defaultSize()) * m_k).toSize();
        QRectF target(QPointF(), size);
        target.moveCenter(centre);
        image.render(painter, target);
    }

    XSheetPaneBar *q;
    QLinearGradient m_background;
    QSvgRenderer m_clickImage;
    QSvgRenderer m_hoverImage;
    // In units of k.
    QPointF m_clickImageOffset{0, 2};
    QPointF m_hoverImageOffset{0, 0};
    int m_hovered = -1;
    int m_pressed = -1;
    double m_k = 1.0;
    int m_height = 43;
    int m_halfPitch = 16;
    int m_pitch = 32;
    int m_halfHitHeight = 16;
    int m_buttonSize = 32;
    int m_centreY = 21;
    int m_width = 0;
    int m_leftWidth = 0;
    int m_middleWidth = 0;
    int m_rightWidth = 0;
    int m_middleSpace = 0;
    int m_gap = 3;
    int m_margin = 8;
    // The registry owns the actions; a missing one leaves its place empty.
    QList<QPointer<QAction>> m_actions;
    int m_leftCount = -1;
    int m_middleCount = 0;
};

XSheetPaneBar::XSheetPaneBar(XSheetPane *parent)
    : QWidget(parent)
    , d(std::make_unique<XSheetPaneBarPrivate>(this))
{
    setAttribute(Qt::WA_MouseTracking);
    for (KL::Action id : {KL::Action::AddClonesMode, KL::Action::SlideMode})
        d->addAction(id);
    d->m_leftCount = 2;
    for (KL::Action id : {KL::Action::AddBlankDrawing, KL::Action::ClearDrawingMakingBlank, KL::Action::DiscardDrawing})
        d->addAction(id);
    d->m_middleCount = 3;
    for (KL::Action id : {KL::Action::NewLayer, KL::Action::DuplicateActiveLayer, KL::Action::DiscardActiveLayer,
                          KL::Action::MergeLayerDown})
        d->addAction(id);
    d->updateMetrics();
    update();
    updateGeometry();
}

XSheetPaneBar::~XSheetPaneBar() = default;

void XSheetPaneBar::updateUISize()
{
    d->updateMetrics();
    update();
    updateGeometry();
}

bool XSheetPaneBar::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    auto *help = static_cast<QHelpEvent *>(event);
    const int button = d->buttonAt(help->pos());
    const QAction *action = button >= 0 ? d->m_actions.at(button).data() : nullptr;
    return answerToolTip(help, action ? action->toolTip() : QString());
}

void XSheetPaneBar::mousePressEvent(QMouseEvent *event)
{
    d->m_pressed = d->buttonAt(event->position());
    d->setHovered(event->position());
    update();
}

void XSheetPaneBar::mouseReleaseEvent(QMouseEvent *event)
{
    const int pressed = d->m_pressed;
    d->m_pressed = -1;
    if (pressed >= 0 && d->buttonAt(event->position()) == pressed && d->isEnabled(pressed))
        d->m_actions.at(pressed)->activate(QAction::Trigger);
    d->setHovered(event->position());
    update();
}

void XSheetPaneBar::mouseMoveEvent(QMouseEvent *event)
{
    d->setHovered(event->position());
}

void XSheetPaneBar::leaveEvent(QEvent *event)
{
    if (d->m_hovered != -1) {
        d->m_hovered = -1;
        update();
    }
    QWidget::leaveEvent(event);
}

void XSheetPaneBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    d->layout(width());
}

void XSheetPaneBar::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    const int w = width();
    painter.setPen(QPen(SheetChrome::lineColor(), devicePixelRatioF()));
    painter.drawLine(QPointF(0, 0), QPointF(w, 0));
    painter.fillRect(QRectF(0, 1, w, d->m_height - 1), d->m_background);

    for (int i = 0; i < d->count(); ++i) {
        const QAction *action = d->m_actions.at(i);
        if (!d->isEnabled(i))
            continue;
        if (action->isChecked() || (i == d->m_pressed && i == d->m_hovered))
            d->renderAt(&painter, d->m_clickImage, d->centre(i) + d->m_clickImageOffset * d->m_k);
    }

    for (int i = 0; i < d->count(); ++i) {
        const QAction *action = d->m_actions.at(i);
        if (!d->isPositioned(i) || !action)
            continue;
        QRectF square(QPointF(), QSizeF(d->m_buttonSize, d->m_buttonSize));
        square.moveCenter(d->centre(i));
        painter.save();
        if (!action->isEnabled())
            painter.setOpacity(0.3 * painter.opacity());
        action->icon().paint(&painter, square.toAlignedRect(), Qt::AlignCenter, QIcon::Normal, QIcon::Off);
        painter.restore();
    }

    const int hovered = d->m_pressed >= 0 ? d->m_pressed : d->m_hovered;
    if (d->isEnabled(hovered))
        d->renderAt(&painter, d->m_hoverImage, d->centre(hovered) + d->m_hoverImageOffset * d->m_k);
}

} // namespace UI
