// The record a run leaves when it does not end normally: its lock, as a kill
// leaves it, and the list of the backups it knew of, which the next run
// reads at its start, names to the user and holds. The list is a file on
// the disk, which a power cut may have cut short or anyone may have edited.

#include "fuzztarget.h"

#include "runrecords.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <QStandardPaths>

#include <functional>

namespace {

QDir runs()
{
    return QDir(RunRecords::folder());
}

// The files of a run, as they are while it works.
QMap<QString, QByteArray> whileRunning(const std::function<void(RunRecords &)> &work)
{
    // Never the records of the user's own runs.
    QStandardPaths::setTestModeEnabled(true);
    RunRecords run;
    work(run);
    QMap<QString, QByteArray> files;
    for (const QString &name : runs().entryList(QDir::Files))
        files.insert(name, TestSupport::fileContents(runs().filePath(name)));
    return files;
}

void removeRecords()
{
    for (const QString &name : runs().entryList(QDir::Files))
        QFile::remove(runs().filePath(name));
}

// The files of a run as a kill leaves them, under one id whatever the
// run's was, so that the seeds of every build are alike: the next run takes
// them.
void leaveAsKilled(const QMap<QString, QByteArray> &files)
{
    for (auto file = files.cbegin(); file != files.cend(); ++file)
        TestSupport::writeFileContents(
            runs().filePath(QStringLiteral("00000000-0000-0000-0000-000000000001.") + file.key().section(u'.', 1)),
            file.value());
}

QList<QByteArray> listsOf(const QMap<QString, QByteArray> &files)
{
    QList<QByteArray> lists;
    for (auto file = files.cbegin(); file != files.cend(); ++file) {
        if (file.key().endsWith(QLatin1String(".backups")))
            lists << file.value() << file.value().left(file.value().size() - 7);
    }
    return lists;
}

} // namespace

void Fuzz::testOneInput(const QByteArray &input)
{
    const QMap<QString, QByteArray> left = whileRunning([](RunRecords &) {});
    expect(left.size() == 2, "a run keeps a lock and its record");
    // "<id>.lock" after "<id>.backups".
    const QString lock = runs().filePath(left.lastKey());
    const QString list = lock.chopped(4) + QStringLiteral("backups");
    TestSupport::writeFileContents(lock, left.last());
    TestSupport::writeFileContents(list, input);

    {
        RunRecords next;
        expect(!QFileInfo::exists(lock) && !QFileInfo::exists(list), "the record is taken by the run that read it");
        const QList<RunRecords::Backup> lost = next.lostWork();
        const QSet<QString> held = next.held();
        for (const RunRecords::Backup &backup : lost) {
            expect(held.contains(backup.path), "lost work is held");
            expect(!next.mayReplace(backup.path), "no backup replaces lost work");
            next.opened(backup.path);
        }
        next.claim(QStringLiteral("/backups/walk_backup1.kl"), QString());
        next.claimWritten();
    }
    // What it passed on is not the next input's.
    removeRecords();
}

QList<QByteArray> Fuzz::seeds()
{
    // Backups of a scene never saved, then of one saved, in a ring that
    // goes round, one of a scene recovered from a backup, a slot claimed in
    // a folder that is not there and one claimed when the run ends, with
    // autosave off, changes kept nowhere and an export under way; then what
    // the next run makes of it when that one was killed (telling that the
    // backup away cannot be reached), and when it quit.
    QDir backups(QDir::temp().filePath(QStringLiteral("fuzz_runrecord")));
    backups.mkpath(QStringLiteral("."));
    const auto slot = [&backups](int index) {
        const QString path = backups.filePath(QStringLiteral("walk_backup%1.kl").arg(index));
        TestSupport::writeFileContents(path, "a backup");
        return path;
    };
    const QMap<QString, QByteArray> first = whileRunning([&slot](RunRecords &run) {
        int index = 0;
        for (const QString &scene : {QString(), QString(), QStringLiteral("/scenes/walk.kl"), QString()}) {
            run.claim(slot(index % 3 + 1), scene, index == 3 ? slot(1) : QString());
            run.claimWritten();
            ++index;
        }
        run.setAutosaveOff(true);
        run.setChanged(true);
        run.setExportFolder(QStringLiteral("/exports away/.walk.mp4.partial-0123abcd"), true);
        run.claim(QStringLiteral("/folder away/walk_backup1.kl"), QString());
        run.claimWritten();
        run.claim(slot(2), QString());
    });
    removeRecords();
    leaveAsKilled(first);
    const QMap<QString, QByteArray> second = whileRunning([&backups](RunRecords &run) {
        run.opened(backups.filePath(QStringLiteral("walk_backup1.kl")));
        run.toldUnreachable({QStringLiteral("/folder away/walk_backup1.kl")});
    });
    QMap<QString, QByteArray> third;
    for (const QString &name : runs().entryList(QDir::Files))
        third.insert(name, TestSupport::fileContents(runs().filePath(name)));
    removeRecords();
    backups.removeRecursively();
    return listsOf(first) + listsOf(second) + listsOf(third);
}
