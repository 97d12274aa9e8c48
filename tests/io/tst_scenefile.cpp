// Scenes written as ".kl" documents and read back: everything a scene holds
// survives the trip, the document has the form the format gives it, and
// drawings edited for a long time still open.

#include "scenefiletesthelpers.h"

#include "io/scenefile.h"
#include "support/fakeprogress.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <functional>

using namespace Model;
using namespace SceneFileTest;
using TestSupport::FakeProgress;

using SceneBuilder = std::function<void(Scene &)>;
Q_DECLARE_METATYPE(SceneBuilder)

namespace {

// Identifiers are fresh in every run; the lines compare without them.
QStringList documentLines(const QByteArray &document)
{
    static const QRegularExpression identifier(QStringLiteral("\\{[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}\\}"));
    QStringList lines;
    for (const QString &line : QString::fromUtf8(document).split(u'\n'))
        lines.append(QString(line).replace(identifier, QStringLiteral("{id}")));
    return lines;
}

// Clones are written without identifiers and take fresh ones when read: the
// read scene's clones take those of the written one's, so that the rest of
// the two scenes compare as they are.
void matchCloneIdentifiers(const Scene &from, Scene &to)
{
    for (int layer = 0; layer < std::min(from.layerCount(), to.layerCount()); ++layer) {
        for (int frame = 1; frame <= std::min(from.layerFrameCount(layer), to.layerFrameCount(layer)); ++frame) {
            if (to.isCloneDrawing(layer, frame))
                to.itemAt(layer, frame)->setIdentifier(from.itemAt(layer, frame)->identifier());
        }
    }
}

// One stroke layer with one cell, whose off-pegs transform is given.
void buildOffPegs(Scene &scene, const QTransform &transform)
{
    scene.setFrameSize(FrameSize, KL::FitMode::FitModeIgnore);
    CellTest::buildScene(scene, {QStringLiteral("X")});
    scene.setOffPegsTransform(1, 0, transform);
}

bool fuzzyEqual(const QTransform &a, const QTransform &b)
{
    const double values[][2] = {{a.m11(), b.m11()}, {a.m12(), b.m12()}, {a.m21(), b.m21()},
                                {a.m22(), b.m22()}, {a.dx(), b.dx()},   {a.dy(), b.dy()}};
    for (const auto &pair : values) {
        if (std::abs(pair[0] - pair[1]) > 1e-5)
            return false;
    }
    return true;
}

QString describe(const QTransform &t)
{
    return QStringLiteral("[%1 %2 %3 %4 %5 %6]")
        .arg(t.m11())
        .arg(t.m12())
        .arg(t.m21())
        .arg(t.m22())
        .arg(t.dx())
        .arg(t.dy());
}

} // namespace

class TestSceneFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void roundTripKeepsEverything();
    void writtenForm_data();
    void writtenForm();
    void offPegsKeepRotationAndTranslation_data();
    void offPegsKeepRotationAndTranslation();
    void payloadStreamsHaveAFixedVersion();
    void writerProgress();
    void writerCancel_data();
    void writerCancel();
    void drawingCutManyTimesReopens();
};

void TestSceneFile::initTestCase()
{
    TestSupport::startRenderer(QSize(64, 64));
}

void TestSceneFile::roundTripKeepsEverything()
{
    Scene original;
    buildEveryKind(original);
    const QByteArray document = written(original);

    Scene reopened;
    const ReadOutcome read = readInto(reopened, document);
    QCOMPARE(read.result, int(SceneFormat::Done));
    QCOMPARE(read.report, QString());

    // The scene writes back as it was written.
    QCOMPARE(written(reopened), document);

    QCOMPARE(reopened.frameRate(), 23.976);
    QCOMPARE(reopened.highestUsedLayerNumber(), 7);
    for (int layer = 0; layer < original.layerCount(); ++layer)
        QCOMPARE(reopened.layerColor(layer), original.layerColor(layer));
    QCOMPARE(reopened.audioOffset(), 2.5);
    const auto *sound = qobject_cast<const AudioLayer *>(reopened.layerAt(reopened.audioLayerIdx()).get());
    QVERIFY(sound && sound->hasAudio());
    QCOMPARE(sound->originalAudioData(), SceneFileTest::sound());

    // Identifiers, kinds, links, shared drawings, copy ids, placements, key
    // marks, layer settings, ordering, range and active cell.
    matchCloneIdentifiers(original, reopened);
    QCOMPARE(SceneRecord::bytes(reopened), SceneRecord::bytes(original));
    QCOMPARE(CellTest::describe(reopened), CellTest::describe(original));
    QCOMPARE(composites(reopened), composites(original));
}

