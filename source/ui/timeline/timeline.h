#pragma once

#include <QWidget>

#include <memory>

namespace UI {

class TimelinePrivate;

// The frame slider under the paper: one custom-painted widget with two
// tracks. The upper track carries the playhead knob and maps the frames of
// the frame range, with frame ticks and numbers above it; the lower track is
// a range slider whose two handles and middle piece choose the frame range
// among all frames a range may cover (the range limits).
//
// It knows nothing of scenes: it only chooses values and reports them, and
// its owner turns them into scene changes.
//
// Invariants kept by every setter: minimum <= maximum; minimum <= rangeLower
// <= rangeUpper <= maximum, with rangeLower < rangeUpper whenever minimum <
// maximum; value and sliderPosition lie in [rangeLower, maximum + 1] (the
// playhead may stand on the empty frame after the last one, never before the
// range). While the knob is dragged the value stays and sliderPosition
// follows the pointer; while a handle is dragged the range stays and the
// handle positions follow. A release commits them.
//
// Metrics are design pixels times the user-interface scale, truncated, and
// are recomputed by updateUISize().
class Timeline : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int value READ value WRITE setValue NOTIFY valueChanged)
    Q_PROPERTY(int sliderPosition READ sliderPosition WRITE setSliderPosition NOTIFY sliderMoved)
    Q_PROPERTY(int rangeLower READ rangeLower WRITE setRangeLower)
    Q_PROPERTY(int rangeUpper READ rangeUpper WRITE setRangeUpper)

public:
    explicit Timeline(QWidget *parent = nullptr);
    ~Timeline() override;

    int value() const;
    int sliderPosition() const;
    int rangeLower() const;
    int rangeUpper() const;
    int rangePositionLower() const;
    int rangePositionUpper() const;
    int minimum() const;
    int maximum() const;

    void updateUISize();

public Q_SLOTS:
    void setValue(int value);
    void setSliderPosition(int position);
    void setRange(int lower, int upper);
    void setRangeLower(int value);
    void setRangeUpper(int value);
    void setRangePositions(int positionLower, int positionUpper);
    void setRangePositionLower(int position);
    void setRangePositionUpper(int position);
    void setRangeLimits(int min, int max);

Q_SIGNALS:
    void valueChanged(int value);
    void sliderPressed();
    void sliderMoved(int position);
    // Once per drag of the knob, when the pointer has moved far enough to
    // count as a drag.
    void sliderDragged(int position);
    void sliderReleased(int position);
    void rangeChanged(int lower, int upper);
    void rangeSliderPressed();
    void rangeSliderMoved(int positionLower, int positionUpper);
    void rangeSliderReleased();
    void rangeLimitsChanged(int min, int max);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void setRangeInternal(int lower, int upper, bool emitChanged);
    void setRangeEnd(bool lower, int value);
    void setRangePositionEnd(bool lower, int position);
    void clampValue();
    void handleMove(const QPointF &position);
    void placeBubbles();

    std::unique_ptr<TimelinePrivate> d;
};

} // namespace UI
