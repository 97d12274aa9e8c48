#include "autosavemanager.h"
#include "mainwindowtesthelpers.h"
#include "runrecords.h"

#include "export/exportfolder.h"
#include "settings/settings.h"
#include "support/filesizelimit.h"
#include "support/testfiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QMap>
#include <QProcess>
#include <QSaveFile>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <map>
#include <optional>

namespace {

constexpr int Minute = 60000;

// A manager on a clock the test moves by hand. Its timers are real but the
// event loop never runs, so none fires: the test reads how they were set.
struct Rig
{
    Rig() { manager.setClock([this] { return now; }); }

    QTimer *autosaveTimer() const { return manager.findChild<QTimer *>(QStringLiteral("autosaveTimer")); }
    QTimer *retryTimer() const { return manager.findChild<QTimer *>(QStringLiteral("retryTimer")); }

    AutosaveManager manager;
    qint64 now = 1'000'000'000;
};

void setPreferences(bool enabled, int minutes, int files)
{
    Model::Settings *settings = Model::Settings::instance();
    settings->setAutoSaveIntervalMins(minutes);
    settings->setAutoSaveNumFiles(files);
    settings->setAutoSaveEnabled(enabled);
}

} // namespace

// The autosave timing and the ring of backups, on a clock of the test's own.
class TestAutosaveManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void ringOfBackups_data();
    void ringOfBackups();
    void changesAndReset();
    void postponeAndWrite();
    void intervalChangeCountsFromTheStart_data();
    void intervalChangeCountsFromTheStart();
    void preferencesDriveTheTimers();
    void damagedPreferences();
};

void TestAutosaveManager::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kelvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Kelvane"));
    QStandardPaths::setTestModeEnabled(true);
    QSettings().clear();
}

void TestAutosaveManager::init()
{
    // No run before: their lost work, in folders gone, would be held.
    QDir(RunRecords::folder()).removeRecursively();
    setPreferences(false, 15, 3);
}

