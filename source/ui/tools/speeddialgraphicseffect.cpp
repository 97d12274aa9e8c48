#include "tools/speeddialgraphicseffect.h"

#include "style/uiresources.h"
#include "tools/speeddial.h"
#include "tools/speeddialgeometry.h"

#include "settings/settings.h"

#include <QAction>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QSvgRenderer>
#include <QTextDocument>
#include <QTextOption>

#include <cmath>

namespace UI {

namespace {

// How far a pointer that opened the dial outside its centre must move
// before the dial follows it.
constexpr double WakeDistance = 5.0;
constexpr double Pi = 3.14159265358979323846;
const QColor LightColor(221, 216, 213);

double distance(QPointF a, QPointF b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

} // namespace

class SpeedDialGraphicsEffect::SpeedDialGraphicsEffectPrivate
{
public:
    SpeedDial *m_dial = nullptr;
    float m_scale = 1.0f;
    double m_outerRadius = 89.75;
    double m_innerRadius = 46.75;
    QPainterPath m_highlight;
    QPainterPath m_wedge;
    QSize m_iconSize{32, 32};
    QSvgRenderer m_highlightShadowArt;
    QSvgRenderer m_shadowArt;
    QSize m_shadowSize{387, 387};
    QPointF m_shadowOffset{-93, -88};
    QPointF m_centre{97, 97};
    QColor m_lineColor{44, 125, 44};
    double m_lineWidth = 2.5;
    QPointF m_pointer;
    QPointF m_start;
    // Radians, counter-clockwise from the right with y up, a multiple of
    // pi / 4; m_step is that multiple.
    double m_direction = 0.0;
    int m_step = 0;
    bool m_armed = false;
    bool m_outside = false;
    bool m_waiting = false;
    int m_selectedSlot = -1;
    bool m_hintShown = true;
    QTextDocument m_hint;
    // Deleted actions leave empty slots.
    QPointer<QAction> m_slots[SlotCount];

    SpeedDialGraphicsEffectPrivate()
    {
        registerUiResources();
        m_highlightShadowArt.load(QStringLiteral(":/speeddial/quickselectHighlightShadow.svg"));
        m_shadowArt.load(QStringLiteral(":/speeddial/quickselectShadow.svg"));
        QTextOption option = m_hint.defaultTextOption();
        option.setAlignment(Qt::AlignCenter);
        m_hint.setDefaultTextOption(option);
        m_hint.setDocumentMargin(10.0);
        m_hint.setDefaultStyleSheet(QStringLiteral("p{color:#DDD8D5;margin:1ex}"));
    }

    int hoveredSlot() const { return SpeedDialGeometry::slotForStep(m_step); }

    QPointF iconCentre(int slot) const
    {
        return SpeedDialGeometry::slotCentre(m_centre, SpeedDialGeometry::IconDistance * m_scale, slot);
    }

    QAction *enabledAction(int slot) const
    {
        QAction *action = m_slots[slot];
        return action && action->isEnabled() ? action : nullptr;
    }

    void aimAt(QPointF point)
    {
        // A pointer on a boundary between two slots takes the one farther
        // round.
        m_step = SpeedDialGeometry::directionStep(m_centre, point);
        m_direction = m_step * Pi / 4;
        rebuildHighlight();
    }

    void rebuildHighlight() { m_highlight = SpeedDialGeometry::highlight(m_wedge, m_centre, m_step); }

    void rebuildWedge() { m_wedge = SpeedDialGeometry::wedge(m_centre, m_outerRadius, m_innerRadius); }

    void drawHighlight(QPainter *painter, int slot)
    {
        const int side = int(100 * m_scale);
        QRectF shadow(0, 0, side, side);
        shadow.moveCenter(iconCentre(slot));
        m_highlightShadowArt.render(painter, shadow);
        painter->fillPath(m_highlight, LightColor);
    }

