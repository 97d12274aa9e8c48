#pragma once

#include "kl.h"
#include "strokes/floatingselection.h"
#include "tools/tool.h"

#include <QPainterPath>
#include <QTransform>
#include <QWidget>

#include <memory>

namespace Model {
class KLScene;
}

namespace UI {

class PaperPrivate;

// The sheet the animator draws on: the active frame of the current scene on
// a linen desk, and every pointer, pen, wheel, touch-pad and gesture event
// turned into what the current tool does with it: a stroke, a change of the
// view, a drawing moved off its pegs, a lasso or cutter outline, an edit of
// the floating selection, a scrub or a change of the pen's size or opacity.
//
// Coordinates: widget pixels; scene pixels of the frame (the paper is
// (0, 0, frame size)); drawing pixels, the scene's after the active frame's
// off-pegs transform. The view maps widget to scene through a committed
// transform (mirror included) and the live change of a drag or gesture,
// which is committed at its end; the zoom level is device pixels per scene
// pixel, kept within 1/16 to 16.
//
// One device holds the paper at a time: a mouse press is refused while the
// pen or a gesture holds it, a pen press while the mouse or the pen does,
// and moves and releases act only for the device that pressed. Input whose
// position or pressure is not a finite number is dropped.
//
// The paper edits a scene only through undo commands pushed on the current
// scene (a blank drawing before the first stroke on the empty frame after a
// layer's last drawing, then one stroke per pen gesture). Everything else it
// reports by signals and leaves to the main window: off-pegs transforms,
// lasso outlines, floating-selection placements and stamps, scrub offsets.
// It never re-renders a frame: it paints the scene's cached pictures, and
// only the part of them inside the region to repaint.
class Paper : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(double zoomLevel READ zoomLevel WRITE setZoomLevel NOTIFY zoomLevelChanged)
    Q_PROPERTY(double zoomLevelToFit READ zoomLevelToFit NOTIFY zoomLevelToFitChanged)
    Q_PROPERTY(bool mirrorView READ mirrorView WRITE setMirrorView NOTIFY mirrorViewChanged)
    Q_PROPERTY(bool devicePressed READ devicePressed NOTIFY devicePressedChanged)

public:
    explicit Paper(QWidget *parent = nullptr);
    ~Paper() override;

    // Device pixels per scene pixel.
    double zoomLevel() const;
    // The level at which the paper, on and off its pegs, fills the free area
    // unrotated.
    double zoomLevelToFit() const;
    bool mirrorView() const;
    // The mouse, the pen or a gesture holds the paper.
    bool devicePressed() const;

    // Widget to scene and widget to drawing coordinates, live changes of a
    // drag included.
    QTransform widgetToScene() const;
    QTransform widgetToDrawing() const;

    // A bar laid over the top of the paper (not owned; the paper becomes its
    // parent). The paper's free area, where it centres and fits the frame,
    // is what the bar leaves, and a soft shadow falls from the bar's edge.
    void setTopWidget(QWidget *widget);
    // After a change of the user-interface scale.
    void updateUISize();

    QSize sizeHint() const override;

public Q_SLOTS:
    // Connects to the scene's signals and shows its frame centred, unmirrored
    // and unrotated at level 1; null shows white paper only.
    void setCurrentScene(Model::KLScene *klscene);
    void rotatePaperTo(double angle);
    // To the next multiple of |step| degrees in the step's direction from the
    // multiple nearest to the current angle.
    void rotatePaperToNext(double step);
    // About the pointer when it is over the free area, else about its centre.
    void setZoomLevel(double level);
    void setZoomLevelCenteringOnOrigin(double level);
    // Three times closer, and back to exactly the view before at the next call
    // unless the zoom changed in between.
    void toggleQuickZoom();
    void setMirrorView(bool mirrored);
    void updateFrameSize();
    void resetView();
    void fitToView();
    void updateDevicePixelRatio();
    void setOffPegsTransform(const QTransform &transform);
    void setFloatingSelectionTransform(const Model::FloatingSelection::Transform &transform);
    void setGridStatus(KL::GridStatus status);
    void setGridType(KL::GridType type);
    void setTransparencyType(KL::TransparencyType type);
    // Kept for the menu that calls it; flipping is setMirrorView().
    void returnFlip_Menu();
    // Bounds of the scrub offset kept at the end of a scrub.
    void setMinMaxScrubOffset(int minimum, int maximum);

Q_SIGNALS:
    void zoomLevelChanged(double level);
    void zoomLevelToFitChanged(double level);
    void mirrorViewChanged(bool mirrored);
    // The active frame's off-pegs transform after a drag or a return to the
    // pegs (scene to drawing coordinates).
    void offPegsTransformChanged(const QTransform &transform);
    // A closed outline in drawing coordinates; cut is true for the cutter.
    void lassoingCompleted(const QPainterPath &path, bool cut);
    void floatingSelectionStamped(Qt::KeyboardModifiers modifiers);
    void floatingSelectionTransformChanged(const Model::FloatingSelection::Transform &transform);
    void devicePressedChanged(bool pressed);
    // Frames from the frame where the scrub began; unbounded while dragging.
    void scrubOffsetChanged(int offset);
    void rightButtonPressed(Qt::KeyboardModifiers modifiers);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void tabletEvent(QTabletEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void leaveEvent(QEvent *event) override;

private Q_SLOTS:
    // Follows the tool manager's current tool.
    void setCurrentToolType(Model::Tool::Type type);

private:
    friend class PaperPrivate;
    std::unique_ptr<PaperPrivate> d;
};

} // namespace UI
