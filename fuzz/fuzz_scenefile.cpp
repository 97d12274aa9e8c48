// A ".kl" scene file: the scene reader on arbitrary bytes, read both with
// its payloads taken out of the markup first and whole by the XML reader,
// which must agree, and asked why a read failed once the read is over; then
// what a user does next with the scene it gives: its cells painted on the
// exposure sheet, and the scene saved and opened again, which must give the
// same document (the writer and the reader agree on whatever the reader
// made). All of it at the frame the document gives, and again at the default
// frame, full HD.

#include "fuzztarget.h"

#include "audio/audiotestfiles.h"
#include "drawings/imagedrawing.h"
#include "drawings/strokedrawing.h"
#include "io/sceneformat.h"
#include "io/scenereader.h"
#include "io/scenewriter.h"
#include "layers/annotationlayer.h"
#include "layers/audiolayer.h"
#include "layers/layeritem.h"
#include "layers/referencelayer.h"
#include "layers/strokelayer.h"
#include "scene/scene.h"
#include "strokes/bitmapstroke.h"
#include "support/strictrecord.h"

#include <QBuffer>
#include <QPainterPath>
#include <QRegularExpression>
#include <QXmlStreamReader>

extern "C" {
#include <libavutil/log.h>
}

namespace {

// Frames larger than the default, full HD, are left out: every one of them
// costs the scene's pictures and the renderer's framebuffers at full size,
// which the unit tests cover, and would leave the fuzzer little time for the
// rest. Every document is read at full HD too.
constexpr qint64 LargestFrame = 1920 * 1080;

// A document without a side of its frame takes the size of its drawings,
// as the head of each drawing's record gives it, a record cut short by the
// document's end or by damage too.
bool drawingsTooLarge(const QString &text)
{
    static const QRegularExpression strokes(QStringLiteral("<strokes>([^<]*)"));
    for (QRegularExpressionMatchIterator it = strokes.globalMatch(text); it.hasNext();) {
        QDataStream head(QByteArray::fromBase64(it.next().captured(1).toLatin1()));
        Model::SceneFormat::preparePayloadStream(head, Model::SceneFormat::Payload::Strokes);
        QSize size;
        head >> size;
        if (qint64(size.width()) * size.height() > LargestFrame)
            return true;
    }
    return false;
}

// The frame the reader takes: the sides its first scene element gives, or,
// where that lacks one, the size of the drawings. Sides given elsewhere in
// the bytes (a second document pasted into the first) count for nothing.
bool frameTooLarge(const QByteArray &input)
{
    QXmlStreamReader xml(input);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"scene")
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        if (!attributes.hasAttribute(QStringLiteral("frameWidth"))
            || !attributes.hasAttribute(QStringLiteral("frameHeight")))
            break;
        const qint64 width =
            Model::SceneFormat::readInteger(attributes.value(QStringLiteral("frameWidth"))).value_or(0);
        const qint64 height =
            Model::SceneFormat::readInteger(attributes.value(QStringLiteral("frameHeight"))).value_or(0);
        return width * height > LargestFrame;
    }
    return drawingsTooLarge(QString::fromLatin1(input));
}

// The document as a scene of the default frame reads it: with its frame
// size made full HD. A document without its frame size takes the size of
// its drawings, and keeps it.
QByteArray atDefaultFrame(const QByteArray &input)
{
    static const QRegularExpression width(QStringLiteral("frameWidth\\s*=\\s*(\"[^\"]*\"|'[^']*')"));
    static const QRegularExpression height(QStringLiteral("frameHeight\\s*=\\s*(\"[^\"]*\"|'[^']*')"));
    return QString::fromLatin1(input)
        .replace(width, QStringLiteral("frameWidth=\"1920\""))
        .replace(height, QStringLiteral("frameHeight=\"1080\""))
        .toLatin1();
}

struct Read
{
    int result = -1;
    QString error;
    QString report;
};

Read readScene(Model::Scene &scene, const QByteArray &document)
{
    QBuffer buffer;
    buffer.setData(document);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    Model::SceneReader reader(&scene);
    Read read;
    read.result = reader.read(&buffer);
    // Asked once read() has let the document go, as the window asks.
    read.error = reader.errorString();
    read.report = reader.damageReport();
    Fuzz::expect(read.error.isEmpty() == (read.result != Model::SceneFormat::Failed),
                 "a read that fails says why, and only one that fails");
    return read;
}