void TestAutosaveManager::ringOfBackups_data()
{
    QTest::addColumn<int>("ring");
    QTest::addColumn<int>("lowerTo");
    // What came before this run: "file 2" a file in slot 2 that no run
    // names; "A1" run A writes its first backup, which holds "A1", starting
    // A if it is not running; "A2 unrecorded" A writes it and is killed
    // before it can note so, "A2 unrecorded behind" with the disk's clock
    // behind the program's; "A1 B1 at once" A and B read the held slots,
    // then each claims slot 1, free by what it read, writes it if the claim
    // is its own, and both are killed; "B starts"; "B opens A2"; "B fails A2"
    // B cannot open it; "C recovers A1" C opens it and saves it elsewhere;
    // "A saves" the user saves A's scene, walk.kl, whose work its backups hold
    // no more of, and A's next backups are of that file; "A killed"; "A quit";
    // "no record" this run cannot keep one;
    // "stray record" a record without a run that names walk.kl and a backup
    // in a folder backups do not go to, beside what a kill left of a record
    // being rewritten; "touch" walk.kl written anew; "away", "back" the
    // folder renamed; "B1 unrecorded alike" as large and as old as the file
    // it replaces; "lock held" by another process, killed after "B1 locked out";
    // "A1 as saved" holding the bytes of the file A saved; "A exports" into
    // the other folder, where a kill leaves the export's folder.
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("names"); // this run's backups
    QTest::addColumn<QStringList>("told"); // the work the notice at the start names, the newest last
    const auto names = [](std::initializer_list<int> indexes) {
        QStringList list;
        for (const int index : indexes)
            list << QStringLiteral("walk_backup%1.kl").arg(index);
        return list;
    };
    // Runs one after another, each writing `backups` backups and ending so.
    const auto runsThat = [](const QString &ended, int count, int backups, QStringList &works) {
        QStringList steps;
        for (int i = 0; i < count; ++i) {
            const QChar run = QStringLiteral("BCDEFGHIJKLMNOPQRSTUVWXYZbcdefg").at(i);
            for (int backup = 1; backup <= backups; ++backup)
                steps << (works << run + QString::number(backup)).last();
            steps << run + u' ' + ended;
        }
        return steps;
    };
    using L = QStringList;
    // The fourth backup of a ring of three overwrites the first.
    QTest::newRow("ring of 3") << 3 << 0 << L() << names({1, 2, 3, 1, 2}) << L();
    QTest::newRow("only 1") << 1 << 0 << L() << names({1, 1, 1}) << L();
    QTest::newRow("cycle through 9") << 9 << 0 << L() << names({1, 2, 3, 4, 5, 6, 7, 8, 9, 1}) << L();
    // Three backups written in a ring of 5, then the ring shrinks to 2: the
    // next index, 4, is past its end and starts again at 1.
    QTest::newRow("5 lowered to 2") << 5 << 2 << L() << names({1, 2, 3, 1, 2, 1}) << L();
    // A file that no run knows of may be anyone's, the user's own: no
    // backup replaces it, and the ring goes past it.
    QTest::newRow("after a crash") << 3 << 0 << L{"file 1"} << names({2, 3, 4}) << L();
    QTest::newRow("after a crash, the ring gone round")
        << 3 << 0 << L{"file 2", "file 3", "file 1"} << names({4, 5, 6}) << L();
    // A run that quit passes on the backups it wrote: the ring goes on
    // after the newest.
    QTest::newRow("quit after two backups") << 3 << 0 << L{"A1", "A2", "A quit"} << names({3, 1, 2, 3, 1}) << L();
    // Unsaved work is held, whatever the ring: the backups go past its end.
    QTest::newRow("killed after two backups")
        << 3 << 0 << L{"A1", "A2", "A killed"} << names({3, 4, 5, 3, 4}) << L{"A1", "A2"};
    QTest::newRow("killed, ring of 1") << 1 << 0 << L{"A1", "A killed"} << names({2, 2}) << L{"A1"};
    QTest::newRow("two crashes in a row") << 3 << 0 << L{"A1", "A2", "A killed", "B1", "B killed"}
                                          << names({4, 5, 6, 4, 5}) << L{"A1", "A2", "B1"};
    QTest::newRow("told, then quit") << 3 << 0 << L{"A1", "A2", "A killed", "B1", "B quit"}
                                     << names({4, 5, 3, 4, 5}) << L{"A1", "A2"};
    QTest::newRow("killed at start") << 3 << 0 << L{"A1", "A2", "A killed", "B starts", "B killed"}
                                     << names({3, 4, 5, 3, 4}) << L{"A1", "A2"};
    QTest::newRow("saved, then killed") << 3 << 0 << L{"A1", "A2", "A saves", "A killed"} << names({3, 1, 2}) << L();
    QTest::newRow("killed, then a backup opened") << 3 << 0 << L{"A1", "A2", "A killed", "B opens A2", "B quit"}
                                                  << names({3, 4, 2, 3, 4}) << L{"A1"};
    // A still runs beside this run: its slots are held as well as B's.
    QTest::newRow("two instances at once") << 3 << 0 << L{"A1", "B1", "A2", "B2", "B killed"}
                                           << names({5, 6, 7, 5, 6}) << L{"B1", "B2"};
    QTest::newRow("killed between a backup and its note")
        << 3 << 0 << L{"A1", "A2 unrecorded", "A killed"} << names({3, 4, 5, 3, 4}) << L{"A1", "A2"};
    QTest::newRow("killed between a backup and its note, the disk's clock behind")
        << 3 << 0 << L{"A1", "A2 unrecorded behind", "A killed"} << names({3, 4, 5, 3, 4}) << L{"A1", "A2"};
    // B claims no slot that A claimed, whatever B read before.
    QTest::newRow("two runs claim one slot") << 3 << 0 << L{"A1 B1 at once"} << names({2, 3, 4, 2, 3}) << L{"A1"};
    // Saving walk.kl does not make A's backup of it any less A's work.
    QTest::newRow("killed with a newer backup, its file saved since")
        << 3 << 0 << L{"A saves", "A1", "A killed", "B starts", "B saves", "B quit"} << names({2, 3, 4, 2, 3})
        << L{"A1"};
    // Saved in the second window while the first held it: named no more.
    QTest::newRow("two windows, recovered in one")
        << 3 << 0 << L{"A1", "A2", "A killed", "B starts", "C starts", "C recovers A1", "B quit", "C quit"}
        << names({3, 4, 1, 3, 4}) << L{"A2"};
    QTest::newRow("a crash backup after another run saved its scene")
        << 3 << 0 << L{"A saves", "A1", "B saves", "A killed"} << names({2, 3, 4, 2, 3}) << L{"A1"};
    QTest::newRow("a crash backup after its scene file was touched")
        << 3 << 0 << L{"A saves", "A1", "A killed", "touch"} << names({2, 3, 4, 2, 3}) << L{"A1"};
    QTest::newRow("recovered twice, then saved")
        << 3 << 0 << L{"A1", "A killed", "B opens A1", "B1", "B killed", "C recovers B1", "C quit"}
        << names({3, 1, 2, 3, 1}) << L();
    QTest::newRow("a crash, its folder away at the start") << 3 << 0 << L{"A1", "A2", "A killed", "away"}
                                                           << names({3, 4, 5, 3, 4}) << L{"A1", "A2"};
    QTest::newRow("a crash, its folder away at one start and back at the next")
        << 3 << 0 << L{"A1", "A2", "A killed", "away", "B starts", "B quit", "back"} << names({3, 4, 5, 3, 4})
        << L{"A1", "A2"};
    QTest::newRow("killed between a backup and its note, its folder away at one start")
        << 3 << 0 << L{"A1", "A2 unrecorded", "A killed", "away", "B starts", "B quit", "back"}
        << names({3, 4, 5, 3, 4}) << L{"A1", "A2"};
    QTest::newRow("killed between a backup and its note, the file alike")
        << 3 << 0 << L{"A1", "A2", "A3", "A quit", "B1 unrecorded alike", "B killed"} << names({4, 2, 3, 4, 2})
        << L{"B1"};
    QTest::newRow("two processes, one holding the lock")
        << 3 << 0 << L{"A starts", "lock held", "A1 locked out", "A1", "A killed"} << names({2, 3, 4, 2, 3}) << L{"A1"};
    QTest::newRow("killed during an export") << 3 << 0 << L{"A exports", "A killed"} << names({1, 2, 3, 1, 2}) << L();
    // Its file holds all it holds: no work of anyone's.
    QTest::newRow("a crash backup alike its saved file")
        << 3 << 0 << L{"A saves", "A1 as saved", "A killed"} << names({2, 3, 1, 2, 3}) << L();
    // Neither A's work nor B's, who is still at work, is written over.
    QTest::newRow("no record of its own") << 3 << 0 << L{"A1", "A2", "A killed", "B1", "no record"}
                                          << names({4, 5, 6, 4, 5}) << L();
    // B, who took A's work, has named it; none has, so this run does.
    QTest::newRow("no record of its own, after a crash")
        << 3 << 0 << L{"A1", "A2", "A killed", "no record"} << names({3, 4, 5, 3, 4}) << L{"A1", "A2"};
    // Named with why, until the file is removed.
    QTest::newRow("a backup that cannot be opened") << 3 << 0 << L{"A1", "A2", "A killed", "B fails A2", "B quit"}
                                                    << names({3, 4, 5, 3, 4}) << L{"A1", "A2"};
    QTest::newRow("a stray record") << 3 << 0 << L{"stray record", "A1", "A killed"} << names({2, 3, 4, 2, 3})
                                    << L{"elsewhere", "A1"};
    L works;
    QTest::newRow("a held slot, then runs that quit")
        << 3 << 0 << L{"A1", "A killed"} + runsThat(QStringLiteral("quit"), 12, 3, works) << names({2, 3, 4, 2, 3})
        << L{"A1"};
    works.clear();
    QTest::newRow("many crashes") << 3 << 0 << runsThat(QStringLiteral("killed"), 30, 3, works)
                                  << names({91, 92, 93, 91}) << works;
}

