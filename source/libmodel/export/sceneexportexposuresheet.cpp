#include "scene/scene.h"

#include "drawings/imagedrawing.h"
#include "drawings/strokedrawing.h"
#include "export/exportfolder.h"
#include "export/exportlayers.h"
#include "export/exportnames.h"
#include "export/exportprogress.h"
#include "export/imagefile.h"
#include "layers/layeritem.h"
#include "layers/strokelayer.h"
#include "scene/floatingpieceinplace.h"
#include "settings/exportexposuresheetsettings.h"
#include "settings/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>

#include <algorithm>
#include <map>

namespace Model {

// The Open Cel Animation package: a folder holding a JSON document of the
// same name and one folder of images per layer. The document lists each
// layer's exposures: which image shows from which frame for how many frames.
// Holds lengthen an exposure instead of repeating its image, and a drawing
// shown in several places is written once for each way its layers paint it
// (each layer in its own colour) and named by each exposure that shows it
// so. The whole package is built in a folder of its own and replaces
// the former one only once it is complete.

namespace {

struct Exposure
{
    QString name;
    QString fileName;
    int frame = 0;
    int duration = 1;
};

// The background the animator works on, which importers may lay under the
// layers.
QColor backgroundColor(KL::TransparencyType type)
{
    switch (type) {
    case KL::TransparencyType::TransparencySmallCheckersLight:
    case KL::TransparencyType::TransparencyLargeCheckersLight:
    case KL::TransparencyType::TransparencyLightGrey:
        return QColor(Qt::lightGray);
    case KL::TransparencyType::TransparencySmallCheckersDark:
    case KL::TransparencyType::TransparencyLargeCheckersDark:
    case KL::TransparencyType::TransparencyDarkGrey:
        return QColor(Qt::darkGray);
    case KL::TransparencyType::TransparencyWhite:
        return QColor(Qt::white);
    case KL::TransparencyType::TransparencyBlack:
        return QColor(Qt::black);
    }
    return QColor(Qt::transparent);
}

QJsonArray centreOf(const QSize &size)
{
    return {size.width() / 2, size.height() / 2};
}

// An original's drawing on a transparent ground at full opacity: the package
// gives each layer its opacity, which importers apply themselves. As the
// layer paints it: a drawing layer paints no picture (a file may give it
// one), a reference layer no strokes.
QImage originalPicture(const VisualLayer &layer, const LayerItem &item, const QSize &size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const Drawing *drawing = item.drawing().get();
    if (!drawing)
        return image;
    const auto *strokes = qobject_cast<const StrokeLayer *>(&layer);
    if (strokes && drawing->type() == Drawing::StrokeDrawingType) {
        static_cast<const StrokeDrawing *>(drawing)->blendOnto(image, strokes->colorTable(), image.rect(), 1.0);
    } else if (!strokes && drawing->type() == Drawing::ImageDrawingType) {
        QPainter painter(&image);
        static_cast<const ImageDrawing *>(drawing)->paint(&painter, layer.frameSize(), image.rect());
    }
    return image;
}

// Walks the layers' exposures and writes the images they show.
class SheetWriter
{
public:
    enum Outcome { Done, Failed, Canceled };

    SheetWriter(const Scene &scene, const QList<ExportLayer> &layers, const ExportFrameSpan &span,
                ImageFileFormat format, ExportFolder &folder)
        : m_scene(scene)
        , m_layers(layers)
        , m_span(span)
        , m_format(format)
        , m_extension(fileExtension(format))
        , m_folder(folder)
    {
    }

    // The exposures of a layer in frame order. Every one starts at an
    // original or a distant clone and lasts over the holds after it; the
    // first frame of the span always starts one, and a frame that shows
    // nothing ends the layer. The cancel is noticed after each exposure.
    Outcome walkLayer(const ExportLayer &entry, ExportProgress &progress, QList<Exposure> &exposures)
    {
        for (int frame = m_span.first; frame <= m_span.last; ++frame) {
            if (frame > m_span.first) {
                const int type = entry.layer->drawingTypeAt(frame);
                if (type == LayerItem::CloneKind) {
                    ++exposures.last().duration;
                    continue;
                }
                if (type == VisualLayer::NoDrawing)
                    break;
            }
            Exposure exposure;
            exposure.frame = frame;
            if (!nameExposure(entry, frame, exposure))
                return Failed;
            exposures.append(exposure);
            if (progress.wasCanceled())
                return Canceled;
            progress.advance();
        }
        return Done;
    }

private:
    struct WrittenImage
    {
        const VisualLayer *painter;
        QString fileName;
    };

