#include "settings/exportexposuresheetsettings.h"
#include "settings/exportframessettings.h"
#include "settings/exportvideosettings.h"
#include "settings/settings.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Model;

namespace {

// A preferences object of its own for each test, starting from the built-in
// defaults rather than from whatever an earlier test left in the singleton.
class FreshSettings : public Settings
{
};

QVariant stored(const QString &key)
{
    return QSettings().value(QStringLiteral("Preferences/") + key);
}

} // namespace

class TestExportSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void recordDefaults();

    void emptyStoreGivesDefaults();
    void storedRoundTrip();
    void fileNameIsNeverStored();
    void missingDirectoryFallsBackToSaveDir_data();
    void missingDirectoryFallsBackToSaveDir();
    void emptyDirectoryIsWrittenAsWorkingDirectory();
    void unknownStoredNamesReadAsFirstValue();

private:
    QTemporaryDir m_dir;
};

void TestExportSettings::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Kelvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Kelvane"));
    QVERIFY(m_dir.isValid());
}

void TestExportSettings::init()
{
    QSettings().clear();
}

void TestExportSettings::recordDefaults()
{
    const ExportFramesSettings frames;
    QVERIFY(frames.name.isEmpty());
    QVERIFY(frames.exportDir.isEmpty());
    QCOMPARE(frames.layers, ExportSettings::AllLayers);
    QCOMPARE(frames.frames, ExportSettings::AllFrames);
    QCOMPARE(frames.scalePercent, 100);
    QCOMPARE(frames.clones, ExportFramesSettings::ExcludeClones);
    QCOMPARE(frames.imageFormat, ExportFramesSettings::PNG);
    QCOMPARE(frames.combineLayers, false);
    QCOMPARE(frames.makeAllLinesBlack, false);
    QCOMPARE(frames.includeAlpha, true);

    const ExportExposureSheetSettings sheet;
    QCOMPARE(sheet.scalePercent, 100);
    QCOMPARE(sheet.format, ExportExposureSheetSettings::OCA);
    QCOMPARE(sheet.imageFormat, ExportExposureSheetSettings::PNG);
    QCOMPARE(sheet.includeAudio, false);

    const ExportVideoSettings video;
    QCOMPARE(video.scalePercent, 100);
    QCOMPARE(video.videoFormat, ExportVideoSettings::MP4);
    QCOMPARE(video.includeAlpha, true);
    QCOMPARE(video.includeAudio, false);
    QVERIFY(video.metadata.isEmpty());
}

void TestExportSettings::emptyStoreGivesDefaults()
{
    FreshSettings settings;
    settings.load();
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);

    const ExportFramesSettings frames = settings.exportFramesSettings();
    QCOMPARE(frames.exportDir, documents);
    QCOMPARE(frames.layers, ExportSettings::AllLayers);
    QCOMPARE(frames.clones, ExportFramesSettings::ExcludeClones);
    QCOMPARE(frames.includeAlpha, true);

    const ExportExposureSheetSettings sheet = settings.exportExposureSheetSettings();
    QCOMPARE(sheet.exportDir, documents);
    QCOMPARE(sheet.imageFormat, ExportExposureSheetSettings::PNG);

    const ExportVideoSettings video = settings.exportVideoSettings();
    QCOMPARE(video.exportDir, documents);
    QCOMPARE(video.videoFormat, ExportVideoSettings::MP4);
    QCOMPARE(video.scalePercent, 100);
}