void TestAutosaveManager::ringOfBackups()
{
    QFETCH(int, ring);
    QFETCH(int, lowerTo);
    QFETCH(QStringList, before);
    QFETCH(QStringList, names);
    QFETCH(QStringList, told);
    QTemporaryDir folder;
    QTemporaryDir elsewhere;
    const QString walk = QStringLiteral("walk");
    // Where each piece of work went, each written a minute after the last;
    // and what each run wrote where.
    QMap<QString, QString> work;
    struct Written
    {
        QString path;
        QString run;
        QString what;
    };
    QList<Written> holds;
    qint64 minute = 0;
    // A new file in the old one's place, as the program writes.
    const auto write = [&](const QString &path, const QString &what, const QString &run, bool now, bool alike = false) {
        const QDateTime replaced = QFileInfo(path).lastModified();
        QSaveFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(what.toUtf8()) == what.size() && file.commit());
        QFile written(path);
        if (!now)
            QVERIFY(written.open(QIODevice::Append)
                    && written.setFileTime(alike ? replaced : QDateTime::fromSecsSinceEpoch(60 * ++minute),
                                           QFileDevice::FileModificationTime));
        work.insert(what, path);
        holds.removeIf([&](const Written &old) { return old.path == path && old.run == run; });
        holds.append({path, run, what});
    };
    std::map<QString, std::unique_ptr<AutosaveManager>> runs;
    QSet<QString> ended;
    QSet<QString> titled;
    QMap<QString, QString> recoveredFrom;
    QProcess holder;
    const QString walkFile = folder.filePath(QStringLiteral("walk.kl"));
    bool noRecord = false;
    for (const QString &step : std::as_const(before)) {
        const QStringList words = step.split(u' ');
        if (words.first() == QLatin1String("file")) {
            write(folder.filePath(QStringLiteral("walk_backup%1.kl").arg(words.last())), step, QString(), false);
            continue;
        }
        const QString away = folder.path() + QStringLiteral("-away");
        if (step == QLatin1String("touch") || step == QLatin1String("away") || step == QLatin1String("back")) {
            if (step == QLatin1String("touch"))
                write(walkFile, QStringLiteral("the user's walk"), QString(), true);
            QVERIFY(step != QLatin1String("away") || QDir().rename(folder.path(), away));
            QVERIFY(step != QLatin1String("back") || QDir().rename(away, folder.path()));
            continue;
        }
        if (step == QLatin1String("lock held")) {
            const QString lock = QDir(RunRecords::folder()).filePath(QStringLiteral("claiming.lck"));
            holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold"), lock});
            QTRY_VERIFY(QFileInfo::exists(lock));
            continue;
        }
        noRecord = noRecord || step == QLatin1String("no record");
        if (noRecord)
            continue;
        if (step == QLatin1String("stray record")) {
            write(folder.filePath(QStringLiteral("walk.kl")), QStringLiteral("the user's walk"), step, false);
            write(elsewhere.filePath(QStringLiteral("walk_backup1.kl")), QStringLiteral("elsewhere"), step, false);
            const QDir records(RunRecords::folder());
            QVERIFY(records.mkpath(QStringLiteral(".")));
            QVERIFY(TestSupport::writeFileContents(
                records.filePath(QStringLiteral("stray.backups")),
                QStringLiteral("[\"%1\",\"\"]\n[\"%2\",\"\"]\n")
                    .arg(work.value(QStringLiteral("the user's walk")), work.value(QStringLiteral("elsewhere")))
                    .toUtf8()));
            QVERIFY(TestSupport::writeFileContents(records.filePath(QStringLiteral("stray.backups.aB3dE6")), "["));
            continue;
        }
        if (step.endsWith(QLatin1String(" at once"))) {
            std::unique_ptr<RunRecords> both[] = {std::make_unique<RunRecords>(), std::make_unique<RunRecords>()};
            const QString slot = folder.filePath(QStringLiteral("walk_backup1.kl"));
            QVERIFY(!both[0]->held().contains(slot) && !both[1]->held().contains(slot));
            for (int i = 0; i < 2; ++i) {
                if (both[i]->claim(slot, QString()) == RunRecords::Claimed::Yes) {
                    write(slot, words.at(i), words.at(i).left(1), false);
                    both[i]->claimWritten();
                }
            }
            for (std::unique_ptr<RunRecords> &run : both)
                MainWindowTest::endAsIfKilled(std::move(run));
            continue;
        }
        std::unique_ptr<AutosaveManager> &run = runs[step.left(1)];
        if (!run)
            run = std::make_unique<AutosaveManager>();
        if (words.last() == QLatin1String("killed")) {
            MainWindowTest::endAsIfKilled(std::move(run));
        } else if (words.last() == QLatin1String("quit")) {
            run.reset();
            ended << step.left(1);
        } else if (words.value(1) == QLatin1String("opens") || words.value(1) == QLatin1String("recovers")) {
            run->fileOpened(work.value(words.last()));
            if (words.value(1) == QLatin1String("recovers"))
                run->fileSaved(elsewhere.filePath(QStringLiteral("walk.kl")), work.value(words.last()));
            for (QString what = words.last(); !what.isEmpty(); what = recoveredFrom.value(what))
                ended << work.value(what);
            recoveredFrom.insert(step.left(1), words.last());
        } else if (words.value(1) == QLatin1String("saves")) {
            write(walkFile, QStringLiteral("the user's walk"), QString(), false);
            run->fileSaved(walkFile);
            for (const Written &written : std::as_const(holds))
                if (written.run == step.left(1))
                    ended << written.path;
            titled << step.left(1);
        } else if (words.value(1) == QLatin1String("exports")) {
            // Left as a kill leaves it: never discarded.
            QVERIFY((new Model::ExportFolder(elsewhere.path(), Model::ExportFolder::AddFiles))->open());
        } else if (words.value(1) == QLatin1String("fails")) {
            run->openFailed(work.value(words.last()), QStringLiteral("damaged"));
        } else if (words.value(1) == QLatin1String("locked")) {
            QCOMPARE(run->backupPath(folder.path(), walk), QString());
            holder.kill();
            QVERIFY(holder.waitForFinished());
        } else if (words.size() == 1 || words.value(1) == QLatin1String("unrecorded")
                   || words.value(1) == QLatin1String("as")) {
            // A scene recovered from a backup is backed up as such.
            const QString from = recoveredFrom.value(step.left(1));
            recoveredFrom.insert(words.first(), from);
            write(run->backupPath(folder.path(), walk, titled.contains(step.left(1)) ? walkFile : QString(),
                                  work.value(from)),
                  words.value(1) == QLatin1String("as") ? QStringLiteral("the user's walk") : words.first(), step.left(1),
                  words.size() == 2, words.value(2) == QLatin1String("alike"));
            if (words.value(1) == QLatin1String("as"))
                ended << holds.last().path;
            if (words.value(1) != QLatin1String("unrecorded"))
                run->backupWritten();
        }
        if (QTest::currentTestFailed())
            return;
    }

    // Writing nothing, it cannot take its lock.
    std::optional<TestSupport::FileSizeLimit> full;
    if (noRecord)
        full.emplace(0);
    Rig rig;
    full.reset();
    const bool away = !QFileInfo::exists(folder.path());
    QCOMPARE(rig.manager.recordTrouble().isEmpty(), !noRecord);
    QCOMPARE(QDir(RunRecords::folder()).entryList({QStringLiteral("*.backups.*")}), QStringList());
    QCOMPARE(QDir(elsewhere.path()).entryList({QStringLiteral("*.partial-*")}, QDir::Dirs | QDir::Hidden), QStringList());
    rig.manager.setMaxBackups(ring);
    // The newest few, and how many more.
    const QString notice = rig.manager.lostWorkNotice();
    const QStringList listed = told.mid(std::max<qsizetype>(0, told.size() - 10));
    for (const QString &what : listed)
        QVERIFY2(notice.contains(QDir::toNativeSeparators(work.value(what))), qPrintable(notice));
    QCOMPARE(notice.count(QStringLiteral("walk_backup")), listed.size());
    if (told.size() > listed.size())
        QVERIFY2(notice.contains(QStringLiteral("…and %1 more in %2.")
                                     .arg(told.size() - listed.size())
                                     .arg(QDir::toNativeSeparators(folder.path()))),
                 qPrintable(notice));
    QVERIFY2(!notice.contains(QStringLiteral("walk.kl")), qPrintable(notice));
    QCOMPARE(notice.count(QStringLiteral("cannot be reached now")), away ? told.size() : 0);
    if (before.contains(QStringLiteral("B fails A2")))
        QVERIFY2(notice.contains(QStringLiteral(") cannot be opened: damaged.\n"))
                     && notice.contains(QStringLiteral("named here at every start until its file is removed")),
                 qPrintable(notice));
    // What it names stays: no backup replaces it.
    QVERIFY2(!notice.contains(QStringLiteral("will replace")), qPrintable(notice));
    QVERIFY(!away || QDir().rename(folder.path() + QStringLiteral("-away"), folder.path()));
    QStringList written;
    for (int i = 0; i < names.size(); ++i) {
        if (lowerTo && i == 3)
            rig.manager.setMaxBackups(lowerTo);
        const QString path = rig.manager.backupPath(folder.path(), walk);
        write(path, QStringLiteral("this run's %1").arg(i + 1), QString(), false);
        rig.manager.backupWritten();
        written << QFileInfo(path).fileName();
    }
    QCOMPARE(written, names);
    // The work of every run that did not quit, but what was opened, is
    // where it was; with the ring, and at most one ring more.
    qsizetype kept = 0;
    for (const Written &file : std::as_const(holds)) {
        if (!file.run.isEmpty() && !ended.contains(file.run) && !ended.contains(file.path)) {
            QCOMPARE(TestSupport::fileContents(file.path), file.what.toUtf8());
            ++kept;
        }
    }
    QVERIFY(QDir(folder.path()).entryList(QDir::Files).size() <= kept + 2 * ring);
    // Work never opened would be passed on to the next start.
    QVERIFY(folder.remove());
}

