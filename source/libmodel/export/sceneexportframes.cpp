#include "scene/scene.h"

#include "export/exportfolder.h"
#include "export/exportlayers.h"
#include "export/exportnames.h"
#include "export/exportprogress.h"
#include "export/framewriterpool.h"
#include "export/imagefile.h"
#include "layers/layeritem.h"
#include "layers/visuallayer.h"
#include "scene/floatingpieceinplace.h"
#include "settings/exportframessettings.h"

#include <algorithm>
#include <optional>

namespace Model {

// Frames are written into a folder of the export's own inside the export
// folder and moved into place at the end, so a failure leaves the export
// folder as it was and a cancel keeps exactly the finished frames. The
// frames are composed, encoded and written on as many cores as the memory
// allows (FrameWriterPool), while this thread names them in order and
// follows them to the end.
// Frames that only repeat a drawing are named or left out as the settings
// say, but the span's first frame is always written as a picture of its own:
// what it repeats lies outside the export. So is a distant clone whose
// picture has no file of this export where its gap or its name would lead.
// An export that would write no file at all fails with a message saying so,
// and touches nothing.
// Every name part that comes from the user or a translation is made safe on
// its own, so the names built from them never leave the export folder.

namespace {

// What the file names of frames that only repeat a drawing carry.
struct RepeatNames
{
    QString hold;
    QString cloneFormat;
};

// The suffix of a layer's frame, or none when the frame is left out. A
// repeat is left out or named only where the export writes the picture it
// repeats and the reader is led to it: a hold by the frame before it in the
// layer's own sequence (always in the span, as the span's first frame is
// written as the drawing it shows); a distant clone, left out, by its own
// layer's file of its original, or, named, by its original's file name. A
// distant clone whose original has no such file (outside the span, or of a
// layer not exported), or one that shows other pixels (a layer of another
// colour or opacity), is written under a plain name.
std::optional<QString> cellSuffix(const Scene &scene, const QList<ExportLayer> &layers, const ExportLayer &entry,
                                  const LayerItem &item, bool firstOfSpan, const ExportFrameSpan &span,
                                  const ExportFramesSettings &settings, const RepeatNames &names)
{
    const ExportFramesSettings::Clones clones = settings.clones;
    if (firstOfSpan || (item.kind() != LayerItem::CloneKind && item.kind() != LayerItem::DistantCloneKind))
        return QString();
    if (clones == ExportFramesSettings::IncludeClonesSimpleSequence)
        return QString();
    if (item.kind() == LayerItem::CloneKind)
        return clones == ExportFramesSettings::ExcludeClones ? std::nullopt : std::optional(names.hold);
    int layer = -1;
    int frame = -1;
    const std::shared_ptr<LayerItem> original =
        scene.findDrawing({item.originalLayer(), item.originalItem()}, &layer, &frame);
    const ExportLayer *owner = findExportLayer(layers, layer);
    if (!original || original->kind() != LayerItem::OriginalKind || !owner || !span.contains(frame))
        return QString();
    if (clones == ExportFramesSettings::ExcludeClones)
        return owner->index == entry.index ? std::nullopt : std::optional(QString());
    if (!paintAlike(*owner->layer, *entry.layer, true, settings.makeAllLinesBlack))
        return QString();
    return names.cloneFormat.arg(owner->name, paddedNumber(frame, 4));
}

// Whether the composite of a frame differs from the one before: some layer
// starts a drawing there or stops showing one. A layer that ended earlier
// and shows nothing since stays silent.
bool startsNewPicture(const QList<ExportLayer> &layers, int frame)
{
    return std::any_of(layers.cbegin(), layers.cend(), [frame](const ExportLayer &entry) {
        const VisualLayer &layer = *entry.layer;
        const Layer::LayerBeyondLast beyond = layer.layerBeyondLast();
        if (beyond != Layer::FreezeLastDrawing && beyond != Layer::CycleDrawings && layer.frameCount() < frame - 1)
            return false;
        return layer.drawingTypeAt(frame) != LayerItem::CloneKind;
    });
}

// Why an export that would write no file writes none, for the user.
QString nothingToExport(const QList<ExportLayer> &layers, const ExportFrameSpan &span)
{
    if (layers.isEmpty())
        return noPicturesToExport();
    return Scene::tr("There was nothing to export: the chosen layers have no cells in frames %1 to %2.")
        .arg(span.first)
        .arg(span.last);
}

} // namespace

ExportResult Scene::exportFrames(const ExportFramesSettings &settings, QObject *progressObject) const
{
    if (visualLayerCount() == 0)
        return ExportResult::failed(nothingToExport({}, {}));
    // A piece that floats over the paper is exported where the user sees it.
    const FloatingPieceInPlace piece(*this);
    const ImageFileFormat format =
        settings.imageFormat == ExportFramesSettings::OpenEXR ? ImageFileFormat::OpenExr : ImageFileFormat::Png;
    if (!canWriteImageFormat(format))
        return ExportResult::failed(unsupportedFormatMessage(format));
    const QString extension = fileExtension(format);

    const QList<ExportLayer> layers = exportLayers(*this, settings.layers);
    const ExportFrameSpan span = exportFrameSpan(*this, settings.frames);

    const QString baseName = safeFileName(settings.name);
    const RepeatNames repeats{u'.' + safeFileName(tr("hold", "export")),
                              u'.' + safeFileName(tr("clone.%1.%2", "export (layerName.frame)"))};
    const QString layerPart = layers.size() == 1 ? u'.' + layers.first().name : QString();
    const QColor background = settings.includeAlpha ? QColor(Qt::transparent) : QColor(Qt::white);
    const QSize size = frameSize();
    const bool allBlack = settings.makeAllLinesBlack;

    // The files of one frame, each with what composes its picture.
    const auto filesOfFrame = [&](int frame) {
        const QString number = paddedNumber(frame, 4);
        const bool firstOfSpan = frame == span.first;
        QList<FrameWriterPool::File> files;
        if (settings.combineLayers) {
            QString suffix;
            if (!firstOfSpan && !startsNewPicture(layers, frame)) {
                if (settings.clones == ExportFramesSettings::ExcludeClones)
                    return files;
                if (settings.clones == ExportFramesSettings::IncludeClones)
                    suffix = repeats.hold;
            }
            files.append({QStringLiteral("%1%2.%3%4.%5").arg(baseName, layerPart, number, suffix, extension),
                          [layers, frame, size, background, allBlack] {
                              return compositeFrame(layers, frame, size, background, allBlack);
                          }});
            return files;
        }
        for (const ExportLayer &entry : layers) {
            const std::shared_ptr<LayerItem> item = entry.layer->cell(frame);
            if (!item)
                continue;
            const std::optional<QString> suffix =
                cellSuffix(*this, layers, entry, *item, firstOfSpan, span, settings, repeats);
            if (!suffix)
                continue;
            files.append({QStringLiteral("%1.%2.%3%4.%5").arg(baseName, entry.name, number, *suffix, extension),
                          [entry, frame, size, background, allBlack] {
                              return compositeFrame({entry}, frame, size, background, allBlack);
                          }});
        }
        return files;
    };
    // An export that would write no file says so before it touches the disk.
    bool anything = false;
    for (int frame = span.first; frame <= span.last && !anything; ++frame)
        anything = !filesOfFrame(frame).isEmpty();
    if (!anything)
        return ExportResult::failed(nothingToExport(layers, span));

    ExportProgress progress(progressObject);
    progress.setMaximum(settings.combineLayers ? span.count() : frameCountSum(layers));
    ExportFolder folder(settings.exportDir, ExportFolder::AddFiles);
    const auto failed = [&progress](const QString &message) {
        progress.reset();
        return ExportResult::failed(message);
    };
    if (!folder.open())
        return failed(folder.errorMessage());

    // Each frame counts once its files are written, in frame order; the
    // user's cancel is seen there and keeps the frames counted so far.
    FrameWriterPool writer(folder, format, size, [&progress] {
        progress.advance();
        return !progress.wasCanceled();
    });
    for (int frame = span.first; frame <= span.last; ++frame) {
        if (progress.wasCanceled()) {
            writer.cancel();
            break;
        }
        if (!writer.add(filesOfFrame(frame)))
            break;
    }

    const FrameWriterPool::Outcome outcome = writer.finish();
    if (outcome == FrameWriterPool::Failed)
        return failed(writer.errorMessage());
    if (!folder.commit())
        return failed(folder.errorMessage());
    return outcome == FrameWriterPool::Canceled ? ExportResult::canceled() : ExportResult{};
}

} // namespace Model
