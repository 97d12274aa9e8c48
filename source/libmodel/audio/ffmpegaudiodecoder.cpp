#include "ffmpegaudiodecoder.h"

#include "audio/samplesteps.h"
#include "audio/soundfile.h"

#include <QBuffer>
#include <QDebug>
#include <QIODevice>
#include <QtEndian>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <limits>

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
    // A second's worth of m_frame on its way into the conversion, and what
    // comes out of it.
    AVFrame *m_piece = nullptr;
    AVFrame *m_converted = nullptr;
    qint64 m_durationMs = -1;
    qint64 m_positionMs = -1;

    // start() runs once and finished() is emitted once, however stop(),
    // finalize() and the steps interleave.
    bool m_started = false;
    bool m_finished = false;
    // The length the file states, in sample frames at m_statedRate, -1 when
    // it states none: what a WAV's header claims (by the file's size where
    // it leaves its sizes as placeholders), or the stream's length
    // when the file gave it rather than FFmpeg guessing it from the file's
    // size. Only a stated length can show that the file was cut short.
    qint64 m_statedFrames = -1;
    int m_statedRate = 0;
    // How many frames the sound may fall short of that without having lost
    // any: what the length lost in its rounding to whole frames, and, where
    // it counts whole packets of a codec whose encoder pads the last one,
    // two of the largest packets.
    qint64 m_statedSlack = 0;
    bool m_statedInPackets = false;
    bool m_statedExactly = false;
    // Sample frames read from the source, before the conversion, at
    // m_readRate; and the most that one packet held.
    qint64 m_readFrames = 0;
    int m_readRate = 0;
    int m_largestPacket = 0;
    // Sample frames the conversion took, at m_readRate; and, once the silence
    // after the sound has gone in, how many frames of output the sound
    // lasts, -1 before that.
    qint64 m_convertedFrames = 0;
    qint64 m_keepFrames = -1;
    QString m_error;
    FfmpegAudioDecoder::Ending m_ending = FfmpegAudioDecoder::Ending::Complete;
    // The source's size when it can be known beforehand (-1 for a pipe), and
    // how far it has been read: what the sound may decode to follows from
    // the larger.
    qint64 m_sourceSize = -1;
    qint64 m_bytesRead = 0;
    // Where the sound's bytes end in the source, -1 where FFmpeg knows: a
    // WAV written while streaming, its sizes left as placeholders, is read
    // on to the end of the file, pad byte and later chunks too.
    qint64 m_dataEnd = -1;
    // A WAV or AIFF read whole from a device other than a buffer. The
    // decoder reads it in place of m_device.
    QBuffer m_held;
    // The bytes of a WAV or AIFF source, whole; empty for other sources.
    QByteArray m_sound;
    // Where the samples fall out of step with the file's bytes, in frames
    // of the sound from its first.
    QList<qint64> m_stepFrames;
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

QString ffmpegErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

// What a RIFF WAVE header claims: the length in sample frames, -1 when it
// claims none. FFmpeg drops the claim of a chunk that reaches beyond the
// file and guesses the length from the file's size instead, so a WAV cut
// between samples would pass for whole. Its demuxer leaves the reader at
// the data chunk's first byte, just after the chunk's tag and size. A WAV
// written while streaming leaves both sizes as placeholders, so the data
// size is taken only where the RIFF chunk, whose size is written with it,
// holds the data chunk.
//
// Where the codec's samples follow its bytes (PCM, and ADPCM whose every
// block holds the same number), the claim counts the frames of the whole
// blocks the chunk holds, exactly; exact says so. Otherwise it is the
// data's size at the byte rate of the format chunk.
//
// Placeholders state no length, but the file's size does, and what follows
// the sound: the data runs to the end of a data size that lies inside the
// file, or to the chunks that end the file, or to its end. FFmpeg reads on
// past it; dataEnd tells where the sound's bytes end. Data of an odd size
// ends with a pad byte, which is no part of the sound: where the data ends
// an even number of bytes after its start, a last byte that would begin a
// sample is the pad byte, and so is a last zero byte where every frame is
// one byte (8-bit mono), as a pad byte is written: as a sample, it would be
// the loudest one, a click at the very end. A sample begun there and not
// finished was cut; a block codec's last block may be short, so only its
// whole blocks count. What a codec's bytes do not tell stays unclaimed.
struct WavClaim
{
    qint64 frames = -1;
    bool exact = false;
    int64_t dataEnd = -1;
};

