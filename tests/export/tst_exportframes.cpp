#include "scene/scene.h"

#include "export/exportlayers.h"
#include "export/imagefile.h"
#include "exporttesthelpers.h"
#include "layers/referencelayer.h"
#include "render/alphacomposition.h"
#include "settings/exportframessettings.h"
#include "settings/settings.h"
#include "systemmemory.h"
#include "tools/toolmanager.h"

#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cmath>

using namespace Model;
using namespace ExportTest;

namespace {

using Clones = ExportFramesSettings::Clones;

ExportFramesSettings framesSettings(const QString &dir, Clones clones = ExportFramesSettings::IncludeClones,
                                    bool combine = false)
{
    ExportFramesSettings settings;
    settings.name = QStringLiteral("walk");
    settings.exportDir = dir;
    settings.clones = clones;
    settings.combineLayers = combine;
    return settings;
}

QColor pixel(const QImage &image, QPoint at)
{
    return image.convertToFormat(QImage::Format_ARGB32).pixelColor(at);
}

bool nearlyEqual(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2
        && std::abs(a.blue() - b.blue()) <= 2 && std::abs(a.alpha() - b.alpha()) <= 2;
}

QString describe(const QColor &colour)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)").arg(colour.red()).arg(colour.green()).arg(colour.blue()).arg(colour.alpha());
}

// Pictures that note which threads paint them: with one picture painted
// into each composite, the threads that composed the frames.
class WatchedPictures : public ReferenceLayer
{
public:
    using ReferenceLayer::ReferenceLayer;

    void paint(int frame, QPainter *painter, const QRect &target) const override
    {
        noteThread();
        ReferenceLayer::paint(frame, painter, target);
    }
    void paint(int frame, QPainter *painter, const QRect &target, bool allBlack) const override
    {
        noteThread();
        ReferenceLayer::paint(frame, painter, target, allBlack);
    }
    // Threads other than the test's own.
    int otherThreads() const
    {
        QMutexLocker locker(&m_mutex);
        return int(m_threads.size());
    }

private:
    void noteThread() const
    {
        if (QThread::currentThread() == thread())
            return;
        QMutexLocker locker(&m_mutex);
        m_threads.insert(QThread::currentThread());
    }

    mutable QMutex m_mutex;
    mutable QSet<QThread *> m_threads;
};

} // namespace

class TestExportFrames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    // Which files a sequence holds
    void fileNames_data();
    void fileNames();
    void layerNamesStayInsideTheFolder();

    // What the images show, read back as other programs read them
    void pngPixels_data();
    void pngPixels();
    void exrPixels();
    void floatingPieceAsStamped_data();
    void floatingPieceAsStamped();

    // Failures, cancels and what stands in the export folder
    void failedWriteLeavesFolderAsItWas_data();
    void failedWriteLeavesFolderAsItWas();
    void exportFolderThatCannotBeMade();
    void linkInFolderIsReplacedNotFollowed();
    void cancelKeepsFinishedFrames();

    // Frames on every core
    void framesOnEveryCore_data();
    void framesOnEveryCore();
};

void TestExportFrames::initTestCase()
{
    initAlphaCompositionTables();
    ToolManager::instance()->createTools();
}

void TestExportFrames::init()
{
    QSettings().clear();
    Settings::instance()->setDefaultFrameSize(FrameSize);
}

void TestExportFrames::cleanup()
{
    assumePhysicalMemoryBytes(0);
}

