#include "export/ffmpegvideoencoder.h"

#include "export/ffmpegpipeline.h"
#include "export/muxer.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QThread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <vector>

namespace Model {

namespace {

// QImage's 32-bit pixels as they lie in memory.
constexpr AVPixelFormat ImagePixelFormat = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? AV_PIX_FMT_BGRA : AV_PIX_FMT_ARGB;

constexpr int IoBufferSize = 32768;

bool closeToInteger(double x)
{
    const double rounded = std::round(x);
    return std::abs(x - rounded) * 1e12 <= std::min(std::abs(x), std::abs(rounded));
}

const AVCodec *videoEncoderFor(ExportVideoSettings::VideoFormat format)
{
    switch (format) {
    case ExportVideoSettings::GIF:
        return avcodec_find_encoder(AV_CODEC_ID_GIF);
    case ExportVideoSettings::MP4:
        return avcodec_find_encoder(AV_CODEC_ID_H264);
    case ExportVideoSettings::ProRes:
        return avcodec_find_encoder_by_name("prores_ks");
    }
    return nullptr;
}

// The pixel format a movie of settings is encoded in; AV_PIX_FMT_NONE when
// the encoder is missing.
AVPixelFormat pixelFormatFor(const ExportVideoSettings &settings, const AVCodec *codec)
{
    if (!codec)
        return AV_PIX_FMT_NONE;
    if (codec->id == AV_CODEC_ID_H264 || codec->id == AV_CODEC_ID_HEVC)
        return AV_PIX_FMT_YUV420P;
    if (codec->id == AV_CODEC_ID_PRORES)
        return settings.includeAlpha ? AV_PIX_FMT_YUVA444P10LE : AV_PIX_FMT_YUV422P10LE;
    return codec->pix_fmts ? codec->pix_fmts[0] : AV_PIX_FMT_NONE;
}

bool isYuv(AVPixelFormat format)
{
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(format);
    return descriptor && !(descriptor->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL))
        && descriptor->nb_components >= 3;
}

bool hasAlpha(AVPixelFormat format)
{
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(format);
    return descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA);
}

const char *containerFor(ExportVideoSettings::VideoFormat format)
{
    switch (format) {
    case ExportVideoSettings::GIF:
        return "gif";
    case ExportVideoSettings::MP4:
        return "mp4";
    case ExportVideoSettings::ProRes:
        return "mov";
    }
    return "mp4";
}

QByteArray fileSystemName(const QString &path)
{
#ifdef Q_OS_WIN
    // FFmpeg's file protocol takes UTF-8 on Windows.
    return QDir::toNativeSeparators(path).toUtf8();
#else
    return QFile::encodeName(path);
#endif
}

QString describe(const AVChannelLayout &layout)
{
    char text[128] = {};
    av_channel_layout_describe(&layout, text, sizeof text);
    return QString::fromLatin1(text);
}

void logUnusedOptions(const char *where, AVDictionary *options)
{
    const AVDictionaryEntry *entry = nullptr;
    while ((entry = av_dict_get(options, "", entry, AV_DICT_IGNORE_SUFFIX)))
        qDebug().noquote() << where << entry->key << entry->value;
}

// Reading the sound file through the device FFmpeg is handed.
int readDevice(void *opaque, uint8_t *buffer, int size)
{
    auto *device = static_cast<QIODevice *>(opaque);
    if (device->atEnd())
        return AVERROR_EOF;
    const qint64 count = device->read(reinterpret_cast<char *>(buffer), size);
    if (count == 0)
        return AVERROR_EOF;
    return count < 0 ? AVERROR(EIO) : int(count);
}

int64_t seekDevice(void *opaque, int64_t offset, int whence)
{
    auto *device = static_cast<QIODevice *>(opaque);
    if (!device->isOpen() || device->isSequential())
        return -1;
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE)
        return device->size();
    const qint64 base = whence == SEEK_CUR ? device->pos() : whence == SEEK_END ? device->size() : 0;
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END)
        return -1;
    const qint64 target = base + offset;
    if (target < 0 || target > device->size() || !device->seek(target))
        return -1;
    return device->pos();
}

void releaseImage(void *opaque, uint8_t *)
{
    delete static_cast<QImage *>(opaque);
}

void setFrameDuration(AVFrame &frame, int64_t duration)
{
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(58, 2, 100)
    frame.duration = duration;
#else
    frame.pkt_duration = duration;
#endif
}

} // namespace

// One encoder's or filter graph's share of an output stream.
struct OutputStream
{
    AVStream *stream = nullptr;
    AVCodecContext *encoder = nullptr;
    AVFilterGraph *graph = nullptr;
    AVFilterContext *source = nullptr;
    AVFilterContext *sink = nullptr;

    void release()
    {
        avcodec_free_context(&encoder);
        avfilter_graph_free(&graph);
        source = nullptr;
        sink = nullptr;
    }
};

class FfmpegVideoEncoder::FfmpegVideoEncoderPrivate
{
public:
    // A stage's loop, run once on its own thread. Each loop passes the end
    // of its stream on and returns; when its queues close it returns at once.
    class Stage : public QObject
    {
    public:
        explicit Stage(FfmpegPipeline &pipeline)
            : m_pipeline(pipeline)
        {
        }
        virtual void run() = 0;

