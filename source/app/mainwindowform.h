#pragma once

class QMainWindow;
class QMenuBar;
class QSplitter;
class QVBoxLayout;
class QWidget;

namespace UI {
class DrawingArea;
class Paper;
class Timeline;
} // namespace UI

namespace Ui {

// The main window's form: the widget tree under the menu bar, built in code
// with fixed object names so that style sheets, tests and tools find the
// widgets by name. The widgets belong to the window; the record only points
// at them.
class MainWindow
{
public:
    QWidget *centralwidget = nullptr;
    QVBoxLayout *verticalLayout_2 = nullptr;
    QSplitter *splitter = nullptr;
    UI::DrawingArea *frame = nullptr;
    UI::Paper *scrollAreaWidgetContents = nullptr;
    UI::Timeline *timeline = nullptr;
    QMenuBar *menubar = nullptr;

    // Builds the tree on the window, which keeps an object name it already
    // has and is otherwise named "MainWindow".
    void setupUi(QMainWindow *window);
};

} // namespace Ui
