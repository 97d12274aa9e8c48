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
#include <QSet>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>
#include <QUuid>

#include <algorithm>

class AutosaveManagerPrivate
{
public:
    // The backup files of one scene file, as a record lists them.
    struct Backup
    {
        QString path;
        QString sceneFile;
    };

    void beginRun();
    void endRun();
    void takeRecord(const QString &lock);
    void record(const QString &backup, const QString &sceneFile);
    // Moves the ring on to its next slot, past the one kept.
    void advance()
    {
        ++m_nextBackupIndex;
        settle();
    }
    void settle()
    {
        if (m_nextBackupIndex > m_maxBackups)
            m_nextBackupIndex = 1;
        if (m_nextBackupIndex == m_keptIndex && m_maxBackups > 1)
            m_nextBackupIndex = m_nextBackupIndex % m_maxBackups + 1;
    }
    QString notice(QList<QFileInfo> backups, const QString &heading) const;

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
    int m_nextBackupIndex = 1;
    // The folder and name whose ring the index goes on from; empty until the
    // first backup after a start or a reset looks there.
    QString m_ringFoundFor;
    // The slot of that ring that holds the newest backup an earlier run
    // left; 0 when there is none.
    int m_keptIndex = 0;
    QString m_lastBackupPath;
    QSet<QString> m_written;
    // This run's record: held by a lock file for as long as the run lives,
    // beside the list of the backups it wrote.
    std::unique_ptr<QLockFile> m_runLock;
    QString m_runRecord;
    QList<Backup> m_lostRunBackups;
    bool m_changesPending = false;
    qint64 m_waitStartedAt = 0;
    AutosaveManager::Clock m_clock;
};

namespace {

constexpr int RetryInterval = 1000;
constexpr int MaxIntervalMinutes = 24 * 60;

QString slotName(const QString &baseName, int index)
{
    return baseName + QStringLiteral("_backup") + QString::number(index) + QStringLiteral(".kl");
}

const QString LockSuffix = QStringLiteral(".lock");
const QString RecordSuffix = QStringLiteral(".backups");

// The records of the runs of this process that are still alive, by path
// without suffix. A record of this process's id that is not one of them was
// left by an earlier run that had the same id.
QSet<QString> &liveRecords()
{
    static QSet<QString> records;
    return records;
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
    const QStringList locks = runs.entryList({QLatin1Char('*') + LockSuffix}, QDir::Files);
    for (const QString &lock : locks)
        takeRecord(runs.filePath(lock));

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
}

void AutosaveManagerPrivate::endRun()
{
    if (!m_runLock)
        return;
    // The list goes first: a record without its lock would be taken for a
    // run that ended without quitting.
    QFile::remove(m_runRecord);
    liveRecords().remove(m_runRecord.chopped(RecordSuffix.size()));
    m_runLock->unlock();
}

// Takes the record of a run that is gone: a run that is alive holds its lock,
// and of several runs that start at once only one gets a stale one.
void AutosaveManagerPrivate::takeRecord(const QString &lockPath)
{
    const QString base = lockPath.chopped(LockSuffix.size());
    if (liveRecords().contains(base))
        return;
    QLockFile lock(lockPath);
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        qint64 pid = 0;
        QString host;
        if (!lock.getLockInfo(&pid, &host, nullptr) || pid != QCoreApplication::applicationPid()
            || host != QSysInfo::machineHostName() || !lock.removeStaleLockFile() || !lock.tryLock(0))
            return;
    }
    QFile list(base + RecordSuffix);
    if (list.open(QIODevice::ReadOnly)) {
        // A power cut may have cut the last line short.
        while (!list.atEnd()) {
            const QJsonArray entry = QJsonDocument::fromJson(list.readLine()).array();
            if (entry.size() == 2)
                m_lostRunBackups.append({entry.at(0).toString(), entry.at(1).toString()});
        }
        list.close();
        list.remove();
    }
}

