#pragma once

#include "layers/scenechange.h"
#include "scene/scene.h"

#include <QAbstractTableModel>
#include <QImage>
#include <QList>
#include <QModelIndex>
#include <QPoint>
#include <QUuid>

#include <memory>

class QPainterPath;

namespace Model {

class Drawing;
class LayerItem;
class SceneModelPrivate;
class Stroke;

// A scene as a table for the exposure sheet: row r is frame r + 1, column c
// the layer at index c of the scene's layer list.
//
// Invariants: rowCount() is the scene's maximum frame number and
// columnCount() its layer count. A visual column has valid indexes up to one
// row past its last cell, the row where a drawing can be added, which is
// enabled but never selectable; so that row may lie beyond rowCount(). An
// annotation column accepts any row, an audio column the rows where sound
// plays; cells of both are neither enabled nor selectable.
//
// Failure rules: without a scene the model is empty, every query answers an
// invalid QVariant, and every edit refuses (empty list, null, false). The
// edits hand back the scene's change records in reverse order, which is the
// order applyChanges() takes them in.
class SceneModel : public QAbstractTableModel
{
    Q_OBJECT

    // Makes the column and layout announcements, which Qt keeps protected.
    template<typename SheetModel, typename Signal>
    friend void followSceneLayers(SheetModel *model, Scene *scene, Signal rowsChanged);

public:
    // Cell roles are read through data(), layer and frame roles through
    // headerData(); the numbers are fixed, the exposure sheet relies on them.
    enum Role : int {
        LayerTypeRole = Qt::UserRole,
        LinkedRole = Qt::UserRole + 1,
        VisibleRole = Qt::UserRole + 2,
        AudibleRole = Qt::UserRole + 3,
        AnnotationImageRole = Qt::UserRole + 4,
        ColorRole = Qt::UserRole + 5,
        OpacityRole = Qt::UserRole + 6,
        DrawLayerRole = Qt::UserRole + 7,
        VisualLayerRole = Qt::UserRole + 8,
        BeyondLastRole = Qt::UserRole + 9,
        FrameCountRole = Qt::UserRole + 10,
        BacklightFrameRole = Qt::UserRole + 11,
        OriginalDrawingRole = Qt::UserRole + 12,
        DistantCloneRole = Qt::UserRole + 13,
        CloneRole = Qt::UserRole + 14,
        KeyDrawingRole = Qt::UserRole + 15,
        FrameAfterLastRole = Qt::UserRole + 16,
        ScrubFrameRole = Qt::UserRole + 17,
    };
    Q_ENUM(Role)

    explicit SceneModel(QObject *parent = nullptr);
    ~SceneModel() override;

    Scene *scene() const;
    // Resets the model onto scene (not owned), which may be null.
    void setScene(Scene *scene);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // Only an annotation image can be set on a cell.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    // Layer roles answer for either orientation with the section as layer
    // index; the frame roles only vertically, with frame = section + 1.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Renames only through Qt::DisplayRole; the layer type cannot be set.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                       int role = Qt::EditRole) override;

    // The scene's cell edits on the cell of index (layer = column,
    // frame = row + 1), for the undo commands.
    QList<SceneChange> addBlankDrawing(const QModelIndex &index);
    QList<SceneChange> insertBlankDrawing(const QModelIndex &index);
    QList<SceneChange> addCloneDrawing(const QModelIndex &index);
    QList<SceneChange> addCloneDrawings(const QModelIndex &index, int count);
    QList<SceneChange> removeDrawing(const QModelIndex &index);
    // Removes count cells ending at frame row + count, that is from the
    // cell of index downwards.
    QList<SceneChange> removeDrawings(const QModelIndex &index, int count);
    QList<SceneChange> cutPath(const QModelIndex &index, const QPainterPath &path);
    // Always takes the stroke, dropping it when refused.
    bool addStroke(const QModelIndex &index, std::unique_ptr<Stroke> stroke);
    // before and at as Scene::removeStroke takes them.
    std::unique_ptr<Stroke> removeStroke(const QModelIndex &index, const QImage &before = QImage(),
                                         QPoint at = QPoint());
    QList<SceneChange> setDrawing(const QModelIndex &index, std::shared_ptr<Drawing> drawing,
                                  bool detachDistantClones, bool quiet);
    QList<SceneChange> makeClone(const QModelIndex &index, const Scene::DrawingKey &key, bool quiet);
    QList<SceneChange> makeHold(const QModelIndex &index, bool quiet);
    QList<SceneChange> makeOriginal(const QModelIndex &index, const QUuid &copyId);
    // Takes a list as the edits above return it.
    void applyChanges(const QList<SceneChange> &changes);

    std::shared_ptr<LayerItem> itemAt(const QModelIndex &index) const;
    // Null keys wherever the cell is not one of a visual layer.
    Scene::DrawingKey drawingKey(const QModelIndex &index) const;
    Scene::DrawingKey originalDrawingKey(const QModelIndex &index) const;
    Scene::DrawingKey findDrawingKey(const QUuid &copyId) const;
    QModelIndex indexOfDrawing(const Scene::DrawingKey &key) const;

    // Puts the cells on the system clipboard: as many frames as indexes,
    // from the first of them in row order, on its layer.
    bool copyToClipboard(const QModelIndexList &indexes) const;
    bool copyToClipboard(const QModelIndex &index) const;

private:
    void updateSizeHints(KL::ThumbnailSize thumbnailSize);
    void announceSizeHints();

    std::unique_ptr<SceneModelPrivate> d;
};

} // namespace Model
