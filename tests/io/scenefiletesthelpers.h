#pragma once

// Scenes taken through ".kl" documents for the tests of the scene files:
// writing to and reading from bytes, a scene that holds every kind of layer
// and cell, documents written by hand, and payloads picked out of a document
// to be damaged.

#include "audio/audiotestfiles.h"
#include "drawings/imagedrawing.h"
#include "drawings/strokedrawing.h"
#include "export/exportlayers.h"
#include "io/sceneformat.h"
#include "io/scenereader.h"
#include "io/scenewriter.h"
#include "layers/annotationlayer.h"
#include "layers/audiolayer.h"
#include "layers/referencelayer.h"
#include "layers/strokelayer.h"
#include "scene/celltesthelpers.h"
#include "scene/scene.h"
#include "support/scenerecord.h"

#include <QBuffer>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <functional>

namespace SceneFileTest {

using SceneTest::FrameSize;

inline QByteArray written(const Model::Scene &scene, QObject *progress = nullptr, int *result = nullptr)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly | QIODevice::Text);
    Model::SceneWriter writer(&scene, progress);
    const int outcome = writer.write(&buffer);
    if (result)
        *result = outcome;
    return buffer.data();
}

struct ReadOutcome
{
    int result = -1;
    QString error;
    QString report;
    QList<Model::SceneReader::Damage> damage;
};

inline ReadOutcome readInto(Model::Scene &scene, const QByteArray &document, QObject *progress = nullptr)
{
    QBuffer buffer;
    buffer.setData(document);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    Model::SceneReader reader(&scene, progress);
    ReadOutcome outcome;
    outcome.result = reader.read(&buffer);
    outcome.error = reader.errorString();
    outcome.report = reader.damageReport();
    outcome.damage = reader.damage();
    return outcome;
}

// A document of the writer's form around the scene's attributes and the
// layers' elements.
inline QByteArray document(const QString &sceneAttributes, const QString &layers)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE kl>\n<kl version=\"0.4\">"
                          "<scene %1><layers>%2</layers></scene></kl>\n")
        .arg(sceneAttributes, layers)
        .toUtf8();
}

inline QString base64(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toBase64());
}

// The Base64 text of a stroke drawing as the writer makes it.
inline QString strokesPayload(const Model::StrokeDrawing &drawing)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    Model::SceneFormat::preparePayloadStream(stream, Model::SceneFormat::Payload::Strokes);
    stream << drawing;
    return base64(bytes);
}

// An original of a stroke layer holding the ink of letter.
inline QString inkedOriginal(const QString &identifier, QChar letter, const QString &extra = {})
{
    return QStringLiteral("<drawing type=\"original\" identifier=\"%1\">%2<strokes>%3</strokes></drawing>")
        .arg(identifier, extra, strokesPayload(*CellTest::inkedDrawing(letter)));
}

// Every frame of the scene composited from all its layers, hidden ones
// included, as the exports paint them.
inline QList<QImage> composites(const Model::Scene &scene)
{
    const QList<Model::ExportLayer> layers = Model::exportLayers(scene, Model::ExportSettings::AllLayers);
    QList<QImage> frames;
    for (int frame = 1; frame <= scene.maximumFrameNumber(); ++frame)
        frames.append(Model::compositeFrame(layers, frame, scene.frameSize(), Qt::white, false));
    return frames;
}

inline QByteArray sound()
{
    return AudioTestFiles::wavFile(8000, 1, 16, AudioTestFiles::tone(8000, 1, 0.5, 440));
}

inline QImage picture()
{
    QImage image(20, 10, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgba(x * 12, y * 25, 200, 255 - x * 4));
    }
    return image;
}

inline QImage note(int seed)
{
    QImage image(30, 12, QImage::Format_Alpha8);
    image.fill(0);
    for (int x = 2; x < 28; ++x)
        image.setPixel(x, (x + seed) % 12, qRgba(0, 0, 0, 40 + x * 7));
    return image;
}

// A stroke layer at the bottom whose drawing's record is some hundreds of
// kilobytes: a collapsed stroke of noise, which no run-length code makes
// shorter.
inline void addLargeDrawing(Model::Scene &scene)
{
    QImage noise(512, 384, QImage::Format_Alpha8);
    QRandomGenerator random(7);
    for (int y = 0; y < noise.height(); ++y) {
        for (int x = 0; x < noise.width(); ++x)
            noise.scanLine(y)[x] = uchar(1 + random.bounded(255));
    }
    auto layer = std::make_shared<Model::StrokeLayer>(Qt::black, scene.frameSize(), &scene);
    layer->addStroke(1, std::make_unique<Model::BitmapStroke>(noise, QRect(QPoint(0, 0), noise.size() / 8)));
    scene.insertLayer(layer, scene.layerCount());
}

