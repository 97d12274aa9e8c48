#include "timeline/referencedisplay.h"

#include "scene/klscene.h"
#include "scene/scene.h"

#include <QCloseEvent>
#include <QShowEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QTransform>
#include <QWindow>

namespace UI {

namespace {

bool fuzzyAtMost(double a, double b)
{
    return a < b || qFuzzyCompare(a, b);
}

// The largest halving of the frame, in device-independent pixels, that fits
// the screen's available area.
QSizeF openingSize(QSizeF frame, double devicePixelRatio, QSizeF available)
{
    QSizeF size = frame / devicePixelRatio;
    while (size.width() > 0 && size.height() > 0
           && !(fuzzyAtMost(size.width(), available.width()) && fuzzyAtMost(size.height(), available.height())))
        size /= 2;
    return size;
}

QColor frameBackground(KL::TransparencyType type)
{
    switch (type) {
    case KL::TransparencyType::TransparencySmallCheckersLight:
    case KL::TransparencyType::TransparencyLargeCheckersLight:
    case KL::TransparencyType::TransparencyLightGrey:
        return Qt::lightGray;
    case KL::TransparencyType::TransparencySmallCheckersDark:
    case KL::TransparencyType::TransparencyLargeCheckersDark:
    case KL::TransparencyType::TransparencyDarkGrey:
        return Qt::darkGray;
    case KL::TransparencyType::TransparencyBlack:
        return Qt::black;
    case KL::TransparencyType::TransparencyWhite:
        break;
    }
    return Qt::white;
}

} // namespace

class ReferenceDisplayPrivate
{
public:
    QMetaObject::Connection m_screenConnection;
    QShortcut *m_fullScreenShortcut = nullptr;
    // Not owned; guarded, since a scene may be closed while it is shown.
    QPointer<Model::KLScene> m_klScene;
    QPointer<Model::Scene> m_scene;
    QRectF m_frameRect;
    QSize m_widgetSize;
    KL::TransparencyType m_transparencyType = KL::TransparencyType::TransparencyWhite;
    double m_halfPixelRatio = 0.5;
    // Scene pixels per window pixel.
    double m_scale = 1.0;
    QByteArray m_savedGeometry;
    // Window coordinates to scene coordinates.
    QTransform m_view;
};

ReferenceDisplay::ReferenceDisplay(QWidget *parent)
    : QWidget(parent,
              Qt::Tool | Qt::WindowTitleHint | Qt::WindowMaximizeButtonHint | Qt::CustomizeWindowHint
                  | Qt::WindowCloseButtonHint)
    , d(std::make_unique<ReferenceDisplayPrivate>())
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    d->m_fullScreenShortcut = new QShortcut(QKeySequence::FullScreen, this);
    d->m_fullScreenShortcut->setContext(Qt::WindowShortcut);
    connect(d->m_fullScreenShortcut, &QShortcut::activated, this, &ReferenceDisplay::toggleFullScreen);
    // The main window's keys (playback flips, hold keys) work here too.
    if (parent)
        installEventFilter(parent);
    updateTitle();
}

ReferenceDisplay::~ReferenceDisplay() = default;

QByteArray ReferenceDisplay::savedGeometry() const
{
    return isVisible() ? saveGeometry() : d->m_savedGeometry;
}

void ReferenceDisplay::setSavedGeometry(const QByteArray &geometry)
{
    d->m_savedGeometry = geometry;
}

void ReferenceDisplay::setCurrentScene(Model::KLScene *klscene)
{
    if (d->m_klScene) {
        disconnect(d->m_klScene, nullptr, this, nullptr);
        disconnect(this, nullptr, d->m_klScene, nullptr);
    }
    if (d->m_scene) {
        disconnect(d->m_scene, nullptr, this, nullptr);
        disconnect(this, nullptr, d->m_scene, nullptr);
    }
    d->m_klScene = klscene;
    d->m_scene = klscene ? klscene->scene() : nullptr;
    if (Model::Scene *scene = d->m_scene) {
        d->m_frameRect = QRectF(QPointF(0, 0), QSizeF(scene->frameSize()));
        updateView();
        const auto repaintAll = [this] { update(); };
        connect(scene, &Model::Scene::activeFrameAndLayerChanged, this, repaintAll);
        connect(scene, &Model::Scene::scrubFrameChanged, this, repaintAll);
        connect(scene, &Model::Scene::rectChanged, this, [this](QRect rect) {
            // Grown by a scene pixel for the smoothing at the edges.
            const QRectF grown = QRectF(rect).adjusted(-1, -1, 1, 1);
            update(QRegion(d->m_view.inverted().map(QPolygonF(grown)).toPolygon()));
        });
        connect(scene, &Model::Scene::frameSizeChanged, this, [this](QSize size) {
            d->m_frameRect = QRectF(QPointF(0, 0), QSizeF(size));
            updateView();
            updateTitle();
            update();
        });
    } else {
        d->m_frameRect = QRectF();
        updateView();
    }
    updateTitle();
    update();
}

void ReferenceDisplay::setVisibility(bool visible)
{
    setVisible(visible);
}

void ReferenceDisplay::setTransparencyType(KL::TransparencyType transparencyType)
{
    if (d->m_transparencyType == transparencyType)
        return;
    d->m_transparencyType = transparencyType;
    update();
}

