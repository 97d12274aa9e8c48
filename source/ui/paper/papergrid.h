#pragma once

#include "kl.h"

#include <QPainterPath>
#include <QRectF>

namespace UI {

// The lines of a composition grid over a frame rectangle, in the frame's
// coordinates, to be stroked with a thin pen: the animation field guide,
// title and action safe areas, thirds, the diagonals of a dynamic
// symmetry, or a Renaissance grid of quarters and their diagonals.
QPainterPath gridPath(KL::GridType type, const QRectF &frame);

} // namespace UI