void TestExportFrames::fileNames_data()
{
    QTest::addColumn<QStringList>("layers");
    QTest::addColumn<QStringList>("distantClones");
    QTest::addColumn<bool>("combine");
    QTest::addColumn<int>("clones");
    QTest::addColumn<int>("which");
    QTest::addColumn<QPoint>("range");
    QTest::addColumn<QStringList>("files");

    const int all = ExportSettings::AllLayers;
    const QPoint everyFrame;
    const QStringList ink = {QStringLiteral("Ink=A.B")};
    const QStringList inkAndRough = {QStringLiteral("Ink=ABC"), QStringLiteral("Rough=RS")};

    QTest::newRow("per layer, holds named") << ink << QStringList() << false << int(ExportFramesSettings::IncludeClones)
                                            << all << everyFrame
                                            << QStringList{"walk.Ink.0001.png", "walk.Ink.0002.hold.png", "walk.Ink.0003.png"};
    QTest::newRow("per layer, holds left out") << ink << QStringList() << false << int(ExportFramesSettings::ExcludeClones)
                                               << all << everyFrame << QStringList{"walk.Ink.0001.png", "walk.Ink.0003.png"};
    QTest::newRow("per layer, plain sequence")
        << ink << QStringList() << false << int(ExportFramesSettings::IncludeClonesSimpleSequence) << all << everyFrame
        << QStringList{"walk.Ink.0001.png", "walk.Ink.0002.png", "walk.Ink.0003.png"};
    QTest::newRow("per layer, a distant clone names its original")
        << inkAndRough << QStringList{"Ink3=Rough2"} << false << int(ExportFramesSettings::IncludeClones) << all
        << everyFrame
        << QStringList{"walk.Ink.0001.png", "walk.Ink.0002.png", "walk.Ink.0003.clone.Rough.0002.png",
                       "walk.Rough.0001.png", "walk.Rough.0002.png"};
    QTest::newRow("per layer, a distant clone of another colour")
        << QStringList{"Ink=ABC", "Rough#800000=RS"} << QStringList{"Ink3=Rough2"} << false
        << int(ExportFramesSettings::IncludeClones) << all << QPoint(2, 3)
        << QStringList{"walk.Ink.0002.png", "walk.Ink.0003.png", "walk.Rough.0002.png"};
    QTest::newRow("per layer, repeats left out, a distant clone of another layer")
        << inkAndRough << QStringList{"Ink3=Rough2"} << false << int(ExportFramesSettings::ExcludeClones) << all
        << everyFrame << QStringList{"walk.Ink.0001.png", "walk.Ink.0002.png", "walk.Ink.0003.png",
                                      "walk.Rough.0001.png", "walk.Rough.0002.png"};
    QTest::newRow("per layer, a short layer ends early")
        << QStringList{"Ink=A....", "Rough=RS"} << QStringList() << false << int(ExportFramesSettings::ExcludeClones)
        << all << everyFrame << QStringList{"walk.Ink.0001.png", "walk.Rough.0001.png", "walk.Rough.0002.png"};
    QTest::newRow("per layer, range only") << QStringList{"Ink=ABCD"} << QStringList() << false
                                           << int(ExportFramesSettings::ExcludeClones) << all << QPoint(2, 3)
                                           << QStringList{"walk.Ink.0002.png", "walk.Ink.0003.png"};
    QTest::newRow("per layer, visible layers") << QStringList{"Ink=AB", "~Rough=RS"} << QStringList() << false
                                               << int(ExportFramesSettings::ExcludeClones)
                                               << int(ExportSettings::VisibleLayers) << everyFrame
                                               << QStringList{"walk.Ink.0001.png", "walk.Ink.0002.png"};
    QTest::newRow("per layer, active layer") << QStringList{"Ink=AB", "Rough=RS"} << QStringList() << false
                                             << int(ExportFramesSettings::ExcludeClones)
                                             << int(ExportSettings::ActiveLayerOnly) << everyFrame
                                             << QStringList{"walk.Ink.0001.png", "walk.Ink.0002.png"};
    QTest::newRow("per layer, five-digit frames")
        << QStringList{QStringLiteral("Ink=A") + QString(9999, u'.')} << QStringList() << false
        << int(ExportFramesSettings::IncludeClones) << all << QPoint(9998, 10000)
        << QStringList{"walk.Ink.10000.hold.png", "walk.Ink.9998.png", "walk.Ink.9999.hold.png"};
    // The range's first frame repeats a drawing that the export leaves out:
    // it is that drawing's picture, and what holds it after is its repeat.
    const QStringList heldFrom4 = {QStringLiteral("Ink=ABCD....")};
    QTest::newRow("per layer, range starts inside a hold")
        << heldFrom4 << QStringList() << false << int(ExportFramesSettings::ExcludeClones) << all << QPoint(5, 8)
        << QStringList{"walk.Ink.0005.png"};
    QTest::newRow("per layer, range starts inside a hold, holds named")
        << heldFrom4 << QStringList() << false << int(ExportFramesSettings::IncludeClones) << all << QPoint(5, 8)
        << QStringList{"walk.Ink.0005.png", "walk.Ink.0006.hold.png", "walk.Ink.0007.hold.png", "walk.Ink.0008.hold.png"};
    QTest::newRow("per layer, range starts on a distant clone")
        << inkAndRough << QStringList{"Ink2=Rough1"} << false << int(ExportFramesSettings::IncludeClones) << all
        << QPoint(2, 3) << QStringList{"walk.Ink.0002.png", "walk.Ink.0003.png", "walk.Rough.0002.png"};
    // Clones of frames not exported: before the range, of another layer and of their own, of a hidden layer.
    const QStringList unwritten[] = {{"Ink=ABCD", "Rough=RSTU", "~Hidden=HIJK"},
                                     {"Ink3=Rough1", "Ink4=Hidden3", "Rough3=Rough1"}};
    for (const int clones : {int(ExportFramesSettings::ExcludeClones), int(ExportFramesSettings::IncludeClones)})
        QTest::addRow("per layer, repeats %s, clones of frames not exported", clones ? "named" : "left out")
            << unwritten[0] << unwritten[1] << false << clones << int(ExportSettings::VisibleLayers) << QPoint(2, 4)
            << QStringList{"walk.Ink.0002.png", "walk.Ink.0003.png", "walk.Ink.0004.png", "walk.Rough.0002.png",
                           "walk.Rough.0003.png", "walk.Rough.0004.png"};
    QTest::newRow("per layer, no cell in the range")
        << QStringList{"Ink=AB", "Rough=RSTU"} << QStringList() << false << int(ExportFramesSettings::ExcludeClones)
        << int(ExportSettings::ActiveLayerOnly) << QPoint(3, 4) << QStringList();

    QTest::newRow("composite of one layer, named after it")
        << ink << QStringList() << true << int(ExportFramesSettings::IncludeClones) << all << everyFrame
        << QStringList{"walk.Ink.0001.png", "walk.Ink.0002.hold.png", "walk.Ink.0003.png"};
    QTest::newRow("composite, a frame that only holds")
        << QStringList{"Ink=A.B", "Rough=R.."} << QStringList() << true << int(ExportFramesSettings::IncludeClones)
        << all << everyFrame << QStringList{"walk.0001.png", "walk.0002.hold.png", "walk.0003.png"};
    QTest::newRow("composite, holds left out")
        << QStringList{"Ink=A.B", "Rough=R.."} << QStringList() << true << int(ExportFramesSettings::ExcludeClones)
        << all << everyFrame << QStringList{"walk.0001.png", "walk.0003.png"};
    QTest::newRow("composite, a layer that ends is a change once")
        << QStringList{"Ink=A...", "Rough=RS"} << QStringList() << true << int(ExportFramesSettings::IncludeClones)
        << all << everyFrame
        << QStringList{"walk.0001.png", "walk.0002.png", "walk.0003.png", "walk.0004.hold.png"};
    QTest::newRow("composite, a distant clone is a new picture")
        << QStringList{"Ink=A..", "Rough=RS."} << QStringList{"Rough2=Ink1"} << true
        << int(ExportFramesSettings::ExcludeClones) << all << everyFrame
        << QStringList{"walk.0001.png", "walk.0002.png"};
    QTest::newRow("composite, no layer to show")
        << QStringList{"~Ink=AB"} << QStringList() << true << int(ExportFramesSettings::IncludeClones)
        << int(ExportSettings::VisibleLayers) << everyFrame << QStringList{"walk.0001.png", "walk.0002.hold.png"};
    QTest::newRow("composite, range starts inside a hold")
        << heldFrom4 << QStringList() << true << int(ExportFramesSettings::ExcludeClones) << all << QPoint(5, 8)
        << QStringList{"walk.Ink.0005.png"};
    QTest::newRow("composite, range starts inside a hold, holds named")
        << QStringList{"Ink=ABCD....", "Rough=RSTU...."} << QStringList() << true
        << int(ExportFramesSettings::IncludeClones) << all << QPoint(5, 8)
        << QStringList{"walk.0005.png", "walk.0006.hold.png", "walk.0007.hold.png", "walk.0008.hold.png"};
}

