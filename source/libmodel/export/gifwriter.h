#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstdint>
#include <vector>

namespace Model {

// A writer of animated GIF files that chooses a palette of its own for each
// frame: the colour depth (bits per pixel over the three channels) is
// lowered from the highest allowed until the frame needs fewer than 256
// colours, the channels are reduced with an ordered 4x4 dither, and pixels
// that did not change since the previous frame are written transparent, so
// that the following frames of an animation compress to little. The file
// loops for ever. The whole file is kept in memory until GifWriterEnd().
//
// The functions work on one GifWriterState, begun once, given frames one by
// one and ended once; a state is not shared between threads.

// The order of the bytes of one input pixel.
enum class GifByteOrder { BGRA, RGBA };

// One frame as palette keys: each pixel's reduced colour, or the
// transparent key 2^depth.
struct GifCookedFrame
{
    std::vector<uint32_t> keys;
    int depth = 0;
    int keyCount = 0;
    // Bits of the first, second and third byte of a pixel.
    int channelBits[3] = {0, 0, 0};
};

struct GifWriterState
{
    GifCookedFrame current;
    GifCookedFrame previous;
    // The LZW dictionary: the code of (prefix code p, palette slot s) at
    // p * slots + s, -1 for none; 4096 x 256 entries.
    std::vector<int16_t> lzw;
    // Which keys a frame uses, and the palette slot of each.
    std::vector<uint8_t> usedKeys;
    std::vector<uint8_t> slots;
    // The file so far; empty before begin and after the end.
    QByteArray output;
    GifByteOrder byteOrder = GifByteOrder::BGRA;
    // Pixels whose alpha is below this are transparent.
    int alphaThreshold = 0;
    int width = 0;
    int height = 0;
    int frames = 0;
};

// Writes the header, the screen size and the loop-for-ever block. False, with
// the state released, for a size GIF cannot hold or when memory runs out.
bool GifWriterBegin(GifWriterState &state, int width, int height, GifByteOrder byteOrder = GifByteOrder::BGRA);
// Adds a frame of width x height pixels of 4 bytes, rows pitch bytes apart
// (0: width * 4; negative: rows run upwards in memory), shown for delay
// hundredths of a second, at most maxBitDepth bits per pixel (1 to 16).
// False when the state was not begun; on a failure the state is released.
bool GifWriterFrame(GifWriterState &state, const uchar *pixels, int delay, int maxBitDepth, qsizetype pitch);
// The whole file with its trailer, and the state released; empty when the
// state was never begun or has been released.
QByteArray GifWriterEnd(GifWriterState &state);
void GifWriterRelease(GifWriterState &state);

} // namespace Model
