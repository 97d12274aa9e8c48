// What the paper paints, back to front: the paper's own colour, the scene's
// cached pictures, the linen desk around them, the grid, the signs that the
// frame is off its pegs, the tools' symbols, outlines and handles, and the
// shadow under a bar laid over the top.

#include "paper/paper.h"

#include "paper/paper_p.h"
#include "paper/papergrid.h"

#include "render/bandedcomposition.h"
#include "scene/scene.h"
#include "settings/settings.h"
#include "tools/toolmanager.h"

#include <QLinearGradient>
#include <QPaintEngine>
#include <QPainter>
#include <QPixmap>
#include <QRadialGradient>
#include <QRegion>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

namespace UI {

namespace {

QPainterPath polygonPath(const QPolygonF &polygon)
{
    QPainterPath path;
    if (!polygon.isEmpty()) {
        path.addPolygon(polygon);
        path.closeSubpath();
    }
    return path;
}

// A tile of n by n pixels whose darker quarters make a 2 x 2 checkerboard.
QBrush checkers(int n, QColor colour)
{
    QPixmap tile(n, n);
    tile.fill(colour.lighter(105));
    const int half = n / 2;
    QPainterPath bands;
    bands.setFillRule(Qt::OddEvenFill);
    for (int k = 0; half > 0 && half + 2 * k * half < n; ++k) {
        bands.addRect(0, half + 2 * k * half, n, half);
        bands.addRect(half + 2 * k * half, 0, half, n);
    }
    QPainter painter(&tile);
    painter.setPen(Qt::NoPen);
    painter.fillPath(bands, colour.darker(105));
    return QBrush(tile);
}

// A turned shape filled with a smoothed edge. A smoothed fill of a large
// shape costs the raster engine ten times a plain one; a plain fill with a
// smoothed one-pixel outline looks the same and costs little more.
void fillSmoothEdged(QPainter &painter, const QPainterPath &shape, const QBrush &brush)
{
    if (shape.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillPath(shape, brush);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.strokePath(shape, QPen(brush, 1.0));
    painter.restore();
}

// Draws the source part of image at its own size. Smoothing changes nothing
// in such a copy, but would send it down the raster engine's slow road for
// scaled pictures.
void copyPixels(QPainter &painter, QPointF at, const QImage &image, const QRect &source)
{
    const bool smooth = painter.testRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(at, image, source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
}

// The pixels that rect covers whole.
QRect wholePixelsOf(const QRectF &rect)
{
    const QPoint topLeft(int(std::ceil(rect.left())), int(std::ceil(rect.top())));
    const QPoint bottomRight(int(std::floor(rect.right())) - 1, int(std::floor(rect.bottom())) - 1);
    return QRect(topLeft, bottomRight);
}

// The largest rectangle of the renderer's proportions inside bounds, centred
// on centre.
QRectF fitted(const QSvgRenderer &renderer, QSizeF bounds, QPointF centre)
{
    QSizeF size = renderer.viewBoxF().size();
    if (size.isEmpty())
        size = bounds;
    size.scale(bounds, Qt::KeepAspectRatio);
    return QRectF(centre - QPointF(size.width(), size.height()) / 2.0, size);
}

// Below this many widget pixels a repaint stays on the GUI thread alone:
// waking the others would cost more than they take over.
constexpr int LeastBandedArea = 128 * 128;

} // namespace

void PaperPrivate::rebuildTransparencyBrush()
{
    switch (transparencyType) {
    case KL::TransparencyType::TransparencySmallCheckersLight:
        transparencyBrush = checkers(10, Qt::lightGray);
        break;
    case KL::TransparencyType::TransparencySmallCheckersDark:
        transparencyBrush = checkers(10, Qt::darkGray);
        break;
    case KL::TransparencyType::TransparencyLargeCheckersLight:
        transparencyBrush = checkers(30, Qt::lightGray);
        break;
    case KL::TransparencyType::TransparencyLargeCheckersDark:
        transparencyBrush = checkers(30, Qt::darkGray);
        break;
    case KL::TransparencyType::TransparencyWhite:
        transparencyBrush = QBrush(Qt::white);
        break;
    case KL::TransparencyType::TransparencyLightGrey:
        transparencyBrush = QBrush(Qt::lightGray);
        break;
    case KL::TransparencyType::TransparencyDarkGrey:
        transparencyBrush = QBrush(Qt::darkGray);
        break;
    case KL::TransparencyType::TransparencyBlack:
        transparencyBrush = QBrush(Qt::black);
        break;
    }
    transparencyBrush.setTransform(deskBrush.transform());
}

void PaperPrivate::rebuildGridPaths()
{
    for (int type = 0; type < int(gridPaths.size()); ++type)
        gridPaths[size_t(type)] = paperRect.isNull() ? QPainterPath() : gridPath(KL::GridType(type), paperRect);
    mapGrid();
}

void PaperPrivate::mapGrid()
{
    gridInWidget = widgetToScene.inverted().map(gridPaths[size_t(gridType)]);
}

void PaperPrivate::updateStripMetrics()
{
    stripHeight = int(Model::Settings::instance()->UIScale() * 32);
    stripGradient = QLinearGradient();
    stripGradient.setColorAt(0.0, QColor(0, 0, 0, 67));
    stripGradient.setColorAt(0.5, QColor(0, 0, 0, 15));
    stripGradient.setColorAt(1.0, QColor(0, 0, 0, 0));
}

void PaperPrivate::layOutStrip(int width)
{
    if (!topWidget)
        return;
    const double top = topWidget->height();
    stripRect = QRectF(0.0, top, width, stripHeight);
    stripGradient.setStart(0.0, top);
    stripGradient.setFinalStop(0.0, top + stripHeight);
}

void PaperPrivate::paint(QPainter &painter, const QRegion &exposedRegion)
{
    const QRect exposed = exposedRegion.boundingRect();
    const QPainterPath onPegs = polygonPath(paperInWidget(widgetToScene.inverted()));
    const QPainterPath offPegsPath = polygonPath(paperInWidget(widgetToDrawing.inverted()));
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);

    const bool backdropKept = scene && backdropReady(painter, onPegs, offPegsPath);
    const bool offPegsShown = mode == Mode::OffPegs || !committedOffPegs.isIdentity();
    const bool linesKept = offPegsShown && offPegsLinesReady(painter, onPegs);
    if (offPegsShown && tintBuiltFor != freeArea)
        rebuildTint();
    // The glow's pieces are made at widget pixels; on a screen of more
    // device pixels they are scaled up, smoothly.
    const bool onePixel = painter.device()->devicePixelRatio() == 1.0;

    // What is painted from kept pictures alone may be painted in bands.
    std::optional<RowTarget> target;
    if (backdropKept && (linesKept || !offPegsShown) && scene->paintsCachedPicturesOnly()
        && exposed.width() * exposed.height() >= LeastBandedArea && Model::compositionThreadCount() > 1)
        target = rowTarget(painter, exposedRegion);

    if (target) {
        paintInBands(painter, *target, exposedRegion, offPegsShown, onePixel);
    } else {
        if (scene) {
            if (backdropKept)
                copyBackdrop(painter, exposed);
            else
                paintDeskAndPaper(painter, exposed, onPegs, offPegsPath);
            paintFrameContent(painter, exposed, QTransform());
        } else {
            painter.fillRect(exposed, Qt::white);
        }
        paintGrid(painter, exposed);
        if (offPegsShown) {
            if (linesKept)
                copyOffPegsLines(painter, exposed);
            else
                paintOffPegsLines(painter, exposed, onPegs);
            paintTintFrame(painter, exposed, onePixel);
        }
    }

    painter.setClipRect(exposed);
    paintToolSymbols(painter);

    if (topWidget)
        painter.fillRect(stripRect, stripGradient);
}

std::optional<PaperPrivate::PaperView> PaperPrivate::paperView(const QPainter &painter) const
{
    const double dpr = painter.device()->devicePixelRatio();
    if (dpr < 1.0 || dpr != std::round(dpr))
        return std::nullopt;
    return PaperView{q->size() * int(dpr), dpr, widgetToScene, widgetToDrawing, paperRect};
}

// Where painter's pixels lie, when painters of other threads may paint some
// of its rows as it would: its raster engine paints a QImage in memory,
// reached from the widget by a whole-pixel offset and the image's integral
// device pixel ratio, clipped to the exposed region alone, at full opacity.
// A painter on the same memory, moved by the same offset, then maps and
// samples every pixel as painter does.
std::optional<PaperPrivate::RowTarget> PaperPrivate::rowTarget(const QPainter &painter, const QRegion &exposed) const
{
    QPaintEngine *engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || !painter.transform().isIdentity()
        || painter.hasClipping() || painter.opacity() != 1.0
        || painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return std::nullopt;
    QPaintDevice *device = engine->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return std::nullopt;
    auto *image = static_cast<QImage *>(device);
    const double dpr = image->devicePixelRatio();
    const QTransform toDevice = painter.deviceTransform();
    if (dpr < 1.0 || dpr != std::round(dpr) || toDevice.type() > QTransform::TxScale || toDevice.m11() != dpr
        || toDevice.m22() != dpr)
        return std::nullopt;
    const QTransform offset = QTransform::fromTranslate(toDevice.dx() / dpr, toDevice.dy() / dpr);
    if (!(offset * QTransform::fromScale(dpr, dpr) == toDevice) || !(toDevice.map(exposed) == engine->systemClip()))
        return std::nullopt;
    return RowTarget{image, offset};
}

// The desk, the frame and the signs of a frame off its pegs, over the cores
// in bands of whole rows. The grid, which a stroker draws along its whole
// path, stays on the GUI thread between the frame and the signs.
void PaperPrivate::paintInBands(QPainter &painter, const RowTarget &target, const QRegion &exposedRegion,
                                bool offPegsShown, bool onePixel)
{
    const QRect exposed = exposedRegion.boundingRect();
    const int width = q->width();
    const auto inRows = [&](int top, int bottom, const auto &paintRows) {
        // The target's memory, written only within the rows: no copy, and
        // the image itself is never touched.
        QImage &image = *target.image;
        QImage rows(const_cast<uchar *>(image.constBits()), image.width(), image.height(), image.bytesPerLine(),
                    image.format());
        rows.setDevicePixelRatio(image.devicePixelRatio());
        QPainter band(&rows);
        band.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        band.setTransform(target.offset);
        band.setClipRegion(exposedRegion & QRect(0, exposed.top() + top, width, bottom - top));
        paintRows(band);
    };
    const auto under = [&](QPainter &band) {
        copyBackdrop(band, exposed);
        paintFrameContent(band, exposed, target.offset);
    };
    const auto over = [&](QPainter &band) {
        copyOffPegsLines(band, exposed);
        paintTintFrame(band, exposed, onePixel);
    };

    Model::BandedComposition composition;
    if (gridStatus == KL::GridStatus::GridOn) {
        composition.addBandPass([&](int top, int bottom) { inRows(top, bottom, under); });
        composition.addWholePass([&] { paintGrid(painter, exposed); });
        if (offPegsShown)
            composition.addBandPass([&](int top, int bottom) { inRows(top, bottom, over); });
    } else {
        composition.addBandPass([&](int top, int bottom) {
            inRows(top, bottom, [&](QPainter &band) {
                under(band);
                if (offPegsShown)
                    over(band);
            });
        });
    }
    composition.run(exposed.height());
}

bool PaperPrivate::backdropReady(const QPainter &painter, const QPainterPath &onPegs, const QPainterPath &offPegsPath)
{
    // An upright paper on its pegs is a few rectangle fills, as quick as
    // copying a picture of them.
    const bool upright = offPegs.isIdentity() && widgetToDrawing.inverted().type() <= QTransform::TxScale;
    const std::optional<PaperView> paper = paperView(painter);
    if (upright || !paper) {
        backdrop = QImage();
        backdropView = lastDirectBackdrop = BackdropView();
        return false;
    }

    const BackdropView view{*paper, deskBrush.transform(), transparencyType, scene->isActiveFrameAfterLastDrawing()};
    if (!backdrop.isNull() && view == backdropView)
        return true;
    if (!(view == lastDirectBackdrop)) {
        lastDirectBackdrop = view;
        return false;
    }
    backdrop = QImage(paper->devicePixels, QImage::Format_RGB32);
    backdrop.setDevicePixelRatio(paper->devicePixelRatio);
    QPainter picture(&backdrop);
    picture.setRenderHints(painter.renderHints());
    paintDeskAndPaper(picture, q->rect(), onPegs, offPegsPath);
    picture.end();
    backdropView = view;
    return true;
}

void PaperPrivate::copyBackdrop(QPainter &painter, const QRect &exposed) const
{
    const int dpr = int(backdropView.paper.devicePixelRatio);
    copyPixels(painter, exposed.topLeft(), backdrop, QRect(exposed.topLeft() * dpr, exposed.size() * dpr));
}

void PaperPrivate::paintDeskAndPaper(QPainter &painter, const QRect &exposed, const QPainterPath &onPegs,
                                     const QPainterPath &offPegsPath)
{
    // The desk goes down first and the paper over it: plain fills instead
    // of a shape with a hole, and the paper's smoothed edges blend with the
    // linen rather than with what was painted before. Under an upright
    // paper on its pegs, the desk is left out where the paper covers whole
    // pixels.
    QRegion desk(exposed);
    const QTransform drawingToWidget = widgetToDrawing.inverted();
    const bool onThePegs = offPegs.isIdentity();
    if (onThePegs && drawingToWidget.type() <= QTransform::TxScale)
        desk -= wholePixelsOf(drawingToWidget.mapRect(paperRect));
    for (const QRect &part : desk)
        painter.fillRect(part, deskBrush);

    // Where the paper would be on its pegs, left bare while it is off them.
    if (!onThePegs)
        fillSmoothEdged(painter, onPegs.subtracted(offPegsPath), QColor(232, 232, 232));
    const QBrush paper = scene->isActiveFrameAfterLastDrawing() ? QBrush(QColor(221, 216, 213)) : transparencyBrush;
    // Upright, as at every zoom without a turn, the paper is a rectangle,
    // which the raster engine fills far faster than a shape.
    if (drawingToWidget.type() <= QTransform::TxScale)
        painter.fillRect(drawingToWidget.mapRect(paperRect), paper);
    else
        fillSmoothEdged(painter, offPegsPath, paper);
}

void PaperPrivate::paintFrameContent(QPainter &painter, const QRect &exposed, const QTransform &base) const
{
    // From a zoom level of 2 up, every scene pixel shows as a sharp square.
    if (devicePixelRatio * 0.5 >= liveZoomFactor * scale)
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    // The frame's own edges are those of the paper drawn under it; smoothing
    // them again would send every pixel of a turned frame down the slow road
    // of the raster engine.
    painter.setRenderHint(QPainter::Antialiasing, false);

    const auto cover = [&exposed](const QTransform &widgetToPaper) {
        return widgetToPaper.mapRect(QRectF(exposed)).toAlignedRect().adjusted(-1, -1, 1, 1);
    };
    if (offPegs.isIdentity()) {
        painter.setTransform(widgetToDrawing.inverted() * base);
        const QRect area = cover(widgetToDrawing);
        scene->paintFrame(&painter, area);
        scene->paintActiveStroke(&painter, area, scale);
    } else {
        // The light table stays on the pegs while the drawing moves.
        painter.setTransform(widgetToScene.inverted() * base);
        scene->paintBacklight(&painter, cover(widgetToScene));
        painter.setTransform(widgetToDrawing.inverted() * base);
        const QRect area = cover(widgetToDrawing);
        scene->paintCurrentFrame(&painter, area);
        scene->paintActiveStroke(&painter, area, scale);
    }
    painter.setTransform(base);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
}

void PaperPrivate::paintGrid(QPainter &painter, const QRect &exposed) const
{
    if (gridStatus != KL::GridStatus::GridOn)
        return;
    painter.save();
    painter.setClipRect(exposed);
    QPen pen(lineColour);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(gridInWidget);
    painter.restore();
}

bool PaperPrivate::offPegsLinesReady(const QPainter &painter, const QPainterPath &onPegs)
{
    const std::optional<PaperView> view = paperView(painter);
    if (!view)
        return false;
    if (*view == offPegsLinesView)
        return true;
    if (!(*view == lastDirectLines)) {
        lastDirectLines = *view;
        return false;
    }
    keepOffPegsLines(*view, painter.renderHints(), onPegs);
    return true;
}

void PaperPrivate::copyOffPegsLines(QPainter &painter, const QRect &exposed) const
{
    const int dpr = int(offPegsLinesView.devicePixelRatio);
    for (const LinePiece &piece : offPegsLines) {
        const QRect part = piece.area & exposed;
        if (!part.isEmpty())
            copyPixels(painter, part.topLeft(), piece.image,
                       QRect((part.topLeft() - piece.area.topLeft()) * dpr, part.size() * dpr));
    }
}

void PaperPrivate::paintOffPegsLines(QPainter &painter, const QRect &exposed, const QPainterPath &onPegs) const
{
    for (int line = 0; line < OffPegsLineCount; ++line)
        paintOffPegsLine(painter, exposed, onPegs, line);
}

// Line 0 is the paper's outline on its pegs, lines 1 and 2 the diagonals of
// the frame where it stands.
void PaperPrivate::paintOffPegsLine(QPainter &painter, const QRect &exposed, const QPainterPath &onPegs, int line) const
{
    if (line > 0 && paperRect.isEmpty())
        return;
    painter.save();
    painter.setClipRect(exposed);
    painter.setBrush(Qt::NoBrush);
    // Cosmetic pens: the same one-pixel lines, drawn by the raster engine's
    // quick line drawer.
    QPen pen(lineColour, 1.0, line == 0 ? Qt::DashLine : Qt::SolidLine);
    pen.setCosmetic(true);
    painter.setPen(pen);
    const QTransform toWidget = widgetToDrawing.inverted();
    if (line == 0)
        painter.drawPath(onPegs);
    else if (line == 1)
        painter.drawLine(toWidget.map(QLineF(paperRect.topLeft(), paperRect.bottomRight())));
    else
        painter.drawLine(toWidget.map(QLineF(paperRect.bottomLeft(), paperRect.topRight())));
    painter.restore();
}

// Each line drawn once over a transparent picture of the widget and cut into
// square pieces, of which only those it touches are kept. One picture a
// line, so that where lines cross each blends over the other as when drawn
// directly.
void PaperPrivate::keepOffPegsLines(const PaperView &view, QPainter::RenderHints hints, const QPainterPath &onPegs)
{
    offPegsLines.clear();
    const int dpr = int(view.devicePixelRatio);
    const int side = 64 * dpr;
    QImage lines(view.devicePixels, QImage::Format_ARGB32_Premultiplied);
    lines.setDevicePixelRatio(view.devicePixelRatio);
    for (int line = 0; line < OffPegsLineCount; ++line) {
        lines.fill(Qt::transparent);
        {
            QPainter painter(&lines);
            painter.setRenderHints(hints);
            paintOffPegsLine(painter, q->rect(), onPegs, line);
        }
        for (int top = 0; top < lines.height(); top += side) {
            for (int left = 0; left < lines.width(); left += side) {
                const QRect square = QRect(left, top, side, side) & lines.rect();
                // What the line touches of the square, in whole widget
                // pixels.
                QRect touched;
                for (int y = square.top(); y <= square.bottom(); ++y) {
                    const auto *row = reinterpret_cast<const QRgb *>(lines.constScanLine(y));
                    int from = square.left();
                    while (from <= square.right() && row[from] == 0)
                        ++from;
                    if (from > square.right())
                        continue;
                    int to = square.right();
                    while (row[to] == 0)
                        --to;
                    touched |= QRect(from, y, to - from + 1, 1);
                }
                if (touched.isEmpty())
                    continue;
                const QRect area(QPoint(touched.left() / dpr, touched.top() / dpr),
                                 QPoint(touched.right() / dpr, touched.bottom() / dpr));
                QImage piece = lines.copy(QRect(area.topLeft() * dpr, area.size() * dpr));
                piece.setDevicePixelRatio(view.devicePixelRatio);
                offPegsLines.append({area, piece});
            }
        }
    }
    offPegsLinesView = view;
}

// A green glow along the edges of the free area while the frame is off its
// pegs, deepest at the edge. Gradients are slow to fill, so the glow is drawn
// once per size of the free area, in four pieces: the top and bottom bands
// with their corners, and the sides between them.
void PaperPrivate::paintTintFrame(QPainter &painter, const QRect &exposed, bool onePixel) const
{
    for (const TintPiece &piece : tintPieces) {
        const QRect part = piece.area & exposed;
        if (part.isEmpty())
            continue;
        if (onePixel)
            copyPixels(painter, part.topLeft(), piece.image, part.translated(-piece.area.topLeft()));
        else
            painter.drawImage(part, piece.image, part.translated(-piece.area.topLeft()));
    }
}

void PaperPrivate::rebuildTint()
{
    tintBuiltFor = freeArea;
    tintPieces.clear();
    const QRect f = freeArea;
    const int t = std::min({tintRadius, f.width() / 2, f.height() / 2});
    if (t <= 0)
        return;
    const QRect areas[] = {QRect(f.left(), f.top(), f.width(), t), QRect(f.left(), f.bottom() + 1 - t, f.width(), t),
                           QRect(f.left(), f.top() + t, t, f.height() - 2 * t),
                           QRect(f.right() + 1 - t, f.top() + t, t, f.height() - 2 * t)};
    for (const QRect &area : areas) {
        if (area.isEmpty())
            continue;
        TintPiece piece{area, QImage(area.size(), QImage::Format_ARGB32_Premultiplied)};
        piece.image.fill(Qt::transparent);
        QPainter painter(&piece.image);
        painter.translate(-area.topLeft());
        const auto fill = [&](const QRect &part, const QBrush &brush) {
            if (part.intersects(area))
                painter.fillRect(part & area, brush);
        };
        const QPoint corners[] = {f.topLeft(), QPoint(f.right() + 1 - t, f.top()), QPoint(f.left(), f.bottom() + 1 - t),
                                  QPoint(f.right() + 1 - t, f.bottom() + 1 - t)};
        const QPoint inner[] = {QPoint(t, t), QPoint(0, t), QPoint(t, 0), QPoint(0, 0)};
        for (int i = 0; i < 4; ++i) {
            QRadialGradient glow(corners[i] + inner[i], t);
            glow.setColorAt(0.0, Qt::transparent);
            glow.setColorAt(1.0, offPegsTint);
            fill(QRect(corners[i], QSize(t, t)), glow);
        }
        const auto band = [&](const QRect &part, QPointF edge, QPointF depth) {
            QLinearGradient glow(edge, depth);
            glow.setColorAt(0.0, offPegsTint);
            glow.setColorAt(1.0, Qt::transparent);
            fill(part, glow);
        };
        const double left = f.left();
        const double top = f.top();
        const double right = f.right() + 1;
        const double bottom = f.bottom() + 1;
        const int innerWidth = f.width() - 2 * t;
        const int innerHeight = f.height() - 2 * t;
        band(QRect(f.left() + t, f.top(), innerWidth, t), {0.0, top}, {0.0, top + t});
        band(QRect(f.left() + t, f.bottom() + 1 - t, innerWidth, t), {0.0, bottom}, {0.0, bottom - t});
        band(QRect(f.left(), f.top() + t, t, innerHeight), {left, 0.0}, {left + t, 0.0});
        band(QRect(f.right() + 1 - t, f.top() + t, t, innerHeight), {right, 0.0}, {right - t, 0.0});
        painter.end();
        tintPieces.append(std::move(piece));
    }
}

void PaperPrivate::paintToolSymbols(QPainter &painter)
{
    const QPointF centre = freeArea.center();
    if (mode >= Mode::Hand && mode <= Mode::OffPegs
        && Model::ToolManager::instance()->lastEditingToolType() == Model::Tool::Type::FloatingSelection)
        paintSelection(painter, false);

    switch (mode) {
    case Mode::Hand:
    case Mode::Zoom:
    case Mode::Rotate: {
        QSvgRenderer *symbol = mode == Mode::Hand ? panSymbol.get() : mode == Mode::Zoom ? zoomSymbol.get()
                                                                                         : rotateSymbol.get();
        const QSizeF half(qRound(freeArea.width() / 2.0), qRound(freeArea.height() / 2.0));
        symbol->render(&painter, fitted(*symbol, half, centre));
        break;
    }
    case Mode::ZoomPanRotate:
        if (zprDragState == NoRegion || zprDragState == 0)
            panSymbol->render(&painter, zprPanSymbolRect);
        if (zprDragState == NoRegion || zprDragState == 1)
            rotateSymbol->render(&painter, zprRotateSymbolRect);
        if (zprDragState == NoRegion || zprDragState == 2)
            zoomSymbol->render(&painter, zprZoomSymbolRect);
        if (zprDragState == NoRegion) {
            painter.save();
            painter.setBrush(Qt::NoBrush);
            QPainterPath outside;
            outside.addRect(QRectF(q->rect()));
            painter.setClipPath(outside.subtracted(zprPanArea), Qt::IntersectClip);
            painter.setPen(QPen(lineColour, 2.0));
            painter.drawPath(zprRotateArea);
            painter.restore();
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(lineColour, 1.0));
            painter.drawPath(zprPanArea);
        }
        break;
    case Mode::OffPegs:
        if (offPegsDragState == 1) {
            offPegsPanSymbol->render(&painter, offPegsSymbolRect);
        } else if (offPegsDragState == 0) {
            offPegsRotateSymbol->render(&painter, offPegsSymbolRect);
        } else {
            offPegsPanSymbol->render(&painter, offPegsSymbolRect);
            offPegsRotateSymbol->render(&painter, offPegsSymbolRect);
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(lineColour));
            painter.drawPath(offPegsPanArea);
            if (!committedOffPegs.isIdentity()) {
                const bool hovering = offPegsHoverRegion == 2;
                QSvgRenderer *art = offPegsButtonArt.get();
                if (offPegsDragState == 2)
                    art = hovering ? offPegsButtonClickArt.get() : offPegsButtonHoverArt.get();
                else if (hovering)
                    art = offPegsButtonHoverArt.get();
                art->render(&painter, offPegsButton.boundingRect());
            }
        }
        break;
    case Mode::Lasso:
    case Mode::Cutter:
        if (outline) {
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(QColor(77, 163, 77, 205), 0.8, Qt::DashLine, Qt::RoundCap, Qt::RoundJoin));
            painter.drawPath(widgetToDrawing.inverted().map(outline->path()));
        }
        break;
    case Mode::FloatingSelection:
        paintSelection(painter, true);
        break;
    default:
        break;
    }
}

