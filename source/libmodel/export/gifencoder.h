#pragma once

#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace Model {

class GIFEncoderPrivate;

// Writes an animated GIF from frames that a frame source supplies one by one
// (see gifwriter.h for the palette, dither and transparency of each frame).
// It works on its own thread, one frame per queued call, so that the event
// loop keeps running between frames.
//
// States: not set up -> setup() -> ready -> start() -> running -> the frame
// source gives a null image -> the file is written, finished() -> stopped.
// stop() while running finishes the file with the frames so far. Any error
// sets the state to failed and emits error() instead of finished().
//
// Nothing is written to the file before the end, so a failed run leaves no
// file (the file is created new or truncated only for the finished movie).
class GIFEncoder : public QObject
{
    Q_OBJECT

public:
    enum Error {
        // setup() while running.
        SetupWhileRunning = 0,
        // A frame step or the finish while not running.
        NotRunning = 1,
        // The file could not be created or completely written.
        FileNotWritten = 2,
        FrameNotEncoded = 3,
        // The writer produced nothing at the end.
        NoData = 4,
        // start() while not ready.
        NotReady = 5,
    };
    Q_ENUM(Error)

    enum State { Running = 1, Failed = 2, Ready = 3, Stopped = 4, NotSetUp = 5 };
    Q_ENUM(State)

    using FrameSource = std::function<QImage()>;

    explicit GIFEncoder(QObject *parent = nullptr);
    ~GIFEncoder() override;

    // Frames of width x height (others are scaled to it), each shown for
    // delay hundredths of a second, with at most maxBitDepth bits per pixel
    // in each frame's palette (16: exact colours while a frame has few).
    // A GIF counts whole hundredths: for a delay with a fraction (100 / 24
    // at 24 fps) the frames get whole delays whose running total stays
    // within half a hundredth of frames x delay (4, 4, 5, 4, 4, 4, ...).
    void setup(FrameSource source, const QString &path, int width, int height, double delay, int maxBitDepth);
    State state() const;
    // Why the file could not be written; empty otherwise.
    QString errorString() const;

public Q_SLOTS:
    void start();
    void stop();

Q_SIGNALS:
    void error(Model::GIFEncoder::Error error);
    void finished();
    void processNextFrame();

private:
    void encodeNextFrame();
    void finish();
    void fail(Error code);

    std::unique_ptr<GIFEncoderPrivate> d;
};

} // namespace Model
