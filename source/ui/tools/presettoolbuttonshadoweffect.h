#pragma once

#include <QGraphicsEffect>

#include <memory>

namespace UI {

// The looks of a preset button around its icon: the click art of the dark
// panels under the icon while the button is down (2 px lower, times the
// scale), and the hover art over it while the pointer is on it. Both are
// drawn at their own size times the UI scale, centred on the button, and
// only for a PresetToolButton parent.
class PresetToolButtonShadowEffect : public QGraphicsEffect
{
    Q_OBJECT

public:
    explicit PresetToolButtonShadowEffect(QObject *parent = nullptr);
    ~PresetToolButtonShadowEffect() override;

    double scale() const;
    void setScale(double scale);
    QRectF boundingRectFor(const QRectF &sourceRect) const override;

protected:
    void draw(QPainter *painter) override;

private:
    class PresetToolButtonShadowEffectPrivate;
    std::unique_ptr<PresetToolButtonShadowEffectPrivate> d;
};

} // namespace UI
