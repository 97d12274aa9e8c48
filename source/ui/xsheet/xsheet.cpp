#include "xsheet/xsheet.h"

#include "style/uiresources.h"
#include "xsheet/annotationgizmo.h"
#include "xsheet/audiogizmo.h"
#include "xsheet/colorgizmo.h"
#include "xsheet/xsheet_p.h"
#include "xsheet/xsheetchrome.h"
#include "xsheet/xsheetfooter.h"
#include "xsheet/xsheetheader.h"
#include "importcommands.h"
#include "layercommands.h"
#include "layerpropertycommands.h"

#include "kl.h"
#include "layers/layer.h"
#include "scene/framerangemodel.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"
#include "settings/settings.h"
#include "tools/drawingtool.h"
#include "tools/toolcursors.h"
#include "tools/toolmanager.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QEasingCurve>
#include <QFocusEvent>
#include <QGraphicsEffect>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSvgRenderer>
#include <QTimer>
#include <QToolTip>
#include <QUndoStack>

#include <algorithm>
#include <cmath>

namespace UI {

namespace {

using Role = Model::SceneModel::Role;

// The size an SVG icon is drawn at: its view box times the scale, each
// side rounded.
QSize scaledViewBox(const QString &fileName, double scale)
{
    const QSizeF box = QSvgRenderer(fileName).viewBoxF().size();
    return QSize(int(std::lround(box.width() * scale)), int(std::lround(box.height() * scale)));
}

} // namespace

XSheetPrivate::XSheetPrivate(XSheet *owner)
    : q(owner)
{
}

void XSheetPrivate::updateMetrics(double s)
{
    m_rowHeight = int(28 * s);
    m_shadowHeight = int(32 * s);
    m_topMargin = int(18 * s);
    m_bottomMargin = int(6 * s);

    m_layerRefIconSize = scaledViewBox(QStringLiteral(":/xsheet/X-LayerRef.svg"), s);
    m_layerPaintIconSize = scaledViewBox(QStringLiteral(":/xsheet/X-LayerPaint.svg"), s);
    m_chevronIconSize = scaledViewBox(QStringLiteral(":/xsheet/chevron.svg"), s);
    m_backlightSymbolIconSize = scaledViewBox(QStringLiteral(":/xsheet/backlightSymbol.svg"), s / 1.7);

    const double centreY = 15 * s;
    m_beyondButtonPath = QPainterPath();
    m_beyondButtonPath.addEllipse(QPointF(0, centreY), 9.5 * s, 9.5 * s);
    m_minusPath = QPainterPath(QPointF(-5.5 * s, centreY));
    m_minusPath.lineTo(5.5 * s, centreY);
    m_plusBarPath = QPainterPath(QPointF(0, centreY - 5.5 * s));
    m_plusBarPath.lineTo(0, centreY + 5.5 * s);
    m_dotPath = QPainterPath();
    m_dotPath.addEllipse(QPointF(0, centreY), 4 * s, 4 * s);

    m_topShadowGradient = QLinearGradient(0, 0, 0, m_shadowHeight);
    m_topShadowGradient.setColorAt(0, QColor(0, 0, 0, 67));
    m_topShadowGradient.setColorAt(0.5, QColor(0, 0, 0, 15));
    m_topShadowGradient.setColorAt(1, QColor(0, 0, 0, 0));
    m_bottomShadowGradient = m_topShadowGradient;

    // Painting places the cell gradients on each cell; only their stops
    // count here.
    QColor c80 = m_gradientColor;
    c80.setAlphaF(0.8f);
    QColor c10 = m_gradientColor;
    c10.setAlphaF(0.1f);
    m_cellGradientDown = QLinearGradient(0, 0, 0, m_rowHeight - m_cellTopInset);
    m_cellGradientDown.setColorAt(0, c10);
    m_cellGradientDown.setColorAt(1, c80);
    m_cellGradientUp = m_cellGradientDown;
    m_cellGradientUp.setColorAt(0, c80);
    m_cellGradientUp.setColorAt(1, c10);
}

QPen XSheetPrivate::dashedPen() const
{
    QPen pen(m_lineColor, 1, Qt::CustomDashLine, Qt::FlatCap, Qt::RoundJoin);
    pen.setDashPattern(m_dashPattern);
    return pen;
}

Model::Tool::Type XSheetPrivate::annotationToolType()
{
    const bool eraser = Model::ToolManager::instance()->lastDrawingToolType() == Model::Tool::Type::Eraser;
    return eraser ? Model::Tool::Type::Eraser : Model::Tool::Type::Pen;
}

void XSheetPrivate::updateColors()
{
    switch (m_transparencyType) {
    case 0:
    case 2:
    case 5:
        m_baseColor = Qt::lightGray;
        m_highlightColor = QColor(160, 148, 136);
        break;
    case 1:
    case 3:
    case 6:
        m_baseColor = Qt::darkGray;
        m_highlightColor = QColor(128, 118, 108);
        break;
    case 4:
        m_baseColor = Qt::white;
        m_highlightColor = QColor(255, 236, 216);
        break;
    case 7:
        m_baseColor = Qt::black;
        m_highlightColor = QColor(63, 58, 53);
        break;
    default:
        break;
    }
    m_highlightColorStrong = m_highlightColor;
    m_highlightColorStrong.setAlphaF(0.69803923f);
    m_highlightColorWeak = m_highlightColor;
    m_highlightColorWeak.setAlphaF(0.3019608f);
}

XSheet::XSheet(QWidget *parent)
    : QAbstractItemView(parent)
    , d(std::make_unique<XSheetPrivate>(this))
{
    registerUiResources();
    d->updateMetrics(Model::Settings::instance()->UIScale());
    d->m_layerRefIcon = QIcon(QStringLiteral(":/xsheet/X-LayerRef.svg"));
    d->m_layerPaintIcon = QIcon(QStringLiteral(":/xsheet/X-LayerPaint.svg"));
    d->m_keySymbolIcon = QIcon(QStringLiteral(":/xsheet/keySymbol.svg"));
    d->m_backlightSymbolIcon = QIcon(QStringLiteral(":/xsheet/backlightSymbol.svg"));
    d->m_waveformIcon = QIcon(QStringLiteral(":/xsheet/waveform.svg"));
    d->m_chevronIcon = QIcon(QStringLiteral(":/xsheet/chevron.svg"));
    d->updateColors();

    d->m_scrollAnimation = new QPropertyAnimation(verticalScrollBar(), "value", this);
    d->m_scrollAnimation->setEasingCurve(QEasingCurve::InOutCubic);
    d->m_scrollAnimation->setDuration(130);

    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    // Painting covers every pixel it is asked for; a background filled first
    // would only be painted over.
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

    // The application style draws the header, the footer's empty area and
    // the scroll bars of the sheet in its own way; these properties are what
    // it recognises them by.
    d->m_header = new XSheetHeader(this);
    d->m_header->setProperty("X-Sheet Header", true);
    d->m_footer = new XSheetFooter(this);
    d->m_footer->setProperty("X-Sheet Footer", true);
    horizontalScrollBar()->setProperty("X-Sheet ScrollBar", true);
    verticalScrollBar()->setProperty("X-Sheet ScrollBar", true);

    setFrameStyle(QFrame::NoFrame);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::MinimumExpanding);
    updateViewportMargins();
    verticalScrollBar()->setSingleStep(d->m_rowHeight);
    verticalScrollBar()->installEventFilter(this);

