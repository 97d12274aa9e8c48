#pragma once

#include "audio/audiostate.h"
#include "export/exportresult.h"
#include "kl.h"
#include "layers/layer.h"
#include "layers/layeritem.h"
#include "layers/scenechange.h"
#include "strokes/singlestroke.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTransform>
#include <QUuid>

#include <memory>
#include <optional>
#include <utility>

class QMimeData;
class QPainter;
class QPainterPath;
class QUndoStack;

namespace Model {

class AudioLayer;
class BacklightSettings;
class Drawing;
class ExportExposureSheetSettings;
class ExportFramesSettings;
class ExportProgress;
class ExportVideoSettings;
class FloatingSelection;
class MovieFrames;
class ScenePrivate;
class SingleStroke;
class Stroke;

// The document of one open scene: layers of cells by frame, their visual
// ordering, the active frame and layer, the frame range, frame rate and size,
// the frame being scrubbed, and the scene's own undo stack. Views follow it
// only through its signals and queries.
//
// Invariants:
// - layerOrdering() (position 0 = top) and layerPositions() hold one entry
//   per layer and are inverse permutations of each other.
// - activeLayerIdx() names a visual layer whenever the scene has one, and is
//   -1 otherwise; it follows its layer when others are inserted or removed.
// - After every accepted frame-range change, 1 <= first <= last <=
//   maximumFrameNumber(), and the range spans a single frame only when the
//   maximum frame number is 1.
// - The active frame lies inside the frame range and the active layer's
//   cells, except that it may be the empty frame just after the last cell.
// - The frame size is at least 1x1 and the frame rate positive and finite.
//
// Failure rules: queries are total (a bad index or a layer of the wrong kind
// gives a neutral value: 0, -1, false, null or empty). Setters return false
// for a refused index, kind or value and then change and emit nothing; they
// return true when accepted, also when the value was already in place. Other
// edits return whether they changed anything.
//
// Frames are 1-based; a cell is addressed by (layer index, frame) or by its
// drawing key, (layer identifier, item identifier). GUI thread only.
class Scene : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString name READ name NOTIFY nameChanged)
    Q_PROPERTY(QSize frameSize READ frameSize NOTIFY frameSizeChanged)
    Q_PROPERTY(double frameRate READ frameRate WRITE setFrameRate NOTIFY frameRateChanged)
    Q_PROPERTY(KL::ThumbnailSize thumbnailSize READ thumbnailSize WRITE setThumbnailSize NOTIFY thumbnailSizeChanged)
    Q_PROPERTY(int maximumFrameNumber READ maximumFrameNumber NOTIFY maximumFrameNumberChanged)
    Q_PROPERTY(int activeFrame READ activeFrame)
    Q_PROPERTY(int activeLayerIdx READ activeLayerIdx)
    Q_PROPERTY(int minimumFrameNumber READ minimumFrameNumber CONSTANT)

