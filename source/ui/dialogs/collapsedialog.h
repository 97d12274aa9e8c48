#pragma once

#include <QDialog>

#include <memory>

namespace UI {

// Asks whether the vector data of the current drawing shall be collapsed
// (its strokes flattened into one, which makes a slow drawing quick again),
// and offers to do so from now on without asking. The caller runs it with
// exec() and, when accepted, collapses and reads collapseAutomatically();
// the dialog itself stores nothing. Enter chooses "Collapse"; Escape and
// Cancel reject.
class CollapseDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CollapseDialog(QWidget *parent = nullptr);
    ~CollapseDialog() override;

    bool collapseAutomatically() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    class CollapseDialogPrivate;
    std::unique_ptr<CollapseDialogPrivate> d;
};

} // namespace UI
