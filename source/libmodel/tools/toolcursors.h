#pragma once

#include <QCursor>
#include <QPixmap>
#include <QPoint>
#include <QPointF>
#include <QString>

class QSvgRenderer;

namespace Model {

// Cursors are made from the SVG art under ":/pointers/" at run time, so that
// they stay sharp at any device pixel ratio, except the pen and eraser size
// cursors, which are painted from the pen size and the canvas zoom.
//
// Process-wide state, GUI thread only: the shared cursor set, the device
// pixel ratio it is rendered for (1.0 at first), and the canvas scale, the
// screen pixels that one drawing pixel covers at the current zoom (1.0 at
// first).

// Cursors that several tools and the exposure sheet show.
enum class SharedCursor {
    Arrow,
    SlideMode,
    AddClonesMode,
    Drag,
    DragLeftRight,
    DragUpDown,
    Forbidden,
    LayerNotVisible,
    LayerOpacityZero,
    Lock,
    ScribbleEraser,
    ScribblePen,
};

// Builds the shared set for the current device pixel ratio. sharedCursor()
// builds it on first use when start-up has not.
void initToolCursors();
QCursor sharedCursor(SharedCursor which);

// Rebuilds the shared set when the ratio really changes; the same ratio
// again rebuilds nothing.
void setToolCursorDevicePixelRatio(double dpr);
double toolCursorDevicePixelRatio();

void setToolCursorCanvasScale(double scale);
double toolCursorCanvasScale();

// An SVG rendered at the size of its view box for the cursor device pixel
// ratio, with its hot spot in logical pixels, or centred.
QCursor svgCursor(const QString &fileName, QPoint hotSpot);
QCursor svgCursor(const QString &fileName);

// The renderer's picture turned by angleDegrees about its centre, at twice
// the resolution of its view box, with a centred hot spot. Empty (no pixmap)
// when the renderer holds nothing.
QCursor rotatedSvgCursor(QSvgRenderer &renderer, double angleDegrees);

// Painted cursors are drawn at twice the screen resolution whatever the
// screen: a transparent pixmap (sizes in pixmap pixels), its centre, and the
// finished cursor with ratio 2 and the hot spot under that centre.
QPixmap paintedCursorPixmap(int width, int height);
QPointF paintedCursorCentre(const QPixmap &pixmap);
QCursor paintedCursor(QPixmap pixmap);

// Outer diameter in pixmap pixels of a pen of maxDiameter drawing pixels at
// the given canvas scale, rounded half away from zero.
int paintedCursorDiameter(double maxDiameter, double scale);

} // namespace Model
