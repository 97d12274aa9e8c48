#pragma once

#include <QGraphicsEffect>

#include <memory>

namespace UI {

// The drop shadow under a column gizmo: a shadow image as wide as the open
// gizmo plus its spread, whose bottom follows the gizmo's bottom while the
// gizmo rolls up and down. Sized by the UI scale.
class GizmoGraphicsEffect : public QGraphicsEffect
{
    Q_OBJECT

public:
    explicit GizmoGraphicsEffect(QObject *parent = nullptr);
    ~GizmoGraphicsEffect() override;

    QRectF boundingRectFor(const QRectF &rect) const override;
    // Follows a change of the UI scale.
    void updateUISize();

protected:
    void draw(QPainter *painter) override;

private:
    class GizmoGraphicsEffectPrivate;
    std::unique_ptr<GizmoGraphicsEffectPrivate> d;
};

} // namespace UI
