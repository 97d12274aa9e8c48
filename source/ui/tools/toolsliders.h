#pragma once

#include <QWidget>

#include <memory>
#include <utility>

namespace UI {

// The body of a tool settings panel: two range sliders with a minimum and a
// maximum handle each, one for the tip size and one for the tip opacity of
// the current pen (kind 0) or the current eraser (kind 1), under the tool's
// name and a small triangle that points at the tool's button in the pocket
// above.
//
// Both tracks run over positions 0 to 100: percent of the tool's own size
// and opacity limits, never pixels or fractions. The values shown to the
// user (the bubble over a dragged handle) are mapped through those limits.
//
// A drag moves the handles' positions only; the release commits them as the
// range and writes it to the tool once, so that one drag is one change of
// the tool (which stores it as its Default preset). The tool's own range
// signals reload the sliders, so they also follow presets and key steps.
// Pressing one handle past the other pushes the other along.
//
// Pen input counts like mouse input, and a press within 10 ms of the last
// accepted press or release is dropped (see PressFilter).
class ToolSliders : public QWidget
{
    Q_OBJECT

public:
    // What the hit test finds under a point.
    enum Handle : int { SizeMinimum = 0, SizeMaximum = 1, OpacityMinimum = 2, OpacityMaximum = 3, NoHandle = 4 };

    using Range = std::pair<double, double>;

    ToolSliders(int kind, QWidget *parent = nullptr);
    ~ToolSliders() override;

    int kind() const;
    // The pocket slot (0 to 2) whose tool is shown, -1 while hidden.
    int currentToolIdx() const;
    // Committed ranges and the live positions of a drag, in track positions.
    Range sizeRange() const;
    Range sizeRangePositions() const;
    Range sizeRangeLimits() const;
    Range opacityRange() const;
    Range opacityRangePositions() const;
    // The handle a press at the point would grab.
    Handle handleAt(QPoint point) const;
    // The texts the bubble shows for a position, through the current tool's
    // limits ("72.3px", "33%"); empty without a tool.
    QString sizeText(double position) const;
    QString opacityText(double position) const;

    void updateUISize();

public Q_SLOTS:
    // Positions are clamped into the track range; a range given upside down
    // is turned round. Setting what is already there emits nothing.
    void setSizeRange(double lower, double upper);
    void setSizeRangePositions(double positionLower, double positionUpper);
    void setSizeRangePositionLower(double position);
    void setSizeRangePositionUpper(double position);
    void setSizeRangeLimits(double lower, double upper);
    void setOpacityRange(double lower, double upper);
    void setOpacityRangePositions(double positionLower, double positionUpper);
    void setOpacityRangePositionLower(double position);
    void setOpacityRangePositionUpper(double position);
    void setCurrentToolIdx(int toolIdx);

Q_SIGNALS:
    // The committed range changed.
    void sizeRangeChanged(double lower, double upper);
    void opacityRangeChanged(double lower, double upper);
    // A handle moved during a drag.
    void sizeRangeSliderMovedMin(double positionLower, double positionUpper);
    void sizeRangeSliderMovedMax(double positionLower, double positionUpper);
    void opacityRangeSliderMoved(double positionLower, double positionUpper);
    void sizeRangeLimitsChanged(double lower, double upper);

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void tabletEvent(QTabletEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    template<class Widget>
    friend void sendTabletAsMouse(Widget *, QTabletEvent *);

    class ToolSlidersPrivate;
    std::unique_ptr<ToolSlidersPrivate> d;
};

} // namespace UI
