#include "scene/scene.h"

#include "../audio/audiotestfiles.h"
#include "export/ffmpegvideoencoder.h"
#include "ffmpeglogging.h"
#include "initialize.h"
#include "exporttesthelpers.h"
#include "drawings/strokedrawing.h"
#include "layers/audiolayer.h"
#include "moviereader.h"
#include "render/alphacomposition.h"
#include "settings/exportvideosettings.h"
#include "support/testsupport.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QUndoStack>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <thread>

using namespace Model;
using namespace ExportTest;

namespace {

using Format = ExportVideoSettings::VideoFormat;

constexpr double FramesPerSecond = 12.0;

// The colours of the frames of the test scenes: saturated, so that a
// conversion through the wrong matrix would shift them far.
const QList<QColor> FrameColours{QColor(200, 40, 40), QColor(40, 160, 60), QColor(50, 60, 210), QColor(230, 200, 40),
                                 QColor(20, 20, 20), QColor(240, 240, 240), QColor(160, 40, 170), QColor(40, 190, 200)};

QColor frameColour(int frame)
{
    return FrameColours.at((frame - 1) % FrameColours.size());
}

// A reference layer of frames pictures, frame f filled with frameColour(f)
// over its left half; the right half is left transparent.
void buildColourScene(Scene &scene, int frames, QSize size = FrameSize)
{
    build(scene, {QStringLiteral("Paper=ref:") + QString(frames, u'_')});
    if (size != FrameSize)
        scene.setFrameSize(size, KL::FitMode::FitModeIgnore);
    scene.setFrameRate(FramesPerSecond);
    for (int frame = 1; frame <= frames; ++frame) {
        QImage picture(size, QImage::Format_ARGB32);
        picture.fill(Qt::transparent);
        picture.fill(Qt::transparent);
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width() / 2; ++x)
                picture.setPixelColor(x, y, frameColour(frame));
        }
        setPicture(scene, 0, frame, picture);
    }
    scene.setLayerOpacity(0, 1.0);
}

// A scene whose frames no encoder squeezes small: noise pictures.
void buildNoiseScene(Scene &scene, int frames)
{
    build(scene, {QStringLiteral("Paper=ref:") + QString(frames, u'_')});
    scene.setFrameRate(FramesPerSecond);
    for (int frame = 1; frame <= frames; ++frame)
        setPicture(scene, 0, frame, noise(FrameSize, quint32(frame)));
}

std::shared_ptr<AudioLayer> addSound(Scene &scene, double seconds, double offsetFrames)
{
    auto layer = std::make_shared<AudioLayer>(&scene);
    layer->setOriginalAudioData(
        AudioTestFiles::wavFile(44100, 2, 16, AudioTestFiles::tone(44100, 2, seconds, 440, 660)));
    scene.insertLayer(layer, scene.layerCount());
    scene.setAudioOffset(offsetFrames);
    return layer;
}

ExportVideoSettings movieSettings(const QString &dir, Format format, const QString &name)
{
    ExportVideoSettings settings;
    settings.exportDir = dir;
    settings.name = name;
    settings.videoFormat = format;
    settings.includeAlpha = false;
    return settings;
}

QString fileNameFor(Format format)
{
    switch (format) {
    case ExportVideoSettings::GIF:
        return QStringLiteral("walk.gif");
    case ExportVideoSettings::MP4:
        return QStringLiteral("walk.mp4");
    case ExportVideoSettings::ProRes:
        return QStringLiteral("walk.mov");
    }
    return {};
}

// What a cell's drawing holds, as the scene file records it.
QByteArray drawingRecord(const Scene &scene, int layer, int frame)
{
    const Drawing *drawing = scene.itemAt(layer, frame)->drawing().get();
    return TestSupport::record([drawing](QDataStream &stream) {
        if (const auto *strokes = dynamic_cast<const StrokeDrawing *>(drawing))
            stream << *strokes;
        else if (const auto *picture = dynamic_cast<const ImageDrawing *>(drawing))
            stream << picture->image();
    });
}

bool near(const QColor &a, const QColor &b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

QString describe(const QColor &colour)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(colour.alpha());
}

// Ends the process when a test hangs (an export that deadlocks never
// returns to the test, so no assertion could catch it).
class Watchdog
{
public:
    explicit Watchdog(std::chrono::seconds limit)
        : m_thread([this, limit] {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!m_done.wait_for(lock, limit, [this] { return m_disarmed; })) {
                std::fprintf(stderr, "The export did not end within %lld s: deadlock\n", (long long)limit.count());
                std::abort();
            }
        })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_disarmed = true;
        }
        m_done.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_disarmed = false;
    std::thread m_thread;
};

constexpr std::chrono::seconds ExportTimeLimit{60};

// What the process writes to its standard error stream while it lives, and
// the messages that reach Qt's logging from any thread.
class Console
{
public:
    Console()
    {
        std::fflush(stderr);
        m_file.open();
        m_savedError = ::dup(STDERR_FILENO);
        ::dup2(m_file.handle(), STDERR_FILENO);
        s_messages.clear();
        m_previous = qInstallMessageHandler(collect);
    }
    ~Console() { restore(); }

    // The lines written straight to the stream and the messages in our own
    // categories (the program's and FFmpeg's): Qt's own are left out.
    QStringList ours()
    {
        restore();
        QStringList lines;
        m_file.seek(0);
        for (const QByteArray &line : m_file.readAll().split('\n')) {
            if (!line.trimmed().isEmpty())
                lines << QStringLiteral("stderr: ") + QString::fromUtf8(line);
        }
        const std::lock_guard<std::mutex> lock(s_mutex);
        return lines + s_messages;
    }

private:
    static void collect(QtMsgType, const QMessageLogContext &context, const QString &message)
    {
        const QLatin1String category(context.category ? context.category : "default");
        if (category != QLatin1String("default") && !category.startsWith(QLatin1String("kelvane")))
            return;
        const std::lock_guard<std::mutex> lock(s_mutex);
        s_messages << category + QStringLiteral(": ") + message;
    }