void TestExportFrames::fileNames()
{
    QFETCH(QStringList, layers);
    QFETCH(QStringList, distantClones);
    QFETCH(bool, combine);
    QFETCH(int, clones);
    QFETCH(int, which);
    QFETCH(QPoint, range);
    QFETCH(QStringList, files);

    Scene scene;
    build(scene, layers);
    makeDistantClones(scene, distantClones);
    if (!range.isNull())
        QVERIFY(scene.setFrameRange(range.x(), range.y(), range.x(), 0));

    QTemporaryDir dir;
    ExportFramesSettings settings = framesSettings(dir.path(), Clones(clones), combine);
    settings.layers = ExportSettings::Layers(which);
    settings.frames = range.isNull() ? ExportSettings::AllFrames : ExportSettings::RangeOnly;
    FakeProgress progress;
    const ExportResult result = scene.exportFrames(settings, &progress);

    QCOMPARE(entriesBelow(dir.path()), files);
    // An export that writes no file is no success, and says why.
    if (files.isEmpty()) {
        QCOMPARE(result.status, ExportResult::Failed);
        QVERIFY2(result.message.startsWith(QStringLiteral("There was nothing to export: ")),
                 qPrintable(result.message));
        QCOMPARE(progress.m_value, 0);
        return;
    }
    QCOMPARE(result.status, ExportResult::Finished);
    for (const QString &file : std::as_const(files))
        QVERIFY2(!QImage(dir.filePath(file)).isNull(), qPrintable(file));
    const int frames = range.isNull() ? scene.maximumFrameNumber() : range.y() - range.x() + 1;
    QCOMPARE(progress.m_value, frames);
}

