#include "scene/scene.h"

#include "exporttesthelpers.h"
#include "render/alphacomposition.h"
#include "settings/exportexposuresheetsettings.h"
#include "settings/exportframessettings.h"
#include "settings/exportvideosettings.h"
#include "settings/settings.h"
#include "support/smallfilesystem.h"
#include "tools/toolmanager.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>

using namespace Model;
using namespace ExportTest;
using TestSupport::SmallFileSystem;
using TestSupport::UnwritableFolder;

namespace {

enum class Export { PngFrames, ExrFrames, PngPackage, ExrPackage, Gif, Mp4, Mov };

// Frames of noise that no format squeezes: a single frame outgrows the small
// file system, and so does every movie.
constexpr QSize NoiseSize(256, 256);
constexpr int NoiseFrames = 12;
constexpr qint64 SmallDiskBytes = 128 * 1024;

void buildNoiseScene(Scene &scene)
{
    build(scene, {QStringLiteral("Paper=ref:") + QString(NoiseFrames, u'_')});
    scene.setFrameSize(NoiseSize, KL::FitMode::FitModeIgnore);
    scene.setFrameRate(12.0);
    for (int frame = 1; frame <= NoiseFrames; ++frame)
        setPicture(scene, 0, frame, noise(NoiseSize, quint32(frame)));
}

ExportResult runExport(const Scene &scene, Export kind, const QString &dir)
{
    switch (kind) {
    case Export::PngFrames:
    case Export::ExrFrames: {
        ExportFramesSettings settings;
        settings.name = QStringLiteral("walk");
        settings.exportDir = dir;
        settings.combineLayers = true;
        settings.imageFormat = kind == Export::ExrFrames ? ExportFramesSettings::OpenEXR : ExportFramesSettings::PNG;
        return scene.exportFrames(settings, nullptr);
    }
    case Export::PngPackage:
    case Export::ExrPackage: {
        ExportExposureSheetSettings settings;
        settings.name = QStringLiteral("walk.oca");
        settings.exportDir = dir;
        settings.imageFormat =
            kind == Export::ExrPackage ? ExportExposureSheetSettings::OpenEXR : ExportExposureSheetSettings::PNG;
        return scene.exportExposureSheet(settings, nullptr);
    }
    case Export::Gif:
    case Export::Mp4:
    case Export::Mov: {
        ExportVideoSettings settings;
        settings.exportDir = dir;
        settings.includeAlpha = false;
        settings.videoFormat = kind == Export::Gif ? ExportVideoSettings::GIF
                             : kind == Export::Mp4 ? ExportVideoSettings::MP4
                                                   : ExportVideoSettings::ProRes;
        settings.name = kind == Export::Gif ? QStringLiteral("walk.gif")
                      : kind == Export::Mp4 ? QStringLiteral("walk.mp4")
                                            : QStringLiteral("walk.mov");
        return scene.exportVideo(settings, nullptr);
    }
    }
    return {};
}

void addExportRows()
{
    QTest::addColumn<Export>("kind");
    QTest::newRow("PNG frames") << Export::PngFrames;
    QTest::newRow("OpenEXR frames") << Export::ExrFrames;
    QTest::newRow("OCA with PNG") << Export::PngPackage;
    QTest::newRow("OCA with OpenEXR") << Export::ExrPackage;
    QTest::newRow("GIF") << Export::Gif;
    QTest::newRow("MP4") << Export::Mp4;
    QTest::newRow("MOV") << Export::Mov;
}

} // namespace

// Every export that cannot write tells the user why, in the system's words.
class TestExportFailures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void readOnlyFolder_data();
    void readOnlyFolder();
    void fullDisk_data();
    void fullDisk();
    void sceneWithoutPictures_data();
    void sceneWithoutPictures();
};

void TestExportFailures::initTestCase()
{
    initAlphaCompositionTables();
    ToolManager::instance()->createTools();
}

void TestExportFailures::init()
{
    QSettings().clear();
    Settings::instance()->setDefaultFrameSize(FrameSize);
}

void TestExportFailures::readOnlyFolder_data()
{
    addExportRows();
}

// A folder that exists but takes no files is not one that "could not be
// created": the message says it cannot be written, and why.
void TestExportFailures::readOnlyFolder()
{
    QFETCH(Export, kind);
    const UnwritableFolder folder;
    if (folder.path().isEmpty())
        QSKIP(qPrintable(folder.whyNot()));
    Scene scene;
    build(scene, {"Ink=AB"});
    addDots(scene, 0, Qt::red);

    const ExportResult result = runExport(scene, kind, folder.path());

    QCOMPARE(result.status, ExportResult::Failed);
    const QString expected = QStringLiteral("The directory \"%1\" cannot be written.\n%2")
                                 .arg(QDir::toNativeSeparators(folder.path()), folder.reason());
    QCOMPARE(result.message, expected);
    QCOMPARE(entriesBelow(folder.path()), QStringList());
}

void TestExportFailures::fullDisk_data()
{
    addExportRows();
}

// A disk that fills up midway: whatever the export, the message carries the
// system's reason, and nothing of the export stays on the disk.
void TestExportFailures::fullDisk()
{
    QFETCH(Export, kind);
    Scene scene;
    buildNoiseScene(scene);
    const SmallFileSystem disk(SmallDiskBytes, SmallFileSystem::Writable);
    QTemporaryDir fallback;
    const QString dir = disk.isMounted() ? disk.path() : fallback.path();
    // Without the right to mount, the kernel's limit on a file's size stands
    // in for the full disk, and says so in its own words.
    const QString reason = TestSupport::systemErrorText(disk.isMounted() ? ENOSPC : EFBIG);

    ExportResult result;
    {
        std::unique_ptr<FileSizeLimit> limit;
        if (!disk.isMounted())
            limit = std::make_unique<FileSizeLimit>(FullDiskLimit);
        QTest::failOnWarning(QRegularExpression(QStringLiteral("Unknown error")));
        result = runExport(scene, kind, dir);
    }

    QCOMPARE(result.status, ExportResult::Failed);
    QVERIFY2(result.message.contains(reason), qPrintable(result.message));
    QCOMPARE(entriesBelow(dir), QStringList());
}

void TestExportFailures::sceneWithoutPictures_data()
{
    addExportRows();
}

// Sound and notes make no picture: no export passes for done with nothing written.
void TestExportFailures::sceneWithoutPictures()
{
    QFETCH(Export, kind);
    Scene scene;
    build(scene, {"notes=notes", "audio=audio"});
    QTemporaryDir dir;
    const ExportResult result = runExport(scene, kind, dir.path());
    QCOMPARE(result.status, ExportResult::Failed);
    QVERIFY2(result.message.startsWith(QStringLiteral("There was nothing to export: ")), qPrintable(result.message));
    QCOMPARE(entriesBelow(dir.path()), QStringList());
}

QTEST_MAIN(TestExportFailures)
#include "tst_exportfailures.moc"
