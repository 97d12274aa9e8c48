#pragma once

#include "kl.h"

#include <QPoint>
#include <QWidget>

#include <memory>

namespace UI {

// The small tab at the window edge beside the tool bar that shows and hides
// it. It sits flush at the anchor point of its side (the middle of the
// drawing area's left or right edge), in the gap between that edge and the
// bar, and only the half away from the window edge takes clicks, so that a
// stroke that runs off the paper's edge does not close the bar.
//
// The handle keeps the bar's side; the bar reads it at each layout pass.
class ToolBarHandle : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool opened READ isOpened WRITE setOpened)

public:
    explicit ToolBarHandle(QWidget *parent = nullptr);
    ~ToolBarHandle() override;

    bool isOpened() const;
    KL::ToolBarPosition handlePosition() const;

    void updateUISize();

public Q_SLOTS:
    void moveLeftAndRightCenter(QPoint leftCenter, QPoint rightCenter);
    void setOpened(bool opened);
    void setHandlePosition(KL::ToolBarPosition position);

Q_SIGNALS:
    // The user clicked the handle: the bar is to be shown (true) or hidden.
    void toggled(bool opened);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void layOut();

    class ToolBarHandlePrivate;
    std::unique_ptr<ToolBarHandlePrivate> d;
};

} // namespace UI
