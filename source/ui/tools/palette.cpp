#include "tools/palette.h"

#include <QConicalGradient>
#include <QLineF>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QTransform>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace UI {

namespace {

const double Cos70 = std::cos(qDegreesToRadians(70.0));
const double Sin70 = std::sin(qDegreesToRadians(70.0));

constexpr QRgb StartSwatches[Palette::SwatchCount] = {
    qRgb(105, 71, 113), qRgb(87, 210, 224), qRgb(117, 161, 212), qRgb(255, 203, 88), qRgb(137, 69, 48),
    qRgb(192, 94, 64),  qRgb(232, 159, 110), qRgb(212, 95, 114), qRgb(73, 115, 129), qRgb(44, 70, 79),
};

// A point at an angle in radians, measured clockwise on screen from +x.
QPointF polar(QPointF centre, double radius, double radians)
{
    return centre + radius * QPointF(std::cos(radians), std::sin(radians));
}

QPainterPath circle(QPointF centre, double radius)
{
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

QPainterPath circle(const QRectF &square)
{
    QPainterPath path;
    path.addEllipse(square);
    return path;
}

// A pie over the square, in degrees counter-clockwise (y up), closed at
// the square's centre.
QPainterPath pie(const QRectF &square, double startDegrees, double sweepDegrees)
{
    QPainterPath path;
    path.moveTo(square.center());
    path.arcTo(square, startDegrees, sweepDegrees);
    path.closeSubpath();
    return path;
}

QRectF squareAround(QPointF centre, double halfSide)
{
    return QRectF(centre - QPointF(halfSide, halfSide), QSizeF(2 * halfSide, 2 * halfSide));
}

} // namespace

class Palette::PalettePrivate
{
public:
    PalettePrivate()
    {
        for (QRgb rgb : StartSwatches)
            m_swatches.append(QColor(rgb));
    }

    QColor colorWithAlpha(float alpha) const { return QColor::fromHslF(m_hue, m_saturation, m_lightness, alpha); }

    // Takes hue, saturation, lightness and alpha of a colour; a grey keeps
    // the hue shown, as its own is undefined.
    void takeColor(const QColor &color)
    {
        float hue = -1.0f;
        color.getHslF(&hue, &m_saturation, &m_lightness, &m_alpha);
        if (hue >= 0.0f) {
            m_hue = hue;
            m_hueAngle = double(hue) * 2.0 * M_PI;
        }
        rebuild();
    }

    void layout(QSizeF size)
    {
        m_diameter = std::min(size.width(), size.height());
        const double D = m_diameter;
        m_centre = QPointF(size.width() / 2, size.height() / 2);
        m_boundingSquare = squareAround(m_centre, D / 2);
        m_discRadius = 0.244 * D;
        m_hueOuterRadius = 0.225 * D;
        m_hueInnerRadius = 0.168 * D;
        m_previewSize = 0.63 * D;
        m_alphaRadius = 0.28 * D;

        m_shadowGradient = QRadialGradient(m_centre, 0.35 * D);
        m_shadowGradient.setColorAt(0.0, QColor(0, 0, 0, 50));
        m_shadowGradient.setColorAt(0.5, QColor(0, 0, 0, 50));
        m_shadowGradient.setColorAt(1.0, QColor(0, 0, 0, 0));
        m_discGradient = QRadialGradient(m_centre, m_discRadius);
        for (double stop : {0.0, 0.5, 0.95, 1.0})
            m_discGradient.setColorAt(stop, QColor(45, 41, 38, 193));

        // Red at the right, the hues following clockwise on screen.
        m_hueGradient = QConicalGradient(m_centre, 0);
        for (int h = 0; h <= 360; h += 60)
            m_hueGradient.setColorAt(1.0 - h / 360.0, QColor::fromHsl(h % 360, 255, 128, 255));
        m_hueRingSquare = squareAround(m_centre, m_hueOuterRadius);
        m_hueRing = circle(m_hueRingSquare).subtracted(circle(m_centre, m_hueInnerRadius));

        // The preview wedge points straight up with a bulging outer edge;
        // the alpha arc runs from it round to the left.
        const double m = m_previewSize / 2;
        QPainterPath wedge;
        wedge.moveTo(m_centre);
        wedge.lineTo(m_centre.x() + m * Cos70, m_centre.y() - m * Sin70);
        wedge.quadTo(QPointF(m_centre.x(), m_centre.y() - m / Sin70),
                     QPointF(m_centre.x() - m * Cos70, m_centre.y() - m * Sin70));
        wedge.closeSubpath();
        m_alphaSquare = squareAround(m_centre, m_alphaRadius);
        m_alphaArea = wedge.united(pie(m_alphaSquare, 90, 110))
                          .subtracted(circle(m_hueRingSquare.adjusted(2, 2, -4, -4)));

        // Each swatch an 11-degree piece of the ring between 0.36 D and
        // 0.417 D, the first centred on +x, the others 15 degrees on
        // clockwise.
        m_swatchShapes.clear();
        const QRectF swatchSquare = squareAround(m_centre, 0.417 * D);
        const QPainterPath hole = circle(m_centre, 0.36 * D);
        for (int i = 0; i < m_swatches.size(); ++i)
            m_swatchShapes.append(pie(swatchSquare, -5.5 - 15.0 * i, 11).subtracted(hole));

        rebuild();
    }