void ReferenceDisplay::updateView()
{
    const QSizeF widget(d->m_widgetSize.isValid() ? d->m_widgetSize : size());
    const QSizeF frame = d->m_frameRect.size();
    const QSizeF fitted = frame.scaled(widget, Qt::KeepAspectRatio);
    if (frame.isEmpty() || fitted.width() <= 0) {
        d->m_scale = 1.0;
        d->m_view = QTransform();
        return;
    }
    d->m_scale = frame.width() / fitted.width();
    const QPointF centre = QRectF(QPointF(0, 0), widget).center();
    const QPointF frameCentre = d->m_frameRect.center();
    d->m_view = QTransform::fromTranslate(-centre.x(), -centre.y())
        * QTransform::fromScale(d->m_scale, d->m_scale)
        * QTransform::fromTranslate(frameCentre.x(), frameCentre.y());
}

void ReferenceDisplay::updateTitle()
{
    QString zoom;
    if (d->m_scene)
        zoom = QStringLiteral("%3%").arg(std::lround(devicePixelRatioF() * 100.0 / d->m_scale));
    const QString title = tr("Reference Display %1").arg(zoom);
    if (windowTitle() != title)
        setWindowTitle(title);
}

void ReferenceDisplay::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    d->m_widgetSize = size();
    updateView();
    updateTitle();
}

void ReferenceDisplay::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect exposed = event->rect();
    Model::Scene *scene = d->m_scene;
    if (!scene) {
        painter.fillRect(exposed, Qt::white);
        return;
    }
    const QTransform toWindow = d->m_view.inverted();
    const QPolygonF outline = toWindow.map(QPolygonF(d->m_frameRect));
    const QColor paper = scene->isActiveFrameAfterLastDrawing() ? QColor(221, 216, 213)
                                                                : frameBackground(d->m_transparencyType);
    QPainterPath frame;
    frame.addPolygon(outline);
    frame.closeSubpath();
    painter.fillPath(frame, paper);

    // Smoothing a picture enlarged to two device pixels a scene pixel or more
    // only blurs the drawing's own pixels.
    if (d->m_halfPixelRatio >= d->m_scale)
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.save();
    painter.setTransform(toWindow);
    scene->paintCurrentFrame(&painter, d->m_view.mapRect(QRectF(exposed)).toAlignedRect().adjusted(-1, -1, 1, 1));
    painter.restore();

    QPainterPath outside;
    outside.addRect(QRectF(exposed));
    painter.fillPath(outside.subtracted(frame),
                     d->m_transparencyType == KL::TransparencyType::TransparencyBlack ? Qt::darkGray : Qt::black);
}

void ReferenceDisplay::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A window coming back from being minimised stays where it was.
    if (!event->spontaneous())
        placeOnFirstShow();
    if (!d->m_screenConnection) {
        d->m_halfPixelRatio = devicePixelRatioF() * 0.5;
        if (QWindow *window = windowHandle()) {
            d->m_screenConnection = connect(window, &QWindow::screenChanged, this, [this] {
                d->m_halfPixelRatio = devicePixelRatioF() * 0.5;
                updateTitle();
                update();
            });
        }
    }
}

void ReferenceDisplay::placeOnFirstShow()
{
    if (!d->m_savedGeometry.isEmpty()) {
        // Twice: a window restored onto a screen of another pixel ratio
        // takes its size only once it stands there.
        restoreGeometry(d->m_savedGeometry);
        restoreGeometry(d->m_savedGeometry);
        return;
    }
    QWidget *parent = parentWidget();
    QScreen *home = parent ? parent->window()->screen() : QGuiApplication::primaryScreen();
    QScreen *target = home;
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.size() > 1) {
        for (QScreen *screen : screens) {
            if (screen != home) {
                target = screen;
                break;
            }
        }
    }
    if (!target)
        return;
    if (screen() != target)
        setScreen(target);
    // Without a scene there is no frame to size by: half the screen then.
    const QSizeF available = target->availableGeometry().size();
    const QSizeF frame = d->m_frameRect.isEmpty() ? available : d->m_frameRect.size();
    const QSizeF fitted = openingSize(frame, target->devicePixelRatio(), available);
    QRect rect(QPoint(0, 0), fitted.toSize());
    if (d->m_frameRect.isEmpty())
        rect.setSize(rect.size() / 2);
    rect.moveCenter(target->availableGeometry().center());
    setGeometry(rect);
    setGeometry(rect);
    if (target != home)
        setWindowState(windowState() | Qt::WindowFullScreen);
}

void ReferenceDisplay::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    d->m_savedGeometry = saveGeometry();
    Q_EMIT hidden();
}

void ReferenceDisplay::closeEvent(QCloseEvent *event)
{
    event->ignore();
    hide();
}

void ReferenceDisplay::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
    toggleFullScreen();
}

void ReferenceDisplay::toggleFullScreen()
{
    setWindowState(windowState() ^ Qt::WindowFullScreen);
}

void ReferenceDisplay::keyPressEvent(QKeyEvent *event)
{
    event->accept();
    Q_EMIT keyPressed(event);
}

void ReferenceDisplay::keyReleaseEvent(QKeyEvent *event)
{
    event->accept();
    Q_EMIT keyReleased(event);
}

} // namespace UI