// --- Slots ------------------------------------------------------------------

void Paper::setTransparencyType(KL::TransparencyType type)
{
    if (type == d->transparencyType)
        return;
    d->transparencyType = type;
    d->rebuildTransparencyBrush();
    update();
}

void Paper::setGridType(KL::GridType type)
{
    if (type == d->gridType)
        return;
    d->gridType = type;
    d->mapGrid();
    update();
}

void Paper::setGridStatus(KL::GridStatus status)
{
    if (status == d->gridStatus)
        return;
    d->gridStatus = status;
    d->mapGrid();
    update();
}

void Paper::setTopWidget(QWidget *widget)
{
    if (widget == d->topWidget)
        return;
    if (d->topWidget)
        d->topWidget->hide();
    d->topWidget = widget;
    if (widget && widget->parentWidget() != this)
        widget->setParent(this);
    d->freeArea = rect();
    if (!widget) {
        setMinimumWidth(0);
        return;
    }
    widget->setGeometry(0, 0, width(), widget->height());
    widget->show();
    d->freeArea.setTop(widget->height());
    setMinimumWidth(widget->minimumWidth());
    d->layOutStrip(width());
}

void Paper::updateUISize()
{
    d->updateStripMetrics();
    d->layOutStrip(width());
    if (d->topWidget)
        setMinimumWidth(d->topWidget->minimumWidth());
    d->layOutStrip(width());
    update();
    updateGeometry();
}

} // namespace UI
