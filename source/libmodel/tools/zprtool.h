#pragma once

#include "tools/tool.h"

#include <QVariant>

#include <memory>

class QSvgRenderer;

namespace Model {

// Zooms, pans and rotates the view in one gesture; the canvas tells it which
// of the three the gesture is doing, and the rotate cursor follows the view's
// rotation.
class ZPRTool : public Tool
{
    Q_OBJECT

public:
    enum class ZPRCursorType : quint32 {
        Rotate = 0,
        Hand = 1,
        Zoom = 2,
    };
    Q_ENUM(ZPRCursorType)

    explicit ZPRTool(QObject *parent = nullptr);
    ~ZPRTool() override;

    Tool *clone() const override;
    QCursor cursor() const override;

    ZPRCursorType zprCursorType() const { return m_zprCursorType; }
    QVariant pressPosGlobal() const { return m_pressPosGlobal; }

    using Tool::setCursorType;

public Q_SLOTS:
    void setCursorType(Model::ZPRTool::ZPRCursorType cursorType);
    // Kept for the canvas, which reads it back while the gesture lasts.
    void setPressPosGlobal(const QVariant &globalPos);
    // Re-renders the rotate cursor when the angle (degrees) moves by a whole
    // degree or more from the one it shows; always renders the first time.
    void setCursorRotation(double angle);

private:
    ZPRTool(const ZPRTool &other);

    ZPRCursorType m_zprCursorType = ZPRCursorType::Hand;
    QCursor m_handCursor;
    QCursor m_rotateCursor;
    QCursor m_zoomCursor;
    QVariant m_pressPosGlobal;
    std::unique_ptr<QSvgRenderer> m_rotateRenderer;
    // The angle the rotate cursor shows; meaningful once it is rendered.
    double m_referenceAngle = 0.0;
    bool m_rotateCursorRendered = false;
};

} // namespace Model