WavClaim readWavClaim(AVIOContext *io, AVCodecParameters *codec, int64_t dataStart, QByteArrayView file)
{
    if (avio_seek(io, 0, SEEK_SET) < 0)
        return {};
    const unsigned riffTag = avio_rl32(io);
    const int64_t riffSize = avio_rl32(io);
    const bool atData = avio_seek(io, dataStart - 8, SEEK_SET) >= 0;
    const unsigned dataTag = atData ? avio_rl32(io) : 0;
    const int64_t dataSize = avio_rl32(io);
    if (riffTag != MKTAG('R', 'I', 'F', 'F') || dataTag != MKTAG('d', 'a', 't', 'a'))
        return {};
    const int block = codec->block_align;
    int perBlock = 0;
    if (block > 0 && block <= std::numeric_limits<int>::max() / 2) {
        const int frames = av_get_audio_frame_duration2(codec, block);
        if (frames > 0 && av_get_audio_frame_duration2(codec, 2 * block) == 2 * frames)
            perBlock = frames;
    }
    WavClaim claim;
    if (dataSize != 0 && riffSize != 0xFFFFFFFF && 8 + riffSize >= dataStart + dataSize) {
        claim.exact = perBlock > 0;
        claim.frames = claim.exact ? dataSize / block * perBlock
                                   : av_rescale(dataSize, 8 * qint64(codec->sample_rate), codec->bit_rate);
        return claim;
    }

    const int64_t fileSize = avio_size(io);
    if (perBlock <= 0 || fileSize < dataStart)
        return {};
    int64_t bytes = fileSize - dataStart;
    if (dataSize != 0 && dataSize != 0xFFFFFFFF && dataSize <= bytes) {
        bytes = dataSize;
    } else {
        bytes = (file.size() == fileSize ? SoundFile::startOfChunksAfter(file, dataStart) : fileSize) - dataStart;
        const auto lastByteIsZero = [&] {
            return avio_seek(io, dataStart + bytes - 1, SEEK_SET) >= 0 && avio_r8(io) == 0;
        };
        if (bytes > 0 && bytes % 2 == 0 && (bytes % block == 1 || (block == 1 && lastByteIsZero())))
            --bytes;
        claim.dataEnd = dataStart + bytes;
    }
    claim.exact = true;
    claim.frames = bytes / block * perBlock + (perBlock == 1 && bytes % block != 0 ? 1 : 0);
    return claim;
}

WavClaim claimedWavFrames(AVFormatContext *format, QByteArrayView file)
{
    AVIOContext *io = format->pb;
    if (std::strcmp(format->iformat->name, "wav") != 0 || format->nb_streams < 1 || !io
        || !(io->seekable & AVIO_SEEKABLE_NORMAL))
        return {};
    AVCodecParameters *codec = format->streams[0]->codecpar;
    const int64_t dataStart = avio_tell(io);
    if (codec->codec_type != AVMEDIA_TYPE_AUDIO || codec->bit_rate <= 0 || codec->sample_rate <= 0 || dataStart < 20)
        return {};
    const WavClaim claim = readWavClaim(io, codec, dataStart, file);
    // Decoding goes on from where the demuxer left off.
    if (avio_seek(io, dataStart, SEEK_SET) < 0)
        return {};
    return claim;
}

// A packet of a streamed WAV as far as the sound's bytes reach; false when
// none of it is sound.
bool keepToDataEnd(AVPacket *packet, int64_t dataEnd)
{
    if (dataEnd < 0 || packet->pos < 0)
        return true;
    if (packet->pos >= dataEnd)
        return false;
    if (packet->pos + packet->size > dataEnd)
        av_shrink_packet(packet, int(dataEnd - packet->pos));
    return true;
}