    d->m_tabletTimer = new QTimer(this);
    d->m_tabletTimer->setObjectName(QStringLiteral("tabletTimer"));
    d->m_tabletTimer->setSingleShot(true);
    d->m_tabletTimer->setInterval(d->m_tabletTimerInterval);

    updateCursor(viewport()->mapFromGlobal(QCursor::pos()));

    connect(d->m_header, &QHeaderView::sectionResized, this, [this](int logical, int, int) {
        updateGeometries();
        const int left = d->m_header->sectionViewportPosition(logical);
        viewport()->update(QRect(left, 0, std::max(0, viewport()->width() - left), viewport()->height()));
    });
    connect(d->m_footer, &QHeaderView::sectionMoved, this, &XSheet::onFooterSectionMoved);
    connect(d->m_footer, &QHeaderView::sectionCountChanged, this, [this] {
        syncSectionOrder();
        updateGeometries();
        updateScrollBars();
        d->m_header->setOffset(horizontalScrollBar()->value());
        d->m_footer->setOffset(horizontalScrollBar()->value());
        viewport()->update();
    });
    connect(d->m_header, &QHeaderView::geometriesChanged, this, &XSheet::updateGeometries);
    connect(d->m_header, &XSheetHeader::rightClickedLayer, this, &XSheet::rightClickedLayer);
    connect(d->m_footer, &XSheetFooter::rightClickedLayer, this, &XSheet::rightClickedLayer);
    connect(d->m_header, &XSheetHeader::doubleClickedLayer, this, [this](int column, QRect rect) {
        scrollToColumn(column, EnsureVisible);
        rect.moveLeft(rect.left() + d->m_header->sectionViewportPosition(column));
        rect.moveTopLeft(d->m_header->mapToGlobal(rect.topLeft()));
        Q_EMIT doubleClickedLayer(column, rect);
    });
    connect(d->m_footer, &XSheetFooter::opacityClicked, this, [this](int column) {
        scrollToColumn(column, EnsureVisible);
        d->m_opacityColumn = column;
        moveOpacityCenter();
        Q_EMIT opacityClicked(column);
    });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        d->m_header->setOffset(value);
        d->m_footer->setOffset(value);
        updateGizmos();
        moveOpacityCenter();
    });
    connect(&d->m_strokeEngine, &Model::StrokeEngine::rectChanged, this, [this](QRect rect) {
        if (!rect.isNull())
            viewport()->update(d->m_annotationTransform.inverted().mapRect(rect).adjusted(-1, -1, 1, 1));
    });
    connect(
        this, &XSheet::frameHeightChanged, this,
        [this] { updateCursor(viewport()->mapFromGlobal(QCursor::pos()), true); }, Qt::QueuedConnection);
}

