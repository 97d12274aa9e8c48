#pragma once

#include "tools/tool.h"

#include <memory>

class QSvgRenderer;

namespace Model {

// Places a floating selection: the canvas tells it which handle the pointer
// is over, and the rotate and scale cursors turn with the selection.
class FloatingSelectionTool : public Tool
{
    Q_OBJECT

public:
    // Values 4 to 6 are handles that show the plain arrow; any value past
    // SquashStretch shows the stamp cursor, unless the cursor type says the
    // selection cannot be stamped here.
    enum class FSCursorType : quint32 {
        Move = 0,
        Rotate = 1,
        Scale = 2,
        ScaleRotate = 3,
        Arrow = 4,
        SkewHorizontal = 7,
        SkewVertical = 8,
        SquashStretch = 9,
        Stamp = 10,
    };
    Q_ENUM(FSCursorType)

    explicit FloatingSelectionTool(QObject *parent = nullptr);
    ~FloatingSelectionTool() override;

    Tool *clone() const override;
    QCursor cursor() const override;

    FSCursorType fsCursorType() const { return m_fsCursorType; }

    using Tool::setCursorType;

public Q_SLOTS:
    void setCursorType(Model::FloatingSelectionTool::FSCursorType cursorType);
    // Re-renders the rotate, scale and scale-rotate cursors when the angle
    // (degrees) moves by a whole degree or more from the one they show;
    // always renders the first time.
    void setCursorRotation(double angle);

private:
    FloatingSelectionTool(const FloatingSelectionTool &other);
    void loadRenderers();

    FSCursorType m_fsCursorType = FSCursorType::Move;
    QCursor m_moveCursor;
    QCursor m_rotateCursor;
    QCursor m_scaleCursor;
    QCursor m_scaleRotateCursor;
    QCursor m_skewHorizontalCursor;
    QCursor m_skewVerticalCursor;
    QCursor m_squashStretchCursor;
    QCursor m_stampCursor;
    std::unique_ptr<QSvgRenderer> m_rotateRenderer;
    std::unique_ptr<QSvgRenderer> m_scaleRenderer;
    std::unique_ptr<QSvgRenderer> m_scaleRotateRenderer;
    // The angle the turning cursors show; meaningful once they are rendered.
    double m_referenceAngle = 0.0;
    bool m_turningCursorsRendered = false;
};

} // namespace Model