    protected:
        // After one input went in: takes every output that receive() gives
        // (returning FFmpeg's error code as its receive functions do),
        // completes it with stamp() and hands it on, passing the end of the
        // stream on when it comes. False when the stage is done: its stream
        // has ended, its queue was closed or it failed.
        template<typename Element, typename Receive, typename Stamp>
        bool handOn(BlockingQueue<Element> &output, bool flushing, Receive receive, Stamp stamp, const char *failure)
        {
            for (;;) {
                Element element;
                if constexpr (std::is_same_v<Element, AvFramePtr>)
                    element.reset(av_frame_alloc());
                else
                    element.reset(av_packet_alloc());
                const int result = element ? receive(element.get()) : AVERROR(ENOMEM);
                if (result == AVERROR(EAGAIN) && !flushing)
                    return true;
                // Once flushed, nothing more can come.
                if (result == AVERROR_EOF || result == AVERROR(EAGAIN)) {
                    output.push(nullptr);
                    return false;
                }
                if (result < 0) {
                    m_pipeline.fail(EncodingError, FfmpegVideoEncoder::tr(failure).arg(ffmpegErrorText(result)));
                    return false;
                }
                stamp(*element);
                if (!output.push(std::move(element)))
                    return false;
            }
        }

        FfmpegPipeline &m_pipeline;
    };

    // Asks the frame source for pictures and hands them on as BGRA frames,
    // numbered from 0 in the video's time base.
    class VideoGenerator : public Stage
    {
    public:
        VideoGenerator(FfmpegPipeline &pipeline, FrameSource source, QSize size, AVRational timeBase, bool keepAlpha)
            : Stage(pipeline)
            , m_source(std::move(source))
            , m_size(size)
            , m_timeBase(timeBase)
            , m_keepAlpha(keepAlpha)
        {
        }

        void run() override
        {
            for (int64_t pts = 0;; ++pts) {
                if (m_pipeline.isAbandoned())
                    return;
                QImage image = m_source ? m_source() : QImage();
                if (image.isNull()) {
                    m_pipeline.pictures.push(nullptr);
                    return;
                }
                AvFramePtr frame = toFrame(std::move(image), pts);
                if (!frame) {
                    m_pipeline.fail(EncodingError, FfmpegVideoEncoder::tr("Could not allocate frame."));
                    return;
                }
                if (!m_pipeline.pictures.push(std::move(frame)))
                    return;
                ++m_pipeline.picturesMade;
            }
        }

    private:
        // The image's pixels become the frame's without a copy; the frame
        // keeps the image until the filter is done with it.
        AvFramePtr toFrame(QImage image, int64_t pts) const
        {
            if (image.size() != m_size)
                image = image.scaled(m_size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            // The encoders take straight alpha. Without alpha in the movie
            // the pictures are opaque, where premultiplied pixels equal
            // straight ones.
            if (m_keepAlpha || (image.format() != QImage::Format_ARGB32_Premultiplied
                                && image.format() != QImage::Format_RGB32))
                image.convertTo(QImage::Format_ARGB32);
            AvFramePtr frame(av_frame_alloc());
            if (!frame)
                return {};
            auto *held = new QImage(std::move(image));
            auto *data = const_cast<uint8_t *>(held->constBits());
            frame->buf[0] = av_buffer_create(data, size_t(held->sizeInBytes()), releaseImage, held,
                                             AV_BUFFER_FLAG_READONLY);
            if (!frame->buf[0]) {
                delete held;
                return {};
            }
            frame->data[0] = data;
            frame->linesize[0] = int(held->bytesPerLine());
            frame->format = ImagePixelFormat;
            frame->width = held->width();
            frame->height = held->height();
            frame->color_trc = AVCOL_TRC_IEC61966_2_1;
            frame->colorspace = AVCOL_SPC_RGB;
            frame->color_range = AVCOL_RANGE_JPEG;
            frame->sample_aspect_ratio = AVRational{1, 1};
            frame->time_base = m_timeBase;
            frame->pts = pts;
            setFrameDuration(*frame, 1);
            return frame;
        }

        FrameSource m_source;
        QSize m_size;
        AVRational m_timeBase;
        bool m_keepAlpha = false;
    };

    // Feeds frames through a filter graph; the end of the input flushes it.
    class Filter : public Stage
    {
    public:
        Filter(FfmpegPipeline &pipeline, const OutputStream &stream, FrameQueue &input, FrameQueue &output)
            : Stage(pipeline)
            , m_source(stream.source)
            , m_sink(stream.sink)
            , m_input(input)
            , m_output(output)
        {
        }

        void run() override
        {
            for (;;) {
                std::optional<AvFramePtr> frame = m_input.pop();
                if (!frame)
                    return;
                const bool flushing = !*frame;
                if (av_buffersrc_add_frame_flags(m_source, frame->get(), 0) < 0) {
                    m_pipeline.fail(EncodingError, FfmpegVideoEncoder::tr("Error while feeding the filtergraph"));
                    return;
                }
                const auto receive = [this](AVFrame *filtered) { return av_buffersink_get_frame(m_sink, filtered); };
                const auto stamp = [this](AVFrame &filtered) {
                    filtered.time_base = av_buffersink_get_time_base(m_sink);
                };
                if (!handOn(m_output, flushing, receive, stamp,
                            QT_TRANSLATE_NOOP("Model::FfmpegVideoEncoder", "Error while filtering: %1")))
                    return;
            }
        }

