#include "autosavemanager.h"

#include "runrecords.h"

#include "export/exportfolder.h"
#include "settings/settings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <algorithm>

class AutosaveManagerPrivate
{
public:
    // A backup a notice names, and why it cannot be opened if it cannot.
    struct Named
    {
        QFileInfo file;
        QString failure;
        // Why it cannot be reached now; empty when it can.
        QString unreachable;
    };
    // A heading and the backups it names.
    struct Section
    {
        QString heading;
        QList<Named> backups;
    };
    // The sections, then how to open the backups, and which of them the
    // next backup replaces, if one.
    QString notice(QList<Section> sections, const QString &replaced) const;
    // The slot the next backup of baseName in dir takes, by the slot rule,
    // none of `held` taken.
    int nextSlot(const QDir &dir, const QString &baseName, const QString &sceneFile,
                 const QSet<QString> &held) const;

    // Starts a wait for a backup that began at `since`: a wait shortened by
    // a change of interval still counts from where it began.
    void startWaiting(int msecs, qint64 since)
    {
        m_waitStartedAt = since;
        m_autosaveTimer->start(msecs);
    }

    QTimer *m_autosaveTimer = nullptr;
    QTimer *m_retryTimer = nullptr;
    int m_maxBackups = Model::Settings::DefaultAutoSaveNumFiles;
    int m_interval = Model::Settings::DefaultAutoSaveIntervalMins * 60000;
    // The slot to try first; past the last slot the ring may take, the ring
    // starts again.
    int m_nextBackupIndex = 1;
    // The folder and name whose ring the index goes on from; empty until the
    // first backup after a start or a reset looks there.
    QString m_ringFoundFor;
    // Backups a notice has named already, and whether it told of a run
    // that ended so with autosave off.
    mutable QSet<QString> m_told;
    mutable bool m_unkeptTold = false;
    // The slot backupPath() last named, and the backups written of the
    // scene since reset(): what they hold is in the file it is saved to.
    QString m_claimed;
    QStringList m_sceneBackups;
    std::unique_ptr<RunRecords> m_records;
    bool m_changesPending = false;
    qint64 m_waitStartedAt = 0;
    AutosaveManager::Clock m_clock;
};

namespace {

constexpr int RetryInterval = 1000;
constexpr int MaxIntervalMinutes = 24 * 60;
// Far beyond the menu's largest ring; a damaged preference must not make
// every backup look at a million slots.
constexpr int MaxBackups = 99;
// A notice lists this many backups, the newest; of the others it says how
// many there are and where, in so many folders at most, and how many more
// in other folders, so that it stays small beside the paper.
constexpr qsizetype ListedBackups = 10;
constexpr qsizetype ListedFolders = 3;

// The manager whose run's record names the exports under way: the one made
// last.
AutosaveManager *&watchingExports()
{
    static AutosaveManager *manager = nullptr;
    return manager;
}

QString slotName(const QString &baseName, int index)
{
    return baseName + QStringLiteral("_backup") + QString::number(index) + QStringLiteral(".kl");
}

// The scene name in a slot's file name; empty for a name no slot has.
QString sceneNameOf(const QString &path)
{
    static const QRegularExpression slot(QStringLiteral("^(.+)_backup[0-9]+\\.kl$"));
    return slot.match(QFileInfo(path).fileName()).captured(1);
}

// The files of the user's own, which no backup replaces, by their canonical
// paths.
QSet<QString> usersFiles(const QString &sceneFile)
{
    QSet<QString> files;
    QStringList paths = Model::Settings::instance()->recentFiles();
    paths << sceneFile;
    for (const QString &path : std::as_const(paths)) {
        const QString canonical = QFileInfo(path).canonicalFilePath();
        if (!canonical.isEmpty())
            files.insert(canonical);
    }
    return files;
}

} // namespace

