#pragma once

#include <QAbstractProxyModel>
#include <QImage>
#include <QModelIndex>
#include <QSize>

#include <memory>

namespace Model {

class FrameRangeModelPrivate;
class Scene;

// The scene's table model as the exposure sheet shows it: the frames of the
// frame range plus one row after them, one column per layer, and a preview
// of the two cell drags while the mouse is still down.
//
// Proxy row r shows frame r + frameRangeFirst(); the source is a
// SceneModel, whose row is frame - 1. A visual column shows its cells up to
// the row after its last cell (or, for a layer reaching past the range, its
// empty row in the extra last row) and nothing below; other columns show
// every row but the extra last one.
//
// A drag changes only what the proxy reports, never the scene: a slide
// (kind 0) moves an original up or down through the holds around it, an
// add-clones drag (kind 1) lengthens or shortens the holds of a cell on its
// layer and on the layers linked to it. The committing command reads the
// distances back afterwards. Row and column changes of a drag are not
// announced as model changes; the view follows dragDistanceChanged().
class FrameRangeModel : public QAbstractProxyModel
{
    Q_OBJECT

    // Makes the column and layout announcements, which Qt keeps protected.
    template<typename SheetModel, typename Signal>
    friend void followSceneLayers(SheetModel *model, Scene *scene, Signal rowsChanged);

public:
    static constexpr int SlideDrag = 0;
    static constexpr int AddClonesDrag = 1;
    static constexpr int NoDrag = 2;

    explicit FrameRangeModel(QObject *parent = nullptr);
    ~FrameRangeModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    // Always invalid: the model is flat.
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                       int role = Qt::EditRole) override;
    void setSourceModel(QAbstractItemModel *sourceModel) override;
    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;

    // The scene (not owned) whose frame range is shown; may be null.
    void setScene(Scene *scene);
    Scene *scene() const;

    // False, with nothing started, on an invalid index, without a scene, or
    // on a layer's empty row after its last cell; a slide also refuses
    // frame 1 and clones.
    bool startDrag(int kind, const QModelIndex &index);
    // In frames, negative upwards; kept within what the drag can reach.
    void setDragDistance(int distance);
    void endDrag();
    int dragDistance() const;
    // SlideDrag, AddClonesDrag, or NoDrag while none runs.
    int dragMode() const;
    // The furthest a slide went each way since it started.
    int minDragDistanceReached() const;
    int maxDragDistanceReached() const;
    // Where the dragged cell would land; invalid without a drag.
    QModelIndex dragTargetIndex() const;
    void setAudioDragOffset(double frames);

    int firstFrame() const;
    // The last frame shown above the extra row, a drag's preview included.
    int lastFrame() const;
    int maximumFrameNumber() const;
    QSize frameSize() const;
    bool hasAudio() const;
    bool hasAudioAfterLastRow() const;
    bool audioStartsAfterLastRow() const;
    // Whether the frame of row is off pegs; layerOut receives the layer
    // whose transform decides it.
    bool isOffPegsAt(int row, int *layerOut) const;
    QImage thumbnail(const QModelIndex &index, const QSize &size) const;
    // The cells sharing the drawing of index's cell, as proxy indexes.
    QModelIndexList distantCloneIndexes(const QModelIndex &index) const;

Q_SIGNALS:
    void dragDistanceChanged(int distance);

private:
    std::unique_ptr<FrameRangeModelPrivate> d;
};

} // namespace Model