QByteArray writeScene(const Model::Scene &scene)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly | QIODevice::Text);
    Model::SceneWriter writer(&scene);
    Fuzz::expect(writer.write(&buffer) == Model::SceneFormat::Done, "a scene is written whole to memory");
    return buffer.data();
}

// The document with the identifiers that the reader made up (for layers and
// cells whose own were missing or malformed) in place of one another: every
// read makes up new ones.
QByteArray withoutMadeUpIdentifiers(const QByteArray &document, const QByteArray &input)
{
    static const QRegularExpression identifier(QStringLiteral("\\{([0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12})\\}"));
    const QString read = QString::fromLatin1(input).toLower();
    QString text = QString::fromUtf8(document);
    QRegularExpressionMatchIterator matches = identifier.globalMatch(text);
    QList<QRegularExpressionMatch> madeUp;
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        if (!read.contains(match.captured(1)))
            madeUp.append(match);
    }
    for (auto it = madeUp.crbegin(); it != madeUp.crend(); ++it)
        text.replace(it->capturedStart(), it->capturedLength(), QStringLiteral("{made-up}"));
    return text.toUtf8();
}

// The scene of the seeds: a layer of every kind, holds, distant clones both
// ways, a cut drawing off its pegs, a picture, notes and a short sound.
void buildScene(Model::Scene &scene)
{
    const QSize frame(64, 36);
    scene.setFrameSize(frame, KL::FitMode::FitModeIgnore);
    auto strokes = std::make_shared<Model::StrokeLayer>(Qt::darkBlue, frame, &scene);
    strokes->setName(QStringLiteral("Ink"));
    strokes->insertCell(1, std::make_shared<Model::LayerItem>(strokes->cell(1)));
    strokes->insertCell(2, strokes->newCell());
    auto drawing = std::static_pointer_cast<Model::StrokeDrawing>(strokes->cell(1)->drawing());
    drawing->addStroke(TestSupport::bitmapStroke(QRect(10, 10, 6, 6), 255));
    drawing->addStroke(TestSupport::bitmapStroke(QRect(20, 12, 8, 4), 120));
    QPainterPath cut;
    cut.addEllipse(QPointF(12, 12), 3, 3);
    drawing->eraseInside(cut);
    drawing->addStroke(TestSupport::bitmapStroke(QRect(30, 20, 5, 5), 200));
    std::static_pointer_cast<Model::StrokeDrawing>(strokes->cell(3)->drawing())
        ->addStroke(TestSupport::bitmapStroke(QRect(40, 5, 4, 9), 90));
    strokes->setOffPegsTransform(3, QTransform().translate(3, -2).rotate(20));
    strokes->setKeyDrawing(1, true);

    auto pictures = std::make_shared<Model::ReferenceLayer>(frame, &scene);
    pictures->setName(QStringLiteral("Ref"));
    QImage picture(8, 6, QImage::Format_ARGB32);
    picture.fill(qRgba(200, 40, 40, 180));
    pictures->cell(1)->setDrawing(std::make_shared<Model::ImageDrawing>(picture));
    pictures->insertCell(1, pictures->newCell());

    auto rough = std::make_shared<Model::StrokeLayer>(QColor(10, 200, 30, 128), frame, &scene);
    rough->setName(QStringLiteral("Rough"));
    rough->insertCell(1, rough->newCell());

    auto notes = std::make_shared<Model::AnnotationLayer>(&scene);
    QImage note(20, 8, QImage::Format_Alpha8);
    note.fill(0);
    note.setPixel(3, 4, qRgba(0, 0, 0, 200));
    notes->appendImage(QImage());
    notes->appendImage(note);

    auto audio = std::make_shared<Model::AudioLayer>(&scene);
    audio->setOriginalAudioData(AudioTestFiles::wavFile(8000, 1, 16, AudioTestFiles::tone(8000, 1, 0.05, 440)));

    scene.insertLayer(strokes, 0);
    scene.insertLayer(pictures, 1);
    scene.insertLayer(rough, 2);
    scene.insertLayer(notes, 3);
    scene.insertLayer(audio, 4);
    scene.setAudioOffset(1.5);
    // Frame 2 of "Rough" shows frame 1 of "Ink".
    const std::shared_ptr<Model::LayerItem> distant = rough->cell(2);
    distant->setKind(Model::LayerItem::DistantCloneKind);
    distant->setDrawing(strokes->cell(1)->drawing());
    scene.linkDistantClone({rough->identifier(), distant->identifier()},
                           {strokes->identifier(), strokes->cell(1)->identifier()}, nullptr);
    scene.moveLayer(2, scene.layerPositions().at(2), 0);
    scene.updateMaxFrameNumber();
    scene.setFrameRange(1, scene.maximumFrameNumber(), 2, 0);
}

