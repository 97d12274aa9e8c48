#pragma once

#include <QtGlobal>

#include <memory>

namespace Model {

class FloatingPieceInPlacePrivate;
class Scene;

// A piece that the user lifted out of a drawing and that floats over the
// paper is part of what they see, though no drawing holds it: the drawing
// it came from shows a hole meanwhile. Whatever is written or painted of
// the scene in that time (a save, a backup, an export) is written or
// painted through one of these, so that the piece is never lost by writing
// the drawing with its hole.
//
// For as long as it lives, the drawing under the piece holds it, put down
// as the stamp would put it: the drawing of the active cell, in a stroke
// layer; on the row just after the layer's last cell, where the stamp would
// add a blank drawing first, a blank cell of the layer with the piece in it.
// The user's work goes on untouched: the piece keeps floating, the undo
// history stays as it was, no signal is emitted and the scene's cached
// pictures still show the hole; once this goes, the drawing is as it was
// before, content, copy id and cells.
//
// A piece floats while the current scene holds a floating selection and
// that tool was the last editing tool chosen (a view tool may be current
// meanwhile: the paper shows the piece all the same). For any other scene,
// or without a floating piece, this does nothing.
class FloatingPieceInPlace
{
public:
    explicit FloatingPieceInPlace(const Scene &scene);
    ~FloatingPieceInPlace();
    Q_DISABLE_COPY_MOVE(FloatingPieceInPlace)

    // Whether a piece floated and now lies in its drawing.
    bool isPlaced() const;

private:
    std::unique_ptr<FloatingPieceInPlacePrivate> d;
};

} // namespace Model
