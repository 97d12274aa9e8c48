#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class AutosaveManagerPrivate;

// The timing and the ring of numbered backups of the current scene.
//
// The manager decides when a backup is due, never what goes into it: each
// time the interval has passed it emits autosaveTimeout(), and each time a
// postponed check is due autosaveReminderTimeout(). The main window then
// writes a backup (and calls backupWritten()) or postpones for a second.
// Both timers are single-shot, so a check that neither writes, fails nor
// postpones ends the cycle until reset(), start() or applySettings() starts
// it again.
//
// Backups go to "<name>_backup<index>.kl" with the index running 1, 2, ...,
// maxBackups() and back to 1: the ring never grows beyond its size, and the
// oldest backup is the one overwritten. A ring found in the folder, left by
// an earlier run that may have crashed or by an earlier scene of the name,
// goes on after its newest backup rather than at 1; the newest backup an
// earlier run left there is never overwritten while the ring has another
// slot.
//
// Each manager keeps a record of its run, the backups it wrote, from its
// start until it is destroyed. A record found without its run, at the
// start, is of a run that did not end normally (a crash, a kill, a power
// cut): lostWorkNotice() names the backups of it that still hold work
// newer than what they back up. Several runs at once keep a record each,
// and each record is taken by one later run only.
//
// Times come from a clock (milliseconds since the epoch), the system's
// unless a test sets its own.
class AutosaveManager : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<qint64()>;

    // Reads the autosave preferences and follows their changes.
    explicit AutosaveManager(QObject *parent = nullptr);
    ~AutosaveManager() override;

    void setClock(Clock clock);
    qint64 currentMSecsSinceEpoch() const;

    // Where the runs keep their records.
    static QString runRecordFolder();
    // What the user is to hear of the runs that did not end normally before
    // this manager started: the backups they wrote that are newer than the
    // scene files they back up (any, for a scene never saved), where they
    // are, when they were written and how to open them. Empty when there
    // are none.
    QString lostWorkNotice() const;
    // The same for the backups in `folder` of the scene file `sceneFile`
    // that are newer than it.
    QString newerBackupsNotice(const QString &folder, const QString &sceneFile) const;

    // The file name of the next backup of a scene of that name.
    QString backupFileName(const QString &baseName) const;
    // The path of the next backup of a scene of that name in that folder.
    // The first one since the start, a reset, or another folder or name,
    // looks there for the newest backup of the ring and goes on after it.
    QString backupPath(const QString &folder, const QString &baseName);
    int nextBackupIndex() const;
    bool hasChangesToBackUp() const;
    int intervalMinutes() const;
    int maxBackups() const;

public Q_SLOTS:
    void markSceneChanged();
    // A new scene: nothing to back up, the ring starts at 1 unless the
    // folder holds one already, and a running interval starts afresh.
    void reset();
    // Looks again in a second.
    void postpone();
    // The backup backupPath() last named is on the disk; `sceneFile` is the
    // file it backs up, empty for a scene never saved.
    void backupWritten(const QString &sceneFile = QString());
    // A backup that could not be written: the changes still wait, the next
    // backup takes the ring's next slot (the failure may be the slot's) and
    // is tried an interval later.
    void backupFailed();
    // A ring slot that holds a file the backups must not replace: the next
    // backup takes the slot after it.
    void skipBackup();
    void setMaxBackups(int count);
    void setIntervalMinutes(int minutes);
    void start();
    void applySettings();

Q_SIGNALS:
    void autosaveTimeout();
    void autosaveReminderTimeout();

private:
    std::unique_ptr<AutosaveManagerPrivate> d;
};
