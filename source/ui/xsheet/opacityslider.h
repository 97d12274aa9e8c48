#pragma once

#include <QColor>
#include <QWidget>

#include <memory>

namespace UI {

// The pop-up level slider laid over a layer's opacity control: a column of
// the layer's colour rising from the bottom as high as the opacity, over a
// checkerboard that shows where the layer lets the paper through.
//
// It never changes the scene itself. While the user drags, every move emits
// opacitySliderMoved() for a live preview; the release emits opacityChanged()
// once, from the committed opacity to the new one, which the caller turns
// into one undo command. Dragging out of reach (further than the slider's
// own size from it) shows the committed opacity again, and releasing there
// commits nothing. It closes when it loses the focus; a drag under way then
// ends as a release where the pointer was last seen would end it, so that
// what the scene shows is either committed or put back, never left over.
class OpacitySlider : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(double opacity READ opacity WRITE setOpacity)

public:
    explicit OpacitySlider(QWidget *parent = nullptr);
    ~OpacitySlider() override;

    int layerIdx() const;
    // The committed opacity, 0..1.
    double opacity() const;
    // The level drawn, and reported while dragging.
    double shownOpacity() const;

public Q_SLOTS:
    void setLayerIdx(int layerIdx);
    void setColor(const QColor &color);
    // Ignored while the slider reports a move, so that the scene echoing its
    // live preview back does not disturb the drag.
    void setOpacity(double opacity);

Q_SIGNALS:
    void opacityChanged(int layerIdx, double prevOpacity, double newOpacity);
    void opacitySliderMoved(int layerIdx, double opacity);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Commits the shown opacity when at lies within reach, else puts the
    // committed one back; the drag is over either way.
    void finishDrag(QPoint at);

    class OpacitySliderPrivate;
    std::unique_ptr<OpacitySliderPrivate> d;
};

} // namespace UI