void TestExportFrames::layerNamesStayInsideTheFolder()
{
    Scene scene;
    build(scene, {"../x=A", "a/b=A", "..=A", "CON=A", "Ink=A", "ink=A", "tab\tand\nline=A"});
    QTemporaryDir root;
    const QString out = QDir(root.path()).filePath(QStringLiteral("out"));

    QCOMPARE(scene.exportFrames(framesSettings(out), nullptr).status, ExportResult::Finished);

    // Bottom layers come first and keep their names; the upper "Ink" meets
    // "ink" below it and takes the next free one.
    const QStringList expected = {"out/",
                                  "out/walk..._x.0001.png",
                                  "out/walk.Ink_2.0001.png",
                                  "out/walk._.0001.png",
                                  "out/walk._CON.0001.png",
                                  "out/walk.a_b.0001.png",
                                  "out/walk.ink.0001.png",
                                  "out/walk.tab_and_line.0001.png"};
    QCOMPARE(entriesBelow(root.path()), expected);
}

void TestExportFrames::pngPixels_data()
{
    QTest::addColumn<bool>("combine");
    QTest::addColumn<bool>("transparent");
    QTest::addColumn<bool>("allBlack");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QColor>("atInk");
    QTest::addColumn<QColor>("atPicture");
    QTest::addColumn<QColor>("elsewhere");

    // The ink layer lies at half opacity over a picture layer at full.
    const QColor halfRed(255, 0, 0, 128);
    const QColor blue(0, 0, 255);
    const QColor none(0, 0, 0, 0);
    QTest::newRow("composite") << true << true << false << "walk.0001.png" << halfRed << blue << none;
    QTest::newRow("composite on white")
        << true << false << false << "walk.0001.png" << QColor(255, 127, 127) << blue << QColor(Qt::white);
    QTest::newRow("composite, lines black")
        << true << true << true << "walk.0001.png" << QColor(0, 0, 0, 128) << blue << none;
    QTest::newRow("ink layer alone") << false << true << false << "walk.Ink.0001.png" << halfRed << none << none;
    QTest::newRow("picture layer alone") << false << true << false << "walk.Paper.0001.png" << none << blue << none;
}

