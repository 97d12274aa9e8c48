#pragma once

#include "export/blockingqueue.h"
#include "export/ffmpegvideoencoder.h"

#include <QMutex>
#include <QString>

#include <atomic>
#include <memory>

struct AVFrame;
struct AVPacket;

namespace Model {

struct AvFrameDeleter
{
    void operator()(AVFrame *frame) const;
};
struct AvPacketDeleter
{
    void operator()(AVPacket *packet) const;
};
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameDeleter>;
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketDeleter>;
using FrameQueue = BlockingQueue<AvFramePtr>;
using PacketQueue = BlockingQueue<AvPacketPtr>;

// FFmpeg's description of an error code.
QString ffmpegErrorText(int code);

// What the stages of one movie share: the seven queues between them and how
// the run ends. A null element is a stream's end; the stages pass it on, so
// that the end of the pictures flushes the video filter and encoder in turn
// and closes the muxer's video input (the sound likewise).
//
// A failure anywhere, and a stop asked for by the user, abandons the run:
// every queue closes, so that each stage, wherever it waits, ends at once.
// The first failure is the one reported.
class FfmpegPipeline
{
public:
    // At most this many frames or packets wait between two stages, which
    // bounds the memory held in flight.
    static constexpr int QueueCapacity = 10;

    FrameQueue pictures{QueueCapacity};      // generator -> video filter
    FrameQueue videoFrames{QueueCapacity};   // video filter -> video encoder
    PacketQueue videoPackets{QueueCapacity}; // video encoder -> muxer
    PacketQueue soundPackets{QueueCapacity}; // packet reader -> audio decoder
    FrameQueue soundFrames{QueueCapacity};   // audio decoder -> audio filter
    FrameQueue audioFrames{QueueCapacity};   // audio filter -> audio encoder
    PacketQueue audioPackets{QueueCapacity}; // audio encoder -> muxer

    // Records the failure (the first one counts) and abandons the run.
    void fail(FfmpegVideoEncoder::Error error, const QString &message);
    // Closes every queue.
    void abandon();
    bool isAbandoned() const { return m_abandoned.load(); }
    FfmpegVideoEncoder::Error error() const;
    QString errorString() const;

    // Pictures the generator handed on and video packets the muxer wrote:
    // a finished movie has as many of one as of the other.
    std::atomic<int> picturesMade{0};
    std::atomic<int> videoPacketsWritten{0};

private:
    mutable QMutex m_mutex;
    FfmpegVideoEncoder::Error m_error = FfmpegVideoEncoder::NoError;
    QString m_errorString;
    std::atomic<bool> m_abandoned{false};
};

} // namespace Model