public:
    using DrawingKey = LayerItem::Key;

    // How a requested active frame is treated. Travels with every request to
    // move the active frame, also inside undo commands.
    enum SetFrameBehaviour {
        // A repeated request does nothing; the empty frame after the layer's
        // last cell may be requested and stays as asked.
        AllowFrameAfterLast = 0,
        // Every frame, the one after the last cell included, is clamped into
        // the layer's cells and the frame range.
        ClampToDrawings = 1,
    };
    Q_ENUM(SetFrameBehaviour)

    // Why the active cell takes no ink from the pen, the eraser or a
    // floating piece put down; None when it takes it.
    enum class InkRefusal {
        None,
        HiddenLayer,
        // Faded to an opacity of 0: ink there would be unseen.
        FadedLayer,
        // A reference layer: pictures, no strokes.
        NotDrawLayer,
        // A hold, while the preferences lock holds for drawing.
        LockedHold,
    };
    Q_ENUM(InkRefusal)

    explicit Scene(QObject *parent = nullptr);
    ~Scene() override;

    // Document
    QString name() const;
    QString filePath() const;
    // Also renames the scene after the file; announces the name every time.
    void setFilePath(const QString &path);
    // The name of a scene without a file of its own yet: one recovered from
    // a backup bears that of the scene it backs up.
    void setName(const QString &name);
    QSize frameSize() const;
    int frameWidth() const;
    int frameHeight() const;
    QRect frameRect() const;
    double frameRate() const;
    KL::ThumbnailSize thumbnailSize() const;
    // An equal size does nothing unless forced.
    bool setThumbnailSize(KL::ThumbnailSize size, bool force = false);
    int minimumFrameNumber() const { return 1; }
    int maximumFrameNumber() const;
    QUndoStack *undoStack() const;

    // Active frame and layer, frame range, scrubbing
    int activeFrame() const;
    int activeLayerIdx() const;
    int frameRangeFirst() const;
    int frameRangeLast() const;
    int scrubFrame() const;
    bool isScrubFrame(int frame) const;
    bool isScrubbing() const;

    // Layer list and ordering
    int layerCount() const;
    std::shared_ptr<Layer> layerAt(int index) const;
    // By pointer identity; -1 when absent.
    int indexOfLayer(const std::shared_ptr<Layer> &layer) const;
    QList<int> layerOrdering() const;
    QList<int> layerPositions() const;
    // Inserts at index (clamped into the list) at the bottom of the ordering
    // and returns the index used; -1, and nothing changed, for a null layer
    // or one already in the scene.
    int insertLayer(std::shared_ptr<Layer> layer, int index);
    // Null, and nothing changed, for a bad index or a layer not in the scene.
    std::shared_ptr<Layer> removeLayerAt(int index);
    std::shared_ptr<Layer> removeLayer(const std::shared_ptr<Layer> &layer);
    // Puts layer in place of the one at index and returns that one; clone
    // links are not touched. Null, and nothing changed, for a bad index or a
    // layer that is null or already in the scene.
    std::shared_ptr<Layer> replaceLayer(int index, std::shared_ptr<Layer> layer);
    // Moves the layer standing at position from to position to.
    bool moveLayer(int layerIndex, int fromPosition, int toPosition);
    // The default name of a new layer: the next number of a scene-wide count.
    QString nextLayerNumber();
    int highestUsedLayerNumber() const;
    void setHighestUsedLayerNumber(int number);
    int audioLayerIdx() const;

    // Layers in ordering order that reach the frame range (visual, with at
    // least frameRangeFirst() cells); -1 when none does.
    int topmostLayerInFrameRange() const;
    int bottommostLayerInFrameRange() const;
    int layerAboveActiveInFrameRange() const;
    int layerBelowInFrameRange(int layer) const;
    int layerBelowActiveInFrameRange() const;
    // A draw layer may be merged into the layer below it in the frame range
    // when that one is a draw layer of the same type.
    bool canMergeLayerDown(int layer) const;
    // Folds upper's drawings into lower, frame by frame, keeping the timing
    // of both: where upper starts a drawing while lower holds, lower gets a
    // drawing of its own. Every lower drawing that changes is a new copy, so
    // distant clones of lower cells keep showing the old drawings. Records
    // nothing: undoing is swapping the untouched layers back. False, with
    // nothing changed, unless both are different draw layers of one type.
    bool mergeLayerDown(int upperLayer, int lowerLayer);

    // Layer and cell properties
    bool setLayerVisible(int layer, bool visible);
    bool setLayerLinked(int layer, bool linked);
    bool setLayerName(int layer, const QString &name);
    bool setLayerBeyondLast(int layer, Layer::LayerBeyondLast beyondLast);
    bool setLayerAudible(int layer, bool audible);
    bool setAnnotationImage(int frame, const QImage &image);

    int layerType(int layer) const;
    bool isVisualLayer(int layer) const;
    bool isDrawLayer(int layer) const;
    bool isReferenceLayer(int layer) const;
    bool isAudioLayer(int layer) const;
    bool isAnnotationLayer(int layer) const;
    QString layerName(int layer) const;
    bool isLayerLinked(int layer) const;
    bool isLayerVisible(int layer) const;
    double layerOpacity(int layer) const;
    // Black for visual layers without a colour of their own.
    QColor layerColor(int layer) const;
    int layerBeyondLast(int layer) const;
    bool isLayerAudible(int layer) const;
    // Cells of a visual layer; the maximum frame number for other layers.
    int layerFrameCount(int layer) const;
    int nextFreeFrame(int layer) const;
    int visualLayerCount() const;
    int totalNumberOfDrawings() const;
    int annotationLayerIndex() const;

    bool isOriginalDrawing(int layer, int frame) const;
    bool isCloneDrawing(int layer, int frame) const;
    bool isDistantCloneDrawing(int layer, int frame) const;
    bool isKeyDrawing(int layer, int frame) const;
    bool isFrameAfterLastDrawing(int layer, int frame) const;
    bool isActiveFrameAfterLastDrawing() const;
    // The row after a layer's last cell takes ink, into a blank added first.
    InkRefusal activeCellInkRefusal() const;
    // The first off-pegs transform at frame, walking the ordering from the
    // top; layerOut receives its layer, or -1 for the identity.
    QTransform offPegsTransform(int frame, int *layerOut = nullptr) const;
    bool isOffPegs(int frame, int *layerOut = nullptr) const;
    std::shared_ptr<LayerItem> itemAt(int layer, int frame) const;
    // A visual layer's thumbnail, an audio layer's waveform, an annotation.
    QImage layerImage(int frame, int layer, const QSize &size) const;
    QString frameLabel(int frame, int layer) const;
    // What the active drawing shows inside outline, lifted; null when the
    // active layer cannot be drawn on.
    std::unique_ptr<FloatingSelection> activeDrawingContent(const QPainterPath &outline) const;

    // What one cell of a visual layer shows, replaced without moving any
    // cell. Each returns the one record that puts the former content back
    // (empty when there was nothing to change or the request is refused),
    // keeps the cell's holds and distant-clone links right and announces
    // every cell whose picture changed. A quiet edit announces nothing and
    // leaves the cached pictures alone, for callers that replace several
    // cells and refresh with the last one.
    // The cell becomes an original of drawing, which must suit the layer (a
    // stroke drawing, or a picture on a reference layer); refused, drawing
    // is dropped. With detachDistantClones the cell's distant clones keep
    // the old drawing, the first of them standing in as their original.
    QList<SceneChange> setDrawing(int layer, int frame, std::shared_ptr<Drawing> drawing,
                                  bool detachDistantClones, bool quiet = false);
    // The cell becomes a distant clone of the original named by key, which
    // must be an original on a layer of the same type, and not the cell.
    QList<SceneChange> makeClone(int layer, int frame, const DrawingKey &key, bool quiet = false);
    // The cell holds the drawing of the cell before it.
    QList<SceneChange> makeHold(int layer, int frame, bool quiet = false);
    // A hold or distant clone gets a copy of the drawing it shows, whose copy
    // id becomes copyId (null: not an unedited pasted copy).
    QList<SceneChange> makeOriginal(int layer, int frame, const QUuid &copyId);

    // The cell clipboard's own record format.
    static constexpr QLatin1StringView CellsMimeType{"application/x-kelvane"};
    // The cell clipboard. copy() puts count cells from firstFrame (fewer at
    // the layer's end) under "application/x-kelvane", with a picture of the
    // first drawing and a line naming what was copied; the caller owns the
    // result, null when refused. Drawings without a copy id get one, so that
    // a paste can recognise unedited copies.
    QMimeData *copy(int layer, int firstFrame, int count);
    // How many cells a paste onto the active layer would insert; 0 when it
    // cannot paste, also for a damaged record.
    int canPaste(const QMimeData *mime) const;

    // Drawing keys
    std::shared_ptr<LayerItem> findDrawing(const DrawingKey &key, int *layerOut = nullptr,
                                           int *frameOut = nullptr) const;
    bool containsDrawing(const DrawingKey &key) const;
    // An original's distant clones in the order of their cells, by layer
    // index and then frame, those not in the scene last. The first of them
    // takes over when the original goes. The order in which they were made
    // does not survive undoing the removal of one, so a redo choosing by it
    // could choose another.
    QList<DrawingKey> inSceneOrder(const QList<DrawingKey> &keys) const;
    // The key of the original whose drawing the cell shows.
    DrawingKey originalKeyAt(int layer, int frame) const;
    // As originalKeyAt, with the layer's beyond-last rule applied.
    DrawingKey drawingKeyAt(const QUuid &layerId, int frame) const;
    std::shared_ptr<LayerItem> findOriginalByCopyId(const QUuid &copyId, DrawingKey *keyOut = nullptr,
                                                    int *layerOut = nullptr, int *frameOut = nullptr) const;
    // After the drawing of a cell changed: the cell and the clones that hold
    // it, each made to share that drawing again, as (frame, layer) pairs.
    QList<std::pair<int, int>> propagateToFollowingClones(int frame, int layer);

    // Cell edits. Each returns the records that undo it, in the order in
    // which they are to be applied (the inserting edits newest first), and
    // an empty list, with nothing changed or announced, when it refuses. On
    // a linked layer an insertion happens on every linked layer: the given
    // layer gets the edit, the others one more frame of what they show.
    // A quiet edit announces nothing and leaves the cached pictures alone,
    // so that a caller editing several cells refreshes once, with the last.
    QList<SceneChange> addBlankDrawing(int layer, int frame);
    QList<SceneChange> insertBlankDrawing(int layer, int frame);
    QList<SceneChange> addCloneDrawing(int layer, int frame, bool quiet = false);
    QList<SceneChange> addCloneDrawings(int layer, int frame, int count);
    // For a new scene: records nothing. The frame after the last hold, or -1.
    int insertHoldFrames(int layer, int frame, int count);
    // Moves the original of frame by distance while the next original stays,
    // so that the holds on either side change length and the layer keeps its
    // frame count. The drag's smallest and largest distances say which holds
    // it has eaten into; a slide that needs more holds than there are is
    // refused.
    QList<SceneChange> slideOriginalDrawing(int layer, int frame, int distance, int smallestDistance,
                                            int largestDistance);
    QList<SceneChange> removeDrawing(int layer, int frame);
    // Removes frame, frame - 1, ... count cells in all, from the last back.
    QList<SceneChange> removeDrawings(int layer, int frame, int count);
    // Undoes an edit with the records it returned, in their order.
    void applyChanges(const QList<SceneChange> &changes);
    // True while applyChanges puts cells back: a link to a cell that is not
    // back yet may be mended by a later record of the same list.
    bool isApplyingChanges() const;

    // Stroke edits on the drawing a cell shows, which may be that of an
    // original elsewhere; every cell showing it is announced. cutPath's path
    // is in frame coordinates; a path that covers no ink records nothing.
    // The cut leaves the drawing as it was and gives every cell that shows
    // it a cut copy instead, so that the record puts the very drawing back.
    QList<SceneChange> cutPath(int layer, int frame, const QPainterPath &path);
    // Always takes the stroke: stored on success, dropped otherwise.
    bool addStroke(int layer, int frame, std::unique_ptr<Stroke> stroke);
    // The last stroke of the drawing, for the caller to keep; null when none.
    // before and at, when given, are what the drawing showed inside the
    // rectangle at before the stroke came, which it takes back there instead
    // of rendering its other strokes again (StrokeDrawing::takeLastStroke).
    std::unique_ptr<Stroke> removeStroke(int layer, int frame, const QImage &before = QImage(),
                                         QPoint at = QPoint());

    // Clones and distant clones
    // After a file is read: holds and distant clones share their drawings.
    void resolveClones();
    // The original showing at (layer, frame) and its distant clones, as
    // (frame, layer); empty when the cell does not show an original's drawing.
    QList<std::pair<int, int>> distantCloneCells(int layer, int frame) const;
    // Links both ends; original may be null and is then looked up.
    void linkDistantClone(const DrawingKey &distantKey, const DrawingKey &originalKey,
                          std::shared_ptr<LayerItem> original);
    // The item with a copy of its drawing, no off-pegs transform and no key
    // mark; kind, identifier and links stay.
    std::shared_ptr<LayerItem> copyItemWithOwnDrawing(const LayerItem &item) const;

    // A copy of the annotation of a frame; null without one.
    QImage annotationImage(int frame) const;

    // The stroke being drawn; owned by the scene.
    SingleStroke *activeStroke() const;
    bool hasActiveStroke() const;

    // The stroke being drawn, with the current tool. Beginning finishes and
    // discards a stroke still held: committing it is the caller's business.
    // Every step reports the region its mask grew into by rectChanged.
    void beginStroke(const SingleStroke::InputPoint &point);
    // vector is the pen's previous position: a first point more than 5 pixels
    // away from it starts in that direction, so the stroke continues smoothly.
    void beginStrokeWithVector(const SingleStroke::InputPoint &point, const QPointF &vector);
    // Ignored without a stroke and within a pixel of the last sample.
    void addStrokePoint(const SingleStroke::InputPoint &point);
    // Finished and handed over; null, with only the timers stopped, without one.
    std::unique_ptr<SingleStroke> takeActiveStroke();
    // The dotted line from the fitted part to the pen, within rect; scale is
    // scene pixels per widget pixel, so that the line keeps its width on
    // screen. Nothing while a scrub frame is shown, for an eraser, or unless
    // the active layer is a visible stroke layer.
    void paintActiveStroke(QPainter *painter, const QRect &rect, double scale);

    // What the canvas paints, in frame coordinates and within rect: from the
    // cached pictures, and layer by layer only while a stroke is drawn or a
    // frame is scrubbed. The active layer always lies above the others.
    void paintFrame(QPainter *painter, const QRect &rect) const;
    void paintCurrentFrame(QPainter *painter, const QRect &rect) const;
    void paintBacklight(QPainter *painter, const QRect &rect) const;
    // No stroke is drawn and no frame scrubbed: the three above draw the
    // cached pictures alone, and several threads may call them at once while
    // the scene does not change.
    bool paintsCachedPicturesOnly() const;
    // The backlight is on and frame is the active frame or is shown behind it.
    bool isBacklightFrame(int frame) const;

    // The tracked audio layer's sound. Offsets are in frames, rounded to
    // 0.01 frame, 0 starting the sound at the start of frame 1. Without an
    // audio layer the queries answer false or 0 and the setters do nothing;
    // every change is announced as layersChanged for the audio layer.
    bool hasAudio() const;
    // Sound is loaded and not muted.
    bool isAudioEnabled() const;
    bool hasAudioInFrames(int first, int last) const;
    bool hasAudioAtFrame(int frame) const;
    double audioOffset() const;
    // The offset plus the temporary offset of a drag on the sheet.
    double effectiveAudioOffset() const;
    // False only without an audio layer.
    bool setAudioEnabled(bool enabled);
    // At least a quarter frame of sound stays at or after frame 1.
    void setAudioOffset(double frames);
    // Within a quarter frame of frame 1 the sound snaps to start there.
    void setAudioDragOffset(double frames);

    // Exports. Each runs to its end on the calling thread; progress, when
    // given, is any object with the properties of a QProgressDialog
    // ("maximum", "value", "wasCanceled"), whose cancel is noticed between
    // images. Files are written beside their destination first and put in
    // place only afterwards, so a failed export (reported, with a message for
    // the user) leaves nothing of its own behind; a scene without a visual
    // layer exports nothing and fails, saying so. A piece that floats over the
    // paper is exported where the user sees it (FloatingPieceInPlace).
    // Frames as numbered PNG or OpenEXR images in settings.exportDir, one per
    // layer and frame or one composite per frame; frames that only repeat a
    // drawing are left out or named as holds and clones, as settings say,
    // where the picture they repeat has a file of this export. A cancelled
    // export keeps the frames finished so far.
    ExportResult exportFrames(const ExportFramesSettings &settings, QObject *progress) const;
    // The exposure sheet as an Open Cel Animation package: the folder
    // settings.exportDir/settings.name with a JSON document of the same name
    // and one image per drawing shown, in one folder per layer. A package
    // already there is replaced only once the new one is complete; a
    // cancelled export leaves it as it was.
    ExportResult exportExposureSheet(const ExportExposureSheetSettings &settings, QObject *progress) const;
    // The scene as a movie file settings.exportDir/settings.name: MP4
    // (H.264, AAC sound), QuickTime (ProRes 4444 with transparency or HQ,
    // ALAC sound) or an animated GIF, at settings.scalePercent of the frame
    // size. Sound goes in when asked and the scene's sound reaches the
    // exported frames. Metadata "title" (the scene's name) and "comment"
    // ("Created with Kelvane") are written unless settings name them. A
    // movie already there is replaced only once the new one is complete; a
    // cancel, noticed within moments whenever it comes, leaves it as it was.
    // Formats that need even sides get an odd side grown by one pixel,
    // which the finished result's message says. The encoding runs on
    // threads of its own while this thread runs a local event loop; the
    // scene must not change meanwhile (the caller's dialog is modal).
    ExportResult exportVideo(const ExportVideoSettings &settings, QObject *progress) const;

