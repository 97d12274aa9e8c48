#pragma once

#include <QFrame>
#include <QPoint>

namespace UI {

// The frame in which the main window places the paper. It reports where its
// edges are on screen whenever it moves or is resized, so that the floating
// tool bar can stay placed against them. It has no state of its own beyond
// the paper it holds.
class DrawingArea : public QFrame
{
    Q_OBJECT

public:
    explicit DrawingArea(QWidget *parent = nullptr);

    // Takes the paper as a child filling the whole area. The area owns it: a
    // later paper, or null, replaces it and deletes the earlier one.
    void setPaper(QWidget *paper);
    QWidget *paper() const;

public Q_SLOTS:
    void triggerLeftAndRightCenterMoved();
    void triggerTopLeftMoved();

Q_SIGNALS:
    // Global positions of the middles of the left and right edges.
    void leftAndRightCenterMoved(QPoint leftCenter, QPoint rightCenter);
    void topLeftMoved();

protected:
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
};

} // namespace UI
