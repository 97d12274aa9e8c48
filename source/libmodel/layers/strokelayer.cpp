#include "layers/strokelayer.h"

#include "drawings/strokedrawing.h"
#include "layers/layeritem.h"
#include "strokes/floatingselection.h"
#include "strokes/stroke.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace Model {

class StrokeLayerPrivate
{
public:
    QColor m_color;
    QList<QRgb> m_colorTable;
};

namespace {

// The smallest side of a lifted selection's preview: a lasso around a dot
// still gives the user something to grab.
constexpr int minimumSelectionSide = 25;

QList<QRgb> alphaTable(QColor color)
{
    QList<QRgb> table;
    table.reserve(256);
    for (int a = 0; a < 256; ++a) {
        color.setAlpha(a);
        table.append(color.rgba());
    }
    return table;
}

const QList<QRgb> &blackTable()
{
    static const QList<QRgb> table = alphaTable(Qt::black);
    return table;
}

// The colour turned by hueShift degrees, opaque, with alpha i * alphaFactor
// at entry i.
QList<QRgb> backlightTable(const QColor &color, int hueShift, double alphaFactor)
{
    int h = 0;
    int s = 0;
    int v = 0;
    color.getHsv(&h, &s, &v);
    const QRgb tint = QColor::fromHsv(((h + hueShift) % 360 + 720) % 360, s, v, 255).rgb();
    QList<QRgb> table;
    table.reserve(256);
    for (int i = 0; i < 256; ++i) {
        const long alpha = std::lround(i * alphaFactor);
        table.append(qRgba(qRed(tint), qGreen(tint), qBlue(tint), int(std::clamp(alpha, 0L, 255L))));
    }
    return table;
}

StrokeDrawing *strokeDrawing(const std::shared_ptr<LayerItem> &item)
{
    if (!item || !item->drawing() || item->drawing()->type() != Drawing::StrokeDrawingType)
        return nullptr;
    return static_cast<StrokeDrawing *>(item->drawing().get());
}

} // namespace

StrokeLayer::StrokeLayer(const QColor &color, const QSize &frameSize, QObject *parent)
    : DrawLayer(frameSize, parent)
    , d(std::make_unique<StrokeLayerPrivate>())
{
    d->m_color = color;
    d->m_colorTable = alphaTable(color);
    insertCell(0, std::make_shared<LayerItem>(frameSize));
}

StrokeLayer::StrokeLayer(const StrokeLayer &other)
    : DrawLayer(other)
    , d(std::make_unique<StrokeLayerPrivate>())
{
    d->m_color = other.d->m_color;
    d->m_colorTable = other.d->m_colorTable;
    copyCellsFrom(other);
}

StrokeLayer::~StrokeLayer() = default;

QColor StrokeLayer::color() const
{
    return d->m_color;
}

const QList<QRgb> &StrokeLayer::colorTable() const
{
    return d->m_colorTable;
}

void StrokeLayer::setColor(const QColor &color)
{
    if (d->m_color == color)
        return;
    d->m_color = color;
    d->m_colorTable = alphaTable(color);
    for (const auto &item : cells()) {
        if (item->kind() == LayerItem::OriginalKind && item->drawing())
            item->drawing()->clearCache();
    }
}

int StrokeLayer::type() const
{
    return StrokeLayerType;
}

Layer *StrokeLayer::clone() const
{
    return new StrokeLayer(*this);
}

std::shared_ptr<LayerItem> StrokeLayer::newCell() const
{
    return std::make_shared<LayerItem>(frameSize());
}

void StrokeLayer::paint(int frame, QPainter *painter, const QRect &target, bool allBlack) const
{
    const StrokeDrawing *drawing = painter ? strokeDrawing(shownCell(frame)) : nullptr;
    if (!drawing)
        return;
    painter->save();
    painter->setOpacity(painter->opacity() * opacity());
    drawing->paint(painter, allBlack ? blackTable() : d->m_colorTable, target);
    painter->restore();
}

void StrokeLayer::paint(int frame, QPainter *painter, const QRect &target) const
{
    paint(frame, painter, target, false);
}

void StrokeLayer::paintBacklight(int frame, QPainter *painter, const QRect &target, int hueShift,
                                 double alphaFactor) const
{
    const StrokeDrawing *drawing = painter ? strokeDrawing(shownCell(frame)) : nullptr;
    if (!drawing)
        return;
    painter->save();
    painter->setOpacity(painter->opacity() * opacity());
    drawing->paint(painter, backlightTable(d->m_color, hueShift, alphaFactor), target);
    painter->restore();
}