public Q_SLOTS:
    // Refuses a size below 1x1. progress, when given, is any object with an
    // int "value" property (a progress dialog), raised once per resized cell.
    bool setFrameSize(const QSize &size, KL::FitMode fitMode, QObject *progress);
    bool setFrameSize(const QSize &size, KL::FitMode fitMode);
    // Kept within 0.1 to 60; refuses a rate that is not positive and finite.
    bool setFrameRate(double fps);
    bool setLayerColor(int layer, const QColor &color);
    bool setLayerOpacity(int layer, double opacity);
    bool setKeyDrawing(int layerIdx, int frameId, bool keyDrawing);
    bool setActiveFrameAndLayer(int frameId, int layerId, Model::Scene::SetFrameBehaviour behaviour);
    bool setScrubFrame(int frameId);
    bool unsetScrubFrame();
    bool setCurrentDrawingOffPegsTransform(const QTransform &transform);
    bool setOffPegsTransform(int frameId, const QTransform &transform);
    bool setOffPegsTransform(int frameId, int layerIndex, const QTransform &transform);
    bool setFrameRange(int lower, int upper, int wantedFrameId, int wantedLayerIndex);
    void updateMaxFrameNumber();
    void updateCachedFramePixmap(bool updateBacklight = true);
    void setBacklightSettings(const Model::BacklightSettings &settings);
    void updateCachedCurrentFramePixmap();
    void updateCachedBacklightPixmap();
    bool startScrubbing();
    bool stopScrubbing();
    // Plays from frameId within the frame range; false without sound or
    // outside the range.
    bool startAudioPlayback(int frameId, bool loop);
    void stopAudioPlayback();

