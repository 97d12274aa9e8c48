#include "commandtesthelpers.h"

#include "drawings/imagedrawing.h"
#include "layers/audiolayer.h"
#include "scene/scenetesthelpers.h"

#include <QDataStream>
#include <QFile>
#include <QTest>
#include <QUndoStack>

#include <memory>

using namespace CommandTest;

namespace {

// Two stroke layers, the second active at frame 2.
std::unique_ptr<Model::KLScene> sceneToImportInto()
{
    auto handle = makeScene({QStringLiteral("XXXXXX"), QStringLiteral("X-")});
    makeCurrent(*handle, 2, 1);
    return handle;
}

// A layer's cells as kind and drawing name: "O:a1.png C:a1.png".
QString cellsOf(const Model::Scene &scene, int layer)
{
    QStringList cells;
    for (int frame = 1; frame <= scene.layerFrameCount(layer); ++frame) {
        const auto item = scene.itemAt(layer, frame);
        cells.append(QStringLiteral("%1:%2").arg(QStringLiteral("OCD").at(item->kind())).arg(item->drawing()->name()));
    }
    return cells.join(u' ');
}

// A PNG file that announces a picture of 100 000 x 100 000 pixels and holds
// none.
QString absurdPicture()
{
    const auto crc = [](const QByteArray &bytes) {
        quint32 c = 0xffffffffu;
        for (const char byte : bytes) {
            c ^= quint8(byte);
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
        }
        return c ^ 0xffffffffu;
    };
    QByteArray file("\x89PNG\r\n\x1a\n", 8);
    QDataStream out(&file, QIODevice::Append);
    const auto chunk = [&](const QByteArray &typeAndData) {
        out << quint32(typeAndData.size() - 4);
        out.writeRawData(typeAndData.constData(), int(typeAndData.size()));
        out << crc(typeAndData);
    };
    QByteArray header("IHDR");
    QDataStream fields(&header, QIODevice::Append);
    fields << quint32(100000) << quint32(100000) << quint8(8) << quint8(6) << quint8(0) << quint8(0) << quint8(0);
    chunk(header);
    // Readers learn the size once they reach the picture data.
    chunk("IDAT");
    chunk("IEND");

    const QString path = ImportFiles::instance().path(QStringLiteral("huge.png"));
    QFile png(path);
    if (png.open(QIODevice::WriteOnly))
        png.write(file);
    return path;
}

// A sound file beside the others the imports read; its path.
QString soundFile(const QString &name, const QByteArray &bytes)
{
    const QString path = ImportFiles::instance().path(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

// The header of the tone the imports read, without a sample.
QString soundOfOnlyAHeader()
{
    QFile tone(ImportFiles::instance().path(QStringLiteral("tone.wav")));
    return soundFile(QStringLiteral("header.wav"), tone.open(QIODevice::ReadOnly) ? tone.read(44) : QByteArray());
}

// The sound the scene's audio layer plays; empty without one.
QByteArray soundOf(const Model::Scene &scene)
{
    const auto *audio = qobject_cast<const Model::AudioLayer *>(scene.layerAt(scene.audioLayerIdx()).get());
    return audio ? audio->pcm() : QByteArray();
}

} // namespace

// Imports of numbered pictures and of sound: where the frames land, what an
// import that cannot be made whole says and leaves, and that undo and redo
// hand the same layers back and forth.
class TestImportCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void framesLandInOrder_data();
    void framesLandInOrder();
    void picturesOfAnySizeAndFilesLeftOut_data();
    void picturesOfAnySizeAndFilesLeftOut();
    void importsThatCannotBeMadeChangeNothing_data();
    void importsThatCannotBeMadeChangeNothing();
    void soundWithAnOffset_data();
    void soundWithAnOffset();
    void soundCutShortComesWithAWarning_data();
    void soundCutShortComesWithAWarning();
};

void TestImportCommands::init()
{
    resetPreferences();
}

void TestImportCommands::framesLandInOrder_data()
{
    QTest::addColumn<QList<int>>("numbers");
    QTest::addColumn<int>("numberPosition");
    QTest::addColumn<int>("firstNumber");
    QTest::addColumn<QString>("cells");

    QTest::newRow("a1, a2, a4 holding the gap") << QList<int>{4, 1, 2} << 1 << 1
                                                 << "O:a1.png O:a2.png C:a2.png O:a4.png";
    QTest::newRow("a1, a2, a4 closing the gap") << QList<int>{4, 1, 2} << -1 << -1 << "O:a1.png O:a2.png O:a4.png";
    QTest::newRow("a2 before a10") << QList<int>{10, 2, 1} << -1 << -1 << "O:a1.png O:a2.png O:a10.png";
    QTest::newRow("a sequence that starts late") << QList<int>{4, 2} << 1 << 1
                                                 << "O:Inserted blank O:a2.png C:a2.png O:a4.png";
}

// The new picture layer stands above the active one and becomes active, the
// range shows all of it; undo takes it away, and redo brings the very same
// layer back.
void TestImportCommands::framesLandInOrder()
{
    QFETCH(QList<int>, numbers);
    QFETCH(int, numberPosition);
    QFETCH(int, firstNumber);
    QFETCH(QString, cells);
    auto handle = sceneToImportInto();
    Model::Scene *scene = handle->scene();
    QUndoStack *stack = scene->undoStack();
    const QByteArray before = record(*handle);
    Progress progress;

    stack->push(new Commands::ImportNewReferenceLayer(scene, ImportFiles::instance().frames(numbers), &progress,
                                                      numberPosition, firstNumber));
    QCOMPARE(progress.property("labelText").toString(), QStringLiteral("Importing frames..."));
    QCOMPARE(stack->count(), 1);
    const int layer = scene->activeLayerIdx();
    QCOMPARE(layer, 2);
    QCOMPARE(cellsOf(*scene, layer), cells);
    QCOMPARE(scene->layerName(layer), QStringLiteral("1"));
    QCOMPARE(scene->layerOrdering(), QList<int>({0, 2, 1}));
    QCOMPARE(scene->frameRangeFirst(), 1);
    QCOMPARE(scene->frameRangeLast(), std::max(6, scene->layerFrameCount(layer)));
    for (int frame = 1; frame <= scene->layerFrameCount(layer); ++frame) {
        const auto *picture = static_cast<const Model::ImageDrawing *>(scene->itemAt(layer, frame)->drawing().get());
        const QString name = picture->name();
        if (name.startsWith(u'a'))
            QCOMPARE(picture->image().pixel(3, 2), ImportFiles::colourOf(name.mid(1).section(u'.', 0, 0).toInt()).rgb());
    }
    const std::shared_ptr<Model::Layer> imported = scene->layerAt(layer);

    stack->undo();
    QCOMPARE(record(*handle), before);
    stack->redo();
    QCOMPARE(scene->layerAt(layer), imported);
    QCOMPARE(scene->activeLayerIdx(), layer);
}

void TestImportCommands::picturesOfAnySizeAndFilesLeftOut_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("cells");
    QTest::addColumn<QStringList>("leftOut");

