#include "autosavemanager.h"

#include "settings/settings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QLockFile>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>
#include <QUuid>

#include <algorithm>

class AutosaveManagerPrivate
{
public:
    // A backup file named in a record, with the scene file it backs up
    // (empty for a scene never saved).
    struct Backup
    {
        enum Kind {
            Written, // by the run that keeps the record
            Earlier, // taken over from a run before it
            Claimed, // about to be written; it may hold anything yet
        };
        QString path;
        QString sceneFile;
        Kind kind = Written;
    };

    void beginRun();
    void endRun();
    void takeRecord(const QString &base);
    bool writeRecord() const;
    void addBackup(QList<Backup> &list, Backup backup) const;
    // The taken-over backups that still hold unsaved work; the others go.
    void pruneLostWork();
    // The backup files no backup of this run may replace.
    QSet<QString> heldPaths() const;
    bool wroteItself(const QString &path) const
    {
        return std::any_of(m_written.cbegin(), m_written.cend(),
                           [&path](const Backup &backup) { return backup.path == path; });
    }
    // Moves the ring on past the slot last named.
    void advance()
    {
        ++m_nextBackupIndex;
        m_claimed.clear();
        writeRecord();
    }
    // A heading and the backups it names.
    struct Section
    {
        QString heading;
        QList<QFileInfo> backups;
    };
    // The sections, then how to open the backups; `replaced` when the next
    // backup may go where one of them is.
    QString notice(const QList<Section> &sections, bool replaced) const;

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
    // The slot to try first; past the ring's end, the ring starts again.
    int m_nextBackupIndex = 1;
    // The folder and name whose ring the index goes on from; empty until the
    // first backup after a start or a reset looks there.
    QString m_ringFoundFor;
    // The slot of that ring that holds the newest backup an earlier run
    // left; 0 when there is none.
    int m_keptIndex = 0;
    // The slot backupPath() last named, until it is written or given up.
    QString m_claimed;
    // This run's backups, each slot once, the newest last.
    QList<Backup> m_written;
    // The unsaved work of runs that did not end normally.
    QList<Backup> m_lostWork;
    // Backups a notice has named already.
    mutable QSet<QString> m_told;
    // This run's record: held by a lock file for as long as the run lives,
    // beside the list of its backups.
    std::unique_ptr<QLockFile> m_runLock;
    QString m_runRecord;
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

QString slotName(const QString &baseName, int index)
{
    return baseName + QStringLiteral("_backup") + QString::number(index) + QStringLiteral(".kl");
}

const QString LockSuffix = QStringLiteral(".lock");
const QString RecordSuffix = QStringLiteral(".backups");
const QString EarlierMark = QStringLiteral("earlier");
const QString ClaimedMark = QStringLiteral("claimed");

// The records of the runs of this process that are still alive, by path
// without suffix. A record of this process's id that is not one of them was
// left by an earlier run that had the same id.
QSet<QString> &liveRecords()
{
    static QSet<QString> records;
    return records;
}

// One line per backup: a JSON array of its path, its scene file and, but
// for a backup the run wrote itself, how the run has it.
QList<AutosaveManagerPrivate::Backup> readRecord(const QString &path)
{
    using Backup = AutosaveManagerPrivate::Backup;
    QList<Backup> backups;
    QFile list(path);
    if (!list.open(QIODevice::ReadOnly))
        return backups;
    // A power cut may have cut the last line short.
    while (!list.atEnd()) {
        const QJsonArray entry = QJsonDocument::fromJson(list.readLine()).array();
        if (entry.size() < 2 || !entry.at(0).isString() || entry.at(0).toString().isEmpty())
            continue;
        const QString mark = entry.at(2).toString();
        backups.append({entry.at(0).toString(), entry.at(1).toString(),
                        mark == EarlierMark   ? Backup::Earlier
                        : mark == ClaimedMark ? Backup::Claimed
                                              : Backup::Written});
    }
    return backups;
}

bool holdsUnsavedWork(const AutosaveManagerPrivate::Backup &backup)
{
    const QFileInfo file(backup.path);
    if (!file.isFile())
        return false;
    const QFileInfo scene(backup.sceneFile);
    return backup.sceneFile.isEmpty() || !scene.isFile() || file.lastModified() > scene.lastModified();
}

QString newestFirst(QList<QFileInfo> &files)
{
    std::sort(files.begin(), files.end(),
              [](const QFileInfo &a, const QFileInfo &b) { return a.lastModified() > b.lastModified(); });
    QStringList lines;
    for (const QFileInfo &file : std::as_const(files))
        lines << AutosaveManager::tr("%1 (written %2)")
                     .arg(QDir::toNativeSeparators(file.absoluteFilePath()),
                          QLocale().toString(file.lastModified(), QLocale::ShortFormat));
    return lines.join(u'\n');
}

} // namespace