void TestSceneFile::writtenForm_data()
{
    QTest::addColumn<SceneBuilder>("build");
    QTest::addColumn<QStringList>("lines");

    const auto strokes = [](const QString &pattern) {
        return [pattern](Scene &scene) {
            scene.setFrameSize(FrameSize, KL::FitMode::FitModeIgnore);
            CellTest::buildScene(scene, {pattern});
            scene.setLayerName(0, QStringLiteral("A"));
        };
    };

    QTest::newRow("no layers") << SceneBuilder([](Scene &scene) {
        scene.setFrameSize(FrameSize, KL::FitMode::FitModeIgnore);
        scene.setFrameRate(12.0);
    }) << QStringList{QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"),
                      QStringLiteral("<!DOCTYPE kl>"),
                      QStringLiteral("<kl version=\"0.4\">"),
                      QStringLiteral("    <scene frameWidth=\"64\" frameHeight=\"48\" frameRange=\"1;1\" "
                                     "activeFrameNumber=\"-1\" activeLayerIndex=\"-1\" "
                                     "highestUsedLayerNumber=\"0\" fps=\"12\" totalNumberOfDrawings=\"0\">"),
                      QStringLiteral("        <layers>"),
                      QStringLiteral("            <ordering></ordering>"),
                      QStringLiteral("        </layers>"),
                      QStringLiteral("    </scene>"),
                      QStringLiteral("</kl>")};
    QTest::newRow("stroke layer") << SceneBuilder(strokes(QStringLiteral("X-"))) << QStringList{
        QStringLiteral("            <ordering>0</ordering>"),
        QStringLiteral("            <layer identifier=\"{id}\" name=\"A\" linked=\"no\" visible=\"yes\" "
                       "beyond=\"showNothing\" type=\"stroke\">"),
        QStringLiteral("                <opacity>1</opacity>"),
        QStringLiteral("                <color>#000080</color>"),
        QStringLiteral("                <drawing type=\"original\" identifier=\"{id}\">"),
        QStringLiteral("                <drawing type=\"clone\"/>")};
    QTest::newRow("six digits, half opacity, translucent colour, freeze") << SceneBuilder([strokes](Scene &scene) {
        strokes(QStringLiteral("X"))(scene);
        scene.setFrameRate(1.0 / 3.0);
        scene.setLayerOpacity(0, 0.5);
        scene.setLayerColor(0, QColor(0x10, 0x20, 0x30, 0x80));
        scene.setLayerBeyondLast(0, Layer::FreezeLastDrawing);
    }) << QStringList{QStringLiteral("fps=\"0.333333\""), QStringLiteral("beyond=\"freezeLast\""),
                      QStringLiteral("<opacity>0.5</opacity>"), QStringLiteral("<color>#80102030</color>")};
    QTest::newRow("cycle, hidden, linked") << SceneBuilder([strokes](Scene &scene) {
        strokes(QStringLiteral("X"))(scene);
        scene.setLayerBeyondLast(0, Layer::CycleDrawings);
        scene.setLayerVisible(0, false);
        scene.setLayerLinked(0, true);
    }) << QStringList{QStringLiteral("name=\"A\" linked=\"yes\" visible=\"no\" beyond=\"cycleDrawings\" "
                                     "type=\"stroke\">")};
    QTest::newRow("undefined beyond is left out") << SceneBuilder([strokes](Scene &scene) {
        strokes(QStringLiteral("X"))(scene);
        scene.layerAt(0)->setLayerBeyondLast(Layer::LayerBeyondLast(0));
    }) << QStringList{QStringLiteral("name=\"A\" linked=\"no\" visible=\"yes\" type=\"stroke\">")};
    QTest::newRow("moved off its pegs, key drawing, copy id") << SceneBuilder([strokes](Scene &scene) {
        strokes(QStringLiteral("XX"))(scene);
        scene.setOffPegsTransform(1, 0, QTransform::fromTranslate(5, -2.5));
        scene.setKeyDrawing(0, 1, true);
        scene.setOffPegsTransform(2, 0, QTransform().rotate(90));
        scene.itemAt(0, 2)->drawing()->createCopyId();
    }) << QStringList{QStringLiteral("<drawing xOffset=\"5\" yOffset=\"-2.5\" rotationDeg=\"0\" keyDrawing=\"yes\" "
                                     "type=\"original\" identifier=\"{id}\">"),
                      QStringLiteral("<drawing xOffset=\"0\" yOffset=\"0\" rotationDeg=\"90\" type=\"original\" "
                                     "identifier=\"{id}\" copyId=\"{id}\">")};
    QTest::newRow("distant clone") << SceneBuilder([](Scene &scene) {
        scene.setFrameSize(FrameSize, KL::FitMode::FitModeIgnore);
        CellTest::buildScene(scene, {QStringLiteral("X"), QStringLiteral("XX")}, QStringLiteral("1.2>0.1"));
    }) << QStringList{QStringLiteral("                <drawing type=\"distantClone\" identifier=\"{id}\">"),
                      QStringLiteral("                    <original layer=\"{id}\" drawing=\"{id}\"/>"),
                      QStringLiteral("                    <clone layer=\"{id}\" drawing=\"{id}\"/>")};
    QTest::newRow("reference layer") << SceneBuilder([](Scene &scene) {
        scene.setFrameSize(FrameSize, KL::FitMode::FitModeIgnore);
        auto reference = SceneTest::referenceLayer(scene, QStringLiteral("X"));
        reference->setName(QStringLiteral("R"));
        scene.insertLayer(reference, 0);
    }) << QStringList{QStringLiteral("<layer identifier=\"{id}\" name=\"R\" linked=\"no\" visible=\"yes\" "
                                     "beyond=\"showNothing\" type=\"reference\">"),
                      QStringLiteral("                <opacity>0.5</opacity>"),
                      // A blank cell: a null picture, flag 0.
                      QStringLiteral("                    <image>AAAAAA==</image>")};
    QTest::newRow("audio") << SceneBuilder([](Scene &scene) {
        auto audio = std::make_shared<AudioLayer>(&scene);
        audio->setName(QStringLiteral("S"));
        scene.insertLayer(audio, 0);
    }) << QStringList{QStringLiteral("<layer identifier=\"{id}\" name=\"S\" linked=\"no\" type=\"audio\">"),
                      QStringLiteral("                <offsetFrames>0</offsetFrames>"),
                      QStringLiteral("                <originalAudioData></originalAudioData>")};
}

