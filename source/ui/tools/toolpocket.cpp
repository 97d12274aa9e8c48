#include "tools/toolpocket.h"

#include "style/tooltips.h"
#include "style/uiresources.h"

#include "settings/settings.h"

#include <QAction>
#include <QHelpEvent>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QSvgRenderer>

#include <cmath>

namespace UI {

class ToolPocket::ToolPocketPrivate
{
public:
    explicit ToolPocketPrivate(ToolPocket *owner)
        : m_owner(owner)
    {
        registerUiResources();
        m_lineArt.load(QStringLiteral(":/toolpocket/controlsbarToolLine.svg"));
        m_wideLineArt.load(QStringLiteral(":/toolpocket/controlsbarToolLineWide.svg"));
        m_shadowArt.load(QStringLiteral(":/toolpocket/penpresetShadow.svg"));
        m_highlightArt.load(QStringLiteral(":/toolpocket/penpresetHighlight.svg"));
        computeMetrics();
    }

    QSize m_iconSize;
    ToolPocket *m_owner;
    QSvgRenderer m_lineArt;
    QSvgRenderer m_wideLineArt;
    QSvgRenderer m_shadowArt;
    QSvgRenderer m_highlightArt;
    // The registry owns the actions; a deleted one leaves an empty slot.
    QPointer<QAction> m_slots[SlotCount];
    int m_pressed = -1;
    int m_hovered = -1;
    bool m_shownInPanel = false;
    float m_scale = 1.0f;
    int m_normalHeight = 44;
    int m_panelHeight = 57;
    int m_slotWidth = 40;
    int m_gap = 8;
    int m_iconInset = 4;
    int m_shadowInset = 25;
    int m_highlightInset = 20;
    int m_bottomMargin = 7;
    int m_lineMargin = 12;
    PressFilter m_pressFilter;

    void computeMetrics()
    {
        const float s = Model::Settings::instance()->UIScale();
        m_scale = s;
        m_iconSize = QSize(int(32 * s), int(32 * s));
        m_normalHeight = int(44 * s);
        m_panelHeight = int(57 * s);
        m_slotWidth = int(40 * s);
        m_gap = int(8 * s);
        m_iconInset = int(4 * s);
        m_shadowInset = int(25 * s);
        m_highlightInset = int(20 * s);
        m_bottomMargin = int(7 * s);
        m_lineMargin = int(12 * s);
    }

    int rowLeft() const { return (m_owner->width() - SlotCount * m_slotWidth) / 2; }
    int baseLine() const { return m_owner->height() - m_bottomMargin; }

    // Anything below the pocket's rim counts, down to the widget's edge.
    int slotAt(QPoint point) const
    {
        if (point.y() < baseLine() - m_slotWidth)
            return -1;
        const int x = point.x() - rowLeft();
        if (x < 0)
            return -1;
        const int slot = x / m_slotWidth;
        return slot < SlotCount ? slot : -1;
    }

    int slotAt(QPointF point) const
    {
        return slotAt(QPoint(int(std::lround(point.x())), int(std::lround(point.y()))));
    }

    void drawArt(QPainter &painter, QSvgRenderer &art, QPointF centre) const
    {
        QRectF rect(QPointF(), QSizeF(art.viewBoxF().size()) * m_scale);
        rect.moveCenter(centre);
        art.render(&painter, rect);
    }
};

ToolPocket::ToolPocket(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<ToolPocketPrivate>(this))
{
    applySize();
    setAttribute(Qt::WA_MouseTracking);
    setAttribute(Qt::WA_TabletTracking);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
}

ToolPocket::~ToolPocket() = default;

void ToolPocket::applySize()
{
    setMinimumSize(SlotCount * d->m_slotWidth + 2 * d->m_gap,
                   d->m_shownInPanel ? d->m_panelHeight : d->m_normalHeight);
    setMaximumHeight(d->m_panelHeight);
}

void ToolPocket::setAction(int slot, QAction *action)
{
    if (slot < 0 || slot >= SlotCount)
        return;
    if (QAction *old = d->m_slots[slot]) {
        disconnect(old, nullptr, this, nullptr);
        disconnect(this, nullptr, old, nullptr);
    }
    d->m_slots[slot] = action;
    if (action)
        connect(action, &QAction::toggled, this, qOverload<>(&QWidget::update));
    update();
}

QAction *ToolPocket::action(int slot) const
{
    return slot >= 0 && slot < SlotCount ? d->m_slots[slot].data() : nullptr;
}

QPoint ToolPocket::anchorPoint() const
{
    return mapToGlobal(QPoint(width() / 2, height() + 1));
}

void ToolPocket::setShownInPanel(bool shownInPanel)
{
    // Kept, so that a change of the UI scale keeps the panel's height.
    d->m_shownInPanel = shownInPanel;
    setMinimumHeight(shownInPanel ? d->m_panelHeight : d->m_normalHeight);
}

void ToolPocket::updateUISize()
{
    d->computeMetrics();
    applySize();
    update();
    updateGeometry();
}

bool ToolPocket::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    auto *help = static_cast<QHelpEvent *>(event);
    const QAction *action = this->action(d->slotAt(help->pos()));
    return answerToolTip(help, action ? action->toolTip() : QString());
}

