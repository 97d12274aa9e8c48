#pragma once

#include "tools/drawingtool.h"

namespace Model {

// Kneaded, rubber or vinyl eraser, by sub-type. Its size cursor is the plain
// circle of the eraser's largest size: an eraser's light-pressure size is of
// no use while rubbing out.
class EraserTool : public DrawingTool
{
    Q_OBJECT

public:
    explicit EraserTool(PenType subType, QObject *parent = nullptr);

    Tool *clone() const override;
    QString displayName() const override;
    QString toolName() const override;
    QCursor sizeCursor(double minDiameter, double maxDiameter, double scale, bool faint) const override;
    QCursor sizeRangeCursor(double minDiameter, double maxDiameter, double scale, int highlight) const override;

private:
    EraserTool(const EraserTool &other) = default;
};

} // namespace Model