void TestAutosaveManager::changesAndReset()
{
    Rig rig;
    QTemporaryDir folder;
    const auto next = [&] {
        return QFileInfo(rig.manager.nextBackupPath(folder.path(), QStringLiteral("walk"))).fileName();
    };
    QVERIFY(!rig.manager.hasChangesToBackUp());
    rig.manager.markSceneChanged();
    QVERIFY(rig.manager.hasChangesToBackUp());
    rig.manager.backupPath(folder.path(), QStringLiteral("walk"));
    rig.manager.backupWritten();
    QVERIFY(!rig.manager.hasChangesToBackUp());
    QCOMPARE(next(), QStringLiteral("walk_backup2.kl"));

    // A reset of a stopped manager starts nothing.
    rig.autosaveTimer()->stop();
    rig.manager.markSceneChanged();
    rig.manager.reset();
    QVERIFY(!rig.manager.hasChangesToBackUp());
    // The ring starts again: at its first slot, the folder holding none.
    QCOMPARE(next(), QStringLiteral("walk_backup1.kl"));
    QVERIFY(!rig.autosaveTimer()->isActive());

    // A running one waits a full interval again.
    rig.manager.start();
    rig.now += 10 * Minute;
    rig.manager.reset();
    QVERIFY(rig.autosaveTimer()->isActive());
    QCOMPARE(rig.autosaveTimer()->interval(), 15 * Minute);
}

