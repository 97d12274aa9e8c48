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
// edge within it counts as lying exactly on it, so that a drawing shows the
// same pixels along its edges whether its transform was just made or read
// back: a frame fitted with its aspect puts the picture's edges on pixel
// centres, and one column more or less there is a line of ink.
constexpr double RoundOff = 1.0 / (1 << 18);

// at moved onto the nearest pixel centre when it lies on one within the
// round-off of terms, the sum of the magnitudes it was worked out from.
double ontoCentre(double at, double terms)
{
    const double centre = std::floor(at) + 0.5;
    return std::abs(at - centre) <= RoundOff * terms ? centre : at;
}

// Which of a picture's two edges across one of its axes holds the pixel
// centres that lie on it, given how the picture's coordinate along that axis
// grows along the target's x and y: the one the picture lies left of, or
// above when the edge runs along the target's rows. An upright picture is
// drawn so (Qt fills a rectangle's pixels whose centres lie on its right or
// bottom edge, not its left or top), a turned one the same way, and pictures
// that meet at an edge share no pixel and leave none out.
bool farEdgeHoldsCentres(double alongX, double alongY)
{
    if (std::abs(alongX) > RoundOff * std::hypot(alongX, alongY))
        return alongX > 0.0;
    return alongY > 0.0;
}