void TestSceneFile::writtenForm()
{
    QFETCH(SceneBuilder, build);
    QFETCH(QStringList, lines);
    Scene scene;
    build(scene);
    const QStringList document = documentLines(written(scene));
    for (const QString &line : std::as_const(lines)) {
        const bool found = std::any_of(document.cbegin(), document.cend(),
                                       [&line](const QString &written) { return written.contains(line); });
        QVERIFY2(found, qPrintable(QStringLiteral("%1\nnot in\n%2").arg(line, document.join(u'\n'))));
    }
}

void TestSceneFile::offPegsKeepRotationAndTranslation_data()
{
    QTest::addColumn<QTransform>("transform");
    QTest::addColumn<QTransform>("kept");

    QTest::newRow("in place") << QTransform() << QTransform();
    QTest::newRow("moved") << QTransform::fromTranslate(7, -3) << QTransform::fromTranslate(7, -3);
    QTest::newRow("turned 90") << QTransform().rotate(90) << QTransform().rotate(90);
    QTest::newRow("turned back 45 and moved") << QTransform().translate(-4, 9).rotate(-45)
                                              << QTransform().translate(-4, 9).rotate(-45);
    // Scale and shear are not stored: what they leave is the turn of the
    // first axis and the move.
    QTest::newRow("scaled and moved") << QTransform().translate(3, 4).scale(2, 0.5)
                                      << QTransform::fromTranslate(3, 4);
    QTest::newRow("turned and scaled") << QTransform().rotate(30).scale(3, 3) << QTransform().rotate(30);
    QTest::newRow("sheared") << QTransform().shear(0.5, 0) << QTransform();
    QTest::newRow("mirrored") << QTransform::fromScale(-1, 1) << QTransform().rotate(180);
    QTest::newRow("flattened to an axis") << QTransform(0, 0, 0, 2, 0, 0, 1, 1, 1)
                                          << QTransform().translate(1, 1).rotate(90);
}

void TestSceneFile::offPegsKeepRotationAndTranslation()
{
    QFETCH(QTransform, transform);
    QFETCH(QTransform, kept);
    Scene scene;
    buildOffPegs(scene, transform);
    const QByteArray document = written(scene);
    QCOMPARE(document.contains("xOffset"), !transform.isIdentity());

    Scene reopened;
    QCOMPARE(readInto(reopened, document).result, int(SceneFormat::Done));
    const QTransform read = reopened.itemAt(0, 1)->offPegsTransform();
    QVERIFY2(fuzzyEqual(read, kept), qPrintable(describe(read)));
}

