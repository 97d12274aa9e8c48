#include "export/framewriterpool.h"

#include "export/exportfolder.h"
#include "systemmemory.h"

#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QThreadPool>
#include <QWaitCondition>

#include <algorithm>
#include <atomic>
#include <deque>

namespace Model {

namespace {

// How many steps may wait ahead of the oldest one, per worker: enough that
// no worker idles while a slow frame holds the front back.
constexpr int StepsPerWorker = 2;

constexpr qint64 GiB = qint64(1) << 30;

// Bytes per pixel that a worker holds at its peak. Every format has the
// picture (ARGB32, 4). OpenEXR adds four planes of half floats (8) and,
// while tinyexr writes, its blocks of them (8) and the file in memory (8);
// once tinyexr is done its blocks go and the copy of the file that is
// written takes their place. PNG is encoded row by row into the file as it
// grows, which for noise that does not compress is the picture's size again,
// twice over with the slack of its buffer (8).
constexpr qint64 ExrBytesPerPixel = 4 + 8 + 8 + 8;
constexpr qint64 PngBytesPerPixel = 4 + 8;

// What the pictures of an export may hold at once: seven eighths of what the
// export may take, the rest being left for what the workers hold besides
// (the drawings they decode, their stacks, the allocator's slack).
qint64 memoryBudget()
{
    const qint64 memory = physicalMemoryBytes();
    return std::max(memory / 10, std::min(GiB, memory / 4)) / 8 * 7;
}

// What a worker holds at its peak for one picture.
qint64 pictureBytes(const QSize &size, ImageFileFormat format)
{
    const qint64 pixels = qint64(std::max(0, size.width())) * qint64(std::max(0, size.height()));
    return pixels * (format == ImageFileFormat::OpenExr ? ExrBytesPerPixel : PngBytesPerPixel);
}

struct Step
{
    QStringList files;
    // Guarded by the pool's mutex.
    int pending = 0;
    bool failed = false;
    // Some picture was never made, as the export had stopped.
    bool abandoned = false;
    QString message;
    QString reason;
};

} // namespace

class FrameWriterPoolPrivate
{
public:
    FrameWriterPoolPrivate(ExportFolder &folder, ImageFileFormat format, std::function<bool()> stepDone)
        : m_folder(folder)
        , m_format(format)
        , m_stepDone(std::move(stepDone))
    {
    }

    // On a worker.
    void write(const std::shared_ptr<Step> &step, const FrameWriterPool::File &file);
    // Ends the steps at the front that are complete, in order.
    void retireReady();
    // Waits until the oldest step is complete.
    void waitForFront();
    // Lets no further picture start and waits for the workers.
    void stop();

    ExportFolder &m_folder;
    const ImageFileFormat m_format;
    const std::function<bool()> m_stepDone;
    int m_window = 1;
    // Oldest first; touched only on the owner's thread.
    std::deque<std::shared_ptr<Step>> m_steps;
    FrameWriterPool::Outcome m_outcome = FrameWriterPool::Running;
    QString m_error;

