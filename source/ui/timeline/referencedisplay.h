#pragma once

#include "kl.h"

#include <QByteArray>
#include <QWidget>

#include <memory>

class QKeyEvent;

namespace Model {
class KLScene;
}

namespace UI {

class ReferenceDisplayPrivate;

// A second top-level window that shows the frame on screen in the current
// scene (the scrubbed or playing frame included), as large as the window
// allows, centred and letterboxed. It never edits.
//
// With several screens it first opens full screen on a screen other than the
// main window's, so that an animator can keep a reference monitor beside the
// paper; with one it opens centred at the largest halving of the frame size
// that fits. Every hide keeps its geometry for the next show, and closing it
// only hides it. Keys pressed while it is active are handed on to the main
// window, so that playback and hold keys work from here too.
class ReferenceDisplay : public QWidget
{
    Q_OBJECT

public:
    explicit ReferenceDisplay(QWidget *parent = nullptr);
    ~ReferenceDisplay() override;

    // The current geometry while shown, else the one kept at the last hide
    // or set with setSavedGeometry().
    QByteArray savedGeometry() const;
    void setSavedGeometry(const QByteArray &geometry);

public Q_SLOTS:
    void setCurrentScene(Model::KLScene *klscene);
    void setVisibility(bool visible);
    void setTransparencyType(KL::TransparencyType transparencyType);

Q_SIGNALS:
    void hidden();
    void keyPressed(QKeyEvent *event);
    void keyReleased(QKeyEvent *event);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    void updateView();
    void updateTitle();
    void toggleFullScreen();
    void placeOnFirstShow();

    std::unique_ptr<ReferenceDisplayPrivate> d;
};

} // namespace UI
