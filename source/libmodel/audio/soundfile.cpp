#include "audio/soundfile.h"

#include <QSet>
#include <QtEndian>

#include <algorithm>

namespace Model::SoundFile {

namespace {

constexpr qint64 FormHeaderBytes = 12;

bool isLittleEndianForm(QByteArrayView file)
{
    return file.startsWith("RIFF");
}

quint32 chunkSize(const char *header, bool littleEndian)
{
    return littleEndian ? qFromLittleEndian<quint32>(header + 4) : qFromBigEndian<quint32>(header + 4);
}

} // namespace

bool isChunkName(const char *name)
{
    const auto printable = [](char c) { return c >= ' ' && c < 0x7f; };
    return name[0] != ' ' && std::all_of(name, name + 4, printable);
}

QList<Chunk> chunks(QByteArrayView file)
{
    QList<Chunk> found;
    if (file.size() < FormHeaderBytes || (!file.startsWith("RIFF") && !file.startsWith("FORM")))
        return found;
    const bool littleEndian = isLittleEndianForm(file);
    for (qint64 at = FormHeaderBytes; at + ChunkHeaderBytes <= file.size() && found.size() < MostChunks;) {
        const char *header = file.data() + at;
        if (!isChunkName(header))
            break;
        Chunk chunk;
        chunk.at = at;
        chunk.size = chunkSize(header, littleEndian);
        std::copy(header, header + 4, chunk.name);
        found.append(chunk);
        at = chunk.next();
    }
    return found;
}

qint64 startOfChunksAfter(QByteArrayView file, qint64 from)
{
    const qint64 end = file.size();
    if (from >= end)
        return end;
    const bool littleEndian = isLittleEndianForm(file);
    // The places from which whole chunks run to the end, read from the end
    // backwards, so that each chunk finds the place it leads to known.
    QSet<qint64> chained{end};
    qint64 first = end;
    for (qint64 at = end - 1 - (end - 1 - from) % 2; at >= from; at -= 2) {
        if (at + ChunkHeaderBytes > end || !isChunkName(file.data() + at))
            continue;
        const qint64 chunkEnd = at + ChunkHeaderBytes + chunkSize(file.data() + at, littleEndian);
        if (chunkEnd != end && !chained.contains(chunkEnd + (chunkEnd - at) % 2))
            continue;
        if (chained.size() >= MostChunks)
            return end;
        chained.insert(at);
        first = at;
    }
    return first;
}

PcmLayout pcmLayout(QByteArrayView file)
{
    if (file.size() < FormHeaderBytes)
        return {};
    const QByteArrayView form = file.sliced(8, 4);
    const bool wav = file.startsWith("RIFF") && form == "WAVE";
    const bool aiff = file.startsWith("FORM") && (form == "AIFF" || form == "AIFC");
    if (!wav && !aiff)
        return {};
    const auto u16 = [&](qint64 at) {
        return at + 2 <= file.size()
            ? int(wav ? qFromLittleEndian<quint16>(file.data() + at) : qFromBigEndian<quint16>(file.data() + at))
            : -1;
    };
    const auto u32 = [&](qint64 at) {
        return at + 4 <= file.size()
            ? qint64(wav ? qFromLittleEndian<quint32>(file.data() + at) : qFromBigEndian<quint32>(file.data() + at))
            : -1;
    };
    PcmLayout layout;
    int channels = 0;
    int bits = 0;
    bool integers = false;
    for (const Chunk &chunk : chunks(file)) {
        const QByteArrayView name(chunk.name, 4);
        const qint64 at = chunk.dataStart();
        if (wav && name == "fmt " && chunk.size >= 16) {
            const int tag = u16(at);
            // WAVE_FORMAT_EXTENSIBLE names its samples by a GUID, led by
            // the tag of the plain format.
            integers = tag == 1 || (tag == 0xFFFE && chunk.size >= 40 && u16(at + 24) == 1);
            channels = u16(at + 2);
            layout.blockAlign = u16(at + 12);
            bits = u16(at + 14);
        } else if (aiff && name == "COMM" && chunk.size >= 18) {
            const QByteArrayView compression =
                chunk.size >= 22 && at + 22 <= file.size() ? file.sliced(at + 18, 4) : QByteArrayView("NONE");
            integers = compression == "NONE" || compression == "twos" || compression == "sowt";
            layout.bigEndian = compression != "sowt";
            channels = u16(at);
            bits = u16(at + 6);
            layout.blockAlign = channels * ((bits + 7) / 8);
        } else if ((wav && name == "data") || (aiff && name == "SSND")) {
            const qint64 offset = aiff ? std::max<qint64>(u32(at), 0) + 8 : 0;
            layout.start = at + offset;
            const qint64 given = chunk.size - offset;
            const bool placeholder = wav && (chunk.size == 0 || chunk.size == 0xFFFFFFFF);
            if (placeholder)
                layout.end = startOfChunksAfter(file, layout.start);
            else
                layout.end = std::min(layout.start + std::max<qint64>(given, 0), qint64(file.size()));
            break;
        }
    }
    if (!integers || channels <= 0 || bits <= 0 || layout.end <= layout.start)
        return {};
    layout.bytesPerSample = (bits + 7) / 8;
    if (layout.blockAlign != channels * layout.bytesPerSample)
        return {};
    return layout;
}

} // namespace Model::SoundFile
