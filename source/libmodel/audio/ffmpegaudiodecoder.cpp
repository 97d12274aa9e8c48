#include "ffmpegaudiodecoder.h"

#include <QDebug>
#include <QIODevice>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include <cstdio>

namespace Model {

class FfmpegAudioDecoderPrivate
{
public:
    bool m_stepQueued = false;
    bool m_reading = false;
    QIODevice *m_device = nullptr;
    QAudioFormat m_format;
    QByteArray m_pcm;
    AVIOContext *m_ioContext = nullptr;
    AVFormatContext *m_formatContext = nullptr;
    AVCodecContext *m_codecContext = nullptr;
    AVFilterContext *m_sinkContext = nullptr;
    AVFilterContext *m_sourceContext = nullptr;
    AVFilterGraph *m_filterGraph = nullptr;
    int m_streamIndex = -1;
    AVPacket *m_packet = nullptr;
    AVFrame *m_frame = nullptr;
    qint64 m_durationMs = -1;
    qint64 m_positionMs = -1;

    // start() runs once and finished() is emitted once, however stop(),
    // finalize() and the steps interleave.
    bool m_started = false;
    bool m_finished = false;
    // Whether durationMs was stated by the file rather than guessed from its
    // bit rate; only a stated length can show that the file was cut short.
    bool m_durationStated = false;
    QString m_error;
};

namespace {

// FFmpeg wants some slack after the buffer it reads into.
constexpr int IoBufferAllocation = 32832;
constexpr int IoBufferSize = 32768;

constexpr char ConversionFilter[] = "aformat=sample_fmts=s16:sample_rates=44100:channel_layouts=stereo";

// A safety limit, far above any sound the audio layer accepts (30 minutes
// take about 318 MB): a file whose stated length lies must not be able to
// exhaust memory.
constexpr qint64 MaxPcmBytes = qint64(1) << 30;

// No recording uses a higher sample rate; a header that states one is damage,
// and converting from it would cost the resampler seconds and gigabytes of
// set-up before a single sample is read.
constexpr int MaximumSampleRate = 768000;
// The most channels a sound device plays (7.1 surround).
constexpr int MaximumChannels = 8;

// A file whose sound ends this much before its stated length is reported as
// cut short: 1/100 of the length, at least 100 ms.
constexpr qint64 TruncationToleranceMs = 100;

QString ffmpegErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

int readDevice(void *opaque, uint8_t *buffer, int size)
{
    auto *device = static_cast<QIODevice *>(opaque);
    if (!device || device->atEnd())
        return AVERROR_EOF;
    const qint64 count = device->read(reinterpret_cast<char *>(buffer), size);
    // FFmpeg takes a read of nothing for a broken source rather than the end.
    if (count == 0)
        return AVERROR_EOF;
    if (count < 0)
        return AVERROR(EIO);
    return int(count);
}

int64_t seekDevice(void *opaque, int64_t offset, int whence)
{
    auto *device = static_cast<QIODevice *>(opaque);
    if (!device || !device->isOpen() || device->isSequential())
        return -1;
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE)
        return device->size();
    qint64 target = offset;
    if (whence == SEEK_CUR)
        target += device->pos();
    else if (whence == SEEK_END)
        target += device->size();
    else if (whence != SEEK_SET)
        return -1;
    if (target < 0 || target > device->size() || !device->seek(target))
        return -1;
    return device->pos();
}

} // namespace

FfmpegAudioDecoder::FfmpegAudioDecoder(QIODevice *device, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<FfmpegAudioDecoderPrivate>())
{
    d->m_device = device;
    if (auto *ioBuffer = static_cast<unsigned char *>(av_malloc(IoBufferAllocation))) {
        d->m_ioContext = avio_alloc_context(ioBuffer, IoBufferSize, 0, device, readDevice, nullptr, seekDevice);
        if (!d->m_ioContext)
            av_free(ioBuffer);
        else if (device && device->isSequential())
            d->m_ioContext->seekable = 0;
    }
    d->m_packet = av_packet_alloc();
    d->m_frame = av_frame_alloc();
    connect(this, &FfmpegAudioDecoder::processNextFrame, this, &FfmpegAudioDecoder::handleNextFrame,
            Qt::QueuedConnection);
}

