#include "render/premultipliedblend.h"

#include <algorithm>

namespace Model {

PremultipliedColours paintedColours(const QList<QRgb> &table, double opacity)
{
    PremultipliedColours colours{};
    const int painterOpacity = int(std::clamp(opacity, 0.0, 1.0) * 256);
    const uint factor = uint(painterOpacity * 255) >> 8;
    const qsizetype entries = std::min<qsizetype>(table.size(), 256);
    for (qsizetype i = 0; i < entries; ++i) {
        const QRgb colour = qPremultiply(table.at(i));
        colours[size_t(i)] = painterOpacity >= 256 ? colour : multiplyPremultiplied(colour, factor);
    }
    return colours;
}

PremultipliedRows::PremultipliedRows(QImage &image)
{
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        return;
    m_bits = image.bits();
    m_bytesPerLine = image.bytesPerLine();
    m_width = image.width();
    m_height = image.height();
}

PremultipliedRows PremultipliedRows::forReading(const QImage &image)
{
    PremultipliedRows rows;
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        return rows;
    rows.m_bits = const_cast<uchar *>(image.constBits());
    rows.m_bytesPerLine = image.bytesPerLine();
    rows.m_width = image.width();
    rows.m_height = image.height();
    return rows;
}

void blendPremultiplied(QImage &target, const QImage &source, QRect rect)
{
    if (target.format() != QImage::Format_ARGB32_Premultiplied)
        return;
    blendPremultiplied(PremultipliedRows(target), PremultipliedRows::forReading(source), rect);
}

void blendPremultiplied(const PremultipliedRows &target, const PremultipliedRows &source, QRect rect)
{
    if (target.isNull() || source.isNull())
        return;
    rect &= target.rect() & source.rect();
    if (rect.isEmpty())
        return;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        const QRgb *from = source.line(y);
        QRgb *line = target.line(y);
        // A scene's pictures are mostly transparent, which leaves the
        // target as it is: empty stretches are passed over four pixels at a
        // time.
        int x = rect.left();
        for (; x + 4 <= rect.right() + 1; x += 4) {
#if defined(__SSE2__)
            const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + x));
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(four, _mm_setzero_si128())) == 0xffff)
                continue;
            auto *pixels = reinterpret_cast<__m128i *>(line + x);
            _mm_storeu_si128(pixels, sourceOver(four, _mm_loadu_si128(pixels)));
#else
            if ((from[x] | from[x + 1] | from[x + 2] | from[x + 3]) == 0)
                continue;
            for (int i = x; i < x + 4; ++i)
                line[i] = sourceOver(from[i], line[i]);
#endif
        }
        for (; x <= rect.right(); ++x)
            line[x] = sourceOver(from[x], line[x]);
    }
}

} // namespace Model