XSheet::~XSheet()
{
    // The widget tree goes after this object's part is gone; what its
    // children announce on their way out must not reach the sheet.
    QObject::disconnect(d->m_toolCursorConnection);
    QObject::disconnect(d->m_stepConnection);
    d->m_header->disconnect(this);
    d->m_footer->disconnect(this);
    horizontalScrollBar()->disconnect(this);
    verticalScrollBar()->removeEventFilter(this);
    if (model())
        model()->disconnect(this);
}

// Geometry

int XSheet::rowHeight() const
{
    return d->m_rowHeight;
}

QVariant XSheet::columnData(int column, int role) const
{
    return SheetChrome::columnData(d->m_model, column, role);
}

int XSheet::columnKind(int column) const
{
    return columnData(column, Role::LayerTypeRole).toInt();
}

int XSheet::rowTop(int row) const
{
    return d->m_topMargin + row * d->m_rowHeight - verticalOffset();
}

int XSheet::rowAt(int y) const
{
    if (!d->m_model)
        return -1;
    const int row = std::max(y - d->m_topMargin - 1 + verticalOffset(), 0) / d->m_rowHeight;
    return row > d->m_model->rowCount() ? -1 : row;
}

QModelIndex XSheet::indexAt(const QPoint &point) const
{
    if (!d->m_model)
        return QModelIndex();
    const int row = rowAt(point.y());
    const int column = d->m_header->logicalIndexAt(point.x());
    if (row < 0 || column < 0)
        return QModelIndex();
    return d->m_model->index(row, column);
}

QRect XSheet::visualRect(const QModelIndex &index) const
{
    if (!index.isValid())
        return QRect();
    return QRect(d->m_header->sectionViewportPosition(index.column()) - 2, rowTop(index.row()) - 6,
                 d->m_header->sectionSize(index.column()) + 3, d->m_rowHeight + 12);
}

int XSheet::contentHeight() const
{
    int rows = d->m_model ? d->m_model->rowCount() : 0;
    if (d->m_model && d->m_showBeyondButtons)
        ++rows;
    return rows * d->m_rowHeight + d->m_bottomMargin + d->m_topMargin;
}

QSize XSheet::viewportSizeHint() const
{
    QSize size(d->m_header->length(), contentHeight());
    if (verticalScrollBar()->isVisible())
        size.rwidth() += verticalScrollBar()->width();
    if (horizontalScrollBar()->isVisible())
        size.rheight() += horizontalScrollBar()->height();
    return size;
}

QPointF XSheet::beyondButtonCentre(int column) const
{
    const int end = columnData(column, Role::FrameCountRole).toInt();
    const int first = d->m_model ? d->m_model->firstFrame() : 0;
    return QPointF(d->m_header->sectionViewportPosition(column) + d->m_cellLeftInset
                       + (d->m_header->sectionSize(column) - d->m_cellWidthInset) * 0.5,
                   (end - first + 1) * d->m_rowHeight - verticalOffset() + d->m_topMargin);
}

bool XSheet::isOnBeyondButton(int column, QPointF position) const
{
    if (column < 0 || !columnData(column, Role::VisualLayerRole).toBool())
        return false;
    return d->m_beyondButtonPath.translated(beyondButtonCentre(column)).contains(position);
}

QRect XSheet::beyondButtonArea(int column) const
{
    return d->m_beyondButtonPath.translated(beyondButtonCentre(column)).boundingRect().toAlignedRect();
}

QRect XSheet::backlightSymbolRect(int row) const
{
    const QSize size = d->m_backlightSymbolIconSize;
    const int y = (d->m_rowHeight - d->m_cellTopInset - size.height()) / 2 + d->m_rowHeight * row - verticalOffset()
        + d->m_cellTopInset + d->m_topMargin;
    return QRect(QPoint(0, y), size);
}

void XSheet::updateScrollBars()
{
    const QSize area = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, d->m_header->length() - area.width()));
    horizontalScrollBar()->setPageStep(area.width());
    verticalScrollBar()->setRange(0, std::max(0, contentHeight() - area.height()));
    verticalScrollBar()->setPageStep(area.height());
}

void XSheet::updateViewportMargins()
{
    setViewportMargins(0, d->m_header->height(), 0, d->m_footer->height());
    setMinimumSize(0, (d->m_header->height() + d->m_layerRefIconSize.height()) * 2
                          + horizontalScrollBar()->sizeHint().height());
}

void XSheet::resizeEvent(QResizeEvent *event)
{
    QAbstractItemView::resizeEvent(event);
    const int w = viewport()->width();
    const int h = viewport()->height();
    d->m_topShadowRect = QRectF(0, 0, w, d->m_shadowHeight);
    d->m_bottomShadowRect = QRectF(0, h - d->m_shadowHeight, w, d->m_shadowHeight);
    d->m_bottomShadowGradient.setStart(0, d->m_bottomShadowRect.bottom());
    d->m_bottomShadowGradient.setFinalStop(0, d->m_bottomShadowRect.top());
    d->m_header->setGeometry(0, 0, width(), d->m_header->height());
    d->m_footer->setGeometry(0, d->m_header->height() + h, width(), d->m_footer->height());
    updateScrollBars();
    moveOpacityCenter();
}

