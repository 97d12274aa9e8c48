#pragma once

// The paper's private state, shared by the files that implement it: input
// dispatch (paperinput.cpp), the view (paperview.cpp), painting
// (paperpainting.cpp) and the floating-selection handles
// (paperselection.cpp).

#include "paper/paper.h"
#include "tools/peninput.h"

#include "scene/scenegesture.h"
#include "strokes/singlestroke.h"

#include <QBrush>
#include <QColor>
#include <QImage>
#include <QInputDevice>
#include <QLinearGradient>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QPointer>
#include <QRect>
#include <QRectF>
#include <QRegion>
#include <QTimer>
#include <QTransform>

#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>

class QGestureEvent;
class QNativeGestureEvent;
class QSvgRenderer;

namespace Model {
class KLScene;
class Scene;
} // namespace Model

namespace UI {

// Modes are the tool types, kept as plain ints as the tool manager gives
// them.
namespace Mode {
inline constexpr int Pen = 0;
inline constexpr int Eraser = 1;
inline constexpr int Hand = 2;
inline constexpr int Zoom = 3;
inline constexpr int Rotate = 4;
inline constexpr int ZoomPanRotate = 5;
inline constexpr int OffPegs = 6;
inline constexpr int Lasso = 7;
inline constexpr int Cutter = 8;
inline constexpr int FloatingSelection = 9;
inline constexpr int Scrubbing = 10;
inline constexpr int PenAdjustment = 11;
inline constexpr int None = 12;
} // namespace Mode

// Parts of a floating selection that the pointer can take.
namespace Handle {
inline constexpr int Move = 0;
inline constexpr int Pivot = 1;
inline constexpr int Rotate = 2;
inline constexpr int Scale = 3;
inline constexpr int ScaleRotate = 4;
inline constexpr int FlipHorizontal = 5;
inline constexpr int FlipVertical = 6;
inline constexpr int None = 7;
} // namespace Handle

// Regions and drag states of the zoom-pan-rotate symbol and of the off-pegs
// circle; NoRegion also means "no drag".
inline constexpr int NoRegion = 3;

// Transforms about a fixed point c. QTransform's builders prepend, so the
// last step written is the first applied.
inline QTransform rotationAbout(QPointF c, double degrees)
{
    return QTransform().translate(c.x(), c.y()).rotate(degrees).translate(-c.x(), -c.y());
}

inline QTransform scalingAbout(QPointF c, double sx, double sy)
{
    return QTransform().translate(c.x(), c.y()).scale(sx, sy).translate(-c.x(), -c.y());
}

inline QTransform translation(QPointF delta)
{
    return QTransform::fromTranslate(delta.x(), delta.y());
}

inline QPainterPath circle(QPointF centre, double radius)
{
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

inline bool isFinite(QPointF point)
{
    return std::isfinite(point.x()) && std::isfinite(point.y());
}

// One pointer sample as the dispatch sees it, from the mouse or the pen.
struct PointerSample
{
    QPointF pos;
    double pressure = 0.5;
    quint64 timestamp = 0;
    Qt::KeyboardModifiers modifiers;
};

class PaperPrivate
{
public:
    explicit PaperPrivate(Paper *paper);
    ~PaperPrivate();

    // --- State: who holds the paper -------------------------------------
    bool tabletPressed = false;
    bool mousePressed = false;
    bool gestureActive = false;
    bool nativeGestureActive = false;
    // The mouse that pressed and its button: moves and releases of other
    // devices (a pen's made-up mouse events among them) and of other buttons
    // leave the gesture alone.
    QInputDevice::DeviceType mouseDevice = QInputDevice::DeviceType::Mouse;
    Qt::MouseButton mouseButton = Qt::NoButton;
    // This paper began the scene's active stroke and has not handed it over.
    bool strokeBegun = false;
    // The press began a stroke, an outline or a drag that ends in a step.
    Model::SceneGesture sceneGesture;

    QPointer<Model::KLScene> klScene;
    QPointer<Model::Scene> scene;
    QRectF paperRect;

    // --- View (paperview.cpp) ---------------------------------------------
    QTransform viewTransform;
    QTransform liveViewDelta;
    QTransform widgetToScene;
    QTransform mirrorTransform;
    QTransform committedOffPegs;
    QTransform liveOffPegsDelta;
    QTransform offPegs;
    QTransform widgetToDrawing;
    QPointF viewCentre;
    QPointF pan;
    double angle = 0.0;
    double scale = 1.0;
    double liveZoomFactor = 1.0;
    bool mirrored = false;
    std::optional<QTransform> quickZoomSaved;
    bool quickZoomSavedMirrored = false;
    double devicePixelRatio = 1.0;

    // --- Floating selection (paperselection.cpp) ------------------------
    QTransform selectionTransform;
    QTransform liveFirst;
    QTransform liveSecond;
    QTransform liveThird;
    QPointF livePivotDelta;
    QTransform first;
    QTransform second;
    QTransform third;
    QPointF pivot;
    QRectF selectionRect;
    QPainterPath selectionOutline;
    QPainterPath rotateHandle;
    QPainterPath scaleHandle;
    QPainterPath scaleRotateHandle;
    QPainterPath flipHButton;
    QPainterPath flipHArrowA;
    QPainterPath flipHArrowB;
    QPainterPath flipVButton;
    QPainterPath flipVArrowA;
    QPainterPath flipVArrowB;
    QPainterPath pivotCircle;
    QPainterPath pivotStar;
    QPainterPath diamondTemplate;
    QPainterPath arrowheadTemplate;
    QPainterPath starTemplate;
    int activeHandle = Handle::None;
    int hoverHandle = Handle::None;
    bool pivotShown = true;

    int mode = Mode::Pen;

    // --- Zoom-pan-rotate symbol -------------------------------------------
    QPointF zprCentre;
    QPainterPath zprPanArea;
    QPainterPath zprRotateArea;
    QRectF zprPanSymbolRect;
    QRectF zprRotateSymbolRect;
    QRectF zprZoomSymbolRect;
    int zprDragState = NoRegion;
    int zprCursorRegion = NoRegion;

    // --- Off pegs ---------------------------------------------------------
    QPainterPath offPegsPanArea;
    QPainterPath offPegsButton;
    QRectF offPegsSymbolRect;
    int offPegsHoverRegion = NoRegion;
    int offPegsDragState = NoRegion;
    int offPegsCursorRegion = NoRegion;

    std::unique_ptr<QSvgRenderer> panSymbol;
    std::unique_ptr<QSvgRenderer> rotateSymbol;
    std::unique_ptr<QSvgRenderer> zoomSymbol;
    std::unique_ptr<QSvgRenderer> offPegsPanSymbol;
    std::unique_ptr<QSvgRenderer> offPegsRotateSymbol;
    std::unique_ptr<QSvgRenderer> offPegsButtonArt;
    std::unique_ptr<QSvgRenderer> offPegsButtonClickArt;
    std::unique_ptr<QSvgRenderer> offPegsButtonHoverArt;

    // --- Input (paperinput.cpp) -------------------------------------------
    std::unique_ptr<Model::SingleStroke> outline;
    QPointF pressPos;
    QPointF dragAnchor;
    QPointF handleOffset;
    QPointF lastPos;
    QPointF lastPressPos;
    QPointF mousePrevHover;
    QPointF mouseLastHover;
    QPointF tabletPrevHover;
    QPointF tabletLastHover;
    double lastPressure = 0.5;
    quint64 lastTimestamp = 0;
    // Time stamps of the last accepted pen press and release.
    PressFilter lastTabletPress;
    PressFilter lastTabletRelease;
    int scrubOffset = 0;
    int minScrubOffset = std::numeric_limits<int>::min();
    int maxScrubOffset = std::numeric_limits<int>::max();
    int penAdjustAxis = 0;

    Paper *q;

    // --- Painting (paperpainting.cpp) -------------------------------------
    QRect freeArea;
    QPointer<QWidget> topWidget;
    int stripHeight = 0;
    QRectF stripRect;
    QLinearGradient stripGradient;
    QBrush deskBrush;
    QColor lineColour{214, 225, 211, 127};
    QColor offPegsTint{51, 123, 52, 50};
    int tintRadius = 100;
    KL::TransparencyType transparencyType = KL::TransparencyType::TransparencyWhite;
    QBrush transparencyBrush{Qt::white};
    KL::GridStatus gridStatus = KL::GridStatus::GridOff;
    KL::GridType gridType = KL::GridType::FieldGuide;
    std::array<QPainterPath, 5> gridPaths;
    QPainterPath gridInWidget;
    // The off-pegs glow, drawn for the free area tintBuiltFor.
    struct TintPiece
    {
        QRect area;
        QImage image;
    };
    QList<TintPiece> tintPieces;
    QRect tintBuiltFor;
    // Where the paper lies on the widget, in device pixels.
    struct PaperView
    {
        QSize devicePixels;
        double devicePixelRatio = 0.0;
        QTransform widgetToScene;
        QTransform widgetToDrawing;
        QRectF paperRect;

        bool operator==(const PaperView &other) const = default;
    };
    // What the desk and the paper under the frame look like.
    struct BackdropView
    {
        PaperView paper;
        QTransform deskTransform;
        KL::TransparencyType transparencyType = KL::TransparencyType::TransparencyWhite;
        bool afterLastDrawing = false;

        bool operator==(const BackdropView &other) const = default;
    };
    // A turned or moved paper takes path fills over the whole widget, and
    // the lines that show a frame off its pegs take a smoothed pass over
    // every pixel they touch. Once a view has been painted twice in a row,
    // what it shows under and over the frame is kept: the desk and paper as
    // one opaque picture of the widget, the lines as the small pieces of a
    // transparent picture that they touch. A view that changes at every
    // repaint (a drag) is painted directly.
    QImage backdrop;
    BackdropView backdropView;
    BackdropView lastDirectBackdrop;
    struct LinePiece
    {
        QRect area;
        QImage image;
    };
    QList<LinePiece> offPegsLines;
    PaperView offPegsLinesView;
    PaperView lastDirectLines;
    // Integral device pixel ratios only: the kept pictures are copied pixel
    // for pixel.
    std::optional<PaperView> paperView(const QPainter &painter) const;

    // A child of the paper, named "autoPanTimer".
    QTimer *autoPanTimer = nullptr;
    bool autoPanRight = false;
    bool autoPanLeft = false;
    bool autoPanDown = false;
    bool autoPanUp = false;

    // --- Predicates ------------------------------------------------------
    bool canDraw() const;
    bool canStartDrawing() const;
    bool canOutline() const;
    bool canStartOutline() const;
    bool isViewToolMode() const { return mode >= Mode::Hand && mode <= Mode::Rotate; }

    // --- Input -----------------------------------------------------------
    void setMousePressed(bool pressed);
    void setTabletPressed(bool pressed);
    void takePress(const PointerSample &sample);
    void leftPress(const PointerSample &sample, QPointF prevHover);
    void pressedMove(const PointerSample &sample);
    void leftRelease(const PointerSample &sample);
    void endGestureForUndo();
    void releaseLost();
    // The release of the mouse button that pressed.
    void mouseRelease(const PointerSample &sample);
    void doubleAction();
    void updateHoverCursors(QPointF pos);
    Model::SingleStroke::InputPoint drawingPoint(const PointerSample &sample) const;
    void addBlankDrawingIfNeeded();
    void finishStroke();
    void outlineStart(const PointerSample &sample);
    void outlinePoint(const PointerSample &sample);
    void outlineFinish(const PointerSample &sample);
    void repaintOutline();
    void scrubStart();
    void scrubMove(QPointF pos);
    void scrubEnd(QPointF pos);
    int scrubOffsetAt(QPointF pos) const;
    void penAdjustStart();
    void penAdjustMove(QPointF pos);
    void backToLastDrawingTool();

    // --- View ------------------------------------------------------------
    void rebuild();
    void decompose();
    void commit();
    void showAt(QPointF source, QPointF target);
    void zoomBy(QPointF widgetPoint, double factor);
    void setZoomLevelAbout(double level, QPointF scenePoint);
    void setRotation(double degrees);
    void centrePaper();
    double fitLevel(double degrees) const;
    double clampScale(double value) const;
    // Where setZoomLevel zooms: the pointer over the free area, else the
    // centre.
    QPointF zoomPoint() const;
    void rebuildMirrorTransform();
    void setMirrored(bool mirror);
    // The view without live changes, off-pegs and selection transforms back
    // to the identity; the mirror stays as it is.
    void resetViewState();
    void resetLiveDeltas();
    void viewDrag(QPointF pos);
    void handDrag(QPointF anchor, QPointF pos);
    void zoomDrag(QPointF anchor, QPointF pos);
    void emitZoomLevelToFit();
    QPolygonF paperInWidget(const QTransform &widgetToPaper) const;
    void repaintDrawingRect(const QRect &rect);

    void placeZprSymbol();
    int zprRegion(QPointF pos) const;
    void zprPress(QPointF pos);
    void zprMove(QPointF pos);
    void zprRelease();
    void zprDoubleAction();
    void updateZprCursor(QPointF pos);
    double zprCursorRotation(QPointF pos) const;

    void layOutOffPegs();
    int offPegsRegion(QPointF pos) const;
    QRect offPegsButtonRect() const;
    void offPegsPress(QPointF pos);
    void offPegsMove(QPointF pos);
    void offPegsRelease(QPointF pos);
    void updateOffPegsHover(QPointF pos);

    bool gestureEvent(QGestureEvent *event);
    bool nativeGestureEvent(QNativeGestureEvent *event);

    // --- Painting --------------------------------------------------------
    void paint(QPainter &painter, const QRegion &exposed);
    // Whether the desk and paper come from the kept picture, which is made
    // when a view is painted the second time in a row.
    bool backdropReady(const QPainter &painter, const QPainterPath &onPegs, const QPainterPath &offPegsPath);
    void copyBackdrop(QPainter &painter, const QRect &exposed) const;
    void paintDeskAndPaper(QPainter &painter, const QRect &exposed, const QPainterPath &onPegs,
                           const QPainterPath &offPegsPath);
    // base: where the painter's widget coordinates lie on its device.
    void paintFrameContent(QPainter &painter, const QRect &exposed, const QTransform &base) const;
    void paintGrid(QPainter &painter, const QRect &exposed) const;
    static constexpr int OffPegsLineCount = 3;
    // As backdropReady, for the lines of a frame off its pegs.
    bool offPegsLinesReady(const QPainter &painter, const QPainterPath &onPegs);
    void copyOffPegsLines(QPainter &painter, const QRect &exposed) const;
    void paintOffPegsLines(QPainter &painter, const QRect &exposed, const QPainterPath &onPegs) const;
    void paintOffPegsLine(QPainter &painter, const QRect &exposed, const QPainterPath &onPegs, int line) const;
    void keepOffPegsLines(const PaperView &view, QPainter::RenderHints hints, const QPainterPath &onPegs);
    void paintTintFrame(QPainter &painter, const QRect &exposed, bool onePixel) const;
    void rebuildTint();
    // The picture a painter paints on, where other threads may paint some
    // of its rows as the painter would.
    struct RowTarget
    {
        QImage *image = nullptr;
        // Widget to image coordinates.
        QTransform offset;
    };
    std::optional<RowTarget> rowTarget(const QPainter &painter, const QRegion &exposed) const;
    void paintInBands(QPainter &painter, const RowTarget &target, const QRegion &exposed, bool offPegsShown,
                      bool onePixel);
    void paintToolSymbols(QPainter &painter);
    void rebuildTransparencyBrush();
    void rebuildGridPaths();
    void mapGrid();
    void updateStripMetrics();
    void layOutStrip(int width);

    // --- Floating selection ----------------------------------------------
    void rebuildSelectionChain();
    void rebuildHandles();
    QTransform selectionToWidget() const;
    bool selectionMirrored() const;
    double upAngle() const;
    QRect handleRegion() const;
    void repaintHandleRegion();
    int hitTest(QPointF pos) const;
    void refreshSelection();
    void selectionPress(QPointF pos, Qt::KeyboardModifiers modifiers);
    void selectionDrag(QPointF pos, Qt::KeyboardModifiers modifiers);
    void selectionRelease(QPointF pos);
    void selectionHover(QPointF pos);
    void setSelectionCursorRotation(int handle);
    void autoPanStep();
    void updateAutoPan(QPointF pos);
    void stopAutoPan();
    void commitSelectionDrag();
    void endSelectionDragElsewhere();
    void paintSelection(QPainter &painter, bool withHandles);
};

} // namespace UI
