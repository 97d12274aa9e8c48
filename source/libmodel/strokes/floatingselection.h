#pragma once

#include "strokes/compoundstroke.h"

#include <QCoreApplication>
#include <QImage>
#include <QPointF>
#include <QRect>
#include <QTransform>
#include <QUuid>

#include <memory>
#include <utility>

class QColor;

namespace Model {

class FloatingSelectionPrivate;
class Stroke;

// A piece of a drawing that the animator has lifted and is moving, turning,
// scaling or skewing over the canvas before putting it down again.
//
// The placement is three transforms and a centre. Their product
// M = third * second * first (the third applied first, in QTransform's order)
// takes the lifted content to where the user sees it; a stamp carries the
// content through the inverse of M.
//
// A collapsing stamp renders the content into one bitmap, which can take a
// while; its result is kept and reused for later stamps until the placement
// changes in a way that the bitmap cannot follow by a transform alone (a
// change of the first or second transform). A collapse that is cancelled, or
// that fails, leaves nothing cached, so the next stamp tries again.
//
// The preview image is the creator's: coverage seen through a colour table,
// which setColor() replaces. A selection without content has a null
// rectangle and a null image, and stamps nothing.
class FloatingSelection
{
    Q_DECLARE_TR_FUNCTIONS(Model::FloatingSelection)

public:
    // The placement as it goes in and out in one piece (the canvas builds it,
    // the undo commands keep old and new).
    struct Transform
    {
        QTransform first;
        QTransform second;
        QTransform third;
        QPointF center;

        bool operator==(const Transform &other) const = default;
    };

    // Identity transforms, the centre of the content's bounding rectangle, no
    // collapsing.
    FloatingSelection(std::unique_ptr<Stroke> content, const QImage &image, double opacity);
    ~FloatingSelection();
    FloatingSelection(FloatingSelection &&other) noexcept;
    FloatingSelection &operator=(FloatingSelection &&other) noexcept;

    // The content's bounding rectangle, in drawing pixels before placement.
    QRect rect() const;
    QImage image() const;
    double opacity() const;
    void setOpacity(double opacity);
    bool collapseVectorData() const;
    void setCollapseVectorData(bool collapse);
    // The cell the piece was lifted from, by its key (layer identifier, item
    // identifier), which outlives undo and moves of the cell: where the piece
    // belongs when it cannot be put down where it floats. Null keys when the
    // creator did not say.
    std::pair<QUuid, QUuid> origin() const;
    void setOrigin(const std::pair<QUuid, QUuid> &key);
    Transform transform() const;
    void setTransform(const Transform &transform);
    // Recolours the preview: entry i of its colour table becomes color with
    // an alpha of i times color's own.
    void setColor(const QColor &color);

    // The content as it is to be added to a drawing, owned by the caller:
    // always a compound stroke, placed through the inverse of the placement,
    // and collapsed into a bitmap when collapseVectorData() is set. progress
    // follows a collapse and may cancel it; a cancelled collapse still gives
    // the stamp, with its vector data. Null without content.
    std::unique_ptr<Stroke> stamp(const CompoundStroke::Progress &progress = {});
    // The label for a dialog that shows the progress of a collapsing stamp.
    static QString collapseProgressLabel();

private:
    std::unique_ptr<FloatingSelectionPrivate> d;
};

} // namespace Model