bool XSheet::event(QEvent *event)
{
    // The pointer's release goes elsewhere from now on: to a modal dialog,
    // a popup, or the window that took the focus.
    const QEvent::Type type = event->type();
    if (type == QEvent::WindowBlocked || type == QEvent::WindowDeactivate
        || (type == QEvent::FocusOut && static_cast<QFocusEvent *>(event)->reason() == Qt::PopupFocusReason))
        releaseLost();
    return QAbstractItemView::event(event);
}

bool XSheet::eventFilter(QObject *object, QEvent *event)
{
    // The scroll area lays the vertical bar over the sheet's full height;
    // it belongs between header and footer.
    QScrollBar *bar = verticalScrollBar();
    if (object == bar && event->type() == QEvent::Move && bar->y() == 0) {
        bar->resize(bar->width(), bar->height() - d->m_header->height() - d->m_footer->height());
        bar->move(bar->x(), d->m_header->height());
    }
    return QAbstractItemView::eventFilter(object, event);
}

void XSheet::updateRowHeight()
{
    if (d->m_strokeEngine.hasActiveStroke())
        finishAnnotationStroke();
    if (d->m_model) {
        const int height = d->m_model->headerData(0, Qt::Vertical, Qt::SizeHintRole).toSize().height();
        // A model without a size hint leaves the sheet's own row height.
        if (height > 0)
            d->m_rowHeight = height;
    }
    Q_EMIT frameHeightChanged(d->m_rowHeight);
    verticalScrollBar()->setSingleStep(d->m_rowHeight);
}

void XSheet::moveOpacityCenter()
{
    const int column = d->m_opacityColumn;
    if (column < 0)
        return;
    const QPoint centre(d->m_header->sectionViewportPosition(column) + d->m_header->sectionSize(column) / 2,
                        d->m_footer->y() + 7);
    Q_EMIT opacityCenterMoved(mapToGlobal(centre));
}

// Model wiring

void XSheet::setModel(QAbstractItemModel *model)
{
    if (model == this->model() && d->m_model)
        return;
    if (QAbstractItemModel *old = this->model())
        disconnect(old, nullptr, this, nullptr);
    for (const QMetaObject::Connection &connection :
         {d->m_stepConnection, d->m_heldStepConnection, d->m_undoConnection, d->m_endConnection,
          d->m_scrubConnection})
        QObject::disconnect(connection);
    abandonGestures();
    d->m_model = qobject_cast<Model::FrameRangeModel *>(model);
    d->m_header->setModel(model);
    d->m_footer->setModel(model);
    QAbstractItemView::setModel(model);
    syncSectionOrder();
    updateRowHeight();
    updateScrollBars();
    if (!d->m_model)
        return;
    if (const Model::Scene *scene = d->m_model->scene()) {
        d->m_stepConnection = connect(scene->undoStack(), &QUndoStack::indexChanged, this, &XSheet::abandonGestures);
        // The current cell the sheet itself moves ends a frame shown in
        // passing: that is the gesture's own doing, as its step is.
        d->m_scrubConnection = connect(scene, &Model::Scene::scrubFrameChanged, this, [this](int current, int previous) {
            if (!d->m_ownChange && (current == -1) != (previous == -1))
                abandonDrags();
        });
    }
    // The scene shown is the current one, whose undos the window runs.
    if (Model::KLScene *handle = Model::KLScene::current(); handle && handle->frameRangeModel() == d->m_model) {
        d->m_heldStepConnection = connect(handle, &Model::KLScene::stepHeld, this, &XSheet::abandonGestures);
        d->m_undoConnection = connect(handle, &Model::KLScene::aboutToUndo, this, &XSheet::endGestureForUndo);
        d->m_endConnection = connect(handle, &Model::KLScene::aboutToEndGestures, this, &XSheet::releaseLost);
    }
    connect(d->m_model, &QAbstractItemModel::headerDataChanged, this,
            [this](Qt::Orientation orientation, int first, int last) {
                if (orientation == Qt::Horizontal) {
                    syncSectionOrder();
                    updateScrollBars();
                    updateGizmos();
                    // A layer's length, visibility or beyond-last mode
                    // changes what its column shows below the cells.
                    viewport()->update();
                    return;
                }
                const int top = rowTop(first);
                viewport()->update(QRect(0, top, viewport()->width(), (last - first + 1) * d->m_rowHeight
                                                                          + d->m_cellTopInset));
            });
    connect(d->m_model, &QAbstractItemModel::layoutChanged, this, &XSheet::updateScrollBars);
}

void XSheet::setSelectionModel(QItemSelectionModel *selectionModel)
{
    d->m_header->setSelectionModel(selectionModel);
    QAbstractItemView::setSelectionModel(selectionModel);
}