// A WAV or AIFF is held whole, as the audio layer holds every sound: where
// its sound ends is read from its header again once FFmpeg has read past it,
// and, in a WAV written while streaming, from the chunks that follow the
// sound; and its samples are looked at for a place where they fall out of
// step, which plays as noise, for the user to be told. A source that cannot
// seek is read whole first and decoded from memory. False when it is larger
// than any sound the decoder gives, and only that much of it was read.
bool holdSound(FfmpegAudioDecoderPrivate &d)
{
    QIODevice *device = d.m_device;
    const QByteArray head = device->peek(12);
    const QByteArray form = head.mid(8, 4);
    const bool wav = head.startsWith("RIFF") && form == "WAVE";
    if (!wav && !(head.startsWith("FORM") && (form == "AIFF" || form == "AIFC")))
        return true;
    QByteArray bytes;
    bool whole = true;
    if (auto *buffer = qobject_cast<QBuffer *>(device)) {
        bytes = buffer->data();
    } else if (device->isSequential() || device->size() <= MaxPcmBytes) {
        if (!device->isSequential() && !device->seek(0))
            return true;
        while (bytes.size() < MaxPcmBytes) {
            const QByteArray piece = device->read(std::min(MaxPcmBytes - bytes.size(), qint64(1) << 20));
            if (piece.isEmpty())
                break;
            bytes += piece;
        }
        whole = bytes.size() < MaxPcmBytes || device->atEnd();
        if (!device->isSequential())
            device->seek(0);
    } else {
        return true;
    }
    const SoundFile::PcmLayout layout = SoundFile::pcmLayout(bytes);
    for (const qint64 step : SampleSteps::find(bytes, layout))
        d.m_stepFrames.append((step - layout.start) / layout.blockAlign);
    d.m_sound = bytes;
    if (qobject_cast<QBuffer *>(device))
        return whole;
    d.m_held.setData(bytes);
    d.m_held.open(QIODevice::ReadOnly);
    d.m_device = &d.m_held;
    if (d.m_ioContext)
        d.m_ioContext->seekable = AVIO_SEEKABLE_NORMAL;
    return whole;
}

// Whole microseconds, rounded down as QAudioFormat::durationForBytes does;
// two counts of frames that differ stay apart at any rate up to a megahertz.
qint64 framesToUs(qint64 frames, int rate)
{
    return av_rescale_rnd(frames, 1'000'000, rate, AV_ROUND_DOWN);
}

int readDevice(void *opaque, uint8_t *buffer, int size)
{
    auto *decoder = static_cast<FfmpegAudioDecoderPrivate *>(opaque);
    QIODevice *device = decoder->m_device;
    if (!device || device->atEnd())
        return AVERROR_EOF;
    const qint64 count = device->read(reinterpret_cast<char *>(buffer), size);
    // FFmpeg takes a read of nothing for a broken source rather than the end.
    if (count == 0)
        return AVERROR_EOF;
    if (count < 0)
        return AVERROR(EIO);
    // Bytes read again after a seek back are no more of the source.
    decoder->m_bytesRead = device->isSequential() ? decoder->m_bytesRead + count
                                                  : std::max(decoder->m_bytesRead, device->pos());
    return int(count);
}

int64_t seekDevice(void *opaque, int64_t offset, int whence)
{
    QIODevice *device = static_cast<FfmpegAudioDecoderPrivate *>(opaque)->m_device;
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
        d->m_ioContext = avio_alloc_context(ioBuffer, IoBufferSize, 0, d.get(), readDevice, nullptr, seekDevice);
        if (!d->m_ioContext)
            av_free(ioBuffer);
        else if (device && device->isSequential())
            d->m_ioContext->seekable = 0;
    }
    d->m_packet = av_packet_alloc();
    d->m_frame = av_frame_alloc();
    d->m_piece = av_frame_alloc();
    d->m_converted = av_frame_alloc();
    connect(this, &FfmpegAudioDecoder::processNextFrame, this, &FfmpegAudioDecoder::handleNextFrame,
            Qt::QueuedConnection);
}

