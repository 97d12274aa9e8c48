#pragma once

#include "settings/backlightsettings.h"

#include <QDialog>

#include <memory>

namespace UI {

// Edits the backlight (onion skin): two looks, A and B, each with the
// opacities of the four drawings before and after the current one, tinting,
// what happens at the ends of the frame range and which layers take part;
// which look is in use; the backlight on or off; only key frames or all.
//
// There is no OK or Cancel: every edit is reported at once through
// settingsChanged with the whole record, so the preferences follow while the
// dialog is open, and closing it changes nothing. Reset restores the look in
// use to its built-in values. Only the look in use can be edited; the other
// column is disabled.
//
// The dialog keeps its own copy of the record, whose four level lists always
// hold at least four levels (shorter lists are filled up with 0.0 as they
// come in). setSettings() replaces the copy and reports nothing, so that the
// owner can mirror the preferences into the dialog without an echo.
class CustomizeBacklightDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CustomizeBacklightDialog(const Model::BacklightSettings &settings, QWidget *parent = nullptr);
    ~CustomizeBacklightDialog() override;

    Model::BacklightSettings settings() const;
    void setSettings(const Model::BacklightSettings &settings);

Q_SIGNALS:
    void settingsChanged(Model::BacklightSettings settings);

protected:
    void changeEvent(QEvent *event) override;

private:
    class CustomizeBacklightDialogPrivate;
    std::unique_ptr<CustomizeBacklightDialogPrivate> d;
};

} // namespace UI