FfmpegAudioDecoder::~FfmpegAudioDecoder()
{
    releaseFfmpeg();
    av_packet_free(&d->m_packet);
    av_frame_free(&d->m_frame);
    if (d->m_ioContext) {
        // Probing may have replaced the buffer given at construction.
        av_freep(&d->m_ioContext->buffer);
        avio_context_free(&d->m_ioContext);
    }
}

QByteArray FfmpegAudioDecoder::buffer() const
{
    return d->m_pcm;
}

QAudioFormat FfmpegAudioDecoder::format() const
{
    return d->m_format;
}

qint64 FfmpegAudioDecoder::durationMs() const
{
    return d->m_durationMs;
}

qint64 FfmpegAudioDecoder::positionMs() const
{
    return d->m_positionMs;
}

QString FfmpegAudioDecoder::errorString() const
{
    return d->m_error;
}

void FfmpegAudioDecoder::start()
{
    if (d->m_started || d->m_finished)
        return;
    d->m_started = true;

    int result = openInput();
    if (result < 0) {
        qDebug() << result << "Could not open input";
        stop();
        return;
    }

    const AVStream *stream = d->m_formatContext->streams[d->m_streamIndex];
    qint64 durationMs = -1;
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0 && stream->time_base.num > 0
        && stream->time_base.den > 0) {
        durationMs = av_rescale_q_rnd(stream->duration, stream->time_base, AVRational{1, 1000}, AV_ROUND_ZERO);
        d->m_durationStated = d->m_formatContext->duration_estimation_method == AVFMT_DURATION_FROM_STREAM;
    } else if (d->m_formatContext->duration != AV_NOPTS_VALUE && d->m_formatContext->duration > 0) {
        durationMs = d->m_formatContext->duration / (AV_TIME_BASE / 1000);
    }
    if (durationMs >= 0)
        setDurationMs(durationMs);
    // A handler may have stopped the decoding (a sound that is too long).
    if (d->m_finished)
        return;

    result = createFilterGraph();
    if (result < 0) {
        qDebug() << result << "Could not create filter graph";
        if (d->m_error.isEmpty())
            d->m_error = QStringLiteral("Could not create filter graph: ") + ffmpegErrorText(result);
        stop();
        return;
    }

    AVChannelLayout layout{};
    av_buffersink_get_ch_layout(d->m_sinkContext, &layout);
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    QAudioFormat format;
    format.setSampleRate(av_buffersink_get_sample_rate(d->m_sinkContext));
    format.setSampleFormat(av_buffersink_get_format(d->m_sinkContext) == AV_SAMPLE_FMT_S16 ? QAudioFormat::Int16
                                                                                          : QAudioFormat::Unknown);
    if (av_channel_layout_compare(&layout, &stereo) == 0)
        format.setChannelConfig(QAudioFormat::ChannelConfigStereo);
    else
        format.setChannelCount(layout.nb_channels);
    av_channel_layout_uninit(&layout);
    if (format != d->m_format) {
        d->m_format = format;
        Q_EMIT formatChanged(format);
        if (d->m_finished)
            return;
    }

    d->m_reading = true;
    d->m_stepQueued = true;
    Q_EMIT processNextFrame();
}

void FfmpegAudioDecoder::handleNextFrame()
{
    d->m_stepQueued = false;
    if (d->m_reading && !d->m_finished) {
        const int result = decodeStep();
        if (result >= 0) {
            d->m_stepQueued = true;
            Q_EMIT processNextFrame();
            // After queueing, so that a stop() from a handler lets the queued
            // step end the decoding.
            if (d->m_format.bytesPerFrame() > 0)
                setPositionMs(d->m_format.durationForBytes(d->m_pcm.size()) / 1000);
            return;
        }
    }
    finish();
}