    QTest::newRow("pictures of two sizes") << QStringList{"a1.png", "b1.png"} << "O:a1.png O:b1.png"
                                           << QStringList();
    QTest::newRow("a file that is no picture") << QStringList{"a1.png", "notes.png", "a2.png"}
                                               << "O:a1.png O:a2.png" << QStringList{"notes.png"};
}

// Each picture keeps its own size (the layer fits it into the frame when it
// paints it); a file that holds no picture is left out and named.
void TestImportCommands::picturesOfAnySizeAndFilesLeftOut()
{
    QFETCH(QStringList, names);
    QFETCH(QString, cells);
    QFETCH(QStringList, leftOut);
    QStringList files;
    for (const QString &name : std::as_const(names))
        files << ImportFiles::instance().path(name);
    auto handle = sceneToImportInto();
    Model::Scene *scene = handle->scene();

    auto *import = new Commands::ImportNewReferenceLayer(scene, files);
    QCOMPARE(import->errorString(), QString());
    QStringList named;
    const QStringList skipped = import->skippedFiles();
    for (const QString &line : skipped)
        named << line.section(QLatin1Char(':'), 0, 0);
    QCOMPARE(named, leftOut);
    scene->undoStack()->push(import);
    QCOMPARE(cellsOf(*scene, scene->activeLayerIdx()), cells);
    const auto *wide = static_cast<const Model::ImageDrawing *>(scene->itemAt(scene->activeLayerIdx(), 2)->drawing().get());
    QCOMPARE(wide->image().size(), names.contains(QStringLiteral("b1.png")) ? QSize(12, 6) : QSize(8, 6));
}

