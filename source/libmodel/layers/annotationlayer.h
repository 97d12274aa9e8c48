#pragma once

#include "layers/layer.h"

#include <QImage>
#include <QSize>

#include <memory>

namespace Model {

class AnnotationLayerPrivate;

// Handwritten notes on the exposure sheet (type 5): one 8-bit coverage image
// per frame, null for a frame without a note. The list may be shorter than
// the scene; frames after its end have no note. Not a visual layer: it has
// no cells and reports no frames. Its edits return records of kinds 5 to 7.
class AnnotationLayer : public Layer
{
    Q_OBJECT

public:
    explicit AnnotationLayer(QObject *parent = nullptr);
    ~AnnotationLayer() override;

    int type() const override;
    // Null: annotation layers are not copied.
    Layer *clone() const override;
    int frameCount() const override;
    bool hasFrame(int frame) const override;
    // Both insert a frame without a note after frame n.
    void insertFrame(int n) override;
    void extendFrame(int n) override;
    QList<LayerChange> removeFrame(int frame) override;
    // Kinds 5 to 7.
    QList<std::pair<int, int>> applyChange(const LayerChange &change, int layer) override;

    // The number of frames the list holds, notes or not.
    int imageCount() const;
    void appendImage(const QImage &image);
    QImage image(int frame) const;
    QList<LayerChange> insertImage(int frame, const QImage &image);
    QList<LayerChange> setImage(int frame, const QImage &image);
    // The note in warm grey, stretched to size; null for a frame without one.
    QImage thumbnail(int frame, const QSize &size) const;
    // A coverage image as a note is shown: in warm grey, stretched to size;
    // null for a null image. The exposure sheet shows a note with the
    // stroke being written on it this way.
    static QImage colouredNote(QImage note, const QSize &size);

private:
    std::unique_ptr<AnnotationLayerPrivate> d;
};

} // namespace Model
