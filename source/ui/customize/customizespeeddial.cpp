#include "customize/customizespeeddial.h"

#include "customize/actiondrag.h"
#include "style/tooltips.h"
#include "style/uiresources.h"
#include "tools/speeddial.h"
#include "tools/speeddialgeometry.h"

#include "actions/actionmanager.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>
#include <QTimer>

#include <array>
#include <cmath>

namespace UI {

namespace {

using Entry = Model::ActionManager::ActionEntry *;

constexpr int NoSlot = -1;
constexpr double OuterRadius = 89.75;
constexpr double InnerRadius = 46.75;
constexpr int FlashMs = 333;
constexpr int HighlightShadowSide = 100;
const QSize EditorSize(194, 194);
const QPointF Centre(97, 97);
const QSize IconSize(32, 32);

} // namespace

class CustomizeSpeedDial::CustomizeSpeedDialPrivate
{
public:
    CustomizeSpeedDialPrivate()
        : m_wedge(SpeedDialGeometry::wedge(Centre, OuterRadius, InnerRadius))
    {
        registerUiResources();
        m_baseArt.load(QStringLiteral(":/speeddial/quickselectBase.svg"));
        m_shadowArt.load(QStringLiteral(":/speeddial/quickselectShadow.svg"));
        m_highlightShadowArt.load(QStringLiteral(":/speeddial/quickselectHighlightShadow.svg"));
        m_iconFrameArt.load(QStringLiteral(":/customize/iconFrame.svg"));
        m_flashTimer.setSingleShot(true);
        m_flashTimer.setInterval(FlashMs);
        m_slots.fill(nullptr);
    }

    QPainterPath m_wedge;
    QPainterPath m_highlight;
    QSvgRenderer m_baseArt;
    QSvgRenderer m_shadowArt;
    QSvgRenderer m_highlightShadowArt;
    QSvgRenderer m_iconFrameArt;
    QTimer m_flashTimer;
    // Null is an empty slot. The entries belong to the action registry,
    // which outlives every widget.
    std::array<Entry, SpeedDialGeometry::SlotCount> m_slots;
    // The slot under a drag over the editor, the slot a drag from the editor
    // started from, and the slot that has just taken a drop.
    int m_hoveredSlot = NoSlot;
    int m_dragSourceSlot = NoSlot;
    int m_flashSlot = NoSlot;
    ActionDrag::Gesture m_gesture;

    static QPointF slotCentre(int slot)
    {
        return SpeedDialGeometry::slotCentre(Centre, SpeedDialGeometry::IconDistance, slot);
    }

    void aimHighlightAt(QPointF point)
    {
        m_highlight = SpeedDialGeometry::highlight(m_wedge, Centre, SpeedDialGeometry::directionStep(Centre, point));
    }

    void setHoveredSlot(CustomizeSpeedDial *owner, int slot)
    {
        if (slot == m_hoveredSlot)
            return;
        m_hoveredSlot = slot;
        owner->update();
    }
};

CustomizeSpeedDial::CustomizeSpeedDial(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<CustomizeSpeedDialPrivate>())
{
    setAttribute(Qt::WA_NoSystemBackground);
    setFixedSize(EditorSize);
    setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::MinimumExpanding);
    setAcceptDrops(true);
    connect(&d->m_flashTimer, &QTimer::timeout, this, [this] {
        d->m_flashSlot = NoSlot;
        update();
    });
}

CustomizeSpeedDial::~CustomizeSpeedDial() = default;

void CustomizeSpeedDial::setActionList(const QString &list)
{
    const QStringList names = SpeedDial::slotNames(list);
    Model::ActionManager *actions = Model::ActionManager::instance();
    for (int slot = 0; slot < names.size(); ++slot)
        d->m_slots[slot] = actions->actionEntry(names.at(slot));
    update();
}

QString CustomizeSpeedDial::actionList() const
{
    QStringList names;
    for (Entry entry : d->m_slots) {
        const QVariant name = entry && entry->action ? entry->action->property("KLActionName") : QVariant();
        names.append(name.isValid() ? name.toString() : QString());
    }
    return names.join(QLatin1Char('|'));
}

int CustomizeSpeedDial::slotAt(QPointF point)
{
    const double distance = std::hypot(point.x() - Centre.x(), point.y() - Centre.y());
    if (distance < InnerRadius || distance > OuterRadius)
        return NoSlot;
    return SpeedDialGeometry::slotForStep(SpeedDialGeometry::directionStep(Centre, point));
}

void CustomizeSpeedDial::paintShadow(QPainter *painter)
{
    drawArtCentred(*painter, d->m_shadowArt, rect().center());
}