void TestImportCommands::importsThatCannotBeMadeChangeNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("cancelAt");
    QTest::addColumn<QString>("message");

    const ImportFiles &files = ImportFiles::instance();
    QTest::newRow("no file holds a picture") << "frames" << QStringList{files.path(QStringLiteral("notes.png"))}
                                             << -1 << "None of the files can be read as a picture:\n\nnotes.png: ";
    QTest::newRow("a picture of absurd size") << "frames" << QStringList{absurdPicture()} << -1
                                              << "\"huge.png\" is too large to import: 100000 × 100000 pixels";
    QTest::newRow("numbering beyond any layer") << "gaps" << QStringList{files.path(QStringLiteral("a1.png")),
                                                                         files.path(QStringLiteral("a200000.png"))}
                                                << -1 << "\"a200000.png\" would make the layer longer";
    QTest::newRow("frames cancelled after the first") << "frames" << files.frames({1, 2, 4}) << 1 << "";
    QTest::newRow("frames cancelled at once") << "frames" << files.frames({1}) << 0 << "";
    QTest::newRow("a file that is no sound") << "sound" << QStringList{files.path(QStringLiteral("a1.png"))} << -1
                                             << "The file \"a1.png\" has no sound in it.";
    QTest::newRow("sound cancelled") << "sound" << QStringList{files.path(QStringLiteral("tone.wav"))} << 0 << "";
    QTest::newRow("a sound file of only a header") << "sound" << QStringList{soundOfOnlyAHeader()} << -1
                                                   << "The file \"header.wav\" has no sound in it.";
    QTest::newRow("a text file named .wav")
        << "sound" << QStringList{soundFile(QStringLiteral("words.wav"), "These are words, not sound.\n")} << -1
        << "The file \"words.wav\" could not be read as sound";
}

// Pushed, such an import leaves the scene as it was and its history as it
// was; it says why, unless the user cancelled. A refused sound leaves the
// scene's sound playing.
void TestImportCommands::importsThatCannotBeMadeChangeNothing()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, files);
    QFETCH(int, cancelAt);
    QFETCH(QString, message);
    if (files.last().endsWith(QStringLiteral("a200000.png")))
        QFile::copy(files.first(), files.last());
    auto handle = sceneToImportInto();
    Model::Scene *scene = handle->scene();
    if (kind == u"sound") {
        scene->undoStack()->push(
            new Commands::ImportNewAudioLayer(scene, ImportFiles::instance().path(QStringLiteral("tone.wav"))));
        QVERIFY(scene->hasAudio());
    }
    const QByteArray before = record(*handle);
    const QByteArray soundBefore = soundOf(*scene);
    const int stepsBefore = scene->undoStack()->count();
    Progress progress(cancelAt);

    QString error;
    if (kind == u"sound") {
        auto *import = new Commands::ImportNewAudioLayer(scene, files.first(), &progress);
        error = import->errorString();
        scene->undoStack()->push(import);
        QCOMPARE(progress.property("labelText").toString(), QStringLiteral("Importing audio..."));
    } else {
        const int gaps = kind == u"gaps" ? 1 : -1;
        auto *import = new Commands::ImportNewReferenceLayer(scene, files, &progress, gaps, gaps);
        error = import->errorString();
        scene->undoStack()->push(import);
    }
    QVERIFY2(message.isEmpty() ? error.isEmpty() : error.startsWith(message), qPrintable(error));
    QCOMPARE(scene->undoStack()->count(), stepsBefore);
    QCOMPARE(record(*handle), before);
    QCOMPARE(soundOf(*scene), soundBefore);
    // The history still undoes what it did before.
    if (stepsBefore > 0) {
        scene->undoStack()->undo();
        QVERIFY(!scene->hasAudio());
    }
}