    void restore()
    {
        if (m_savedError < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_savedError, STDERR_FILENO);
        ::close(m_savedError);
        m_savedError = -1;
        qInstallMessageHandler(m_previous);
    }

    QTemporaryFile m_file;
    int m_savedError = -1;
    QtMessageHandler m_previous = nullptr;
    static inline std::mutex s_mutex;
    static inline QStringList s_messages;
};

} // namespace

class TestExportMovie : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    // The movies as a player reads them
    void movies_data();
    void movies();
    void soundLastsAsLongAsPictures_data();
    void soundLastsAsLongAsPictures();
    void soundOutsideTheFramesIsLeftOut();
    void soundKeepsTimeWithPictures_data();
    void soundKeepsTimeWithPictures();
    void gifAsQtReadsIt();
    void exportsSayOnlyWhatIsAskedFor_data();
    void exportsSayOnlyWhatIsAskedFor();
    void gifKeepsTheScenesClock_data();
    void gifKeepsTheScenesClock();
    void oddSizes_data();
    void oddSizes();
    void scaledExportsLeaveTheSceneAlone_data();
    void scaledExportsLeaveTheSceneAlone();
    void floatingPieceAsStamped_data();
    void floatingPieceAsStamped();

    // Failures and cancels end the export, leave no movie and keep the old
    void fullDiskFails_data();
    void fullDiskFails();
    void deviceIsNotReplaced();
    void cancels_data();
    void cancels();

    // The encoder on its own
    void frameRateFraction_data();
    void frameRateFraction();
    void encoderAlwaysFinishes_data();
    void encoderAlwaysFinishes();
    void writingToDevFullFails_data();
    void writingToDevFullFails();
};

void TestExportMovie::initTestCase()
{
    initAlphaCompositionTables();
    // The floating selection tool.
    ToolManager::instance()->createTools();
}

void TestExportMovie::movies_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<bool>("alpha");
    QTest::addColumn<bool>("sound");
    QTest::addColumn<QString>("codec");
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("pixelFormat");
    QTest::addColumn<QString>("audioCodec");
    QTest::addColumn<int>("tolerance");

    QTest::newRow("mp4") << ExportVideoSettings::MP4 << false << false << "h264"
                         << "High"
                         << "yuv420p" << QString() << 6;
    QTest::newRow("mp4 asked for alpha") << ExportVideoSettings::MP4 << true << false << "h264"
                                         << "High"
                                         << "yuv420p" << QString() << 6;
    QTest::newRow("mp4 with sound") << ExportVideoSettings::MP4 << false << true << "h264"
                                    << "High"
                                    << "yuv420p"
                                    << "aac" << 6;
    // FFmpeg's decoder gives ProRes 4444 in 12 bits.
    QTest::newRow("prores 4444") << ExportVideoSettings::ProRes << true << false << "prores"
                                 << "4444"
                                 << "yuva444p12le" << QString() << 3;
    QTest::newRow("prores hq") << ExportVideoSettings::ProRes << false << false << "prores"
                               << "HQ"
                               << "yuv422p10le" << QString() << 3;
    QTest::newRow("prores hq with sound") << ExportVideoSettings::ProRes << false << true << "prores"
                                          << "HQ"
                                          << "yuv422p10le"
                                          << "alac" << 3;
}

