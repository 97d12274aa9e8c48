#include "render/bandedcomposition.h"

#include "strokes/rleimage.h"

#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <atomic>

namespace Model {

namespace {

std::atomic<int> chosenThreadCount{0};

// Several bands per thread, so that threads whose bands hold little ink
// take over the rest; each band starts on a row from which the drawings'
// run-length codes are read without walking the rows above it.
int bandHeight(int height, int threads)
{
    constexpr int BandsPerThread = 4;
    constexpr int Step = RleImage::rowsPerMark;
    const int wanted = (height + threads * BandsPerThread - 1) / (threads * BandsPerThread);
    return std::max(Step, (wanted + Step - 1) / Step * Step);
}

// The bands still to do, taken one at a time by whichever thread is free.
struct BandQueue
{
    BandQueue(int bands, const std::function<void(int)> &bandWork)
        : count(bands)
        , work(bandWork)
    {
    }

    void drain()
    {
        for (int band = next.fetch_add(1, std::memory_order_relaxed); band < count;
             band = next.fetch_add(1, std::memory_order_relaxed))
            work(band);
    }

    const int count;
    const std::function<void(int)> &work;
    std::atomic<int> next{0};
    QSemaphore finished;
};

void forEachBand(int count, int threads, const std::function<void(int)> &work)
{
    if (threads <= 1 || count <= 1) {
        for (int band = 0; band < count; ++band)
            work(band);
        return;
    }
    BandQueue queue(count, work);
    QThreadPool *pool = QThreadPool::globalInstance();
    int helpers = 0;
    for (; helpers < std::min(threads, count) - 1; ++helpers) {
        // A helper that could not start at once is not queued: the calling
        // thread would wait for it with nothing left to do.
        const bool started = pool->tryStart([&queue] {
            queue.drain();
            queue.finished.release();
        });
        if (!started)
            break;
    }
    queue.drain();
    // The queue lives on this stack: every helper is done with it first.
    queue.finished.acquire(helpers);
}

} // namespace

int compositionThreadCount()
{
    const int chosen = chosenThreadCount.load(std::memory_order_relaxed);
    return chosen > 0 ? chosen : std::max(1, QThread::idealThreadCount());
}

void setCompositionThreadCount(int count)
{
    chosenThreadCount.store(std::max(0, count), std::memory_order_relaxed);
}

BandedComposition::BandedComposition() = default;
BandedComposition::~BandedComposition() = default;

void BandedComposition::addBandPass(BandPass pass)
{
    if (pass)
        m_passes.push_back({std::move(pass), {}});
}

void BandedComposition::addWholePass(WholePass pass)
{
    if (pass)
        m_passes.push_back({{}, std::move(pass)});
}

bool BandedComposition::isEmpty() const
{
    return m_passes.empty();
}

void BandedComposition::run(int height)
{
    const std::vector<Pass> passes = std::move(m_passes);
    m_passes.clear();
    if (height <= 0)
        return;
    const int threads = compositionThreadCount();
    const int rows = bandHeight(height, threads);
    const int bands = (height + rows - 1) / rows;
    auto first = passes.cbegin();
    while (first != passes.cend()) {
        const auto whole = std::find_if(first, passes.cend(), [](const Pass &pass) { return bool(pass.whole); });
        if (whole != first) {
            const std::function<void(int)> work = [first, whole, rows, height](int band) {
                const int top = band * rows;
                const int bottom = std::min(height, top + rows);
                for (auto pass = first; pass != whole; ++pass)
                    pass->band(top, bottom);
            };
            forEachBand(bands, threads, work);
        }
        if (whole == passes.cend())
            break;
        whole->whole();
        first = whole + 1;
    }
}

} // namespace Model
