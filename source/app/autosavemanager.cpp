#include "autosavemanager.h"

#include "settings/settings.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

class AutosaveManagerPrivate
{
public:
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

} // namespace

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
}

AutosaveManager::~AutosaveManager() = default;

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
        // A run that crashed left its newest backup here: the ring goes on
        // after it, so that the oldest goes first. Slots of an earlier,
        // larger ring lie outside this one and stay.
        int newest = 0;
        QDateTime newestTime;
        for (int index = 1; index <= d->m_maxBackups; ++index) {
            const QFileInfo file(dir.filePath(slotName(baseName, index)));
            if (file.isFile() && (!newest || file.lastModified() >= newestTime)) {
                newest = index;
                newestTime = file.lastModified();
            }
        }
        if (newest) {
            d->m_nextBackupIndex = newest;
            skipBackup();
        }
    }
    return dir.absoluteFilePath(backupFileName(baseName));
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
    skipBackup();
    d->startWaiting(d->m_interval, currentMSecsSinceEpoch());
    d->m_retryTimer->stop();
}

void AutosaveManager::backupFailed()
{
    skipBackup();
    d->startWaiting(d->m_interval, currentMSecsSinceEpoch());
    d->m_retryTimer->stop();
}

void AutosaveManager::skipBackup()
{
    d->m_nextBackupIndex = d->m_nextBackupIndex < d->m_maxBackups ? d->m_nextBackupIndex + 1 : 1;
}

void AutosaveManager::setMaxBackups(int count)
{
    // A damaged preference must not stop the ring from turning.
    count = std::max(count, 1);
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