QString CustomizeSpeedDial::startSlotDrag(int slot)
{
    if (slot < 0 || slot >= SpeedDialGeometry::SlotCount || d->m_dragSourceSlot != NoSlot)
        return {};
    const Entry entry = d->m_slots[slot];
    const QVariant name = entry && entry->action ? entry->action->property("KLActionName") : QVariant();
    if (!name.isValid() || name.toString().isEmpty())
        return {};
    d->m_dragSourceSlot = slot;
    update();
    return name.toString();
}

void CustomizeSpeedDial::finishSlotDrag(Qt::DropAction result)
{
    if (d->m_dragSourceSlot == NoSlot)
        return;
    if (result == Qt::MoveAction)
        d->m_slots[d->m_dragSourceSlot] = nullptr;
    d->m_dragSourceSlot = NoSlot;
    update();
}

QSize CustomizeSpeedDial::minimumSizeHint() const
{
    return EditorSize;
}

bool CustomizeSpeedDial::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    auto *help = static_cast<QHelpEvent *>(event);
    const int slot = slotAt(help->pos());
    const Entry entry = slot == NoSlot ? nullptr : d->m_slots[slot];
    return answerToolTip(help, entry && entry->action ? entry->action->toolTip() : QString());
}

void CustomizeSpeedDial::mousePressEvent(QMouseEvent *event)
{
    d->m_gesture.press(event);
}

void CustomizeSpeedDial::mouseMoveEvent(QMouseEvent *event)
{
    if (!d->m_gesture.startsDrag(event))
        return;
    const int slot = slotAt(d->m_gesture.pressPosition());
    const QString name = startSlotDrag(slot);
    if (name.isEmpty())
        return;
    const QPixmap pixmap = ActionDrag::actionPixmap(*d->m_slots[slot]);
    finishSlotDrag(ActionDrag::exec(this, name, true, pixmap, QPoint(16, 16), Qt::MoveAction));
}

void CustomizeSpeedDial::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    d->m_baseArt.render(&painter, QRectF(QPointF(0, 0), QSizeF(d->m_baseArt.defaultSize())));

    const int lit = d->m_hoveredSlot != NoSlot ? d->m_hoveredSlot : d->m_flashSlot;
    if (lit != NoSlot) {
        QRectF shadow(0, 0, HighlightShadowSide, HighlightShadowSide);
        shadow.moveCenter(d->slotCentre(lit));
        d->m_highlightShadowArt.render(&painter, shadow);
        painter.fillPath(d->m_highlight, QColor(221, 216, 213));
    }

    for (int slot = 0; slot < SpeedDialGeometry::SlotCount; ++slot) {
        const Entry entry = d->m_slots[slot];
        const QPointF centre = d->slotCentre(slot);
        if (slot == d->m_hoveredSlot || slot == d->m_dragSourceSlot || !entry || !entry->action) {
            drawArtCentred(painter, d->m_iconFrameArt, centre);
            continue;
        }
        painter.save();
        if (!entry->action->isEnabled())
            painter.setOpacity(painter.opacity() * 0.3);
        QRectF iconRect(QPointF(0, 0), QSizeF(IconSize));
        iconRect.moveCenter(centre);
        entry->defaultIcon.paint(&painter, iconRect.toRect(), Qt::AlignCenter, QIcon::Normal, QIcon::Off);
        painter.restore();
    }
}

void CustomizeSpeedDial::dragEnterEvent(QDragEnterEvent *event)
{
    if (ActionDrag::read(event->mimeData()).entry)
        event->acceptProposedAction();
    else
        event->ignore();
}

void CustomizeSpeedDial::dragMoveEvent(QDragMoveEvent *event)
{
    const int slot = slotAt(event->position());
    if (slot != NoSlot)
        event->acceptProposedAction();
    else
        event->ignore();
    if (slot != d->m_hoveredSlot) {
        d->aimHighlightAt(event->position());
        d->setHoveredSlot(this, slot);
    }
}

void CustomizeSpeedDial::dragLeaveEvent(QDragLeaveEvent *)
{
    d->setHoveredSlot(this, NoSlot);
}

void CustomizeSpeedDial::dropEvent(QDropEvent *event)
{
    const int slot = slotAt(event->position());
    const ActionDrag::Payload payload = ActionDrag::read(event->mimeData());
    if (slot != NoSlot && slot != d->m_dragSourceSlot && payload.entry) {
        event->acceptProposedAction();
        d->m_slots[slot] = payload.entry;
        d->aimHighlightAt(event->position());
        d->m_flashSlot = slot;
        d->m_flashTimer.start();
        update();
    } else {
        event->ignore();
    }
    d->setHoveredSlot(this, NoSlot);
}

} // namespace UI
