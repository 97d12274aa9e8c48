#pragma once

// Movies read back as a player reads them: libavformat opens the file,
// libavcodec decodes every frame of the first video and audio streams, and
// pixels are turned back into RGB with the matrix the stream is tagged with.

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QHash>
#include <QString>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace MovieReader {

struct FrameDeleter
{
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

struct Video
{
    QString codec;
    QString profile;
    QString pixelFormat;
    int width = 0;
    int height = 0;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    AVRational frameRate{0, 1};
    // When the first picture shows, on the movie's timeline.
    double firstSeconds = 0.0;
    // Seconds from the first frame's start to the last frame's end.
    double seconds = 0.0;
    std::vector<FramePtr> frames;
};

struct Audio
{
    QString codec;
    QString sampleFormat;
    int sampleRate = 0;
    int channels = 0;
    qint64 samples = 0;
    double seconds = 0.0;
    // The largest sample magnitude, 0 to 1.
    double peak = 0.0;
    // When the first decoded sample plays, on the movie's timeline, and the
    // first channel's samples from there on (-1 to 1), as a player hears
    // them: the decoder drops what the file marks to skip (an encoder's
    // priming) and times the rest accordingly.
    double firstSeconds = 0.0;
    std::vector<float> firstChannel;
};

struct Movie
{
    QString error;
    QString container;
    QHash<QString, QString> metadata;
    int videoStreams = 0;
    int audioStreams = 0;
    Video video;
    Audio audio;
};

namespace Detail {

struct CodecDeleter
{
    void operator()(AVCodecContext *context) const { avcodec_free_context(&context); }
};
struct InputDeleter
{
    void operator()(AVFormatContext *context) const { avformat_close_input(&context); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecDeleter>;
using InputPtr = std::unique_ptr<AVFormatContext, InputDeleter>;

inline CodecPtr openDecoder(const AVStream *stream)
{
    const AVCodec *codec = avcodec_find_decoder(stream->codecpar->codec_id);
    CodecPtr context(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!context || avcodec_parameters_to_context(context.get(), stream->codecpar) < 0)
        return {};
    context->pkt_timebase = stream->time_base;
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return {};
    return context;
}

inline double sampleValue(const AVFrame &frame, int plane, int index)
{
    switch (av_get_packed_sample_fmt(AVSampleFormat(frame.format))) {
    case AV_SAMPLE_FMT_S16:
        return reinterpret_cast<const int16_t *>(frame.extended_data[plane])[index] / 32768.0;
    case AV_SAMPLE_FMT_S32:
        return reinterpret_cast<const int32_t *>(frame.extended_data[plane])[index] / 2147483648.0;
    case AV_SAMPLE_FMT_FLT:
        return reinterpret_cast<const float *>(frame.extended_data[plane])[index];
    default:
        return 0.0;
    }
}

// Appends the first channel of frame to samples.
inline void appendFirstChannel(const AVFrame &frame, std::vector<float> &samples)
{
    const bool planar = av_sample_fmt_is_planar(AVSampleFormat(frame.format));
    const int step = planar ? 1 : frame.ch_layout.nb_channels;
    for (int i = 0; i < frame.nb_samples; ++i)
        samples.push_back(float(sampleValue(frame, 0, i * step)));
}

inline double samplePeak(const AVFrame &frame)
{
    double peak = 0.0;
    const auto format = AVSampleFormat(frame.format);
    const bool planar = av_sample_fmt_is_planar(format);
    const int channels = frame.ch_layout.nb_channels;
    const int planes = planar ? channels : 1;
    const int count = planar ? frame.nb_samples : frame.nb_samples * channels;
    for (int p = 0; p < planes; ++p) {
        for (int i = 0; i < count; ++i)
            peak = std::max(peak, std::abs(sampleValue(frame, p, i)));
    }
    return peak;
}

} // namespace Detail

inline Movie read(const QString &path)
{
    Movie movie;
    AVFormatContext *raw = nullptr;
    if (avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr) < 0) {
        movie.error = QStringLiteral("cannot open");
        return movie;
    }
    Detail::InputPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        movie.error = QStringLiteral("no stream information");
        return movie;
    }
    movie.container = QString::fromLatin1(input->iformat->name);
    const AVDictionaryEntry *entry = nullptr;
    while ((entry = av_dict_get(input->metadata, "", entry, AV_DICT_IGNORE_SUFFIX)))
        movie.metadata.insert(QString::fromUtf8(entry->key), QString::fromUtf8(entry->value));

