#include "tools/zprtool.h"

#include "tools/toolcursors.h"

#include <QSvgRenderer>

#include <cmath>

namespace Model {

ZPRTool::ZPRTool(QObject *parent)
    : Tool(Type::ZoomPanRotate, parent)
    , m_handCursor(svgCursor(QStringLiteral(":/pointers/pointer-hand.svg")))
    , m_zoomCursor(svgCursor(QStringLiteral(":/pointers/pointer-zoom.svg")))
    , m_rotateRenderer(std::make_unique<QSvgRenderer>(QStringLiteral(":/pointers/pointer-rotate.svg")))
{
    setCursorRotation(0.0);
}

// The rotate cursor travels with the angle it was rendered for, so that the
// copy re-renders exactly when the original would.
ZPRTool::ZPRTool(const ZPRTool &other)
    : Tool(other.type(), other.parent())
    , m_handCursor(other.m_handCursor)
    , m_rotateCursor(other.m_rotateCursor)
    , m_zoomCursor(other.m_zoomCursor)
    , m_rotateRenderer(std::make_unique<QSvgRenderer>(QStringLiteral(":/pointers/pointer-rotate.svg")))
    , m_referenceAngle(other.m_referenceAngle)
    , m_rotateCursorRendered(other.m_rotateCursorRendered)
{
}

ZPRTool::~ZPRTool() = default;

Tool *ZPRTool::clone() const
{
    return new ZPRTool(*this);
}

QCursor ZPRTool::cursor() const
{
    QCursor shared;
    if (sharedCursorForType(shared))
        return shared;
    switch (m_zprCursorType) {
    case ZPRCursorType::Rotate:
        return m_rotateCursor;
    case ZPRCursorType::Hand:
        return m_handCursor;
    default:
        return m_zoomCursor;
    }
}

void ZPRTool::setCursorType(ZPRCursorType cursorType)
{
    if (cursorType == m_zprCursorType)
        return;
    m_zprCursorType = cursorType;
    Q_EMIT cursorChanged(cursor());
}

void ZPRTool::setPressPosGlobal(const QVariant &globalPos)
{
    m_pressPosGlobal = globalPos;
}

void ZPRTool::setCursorRotation(double angle)
{
    if (std::isnan(angle))
        return;
    if (m_rotateCursorRendered && std::abs(angle - m_referenceAngle) < 1.0)
        return;
    // The art points along the x axis; the cursor stands across the turn.
    m_rotateCursor = rotatedSvgCursor(*m_rotateRenderer, angle + 90.0);
    m_referenceAngle = angle;
    m_rotateCursorRendered = true;
    if (m_zprCursorType == ZPRCursorType::Rotate)
        Q_EMIT cursorChanged(cursor());
}

} // namespace Model
