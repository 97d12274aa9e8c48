#pragma once

#include "settings/backlightsetting.h"

#include <QWidget>

#include <memory>

namespace UI {

// Nine vertical bars for one backlight set: four for the frames before the
// current one, the current frame in the middle (always full), four for the
// frames after it. A bar's height is how strongly that neighbour shows; the
// user drags bars up and down, and every step of a drag, and its release,
// emits the whole edited setting. Levels below 5 % snap to off.
//
// Only the two lists of levels are edited; the setting's other choices are
// carried along as they came. A level written for a neighbour further out
// than the list reaches first fills the list with zeros up to it.
class BacklightSliders : public QWidget
{
    Q_OBJECT

public:
    static constexpr int BarCount = 9;
    static constexpr int CurrentFrameBar = 4;

    explicit BacklightSliders(QWidget *parent = nullptr);
    ~BacklightSliders() override;

    // Takes a copy and shows it; emits nothing.
    void setBacklightSetting(const Model::BacklightSetting &setting);
    Model::BacklightSetting backlightSetting() const;
    // Pixel heights, bar 0 (four frames before) to bar 8 (four after).
    QList<double> barHeights() const;
    double columnWidth() const;
    double barWidth() const;

Q_SIGNALS:
    void backlightSettingChanged(Model::BacklightSetting setting);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    class BacklightSlidersPrivate;
    std::unique_ptr<BacklightSlidersPrivate> d;
};

} // namespace UI