    QString imagePath(const QString &folder, const QString &name) const
    {
        return QStringLiteral("%1/%2.%3").arg(folder, name, m_extension);
    }

    // Names the exposure and writes its image, unless the image of the
    // drawing it shows is written by another exposure.
    bool nameExposure(const ExportLayer &entry, int frame, Exposure &exposure)
    {
        exposure.name = QStringLiteral("%1_%2").arg(entry.name, paddedNumber(frame - 1, 5));
        if (entry.layer->isOriginal(frame)) {
            exposure.fileName = imagePath(entry.name, exposure.name);
            const QImage image = originalPicture(*entry.layer, *entry.layer->cell(frame), m_scene.frameSize());
            return m_folder.writeImage(exposure.fileName, image, m_format);
        }

        const Scene::DrawingKey key = m_scene.drawingKeyAt(entry.layer->identifier(), frame);
        int layerIndex = -1;
        int originalFrame = -1;
        const std::shared_ptr<LayerItem> original = m_scene.findDrawing(key, &layerIndex, &originalFrame);
        const auto *owner = qobject_cast<const VisualLayer *>(m_scene.layerAt(layerIndex).get());
        if (!original || !owner) {
            exposure.name = QStringLiteral("_blank");
            exposure.fileName.clear();
            return true;
        }
        // An original in the span of a listed layer starts an exposure of
        // its own there, which writes its image; the exposure shows that
        // image when its layer paints the drawing alike.
        const ExportLayer *listed = findExportLayer(m_layers, layerIndex);
        if (listed && m_span.contains(originalFrame) && original->kind() == LayerItem::OriginalKind
            && paintAlike(*owner, *entry.layer, false, false)) {
            exposure.fileName = imagePath(listed->name, QStringLiteral("%1_%2").arg(
                                                           listed->name, paddedNumber(originalFrame - 1, 5)));
            return true;
        }
        auto &images = m_written[key];
        const auto alike = std::find_if(images.cbegin(), images.cend(), [&entry](const WrittenImage &image) {
            return paintAlike(*image.painter, *entry.layer, false, false);
        });
        if (alike != images.cend()) {
            exposure.fileName = alike->fileName;
            return true;
        }
        exposure.fileName = imagePath(entry.name, exposure.name);
        if (!m_folder.writeImage(exposure.fileName, originalPicture(*entry.layer, *original, m_scene.frameSize()),
                                 m_format))
            return false;
        images.append({entry.layer, exposure.fileName});
        return true;
    }

