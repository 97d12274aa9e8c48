#include "scene/scene.h"

#include "export/exportlayers.h"
#include "exporttesthelpers.h"
#include "ocarules.h"
#include "render/alphacomposition.h"
#include "settings/exportexposuresheetsettings.h"
#include "settings/settings.h"
#include "tools/toolmanager.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cmath>
#include <cstring>

using namespace Model;
using namespace ExportTest;
using OcaRules::ocaFault;

namespace {

ExportExposureSheetSettings sheetSettings(const QString &dir)
{
    ExportExposureSheetSettings settings;
    settings.name = QStringLiteral("walk.oca");
    settings.exportDir = dir;
    return settings;
}

QJsonObject document(const QString &package)
{
    return QJsonDocument::fromJson(fileContents(QDir(package).filePath(QFileInfo(package).fileName()))).object();
}

QJsonObject layerOf(const QJsonObject &root, const QString &name)
{
    for (const QJsonValue &layer : root.value("layers").toArray()) {
        if (layer.toObject().value("name").toString() == name)
            return layer.toObject();
    }
    return {};
}

// A layer's exposures as "name|fileName|frameNumber|duration", joined by "; ".
QString exposureList(const QJsonObject &layer)
{
    QStringList entries;
    for (const QJsonValue &value : layer.value("frames").toArray()) {
        const QJsonObject frame = value.toObject();
        entries.append(QStringLiteral("%1|%2|%3|%4")
                           .arg(frame.value("name").toString(), frame.value("fileName").toString())
                           .arg(frame.value("frameNumber").toInt())
                           .arg(frame.value("duration").toInt()));
    }
    return entries.join(QStringLiteral("; "));
}

int durationSum(const QJsonObject &layer)
{
    int sum = 0;
    for (const QJsonValue &frame : layer.value("frames").toArray())
        sum += frame.toObject().value("duration").toInt();
    return sum;
}

// Nothing beside what the test put into the export folder: no folder of a
// package in the making, none of one replaced.
QString strayEntries(const QString &dir)
{
    QStringList stray;
    for (const QString &entry : entriesBelow(dir)) {
        if (entry.startsWith(u'.'))
            stray.append(entry);
    }
    return stray.join(u' ');
}

} // namespace

class TestExportExposureSheet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    // What the package holds, as an importer reads it
    void exposures_data();
    void exposures();
    void documentValues();
    void backgroundColour_data();
    void backgroundColour();
    void imageFiles_data();
    void imageFiles();
    void layerNamesStayInsideThePackage();

    // Replacing a package, failures and cancels
    void oldPackageStaysUntilTheNewIsComplete_data();
    void oldPackageStaysUntilTheNewIsComplete();
    void linkAtThePackageIsReplacedNotFollowed();
    void packageFolderThatCannotBeMade();
};

void TestExportExposureSheet::initTestCase()
{
    initAlphaCompositionTables();
    ToolManager::instance()->createTools();
    QCoreApplication::setApplicationName(QStringLiteral("Kelvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.4"));
}

void TestExportExposureSheet::init()
{
    QSettings().clear();
    Settings::instance()->setDefaultFrameSize(FrameSize);
    Settings::instance()->setTransparencyType(KL::TransparencyType::TransparencyWhite);
}