// Every frame in order, in its colours through the BT.709 matrix the stream
// is tagged with, transparent where the scene is only with ProRes 4444, the
// movie's length, the sound's length and the metadata.
void TestExportMovie::movies()
{
    QFETCH(Format, format);
    QFETCH(bool, alpha);
    QFETCH(bool, sound);
    QFETCH(QString, codec);
    QFETCH(QString, profile);
    QFETCH(QString, pixelFormat);
    QFETCH(QString, audioCodec);
    QFETCH(int, tolerance);

    constexpr int Frames = 8;
    Scene scene;
    buildColourScene(scene, Frames);
    scene.setFilePath(QDir::temp().filePath(QStringLiteral("walk cycle.kl")));
    if (sound)
        addSound(scene, 3.0, 0.0);
    QTemporaryDir dir;
    ExportVideoSettings settings = movieSettings(dir.path(), format, fileNameFor(format));
    settings.includeAlpha = alpha;
    settings.includeAudio = sound;
    FakeProgress progress;

    const ExportResult result = scene.exportVideo(settings, &progress);
    QCOMPARE(result.status, ExportResult::Finished);
    QVERIFY2(result.message.isEmpty(), qPrintable(result.message));
    QCOMPARE(entriesBelow(dir.path()), QStringList{fileNameFor(format)});
    QCOMPARE(progress.m_maximum, Frames);
    QCOMPARE(progress.m_value, Frames);
    // The frames are painted on the encoder's thread; the progress object,
    // a dialog in the program, is touched only on its own.
    QCOMPARE(progress.m_foreignUses.load(), 0);

    const MovieReader::Movie movie = MovieReader::read(dir.filePath(fileNameFor(format)));
    QVERIFY2(movie.error.isEmpty(), qPrintable(movie.error));
    QCOMPARE(movie.videoStreams, 1);
    QCOMPARE(movie.video.codec, codec);
    QCOMPARE(movie.video.profile, profile);
    QCOMPARE(movie.video.pixelFormat, pixelFormat);
    QCOMPARE(QSize(movie.video.width, movie.video.height), FrameSize);
    QCOMPARE(movie.video.primaries, AVCOL_PRI_BT709);
    QCOMPARE(movie.video.transfer, AVCOL_TRC_BT709);
    QCOMPARE(movie.video.matrix, AVCOL_SPC_BT709);
    QCOMPARE(av_q2d(movie.video.frameRate), FramesPerSecond);
    QCOMPARE(int(movie.video.frames.size()), Frames);
    QVERIFY2(std::abs(movie.video.seconds - Frames / FramesPerSecond) < 0.001,
             qPrintable(QString::number(movie.video.seconds)));
    QCOMPARE(movie.metadata.value(QStringLiteral("title")), scene.name());
    QCOMPARE(movie.metadata.value(QStringLiteral("comment")), QStringLiteral("Created with Kelvane"));

    const bool transparent = format == ExportVideoSettings::ProRes && alpha;
    for (int frame = 1; frame <= Frames; ++frame) {
        const AVFrame &decoded = *movie.video.frames.at(size_t(frame - 1));
        const QColor left = MovieReader::pixel(decoded, FrameSize.width() / 4, FrameSize.height() / 2);
        const QColor right = MovieReader::pixel(decoded, FrameSize.width() * 3 / 4, FrameSize.height() / 2);
        QVERIFY2(near(left, frameColour(frame), tolerance),
                 qPrintable(QStringLiteral("frame %1: %2").arg(frame).arg(describe(left))));
        const QColor background = transparent ? QColor(0, 0, 0, 0) : QColor(Qt::white);
        QVERIFY2(transparent ? right.alpha() == 0 : near(right, background, tolerance),
                 qPrintable(QStringLiteral("frame %1: %2").arg(frame).arg(describe(right))));
    }

    QCOMPARE(movie.audioStreams, sound ? 1 : 0);
    if (sound) {
        QCOMPARE(movie.audio.codec, audioCodec);
        QCOMPARE(movie.audio.channels, 2);
        QVERIFY2(std::abs(movie.audio.seconds - movie.video.seconds) <= 1.0 / FramesPerSecond,
                 qPrintable(QStringLiteral("sound %1 s, pictures %2 s")
                                .arg(movie.audio.seconds)
                                .arg(movie.video.seconds)));
        QVERIFY(movie.audio.peak > 0.2);
    }
}

void TestExportMovie::soundLastsAsLongAsPictures_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("offsetFrames");

    QTest::newRow("mp4 shorter sound") << ExportVideoSettings::MP4 << 0.5 << 0.0;
    QTest::newRow("mp4 longer sound") << ExportVideoSettings::MP4 << 5.0 << 0.0;
    QTest::newRow("mp4 sound starting late") << ExportVideoSettings::MP4 << 1.0 << 6.0;
    QTest::newRow("mp4 sound starting early") << ExportVideoSettings::MP4 << 3.0 << -6.0;
    QTest::newRow("prores shorter sound") << ExportVideoSettings::ProRes << 0.5 << 0.0;
    QTest::newRow("prores sound starting early") << ExportVideoSettings::ProRes << 3.0 << -6.0;
}

// The sound is placed at its offset, filled with silence and cut, so that
// it ends with the last picture.
void TestExportMovie::soundLastsAsLongAsPictures()
{
    QFETCH(Format, format);
    QFETCH(double, seconds);
    QFETCH(double, offsetFrames);

    constexpr int Frames = 24;
    Scene scene;
    buildColourScene(scene, Frames);
    addSound(scene, seconds, offsetFrames);
    QTemporaryDir dir;
    ExportVideoSettings settings = movieSettings(dir.path(), format, fileNameFor(format));
    settings.includeAudio = true;

    QCOMPARE(scene.exportVideo(settings, nullptr).status, ExportResult::Finished);
    const MovieReader::Movie movie = MovieReader::read(dir.filePath(fileNameFor(format)));
    QVERIFY2(movie.error.isEmpty(), qPrintable(movie.error));
    QCOMPARE(int(movie.video.frames.size()), Frames);
    QCOMPARE(movie.audioStreams, 1);
    QVERIFY2(std::abs(movie.audio.seconds - Frames / FramesPerSecond) <= 1.0 / FramesPerSecond,
             qPrintable(QStringLiteral("sound %1 s").arg(movie.audio.seconds)));
    QVERIFY(movie.audio.peak > 0.2);
}

void TestExportMovie::soundOutsideTheFramesIsLeftOut()
{
    Scene scene;
    buildColourScene(scene, 6);
    addSound(scene, 1.0, 40.0);
    QVERIFY(!scene.hasAudioInFrames(1, 6));
    QTemporaryDir dir;
    ExportVideoSettings settings = movieSettings(dir.path(), ExportVideoSettings::MP4, QStringLiteral("walk.mp4"));
    settings.includeAudio = true;

    QCOMPARE(scene.exportVideo(settings, nullptr).status, ExportResult::Finished);
    const MovieReader::Movie movie = MovieReader::read(dir.filePath(QStringLiteral("walk.mp4")));
    QCOMPARE(int(movie.video.frames.size()), 6);
    QCOMPARE(movie.audioStreams, 0);
}

void TestExportMovie::soundKeepsTimeWithPictures_data()
{
    QTest::addColumn<Format>("format");
    QTest::newRow("mp4") << ExportVideoSettings::MP4;
    QTest::newRow("mov") << ExportVideoSettings::ProRes;
}

