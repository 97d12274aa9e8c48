// Saving a scene to a file: a save replaces the file only with a whole new
// document, and a save that fails or is cancelled leaves the file that was
// there exactly as it was, and says why.

#include "scenefiletesthelpers.h"

#include "io/scenefile.h"
#include "support/failingdevice.h"
#include "support/fakeprogress.h"
#include "support/filesizelimit.h"
#include "support/smallfilesystem.h"

#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#include <sys/stat.h>

using namespace Model;
using namespace SceneFileTest;
using TestSupport::FailingDevice;
using TestSupport::FakeProgress;
using TestSupport::FileSizeLimit;
using TestSupport::FullDisk;
using TestSupport::SmallFileSystem;

namespace {

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The scene that was saved before: small, so that the new one differs.
void buildOld(Scene &scene)
{
    scene.setFrameSize(FrameSize, KL::FitMode::FitModeIgnore);
    CellTest::buildScene(scene, {QStringLiteral("X")});
}

enum class Failure {
    CancelAtOnce,
    CancelPartWay,
    DiskFullAtOnce,
    DiskFullPartWay,
    DiskFullAtTheLastBytes,
    DiskFullInALargeDrawing,
    ReadOnly,
    ReadOnlyFileSystem
};

} // namespace

Q_DECLARE_METATYPE(Failure)

class TestSceneSave : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void saveReplacesTheFile();
    void failedSaveKeepsTheOldFile_data();
    void failedSaveKeepsTheOldFile();
    void noFileTakesThePlaceOfAFolderOrDevice_data();
    void noFileTakesThePlaceOfAFolderOrDevice();
    void saveIntoAFolderThatIsGone();
    void writerReportsAFailingDevice_data();
    void writerReportsAFailingDevice();
    void progressDialogIsSetUp();
};

void TestSceneSave::initTestCase()
{
    TestSupport::startRenderer(QSize(64, 64));
}

void TestSceneSave::saveReplacesTheFile()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("scene.kl"));
    Scene old;
    buildOld(old);
    QCOMPARE(SceneFile::save(old, path).result, int(SceneFormat::Done));
    QCOMPARE(contentsOf(path), written(old));

    Scene scene;
    buildEveryKind(scene);
    const SceneFile::SaveResult saved = SceneFile::save(scene, path);
    QCOMPARE(saved.result, int(SceneFormat::Done));
    QCOMPARE(saved.message, QString());
    QCOMPARE(contentsOf(path), written(scene));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("scene.kl")});
}

void TestSceneSave::failedSaveKeepsTheOldFile_data()
{
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<int>("result");

    QTest::newRow("cancelled at once") << Failure::CancelAtOnce << int(SceneFormat::Cancelled);
    QTest::newRow("cancelled part-way") << Failure::CancelPartWay << int(SceneFormat::Cancelled);
    QTest::newRow("disk full at once") << Failure::DiskFullAtOnce << int(SceneFormat::Failed);
    QTest::newRow("disk full part-way") << Failure::DiskFullPartWay << int(SceneFormat::Failed);
    // The last bytes wait in the file's buffer until the very end.
    QTest::newRow("disk full at the last bytes") << Failure::DiskFullAtTheLastBytes << int(SceneFormat::Failed);
    // A real small disk where the test may mount one: it fills up while a
    // drawing's text is written.
    QTest::newRow("disk full in a large drawing") << Failure::DiskFullInALargeDrawing << int(SceneFormat::Failed);
    // The tests may run with every right: the permission bits alone say
    // read-only.
    QTest::newRow("read-only file") << Failure::ReadOnly << int(SceneFormat::Failed);
    // A file that its bits let anyone write, on a disk mounted read-only
    // since it was saved: the system's reason, not the file's.
    QTest::newRow("read-only file system") << Failure::ReadOnlyFileSystem << int(SceneFormat::Failed);
}