    QMutex m_mutex;
    QWaitCondition m_stepFinished;
    std::atomic<bool> m_stopping{false};
    // Last, so that it is gone before what the workers use.
    QThreadPool m_pool;
};

void FrameWriterPoolPrivate::write(const std::shared_ptr<Step> &step, const FrameWriterPool::File &file)
{
    bool abandoned = m_stopping.load();
    bool written = false;
    QString message;
    QString reason;
    if (!abandoned) {
        const QImage image = file.compose();
        abandoned = m_stopping.load();
        if (!abandoned)
            written = m_folder.stageImage(file.relativePath, image, m_format, &message, &reason);
    }
    QMutexLocker locker(&m_mutex);
    if (abandoned) {
        step->abandoned = true;
    } else if (!written) {
        if (!step->failed) {
            step->failed = true;
            step->message = message;
            step->reason = reason;
        }
        // The export fails; the other workers need not start anything more.
        m_stopping = true;
    }
    --step->pending;
    m_stepFinished.wakeAll();
}

void FrameWriterPoolPrivate::waitForFront()
{
    QMutexLocker locker(&m_mutex);
    while (!m_steps.empty() && m_steps.front()->pending > 0)
        m_stepFinished.wait(&m_mutex);
}

void FrameWriterPoolPrivate::retireReady()
{
    while (m_outcome == FrameWriterPool::Running && !m_steps.empty()) {
        const std::shared_ptr<Step> step = m_steps.front();
        bool complete = false;
        bool ok = false;
        {
            QMutexLocker locker(&m_mutex);
            complete = step->pending == 0;
            ok = !step->failed && !step->abandoned;
        }
        if (!complete)
            return;
        if (!ok) {
            // A step cut short by a failure further on reports that one: the
            // first failure in frame order.
            QMutexLocker locker(&m_mutex);
            const auto failed = std::find_if(m_steps.cbegin(), m_steps.cend(),
                                             [](const std::shared_ptr<Step> &s) { return s->failed; });
            if (failed != m_steps.cend()) {
                m_outcome = FrameWriterPool::Failed;
                m_error = (*failed)->reason.isEmpty() ? (*failed)->message
                                                      : (*failed)->message + u'\n' + (*failed)->reason;
            } else {
                m_outcome = FrameWriterPool::Canceled;
            }
            return;
        }
        m_steps.pop_front();
        for (const QString &file : std::as_const(step->files)) {
            if (!m_folder.keepFile(file)) {
                m_outcome = FrameWriterPool::Failed;
                m_error = m_folder.errorMessage();
                return;
            }
        }
        if (m_stepDone && !m_stepDone())
            m_outcome = FrameWriterPool::Canceled;
    }
}

void FrameWriterPoolPrivate::stop()
{
    m_stopping = true;
    m_pool.waitForDone();
    m_steps.clear();
}

FrameWriterPool::FrameWriterPool(ExportFolder &folder, ImageFileFormat format, const QSize &pictureSize,
                                 std::function<bool()> stepDone, int threads)
    : d(std::make_unique<FrameWriterPoolPrivate>(folder, format, std::move(stepDone)))
{
    const int workers = workerCount(pictureSize, format, threads);
    d->m_pool.setMaxThreadCount(workers);
    d->m_window = workers * StepsPerWorker;
}

FrameWriterPool::~FrameWriterPool()
{
    d->stop();
}

bool FrameWriterPool::add(QList<File> files)
{
    if (d->m_outcome != Running)
        return false;
    while (int(d->m_steps.size()) >= d->m_window) {
        d->waitForFront();
        d->retireReady();
        if (d->m_outcome != Running) {
            d->stop();
            return false;
        }
    }
    auto step = std::make_shared<Step>();
    step->pending = int(files.size());
    for (const File &file : std::as_const(files))
        step->files.append(file.relativePath);
    d->m_steps.push_back(step);
    for (File &file : files) {
        d->m_pool.start([this, step, file = std::move(file)] { d->write(step, file); });
    }
    d->retireReady();
    if (d->m_outcome != Running) {
        d->stop();
        return false;
    }
    return true;
}

FrameWriterPool::Outcome FrameWriterPool::finish()
{
    while (d->m_outcome == Running && !d->m_steps.empty()) {
        d->waitForFront();
        d->retireReady();
    }
    if (d->m_outcome == Running)
        d->m_outcome = Done;
    d->stop();
    return d->m_outcome;
}

void FrameWriterPool::cancel()
{
    if (d->m_outcome == Running)
        d->m_outcome = Canceled;
    d->stop();
}

FrameWriterPool::Outcome FrameWriterPool::outcome() const
{
    return d->m_outcome;
}

QString FrameWriterPool::errorMessage() const
{
    return d->m_error;
}

int FrameWriterPool::workerCount(const QSize &pictureSize, ImageFileFormat format, int threads)
{
    const int wanted = threads > 0 ? threads : std::max(1, QThread::idealThreadCount());
    const qint64 fitting = memoryBudget() / std::max<qint64>(1, pictureBytes(pictureSize, format));
    return int(std::clamp<qint64>(fitting, 1, wanted));
}

} // namespace Model
