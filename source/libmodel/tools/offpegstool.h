#pragma once

#include "tools/tool.h"

namespace Model {

// Moves and turns a drawing off its pegs; the canvas says which of the two a
// press would do, and the cursor shows it.
class OffPegsTool : public Tool
{
    Q_OBJECT

public:
    enum class OPCursorType : quint32 {
        Rotate = 0,
        Hand = 1,
        Arrow = 2,
    };
    Q_ENUM(OPCursorType)

    explicit OffPegsTool(QObject *parent = nullptr);

    Tool *clone() const override;
    QCursor cursor() const override;

    OPCursorType opCursorType() const { return m_opCursorType; }

    using Tool::setCursorType;

public Q_SLOTS:
    void setCursorType(Model::OffPegsTool::OPCursorType cursorType);

private:
    OffPegsTool(const OffPegsTool &other);

    OPCursorType m_opCursorType = OPCursorType::Rotate;
    QCursor m_handCursor;
    QCursor m_rotateCursor;
};

} // namespace Model