void TestSceneSave::failedSaveKeepsTheOldFile()
{
    QFETCH(Failure, failure);
    QFETCH(int, result);
    QTemporaryDir root;
    QString folder = root.path();
    std::unique_ptr<FullDisk> fullDisk;
    std::unique_ptr<SmallFileSystem> disk;
    if (failure == Failure::DiskFullInALargeDrawing || failure == Failure::ReadOnlyFileSystem) {
        folder = root.filePath(QStringLiteral("disk"));
        QVERIFY(QDir().mkdir(folder));
    }
    if (failure == Failure::DiskFullInALargeDrawing) {
        fullDisk = std::make_unique<FullDisk>(folder, 64 * 1024);
    } else if (failure == Failure::ReadOnlyFileSystem) {
        disk = std::make_unique<SmallFileSystem>(folder, 1024 * 1024, SmallFileSystem::Writable);
        if (!disk->isMounted())
            QSKIP(qPrintable(QStringLiteral("No file system to mount read-only: %1").arg(disk->whyNot())));
    }
    const QString path = QDir(folder).filePath(QStringLiteral("scene.kl"));
    Scene old;
    buildOld(old);
    QCOMPARE(SceneFile::save(old, path).result, int(SceneFormat::Done));
    const QByteArray before = contentsOf(path);

    Scene scene;
    buildEveryKind(scene);
    if (failure == Failure::DiskFullInALargeDrawing)
        addLargeDrawing(scene);
    const qint64 size = written(scene).size();
    FakeProgress progress(failure == Failure::CancelAtOnce ? 0 : failure == Failure::CancelPartWay ? 8 : -1);
    std::unique_ptr<FileSizeLimit> limit;
    if (failure == Failure::DiskFullAtOnce)
        limit = std::make_unique<FileSizeLimit>(0);
    else if (failure == Failure::DiskFullPartWay)
        limit = std::make_unique<FileSizeLimit>(size / 2);
    else if (failure == Failure::DiskFullAtTheLastBytes)
        limit = std::make_unique<FileSizeLimit>(size - 1);
    else if (failure == Failure::DiskFullInALargeDrawing)
        fullDisk->fill();
    else if (failure == Failure::ReadOnly)
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    else if (failure == Failure::ReadOnlyFileSystem)
        QVERIFY(disk->remount(1024 * 1024, SmallFileSystem::ReadOnly));
    const SceneFile::SaveResult saved = SceneFile::save(scene, path, &progress);
    limit.reset();

    QCOMPARE(saved.result, result);
    if (result == SceneFormat::Cancelled) {
        QCOMPARE(saved.message, QString());
    } else {
        QVERIFY2(saved.message.startsWith(QStringLiteral("Cannot write file %1").arg(QDir::toNativeSeparators(path))),
                 qPrintable(saved.message));
    }
    // The system's reason, wherever the disk filled up.
    if (failure == Failure::DiskFullAtOnce || failure == Failure::DiskFullPartWay
        || failure == Failure::DiskFullAtTheLastBytes)
        QVERIFY2(saved.message.contains(qt_error_string(EFBIG)), qPrintable(saved.message));
    if (failure == Failure::ReadOnly)
        QVERIFY2(saved.message.endsWith(QStringLiteral(":\nThe file is read-only.")), qPrintable(saved.message));
    if (disk) {
        QVERIFY(QFileInfo(path).permissions() & QFile::WriteOwner);
        QVERIFY2(saved.message.endsWith(QStringLiteral(":\n%1.").arg(TestSupport::systemErrorText(EROFS))),
                 qPrintable(saved.message));
    }
    if (fullDisk) {
        QVERIFY(size > 2 * 64 * 1024);
        QVERIFY2(saved.message.endsWith(QStringLiteral(":\n%1.").arg(fullDisk->reason())), qPrintable(saved.message));
    }
    QCOMPARE(contentsOf(path), before);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("scene.kl")});
}

void TestSceneSave::noFileTakesThePlaceOfAFolderOrDevice_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder") << QString() << QStringLiteral("It is a folder");
    // Where the platform has it: a device that takes nothing.
    if (QFileInfo::exists(QStringLiteral("/dev/full")))
        QTest::newRow("/dev/full") << QStringLiteral("/dev/full") << QStringLiteral("It is not a regular file");
}