void XSheet::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles)
{
    if (roles.contains(Qt::SizeHintRole)) {
        updateRowHeight();
        updateGeometries();
        updateScrollBars();
        scrollTo(currentIndex(), EnsureVisible);
        viewport()->update();
        return;
    }
    if (topLeft != bottomRight) {
        viewport()->update();
        return;
    }
    if (topLeft.data(Role::OriginalDrawingRole).toBool())
        updateDistantClones(topLeft);
    else
        updateCell(topLeft);
}

void XSheet::syncSectionOrder()
{
    const Model::KLScene *scene = Model::KLScene::current();
    if (!scene || !scene->scene())
        return;
    const QList<int> ordering = scene->scene()->layerOrdering();
    if (ordering.size() != d->m_header->count() || ordering.size() != d->m_footer->count())
        return;
    disconnect(d->m_footer, &QHeaderView::sectionMoved, this, &XSheet::onFooterSectionMoved);
    for (QHeaderView *header : {static_cast<QHeaderView *>(d->m_header), static_cast<QHeaderView *>(d->m_footer)}) {
        for (int position = 0; position < ordering.size(); ++position) {
            const int from = header->visualIndex(ordering.at(position));
            if (from != position)
                header->moveSection(from, position);
        }
    }
    connect(d->m_footer, &QHeaderView::sectionMoved, this, &XSheet::onFooterSectionMoved);
}

void XSheet::onFooterSectionMoved(int logical, int oldVisual, int newVisual)
{
    updateGeometries();
    const int a = d->m_header->sectionViewportPosition(d->m_header->logicalIndex(oldVisual));
    const int b = d->m_header->sectionViewportPosition(d->m_header->logicalIndex(newVisual));
    const int left = std::min(a, b);
    const int right = std::max(a + d->m_header->sectionSize(d->m_header->logicalIndex(oldVisual)),
                               b + d->m_header->sectionSize(d->m_header->logicalIndex(newVisual)));
    viewport()->update(QRect(left, 0, right - left, viewport()->height()));
    const QScopedValueRollback<bool> own(d->m_ownChange, true);
    const Model::SceneGesture::OwnSteps steps;
    if (Model::KLScene *scene = Model::KLScene::current())
        Model::KLScene::pushCommand(new Commands::MoveLayer(scene->scene(), logical, oldVisual, newVisual));
}

void XSheet::updateGeometries()
{
    QAbstractItemView::updateGeometries();
    updateGizmos();
    moveOpacityCenter();
}

void XSheet::setDialogs(Dialogs *dialogs)
{
    d->m_header->setDialogs(dialogs);
}

void XSheet::updateUISize()
{
    d->updateMetrics(Model::Settings::instance()->UIScale());
    d->m_header->updateUISize();
    d->m_footer->updateUISize();
    for (ColorGizmo *gizmo : std::as_const(d->m_colorGizmos))
        gizmo->updateUISize();
    if (d->m_annotationGizmo)
        d->m_annotationGizmo->updateUISize();
    if (d->m_audioGizmo)
        d->m_audioGizmo->updateUISize();
    updateViewportMargins();
    updateRowHeight();
    updateGeometries();
    updateScrollBars();
    moveOpacityCenter();
    update();
    updateGeometry();
}

void XSheet::updateGizmos()
{
    // Columns come and go with the model before the header follows; only
    // columns that both know carry a gizmo.
    const int columns = d->m_model ? std::min(d->m_model->columnCount(), d->m_header->count()) : 0;
    while (d->m_colorGizmos.size() < columns) {
        auto *gizmo = new ColorGizmo(this);
        connect(gizmo, &ColorGizmo::colorChanged, this, [](int layer, const QColor &color) {
            if (Model::KLScene *scene = Model::KLScene::current())
                Model::KLScene::pushCommand(new Commands::ChangeLayerColor(scene->scene(), layer, color));
        });
        d->m_colorGizmos.append(gizmo);
    }
    while (d->m_colorGizmos.size() > columns) {
        ColorGizmo *gizmo = d->m_colorGizmos.takeLast();
        gizmo->disconnect(this);
        gizmo->hide();
        gizmo->deleteLater();
    }

    // The audio and annotation gizmos show only on a column of their kind;
    // without one (another scene, the layer gone) they hide.
    bool audioColumn = false;
    bool annotationColumn = false;
    const int headerHeight = d->m_header->height();
    for (int column = 0; column < columns; ++column) {
        ColorGizmo *colorGizmo = d->m_colorGizmos.at(column);
        colorGizmo->setLayerIdx(column);
        const QPoint topCenter(d->m_header->sectionViewportPosition(column) + d->m_header->sectionSize(column) / 2,
                               headerHeight);
        switch (columnKind(column)) {
        case Model::Layer::StrokeLayerType: {
            const QSignalBlocker blocker(colorGizmo);
            colorGizmo->setColor(columnData(column, Role::ColorRole).value<QColor>());
            colorGizmo->setTopCenter(topCenter);
            colorGizmo->show();
            break;
        }
        case Model::Layer::AudioLayerType: {
            if (!d->m_audioGizmo) {
                d->m_audioGizmo = new AudioGizmo(this);
                connect(d->m_audioGizmo, &AudioGizmo::audioOffsetLockedChanged, this, &XSheet::setAudioOffsetLocked);
            }
            {
                const QSignalBlocker blocker(d->m_audioGizmo);
                d->m_audioGizmo->setAudioOffsetLocked(d->m_audioOffsetLocked);
            }
            // An audio layer without sound has nothing to lock.
            const bool hasAudio = d->m_model->hasAudio();
            d->m_audioGizmo->setEnabled(hasAudio);
            d->m_audioGizmo->setVisible(hasAudio);
            d->m_audioGizmo->setTopCenter(topCenter);
            audioColumn = true;
            colorGizmo->hide();
            break;
        }
        case Model::Layer::AnnotationLayerType: {
            if (!d->m_annotationGizmo) {
                d->m_annotationGizmo = new AnnotationGizmo(this);
                connect(d->m_annotationGizmo, &AnnotationGizmo::penTypeChanged, this,
                        [this](KL::AnnotationPenType type) { setAnnotationPenType(int(type)); });
            }
            {
                const QSignalBlocker blocker(d->m_annotationGizmo);
                d->m_annotationGizmo->setPenType(KL::AnnotationPenType(d->m_annotationPenType));
            }
            d->m_annotationGizmo->setTopCenter(topCenter);
            d->m_annotationGizmo->show();
            annotationColumn = true;
            colorGizmo->hide();
            break;
        }
        default:
            colorGizmo->hide();
            break;
        }
    }
    if (d->m_audioGizmo && !audioColumn)
        d->m_audioGizmo->hide();
    if (d->m_annotationGizmo && !annotationColumn)
        d->m_annotationGizmo->hide();
}