    int videoIndex = -1;
    int audioIndex = -1;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVMediaType type = input->streams[i]->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_VIDEO && movie.videoStreams++ == 0)
            videoIndex = int(i);
        if (type == AVMEDIA_TYPE_AUDIO && movie.audioStreams++ == 0)
            audioIndex = int(i);
    }
    Detail::CodecPtr video;
    Detail::CodecPtr audio;
    if (videoIndex >= 0) {
        const AVStream *stream = input->streams[videoIndex];
        const AVCodecParameters *parameters = stream->codecpar;
        movie.video.codec = QString::fromLatin1(avcodec_get_name(parameters->codec_id));
        if (const char *profile = avcodec_profile_name(parameters->codec_id, parameters->profile))
            movie.video.profile = QString::fromLatin1(profile);
        movie.video.pixelFormat = QString::fromLatin1(av_get_pix_fmt_name(AVPixelFormat(parameters->format)));
        movie.video.width = parameters->width;
        movie.video.height = parameters->height;
        movie.video.primaries = parameters->color_primaries;
        movie.video.transfer = parameters->color_trc;
        movie.video.matrix = parameters->color_space;
        movie.video.range = parameters->color_range;
        movie.video.frameRate = stream->avg_frame_rate;
        video = Detail::openDecoder(stream);
    }
    if (audioIndex >= 0) {
        const AVCodecParameters *parameters = input->streams[audioIndex]->codecpar;
        movie.audio.codec = QString::fromLatin1(avcodec_get_name(parameters->codec_id));
        movie.audio.sampleRate = parameters->sample_rate;
        movie.audio.channels = parameters->ch_layout.nb_channels;
        audio = Detail::openDecoder(input->streams[audioIndex]);
        if (audio)
            movie.audio.sampleFormat = QString::fromLatin1(av_get_sample_fmt_name(audio->sample_fmt));
    }

    int64_t firstPts = AV_NOPTS_VALUE;
    int64_t endPts = AV_NOPTS_VALUE;
    int64_t firstAudioPts = AV_NOPTS_VALUE;
    AVPacket *packet = av_packet_alloc();
    FramePtr frame(av_frame_alloc());
    const auto drain = [&](AVCodecContext *context, bool isVideo) {
        while (avcodec_receive_frame(context, frame.get()) >= 0) {
            if (isVideo) {
                const int64_t pts = frame->best_effort_timestamp;
                if (firstPts == AV_NOPTS_VALUE || pts < firstPts)
                    firstPts = pts;
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(58, 2, 100)
                const int64_t duration = frame->duration;
#else
                const int64_t duration = frame->pkt_duration;
#endif
                endPts = std::max(endPts == AV_NOPTS_VALUE ? pts : endPts, pts + duration);
                movie.video.frames.emplace_back(av_frame_clone(frame.get()));
            } else {
                if (firstAudioPts == AV_NOPTS_VALUE)
                    firstAudioPts = frame->best_effort_timestamp;
                movie.audio.samples += frame->nb_samples;
                movie.audio.peak = std::max(movie.audio.peak, Detail::samplePeak(*frame));
                Detail::appendFirstChannel(*frame, movie.audio.firstChannel);
            }
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(input.get(), packet) >= 0) {
        if (packet->stream_index == videoIndex && video && avcodec_send_packet(video.get(), packet) >= 0)
            drain(video.get(), true);
        else if (packet->stream_index == audioIndex && audio && avcodec_send_packet(audio.get(), packet) >= 0)
            drain(audio.get(), false);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    if (video && avcodec_send_packet(video.get(), nullptr) >= 0)
        drain(video.get(), true);
    if (audio && avcodec_send_packet(audio.get(), nullptr) >= 0)
        drain(audio.get(), false);
    if (videoIndex >= 0 && firstPts != AV_NOPTS_VALUE) {
        movie.video.firstSeconds = double(firstPts) * av_q2d(input->streams[videoIndex]->time_base);
        movie.video.seconds = double(endPts - firstPts) * av_q2d(input->streams[videoIndex]->time_base);
    }
    if (audioIndex >= 0 && firstAudioPts != AV_NOPTS_VALUE)
        movie.audio.firstSeconds = double(firstAudioPts) * av_q2d(input->streams[audioIndex]->time_base);
    if (movie.audio.sampleRate > 0)
        movie.audio.seconds = double(movie.audio.samples) / movie.audio.sampleRate;
    return movie;
}

// A pixel of a decoded YUV frame in RGB through the BT.709 matrix, limited
// range, alpha from the alpha plane when there is one.
inline QColor pixel(const AVFrame &frame, int x, int y)
{
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(AVPixelFormat(frame.format));
    if (!descriptor)
        return {};
    const int depth = descriptor->comp[0].depth;
    const auto sample = [&](int plane, int px, int py) {
        const uint8_t *row = frame.data[plane] + qsizetype(py) * frame.linesize[plane];
        const int value = depth > 8 ? reinterpret_cast<const uint16_t *>(row)[px] : row[px];
        return double(value) / double(1 << (depth - 8));
    };
    const int cx = x >> descriptor->log2_chroma_w;
    const int cy = y >> descriptor->log2_chroma_h;
    const double luma = (sample(0, x, y) - 16.0) / 219.0;
    const double cb = (sample(1, cx, cy) - 128.0) / 224.0;
    const double cr = (sample(2, cx, cy) - 128.0) / 224.0;
    const auto channel = [](double value) { return std::clamp(int(std::lround(value * 255.0)), 0, 255); };
    QColor colour(channel(luma + 1.5748 * cr), channel(luma - 0.1873 * cb - 0.4681 * cr), channel(luma + 1.8556 * cb));
    if (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA)
        colour.setAlpha(channel(sample(3, x, y) / 255.0));
    return colour;
}

} // namespace MovieReader