// Every kind of layer and cell a scene holds, with every setting the file
// keeps away from its default:
//   0 "Ink & <\"lines\">": stroke, originals, holds, a cut drawing, a key
//     drawing, a drawing off its pegs (turned and moved), a copy id, a
//     distant clone of "Rough" and its hold; freeze last.
//   1 "Rough": stroke, hidden, linked, translucent colour, opacity 0.35, a
//     distant clone of "Ink"; cycle.
//   2 "Ref": reference, a picture, its hold, a blank cell and a stroke
//     drawing pasted across; show nothing.
//   3 "Notes": annotations on frames 2 and 5 only.
//   4 "Sound": audio from frame 2.5.
//   5 "Spare": stroke, one blank cell, beyond-last setting undefined.
// Layers stand in the order 3, 1, 0, 2, 5, 4; the range is 2..5, frame 3
// of "Rough" is active; the rate is 23.976.
inline void buildEveryKind(Model::Scene &scene)
{
    scene.setFrameSize(FrameSize, KL::FitMode::FitModeIgnore);
    scene.setFrameRate(23.976);
    CellTest::buildScene(scene, {QStringLiteral("X-XXX-"), QStringLiteral("XX-X")},
                         QStringLiteral("0.5>1.1,1.4>0.1"));
    scene.setLayerName(0, QStringLiteral("Ink & <\"lines\">"));
    QPainterPath cut;
    cut.addEllipse(QPointF(4, 4), 2.5, 2.5);
    scene.cutPath(0, 1, cut);
    scene.setKeyDrawing(0, 3, true);
    scene.setOffPegsTransform(4, 0, QTransform().translate(12.5, -3.25).rotate(30));
    scene.itemAt(0, 3)->drawing()->createCopyId();
    scene.setLayerBeyondLast(0, Model::Layer::FreezeLastDrawing);

    scene.setLayerName(1, QStringLiteral("Rough"));
    scene.setLayerVisible(1, false);
    scene.setLayerLinked(1, true);
    scene.setLayerColor(1, QColor(40, 97, 184, 128));
    scene.setLayerOpacity(1, 0.35);
    scene.setLayerBeyondLast(1, Model::Layer::CycleDrawings);

    auto reference = SceneTest::referenceLayer(scene, QStringLiteral("X-XX"));
    reference->setName(QStringLiteral("Ref"));
    reference->cell(1)->setDrawing(std::make_shared<Model::ImageDrawing>(picture()));
    reference->cell(2)->setDrawing(reference->cell(1)->drawing());
    reference->cell(4)->setDrawing(CellTest::inkedDrawing(u'z'));
    scene.insertLayer(reference, scene.layerCount());
    scene.setLayerBeyondLast(2, Model::Layer::ShowNothing);

    auto notes = std::make_shared<Model::AnnotationLayer>(&scene);
    notes->setName(QStringLiteral("Notes"));
    scene.insertLayer(notes, scene.layerCount());
    scene.setAnnotationImage(2, note(1));
    scene.setAnnotationImage(5, note(2));

    auto audio = std::make_shared<Model::AudioLayer>(&scene);
    audio->setName(QStringLiteral("Sound"));
    audio->setOriginalAudioData(sound());
    scene.insertLayer(audio, scene.layerCount());
    scene.setAudioOffset(2.5);

    auto spare = SceneTest::strokeLayer(scene, QStringLiteral("X"));
    spare->setName(QStringLiteral("Spare"));
    spare->setLayerBeyondLast(Model::Layer::LayerBeyondLast(0));
    scene.insertLayer(spare, scene.layerCount());

    // From 0, 1, 2, 3, 4, 5 to 3, 1, 0, 2, 5, 4.
    scene.moveLayer(3, scene.layerPositions().at(3), 0);
    scene.moveLayer(1, scene.layerPositions().at(1), 1);
    scene.moveLayer(5, scene.layerPositions().at(5), 4);
    scene.setHighestUsedLayerNumber(7);
    scene.updateMaxFrameNumber();
    scene.setFrameRange(2, 5, 3, 1);
}

// The n-th (from 0) element called name of a document, as a match whose
// captured text 1 is its content.
inline QRegularExpressionMatch element(const QByteArray &document, const QString &name, int n)
{
    const QRegularExpression pattern(QStringLiteral("<%1>([^<]*)</%1>").arg(name));
    QRegularExpressionMatchIterator matches = pattern.globalMatch(QString::fromUtf8(document));
    for (int i = 0; matches.hasNext(); ++i) {
        const QRegularExpressionMatch match = matches.next();
        if (i == n)
            return match;
    }
    return {};
}

// The document with the content of that element replaced by what change
// makes of its decoded bytes, encoded again.
inline QByteArray withPayload(const QByteArray &document, const QString &name, int n,
                              const std::function<QString(const QByteArray &)> &change)
{
    const QRegularExpressionMatch match = element(document, name, n);
    if (!match.hasMatch())
        return {};
    QString text = QString::fromUtf8(document);
    text.replace(match.capturedStart(1), match.capturedLength(1),
                 change(QByteArray::fromBase64(match.captured(1).toLatin1())));
    return text.toUtf8();
}

} // namespace SceneFileTest
