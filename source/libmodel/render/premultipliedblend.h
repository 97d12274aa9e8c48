#pragma once

#include <QImage>
#include <QRect>
#include <QRgb>

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

// Blends the part rect of source onto the same part of target, as
// QPainter::drawImage() at full opacity; nothing unless both images are
// Format_ARGB32_Premultiplied.
void blendPremultiplied(QImage &target, const QImage &source, QRect rect);

} // namespace Model