    private:
        AVFilterContext *m_source;
        AVFilterContext *m_sink;
        FrameQueue &m_input;
        FrameQueue &m_output;
    };

    // Encodes frames into packets in the encoder's time base; the end of the
    // input drains the encoder.
    class Encoder : public Stage
    {
    public:
        Encoder(FfmpegPipeline &pipeline, AVCodecContext *encoder, FrameQueue &input, PacketQueue &output)
            : Stage(pipeline)
            , m_encoder(encoder)
            , m_input(input)
            , m_output(output)
        {
        }

        void run() override
        {
            for (;;) {
                std::optional<AvFramePtr> frame = m_input.pop();
                if (!frame)
                    return;
                if (AVFrame *f = frame->get()) {
                    f->pts = av_rescale_q(f->pts, f->time_base, m_encoder->time_base);
                    f->time_base = m_encoder->time_base;
                    f->pict_type = AV_PICTURE_TYPE_NONE;
                    // Some encoders (ProRes) write the frame's colour tags
                    // rather than the stream's.
                    if (m_encoder->codec_type == AVMEDIA_TYPE_VIDEO && m_encoder->colorspace != AVCOL_SPC_UNSPECIFIED) {
                        f->color_primaries = m_encoder->color_primaries;
                        f->color_trc = m_encoder->color_trc;
                        f->colorspace = m_encoder->colorspace;
                        f->color_range = m_encoder->color_range;
                    }
                }
                const int result = avcodec_send_frame(m_encoder, frame->get());
                if (result < 0) {
                    m_pipeline.fail(EncodingError, FfmpegVideoEncoder::tr("Error sending a frame to the encoder: %1")
                                                       .arg(ffmpegErrorText(result)));
                    return;
                }
                const auto receive = [this](AVPacket *packet) { return avcodec_receive_packet(m_encoder, packet); };
                const auto stamp = [this](AVPacket &packet) {
                    packet.time_base = m_encoder->time_base;
                    // Each picture lasts one frame; without it the muxer
                    // gives the last picture no time on screen.
                    if (packet.duration <= 0 && m_encoder->codec_type == AVMEDIA_TYPE_VIDEO)
                        packet.duration = av_rescale_q(1, av_inv_q(m_encoder->framerate), m_encoder->time_base);
                };
                if (!handOn(m_output, !*frame, receive, stamp,
                            QT_TRANSLATE_NOOP("Model::FfmpegVideoEncoder", "Error while encoding: %1")))
                    return;
            }
        }

    private:
        AVCodecContext *m_encoder;
        FrameQueue &m_input;
        PacketQueue &m_output;
    };

    // Reads the sound file's packets of one stream.
    class PacketReader : public Stage
    {
    public:
        PacketReader(FfmpegPipeline &pipeline, AVFormatContext *input, int streamIndex)
            : Stage(pipeline)
            , m_input(input)
            , m_streamIndex(streamIndex)
        {
        }

        void run() override
        {
            for (;;) {
                AvPacketPtr packet(av_packet_alloc());
                if (!packet) {
                    m_pipeline.fail(EncodingError, FfmpegVideoEncoder::tr("Could not allocate packet."));
                    return;
                }
                const int result = av_read_frame(m_input, packet.get());
                if (result < 0) {
                    // A damaged end of the sound ends it, as playback does.
                    if (result != AVERROR_EOF)
                        qWarning().noquote()
                            << "Movie export: error while reading the sound:" << ffmpegErrorText(result);
                    m_pipeline.soundPackets.push(nullptr);
                    return;
                }
                if (packet->stream_index != m_streamIndex)
                    continue;
                packet->time_base = m_input->streams[m_streamIndex]->time_base;
                if (!m_pipeline.soundPackets.push(std::move(packet)))
                    return;
            }
        }

    private:
        AVFormatContext *m_input;
        int m_streamIndex;
    };

    // Decodes the sound's packets; a damaged packet is skipped, as a player
    // skips it.
    class Decoder : public Stage
    {
    public:
        Decoder(FfmpegPipeline &pipeline, AVCodecContext *decoder)
            : Stage(pipeline)
            , m_decoder(decoder)
        {
        }

        void run() override
        {
            for (;;) {
                std::optional<AvPacketPtr> packet = m_pipeline.soundPackets.pop();
                if (!packet)
                    return;
                const int result = avcodec_send_packet(m_decoder, packet->get());
                if (result == AVERROR_INVALIDDATA) {
                    qWarning().noquote() << "Movie export: skipped a damaged sound packet";
                    continue;
                }
                if (result < 0) {
                    m_pipeline.fail(EncodingError, FfmpegVideoEncoder::tr("Error sending a packet to the decoder: %1")
                                                       .arg(ffmpegErrorText(result)));
                    return;
                }
                const auto receive = [this](AVFrame *frame) {
                    int received = AVERROR_INVALIDDATA;
                    while (received == AVERROR_INVALIDDATA)
                        received = avcodec_receive_frame(m_decoder, frame);
                    return received;
                };
                const auto stamp = [this](AVFrame &frame) {
                    frame.pts = frame.best_effort_timestamp;
                    frame.time_base = m_decoder->pkt_timebase;
                };
                if (!handOn(m_pipeline.soundFrames, !*packet, receive, stamp,
                            QT_TRANSLATE_NOOP("Model::FfmpegVideoEncoder", "Error while decoding the sound: %1")))
                    return;
            }
        }