// The movie's timeline as a player follows it: the first picture shows at
// time 0, and the sound is where it was in the source. A tone falls silent
// 0.8 s in; the decoded sound (with whatever the file marks as the
// encoder's priming dropped, as players drop it) falls silent at the same
// moment within a millisecond.
void TestExportMovie::soundKeepsTimeWithPictures()
{
    QFETCH(Format, format);

    constexpr int Rate = 44100;
    constexpr double GapStart = 0.8;
    constexpr double GapEnd = 1.2;
    QList<qint16> samples = AudioTestFiles::tone(Rate, 2, 2.0, 440, 440);
    for (qint64 i = qint64(GapStart * Rate) * 2; i < qint64(GapEnd * Rate) * 2; ++i)
        samples[i] = 0;
    // Where a tone of this level last reaches a quarter of it before the
    // gap, found alike in the source and in the decoded sound.
    const double loud = 0.25 * 12000.0 / 32768.0;
    const auto lastLoudBefore = [loud](const auto &values, qint64 end, double scale) {
        qint64 last = -1;
        for (qint64 i = 0; i < end && i < qint64(values.size()); ++i) {
            if (std::abs(double(values[i]) * scale) >= loud)
                last = i;
        }
        return last;
    };
    QList<qint16> left;
    for (qint64 i = 0; i < samples.size(); i += 2)
        left.append(samples.at(i));
    const double sourceOnset = double(lastLoudBefore(left, qint64((GapStart + GapEnd) / 2 * Rate), 1.0 / 32768.0) + 1) / Rate;

    constexpr int Frames = 24;
    Scene scene;
    buildColourScene(scene, Frames);
    auto layer = std::make_shared<AudioLayer>(&scene);
    layer->setOriginalAudioData(AudioTestFiles::wavFile(Rate, 2, 16, samples));
    scene.insertLayer(layer, scene.layerCount());
    QTemporaryDir dir;
    ExportVideoSettings settings = movieSettings(dir.path(), format, fileNameFor(format));
    settings.includeAudio = true;
    QCOMPARE(scene.exportVideo(settings, nullptr).status, ExportResult::Finished);

    const MovieReader::Movie movie = MovieReader::read(dir.filePath(fileNameFor(format)));
    QVERIFY2(movie.error.isEmpty(), qPrintable(movie.error));
    QCOMPARE(int(movie.video.frames.size()), Frames);
    QVERIFY2(std::abs(movie.video.firstSeconds) < 0.001,
             qPrintable(QStringLiteral("the first picture shows at %1 s").arg(movie.video.firstSeconds)));
    QCOMPARE(movie.audio.sampleRate, Rate);
    const double middle = (GapStart + GapEnd) / 2 - movie.audio.firstSeconds;
    const qint64 last = lastLoudBefore(movie.audio.firstChannel, qint64(middle * Rate), 1.0);
    QVERIFY(last >= 0);
    const double decodedOnset = movie.audio.firstSeconds + double(last + 1) / Rate;
    QVERIFY2(std::abs(decodedOnset - sourceOnset) <= 0.001,
             qPrintable(QStringLiteral("the tone stops at %1 s instead of %2 s (the sound starts at %3 s)")
                            .arg(decodedOnset, 0, 'f', 4)
                            .arg(sourceOnset, 0, 'f', 4)
                            .arg(movie.audio.firstSeconds, 0, 'f', 4)));
}

// Qt's own GIF reader: every frame with its delay, looping for ever, in the
// scene's colours (within the dither of 5 and 6 bits per channel).
void TestExportMovie::gifAsQtReadsIt()
{
    constexpr int Frames = 8;
    Scene scene;
    buildColourScene(scene, Frames);
    scene.setFrameRate(25.0);
    QTemporaryDir dir;
    const ExportVideoSettings settings =
        movieSettings(dir.path(), ExportVideoSettings::GIF, QStringLiteral("walk.gif"));
    FakeProgress progress;

    QCOMPARE(scene.exportVideo(settings, &progress).status, ExportResult::Finished);
    QCOMPARE(entriesBelow(dir.path()), QStringList{QStringLiteral("walk.gif")});
    QCOMPARE(progress.m_maximum, Frames);

    QImageReader reader(dir.filePath(QStringLiteral("walk.gif")));
    QCOMPARE(reader.format(), QByteArray("gif"));
    QCOMPARE(reader.imageCount(), Frames);
    QCOMPARE(reader.loopCount(), -1);
    for (int frame = 1; frame <= Frames; ++frame) {
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.size(), FrameSize);
        // 100 / 25 fps = 4 hundredths of a second.
        QCOMPARE(reader.nextImageDelay(), 40);
        // The average of a patch, over the dither's pattern.
        int red = 0;
        int green = 0;
        int blue = 0;
        for (int y = 20; y < 28; ++y) {
            for (int x = 8; x < 16; ++x) {
                const QColor colour = image.pixelColor(x, y);
                red += colour.red();
                green += colour.green();
                blue += colour.blue();
            }
        }
        const QColor average(red / 64, green / 64, blue / 64);
        QVERIFY2(near(average, frameColour(frame), 4),
                 qPrintable(QStringLiteral("frame %1: %2").arg(frame).arg(describe(average))));
        QCOMPARE(image.pixelColor(FrameSize.width() * 3 / 4, 10), QColor(Qt::white));
    }
}