// Selection

int XSheet::sizeHintForColumn(int column) const
{
    Q_UNUSED(column);
    return -1;
}

void XSheet::selectRangeTo(const QModelIndex &index, bool resetAnchor)
{
    QItemSelectionModel *selection = selectionModel();
    if (!index.isValid() || !selection || !columnData(index.column(), Role::VisualLayerRole).toBool())
        return;
    QModelIndex anchor = d->m_selectionAnchor;
    if (resetAnchor || !anchor.isValid())
        anchor = index;
    if (anchor.column() == index.column()) {
        selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        selection->select(QItemSelection(anchor, index), QItemSelectionModel::ClearAndSelect);
        d->m_selectionAnchor = anchor;
    } else {
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
}

void XSheet::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    const QRect area = viewport()->rect();
    for (const QItemSelection *changed : {&selected, &deselected}) {
        for (const QModelIndex &index : changed->indexes()) {
            const QRect rect = visualRect(index);
            if (rect.intersects(area))
                viewport()->update(rect);
        }
    }
    QItemSelectionModel *selection = selectionModel();
    if (!selection || selection->selection().isEmpty()) {
        d->m_selectionAnchor = QModelIndex();
        return;
    }
    const QItemSelectionRange first = selection->selection().first();
    if (d->m_selectionAnchor != first.topLeft() && d->m_selectionAnchor != first.bottomRight())
        d->m_selectionAnchor = first.topLeft();
}

void XSheet::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    abandonGestures();
    if (current.isValid() && previous.isValid() && current.column() == previous.column()) {
        for (const QModelIndex &index : {previous, current}) {
            updateCell(index);
            updateDistantClones(index);
            viewport()->update(backlightSymbolRect(index.row()));
        }
    } else {
        viewport()->update();
    }
    QAbstractItemView::currentChanged(current, previous);
}

void XSheet::updateCell(const QModelIndex &index)
{
    if (index.isValid())
        viewport()->update(visualRect(index));
}

void XSheet::updateDistantClones(const QModelIndex &index)
{
    updateCell(index);
    if (!d->m_model)
        return;
    for (const QModelIndex &related : d->m_model->distantCloneIndexes(index))
        updateCell(related);
}

QModelIndex XSheet::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    Q_UNUSED(cursorAction);
    Q_UNUSED(modifiers);
    return currentIndex();
}

int XSheet::horizontalOffset() const
{
    return d->m_header->offset();
}

int XSheet::verticalOffset() const
{
    return verticalScrollBar()->value();
}

bool XSheet::isIndexHidden(const QModelIndex &index) const
{
    Q_UNUSED(index);
    return false;
}

void XSheet::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    // The sheet selects only by clicks and pen; a rubber band changes nothing.
    Q_UNUSED(rect);
    if (selectionModel())
        selectionModel()->select(QModelIndex(), command);
}

QRegion XSheet::visualRegionForSelection(const QItemSelection &selection) const
{
    Q_UNUSED(selection);
    return QRegion();
}

void XSheet::keyPressEvent(QKeyEvent *event)
{
    // Keys belong to the main window's actions.
    event->ignore();
}

// Scrolling

void XSheet::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid())
        return;
    scrollToColumn(index.column(), hint);
    scrollToRow(index.row());
    updateCell(index);
}