void TestExportExposureSheet::exposures_data()
{
    QTest::addColumn<QStringList>("layers");
    QTest::addColumn<QStringList>("distantClones");
    QTest::addColumn<int>("inkBeyondLast");
    QTest::addColumn<QPoint>("range");
    QTest::addColumn<QString>("inkExposures");
    QTest::addColumn<QStringList>("inkImages");
    QTest::addColumn<bool>("coversSpan");

    const QPoint everyFrame;
    const int nothing = Layer::ShowNothing;
    const QStringList sixFrames = {"Ink=AB", "Sheet=X....."};

    QTest::newRow("the sheet's own example")
        << QStringList{"Ink=A..B.C", "Rough=RS"} << QStringList{"Ink6=Rough2"} << nothing << everyFrame
        << "Ink_00000|Ink/Ink_00000.png|0|3; Ink_00003|Ink/Ink_00003.png|3|2; Ink_00005|Rough/Rough_00001.png|5|1"
        << QStringList{"Ink_00000.png", "Ink_00003.png"} << true;
    QTest::newRow("two cycling drawings, each written once")
        << sixFrames << QStringList() << int(Layer::CycleDrawings) << everyFrame
        << "Ink_00000|Ink/Ink_00000.png|0|1; Ink_00001|Ink/Ink_00001.png|1|1; Ink_00002|Ink/Ink_00000.png|2|1; "
           "Ink_00003|Ink/Ink_00001.png|3|1; Ink_00004|Ink/Ink_00000.png|4|1; Ink_00005|Ink/Ink_00001.png|5|1"
        << QStringList{"Ink_00000.png", "Ink_00001.png"} << true;
    QTest::newRow("the last drawing frozen") << sixFrames << QStringList() << int(Layer::FreezeLastDrawing) << everyFrame
                                             << "Ink_00000|Ink/Ink_00000.png|0|1; Ink_00001|Ink/Ink_00001.png|1|5"
                                             << QStringList{"Ink_00000.png", "Ink_00001.png"} << true;
    QTest::newRow("one cycling drawing lasts the span")
        << QStringList{"Ink=A", "Sheet=X....."} << QStringList() << int(Layer::CycleDrawings) << everyFrame
        << "Ink_00000|Ink/Ink_00000.png|0|6" << QStringList{"Ink_00000.png"} << true;
    QTest::newRow("a layer that shows nothing ends")
        << sixFrames << QStringList() << nothing << everyFrame
        << "Ink_00000|Ink/Ink_00000.png|0|1; Ink_00001|Ink/Ink_00001.png|1|1"
        << QStringList{"Ink_00000.png", "Ink_00001.png"} << false;
    QTest::newRow("nothing at the range's first frame") << sixFrames << QStringList() << nothing << QPoint(4, 6)
                                                        << "_blank||3|1" << QStringList() << false;
    QTest::newRow("range only") << QStringList{"Ink=ABCDEFGH"} << QStringList() << nothing << QPoint(5, 8)
                                << "Ink_00004|Ink/Ink_00004.png|4|1; Ink_00005|Ink/Ink_00005.png|5|1; "
                                   "Ink_00006|Ink/Ink_00006.png|6|1; Ink_00007|Ink/Ink_00007.png|7|1"
                                << QStringList{"Ink_00004.png", "Ink_00005.png", "Ink_00006.png", "Ink_00007.png"}
                                << true;
    QTest::newRow("a hold cut at the range's end")
        << QStringList{"Ink=A.....", "Sheet=X"} << QStringList() << nothing << QPoint(1, 3)
        << "Ink_00000|Ink/Ink_00000.png|0|3" << QStringList{"Ink_00000.png"} << true;
    QTest::newRow("a drawing before the range, written once")
        << QStringList{"Ink=ABCDE"} << QStringList{"Ink3=Ink1", "Ink5=Ink1"} << nothing << QPoint(3, 5)
        << "Ink_00002|Ink/Ink_00002.png|2|1; Ink_00003|Ink/Ink_00003.png|3|1; Ink_00004|Ink/Ink_00002.png|4|1"
        << QStringList{"Ink_00002.png", "Ink_00003.png"} << true;
    QTest::newRow("drawings of another colour, before and in range") << QStringList{"Rough#800000=RSTU", "Ink=ABCDEF"}
        << QStringList{"Rough4=Rough1", "Ink4=Rough1", "Ink5=Rough1", "Ink6=Rough3"} << nothing << QPoint(2, 6)
        << "Ink_00001|Ink/Ink_00001.png|1|1; Ink_00002|Ink/Ink_00002.png|2|1; Ink_00003|Ink/Ink_00003.png|3|1; "
           "Ink_00004|Ink/Ink_00003.png|4|1; Ink_00005|Ink/Ink_00005.png|5|1"
        << QStringList{"Ink_00001.png", "Ink_00002.png", "Ink_00003.png", "Ink_00005.png"} << true;
    // A link a file may hold, never the program: a drawing layer paints no picture.
    QTest::newRow("a picture linked into a drawing layer")
        << QStringList{"Ink=AB", "Paper=ref:P"} << QStringList{"Ink2=Paper1"} << nothing << everyFrame
        << "Ink_00000|Ink/Ink_00000.png|0|1; Ink_00001|Ink/Ink_00001.png|1|1"
        << QStringList{"Ink_00000.png", "Ink_00001.png"} << true;
    QTest::newRow("a drawing of a layer left out")
        << QStringList{"Ink=AB", "~Hidden=H"} << QStringList{"Ink2=Hidden1"} << nothing << everyFrame
        << "Ink_00000|Ink/Ink_00000.png|0|1; Ink_00001|Ink/Ink_00001.png|1|1"
        << QStringList{"Ink_00000.png", "Ink_00001.png"} << true;
}