void TestExportMovie::exportsSayOnlyWhatIsAskedFor_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<bool>("alpha");
    QTest::addColumn<bool>("sound");
    // Whether FFmpeg has information to give: libx264 reports its settings
    // and statistics, the muxer the second pass that moves the index to the
    // front; GIFs are written without FFmpeg.
    QTest::addColumn<bool>("informs");

    QTest::newRow("mp4") << ExportVideoSettings::MP4 << false << false << true;
    QTest::newRow("mp4 with sound") << ExportVideoSettings::MP4 << false << true << true;
    QTest::newRow("prores 4444") << ExportVideoSettings::ProRes << true << false << true;
    QTest::newRow("prores hq with sound") << ExportVideoSettings::ProRes << false << true << true;
    QTest::newRow("gif") << ExportVideoSettings::GIF << false << false << false;
}

// A movie export that goes well says nothing on the console: every option
// given is one the encoder takes, and FFmpeg's information lines come only
// when the user turns them on through Qt's logging rules (a second run of
// this test does, with QT_LOGGING_RULES="kelvane.ffmpeg.info=true"); then
// they come through Qt's logging, never straight to the stream.
void TestExportMovie::exportsSayOnlyWhatIsAskedFor()
{
    QFETCH(Format, format);
    QFETCH(bool, alpha);
    QFETCH(bool, sound);
    QFETCH(bool, informs);

    // FFmpeg's log as the program's start-up sets it.
    Model::initialize();
    Scene scene;
    buildColourScene(scene, 8);
    if (sound)
        addSound(scene, 1.0, 0.0);
    QTemporaryDir dir;
    ExportVideoSettings settings = movieSettings(dir.path(), format, fileNameFor(format));
    settings.includeAlpha = alpha;
    settings.includeAudio = sound;
    FakeProgress progress;

    Console console;
    QCOMPARE(scene.exportVideo(settings, &progress).status, ExportResult::Finished);
    const QStringList said = console.ours();
    if (!Model::ffmpegLog().isInfoEnabled()) {
        QVERIFY2(said.isEmpty(), qPrintable(said.join(QLatin1Char('\n'))));
        return;
    }
    for (const QString &line : said)
        QVERIFY2(line.startsWith(QLatin1String("kelvane.ffmpeg: ")), qPrintable(line));
    QCOMPARE(!said.isEmpty(), informs);
}

void TestExportMovie::gifKeepsTheScenesClock_data()
{
    QTest::addColumn<double>("fps");
    for (const double fps : {12.0, 15.0, 24.0, 25.0, 30.0})
        QTest::addRow("%g fps", fps) << fps;
}

// A GIF counts time in hundredths of a second: each frame gets the delay
// that keeps the movie on the scene's clock, so that, read back as players
// read it, it lasts its frames over the frame rate.
void TestExportMovie::gifKeepsTheScenesClock()
{
    QFETCH(double, fps);

    constexpr int Frames = 24;
    Scene scene;
    buildColourScene(scene, Frames);
    scene.setFrameRate(fps);
    QTemporaryDir dir;
    QCOMPARE(scene.exportVideo(movieSettings(dir.path(), ExportVideoSettings::GIF, QStringLiteral("walk.gif")), nullptr)
                 .status,
             ExportResult::Finished);

    const MovieReader::Movie movie = MovieReader::read(dir.filePath(QStringLiteral("walk.gif")));
    QVERIFY2(movie.error.isEmpty(), qPrintable(movie.error));
    QCOMPARE(int(movie.video.frames.size()), Frames);
    QVERIFY2(std::abs(movie.video.seconds - Frames / fps) <= 0.01,
             qPrintable(QStringLiteral("%1 s instead of %2 s").arg(movie.video.seconds).arg(Frames / fps)));
}

void TestExportMovie::oddSizes_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<bool>("alpha");
    QTest::addColumn<QSize>("expected");

    // 4:2:0 needs both sides even, 4:2:2 an even width, 4:4:4 and GIF
    // nothing.
    QTest::newRow("mp4") << ExportVideoSettings::MP4 << false << QSize(66, 50);
    QTest::newRow("prores hq") << ExportVideoSettings::ProRes << false << QSize(66, 49);
    QTest::newRow("prores 4444") << ExportVideoSettings::ProRes << true << QSize(65, 49);
    QTest::newRow("gif") << ExportVideoSettings::GIF << false << QSize(65, 49);
}

// An odd side grows by a pixel where the format needs it, and the result
// says so, instead of a movie that fails to encode.
void TestExportMovie::oddSizes()
{
    QFETCH(Format, format);
    QFETCH(bool, alpha);
    QFETCH(QSize, expected);

    Scene scene;
    buildColourScene(scene, 3, QSize(65, 49));
    QTemporaryDir dir;
    ExportVideoSettings settings = movieSettings(dir.path(), format, fileNameFor(format));
    settings.includeAlpha = alpha;

    const ExportResult result = scene.exportVideo(settings, nullptr);
    QCOMPARE(result.status, ExportResult::Finished);
    QCOMPARE(result.message.isEmpty(), expected == QSize(65, 49));
    if (!result.message.isEmpty())
        QVERIFY2(result.message.contains(QStringLiteral("%1 x %2").arg(expected.width()).arg(expected.height())),
                 qPrintable(result.message));

    const QString path = dir.filePath(fileNameFor(format));
    if (format == ExportVideoSettings::GIF) {
        QImageReader reader(path);
        QCOMPARE(reader.size(), expected);
        QCOMPARE(reader.imageCount(), 3);
        return;
    }
    const MovieReader::Movie movie = MovieReader::read(path);
    QCOMPARE(QSize(movie.video.width, movie.video.height), expected);
    QCOMPARE(int(movie.video.frames.size()), 3);
    const QColor left = MovieReader::pixel(*movie.video.frames.front(), 10, 24);
    QVERIFY2(near(left, frameColour(1), 6), qPrintable(describe(left)));
}

