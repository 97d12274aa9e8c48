#include "export/ffmpegpipeline.h"

#include <QDebug>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
}

namespace Model {

void AvFrameDeleter::operator()(AVFrame *frame) const
{
    av_frame_free(&frame);
}

void AvPacketDeleter::operator()(AVPacket *packet) const
{
    av_packet_free(&packet);
}

QString ffmpegErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

void FfmpegPipeline::fail(FfmpegVideoEncoder::Error error, const QString &message)
{
    {
        QMutexLocker locker(&m_mutex);
        if (m_error == FfmpegVideoEncoder::NoError) {
            m_error = error;
            m_errorString = message;
        }
    }
    qWarning().noquote() << "Movie export:" << message;
    abandon();
}

void FfmpegPipeline::abandon()
{
    m_abandoned = true;
    pictures.close();
    videoFrames.close();
    videoPackets.close();
    soundPackets.close();
    soundFrames.close();
    audioFrames.close();
    audioPackets.close();
}

FfmpegVideoEncoder::Error FfmpegPipeline::error() const
{
    QMutexLocker locker(&m_mutex);
    return m_error;
}

QString FfmpegPipeline::errorString() const
{
    QMutexLocker locker(&m_mutex);
    return m_errorString;
}

} // namespace Model