void TestExportFrames::pngPixels()
{
    QFETCH(bool, combine);
    QFETCH(bool, transparent);
    QFETCH(bool, allBlack);
    QFETCH(QString, file);
    QFETCH(QColor, atInk);
    QFETCH(QColor, atPicture);
    QFETCH(QColor, elsewhere);

    Scene scene;
    build(scene, {"Ink=A", "Paper=ref:A"});
    addDots(scene, 0, Qt::red);
    scene.setLayerOpacity(0, 0.5);
    scene.setLayerOpacity(1, 1.0);
    const QRect patch(40, 30, 10, 10);
    QImage picture(FrameSize, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter(&picture).fillRect(patch, Qt::blue);
    setPicture(scene, 1, 1, picture);

    QTemporaryDir dir;
    ExportFramesSettings settings = framesSettings(dir.path(), ExportFramesSettings::ExcludeClones, combine);
    settings.includeAlpha = transparent;
    settings.makeAllLinesBlack = allBlack;
    QCOMPARE(scene.exportFrames(settings, nullptr).status, ExportResult::Finished);

    const QImage image(dir.filePath(file));
    QVERIFY2(!image.isNull(), qPrintable(file));
    QCOMPARE(image.size(), scene.frameSize());
    const QPoint points[] = {dotOfFrame(1).center(), patch.center(), QPoint(30, 40)};
    const QColor expected[] = {atInk, atPicture, elsewhere};
    for (int i = 0; i < 3; ++i) {
        const QColor found = pixel(image, points[i]);
        QVERIFY2(nearlyEqual(found, expected[i]),
                 qPrintable(QStringLiteral("at (%1, %2): %3, expected %4")
                                .arg(points[i].x())
                                .arg(points[i].y())
                                .arg(describe(found), describe(expected[i]))));
    }
}

void TestExportFrames::exrPixels()
{
    Scene scene;
    build(scene, {"Ink=A"});
    addDots(scene, 0, QColor(255, 128, 0));
    // A second patch of half coverage beside the frame's dot.
    const QRect half(30, 20, 4, 4);
    QImage mark(half.size(), QImage::Format_Alpha8);
    mark.fill(128);
    auto *ink = qobject_cast<StrokeLayer *>(scene.layerAt(0).get());
    QVERIFY(ink->addStroke(1, std::make_unique<BitmapStroke>(mark, half)));

    QTemporaryDir dir;
    ExportFramesSettings settings = framesSettings(dir.path(), ExportFramesSettings::ExcludeClones, true);
    settings.imageFormat = ExportFramesSettings::OpenEXR;
    QCOMPARE(scene.exportFrames(settings, nullptr).status, ExportResult::Finished);
    QCOMPARE(entriesBelow(dir.path()), QStringList{"walk.Ink.0001.exr"});

    const ExrFile exr = readExr(dir.filePath(QStringLiteral("walk.Ink.0001.exr")));
    QVERIFY2(exr.error.isEmpty(), qPrintable(exr.error));
    QCOMPARE(QSize(exr.width, exr.height), scene.frameSize());
    QCOMPARE(exr.channels, (QStringList{"A", "B", "G", "R"}));
    QCOMPARE(exr.storedTypes, QList<int>(4, TINYEXR_PIXELTYPE_HALF));

    // Colours in linear light through a 2.2 gamma, premultiplied by alpha.
    const float green = float(std::pow(128 / 255.0, 2.2));
    const float halfAlpha = exr.value(QStringLiteral("A"), half.center());
    QVERIFY2(std::abs(halfAlpha - 128 / 255.0f) < 0.01f, qPrintable(QString::number(halfAlpha)));
    struct Expected
    {
        QPoint at;
        float a, r, g, b;
    };
    const Expected expected[] = {{dotOfFrame(1).center(), 1.0f, 1.0f, green, 0.0f},
                                 {half.center(), halfAlpha, halfAlpha, green * halfAlpha, 0.0f},
                                 {QPoint(50, 40), 0.0f, 0.0f, 0.0f, 0.0f}};
    for (const Expected &e : expected) {
        const float found[] = {exr.value("A", e.at), exr.value("R", e.at), exr.value("G", e.at), exr.value("B", e.at)};
        const float wanted[] = {e.a, e.r, e.g, e.b};
        for (int c = 0; c < 4; ++c)
            QVERIFY2(std::abs(found[c] - wanted[c]) < 0.004f,
                     qPrintable(QStringLiteral("channel %1 at (%2, %3): %4, expected %5")
                                    .arg("ARGB"[c])
                                    .arg(e.at.x())
                                    .arg(e.at.y())
                                    .arg(found[c])
                                    .arg(wanted[c])));
    }
}

void TestExportFrames::floatingPieceAsStamped_data()
{
    QTest::addColumn<Floating>("where");
    QTest::addColumn<bool>("combine");
    QTest::addColumn<int>("frames");

    const int all = ExportSettings::AllFrames;
    const int range = ExportSettings::RangeOnly;
    QTest::newRow("composites, a reference layer's cell active") << Floating::OverReference << true << all;
    QTest::newRow("per layer, a reference layer's cell active") << Floating::OverReference << false << all;
    QTest::newRow("composites, after the last drawing") << Floating::AfterLast << true << all;
    QTest::newRow("composites of the range, after the last drawing") << Floating::AfterLast << true << range;
    QTest::newRow("per layer, after the last drawing of linked layers") << Floating::AfterLastLinked << false << all;
    QTest::newRow("composites, after the last drawing of linked layers") << Floating::AfterLastLinked << true << all;
}

// A piece left floating is exported as stamping it first exports it: the
// same files, frame for frame, pixel for pixel.
void TestExportFrames::floatingPieceAsStamped()
{
    QFETCH(Floating, where);
    QFETCH(bool, combine);
    QFETCH(int, frames);
    const auto reset = qScopeGuard([] {
        KLScene::setCurrent(nullptr);
        ToolManager::instance()->setCurrentTool(Tool::Type::Pen);
    });

    QTemporaryDir dir;
    QStringList exported[2];
    for (const bool stamped : {true, false}) {
        KLScene handle;
        buildFloatingPiece(handle, where, stamped);
        if (QTest::currentTestFailed())
            return;
        const QString folder = dir.filePath(stamped ? QStringLiteral("stamped") : QStringLiteral("floating"));
        ExportFramesSettings settings = framesSettings(folder, ExportFramesSettings::IncludeClones, combine);
        settings.frames = ExportSettings::Frames(frames);
        QCOMPARE(handle.scene()->exportFrames(settings, nullptr).status, ExportResult::Finished);
        exported[stamped ? 0 : 1] = entriesBelow(folder);
        KLScene::setCurrent(nullptr);
    }
    QCOMPARE(exported[1], exported[0]);
    for (const QString &file : std::as_const(exported[0])) {
        const QImage stamped(dir.filePath(QStringLiteral("stamped/") + file));
        QVERIFY2(!stamped.isNull(), qPrintable(file));
        QVERIFY2(QImage(dir.filePath(QStringLiteral("floating/") + file)) == stamped, qPrintable(file));
    }
}

void TestExportFrames::failedWriteLeavesFolderAsItWas_data()
{
    QTest::addColumn<bool>("combine");
    QTest::addColumn<int>("format");
    QTest::newRow("composite PNG") << true << int(ExportFramesSettings::PNG);
    QTest::newRow("per layer PNG") << false << int(ExportFramesSettings::PNG);
    QTest::newRow("composite EXR") << true << int(ExportFramesSettings::OpenEXR);
}

void TestExportFrames::failedWriteLeavesFolderAsItWas()
{
    QFETCH(bool, combine);
    QFETCH(int, format);

    Scene scene;
    buildSceneTooLargeAtFrame3(scene);
    QTemporaryDir dir;
    QVERIFY(writeFileContents(dir.filePath("keep.txt"), "kept"));
    QVERIFY(writeFileContents(dir.filePath("walk.0001.png"), "an older export"));
    const QStringList before = entriesBelow(dir.path());

    ExportFramesSettings settings = framesSettings(dir.path(), ExportFramesSettings::ExcludeClones, combine);
    settings.imageFormat = ExportFramesSettings::ImageFormat(format);
    FakeProgress progress;
    ExportResult result;
    {
        const FileSizeLimit limit(FullDiskLimit);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Export: writing .* failed")));
        result = scene.exportFrames(settings, &progress);
    }

    QCOMPARE(result.status, ExportResult::Failed);
    QVERIFY2(result.message.contains(QStringLiteral("could not be written")), qPrintable(result.message));
    QVERIFY2(result.message.contains(dir.path()), qPrintable(result.message));
    QCOMPARE(progress.m_resets, 1);
    QCOMPARE(entriesBelow(dir.path()), before);
    QCOMPARE(fileContents(dir.filePath("walk.0001.png")), QByteArray("an older export"));
}

void TestExportFrames::exportFolderThatCannotBeMade()
{
    Scene scene;
    build(scene, {"Ink=AB"});
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("file"));
    QVERIFY(writeFileContents(file, "a file"));

    // /dev/full is a device, a plain file no folder: neither can hold frames.
    for (const QString &folder : {QStringLiteral("/dev/full"), file, QStringLiteral("/dev/full/sub")}) {
        const ExportResult result = scene.exportFrames(framesSettings(folder), nullptr);
        QCOMPARE(result.status, ExportResult::Failed);
        QVERIFY2(result.message.contains(QStringLiteral("could not be created")), qPrintable(result.message));
    }
    QVERIFY(!QFileInfo(QStringLiteral("/dev/full")).isFile());
    QVERIFY(QFileInfo::exists(QStringLiteral("/dev/full")));
    QCOMPARE(fileContents(file), QByteArray("a file"));
    QCOMPARE(entriesBelow(dir.path()), QStringList{"file"});
}

