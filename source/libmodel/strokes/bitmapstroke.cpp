#include "bitmapstroke.h"

#include "render/alphacomposition.h"
#include "render/bandedcomposition.h"
#include "strokes/decodebudget.h"
#include "strokes/rleimage.h"

#include <QDataStream>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QRectF>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

namespace Model {

class BitmapStrokePrivate
{
public:
    // The picture as its record carries it; decoded only in the parts a
    // render shows, and only for that render. Invalid for no picture.
    RleImage m_picture;
    QRect m_rect;
};

namespace {

// A render decodes the part of the picture it shows in bands, each at most
// about this large with what the decoding holds beside it, so that a render
// holds little beyond its target whatever the picture claims.
constexpr qint64 BandBytes = qint64(4) * 1024 * 1024;

// Files keep transforms in single precision, which moves a picture's edge by
// up to a few ten-millionths of the distance its place is worked out from;
// this allows for several such round-offs. A pixel centre that lies on an
// edge within it counts as lying exactly on it, and is drawn on every edge,
// as inside: a frame fitted with its aspect puts the picture's edges on pixel
// centres, and one column more or less there is a line of ink.
constexpr double RoundOff = 1.0 / (1 << 18);

// Beyond that a centre's pixel fades out over this many times as far again:
// a turned edge passes every distance from some centre, and a round-off that
// moved such a centre across a sharp limit would turn its pixel on or off
// with a save; within the fade it changes the pixel by a level or two.
constexpr double Fade = 4.0;

// Qt places what it draws on a grid of 1/65536 of a pixel, and which of the
// pixels whose centres fall on an edge there it fills depends on how it
// draws (which edge, whether a clip is set): a centre this near an edge
// counts as on it too.
constexpr double QtGrid = 1.0 / (1 << 15);

// How much of a pixel shows (256 for all of it) whose centre lies beyond a
// picture's edge by beyond, which counts as on the edge within slack.
int coverBeyond(double beyond, double slack)
{
    const double fade = Fade * slack;
    if (beyond <= slack)
        return 256;
    if (!(beyond < slack + fade))
        return 0;
    return int((slack + fade - beyond) / fade * 256.0);
}

// A run of pixels along one axis of the target, from first to last, and how
// much of each shows. Kept in doubles: a picture may reach far beyond any
// target.
struct Run
{
    double first = 0.0;
    double last = -1.0;
    int cover = 256;
};

// The pixels along one axis whose centres lie on a side of a picture, or
// beyond one of its edges by no more than the fade, and which of the first
// and the last lie on an edge or within its fade, and how much of them shows;
// low and high are where the edges lie.
struct Centres
{
    double low = 0.0;
    double high = 0.0;
    Run all;
    bool firstOnEdge = false;
    bool lastOnEdge = false;
    int firstCover = 256;
    int lastCover = 256;

