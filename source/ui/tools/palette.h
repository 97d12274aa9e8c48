#pragma once

#include <QColor>
#include <QList>
#include <QWidget>

#include <memory>

namespace UI {

// A round colour picker drawn by hand: a hue ring, a triangle of saturation
// and lightness inside it that turns with the hue (pure hue at the corner
// toward the ring's handle, black and white at the other two), an arc that
// sets the alpha next to a wedge previewing the colour, and ten swatches
// round the outside. Choosing a swatch moves it to the front, so the most
// recently chosen ones stay first; the list keeps its length and lives only
// in memory.
//
// The colour is the property `color`, held as hue, saturation, lightness
// and alpha. A colour without a hue (a grey) keeps the hue last shown, so
// that dragging into the triangle afterwards gives colour again. The mouse
// is followed only while a button is held.
class Palette : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor)

public:
    static constexpr int SwatchCount = 10;

    explicit Palette(QWidget *parent = nullptr);
    ~Palette() override;

    QColor color() const;
    QList<QColor> swatches() const;

public Q_SLOTS:
    void setColor(const QColor &color);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    class PalettePrivate;
    std::unique_ptr<PalettePrivate> d;
};

} // namespace UI
