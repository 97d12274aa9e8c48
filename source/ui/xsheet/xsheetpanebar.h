#pragma once

#include <QWidget>

#include <memory>

namespace UI {

class XSheetPane;
class XSheetPaneBarPrivate;

// The strip of buttons above the exposure sheet: the two drag-mode toggles
// at the left, three drawing operations in the middle and four layer
// operations at the right, each the action of the program's action
// registry. The middle group stands centred in the space between the other
// two and disappears, taking no clicks, when that space is too narrow for
// it. A button triggers its action on a release over the button it was
// pressed on, and only while the action is enabled; a disabled action is
// drawn faint and keeps its tool tip. Checked toggles keep a pressed look.
class XSheetPaneBar : public QWidget
{
    Q_OBJECT

public:
    explicit XSheetPaneBar(XSheetPane *parent = nullptr);
    ~XSheetPaneBar() override;

    // Follows a change of the UI scale.
    void updateUISize();

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    std::unique_ptr<XSheetPaneBarPrivate> d;
    friend class XSheetPaneBarPrivate;
};

} // namespace UI
