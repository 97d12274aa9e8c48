#include "io/scenewriter.h"

#include "drawings/imagedrawing.h"
#include "drawings/strokedrawing.h"
#include "export/exportprogress.h"
#include "io/sceneformat.h"
#include "layers/annotationlayer.h"
#include "layers/audiolayer.h"
#include "layers/layeritem.h"
#include "layers/strokelayer.h"
#include "layers/visuallayer.h"
#include "scene/scene.h"
#include "strokes/rleimage.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QStringList>
#include <QXmlStreamWriter>

namespace Model {

namespace {

// Base64 is written this many bytes at a time (a multiple of 3, so that the
// pieces join into one unbroken text): a large drawing or sound never needs
// its whole text at once. Each piece's 16 KiB of text goes through a file's
// own buffer (a larger write goes to the disk past it): a disk that fills up
// takes part of the buffer without giving a reason, and only a file whose
// refused bytes still wait in the buffer can be asked again for the
// system's (see SceneFile::write).
constexpr qsizetype Base64Piece = 3 * 4 * 1024;

QString beyondText(int beyondLast)
{
    switch (beyondLast) {
    case Layer::ShowNothing:
        return QStringLiteral("showNothing");
    case Layer::FreezeLastDrawing:
        return QStringLiteral("freezeLast");
    case Layer::CycleDrawings:
        return QStringLiteral("cycleDrawings");
    default:
        return {};
    }
}

QString cellKindText(int kind)
{
    switch (kind) {
    case LayerItem::CloneKind:
        return QStringLiteral("clone");
    case LayerItem::DistantCloneKind:
        return QStringLiteral("distantClone");
    default:
        return QStringLiteral("original");
    }
}

} // namespace

class SceneWriterPrivate
{
public:
    SceneWriterPrivate(const Scene *scene, QObject *progress)
        : m_scene(scene)
        , m_progress(progress)
    {
        m_xml.setAutoFormatting(true);
    }

    void writeScene();
    void writeOrdering();
    void writeLayer(const Layer &layer);
    void writeDrawing(const LayerItem &cell);
    void writeOffPegs(const QTransform &transform);
    void writeBase64Element(const QString &name, const QByteArray &bytes);
    void checkCancel() const;

