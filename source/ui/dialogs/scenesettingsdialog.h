#pragma once

#include "dialogs/scenesettings.h"

#include <QDialog>

#include <memory>

namespace UI {

class SceneSettingsDialogForm;

// The modal dialog in which the user sets a scene's frame size, how existing
// drawings are fitted to a new size, the frame rate and, for a new scene, how
// many frames it starts with. Sizes and rates are offered as presets in two
// combo boxes; typing a value selects the matching preset or "Custom".
//
// The dialog edits a copy of the record it was given; sceneSettings() is the
// result, meaningful only when exec() returned QDialog::Accepted. For a new
// scene the record is first clamped to the fields' ranges (1 to 8192 pixels,
// 0.1 to 60 frames per second, 1 to 10000 frames); an existing scene's values
// are shown as they are, and stay so unless the user edits them. The fit
// mode can only be chosen while a changed scene's size differs from the
// size it has.
//
// A field the user edited is corrected as its validator corrects it when it
// loses the focus (out of range: the nearest bound; empty: the lower bound)
// also when the dialog is accepted straight away; input that still cannot be
// read then keeps the dialog open with a message next to the buttons.
//
// Callers create it on the stack, resize it to 1 x 1 (the fixed-size layout
// then gives it its real size) and run it through UI::Dialogs::exec.
class SceneSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SceneSettingsDialog(const SceneSettings &settings, QWidget *parent = nullptr);
    ~SceneSettingsDialog() override;

    SceneSettings sceneSettings() const;

public Q_SLOTS:
    void accept() override;

protected:
    void changeEvent(QEvent *event) override;

private:
    class SceneSettingsDialogPrivate;
    std::unique_ptr<SceneSettingsDialogForm> ui;
    std::unique_ptr<SceneSettingsDialogPrivate> d;
};

} // namespace UI
