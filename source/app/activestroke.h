#pragma once

#include "strokes/singlestroke.h"

namespace Model {
class KLScene;
}

// The stroke being drawn on a scene, ended as an undoable edit. Whatever
// takes the user elsewhere while the pen is down (another tool, another
// frame, a key) ends the stroke first, so that what was drawn so far is one
// step of the history on the cell it was drawn on.
namespace ActiveStroke {

// Takes the scene's stroke and pushes it on the cell the sheet stands on;
// nothing without a scene or a stroke. True when a stroke was pushed, and
// then lastPoint (when given) receives its last input point, from which a
// caller may go on drawing elsewhere.
bool commit(Model::KLScene *klscene, Model::SingleStroke::InputPoint *lastPoint = nullptr);

} // namespace ActiveStroke