void XSheet::scrollToColumn(int column, ScrollHint hint)
{
    if (column < 0)
        return;
    const int p = d->m_header->sectionPosition(column);
    const int s = d->m_header->sectionSize(column);
    const int w = viewport()->width();
    const int h = horizontalOffset();
    QScrollBar *bar = horizontalScrollBar();
    switch (hint) {
    case EnsureVisible:
        if (p - h < 0 || s > w)
            bar->setValue(p);
        else if (p + s - h > w)
            bar->setValue(p + s - w);
        break;
    case PositionAtTop:
        bar->setValue(p);
        break;
    case PositionAtBottom:
        bar->setValue(p + s - w);
        break;
    case PositionAtCenter:
        bar->setValue(p - (w - s) / 2);
        break;
    }
}

void XSheet::scrollToRow(int row)
{
    const int y = row * d->m_rowHeight;
    const int span = d->m_rowHeight + 2 * d->m_cellTopInset;
    const int v = viewport()->height();
    const int o = verticalOffset();
    QScrollBar *bar = verticalScrollBar();
    if (!d->m_scrollToCenter) {
        if (y - o < 0 || span > v)
            bar->setValue(y);
        else if (d->m_topMargin - o + span + y > v)
            bar->setValue(d->m_topMargin - v + span + y);
        return;
    }
    const int target = y - (v - d->m_topMargin - span) / 2;
    d->m_scrollAnimation->stop();
    if (d->m_verticalScrollAnimation) {
        d->m_scrollAnimation->setStartValue(bar->value());
        d->m_scrollAnimation->setEndValue(std::clamp(target, bar->minimum(), bar->maximum()));
        d->m_scrollAnimation->start();
    } else {
        bar->setValue(target);
    }
}

void XSheet::scrollToFrame(int row)
{
    scrollToRow(row);
}

void XSheet::scrollContentsBy(int dx, int dy)
{
    if (dx != 0 || !d->m_model) {
        viewport()->update();
        return;
    }
    // The rows move; what stands still in the viewport (the shadows, the
    // gizmos hanging from the column heads with their own shadows, the icon
    // bands of reference columns) is painted anew where it stands. Qt moves
    // no pixel of an area that another widget covers, so the band that the
    // gizmos cover is left out of the move, as are the shadows.
    const QRect area = viewport()->rect();
    int top = d->m_shadowHeight;
    const int bottom = area.height() - d->m_shadowHeight;
    const QPoint origin = viewport()->pos();
    for (const QObject *object : children()) {
        const auto *child = qobject_cast<const QWidget *>(object);
        if (!child || child == viewport() || !child->isVisible() || child->isWindow())
            continue;
        QRect covered = child->geometry();
        if (const QGraphicsEffect *effect = child->graphicsEffect(); effect && effect->isEnabled())
            covered = effect->boundingRectFor(QRectF(covered)).toAlignedRect();
        covered.translate(-origin);
        if (covered.intersects(area))
            top = std::max(top, covered.bottom() + 1);
    }
    if (top < bottom)
        viewport()->scroll(0, dy, QRect(0, top, area.width(), bottom - top));
    viewport()->update(QRect(0, 0, area.width(), std::min(top, area.height())));
    viewport()->update(QRect(0, std::max(bottom, 0), area.width(), area.height() - std::max(bottom, 0)));
    for (int column = 0; column < d->m_header->count(); ++column) {
        const int kind = columnKind(column);
        if (kind != Model::Layer::DrawLayerType && kind != Model::Layer::ReferenceLayerType)
            continue;
        const QSize icon = kind == Model::Layer::ReferenceLayerType ? d->m_layerRefIconSize : d->m_layerPaintIconSize;
        const int x = d->m_header->sectionViewportPosition(column);
        const int w = d->m_header->sectionSize(column);
        viewport()->update(QRect(x, 0, w, icon.height()));
        viewport()->update(QRect(x, viewport()->height() - icon.height(), w, icon.height()));
    }
}

// Slots

void XSheet::setScrollToCenter(bool on)
{
    d->m_scrollToCenter = on;
    d->m_scrollToCenterSetting = on;
    if (on)
        scrollTo(currentIndex(), EnsureVisible);
}

void XSheet::showBeyondButtons(bool on)
{
    if (on == d->m_showBeyondButtons)
        return;
    d->m_showBeyondButtons = on;
    updateGeometries();
    updateScrollBars();
    viewport()->update();
}

void XSheet::setSlideMode(bool on)
{
    d->m_slideMode = on;
    updateCursor(viewport()->mapFromGlobal(QCursor::pos()));
}

void XSheet::setTransparencyType(int type)
{
    if (type == d->m_transparencyType)
        return;
    d->m_transparencyType = type;
    d->updateColors();
    viewport()->update();
}

void XSheet::setEnableVerticalScrollAnimation(bool on)
{
    d->m_verticalScrollAnimation = on;
}

void XSheet::setAudioOffsetLocked(bool locked)
{
    d->m_audioOffsetLocked = locked;
    updateCursor(viewport()->mapFromGlobal(QCursor::pos()), true);
}

void XSheet::setAnnotationPenType(int type)
{
    d->m_annotationPenType = type;
    updateCursor(viewport()->mapFromGlobal(QCursor::pos()), true);
}