    void rebuild()
    {
        const QColor pureHue = QColor::fromHslF(m_hue, 1.0f, 0.5f, 1.0f);
        QColor pureHueClear = pureHue;
        pureHueClear.setAlphaF(0.0f);
        const QColor current = colorWithAlpha(1.0f);
        const QColor currentClear = colorWithAlpha(0.0f);

        const double theta = m_hueAngle;
        const double third = 2.0 * M_PI / 3.0;
        const QPointF centre = m_boundingSquare.center();
        const double r = m_hueInnerRadius - 0.01;
        const QPointF p0 = polar(centre, r, theta);
        const QPointF p1 = polar(centre, r, theta - third);
        const QPointF p2 = polar(centre, r, theta + third);
        m_triangle = QPolygonF({p0, p1, p2});

        m_lightnessGradient = QLinearGradient(p1, p2);
        m_lightnessGradient.setColorAt(0.0, Qt::black);
        m_lightnessGradient.setColorAt(1.0, Qt::white);
        m_saturationGradient = QLinearGradient((p1 + p2) / 2, p0);
        m_saturationGradient.setColorAt(0.0, pureHueClear);
        m_saturationGradient.setColorAt(1.0, pureHue);

        // A small triangle in the ring pointing inward, cut at its outer
        // edge.
        const double k = 0.4 * m_hueInnerRadius + 0.6 * m_hueOuterRadius;
        const double w = m_hueOuterRadius - m_hueInnerRadius;
        const double deg30 = qDegreesToRadians(30.0);
        const QPointF q = polar(m_centre, k, theta);
        QPainterPath handle;
        handle.addPolygon(QPolygonF({q, polar(q, w, theta - deg30), polar(q, w, theta + deg30)}));
        handle.closeSubpath();
        m_hueHandle = handle.intersected(circle(m_hueRingSquare));

        m_alphaGradient = QConicalGradient(m_centre, 200);
        m_alphaGradient.setColorAt(0.0, currentClear);
        m_alphaGradient.setColorAt(0.25, current);
        m_alphaGradient.setColorAt(0.75, current);
        m_alphaGradient.setColorAt(1.0, currentClear);

        // Alpha 1 at 110 degrees (y up), alpha 0 at 200; the handle's tip
        // points outward.
        const double a = qDegreesToRadians(double(float((m_alpha + 1.0f) * 90.0f)) + 70.0);
        const double deg150 = qDegreesToRadians(150.0);
        const QPointF h = polar(m_centre, 2 * m_hueOuterRadius - k, a);
        m_alphaHandle = QPolygonF({h, polar(h, w, a - deg150), polar(h, w, a + deg150)});

        // To (saturation, lightness): black corner (0, 0), white (0, 1),
        // pure hue (1, 0.5).
        const QTransform turn = QTransform::fromTranslate(-p1.x(), -p1.y()) * QTransform().rotateRadians(-theta);
        const QPointF turned = turn.map(p0);
        m_triangleTransform = turn * QTransform::fromScale(1.0 / turned.x(), 0.5 / turned.y());
        m_triangleInverse = m_triangleTransform.inverted();
        m_marker = m_triangleInverse.map(QPointF(m_saturation, m_lightness));
    }