    const Scene &m_scene;
    const QList<ExportLayer> &m_layers;
    const ExportFrameSpan m_span;
    const ImageFileFormat m_format;
    const QString m_extension;
    ExportFolder &m_folder;
    // Drawings that no exposure of their own shows as needed (outside the
    // span, of a layer not listed, or painted otherwise), by key, with the
    // images that this export wrote of them and the layers that painted
    // them: one for each way of painting the drawing.
    std::map<Scene::DrawingKey, QList<WrittenImage>> m_written;
};

QJsonObject exposureObject(const Exposure &exposure, const QSize &size)
{
    QJsonObject object;
    object.insert(QStringLiteral("name"), exposure.name);
    object.insert(QStringLiteral("fileName"), exposure.fileName);
    object.insert(QStringLiteral("frameNumber"), exposure.frame - 1);
    object.insert(QStringLiteral("duration"), exposure.duration);
    object.insert(QStringLiteral("opacity"), 1.0);
    object.insert(QStringLiteral("position"), centreOf(size));
    return object;
}

QJsonObject layerObject(const ExportLayer &entry, const QString &fileType, const QSize &size,
                        const QList<Exposure> &exposures)
{
    QJsonObject object;
    object.insert(QStringLiteral("name"), entry.name);
    object.insert(QStringLiteral("type"), QStringLiteral("paintlayer"));
    object.insert(QStringLiteral("fileType"), fileType);
    object.insert(QStringLiteral("animated"), true);
    object.insert(QStringLiteral("label"), 0);
    object.insert(QStringLiteral("reference"), false);
    object.insert(QStringLiteral("passThrough"), false);
    object.insert(QStringLiteral("blendingMode"), QStringLiteral("normal"));
    object.insert(QStringLiteral("inheritAlpha"), false);
    object.insert(QStringLiteral("childLayers"), QJsonArray());
    object.insert(QStringLiteral("opacity"), entry.layer->opacity());
    object.insert(QStringLiteral("visible"), entry.layer->isVisible());
    object.insert(QStringLiteral("width"), size.width());
    object.insert(QStringLiteral("height"), size.height());
    object.insert(QStringLiteral("position"), centreOf(size));
    QJsonArray frames;
    for (const Exposure &exposure : exposures)
        frames.append(exposureObject(exposure, size));
    object.insert(QStringLiteral("frames"), frames);
    return object;
}

} // namespace

ExportResult Scene::exportExposureSheet(const ExportExposureSheetSettings &settings, QObject *progressObject) const
{
    if (visualLayerCount() == 0)
        return ExportResult::failed(noPicturesToExport());
    // A piece that floats over the paper is exported where the user sees it.
    const FloatingPieceInPlace piece(*this);
    const ImageFileFormat format = settings.imageFormat == ExportExposureSheetSettings::OpenEXR
        ? ImageFileFormat::OpenExr
        : ImageFileFormat::Png;
    if (!canWriteImageFormat(format))
        return ExportResult::failed(unsupportedFormatMessage(format));

    const QList<ExportLayer> layers = exportLayers(*this, settings.layers);
    const ExportFrameSpan span = exportFrameSpan(*this, settings.frames);
    ExportProgress progress(progressObject);
    progress.setMaximum(frameCountSum(layers));

    const QString packageName = safeFileName(settings.name);
    ExportFolder folder(settings.exportDir.isEmpty() ? QString() : QDir(settings.exportDir).filePath(packageName),
                        ExportFolder::ReplaceFolder);
    const auto failed = [&progress](const QString &message) {
        progress.reset();
        return ExportResult::failed(message);
    };
    if (!folder.open())
        return failed(folder.errorMessage());

    const QColor background = backgroundColor(Settings::instance()->transparencyType());
    QJsonObject root;
    root.insert(QStringLiteral("name"), name());
    root.insert(QStringLiteral("frameRate"), frameRate());
    root.insert(QStringLiteral("width"), frameWidth());
    root.insert(QStringLiteral("height"), frameHeight());
    root.insert(QStringLiteral("startTime"), span.first - 1);
    root.insert(QStringLiteral("endTime"), span.last);
    // What the images hold, as the format's rules name it: 8-bit PNG, or
    // OpenEXR of half floats (see exrwriter.h).
    root.insert(QStringLiteral("colorDepth"),
                format == ImageFileFormat::OpenExr ? QStringLiteral("F16") : QStringLiteral("U8"));
    root.insert(QStringLiteral("backgroundColor"),
                QJsonArray{background.redF(), background.greenF(), background.blueF(), background.alphaF()});
    root.insert(QStringLiteral("ocaVersion"), QStringLiteral("1.1.0"));
    root.insert(QStringLiteral("originApp"), QCoreApplication::applicationName());
    root.insert(QStringLiteral("originAppVersion"), QCoreApplication::applicationVersion());

    SheetWriter writer(*this, layers, span, format, folder);
    QJsonArray layerObjects;
    for (const ExportLayer &entry : layers) {
        if (!folder.makeFolder(entry.name))
            return failed(folder.errorMessage());
        QList<Exposure> exposures;
        switch (writer.walkLayer(entry, progress, exposures)) {
        case SheetWriter::Failed:
            return failed(folder.errorMessage());
        case SheetWriter::Canceled:
            return ExportResult::canceled();
        case SheetWriter::Done:
            break;
        }
        layerObjects.append(layerObject(entry, fileExtension(format), frameSize(), exposures));
    }
    root.insert(QStringLiteral("layers"), layerObjects);

    if (!folder.writeFile(packageName, QJsonDocument(root).toJson(QJsonDocument::Indented))) {
        const QString reason = folder.errorReason();
        const QString message = tr("The .oca file could not be created.");
        return failed(reason.isEmpty() ? message : message + u'\n' + reason);
    }
    if (!folder.commit())
        return failed(folder.errorMessage());
    return {};
}

} // namespace Model
