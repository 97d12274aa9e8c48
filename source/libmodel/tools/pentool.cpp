#include "tools/pentool.h"

#include "tools/toolcursors.h"

#include <QPainter>

#include <algorithm>

namespace Model {

PenTool::PenTool(PenType subType, QObject *parent)
    : DrawingTool(Type::Pen, subType, parent)
{
}

Tool *PenTool::clone() const
{
    return new PenTool(*this);
}

QString PenTool::displayName() const
{
    switch (subType()) {
    case PenType::Pencil:
        return tr("Pencil");
    case PenType::Marker:
        return tr("Marker");
    case PenType::Brush:
        return tr("Brush");
    }
    return QString();
}

QString PenTool::toolName() const
{
    switch (subType()) {
    case PenType::Pencil:
        return QStringLiteral("Pencil");
    case PenType::Marker:
        return QStringLiteral("Marker");
    case PenType::Brush:
        return QStringLiteral("Brush");
    }
    return QString();
}

QCursor PenTool::sizeCursor(double minDiameter, double maxDiameter, double scale, bool faint) const
{
    // A multiple of 4 keeps the circle centred on whole pixels at ratio 2.
    const int outerDiameter = std::max(paintedCursorDiameter(maxDiameter, scale), 8) & ~3;
    const int side = outerDiameter + 28;
    const int inner = std::max(std::min(outerDiameter / 2, paintedCursorDiameter(minDiameter, scale) / 2), 4);
    const int reach = std::max(side / 2, 20);

    QPixmap pixmap = paintedCursorPixmap(side, side);
    const QPointF c = paintedCursorCentre(pixmap);
    QPainter painter(&pixmap);
    painter.setOpacity(faint ? 0.4 : 0.75);

    auto armPen = [&](const QColor &colour, int alphaCentre, int alphaNear, int alphaEdge) {
        QRadialGradient gradient(c, reach, c, inner);
        QColor stop = colour;
        stop.setAlpha(alphaCentre);
        gradient.setColorAt(0.0, stop);
        stop.setAlpha(alphaNear);
        gradient.setColorAt(0.2, stop);
        stop.setAlpha(alphaEdge);
        gradient.setColorAt(1.0, stop);
        return QPen(QBrush(gradient), 2);
    };

    // White arms on both sides of each black arm keep it visible on dark
    // drawings.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setPen(faint ? armPen(Qt::white, 178, 76, 25) : armPen(Qt::white, 63, 63, 63));
    for (const double offset : {-2.0, 2.0}) {
        painter.drawLine(QLineF(c.x() + inner, c.y() + offset, c.x() + reach, c.y() + offset));
        painter.drawLine(QLineF(c.x() - inner, c.y() + offset, c.x() - reach, c.y() + offset));
        painter.drawLine(QLineF(c.x() + offset, c.y() + inner, c.x() + offset, c.y() + reach));
        painter.drawLine(QLineF(c.x() + offset, c.y() - inner, c.x() + offset, c.y() - reach));
    }

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(255, 255, 255, faint ? 51 : 127), 2));
    painter.drawEllipse(c, (outerDiameter + 4) / 2.0, (outerDiameter + 4) / 2.0);

    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(faint ? armPen(Qt::black, 178, 76, 25) : armPen(Qt::black, 102, 102, 102));
    painter.drawLine(QLineF(c.x() + inner, c.y(), c.x() + reach, c.y()));
    painter.drawLine(QLineF(c.x() - inner, c.y(), c.x() - reach, c.y()));
    painter.drawLine(QLineF(c.x(), c.y() + inner, c.x(), c.y() + reach));
    painter.drawLine(QLineF(c.x(), c.y() - inner, c.x(), c.y() - reach));

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setPen(QPen(QColor(0, 0, 0, faint ? 25 : 204), 2));
    painter.drawEllipse(c, outerDiameter / 2.0, outerDiameter / 2.0);
    painter.end();
    return paintedCursor(pixmap);
}

QCursor PenTool::sizeRangeCursor(double minDiameter, double maxDiameter, double scale, int highlight) const
{
    return paintSizeRangeCursor(minDiameter, maxDiameter, scale, highlight, true);
}

} // namespace Model