void TestExportFrames::linkInFolderIsReplacedNotFollowed()
{
    Scene scene;
    build(scene, {"Ink=A"});
    QTemporaryDir root;
    const QString out = QDir(root.path()).filePath("out");
    QVERIFY(QDir().mkpath(out));
    const QString outside = QDir(root.path()).filePath("outside.txt");
    QVERIFY(writeFileContents(outside, "not the export's"));
    QVERIFY(QFile::link(outside, QDir(out).filePath("walk.Ink.0001.png")));

    QCOMPARE(scene.exportFrames(framesSettings(out), nullptr).status, ExportResult::Finished);

    QCOMPARE(fileContents(outside), QByteArray("not the export's"));
    const QFileInfo frame(QDir(out).filePath("walk.Ink.0001.png"));
    QVERIFY(!frame.isSymLink());
    QVERIFY(!QImage(frame.filePath()).isNull());
}

void TestExportFrames::cancelKeepsFinishedFrames()
{
    Scene scene;
    build(scene, {"Ink=ABCD", "Rough=RS"});
    QTemporaryDir dir;
    FakeProgress progress(2);

    const ExportResult result = scene.exportFrames(framesSettings(dir.path()), &progress);

    QCOMPARE(result.status, ExportResult::Canceled);
    // The maximum counts the layers' cells though the value counts frames.
    QCOMPARE(progress.m_maximum, 6);
    QCOMPARE(progress.m_resets, 0);
    QCOMPARE(entriesBelow(dir.path()),
             (QStringList{"walk.Ink.0001.png", "walk.Ink.0002.png", "walk.Rough.0001.png", "walk.Rough.0002.png"}));
}

