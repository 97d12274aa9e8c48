#pragma once

#include <QPointF>
#include <QRectF>

class QPainter;
class QSvgRenderer;

namespace UI {

// Registers the art of the tool bar, speed dials, controls bar, tool
// pockets, tool settings, paper, exposure sheet, customise overlay and
// dialogs. The trees are linked into every program that uses these widgets
// and normally register themselves; the widgets ask for them anyway, so that
// they never depend on the linker keeping the registration. Cheap to repeat.
void registerUiResources();

// The rectangle of the art at its natural size times `scale` (each side
// rounded half away from zero) with its centre at `centre`.
QRectF artRectCentred(const QSvgRenderer &art, QPointF centre, double scale = 1.0);
// Renders the art into that rectangle.
void drawArtCentred(QPainter &painter, QSvgRenderer &art, QPointF centre, double scale = 1.0);

} // namespace UI
