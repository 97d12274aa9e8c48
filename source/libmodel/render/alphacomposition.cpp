#include "alphacomposition.h"

#include <algorithm>
#include <array>
#include <cstring>

// On x86-64 with GCC or Clang the composing loops also come in an AVX2 form,
// chosen at run time.
#if defined(__x86_64__) && defined(__GNUC__)
#define KL_ALPHA_AVX2 1
#include <immintrin.h>
#endif

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

// floor(x / 255) for 0 <= x <= 65535, without a division: x * 0x8081 / 2^23
// exceeds x / 255 by less than x * 127 / (255 * 2^23) < 1/255, and a quotient
// that is not whole lies at least 1/255 below the next integer, so the floor
// is the same. It is also equal to the tables' truncated double division for
// every (d, s) pair, which cannot round across an integer for the same reason.
// In 16-bit lanes this is one high-half multiply and a shift.
inline quint16 div255(quint16 x)
{
    return quint16(quint16((quint32(x) * 0x8081u) >> 16) >> 7);
}

inline uchar drawValue(quint16 d, quint16 s)
{
    return uchar(d + div255(quint16((255 - d) * s)));
}

inline uchar eraseValue(quint16 d, quint16 s)
{
    return uchar(div255(quint16((255 - s) * d)));
}

inline quint64 load64(const uchar *p)
{
    quint64 word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// Coverage masks are mostly empty paper, and a source zero leaves the
// destination as it is under either table: the loops pass over blocks of
// empty source without touching the destination.
constexpr int Block = 32;

inline bool blockIsZero(const uchar *p)
{
    return (load64(p) | load64(p + 8) | load64(p + 16) | load64(p + 24)) == 0;
}

// The per-row loops compute the table entries arithmetically so that they can
// run on vectors; the result is the table's entry byte for byte (the tests
// compare all 65536 pairs). The portable loop is left to the compiler's
// vectoriser (the fixed block length lets it unroll); it also finishes the
// rows of the AVX2 loop.
template<bool Draw>
void composeBytes(uchar *dst, const uchar *src, int n)
{
    int i = 0;
    for (; i + Block <= n; i += Block) {
        if (blockIsZero(src + i))
            continue;
        for (int k = i; k < i + Block; ++k)
            dst[k] = Draw ? drawValue(dst[k], src[k]) : eraseValue(dst[k], src[k]);
    }
    // Nothing composed on a byte leaves it as it is.
    for (; i < n; ++i) {
        if (src[i] != 0)
            dst[i] = Draw ? drawValue(dst[i], src[i]) : eraseValue(dst[i], src[i]);
    }
}

#ifdef KL_ALPHA_AVX2
// The same on one block at a time. Unpacking and packing both work within
// 128-bit lanes, so the bytes come back in their order.
template<bool Draw>
__attribute__((target("avx2"))) void composeBytesAvx2(uchar *dst, const uchar *src, int n)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i ones = _mm256_set1_epi8(char(0xff));
    const __m256i magic = _mm256_set1_epi16(short(0x8081));
    int i = 0;
    for (; i + Block <= n; i += Block) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + i));
        if (_mm256_testz_si256(s, s))
            continue;
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(dst + i));
        // Draw: d + floor((255 - d) * s / 255); erase: floor((255 - s) * d / 255).
        const __m256i a = _mm256_xor_si256(Draw ? d : s, ones);
        const __m256i b = Draw ? s : d;
        __m256i lo = _mm256_mullo_epi16(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero));
        __m256i hi = _mm256_mullo_epi16(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero));
        lo = _mm256_srli_epi16(_mm256_mulhi_epu16(lo, magic), 7);
        hi = _mm256_srli_epi16(_mm256_mulhi_epu16(hi, magic), 7);
        __m256i result = _mm256_packus_epi16(lo, hi);
        if (Draw)
            result = _mm256_add_epi8(result, d);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + i), result);
    }
    composeBytes<Draw>(dst + i, src + i, n - i);
}

bool hasAvx2()
{
    static const bool supported = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return supported;
}
#endif

using RowOp = void (*)(uchar *dst, const uchar *src, int n);

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
    RowOp op = draw ? composeBytes<true> : composeBytes<false>;
#ifdef KL_ALPHA_AVX2
    if (hasAvx2())
        op = draw ? composeBytesAvx2<true> : composeBytesAvx2<false>;
#endif
    const int left = rect.left();
    const int width = rect.width();
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        op(destination.scanLine(y) + left, source.constScanLine(y) + left, width);
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
