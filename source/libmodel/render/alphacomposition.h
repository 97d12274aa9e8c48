#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>

// Coverage images are Format_Alpha8: one byte per pixel, 0 nothing, 255 full.
// They are combined byte by byte through two 256x256 tables, indexed
// destination * 256 + source:
//   draw[d][s]  = trunc((255 - d) * s / 255.0 + d)   (a pen adds coverage)
//   erase[d][s] = trunc((255 - s) * d / 255.0)       (an eraser removes it)
// All routines work in place on the destination, clip the rectangle to both
// images, and change nothing for an empty intersection.
namespace Model {

// Fills both tables once; later calls do nothing.
void initAlphaCompositionTables();

// The tables themselves (65536 bytes each), filled by initAlphaCompositionTables().
const uchar *alphaDrawTable();
const uchar *alphaEraseTable();

// destination = table[destination][source] inside rect; both images share one
// coordinate system.
void composeAlphaMask(QImage &destination, const QImage &source, QRect rect, bool draw);

// Sets every byte inside rect to value.
void fillAlphaRect(QImage &image, QRect rect, uchar value);

// destination = max(destination, source placed at offset) inside rect.
void composeAlphaMaskMax(QImage &destination, const QImage &source, QRect rect, QPoint offset);

} // namespace Model
