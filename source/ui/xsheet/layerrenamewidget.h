#pragma once

#include <QLineEdit>

namespace UI {

// The one-line editor laid over a layer's header for typing its new name.
// It never renames anything itself: Return, Enter or a click elsewhere emit
// renamed() with the text and close it; Escape closes it and emits nothing.
// While it is open the application's shortcuts leave those keys to it.
// Closing by Return takes the focus away, which emits renamed() once more
// with the same text; the rename command ignores an unchanged name.
class LayerRenameWidget : public QLineEdit
{
    Q_OBJECT

public:
    explicit LayerRenameWidget(QWidget *parent = nullptr);
    ~LayerRenameWidget() override;

Q_SIGNALS:
    void renamed(const QString &name);

protected:
    bool event(QEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    // Set only while an Escape closes the editor, so that losing the focus
    // on the way does not rename.
    bool m_cancelling = false;
};

} // namespace UI
