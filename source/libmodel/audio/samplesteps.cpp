#include "audio/samplesteps.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <optional>
#include <unordered_set>
#include <vector>

namespace Model::SampleSteps {

namespace {

// Frames looked at together: a few milliseconds of sound at any rate.
constexpr qint64 WindowFrames = 256;
// How much smoother one alignment must read than every other to tell.
constexpr qint64 Margin = 3;
// Below this mean departure of a sample from the line through the two
// before it (of 32768 to full scale), a reading is too quiet to tell noise
// from sound.
constexpr qint64 QuietestChange = 64;
// How many windows apart samples in step are looked at.
constexpr qint64 SkippedWindows = 4;
// How many windows before the first one out of step a join is looked for in.
constexpr qint64 JoinWindows = 3;
// How many windows running must read in step at a new alignment.
constexpr int RunWindows = 2;
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

// The alignment, in bytes past from, at which the window of frames from
// from reads clearly smoothest; nullopt when none does. Smoothness is how
// little each sample departs from the line through the two before it: sound
// follows such lines closely, and noise not at all.
std::optional<int> alignmentOf(const Reader &reader, qint64 from)
{
    const int offsets = reader.sampleBytes();
    std::vector<qint64> departures(size_t(offsets), 0);
    for (int offset = 0; offset < offsets; ++offset) {
        const qint64 first = from + offset;
        for (qint64 frame = 2; frame < WindowFrames; ++frame)
            departures[size_t(offset)] += reader.bend(first + frame * reader.block(),
                                                      first + (frame - 1) * reader.block(),
                                                      first + (frame - 2) * reader.block());
    }
    const auto best = std::min_element(departures.cbegin(), departures.cend());
    const qint64 quietest = QuietestChange * (WindowFrames - 2) * reader.channels();
    for (auto it = departures.cbegin(); it != departures.cend(); ++it) {
        if (it != best && (*it < *best * Margin || *it < quietest))
            return std::nullopt;
    }
    // A byte that never departures at the smoothest alignment (sound of 256
    // levels padded to more bytes, or one that never crosses zero) smooths
    // every reading that takes it for the loudest.
    const qint64 first = from + (best - departures.cbegin());
    int loud = -1;
    int soft = -1;
    bool loudChanges = false;
    bool softChanges = false;
    for (qint64 frame = 0; frame < WindowFrames && !(loudChanges && softChanges); ++frame) {
        const int value = reader.sample(first + frame * reader.block());
        loudChanges = loudChanges || (loud >= 0 && (value >> 8 & 0xff) != loud);
        softChanges = softChanges || (soft >= 0 && (value & 0xff) != soft);
        loud = value >> 8 & 0xff;
        soft = value & 0xff;
    }
    if (!loudChanges || !softChanges)
        return std::nullopt;
    return int(best - departures.cbegin());
}

// Whether the window of frames from from reads as noise does: nearly every
// sample a value of its own. Read out of step, a sound's least bytes become
// its loudest, and they take any value; a sound of few levels (a square wave
// driven to full scale, clipped sound) reads rough at its own alignment and
// smooth at another without being out of step, and keeps its few values.
bool readsAsNoise(const Reader &reader, qint64 from)
{
    std::unordered_set<int> values;
    for (qint64 frame = 0; frame < WindowFrames; ++frame) {
        for (int channel = 0; channel < reader.channels(); ++channel)
            values.insert(reader.sample(from + frame * reader.block() + channel * reader.sampleBytes()));
    }
    return qint64(values.size()) * 8 >= WindowFrames * reader.channels();
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
// bytes somewhere after, the two readings join best: the frame boundary p
// and the bytes dropped there, of those that bring the rest in step again,
// for which the frames before p, the join and the frames after read
// smoothest together.
Step bestJoin(const Reader &reader, qint64 from, qint64 to, int offset)
{
    const qint64 block = reader.block();
    const std::vector<qint64> before = bendsFrom(reader, from, to);
    std::vector<qint64> sumBefore(before.size() + 1, 0);
    for (size_t i = 0; i < before.size(); ++i)
        sumBefore[i + 1] = sumBefore[i] + before[i];

    Step best;
    qint64 bestCost = std::numeric_limits<qint64>::max();
    // Each drop that brings the samples in step, in every lane of channels,
    // and one that drops a whole frame more besides.
    for (qint64 dropped = offset; dropped < block + reader.sampleBytes(); dropped += reader.sampleBytes()) {
        const qint64 second = from + dropped;
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
                best = {from + qint64(k) * block, int(dropped)};
            }
        }
    }
    return best;
}

} // namespace

QList<Step> find(QByteArrayView file, const SoundFile::PcmLayout &layout)
{
    if (layout.isNull() || layout.bytesPerSample < 2 || layout.end > file.size())
        return {};
    const Reader reader(file, layout);
    const qint64 window = WindowFrames * reader.block();
    const auto fits = [&](qint64 at) { return reader.fits(at + window + reader.sampleBytes()); };
    QList<Step> steps;
    // Where the last window read in step, from which a join is looked for.
    std::optional<qint64> inStep;
    // Samples that stay in step stay so: windows are looked at a few apart
    // until one is not, and then those before it one by one.
    bool oneByOne = false;
    for (qint64 at = layout.start; fits(at);) {
        const std::optional<int> alignment = alignmentOf(reader, at);
        if (!alignment || *alignment == 0) {
            if (alignment) {
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
        if (!readsAsNoise(reader, at)) {
            at += window;
            continue;
        }
        // The new alignment must hold.
        bool holds = true;
        qint64 next = at + window;
        for (int run = 1; run < RunWindows && holds; ++run) {
            std::optional<int> later;
            for (; !later && fits(next); next += window)
                later = alignmentOf(reader, next);
            holds = later == alignment;
        }
        if (!holds) {
            at += window;
            continue;
        }
        if (steps.size() == MostSteps)
            return {};
        // Where nothing told between them (silence, noise), the join is
        // looked for just before the window out of step: that much costs
        // little, and what it leaves out of step cannot be told anyway.
        const qint64 from = std::max(*inStep, at - JoinWindows * window);
        const Step step = bestJoin(reader, from, at + window, *alignment);
        steps.append(step);
        // Read on in step after the join.
        at = step.at + step.dropped;
        inStep = at;
    }
    return steps;
}

QByteArray withoutSteps(QByteArrayView file, const QList<Step> &steps)
{
    QByteArray kept;
    kept.reserve(file.size());
    qint64 from = 0;
    for (const Step &step : steps) {
        kept.append(file.sliced(from, step.at - from));
        from = step.at + step.dropped;
    }
    kept.append(file.sliced(from));
    return kept;
}

} // namespace Model::SampleSteps