void AutosaveManagerPrivate::beginRun()
{
    const QString folder = AutosaveManager::runRecordFolder();
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return;
    const QDir runs(folder);
    // The run's own record first: whatever it takes over is in it before
    // the record it came from goes, so a kill at any moment loses nothing.
    const QString base = runs.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces));
    auto runLock = std::make_unique<QLockFile>(base + LockSuffix);
    // The run holds its lock for hours: only a run that is gone leaves a
    // stale one.
    runLock->setStaleLockTime(0);
    if (!runLock->tryLock(0))
        return;
    m_runLock = std::move(runLock);
    m_runRecord = base + RecordSuffix;
    liveRecords().insert(base);

    QSet<QString> others;
    const QStringList files = runs.entryList({QLatin1Char('*') + LockSuffix, QLatin1Char('*') + RecordSuffix},
                                             QDir::Files);
    for (const QString &file : files) {
        const qsizetype suffix = file.endsWith(LockSuffix) ? LockSuffix.size() : RecordSuffix.size();
        others.insert(runs.filePath(file.chopped(suffix)));
    }
    others.remove(base);
    for (const QString &other : std::as_const(others))
        takeRecord(other);
}

void AutosaveManagerPrivate::endRun()
{
    if (!m_runLock)
        return;
    // Work taken over and not opened yet is passed on in a record without
    // a run, which the next start takes; the run's own backups were of work
    // the user chose to keep or not when they quit.
    pruneLostWork();
    if (m_lostWork.isEmpty()) {
        // The list goes first: a record without its lock would be taken for
        // a run that ended without quitting.
        QFile::remove(m_runRecord);
    } else {
        m_written.clear();
        m_claimed.clear();
        // Should this fail, the record as it was still names the work.
        writeRecord();
    }
    liveRecords().remove(m_runRecord.chopped(RecordSuffix.size()));
    m_runLock->unlock();
}

// Takes the record of a run that is gone: a run that is alive holds its lock,
// and of several runs that start at once only one gets a stale one, or the
// lock of a record without a run.
void AutosaveManagerPrivate::takeRecord(const QString &base)
{
    if (liveRecords().contains(base))
        return;
    const QString lockPath = base + LockSuffix;
    QLockFile lock(lockPath);
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        qint64 pid = 0;
        QString host;
        if (!lock.getLockInfo(&pid, &host, nullptr) || pid != QCoreApplication::applicationPid()
            || host != QSysInfo::machineHostName() || !lock.removeStaleLockFile() || !lock.tryLock(0))
            return;
    }
    const QString listPath = base + RecordSuffix;
    const QList<Backup> taken = readRecord(listPath);
    for (const Backup &backup : taken) {
        // A claimed slot may still hold what was there before.
        if (backup.kind != Backup::Claimed)
            addBackup(m_lostWork, backup);
    }
    // A record that cannot be passed on stays for the next start.
    if (taken.isEmpty() || writeRecord())
        QFile::remove(listPath);
}

bool AutosaveManagerPrivate::writeRecord() const
{
    if (m_runRecord.isEmpty())
        return false;
    QByteArray lines;
    const auto line = [&lines](const Backup &backup, const QString &mark) {
        QJsonArray entry{backup.path, backup.sceneFile};
        if (!mark.isEmpty())
            entry.append(mark);
        lines += QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
    };
    // For the run that takes this record, every backup here is of an
    // earlier run but the ones this run wrote itself.
    for (const Backup &backup : m_lostWork)
        line(backup, EarlierMark);
    for (const Backup &backup : m_written)
        line(backup, QString());
    if (!m_claimed.isEmpty())
        line({m_claimed, QString()}, ClaimedMark);
    QSaveFile list(m_runRecord);
    return list.open(QIODevice::WriteOnly) && list.write(lines) == lines.size() && list.commit();
}

void AutosaveManagerPrivate::addBackup(QList<Backup> &list, Backup backup) const
{
    backup.path = QFileInfo(backup.path).absoluteFilePath();
    list.removeIf([&backup](const Backup &other) { return other.path == backup.path; });
    list.append(backup);
}

void AutosaveManagerPrivate::pruneLostWork()
{
    if (m_lostWork.removeIf([](const Backup &backup) { return !holdsUnsavedWork(backup); }) > 0)
        writeRecord();
}