void TestExportExposureSheet::exposures()
{
    QFETCH(QStringList, layers);
    QFETCH(QStringList, distantClones);
    QFETCH(int, inkBeyondLast);
    QFETCH(QPoint, range);
    QFETCH(QString, inkExposures);
    QFETCH(QStringList, inkImages);
    QFETCH(bool, coversSpan);

    Scene scene;
    build(scene, layers);
    if (const int paper = layerNamed(scene, "Paper"); paper >= 0) {
        setPicture(scene, paper, 1, noise(FrameSize, 1));
        QVERIFY(scene.setLayerOpacity(paper, 1.0));
    }
    makeDistantClones(scene, distantClones);
    QVERIFY(scene.setLayerBeyondLast(layerNamed(scene, "Ink"), Layer::LayerBeyondLast(inkBeyondLast)));
    scene.updateMaxFrameNumber();
    if (!range.isNull())
        QVERIFY(scene.setFrameRange(range.x(), range.y(), range.x(), 0));

    QTemporaryDir dir;
    ExportExposureSheetSettings settings = sheetSettings(dir.path());
    settings.layers = ExportSettings::VisibleLayers;
    settings.frames = range.isNull() ? ExportSettings::AllFrames : ExportSettings::RangeOnly;
    FakeProgress progress;
    QCOMPARE(scene.exportExposureSheet(settings, &progress).status, ExportResult::Finished);

    const QString package = dir.filePath("walk.oca");
    const QString fault = ocaFault(package);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    const QJsonObject root = document(package);
    const int first = range.isNull() ? 1 : range.x();
    const int last = range.isNull() ? scene.maximumFrameNumber() : range.y();
    QCOMPARE(root.value("startTime").toInt(), first - 1);
    QCOMPARE(root.value("endTime").toInt(), last);

    const QJsonObject ink = layerOf(root, "Ink");
    QCOMPARE(exposureList(ink), inkExposures);
    QCOMPARE(durationSum(ink) == last - first + 1, coversSpan);
    QCOMPARE(QDir(QDir(package).filePath("Ink")).entryList(QDir::Files), inkImages);
    // Each exposure's image is what its layer shows at its first frame.
    for (const ExportLayer &entry : exportLayers(scene, settings.layers)) {
        for (const QJsonValue &exposure : layerOf(root, entry.name).value("frames").toArray()) {
            const QImage shown =
                compositeFrame({entry}, exposure["frameNumber"].toInt() + 1, FrameSize, Qt::transparent, false);
            const QImage image(QDir(package).filePath(exposure["fileName"].toString()));
            QVERIFY(image.isNull() || image.convertToFormat(shown.format()) == shown);
        }
    }
    int visibleCells = 0;
    for (int i = 0; i < scene.layerCount(); ++i)
        visibleCells += scene.isLayerVisible(i) ? scene.layerFrameCount(i) : 0;
    QCOMPARE(progress.m_maximum, visibleCells);
    QVERIFY(strayEntries(dir.path()).isEmpty());
}

