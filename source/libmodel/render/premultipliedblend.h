#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QRgb>

#include <array>

// Source-over blending of Format_ARGB32_Premultiplied pixels, rounded as Qt's
// raster engine rounds it, to the bit: pictures built here match pictures
// painted through a QPainter, without the painter's generic paths and its
// hand-offs to worker threads.
namespace Model {

// Every channel of pixel times factor / 255. The four channels are spread
// over 16-bit lanes so that one multiplication scales them all.
inline QRgb multiplyPremultiplied(QRgb pixel, uint factor)
{
    constexpr quint64 Lanes = 0x00ff00ff00ff00ffULL;
    quint64 t = ((quint64(pixel) | (quint64(pixel) << 24)) & Lanes) * factor;
    t = ((t + ((t >> 8) & Lanes) + 0x0080008000800080ULL) >> 8) & Lanes;
    return QRgb(t) | QRgb(t >> 24);
}

// source over below.
inline QRgb sourceOver(QRgb source, QRgb below)
{
    const uint alpha = qAlpha(source);
    if (alpha == 255 || below == 0)
        return source;
    if (source == 0)
        return below;
    return source + multiplyPremultiplied(below, 255 - alpha);
}

// The 256 colours of a coverage colour table as a QPainter at opacity blends
// them: premultiplied, and scaled by the opacity as the painter keeps it (in
// 256ths, cut down rather than rounded, applied in 255ths unless whole).
using PremultipliedColours = std::array<QRgb, 256>;
PremultipliedColours paintedColours(const QList<QRgb> &table, double opacity);

// The pixels of a Format_ARGB32_Premultiplied picture, written in place.
// QImage detaches and counts on every writable access; this view takes the
// rows once, on the thread that owns the picture, so that several threads
// can then each blend into rows of their own. It stays valid while the
// picture is neither destroyed, nor copied and then written through.
class PremultipliedRows
{
public:
    PremultipliedRows() = default;
    // A null view unless image is Format_ARGB32_Premultiplied.
    explicit PremultipliedRows(QImage &image);
    // The same for reading only: the picture is not detached, and nothing
    // may be written through the view.
    static PremultipliedRows forReading(const QImage &image);

    bool isNull() const { return m_bits == nullptr; }
    QRect rect() const { return QRect(0, 0, m_width, m_height); }
    QRgb *line(int y) const { return reinterpret_cast<QRgb *>(m_bits + y * m_bytesPerLine); }

private:
    uchar *m_bits = nullptr;
    qsizetype m_bytesPerLine = 0;
    int m_width = 0;
    int m_height = 0;
};

// Blends the part rect of source onto the same part of target, as
// QPainter::drawImage() at full opacity; nothing unless both images are
// Format_ARGB32_Premultiplied.
void blendPremultiplied(QImage &target, const QImage &source, QRect rect);
void blendPremultiplied(const PremultipliedRows &target, const PremultipliedRows &source, QRect rect);

} // namespace Model
