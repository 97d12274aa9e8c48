#pragma once

#include "settings/exportvideosettings.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

class QIODevice;

namespace Model {

// Writes a movie (MP4 with H.264, QuickTime with ProRes; FFmpeg's GIF
// encoder is wired too) from pictures that a frame source paints, with the
// sound of an audio file held in memory muxed in when asked.
//
// The work runs in eight stages, each on a QThread of its own and joined by
// bounded queues: generator (calls the frame source) -> video filter (BGRA
// to the encoder's pixel format, through the BT.709 matrix for YUV) -> video
// encoder -> muxer, and packet reader -> audio decoder -> audio filter (the
// sound placed at its offset, resampled, padded with silence or cut to the
// movie's length) -> audio encoder -> muxer. The frame source is called on
// the generator's thread: it must paint only into QImages and read nothing
// that the caller's thread changes meanwhile.
//
// Lifecycle: set the frame source (and the sound), start(); finished() is
// emitted exactly once afterwards, on the caller's thread, however the run
// ends: done, failed (also when nothing could be set up) or stopped. A
// failure is announced by error() just before. Only a run that ends with
// error() == NoError and !wasStopped() has written a complete movie;
// otherwise the output file is incomplete and the caller removes it (the
// encoder never removes a file). A movie without a single frame counts as
// failed.
class FfmpegVideoEncoder : public QObject
{
    Q_OBJECT

public:
    enum Error {
        NoError,
        // A codec, stream, filter or the sound could not be set up.
        SetupError,
        // An encoder refused a frame or lost frames.
        EncodingError,
        // The file could not be created or written (a full disk).
        WritingError,
    };
    Q_ENUM(Error)

    using FrameSource = std::function<QImage()>;

    struct FrameRate
    {
        int numerator = 0;
        int denominator = 1;
    };
    // 12 -> 12/1, 12.5 -> 25/2, 7.25 -> 29/4, 29.97 -> 2997/100: whole,
    // half and quarter rates exactly, any other to a hundredth.
    static FrameRate frameRateFraction(double fps);

    // The size a movie of settings gets for a wanted size: the pixel
    // formats with subsampled colour need even sides, so an odd side grows
    // by one pixel there; other formats keep the size.
    static QSize encodedSize(const ExportVideoSettings &settings, const QSize &size);

    // outputSize must already be encodedSize().
    FfmpegVideoEncoder(const ExportVideoSettings &settings, const QSize &outputSize, double frameRate,
                       QObject *parent = nullptr);
    ~FfmpegVideoEncoder() override;

    // A null image ends the movie. Images of outputSize, preferably
    // Format_ARGB32_Premultiplied (what the scene paints).
    void setFrameSource(FrameSource source);
    // The sound to mux in: device open for reading (not owned; it must stay
    // until finished() and is read on the pipeline's threads once started),
    // where the sound starts in frames from the movie's first frame (may be
    // negative), and the movie's length in frames. Before start().
    void setAudio(QIODevice *device, double offsetFrames, int lengthFrames);
    // Where the movie is written; by default the record's exportDir joined
    // with its name.
    void setOutputPath(const QString &path);

    Error errorCode() const;
    // Why the run failed, for the log and the user; empty otherwise.
    QString errorString() const;
    bool wasStopped() const;
    // Video frames in the file so far.
    int framesWritten() const;

public Q_SLOTS:
    void start();
    // Abandons the run: every stage ends within moments, the file stays
    // incomplete and finished() follows. Nothing once finished.
    void stop();

Q_SIGNALS:
    // Video frames written so far.
    void progress(int frames);
    void error(Model::FfmpegVideoEncoder::Error error);
    void finished();

private:
    void finish();

    class FfmpegVideoEncoderPrivate;
    std::unique_ptr<FfmpegVideoEncoderPrivate> d;
};

} // namespace Model