void TestExportExposureSheet::documentValues()
{
    Scene scene;
    build(scene, {"Ink=AB", "Paper=ref:A"});
    addDots(scene, 0, Qt::red);
    scene.setLayerOpacity(0, 0.5);
    scene.setLayerVisible(1, false);
    QVERIFY(scene.setFrameRate(24.0));
    QTemporaryDir dir;

    QCOMPARE(scene.exportExposureSheet(sheetSettings(dir.path()), nullptr).status, ExportResult::Finished);

    const QString package = dir.filePath("walk.oca");
    const QString fault = ocaFault(package);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    const QJsonObject root = document(package);
    QCOMPARE(root.value("name").toString(), scene.name());
    QCOMPARE(root.value("frameRate").toDouble(), 24.0);
    QCOMPARE(root.value("width").toInt(), FrameSize.width());
    QCOMPARE(root.value("height").toInt(), FrameSize.height());
    QCOMPARE(root.value("colorDepth").toString(), QStringLiteral("U8"));
    QCOMPARE(root.value("ocaVersion").toString(), QStringLiteral("1.1.0"));
    QCOMPARE(root.value("originApp").toString(), QStringLiteral("Kelvane"));
    QCOMPARE(root.value("originAppVersion").toString(), QStringLiteral("0.4"));

    // Bottom layer first.
    const QJsonArray layers = root.value("layers").toArray();
    QCOMPARE(layers.size(), 2);
    QCOMPARE(layers.at(0).toObject().value("name").toString(), QStringLiteral("Paper"));
    QCOMPARE(layers.at(0).toObject().value("visible").toBool(), false);
    const QJsonObject ink = layers.at(1).toObject();
    QCOMPARE(ink.value("opacity").toDouble(), 0.5);
    QCOMPARE(ink.value("position").toArray(), (QJsonArray{FrameSize.width() / 2, FrameSize.height() / 2}));
    QCOMPARE(ink.value("blendingMode").toString(), QStringLiteral("normal"));

    // The importer applies the layer's opacity: the image carries none.
    const QImage image(QDir(package).filePath("Ink/Ink_00001.png"));
    QCOMPARE(image.size(), FrameSize);
    QCOMPARE(image.pixelColor(dotOfFrame(2).center()), QColor(Qt::red));
    QCOMPARE(image.pixelColor(dotOfFrame(1).center()).alpha(), 0);
}

void TestExportExposureSheet::backgroundColour_data()
{
    QTest::addColumn<KL::TransparencyType>("type");
    QTest::addColumn<QJsonArray>("colour");
    const double light = 192 / 255.0;
    const double dark = 128 / 255.0;
    QTest::newRow("white") << KL::TransparencyType::TransparencyWhite << QJsonArray{1.0, 1.0, 1.0, 1.0};
    QTest::newRow("black") << KL::TransparencyType::TransparencyBlack << QJsonArray{0.0, 0.0, 0.0, 1.0};
    QTest::newRow("light checkers") << KL::TransparencyType::TransparencySmallCheckersLight
                                    << QJsonArray{light, light, light, 1.0};
    QTest::newRow("dark grey") << KL::TransparencyType::TransparencyDarkGrey << QJsonArray{dark, dark, dark, 1.0};
}

void TestExportExposureSheet::backgroundColour()
{
    QFETCH(KL::TransparencyType, type);
    QFETCH(QJsonArray, colour);
    Settings::instance()->setTransparencyType(type);
    Scene scene;
    build(scene, {"Ink=A"});
    QTemporaryDir dir;
    QCOMPARE(scene.exportExposureSheet(sheetSettings(dir.path()), nullptr).status, ExportResult::Finished);
    const QJsonArray found = document(dir.filePath("walk.oca")).value("backgroundColor").toArray();
    QCOMPARE(found.size(), 4);
    for (int i = 0; i < 4; ++i)
        QVERIFY2(std::abs(found.at(i).toDouble() - colour.at(i).toDouble()) < 1e-3, qPrintable(QString::number(i)));
}

void TestExportExposureSheet::imageFiles_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("fileType");
    QTest::addColumn<QString>("depth");
    QTest::newRow("PNG") << int(ExportExposureSheetSettings::PNG) << "png" << "U8";
    QTest::newRow("OpenEXR") << int(ExportExposureSheetSettings::OpenEXR) << "exr" << "F16";
}