QString AutosaveManagerPrivate::notice(QList<Section> sections, const QString &replaced) const
{
    QList<std::pair<QDateTime, const Named *>> all;
    for (Section &section : sections) {
        std::stable_sort(section.backups.begin(), section.backups.end(), [](const Named &a, const Named &b) {
            return a.file.lastModified() > b.file.lastModified();
        });
        for (const Named &backup : std::as_const(section.backups))
            all.append({backup.file.lastModified(), &backup});
    }
    std::stable_sort(all.begin(), all.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    QSet<const Named *> listed;
    for (qsizetype i = 0; i < std::min(ListedBackups, all.size()); ++i)
        listed.insert(all.at(i).second);

    QString text;
    qsizetype opens = 0;
    qsizetype failed = 0;
    qsizetype away = 0;
    for (const Section &section : std::as_const(sections)) {
        QStringList lines;
        QMap<QString, int> more;
        for (const Named &backup : section.backups) {
            if (!backup.unreachable.isEmpty())
                ++away;
            else if (!backup.failure.isEmpty())
                ++failed;
            else
                ++opens;
            if (!listed.contains(&backup)) {
                ++more[QDir::toNativeSeparators(backup.file.absolutePath())];
                continue;
            }
            const QString path = QDir::toNativeSeparators(backup.file.absoluteFilePath());
            const QString time = QLocale().toString(backup.file.lastModified(), QLocale::ShortFormat);
            if (!backup.unreachable.isEmpty())
                lines << AutosaveManager::tr("%1 cannot be reached now: %2.").arg(path, backup.unreachable);
            else if (backup.failure.isEmpty())
                lines << AutosaveManager::tr("%1 (written %2)").arg(path, time);
            else
                lines << AutosaveManager::tr("%1 (written %2) cannot be opened: %3.").arg(path, time, backup.failure);
        }
        // The folders that hold the most first.
        QList<std::pair<QString, int>> folders;
        for (auto folder = more.cbegin(); folder != more.cend(); ++folder)
            folders.append({folder.key(), folder.value()});
        std::stable_sort(folders.begin(), folders.end(),
                         [](const auto &a, const auto &b) { return a.second > b.second; });
        int elsewhere = 0;
        for (qsizetype i = 0; i < folders.size(); ++i) {
            const auto &[folder, count] = folders.at(i);
            if (i >= ListedFolders && folders.size() > ListedFolders + 1)
                elsewhere += count;
            else
                lines << (count == 1 ? AutosaveManager::tr("…and one more in %1.").arg(folder)
                                     : AutosaveManager::tr("…and %1 more in %2.").arg(QString::number(count), folder));
        }
        if (elsewhere > 0)
            lines << AutosaveManager::tr("…and %1 more in %2 other folders.")
                         .arg(QString::number(elsewhere), QString::number(folders.size() - ListedFolders));
        text += section.heading + QStringLiteral("\n\n") + lines.join(u'\n') + QStringLiteral("\n\n");
    }
    if (failed > 0)
        text += AutosaveManager::tr("A backup that cannot be opened is named here at every start until its file is "
                                    "removed.\n\n");
    if (away > 0)
        text += AutosaveManager::tr("A backup out of reach is named here again at a start once its folder can be "
                                    "reached.\n\n");
    if (opens > 0)
        text += opens == 1 ? AutosaveManager::tr("File › Open Scene opens it.")
                           : AutosaveManager::tr("File › Open Scene opens them.");
    if (!replaced.isEmpty())
        text += m_maxBackups == 1
            ? AutosaveManager::tr("\n\nAutosave keeps one backup of a scene: the next backup of this scene "
                                  "will replace %1.")
                  .arg(replaced)
            : AutosaveManager::tr("\n\nThe next backup of this scene will replace %1.").arg(replaced);
    return text.trimmed();
}

int AutosaveManagerPrivate::nextSlot(const QDir &dir, const QString &baseName, const QString &sceneFile,
                                     const QSet<QString> &held) const
{
    const auto slotPath = [&](int index) { return dir.absoluteFilePath(slotName(baseName, index)); };
    const QSet<QString> users = usersFiles(sceneFile);
    // Each slot passed over is a file there or a slot held, so the search
    // ends.
    QList<int> usable;
    for (int index = 1; usable.size() < m_maxBackups; ++index) {
        const QString path = slotPath(index);
        const QFileInfo file(path);
        if (held.contains(path)
            || (file.isFile() && (users.contains(file.canonicalFilePath()) || !m_records->mayReplace(path))))
            continue;
        usable << index;
    }
    int next = m_nextBackupIndex;
    if (dir.absoluteFilePath(baseName) != m_ringFoundFor) {
        // The ring goes on after its newest backup, so that the oldest goes
        // first.
        int newest = 0;
        QDateTime newestTime;
        for (const int index : std::as_const(usable)) {
            const QFileInfo file(slotPath(index));
            if (file.isFile() && (!newest || file.lastModified() >= newestTime)) {
                newest = index;
                newestTime = file.lastModified();
            }
        }
        next = newest + 1;
    }
    const auto found = std::find_if(usable.cbegin(), usable.cend(), [next](int index) { return index >= next; });
    return found == usable.cend() ? usable.first() : *found;
}

AutosaveManager::AutosaveManager(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<AutosaveManagerPrivate>())
{
    d->m_autosaveTimer = new QTimer(this);
    d->m_autosaveTimer->setObjectName(QStringLiteral("autosaveTimer"));
    d->m_autosaveTimer->setSingleShot(true);
    connect(d->m_autosaveTimer, &QTimer::timeout, this, &AutosaveManager::autosaveTimeout);
    d->m_retryTimer = new QTimer(this);
    d->m_retryTimer->setObjectName(QStringLiteral("retryTimer"));
    d->m_retryTimer->setSingleShot(true);
    connect(d->m_retryTimer, &QTimer::timeout, this, &AutosaveManager::autosaveReminderTimeout);
    connect(Model::Settings::instance(), &Model::Settings::autoSaveChanged, this, &AutosaveManager::applySettings);
    d->m_records = std::make_unique<RunRecords>();
    // The run's exports are named in its record while they are under way.
    watchingExports() = this;
    Model::ExportFolder::setWatcher([this](const QString &folder, bool made) {
        d->m_records->setExportFolder(folder, made);
    });
    applySettings();
}

AutosaveManager::~AutosaveManager()
{
    if (watchingExports() == this) {
        Model::ExportFolder::setWatcher({});
        watchingExports() = nullptr;
    }
}

QString AutosaveManager::recoveredName(const QString &path) const
{
    return d->m_records->names(path) ? sceneNameOf(path) : QString();
}

QString AutosaveManager::backedUpScene(const QString &path) const
{
    if (const RunRecords::Backup *known = d->m_records->find(path))
        return known->sceneFile;
    const QFileInfo backup(path);
    const QString name = sceneNameOf(path);
    const QFileInfo beside(backup.dir().filePath(name + QStringLiteral(".kl")));
    return !name.isEmpty() && beside.isFile() ? beside.absoluteFilePath() : QString();
}

QString AutosaveManager::lostWorkNotice() const
{
    // Those of the runs that ended just before this one, and those of runs
    // before them.
    QList<AutosaveManagerPrivate::Named> last;
    QList<AutosaveManagerPrivate::Named> earlier;
    QSet<QString> earlierRuns;
    QStringList away;
    const QList<RunRecords::Backup> lost = d->m_records->lostWork();
    for (const RunRecords::Backup &backup : lost) {
        // A record naming anything else was not written by a run of this
        // program.
        const QFileInfo file(backup.path);
        if (d->m_told.contains(backup.path) || sceneNameOf(backup.path).isEmpty())
            continue;
        const QString unreachable = RunRecords::whyUnreachable(backup.path);
        (backup.lastRun ? last : earlier).append({file, backup.failure, unreachable});
        if (!unreachable.isEmpty())
            away << backup.path;
        if (!backup.lastRun)
            earlierRuns.insert(backup.run);
    }
    const QString name = QCoreApplication::applicationName();
    QString unkept;
    if (!d->m_unkeptTold) {
        d->m_unkeptTold = true;
        QStringList told;
        const QStringList failures = d->m_records->unkeptWork();
        for (const QString &failure : failures)
            told << tr("%1 did not end normally last time, and its latest work could not be kept:\n%2")
                        .arg(name, failure);
        if (d->m_records->tookUnkeptRun())
            told << tr("%1 did not end normally last time. Autosave was off, so nothing of that run was kept. "
                       "Autosave is turned on in File › Enable Autosaving.")
                        .arg(name);
        if (d->m_records->tookUnbackedChanges())
            told << tr("%1 did not end normally last time. Its latest changes had not been backed up yet, so they "
                       "were not kept.")
                        .arg(name);
        unkept = told.join(QStringLiteral("\n\n"));
    }
    if (last.isEmpty() && earlier.isEmpty())
        return unkept;
    QList<AutosaveManagerPrivate::Section> sections;
    if (!last.isEmpty()) {
        sections.append(
            {last.size() == 1
                 ? tr("%1 did not end normally last time. It left a backup of work that was never saved:").arg(name)
                 : tr("%1 did not end normally last time. It left backups of work that was never saved:").arg(name),
             last});
    }
    const bool oneRun = earlierRuns.size() == 1;
    const bool oneFile = earlier.size() == 1;
    if (!earlier.isEmpty() && !last.isEmpty()) {
        sections.append(
            {oneFile  ? tr("An earlier run that did not end normally left a backup of work that was never saved:")
             : oneRun ? tr("An earlier run that did not end normally left backups of work that was never saved:")
                      : tr("Earlier runs that did not end normally left backups of work that was never saved:"),
             earlier});
    } else if (!earlier.isEmpty()) {
        sections.append({oneFile  ? tr("%1 did not end normally in an earlier run. It left a backup of work that "
                                       "was never saved:")
                                        .arg(name)
                         : oneRun ? tr("%1 did not end normally in an earlier run. It left backups of work that "
                                       "was never saved:")
                                        .arg(name)
                                  : tr("%1 did not end normally in earlier runs. They left backups of work that "
                                       "was never saved:")
                                        .arg(name),
                         earlier});
    }
    // Every one of them is held: no backup replaces it.
    const QString named = d->notice(sections, QString());
    // Neither opened nor removed while away: told once, and again when it
    // can be.
    d->m_records->toldUnreachable(away);
    return unkept.isEmpty() ? named : unkept + QStringLiteral("\n\n") + named;
}

QString AutosaveManager::newerBackupsNotice(const QString &folder, const QString &sceneFile) const
{
    const QFileInfo scene(sceneFile);
    QList<AutosaveManagerPrivate::Named> found;
    QSet<QString> seen;
    const QList<RunRecords::Backup> known = d->m_records->known();
    for (const RunRecords::Backup &backup : known) {
        const QFileInfo file(backup.path);
        if (backup.sceneFile.isEmpty() || QFileInfo(backup.sceneFile) != scene || !file.isFile()
            || file.lastModified() <= scene.lastModified() || seen.contains(backup.path))
            continue;
        seen.insert(backup.path);
        found.append({file, QString(), QString()});
        d->m_told.insert(backup.path);
    }
    if (found.isEmpty())
        return QString();
    const QString next = nextBackupPath(folder, scene.completeBaseName(), sceneFile);
    const bool replaced = std::any_of(found.cbegin(), found.cend(),
                                      [&next](const AutosaveManagerPrivate::Named &backup) {
                                          return backup.file.absoluteFilePath() == next;
                                      });
    const QString native = QDir::toNativeSeparators(scene.absoluteFilePath());
    return d->notice({{found.size() == 1 ? tr("A backup of %1 is newer than the file:").arg(native)
                                         : tr("Backups of %1 are newer than the file:").arg(native),
                       found}},
                     replaced ? QFileInfo(next).fileName() : QString());
}

QString AutosaveManager::recordTrouble() const
{
    return d->m_records->trouble();
}

void AutosaveManager::fileOpened(const QString &path)
{
    d->m_records->opened(path);
}

void AutosaveManager::openFailed(const QString &path, const QString &reason)
{
    d->m_records->openFailed(path, reason);
}

void AutosaveManager::fileSaved(const QString &path, const QString &recoveredFrom)
{
    d->m_records->setChanged(false);
    d->m_records->forget(path);
    d->m_records->savedAs(d->m_sceneBackups, path);
    if (!recoveredFrom.isEmpty())
        d->m_records->recoveredSaved(recoveredFrom);
}

void AutosaveManager::endInterrupted(const QString &unkept)
{
    d->m_records->endInterrupted(unkept);
}

void AutosaveManager::setClock(Clock clock)
{
    d->m_clock = std::move(clock);
}

qint64 AutosaveManager::currentMSecsSinceEpoch() const
{
    return d->m_clock ? d->m_clock() : QDateTime::currentMSecsSinceEpoch();
}

QString AutosaveManager::nextBackupPath(const QString &folder, const QString &baseName,
                                       const QString &sceneFile) const
{
    const QDir dir(folder);
    return dir.absoluteFilePath(slotName(baseName, d->nextSlot(dir, baseName, sceneFile, d->m_records->held())));
}

QString AutosaveManager::backupPath(const QString &folder, const QString &baseName, const QString &sceneFile,
                                   const QString &recoveredFrom)
{
    const QDir dir(folder);
    RunRecords &records = *d->m_records;
    // Work the user removed, or saved in another run, holds a slot no more.
    records.lostWork();
    // Slots another run claimed between this run's look and its claim:
    // each is passed over, so the search ends.
    QSet<QString> claimedMeanwhile;
    for (;;) {
        d->m_nextBackupIndex = d->nextSlot(dir, baseName, sceneFile, records.held() + claimedMeanwhile);
        d->m_ringFoundFor = dir.absoluteFilePath(baseName);
        const QString path = dir.absoluteFilePath(slotName(baseName, d->m_nextBackupIndex));
        // Claimed before it is written: another run starting to write now
        // leaves it alone, and the next start knows whose work it is.
        switch (records.claim(path, sceneFile, recoveredFrom)) {
        case RunRecords::Claimed::Yes:
            d->m_claimed = path;
            return path;
        case RunRecords::Claimed::LockBusy:
            d->m_claimed.clear();
            return QString();
        case RunRecords::Claimed::HeldElsewhere:
            claimedMeanwhile.insert(path);
            break;
        }
    }
}

QString AutosaveManager::claimTrouble() const
{
    return d->m_records->claimTrouble();
}

bool AutosaveManager::hasChangesToBackUp() const
{
    return d->m_changesPending;
}

int AutosaveManager::intervalMinutes() const
{
    return d->m_interval / 60000;
}

int AutosaveManager::maxBackups() const
{
    return d->m_maxBackups;
}

void AutosaveManager::markSceneChanged()
{
    d->m_changesPending = true;
    d->m_records->setChanged(true);
}

void AutosaveManager::markSceneUnchanged()
{
    d->m_changesPending = false;
    d->m_records->setChanged(false);
}

void AutosaveManager::reset()
{
    d->m_changesPending = false;
    d->m_records->setChanged(false);
    d->m_sceneBackups.clear();
    d->m_nextBackupIndex = 1;
    d->m_ringFoundFor.clear();
    if (d->m_autosaveTimer->isActive())
        d->startWaiting(d->m_interval, currentMSecsSinceEpoch());
}

void AutosaveManager::postpone()
{
    d->m_retryTimer->start(RetryInterval);
}

void AutosaveManager::backupWritten()
{
    d->m_changesPending = false;
    d->m_records->claimWritten();
    d->m_records->setChanged(false);
    if (!d->m_sceneBackups.contains(d->m_claimed))
        d->m_sceneBackups << d->m_claimed;
    ++d->m_nextBackupIndex;
    d->startWaiting(d->m_interval, currentMSecsSinceEpoch());
    d->m_retryTimer->stop();
}

void AutosaveManager::backupFailed()
{
    d->m_records->claimGivenUp();
    ++d->m_nextBackupIndex;
    d->startWaiting(d->m_interval, currentMSecsSinceEpoch());
    d->m_retryTimer->stop();
}

void AutosaveManager::setMaxBackups(int count)
{
    // A damaged preference must neither stop the ring from turning nor make
    // it look at a million slots.
    count = std::clamp(count, 1, MaxBackups);
    if (count == d->m_maxBackups)
        return;
    d->m_maxBackups = count;
    if (d->m_nextBackupIndex > count)
        d->m_nextBackupIndex = 1;
}

void AutosaveManager::setIntervalMinutes(int minutes)
{
    // A damaged preference must neither fire the timer on every turn of the
    // event loop nor overflow it: between a minute and a day.
    const int interval = std::clamp(minutes, 1, MaxIntervalMinutes) * 60000;
    if (interval == d->m_interval)
        return;
    d->m_interval = interval;
    if (!d->m_autosaveTimer->isActive())
        return;
    // The next backup is due one new interval after the wait began, not
    // after what was left of the old one; a wait already longer than that
    // starts again.
    const qint64 elapsed = std::max<qint64>(0, currentMSecsSinceEpoch() - d->m_waitStartedAt);
    if (elapsed < interval)
        d->startWaiting(int(interval - elapsed), d->m_waitStartedAt);
    else
        d->startWaiting(interval, currentMSecsSinceEpoch());
}

void AutosaveManager::start()
{
    d->startWaiting(d->m_interval, currentMSecsSinceEpoch());
}

void AutosaveManager::applySettings()
{
    const Model::Settings *settings = Model::Settings::instance();
    setIntervalMinutes(settings->autoSaveIntervalMins());
    setMaxBackups(settings->autoSaveNumFiles());
    d->m_records->setAutosaveOff(!settings->autoSaveEnabled());
    if (settings->autoSaveEnabled()) {
        start();
    } else {
        d->m_autosaveTimer->stop();
        d->m_retryTimer->stop();
    }
}