    void drawIcon(QPainter *painter, int slot)
    {
        QAction *action = m_slots[slot];
        if (!action)
            return;
        QRectF rect(QPointF(0, 0), QSizeF(m_iconSize));
        rect.moveCenter(iconCentre(slot));
        action->icon().paint(painter, rect.toRect(), Qt::AlignCenter, QIcon::Normal, QIcon::Off);
    }
};

SpeedDialGraphicsEffect::SpeedDialGraphicsEffect(SpeedDial *dial)
    : QGraphicsEffect(dial)
    , d(std::make_unique<SpeedDialGraphicsEffectPrivate>())
{
    d->m_dial = dial;
    updateMetrics();
}

SpeedDialGraphicsEffect::~SpeedDialGraphicsEffect() = default;

void SpeedDialGraphicsEffect::updateMetrics()
{
    const float s = Model::Settings::instance()->UIScale();
    d->m_scale = s;
    d->m_outerRadius = 89.75 * s;
    d->m_innerRadius = 46.75 * s;
    d->m_iconSize = QSize(int(32 * s), int(32 * s));
    d->m_shadowSize = QSize(int(387 * s), int(387 * s));
    d->m_shadowOffset = QPointF(-93 * s, -88 * s);
    d->m_centre = QPointF(97 * s, 97 * s);
    d->rebuildWedge();
    d->rebuildHighlight();
    update();
}

QRectF SpeedDialGraphicsEffect::boundingRectFor(const QRectF &rect) const
{
    // The shadow and the hint reach beyond the dial: the effect may paint
    // over its whole window.
    return QRectF(rect.topLeft() - QPointF(d->m_dial->pos()), QSizeF(d->m_dial->window()->size()));
}

void SpeedDialGraphicsEffect::press(QPointF point)
{
    if (distance(point, d->m_centre) < d->m_innerRadius) {
        d->m_armed = true;
        d->m_selectedSlot = -1;
        d->m_waiting = false;
    }
}

void SpeedDialGraphicsEffect::open(QPointF point)
{
    if (distance(point, d->m_centre) >= d->m_innerRadius) {
        d->m_armed = true;
        d->m_selectedSlot = -1;
        d->m_waiting = true;
        d->m_start = point;
    } else {
        moveTo(point);
    }
}

void SpeedDialGraphicsEffect::moveTo(QPointF point)
{
    if (d->m_armed && d->m_waiting && distance(point, d->m_start) > WakeDistance)
        d->m_waiting = false;
    if (!isTracking())
        return;
    d->m_outside = distance(point, d->m_centre) >= d->m_innerRadius;
    d->m_pointer = point;
    d->aimAt(point);
}

QAction *SpeedDialGraphicsEffect::take(bool record)
{
    QAction *action = nullptr;
    if (isTracking() && d->m_outside) {
        const int slot = d->hoveredSlot();
        action = d->enabledAction(slot);
        if (action && record)
            d->m_selectedSlot = slot;
    }
    d->m_armed = false;
    d->m_outside = false;
    return action;
}

void SpeedDialGraphicsEffect::reset()
{
    d->m_selectedSlot = -1;
}

void SpeedDialGraphicsEffect::setSlotAction(int slot, QAction *action)
{
    if (slot < 0 || slot >= SlotCount)
        return;
    d->m_slots[slot] = action;
    update();
}

QAction *SpeedDialGraphicsEffect::slotAction(int slot) const
{
    return slot >= 0 && slot < SlotCount ? d->m_slots[slot].data() : nullptr;
}

void SpeedDialGraphicsEffect::setHintText(const QString &html)
{
    d->m_hint.setHtml(html);
    d->m_hint.adjustSize();
    update();
}

void SpeedDialGraphicsEffect::setHintShown(bool shown)
{
    d->m_hintShown = shown;
    update();
}

QString SpeedDialGraphicsEffect::toolTipText(QPoint point) const
{
    const double r = distance(point, d->m_centre);
    if (r < d->m_innerRadius)
        return tr("Select nothing");
    if (r > d->m_outerRadius)
        return {};
    const int step = SpeedDialGeometry::directionStep(d->m_centre, point);
    QAction *action = d->m_slots[SpeedDialGeometry::slotForStep(step)];
    return action ? action->toolTip() : QString();
}

bool SpeedDialGraphicsEffect::isTracking() const
{
    return d->m_armed && !d->m_waiting;
}

void SpeedDialGraphicsEffect::draw(QPainter *painter)
{
    painter->save();
    if (d->m_selectedSlot != -1) {
        // Feedback: the chosen slot alone.
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        d->drawHighlight(painter, d->m_selectedSlot);
        d->drawIcon(painter, d->m_selectedSlot);
        painter->restore();
        return;
    }

    QPoint offset;
    const QPixmap source = sourcePixmap(Qt::LogicalCoordinates, &offset, QGraphicsEffect::NoPad);
    d->m_shadowArt.render(painter, QRectF(QPointF(offset) + d->m_shadowOffset, QSizeF(d->m_shadowSize)));
    painter->drawPixmap(offset, source);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);

    if (d->m_outside && d->enabledAction(d->hoveredSlot()))
        d->drawHighlight(painter, d->hoveredSlot());

    for (int slot = 0; slot < SlotCount; ++slot) {
        QAction *action = d->m_slots[slot];
        if (!action)
            continue;
        if (action->isEnabled()) {
            d->drawIcon(painter, slot);
        } else {
            painter->save();
            painter->setOpacity(painter->opacity() * 0.3);
            d->drawIcon(painter, slot);
            painter->restore();
        }
    }

    if (d->m_hintShown && !d->m_hint.isEmpty()) {
        const QSizeF size = d->m_hint.size();
        const QRectF box(QPointF(d->m_centre.x() - size.width() / 2, 220 * d->m_scale), size);
        painter->setBrush(QColor(45, 41, 38, 170));
        painter->drawRoundedRect(box, 5.0, 5.0);
        painter->save();
        painter->translate(box.topLeft());
        d->m_hint.drawContents(painter);
        painter->restore();
    }

    if (isTracking()) {
        painter->setBrush(d->m_lineColor);
        painter->drawEllipse(d->m_centre, 2.5, 2.5);
        QPen line(d->m_lineColor, d->m_lineWidth);
        line.setCapStyle(Qt::RoundCap);
        painter->setPen(line);
        painter->drawLine(d->m_centre, d->m_pointer);
    }
    painter->restore();
}

} // namespace UI