// Cursor

void XSheet::updateCursor(QPoint point, bool force)
{
    SheetCursor kind = d->m_slideMode ? SheetCursor::SlideMode : SheetCursor::AddClonesMode;
    if (d->m_model) {
        const int row = rowAt(point.y());
        const int column = d->m_header->logicalIndexAt(point.x());
        const int end = columnData(column, Role::FrameCountRole).toInt();
        const int columnType = columnKind(column);
        if (columnType == Model::Layer::AudioLayerType) {
            if (!d->m_model->hasAudio())
                kind = SheetCursor::Arrow;
            else
                kind = d->m_audioOffsetLocked ? SheetCursor::Lock : SheetCursor::DragUpDown;
        } else if (row == -1 || row >= end - d->m_model->firstFrame() || columnType == 0) {
            kind = SheetCursor::Arrow;
        } else if (columnType == Model::Layer::AnnotationLayerType) {
            kind = d->m_annotationPenType == int(KL::AnnotationPenType::DrawToolPen) ? SheetCursor::AnnotationToolPreview
                                                                                   : SheetCursor::Scribble;
        }
    }
    if (kind == d->m_cursorKind && !force)
        return;

    QObject::disconnect(d->m_toolCursorConnection);
    Model::ToolManager *tools = Model::ToolManager::instance();
    switch (kind) {
    case SheetCursor::Arrow:
    case SheetCursor::SlideMode:
    case SheetCursor::AddClonesMode:
    case SheetCursor::DragUpDown:
    case SheetCursor::Lock: {
        static const Model::SharedCursor fixed[] = {Model::SharedCursor::Arrow, Model::SharedCursor::SlideMode,
                                                    Model::SharedCursor::AddClonesMode,
                                                    Model::SharedCursor::DragUpDown, Model::SharedCursor::Lock};
        viewport()->setCursor(Model::sharedCursor(fixed[int(kind)]));
        break;
    }
    case SheetCursor::AnnotationToolPreview: {
        // The stroke is drawn into an image annotationRowHeight pixels a row
        // tall, so one image pixel covers rowHeight / annotationRowHeight
        // screen pixels.
        const auto apply = [this, tools] {
            const auto *tool = qobject_cast<const Model::DrawingTool *>(tools->tool(XSheetPrivate::annotationToolType()));
            if (tool)
                viewport()->setCursor(tool->previewCursor(double(d->m_rowHeight) / d->m_annotationRowHeight));
        };
        apply();
        d->m_toolCursorConnection = connect(tools, &Model::ToolManager::cursorChanged, this, apply);
        break;
    }
    case SheetCursor::Scribble: {
        const auto apply = [this] {
            const bool eraser = XSheetPrivate::annotationToolType() == Model::Tool::Type::Eraser;
            viewport()->setCursor(
                Model::sharedCursor(eraser ? Model::SharedCursor::ScribbleEraser : Model::SharedCursor::ScribblePen));
        };
        apply();
        d->m_toolCursorConnection = connect(tools, &Model::ToolManager::currentToolTypeChanged, this, apply);
        break;
    }
    }
    d->m_cursorKind = kind;
}

// Context menu and tool tips

void XSheet::contextMenuEvent(QContextMenuEvent *event)
{
    if (!d->m_model) {
        QAbstractItemView::contextMenuEvent(event);
        return;
    }
    const QModelIndex index = indexAt(event->pos());
    if (index.isValid() && columnData(index.column(), Role::VisualLayerRole).toBool()
        && !index.data(Role::FrameAfterLastRole).toBool()) {
        QItemSelectionModel *selection = selectionModel();
        if (selection && !selection->isSelected(index))
            selection->setCurrentIndex(index, QItemSelectionModel::Clear);
        Q_EMIT rightClickedThumbnail(index, event->globalPos());
    } else {
        const int column = d->m_header->logicalIndexAt(event->pos().x());
        Q_EMIT rightClickedLayer(columnData(column, Role::VisualLayerRole).toBool() ? column : -1,
                                 event->globalPos());
    }
    event->accept();
}

bool XSheet::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::ToolTip: {
        auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = indexAt(help->pos());
        if (index.isValid()) {
            QToolTip::showText(help->globalPos(), index.data(Qt::ToolTipRole).toString(), nullptr, QRect(), -1);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease: {
        auto *tablet = static_cast<QTabletEvent *>(event);
        if (event->type() == QEvent::TabletPress && !d->m_tabletStrokeActive)
            d->m_scrollAnimation->stop();
        if (!(tablet->buttons() & Qt::RightButton)) {
            const bool eraser = tablet->pointerType() == QPointingDevice::PointerType::Eraser;
            if (annotationTabletEvent(tablet) || (eraser && eraserTabletEvent(tablet))) {
                event->accept();
                return true;
            }
        }
        // Left to the system, which makes mouse events of it.
        event->ignore();
        return QAbstractItemView::viewportEvent(event);
    }
    default:
        return QAbstractItemView::viewportEvent(event);
    }
}

} // namespace UI