void TestSceneSave::noFileTakesThePlaceOfAFolderOrDevice()
{
    QFETCH(QString, path);
    QFETCH(QString, reason);
    QTemporaryDir folder;
    if (path.isEmpty()) {
        path = folder.filePath(QStringLiteral("scene.kl"));
        QVERIFY(QDir().mkdir(path));
    }
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);

    Scene scene;
    buildEveryKind(scene);
    const SceneFile::SaveResult saved = SceneFile::save(scene, path);
    QCOMPARE(saved.result, int(SceneFormat::Failed));
    QVERIFY2(saved.message.contains(reason), qPrintable(saved.message));
    struct stat after {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &after), 0);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_rdev, before.st_rdev);
}

void TestSceneSave::saveIntoAFolderThatIsGone()
{
    QTemporaryDir folder;
    const QString gone = folder.filePath(QStringLiteral("gone"));
    QVERIFY(QDir().mkdir(gone));
    QVERIFY(QDir().rmdir(gone));
    const QString path = QDir(gone).filePath(QStringLiteral("scene.kl"));
    Scene scene;
    buildOld(scene);
    const SceneFile::SaveResult saved = SceneFile::save(scene, path);
    QCOMPARE(saved.result, int(SceneFormat::Failed));
    QVERIFY2(saved.message.startsWith(QStringLiteral("Cannot write file %1:\n").arg(QDir::toNativeSeparators(path))),
             qPrintable(saved.message));
    QVERIFY(!QFileInfo::exists(gone));
}

void TestSceneSave::writerReportsAFailingDevice_data()
{
    QTest::addColumn<qint64>("capacity");
    QTest::newRow("nothing taken") << qint64(0);
    QTest::newRow("the declaration taken") << qint64(60);
    QTest::newRow("part of the document taken") << qint64(5000);
}

void TestSceneSave::writerReportsAFailingDevice()
{
    QFETCH(qint64, capacity);
    Scene scene;
    buildEveryKind(scene);
    FailingDevice device(capacity);
    SceneWriter writer(&scene);
    QCOMPARE(writer.write(&device), int(SceneFormat::Failed));
    QCOMPARE(writer.errorString(), QStringLiteral("The device is full"));

    // The same from a device of the system's, where there is one.
    QFile full(QStringLiteral("/dev/full"));
    if (!full.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        QSKIP("No /dev/full here");
    SceneWriter fullWriter(&scene);
    QCOMPARE(fullWriter.write(&full), int(SceneFormat::Failed));
    QVERIFY(!fullWriter.errorString().isEmpty());
}

// The reader and writer set up the caller's dialog through its properties
// and slots: a real one must take every one of them.
void TestSceneSave::progressDialogIsSetUp()
{
    Scene scene;
    buildEveryKind(scene);
    for (const bool reading : {false, true}) {
        QProgressDialog dialog;
        QByteArray document;
        if (reading) {
            Scene reopened;
            SceneReader reader(&reopened, &dialog);
            QCOMPARE(dialog.labelText(), QStringLiteral("Opening scene..."));
            QBuffer buffer;
            buffer.setData(written(scene));
            buffer.open(QIODevice::ReadOnly);
            QCOMPARE(reader.read(&buffer), int(SceneFormat::Done));
        } else {
            SceneWriter writer(&scene, &dialog);
            QCOMPARE(dialog.labelText(), QStringLiteral("Saving scene..."));
            QBuffer buffer(&document);
            buffer.open(QIODevice::WriteOnly);
            QCOMPARE(writer.write(&buffer), int(SceneFormat::Done));
        }
        QCOMPARE(dialog.minimumDuration(), 2000);
        QCOMPARE(dialog.windowModality(), Qt::WindowModal);
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QVERIFY(dialog.findChild<QPushButton *>());
        QCOMPARE(dialog.findChild<QPushButton *>()->text(), QStringLiteral("Cancel"));
        QVERIFY(!dialog.isVisible());
    }
}

QTEST_MAIN(TestSceneSave)
#include "tst_scenesave.moc"
