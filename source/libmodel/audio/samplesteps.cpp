#include "audio/samplesteps.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <optional>
#include <vector>

namespace Model::SampleSteps {

namespace {

// Frames looked at together: a few milliseconds of sound at any rate.
constexpr qint64 WindowFrames = 256;
// Below this mean distance of a sample from the window's mean (of 32768 to
// full scale), a reading is too quiet to tell noise from sound.
constexpr qint64 QuietestSpread = 256;
// Sound follows the line through the two samples before each closely, and
// noise not at all: how far its samples depart from those lines, against
// how far they lie from their mean, is below 1/2 for sound up to about a
// ninth of the sample rate, and about 2.4 for noise. In halves of that
// distance, a reading departs at most this little to count as sound and at
// least this much to count as noise.
constexpr qint64 SmoothHalves = 1;
constexpr qint64 RoughHalves = 3;
// Samples' loudest bytes, in 16 bands of values: least bytes read as the
// loudest fill each band about evenly, 16 in a window, and never 40 in one
// but by a chance of about one in ten million. The loudest bytes of sound
// do not spread so: noise, hiss and clipped sound crowd the middle bands or
// the two at full scale.
constexpr int Bands = 16;
constexpr int FullestBand = 40;
// How many windows apart samples in step are looked at.
constexpr qint64 SkippedWindows = 4;
// How many windows before the first one out of step its start is looked for
// in, at most: where nothing told between (silence, noise, drums), it lies
// anywhere after the last window in step.
constexpr qint64 JoinWindows = 256;
// How many windows running must read out of step at one alignment.
constexpr int RunWindows = 3;
// More places out of step than any damage leaves: the sound is of a kind
// this cannot judge.
constexpr int MostSteps = 8;

// The samples of the file read from any byte: each as its two loudest
// bytes, a signed 16-bit value.
class Reader
{
public:
    Reader(QByteArrayView file, const SoundFile::PcmLayout &layout)
        : m_bytes(reinterpret_cast<const uchar *>(file.data()))
        , m_end(layout.end)
        , m_block(layout.blockAlign)
        , m_sample(layout.bytesPerSample)
        , m_channels(layout.blockAlign / layout.bytesPerSample)
        , m_bigEndian(layout.bigEndian)
    {
    }

    int sample(qint64 at) const
    {
        const uchar *p = m_bytes + at;
        return m_bigEndian ? qint16(p[0] << 8 | p[1]) : qint16(p[m_sample - 1] << 8 | p[m_sample - 2]);
    }
    // How far every channel's sample of the frame at at lies from the line
    // through those of the frames at previous and before that.
    qint64 bend(qint64 at, qint64 previous, qint64 before) const
    {
        qint64 sum = 0;
        for (int channel = 0; channel < m_channels; ++channel) {
            const qint64 lane = channel * m_sample;
            sum += std::abs(sample(at + lane) - 2 * sample(previous + lane) + sample(before + lane));
        }
        return sum;
    }
    // Whether a frame at at lies wholly in the samples.
    bool fits(qint64 at) const { return at + m_block <= m_end; }

