#include "strokedrawing.h"

#include "drawings/drawingimagecache.h"
#include "render/alphacomposition.h"
#include "render/premultipliedblend.h"
#include "strokes/bitmapstroke.h"
#include "strokes/rleimage.h"
#include "strokes/segment.h"
#include "strokes/singlestroke.h"

#include <QDataStream>
#include <QMap>
#include <QPainter>
#include <QPainterPath>
#include <QSizeF>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace Model {

namespace {

constexpr qint32 NoImageTag = -1;
constexpr qint32 ImageTag = 2;

// Whether a frame of this size gets a cached image at all.
bool hasRoomForImage(QSize size)
{
    return size.width() > 0 && size.height() > 0
        && qint64(size.width()) * size.height() <= StrokeDrawing::maximumImageBytes;
}

// Sizes without pixels are ordinary (a drawing whose frame is not known yet,
// which QSize() stands for); a frame that could never be held in memory, a
// side longer than any drawing reaches, and any other negative size can only
// come from damage.
bool isAbsurdFrame(QSize size)
{
    if (size == QSize())
        return false;
    if (size.width() < 0 || size.height() < 0 || size.width() > Stroke::maximumCoordinate
        || size.height() > Stroke::maximumCoordinate)
        return true;
    return size.width() > 0 && size.height() > 0 && !hasRoomForImage(size);
}


QImage blankCoverage(QSize size)
{
    QImage image(size, QImage::Format_Alpha8);
    if (!image.isNull())
        image.fill(0);
    return image;
}

// The part area of coverage coloured through table, in the format Qt
// blends without converting. Qt colours an indexed image by premultiplying
// each table entry as it reads a pixel; premultiplying the 256 entries once
// gives the same pixels, and spares painting the conversion of every pixel
// through Qt's generic path and its hand-offs to worker threads.
QImage colouredPart(const QImage &coverage, const QList<QRgb> &table, QRect area)
{
    std::array<QRgb, 256> premultiplied{};
    const qsizetype entries = std::min<qsizetype>(table.size(), 256);
    for (qsizetype i = 0; i < entries; ++i)
        premultiplied[size_t(i)] = qPremultiply(table.at(i));

    QImage part(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (part.isNull())
        return part;
    for (int y = 0; y < area.height(); ++y) {
        const uchar *source = coverage.constScanLine(area.top() + y) + area.left();
        auto *target = reinterpret_cast<QRgb *>(part.scanLine(y));
        for (int x = 0; x < area.width(); ++x)
            target[x] = premultiplied[source[x]];
    }
    return part;
}

// Blends the part area of coverage onto the same part of target, a
// premultiplied picture, through colours.
void blendImage(const QImage &coverage, const PremultipliedRows &target, QRect area,
                const PremultipliedColours &colours)
{
    const int width = area.width();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uchar *source = coverage.constScanLine(y) + area.left();
        QRgb *line = target.line(y) + area.left();
        // The rows of a drawing's bounds lie a frame's width apart, too far
        // for the processor to foresee the next one.
        if (y < area.bottom()) {
            const uchar *next = source + coverage.bytesPerLine();
            for (int offset = 0; offset < width; offset += 64)
                __builtin_prefetch(next + offset);
        }
        // Most of a drawing's bounds hold no ink, and a transparent source
        // leaves the pixel as it is: empty stretches are passed over eight
        // pixels at a time.
        int x = 0;
        for (; x + 8 <= width; x += 8) {
            quint64 eight = 0;
            std::memcpy(&eight, source + x, sizeof eight);
            if (eight != 0)
                blendCoverage(line + x, source + x, 8, colours);
        }
        blendCoverage(line + x, source + x, width - x, colours);
    }
}

// The same from the run-length code: only the runs are visited, and the
// empty paper between them costs nothing.
void blendCode(const RleImage &code, const PremultipliedRows &target, QRect area,
               const PremultipliedColours &colours)
{
    RleImage::Runs runs(code, area.top());
    RleImage::Run run;
    while (runs.next(run)) {
        if (run.row > area.bottom())
            break;
        const int from = std::max(run.column, area.left());
        const int to = std::min(run.column + run.length, area.right() + 1);
        if (from < to)
            blendCoverage(target.line(run.row) + from, run.bytes + (from - run.column), to - from, colours);
    }
}

// Coverage averaged over factor x factor blocks (the blocks along the right
// and bottom edges may be smaller): what a smooth reduction does first, done
// on one byte per pixel, so that a thumbnail of a large frame never holds the
// whole frame in colour.
QImage reducedCoverage(const QImage &coverage, int factor)
{
    const int width = (coverage.width() + factor - 1) / factor;
    const int height = (coverage.height() + factor - 1) / factor;
    QImage reduced(width, height, QImage::Format_Alpha8);
    if (reduced.isNull())
        return reduced;
    std::vector<quint32> sums(size_t(width), 0);
    for (int y = 0; y < height; ++y) {
        std::fill(sums.begin(), sums.end(), 0);
        const int top = y * factor;
        const int rows = std::min(factor, coverage.height() - top);
        for (int row = top; row < top + rows; ++row) {
            const uchar *line = coverage.constScanLine(row);
            for (int x = 0; x < coverage.width(); ++x)
                sums[size_t(x / factor)] += line[x];
        }
        uchar *target = reduced.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const quint32 count = quint32(rows) * quint32(std::min(factor, coverage.width() - x * factor));
            target[x] = uchar((sums[size_t(x)] + count / 2) / count);
        }
    }
    return reduced;
}

