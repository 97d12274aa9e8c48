#include "tools/fixedcursortools.h"

#include "tools/toolcursors.h"

#include <QDebug>

namespace Model {

namespace {

QCursor fixedToolCursor(Tool::Type type)
{
    const QString fileName = FixedCursorTool::getIconFileName(type);
    if (fileName.isEmpty())
        return QCursor();
    switch (type) {
    case Tool::Type::Zoom:
        return svgCursor(fileName, {9, 9});
    case Tool::Type::Lasso:
        return svgCursor(fileName, {13, 8});
    case Tool::Type::Cutter:
        return svgCursor(fileName, {2, 24});
    default:
        return svgCursor(fileName);
    }
}

} // namespace

FixedCursorTool::FixedCursorTool(Type type, QObject *parent)
    : Tool(type, parent)
    , m_cursor(fixedToolCursor(type))
{
}

FixedCursorTool::FixedCursorTool(const FixedCursorTool &other)
    : Tool(other.type(), other.parent())
    , m_cursor(other.m_cursor)
{
}

QString FixedCursorTool::getIconFileName(Tool::Type type)
{
    switch (type) {
    case Type::Hand:
        return QStringLiteral(":/pointers/pointer-hand.svg");
    case Type::Zoom:
        return QStringLiteral(":/pointers/pointer-zoom.svg");
    case Type::Rotate:
        return QStringLiteral(":/pointers/pointer-rotate.svg");
    case Type::Lasso:
        return QStringLiteral(":/pointers/pointer-lasso.svg");
    case Type::Cutter:
        return QStringLiteral(":/pointers/pointer-cutter.svg");
    case Type::Scrubbing:
        return QStringLiteral(":/pointers/pointer-scrub.svg");
    default:
        qWarning() << Q_FUNC_INFO << "Unsupported tool type!";
        return QString();
    }
}

QCursor FixedCursorTool::cursor() const
{
    QCursor shared;
    if (sharedCursorForType(shared))
        return shared;
    return m_cursor;
}

HandTool::HandTool(QObject *parent)
    : FixedCursorTool(Type::Hand, parent)
{
}

Tool *HandTool::clone() const
{
    return new HandTool(*this);
}

ZoomTool::ZoomTool(QObject *parent)
    : FixedCursorTool(Type::Zoom, parent)
{
}

Tool *ZoomTool::clone() const
{
    return new ZoomTool(*this);
}

RotateTool::RotateTool(QObject *parent)
    : FixedCursorTool(Type::Rotate, parent)
{
}

Tool *RotateTool::clone() const
{
    return new RotateTool(*this);
}

LassoTool::LassoTool(QObject *parent)
    : FixedCursorTool(Type::Lasso, parent)
{
}

Tool *LassoTool::clone() const
{
    return new LassoTool(*this);
}

CutterTool::CutterTool(QObject *parent)
    : FixedCursorTool(Type::Cutter, parent)
{
}

Tool *CutterTool::clone() const
{
    return new CutterTool(*this);
}

ScrubbingTool::ScrubbingTool(QObject *parent)
    : FixedCursorTool(Type::Scrubbing, parent)
{
}

ScrubbingTool::ScrubbingTool(const ScrubbingTool &other)
    : FixedCursorTool(other)
{
}

Tool *ScrubbingTool::clone() const
{
    return new ScrubbingTool(*this);
}

} // namespace Model