void StrokeLayer::blendOnto(int frame, QImage &image, const QRect &target, double painterOpacity) const
{
    if (const StrokeDrawing *drawing = strokeDrawing(shownCell(frame)))
        drawing->blendOnto(image, d->m_colorTable, target, painterOpacity * opacity());
}

void StrokeLayer::blendBacklightOnto(int frame, QImage &image, const QRect &target, int hueShift,
                                     double alphaFactor) const
{
    if (const StrokeDrawing *drawing = strokeDrawing(shownCell(frame)))
        drawing->blendOnto(image, backlightTable(d->m_color, hueShift, alphaFactor), target, opacity());
}

StrokeLayer::Ink StrokeLayer::inkAt(int frame, double painterOpacity) const
{
    Ink ink;
    if (const StrokeDrawing *drawing = strokeDrawing(shownCell(frame))) {
        ink.coverage = drawing->ink();
        ink.colours = paintedColours(d->m_colorTable, painterOpacity * opacity());
    }
    return ink;
}

StrokeLayer::Ink StrokeLayer::backlightInkAt(int frame, int hueShift, double alphaFactor) const
{
    Ink ink;
    if (const StrokeDrawing *drawing = strokeDrawing(shownCell(frame))) {
        ink.coverage = drawing->ink();
        ink.colours = paintedColours(backlightTable(d->m_color, hueShift, alphaFactor), opacity());
    }
    return ink;
}

QImage StrokeLayer::thumbnail(int frame, const QSize &size) const
{
    const auto item = cell(frame);
    if (!item || !item->drawing())
        return {};
    return item->drawing()->thumbnail(size, d->m_colorTable);
}

void StrokeLayer::paintWithActiveStroke(int frame, QPainter *painter, const QRect &target,
                                        const SingleStroke *stroke) const
{
    const StrokeDrawing *drawing = painter ? strokeDrawing(cell(frame)) : nullptr;
    if (!drawing)
        return;
    painter->save();
    painter->setOpacity(painter->opacity() * opacity());
    drawing->paintWithActiveStroke(painter, d->m_colorTable, target, stroke);
    painter->restore();
}

std::unique_ptr<FloatingSelection> StrokeLayer::floatingSelectionContent(int frame,
                                                                         const QPainterPath &path) const
{
    const StrokeDrawing *drawing = strokeDrawing(cell(frame));
    if (!drawing)
        return nullptr;
    std::unique_ptr<Stroke> content = drawing->copyInside(path);
    if (!content || content->isEmpty())
        return nullptr;
    const QRect r = content->boundingRect();
    if (r.isEmpty())
        return nullptr;

    const bool gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (gui)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);

    QSize size = r.size();
    if (size.width() < minimumSelectionSide || size.height() < minimumSelectionSide)
        size = size.scaled(minimumSelectionSide, minimumSelectionSide, Qt::KeepAspectRatioByExpanding);
    if (size.width() > frameSize().width() || size.height() > frameSize().height())
        size = size.scaled(frameSize(), Qt::KeepAspectRatio);

    QImage image;
    if (!size.isEmpty()) {
        QImage coverage(size, QImage::Format_Alpha8);
        coverage.fill(0);
        const double sx = double(size.width()) / r.width();
        const double sy = double(size.height()) / r.height();
        const QTransform placement =
            QTransform::fromTranslate(-r.left(), -r.top()) * QTransform::fromScale(sx, sy);
        content->render(coverage, coverage.rect(), placement, QPoint(0, 0), std::min(sx, sy));
        // The same bytes seen through the layer's colours, then copied so
        // that the preview owns them.
        QImage view(coverage.constBits(), coverage.width(), coverage.height(), coverage.bytesPerLine(),
                    QImage::Format_Indexed8);
        view.setColorTable(d->m_colorTable);
        image = view.copy();
    }

    if (gui)
        QGuiApplication::restoreOverrideCursor();
    return std::make_unique<FloatingSelection>(std::move(content), image, opacity());
}

bool StrokeLayer::eraseInside(int frame, const QPainterPath &path)
{
    StrokeDrawing *drawing = strokeDrawing(cell(frame));
    return drawing && drawing->eraseInside(path);
}

bool StrokeLayer::addStroke(int frame, std::unique_ptr<Stroke> stroke)
{
    StrokeDrawing *drawing = strokeDrawing(cell(frame));
    return drawing && drawing->addStroke(std::move(stroke));
}

std::unique_ptr<Stroke> StrokeLayer::takeLastStroke(int frame, const QImage &before, QPoint at)
{
    StrokeDrawing *drawing = strokeDrawing(cell(frame));
    return drawing ? drawing->takeLastStroke(before, at) : nullptr;
}

} // namespace Model