    // The nearest colour of the triangle to a point.
    void setSaturationLightness(QPoint point)
    {
        const QPointF uv = m_triangleTransform.map(QPointF(point));
        const double u = uv.x();
        const double v = uv.y();
        double saturation;
        double lightness;
        if (u > 2 * v) {
            // Beyond the edge from black to pure hue.
            saturation = (4 * u + 2 * v) / 5;
            lightness = (2 * u + v) / 5;
        } else if (u > 2 - 2 * v) {
            // Beyond the edge from white to pure hue.
            saturation = (4 * u - 2 * v + 2) / 5;
            lightness = (v - 2 * u + 4) / 5;
        } else {
            saturation = u;
            lightness = v;
        }
        saturation = std::clamp(saturation, 0.0, 1.0);
        lightness = std::clamp(lightness, saturation / 2, 1 - saturation / 2);
        m_saturation = float(saturation);
        m_lightness = float(lightness);
        rebuild();
    }

    // The alpha for a point of the alpha arc: 0 at 200 degrees (y up), 1
    // at 110; beyond a little slack either way, none.
    double alphaAt(QPoint point) const
    {
        return (-70.0 - qRadiansToDegrees(std::atan2(point.x() - m_centre.x(), point.y() - m_centre.y()))) / 90.0;
    }

    float m_hue = 0.0f;
    float m_saturation = 1.0f;
    float m_lightness = 0.5f;
    float m_alpha = 1.0f;
    double m_hueAngle = 0.0;
    QPointF m_marker;
    QTransform m_triangleTransform;
    QTransform m_triangleInverse;
    double m_diameter = 0.0;
    QRectF m_boundingSquare;
    QPointF m_centre;
    double m_discRadius = 0.0;
    double m_hueOuterRadius = 0.0;
    double m_hueInnerRadius = 0.0;
    QConicalGradient m_hueGradient;
    QRectF m_hueRingSquare;
    QPainterPath m_hueRing;
    QList<QPainterPath> m_swatchShapes;
    QList<QColor> m_swatches;
    QRadialGradient m_shadowGradient;
    QRadialGradient m_discGradient;
    double m_previewSize = 0.0;
    QPainterPath m_alphaArea;
    double m_alphaRadius = 0.0;
    QRectF m_alphaSquare;
    QConicalGradient m_alphaGradient;
    QPolygonF m_alphaHandle;
    QPolygonF m_triangle;
    QLinearGradient m_lightnessGradient;
    QLinearGradient m_saturationGradient;
    QPainterPath m_hueHandle;
    bool m_draggingHue = false;
    bool m_draggingAlpha = false;
    bool m_draggingTriangle = false;
    int m_pressedSwatch = -1;
};

Palette::Palette(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<PalettePrivate>())
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_PaintUnclipped);
    d->layout(size());
}

Palette::~Palette() = default;

QColor Palette::color() const
{
    return d->colorWithAlpha(d->m_alpha);
}

QList<QColor> Palette::swatches() const
{
    return d->m_swatches;
}

void Palette::setColor(const QColor &color)
{
    if (color == this->color())
        return;
    d->takeColor(color);
    update();
}

void Palette::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    d->layout(size());
}