void TestAutosaveManager::postponeAndWrite()
{
    Rig rig;
    QVERIFY(!rig.autosaveTimer()->isActive());
    QVERIFY(!rig.retryTimer()->isActive());

    rig.manager.postpone();
    QVERIFY(rig.retryTimer()->isActive());
    QCOMPARE(rig.retryTimer()->interval(), 1000);
    QVERIFY(!rig.autosaveTimer()->isActive());

    // A written backup stops the polling and waits a whole interval.
    QTemporaryDir folder;
    rig.manager.markSceneChanged();
    rig.manager.backupPath(folder.path(), QStringLiteral("walk"));
    rig.manager.backupWritten();
    QVERIFY(!rig.retryTimer()->isActive());
    QVERIFY(rig.autosaveTimer()->isActive());
    QCOMPARE(rig.autosaveTimer()->interval(), 15 * Minute);

    // A failed backup moves the ring on and leaves the changes waiting.
    rig.manager.markSceneChanged();
    rig.manager.backupPath(folder.path(), QStringLiteral("walk"));
    rig.manager.backupFailed();
    QCOMPARE(QFileInfo(rig.manager.nextBackupPath(folder.path(), QStringLiteral("walk"))).fileName(),
             QStringLiteral("walk_backup3.kl"));
    QVERIFY(rig.manager.hasChangesToBackUp());

    // The timers' expiries are the manager's two signals.
    QSignalSpy due(&rig.manager, &AutosaveManager::autosaveTimeout);
    QSignalSpy reminded(&rig.manager, &AutosaveManager::autosaveReminderTimeout);
    QVERIFY(QMetaObject::invokeMethod(rig.autosaveTimer(), "timeout"));
    QVERIFY(QMetaObject::invokeMethod(rig.retryTimer(), "timeout"));
    QCOMPARE(due.size(), 1);
    QCOMPARE(reminded.size(), 1);
}