// The document names the images' file type and their colour depth, as an
// importer finds them in the files: 8 bits per channel in PNG, half floats
// in OpenEXR.
void TestExportExposureSheet::imageFiles()
{
    QFETCH(int, format);
    QFETCH(QString, fileType);
    QFETCH(QString, depth);

    Scene scene;
    build(scene, {"Ink=A.B"});
    addDots(scene, 0, Qt::red);
    QTemporaryDir dir;
    ExportExposureSheetSettings settings = sheetSettings(dir.path());
    settings.imageFormat = ExportExposureSheetSettings::ImageFormat(format);
    QCOMPARE(scene.exportExposureSheet(settings, nullptr).status, ExportResult::Finished);

    const QString package = dir.filePath("walk.oca");
    const QString fault = ocaFault(package);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    const QJsonObject root = document(package);
    QCOMPARE(layerOf(root, "Ink").value("fileType").toString(), fileType);
    QCOMPARE(root.value("colorDepth").toString(), depth);
    if (format != ExportExposureSheetSettings::OpenEXR)
        return;
    const ExrFile exr = readExr(QDir(package).filePath("Ink/Ink_00002.exr"));
    QVERIFY2(exr.error.isEmpty(), qPrintable(exr.error));
    QCOMPARE(QSize(exr.width, exr.height), FrameSize);
    QCOMPARE(exr.value("R", dotOfFrame(3).center()), 1.0f);
    QCOMPARE(exr.value("A", dotOfFrame(1).center()), 0.0f);
}

void TestExportExposureSheet::layerNamesStayInsideThePackage()
{
    Scene scene;
    build(scene, {"../x=A", "Ink=A", "INK=A", "/etc=A", "NUL=A"});
    QTemporaryDir root;
    const QString out = QDir(root.path()).filePath("out");
    ExportExposureSheetSettings settings = sheetSettings(out);
    settings.name = QStringLiteral("../walk.oca");

    QCOMPARE(scene.exportExposureSheet(settings, nullptr).status, ExportResult::Finished);

    const QString package = QDir(out).filePath(".._walk.oca");
    const QString fault = ocaFault(package);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    // From the bottom up: "NUL", "/etc", "INK", then "Ink", which meets
    // "INK" where case does not count, and "../x".
    QStringList expected = {"out/", "out/.._walk.oca/", "out/.._walk.oca/.._walk.oca"};
    for (const char *folder : {".._x", "INK", "Ink_2", "_NUL", "_etc"}) {
        expected.append(QStringLiteral("out/.._walk.oca/%1/").arg(QLatin1String(folder)));
        expected.append(QStringLiteral("out/.._walk.oca/%1/%1_00000.png").arg(QLatin1String(folder)));
    }
    expected.sort();
    QCOMPARE(entriesBelow(root.path()), expected);
}

void TestExportExposureSheet::oldPackageStaysUntilTheNewIsComplete_data()
{
    QTest::addColumn<bool>("oldPackage");
    QTest::addColumn<int>("cancelAt");
    // Which write meets a full disk: none, an image, the document.
    QTest::addColumn<QString>("fullDiskAt");
    QTest::addColumn<int>("status");

    const int finished = ExportResult::Finished;
    const int canceled = ExportResult::Canceled;
    const int failed = ExportResult::Failed;
    QTest::newRow("replaced once complete") << true << -1 << QString() << finished;
    QTest::newRow("cancel keeps the old package") << true << 2 << QString() << canceled;
    QTest::newRow("failed image keeps the old package") << true << -1 << "image" << failed;
    QTest::newRow("failed document keeps the old package") << true << -1 << "document" << failed;
    QTest::newRow("cancel leaves no package") << false << 2 << QString() << canceled;
    QTest::newRow("failed image leaves no package") << false << -1 << "image" << failed;
}

