#pragma once

#include <QWidget>

namespace UI {

class XSheetPaneBar;

// The widget that holds the exposure sheet: the button bar on top, shown
// as the preferences say, and below it the sheet, which the main window
// adds to the pane's layout. The main window moves the pane between its own
// layout and the detached exposure-sheet window.
class XSheetPane : public QWidget
{
    Q_OBJECT

public:
    explicit XSheetPane(QWidget *parent = nullptr);
    ~XSheetPane() override;

    XSheetPaneBar *bar() const;
    // Follows a change of the UI scale.
    void updateUISize();

private:
    XSheetPaneBar *m_bar = nullptr;
};

} // namespace UI
