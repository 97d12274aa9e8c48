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

std::shared_ptr<const Tool> Tool::sharedCopy() const
{
    if (!m_sharedCopy || !hasSettingsOf(*m_sharedCopy)) {
        Tool *copy = clone();
        // A clone keeps the original's parent; the copy belongs to its
        // holders alone.
        copy->setParent(nullptr);
        m_sharedCopy.reset(copy);
    }
    return m_sharedCopy;
}

bool Tool::hasSettingsOf(const Tool &copy) const
{
    Q_UNUSED(copy)
    return false;
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
