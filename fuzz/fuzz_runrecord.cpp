// The record a run leaves when it does not end normally: its lock, as a kill
// leaves it, and the list of the backups it wrote, which the next run reads
// at its start and names to the user. The list is a file on the disk,
// which a power cut may have cut short or anyone may have edited.

#include "fuzztarget.h"

#include "autosavemanager.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QStandardPaths>

#include <functional>

namespace {

QDir runs()
{
    return QDir(AutosaveManager::runRecordFolder());
}

// The files of a run, as they are while it works.
QMap<QString, QByteArray> whileRunning(const std::function<void(AutosaveManager &)> &work)
{
    // Never the records of the user's own runs.
    QStandardPaths::setTestModeEnabled(true);
    AutosaveManager run;
    work(run);
    QMap<QString, QByteArray> files;
    for (const QString &name : runs().entryList(QDir::Files))
        files.insert(name, TestSupport::fileContents(runs().filePath(name)));
    return files;
}

} // namespace

void Fuzz::testOneInput(const QByteArray &input)
{
    const QMap<QString, QByteArray> left = whileRunning([](AutosaveManager &) {});
    expect(left.size() == 1, "a run keeps a lock");
    const QString lock = runs().filePath(left.firstKey());
    const QString list = lock.chopped(4) + QStringLiteral("backups");
    TestSupport::writeFileContents(lock, left.first());
    TestSupport::writeFileContents(list, input);

    {
        AutosaveManager next;
        next.lostWorkNotice();
        expect(!QFileInfo::exists(lock) && !QFileInfo::exists(list), "the record is taken by the run that read it");
        next.backupPath(QStringLiteral("/backups"), QStringLiteral("walk"));
    }
    // What it passed on is not the next input's.
    for (const QString &name : runs().entryList(QDir::Files))
        QFile::remove(runs().filePath(name));
}

QList<QByteArray> Fuzz::seeds()
{
    // Backups of a scene never saved, then of one saved, in a ring that
    // goes round.
    const QMap<QString, QByteArray> files = whileRunning([](AutosaveManager &run) {
        for (const QString &scene : {QString(), QString(), QStringLiteral("/scenes/walk.kl"), QString()}) {
            run.backupPath(QStringLiteral("/backups"), QStringLiteral("walk"));
            run.backupWritten(scene);
        }
    });
    QList<QByteArray> seeds;
    for (auto file = files.cbegin(); file != files.cend(); ++file) {
        if (file.key().endsWith(QLatin1String(".backups")))
            seeds << file.value() << file.value().left(file.value().size() - 7);
    }
    return seeds;
}
