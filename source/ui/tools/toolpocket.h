#pragma once

#include "tools/peninput.h"

#include <QWidget>

#include <memory>

class QAction;

namespace UI {

// Three variants of one tool kind (pencil, marker, brush; or the three
// erasers) standing in a pocket: the checked one stands up with a highlight,
// the others sink into the pocket and rise a little under the pointer. A
// click that starts and ends on a slot triggers its action and reports the
// slot. The actions belong to the registry; the pocket repaints when their
// checked state changes, so it always shows the current tool.
//
// Pen input counts like mouse input, and a press within 10 ms of the last
// accepted press or release is dropped (see PressFilter).
class ToolPocket : public QWidget
{
    Q_OBJECT

public:
    static constexpr int SlotCount = 3;

    explicit ToolPocket(QWidget *parent = nullptr);
    ~ToolPocket() override;

    // Slots outside 0 to 2 are ignored.
    void setAction(int slot, QAction *action);
    QAction *action(int slot) const;
    // Global position of the point just below the pocket's middle, where a
    // tool settings panel hangs its top.
    QPoint anchorPoint() const;
    // Inside a tool settings panel the pocket is taller.
    void setShownInPanel(bool shownInPanel);
    void updateUISize();

Q_SIGNALS:
    // The slot whose action a click triggered.
    void pressed(int slot);
    void focusReceived();

protected:
    bool event(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void tabletEvent(QTabletEvent *event) override;

private:
    template<class Widget>
    friend void sendTabletAsMouse(Widget *, QTabletEvent *);

    void applySize();

    class ToolPocketPrivate;
    std::unique_ptr<ToolPocketPrivate> d;
};

} // namespace UI
