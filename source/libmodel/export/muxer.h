#pragma once

#include <QObject>

struct AVFormatContext;
struct AVStream;

namespace Model {

class FfmpegPipeline;

// The last stage of a movie: takes the video packets and, when the movie has
// sound, the audio packets from their queues and writes them into the file
// in the order of their decoding times. A write error (a full disk) fails
// the run, which closes every queue, so that no stage stays waiting.
//
// run() is the stage's loop, called once on its thread; finished() is
// emitted when it ends, however it ends.
class Muxer : public QObject
{
    Q_OBJECT

public:
    // audioStream null: the movie has no sound. Nothing is owned.
    Muxer(FfmpegPipeline &pipeline, AVFormatContext *output, AVStream *videoStream, AVStream *audioStream);

    void run();

Q_SIGNALS:
    // Emitted for each video packet with the number written before it.
    void progress(int frames);
    void finished();

private:
    FfmpegPipeline &m_pipeline;
    AVFormatContext *m_output = nullptr;
    AVStream *m_videoStream = nullptr;
    AVStream *m_audioStream = nullptr;
};

} // namespace Model
