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
// maxBackups() and back to 1, the oldest backup being the one overwritten. A
// ring found in the folder, left by an earlier run or by an earlier scene of
// the name, goes on after its newest backup rather than at 1; the newest
// backup an earlier run left there is not overwritten while the ring has
// another slot.
//
// Each manager keeps a record of its run from its start until it is
// destroyed: the backups it wrote, the slot it is about to write, and the
// unsaved work it took over from runs that did not end normally. A record
// found without its run, at the start, is of a run that did not end
// normally (a crash, a kill, a power cut), or one that quit and passed on
// work it had been told of and that nobody opened. The starting run takes
// such a record into its own before the dead run's goes, so that it dies
// with the run in no state that loses it; lostWorkNotice() names the
// backups in it that still hold work newer than what they back up.
//
// No backup is written over another run's: the slots named in the records
// of the runs alive, and the unsaved work taken over, are skipped. With the
// whole ring held, the backups go on to the numbers past its end that no
// file has. Taken-over work stays held and named at every start until the
// user opens it (fileOpened()), removes it, or saves the scene it backs up.
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
    // that are newer than it. A backup named here is not named again by
    // lostWorkNotice().
    QString newerBackupsNotice(const QString &folder, const QString &sceneFile) const;
    // The user opened `path`: if it is unsaved work taken over from a run
    // that did not end normally, it is theirs now, and no longer named.
    void fileOpened(const QString &path);

    // The file name of the next backup of a scene of that name.
    QString backupFileName(const QString &baseName) const;
    // The path of the next backup of a scene of that name in that folder,
    // held in the run's record from now on. The first one since the start,
    // a reset, or another folder or name, looks there for the newest backup
    // of the ring and goes on after it.
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
