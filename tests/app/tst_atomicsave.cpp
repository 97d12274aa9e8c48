#include "scenefileio.h"

#include "layers/visuallayer.h"
#include "scene/scene.h"
#include "support/testfiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#ifdef Q_OS_LINUX
#include "saveinprogress.h"

#include <signal.h>
#include <sys/prctl.h>
#endif

namespace {

using TestSupport::fileContents;
using TestSupport::writeFileContents;

// Pictures in the large scene: enough that its save is seen to grow.
constexpr int LargeScene = 8;
constexpr int Kills = 20;

// Starts the helper on `times` saves (0: until it is killed) of `frames`
// pictures to `path` and returns once it is about to save. With `stopAt`,
// the helper stops itself once save number `stopFrom` or a later one has
// written so many bytes.
bool startSave(QProcess &process, const QString &path, int frames, int times = 1, qint64 stopAt = -1,
               int stopFrom = 1)
{
#ifdef Q_OS_LINUX
    // One that saves until it is killed goes with the test, however the
    // test ends.
    if (times == 0)
        process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
    QStringList arguments{path, QString::number(frames), QString::number(times)};
    if (stopAt >= 0)
        arguments << QString::number(stopAt) << QString::number(stopFrom);
    process.start(QStringLiteral(KELVANE_SAVE_HELPER), arguments);
    if (!process.waitForStarted())
        return false;
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(60000))
            return false;
    }
    return process.readLine() == "saving\n";
}

// Runs a whole save; the exit code, -1 when the helper did not run through.
int save(const QString &path, int frames)
{
    QProcess process;
    if (!startSave(process, path, frames))
        return -1;
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

// How many pictures the file's scene holds; -1 when it does not read.
int framesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    Model::Scene scene;
    if (SceneFileIO::readScene(&scene, &file, nullptr).result != SceneFileIO::Success || scene.layerCount() != 1)
        return -1;
    const auto *layer = dynamic_cast<const Model::VisualLayer *>(scene.layerAt(0).get());
    return layer ? layer->frameCount() : -1;
}

} // namespace

// A save killed at any moment leaves the old file or the whole new one.
//
// The kills fall where the save has got to, not at a time guessed from an
// earlier save: the helper saves over and over, stops itself once a save's
// new file holds a share of the document, and is killed there, standing
// still with that file open. Half the kills come during the first save,
// which must leave the old file as it was, half during a later one, which
// must leave the whole document that the first save wrote. However busy
// the machine, every kill comes during a save.
class TestAtomicSave : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void killedDuringTheSave_data();
    void killedDuringTheSave();

private:
    QTemporaryDir m_dir;
    QByteArray m_old;
    // The size of the large scene's file.
    qint64 m_whole = 0;
    // Saves that moved on before the helper stopped in them (the first save
    // ended before the helper saw the share of it that it was to stop at);
    // such a kill starts over with a new helper.
    int m_missed = 0;
};

void TestAtomicSave::initTestCase()
{
#ifndef Q_OS_LINUX
    QSKIP("the save in progress is watched through /proc");
#else
    if (!SaveInProgress::watchable())
        QSKIP("no /proc to watch the save in progress through");
#endif
    QVERIFY(m_dir.isValid());
    // The old file, a small scene; and the size of the large one.
    const QString small = m_dir.filePath(QStringLiteral("small.kl"));
    QCOMPARE(save(small, 1), 0);
    m_old = fileContents(small);
    QVERIFY(!m_old.isEmpty());
    const QString reference = m_dir.filePath(QStringLiteral("reference.kl"));
    QCOMPARE(save(reference, LargeScene), 0);
    QCOMPARE(framesOf(reference), LargeScene);
    m_whole = QFileInfo(reference).size();
    QVERIFY(m_whole != m_old.size());
    // Only the saves under test write into this folder.
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("saves")));
}

void TestAtomicSave::cleanupTestCase()
{
    qInfo("%d times a save moved on before the helper stopped in it", m_missed);
}

void TestAtomicSave::killedDuringTheSave_data()
{
    QTest::addColumn<bool>("firstSave");
    QTest::addColumn<int>("percent");
    // Shares of the document from none of it to nine tenths.
    for (const bool firstSave : {true, false}) {
        for (int percent = 0; percent < 100; percent += 100 / (Kills / 2)) {
            QTest::addRow("%s save, %d %% written", firstSave ? "first" : "later", percent) << firstSave
                                                                                          << percent;
        }
    }
}

void TestAtomicSave::killedDuringTheSave()
{
#ifdef Q_OS_LINUX
    QFETCH(bool, firstSave);
    QFETCH(int, percent);
    const QString folder = m_dir.filePath(QStringLiteral("saves"));
    const QString target = QDir(folder).filePath(QStringLiteral("walk.kl"));
    const qint64 share = m_whole * percent / 100;

    qint64 written = -1;
    QProcess process;
    while (written < 0) {
        QVERIFY(writeFileContents(target, m_old));
        QVERIFY(startSave(process, target, LargeScene, 0, share, firstSave ? 1 : 2));
        // Only a helper that hangs makes this run out.
        const QDeadlineTimer hung(120000);
        while (!process.canReadLine() || !SaveInProgress::stopped(process.processId())) {
            QVERIFY2(!process.waitForFinished(1), process.readAllStandardError().constData());
            QVERIFY2(!hung.hasExpired(), "the helper's saves stopped getting on");
        }
        int save = 0;
        unsigned long long inode = 0;
        QCOMPARE(std::sscanf(process.readLine().constData(), "stopping in save %d, file %llu", &save, &inode), 2);
        // Standing still, the helper shows how far its save has got: it
        // stopped in the save it named unless that save's new file has gone.
        const SaveInProgress::NewFile file = SaveInProgress::newFile(QString::number(process.processId()), folder);
        if (file.inode == inode && (save == 1) == firstSave) {
            QVERIFY(file.bytes >= share);
            written = file.bytes;
        } else {
            ++m_missed;
        }
        process.kill();
        QVERIFY(process.waitForFinished(-1));
        QVERIFY2(process.exitStatus() == QProcess::CrashExit,
                 qPrintable(QStringLiteral("the helper ended by itself: ")
                            + QString::fromLocal8Bit(process.readAllStandardError())));
    }

    const QByteArray now = fileContents(target);
    const QString what = QStringLiteral("the kill, with %1 of %2 bytes written, left %3 bytes")
                             .arg(written)
                             .arg(m_whole)
                             .arg(now.size());
    if (firstSave)
        QVERIFY2(now == m_old, qPrintable(what + QStringLiteral(", not the old file")));
    else
        QVERIFY2(framesOf(target) == LargeScene, qPrintable(what + QStringLiteral(", not the whole new file")));
#endif
}

QTEST_MAIN(TestAtomicSave)

#include "tst_atomicsave.moc"