    QXmlStreamWriter m_xml;
    const Scene *m_scene;
    ExportProgress m_progress;
    int m_step = 0;
    // The device refused a payload written to it directly.
    bool m_deviceFailed = false;
};

void SceneWriterPrivate::checkCancel() const
{
    if (m_progress.wasCanceled())
        throw WritingCancelledException();
}

void SceneWriterPrivate::writeScene()
{
    const int layers = m_scene->layerCount();
    const int drawings = m_scene->totalNumberOfDrawings();
    m_progress.reset();
    m_progress.setMaximum(layers + 1 + drawings);
    m_progress.setValue(0);

    m_xml.writeStartElement(QStringLiteral("scene"));
    m_xml.writeAttribute(QStringLiteral("frameWidth"), SceneFormat::integerText(m_scene->frameWidth()));
    m_xml.writeAttribute(QStringLiteral("frameHeight"), SceneFormat::integerText(m_scene->frameHeight()));
    m_xml.writeAttribute(QStringLiteral("frameRange"),
                         QStringLiteral("%1;%2").arg(m_scene->frameRangeFirst()).arg(m_scene->frameRangeLast()));
    m_xml.writeAttribute(QStringLiteral("activeFrameNumber"), SceneFormat::integerText(m_scene->activeFrame()));
    m_xml.writeAttribute(QStringLiteral("activeLayerIndex"), SceneFormat::integerText(m_scene->activeLayerIdx()));
    m_xml.writeAttribute(QStringLiteral("highestUsedLayerNumber"),
                         SceneFormat::integerText(m_scene->highestUsedLayerNumber()));
    m_xml.writeAttribute(QStringLiteral("fps"), SceneFormat::sixDigits(m_scene->frameRate()));
    m_xml.writeAttribute(QStringLiteral("totalNumberOfDrawings"), SceneFormat::integerText(drawings));
    checkCancel();

    m_xml.writeStartElement(QStringLiteral("layers"));
    writeOrdering();
    checkCancel();
    for (int i = 0; i < m_scene->layerCount(); ++i)
        writeLayer(*m_scene->layerAt(i));
    m_xml.writeEndElement();
    m_xml.writeEndElement();
}

void SceneWriterPrivate::writeOrdering()
{
    QStringList entries;
    for (int layer : m_scene->layerOrdering())
        entries.append(SceneFormat::integerText(layer));
    m_xml.writeTextElement(QStringLiteral("ordering"), entries.join(u';'));
}

void SceneWriterPrivate::writeLayer(const Layer &layer)
{
    m_xml.writeStartElement(QStringLiteral("layer"));
    m_xml.writeAttribute(QStringLiteral("identifier"), SceneFormat::identifierText(layer.identifier()));
    m_xml.writeAttribute(QStringLiteral("name"), layer.name());
    m_xml.writeAttribute(QStringLiteral("linked"), SceneFormat::flagText(layer.isLinked()));
    const auto *visual = qobject_cast<const VisualLayer *>(&layer);
    if (visual) {
        m_xml.writeAttribute(QStringLiteral("visible"), SceneFormat::flagText(visual->isVisible()));
        // An undefined setting (0) is left out, and read back as 0.
        const QString beyond = beyondText(int(layer.layerBeyondLast()));
        if (!beyond.isEmpty())
            m_xml.writeAttribute(QStringLiteral("beyond"), beyond);
    }
    checkCancel();

    switch (layer.type()) {
    case Layer::StrokeLayerType:
    case Layer::ReferenceLayerType:
        m_xml.writeAttribute(QStringLiteral("type"), layer.type() == Layer::StrokeLayerType
                                                         ? QStringLiteral("stroke")
                                                         : QStringLiteral("reference"));
        m_xml.writeTextElement(QStringLiteral("opacity"), SceneFormat::shortDecimal(visual->opacity()));
        if (const auto *strokes = qobject_cast<const StrokeLayer *>(&layer))
            m_xml.writeTextElement(QStringLiteral("color"), SceneFormat::colorText(strokes->color()));
        for (const std::shared_ptr<LayerItem> &cell : visual->cells()) {
            writeDrawing(*cell);
            checkCancel();
            m_progress.setValue(++m_step);
        }
        break;
    case Layer::AudioLayerType: {
        const auto &audio = static_cast<const AudioLayer &>(layer);
        m_xml.writeAttribute(QStringLiteral("type"), QStringLiteral("audio"));
        m_xml.writeTextElement(QStringLiteral("offsetFrames"), SceneFormat::shortDecimal(audio.offsetFrames()));
        writeBase64Element(QStringLiteral("originalAudioData"), audio.originalAudioData());
        break;
    }
    case Layer::AnnotationLayerType: {
        const auto &annotations = static_cast<const AnnotationLayer &>(layer);
        m_xml.writeAttribute(QStringLiteral("type"), QStringLiteral("annotation"));
        // Every frame of the scene, and the notes that lie beyond its last
        // frame (left behind when frames were removed) as well: the n-th
        // element is frame n, so nothing before a note may be left out.
        int frames = m_scene->maximumFrameNumber();
        for (int frame = annotations.imageCount(); frame > frames; --frame) {
            if (!annotations.image(frame).isNull()) {
                frames = frame;
                break;
            }
        }
        for (int frame = 1; frame <= frames; ++frame) {
            QByteArray bytes;
            QDataStream stream(&bytes, QIODevice::WriteOnly);
            SceneFormat::preparePayloadStream(stream, SceneFormat::Payload::Annotation);
            stream << RleImage(annotations.image(frame));
            writeBase64Element(QStringLiteral("image"), bytes);
        }
        break;
    }
    default:
        break;
    }
    m_xml.writeEndElement();
    m_progress.setValue(++m_step);
}

void SceneWriterPrivate::writeDrawing(const LayerItem &cell)
{
    m_xml.writeStartElement(QStringLiteral("drawing"));
    writeOffPegs(cell.offPegsTransform());
    if (cell.isKeyDrawing())
        m_xml.writeAttribute(QStringLiteral("keyDrawing"), QStringLiteral("yes"));
    m_xml.writeAttribute(QStringLiteral("type"), cellKindText(cell.kind()));

    switch (cell.kind()) {
    case LayerItem::CloneKind:
        break;
    case LayerItem::DistantCloneKind:
        m_xml.writeAttribute(QStringLiteral("identifier"), SceneFormat::identifierText(cell.identifier()));
        m_xml.writeStartElement(QStringLiteral("original"));
        m_xml.writeAttribute(QStringLiteral("layer"), SceneFormat::identifierText(cell.originalLayer()));
        m_xml.writeAttribute(QStringLiteral("drawing"), SceneFormat::identifierText(cell.originalItem()));
        m_xml.writeEndElement();
        break;
    default: {
        m_xml.writeAttribute(QStringLiteral("identifier"), SceneFormat::identifierText(cell.identifier()));
        const std::shared_ptr<Drawing> drawing = cell.drawing();
        if (drawing && !drawing->copyId().isNull())
            m_xml.writeAttribute(QStringLiteral("copyId"), SceneFormat::identifierText(drawing->copyId()));
        for (const LayerItem::Key &key : cell.distantClones()) {
            m_xml.writeStartElement(QStringLiteral("clone"));
            m_xml.writeAttribute(QStringLiteral("layer"), SceneFormat::identifierText(key.first));
            m_xml.writeAttribute(QStringLiteral("drawing"), SceneFormat::identifierText(key.second));
            m_xml.writeEndElement();
        }
        // The payload follows the drawing's class, not the layer's: a
        // drawing pasted into a layer of the other kind keeps its content.
        if (const auto *strokes = dynamic_cast<const StrokeDrawing *>(drawing.get())) {
            QByteArray bytes;
            QDataStream stream(&bytes, QIODevice::WriteOnly);
            SceneFormat::preparePayloadStream(stream, SceneFormat::Payload::Strokes);
            stream << *strokes;
            writeBase64Element(QStringLiteral("strokes"), bytes);
        } else if (const auto *picture = dynamic_cast<const ImageDrawing *>(drawing.get())) {
            QByteArray bytes;
            QDataStream stream(&bytes, QIODevice::WriteOnly);
            SceneFormat::preparePayloadStream(stream, SceneFormat::Payload::Image);
            stream << picture->image();
            writeBase64Element(QStringLiteral("image"), bytes);
        }
        break;
    }
    }
    m_xml.writeEndElement();
}

void SceneWriterPrivate::writeOffPegs(const QTransform &transform)
{
    const std::optional<SceneFormat::OffPegs> offPegs = SceneFormat::decomposeOffPegs(transform);
    if (!offPegs)
        return;
    m_xml.writeAttribute(QStringLiteral("xOffset"), SceneFormat::sixDigits(offPegs->x));
    m_xml.writeAttribute(QStringLiteral("yOffset"), SceneFormat::sixDigits(offPegs->y));
    m_xml.writeAttribute(QStringLiteral("rotationDeg"), SceneFormat::sixDigits(offPegs->degrees));
}

void SceneWriterPrivate::writeBase64Element(const QString &name, const QByteArray &bytes)
{
    m_xml.writeStartElement(name);
    // Closes the start tag, which the XML writer, like everything it is
    // given, writes to the device at once. An empty text keeps the element
    // from being written as <name/>: the same element as writeTextElement()
    // gives.
    m_xml.writeCharacters(QString());
    // Base64 needs no escaping: the text goes to the device as it is,
    // rather than through the XML writer, which would turn it into UTF-16,
    // look at every character and turn it back.
    QIODevice *device = m_xml.device();
    for (qsizetype at = 0; at < bytes.size() && !m_deviceFailed; at += Base64Piece) {
        const QByteArray piece = QByteArray::fromRawData(bytes.constData() + at,
                                                         std::min(Base64Piece, bytes.size() - at));
        const QByteArray text = piece.toBase64();
        m_deviceFailed = device->write(text) != text.size();
    }
    m_xml.writeEndElement();
}

SceneWriter::SceneWriter(const Scene *scene, QObject *progress)
    : d(std::make_unique<SceneWriterPrivate>(scene, progress))
{
    SceneFormat::prepareProgress(progress, tr("Saving scene..."), tr("Cancel"));
}

SceneWriter::~SceneWriter() = default;

int SceneWriter::write(QIODevice *device)
{
    d->m_xml.setDevice(device);
    try {
        d->m_xml.writeStartDocument();
        d->m_xml.writeDTD(QStringLiteral("<!DOCTYPE kl>"));
        d->m_xml.writeStartElement(QStringLiteral("kl"));
        d->m_xml.writeAttribute(QStringLiteral("version"), SceneFormat::Version);
        if (d->m_scene)
            d->writeScene();
        d->m_xml.writeEndDocument();
    } catch (const WritingCancelledException &) {
        d->m_progress.reset();
        return SceneFormat::Cancelled;
    }
    d->m_progress.reset();
    return d->m_xml.hasError() || d->m_deviceFailed ? SceneFormat::Failed : SceneFormat::Done;
}

QString SceneWriter::errorString() const
{
    if (!d->m_xml.hasError() && !d->m_deviceFailed)
        return {};
    const QIODevice *device = d->m_xml.device();
    return device ? device->errorString() : QString();
}

} // namespace Model
