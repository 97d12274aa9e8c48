// An imported sound file, or the sound a scene file keeps: the decoder on
// arbitrary bytes, driven as the audio layer drives it (stopping sounds over
// half an hour as soon as their length is known), and what it hands over,
// which never lasts longer than the bytes can carry.

#include "fuzztarget.h"

#include "audio/audiotestfiles.h"
#include "audio/ffmpegaudiodecoder.h"

#include <QBuffer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

extern "C" {
#include <libavutil/log.h>
}

void Fuzz::testOneInput(const QByteArray &input)
{
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    Q_UNUSED(quiet)

    QBuffer source;
    source.setData(input);
    source.open(QIODevice::ReadOnly);
    Model::FfmpegAudioDecoder decoder(&source);
    QEventLoop loop;
    int finished = 0;
    QObject::connect(&decoder, &Model::FfmpegAudioDecoder::finished, &loop, [&] {
        ++finished;
        loop.quit();
    });
    QObject::connect(&decoder, &Model::FfmpegAudioDecoder::durationMsChanged, &loop, [&](qlonglong durationMs) {
        if (durationMs > 1'800'000)
            decoder.stop();
    });
    // Sounds that are not too long by their header may still be long; a
    // fuzzed input stops after a minute of sound, as a cancel would stop it.
    QObject::connect(&decoder, &Model::FfmpegAudioDecoder::positionMsChanged, &loop, [&](qlonglong positionMs) {
        if (positionMs > 60'000)
            decoder.stop();
    });
    QTimer::singleShot(0, &decoder, &Model::FfmpegAudioDecoder::start);
    loop.exec();
    expect(finished == 1, "the decoder finishes once");

    const QByteArray pcm = decoder.buffer();
    const QAudioFormat format = decoder.format();
    if (pcm.isEmpty())
        return;
    expect(format.isValid() && format.sampleFormat() == QAudioFormat::Int16 && format.channelCount() == 2
               && format.sampleRate() == 44100,
           "decoded sound is 16-bit stereo at 44.1 kHz");
    expect(pcm.size() % format.bytesPerFrame() == 0, "decoded sound holds whole sample frames");
    const qint64 carried = input.size() * format.sampleRate() / Model::FfmpegAudioDecoder::MinimumBytesPerSecond;
    expect(pcm.size() <= carried * format.bytesPerFrame(), "decoded sound lasts no longer than its bytes can carry");
    expect(decoder.ending() != Model::FfmpegAudioDecoder::Ending::Overclaimed
               || pcm.size() == carried * format.bytesPerFrame(),
           "a sound that claims more than its bytes can carry keeps what they can");
}

QList<QByteArray> Fuzz::seeds()
{
    using namespace AudioTestFiles;
    QList<QByteArray> seeds{
        wavFile(44100, 2, 16, tone(44100, 2, 0.05, 440, 660)),
        wavFile(8000, 1, 8, tone(8000, 1, 0.1, 300)),
        wavFile(48000, 6, 16, tone(48000, 6, 0.02, 500, 700)),
    };
    QTemporaryDir dir;
    const QByteArray mp3 = mp3File(dir.filePath(QStringLiteral("tone.mp3")), 22050, 1, tone(22050, 1, 0.3, 440));
    if (!mp3.isEmpty())
        seeds.append(mp3);
    return seeds;
}
