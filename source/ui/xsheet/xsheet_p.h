#pragma once

// The exposure sheet's state, shared by its three source files: the view
// itself (xsheet.cpp), its painting and its pointer input.

#include "xsheet/xsheet.h"

#include "scene/scenegesture.h"
#include "strokes/strokeengine.h"
#include "tools/tool.h"

#include <QColor>
#include <QIcon>
#include <QLinearGradient>
#include <QList>
#include <QMetaObject>
#include <QModelIndex>
#include <QPainterPath>
#include <QPen>
#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QPropertyAnimation>
#include <QRectF>
#include <QSize>
#include <QTransform>

class QTimer;

namespace Model {
class FrameRangeModel;
}

namespace UI {

class AnnotationGizmo;
class AudioGizmo;
class ColorGizmo;
class XSheetFooter;
class XSheetHeader;

// The cursor kinds of the sheet's viewport.
enum class SheetCursor : int {
    Arrow = 0,
    SlideMode = 1,
    AddClonesMode = 2,
    DragUpDown = 3,
    Lock = 4,
    AnnotationToolPreview = 5,
    Scribble = 6,
};

class XSheetPrivate
{
public:
    explicit XSheetPrivate(XSheet *owner);

    // The metrics that follow the UI scale: margins, shadows, paths, icon
    // sizes and gradients. The row height is the model's once it has one.
    void updateMetrics(double scale);
    // baseColor and highlightColor by transparency type, and the two
    // translucent copies of the highlight.
    void updateColors();
    // The pen or the eraser, whichever drawing tool was made current last;
    // the pen before either was.
    static Model::Tool::Type annotationToolType();
    // The outline of the cell after a layer's last frame.
    QPen dashedPen() const;
    // note with the band of the live stroke's mask that covers relative row
    // row composed into it (annotation-image space is annotationRowHeight
    // pixels a row); a pen's band alone when there is no note, and nothing
    // for an eraser's. note itself when the band lies outside the mask.
    QImage noteWithStroke(const QImage &note, int row, const Model::SingleStroke &stroke) const;

    XSheet *q;
    XSheetHeader *m_header = nullptr;
    XSheetFooter *m_footer = nullptr;
    // Guarded: the scene that owns the model may go while the sheet still
    // shows it, and the headers' reset after that must not reach it.
    QPointer<Model::FrameRangeModel> m_model;

    // Input state.
    QPoint m_pressPosition;
    QModelIndex m_pressedIndex;
    QModelIndex m_selectionAnchor;
    bool m_frameDragActive = false;
    bool m_slideMode = false;
    // While the sheet itself moves the current cell or pushes what a gesture
    // made: the step that follows is the gesture's own, not an interruption.
    bool m_ownChange = false;
    // A step from elsewhere, an undo, playback or a release that went
    // elsewhere ended the press that is still held: nothing starts from it
    // any more.
    bool m_pressAbandoned = false;
    // An annotation stroke, or a frame or audio drag, that ends in a step.
    Model::SceneGesture m_gesture;
    // Where the mouse was last seen while a button was held.
    QPointF m_lastPosition;
    // Steps of the shown scene's history and those it holds back during a
    // gesture, its undos before they run, its requests to end gestures, and
    // the frames it shows in passing.
    QMetaObject::Connection m_stepConnection;
    QMetaObject::Connection m_heldStepConnection;
    QMetaObject::Connection m_undoConnection;
    QMetaObject::Connection m_endConnection;
    QMetaObject::Connection m_scrubConnection;

    // Metrics.
    int m_cellWidthInset = 3;
    int m_cellTopInset = 1;
    int m_cellLeftInset = 1;
    // Annotations are kept at this height per frame whatever the row height.
    int m_annotationRowHeight = 56;
    int m_rowHeight = 28;
    int m_shadowHeight = 32;
    QRectF m_topShadowRect;
    QRectF m_bottomShadowRect;
    QLinearGradient m_topShadowGradient;
    QLinearGradient m_bottomShadowGradient;
    QLinearGradient m_cellGradientDown;
    QLinearGradient m_cellGradientUp;

    // Colours.
    int m_transparencyType = 4;
    QColor m_baseColor = Qt::white;
    QColor m_highlightColor = QColor(255, 236, 216);
    QColor m_highlightColorStrong;
    QColor m_highlightColorWeak;
    QColor m_greenTint = QColor(51, 123, 52, 50);
    QColor m_gradientColor = QColor(172, 162, 153);

    // Beyond buttons: the paths are drawn about the bottom edge of the row
    // after a layer's last frame, the circle centred 15 design pixels below.
    QPainterPath m_beyondButtonPath;
    QPainterPath m_minusPath;
    QPainterPath m_plusBarPath;
    QPainterPath m_dotPath;
    QColor m_buttonColor = QColor(117, 113, 109);
    QColor m_buttonGlyphColor = QColor(142, 136, 131);
    QColor m_buttonHoverColor = QColor(125, 120, 116);
    QColor m_buttonPressedColor = QColor(111, 107, 103);
    QColor m_beyondLineColor = QColor(107, 103, 99);
    int m_pressedBeyondColumn = -1;
    int m_hoveredBeyondColumn = -1;
    bool m_showBeyondButtons = false;

    // Scrolling.
    bool m_scrollToCenter = true;
    bool m_scrollToCenterSetting = true;
    bool m_verticalScrollAnimation = true;
    QPropertyAnimation *m_scrollAnimation = nullptr;
    int m_topMargin = 18;
    int m_bottomMargin = 6;

    // Icons, with the sizes at which they are drawn.
    QIcon m_layerRefIcon;
    QIcon m_layerPaintIcon;
    QIcon m_keySymbolIcon;
    QIcon m_backlightSymbolIcon;
    QIcon m_waveformIcon;
    QIcon m_chevronIcon;
    QSize m_layerRefIconSize;
    QSize m_layerPaintIconSize;
    QSize m_backlightSymbolIconSize;
    QSize m_chevronIconSize;
    QList<qreal> m_dashPattern{3, 2};
    QColor m_lineColor = QColor(180, 174, 170);

    // Pen input.
    bool m_tabletStrokeActive = false;
    // The pen gesture under way writes an annotation (else the eraser end
    // selects cells).
    bool m_tabletAnnotation = false;
    QTimer *m_tabletTimer = nullptr;
    int m_tabletTimerInterval = 500;

    int m_opacityColumn = -1;

    // The gizmos on the column heads: a colour gizmo per column, shown on
    // stroke layers, and one gizmo each for the audio and the annotation
    // column, made when the first such column shows.
    QList<ColorGizmo *> m_colorGizmos;
    AnnotationGizmo *m_annotationGizmo = nullptr;
    AudioGizmo *m_audioGizmo = nullptr;

    // Audio offset drags.
    bool m_audioOffsetLocked = true;
    bool m_audioDragActive = false;
    double m_audioDragOffset = 0.0;

    // The annotation stroke being drawn.
    int m_annotationTopRow = -1;
    int m_annotationColumn = -1;
    QTransform m_annotationTransform;
    int m_annotationPenType = 0;
    Model::StrokeEngine m_strokeEngine;

    SheetCursor m_cursorKind = SheetCursor::AddClonesMode;
    QMetaObject::Connection m_toolCursorConnection;
};

} // namespace UI