void TestAutosaveManager::intervalChangeCountsFromTheStart_data()
{
    QTest::addColumn<int>("elapsedMinutes");
    QTest::addColumn<int>("newMinutes");
    QTest::addColumn<int>("expected");
    // From 15 minutes to 5: the next backup comes 5 minutes after the wait
    // began, so 2 minutes after 3 have passed...
    QTest::newRow("3 of 15 gone, now 5") << 3 << 5 << 2 * Minute;
    // ...and a wait already longer than the new interval starts anew.
    QTest::newRow("12 of 15 gone, now 5") << 12 << 5 << 5 * Minute;
    QTest::newRow("8 of 15 gone, now 5") << 8 << 5 << 5 * Minute;
    QTest::newRow("10 of 15 gone, now 60") << 10 << 60 << 50 * Minute;
    QTest::newRow("just started, now 30") << 0 << 30 << 30 * Minute;
}

void TestAutosaveManager::intervalChangeCountsFromTheStart()
{
    QFETCH(int, elapsedMinutes);
    QFETCH(int, newMinutes);
    QFETCH(int, expected);
    Rig rig;
    rig.manager.start();
    rig.now += qint64(elapsedMinutes) * Minute;
    rig.manager.setIntervalMinutes(newMinutes);
    QCOMPARE(rig.manager.intervalMinutes(), newMinutes);
    QVERIFY(rig.autosaveTimer()->isActive());
    QCOMPARE(rig.autosaveTimer()->interval(), expected);

    // A second change still counts from where the wait began, which a
    // wait started anew has moved to now.
    const int waited = elapsedMinutes < newMinutes ? elapsedMinutes : 0;
    rig.manager.setIntervalMinutes(newMinutes + 100);
    QCOMPARE(rig.autosaveTimer()->interval(), (newMinutes + 100 - waited) * Minute);

    // A stopped timer stays stopped.
    rig.autosaveTimer()->stop();
    rig.manager.setIntervalMinutes(15);
    QVERIFY(!rig.autosaveTimer()->isActive());
}