// Whether a pixel centre at at (within round-off slack) lies on a picture
// side of size, the centres on one of its edges counting as on it.
bool onSide(double at, double size, double slack, bool farEdge)
{
    return farEdge ? at > slack && at <= size + slack : at >= -slack && at < size - slack;
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
// pixel whose centre falls on the picture (on an edge, as farEdgeHoldsCentres
// says) takes the bilinear mean of the four decoded pixels nearest to where
// its centre falls, the picture's edge pixels standing for what lies beyond
// them, as smooth scaling does. Each pixel is worked out on its own from
// where it lies, so a render of a part gives the pixels a render of the
// whole gives whatever the part; and the picture is decoded only around the
// ink that reach can see, in bands of its rows, as an upright one is.
void drawTurned(QImage &scratch, const QRect &reach, const RleImage &picture, const QTransform &back, QSize grain)
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
    const double pictureWidth = whole.width();
    const double pictureHeight = whole.height();
    const bool farColumn = farEdgeHoldsCentres(m11, m21);
    const bool farRow = farEdgeHoldsCentres(m12, m22);
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
        // The target pixels whose means may take a decoded pixel: where
        // their centres fall within a pixel and a half of the part.
        const QRectF near(QPointF(left - 1.0, top - 1.0), QPointF(right + 2.0, bottom + 2.0));
        const QRect rowsSeen = fromDecoded.mapRect(near).toAlignedRect() & reach;
        if (rowsSeen.isEmpty())
            continue;
        // Rows of the canvas are worked out on several threads: each writes
        // its own rows and reads only the decoded part.
        BandedComposition rowsOfCanvas;
        rowsOfCanvas.addBandPass([&, bandTop, bandEnd](int first, int end) {
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
                const double rowTermsX = std::abs(m21 * (y + 0.5)) + std::abs(dx);
                const double rowTermsY = std::abs(m22 * (y + 0.5)) + std::abs(dy);
                uchar *const line = canvas + y * canvasStride;
                for (int x = int(from); x <= int(to); ++x) {
                    const double atX = m11 * (x + 0.5) + rowX;
                    const double atY = m12 * (x + 0.5) + rowY;
                    const double slackX = RoundOff * (std::abs(m11 * (x + 0.5)) + rowTermsX);
                    const double slackY = RoundOff * (std::abs(m12 * (x + 0.5)) + rowTermsY);
                    if (!onSide(atX, pictureWidth, slackX, farColumn) || !onSide(atY, pictureHeight, slackY, farRow))
                        continue;
                    const double u = atX * perColumn - 0.5;
                    const double v = atY * perRow - 0.5;
                    // Both are above -1: truncation floors them.
                    const int column = int(u + 1.0) - 1;
                    const int row = int(v + 1.0) - 1;
                    const int upper = std::clamp(row, 0, rows - 1);
                    if (upper < bandTop || upper >= bandEnd)
                        continue;
                    const int lower = std::clamp(row + 1, 0, rows - 1);
                    const int leftColumn = std::clamp(column, 0, columns - 1);
                    const int rightColumn = std::clamp(column + 1, 0, columns - 1);
                    const int wx = int((u - column) * 256.0);
                    const int wy = int((v - row) * 256.0);
                    const int above = decoded(leftColumn, upper) * (256 - wx) + decoded(rightColumn, upper) * wx;
                    const int below = decoded(leftColumn, lower) * (256 - wx) + decoded(rightColumn, lower) * wx;
                    line[x] = uchar((above * (256 - wy) + below * wy + 32768) >> 16);
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

QRect BitmapStroke::render(QImage &target, QRect clip, const QTransform &transform, QPoint,
                           double) const
{
    const RleImage &picture = d->m_picture;
    if (!picture.isValid() || d->m_rect.isEmpty() || target.isNull())
        return {};
    const QRect area = transform.mapToPolygon(d->m_rect).boundingRect() & clip;
    if (area.isEmpty())
        return {};

    // Picture pixels to target pixels, and back.
    const QRectF rect = toRectF(d->m_rect);
    const QRect whole(0, 0, picture.width(), picture.height());
    const QTransform shown = QTransform::fromScale(rect.width() / whole.width(), rect.height() / whole.height())
        * QTransform::fromTranslate(rect.left(), rect.top()) * transform;
    bool invertible = false;
    const QTransform back = shown.inverted(&invertible);
    if (!invertible)
        return area;
    // Only the target pixels that can see ink are drawn: elsewhere the
    // picture is 0, and so is what scaling makes of it.
    const QSize grain = grainsFor(back);
    const int kx = grain.width();
    const int ky = grain.height();
    const QRect ink = picture.inkBounds(blocksAround(back.mapRect(QRectF(area)), grain, whole));
    if (ink.isEmpty())
        return area;
    const QRect inked = blocksAround(QRectF(ink), grain, whole);
    const QRect reach = alignedRect(shown.mapRect(QRectF(inked))) & area;
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
    if (shown.type() > QTransform::TxScale) {
        drawTurned(scratch, reach, picture, back, grain);
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
        const double left = rect.left() + double(part.left()) * rect.width() / whole.width();
        const double right =
            rect.left() + double(part.left() + qint64(pixels.width()) * kx) * rect.width() / whole.width();
        const double above = rect.top() + double(part.top()) * rect.height() / whole.height();
        const double below =
            rect.top() + double(part.top() + qint64(pixels.height()) * ky) * rect.height() / whole.height();
        // Placed on the target here rather than through the painter, so that
        // an edge on a pixel centre lies exactly there; a mirrored picture is
        // drawn through a mirror, which moves no edge.
        const auto onTarget = [](double scale, double at, double shift) {
            return ontoCentre(scale * at + shift, std::abs(scale * at) + std::abs(shift));
        };
        const double mirrorX = transform.m11() < 0.0 ? -1.0 : 1.0;
        const double mirrorY = transform.m22() < 0.0 ? -1.0 : 1.0;
        const QPointF from(mirrorX * onTarget(transform.m11(), left, transform.dx()),
                           mirrorY * onTarget(transform.m22(), above, transform.dy()));
        const QPointF to(mirrorX * onTarget(transform.m11(), right, transform.dx()),
                         mirrorY * onTarget(transform.m22(), below, transform.dy()));
        painter.resetTransform();
        painter.setClipRect(rows);
        painter.setTransform(QTransform::fromScale(mirrorX, mirrorY));
        painter.drawImage(QRectF(from, to), pixels);
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
