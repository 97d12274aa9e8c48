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
// For as long as it lives, the scene stands as the window's stamp would
// leave it. Where the stamp can put the piece down at the active cell, it
// lies there: in each original that the sheet's selection shows, or in the
// drawing of the active cell; on the row just after the layer's last cell
// in a blank added first, with the holds of linked layers, the maximum
// frame number and the frame range grown as that blank grows them.
// Anywhere else (a reference, annotation or sound layer, a hidden layer, a
// hold locked for drawing) it lies in the drawing it was lifted from,
// wherever that cell stands now; once that cell is gone, nowhere.
// The user's work goes on untouched: the piece keeps floating, the undo
// history stays as it was, no signal is emitted, the scene's cached
// pictures still show the hole, and the active frame stays where it is;
// once this goes, the scene is as it was before, drawings, copy ids, cells,
// frame count and range.
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

    // Whether a piece floated and now lies in a drawing.
    bool isPlaced() const;

private:
    std::unique_ptr<FloatingPieceInPlacePrivate> d;
};

} // namespace Model