void AutosaveManagerPrivate::record(const QString &backup, const QString &sceneFile)
{
    m_written.insert(backup);
    if (m_runRecord.isEmpty())
        return;
    QFile list(m_runRecord);
    if (list.open(QIODevice::WriteOnly | QIODevice::Append))
        list.write(QJsonDocument(QJsonArray{backup, sceneFile}).toJson(QJsonDocument::Compact) + '\n');
}

QString AutosaveManagerPrivate::notice(QList<QFileInfo> backups, const QString &heading) const
{
    const bool one = backups.size() == 1;
    QString text = heading + QStringLiteral("\n\n") + newestFirst(backups) + QStringLiteral("\n\n")
        + (one ? AutosaveManager::tr("File › Open Scene opens it.")
               : AutosaveManager::tr("File › Open Scene opens them."));
    // With no other slot in the ring, the next backup of the scene goes
    // where this one is.
    if (m_maxBackups == 1)
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
    QList<QFileInfo> found;
    QSet<QString> listed;
    // The list holds a slot once per backup written; its last line says
    // what the slot backs up now.
    for (auto backup = d->m_lostRunBackups.crbegin(); backup != d->m_lostRunBackups.crend(); ++backup) {
        const QFileInfo file(backup->path);
        if (listed.contains(backup->path) || !file.isFile())
            continue;
        listed.insert(backup->path);
        const QFileInfo scene(backup->sceneFile);
        if (backup->sceneFile.isEmpty() || !scene.isFile() || file.lastModified() > scene.lastModified())
            found << file;
    }
    if (found.isEmpty())
        return QString();
    return d->notice(found, found.size() == 1
                                ? tr("%1 did not end normally last time. It left a backup of work that was "
                                     "never saved:")
                                      .arg(QCoreApplication::applicationName())
                                : tr("%1 did not end normally last time. It left backups of work that was "
                                     "never saved:")
                                      .arg(QCoreApplication::applicationName()));
}

QString AutosaveManager::newerBackupsNotice(const QString &folder, const QString &sceneFile) const
{
    const QFileInfo scene(sceneFile);
    const QString prefix = scene.completeBaseName() + QStringLiteral("_backup");
    const QString suffix = QStringLiteral(".kl");
    QList<QFileInfo> found;
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files);
    for (const QFileInfo &file : files) {
        const QString name = file.fileName();
        bool numbered = false;
        if (name.startsWith(prefix) && name.endsWith(suffix))
            name.mid(prefix.size(), name.size() - prefix.size() - suffix.size()).toUInt(&numbered);
        if (numbered && file.lastModified() > scene.lastModified())
            found << file;
    }
    if (found.isEmpty())
        return QString();
    const QString native = QDir::toNativeSeparators(scene.absoluteFilePath());
    return d->notice(found, found.size() == 1 ? tr("A backup of %1 is newer than the file:").arg(native)
                                              : tr("Backups of %1 are newer than the file:").arg(native));
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
    return slotName(baseName, d->m_nextBackupIndex);
}

QString AutosaveManager::backupPath(const QString &folder, const QString &baseName)
{
    const QDir dir(folder);
    const QString ring = dir.absoluteFilePath(baseName);
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
            const QFileInfo file(dir.filePath(slotName(baseName, index)));
            if (!file.isFile())
                continue;
            const QDateTime time = file.lastModified();
            if (!newest || time >= newestTime) {
                newest = index;
                newestTime = time;
            }
            if (!d->m_written.contains(file.absoluteFilePath()) && (!d->m_keptIndex || time >= keptTime)) {
                d->m_keptIndex = index;
                keptTime = time;
            }
        }
        if (newest) {
            d->m_nextBackupIndex = newest;
            d->advance();
        }
    }
    d->m_lastBackupPath = dir.absoluteFilePath(backupFileName(baseName));
    return d->m_lastBackupPath;
}

int AutosaveManager::nextBackupIndex() const
{
    return d->m_nextBackupIndex;
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
    if (!d->m_lastBackupPath.isEmpty())
        d->record(d->m_lastBackupPath, sceneFile);
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
    // A damaged preference must not stop the ring from turning.
    count = std::max(count, 1);
    if (count == d->m_maxBackups)
        return;
    d->m_maxBackups = count;
    d->settle();
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