// Thumbnails are far smaller than the frame, so pencil lines average out to
// almost nothing; multiplying the alpha by 8 brings them back.
void strengthenFaintCoverage(QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(line[x]);
            if (alpha == 0)
                continue;
            const QRgb colour = qUnpremultiply(line[x]);
            line[x] = qPremultiply(qRgba(qRed(colour), qGreen(colour), qBlue(colour),
                                         std::min(8 * alpha, 255)));
        }
    }
}

// Whether path covers a pixel that shows ink. A cut that misses every
// stroke changes nothing that could be seen, and must not count as an edit
// of the drawing (an undo step, a copy id dropped). content bounds the ink;
// without an image, only it can tell.
bool coversInk(const QImage &image, QRect content, const QPainterPath &path)
{
    QRect area = path.boundingRect().toAlignedRect() & content;
    if (area.isEmpty())
        return false;
    if (image.isNull())
        return path.intersects(QRectF(content));
    area &= image.rect();
    if (area.isEmpty())
        return false;
    QImage inside = blankCoverage(area.size());
    if (inside.isNull())
        return true;
    {
        QPainter painter(&inside);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(-QPointF(area.topLeft()));
        painter.fillPath(path, Qt::black);
    }
    for (int y = 0; y < area.height(); ++y) {
        const uchar *covered = inside.constScanLine(y);
        const uchar *ink = image.constScanLine(area.top() + y) + area.left();
        for (int x = 0; x < area.width(); ++x) {
            if (covered[x] != 0 && ink[x] != 0)
                return true;
        }
    }
    return false;
}

// The tiles of a grid laid over area from its top left corner, each marked
// when something may paint in it, with the columns of pixels from the
// first to the last that it may paint in there.
class TileMarks
{
public:
    // A tile's columns of pixels; none while left lies beyond right.
    struct Columns
    {
        int left = std::numeric_limits<int>::max();
        int right = std::numeric_limits<int>::min();

        bool marked() const { return left <= right; }
    };

    TileMarks(QRect area, int tile)
        : m_area(area)
        , m_tile(tile)
        , m_columns((area.width() + tile - 1) / tile)
        , m_rows((area.height() + tile - 1) / tile)
        , m_marked(size_t(m_columns) * size_t(m_rows))
    {
    }

    int tile() const { return m_tile; }
    int columns() const { return m_columns; }
    int rows() const { return m_rows; }
    const Columns *row(int row) const { return m_marked.data() + qsizetype(row) * m_columns; }

    // Every tile that rect reaches.
    void mark(const QRectF &rect)
    {
        if (rect.isEmpty())
            return;
        const int top = rowAt(rect.top());
        const int bottom = rowAt(rect.bottom());
        for (int row = top; row <= bottom; ++row)
            markColumns(row, rect.left(), rect.right());
    }

    // Every tile within reach of the triangle of corners, inside bounds:
    // row by row of tiles, the triangle's part in the row grown by reach
    // above and below, grown by reach to each side. A triangle whose
    // corners lie on one line (the body of a long straight stroke) marks
    // only the tiles along it.
    void markNear(const std::array<QPointF, 3> &corners, double reach, const QRectF &bounds)
    {
        const auto [low, high] = std::minmax({corners[0].y(), corners[1].y(), corners[2].y()});
        const int first = rowAt(std::max(low - reach, bounds.top()));
        const int last = rowAt(std::min(high + reach, bounds.bottom()));
        for (int row = first; row <= last; ++row) {
            const double top = double(m_area.top()) + double(row) * m_tile;
            const double above = std::max(top, bounds.top());
            const double below = std::min(top + m_tile, bounds.bottom());
            // A convex shape meets a band where its edges do.
            double left = std::numeric_limits<double>::infinity();
            double right = -left;
            for (size_t i = 0; i < corners.size(); ++i) {
                const QPointF a = corners[i];
                const QPointF b = corners[(i + 1) % corners.size()];
                double from = 0.0;
                double to = 1.0;
                if (a.y() != b.y()) {
                    const double t0 = (above - reach - a.y()) / (b.y() - a.y());
                    const double t1 = (below + reach - a.y()) / (b.y() - a.y());
                    from = std::max(from, std::min(t0, t1));
                    to = std::min(to, std::max(t0, t1));
                } else if (a.y() < above - reach || a.y() > below + reach) {
                    continue;
                }
                if (from > to)
                    continue;
                const double x0 = a.x() + (b.x() - a.x()) * from;
                const double x1 = a.x() + (b.x() - a.x()) * to;
                left = std::min({left, x0, x1});
                right = std::max({right, x0, x1});
            }
            if (left <= right)
                markColumns(row, std::max(left - reach, bounds.left()), std::min(right + reach, bounds.right()));
        }
    }

private:
    int rowAt(double y) const { return std::clamp(int((y - m_area.top()) / m_tile), 0, m_rows - 1); }
    int columnAt(double x) const { return std::clamp(int((x - m_area.left()) / m_tile), 0, m_columns - 1); }

