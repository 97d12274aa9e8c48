#pragma once

#include <QWidget>

#include <memory>

class QAction;
class QAbstractButton;

namespace UI {

class CustomizeOverlayForm;

// The screen on which the user rearranges the tool bar or the two speed
// dials by drag and drop. A child of the main window that covers it while
// shown: the list of customisable actions on the left, an editable copy of
// the tool bar (CustomizeToolBar) or of both dials (CustomizeSpeedDial) in
// the middle, the recycle bin on the right, and OK, Cancel and Restore
// Defaults at the bottom.
//
// Every show reloads the editors from the preferences, so edits that were
// not confirmed are gone; OK stores the edited layout through Model::Settings
// and emits toolBarUpdated or speedDialsUpdated, on which the owner reloads
// the real tool bar or dials. Cancel, Escape and a switch to the other mode
// store nothing; Restore Defaults only loads the defaults into the editors.
//
// Drawn in unscaled pixels; the UI scale does not apply. Its parts are
// children with fixed object names ("actionsListWidget", "toolBar",
// "primarySpeedDial", "secondarySpeedDial", "recycleBin", "draggableSpacer",
// "buttonBox", "titleLabel", ...).
class CustomizeOverlay : public QWidget
{
    Q_OBJECT

public:
    enum class Mode { ToolBar, SpeedDials };

    explicit CustomizeOverlay(QWidget *parent = nullptr);
    ~CustomizeOverlay() override;

    // Fills the action list with every customisable action under its
    // category, once, after the actions exist.
    void populateActionsList();
    void addAction(QAction *action);
    void addCategory(const QString &name);
    void addSeparator();
    void addBlank();

    // Hide and show again, so that the editors reload also when the overlay
    // was already shown (in either mode).
    void showToolBar();
    void showSpeedDials();
    Mode mode() const;

public Q_SLOTS:
    void accept();
    void reject();

Q_SIGNALS:
    void speedDialsUpdated();
    void toolBarUpdated();

protected:
    void keyReleaseEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buttonClicked(QAbstractButton *button);

    class CustomizeOverlayPrivate;
    std::unique_ptr<CustomizeOverlayPrivate> d;
    std::unique_ptr<CustomizeOverlayForm> ui;
};

} // namespace UI
