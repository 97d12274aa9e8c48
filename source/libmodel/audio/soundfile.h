#pragma once

#include <QByteArrayView>
#include <QList>

namespace Model {

// What the decoder reads of WAV (RIFF) and AIFF (FORM) files itself, beside
// FFmpeg: the chain of chunks they are made of, and where their samples lie.
// Everything here reads bytes only; nothing trusts a size the file gives.
namespace SoundFile {

// No writer leaves thousands of chunks in a sound file: bytes that chain
// so are the sound's own.
inline constexpr int MostChunks = 4096;
inline constexpr int ChunkHeaderBytes = 8;

// Whether four bytes can name a chunk: printable ASCII, the first no space.
// Samples can look like a chunk's name, but hardly like a chain of chunks.
bool isChunkName(const char *name);

struct Chunk
{
    // Where its header begins, and the size it gives: its bytes follow the
    // header, and a pad byte follows an odd size.
    qint64 at = 0;
    qint64 size = 0;
    char name[4] = {};

    qint64 dataStart() const { return at + ChunkHeaderBytes; }
    qint64 next() const { return dataStart() + size + size % 2; }
};

// The chunks of a RIFF or FORM file after its form type, each as its header
// gives it: the chain stops at a header that names no chunk or does not fit
// in the bytes, and after MostChunks. The last chunk may reach beyond the
// bytes (a file cut short, or a size left as a placeholder).
QList<Chunk> chunks(QByteArrayView file);

// Where the chunks that follow a sound written while streaming begin: the
// first place at or after from, an even number of bytes after it, from which
// whole chunks run to the end of the bytes; the end when none does. The last
// chunk may lack its pad byte.
qint64 startOfChunksAfter(QByteArrayView file, qint64 from);

// Where a file's uncompressed integer samples lie, as far as they are in the
// bytes: frames of blockAlign bytes, each channel's sample of bytesPerSample
// bytes. Null (blockAlign 0) for anything else: no WAV or AIFF, compressed
// or floating-point samples, a layout that does not add up.
struct PcmLayout
{
    qint64 start = 0;
    qint64 end = 0;
    int blockAlign = 0;
    int bytesPerSample = 0;
    bool bigEndian = false;

    bool isNull() const { return blockAlign == 0; }
};
PcmLayout pcmLayout(QByteArrayView file);

} // namespace SoundFile

} // namespace Model