    // The line on the low edge (side -1) when a centre lies there, the line
    // on the high edge (side 1) likewise, or the run between them (side 0).
    Run run(int side) const
    {
        if (side < 0)
            return {all.first, firstOnEdge ? all.first : all.first - 1.0, firstCover};
        if (side > 0)
            return {lastOnEdge ? all.last : all.last + 1.0, all.last, lastCover};
        return {all.first + double(firstOnEdge), all.last - double(lastOnEdge)};
    }
};

// The centres on a side placed by scale and shift, from from to to in
// drawing pixels. The round-off is that of the place on the paper, whose
// origin lies at paper on the target, so that a render of a piece of the
// paper draws the edges a render of the whole draws.
Centres centresAlong(double scale, double shift, double from, double to, double paper)
{
    double low = scale * from + shift;
    double high = scale * to + shift;
    double lowSlack = RoundOff * (std::abs(scale * from) + std::abs(shift + paper)) + QtGrid;
    double highSlack = RoundOff * (std::abs(scale * to) + std::abs(shift + paper)) + QtGrid;
    if (high < low) {
        std::swap(low, high);
        std::swap(lowSlack, highSlack);
    }
    Centres centres;
    centres.low = low;
    centres.high = high;
    const double first = std::ceil(low - lowSlack * (1.0 + Fade) - 0.5);
    const double last = std::floor(high + highSlack * (1.0 + Fade) - 0.5);
    centres.all = {first, last};
    centres.firstOnEdge = first + 0.5 <= low + lowSlack;
    centres.lastOnEdge = last > first && last + 0.5 >= high - highSlack;
    centres.firstCover = coverBeyond(low - (first + 0.5), lowSlack);
    centres.lastCover = coverBeyond(last + 0.5 - high, highSlack);
    return centres;
}

// The pixels of columns and rows within clip.
QRect pixelsWithin(const Run &columns, const Run &rows, const QRect &clip)
{
    const double left = std::max(columns.first, double(clip.left()));
    const double right = std::min(columns.last, double(clip.right()));
    const double top = std::max(rows.first, double(clip.top()));
    const double bottom = std::min(rows.last, double(clip.bottom()));
    if (!(left <= right && top <= bottom))
        return {};
    return QRect(QPoint(int(left), int(top)), QPoint(int(right), int(bottom)));
}

// How many picture pixels of a side make one pixel of the part decoded for
// a render that crosses span picture pixels of that side at most with each
// step of one target pixel: none while that is no more than the finest grain
// a collapse makes, so that such pictures are drawn from their own pixels,
// as they always were; beyond it, enough to decode at that grain, which the
// smooth scaling then averages. The grain is chosen with room to spare for
// the round-off of single precision, in which files keep transforms: a
// drawing shrunk to exactly 24 picture pixels a pixel shows the same grain
// whether its transform was just made or read back.
int grainFor(double span)
{
    constexpr double finest = BitmapStroke::maximumResolutionFactor * (1.0 + 1e-4);
    if (!(span > finest))
        return 1;
    return int(std::min(std::ceil(span / finest), double(RleImage::maximumReduction)));
}

// The grain of each side for a render that maps target pixels back to
// picture pixels through back: a turned picture is reduced along its own
// rows and columns, each as far as a target pixel reaches along it.
QSize grainsFor(const QTransform &back)
{
    return QSize(grainFor(std::hypot(back.m11(), back.m21())), grainFor(std::hypot(back.m12(), back.m22())));
}

// The picture pixels of area (in picture pixels), grown by margin blocks on
// each side, in whole blocks of grain counted from the picture's corner,
// within picture.
QRect blocksAround(const QRectF &area, QSize grain, const QRect &picture, int margin = 2)
{
    const int kx = grain.width();
    const int ky = grain.height();
    const auto down = [](double value, int k) { return std::floor(value / k) * k; };
    const auto up = [](double value, int k) { return std::ceil(value / k) * k; };
    const double left = std::max(down(area.left() - margin * kx, kx), double(picture.left()));
    const double top = std::max(down(area.top() - margin * ky, ky), double(picture.top()));
    const double right = std::min(up(area.right() + margin * kx, kx), double(picture.right()) + 1.0);
    const double bottom = std::min(up(area.bottom() + margin * ky, ky), double(picture.bottom()) + 1.0);
    if (!(left < right && top < bottom))
        return {};
    return QRect(QPoint(int(left), int(top)), QPoint(int(right) - 1, int(bottom) - 1));
}

// Draws a picture turned or sheared into scratch within reach: each target
// pixel whose centre falls on the picture's blocks, on an edge too, takes
// the bilinear mean of the four decoded pixels nearest to where its centre
// falls, the edge pixels standing for what lies beyond them, as smooth
// scaling does. Each pixel is worked out on its own from where it
// lies, so a render of a part gives the pixels a render of the whole gives
// whatever the part; and the picture is decoded only around the ink that
// reach can see, in bands of its rows, as an upright one is. footprint is
// the box the picture's blocks cover on the target, and paper where the
// target's origin lies on the paper.
void drawTurned(QImage &scratch, const QRect &reach, const RleImage &picture, const QTransform &back, QSize grain,
                const QRectF &footprint, QPointF paper)
{
    const QRect whole(0, 0, picture.width(), picture.height());
    const int kx = grain.width();
    const int ky = grain.height();
    // The decoded picture of the whole, in its pixels: the blocks along the
    // right and bottom edges may reach beyond it.
    const int columns = int((qint64(whole.width()) + kx - 1) / kx);
    const int rows = int((qint64(whole.height()) + ky - 1) / ky);
    // Two blocks each side hold the four pixels any target pixel of reach
    // takes its mean from.
    const QRect window = blocksAround(back.mapRect(QRectF(reach)), grain, whole);
    const QRect ink = picture.inkBounds(window);
    if (ink.isEmpty())
        return;
    const QRect inked = blocksAround(QRectF(ink), grain, whole, 0);
    const int firstColumn = inked.left() / kx;
    const int lastColumn = inked.right() / kx;
    const int firstInkRow = inked.top() / ky;
    const int lastInkRow = inked.bottom() / ky;
    // A target pixel belongs to the band that holds the upper of the two
    // rows it takes its mean from; each band decodes its rows and the one
    // below. Pixels above the ink may reach down into its first row.
    const bool reduced = kx > 1 || ky > 1;
    const qint64 bytesPerRow = qint64(lastColumn - firstColumn + 1) * (reduced ? 1 + qint64(sizeof(quint64)) : 1);
    const int bandRows = int(std::clamp<qint64>(BandBytes / bytesPerRow, 1, lastInkRow - firstInkRow + 2));
    const double m11 = back.m11();
    const double m12 = back.m12();
    const double m21 = back.m21();
    const double m22 = back.m22();
    const double dx = back.dx();
    const double dy = back.dy();
    // A centre counts as on the picture within the round-off of the largest
    // terms its place there is worked out from, and fades beyond: one bound
    // for every pixel, so that a part is drawn as the whole is, and pixels
    // well inside cost no more than a bare test. The terms are those of the
    // paper, so that a piece of it rendered on its own is drawn alike.
    const double farX = std::max(std::abs(footprint.left() + paper.x()), std::abs(footprint.right() + paper.x())) + 1.0;
    const double farY = std::max(std::abs(footprint.top() + paper.y()), std::abs(footprint.bottom() + paper.y())) + 1.0;
    const double paperX = dx - m11 * paper.x() - m21 * paper.y();
    const double paperY = dy - m12 * paper.x() - m22 * paper.y();
    const double slackX = RoundOff * (std::abs(m11) * farX + std::abs(m21) * farY + std::abs(paperX));
    const double slackY = RoundOff * (std::abs(m12) * farX + std::abs(m22) * farY + std::abs(paperY));
    const double width = double(columns) * kx;
    const double height = double(rows) * ky;
    const double lowX = -slackX;
    const double lowY = -slackY;
    const double highX = width + slackX;
    const double highY = height + slackY;
    const double fadeX = slackX * (1.0 + Fade);
    const double fadeY = slackY * (1.0 + Fade);
    const double perColumn = 1.0 / kx;
    const double perRow = 1.0 / ky;
    const QTransform toDecoded = back * QTransform::fromScale(perColumn, perRow);
    uchar *const canvas = scratch.bits();
    const qsizetype canvasStride = scratch.bytesPerLine();
    bool invertible = false;
    const QTransform fromDecoded = toDecoded.inverted(&invertible);
    if (!invertible)
        return;
    for (int bandTop = std::max(firstInkRow - 1, 0); bandTop <= lastInkRow; bandTop += bandRows) {
        const int bandEnd = std::min(bandTop + bandRows, lastInkRow + 1);
        const QRect band(QPoint(inked.left(), std::max(bandTop, firstInkRow) * ky),
                         QPoint(inked.right(), std::min<qint64>(qint64(bandEnd + 1) * ky, inked.bottom() + 1) - 1));
        const QRect bandInk = picture.inkBounds(band);
        if (bandInk.isEmpty())
            continue;
        const QRect part = blocksAround(QRectF(bandInk), grain, whole, 0);
        const QImage pixels = picture.toImage(part, grain);
        if (pixels.isNull())
            continue;
        const int left = part.left() / kx;
        const int top = part.top() / ky;
        const int right = left + pixels.width() - 1;
        const int bottom = top + pixels.height() - 1;
        const uchar *const bits = pixels.constBits();
        const qsizetype stride = pixels.bytesPerLine();
        const auto decodedWidth = unsigned(pixels.width());
        const auto decodedHeight = unsigned(pixels.height());
        const auto decoded = [&](int column, int row) -> int {
            const auto x = unsigned(column - left);
            const auto y = unsigned(row - top);
            return x < decodedWidth && y < decodedHeight ? bits[y * stride + x] : 0;
        };
        // The mean for a centre at (atX, atY) in the picture, or -1 when the
        // upper of its rows belongs to another band.
        const auto meanAt = [&](double atX, double atY) -> int {
            const double u = atX * perColumn - 0.5;
            const double v = atY * perRow - 0.5;
            // Truncation floors both where they are above -1; a centre
            // beyond an edge by more than half a decoded pixel (the slack of
            // a picture far from the origin) clamps both of its columns or
            // rows onto the same edge pixel, which the weights then cannot
            // change.
            const int column = int(u + 1.0) - 1;
            const int row = int(v + 1.0) - 1;
            const int upper = std::clamp(row, 0, rows - 1);
            if (upper < bandTop || upper >= bandEnd)
                return -1;
            const int wx = int((u - column) * 256.0);
            const int wy = int((v - row) * 256.0);
            int above = 0;
            int below = 0;
            // Inside the decoded part no pixel is clamped: the four are
            // read side by side.
            const auto x = unsigned(column - left);
            const auto y = unsigned(row - top);
            if (x < decodedWidth - 1 && y < decodedHeight - 1) {
                const uchar *const at = bits + y * stride + x;
                above = at[0] * (256 - wx) + at[1] * wx;
                below = at[stride] * (256 - wx) + at[stride + 1] * wx;
            } else {
                const int lower = std::clamp(row + 1, 0, rows - 1);
                const int leftColumn = std::clamp(column, 0, columns - 1);
                const int rightColumn = std::clamp(column + 1, 0, columns - 1);
                above = decoded(leftColumn, upper) * (256 - wx) + decoded(rightColumn, upper) * wx;
                below = decoded(leftColumn, lower) * (256 - wx) + decoded(rightColumn, lower) * wx;
            }
            return (above * (256 - wy) + below * wy + 32768) >> 16;
        };
        // The target pixels whose means may take a decoded pixel: where
        // their centres fall within a pixel and a half of the part.
        const QRectF near(QPointF(left - 1.0, top - 1.0), QPointF(right + 2.0, bottom + 2.0));
        const QRect rowsSeen = fromDecoded.mapRect(near).toAlignedRect() & reach;
        if (rowsSeen.isEmpty())
            continue;
        // Rows of the canvas are worked out on several threads: each writes
        // its own rows and reads only the decoded part.
        BandedComposition rowsOfCanvas;
        rowsOfCanvas.addBandPass([&](int first, int end) {
            for (int y = rowsSeen.top() + first; y < rowsSeen.top() + end; ++y) {
                // Along a target row the decoded position moves in a line:
                // the columns whose centres fall within near, a pixel either
                // side.
                double from = rowsSeen.left();
                double to = rowsSeen.right();
                const QPointF start = toDecoded.map(QPointF(0.5, y + 0.5));
                for (const auto &[origin, step, low, high] :
                     {std::tuple(start.x(), toDecoded.m11(), near.left(), near.right()),
                      std::tuple(start.y(), toDecoded.m12(), near.top(), near.bottom())}) {
                    if (step == 0.0) {
                        if (origin < low || origin > high)
                            to = from - 1;
                        continue;
                    }
                    const double a = (low - origin) / step;
                    const double b = (high - origin) / step;
                    from = std::max(from, std::floor(std::min(a, b)) - 1.0);
                    to = std::min(to, std::ceil(std::max(a, b)) + 1.0);
                }
                // Where each pixel's centre falls in the picture, worked out
                // the same way whichever pixels a render covers.
                const double rowX = m21 * (y + 0.5) + dx;
                const double rowY = m22 * (y + 0.5) + dy;
                uchar *const line = canvas + y * canvasStride;
                for (int x = int(from); x <= int(to); ++x) {
                    const double atX = m11 * (x + 0.5) + rowX;
                    const double atY = m12 * (x + 0.5) + rowY;
                    if (atX >= lowX && atX <= highX && atY >= lowY && atY <= highY) {
                        if (const int mean = meanAt(atX, atY); mean >= 0)
                            line[x] = uchar(mean);
                        continue;
                    }
                    if (!(atX >= -fadeX && atX <= width + fadeX && atY >= -fadeY && atY <= height + fadeY))
                        continue;
                    const int cover = std::min(coverBeyond(std::max(-atX, atX - width), slackX),
                                               coverBeyond(std::max(-atY, atY - height), slackY));
                    if (const int mean = meanAt(atX, atY); mean >= 0)
                        line[x] = uchar((mean * cover + 128) >> 8);
                }
            }
        });
        rowsOfCanvas.run(rowsSeen.height());
    }
}

} // namespace

BitmapStroke::BitmapStroke()
    : d(std::make_unique<BitmapStrokePrivate>())
{
}

BitmapStroke::BitmapStroke(const QImage &image, const QRect &rect)
    : d(std::make_unique<BitmapStrokePrivate>())
{
    if (!image.isNull())
        d->m_picture = RleImage(image);
    d->m_rect = rect;
}

BitmapStroke::BitmapStroke(const BitmapStroke &other)
    : Stroke(other)
    , d(std::make_unique<BitmapStrokePrivate>(*other.d))
{
}

BitmapStroke::~BitmapStroke() = default;

QImage BitmapStroke::image() const
{
    return d->m_picture.toImage();
}

QRect BitmapStroke::rect() const
{
    return d->m_rect;
}

int BitmapStroke::type() const
{
    return BitmapStrokeType;
}

std::unique_ptr<Stroke> BitmapStroke::clone() const
{
    return std::unique_ptr<Stroke>(new BitmapStroke(*this));
}

QRect BitmapStroke::render(QImage &target, QRect clip, const QTransform &transform, QPoint paperOffset,
                           double) const
{
    const RleImage &picture = d->m_picture;
    if (!picture.isValid() || d->m_rect.isEmpty() || target.isNull())
        return {};

    // Picture pixels to target pixels, and back.
    const QRectF rect = toRectF(d->m_rect);
    const QRect whole(0, 0, picture.width(), picture.height());
    const QTransform shown = QTransform::fromScale(rect.width() / whole.width(), rect.height() / whole.height())
        * QTransform::fromTranslate(rect.left(), rect.top()) * transform;
    bool invertible = false;
    const QTransform back = shown.inverted(&invertible);
    const QSize grain = grainsFor(back);
    const int kx = grain.width();
    const int ky = grain.height();
    // Where a picture pixel's edge lies in the drawing, the same way for
    // the picture and for each part of it.
    const auto acrossAt = [&](qint64 x) { return rect.left() + double(x) * rect.width() / whole.width(); };
    const auto downAt = [&](qint64 y) { return rect.top() + double(y) * rect.height() / whole.height(); };
    // Decoded in blocks, a picture's last column and row of blocks may reach
    // past its edge, each block the mean of the edge ink and the nothing
    // beyond it: the picture is drawn to the blocks' edge, upright or turned,
    // since stopping at its own would lose a line of that ink.
    const qint64 extentWidth = (qint64(whole.width()) + kx - 1) / kx * kx;
    const qint64 extentHeight = (qint64(whole.height()) + ky - 1) / ky * ky;
    // The target pixels whose centres lie on the picture, or, turned, on the
    // box around it.
    const bool upright = shown.type() <= QTransform::TxScale;
    const QRectF footprint = shown.mapRect(QRectF(0.0, 0.0, double(extentWidth), double(extentHeight)));
    const Centres columnsOn =
        centresAlong(transform.m11(), transform.dx(), rect.left(), acrossAt(extentWidth), paperOffset.x());
    const Centres rowsOn =
        centresAlong(transform.m22(), transform.dy(), rect.top(), downAt(extentHeight), paperOffset.y());
    const QRect area = upright ? pixelsWithin(columnsOn.all, rowsOn.all, clip) : alignedRect(footprint) & clip;
    if (area.isEmpty())
        return {};
    if (!invertible)
        return area;
    // Only the target pixels that can see ink are drawn: elsewhere the
    // picture is 0, and so is what scaling makes of it.
    const QRect ink = picture.inkBounds(blocksAround(back.mapRect(QRectF(area)), grain, whole));
    if (ink.isEmpty())
        return area;
    const QRect inked = blocksAround(QRectF(ink), grain, whole);
    // The last blocks whole: what reaches past the picture is drawn too.
    const QRectF inkedBlocks(inked.topLeft(), QSizeF(std::ceil(double(inked.width()) / kx) * kx,
                                                     std::ceil(double(inked.height()) / ky) * ky));
    const QRect reach = alignedRect(shown.mapRect(inkedBlocks)) & area;
    if (reach.isEmpty())
        return area;

    // The picture is scaled on its own canvas first, so that it is combined
    // with what the target holds through the draw table like every stroke.
    // The canvas shares the target's pixel grid, so that the scaling sees
    // the very coordinates it would see drawing into the target.
    QImage scratch(reach.right() + 1, reach.bottom() + 1, QImage::Format_Alpha8);
    if (scratch.isNull())
        return {};
    fillAlphaRect(scratch, reach, 0);
    // Which pixels along a slanted edge Qt fills depends on where the edge
    // ends, so a picture turned or sheared is drawn pixel by pixel.
    if (!upright) {
        drawTurned(scratch, reach, picture, back, grain, footprint, QPointF(paperOffset));
        composeAlphaMask(target, scratch, reach, true);
        return area;
    }
    QPainter painter(&scratch);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const qint64 decoded = (inked.width() / kx + 1) * qint64(inked.height() / ky + 1);
    const int bands = int(std::clamp<qint64>(decoded / BandBytes + 1, 1, reach.height()));
    for (int band = 0; band < bands; ++band) {
        const int top = reach.top() + int(qint64(reach.height()) * band / bands);
        const int bottom = reach.top() + int(qint64(reach.height()) * (band + 1) / bands);
        const QRect rows(reach.left(), top, reach.width(), bottom - top);
        QRect part = inked;
        if (bands > 1) {
            part &= blocksAround(back.mapRect(QRectF(rows)), grain, whole);
            const QRect bandInk = picture.inkBounds(part);
            if (bandInk.isEmpty())
                continue;
            part &= blocksAround(QRectF(bandInk), grain, whole);
        }
        const QImage pixels = picture.toImage(part, grain);
        if (pixels.isNull())
            continue;
        // Placed as the whole picture would be: its edges are taken as the
        // rectangle's multiples, which keeps a whole picture exactly on it.
        const double left = acrossAt(part.left());
        const double right = acrossAt(part.left() + qint64(pixels.width()) * kx);
        const double above = downAt(part.top());
        const double below = downAt(part.top() + qint64(pixels.height()) * ky);
        const QRectF placed(QPointF(left, above), QPointF(right, below));
        // Inside, the painter draws as it draws any picture. On a line whose
        // centres lie on an edge it fills them or not by rules of its own, so
        // where the part ends there the part is moved out by a quarter of its
        // pixel: smooth scaling repeats an edge pixel from its middle
        // outward, so the line takes the pixels it would take on the edge,
        // now well inside.
        const Centres across = centresAlong(transform.m11(), transform.dx(), left, right, paperOffset.x());
        const Centres down = centresAlong(transform.m22(), transform.dy(), above, below, paperOffset.y());
        const double quarterX = 0.25 * std::abs(transform.m11() * (right - left)) / pixels.width();
        const double quarterY = 0.25 * std::abs(transform.m22() * (below - above)) / pixels.height();
        const auto outward = [](int side, const Centres &ofPart, const Centres &ofPicture, double quarter) {
            if (side < 0 && ofPart.low == ofPicture.low)
                return -quarter;
            return side > 0 && ofPart.high == ofPicture.high ? quarter : 0.0;
        };
        for (int sideX = -1; sideX <= 1; ++sideX) {
            for (int sideY = -1; sideY <= 1; ++sideY) {
                const Run columns = columnsOn.run(sideX);
                const Run lines = rowsOn.run(sideY);
                const QRect cell = pixelsWithin(columns, lines, rows);
                if (cell.isEmpty())
                    continue;
                painter.resetTransform();
                painter.setClipRect(cell);
                painter.setOpacity(std::min(columns.cover, lines.cover) / 256.0);
                QTransform placing = transform
                    * QTransform::fromTranslate(outward(sideX, across, columnsOn, quarterX),
                                                outward(sideY, down, rowsOn, quarterY));
                // A picture moved but not scaled Qt draws on whole pixels of
                // the target, rounding a half away from zero. The whole
                // picture's corner is rounded so on the paper's pixels, where
                // Qt put it drawing the whole frame, and every part moves by
                // that one shift: a part's own corner, a whole number of
                // pixels further on, may lie on the other side of zero and
                // round its half the other way, a pixel off the rest.
                if (placing.type() <= QTransform::TxTranslate && placed.width() == pixels.width()
                    && placed.height() == pixels.height()) {
                    const QPointF at = placing.map(rect.topLeft()) + QPointF(paperOffset);
                    placing *= QTransform::fromTranslate(std::round(at.x()) - at.x(), std::round(at.y()) - at.y());
                }
                painter.setTransform(placing);
                painter.drawImage(placed, pixels);
            }
        }
    }
    painter.end();
    composeAlphaMask(target, scratch, reach, true);
    return area;
}

QRect BitmapStroke::boundingRect() const
{
    return d->m_rect;
}

QRect BitmapStroke::inkRect() const
{
    const RleImage &picture = d->m_picture;
    const QRect ink = picture.inkBounds(QRect(0, 0, picture.width(), picture.height()));
    if (ink.isNull() || d->m_rect.isEmpty())
        return {};
    // Smooth scaling spreads each picture pixel into its neighbours.
    const QRectF spread(ink.adjusted(-1, -1, 1, 1));
    const double sx = double(d->m_rect.width()) / picture.width();
    const double sy = double(d->m_rect.height()) / picture.height();
    return alignedRect(QRectF(d->m_rect.x() + spread.x() * sx, d->m_rect.y() + spread.y() * sy,
                              spread.width() * sx, spread.height() * sy))
        & d->m_rect;
}

bool BitmapStroke::isEmpty() const
{
    return d->m_rect.isEmpty();
}

bool BitmapStroke::eraseInside(const QPainterPath &)
{
    return true;
}

void BitmapStroke::clipTo(const QPainterPath &path)
{
    const QRectF area = toRectF(d->m_rect);
    if (path.contains(area))
        return;
    const QRect cropped = alignedRect(path.boundingRect()) & d->m_rect;
    if (!path.intersects(area) || cropped.isEmpty()) {
        d->m_rect = QRect();
        d->m_picture = RleImage();
        return;
    }
    if (cropped == d->m_rect)
        return;
    RleImage &picture = d->m_picture;
    if (!picture.isValid()) {
        d->m_rect = cropped;
        return;
    }

    // Cropping keeps the resolution factor: the new picture is the part of
    // the old one under the new rectangle, cut from its code. A picture
    // coarser than its rectangle (never made here, but a record may hold
    // one) is cut at the grain it has. Sizes are taken in 64 bits: the
    // rectangle may span most of the coordinate range.
    const qint64 rectWidth = qint64(d->m_rect.right()) - d->m_rect.left() + 1;
    const qint64 factor = std::min<qint64>(picture.width() / rectWidth, maximumResolutionFactor);
    QRect part;
    if (factor >= 1) {
        part = QRect(int((qint64(cropped.left()) - d->m_rect.left()) * factor),
                     int((qint64(cropped.top()) - d->m_rect.top()) * factor),
                     int((qint64(cropped.right()) - cropped.left() + 1) * factor),
                     int((qint64(cropped.bottom()) - cropped.top() + 1) * factor));
    } else {
        part = QTransform::fromScale(picture.width() / area.width(), picture.height() / area.height())
                   .mapRect(toRectF(cropped).translated(-area.topLeft()))
                   .toAlignedRect()
            & QRect(0, 0, picture.width(), picture.height());
    }
    picture = picture.cropped(part);
    d->m_rect = cropped;
}

void BitmapStroke::write(QDataStream &stream) const
{
    stream << d->m_rect;
    // The code is the record's: nothing is encoded here.
    if (!d->m_picture.isValid())
        stream << NoImageTag;
    else
        stream << ImageTag << d->m_picture;
}

std::unique_ptr<BitmapStroke> BitmapStroke::read(QDataStream &stream)
{
    auto stroke = std::make_unique<BitmapStroke>();
    QRect rect;
    stream >> rect;
    if (stream.status() != QDataStream::Ok)
        return stroke;
    if (!isWithinLimits(rect)) {
        stream.setStatus(QDataStream::ReadCorruptData);
        return stroke;
    }
    stroke->d->m_rect = rect;

    // Records written without an image may stop here.
    if (stream.atEnd())
        return stroke;
    qint32 tag = NoImageTag;
    stream >> tag;
    if (stream.status() != QDataStream::Ok || tag == NoImageTag)
        return stroke;
    // A tag of no kind known: whatever it announced is lost, and what
    // follows is read as what it claims to be.
    if (tag != ImageTag) {
        DecodeBudget::noteLoss();
        return stroke;
    }
    RleImage encoded;
    stream >> encoded;
    if (stream.status() != QDataStream::Ok)
        return stroke;
    // An image far finer than its rectangle is refused before it is decoded.
    const qint64 rectWidth = qint64(rect.right()) - rect.left() + 1;
    const qint64 rectHeight = qint64(rect.bottom()) - rect.top() + 1;
    if (!encoded.isValid() || encoded.width() > rectWidth * maximumResolutionFactor
        || encoded.height() > rectHeight * maximumResolutionFactor) {
        DecodeBudget::noteLoss();
        return stroke;
    }
    // Kept as it came: whatever it claims costs the bytes it carries until a
    // render shows a part of it.
    stroke->d->m_picture = std::move(encoded);
    return stroke;
}

} // namespace Model
