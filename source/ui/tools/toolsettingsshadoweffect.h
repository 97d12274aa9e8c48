#pragma once

#include <QGraphicsEffect>

#include <memory>

namespace UI {

// The soft shadow around a tool settings panel, painted from gradient
// strips along its sides and bottom and radial squares at its corners. A
// panel that hangs under the controls bar (its own pocket not shown) casts
// none upward, and its side shadows reach up to its top; a panel that shows
// its own pocket is shadowed all round.
class ToolSettingsShadowEffect : public QGraphicsEffect
{
    Q_OBJECT

public:
    explicit ToolSettingsShadowEffect(QObject *parent = nullptr);
    ~ToolSettingsShadowEffect() override;

    QRectF boundingRectFor(const QRectF &sourceRect) const override;
    // The panel calls it when its pocket is shown or hidden.
    using QGraphicsEffect::updateBoundingRect;

protected:
    void draw(QPainter *painter) override;

private:
    bool isPocketShown() const;

    class ToolSettingsShadowEffectPrivate;
    std::unique_ptr<ToolSettingsShadowEffectPrivate> d;
};

} // namespace UI
