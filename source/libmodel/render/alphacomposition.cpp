#include "alphacomposition.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace Model {

namespace {

struct AlphaTables
{
    std::array<uchar, 65536> draw{};
    std::array<uchar, 65536> erase{};
    bool filled = false;
};

AlphaTables &tables()
{
    static AlphaTables t;
    return t;
}

// floor(x / 255) for 0 <= x <= 65535, without a division. Equal to the
// tables' truncated double division for every (d, s) pair: a quotient that is
// not whole lies at least 1/255 away from the next integer, so the double
// division cannot round across it.
inline unsigned div255(unsigned x)
{
    return (x + (x >> 8) + 1) >> 8;
}

inline uchar drawValue(unsigned d, unsigned s)
{
    return uchar(div255((255 - d) * s) + d);
}

inline uchar eraseValue(unsigned d, unsigned s)
{
    return uchar(div255((255 - s) * d));
}

// The per-row loops compute the table entries arithmetically so that the
// compiler can vectorise them; the result is the table's entry byte for byte
// (the tests compare all 65536 pairs).
void drawRow(uchar *dst, const uchar *src, int n)
{
    for (int i = 0; i < n; ++i)
        dst[i] = drawValue(dst[i], src[i]);
}

void eraseRow(uchar *dst, const uchar *src, int n)
{
    for (int i = 0; i < n; ++i)
        dst[i] = eraseValue(dst[i], src[i]);
}

// Coverage masks are mostly empty paper: skip source stretches of zeros (which
// leave the destination as it is under either table) eight bytes at a time.
template<typename RowOp>
void composeRow(uchar *dst, const uchar *src, int n, RowOp op)
{
    int i = 0;
    while (i < n) {
        while (i + 8 <= n) {
            quint64 word;
            std::memcpy(&word, src + i, 8);
            if (word != 0)
                break;
            i += 8;
        }
        if (i >= n)
            break;
        // Process a run of up to 256 bytes, then look for zeros again.
        const int len = std::min(256, n - i);
        op(dst + i, src + i, len);
        i += len;
    }
}

} // namespace

void initAlphaCompositionTables()
{
    AlphaTables &t = tables();
    if (t.filled)
        return;
    for (int d = 0; d < 256; ++d) {
        for (int s = 0; s < 256; ++s) {
            t.draw[d * 256 + s] = uchar(double((255 - d) * s) / 255.0 + d);
            t.erase[d * 256 + s] = uchar(double((255 - s) * d) / 255.0);
        }
    }
    t.filled = true;
}

const uchar *alphaDrawTable()
{
    return tables().draw.data();
}

const uchar *alphaEraseTable()
{
    return tables().erase.data();
}

void composeAlphaMask(QImage &destination, const QImage &source, QRect rect, bool draw)
{
    rect &= destination.rect();
    rect &= source.rect();
    if (rect.isEmpty())
        return;
    const int left = rect.left();
    const int width = rect.width();
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        uchar *dst = destination.scanLine(y) + left;
        const uchar *src = source.constScanLine(y) + left;
        if (draw)
            composeRow(dst, src, width, drawRow);
        else
            composeRow(dst, src, width, eraseRow);
    }
}

void fillAlphaRect(QImage &image, QRect rect, uchar value)
{
    rect &= image.rect();
    if (rect.isEmpty())
        return;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        std::memset(image.scanLine(y) + rect.left(), value, size_t(rect.width()));
}

void composeAlphaMaskMax(QImage &destination, const QImage &source, QRect rect, QPoint offset)
{
    rect &= destination.rect();
    rect &= source.rect().translated(offset);
    if (rect.isEmpty())
        return;
    const int width = rect.width();
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        uchar *dst = destination.scanLine(y) + rect.left();
        const uchar *src = source.constScanLine(y - offset.y()) + (rect.left() - offset.x());
        for (int i = 0; i < width; ++i)
            dst[i] = std::max(dst[i], src[i]);
    }
}

} // namespace Model