void TestSceneFile::payloadStreamsHaveAFixedVersion()
{
    QCOMPARE(SceneFormat::PayloadStreamVersion, 20);
    Scene scene;
    buildEveryKind(scene);
    const QByteArray document = written(scene);

    const auto drawing = std::static_pointer_cast<StrokeDrawing>(scene.itemAt(0, 1)->drawing());
    QByteArray strokes;
    QDataStream strokeStream(&strokes, QIODevice::WriteOnly);
    strokeStream.setVersion(QDataStream::Qt_6_0);
    strokeStream.setFloatingPointPrecision(QDataStream::SinglePrecision);
    strokeStream << *drawing;
    QCOMPARE(QByteArray::fromBase64(element(document, QStringLiteral("strokes"), 0).captured(1).toLatin1()),
             strokes);

    QByteArray image;
    QDataStream imageStream(&image, QIODevice::WriteOnly);
    imageStream.setVersion(QDataStream::Qt_6_0);
    imageStream << picture();
    QCOMPARE(QByteArray::fromBase64(element(document, QStringLiteral("image"), 0).captured(1).toLatin1()), image);
}

void TestSceneFile::writerProgress()
{
    Scene scene;
    buildEveryKind(scene);
    FakeProgress progress;
    int result = -1;
    written(scene, &progress, &result);
    QCOMPARE(result, int(SceneFormat::Done));
    QCOMPARE(progress.property("labelText").toString(), QStringLiteral("Saving scene..."));
    QCOMPARE(progress.property("minimumDuration").toInt(), 2000);
    QCOMPARE(progress.property("windowModality").value<Qt::WindowModality>(), Qt::WindowModal);
    // One step per layer and per cell, one short of the end.
    const int steps = scene.layerCount() + scene.totalNumberOfDrawings();
    QCOMPARE(progress.m_maximum, steps + 1);
    QCOMPARE(progress.m_value, steps);
    QVERIFY(progress.m_resets >= 2);
}

void TestSceneFile::writerCancel_data()
{
    QTest::addColumn<int>("cancelAt");
    QTest::newRow("at once") << 0;
    QTest::newRow("after a cell") << 1;
    QTest::newRow("in the last layer") << 19;
}

void TestSceneFile::writerCancel()
{
    QFETCH(int, cancelAt);
    Scene scene;
    buildEveryKind(scene);
    FakeProgress progress(cancelAt);
    int result = -1;
    const QByteArray document = written(scene, &progress, &result);
    QCOMPARE(result, int(SceneFormat::Cancelled));
    QVERIFY(!document.contains("</kl>"));
    QVERIFY(progress.m_resets >= 1);
}

// Each cut followed by more drawing nests the drawing one level deeper: a
// drawing cut five thousand times saves and opens with every pixel.
void TestSceneFile::drawingCutManyTimesReopens()
{
    const int cuts = 5000;
    const QSize frame(160, 120);
    auto drawing = std::make_shared<StrokeDrawing>(frame);
    for (int cut = 0; cut < cuts; ++cut) {
        const QRect place((cut % 20) * 8, ((cut / 20) % 15) * 8, 6, 6);
        drawing->addStroke(TestSupport::bitmapStroke(place, 100 + cut % 150));
        QPainterPath corner;
        corner.addEllipse(QRectF(place.topLeft(), QSizeF(3, 3)));
        QVERIFY(drawing->eraseInside(corner));
    }
    Scene scene;
    scene.setFrameSize(frame, KL::FitMode::FitModeIgnore);
    auto layer = std::make_shared<StrokeLayer>(Qt::black, frame, &scene);
    layer->cell(1)->setDrawing(drawing);
    scene.insertLayer(layer, 0);

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("long.kl"));
    QCOMPARE(SceneFile::save(scene, path).result, int(SceneFormat::Done));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    Scene reopened;
    const ReadOutcome read = readInto(reopened, file.readAll());
    QCOMPARE(read.result, int(SceneFormat::Done));
    QCOMPARE(read.report, QString());

    auto back = std::dynamic_pointer_cast<StrokeDrawing>(reopened.itemAt(0, 1)->drawing());
    QVERIFY(back);
    QCOMPARE(back->root().strokeCount(), drawing->root().strokeCount());
    QCOMPARE(back->image(), drawing->image());
    // Not only the picture the file keeps: the strokes themselves draw it.
    back->updateImage(QRect(QPoint(0, 0), frame));
    QCOMPARE(back->image(), drawing->image());
}

QTEST_MAIN(TestSceneFile)
#include "tst_scenefile.moc"