    void markColumns(int row, double left, double right)
    {
        if (left > right)
            return;
        const int first = columnAt(left);
        const int last = columnAt(right);
        const int from = int(std::max(std::floor(left), double(m_area.left())));
        const int to = int(std::min(std::ceil(right), double(m_area.right())));
        Columns *line = m_marked.data() + qsizetype(row) * m_columns;
        for (int column = first; column <= last; ++column) {
            const int tileLeft = m_area.left() + column * m_tile;
            line[column].left = std::min(line[column].left, std::max(from, tileLeft));
            line[column].right = std::max(line[column].right, std::min(to, tileLeft + m_tile - 1));
        }
    }

    QRect m_area;
    int m_tile;
    int m_columns;
    int m_rows;
    std::vector<Columns> m_marked;
};

// Marks the tiles that stroke can paint in, its points mapped through
// combined, inside bounds. A segment that spans no more than a tile marks
// its box; a longer one (a line drawn across the frame in one go) marks the
// tiles along the triangles the renderer draws it with, each within the
// widest its outline reaches from its centre line.
void markSegments(TileMarks &marks, const SingleStroke &stroke, const QTransform &combined, const QRectF &bounds,
                  double margin)
{
    // No vector grows further under combined than by this factor.
    const double scale = std::hypot(std::hypot(combined.m11(), combined.m12()),
                                    std::hypot(combined.m21(), combined.m22()));
    const QList<std::shared_ptr<Segment>> segments = stroke.segments();
    QList<float> positions;
    QList<float> attributes;
    QList<float> kinds;
    for (const std::shared_ptr<Segment> &segment : segments) {
        const QRectF box = combined.mapRect(Stroke::toRectF(segment->boundingRect()))
                               .adjusted(-margin, -margin, margin, margin)
            & bounds;
        if (box.isEmpty())
            continue;
        if (box.width() <= marks.tile() && box.height() <= marks.tile()) {
            marks.mark(box);
            continue;
        }
        positions.clear();
        attributes.clear();
        kinds.clear();
        segment->tessellateWithCaps(positions, attributes, kinds);
        const qsizetype vertices = std::min(positions.size() / 4, attributes.size() / 2);
        for (qsizetype first = 0; first + 2 < vertices; first += 3) {
            std::array<QPointF, 3> corners;
            double radius = 0.0;
            for (qsizetype k = 0; k < 3; ++k) {
                const qsizetype v = first + k;
                corners[size_t(k)] = combined.map(QPointF(positions.at(4 * v), positions.at(4 * v + 1)));
                radius = std::max(radius, double(attributes.at(2 * v + 1)));
            }
            marks.markNear(corners, radius * scale + margin, bounds);
        }
    }
}