void TestExportSettings::storedRoundTrip()
{
    ExportFramesSettings frames;
    frames.exportDir = m_dir.path();
    frames.layers = ExportSettings::ActiveLayerOnly;
    frames.frames = ExportSettings::RangeOnly;
    frames.clones = ExportFramesSettings::IncludeClonesSimpleSequence;
    frames.imageFormat = ExportFramesSettings::OpenEXR;
    frames.combineLayers = true;
    frames.makeAllLinesBlack = true;
    frames.includeAlpha = false;
    frames.scalePercent = 50;
    ExportExposureSheetSettings sheet;
    sheet.exportDir = m_dir.path();
    sheet.layers = ExportSettings::VisibleLayers;
    sheet.imageFormat = ExportExposureSheetSettings::OpenEXR;
    sheet.includeAudio = true;
    ExportVideoSettings video;
    video.exportDir = m_dir.path();
    video.frames = ExportSettings::RangeOnly;
    video.videoFormat = ExportVideoSettings::ProRes;
    video.includeAlpha = false;
    video.includeAudio = true;
    video.audioAvailable = true;
    video.scalePercent = 50;
    video.metadata.insert(QStringLiteral("title"), QStringLiteral("Walk cycle"));
    {
        FreshSettings writer;
        writer.setExportFramesSettings(frames);
        writer.setExportExposureSheetSettings(sheet);
        writer.setExportVideoSettings(video);
        // The running process keeps the whole record but the file name.
        QCOMPARE(writer.exportVideoSettings().metadata, video.metadata);
    }
    QCOMPARE(stored(QStringLiteral("ExportFrames/Clones")).toString(),
             QStringLiteral("IncludeClonesSimpleSequence"));
    QCOMPARE(stored(QStringLiteral("ExportExposureSheet/ImageFormat")).toString(), QStringLiteral("OpenEXR"));
    QCOMPARE(stored(QStringLiteral("ExportVideo/VideoFormat")).toString(), QStringLiteral("ProRes"));

    FreshSettings reader;
    reader.load();
    const ExportFramesSettings loadedFrames = reader.exportFramesSettings();
    QCOMPARE(loadedFrames.exportDir, m_dir.path());
    QCOMPARE(loadedFrames.layers, ExportSettings::ActiveLayerOnly);
    QCOMPARE(loadedFrames.frames, ExportSettings::RangeOnly);
    QCOMPARE(loadedFrames.clones, ExportFramesSettings::IncludeClonesSimpleSequence);
    QCOMPARE(loadedFrames.imageFormat, ExportFramesSettings::OpenEXR);
    QCOMPARE(loadedFrames.combineLayers, true);
    QCOMPARE(loadedFrames.makeAllLinesBlack, true);
    QCOMPARE(loadedFrames.includeAlpha, false);
    // Only movies use a scale, so only theirs is kept.
    QCOMPARE(loadedFrames.scalePercent, 100);

    const ExportExposureSheetSettings loadedSheet = reader.exportExposureSheetSettings();
    QCOMPARE(loadedSheet.layers, ExportSettings::VisibleLayers);
    QCOMPARE(loadedSheet.imageFormat, ExportExposureSheetSettings::OpenEXR);
    QCOMPARE(loadedSheet.includeAudio, true);

    const ExportVideoSettings loadedVideo = reader.exportVideoSettings();
    QCOMPARE(loadedVideo.frames, ExportSettings::RangeOnly);
    QCOMPARE(loadedVideo.videoFormat, ExportVideoSettings::ProRes);
    QCOMPARE(loadedVideo.includeAlpha, false);
    QCOMPARE(loadedVideo.includeAudio, true);
    QCOMPARE(loadedVideo.scalePercent, 50);
    // Whether a scene has sound is asked anew for each export.
    QCOMPARE(loadedVideo.audioAvailable, false);
    QVERIFY(loadedVideo.metadata.isEmpty());
}

void TestExportSettings::fileNameIsNeverStored()
{
    FreshSettings settings;
    settings.load();
    ExportVideoSettings video;
    video.name = QStringLiteral("walk-cycle");
    video.exportDir = m_dir.path();
    settings.setExportVideoSettings(video);
    ExportFramesSettings frames;
    frames.name = QStringLiteral("walk-cycle");
    settings.setExportFramesSettings(frames);

    QVERIFY(settings.exportVideoSettings().name.isEmpty());
    QVERIFY(settings.exportFramesSettings().name.isEmpty());
    const QStringList keys = QSettings().allKeys();
    for (const QString &key : keys)
        QVERIFY2(!QSettings().value(key).toString().contains(QLatin1String("walk-cycle")), qPrintable(key));
}

