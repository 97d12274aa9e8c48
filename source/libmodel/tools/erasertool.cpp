#include "tools/erasertool.h"

#include "tools/toolcursors.h"

#include <QPainter>

#include <algorithm>

namespace Model {

EraserTool::EraserTool(PenType subType, QObject *parent)
    : DrawingTool(Type::Eraser, subType, parent)
{
}

Tool *EraserTool::clone() const
{
    return new EraserTool(*this);
}

QString EraserTool::displayName() const
{
    switch (subType()) {
    case PenType::KneadedEraser:
        return tr("Kneaded Eraser");
    case PenType::RubberEraser:
        return tr("Rubber Eraser");
    case PenType::VinylEraser:
        return tr("Vinyl Eraser");
    }
    return QString();
}

QString EraserTool::toolName() const
{
    switch (subType()) {
    case PenType::KneadedEraser:
        return QStringLiteral("KneadedEraser");
    case PenType::RubberEraser:
        return QStringLiteral("RubberEraser");
    case PenType::VinylEraser:
        return QStringLiteral("VinylEraser");
    }
    return QString();
}

QCursor EraserTool::sizeCursor(double /*minDiameter*/, double maxDiameter, double scale, bool faint) const
{
    const int outerDiameter = std::max(paintedCursorDiameter(maxDiameter, scale), 8) & ~3;
    // The circle plus room for its white rim: the pixmap grows with the
    // eraser and no faster.
    const int side = outerDiameter + 14;

    QPixmap pixmap = paintedCursorPixmap(side, side);
    const QPointF c = paintedCursorCentre(pixmap);
    QPainter painter(&pixmap);
    painter.setOpacity(0.75);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setPen(QPen(QColor(255, 255, 255, 128), 2));
    painter.drawEllipse(c, (outerDiameter + 4) / 2.0, (outerDiameter + 4) / 2.0);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setPen(QPen(QColor(0, 0, 0, faint ? 102 : 204), 2));
    painter.drawEllipse(c, outerDiameter / 2.0, outerDiameter / 2.0);
    painter.end();
    return paintedCursor(pixmap);
}

QCursor EraserTool::sizeRangeCursor(double minDiameter, double maxDiameter, double scale, int highlight) const
{
    return paintSizeRangeCursor(minDiameter, maxDiameter, scale, highlight, false);
}

} // namespace Model
