#include "scenefileio.h"

#include "layers/visuallayer.h"
#include "scene/scene.h"
#include "support/testfiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

using TestSupport::fileContents;
using TestSupport::writeFileContents;

// Pictures in the large scene: enough that its save takes a while.
constexpr int LargeScene = 60;
constexpr int Kills = 20;

// Starts the helper on a save of `frames` pictures to `path` and returns
// once it is about to save.
bool startSave(QProcess &process, const QString &path, int frames)
{
    process.start(QStringLiteral(KELVANE_SAVE_HELPER), {path, QString::number(frames)});
    if (!process.waitForStarted())
        return false;
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(60000))
            return false;
    }
    return process.readLine() == "saving\n";
}

// Runs a whole save; the exit code, -1 when the helper did not run through.
int save(const QString &path, int frames, qint64 *milliseconds = nullptr)
{
    QProcess process;
    if (!startSave(process, path, frames))
        return -1;
    QElapsedTimer clock;
    clock.start();
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    if (milliseconds)
        *milliseconds = clock.elapsed();
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
class TestAtomicSave : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedDuringTheSave();
};

void TestAtomicSave::killedDuringTheSave()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.filePath(QStringLiteral("walk.kl"));

    // The old file: a small scene, as far as this build can write one.
    const QString small = dir.filePath(QStringLiteral("small.kl"));
    const bool writes = save(small, 1) == 0;
    const QByteArray old = writes ? fileContents(small) : QByteArray("an old scene file, kept byte for byte");
    QVERIFY(!old.isEmpty());

    // How long a whole save of the large scene takes; the kills fall all
    // over that time, from the moment it begins to a little after it
    // should have ended.
    qint64 whole = 0;
    const QString reference = dir.filePath(QStringLiteral("reference.kl"));
    QCOMPARE(save(reference, LargeScene, &whole), writes ? 0 : 1);
    if (writes)
        QCOMPARE(framesOf(reference), LargeScene);

    int killedWhileSaving = 0;
    int keptOld = 0;
    for (int kill = 0; kill < Kills; ++kill) {
        QVERIFY(writeFileContents(target, old));
        QProcess process;
        QVERIFY(startSave(process, target, LargeScene));
        const int delay = int(whole * kill / (Kills - 4));
        if (!process.waitForFinished(delay)) {
            ++killedWhileSaving;
            process.kill();
            QVERIFY(process.waitForFinished());
        }

        const QByteArray now = fileContents(target);
        if (now == old) {
            ++keptOld;
            continue;
        }
        QVERIFY2(writes, "the file changed, yet this build cannot write scenes");
        QVERIFY2(framesOf(target) == LargeScene,
                 qPrintable(QStringLiteral("kill %1 after %2 ms left %3 bytes that are neither the old file "
                                           "nor the whole new one")
                                .arg(kill)
                                .arg(delay)
                                .arg(now.size())));
    }
    qInfo("%d of %d kills came during the save; %d left the old file", killedWhileSaving, Kills, keptOld);
    // Else the kills tested nothing.
    if (writes)
        QVERIFY(killedWhileSaving >= Kills / 2);
}

QTEST_MAIN(TestAtomicSave)

#include "tst_atomicsave.moc"
