#pragma once

#include <QByteArray>
#include <QRect>
#include <QWidget>

#include <memory>

class QKeyEvent;

namespace UI {

class DetachedXSheetPrivate;

// The tool window that holds the exposure-sheet pane while the sheet is
// detached from the main window. Closing it only hides it: the window is
// made once and keeps its place and size while hidden; the main window
// keeps them in the preferences across runs. The keys pressed in it are
// handed on, so that the main window's shortcuts work while it has focus.
class DetachedXSheet : public QWidget
{
    Q_OBJECT

public:
    // parent also watches the window's events.
    explicit DetachedXSheet(QWidget *parent = nullptr);
    ~DetachedXSheet() override;

    // The window's geometry as QWidget::saveGeometry() gives it: the live
    // one while shown, else the one it had when last hidden.
    QByteArray savedGeometry() const;
    // What the next show restores; ignored when empty or not a geometry.
    void setSavedGeometry(const QByteArray &geometry);
    // Where the window opens while it has no geometry to restore (it has
    // never been shown): the geometry of its contents, as
    // QWidget::setGeometry() takes it.
    void setFirstGeometry(const QRect &geometry);

Q_SIGNALS:
    void hidden();
    void keyPressed(QKeyEvent *event);
    void keyReleased(QKeyEvent *event);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    std::unique_ptr<DetachedXSheetPrivate> d;
};

} // namespace UI