QSet<QString> AutosaveManagerPrivate::heldPaths() const
{
    QSet<QString> held;
    for (const Backup &backup : m_lostWork)
        held.insert(backup.path);
    const QString folder = AutosaveManager::runRecordFolder();
    if (m_runRecord.isEmpty() || folder.isEmpty())
        return held;
    const QDir runs(folder);
    const QStringList records = runs.entryList({QLatin1Char('*') + RecordSuffix}, QDir::Files);
    for (const QString &record : records) {
        const QString path = runs.filePath(record);
        if (path == m_runRecord)
            continue;
        const QList<Backup> backups = readRecord(path);
        for (const Backup &backup : backups)
            held.insert(QFileInfo(backup.path).absoluteFilePath());
    }
    return held;
}

QString AutosaveManagerPrivate::notice(const QList<Section> &sections, bool replaced) const
{
    QString text;
    qsizetype count = 0;
    for (Section section : sections) {
        text += section.heading + QStringLiteral("\n\n") + newestFirst(section.backups) + QStringLiteral("\n\n");
        count += section.backups.size();
    }
    const bool one = count == 1;
    text += one ? AutosaveManager::tr("File › Open Scene opens it.")
                : AutosaveManager::tr("File › Open Scene opens them.");
    // With no other slot in the ring, the next backup of the scene goes
    // where this one is.
    if (replaced && m_maxBackups == 1)
        text += one ? AutosaveManager::tr("\n\nAutosave keeps one backup of a scene: the next backup of a scene "
                                          "of that name will replace it.")
                    : AutosaveManager::tr("\n\nAutosave keeps one backup of a scene: the next backup of a scene "
                                          "of one of those names will replace its backup.");
    return text;
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
    applySettings();
    d->beginRun();
}

AutosaveManager::~AutosaveManager()
{
    d->endRun();
}

QString AutosaveManager::runRecordFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString()
                          : QDir(data).filePath(QCoreApplication::applicationName() + QStringLiteral("/Runs"));
}

QString AutosaveManager::lostWorkNotice() const
{
    // Those of the run before this one, and those it had taken over.
    QList<QFileInfo> last;
    QList<QFileInfo> earlier;
    for (const AutosaveManagerPrivate::Backup &backup : std::as_const(d->m_lostWork)) {
        if (d->m_told.contains(backup.path) || !holdsUnsavedWork(backup))
            continue;
        (backup.kind == AutosaveManagerPrivate::Backup::Earlier ? earlier : last) << QFileInfo(backup.path);
    }
    if (last.isEmpty() && earlier.isEmpty())
        return QString();
    const QString name = QCoreApplication::applicationName();
    QList<AutosaveManagerPrivate::Section> sections;
    if (!last.isEmpty()) {
        sections.append(
            {last.size() == 1
                 ? tr("%1 did not end normally last time. It left a backup of work that was never saved:").arg(name)
                 : tr("%1 did not end normally last time. It left backups of work that was never saved:").arg(name),
             last});
    }
    if (!earlier.isEmpty() && !last.isEmpty()) {
        sections.append(
            {earlier.size() == 1
                 ? tr("An earlier run that did not end normally left a backup of work that was never saved:")
                 : tr("Earlier runs that did not end normally left backups of work that was never saved:"),
             earlier});
    } else if (!earlier.isEmpty()) {
        sections.append({earlier.size() == 1 ? tr("%1 did not end normally in an earlier run. It left a backup of "
                                                  "work that was never saved:")
                                                   .arg(name)
                                             : tr("%1 did not end normally in an earlier run. It left backups of "
                                                  "work that was never saved:")
                                                   .arg(name),
                         earlier});
    }
    // Every one of them is held: no backup replaces it.
    return d->notice(sections, false);
}

QString AutosaveManager::newerBackupsNotice(const QString &folder, const QString &sceneFile) const
{
    const QFileInfo scene(sceneFile);
    const QString prefix = scene.completeBaseName() + QStringLiteral("_backup");
    const QString suffix = QStringLiteral(".kl");
    QList<QFileInfo> found;
    const QSet<QString> held = d->heldPaths();
    bool replaced = false;
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files);
    for (const QFileInfo &file : files) {
        const QString name = file.fileName();
        bool numbered = false;
        if (name.startsWith(prefix) && name.endsWith(suffix))
            name.mid(prefix.size(), name.size() - prefix.size() - suffix.size()).toUInt(&numbered);
        if (numbered && file.lastModified() > scene.lastModified()) {
            found << file;
            d->m_told.insert(file.absoluteFilePath());
            replaced = replaced || !held.contains(file.absoluteFilePath());
        }
    }
    if (found.isEmpty())
        return QString();
    const QString native = QDir::toNativeSeparators(scene.absoluteFilePath());
    return d->notice({{found.size() == 1 ? tr("A backup of %1 is newer than the file:").arg(native)
                                         : tr("Backups of %1 are newer than the file:").arg(native),
                       found}},
                     replaced);
}