void readAndSave(const QByteArray &input)
{
    using Fuzz::expect;
    Model::Scene scene;
    const Read read = readScene(scene, input);
    expect(read.result == Model::SceneFormat::Done || read.result == Model::SceneFormat::Failed,
           "a read without a progress dialog is never cancelled");
    // A document without its frame size takes the size of its drawings,
    // which may be larger than the fuzzer affords.
    if (qint64(scene.frameWidth()) * scene.frameHeight() > LargestFrame)
        return;

    // The reader takes plain payloads out of the markup before the XML
    // reader sees it; a document that holds its marker is read whole by
    // the XML reader. Both ways give the same scene.
    Model::Scene whole;
    const Read wholeRead = readScene(whole, input + QByteArray("\n<!--!payload:-->"));
    expect(wholeRead.result == read.result, "a document reads alike with its payloads taken out or not");
    if (read.result != Model::SceneFormat::Done)
        return;
    expect(withoutMadeUpIdentifiers(writeScene(whole), input) == withoutMadeUpIdentifiers(writeScene(scene), input),
           "a document gives the same scene with its payloads taken out or not");
    expect(wholeRead.report == read.report, "a document gives the same damage with its payloads taken out or not");

    // The exposure sheet shows every cell.
    for (int layer = 0; layer < scene.layerCount(); ++layer) {
        for (int frame = 1; frame <= scene.maximumFrameNumber() + 1; ++frame)
            scene.layerImage(frame, layer, QSize(40, 24));
    }

    // Saved, the drawings hold nothing that a careful reader elsewhere
    // would refuse, however damaged the file was.
    const QByteArray firstSave = writeScene(scene);
    static const QRegularExpression strokes(QStringLiteral("<strokes>([^<]*)</strokes>"));
    for (QRegularExpressionMatchIterator it = strokes.globalMatch(QString::fromUtf8(firstSave)); it.hasNext();) {
        const QByteArray record = QByteArray::fromBase64(it.next().captured(1).toLatin1());
        expect(StrictRecord::drawingFault(record).isEmpty(), "a saved drawing holds only what a drawing can");
    }

    // Saved and opened again, the scene is the same scene. The first save
    // may still settle what the file left loose (a turn of 180 degrees is
    // kept as -180, six digits are kept of a turn); from then on, a save
    // and an open change nothing.
    Model::Scene once;
    expect(readScene(once, firstSave).result == Model::SceneFormat::Done, "a saved scene opens");
    const QByteArray saved = writeScene(once);
    Model::Scene twice;
    expect(readScene(twice, saved).result == Model::SceneFormat::Done, "a saved scene opens");
    expect(writeScene(twice) == saved, "a saved scene opens as it was saved");
}

} // namespace

void Fuzz::testOneInput(const QByteArray &input)
{
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    Q_UNUSED(quiet)
    if (!frameTooLarge(input))
        readAndSave(input);
    const QByteArray defaultFrame = atDefaultFrame(input);
    if (defaultFrame != input && !frameTooLarge(defaultFrame))
        readAndSave(defaultFrame);
}

QList<QByteArray> Fuzz::seeds()
{
    Model::Scene scene;
    buildScene(scene);
    const QByteArray document = writeScene(scene);
    QList<QByteArray> seeds{document};
    // The same without indentation, and a document of one empty scene.
    seeds.append(QString::fromUtf8(document).remove(QRegularExpression(QStringLiteral("\n *"))).toUtf8());
    Model::Scene empty;
    seeds.append(writeScene(empty));
    return seeds;
}