void TestExportSettings::missingDirectoryFallsBackToSaveDir_data()
{
    QTest::addColumn<QString>("exportDir");
    QTest::addColumn<bool>("kept");

    QTest::newRow("existing") << m_dir.path() << true;
    QTest::newRow("deleted") << m_dir.filePath(QStringLiteral("gone")) << false;
}

void TestExportSettings::missingDirectoryFallsBackToSaveDir()
{
    QFETCH(QString, exportDir);
    QFETCH(bool, kept);

    QTemporaryDir saveDir;
    QVERIFY(saveDir.isValid());
    FreshSettings settings;
    settings.load();
    settings.setDefaultSaveDir(QDir(saveDir.path()));

    ExportFramesSettings frames;
    frames.exportDir = exportDir;
    settings.setExportFramesSettings(frames);
    ExportVideoSettings video;
    video.exportDir = exportDir;
    settings.setExportVideoSettings(video);

    const QString expected = kept ? exportDir : saveDir.path();
    QCOMPARE(settings.exportFramesSettings().exportDir, expected);
    QCOMPARE(settings.exportVideoSettings().exportDir, expected);
    // The store keeps the old path until the user picks another one.
    QCOMPARE(stored(QStringLiteral("ExportFrames/ExportDir")).toString(), exportDir);
}

void TestExportSettings::emptyDirectoryIsWrittenAsWorkingDirectory()
{
    FreshSettings settings;
    settings.load();
    settings.setExportExposureSheetSettings(ExportExposureSheetSettings());
    QCOMPARE(stored(QStringLiteral("ExportExposureSheet/ExportDir")).toString(), QDir::current().absolutePath());
    // In memory the record stays as given, and is handed out with the save
    // directory in its place.
    QCOMPARE(settings.exportExposureSheetSettings().exportDir, settings.defaultSaveDir().path());
}

void TestExportSettings::unknownStoredNamesReadAsFirstValue()
{
    {
        QSettings store;
        store.beginGroup(QStringLiteral("Preferences"));
        store.setValue(QStringLiteral("ExportFrames/Layers"), QStringLiteral("SomeLayers"));
        store.setValue(QStringLiteral("ExportFrames/Clones"), QStringLiteral("includeclones"));
        store.setValue(QStringLiteral("ExportFrames/ImageFormat"), QStringLiteral("TIFF"));
        store.setValue(QStringLiteral("ExportExposureSheet/Frames"), QStringLiteral("Range"));
        store.setValue(QStringLiteral("ExportVideo/VideoFormat"), QStringLiteral("AVI"));
        store.setValue(QStringLiteral("ExportVideo/Layers"), QStringLiteral("VisibleLayers"));
    }
    FreshSettings settings;
    settings.load();
    QCOMPARE(settings.exportFramesSettings().layers, ExportSettings::AllLayers);
    QCOMPARE(settings.exportFramesSettings().clones, ExportFramesSettings::ExcludeClones);
    QCOMPARE(settings.exportFramesSettings().imageFormat, ExportFramesSettings::PNG);
    QCOMPARE(settings.exportExposureSheetSettings().frames, ExportSettings::AllFrames);
    // An unknown movie format reads as GIF, the first value, not as the
    // built-in MP4.
    QCOMPARE(settings.exportVideoSettings().videoFormat, ExportVideoSettings::GIF);
    QCOMPARE(settings.exportVideoSettings().layers, ExportSettings::VisibleLayers);
}

QTEST_GUILESS_MAIN(TestExportSettings)
#include "tst_exportsettings.moc"