Q_SIGNALS:
    void nameChanged(const QString &name);
    void frameRangeChanged(int first, int last);
    void layerRangeChanged(int first, int last);
    void frameRateChanged(double fps);
    void frameSizeAboutToChange(QSize size);
    void frameSizeChanged(QSize size);
    void activeFrameAndLayerChanged(int frame, int layer);
    void scrubFrameChanged(int current, int previous);
    void hasActiveStrokeChanged(bool hasActiveStroke);
    void layersChanged(int firstLayerIndex, int lastLayerIndex);
    // Positions in the ordering.
    void layerMoved(int layerIndex, int oldVisualLayerIndex, int newVisualLayerIndex);
    // The index as requested; layerInserted gives the one used.
    void beginInsertLayer(int newLayerIndex);
    void layerInserted(int newLayerIndex);
    void endInsertLayer();
    void beginRemoveLayer(int layerIndex);
    void layerRemoved(int layerIndex);
    void endRemoveLayer();
    // A region of the frame to repaint.
    void rectChanged(QRect rect);
    // Changed cells as (frame, layer index), sorted by frame, then layer,
    // without duplicates.
    void drawingsChanged(const QList<std::pair<int, int>> &cells);
    void currentDrawingTypeUpdated();
    // The off-pegs transform in effect at the active frame may have changed.
    void offPegsTransformChanged(const QTransform &transform);
    void layerColorChanged(int layerIndex, const QColor &color);
    void layerOpacityChanged(int layerIndex, double opacity);
    void maximumFrameNumberChanged(int numFrames);
    void backlightFramesChanged();
    void thumbnailSizeChanged(KL::ThumbnailSize thumbnailSize);
    void audioStateChanged(Model::AudioState state);

