#include "scene/scene.h"

#include "export/exportfolder.h"
#include "export/exportlayers.h"
#include "export/exportnames.h"
#include "export/exportprogress.h"
#include "export/ffmpegvideoencoder.h"
#include "export/gifencoder.h"
#include "export/movieframes.h"
#include "layers/audiolayer.h"
#include "scene/floatingpieceinplace.h"
#include "settings/exportvideosettings.h"

#include <QBuffer>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <cmath>

namespace Model {

// A movie is encoded into a folder of the export's own beside its
// destination and moved into place only once complete, so a failure or a
// cancel never leaves a partial movie behind, nor harms one already there.
// The pictures are painted at the movie's size for each frame; the scene
// stays as it is throughout.

namespace {

// How often the caller's progress object is asked whether the user
// cancelled, while the encoder's threads work.
constexpr int CancelPollMs = 100;

QSize scaledSize(const QSize &size, int percent)
{
    const auto side = [percent](int length) {
        return std::max(1, int(std::lround(double(length) * percent / 100.0)));
    };
    return QSize(side(size.width()), side(size.height()));
}

QString movieNotWritten(const QString &path, const QString &reason)
{
    const QString text = Scene::tr("The movie \"%1\" could not be written.").arg(QDir::toNativeSeparators(path));
    return reason.isEmpty() ? text : text + u'\n' + reason;
}

} // namespace

ExportResult Scene::exportVideo(const ExportVideoSettings &settings, QObject *progressObject) const
{
    if (visualLayerCount() == 0)
        return ExportResult::failed(noPicturesToExport());
    // A piece that floats over the paper is exported where the user sees it.
    const FloatingPieceInPlace piece(*this);
    ExportVideoSettings record = settings;
    const QList<ExportLayer> layers = exportLayers(*this, record.layers);
    const ExportFrameSpan span = exportFrameSpan(*this, record.frames);
    record.includeAudio = record.includeAudio && hasAudioInFrames(span.first, span.last);
    // Only ProRes keeps transparency.
    record.includeAlpha = record.includeAlpha && record.videoFormat == ExportVideoSettings::ProRes;
    if (!record.metadata.contains(QStringLiteral("title")))
        record.metadata.insert(QStringLiteral("title"), name());
    if (!record.metadata.contains(QStringLiteral("comment")))
        record.metadata.insert(QStringLiteral("comment"), tr("Created with %1").arg(QStringLiteral("Kelvane")));

    const QSize wanted = scaledSize(frameSize(), record.scalePercent);
    const QSize outputSize = record.videoFormat == ExportVideoSettings::GIF
                                 ? wanted
                                 : FfmpegVideoEncoder::encodedSize(record, wanted);

    ExportProgress progress(progressObject);
    ExportFolder folder(record.exportDir, ExportFolder::AddFiles);
    const QString fileName = safeFileName(record.name);
    const QString path = folder.open() ? folder.reserveFile(fileName) : QString();
    if (path.isEmpty()) {
        progress.reset();
        return ExportResult::failed(folder.errorMessage());
    }

    const QColor background = record.includeAlpha ? QColor(Qt::transparent) : QColor(Qt::white);
    MovieFrames frames(layers, span, frameSize(), outputSize, background);
    ExportResult result = record.videoFormat == ExportVideoSettings::GIF
                              ? exportVideoGIF(progress, frames, path)
                              : exportVideoFfmpeg(progress, record, frames, path);
    if (result.status == ExportResult::Failed)
        result.message = movieNotWritten(folder.destinationPath(fileName), result.message);
    else if (result.status == ExportResult::Finished && !folder.commit())
        result = ExportResult::failed(folder.errorMessage());
    if (result.status != ExportResult::Finished) {
        folder.discard();
        if (result.status == ExportResult::Failed)
            progress.reset();
        return result;
    }
    if (outputSize != wanted) {
        result.message = tr("The movie is %1 x %2 pixels instead of %3 x %4, a size that its format can encode.")
                             .arg(outputSize.width())
                             .arg(outputSize.height())
                             .arg(wanted.width())
                             .arg(wanted.height());
    }
    return result;
}

ExportResult Scene::exportVideoFfmpeg(ExportProgress &progress, const ExportVideoSettings &settings,
                                      MovieFrames &frames, const QString &path) const
{
    const ExportFrameSpan span = frames.span();
    progress.setMaximum(span.count());
    progress.setValue(0);

    // The sound's bytes are read on the encoder's threads until it has
    // finished, so they outlive it.
    QBuffer sound;
    FfmpegVideoEncoder encoder(settings, frames.outputSize(), frameRate());
    encoder.setOutputPath(path);
    encoder.setFrameSource(frames.source());
    if (settings.includeAudio) {
        if (const AudioLayer *audio = audioLayer()) {
            sound.setData(audio->originalAudioData());
            sound.open(QIODevice::ReadOnly);
            encoder.setAudio(&sound, audio->offsetFrames() - (span.first - 1), span.count());
        }
    }

    // The frame source runs on the encoder's thread and must not touch the
    // progress object, which may be a dialog: its cancel is read here and
    // handed on as the frames' flag.
    const auto checkCancel = [&progress, &frames, &encoder] {
        if (!frames.isCanceled() && progress.wasCanceled()) {
            frames.cancel();
            encoder.stop();
        }
    };
    QEventLoop loop;
    QObject::connect(&encoder, &FfmpegVideoEncoder::finished, &loop, &QEventLoop::quit);
    QObject::connect(&encoder, &FfmpegVideoEncoder::progress, &loop, [&progress, &checkCancel](int written) {
        progress.setValue(written);
        checkCancel();
    });
    QTimer cancelWatch;
    cancelWatch.setInterval(CancelPollMs);
    QObject::connect(&cancelWatch, &QTimer::timeout, &loop, checkCancel);
    cancelWatch.start();
    QTimer::singleShot(0, &encoder, &FfmpegVideoEncoder::start);
    loop.exec();
    cancelWatch.stop();

    if (frames.isCanceled())
        return ExportResult::canceled();
    if (encoder.errorCode() != FfmpegVideoEncoder::NoError)
        return ExportResult::failed(encoder.errorString());
    if (encoder.wasStopped())
        return ExportResult::canceled();
    return {};
}

ExportResult Scene::exportVideoGIF(ExportProgress &progress, MovieFrames &frames, const QString &path) const
{
    progress.setMaximum(frames.span().count());
    progress.setValue(0);
    // Hundredths of a second per frame, with its fraction: the encoder gives
    // each frame the whole delay that keeps the movie on the scene's clock.
    const double delay = 100.0 / frameRate();

    GIFEncoder encoder;
    encoder.setup(
        [&progress, &frames] {
            progress.setValue(frames.position());
            if (progress.wasCanceled())
                frames.cancel();
            return frames.next();
        },
        path, frames.outputSize().width(), frames.outputSize().height(), delay, 16);
    QEventLoop loop;
    QObject::connect(&encoder, &GIFEncoder::finished, &loop, &QEventLoop::quit);
    QObject::connect(&encoder, &GIFEncoder::error, &loop, &QEventLoop::quit);
    QTimer::singleShot(0, &encoder, &GIFEncoder::start);
    loop.exec();

    if (frames.isCanceled())
        return ExportResult::canceled();
    if (encoder.state() == GIFEncoder::Failed)
        return ExportResult::failed(encoder.errorString());
    if (frames.position() == 0)
        return ExportResult::failed(tr("The movie has no frames."));
    return {};
}

} // namespace Model
