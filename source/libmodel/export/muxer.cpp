#include "export/muxer.h"

#include "export/ffmpegpipeline.h"

#include <QCoreApplication>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

namespace Model {

namespace {

// Takes the next packet of an input into pending, in the stream's time base;
// an end entry closes the input. False once the run is abandoned.
bool takePacket(PacketQueue &queue, const AVStream *stream, bool &open, AvPacketPtr &pending)
{
    std::optional<AvPacketPtr> packet = queue.pop();
    if (!packet)
        return false;
    if (!*packet) {
        open = false;
        return true;
    }
    pending = std::move(*packet);
    av_packet_rescale_ts(pending.get(), pending->time_base, stream->time_base);
    pending->time_base = stream->time_base;
    pending->stream_index = stream->index;
    return true;
}

bool audioComesFirst(const AVPacket &audio, const AVPacket &video)
{
    if (audio.dts == AV_NOPTS_VALUE || video.dts == AV_NOPTS_VALUE)
        return true;
    return av_compare_ts(audio.dts, audio.time_base, video.dts, video.time_base) <= 0;
}

} // namespace

Muxer::Muxer(FfmpegPipeline &pipeline, AVFormatContext *output, AVStream *videoStream, AVStream *audioStream)
    : m_pipeline(pipeline)
    , m_output(output)
    , m_videoStream(videoStream)
    , m_audioStream(audioStream)
{
}

void Muxer::run()
{
    AvPacketPtr video;
    AvPacketPtr audio;
    bool videoOpen = true;
    bool audioOpen = m_audioStream != nullptr;
    for (;;) {
        if (videoOpen && !video && !takePacket(m_pipeline.videoPackets, m_videoStream, videoOpen, video))
            break;
        if (audioOpen && !audio && !takePacket(m_pipeline.audioPackets, m_audioStream, audioOpen, audio))
            break;
        if (!video && !audio)
            break;
        const bool audioFirst = audio && (!video || audioComesFirst(*audio, *video));
        AvPacketPtr packet = std::move(audioFirst ? audio : video);
        // The muxer takes the packet's data; the packet itself stays ours.
        const int result = av_interleaved_write_frame(m_output, packet.get());
        if (result < 0) {
            m_pipeline.fail(FfmpegVideoEncoder::WritingError,
                            QCoreApplication::translate("Model::FfmpegVideoEncoder", "Error while writing: %1")
                                .arg(ffmpegErrorText(result)));
            break;
        }
        if (!audioFirst)
            Q_EMIT progress(++m_pipeline.videoPacketsWritten);
    }
    Q_EMIT finished();
}

} // namespace Model
