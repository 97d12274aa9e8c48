#pragma once

#include "kl.h"

#include <QImage>
#include <QList>
#include <QRgb>
#include <QSize>
#include <QString>
#include <QUuid>

#include <memory>

namespace Model {

class DrawingPrivate;

// The content of one cell of a visual layer: the animator's strokes
// (StrokeDrawing) or a plain picture for reference frames (ImageDrawing).
// Cells hold drawings through std::shared_ptr, so one drawing may show in
// several cells at once; whoever edits it speaks for all of them.
//
// Coverage is kept colourless. Colour comes in only when a drawing is painted
// or turned into a thumbnail, through a colour table of the layer's (entry i
// is the colour for coverage i).
//
// The copy id is null except while a drawing is unchanged since it was put on
// the clipboard: copying sets a fresh one, and every edit of a stroke
// drawing's content sets it back to null. A paste can therefore tell a
// drawing that is still the copied one from one that has moved on.
class Drawing
{
public:
    static constexpr int StrokeDrawingType = 0;
    static constexpr int ImageDrawingType = 1;

    virtual ~Drawing();

    virtual int type() const = 0;
    // A copy with a null copy id and an empty name.
    virtual std::unique_ptr<Drawing> clone() const = 0;
    virtual bool isEmpty() const = 0;
    // A picture of the drawing fitted into size, for the exposure sheet. Kept
    // until the drawing changes or another size is asked for, which is why a
    // const drawing may still fill its cache here. Null for an invalid size.
    virtual QImage thumbnail(const QSize &size, const QList<QRgb> &colorTable) const = 0;
    virtual QString name() const;
    // Drops the cached thumbnails.
    virtual void clearCache() = 0;
    // Follows a change of the scene's frame size; mode says how the content
    // is fitted into the new frame.
    virtual void changeFrameSize(const QSize &size, KL::FitMode mode) = 0;
    // Adds the content of other on top of this drawing's, where the two kinds
    // allow it.
    virtual void mergeFrom(const Drawing *other) = 0;

    // Sets a fresh copy id and returns it.
    QUuid createCopyId();
    QUuid copyId() const;
    void setCopyId(QUuid id);
    void setName(const QString &name);

protected:
    Drawing();

private:
    Drawing(const Drawing &) = delete;
    Drawing &operator=(const Drawing &) = delete;

    std::unique_ptr<DrawingPrivate> d;
};

} // namespace Model
