#include "export/gifwriter.h"

#include <algorithm>
#include <bit>
#include <new>

namespace Model {

namespace {

constexpr int MaxCodes = 4096;
constexpr int MaxSlots = 256;
constexpr int MaxDepth = 16;
constexpr int MaxCodeBits = 12;

// The ordered dither, row y mod 4 and column x mod 4, in steps of 1/16.
constexpr int Dither[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// floor(log2(value)) + 1 for value >= 1.
int bitWidth(unsigned value)
{
    return int(std::bit_width(value));
}

void appendWord(QByteArray &out, int value)
{
    out.append(char(value & 0xff));
    out.append(char((value >> 8) & 0xff));
}

// The bits of each byte of a pixel at depth bits in all: green, the second
// byte in either order, gets the most, red one more than blue.
void channelBits(int depth, GifByteOrder order, int bits[3])
{
    bits[0] = depth / 3;
    bits[1] = depth - depth / 3 - (depth + 1) / 3;
    bits[2] = (depth + 1) / 3;
    if (order == GifByteOrder::RGBA)
        std::swap(bits[0], bits[2]);
}

// A channel part of p with bits bits as 8 bits, its bits repeated below.
int expand(unsigned p, int bits)
{
    if (bits <= 0)
        return 0;
    const unsigned c = p << (8 - bits);
    return int((c | c >> bits | c >> (2 * bits) | c >> (3 * bits)) & 0xff);
}

// Reduces the frame to keys at depth, flagging the keys used. Stops early
// once 256 keys are used, which is too many for this depth.
int cookFrame(GifWriterState &state, const uchar *pixels, qsizetype pitch, int depth)
{
    GifCookedFrame &frame = state.current;
    int bits[3];
    channelBits(depth, state.byteOrder, bits);
    uint32_t mul[3];
    for (int c = 0; c < 3; ++c)
        mul[c] = uint16_t(float(255 - ((1 << (8 - bits[c])) - 1)) / 255.0f * 257.0f);
    const uint32_t transparent = 1u << depth;
    std::fill_n(state.usedKeys.begin(), transparent + 1, uint8_t(0));
    int count = 0;
    uint32_t *key = frame.keys.data();
    for (int y = 0; y < state.height; ++y) {
        const uchar *p = pixels + y * pitch;
        const int *ditherRow = Dither[y & 3];
        for (int x = 0; x < state.width; ++x, p += 4, ++key) {
            uint32_t k = transparent;
            if (p[3] >= state.alphaThreshold) {
                const uint32_t dither = uint32_t(ditherRow[x & 3]) * 4096;
                uint32_t q[3];
                for (int c = 0; c < 3; ++c)
                    q[c] = std::min<uint32_t>(65535, p[c] * mul[c] + (dither >> bits[c])) >> (16 - bits[c]);
                k = (q[2] << (bits[0] + bits[1])) | (q[1] << bits[0]) | q[0];
            }
            *key = k;
            if (!state.usedKeys[k]) {
                state.usedKeys[k] = 1;
                if (++count >= MaxSlots)
                    return count;
            }
        }
    }
    frame.depth = depth;
    frame.keyCount = count;
    std::copy_n(bits, 3, frame.channelBits);
    return count;
}

// Codes packed least significant bit first into sub-blocks of at most 255
// bytes, each led by its length.
class CodeWriter
{
public:
    explicit CodeWriter(QByteArray &out)
        : m_out(out)
    {
    }

    void write(uint32_t code, int width)
    {
        m_bits |= code << m_count;
        m_count += width;
        while (m_count >= 8) {
            put(uchar(m_bits & 0xff));
            m_bits >>= 8;
            m_count -= 8;
        }
    }

    // The last bits, the last sub-block and the empty block that ends the data.
    void finish()
    {
        if (m_count > 0)
            put(uchar(m_bits & 0xff));
        m_bits = 0;
        m_count = 0;
        flushBlock();
        m_out.append('\0');
    }

private:
    void put(uchar byte)
    {
        m_block[m_blockSize++] = byte;
        if (m_blockSize == 255)
            flushBlock();
    }

    void flushBlock()
    {
        if (m_blockSize == 0)
            return;
        m_out.append(char(m_blockSize));
        m_out.append(reinterpret_cast<const char *>(m_block), m_blockSize);
        m_blockSize = 0;
    }

    QByteArray &m_out;
    uint32_t m_bits = 0;
    int m_count = 0;
    uchar m_block[255] = {};
    int m_blockSize = 0;
};

void compressFrame(GifWriterState &state, int delay)
{
    const GifCookedFrame &frame = state.current;
    const GifCookedFrame &previous = state.previous;
    const uint32_t transparent = 1u << frame.depth;
    const int *bits = frame.channelBits;

    // The palette: slot 0 transparent, then the used keys in order.
    uchar palette[MaxSlots][3] = {};
    int slots = 1;
    for (uint32_t key = 0; key < transparent; ++key) {
        if (!state.usedKeys[key])
            continue;
        const unsigned p0 = key & ((1u << bits[0]) - 1);
        const unsigned p1 = (key >> bits[0]) & ((1u << bits[1]) - 1);
        const unsigned p2 = key >> (bits[0] + bits[1]);
        const int first = expand(p0, bits[0]);
        const int second = expand(p1, bits[1]);
        const int third = expand(p2, bits[2]);
        const bool bgra = state.byteOrder == GifByteOrder::BGRA;
        palette[slots][0] = uchar(bgra ? third : first);
        palette[slots][1] = uchar(second);
        palette[slots][2] = uchar(bgra ? first : third);
        state.slots[key] = uchar(slots++);
    }
    state.slots[transparent] = 0;
    const int n = slots;
    const int tableBits = n > 1 ? std::max(2, bitWidth(unsigned(n - 1))) : 2;

    // Unchanged pixels become transparent when the keys of both frames mean
    // the same colours and no pixel needs transparency of its own.
    const bool difference = state.frames > 0 && std::equal(bits, bits + 3, previous.channelBits)
                            && !state.usedKeys[transparent];
    const uint32_t *keys = frame.keys.data();
    const uint32_t *previousKeys = previous.keys.data();
    const auto slotAt = [&](size_t i) -> int {
        if (difference && keys[i] == previousKeys[i])
            return 0;
        return state.slots[keys[i]];
    };

    QByteArray &out = state.output;
    // Graphic control: leave the frame in place, slot 0 transparent.
    out.append("\x21\xF9\x04\x05", 4);
    appendWord(out, delay);
    out.append('\0');
    out.append('\0');
    // Image descriptor with a local colour table.
    out.append('\x2C');
    appendWord(out, 0);
    appendWord(out, 0);
    appendWord(out, state.width);
    appendWord(out, state.height);
    out.append(char(0x80 | (tableBits - 1)));
    // Slots beyond the used ones stay black.
    for (int slot = 0; slot < (1 << tableBits); ++slot)
        out.append(reinterpret_cast<const char *>(palette[slot]), 3);
    out.append(char(tableBits));

    const int clearCode = 1 << tableBits;
    const int endCode = clearCode + 1;
    int next = clearCode + 2;
    int16_t *table = state.lzw.data();
    std::fill_n(table, size_t(n) * MaxCodes, int16_t(-1));
    CodeWriter writer(out);
    writer.write(uint32_t(clearCode), bitWidth(unsigned(next - 1)));
    const size_t pixels = size_t(state.width) * size_t(state.height);
    int prefix = slotAt(0);
    for (size_t i = 1; i < pixels; ++i) {
        const int slot = slotAt(i);
        int16_t &entry = table[size_t(prefix) * size_t(n) + size_t(slot)];
        if (entry >= 0) {
            prefix = entry;
            continue;
        }
        const int width = bitWidth(unsigned(next - 1));
        writer.write(uint32_t(prefix), width);
        if (next >= MaxCodes) {
            writer.write(uint32_t(clearCode), width);
            std::fill_n(table, size_t(n) * MaxCodes, int16_t(-1));
            next = clearCode + 2;
        } else {
            entry = int16_t(next++);
        }
        prefix = slot;
    }
    writer.write(uint32_t(prefix), std::min(MaxCodeBits, bitWidth(unsigned(next - 1))));
    writer.write(uint32_t(endCode), std::min(MaxCodeBits, bitWidth(unsigned(next))));
    writer.finish();
}

} // namespace

bool GifWriterBegin(GifWriterState &state, int width, int height, GifByteOrder byteOrder)
{
    GifWriterRelease(state);
    if (width < 1 || height < 1 || width > 0xffff || height > 0xffff)
        return false;
    try {
        const size_t pixels = size_t(width) * size_t(height);
        state.lzw.resize(size_t(MaxCodes) * MaxSlots);
        state.usedKeys.resize((size_t(1) << MaxDepth) + 1);
        state.slots.resize((size_t(1) << MaxDepth) + 1);
        state.current.keys.resize(pixels);
        state.previous.keys.resize(pixels);
        state.width = width;
        state.height = height;
        state.byteOrder = byteOrder;
        QByteArray &out = state.output;
        out.append("GIF89a", 6);
        appendWord(out, width);
        appendWord(out, height);
        // No global colour table; 8 bits of colour resolution.
        out.append('\x70');
        out.append('\0');
        out.append('\0');
        // The animation loops for ever.
        out.append("\x21\xFF\x0B" "NETSCAPE2.0" "\x03\x01\x00\x00\x00", 19);
    } catch (const std::bad_alloc &) {
        GifWriterRelease(state);
        return false;
    }
    return true;
}

bool GifWriterFrame(GifWriterState &state, const uchar *pixels, int delay, int maxBitDepth, qsizetype pitch)
{
    if (state.output.isEmpty())
        return false;
    if (!pixels) {
        GifWriterRelease(state);
        return false;
    }
    if (pitch == 0)
        pitch = qsizetype(state.width) * 4;
    int depth = std::min({std::max(maxBitDepth, 1), MaxDepth,
                          state.previous.depth + 160 / std::max(state.previous.keyCount, 1)});
    try {
        // Depth 1 has at most three keys, so the loop always ends cooked.
        while (depth > 1 && cookFrame(state, pixels, pitch, depth) >= MaxSlots)
            --depth;
        if (depth == 1)
            cookFrame(state, pixels, pitch, depth);
        compressFrame(state, std::clamp(delay, 0, 0xffff));
    } catch (const std::bad_alloc &) {
        GifWriterRelease(state);
        return false;
    }
    ++state.frames;
    std::swap(state.current, state.previous);
    return true;
}

QByteArray GifWriterEnd(GifWriterState &state)
{
    if (state.output.isEmpty())
        return {};
    QByteArray file = std::move(state.output);
    file.append(';');
    GifWriterRelease(state);
    return file;
}

void GifWriterRelease(GifWriterState &state)
{
    state = GifWriterState();
}

} // namespace Model
