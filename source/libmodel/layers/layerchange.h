#pragma once

#include <QImage>
#include <QTransform>

#include <memory>

namespace Model {

class LayerItem;

// One step of a cell or annotation edit, written as the step that undoes it.
// Edits hand back lists of these in the order in which they are to be
// applied; whoever keeps a list (in the end an undo command) hands it back to
// the scene to apply.
//
// A record carries only the member its kind uses: the item for kinds 1 to 3,
// the transform for kind 4, the image for kinds 5 to 7. Copies take that
// member alone; a moved-from record is left with kind 0 (applying it does
// nothing), index -1 and no item.
//
// Records are values. The one exception is the item of a kind-2 record: it is
// shared with the cells, so putting it back may add distant-clone keys to it.
class LayerChange
{
public:
    static constexpr int NoChange = 0;
    // Insert item back as the cell of frame index (a removed cell).
    static constexpr int InsertItem = 1;
    // Put item back as the content of frame index (a replaced cell).
    static constexpr int PutItemBack = 2;
    // Remove the cell of frame index (an inserted cell).
    static constexpr int RemoveCell = 3;
    // Put transform back as the off-pegs transform of frame index.
    static constexpr int PutTransformBack = 4;
    // Insert image back at frame index of an annotation layer.
    static constexpr int InsertImage = 5;
    // Put image back at frame index of an annotation layer.
    static constexpr int PutImageBack = 6;
    // Remove annotation frame index.
    static constexpr int RemoveImage = 7;

    LayerChange();
    LayerChange(int kind, int index, std::shared_ptr<LayerItem> item);
    // A kind-4 record.
    LayerChange(int index, const QTransform &transform);
    LayerChange(const LayerChange &other);
    LayerChange(LayerChange &&other) noexcept;
    LayerChange &operator=(const LayerChange &other);
    LayerChange &operator=(LayerChange &&other) noexcept;
    virtual ~LayerChange();

    int kind() const;
    void setKind(int kind);
    // The 1-based frame the record addresses.
    int index() const;
    void setIndex(int index);
    std::shared_ptr<LayerItem> item() const;
    QTransform transform() const;
    QImage image() const;
    void setImage(const QImage &image);

private:
    void copyFrom(const LayerChange &other);
    void moveFrom(LayerChange &other);

    int m_kind = NoChange;
    int m_index = -1;
    std::shared_ptr<LayerItem> m_item;
    QTransform m_transform;
    QImage m_image;
};

} // namespace Model