void TestExportMovie::scaledExportsLeaveTheSceneAlone_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<int>("percent");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("mp4 150%") << ExportVideoSettings::MP4 << 150 << QSize(96, 72);
    QTest::newRow("prores 150%") << ExportVideoSettings::ProRes << 150 << QSize(96, 72);
    QTest::newRow("gif 150%") << ExportVideoSettings::GIF << 150 << QSize(96, 72);
    QTest::newRow("mp4 50%") << ExportVideoSettings::MP4 << 50 << QSize(32, 24);
}

// The frames are painted at the movie's size: the scene's size, drawings,
// undo history and signals stay as they were, and the movie shows the
// scene scaled.
void TestExportMovie::scaledExportsLeaveTheSceneAlone()
{
    QFETCH(Format, format);
    QFETCH(int, percent);
    QFETCH(QSize, expected);

    Scene scene;
    build(scene, {QStringLiteral("Ink=AB"), QStringLiteral("Paper=ref:AB")});
    scene.setFrameRate(FramesPerSecond);
    addDots(scene, 0, Qt::black);
    QImage picture(FrameSize, QImage::Format_ARGB32);
    picture.fill(frameColour(1));
    setPicture(scene, 1, 1, picture);
    setPicture(scene, 1, 2, picture);
    scene.setLayerOpacity(1, 1.0);
    const QList<QByteArray> records = {drawingRecord(scene, 0, 1), drawingRecord(scene, 0, 2),
                                       drawingRecord(scene, 1, 1)};
    const int undoCount = scene.undoStack()->count();
    QSignalSpy sizeChanges(&scene, &Scene::frameSizeAboutToChange);
    QSignalSpy sizes(&scene, &Scene::frameSizeChanged);
    QSignalSpy repaints(&scene, &Scene::rectChanged);
    QSignalSpy drawings(&scene, &Scene::drawingsChanged);

    QTemporaryDir dir;
    ExportVideoSettings settings = movieSettings(dir.path(), format, fileNameFor(format));
    settings.scalePercent = percent;
    QCOMPARE(scene.exportVideo(settings, nullptr).status, ExportResult::Finished);

    QCOMPARE(scene.frameSize(), FrameSize);
    QCOMPARE(drawingRecord(scene, 0, 1), records.at(0));
    QCOMPARE(drawingRecord(scene, 0, 2), records.at(1));
    QCOMPARE(drawingRecord(scene, 1, 1), records.at(2));
    QCOMPARE(scene.undoStack()->count(), undoCount);
    QCOMPARE(sizeChanges.count(), 0);
    QCOMPARE(sizes.count(), 0);
    QCOMPARE(repaints.count(), 0);
    QCOMPARE(drawings.count(), 0);

    // The dot of frame 2, scaled, over the picture.
    const QRectF dot = QRectF(dotOfFrame(2)).adjusted(1, 1, -1, -1);
    const double scale = percent / 100.0;
    const QPoint inDot = (dot.center() * scale).toPoint();
    const QPoint outside(expected.width() / 2, expected.height() * 3 / 4);
    QColor ink;
    QColor paper;
    if (format == ExportVideoSettings::GIF) {
        QImageReader reader(dir.filePath(fileNameFor(format)));
        QCOMPARE(reader.size(), expected);
        reader.jumpToImage(1);
        QImage second;
        reader.read();
        second = reader.read();
        ink = second.pixelColor(inDot);
        paper = second.pixelColor(outside);
    } else {
        const MovieReader::Movie movie = MovieReader::read(dir.filePath(fileNameFor(format)));
        QCOMPARE(QSize(movie.video.width, movie.video.height), expected);
        QCOMPARE(int(movie.video.frames.size()), 2);
        ink = MovieReader::pixel(*movie.video.frames.at(1), inDot.x(), inDot.y());
        paper = MovieReader::pixel(*movie.video.frames.at(1), outside.x(), outside.y());
    }
    if (percent > 100)
        QVERIFY2(near(ink, Qt::black, 40), qPrintable(describe(ink)));
    QVERIFY2(near(paper, frameColour(1), 12), qPrintable(describe(paper)));
}


void TestExportMovie::floatingPieceAsStamped_data()
{
    QTest::addColumn<Floating>("where");

    QTest::newRow("mp4, a reference layer's cell active") << Floating::OverReference;
    QTest::newRow("mp4, after the last drawing") << Floating::AfterLast;
    QTest::newRow("mp4, after the last drawing of linked layers") << Floating::AfterLastLinked;
}