void TestExportFrames::framesOnEveryCore_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("combine");
    QTest::addColumn<int>("cancelAt");
    // The machine's memory as the export is to see it (0: as it is), and
    // how many threads then compose the frames (0: any number).
    QTest::addColumn<qint64>("memory");
    QTest::addColumn<int>("threads");

    const int png = ExportFramesSettings::PNG;
    const int exr = ExportFramesSettings::OpenEXR;
    QTest::newRow("PNG composites") << png << true << -1 << qint64(0) << 0;
    QTest::newRow("OpenEXR composites") << exr << true << -1 << qint64(0) << 0;
    QTest::newRow("PNG per layer") << png << false << -1 << qint64(0) << 0;
    QTest::newRow("OpenEXR per layer") << exr << false << -1 << qint64(0) << 0;
    QTest::newRow("PNG composites, cancelled part-way") << png << true << 7 << qint64(0) << 0;
    QTest::newRow("OpenEXR per layer, cancelled part-way") << exr << false << 7 << qint64(0) << 0;
    // Too little memory for two bare pictures of the frame: one at a time.
    QTest::newRow("OpenEXR composites, memory for one frame") << exr << true << -1 << qint64(16 * 1024) << 1;
}

// However the frames are spread over the cores, the files are those that
// composing and encoding one frame after the other gives, byte for byte,
// under the same names; the progress counts the frames once each, in order;
// a cancel keeps the first frames, each whole, and nothing else.
void TestExportFrames::framesOnEveryCore()
{
    QFETCH(int, format);
    QFETCH(bool, combine);
    QFETCH(int, cancelAt);
    QFETCH(qint64, memory);
    QFETCH(int, threads);

    constexpr int Frames = 36;
    Scene scene;
    build(scene, {QStringLiteral("Ink=") + QString(Frames, u'_'), QStringLiteral("Rough=") + QString("A..B..").repeated(Frames / 6),
                  QStringLiteral("Paper=ref:") + QString(Frames, u'_')});
    const auto paper = std::make_shared<WatchedPictures>(FrameSize, &scene);
    CellPattern::setCells(*paper, QString(Frames, u'_'));
    QVERIFY(scene.replaceLayer(2, paper));
    scene.setLayerName(2, QStringLiteral("Paper"));
    addDots(scene, 0, Qt::red, 200);
    addDots(scene, 1, Qt::blue);
    for (int frame = 1; frame <= Frames; ++frame)
        setPicture(scene, 2, frame, noise(FrameSize, quint32(frame)));
    scene.setLayerOpacity(0, 0.5);

    QTemporaryDir dir;
    ExportFramesSettings settings =
        framesSettings(dir.path(), ExportFramesSettings::IncludeClonesSimpleSequence, combine);
    settings.imageFormat = ExportFramesSettings::ImageFormat(format);
    FakeProgress progress(cancelAt);
    assumePhysicalMemoryBytes(memory);
    const ExportResult result = scene.exportFrames(settings, &progress);
    assumePhysicalMemoryBytes(0);

    if (threads > 0)
        QCOMPARE(paper->otherThreads(), threads);
    const bool canceled = cancelAt >= 0;
    QCOMPARE(result.status, canceled ? ExportResult::Canceled : ExportResult::Finished);
    const int framesDone = canceled ? cancelAt : Frames;
    QList<int> counted;
    for (int value = 1; value <= framesDone; ++value)
        counted.append(value);
    QCOMPARE(progress.m_values, counted);
    QCOMPARE(progress.m_foreignUses.load(), 0);

    // The plain loop: each frame composed and encoded in turn.
    const ImageFileFormat fileFormat =
        format == ExportFramesSettings::OpenEXR ? ImageFileFormat::OpenExr : ImageFileFormat::Png;
    const QList<ExportLayer> layers = exportLayers(scene, ExportSettings::AllLayers);
    QMap<QString, QByteArray> expected;
    for (int frame = 1; frame <= framesDone; ++frame) {
        const QString number = QStringLiteral("%1").arg(frame, 4, 10, QChar(u'0'));
        if (combine) {
            expected.insert(QStringLiteral("walk.%1.%2").arg(number, fileExtension(fileFormat)),
                            encodeImage(compositeFrame(layers, frame, FrameSize, Qt::transparent, false), fileFormat));
            continue;
        }
        for (const ExportLayer &entry : layers) {
            expected.insert(QStringLiteral("walk.%1.%2.%3").arg(entry.name, number, fileExtension(fileFormat)),
                            encodeImage(compositeFrame({entry}, frame, FrameSize, Qt::transparent, false), fileFormat));
        }
    }
    QCOMPARE(entriesBelow(dir.path()), QStringList(expected.keys()));
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QString path = dir.filePath(it.key());
        QVERIFY2(fileContents(path) == it.value(), qPrintable(it.key()));
        if (fileFormat == ImageFileFormat::Png)
            QVERIFY2(!QImage(path).isNull(), qPrintable(it.key()));
        else
            QVERIFY2(readExr(path).error.isEmpty(), qPrintable(it.key()));
    }
}

QTEST_MAIN(TestExportFrames)
#include "tst_exportframes.moc"