FfmpegAudioDecoder::~FfmpegAudioDecoder()
{
    releaseFfmpeg();
    av_packet_free(&d->m_packet);
    av_frame_free(&d->m_frame);
    av_frame_free(&d->m_piece);
    av_frame_free(&d->m_converted);
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

qint64 FfmpegAudioDecoder::statedDurationUs() const
{
    return d->m_statedFrames >= 0 && d->m_statedRate > 0 ? framesToUs(d->m_statedFrames, d->m_statedRate) : -1;
}

qint64 FfmpegAudioDecoder::readDurationUs() const
{
    return d->m_readRate > 0 ? framesToUs(d->m_readFrames, d->m_readRate) : 0;
}

QList<qint64> FfmpegAudioDecoder::stepsUs() const
{
    QList<qint64> times;
    for (qint64 frames : std::as_const(d->m_stepFrames))
        times.append(d->m_readRate > 0 ? framesToUs(frames, d->m_readRate) : 0);
    return times;
}

qint64 FfmpegAudioDecoder::positionMs() const
{
    return d->m_positionMs;
}

QString FfmpegAudioDecoder::errorString() const
{
    return d->m_error;
}

FfmpegAudioDecoder::Ending FfmpegAudioDecoder::ending() const
{
    return d->m_ending;
}

void FfmpegAudioDecoder::start()
{
    if (d->m_started || d->m_finished)
        return;
    d->m_started = true;
    if (d->m_device && !holdSound(*d))
        endAs(Ending::CutShort, QStringLiteral("The sound is too long"));
    if (d->m_device && !d->m_device->isSequential())
        d->m_sourceSize = d->m_device->size();

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
        const int rate = stream->codecpar->sample_rate;
        if (d->m_formatContext->duration_estimation_method == AVFMT_DURATION_FROM_STREAM && !d->m_statedExactly
            && rate > 0) {
            // FFmpeg counts the samples a decoder leaves out at the start (an
            // MP3's encoder delay, Opus's pre-skip) in the stream's length,
            // and gives them as its start time or its initial padding.
            const AVRational frame{1, rate};
            qint64 frames = av_rescale_q(stream->duration, stream->time_base, frame);
            if (stream->start_time != AV_NOPTS_VALUE && stream->start_time > 0)
                frames -= av_rescale_q(stream->start_time, stream->time_base, frame);
            frames -= std::max(stream->codecpar->initial_padding, 0);
            d->m_statedFrames = std::max(frames, qint64(0));
            d->m_statedRate = rate;
            // A length in units coarser than a frame (Matroska's
            // milliseconds) is rounded by up to a unit.
            d->m_statedSlack = av_rescale_q_rnd(1, stream->time_base, frame, AV_ROUND_UP) - 1;
            // A codec of so many bits a sample needs no packets to be
            // filled, and a container counts its samples.
            d->m_statedInPackets = av_get_exact_bits_per_sample(stream->codecpar->codec_id) <= 0;
        }
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
        endAs(Ending::Unreadable, QStringLiteral("Could not create filter graph: ") + ffmpegErrorText(result));
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
    if (!d->m_ioContext || !d->m_packet || !d->m_frame || !d->m_piece || !d->m_converted) {
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
    // Before the stream information is looked for, which reads on.
    const WavClaim claim = claimedWavFrames(d->m_formatContext, d->m_sound);
    d->m_statedFrames = claim.frames;
    d->m_statedExactly = claim.exact;
    d->m_dataEnd = claim.dataEnd;
    if (d->m_statedFrames >= 0) {
        d->m_statedRate = d->m_formatContext->streams[0]->codecpar->sample_rate;
        // Bytes at a byte rate round to a frame; a codec whose samples do not
        // follow its bytes fills its last packet.
        d->m_statedSlack = d->m_statedExactly ? 0 : 1;
        d->m_statedInPackets = !d->m_statedExactly;
    }
    result = avformat_find_stream_info(d->m_formatContext, nullptr);
    if (result < 0) {
        fail(result, "Could not find stream information");
        return result;
    }

    const AVCodec *codec = nullptr;
    result = av_find_best_stream(d->m_formatContext, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (result == AVERROR_STREAM_NOT_FOUND) {
        fail(result, "Could not find audio stream in input", Ending::NoSoundStream);
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
    d->m_readRate = d->m_codecContext->sample_rate;
    d->m_largestPacket = std::max(d->m_codecContext->frame_size, 0);
    // The codec may know better than the container; the graph is set up
    // from what it says.
    return checkSoundFormat(d->m_codecContext->sample_rate, d->m_codecContext->ch_layout.nb_channels);
}

int FfmpegAudioDecoder::checkSoundFormat(int sampleRate, int channels)
{
    if (sampleRate > MaximumSampleRate) {
        endAs(Ending::Refused, tr("The sound states a sample rate of %1 Hz; no sound has more than %2 Hz.")
                                   .arg(sampleRate)
                                   .arg(MaximumSampleRate));
        return AVERROR_INVALIDDATA;
    }
    if (channels > MaximumChannels) {
        endAs(Ending::Refused,
              tr("The sound has %1 channels; at most %2 can be played.").arg(channels).arg(MaximumChannels));
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
    int read = av_read_frame(d->m_formatContext, d->m_packet);
    if (read >= 0 && d->m_packet->stream_index == d->m_streamIndex && !keepToDataEnd(d->m_packet, d->m_dataEnd)) {
        av_packet_unref(d->m_packet);
        read = AVERROR_EOF;
    }
    if (read < 0) {
        // A read error ends the input like its end does, so that the sound
        // that the decoder and the graph still hold is not lost.
        d->m_reading = false;
        if (avcodec_send_packet(d->m_codecContext, nullptr) < 0)
            av_log(nullptr, AV_LOG_ERROR, "Error while closing the decoder\n");
        const int result = drainDecoder();
        if (result >= 0)
            endOfInput(read == AVERROR_EOF ? QString()
                                           : QStringLiteral("Could not read the source: ") + ffmpegErrorText(read));
        return result;
    }

    if (d->m_packet->stream_index != d->m_streamIndex) {
        av_packet_unref(d->m_packet);
        return 0;
    }
    const int result = avcodec_send_packet(d->m_codecContext, d->m_packet);
    av_packet_unref(d->m_packet);
    if (result < 0) {
        av_log(nullptr, AV_LOG_ERROR, "Error while sending a packet to the decoder\n");
        return cutOff(result, QStringLiteral("Error while sending a packet to the decoder: "));
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
        if (result == AVERROR_EOF)
            return flushFilterGraph();
        if (result < 0) {
            av_log(nullptr, AV_LOG_ERROR, "Error while receiving a frame from the decoder\n");
            return cutOff(result, QStringLiteral("Error while receiving a frame from the decoder: "));
        }
        d->m_readFrames += d->m_frame->nb_samples;
        d->m_largestPacket = std::max(d->m_largestPacket, d->m_frame->nb_samples);
        result = feedFilterGraph();
        if (result < 0)
            return result;
    }
}

// Hands the decoded frame to the graph a second of sound at a time and
// takes what comes out after each, so that a frame at a very low rate (at
// 1 Hz a packet of 4 KB stands for 17 minutes, which the resampler would
// build at once) costs no more than a second of output before the budget
// is checked. Frames of a second or less, all of them at usual rates, go in
// whole.
int FfmpegAudioDecoder::feedFilterGraph()
{
    AVFrame *frame = d->m_frame;
    const auto sampleFormat = AVSampleFormat(frame->format);
    const int channels = frame->ch_layout.nb_channels;
    const bool planar = av_sample_fmt_is_planar(sampleFormat);
    const qint64 sampleStride = qint64(av_get_bytes_per_sample(sampleFormat)) * (planar ? 1 : channels);
    const int rate = std::max(frame->sample_rate > 0 ? frame->sample_rate : d->m_codecContext->sample_rate, 1);
    if (frame->nb_samples <= rate || sampleStride <= 0)
        return addToFilterGraph(frame);

    const AVRational timeBase = d->m_formatContext->streams[d->m_streamIndex]->time_base;
    int result = 0;
    for (int first = 0; first < frame->nb_samples && result >= 0; first += rate) {
        // A reference to the same buffers, its planes starting further on.
        AVFrame *piece = d->m_piece;
        if (av_frame_ref(piece, frame) < 0) {
            result = AVERROR(ENOMEM);
            break;
        }
        const qint64 offset = first * sampleStride;
        for (int plane = 0; plane < (planar ? channels : 1); ++plane) {
            piece->extended_data[plane] += offset;
            if (piece->extended_data != piece->data && plane < AV_NUM_DATA_POINTERS)
                piece->data[plane] += offset;
        }
        piece->linesize[0] -= int(offset);
        piece->nb_samples = std::min(rate, frame->nb_samples - first);
        if (frame->pts != AV_NOPTS_VALUE)
            piece->pts = frame->pts + av_rescale_q(first, AVRational{1, rate}, timeBase);
        result = addToFilterGraph(piece);
    }
    av_frame_unref(frame);
    return result;
}

int FfmpegAudioDecoder::addToFilterGraph(AVFrame *frame)
{
    const int samples = frame->nb_samples;
    // The graph takes the frame's data and leaves the frame blank.
    if (av_buffersrc_add_frame(d->m_sourceContext, frame) < 0) {
        // A frame the graph refuses (its format changed midway) is dropped;
        // the rest of the sound still plays.
        av_log(nullptr, AV_LOG_ERROR, "Error while feeding the audio filtergraph\n");
        av_frame_unref(frame);
        return 0;
    }
    d->m_convertedFrames += samples;
    return drainFilterGraph();
}

int FfmpegAudioDecoder::drainFilterGraph()
{
    for (;;) {
        const int result = av_buffersink_get_frame(d->m_sinkContext, d->m_converted);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return 0;
        if (result < 0) {
            endAs(Ending::CutShort, QStringLiteral("Could not convert the sound: ") + ffmpegErrorText(result));
            return result;
        }
        const AVFrame *frame = d->m_converted;
        const int frameBytes = frame->ch_layout.nb_channels * av_get_bytes_per_sample(AVSampleFormat(frame->format));
        qint64 bytes = qint64(frame->nb_samples) * frameBytes;
        // What comes after the sound's own length is the silence after it.
        if (d->m_keepFrames >= 0)
            bytes = std::clamp(d->m_keepFrames * frameBytes - d->m_pcm.size(), qint64(0), bytes);
        bool boundBySource = false;
        const qint64 budget = pcmBudget(&boundBySource);
        if (d->m_pcm.size() + bytes > budget) {
            // As much as the budget takes, in whole sample frames.
            const qint64 room = frameBytes > 0 ? (budget - d->m_pcm.size()) / frameBytes * frameBytes : 0;
            if (room > 0)
                d->m_pcm.append(reinterpret_cast<const char *>(frame->data[0]), room);
            av_frame_unref(d->m_converted);
            if (boundBySource)
                endAs(Ending::Overclaimed, QStringLiteral("The sound lasts longer than its source can hold"));
            else
                endAs(Ending::CutShort, QStringLiteral("The sound is too long"));
            return AVERROR(ENOMEM);
        }
        if (bytes > 0)
            d->m_pcm.append(reinterpret_cast<const char *>(frame->data[0]), bytes);
        av_frame_unref(d->m_converted);
    }
}

int FfmpegAudioDecoder::flushFilterGraph()
{
    const int result = addSilenceAfterSound();
    if (result < 0)
        return result;
    if (av_buffersrc_add_frame(d->m_sourceContext, nullptr) < 0)
        av_log(nullptr, AV_LOG_ERROR, "Error while closing the filtergraph\n");
    return drainFilterGraph();
}

// FFmpeg's resampler gives nothing until it holds more input than its
// filter spans, about 33 samples of the lower rate, and at the end fills
// its filter with only half of what it holds, mirrored: a sound shorter
// than the filter (24 samples at 48 kHz) came out empty, and one a little
// longer without its last samples. Silence after the sound carries every
// sample through the filter; the output keeps what the sound lasts, as
// many frames as the resampler gives a longer sound, rounded up.
int FfmpegAudioDecoder::addSilenceAfterSound()
{
    const int inRate = d->m_readRate;
    const int outRate = d->m_format.sampleRate();
    if (d->m_convertedFrames <= 0 || inRate <= 0 || outRate <= 0 || inRate == outRate)
        return 0;
    // Twice the filter's span, counted in samples of the sound, carries its
    // last sample through.
    const int samples = 64 * ((inRate + outRate - 1) / outRate);
    AVFrame *silence = d->m_frame;
    av_frame_unref(silence);
    silence->format = d->m_codecContext->sample_fmt;
    silence->sample_rate = inRate;
    silence->nb_samples = samples;
    if (av_channel_layout_copy(&silence->ch_layout, &d->m_codecContext->ch_layout) < 0
        || av_frame_get_buffer(silence, 0) < 0) {
        // Then the sound ends as the resampler's own flush ends it.
        av_frame_unref(silence);
        return 0;
    }
    av_samples_set_silence(silence->extended_data, 0, samples, silence->ch_layout.nb_channels,
                           AVSampleFormat(silence->format));
    d->m_keepFrames = av_rescale_rnd(d->m_convertedFrames, outRate, inRate, AV_ROUND_UP);
    return feedFilterGraph();
}

int FfmpegAudioDecoder::cutOff(int code, const QString &what)
{
    // The resampler holds the last few milliseconds before the damage.
    flushFilterGraph();
    endOfInput(what + ffmpegErrorText(code));
    return code;
}

// Damage that costs no more than the rounding of the stated length (a file
// cut inside its last sample, or inside the padding of its last packet)
// loses nothing of the sound, and is no cut.
void FfmpegAudioDecoder::endOfInput(const QString &damage)
{
    const bool fallsShort = fallsShortOfStatedLength();
    if (!damage.isEmpty()) {
        if (d->m_statedFrames < 0 || fallsShort)
            endAs(Ending::CutShort, damage);
    } else if (fallsShort && d->m_readFrames > 0) {
        // A file without a single sample has no sound, whatever it claims.
        endAs(Ending::CutShort, QStringLiteral("The sound file ends before its stated length"));
    }
}

bool FfmpegAudioDecoder::fallsShortOfStatedLength() const
{
    if (d->m_statedFrames < 0 || d->m_statedRate <= 0 || d->m_readRate <= 0)
        return false;
    const qint64 read = av_rescale(d->m_readFrames, d->m_statedRate, d->m_readRate);
    const qint64 padding = d->m_statedInPackets ? 2 * qint64(d->m_largestPacket) : 0;
    return read + d->m_statedSlack + padding < d->m_statedFrames;
}

qint64 FfmpegAudioDecoder::pcmBudget(bool *boundBySource) const
{
    const qint64 sourceBytes = std::max(d->m_sourceSize, d->m_bytesRead);
    // Seconds the source can hold, as sample frames of the output; in 64
    // bits for any source below 200 TB.
    const qint64 frames = sourceBytes * d->m_format.sampleRate() / MinimumBytesPerSecond;
    const qint64 bySource = frames * d->m_format.bytesPerFrame();
    if (boundBySource)
        *boundBySource = bySource <= MaxPcmBytes;
    return std::min(bySource, MaxPcmBytes);
}

void FfmpegAudioDecoder::fail(int code, const char *message, Ending ending)
{
    qDebug() << code << message;
    endAs(ending, QString::fromLatin1(message) + QStringLiteral(": ") + ffmpegErrorText(code));
}

// The first reason stays: what follows a failure is often only its echo.
void FfmpegAudioDecoder::endAs(Ending ending, const QString &error)
{
    if (d->m_ending != Ending::Complete || !d->m_error.isEmpty())
        return;
    d->m_ending = ending;
    d->m_error = error;
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
