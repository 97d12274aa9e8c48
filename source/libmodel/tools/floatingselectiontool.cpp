#include "tools/floatingselectiontool.h"

#include "tools/toolcursors.h"

#include <QSvgRenderer>

#include <cmath>

namespace Model {

FloatingSelectionTool::FloatingSelectionTool(QObject *parent)
    : Tool(Type::FloatingSelection, parent)
    , m_moveCursor(svgCursor(QStringLiteral(":/pointers/pointer-move.svg")))
    , m_skewHorizontalCursor(svgCursor(QStringLiteral(":/pointers/pointer-skewHorizontal.svg")))
    , m_skewVerticalCursor(svgCursor(QStringLiteral(":/pointers/pointer-skewVertical.svg")))
    , m_squashStretchCursor(svgCursor(QStringLiteral(":/pointers/pointer-squashStretch.svg"), {11, 13}))
    , m_stampCursor(svgCursor(QStringLiteral(":/pointers/pointer-stamp.svg")))
{
    loadRenderers();
    setCursorRotation(0.0);
}

// The turning cursors travel with the angle they were rendered for, so that
// the copy re-renders exactly when the original would.
FloatingSelectionTool::FloatingSelectionTool(const FloatingSelectionTool &other)
    : Tool(other.type(), other.parent())
    , m_moveCursor(other.m_moveCursor)
    , m_rotateCursor(other.m_rotateCursor)
    , m_scaleCursor(other.m_scaleCursor)
    , m_scaleRotateCursor(other.m_scaleRotateCursor)
    , m_skewHorizontalCursor(other.m_skewHorizontalCursor)
    , m_skewVerticalCursor(other.m_skewVerticalCursor)
    , m_squashStretchCursor(other.m_squashStretchCursor)
    , m_stampCursor(other.m_stampCursor)
    , m_referenceAngle(other.m_referenceAngle)
    , m_turningCursorsRendered(other.m_turningCursorsRendered)
{
    loadRenderers();
}

FloatingSelectionTool::~FloatingSelectionTool() = default;

void FloatingSelectionTool::loadRenderers()
{
    m_rotateRenderer = std::make_unique<QSvgRenderer>(QStringLiteral(":/pointers/pointer-rotate.svg"));
    m_scaleRenderer = std::make_unique<QSvgRenderer>(QStringLiteral(":/pointers/pointer-scale.svg"));
    m_scaleRotateRenderer = std::make_unique<QSvgRenderer>(QStringLiteral(":/pointers/pointer-scaleRotate.svg"));
}

Tool *FloatingSelectionTool::clone() const
{
    return new FloatingSelectionTool(*this);
}

QCursor FloatingSelectionTool::cursor() const
{
    switch (quint32(m_fsCursorType)) {
    case 0:
        return m_moveCursor;
    case 1:
        return m_rotateCursor;
    case 2:
        return m_scaleCursor;
    case 3:
        return m_scaleRotateCursor;
    case 4:
    case 5:
    case 6:
        return sharedCursor(SharedCursor::Arrow);
    case 7:
        return m_skewHorizontalCursor;
    case 8:
        return m_skewVerticalCursor;
    case 9:
        return m_squashStretchCursor;
    default:
        break;
    }
    // Only the stamp depends on the cell under the pointer; the handles work
    // on the selection wherever it floats.
    QCursor shared;
    if (sharedCursorForType(shared))
        return shared;
    return m_stampCursor;
}

void FloatingSelectionTool::setCursorType(FSCursorType cursorType)
{
    if (cursorType == m_fsCursorType)
        return;
    m_fsCursorType = cursorType;
    Q_EMIT cursorChanged(cursor());
}

void FloatingSelectionTool::setCursorRotation(double angle)
{
    if (std::isnan(angle))
        return;
    if (m_turningCursorsRendered && std::abs(angle - m_referenceAngle) < 1.0)
        return;
    // The rotate art points along the x axis and stands across the turn; the
    // scale arrows lie along the selection's edge.
    m_rotateCursor = rotatedSvgCursor(*m_rotateRenderer, angle + 90.0);
    m_scaleCursor = rotatedSvgCursor(*m_scaleRenderer, angle);
    m_scaleRotateCursor = rotatedSvgCursor(*m_scaleRotateRenderer, angle);
    m_referenceAngle = angle;
    m_turningCursorsRendered = true;
    switch (m_fsCursorType) {
    case FSCursorType::Rotate:
    case FSCursorType::Scale:
    case FSCursorType::ScaleRotate:
        Q_EMIT cursorChanged(cursor());
        break;
    default:
        break;
    }
}

} // namespace Model