    private:
        AVCodecContext *m_decoder;
    };

    ~FfmpegVideoEncoderPrivate() { release(); }

    FfmpegVideoEncoder::Error setUp(QString *error);
    FfmpegVideoEncoder::Error setUpVideo(QString *error);
    FfmpegVideoEncoder::Error setUpAudio(QString *error);
    bool buildFilterGraph(OutputStream &stream, const char *sourceFilter, const char *sinkFilter,
                          const QByteArray &sourceArguments, const QByteArray &description);
    void launch(Stage *stage, const char *name);
    void launchStages(FfmpegVideoEncoder *encoder);
    // Ends every stage and waits for its thread.
    void joinStages();
    void closeOutput();
    void release();

    AVRational timeBase() const { return AVRational{m_frameRate.denominator, m_frameRate.numerator}; }

    ExportVideoSettings m_settings;
    QSize m_outputSize;
    FrameRate m_frameRate;
    FrameSource m_frameSource;
    QString m_outputPath;

    QIODevice *m_audioDevice = nullptr;
    double m_audioOffsetFrames = 0.0;
    int m_lengthFrames = 0;
    AVIOContext *m_inputIo = nullptr;
    AVFormatContext *m_input = nullptr;
    AVCodecContext *m_decoder = nullptr;
    int m_soundStreamIndex = -1;

    AVFormatContext *m_output = nullptr;
    OutputStream m_video;
    OutputStream m_audio;
    bool m_headerWritten = false;

    FfmpegPipeline m_pipeline;
    struct Running
    {
        std::unique_ptr<QThread> thread;
        std::unique_ptr<QObject> stage;
    };
    std::vector<Running> m_running;
    Muxer *m_muxer = nullptr;