// A piece left floating is in the movie as stamping it first puts it there:
// as many frames, each showing the same.
void TestExportMovie::floatingPieceAsStamped()
{
    QFETCH(Floating, where);
    const auto reset = qScopeGuard([] {
        KLScene::setCurrent(nullptr);
        ToolManager::instance()->setCurrentTool(Tool::Type::Pen);
    });

    QTemporaryDir dir;
    MovieReader::Movie movies[2];
    for (const bool stamped : {true, false}) {
        KLScene handle;
        buildFloatingPiece(handle, where, stamped);
        if (QTest::currentTestFailed())
            return;
        handle.scene()->setFrameRate(FramesPerSecond);
        const QString name = stamped ? QStringLiteral("stamped.mp4") : QStringLiteral("floating.mp4");
        QCOMPARE(handle.scene()->exportVideo(movieSettings(dir.path(), ExportVideoSettings::MP4, name), nullptr).status,
                 ExportResult::Finished);
        movies[stamped ? 0 : 1] = MovieReader::read(dir.filePath(name));
        QVERIFY2(movies[stamped ? 0 : 1].error.isEmpty(), qPrintable(movies[stamped ? 0 : 1].error));
        KLScene::setCurrent(nullptr);
    }
    const MovieReader::Video &stamped = movies[0].video;
    const MovieReader::Video &floating = movies[1].video;
    QCOMPARE(int(stamped.frames.size()), where == Floating::OverReference ? 2 : 3);
    QCOMPARE(int(floating.frames.size()), int(stamped.frames.size()));
    for (size_t frame = 0; frame < stamped.frames.size(); ++frame) {
        for (int y = 0; y < FrameSize.height(); ++y) {
            for (int x = 0; x < FrameSize.width(); ++x) {
                const QColor expected = MovieReader::pixel(*stamped.frames.at(frame), x, y);
                const QColor found = MovieReader::pixel(*floating.frames.at(frame), x, y);
                if (!near(found, expected, 4))
                    QFAIL(qPrintable(QStringLiteral("frame %1 at (%2, %3): %4, expected %5")
                                         .arg(frame + 1)
                                         .arg(x)
                                         .arg(y)
                                         .arg(describe(found), describe(expected))));
            }
        }
    }
}

void TestExportMovie::fullDiskFails_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<bool>("sound");

    QTest::newRow("mp4") << ExportVideoSettings::MP4 << false;
    QTest::newRow("mp4 with sound") << ExportVideoSettings::MP4 << true;
    QTest::newRow("prores") << ExportVideoSettings::ProRes << false;
    QTest::newRow("gif") << ExportVideoSettings::GIF << false;
}

// A disk that fills up midway: the export ends (no stage stays waiting for
// another), says that it failed and why, leaves nothing of its own behind
// and keeps the movie of an earlier export.
void TestExportMovie::fullDiskFails()
{
    QFETCH(Format, format);
    QFETCH(bool, sound);

    Scene scene;
    buildNoiseScene(scene, 24);
    if (sound)
        addSound(scene, 2.0, 0.0);
    QTemporaryDir dir;
    const QString name = fileNameFor(format);
    QVERIFY(writeFileContents(dir.filePath(name), "the earlier movie"));
    ExportVideoSettings settings = movieSettings(dir.path(), format, name);
    settings.includeAudio = sound;
    FakeProgress progress;

    ExportResult result;
    {
        const Watchdog watchdog(ExportTimeLimit);
        const FileSizeLimit limit(FullDiskLimit);
        result = scene.exportVideo(settings, &progress);
    }
    QCOMPARE(result.status, ExportResult::Failed);
    QVERIFY2(result.message.contains(QDir::toNativeSeparators(dir.filePath(name))), qPrintable(result.message));
    QCOMPARE(ExportResult::failureTitle(), QStringLiteral("Export failed"));
    QCOMPARE(progress.m_resets, 1);
    QCOMPARE(entriesBelow(dir.path()), QStringList{name});
    QCOMPARE(fileContents(dir.filePath(name)), QByteArray("the earlier movie"));
}

// A movie named after a device (/dev/full, where every write fails) is
// refused rather than put in the device's place; nothing is left beside it.
void TestExportMovie::deviceIsNotReplaced()
{
    struct stat before;
    if (stat("/dev/full", &before) != 0 || !S_ISCHR(before.st_mode))
        QSKIP("no /dev/full");
    Scene scene;
    buildColourScene(scene, 3);

    ExportResult result;
    {
        const Watchdog watchdog(ExportTimeLimit);
        result = scene.exportVideo(movieSettings(QStringLiteral("/dev"), ExportVideoSettings::MP4,
                                                 QStringLiteral("full")),
                                   nullptr);
    }
    QCOMPARE(result.status, ExportResult::Failed);
    QVERIFY2(result.message.contains(QStringLiteral("/dev/full")), qPrintable(result.message));
    struct stat after;
    QCOMPARE(stat("/dev/full", &after), 0);
    QVERIFY(S_ISCHR(after.st_mode));
    QCOMPARE(after.st_rdev, before.st_rdev);
    const QDir dev(QStringLiteral("/dev"));
    QCOMPARE(dev.entryList({QStringLiteral(".full*")}, QDir::AllEntries | QDir::Hidden | QDir::System), QStringList());
}

void TestExportMovie::cancels_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<bool>("sound");
    QTest::addColumn<int>("cancelAt");

    for (const int cancelAt : {0, 10}) {
        const char *when = cancelAt == 0 ? "at once" : "after 10 frames";
        QTest::addRow("mp4 %s", when) << ExportVideoSettings::MP4 << false << cancelAt;
        QTest::addRow("mp4 with sound %s", when) << ExportVideoSettings::MP4 << true << cancelAt;
        QTest::addRow("prores %s", when) << ExportVideoSettings::ProRes << false << cancelAt;
        QTest::addRow("gif %s", when) << ExportVideoSettings::GIF << false << cancelAt;
    }
}

