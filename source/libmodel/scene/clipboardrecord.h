#pragma once

#include <QByteArray>
#include <QSize>
#include <QUuid>

#include <memory>
#include <optional>

namespace Model {

class ClipboardRecordPrivate;
class Drawing;

// The cell clipboard's record (Scene::CellsMimeType) as a paste reads it: the
// type of the layer the cells came from, then one length-prefixed block per
// copied cell holding the cell's kind, its drawing's copy id, a content flag
// and, on the first block of each drawing, the drawing itself.
//
// The record comes from outside the program (another instance, or any
// program that puts bytes under the type), so it is checked before it is
// used: every block must lie within the record and start with a known kind
// and content flag, a block without content must follow one that carried a
// drawing of the same copy id, a stroke drawing may not claim a frame with a
// side beyond any scene's (SceneFormat::MaximumFrameSide), and nothing may
// follow the last block. A record that fails any of this has no cells. The
// drawings are read only when a cell is asked for, each under the limits of
// its own reader; a drawing that does not read whole leaves its cell without
// one and marked damaged. A stroke drawing is read for the frame of the scene
// it goes into: it becomes a drawing of that frame as it is read, never
// rendered at the frame the record claims (StrokeDrawing::readFitted()).
class ClipboardRecord
{
public:
    struct Cell
    {
        int kind = 0;
        QUuid copyId;
        // Whether this block carries the drawing's content; a block without
        // it shows the drawing of an earlier block with the same copy id.
        bool hasContent = false;
        // The content when it was carried and read whole; null otherwise.
        std::shared_ptr<Drawing> drawing;
        // Content was carried but could not be read.
        bool damaged = false;
        // Collapsed strokes of the drawing that came without their pictures,
        // which cannot be read.
        int unreadablePictures = 0;
    };

    explicit ClipboardRecord(const QByteArray &record);
    ~ClipboardRecord();
    ClipboardRecord(const ClipboardRecord &) = delete;
    ClipboardRecord &operator=(const ClipboardRecord &) = delete;

    // The source layer's type (a stroke or a reference layer); 0 for a
    // damaged record.
    int layerType() const;
    // How many cells the record holds; 0 for a damaged record.
    int cellCount() const;
    // Cell index in 0 .. cellCount() - 1, its drawing read from the record,
    // a stroke drawing as one of frame when frame is given, else at the frame
    // it was copied at; an empty Cell for any other index.
    Cell cell(int index, std::optional<QSize> frame = std::nullopt) const;

private:
    std::unique_ptr<ClipboardRecordPrivate> d;
};

} // namespace Model
