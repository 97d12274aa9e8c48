#pragma once

#include "kl.h"
#include "layers/layer.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QSize>
#include <QTransform>

#include <memory>
#include <utility>

class QPainter;

namespace Model {

class LayerItem;
class VisualLayerPrivate;

// A layer that shows a picture in each of its frames: one cell per frame,
// frame n being cells()[n - 1].
//
// Invariants: a concrete layer's frame edits never leave its cell list empty
// (removing the last cell leaves a fresh blank one; only the raw cell list
// edits below can, for a caller that refills it); a clone cell shares the
// drawing of the nearest non-clone cell before it, and every edit here that
// moves cells re-points the clones it leaves behind. Opacity stays within
// 0..1.
//
// Distant clones link cells across layers, so removing a cell and applying a
// record update the other end of each link through the scene that is the
// layer's parent. A layer outside a scene finds no other end and leaves
// such links alone.
//
// The cell queries and setters are total: a frame outside the cells gives
// false, 0 or identity and changes nothing.
class VisualLayer : public Layer
{
    Q_OBJECT
    Q_PROPERTY(bool visible READ isVisible WRITE setVisible NOTIFY visibleChanged)

public:
    // What drawingTypeAt() reports for a frame that shows nothing.
    static constexpr int NoDrawing = 3;

    VisualLayer(const QSize &frameSize, QObject *parent = nullptr);
    // Copies the properties, never the cells: the subclass that clones
    // fills them.
    VisualLayer(const VisualLayer &other);
    ~VisualLayer() override;

    bool isVisible() const;
    double opacity() const;
    QSize frameSize() const;
    const QList<std::shared_ptr<LayerItem>> &cells() const;
    // The cell of a frame; null when the layer has no such frame.
    std::shared_ptr<LayerItem> cell(int frame) const;

    int frameCount() const override;
    bool hasFrame(int frame) const override;
    void insertFrame(int n) override;
    void extendFrame(int n) override;
    QList<LayerChange> removeFrame(int frame) override;
    // Kinds 1, 2 and 4, then the repair of the links around the cell: a
    // clone takes the drawing before it, a distant clone finds its original
    // again (or becomes an original of a blank drawing when it is gone), an
    // original takes back its distant clones, and the holds that follow
    // take the cell's drawing.
    QList<std::pair<int, int>> applyChange(const LayerChange &change, int layer) override;
    // While the scene applies a change list, a distant clone put back before
    // its original waits for the rest of the list; once it is applied, the
    // scene has each wait end here: the distant clone finds its original, or
    // becomes an original of a blank drawing. Returns the cells changed.
    QList<std::pair<int, int>> settleAwaitingDistantClones(int layer);

    // Paints a frame into target; allBlack asks for the ink in black.
    virtual void paint(int frame, QPainter *painter, const QRect &target, bool allBlack) const = 0;
    virtual void paint(int frame, QPainter *painter, const QRect &target) const = 0;
    virtual QImage thumbnail(int frame, const QSize &size) const = 0;
    // The cell's tool tip on the exposure sheet.
    virtual QString frameLabel(int frame) const;
    // A blank cell of this layer's kind.
    virtual std::shared_ptr<LayerItem> newCell() const = 0;
    // Resizes every drawing for a new frame size. progress, when given, is
    // any object with an int "value" property (a progress dialog), raised by
    // one after each cell.
    virtual void setFrameSize(const QSize &size, KL::FitMode mode, QObject *progress = nullptr);

    bool isOriginal(int frame) const;
    bool isClone(int frame) const;
    bool isDistantClone(int frame) const;
    bool isKeyDrawing(int frame) const;
    bool setKeyDrawing(int frame, bool keyDrawing);
    QTransform offPegsTransform(int frame) const;
    bool setOffPegsTransform(int frame, const QTransform &transform);
    // The empty row just after the last cell.
    bool isFrameAfterLast(int frame) const;
    // The kind of cell a frame shows once the beyond-last rule is applied
    // (LayerItem kinds), or NoDrawing.
    int drawingTypeAt(int frame) const;
    // How many clone cells directly follow a frame (cycling applied).
    int holdCount(int frame) const;

    // Cell list edits for the scene's own edits and for applying change
    // records; indexes are 0-based here. Each refuses a null item or an index
    // out of range and then changes nothing.
    std::shared_ptr<LayerItem> takeCell(int index);
    bool insertCell(int index, std::shared_ptr<LayerItem> item);
    bool setCell(int index, std::shared_ptr<LayerItem> item);
    // Gives the clone cells that directly follow frame the drawing of frame;
    // returns the frames of those clones.
    QList<int> relinkFollowingClones(int frame);

public Q_SLOTS:
    void setVisible(bool visible);
    // Clamped to 0..1; announces nothing.
    void setOpacity(double opacity);

Q_SIGNALS:
    void visibleChanged(bool visible);

protected:
    // The cell a frame shows once the beyond-last rule is applied; null for
    // a frame that shows nothing.
    std::shared_ptr<LayerItem> shownCell(int frame) const;
    // Fills an empty cell list with copies of source's cells, for clone():
    // originals and distant clones get deep copies of their drawings under
    // the same item identifiers, holds share the copies; keys that pointed
    // into source point into this layer. Off-pegs transforms and key-drawing
    // flags are not copied.
    void copyCellsFrom(const VisualLayer &source);

private:
    // The cell of a key through the scene that is this layer's parent, with
    // its layer index and frame when asked for.
    std::shared_ptr<LayerItem> findInScene(const std::pair<QUuid, QUuid> &key, int *layer = nullptr,
                                           int *frame = nullptr) const;
    void rejoinOriginal(LayerItem &item, const std::pair<QUuid, QUuid> &ownKey) const;
    void repairLinks(int frame, int layer, QList<std::pair<int, int>> &changed);

    std::unique_ptr<VisualLayerPrivate> d;
};

} // namespace Model