void AutosaveManager::fileOpened(const QString &path)
{
    const QFileInfo opened(path);
    if (d->m_lostWork.removeIf([&opened](const AutosaveManagerPrivate::Backup &backup) {
            return QFileInfo(backup.path) == opened;
        })
        > 0)
        d->writeRecord();
}

void AutosaveManager::setClock(Clock clock)
{
    d->m_clock = std::move(clock);
}

qint64 AutosaveManager::currentMSecsSinceEpoch() const
{
    return d->m_clock ? d->m_clock() : QDateTime::currentMSecsSinceEpoch();
}

QString AutosaveManager::backupFileName(const QString &baseName) const
{
    return slotName(baseName, nextBackupIndex());
}

QString AutosaveManager::backupPath(const QString &folder, const QString &baseName)
{
    const QDir dir(folder);
    const QString ring = dir.absoluteFilePath(baseName);
    const auto slotPath = [&](int index) { return dir.absoluteFilePath(slotName(baseName, index)); };
    if (ring != d->m_ringFoundFor) {
        d->m_ringFoundFor = ring;
        // The ring goes on after its newest backup, so that the oldest goes
        // first. The newest that an earlier run left, perhaps one that
        // crashed, may be the only copy of that run's last work: it stays
        // while there is another slot to write. Slots of an earlier, larger
        // ring lie outside this one and stay.
        int newest = 0;
        QDateTime newestTime;
        QDateTime keptTime;
        d->m_keptIndex = 0;
        for (int index = 1; index <= d->m_maxBackups; ++index) {
            const QFileInfo file(slotPath(index));
            if (!file.isFile())
                continue;
            const QDateTime time = file.lastModified();
            if (!newest || time >= newestTime) {
                newest = index;
                newestTime = time;
            }
            if (!d->wroteItself(file.absoluteFilePath()) && (!d->m_keptIndex || time >= keptTime)) {
                d->m_keptIndex = index;
                keptTime = time;
            }
        }
        if (newest)
            d->m_nextBackupIndex = newest + 1;
    }

    // The slots this run may write: as many as the ring has, none another
    // run holds, and past the ring's end only numbers no file has but this
    // run's own. A folder crowded with files past the ring gives fewer, but
    // at least one.
    d->pruneLostWork();
    const QSet<QString> held = d->heldPaths();
    QList<int> usable;
    for (int index = 1; usable.size() < d->m_maxBackups; ++index) {
        if (!usable.isEmpty() && index > d->m_maxBackups + held.size() + MaxBackups)
            break;
        const QString path = slotPath(index);
        if (held.contains(path))
            continue;
        if (index > d->m_maxBackups && QFileInfo::exists(path) && !d->wroteItself(path))
            continue;
        usable << index;
    }
    if (usable.size() > 1)
        usable.removeOne(d->m_keptIndex);
    const auto next = std::find_if(usable.cbegin(), usable.cend(),
                                   [this](int index) { return index >= d->m_nextBackupIndex; });
    d->m_nextBackupIndex = next == usable.cend() ? usable.first() : *next;
    // Claimed before it is written: another run starting to write now
    // leaves it alone.
    d->m_claimed = slotPath(d->m_nextBackupIndex);
    d->writeRecord();
    return d->m_claimed;
}

int AutosaveManager::nextBackupIndex() const
{
    // Past the ring's end, the ring starts again (unless the whole ring is
    // held, which backupPath() finds).
    return d->m_nextBackupIndex > d->m_maxBackups ? 1 : d->m_nextBackupIndex;
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
}

void AutosaveManager::reset()
{
    d->m_changesPending = false;
    d->m_nextBackupIndex = 1;
    d->m_keptIndex = 0;
    d->m_ringFoundFor.clear();
    if (d->m_autosaveTimer->isActive())
        d->startWaiting(d->m_interval, currentMSecsSinceEpoch());
}

void AutosaveManager::postpone()
{
    d->m_retryTimer->start(RetryInterval);
}

void AutosaveManager::backupWritten(const QString &sceneFile)
{
    d->m_changesPending = false;
    if (!d->m_claimed.isEmpty())
        d->addBackup(d->m_written, {d->m_claimed, sceneFile});
    d->advance();
    d->startWaiting(d->m_interval, currentMSecsSinceEpoch());
    d->m_retryTimer->stop();
}

void AutosaveManager::backupFailed()
{
    d->advance();
    d->startWaiting(d->m_interval, currentMSecsSinceEpoch());
    d->m_retryTimer->stop();
}

void AutosaveManager::skipBackup()
{
    d->advance();
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
    if (settings->autoSaveEnabled()) {
        start();
    } else {
        d->m_autosaveTimer->stop();
        d->m_retryTimer->stop();
    }
}
