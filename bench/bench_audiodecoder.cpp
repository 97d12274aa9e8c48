#include "audio/ffmpegaudiodecoder.h"
#include "benchsupport.h"

#include <QBuffer>
#include <QDataStream>
#include <QEventLoop>
#include <QTimer>
#include <QtEndian>

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

#include <cmath>
#include <cstring>

using BenchSupport::toneWav;

namespace {

constexpr int Rate = 48000;
constexpr int Seconds = 180;

// Three minutes of stereo 48 kHz 16-bit WAV: a different tone on each side.
const QByteArray &threeMinuteWav()
{
    static const QByteArray file = toneWav(Rate, Seconds);
    return file;
}

void setCounters(benchmark::State &state, qint64 pcmBytes)
{
    state.SetBytesProcessed(state.iterations() * threeMinuteWav().size());
    state.counters["x_realtime"] =
        benchmark::Counter(double(Seconds), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["pcm_bytes"] = double(pcmBytes);
}

// The decoder as the audio layer runs it: queued steps in a local event loop.
void BM_AudioDecode(benchmark::State &state)
{
    const QByteArray &file = threeMinuteWav();
    qint64 pcmBytes = 0;
    for (auto _ : state) {
        QBuffer device;
        device.setData(file);
        device.open(QIODevice::ReadOnly);
        Model::FfmpegAudioDecoder decoder(&device);
        QEventLoop loop;
        QObject::connect(&decoder, &Model::FfmpegAudioDecoder::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(0, &decoder, &Model::FfmpegAudioDecoder::start);
        loop.exec();
        const QByteArray pcm = decoder.buffer();
        pcmBytes = pcm.size();
        benchmark::DoNotOptimize(pcm.constData());
    }
    setCounters(state, pcmBytes);
}

struct MemorySource
{
    const QByteArray *bytes;
    qint64 pos = 0;
};

int readMemory(void *opaque, uint8_t *buffer, int size)
{
    auto *source = static_cast<MemorySource *>(opaque);
    const qint64 n = qMin<qint64>(size, source->bytes->size() - source->pos);
    if (n <= 0)
        return AVERROR_EOF;
    std::memcpy(buffer, source->bytes->constData() + source->pos, size_t(n));
    source->pos += n;
    return int(n);
}

int64_t seekMemory(void *opaque, int64_t offset, int whence)
{
    auto *source = static_cast<MemorySource *>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE)
        return source->bytes->size();
    if (whence != SEEK_SET || offset < 0 || offset > source->bytes->size())
        return -1;
    source->pos = offset;
    return offset;
}

// The same decode to 44.1 kHz stereo 16-bit in one plain loop: demuxer,
// decoder and libswresample called directly, no filter graph, no event loop.
// Errors end the loop; the benchmark only compares speed.
QByteArray decodeWithoutFilterGraph(const QByteArray &file)
{
    MemorySource source{&file};
    auto *ioBuffer = static_cast<unsigned char *>(av_malloc(32768));
    AVIOContext *io = avio_alloc_context(ioBuffer, 32768, 0, &source, readMemory, nullptr, seekMemory);
    AVFormatContext *format = avformat_alloc_context();
    format->pb = io;
    QByteArray pcm;
    const AVCodec *codec = nullptr;
    AVCodecContext *decoder = nullptr;
    SwrContext *resampler = nullptr;
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    QByteArray chunk;
    int stream = -1;
    // Not const: FFmpeg 5.1 takes the output layout by plain pointer.
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;

    const auto convert = [&](const uint8_t **input, int samples) {
        const int room = swr_get_out_samples(resampler, samples);
        if (room <= 0)
            return 0;
        chunk.resize(qsizetype(room) * 4);
        auto *output = reinterpret_cast<uint8_t *>(chunk.data());
        const int converted = swr_convert(resampler, &output, room, input, samples);
        if (converted > 0)
            pcm.append(chunk.constData(), qsizetype(converted) * 4);
        return converted;
    };
    const auto receiveFrames = [&] {
        while (avcodec_receive_frame(decoder, frame) >= 0) {
            convert(const_cast<const uint8_t **>(frame->extended_data), frame->nb_samples);
            av_frame_unref(frame);
        }
    };

    if (avformat_open_input(&format, "memory", nullptr, nullptr) >= 0 && avformat_find_stream_info(format, nullptr) >= 0
        && (stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0)) >= 0
        && (decoder = avcodec_alloc_context3(codec))
        && avcodec_parameters_to_context(decoder, format->streams[stream]->codecpar) >= 0
        && avcodec_open2(decoder, codec, nullptr) >= 0
        && swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_S16, 44100, &decoder->ch_layout,
                               decoder->sample_fmt, decoder->sample_rate, 0, nullptr)
               >= 0
        && swr_init(resampler) >= 0) {
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream && avcodec_send_packet(decoder, packet) >= 0)
                receiveFrames();
            av_packet_unref(packet);
        }
        avcodec_send_packet(decoder, nullptr);
        receiveFrames();
        while (convert(nullptr, 0) > 0) {
        }
    }

    swr_free(&resampler);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    av_freep(&io->buffer);
    avio_context_free(&io);
    return pcm;
}

void BM_AudioDecodeBaselineWithoutFilterGraph(benchmark::State &state)
{
    const QByteArray &file = threeMinuteWav();
    qint64 pcmBytes = 0;
    for (auto _ : state) {
        const QByteArray pcm = decodeWithoutFilterGraph(file);
        pcmBytes = pcm.size();
        benchmark::DoNotOptimize(pcm.constData());
    }
    setCounters(state, pcmBytes);
}

} // namespace

BENCHMARK(BM_AudioDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AudioDecodeBaselineWithoutFilterGraph)->Unit(benchmark::kMillisecond);
