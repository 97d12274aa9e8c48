#include "xsheet/colorgizmo.h"

#include <QConicalGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace UI {

namespace {

struct Preset
{
    QColor color;
    const char *name;
};

// Rows 1 to 4, from the bottom up.
const Preset presets[] = {
    {QColor(0, 0, 0), QT_TRANSLATE_NOOP("UI::ColorGizmo", "Black")},
    {QColor(40, 97, 184), QT_TRANSLATE_NOOP("UI::ColorGizmo", "Blue")},
    {QColor(196, 46, 85), QT_TRANSLATE_NOOP("UI::ColorGizmo", "Red")},
    {QColor(125, 180, 52), QT_TRANSLATE_NOOP("UI::ColorGizmo", "Green")},
};

// A hue wheel with a dark hub, size w x h at device pixel ratio dpr.
QPixmap wheel(int w, int h, double dpr)
{
    const int evenW = w + (w & 1);
    const int evenH = h + (h & 1);
    const QPointF centre(evenW / 2, evenH / 2);
    QConicalGradient gradient(centre, 0);
    for (int hue = 0; hue <= 360; hue += 60)
        gradient.setColorAt(1 - hue / 360.0, QColor::fromHsl(hue % 360, 255, 128, 128));
    QPixmap pixmap(int(std::lround(evenW * dpr)), int(std::lround(evenH * dpr)));
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor hub(94, 94, 93);
    painter.setPen(QPen(hub, 1.0));
    painter.setBrush(gradient);
    painter.drawEllipse(centre, (w - 2) / 2.0, (h - 2) / 2.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(hub);
    painter.drawEllipse(centre, w / 2.7 / 2, h / 2.7 / 2);
    return pixmap;
}

} // namespace

class ColorGizmoPrivate
{
public:
    // The swatch: one stroke, as a pen draws it, in the gizmo's pixels.
    QPainterPath m_stroke;
    QPixmap m_wheel16;
    QPixmap m_wheel16x2;
    QPixmap m_wheel17;
    QPixmap m_wheel17x2;
    QColor m_color = Qt::red;
    int m_layerIdx = -1;
};

ColorGizmo::ColorGizmo(QWidget *parent)
    : Gizmo(parent)
    , d(std::make_unique<ColorGizmoPrivate>())
{
    updateMetrics();
}

ColorGizmo::~ColorGizmo() = default;

void ColorGizmo::updateMetrics()
{
    Gizmo::updateMetrics();
    const double s = scale();
    QPainterPath stroke(QPointF(13.696, 5.5) * s);
    stroke.cubicTo(QPointF(13.696, 5.5) * s, QPointF(11.668, 6.023) * s, QPointF(8.809, 7.542) * s);
    stroke.cubicTo(QPointF(5.95, 9.062) * s, QPointF(11.188, 8.031) * s, QPointF(15.097, 9.098) * s);
    stroke.cubicTo(QPointF(19.007, 10.166) * s, QPointF(8.809, 12.5) * s, QPointF(8.809, 12.5) * s);
    d->m_stroke = stroke;
    d->m_wheel16 = wheel(int(16 * s), int(16 * s), 1.0);
    d->m_wheel16x2 = wheel(int(16 * s), int(16 * s), 2.0);
    d->m_wheel17 = wheel(int(17 * s), int(17 * s), 1.0);
    d->m_wheel17x2 = wheel(int(17 * s), int(17 * s), 2.0);
}

QColor ColorGizmo::color() const
{
    return d->m_color;
}

int ColorGizmo::layerIdx() const
{
    return d->m_layerIdx;
}

void ColorGizmo::setLayerIdx(int layerIdx)
{
    d->m_layerIdx = layerIdx;
}

void ColorGizmo::setColor(QColor color)
{
    if (color == d->m_color)
        return;
    d->m_color = color;
    update();
    Q_EMIT colorChanged(d->m_layerIdx, color);
}

void ColorGizmo::chooseSection(int row)
{
    // The custom colour row is not offered yet: it chooses nothing.
    if (row >= Section1 && row <= Section4)
        setColor(presets[row - 1].color);
}

int ColorGizmo::openHeight() const
{
    return int(107 * scale());
}

int ColorGizmo::peekReleaseHeight() const
{
    return int(16 * scale());
}

QString ColorGizmo::sectionText(int row) const
{
    if (!isOpen())
        return tr("Choose Layer Color");
    if (row == CurrentSection)
        return tr("Current Color");
    if (row >= Section1 && row <= Section4)
        return tr("Set Layer Color to %1").arg(tr(presets[row - 1].name));
    if (row == TopSection)
        return tr("Set Custom Layer Color");
    return QString();
}

void ColorGizmo::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    paintBase(&painter);

    const double s = scale();
    const int h = height();
    QPen pen(d->m_color, int(2 * s), Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(d->m_stroke.translated(-imageShift(), h - int(17 * s)));

    for (int row = Section1; row <= Section4; ++row) {
        const QRectF rect = sectionRect(row);
        const double offset = rect.top() - int(s) - h;
        if (isHighlighted(row))
            painter.fillRect(rect, Qt::white);
        pen.setColor(presets[row - 1].color);
        painter.setPen(pen);
        if (isPushed(row)) {
            painter.save();
            painter.scale(1.15, 1.15);
            painter.drawPath(d->m_stroke.translated(-1.5, (h + offset) / 1.15 - 1.0));
            painter.restore();
        } else {
            painter.drawPath(d->m_stroke.translated(0, h + offset));
        }
    }

    const QRectF top = sectionRect(TopSection);
    if (isHighlighted(TopSection))
        painter.fillRect(top, Qt::white);
    const bool single = painter.device()->devicePixelRatioF() == 1.0;
    if (isPushed(TopSection))
        painter.drawPixmap(QPointF(int(3 * s), h - 1 - int(105 * s)), single ? d->m_wheel17 : d->m_wheel17x2);
    else
        painter.drawPixmap(QPointF(int(4 * s), h - int(105 * s)), single ? d->m_wheel16 : d->m_wheel16x2);
    painter.fillRect(top, QColor(128, 128, 128, 128));
}

quint64 ColorGizmo::shownValue() const
{
    return quint64(d->m_color.rgba64());
}

} // namespace UI
