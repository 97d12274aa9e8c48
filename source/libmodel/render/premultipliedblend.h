#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QRgb>

#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// source over below. Without branches, which the processor cannot foresee
// where layers overlap: below times (255 - alpha) / 255 is below itself for
// a transparent source and nothing under an opaque one, to the bit.
inline QRgb sourceOver(QRgb source, QRgb below)
{
    return source + multiplyPremultiplied(below, 255 - qAlpha(source));
}

#if defined(__SSE2__)
// sourceOver() for four pixels at once, each channel in a 16-bit lane
// (a channel times 255 fits in one).
inline __m128i sourceOver(__m128i source, __m128i below)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i inverse = _mm_sub_epi32(_mm_set1_epi32(255), _mm_srli_epi32(source, 24));
    inverse = _mm_or_si128(inverse, _mm_slli_epi32(inverse, 16));
    __m128i low = _mm_mullo_epi16(_mm_unpacklo_epi8(below, zero), _mm_unpacklo_epi32(inverse, inverse));
    __m128i high = _mm_mullo_epi16(_mm_unpackhi_epi8(below, zero), _mm_unpackhi_epi32(inverse, inverse));
    const __m128i half = _mm_set1_epi16(0x80);
    low = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(low, _mm_srli_epi16(low, 8)), half), 8);
    high = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(high, _mm_srli_epi16(high, 8)), half), 8);
    // A premultiplied channel never exceeds its alpha, so no byte carries.
    return _mm_add_epi8(source, _mm_packus_epi16(low, high));
}
#endif

// The 256 colours of a coverage colour table as a QPainter at opacity blends
// them: premultiplied, and scaled by the opacity as the painter keeps it (in
// 256ths, cut down rather than rounded, applied in 255ths unless whole).
using PremultipliedColours = std::array<QRgb, 256>;
PremultipliedColours paintedColours(const QList<QRgb> &table, double opacity);

// Blends count pixels of coverage, coloured through colours, onto line, as
// sourceOver() of each pixel whose coverage is not 0.
inline void blendCoverage(QRgb *line, const uchar *coverage, int count, const PremultipliedColours &colours)
{
    int x = 0;
    // Coverage 0 is no colour at all in every table a layer makes; four
    // pixels are then blended at once, those without coverage unchanged.
#if defined(__SSE2__)
    if (colours[0] == 0) {
        for (; x + 4 <= count; x += 4) {
            quint32 four = 0;
            std::memcpy(&four, coverage + x, sizeof four);
            if (four == 0)
                continue;
            const __m128i source = _mm_setr_epi32(int(colours[coverage[x]]), int(colours[coverage[x + 1]]),
                                                  int(colours[coverage[x + 2]]), int(colours[coverage[x + 3]]));
            auto *pixels = reinterpret_cast<__m128i *>(line + x);
            _mm_storeu_si128(pixels, sourceOver(source, _mm_loadu_si128(pixels)));
        }
    }
#endif
    for (; x < count; ++x) {
        if (coverage[x] != 0)
            line[x] = sourceOver(colours[coverage[x]], line[x]);
    }
}

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
