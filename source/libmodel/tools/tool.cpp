#include "tools/tool.h"

#include "tools/toolcursors.h"

namespace Model {

Tool::Tool(Type type, QObject *parent)
    : QObject(parent)
    , m_type(type)
{
}

Tool::~Tool() = default;

void Tool::updateCursor()
{
}

bool Tool::sharedCursorForType(QCursor &cursor) const
{
    switch (m_cursorType) {
    case ForbiddenCursor:
        cursor = sharedCursor(SharedCursor::Forbidden);
        return true;
    case LayerNotVisibleCursor:
        cursor = sharedCursor(SharedCursor::LayerNotVisible);
        return true;
    case LayerOpacityZeroCursor:
        cursor = sharedCursor(SharedCursor::LayerOpacityZero);
        return true;
    default:
        return false;
    }
}

} // namespace Model
