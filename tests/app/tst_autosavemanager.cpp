#include "autosavemanager.h"

#include "settings/settings.h"
#include "support/testfiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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
    setPreferences(false, 15, 3);
}

void TestAutosaveManager::ringOfBackups_data()
{
    QTest::addColumn<int>("ring");
    QTest::addColumn<int>("lowerTo");
    QTest::addColumn<QList<int>>("earlier"); // backups an earlier run left, oldest first
    QTest::addColumn<QString>("ended"); // how that run ended: "quit", "killed", or unknown
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("told"); // the earlier backups the notice at the start names
    const auto names = [](std::initializer_list<int> indexes) {
        QStringList list;
        for (const int index : indexes)
            list << QStringLiteral("walk_backup%1.kl").arg(index);
        return list;
    };
    // The fourth backup of a ring of three overwrites the first.
    QTest::newRow("ring of 3") << 3 << 0 << QList<int>() << "" << names({1, 2, 3, 1, 2}) << QList<int>();
    QTest::newRow("only 1") << 1 << 0 << QList<int>() << "" << names({1, 1, 1}) << QList<int>();
    QTest::newRow("cycle through 9") << 9 << 0 << QList<int>() << "" << names({1, 2, 3, 4, 5, 6, 7, 8, 9, 1})
                                     << QList<int>();
    // Three backups written in a ring of 5, then the ring shrinks to 2: the
    // next index, 4, is past its end and starts again at 1.
    QTest::newRow("5 lowered to 2") << 5 << 2 << QList<int>() << "" << names({1, 2, 3, 1, 2, 1}) << QList<int>();
    // The newest backup an earlier run left stays while the ring has
    // another slot.
    QTest::newRow("after a crash") << 3 << 0 << QList<int>{1} << "" << names({2, 3, 2}) << QList<int>();
    QTest::newRow("after a crash, the ring gone round")
        << 3 << 0 << QList<int>{2, 3, 1} << "" << names({2, 3, 2}) << QList<int>();
    QTest::newRow("killed after two backups")
        << 3 << 0 << QList<int>{1, 2} << "killed" << names({3, 1, 3, 1, 3}) << QList<int>{1, 2};
    QTest::newRow("quit after two backups")
        << 3 << 0 << QList<int>{1, 2} << "quit" << names({3, 1, 3, 1, 3}) << QList<int>();
    QTest::newRow("killed, ring of 1") << 1 << 0 << QList<int>{1} << "killed" << names({1, 1}) << QList<int>{1};
}

void TestAutosaveManager::ringOfBackups()
{
    QFETCH(int, ring);
    QFETCH(int, lowerTo);
    QFETCH(QList<int>, earlier);
    QFETCH(QString, ended);
    QFETCH(QStringList, names);
    QFETCH(QList<int>, told);
    QTemporaryDir folder;
    const QDir runs(AutosaveManager::runRecordFolder());
    const QStringList others = runs.entryList(QDir::Files);
    auto run = ended.isEmpty() ? nullptr : std::make_unique<AutosaveManager>();
    for (qsizetype i = 0; i < earlier.size(); ++i) {
        QFile file(run ? run->backupPath(folder.path(), QStringLiteral("walk"))
                       : folder.filePath(QStringLiteral("walk_backup%1.kl").arg(earlier.at(i))));
        QVERIFY(file.open(QIODevice::WriteOnly)
                && file.setFileTime(QDateTime::fromSecsSinceEpoch(60 * (i + 1)), QFileDevice::FileModificationTime));
        if (run)
            run->backupWritten();
    }
    // A run killed leaves its files as they were while it ran.
    QMap<QString, QByteArray> left;
    for (const QString &name : runs.entryList(QDir::Files))
        if (ended == QLatin1String("killed") && !others.contains(name))
            left.insert(name, TestSupport::fileContents(runs.filePath(name)));
    run.reset();
    for (auto file = left.cbegin(); file != left.cend(); ++file)
        QVERIFY(TestSupport::writeFileContents(runs.filePath(file.key()), file.value()));

    Rig rig;
    rig.manager.setMaxBackups(ring);
    const QString notice = rig.manager.lostWorkNotice();
    for (const int index : told) {
        const QString backup = folder.filePath(QStringLiteral("walk_backup%1.kl").arg(index));
        QVERIFY2(notice.contains(QDir::toNativeSeparators(backup)), qPrintable(notice));
    }
    QCOMPARE(notice.count(QStringLiteral("walk_backup")), told.size());
    QCOMPARE(notice.contains(QStringLiteral("will replace it")), ring == 1 && !told.isEmpty());
    QStringList written;
    for (int i = 0; i < names.size(); ++i) {
        if (lowerTo && i == 3)
            rig.manager.setMaxBackups(lowerTo);
        written << QFileInfo(rig.manager.backupPath(folder.path(), QStringLiteral("walk"))).fileName();
        rig.manager.backupWritten();
    }
    QCOMPARE(written, names);
}

void TestAutosaveManager::changesAndReset()
{
    Rig rig;
    QVERIFY(!rig.manager.hasChangesToBackUp());
    rig.manager.markSceneChanged();
    QVERIFY(rig.manager.hasChangesToBackUp());
    rig.manager.backupWritten();
    QVERIFY(!rig.manager.hasChangesToBackUp());
    QCOMPARE(rig.manager.nextBackupIndex(), 2);

    // A reset of a stopped manager starts nothing.
    rig.autosaveTimer()->stop();
    rig.manager.markSceneChanged();
    rig.manager.reset();
    QVERIFY(!rig.manager.hasChangesToBackUp());
    QCOMPARE(rig.manager.nextBackupIndex(), 1);
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
    rig.manager.markSceneChanged();
    rig.manager.backupWritten();
    QVERIFY(!rig.retryTimer()->isActive());
    QVERIFY(rig.autosaveTimer()->isActive());
    QCOMPARE(rig.autosaveTimer()->interval(), 15 * Minute);

    // A skipped slot moves the ring on and leaves the changes waiting.
    rig.manager.markSceneChanged();
    rig.manager.skipBackup();
    QCOMPARE(rig.manager.nextBackupIndex(), 3);
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
    QCOMPARE(rig.manager.backupFileName(QStringLiteral("a")), QStringLiteral("a_backup1.kl"));
    rig.manager.backupWritten();
    QCOMPARE(rig.manager.nextBackupIndex(), 1);
    Model::Settings::instance()->setAutoSaveIntervalMins(1'000'000);
    QCOMPARE(rig.autosaveTimer()->interval(), 24 * 60 * Minute);
    Model::Settings::instance()->setAutoSaveIntervalMins(-5);
    QCOMPARE(rig.autosaveTimer()->interval(), Minute);
}

QTEST_GUILESS_MAIN(TestAutosaveManager)

#include "tst_autosavemanager.moc"
