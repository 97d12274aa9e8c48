#include "scenefileio.h"

#include "layers/visuallayer.h"
#include "scene/scene.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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

// Starts the helper on a save of `frames` pictures to `path` and returns
// once it is about to save. With `stopIn`, it saves that many times and
// stops itself in the last save at `stopAt` (see the helper).
bool startSave(QProcess &process, const QString &path, int frames, int stopIn = 0, const QString &stopAt = {})
{
    QStringList arguments{path, QString::number(frames)};
    if (stopIn > 0) {
        arguments << stopAt << QString::number(stopIn);
#ifdef Q_OS_LINUX
        // One that stands still goes with the test, however the test ends.
        process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
    }
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
// earlier save: the helper stops itself there, from the save's own calls of
// the system, and is killed standing still, from none of the document
// written to all of it, and just before and after the rename. The first save
// must leave the old file until the rename, a later one the whole document.
class TestAtomicSave : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void killedDuringTheSave_data();
    void killedDuringTheSave();

private:
    QTemporaryDir m_dir;
    QByteArray m_old;
    // The size of the large scene's file.
    qint64 m_whole = 0;
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

void TestAtomicSave::killedDuringTheSave_data()
{
    QTest::addColumn<int>("save");
    QTest::addColumn<QString>("stop");
    for (const int save : {1, 2}) {
        for (int percent = 0; percent <= 100; percent += 10) {
            QTest::addRow("save %d, %d %% written", save, percent)
                << save << QString::number(m_whole * percent / 100);
        }
        QTest::addRow("save %d, before the rename", save) << save << QStringLiteral("rename");
        QTest::addRow("save %d, after the rename", save) << save << QStringLiteral("renamed");
    }
}

void TestAtomicSave::killedDuringTheSave()
{
#ifdef Q_OS_LINUX
    QFETCH(int, save);
    QFETCH(QString, stop);
    const QString target = QDir(m_dir.filePath(QStringLiteral("saves"))).filePath(QStringLiteral("walk.kl"));
    QVERIFY(writeFileContents(target, m_old));

    QProcess process;
    QVERIFY(startSave(process, target, LargeScene, save, stop));
    // The helper stops where it was asked to, or ends saying that its save
    // never came there.
    while (!process.canReadLine() || !SaveInProgress::stopped(process.processId())) {
        if (process.waitForFinished(1))
            QFAIL(qPrintable(QStringLiteral("the helper ended: ") + QString::fromLocal8Bit(process.readAllStandardError())));
    }
    QCOMPARE(process.readLine(), QStringLiteral("stopping in save %1\n").arg(save).toUtf8());
    process.kill();
    QVERIFY(process.waitForFinished(-1));
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);

    const QByteArray now = fileContents(target);
    const QString what = QStringLiteral("the kill left %1 bytes").arg(now.size());
    if (save == 1 && stop != u"renamed")
        QVERIFY2(now == m_old, qPrintable(what + QStringLiteral(", not the old file")));
    else
        QVERIFY2(framesOf(target) == LargeScene, qPrintable(what + QStringLiteral(", not the whole new file")));
#endif
}

QTEST_MAIN(TestAtomicSave)

#include "tst_atomicsave.moc"
