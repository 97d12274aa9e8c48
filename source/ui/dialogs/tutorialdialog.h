#pragma once

#include <QDialog>

#include <memory>

namespace UI {

class TutorialDialogForm;

// "How to animate with Kelvane": three large picture buttons that open the
// basic overview, the video tutorials and the keyboard shortcuts in the
// user's web browser (the dialog stays open), and a "Don't show this again"
// box.
//
// The dialog stores nothing. Its caller sets the box from the preference
// that shows it at start-up, runs it modally through UI::Dialogs::exec, and
// afterwards stores the box's state however the dialog was closed:
//
//   UI::TutorialDialog dialog(window);
//   dialog.setDontShowAgain(!settings->showHowToAnimateOnStartup());
//   dialogs->exec(&dialog);
//   settings->setShowHowToAnimateOnStartup(!dialog.dontShowAgain());
class TutorialDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TutorialDialog(QWidget *parent = nullptr);
    ~TutorialDialog() override;

    bool dontShowAgain() const;
    void setDontShowAgain(bool dontShow);

private:
    std::unique_ptr<TutorialDialogForm> ui;
};

} // namespace UI
