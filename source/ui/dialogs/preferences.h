#pragma once

#include <QWidget>

#include <memory>

namespace UI {

class PreferencesForm;

// The "Settings" window: a fixed-size tool window that lists the program's
// preferences as a scrolling page of sections ("Drawing", "X-Sheet",
// "AutoSave", "Interface") with Restore Defaults and Close at the bottom.
//
// It holds no preference of its own. Every row shows one checkable action of
// Model::ActionManager: clicking the row's button triggers the action, and
// the action's toggled signal moves the button, so the window, the menus and
// the tool bar always agree. An action in an exclusive QActionGroup is shown
// as a radio button in a family that is just as exclusive; any other as a
// check box. Rows are built once, here: an action that is missing or not
// checkable at construction never gets a row, and a button keeps the enabled
// state its action had then.
//
// Restore Defaults sets the preferences back through Model::Settings (and
// the exposure sheet to the left through its action), without asking; the
// rows follow through the actions. Windows Ink is not reset.
//
// The owner (the main window) creates it once, hidden, and shows it with
// raise(), show() and activateWindow(); Close only hides it. Needs the
// actions to exist (Model::ActionManager::createActions) before it is built.
class Preferences : public QWidget
{
    Q_OBJECT

public:
    explicit Preferences(QWidget *parent = nullptr);
    ~Preferences() override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    class PreferencesPrivate;
    std::unique_ptr<PreferencesForm> ui;
    std::unique_ptr<PreferencesPrivate> d;
};

} // namespace UI