// The parts of area that the strokes of root can paint, in pieces made of
// the tiles of a grid laid from area's top left corner: rendering the pieces
// alone renders every pixel of ink in area, so that a drawing of a few
// strokes in far corners of a large frame costs those corners, not the
// frame, and a long line costs the tiles it passes through. Past
// MaximumPieces, each row of the grid is one piece from the first tile
// marked to the last, which bounds the renders of a drawing of many
// scattered strokes.
QList<QRect> reachedPieces(const CompoundStroke &root, QRect area)
{
    constexpr qsizetype MaximumPieces = 64;
    // What the renderer feathers beyond a stroke's bounds, and rounding.
    constexpr qreal Margin = 2.0;
    if (area.isEmpty() || root.isEmpty())
        return {};
    // At most 256 tiles a side, whatever the area.
    TileMarks marks(area, std::max(128, (std::max(area.width(), area.height()) + 255) / 256));
    const int tile = marks.tile();
    const int columns = marks.columns();
    const int rows = marks.rows();

    struct Visit
    {
        const CompoundStroke *compound;
        QTransform combined;
        QRectF bounds;
    };
    std::vector<Visit> visits{{&root, root.transform(), QRectF(area)}};
    while (!visits.empty()) {
        Visit visit = std::move(visits.back());
        visits.pop_back();
        // Beyond its clip path a group paints nothing.
        const QPainterPath clip = visit.compound->clipPath();
        if (!clip.isEmpty())
            visit.bounds &= visit.combined.mapRect(clip.boundingRect()).adjusted(-Margin, -Margin, Margin, Margin);
        if (visit.bounds.isEmpty())
            continue;
        for (int i = 0; i < visit.compound->memberCount(); ++i) {
            const Stroke *member = visit.compound->member(i);
            if (const auto *nested = dynamic_cast<const CompoundStroke *>(member)) {
                visits.push_back({nested, nested->transform() * visit.combined, visit.bounds});
                continue;
            }
            // Erasers only take away what the other strokes paint, and a
            // picture paints only where its ink lies.
            const auto *single = dynamic_cast<const SingleStroke *>(member);
            if (single && single->isEraserStroke())
                continue;
            const auto *picture = dynamic_cast<const BitmapStroke *>(member);
            const QRect bounds = picture ? picture->inkRect() : member->boundingRect();
            if (bounds.isEmpty())
                continue;
            const QRectF reach =
                visit.combined.mapRect(Stroke::toRectF(bounds)).adjusted(-Margin, -Margin, Margin, Margin)
                & visit.bounds;
            if (reach.isEmpty())
                continue;
            if (single && (reach.width() > 2 * tile || reach.height() > 2 * tile))
                markSegments(marks, *single, visit.combined, visit.bounds, Margin);
            else
                marks.mark(reach);
        }
    }

    // Runs of marked tiles, row by row; a run below one of the same columns
    // lengthens its piece. A piece reaches across the columns of pixels its
    // tiles were marked in, no further: a line across the frame costs the
    // pixels beside it, not whole tiles of them.
    const auto collect = [&](bool wholeRows) {
        QList<QRect> pieces;
        QList<std::pair<std::pair<int, int>, qsizetype>> above;
        for (int row = 0; row < rows; ++row) {
            const TileMarks::Columns *line = marks.row(row);
            QList<std::pair<std::pair<int, int>, qsizetype>> here;
            for (int column = 0; column < columns;) {
                if (!line[column].marked()) {
                    ++column;
                    continue;
                }
                int end = column;
                while (end + 1 < columns && (line[end + 1].marked() || wholeRows))
                    ++end;
                while (!line[end].marked())
                    --end;
                const std::pair<int, int> run(column, end);
                const QRect reached(QPoint(line[column].left, area.top() + row * tile),
                                    QPoint(line[end].right, area.top() + (row + 1) * tile - 1));
                const auto same = std::find_if(above.cbegin(), above.cend(),
                                               [&](const auto &piece) { return piece.first == run; });
                if (same != above.cend()) {
                    pieces[same->second] |= reached;
                    here.append(*same);
                } else {
                    here.append({run, pieces.size()});
                    pieces.append(reached);
                }
                column = end + 1;
            }
            above = here;
        }
        for (QRect &piece : pieces)
            piece &= area;
        return pieces;
    };
    const QList<QRect> pieces = collect(false);
    return pieces.size() <= MaximumPieces ? pieces : collect(true);
}

// The root's coverage of rect of the drawing's grid, cut to what the render
// drew, and where that lies; a null image when it drew nothing. The paper's
// grain lies as in a render of the whole frame.
std::pair<QPoint, QImage> renderedPart(const CompoundStroke &root, QRect rect)
{
    QImage image = blankCoverage(rect.size());
    if (image.isNull())
        return {};
    const QRect drawn =
        root.render(image, image.rect(), QTransform::fromTranslate(-rect.left(), -rect.top()), rect.topLeft(), 1.0)
        & image.rect();
    if (drawn.isEmpty())
        return {};
    return {rect.topLeft() + drawn.topLeft(), drawn == image.rect() ? image : image.copy(drawn)};
}

} // namespace

class StrokeDrawingPrivate
{
public:
    ~StrokeDrawingPrivate();

    // The coverage image, decoded from the code when the shared cache has
    // let it go; null when there is none. keep says whether a decoded image
    // goes into the cache: painting a frame keeps it for the next paint, a
    // thumbnail of a drawing far from the current frame does not push out
    // what is shown.
    QImage image(bool keep = true) const;
    // The image taken out of the cache for an edit, so that the edit holds
    // the only reference and changes the pixels without a copy; decoded when
    // the cache has none. Every edit hands it back through keepImage().
    QImage takeImage();
    // Encodes the edited image once and puts it back into the cache; a null
    // image leaves the drawing without one.
    void keepImage(QImage image);
    // Keeps code as the image, with nothing decoded in the cache: decoded
    // when it is first asked for.
    void keepCode(RleImage code);

    QSize m_size;
    // The coverage as the drawing keeps it: run-length code, a small part of
    // the decoded frame, and exactly what the record carries. Meaningful only
    // when m_hasImage is set.
    RleImage m_code;
    bool m_hasImage = false;
    // Where the decoded image lies in the shared cache.
    const DrawingImageCache::Key m_cacheKey = DrawingImageCache::newKey();
    // Filled on demand by the const thumbnail(); keyed by the first colour of
    // the table, which tells the layers' colours apart.
    QMap<QRgb, QImage> m_thumbnails;
    QSize m_thumbnailSize;
    std::unique_ptr<CompoundStroke> m_root;
};

StrokeDrawingPrivate::~StrokeDrawingPrivate()
{
    DrawingImageCache::instance()->remove(m_cacheKey);
}

QImage StrokeDrawingPrivate::image(bool keep) const
{
    if (!m_hasImage)
        return {};
    DrawingImageCache *cache = DrawingImageCache::instance();
    QImage image = cache->find(m_cacheKey);
    if (image.isNull()) {
        image = m_code.toImage();
        if (keep)
            cache->insert(m_cacheKey, image);
    }
    return image;
}

