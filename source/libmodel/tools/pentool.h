#pragma once

#include "tools/drawingtool.h"

namespace Model {

// Pencil, marker or brush, by sub-type. Its size cursor shows the pen's full
// circle with four arms that fade outwards, so that the centre can be found
// on any drawing even when the circle is large.
class PenTool : public DrawingTool
{
    Q_OBJECT

public:
    explicit PenTool(PenType subType, QObject *parent = nullptr);

    Tool *clone() const override;
    QString displayName() const override;
    QString toolName() const override;
    QCursor sizeCursor(double minDiameter, double maxDiameter, double scale, bool faint) const override;
    QCursor sizeRangeCursor(double minDiameter, double maxDiameter, double scale, int highlight) const override;

private:
    PenTool(const PenTool &other) = default;
};

} // namespace Model