void Palette::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setClipping(false);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    painter.setBrush(d->m_shadowGradient);
    painter.drawEllipse(d->m_centre, d->m_diameter / 2, d->m_diameter / 2);
    painter.setBrush(d->m_discGradient);
    painter.drawEllipse(d->m_centre, d->m_discRadius, d->m_discRadius);
    painter.fillPath(d->m_alphaArea, d->m_alphaGradient);
    painter.setBrush(Qt::black);
    painter.drawPolygon(d->m_alphaHandle);
    painter.fillPath(d->m_hueRing, d->m_hueGradient);
    painter.fillPath(d->m_hueHandle, Qt::black);

    painter.setBrush(d->m_lightnessGradient);
    painter.drawPolygon(d->m_triangle);
    painter.setBrush(d->m_saturationGradient);
    painter.drawPolygon(d->m_triangle);

    for (int i = 0; i < d->m_swatchShapes.size() && i < d->m_swatches.size(); ++i) {
        QColor outline = d->m_swatches.at(i);
        outline.setAlpha(255);
        painter.setPen(outline);
        painter.setBrush(d->m_swatches.at(i));
        painter.drawPath(d->m_swatchShapes.at(i));
    }

    painter.setBrush(Qt::NoBrush);
    painter.setPen(Qt::black);
    painter.drawEllipse(d->m_marker, 5.0, 5.0);
}

void Palette::mousePressEvent(QMouseEvent *event)
{
    const QPoint point = event->position().toPoint();
    const double distance = QLineF(d->m_centre, point).length();
    if (distance < d->m_hueInnerRadius) {
        d->m_draggingTriangle = true;
        d->setSaturationLightness(point);
        update();
    } else if (distance <= d->m_hueOuterRadius) {
        d->m_draggingHue = true;
        mouseMoveEvent(event);
    } else if (distance <= d->m_alphaRadius) {
        const double t = d->alphaAt(point);
        if (t > -0.1 && t < 1.2) {
            d->m_alpha = float(std::clamp(t, 0.0, 1.0));
            d->rebuild();
            d->m_draggingAlpha = true;
            update();
        }
    } else {
        for (int i = 0; i < d->m_swatchShapes.size(); ++i) {
            if (d->m_swatchShapes.at(i).contains(point)) {
                d->m_pressedSwatch = i;
                break;
            }
        }
    }
}

void Palette::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint point = event->position().toPoint();
    if (d->m_draggingHue) {
        const double angle = M_PI / 2 - std::atan2(point.x() - d->m_centre.x(), point.y() - d->m_centre.y());
        double hue = angle / (2 * M_PI);
        while (hue < 0)
            hue += 1;
        d->m_hueAngle = angle;
        d->m_hue = float(hue);
        d->rebuild();
        update();
    } else if (d->m_draggingAlpha) {
        const double t = d->alphaAt(point);
        if (t > -0.1 && t < 1.2) {
            d->m_alpha = float(std::clamp(t, 0.0, 1.0));
            d->rebuild();
            update();
        }
    } else if (d->m_draggingTriangle) {
        d->setSaturationLightness(point);
        update();
    }
}

void Palette::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint point = event->position().toPoint();
    if (d->m_draggingHue || d->m_draggingAlpha) {
        mouseMoveEvent(event);
        d->m_draggingHue = false;
        d->m_draggingAlpha = false;
    } else if (d->m_pressedSwatch >= 0) {
        const int swatch = d->m_pressedSwatch;
        d->m_pressedSwatch = -1;
        // Chosen only when the press and the release meet on one swatch.
        if (swatch < d->m_swatches.size() && d->m_swatchShapes.at(swatch).contains(point)) {
            const QColor chosen = d->m_swatches.at(swatch);
            d->takeColor(chosen);
            if (swatch != 0) {
                d->m_swatches.removeAt(swatch);
                d->m_swatches.prepend(chosen);
            }
            update();
        }
    } else if (d->m_draggingTriangle) {
        d->setSaturationLightness(point);
        d->m_draggingTriangle = false;
        update();
    }
}

} // namespace UI
