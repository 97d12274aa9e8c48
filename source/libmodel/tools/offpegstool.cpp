#include "tools/offpegstool.h"

#include "tools/toolcursors.h"

namespace Model {

OffPegsTool::OffPegsTool(QObject *parent)
    : Tool(Type::OffPegs, parent)
    , m_handCursor(svgCursor(QStringLiteral(":/pointers/pointer-hand.svg")))
    , m_rotateCursor(svgCursor(QStringLiteral(":/pointers/pointer-rotate.svg")))
{
}

OffPegsTool::OffPegsTool(const OffPegsTool &other)
    : Tool(other.type(), other.parent())
    , m_handCursor(other.m_handCursor)
    , m_rotateCursor(other.m_rotateCursor)
{
}

Tool *OffPegsTool::clone() const
{
    return new OffPegsTool(*this);
}

QCursor OffPegsTool::cursor() const
{
    QCursor shared;
    if (sharedCursorForType(shared))
        return shared;
    switch (m_opCursorType) {
    case OPCursorType::Rotate:
        return m_rotateCursor;
    case OPCursorType::Hand:
        return m_handCursor;
    default:
        return sharedCursor(SharedCursor::Arrow);
    }
}

void OffPegsTool::setCursorType(OPCursorType cursorType)
{
    if (cursorType == m_opCursorType)
        return;
    m_opCursorType = cursorType;
    Q_EMIT cursorChanged(cursor());
}

} // namespace Model