    bool m_started = false;
    bool m_stopped = false;
    bool m_finished = false;
};

FfmpegVideoEncoder::Error FfmpegVideoEncoder::FfmpegVideoEncoderPrivate::setUp(QString *error)
{
    const QByteArray path = fileSystemName(m_outputPath);
    const AVOutputFormat *format = av_guess_format(nullptr, path.constData(), nullptr);
    if (!format)
        format = av_guess_format(containerFor(m_settings.videoFormat), nullptr, nullptr);
    if (avformat_alloc_output_context2(&m_output, format, nullptr, path.constData()) < 0 || !m_output) {
        *error = tr("Could not allocate output context");
        return SetupError;
    }

    if (const Error result = setUpVideo(error); result != NoError)
        return result;
    if (m_settings.includeAudio && m_audioDevice && m_settings.videoFormat != ExportVideoSettings::GIF) {
        if (const Error result = setUpAudio(error); result != NoError)
            return result;
    }

    for (auto it = m_settings.metadata.cbegin(); it != m_settings.metadata.cend(); ++it)
        av_dict_set(&m_output->metadata, it.key().toUtf8().constData(), it.value().toUtf8().constData(), 0);

    if (!(m_output->oformat->flags & AVFMT_NOFILE)) {
        const int result = avio_open(&m_output->pb, path.constData(), AVIO_FLAG_WRITE);
        if (result < 0) {
            *error = tr("Could not open '%1': %2")
                         .arg(QDir::toNativeSeparators(m_outputPath), ffmpegErrorText(result));
            return WritingError;
        }
    }
    AVDictionary *options = nullptr;
    if (m_settings.videoFormat == ExportVideoSettings::MP4
        || m_settings.videoFormat == ExportVideoSettings::ProRes) {
        // A plain movie with its index in front, so that players start
        // before the whole file has come. Not fragmented: fragments carry
        // no edit list, which is what tells players to drop the AAC
        // encoder's priming and to show the first picture at time 0, and
        // fragments of a QuickTime movie leave readers without the frames'
        // durations, so that the last frame would get no time on screen.
        av_dict_set(&options, "movflags", "+faststart", 0);
    }
    const int result = avformat_write_header(m_output, &options);
    logUnusedOptions("Unused options in header", options);
    av_dict_free(&options);
    if (result < 0) {
        *error = tr("Error occurred when opening output file '%1': %2")
                     .arg(QDir::toNativeSeparators(m_outputPath), ffmpegErrorText(result));
        return WritingError;
    }
    m_headerWritten = true;
    return NoError;
}

FfmpegVideoEncoder::Error FfmpegVideoEncoder::FfmpegVideoEncoderPrivate::setUpVideo(QString *error)
{
    const AVCodec *codec = videoEncoderFor(m_settings.videoFormat);
    const AVPixelFormat pixelFormat = pixelFormatFor(m_settings, codec);
    if (!codec || pixelFormat == AV_PIX_FMT_NONE) {
        *error = tr("Missing codec");
        return SetupError;
    }
    m_video.stream = avformat_new_stream(m_output, nullptr);
    if (!m_video.stream) {
        *error = tr("Could not allocate stream");
        return SetupError;
    }
    m_video.stream->id = int(m_output->nb_streams) - 1;
    m_video.encoder = avcodec_alloc_context3(codec);
    if (!m_video.encoder) {
        *error = tr("Could not alloc an encoding context");
        return SetupError;
    }
    AVCodecContext *encoder = m_video.encoder;
    encoder->width = m_outputSize.width();
    encoder->height = m_outputSize.height();
    encoder->field_order = AV_FIELD_PROGRESSIVE;
    encoder->sample_aspect_ratio = AVRational{1, 1};
    encoder->time_base = timeBase();
    encoder->framerate = AVRational{m_frameRate.numerator, m_frameRate.denominator};
    encoder->pix_fmt = pixelFormat;
    // As many threads as the encoder finds useful, as FFmpeg's own program
    // asks; the library's default is one.
    encoder->thread_count = 0;
    if (isYuv(pixelFormat)) {
        // The pictures are converted with the BT.709 matrix (see the filter
        // graph), and the stream says so.
        encoder->color_primaries = AVCOL_PRI_BT709;
        encoder->color_trc = AVCOL_TRC_BT709;
        encoder->colorspace = AVCOL_SPC_BT709;
        encoder->color_range = AVCOL_RANGE_MPEG;
    }
    if (m_output->oformat->flags & AVFMT_GLOBALHEADER)
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    m_video.stream->avg_frame_rate = encoder->framerate;
    m_video.stream->time_base = encoder->time_base;
    av_dict_set(&m_video.stream->metadata, "encoder",
                QStringLiteral("Lavc%1.%2.%3 %4")
                    .arg(LIBAVCODEC_VERSION_MAJOR)
                    .arg(LIBAVCODEC_VERSION_MINOR)
                    .arg(LIBAVCODEC_VERSION_MICRO)
                    .arg(QLatin1String(codec->name))
                    .toUtf8()
                    .constData(),
                0);

    AVDictionary *options = nullptr;
    if (m_settings.videoFormat == ExportVideoSettings::MP4) {
        av_dict_set(&options, "profile", "high", 0);
    } else if (m_settings.videoFormat == ExportVideoSettings::ProRes) {
        av_dict_set(&options, "profile", m_settings.includeAlpha ? "4444" : "hq", 0);
    }
    int result = avcodec_open2(encoder, codec, &options);
    logUnusedOptions("Unused options in video stream", options);
    av_dict_free(&options);
    if (result < 0) {
        *error = tr("Could not open video codec: %1").arg(ffmpegErrorText(result));
        return SetupError;
    }

    const AVRational base = timeBase();
    const QByteArray arguments = QStringLiteral("video_size=%1x%2:pix_fmt=%3:time_base=%4/%5:pixel_aspect=1/1")
                                     .arg(m_outputSize.width())
                                     .arg(m_outputSize.height())
                                     .arg(int(ImagePixelFormat))
                                     .arg(base.num)
                                     .arg(base.den)
                                     .toLatin1();
    // Without a matrix the conversion to YUV would take BT.601's, and the
    // colours would shift against the BT.709 the stream is tagged with.
    QByteArray description = isYuv(pixelFormat) ? QByteArrayLiteral("scale=out_color_matrix=bt709:out_range=tv,")
                                                : QByteArray();
    description += "format=pix_fmts=";
    description += av_get_pix_fmt_name(pixelFormat);
    if (!buildFilterGraph(m_video, "buffer", "buffersink", arguments, description)) {
        *error = tr("Cannot create the video filter graph");
        return SetupError;
    }
    if (avcodec_parameters_from_context(m_video.stream->codecpar, encoder) < 0) {
        *error = tr("Could not copy the stream parameters");
        return SetupError;
    }
    return NoError;
}

FfmpegVideoEncoder::Error FfmpegVideoEncoder::FfmpegVideoEncoderPrivate::setUpAudio(QString *error)
{
    const auto failed = [error](const char *text) {
        *error = tr(text);
        return SetupError;
    };
    const bool quickTime = m_settings.videoFormat == ExportVideoSettings::ProRes;
    const AVCodec *codec = avcodec_find_encoder(quickTime ? AV_CODEC_ID_ALAC : AV_CODEC_ID_AAC);
    if (!codec)
        return failed("Missing codec");

    auto *ioBuffer = static_cast<unsigned char *>(av_malloc(IoBufferSize + AV_INPUT_BUFFER_PADDING_SIZE));
    if (ioBuffer)
        m_inputIo = avio_alloc_context(ioBuffer, IoBufferSize, 0, m_audioDevice, readDevice, nullptr, seekDevice);
    if (!m_inputIo) {
        av_free(ioBuffer);
        return failed("Could not open source");
    }
    m_input = avformat_alloc_context();
    if (!m_input)
        return failed("Could not open source");
    m_input->pb = m_inputIo;
    m_input->flags |= AVFMT_FLAG_CUSTOM_IO;
    // On failure avformat_open_input frees the context and clears the pointer.
    if (avformat_open_input(&m_input, "dummyFileName", nullptr, nullptr) < 0)
        return failed("Could not open source");
    if (avformat_find_stream_info(m_input, nullptr) < 0)
        return failed("Could not find stream information");
    const AVCodec *decoderCodec = nullptr;
    m_soundStreamIndex = av_find_best_stream(m_input, AVMEDIA_TYPE_AUDIO, -1, -1, &decoderCodec, 0);
    if (m_soundStreamIndex < 0)
        return failed("Could not find audio stream in input");
    if (!decoderCodec)
        return failed("Failed to find audio codec");
    m_decoder = avcodec_alloc_context3(decoderCodec);
    if (!m_decoder)
        return failed("Failed to allocate the audio codec context");
    const AVStream *input = m_input->streams[m_soundStreamIndex];
    if (avcodec_parameters_to_context(m_decoder, input->codecpar) < 0)
        return failed("Failed to copy audio codec parameters to decoder context");
    m_decoder->pkt_timebase = input->time_base;
    if (avcodec_open2(m_decoder, decoderCodec, nullptr) < 0 || m_decoder->sample_rate <= 0)
        return failed("Failed to open audio codec");
    if (m_decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        const int channels = m_decoder->ch_layout.nb_channels;
        av_channel_layout_uninit(&m_decoder->ch_layout);
        av_channel_layout_default(&m_decoder->ch_layout, channels > 0 ? channels : 2);
    }

    m_audio.encoder = avcodec_alloc_context3(codec);
    if (!m_audio.encoder)
        return failed("Could not alloc an encoding context");
    AVCodecContext *encoder = m_audio.encoder;
    // Channels: the sound's own layout when the encoder takes it, else the
    // richest it takes that does not invent channels.
    const AVChannelLayout *layout = nullptr;
    if (codec->ch_layouts) {
        for (const AVChannelLayout *l = codec->ch_layouts; l->nb_channels; ++l) {
            if (av_channel_layout_compare(l, &m_decoder->ch_layout) == 0) {
                layout = l;
                break;
            }
            if (l->nb_channels <= m_decoder->ch_layout.nb_channels)
                layout = l;
        }
        if (!layout)
            layout = codec->ch_layouts;
        av_channel_layout_copy(&encoder->ch_layout, layout);
    } else {
        av_channel_layout_default(&encoder->ch_layout, std::max(1, std::min(m_decoder->ch_layout.nb_channels, 2)));
        if (m_decoder->ch_layout.nb_channels > 0)
            av_channel_layout_copy(&encoder->ch_layout, &m_decoder->ch_layout);
    }
    // Sample format: the sound's own, or its planar form, before the
    // encoder's first choice, so that no precision is lost or invented.
    encoder->sample_fmt = m_decoder->sample_fmt;
    if (codec->sample_fmts) {
        const auto takes = [codec](AVSampleFormat format) {
            for (const AVSampleFormat *f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
                if (*f == format)
                    return true;
            }
            return false;
        };
        if (!takes(encoder->sample_fmt))
            encoder->sample_fmt = takes(av_get_planar_sample_fmt(m_decoder->sample_fmt))
                                      ? av_get_planar_sample_fmt(m_decoder->sample_fmt)
                                      : codec->sample_fmts[0];
    }
    encoder->sample_rate = m_decoder->sample_rate;
    if (codec->supported_samplerates) {
        bool supported = false;
        for (const int *rate = codec->supported_samplerates; *rate; ++rate)
            supported = supported || *rate == encoder->sample_rate;
        if (!supported)
            encoder->sample_rate = codec->supported_samplerates[0];
    }
    encoder->time_base = AVRational{1, encoder->sample_rate};
    if (m_output->oformat->flags & AVFMT_GLOBALHEADER)
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary *options = nullptr;
    const int result = avcodec_open2(encoder, codec, &options);
    logUnusedOptions("Unused options in audio stream", options);
    av_dict_free(&options);
    if (result < 0) {
        *error = tr("Could not open audio codec: %1").arg(ffmpegErrorText(result));
        return SetupError;
    }

    const double secondsPerFrame = double(m_frameRate.denominator) / m_frameRate.numerator;
    const QByteArray arguments = QStringLiteral("time_base=%1/%2:sample_rate=%3:sample_fmt=%4:channel_layout=%5")
                                     .arg(m_decoder->pkt_timebase.num)
                                     .arg(m_decoder->pkt_timebase.den)
                                     .arg(m_decoder->sample_rate)
                                     .arg(QLatin1String(av_get_sample_fmt_name(m_decoder->sample_fmt)),
                                          describe(m_decoder->ch_layout))
                                     .toLatin1();
    // The sound starts offset seconds after the first frame (silence before
    // it, or its start cut when it begins earlier), and lasts exactly as
    // long as the pictures: padded with silence when shorter, cut when
    // longer. Encoders that take no short last frame get it padded.
    const qint64 samples = std::llround(m_lengthFrames * secondsPerFrame * encoder->sample_rate);
    const int frameSize = encoder->frame_size > 0 ? encoder->frame_size : 1024;
    const bool padLast = !(codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);
    const QByteArray description =
        QStringLiteral("asetpts=PTS-STARTPTS+(%1/TB),aresample=first_pts=0:async=1:out_sample_fmt=%2:"
                       "out_sample_rate=%3:out_chlayout=%4,apad,atrim=end_sample=%5,asetnsamples=n=%6:p=%7")
            .arg(m_audioOffsetFrames * secondsPerFrame, 0, 'g', 15)
            .arg(QLatin1String(av_get_sample_fmt_name(encoder->sample_fmt)))
            .arg(encoder->sample_rate)
            .arg(describe(encoder->ch_layout))
            .arg(samples)
            .arg(frameSize)
            .arg(padLast ? 1 : 0)
            .toLocal8Bit();
    if (!buildFilterGraph(m_audio, "abuffer", "abuffersink", arguments, description))
        return failed("Cannot create the audio filter graph");

    m_audio.stream = avformat_new_stream(m_output, nullptr);
    if (!m_audio.stream)
        return failed("Could not allocate stream");
    m_audio.stream->id = int(m_output->nb_streams) - 1;
    m_audio.stream->time_base = encoder->time_base;
    if (avcodec_parameters_from_context(m_audio.stream->codecpar, encoder) < 0)
        return failed("Could not copy the stream parameters");
    return NoError;
}

bool FfmpegVideoEncoder::FfmpegVideoEncoderPrivate::buildFilterGraph(OutputStream &stream, const char *sourceFilter,
                                                                     const char *sinkFilter,
                                                                     const QByteArray &sourceArguments,
                                                                     const QByteArray &description)
{
    stream.graph = avfilter_graph_alloc();
    if (!stream.graph)
        return false;
    if (avfilter_graph_create_filter(&stream.source, avfilter_get_by_name(sourceFilter), "in",
                                     sourceArguments.constData(), nullptr, stream.graph)
        < 0) {
        qWarning().noquote() << "Movie export: cannot create the buffer source:" << sourceArguments;
        return false;
    }
    if (avfilter_graph_create_filter(&stream.sink, avfilter_get_by_name(sinkFilter), "out", nullptr, nullptr,
                                     stream.graph)
        < 0) {
        qWarning().noquote() << "Movie export: cannot create the buffer sink";
        return false;
    }
    AVFilterInOut *outputs = avfilter_inout_alloc();
    AVFilterInOut *inputs = avfilter_inout_alloc();
    bool built = outputs && inputs;
    if (built) {
        outputs->name = av_strdup("in");
        outputs->filter_ctx = stream.source;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = stream.sink;
        built = avfilter_graph_parse_ptr(stream.graph, description.constData(), &inputs, &outputs, nullptr) >= 0
             && avfilter_graph_config(stream.graph, nullptr) >= 0;
        if (!built)
            qWarning().noquote() << "Movie export: cannot build the filter graph:" << description;
    }
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    return built;
}

void FfmpegVideoEncoder::FfmpegVideoEncoderPrivate::launch(Stage *stage, const char *name)
{
    Running running{std::make_unique<QThread>(), std::unique_ptr<QObject>(stage)};
    running.thread->setObjectName(QLatin1String(name));
    stage->moveToThread(running.thread.get());
    QMetaObject::invokeMethod(stage, [stage] { stage->run(); }, Qt::QueuedConnection);
    running.thread->start();
    m_running.push_back(std::move(running));
}

void FfmpegVideoEncoder::FfmpegVideoEncoderPrivate::launchStages(FfmpegVideoEncoder *encoder)
{
    launch(new VideoGenerator(m_pipeline, m_frameSource, m_outputSize, timeBase(),
                              hasAlpha(m_video.encoder->pix_fmt)),
           "Movie generator");
    launch(new Filter(m_pipeline, m_video, m_pipeline.pictures, m_pipeline.videoFrames), "Movie video filter");
    launch(new Encoder(m_pipeline, m_video.encoder, m_pipeline.videoFrames, m_pipeline.videoPackets),
           "Movie video encoder");
    if (m_audio.stream) {
        launch(new PacketReader(m_pipeline, m_input, m_soundStreamIndex), "Movie sound reader");
        launch(new Decoder(m_pipeline, m_decoder), "Movie sound decoder");
        launch(new Filter(m_pipeline, m_audio, m_pipeline.soundFrames, m_pipeline.audioFrames), "Movie audio filter");
        launch(new Encoder(m_pipeline, m_audio.encoder, m_pipeline.audioFrames, m_pipeline.audioPackets),
               "Movie audio encoder");
    }

    m_muxer = new Muxer(m_pipeline, m_output, m_video.stream, m_audio.stream);
    QObject::connect(m_muxer, &Muxer::progress, encoder, &FfmpegVideoEncoder::progress);
    QObject::connect(m_muxer, &Muxer::finished, encoder, &FfmpegVideoEncoder::finish, Qt::QueuedConnection);
    Running running{std::make_unique<QThread>(), std::unique_ptr<QObject>(m_muxer)};
    running.thread->setObjectName(QStringLiteral("Movie muxer"));
    m_muxer->moveToThread(running.thread.get());
    Muxer *muxer = m_muxer;
    QMetaObject::invokeMethod(muxer, [muxer] { muxer->run(); }, Qt::QueuedConnection);
    running.thread->start();
    m_running.push_back(std::move(running));
}

void FfmpegVideoEncoder::FfmpegVideoEncoderPrivate::joinStages()
{
    // Once the muxer has finished, only a stage that has stopped short can
    // still be waiting; closing the queues releases it.
    m_pipeline.abandon();
    for (Running &running : m_running)
        running.thread->quit();
    for (Running &running : m_running)
        running.thread->wait();
    m_running.clear();
    m_muxer = nullptr;
}

void FfmpegVideoEncoder::FfmpegVideoEncoderPrivate::closeOutput()
{
    if (!m_output || !m_output->pb || (m_output->oformat->flags & AVFMT_NOFILE))
        return;
    avio_flush(m_output->pb);
    const int writeError = m_output->pb->error;
    const int closeError = avio_closep(&m_output->pb);
    const int result = writeError < 0 ? writeError : closeError;
    if (result < 0)
        m_pipeline.fail(WritingError, tr("Error while writing: %1").arg(ffmpegErrorText(result)));
}

void FfmpegVideoEncoder::FfmpegVideoEncoderPrivate::release()
{
    joinStages();
    if (m_output) {
        if (!(m_output->oformat->flags & AVFMT_NOFILE))
            avio_closep(&m_output->pb);
        avformat_free_context(m_output);
        m_output = nullptr;
    }
    m_video.release();
    m_audio.release();
    m_video.stream = nullptr;
    m_audio.stream = nullptr;
    avcodec_free_context(&m_decoder);
    avformat_close_input(&m_input);
    if (m_inputIo) {
        // Probing may have replaced the buffer given at allocation.
        av_freep(&m_inputIo->buffer);
        avio_context_free(&m_inputIo);
    }
}

FfmpegVideoEncoder::FrameRate FfmpegVideoEncoder::frameRateFraction(double fps)
{
    for (const int denominator : {1, 2, 4}) {
        if (closeToInteger(fps * denominator))
            return {int(std::lround(fps * denominator)), denominator};
    }
    return {int(std::lround(fps * 100)), 100};
}

QSize FfmpegVideoEncoder::encodedSize(const ExportVideoSettings &settings, const QSize &size)
{
    const AVPixFmtDescriptor *descriptor =
        av_pix_fmt_desc_get(pixelFormatFor(settings, videoEncoderFor(settings.videoFormat)));
    if (!descriptor || !isYuv(av_pix_fmt_desc_get_id(descriptor)))
        return size;
    const auto even = [](int side, int log2Subsampling) {
        const int step = 1 << log2Subsampling;
        return (side + step - 1) / step * step;
    };
    return QSize(even(size.width(), descriptor->log2_chroma_w), even(size.height(), descriptor->log2_chroma_h));
}

FfmpegVideoEncoder::FfmpegVideoEncoder(const ExportVideoSettings &settings, const QSize &outputSize,
                                       double frameRate, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<FfmpegVideoEncoderPrivate>())
{
    d->m_settings = settings;
    d->m_outputSize = outputSize;
    d->m_frameRate = frameRateFraction(frameRate);
    d->m_outputPath = QDir(settings.exportDir).filePath(settings.name);
}

FfmpegVideoEncoder::~FfmpegVideoEncoder() = default;

void FfmpegVideoEncoder::setFrameSource(FrameSource source)
{
    d->m_frameSource = std::move(source);
}

void FfmpegVideoEncoder::setAudio(QIODevice *device, double offsetFrames, int lengthFrames)
{
    d->m_audioDevice = device;
    d->m_audioOffsetFrames = offsetFrames;
    d->m_lengthFrames = lengthFrames;
}

void FfmpegVideoEncoder::setOutputPath(const QString &path)
{
    d->m_outputPath = path;
}

FfmpegVideoEncoder::Error FfmpegVideoEncoder::errorCode() const
{
    return d->m_pipeline.error();
}

QString FfmpegVideoEncoder::errorString() const
{
    return d->m_pipeline.errorString();
}

bool FfmpegVideoEncoder::wasStopped() const
{
    return d->m_stopped;
}

int FfmpegVideoEncoder::framesWritten() const
{
    return d->m_pipeline.videoPacketsWritten;
}

void FfmpegVideoEncoder::start()
{
    if (d->m_started)
        return;
    d->m_started = true;
    const auto finishLater = [this] {
        QMetaObject::invokeMethod(this, &FfmpegVideoEncoder::finish, Qt::QueuedConnection);
    };
    if (d->m_outputSize.isEmpty() || d->m_frameRate.numerator <= 0) {
        d->m_pipeline.fail(SetupError,
                           tr("Could not open video codec: %1").arg(ffmpegErrorText(AVERROR(EINVAL))));
        finishLater();
        return;
    }
    QString message;
    const Error result = d->setUp(&message);
    if (result != NoError) {
        d->m_pipeline.fail(result, message);
        finishLater();
        return;
    }
    d->launchStages(this);
}

void FfmpegVideoEncoder::stop()
{
    if (d->m_finished || d->m_stopped)
        return;
    d->m_stopped = true;
    if (!d->m_started) {
        d->m_started = true;
        QMetaObject::invokeMethod(this, &FfmpegVideoEncoder::finish, Qt::QueuedConnection);
        return;
    }
    // A run that never got going has its finish queued already; a running
    // one ends when the muxer sees its queues close.
    d->m_pipeline.abandon();
}

void FfmpegVideoEncoder::finish()
{
    if (d->m_finished)
        return;
    d->m_finished = true;
    d->joinStages();
    const auto running = [this] { return !d->m_stopped && d->m_pipeline.error() == NoError; };
    if (running() && d->m_headerWritten) {
        const int frames = d->m_pipeline.videoPacketsWritten;
        const int pictures = d->m_pipeline.picturesMade;
        if (frames == 0) {
            d->m_pipeline.fail(EncodingError, tr("The movie has no frames."));
        } else if (frames != pictures) {
            d->m_pipeline.fail(EncodingError, tr("Only %1 of %2 frames were encoded.").arg(frames).arg(pictures));
        } else if (const int result = av_write_trailer(d->m_output); result < 0) {
            d->m_pipeline.fail(WritingError, tr("Error while writing: %1").arg(ffmpegErrorText(result)));
        }
    }
    if (running())
        d->closeOutput();
    d->release();
    if (const Error code = d->m_pipeline.error(); code != NoError)
        Q_EMIT error(code);
    Q_EMIT finished();
}

} // namespace Model
