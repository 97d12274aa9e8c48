#pragma once

#include "export/imagefile.h"

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

namespace Model {

class ExportFolder;
class FrameWriterPoolPrivate;

// Composes, encodes and writes the images of a frame export on the
// machine's cores, while the export itself walks the frames on its own
// thread and sees them finish strictly in order.
//
// The export hands in one step per frame: the files of that frame, each
// with the function that composes its picture. Worker threads run the
// functions, encode the pictures and write them into the export's folder
// (ExportFolder::stageImage()); the owner's thread counts each step as done
// only once every step before it is, keeps its files (keepFile()) and calls
// stepDone, so that progress only moves forward and the files kept are
// always those of the first frames, whole. stepDone returning false (the
// user cancelled) stops the export there; the first failure stops it too
// and is the one reported. Stopping lets no further picture be started;
// what is being written meanwhile finishes and goes with the folder,
// unkept.
//
// Memory stays bounded by what the export may take of the machine's memory
// (workerCount()), not only by the number of cores: a worker holds one
// picture and its encoding at a time, and no more workers run than the
// budget holds such pictures (one at least, however large). Steps waiting
// ahead of the oldest one, a few per worker, hold no picture yet. So a
// large frame runs on fewer cores, and the files are the same whatever the
// number of workers.
//
// The compose functions run on the workers and must only read what the
// owner's thread leaves alone until finish() or cancel() returns. Everything
// but the compose functions runs on the owner's thread, stepDone included.
class FrameWriterPool
{
public:
    struct File
    {
        QString relativePath;
        std::function<QImage()> compose;
    };
    enum Outcome { Running, Done, Canceled, Failed };

    // pictureSize: the size of the pictures that the compose functions
    // make. threads 0: one per core; either way no more than the memory
    // allows (workerCount()).
    FrameWriterPool(ExportFolder &folder, ImageFileFormat format, const QSize &pictureSize,
                    std::function<bool()> stepDone, int threads = 0);
    // Stops and waits for every worker.
    ~FrameWriterPool();

    // Adds the next step; waits while too many are ahead, finishing steps
    // meanwhile. False once the export has stopped.
    bool add(QList<File> files);
    // Waits for every step to finish and returns how the export ended.
    Outcome finish();
    // Stops at once, keeping the steps done so far; waits for the workers.
    void cancel();
    Outcome outcome() const;
    // The first failure in the user's words, with the system's reason on a
    // line of its own when it gave one.
    QString errorMessage() const;

    // How many workers a pool runs for pictures of pictureSize in format:
    // threads, or one per core for 0, but no more than fit, each with its
    // picture and what encoding it takes, in what an export may hold (less
    // an eighth left for the rest): a tenth of the machine's memory
    // (physicalMemoryBytes()), and at least 1 GiB where that is no more than
    // a quarter of it. One at least.
    static int workerCount(const QSize &pictureSize, ImageFileFormat format, int threads = 0);

private:
    FrameWriterPool(const FrameWriterPool &) = delete;
    FrameWriterPool &operator=(const FrameWriterPool &) = delete;

    std::unique_ptr<FrameWriterPoolPrivate> d;
};

} // namespace Model
