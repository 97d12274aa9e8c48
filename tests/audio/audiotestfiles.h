#pragma once

// Sound files that the audio tests and benchmarks write themselves: tones as
// samples, a RIFF WAVE writer and an MP3 encoder through FFmpeg.

#include <QByteArray>
#include <QDataStream>
#include <QFile>
#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <QtEndian>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cmath>
#include <memory>

namespace AudioTestFiles {

inline constexpr double Pi = 3.14159265358979323846;

// Interleaved 16-bit samples of a tone: leftHz on the first channel, rightHz
// on the second.
inline QList<qint16> tone(int rate, int channels, double seconds, double leftHz, double rightHz = 0)
{
    const qint64 frames = qint64(std::llround(rate * seconds));
    QList<qint16> samples;
    samples.reserve(frames * channels);
    for (qint64 i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double hz = c == 0 ? leftHz : rightHz;
            samples.append(qint16(std::lround(12000 * std::sin(2 * Pi * hz * double(i) / rate))));
        }
    }
    return samples;
}

// A RIFF WAVE file. bits is 8 (unsigned), 16 or 24. statedDataBytes replaces
// the data chunk's true size in the header when not negative; a streaming
// writer's placeholders, 0 and 0xFFFFFFFF, replace the RIFF size too.
inline QByteArray wavFile(int rate, int channels, int bits, const QList<qint16> &samples, qint64 statedDataBytes = -1)
{
    QByteArray data;
    for (const qint16 sample : samples) {
        if (bits == 8) {
            data.append(char(quint8((sample >> 8) + 128)));
        } else {
            char bytes[4];
            qToLittleEndian(qint32(sample) << (bits - 16), bytes);
            data.append(bytes, bits / 8);
        }
    }
    const quint32 dataBytes = quint32(statedDataBytes >= 0 ? statedDataBytes : data.size());
    QByteArray file;
    QDataStream out(&file, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    const bool streamed = statedDataBytes == 0 || statedDataBytes == 0xFFFFFFFF;
    out << (streamed ? dataBytes : quint32(36 + dataBytes + dataBytes % 2));
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(channels) << quint32(rate)
        << quint32(rate * channels * bits / 8) << quint16(channels * bits / 8) << quint16(bits);
    out.writeRawData("data", 4);
    out << dataBytes;
    out.writeRawData(data.constData(), int(data.size()));
    return file + QByteArray(data.size() % 2, '\0');
}

// An AIFF file of 16-bit samples at 44.1 kHz.
inline QByteArray aiffFile(int channels, const QList<qint16> &samples)
{
    QByteArray file;
    QDataStream out(&file, QIODevice::WriteOnly);
    out.writeRawData("FORM", 4);
    out << quint32(46 + 2 * samples.size());
    out.writeRawData("AIFFCOMM", 8);
    out << quint32(18) << quint16(channels) << quint32(samples.size() / channels) << quint16(16);
    out.writeRawData("\x40\x0e\xac\x44\0\0\0\0\0\0", 10); // 44100 as an 80-bit float
    out.writeRawData("SSND", 4);
    out << quint32(8 + 2 * samples.size()) << quint32(0) << quint32(0);
    for (const qint16 sample : samples)
        out << sample;
    return file;
}

// Half a second of a tone, one second of noise driven 18 dB into clipping,
// and the tone again: loud, rough stretches as clipped takes hold them.
inline QList<qint16> toneClippedBurstTone(int rate, int channels)
{
    QList<qint16> samples = tone(rate, channels, 0.5, 440, 660);
    QRandomGenerator noise(81);
    for (int i = 0; i < rate * channels; ++i)
        samples.append(qint16(std::clamp((noise.generateDouble() * 2 - 1) * 8 * 32768, -32768.0, 32767.0)));
    return samples + tone(rate, channels, 0.5, 440, 660);
}

// A RIFF chunk: its name, size and bytes, and the pad byte after an odd size.
inline QByteArray riffChunk(const char (&name)[5], const QByteArray &bytes)
{
    char size[4];
    qToLittleEndian(quint32(bytes.size()), size);
    return QByteArray(name, 4) + QByteArray(size, 4) + bytes + QByteArray(bytes.size() % 2, '\0');
}

template<typename T, void (*Free)(T **)>
struct FfmpegDeleter
{
    void operator()(T *p) const { Free(&p); }
};

inline void freeOutputContext(AVFormatContext **context)
{
    if (*context)
        avio_closep(&(*context)->pb);
    avformat_free_context(*context);
    *context = nullptr;
}

using CodecContextPtr = std::unique_ptr<AVCodecContext, FfmpegDeleter<AVCodecContext, avcodec_free_context>>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, FfmpegDeleter<AVFormatContext, freeOutputContext>>;
using FramePtr = std::unique_ptr<AVFrame, FfmpegDeleter<AVFrame, av_frame_free>>;
using PacketPtr = std::unique_ptr<AVPacket, FfmpegDeleter<AVPacket, av_packet_free>>;

// An MP3 file of the samples, written by FFmpeg's MP3 encoder through its MP3
// muxer (which records the encoder's delay and padding, as encoders in the
// wild do). Empty when this FFmpeg has no MP3 encoder; a failure after that
// fails the test.
inline QByteArray mp3File(const QString &path, int rate, int channels, const QList<qint16> &samples)
{
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_MP3);
    if (!codec)
        return {};
    AVFormatContext *rawOutput = nullptr;
    if (avformat_alloc_output_context2(&rawOutput, nullptr, "mp3", nullptr) < 0)
        return {};
    OutputContextPtr output(rawOutput);
    AVStream *stream = avformat_new_stream(output.get(), nullptr);
    CodecContextPtr encoder(avcodec_alloc_context3(codec));
    if (!stream || !encoder)
        return {};
    encoder->sample_rate = rate;
    av_channel_layout_default(&encoder->ch_layout, channels);
    encoder->sample_fmt = AV_SAMPLE_FMT_S16P;
    encoder->bit_rate = 128000;
    encoder->time_base = AVRational{1, rate};
    if (avcodec_open2(encoder.get(), codec, nullptr) < 0
        || avcodec_parameters_from_context(stream->codecpar, encoder.get()) < 0)
        return {};
    stream->time_base = encoder->time_base;
    if (avio_open(&output->pb, QFile::encodeName(path).constData(), AVIO_FLAG_WRITE) < 0
        || avformat_write_header(output.get(), nullptr) < 0)
        return {};

    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    const auto writePackets = [&] {
        while (avcodec_receive_packet(encoder.get(), packet.get()) >= 0) {
            av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(output.get(), packet.get()) < 0)
                return false;
        }
        return true;
    };
    const qint64 frames = samples.size() / channels;
    for (qint64 first = 0; first < frames; first += encoder->frame_size) {
        frame->nb_samples = int(qMin<qint64>(encoder->frame_size, frames - first));
        frame->format = encoder->sample_fmt;
        frame->sample_rate = rate;
        av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout);
        frame->pts = first;
        if (av_frame_get_buffer(frame.get(), 0) < 0)
            return {};
        for (int c = 0; c < channels; ++c) {
            auto *plane = reinterpret_cast<qint16 *>(frame->data[c]);
            for (int i = 0; i < frame->nb_samples; ++i)
                plane[i] = samples[(first + i) * channels + c];
        }
        if (avcodec_send_frame(encoder.get(), frame.get()) < 0 || !writePackets())
            return {};
        av_frame_unref(frame.get());
    }
    if (avcodec_send_frame(encoder.get(), nullptr) < 0 || !writePackets() || av_write_trailer(output.get()) < 0)
        return {};
    output.reset();

    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace AudioTestFiles