void ToolPocket::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    Q_EMIT focusReceived();
}

void ToolPocket::enterEvent(QEnterEvent *event)
{
    // Not the drawing tool's cursor of the paper beneath.
    setCursor(Qt::ArrowCursor);
    QWidget::enterEvent(event);
}

void ToolPocket::leaveEvent(QEvent *event)
{
    d->m_hovered = -1;
    update();
    QWidget::leaveEvent(event);
}

void ToolPocket::mouseMoveEvent(QMouseEvent *event)
{
    const int hovered = d->slotAt(event->position());
    const bool changed = hovered != d->m_hovered;
    d->m_hovered = hovered;
    if (d->m_pressed == -1 && hovered == -1) {
        if (changed)
            update();
        event->ignore();
        return;
    }
    event->accept();
    update();
}

void ToolPocket::mousePressEvent(QMouseEvent *event)
{
    if (d->m_pressFilter.isDoubledPress(event->timestamp())) {
        event->accept();
        return;
    }
    setFocus(Qt::OtherFocusReason);
    d->m_pressed = d->slotAt(event->position());
    mouseMoveEvent(event);
    event->accept();
    d->m_pressFilter.remember(event->timestamp());
}

void ToolPocket::mouseReleaseEvent(QMouseEvent *event)
{
    mouseMoveEvent(event);
    const int slot = d->m_pressed;
    d->m_pressed = -1;
    if (slot != -1 && slot == d->m_hovered) {
        if (QAction *action = d->m_slots[slot]) {
            action->activate(QAction::Trigger);
            Q_EMIT pressed(slot);
        }
    }
    event->accept();
    d->m_pressFilter.remember(event->timestamp());
    update();
}

void ToolPocket::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const int baseLine = d->baseLine();
    const int available = width() - 2 * d->m_lineMargin;
    QSvgRenderer &line = available >= d->m_lineArt.viewBoxF().width() ? d->m_lineArt : d->m_wideLineArt;
    QRectF lineRect = line.viewBoxF();
    lineRect.setWidth(available);
    lineRect.moveBottomLeft(QPointF(d->m_lineMargin, baseLine));
    line.render(&painter, lineRect);

    const int left = d->rowLeft();
    const double s = d->m_scale;
    for (int slot = 0; slot < SlotCount; ++slot) {
        QAction *action = d->m_slots[slot];
        if (!action)
            continue;
        const int slotLeft = left + slot * d->m_slotWidth;
        const bool checked = action->isChecked();
        if (checked) {
            QRectF shadow(QPointF(), d->m_shadowArt.viewBoxF().size() * s);
            shadow.moveBottom(baseLine);
            shadow.moveLeft(slotLeft + d->m_shadowInset - shadow.width() / 2);
            d->m_shadowArt.render(&painter, shadow);
        }
        // Unchosen icons sink below the rim, where they are clipped away,
        // and rise by 2 px (times the scale) under the pointer.
        int bottom;
        if (checked)
            bottom = baseLine - 1;
        else if (slot == d->m_hovered)
            bottom = int(baseLine + 3 * s);
        else
            bottom = int(baseLine + 5 * s);
        QRect icon(QPoint(), d->m_iconSize);
        icon.moveBottomLeft(QPoint(slotLeft + d->m_iconInset, bottom));
        painter.save();
        painter.setClipRect(QRect(0, 0, width(), baseLine), Qt::ReplaceClip);
        action->icon().paint(&painter, icon, Qt::AlignCenter, QIcon::Normal, QIcon::Off);
        painter.restore();
        if (checked)
            d->drawArt(painter, d->m_highlightArt, QPointF(slotLeft + d->m_highlightInset, baseLine - 17 * s));
    }
}

void ToolPocket::tabletEvent(QTabletEvent *event)
{
    sendTabletAsMouse(this, event);
}

} // namespace UI