QImage StrokeDrawingPrivate::takeImage()
{
    if (!m_hasImage)
        return {};
    QImage image = DrawingImageCache::instance()->take(m_cacheKey);
    return image.isNull() ? m_code.toImage() : image;
}

void StrokeDrawingPrivate::keepImage(QImage image)
{
    m_hasImage = !image.isNull();
    m_code = m_hasImage ? RleImage(image) : RleImage();
    DrawingImageCache::instance()->insert(m_cacheKey, image);
}

void StrokeDrawingPrivate::keepCode(RleImage code)
{
    m_code = std::move(code);
    m_hasImage = true;
    DrawingImageCache::instance()->remove(m_cacheKey);
}

StrokeDrawing::StrokeDrawing(QSize size)
    : d(std::make_unique<StrokeDrawingPrivate>())
{
    d->m_size = size;
    d->m_root = std::make_unique<CompoundStroke>();
}

StrokeDrawing::~StrokeDrawing() = default;

int StrokeDrawing::type() const
{
    return StrokeDrawingType;
}

std::unique_ptr<Drawing> StrokeDrawing::clone() const
{
    auto copy = std::make_unique<StrokeDrawing>(d->m_size);
    copy->d->m_code = d->m_code;
    copy->d->m_hasImage = d->m_hasImage;
    copy->d->m_thumbnails = d->m_thumbnails;
    copy->d->m_thumbnailSize = d->m_thumbnailSize;
    copy->d->m_root = std::make_unique<CompoundStroke>(*d->m_root);
    return copy;
}

bool StrokeDrawing::isEmpty() const
{
    return d->m_root->isEmpty();
}

QImage StrokeDrawing::thumbnail(const QSize &size, const QList<QRgb> &colorTable) const
{
    if (!size.isValid() || colorTable.isEmpty())
        return {};
    if (size != d->m_thumbnailSize) {
        d->m_thumbnailSize = size;
        d->m_thumbnails.clear();
    }
    const QRgb key = colorTable.constFirst();
    const auto cached = d->m_thumbnails.constFind(key);
    if (cached != d->m_thumbnails.constEnd())
        return cached.value();
    const QImage image = d->image(false);
    if (image.isNull())
        return {};

    // Coloured before the last scaling: Qt scales a strong reduction of an
    // indexed image within its palette, which shifts the colours. The
    // coverage is first reduced on its own to no less than the thumbnail, so
    // only that much is ever coloured; coverage and colour table are linear
    // in each other, so averaging either first gives the same colours.
    const QSize target = image.size().scaled(size, Qt::KeepAspectRatio);
    if (target.isEmpty())
        return {};
    const int factor = std::min(image.width() / target.width(), image.height() / target.height());
    const QImage coverage = factor >= 2 ? reducedCoverage(image, factor) : image;
    if (coverage.isNull())
        return {};
    QImage thumbnail = colouredPart(coverage, colorTable, coverage.rect())
                           .scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                           .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    strengthenFaintCoverage(thumbnail);
    d->m_thumbnails.insert(key, thumbnail);
    return thumbnail;
}

void StrokeDrawing::clearCache()
{
    d->m_thumbnails.clear();
}

void StrokeDrawing::changeFrameSize(const QSize &size, KL::FitMode mode)
{
    // An empty root is left alone: a transform on it would only push an
    // empty group under the next stroke.
    const QTransform fit = frameFit(d->m_size, size, mode);
    if (!d->m_root->isEmpty() && !fit.isIdentity())
        d->m_root->setTransform(d->m_root->transform() * fit);
    d->m_size = size;
    contentChanged();
    updateImage(QRect(QPoint(0, 0), size));
}

QTransform StrokeDrawing::frameFit(const QSize &from, const QSize &to, KL::FitMode mode)
{
    // Fitting from or into a frame without pixels would divide by zero or
    // mirror the strokes.
    if (from.isEmpty() || to.isEmpty())
        return {};
    QTransform scale;
    QTransform shift;
    switch (mode) {
    case KL::FitMode::FitModeStretch:
        scale = QTransform::fromScale(double(to.width()) / from.width(), double(to.height()) / from.height());
        break;
    case KL::FitMode::FitModeKeepAspect:
    case KL::FitMode::FitModeKeepAspectByExpanding: {
        const Qt::AspectRatioMode aspect =
            mode == KL::FitMode::FitModeKeepAspect ? Qt::KeepAspectRatio : Qt::KeepAspectRatioByExpanding;
        // Scaled as integers on purpose: the fitted picture covers whole
        // pixels, and its margins split what is left.
        const QSizeF fitted(from.scaled(to, aspect));
        scale = QTransform::fromScale(fitted.width() / from.width(), fitted.height() / from.height());
        shift = QTransform::fromTranslate((to.width() - fitted.width()) * 0.5, (to.height() - fitted.height()) * 0.5);
        break;
    }
    case KL::FitMode::FitModeCropCenter:
        shift = QTransform::fromTranslate((to.width() - from.width()) * 0.5, (to.height() - from.height()) * 0.5);
        break;
    case KL::FitMode::FitModeIgnore:
        break;
    }
    return scale * shift;
}

