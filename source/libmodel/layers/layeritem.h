#pragma once

#include <QList>
#include <QSize>
#include <QTransform>
#include <QUuid>

#include <memory>
#include <utility>

class QImage;

namespace Model {

class Drawing;
class LayerItemPrivate;

// The content of one cell of a visual layer. Cells are always held through
// std::shared_ptr, by their layer and by the change records that undo edits.
//
// Kinds: an original owns its drawing; a clone holds the drawing of the
// nearest original before it in the same layer; a distant clone shows the
// drawing of an original somewhere else in the scene. Clones of both kinds
// share the original's Drawing object, so an edit of it shows in all of them.
// The link of a distant clone is kept at both ends, by keys (layer identifier,
// item identifier): the original lists its distant clones, each distant clone
// names its original. Whoever edits one end updates the other.
class LayerItem
{
public:
    static constexpr int OriginalKind = 0;
    static constexpr int CloneKind = 1;
    static constexpr int DistantCloneKind = 2;

    // Addresses a cell across the scene: (layer identifier, item identifier).
    using Key = std::pair<QUuid, QUuid>;

    // An original with a new blank stroke drawing of that size.
    explicit LayerItem(QSize size);
    // An original showing the image (a cell of a reference layer).
    explicit LayerItem(const QImage &image);
    // A clone sharing item's drawing; item itself is let go.
    explicit LayerItem(std::shared_ptr<LayerItem> item);
    ~LayerItem();

    int kind() const;
    void setKind(int kind);
    // Fresh for every new item. Only a copied layer gives its copies the
    // identifiers of the source's cells, so that keys stay meaningful.
    QUuid identifier() const;
    void setIdentifier(const QUuid &identifier);
    std::shared_ptr<Drawing> drawing() const;
    void setDrawing(std::shared_ptr<Drawing> drawing);
    // How the drawing is moved off its pegs in this cell alone.
    QTransform offPegsTransform() const;
    void setOffPegsTransform(const QTransform &transform);
    bool isKeyDrawing() const;
    void setKeyDrawing(bool keyDrawing);
    // On an original: the cells that show its drawing as distant clones.
    QList<Key> distantClones() const;
    void setDistantClones(const QList<Key> &keys);
    // On a distant clone: the original it shows; null keys otherwise.
    QUuid originalLayer() const;
    QUuid originalItem() const;
    void setOriginal(const Key &key);

private:
    LayerItem(const LayerItem &) = delete;
    LayerItem &operator=(const LayerItem &) = delete;

    std::unique_ptr<LayerItemPrivate> d;
};

} // namespace Model
