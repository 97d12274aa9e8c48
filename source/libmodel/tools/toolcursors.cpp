#include "tools/toolcursors.h"

#include <QIcon>
#include <QPainter>
#include <QSvgRenderer>

#include <array>
#include <cmath>

namespace Model {

namespace {

constexpr int SharedCursorCount = int(SharedCursor::ScribblePen) + 1;

struct CursorState
{
    std::array<QCursor, SharedCursorCount> shared;
    bool built = false;
    double devicePixelRatio = 1.0;
    double canvasScale = 1.0;
};

// Created on first use, inside the application, never before it.
CursorState &state()
{
    static CursorState s;
    return s;
}

void buildSharedCursors()
{
    CursorState &s = state();
    auto set = [&s](SharedCursor which, const QCursor &cursor) { s.shared[size_t(which)] = cursor; };
    set(SharedCursor::Arrow, QCursor(Qt::ArrowCursor));
    set(SharedCursor::SlideMode, svgCursor(QStringLiteral(":/pointers/pointer-slideMode.svg"), {0, 1}));
    set(SharedCursor::AddClonesMode, svgCursor(QStringLiteral(":/pointers/pointer-addClonesMode.svg"), {0, 1}));
    set(SharedCursor::Drag, svgCursor(QStringLiteral(":/pointers/pointer-drag.svg")));
    set(SharedCursor::DragLeftRight, svgCursor(QStringLiteral(":/pointers/pointer-dragLeftRight.svg")));
    set(SharedCursor::DragUpDown, svgCursor(QStringLiteral(":/pointers/pointer-dragUpDown.svg")));
    set(SharedCursor::Forbidden, svgCursor(QStringLiteral(":/pointers/pointer-forbidden.svg")));
    set(SharedCursor::LayerNotVisible, svgCursor(QStringLiteral(":/pointers/pointer-layerNotVisible.svg")));
    set(SharedCursor::LayerOpacityZero,
        svgCursor(QStringLiteral(":/pointers/pointer-layerOpacityZero.svg"), {10, 1}));
    set(SharedCursor::Lock, svgCursor(QStringLiteral(":/pointers/pointer-lock.svg")));
    set(SharedCursor::ScribbleEraser, svgCursor(QStringLiteral(":/pointers/pointer-scribbleEraser.svg"), {1, 21}));
    set(SharedCursor::ScribblePen, svgCursor(QStringLiteral(":/pointers/pointer-scribblePen.svg"), {1, 21}));
    s.built = true;
}

QPixmap svgPixmap(const QString &fileName)
{
    const QSvgRenderer renderer(fileName);
    const QSize size = renderer.viewBoxF().size().toSize();
    return QIcon(fileName).pixmap(size, state().devicePixelRatio, QIcon::Normal, QIcon::Off);
}

} // namespace

void initToolCursors()
{
    buildSharedCursors();
}

QCursor sharedCursor(SharedCursor which)
{
    if (!state().built)
        buildSharedCursors();
    return state().shared[size_t(which)];
}

void setToolCursorDevicePixelRatio(double dpr)
{
    if (qFuzzyCompare(dpr, state().devicePixelRatio))
        return;
    state().devicePixelRatio = dpr;
    buildSharedCursors();
}

double toolCursorDevicePixelRatio()
{
    return state().devicePixelRatio;
}

void setToolCursorCanvasScale(double scale)
{
    state().canvasScale = scale;
}

double toolCursorCanvasScale()
{
    return state().canvasScale;
}

QCursor svgCursor(const QString &fileName, QPoint hotSpot)
{
    return QCursor(svgPixmap(fileName), hotSpot.x(), hotSpot.y());
}

QCursor svgCursor(const QString &fileName)
{
    const QPixmap pixmap = svgPixmap(fileName);
    // The exact centre, so that the hot spot does not move by a pixel
    // between ratios 1 and 2.
    const QPointF centre = QRectF(pixmap.rect()).center();
    const double ratio = pixmap.devicePixelRatio();
    return QCursor(pixmap, qRound(centre.x() / ratio), qRound(centre.y() / ratio));
}

QCursor rotatedSvgCursor(QSvgRenderer &renderer, double angleDegrees)
{
    if (!renderer.isValid())
        return QCursor();
    const QSize size = (renderer.viewBoxF().size() * 2.0).toSize();
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(size.width() / 2, size.height() / 2);
        painter.rotate(angleDegrees);
        painter.translate(-(size.width() / 2), -(size.height() / 2));
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    pixmap.setDevicePixelRatio(2.0);
    const QPointF centre = QRectF(QPointF(0, 0), QSizeF(size)).center();
    return QCursor(pixmap, int(std::floor(centre.x() / 2)), int(std::floor(centre.y() / 2)));
}

QPixmap paintedCursorPixmap(int width, int height)
{
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPointF paintedCursorCentre(const QPixmap &pixmap)
{
    return QPointF(pixmap.width() / 2 + 0.5, pixmap.height() / 2 + 0.5);
}

QCursor paintedCursor(QPixmap pixmap)
{
    const QPointF centre = paintedCursorCentre(pixmap);
    pixmap.setDevicePixelRatio(2.0);
    return QCursor(pixmap, int(std::floor(centre.x() / 2)), int(std::floor(centre.y() / 2)));
}

int paintedCursorDiameter(double maxDiameter, double scale)
{
    return int(std::lround(2.0 * maxDiameter * scale));
}

} // namespace Model