void StrokeDrawing::adoptFrame(const QSize &frame, InkBeyondClaim beyond)
{
    const QSize old = d->m_size;
    if (frame == old)
        return;
    // Ink beyond the old frame was never seen there; a frame that reaches
    // further would bring it out. It stays behind a clip of the old frame,
    // one group down, so that nothing drawn later falls under that clip.
    const QRect shown(QPoint(0, 0), old.expandedTo(QSize(0, 0)));
    const bool reachesFurther = frame.width() > shown.width() || frame.height() > shown.height();
    if (beyond == InkBeyondClaim::Hidden && old.isValid() && reachesFurther && !d->m_root->isEmpty()
        && !shown.contains(d->m_root->boundingRect())) {
        auto seen = std::make_unique<CompoundStroke>();
        seen->addStroke(std::move(d->m_root));
        // A frame without pixels showed nothing at all, and an empty clip
        // would clip nothing.
        if (!shown.isEmpty()) {
            QPainterPath outline;
            outline.addRect(QRectF(shown));
            seen->setClipPath(outline);
        }
        d->m_root = std::make_unique<CompoundStroke>();
        if (!shown.isEmpty() && !seen->isEmpty())
            d->m_root->addStroke(std::move(seen));
    }
    d->m_size = frame;
    d->m_thumbnails.clear();
    renderWhereStrokesReach();
}

void StrokeDrawing::renderWhereStrokesReach()
{
    if (d->m_root->isEmpty() || !hasRoomForImage(d->m_size)) {
        d->keepImage(QImage());
        return;
    }
    QList<std::pair<QPoint, QImage>> parts;
    for (const QRect &piece : reachedPieces(*d->m_root, QRect(QPoint(0, 0), d->m_size))) {
        std::pair<QPoint, QImage> part = renderedPart(*d->m_root, piece);
        if (!part.second.isNull())
            parts.append(std::move(part));
    }
    d->keepCode(RleImage(d->m_size, parts));
}

QRect StrokeDrawing::inkBounds(const QRect &area) const
{
    return d->m_hasImage ? d->m_code.inkBounds(area) : QRect();
}

std::optional<bool> StrokeDrawing::hasInkIn(const QRect &area, qint64 &pixelsLeft) const
{
    constexpr qint64 BandPixels = qint64(1) << 20;
    for (const QRect &piece : reachedPieces(*d->m_root, area)) {
        const int rows = int(std::clamp<qint64>(BandPixels / piece.width(), 1, piece.height()));
        for (int top = piece.top(); top <= piece.bottom(); top += rows) {
            const QRect band(piece.left(), top, piece.width(), std::min(rows, piece.bottom() - top + 1));
            const qint64 pixels = qint64(band.width()) * band.height();
            if (pixels > pixelsLeft)
                return std::nullopt;
            pixelsLeft -= pixels;
            const QImage image = renderedPart(*d->m_root, band).second;
            for (int y = 0; y < image.height(); ++y) {
                const uchar *line = image.constScanLine(y);
                if (std::any_of(line, line + image.width(), [](uchar coverage) { return coverage != 0; }))
                    return true;
            }
        }
    }
    return false;
}

qint64 StrokeDrawing::imageCodeBytes() const
{
    return d->m_hasImage ? qint64(d->m_code.codes().size()) : 0;
}

void StrokeDrawing::swapContent(StrokeDrawing &other)
{
    std::swap(d, other.d);
}

void StrokeDrawing::mergeFrom(const Drawing *other)
{
    const auto *source = dynamic_cast<const StrokeDrawing *>(other);
    // An empty group would paint nothing and yet make this drawing non-empty.
    if (!source || source->isEmpty())
        return;
    auto group = std::make_unique<CompoundStroke>(*source->d->m_root);
    group->bakeTransform();
    addStroke(std::move(group));
}

QSize StrokeDrawing::size() const
{
    return d->m_size;
}

QImage StrokeDrawing::image() const
{
    return d->image();
}

const CompoundStroke &StrokeDrawing::root() const
{
    return *d->m_root;
}