void TestExportExposureSheet::oldPackageStaysUntilTheNewIsComplete()
{
    QFETCH(bool, oldPackage);
    QFETCH(int, cancelAt);
    QFETCH(QString, fullDiskAt);
    QFETCH(int, status);

    // Two dozen small images make a document larger than the limit.
    Scene scene;
    if (fullDiskAt == u"document")
        build(scene, {"Ink=ABCDEFGHIJKLMNOPQRSTUVWX"});
    else
        buildSceneTooLargeAtFrame3(scene);
    const bool fullDisk = !fullDiskAt.isEmpty();
    QTemporaryDir dir;
    const QString package = dir.filePath("walk.oca");
    if (oldPackage) {
        QVERIFY(QDir().mkpath(QDir(package).filePath("Old")));
        QVERIFY(writeFileContents(QDir(package).filePath("walk.oca"), "{}"));
        QVERIFY(writeFileContents(QDir(package).filePath("Old/Old_00000.png"), "an old image"));
    }
    const QStringList before = entriesBelow(dir.path());

    FakeProgress progress(cancelAt);
    ExportResult result;
    {
        std::unique_ptr<FileSizeLimit> limit;
        if (fullDisk) {
            limit = std::make_unique<FileSizeLimit>(FullDiskLimit);
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Export: writing .* failed")));
        }
        result = scene.exportExposureSheet(sheetSettings(dir.path()), &progress);
    }

    QCOMPARE(int(result.status), status);
    QCOMPARE(progress.m_resets, fullDisk ? 1 : 0);
    QVERIFY2(strayEntries(dir.path()).isEmpty(), qPrintable(strayEntries(dir.path())));
    if (result.status == ExportResult::Finished) {
        const QString fault = ocaFault(package);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QVERIFY(!QFileInfo::exists(QDir(package).filePath("Old")));
        return;
    }
    if (fullDiskAt == u"image") {
        QVERIFY2(result.message.contains(QDir(package).filePath("Paper")), qPrintable(result.message));
        QVERIFY2(result.message.contains(QStringLiteral("could not be written")), qPrintable(result.message));
    } else if (fullDiskAt == u"document") {
        // The kernel's limit on a file's size stands in for the full disk.
        QCOMPARE(result.message, QStringLiteral("The .oca file could not be created.\n")
                                     + QString::fromLocal8Bit(std::strerror(EFBIG)));
    }
    QCOMPARE(entriesBelow(dir.path()), before);
    if (oldPackage)
        QCOMPARE(fileContents(QDir(package).filePath("Old/Old_00000.png")), QByteArray("an old image"));
}

void TestExportExposureSheet::linkAtThePackageIsReplacedNotFollowed()
{
    Scene scene;
    build(scene, {"Ink=A"});
    QTemporaryDir root;
    const QString elsewhere = QDir(root.path()).filePath("elsewhere");
    QVERIFY(QDir().mkpath(elsewhere));
    QVERIFY(writeFileContents(QDir(elsewhere).filePath("precious.txt"), "keep me"));
    const QString out = QDir(root.path()).filePath("out");
    QVERIFY(QDir().mkpath(out));
    QVERIFY(QFile::link(elsewhere, QDir(out).filePath("walk.oca")));

    QCOMPARE(scene.exportExposureSheet(sheetSettings(out), nullptr).status, ExportResult::Finished);

    QCOMPARE(entriesBelow(elsewhere), QStringList{"precious.txt"});
    QCOMPARE(fileContents(QDir(elsewhere).filePath("precious.txt")), QByteArray("keep me"));
    const QFileInfo package(QDir(out).filePath("walk.oca"));
    QVERIFY(package.isDir() && !package.isSymLink());
    QVERIFY(ocaFault(package.filePath()).isEmpty());
    QVERIFY(strayEntries(out).isEmpty());
}

void TestExportExposureSheet::packageFolderThatCannotBeMade()
{
    Scene scene;
    build(scene, {"Ink=A"});
    FakeProgress progress;
    const ExportResult result = scene.exportExposureSheet(sheetSettings(QStringLiteral("/dev/full")), &progress);
    QCOMPARE(result.status, ExportResult::Failed);
    QVERIFY2(result.message.contains(QStringLiteral("/dev/full/walk.oca")), qPrintable(result.message));
    QVERIFY2(result.message.contains(QStringLiteral("could not be created")), qPrintable(result.message));
    QCOMPARE(progress.m_resets, 1);
    QVERIFY(QFileInfo::exists(QStringLiteral("/dev/full")));
}

QTEST_MAIN(TestExportExposureSheet)
#include "tst_exportexposuresheet.moc"