// The user's cancel, whenever it comes, ends the export early, quietly, and
// leaves no movie.
void TestExportMovie::cancels()
{
    QFETCH(Format, format);
    QFETCH(bool, sound);
    QFETCH(int, cancelAt);

    constexpr int Frames = 400;
    Scene scene;
    buildColourScene(scene, 8);
    // Holds after the eight pictures: a long movie that is quick to paint.
    for (int frame = 9; frame <= Frames; ++frame)
        scene.addCloneDrawing(0, frame - 1, true);
    scene.updateMaxFrameNumber();
    QCOMPARE(scene.maximumFrameNumber(), Frames);
    if (sound)
        addSound(scene, 10.0, 0.0);
    QTemporaryDir dir;
    ExportVideoSettings settings = movieSettings(dir.path(), format, fileNameFor(format));
    settings.includeAudio = sound;
    FakeProgress progress(cancelAt);

    ExportResult result;
    {
        const Watchdog watchdog(ExportTimeLimit);
        result = scene.exportVideo(settings, &progress);
    }
    QCOMPARE(result.status, ExportResult::Canceled);
    QCOMPARE(progress.m_foreignUses.load(), 0);
    QVERIFY(progress.m_value >= cancelAt);
    QVERIFY2(progress.m_value < Frames, qPrintable(QString::number(progress.m_value)));
    QCOMPARE(entriesBelow(dir.path()), QStringList());
}

void TestExportMovie::frameRateFraction_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<int>("numerator");
    QTest::addColumn<int>("denominator");

    QTest::newRow("12") << 12.0 << 12 << 1;
    QTest::newRow("29.97") << 29.97 << 2997 << 100;
    QTest::newRow("12.5") << 12.5 << 25 << 2;
    QTest::newRow("7.25") << 7.25 << 29 << 4;
    QTest::newRow("23.976") << 23.976 << 2398 << 100;
    QTest::newRow("60") << 60.0 << 60 << 1;
}

void TestExportMovie::frameRateFraction()
{
    QFETCH(double, fps);
    QFETCH(int, numerator);
    QFETCH(int, denominator);

    const FfmpegVideoEncoder::FrameRate rate = FfmpegVideoEncoder::frameRateFraction(fps);
    QCOMPARE(rate.numerator, numerator);
    QCOMPARE(rate.denominator, denominator);
}

void TestExportMovie::encoderAlwaysFinishes_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("pictures");
    QTest::addColumn<FfmpegVideoEncoder::Error>("error");

    QTest::newRow("no frames") << QString() << QSize(64, 48) << 0 << FfmpegVideoEncoder::EncodingError;
    QTest::newRow("no size") << QString() << QSize(0, 0) << 3 << FfmpegVideoEncoder::SetupError;
    QTest::newRow("missing folder") << QStringLiteral("missing/folder") << QSize(64, 48) << 3
                                    << FfmpegVideoEncoder::WritingError;
    QTest::newRow("three frames") << QString() << QSize(64, 48) << 3 << FfmpegVideoEncoder::NoError;
}

// finished() comes once however the run ends, also when nothing could be set
// up; a movie without frames is a failure, not a success.
void TestExportMovie::encoderAlwaysFinishes()
{
    QFETCH(QString, folder);
    QFETCH(QSize, size);
    QFETCH(int, pictures);
    QFETCH(FfmpegVideoEncoder::Error, error);

    QTemporaryDir dir;
    const ExportVideoSettings settings =
        movieSettings(dir.filePath(folder), ExportVideoSettings::MP4, QStringLiteral("walk.mp4"));
    FfmpegVideoEncoder encoder(settings, size, FramesPerSecond);
    int made = 0;
    encoder.setFrameSource([&made, pictures, size] {
        if (made >= pictures)
            return QImage();
        ++made;
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::gray);
        return image;
    });
    QSignalSpy finished(&encoder, &FfmpegVideoEncoder::finished);
    QSignalSpy errors(&encoder, &FfmpegVideoEncoder::error);
    encoder.start();
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(encoder.errorCode(), error);
    QCOMPARE(errors.count(), error == FfmpegVideoEncoder::NoError ? 0 : 1);
    QCOMPARE(encoder.errorString().isEmpty(), error == FfmpegVideoEncoder::NoError);
    if (error == FfmpegVideoEncoder::NoError)
        QCOMPARE(int(MovieReader::read(dir.filePath(QStringLiteral("walk.mp4"))).video.frames.size()), pictures);
    // A second stop changes nothing and announces nothing.
    encoder.stop();
    QTest::qWait(10);
    QCOMPARE(finished.count(), 1);
}

void TestExportMovie::writingToDevFullFails_data()
{
    QTest::addColumn<Format>("format");
    QTest::newRow("mp4") << ExportVideoSettings::MP4;
    QTest::newRow("prores") << ExportVideoSettings::ProRes;
}

// A device that refuses every write: the run ends as a writing failure
// instead of hanging, and the encoder leaves the device alone.
void TestExportMovie::writingToDevFullFails()
{
    QFETCH(Format, format);
    struct stat before;
    if (stat("/dev/full", &before) != 0 || !S_ISCHR(before.st_mode))
        QSKIP("no /dev/full");

    const ExportVideoSettings settings = movieSettings(QStringLiteral("/dev"), format, QStringLiteral("full"));
    FfmpegVideoEncoder encoder(settings, QSize(64, 48), FramesPerSecond);
    encoder.setOutputPath(QStringLiteral("/dev/full"));
    int made = 0;
    encoder.setFrameSource([&made] {
        if (made >= 200)
            return QImage();
        return noise(QSize(64, 48), quint32(++made));
    });
    QSignalSpy finished(&encoder, &FfmpegVideoEncoder::finished);
    {
        const Watchdog watchdog(ExportTimeLimit);
        encoder.start();
        QVERIFY(finished.wait(30000));
    }
    QCOMPARE(encoder.errorCode(), FfmpegVideoEncoder::WritingError);
    struct stat after;
    QCOMPARE(stat("/dev/full", &after), 0);
    QVERIFY(S_ISCHR(after.st_mode));
    QCOMPARE(after.st_rdev, before.st_rdev);
}

QTEST_MAIN(TestExportMovie)
#include "tst_exportmovie.moc"