bool StrokeDrawing::addStroke(std::unique_ptr<Stroke> stroke)
{
    if (!stroke)
        return false;

    if (stroke->type() == Stroke::SingleStrokeType) {
        auto &single = static_cast<SingleStroke &>(*stroke);
        const bool pen = single.isPenStroke();
        if (!pen && d->m_root->isEmpty())
            return false;
        single.settle();

        QImage image = d->takeImage();
        // A live stroke brings its mask, gathered while it was drawn; the
        // drawing takes it, so that the stroke keeps only its vector data and
        // no frame-sized mask lives on with it.
        QImage mask = single.takeImage();
        // Nothing lies outside the stroke's rectangle, so only that part is
        // composed. A stroke clipped away has no rectangle, yet its mask may
        // still hold what was drawn before.
        QRect area = single.boundingRect();
        if (area.isNull())
            area = QRect(QPoint(0, 0), d->m_size);
        if (mask.isNull() || mask.size() != d->m_size) {
            // One read from a record or drawn on another frame size is
            // rendered here. It becomes the image only on an empty drawing;
            // otherwise a scratch that reaches just as far as the stroke is
            // enough, rendered in the frame's own pixel grid.
            area &= QRect(QPoint(0, 0), d->m_size);
            if (image.isNull()) {
                mask = blankCoverage(d->m_size);
            } else if (!area.isEmpty()) {
                mask = QImage(area.right() + 1, area.bottom() + 1, QImage::Format_Alpha8);
                if (!mask.isNull())
                    fillAlphaRect(mask, area, 0);
            } else {
                mask = QImage();
            }
            if (!mask.isNull())
                single.render(mask, single.boundingRect(), QTransform(), QPoint(0, 0), 1.0);
        }
        if (!image.isNull())
            composeAlphaMask(image, mask, area, pen);
        else if (pen)
            image = std::move(mask);
        d->keepImage(std::move(image));
    } else {
        QImage image = d->takeImage();
        if (image.isNull())
            image = blankCoverage(d->m_size);
        if (!image.isNull())
            stroke->render(image, stroke->boundingRect(), QTransform(), QPoint(0, 0), 1.0);
        d->keepImage(std::move(image));
    }

    d->m_root->addStroke(std::move(stroke));
    contentChanged();
    return true;
}

bool StrokeDrawing::eraseInside(const QPainterPath &path)
{
    // Baking the transform of an empty root would leave an empty group behind.
    if (d->m_root->isEmpty() || !coversInk(d->image(), d->m_root->boundingRect(), path))
        return false;
    const QRect region = path.boundingRect().toAlignedRect();
    d->m_root->bakeTransform();
    if (!d->m_root->erase(path))
        return false;
    updateImage(region);
    contentChanged();
    return true;
}

std::unique_ptr<Stroke> StrokeDrawing::takeLastStroke(const QImage &before, QPoint at)
{
    // The members lie in the root's coordinates, which a change of frame size
    // may have moved away from the frame's.
    const QTransform placement = d->m_root->transform();
    std::unique_ptr<Stroke> stroke = d->m_root->takeLast();
    if (!stroke)
        return stroke;
    QImage image = d->m_root->isEmpty() ? QImage() : d->takeImage();
    const QRect area(at, before.size());
    const bool restorable = !before.isNull() && before.format() == QImage::Format_Alpha8 && !image.isNull()
        && image.rect().contains(area);
    if (restorable) {
        for (int y = 0; y < area.height(); ++y)
            std::memcpy(image.scanLine(area.top() + y) + area.left(), before.constScanLine(y),
                        size_t(area.width()));
        d->keepImage(std::move(image));
    } else {
        renderImage(std::move(image), Stroke::mappedRect(placement, stroke->boundingRect()));
    }
    contentChanged();
    return stroke;
}

std::unique_ptr<CompoundStroke> StrokeDrawing::copyInside(const QPainterPath &path) const
{
    auto copy = std::make_unique<CompoundStroke>(*d->m_root);
    copy->bakeTransform();
    copy->setClipPath(path);
    return copy;
}

bool StrokeDrawing::collapseVectorData(int scaleFactor, QRect clip,
                                       const CompoundStroke::Progress &progress)
{
    if (!d->m_root->collapse(scaleFactor, clip, progress))
        return false;
    // The bitmap is resampled from the strokes, and a clip drops what lies
    // outside it, so the whole frame is rendered again.
    updateImage(QRect(QPoint(0, 0), d->m_size));
    contentChanged();
    return true;
}

void StrokeDrawing::updateImage(QRect rect)
{
    renderImage(d->m_root->isEmpty() ? QImage() : d->takeImage(), rect);
}

void StrokeDrawing::renderImage(QImage image, QRect rect)
{
    if (d->m_root->isEmpty() || !hasRoomForImage(d->m_size)) {
        d->keepImage(QImage());
        return;
    }
    if (image.isNull() || image.size() != d->m_size) {
        image = QImage(d->m_size, QImage::Format_Alpha8);
        rect = image.rect();
    }
    rect &= image.rect();
    if (!rect.isEmpty()) {
        fillAlphaRect(image, rect, 0);
        d->m_root->render(image, rect, QTransform(), QPoint(0, 0), 1.0);
    }
    d->keepImage(std::move(image));
}

void StrokeDrawing::paint(QPainter *painter, const QList<QRgb> &colorTable, const QRect &rect) const
{
    if (!painter || colorTable.isEmpty())
        return;
    const QImage image = d->image();
    const QRect area = rect & image.rect();
    if (!area.isEmpty())
        painter->drawImage(area.topLeft(), colouredPart(image, colorTable, area));
}

void StrokeDrawing::blendOnto(QImage &target, const QList<QRgb> &colorTable, const QRect &rect,
                              double opacity) const
{
    if (!d->m_hasImage || colorTable.isEmpty() || target.format() != QImage::Format_ARGB32_Premultiplied)
        return;
    const QRect area = rect & QRect(QPoint(0, 0), d->m_size) & target.rect();
    if (area.isEmpty())
        return;
    ink().blendOnto(PremultipliedRows(target), paintedColours(colorTable, opacity), area);
}