private Q_SLOTS:
    // Driven by the 20 ms and 500 ms stroke timers.
    void strokeUpdateTimeout();
    void strokeFinishTimeout();

private:
    // The active-frame rule shared by every request to move the active
    // frame; true when it stored a change.
    bool applyActiveFrameRule(int frame, int layer, SetFrameBehaviour behaviour);
    // The range to keep once the maximum frame number may have shrunk: the
    // same length, shifted down to end at the maximum.
    std::pair<int, int> frameRangeWithinMaximum() const;
    void connectAudioLayer(const std::shared_ptr<Layer> &layer);
    void disconnectAudioLayer(const std::shared_ptr<Layer> &layer);
    // The layer at audioLayerIdx(), or null.
    AudioLayer *audioLayer() const;
    // The two halves of exportVideo(): the pictures of frames encoded into
    // the file at path.
    ExportResult exportVideoFfmpeg(ExportProgress &progress, const ExportVideoSettings &settings,
                                   MovieFrames &frames, const QString &path) const;
    ExportResult exportVideoGIF(ExportProgress &progress, MovieFrames &frames, const QString &path) const;
    void relinkInsertedLayer(const std::shared_ptr<Layer> &layer);
    void unlinkRemovedLayer(const std::shared_ptr<Layer> &layer);
    void emitWholeFrameChanged();
    // What every replacement of a cell's content ends with; the cached
    // pictures are left alone for a quiet edit.
    void finishContentReplacement(const QList<std::pair<int, int>> &changed, bool refresh);
    // Sorts, drops duplicates and emits drawingsChanged.
    void emitDrawingsChanged(QList<std::pair<int, int>> cells);
    // What every inserting cell edit ends with, the new cell standing just
    // after frame after.
    void finishCellInsertion(int layer, int after, bool grewAtEnd, bool refresh);
    // The range keeps showing the same drawings once a cell stands just
    // after frame after; true when it changed.
    bool growFrameRangeForInsertion(int after, bool grewAtEnd);

    // What a stamp on the row just after a layer's last cell adds before it,
    // as addBlankDrawing after that cell adds it (a blank on the layer, a
    // hold on each layer linked with it, the maximum frame number and the
    // range grown with them), for a piece put in place for a while
    // (FloatingPieceInPlace) and made without a word: nothing is announced,
    // the cached pictures stay, and the active and scrubbed frames stay where
    // they are. The views, which read the scene as they paint, see it only
    // grow meanwhile (every index they hold stays valid); once it is taken
    // back it is again exactly what they were told. Empty when the layer
    // takes no cell.
    struct UnannouncedInsertion
    {
        QList<SceneChange> changes;
        int maximumFrameNumber = 1;
        int frameRangeFirst = 1;
        int frameRangeLast = 1;
    };
    std::optional<UnannouncedInsertion> addBlankAfterLastUnannounced(int layer);
    // Nothing else may have changed the scene since.
    void takeBackUnannounced(const UnannouncedInsertion &insertion);
    friend class FloatingPieceInPlacePrivate;
    // Finishes and drops a stroke still held, then holds a new, empty stroke
    // of the current tool.
    void startActiveStroke();

    std::unique_ptr<ScenePrivate> d;
};

} // namespace Model
