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
// Backups go to "<name>_backup<index>.kl". The slots a backup may take are
// the first maxBackups() numbers whose file no run holds (RunRecords), that
// is not a file of the user's (a recent file, the scene's own), and that is
// either not there or a backup this run knows it may replace; the ring goes
// round those, after the newest of them, so the oldest goes first. Held
// slots thus push the ring past its end, and slots past it that nothing
// holds any more are taken again: the folder keeps the ring, the held
// files, and at most one ring more. No backup writes over a file that this
// program did not write as a backup, whoever's it may be.
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

    // The name of the scene the file at path backs up ("walk" for
    // ".../walk_backup2.kl"), when a run's record names it as a backup,
    // wherever it lies. Empty for any other file, whatever its name: it is
    // the user's own.
    QString recoveredName(const QString &path) const;
    // The scene file the backup at path backs up: the one it was written
    // of, else the file of its scene's name beside it; empty when there is
    // none (a scene never saved).
    QString backedUpScene(const QString &path) const;

    // What the user is to hear of the runs that did not end normally before
    // this manager started: the backups that they wrote and that held
    // unsaved work when their records were taken over (all but those of a
    // scene the run saved after them), wherever they are, when they were
    // written and how to open them, or that they cannot be reached now;
    // the newest few, and how many more where, in a few folders, then in
    // how many others. A backup told to be out of reach is named again
    // only at a start when its folder can be reached. That a run ended so
    // with changes it kept nowhere (autosave off, or not yet due), or that
    // its last backup failed and why, is told once. Empty when there is
    // nothing to tell.
    QString lostWorkNotice() const;
    // The same for the backups of the scene file `sceneFile` that are newer
    // than it, and whether the next backup of it, in `folder`, replaces one.
    // A backup named here is not named again by lostWorkNotice().
    QString newerBackupsNotice(const QString &folder, const QString &sceneFile) const;
    // Why this run's backups cannot be found after a crash (its record
    // cannot be kept), in the system's words; empty while they can.
    QString recordTrouble() const;
    // The user opened `path`, or could not for that reason: unsaved work
    // of a run that did not end normally, once opened, is named no more.
    void fileOpened(const QString &path);
    void openFailed(const QString &path, const QString &reason);
    // The user saved the scene at `path`: no backup goes there, and the
    // backups written of it since reset() back up that file. A scene opened
    // from a backup names it in `recoveredFrom`: its work is in the user's
    // file now, and a crash no longer leaves it as lost work.
    void fileSaved(const QString &path, const QString &recoveredFrom = QString());
    // The run ends without the user's choice (the system ended it): its
    // backups stay the work of a run that did not end normally, named at
    // the next start as after a crash. `unkept` says why the work it had
    // left could not be backed up, for the next start to tell.
    void endInterrupted(const QString &unkept = QString());

    // Where the next backup of a scene of that name in that folder, of the
    // scene file `sceneFile` (empty for a scene never saved), goes as things
    // stand. The first one since the start, a reset, or another folder or
    // name, goes on after the ring's newest backup.
    QString nextBackupPath(const QString &folder, const QString &baseName,
                           const QString &sceneFile = QString()) const;
    // The same, claimed in the run's record from now on: no other run
    // writes there. `recoveredFrom` names the backup the scene was
    // recovered from, if it was. Empty, claiming nothing, when another run
    // keeps the records locked; claimTrouble() says so, and the changes
    // wait for the next backup.
    QString backupPath(const QString &folder, const QString &baseName, const QString &sceneFile = QString(),
                       const QString &recoveredFrom = QString());
    QString claimTrouble() const;
    bool hasChangesToBackUp() const;
    int intervalMinutes() const;
    int maxBackups() const;

public Q_SLOTS:
    void markSceneChanged();
    // The scene is back as its file holds it (its changes undone): there is
    // nothing to back up.
    void markSceneUnchanged();
    // A new scene: nothing to back up, the ring starts at 1 unless the
    // folder holds one already, and a running interval starts afresh.
    void reset();
    // Looks again in a second.
    void postpone();
    // The backup backupPath() last named is on the disk.
    void backupWritten();
    // A backup that could not be written: the changes still wait, the next
    // backup takes the ring's next slot (the failure may be the slot's) and
    // is tried an interval later.
    void backupFailed();
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
