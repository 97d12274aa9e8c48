#pragma once

#include <QGraphicsEffect>
#include <QSize>
#include <QString>

#include <memory>

namespace UI {

// A soft drop shadow behind a small pop-up: a fixed-size piece of SVG art,
// centred on the widget and drawn under the widget's own pixels. The art is
// larger than the widget by the blur it shows; a widget larger than the art
// is never cut to it.
class ShadowEffect : public QGraphicsEffect
{
    Q_OBJECT

public:
    // The layer name editor's shadow.
    explicit ShadowEffect(QObject *parent = nullptr);
    ShadowEffect(const QString &art, QSize size, QObject *parent = nullptr);
    ~ShadowEffect() override;

    QSize shadowSize() const;
    QRectF boundingRectFor(const QRectF &rect) const override;

protected:
    void draw(QPainter *painter) override;

private:
    QRectF shadowRectFor(const QRectF &rect) const;

    class ShadowEffectPrivate;
    std::unique_ptr<ShadowEffectPrivate> d;
};

} // namespace UI