void TestImportCommands::soundWithAnOffset_data()
{
    QTest::addColumn<bool>("hasSoundLayer");
    QTest::newRow("in place of the scene's sound layer") << true;
    QTest::newRow("into a scene without one") << false;
}

// The imported sound placed 2.5 frames in; undo takes the offset back, then
// the sound and its layer; redo brings the same layer and the offset back.
void TestImportCommands::soundWithAnOffset()
{
    QFETCH(bool, hasSoundLayer);
    auto handle = sceneToImportInto();
    Model::Scene *scene = handle->scene();
    if (hasSoundLayer)
        scene->insertLayer(std::make_shared<Model::AudioLayer>(scene), 1);
    const auto layers = [scene] {
        QList<std::shared_ptr<Model::Layer>> all;
        for (int i = 0; i < scene->layerCount(); ++i)
            all.append(scene->layerAt(i));
        return all;
    };
    const auto layersBefore = layers();
    const QByteArray before = record(*handle);
    QUndoStack *stack = scene->undoStack();

    stack->push(new Commands::ImportNewAudioLayer(scene, ImportFiles::instance().path(QStringLiteral("tone.wav"))));
    QVERIFY(scene->hasAudio());
    const std::shared_ptr<Model::Layer> sound = scene->layerAt(scene->audioLayerIdx());
    stack->push(new Commands::SetAudioOffset(scene, 2.5));
    QCOMPARE(stack->count(), 2);
    QCOMPARE(scene->audioOffset(), 2.5);
    QVERIFY(scene->hasAudioInFrames(4, 4));
    QVERIFY(!scene->hasAudioInFrames(1, 2));

    stack->undo();
    QCOMPARE(scene->audioOffset(), 0.0);
    stack->undo();
    QVERIFY(!scene->hasAudio());
    QCOMPARE(layers(), layersBefore);
    QCOMPARE(record(*handle), before);
    stack->redo();
    stack->redo();
    QCOMPARE(scene->layerAt(scene->audioLayerIdx()), sound);
    QCOMPARE(scene->audioOffset(), 2.5);
}

void TestImportCommands::soundCutShortComesWithAWarning_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("warning");
    QTest::newRow("cut short") << ImportFiles::instance().path(QStringLiteral("cut.wav")) << "The sound ends early";
    // 5 KB that make 21 minutes at 1 Hz, and claim ten times more.
    const QByteArray slow = AudioTestFiles::wavFile(1, 2, 16, AudioTestFiles::tone(1, 2, 1250, 0.1, 0.2), 50000);
    QTest::newRow("claiming more than it holds")
        << soundFile(QStringLiteral("slow.wav"), slow) << "The sound claims more than its file holds";
}

// What the file holds before the damage, or what its bytes can carry, is
// imported, and the user is told.
void TestImportCommands::soundCutShortComesWithAWarning()
{
    QFETCH(QString, file);
    QFETCH(QString, warning);
    auto handle = sceneToImportInto();
    Model::Scene *scene = handle->scene();
    // Gone before the scene, also when a check fails: its layer is a child
    // of the scene.
    auto import = std::make_unique<Commands::ImportNewAudioLayer>(scene, file);
    QVERIFY2(import->warningString().startsWith(warning), qPrintable(import->warningString()));
    QCOMPARE(import->errorString(), QString());
    scene->undoStack()->push(import.release());
    QCOMPARE(scene->undoStack()->count(), 1);
    QVERIFY(scene->hasAudio());
    // Neither file carries a minute of sound.
    const int frameAfterAMinute = int(scene->frameRate() * 60) + 1;
    QVERIFY(!scene->hasAudioInFrames(frameAfterAMinute, frameAfterAMinute));
}

QTEST_MAIN(TestImportCommands)
#include "tst_importcommands.moc"
