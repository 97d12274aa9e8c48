#pragma once

#include "layers/layerchange.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <memory>
#include <utility>

namespace Model {

class LayerPrivate;

// A layer of a scene. The scene holds its layers through std::shared_ptr
// (undo commands share them) and is each layer's QObject parent.
//
// Frames are 1-based. Layers without cells (audio, annotation) report no
// frames; the frame edits of the base do nothing and return no records.
// The identifier is fresh for every layer, copies included: with a cell's
// item identifier it forms the key that scene files and distant clones use.
class Layer : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(bool linked READ isLinked WRITE setLinked NOTIFY linkedChanged)

public:
    // What a layer shows after its last cell. Stored as an int as given;
    // every value but FreezeLastDrawing and CycleDrawings shows nothing.
    enum LayerBeyondLast {
        ShowNothing = 1,
        FreezeLastDrawing = 2,
        CycleDrawings = 3,
    };
    Q_ENUM(LayerBeyondLast)

    static constexpr int StrokeLayerType = 1;
    static constexpr int DrawLayerType = 2;
    static constexpr int ReferenceLayerType = 3;
    static constexpr int AudioLayerType = 4;
    static constexpr int AnnotationLayerType = 5;

    explicit Layer(QObject *parent = nullptr);
    // Copies the properties and the parent, never the identifier.
    Layer(const Layer &other);
    ~Layer() override;

    QString name() const;
    bool isLinked() const;
    QUuid identifier() const;
    // For a layer read from a scene file, which takes back the identifier it
    // was saved with, so that the keys of its cells stay valid. A null
    // identifier is refused.
    void setIdentifier(const QUuid &identifier);
    LayerBeyondLast layerBeyondLast() const;

    virtual int type() const = 0;
    virtual int frameCount() const;
    virtual bool hasFrame(int frame) const = 0;
    // Inserts a blank frame after frame n.
    virtual void insertFrame(int n);
    // Lengthens frame n by one frame.
    virtual void extendFrame(int n);
    // Removes a frame; the records, applied in order, undo the removal.
    virtual QList<LayerChange> removeFrame(int frame);
    // A copy for the caller to own, or null for layers that cannot be copied.
    virtual Layer *clone() const = 0;
    // Applies one change record to this layer, layer being its index in the
    // scene. Returns the cells whose picture may have changed as (frame,
    // layer index) pairs, the record's own frame first and cells of other
    // layers included; unsorted, possibly repeated. A record of a kind that
    // the layer does not hold changes nothing here. The base removes the
    // frame of a kind-3 record.
    virtual QList<std::pair<int, int>> applyChange(const LayerChange &change, int layer);

public Q_SLOTS:
    void setName(const QString &name);
    void setLinked(bool linked);
    // True when the value changed; announces nothing.
    bool setLayerBeyondLast(Model::Layer::LayerBeyondLast beyondLast);

Q_SIGNALS:
    void nameChanged(const QString &name);
    void linkedChanged(bool linked);

private:
    Layer &operator=(const Layer &) = delete;

    std::unique_ptr<LayerPrivate> d;
};

} // namespace Model