void FfmpegAudioDecoder::stop()
{
    d->m_reading = false;
    if (!d->m_stepQueued)
        finish();
}

void FfmpegAudioDecoder::finalize()
{
    finish();
}

void FfmpegAudioDecoder::setDurationMs(qlonglong durationMs)
{
    if (durationMs == d->m_durationMs)
        return;
    d->m_durationMs = durationMs;
    Q_EMIT durationMsChanged(durationMs);
}

void FfmpegAudioDecoder::setPositionMs(qlonglong positionMs)
{
    if (positionMs == d->m_positionMs)
        return;
    d->m_positionMs = positionMs;
    Q_EMIT positionMsChanged(positionMs);
}

int FfmpegAudioDecoder::openInput()
{
    if (!d->m_ioContext || !d->m_packet || !d->m_frame) {
        fail(AVERROR(ENOMEM), "Could not open source");
        return AVERROR(ENOMEM);
    }
    d->m_formatContext = avformat_alloc_context();
    if (!d->m_formatContext) {
        fail(AVERROR(ENOMEM), "Could not open source");
        return AVERROR(ENOMEM);
    }
    d->m_formatContext->pb = d->m_ioContext;
    // On failure the context is freed and the pointer cleared; the custom I/O
    // context stays ours.
    int result = avformat_open_input(&d->m_formatContext, "dummyFileName", nullptr, nullptr);
    if (result < 0) {
        fail(result, "Could not open source");
        return result;
    }
    result = avformat_find_stream_info(d->m_formatContext, nullptr);
    if (result < 0) {
        fail(result, "Could not find stream information");
        return result;
    }

    const AVCodec *codec = nullptr;
    result = av_find_best_stream(d->m_formatContext, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (result == AVERROR_STREAM_NOT_FOUND) {
        fail(result, "Could not find audio stream in input");
        qDebug() << result << "Failed to find audio codec";
        return result;
    }
    if (result < 0 || !codec) {
        fail(result < 0 ? result : AVERROR_DECODER_NOT_FOUND, "Failed to find audio codec");
        return result < 0 ? result : AVERROR_DECODER_NOT_FOUND;
    }
    d->m_streamIndex = result;
    const AVStream *stream = d->m_formatContext->streams[d->m_streamIndex];
    result = checkSoundFormat(stream->codecpar->sample_rate, stream->codecpar->ch_layout.nb_channels);
    if (result < 0)
        return result;

    d->m_codecContext = avcodec_alloc_context3(codec);
    if (!d->m_codecContext) {
        fail(AVERROR(ENOMEM), "Failed to allocate the audio codec context");
        return AVERROR(ENOMEM);
    }
    result = avcodec_parameters_to_context(d->m_codecContext, stream->codecpar);
    if (result < 0) {
        fail(result, "Failed to copy audio codec parameters to decoder context");
        return result;
    }
    d->m_codecContext->pkt_timebase = stream->time_base;
    result = avcodec_open2(d->m_codecContext, codec, nullptr);
    if (result < 0) {
        fail(result, "Failed to open audio codec");
        return result;
    }
    // The codec may know better than the container; the graph is set up
    // from what it says.
    return checkSoundFormat(d->m_codecContext->sample_rate, d->m_codecContext->ch_layout.nb_channels);
}

int FfmpegAudioDecoder::checkSoundFormat(int sampleRate, int channels)
{
    if (sampleRate > MaximumSampleRate) {
        d->m_error = tr("The sound states a sample rate of %1 Hz; no sound has more than %2 Hz.")
                         .arg(sampleRate)
                         .arg(MaximumSampleRate);
        return AVERROR_INVALIDDATA;
    }
    if (channels > MaximumChannels) {
        d->m_error = tr("The sound has %1 channels; at most %2 can be played.").arg(channels).arg(MaximumChannels);
        return AVERROR_INVALIDDATA;
    }
    return 0;
}

int FfmpegAudioDecoder::createFilterGraph()
{
    d->m_filterGraph = avfilter_graph_alloc();
    if (!d->m_filterGraph)
        return AVERROR(ENOMEM);

    AVCodecContext *codec = d->m_codecContext;
    if (codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        const int channels = codec->ch_layout.nb_channels;
        av_channel_layout_uninit(&codec->ch_layout);
        av_channel_layout_default(&codec->ch_layout, channels);
    }
    const char *sampleFormat = av_get_sample_fmt_name(codec->sample_fmt);
    if (!sampleFormat || codec->sample_rate < 1 || codec->ch_layout.nb_channels < 1)
        return AVERROR_INVALIDDATA;

    const AVRational timeBase = d->m_formatContext->streams[d->m_streamIndex]->time_base;
    char arguments[512];
    const int used = std::snprintf(arguments, sizeof arguments,
                                   "time_base=%d/%d:sample_rate=%d:sample_fmt=%s:channel_layout=", timeBase.num,
                                   timeBase.den, codec->sample_rate, sampleFormat);
    if (used < 0 || used >= int(sizeof arguments))
        return AVERROR(EINVAL);
    if (av_channel_layout_describe(&codec->ch_layout, arguments + used, sizeof arguments - used) < 0)
        return AVERROR(EINVAL);

    int result = avfilter_graph_create_filter(&d->m_sourceContext, avfilter_get_by_name("abuffer"), "in", arguments,
                                              nullptr, d->m_filterGraph);
    if (result < 0) {
        av_log(nullptr, AV_LOG_ERROR, "Cannot create audio buffer source\n");
        return result;
    }
    result = avfilter_graph_create_filter(&d->m_sinkContext, avfilter_get_by_name("abuffersink"), "out", nullptr,
                                          nullptr, d->m_filterGraph);
    if (result < 0) {
        av_log(nullptr, AV_LOG_ERROR, "Cannot create audio buffer sink\n");
        return result;
    }

    AVFilterInOut *outputs = avfilter_inout_alloc();
    AVFilterInOut *inputs = avfilter_inout_alloc();
    if (outputs && inputs) {
        outputs->name = av_strdup("in");
        outputs->filter_ctx = d->m_sourceContext;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = d->m_sinkContext;
        result = avfilter_graph_parse_ptr(d->m_filterGraph, ConversionFilter, &inputs, &outputs, nullptr);
        if (result >= 0)
            result = avfilter_graph_config(d->m_filterGraph, nullptr);
    } else {
        result = AVERROR(ENOMEM);
    }
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    return result;
}

int FfmpegAudioDecoder::decodeStep()
{
    int result = av_read_frame(d->m_formatContext, d->m_packet);
    if (result < 0) {
        // A read error ends the input like its end does, so that the sound
        // that the decoder and the graph still hold is not lost.
        if (result != AVERROR_EOF && d->m_error.isEmpty())
            d->m_error = QStringLiteral("Could not read the source: ") + ffmpegErrorText(result);
        d->m_reading = false;
        if (avcodec_send_packet(d->m_codecContext, nullptr) < 0)
            av_log(nullptr, AV_LOG_ERROR, "Error while closing the decoder\n");
        result = drainDecoder();
        if (result >= 0 && d->m_error.isEmpty() && d->m_durationStated && d->m_format.bytesPerFrame() > 0) {
            const qint64 decodedMs = d->m_format.durationForBytes(d->m_pcm.size()) / 1000;
            if (d->m_durationMs - decodedMs > qMax(TruncationToleranceMs, d->m_durationMs / 100))
                d->m_error = QStringLiteral("The sound file ends before its stated length");
        }
        return result;
    }

    if (d->m_packet->stream_index != d->m_streamIndex) {
        av_packet_unref(d->m_packet);
        return 0;
    }
    result = avcodec_send_packet(d->m_codecContext, d->m_packet);
    av_packet_unref(d->m_packet);
    if (result < 0) {
        av_log(nullptr, AV_LOG_ERROR, "Error while sending a packet to the decoder\n");
        if (d->m_error.isEmpty())
            d->m_error = QStringLiteral("Error while sending a packet to the decoder: ") + ffmpegErrorText(result);
        return result;
    }
    return drainDecoder();
}

// Takes every frame the decoder has ready through the graph; after the
// decoder has been flushed this also flushes the graph.
int FfmpegAudioDecoder::drainDecoder()
{
    for (;;) {
        int result = avcodec_receive_frame(d->m_codecContext, d->m_frame);
        if (result == AVERROR(EAGAIN))
            return 0;
        if (result == AVERROR_EOF) {
            if (av_buffersrc_add_frame(d->m_sourceContext, nullptr) < 0)
                av_log(nullptr, AV_LOG_ERROR, "Error while closing the filtergraph\n");
            return drainFilterGraph();
        }
        if (result < 0) {
            av_log(nullptr, AV_LOG_ERROR, "Error while receiving a frame from the decoder\n");
            if (d->m_error.isEmpty())
                d->m_error =
                    QStringLiteral("Error while receiving a frame from the decoder: ") + ffmpegErrorText(result);
            return result;
        }
        // The graph takes the frame's data and leaves the frame blank.
        result = av_buffersrc_add_frame(d->m_sourceContext, d->m_frame);
        if (result < 0) {
            // A frame the graph refuses (its format changed midway) is
            // dropped; the rest of the sound still plays.
            av_log(nullptr, AV_LOG_ERROR, "Error while feeding the audio filtergraph\n");
            av_frame_unref(d->m_frame);
            continue;
        }
        result = drainFilterGraph();
        if (result < 0)
            return result;
    }
}

int FfmpegAudioDecoder::drainFilterGraph()
{
    for (;;) {
        const int result = av_buffersink_get_frame(d->m_sinkContext, d->m_frame);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return 0;
        if (result < 0) {
            if (d->m_error.isEmpty())
                d->m_error = QStringLiteral("Could not convert the sound: ") + ffmpegErrorText(result);
            return result;
        }
        const AVFrame *frame = d->m_frame;
        const int bytesPerSample = av_get_bytes_per_sample(AVSampleFormat(frame->format));
        const qint64 bytes = qint64(frame->nb_samples) * frame->ch_layout.nb_channels * bytesPerSample;
        if (d->m_pcm.size() + bytes > MaxPcmBytes) {
            av_frame_unref(d->m_frame);
            if (d->m_error.isEmpty())
                d->m_error = QStringLiteral("The sound is too long");
            return AVERROR(ENOMEM);
        }
        if (bytes > 0)
            d->m_pcm.append(reinterpret_cast<const char *>(frame->data[0]), bytes);
        av_frame_unref(d->m_frame);
    }
}

void FfmpegAudioDecoder::fail(int code, const char *message)
{
    qDebug() << code << message;
    if (d->m_error.isEmpty())
        d->m_error = QString::fromLatin1(message) + QStringLiteral(": ") + ffmpegErrorText(code);
}

void FfmpegAudioDecoder::releaseFfmpeg()
{
    // Freeing the graph frees its filter contexts.
    avfilter_graph_free(&d->m_filterGraph);
    d->m_sourceContext = nullptr;
    d->m_sinkContext = nullptr;
    avcodec_free_context(&d->m_codecContext);
    avformat_close_input(&d->m_formatContext);
}

void FfmpegAudioDecoder::finish()
{
    if (d->m_finished)
        return;
    d->m_finished = true;
    d->m_reading = false;
    d->m_stepQueued = false;
    releaseFfmpeg();
    Q_EMIT finished();
}

} // namespace Model