StrokeDrawing::Ink StrokeDrawing::ink() const
{
    Ink ink;
    if (!d->m_hasImage)
        return ink;
    ink.m_size = d->m_size;
    // A frame step composes the current frame and its backlight, dozens of
    // drawings: from the code they are composed faster than from decoded
    // images, whose empty stretches must all be looked at, and none has to
    // be decoded and kept for it.
    if (d->m_code.runsInOrder()) {
        ink.m_code = &d->m_code;
        return ink;
    }
    const QImage image = d->image();
    if (image.size() == d->m_size)
        ink.m_image = image;
    return ink;
}

void StrokeDrawing::Ink::blendOnto(const PremultipliedRows &target, const PremultipliedColours &colours,
                                   QRect rect) const
{
    rect &= QRect(QPoint(0, 0), m_size) & target.rect();
    if (rect.isEmpty())
        return;
    if (m_code)
        blendCode(*m_code, target, rect, colours);
    else if (!m_image.isNull())
        blendImage(m_image, target, rect, colours);
}

void StrokeDrawing::paintWithActiveStroke(QPainter *painter, const QList<QRgb> &colorTable,
                                          const QRect &rect, const SingleStroke *stroke) const
{
    if (!painter || !stroke || stroke->image().isNull() || colorTable.isEmpty())
        return;
    const QImage &mask = stroke->image();
    const bool pen = stroke->isPenStroke();
    const QImage image = d->image();
    if (image.isNull()) {
        // An eraser on an empty drawing shows nothing.
        const QRect area = rect & mask.rect();
        if (pen && !area.isEmpty())
            painter->drawImage(area.topLeft(), colouredPart(mask, colorTable, area));
        return;
    }

    const QRect area = rect & image.rect();
    if (area.isEmpty())
        return;
    QImage composed = image.copy(area);
    // Both rectangles start at the origin, so the mask's part begins where
    // the copy does; a smaller mask leaves the rest of the copy as it is.
    const QRect maskArea = area & mask.rect();
    if (!maskArea.isEmpty()) {
        const QImage maskView(mask.constScanLine(maskArea.top()) + maskArea.left(), maskArea.width(),
                              maskArea.height(), mask.bytesPerLine(), QImage::Format_Alpha8);
        composeAlphaMask(composed, maskView, composed.rect(), pen);
    }
    painter->drawImage(area.topLeft(), colouredPart(composed, colorTable, composed.rect()));
}

void StrokeDrawing::contentChanged()
{
    d->m_thumbnails.clear();
    setCopyId(QUuid());
}

QDataStream &operator<<(QDataStream &stream, const StrokeDrawing &drawing)
{
    stream << drawing.d->m_size;
    drawing.d->m_root->write(stream);
    // The code the drawing keeps is the record's: nothing is encoded here.
    if (!drawing.d->m_hasImage)
        stream << NoImageTag;
    else
        stream << ImageTag << drawing.d->m_code;
    return stream;
}

QDataStream &operator>>(QDataStream &stream, StrokeDrawing &drawing)
{
    drawing.readRecord(stream, nullptr, StrokeDrawing::InkBeyondClaim::Hidden);
    return stream;
}

void StrokeDrawing::readFitted(QDataStream &stream, const QSize &frame, InkBeyondClaim beyond)
{
    readRecord(stream, &frame, beyond);
}

void StrokeDrawing::readRecord(QDataStream &stream, const QSize *frame, InkBeyondClaim beyond)
{
    QSize size;
    stream >> size;
    if (stream.status() != QDataStream::Ok)
        return;
    if (isAbsurdFrame(size)) {
        stream.setStatus(QDataStream::ReadCorruptData);
        return;
    }
    const QSize target = frame ? *frame : size;
    // A drawing read for a frame other than its own never has its own frame
    // rendered, nor its cached image kept: both would be of a size that is
    // thrown away at once.
    const bool fitted = target != size;

    d->m_size = size;
    d->m_root = CompoundStroke::read(stream);
    if (!d->m_root)
        d->m_root = std::make_unique<CompoundStroke>();
    d->keepImage(QImage());

    // A record may end after the strokes; the image is then rebuilt below.
    // The code is kept as read, and decoded only when the image is first
    // asked for; it is checked here, so that damage still shows while the
    // record is read.
    if (stream.status() == QDataStream::Ok && !stream.atEnd()) {
        qint32 tag = NoImageTag;
        stream >> tag;
        if (stream.status() == QDataStream::Ok && tag == ImageTag) {
            RleImage coded;
            stream >> coded;
            if (!fitted && stream.status() == QDataStream::Ok && coded.width() == size.width()
                && coded.height() == size.height() && coded.isValid()) {
                d->m_code = std::move(coded);
                d->m_hasImage = true;
            }
        }
    }

    if (fitted) {
        adoptFrame(target, beyond);
    } else if (!d->m_hasImage || d->m_root->isEmpty()) {
        // An image without strokes would break the invariant as much as
        // strokes without an image; this settles both, and a record of a
        // few strokes in a large frame costs what they cover.
        renderWhereStrokesReach();
    }
    d->m_thumbnails.clear();
}

} // namespace Model