    qint64 block() const { return m_block; }
    int sampleBytes() const { return m_sample; }
    int channels() const { return m_channels; }

private:
    const uchar *m_bytes;
    qint64 m_end;
    qint64 m_block;
    int m_sample;
    int m_channels;
    bool m_bigEndian;
};

// How one channel's samples read over a window, from the byte first on.
struct Lane
{
    // Loud enough to tell anything.
    bool loud = false;
    // Following the lines through the samples before as sound does, however
    // quiet, never a step of more than half a least byte from one sample to
    // the next: its least byte, read one byte on as the loudest of the
    // channel beside it, reads as sound there too.
    bool slowSound = false;
    // Loud enough to tell, and following the lines through the samples
    // before as sound does.
    bool smooth = false;
    // Loud enough to tell, rough as noise, and its loudest bytes spread as
    // least bytes are.
    bool asLeastBytes = false;
};

Lane readLane(const Reader &reader, qint64 first)
{
    std::array<int, WindowFrames> values;
    qint64 sum = 0;
    for (qint64 frame = 0; frame < WindowFrames; ++frame) {
        values[size_t(frame)] = reader.sample(first + frame * reader.block());
        sum += values[size_t(frame)];
    }
    const qint64 mean = sum / WindowFrames;
    qint64 spread = 0;
    qint64 departure = 0;
    int steepest = 0;
    std::array<int, Bands> bands{};
    for (size_t frame = 0; frame < values.size(); ++frame) {
        spread += std::abs(values[frame] - mean);
        if (frame >= 1)
            steepest = std::max(steepest, std::abs(values[frame] - values[frame - 1]));
        if (frame >= 2)
            departure += std::abs(values[frame] - 2 * values[frame - 1] + values[frame - 2]);
        ++bands[size_t((values[frame] + 32768) * Bands / 65536)];
    }
    Lane lane;
    const bool sounding = 2 * departure <= SmoothHalves * spread;
    lane.slowSound = sounding && spread >= WindowFrames && steepest <= 128;
    lane.loud = spread >= QuietestSpread * WindowFrames;
    if (!lane.loud)
        return lane;
    lane.smooth = sounding;
    lane.asLeastBytes = 2 * departure >= RoughHalves * spread
        && *std::max_element(bands.cbegin(), bands.cend()) < FullestBand;
    return lane;
}

// How the window of frames from from reads: in step where some channel
// reads as sound at the file's own alignment and none at another; out of
// step where every channel loud enough to tell reads as least bytes at the
// file's own alignment and none as slow sound, and one other alignment,
// only, reads as sound in a channel that read as least bytes; unknown
// otherwise. A silent channel beside one out of step reads as the other's
// least bytes alone, too quiet to tell, and, where the sound out of step
// crosses zero, with steps of a whole byte.
struct Judgement
{
    enum { Unknown, InStep, OutOfStep } reading = Unknown;
    // The alignment, in bytes past from, at which it reads in step.
    int alignment = 0;
};

Judgement judge(const Reader &reader, qint64 from)
{
    bool ownSmooth = false;
    bool ownSlowSound = false;
    bool ownLoud = false;
    bool ownAsLeastBytes = true;
    std::vector<bool> asLeastBytes(size_t(reader.channels()), false);
    for (int channel = 0; channel < reader.channels(); ++channel) {
        const Lane lane = readLane(reader, from + channel * reader.sampleBytes());
        ownSmooth = ownSmooth || lane.smooth;
        ownSlowSound = ownSlowSound || lane.slowSound;
        ownLoud = ownLoud || lane.loud;
        ownAsLeastBytes = ownAsLeastBytes && (lane.asLeastBytes || !lane.loud);
        asLeastBytes[size_t(channel)] = lane.asLeastBytes;
    }
    int smoothAlignments = 0;
    bool foundInLeastBytes = false;
    Judgement judgement;
    for (int alignment = 1; alignment < reader.sampleBytes(); ++alignment) {
        bool smooth = false;
        for (int channel = 0; channel < reader.channels(); ++channel) {
            if (readLane(reader, from + alignment + channel * reader.sampleBytes()).smooth) {
                smooth = true;
                if (asLeastBytes[size_t(channel)]) {
                    foundInLeastBytes = true;
                    judgement.alignment = alignment;
                }
            }
        }
        smoothAlignments += smooth ? 1 : 0;
    }
    if (ownSmooth && smoothAlignments == 0)
        judgement.reading = Judgement::InStep;
    else if (!ownSlowSound && ownLoud && ownAsLeastBytes && smoothAlignments == 1 && foundInLeastBytes)
        judgement.reading = Judgement::OutOfStep;
    return judgement;
}

// How each frame from first on, up to to, departs from the line through the
// two before it; the first two are 0.
std::vector<qint64> bendsFrom(const Reader &reader, qint64 first, qint64 to)
{
    std::vector<qint64> bends;
    for (qint64 at = first; at + reader.block() <= to && reader.fits(at); at += reader.block())
        bends.push_back(bends.size() < 2 ? 0 : reader.bend(at, at - reader.block(), at - 2 * reader.block()));
    return bends;
}

// Where in [from, to), read in step from from on and out of step by offset
// bytes somewhere after, the two readings join best: the frame boundary at
// which the samples fall out of step, and the bytes after it from which
// they read in step again, of those that bring every channel's samples in
// step, for which the frames before, the join and the frames after read
// smoothest together.
struct Join
{
    qint64 at = 0;
    qint64 resumes = 0;
};

Join bestJoin(const Reader &reader, qint64 from, qint64 to, int offset)
{
    const qint64 block = reader.block();
    const std::vector<qint64> before = bendsFrom(reader, from, to);
    std::vector<qint64> sumBefore(before.size() + 1, 0);
    for (size_t i = 0; i < before.size(); ++i)
        sumBefore[i + 1] = sumBefore[i] + before[i];

    Join best{to - WindowFrames * block, to - WindowFrames * block + offset};
    qint64 bestCost = std::numeric_limits<qint64>::max();
    // Each shift that brings the samples in step, in every lane of
    // channels, and one shift of a whole frame more besides.
    for (qint64 shift = offset; shift < block + reader.sampleBytes(); shift += reader.sampleBytes()) {
        const qint64 second = from + shift;
        const std::vector<qint64> after = bendsFrom(reader, second, to);
        std::vector<qint64> sumAfter(after.size() + 1, 0);
        for (size_t j = after.size(); j-- > 0;)
            sumAfter[j] = sumAfter[j + 1] + after[j];
        // Frames 0 to k - 1 of the first reading, then k on of the second.
        for (size_t k = 2; k + 1 < after.size() && k <= before.size(); ++k) {
            const qint64 last = from + qint64(k - 1) * block;
            const qint64 next = second + qint64(k) * block;
            const qint64 join = reader.bend(next, last, last - block) + reader.bend(next + block, next, last);
            const qint64 cost = sumBefore[k] + join + sumAfter[k + 2];
            if (cost < bestCost) {
                bestCost = cost;
                best = {from + qint64(k) * block, second + qint64(k) * block};
            }
        }
    }
    return best;
}

} // namespace

QList<qint64> find(QByteArrayView file, const SoundFile::PcmLayout &layout)
{
    // No writer makes samples wider than 32 bits: a header that states them
    // is damage, and reading every alignment of them would cost a pass over
    // the sound for each byte.
    if (layout.isNull() || layout.bytesPerSample < 2 || layout.bytesPerSample > 4 || layout.end > file.size())
        return {};
    const Reader reader(file, layout);
    const qint64 window = WindowFrames * reader.block();
    // A window read at every alignment reaches into the frame after it.
    const auto fits = [&](qint64 at) { return reader.fits(at + window + reader.sampleBytes()); };
    QList<qint64> steps;
    // Where the last window read in step, after which a join is looked for.
    std::optional<qint64> inStep;
    // Samples that stay in step stay so: windows are looked at a few apart
    // until one is not, and then those before it one by one.
    bool oneByOne = false;
    for (qint64 at = layout.start; fits(at);) {
        const Judgement judgement = judge(reader, at);
        if (judgement.reading != Judgement::OutOfStep) {
            if (judgement.reading == Judgement::InStep) {
                inStep = at;
                oneByOne = false;
            }
            at += oneByOne || !inStep || !fits(at + SkippedWindows * window) ? window : SkippedWindows * window;
            continue;
        }
        // A sound that starts out of step with its header is not this
        // damage, or not one that can be told from it.
        if (!inStep)
            return {};
        if (!oneByOne && at > *inStep + window) {
            oneByOne = true;
            at = *inStep + window;
            continue;
        }
        oneByOne = true;
        // The new alignment must hold.
        bool holds = true;
        for (int run = 1; run < RunWindows && holds; ++run) {
            const qint64 next = at + run * window;
            if (!fits(next)) {
                holds = false;
                break;
            }
            const Judgement later = judge(reader, next);
            holds = later.reading == Judgement::OutOfStep && later.alignment == judgement.alignment;
        }
        if (!holds) {
            at += window;
            continue;
        }
        if (steps.size() == MostSteps)
            return {};
        const qint64 from = std::max(*inStep, at - JoinWindows * window);
        const Join join = bestJoin(reader, from, at + window, judgement.alignment);
        steps.append(join.at);
        // Read on in step after the join.
        at = join.resumes;
        inStep = at;
    }
    return steps;
}

} // namespace Model::SampleSteps