void TestAutosaveManager::preferencesDriveTheTimers()
{
    Rig rig;
    QVERIFY(!rig.autosaveTimer()->isActive());

    // Enabling waits a full interval; a new interval restarts it in full.
    setPreferences(true, 15, 3);
    QVERIFY(rig.autosaveTimer()->isActive());
    QCOMPARE(rig.autosaveTimer()->interval(), 15 * Minute);
    rig.now += 3 * Minute;
    Model::Settings::instance()->setAutoSaveIntervalMins(5);
    QCOMPARE(rig.autosaveTimer()->interval(), 5 * Minute);
    Model::Settings::instance()->setAutoSaveNumFiles(9);
    QCOMPARE(rig.manager.maxBackups(), 9);

    // Disabling stops both timers.
    rig.manager.postpone();
    Model::Settings::instance()->setAutoSaveEnabled(false);
    QVERIFY(!rig.autosaveTimer()->isActive());
    QVERIFY(!rig.retryTimer()->isActive());
}

void TestAutosaveManager::damagedPreferences()
{
    // A damaged store may hold any number: the timer neither spins nor
    // overflows, and the ring keeps at least one file.
    Rig rig;
    setPreferences(true, 0, 0);
    QCOMPARE(rig.autosaveTimer()->interval(), Minute);
    QTemporaryDir folder;
    QCOMPARE(QFileInfo(rig.manager.backupPath(folder.path(), QStringLiteral("a"))).fileName(),
             QStringLiteral("a_backup1.kl"));
    rig.manager.backupWritten();
    QCOMPARE(QFileInfo(rig.manager.nextBackupPath(folder.path(), QStringLiteral("a"))).fileName(),
             QStringLiteral("a_backup1.kl"));
    Model::Settings::instance()->setAutoSaveIntervalMins(1'000'000);
    QCOMPARE(rig.autosaveTimer()->interval(), 24 * 60 * Minute);
    Model::Settings::instance()->setAutoSaveIntervalMins(-5);
    QCOMPARE(rig.autosaveTimer()->interval(), Minute);
    Model::Settings::instance()->setAutoSaveNumFiles(1'000'000'000);
    QCOMPARE(rig.manager.maxBackups(), 99);
}

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    // The other process of a row: it holds the lock, as a run holds the
    // claiming lock while it claims, until it is killed.
    if (argc == 3 && qstrcmp(argv[1], "--hold") == 0) {
        QLockFile lock(QString::fromLocal8Bit(argv[2]));
        if (lock.lock())
            QThread::sleep(600);
        return 1;
    }
    TestAutosaveManager test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_autosavemanager.moc"
