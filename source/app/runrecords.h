#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QLockFile;

// What the runs of the program know of the backups they wrote, kept beside
// one another in one folder, so that no run writes over another's work and
// the work of a run that did not end normally is found at the next start.
// A file is a backup when a record names it as one, whatever its name and
// wherever it lies.
//
// Each run keeps "<id>.lock", held for as long as it lives, and
// "<id>.backups", one JSON line per backup: its path, the scene file it
// backs up (empty for a scene never saved), and how the run has it. A
// record found without its run's lock is of a run that did not end
// normally (a crash, a kill, a power cut, a logout), or of one that quit
// and passed on what it knew. The starting run takes such a record into its
// own before the other goes, so that a kill at any moment loses nothing.
// The record's first line says how the run stands: whether it has changes
// that no file holds (from the first change until a backup or a save holds
// it, whatever autosave is set to), whether autosave is off, and why its
// last work could not be kept, if so. The record is written as the run
// starts, with room kept for that line, so that a disk that fills later
// cannot keep the mark from being set.
//
// A run has each backup it knows of as one of:
// - written: by this run;
// - lost work: unsaved work of a run that did not end normally, judged so
//   by the records alone, once, when that run's record was taken: every
//   backup it wrote, but those of a scene it recorded a save of after
//   them. No file's time counts, nor a save by another run or program:
//   only the run that wrote a backup knows what its scene held when it
//   saved. Held and named at every start until the user opens it or
//   removes it; saving the scene it backs up does not change that, since
//   it still holds work the file does not;
// - spare: a backup of this program's that holds nothing unsaved; only a
//   later backup of the run that knows it may go there. A spare whose work
//   the user saved in a file of theirs is marked so: no record names it as
//   lost work any more, whichever run the user saved it in. So is every
//   backup that the saved one carries on from, through scenes recovered
//   from backups.
// A backup whose folder cannot be seen (a drive not mounted, a share away,
// a folder closed to the user) is held as it is and judged once it can be:
// an entry goes only when its folder is there and its file is not.
// The slot about to be written is claimed first, with what the slot's file
// was then (its size, time and identity): a claimed slot whose file has
// changed since is the work of the run that claimed it, one unchanged holds
// what it held. Claims are made one run at a time, under a lock that the
// runs share; a run that cannot get it claims nothing, and a slot another
// run's record names is never claimed.
//
// A run that cannot keep a record (the folder cannot be made or written)
// still holds every slot the others name and names the work of the runs
// gone, whose records it leaves for a start that can take them; trouble()
// says why it keeps none.
class RunRecords
{
public:
    // What a slot's file is: whether it is there, and its size, time and
    // identity (where the system has one) if so.
    struct SlotState
    {
        bool exists = false;
        qint64 size = 0;
        qint64 time = 0;
        QString id;
        bool operator==(const SlotState &) const = default;
    };

    struct Backup
    {
        enum Kind { Written, LostWork, Spare };
        QString path;
        QString sceneFile;
        Kind kind = Written;
        // Of lost work: the run that wrote it, and whether that run ended
        // just before this one started rather than further back.
        QString run;
        bool lastRun = false;
        // Lost work the user opened in this run; it is theirs once the run
        // ends normally, or once they saved it, however the run ends. Of a
        // spare, that the user saved its work.
        bool opened = false;
        bool saved = false;
        // Why the user could not open it; empty until they tried.
        QString failure;
        // Of lost work: that the user was told it cannot be reached; it is
        // named again once its folder can be.
        bool toldAway = false;
        // The backup that the scene it backs up was recovered from, if one.
        QString from;
        // Of a claim of a run gone whose folder could not be seen: when it
        // was made, and the slot as it was then (none in earlier versions'
        // claims). It is held, and judged like any claim once its folder
        // can be seen.
        struct Pending
        {
            qint64 since = 0;
            std::optional<SlotState> before;
        };
        std::optional<Pending> pending;
    };

    // What came of a claim: made; refused, another run's record naming the
    // slot; or not tried, another run holding the lock the runs claim under.
    enum class Claimed { Yes, HeldElsewhere, LockBusy };

    // Begins the run: takes its lock, then the records of the runs gone.
    RunRecords();
    // Ends the run normally: what it knows and nobody opened is passed on.
    ~RunRecords();
    // Ends the run as one that did not end normally, but for its lock,
    // which goes: its record stays as it is, and the next start takes what
    // it wrote as the work of a run that did not end normally. Nothing is
    // written for the run after this. `unkept` says why the work it had
    // left could not be kept (its last backup failed), which the next start
    // tells; empty when nothing was left unkept.
    void endInterrupted(const QString &unkept = QString());

    RunRecords(const RunRecords &) = delete;
    RunRecords &operator=(const RunRecords &) = delete;

    // Where the runs keep their records.
    static QString folder();
    // Why this run keeps no record, in the system's words; empty while it
    // keeps one.
    QString trouble() const;

    // Whether autosave is off in this run: should the run not end normally,
    // it leaves nothing, and the next start says so.
    void setAutosaveOff(bool off);
    // Whether the run has changes that neither a file nor a backup holds,
    // whatever autosave is set to: a run that does not end normally says
    // so. The mark goes in the room the record keeps for it from the start.
    void setChanged(bool changed);
    // An export of this run made the folder it keeps its files in until
    // they are complete, or it went: should the run not end normally, the
    // next start removes it.
    void setExportFolder(const QString &folder, bool made);
    // Whether a run this one took over did not end normally while autosave
    // was off, with changes, and so left no backup of them.
    bool tookUnkeptRun() const;
    // Whether a run this one took over did not end normally with changes
    // made since its last backup or save, or before its first, that no
    // file holds (autosave had not written them yet).
    bool tookUnbackedChanges() const;
    // Why the last work of runs this one took over could not be kept, one
    // for each such run.
    QStringList unkeptWork() const;
    // Why the backup at path cannot be reached now (its folder is not
    // there, or closed), in the system's words; empty when it can.
    static QString whyUnreachable(const QString &path);

    // The lost work not opened in this run, after dropping what the user
    // removed or saved in another run, but for that which the user was told
    // cannot be reached and still cannot.
    QList<Backup> lostWork();
    // The user was told that the lost work at paths cannot be reached now.
    void toldUnreachable(const QStringList &paths);
    // The slots no backup of this run may write: every slot another run's
    // record names, and the lost work.
    QSet<QString> held() const;
    // Every backup this run's record and the others' name.
    QList<Backup> known() const;
    // Whether a record names the file at path as a backup.
    bool names(const QString &path) const;
    // Whether a backup of this run may write over the file at path: one
    // this program wrote as a backup and that this run knows of, not held.
    bool mayReplace(const QString &path) const;
    // What this run knows of the backup at path; null when nothing.
    const Backup *find(const QString &path) const;

    // Claims the slot about to be written, of the scene file it is to back
    // up, of a scene recovered from the backup `from` if one. Claims
    // nothing when another run's record names the slot, or when the lock
    // that the runs claim under is held by another run for longer than a
    // claim takes; claimTrouble() then says so.
    Claimed claim(const QString &path, const QString &sceneFile, const QString &from = QString());
    QString claimTrouble() const;
    // The claimed slot is on the disk, or it is not and never will be.
    void claimWritten();
    void claimGivenUp();

    // The user opened path, or tried to and could not, for that reason.
    void opened(const QString &path);
    void openFailed(const QString &path, const QString &reason);
    // The user saved their scene at path: it is theirs, no backup.
    void forget(const QString &path);
    // The user saved the work they opened from the backup at path: held
    // for the rest of the run, it is no lost work for the next, nor for a
    // run that holds it as lost work meanwhile.
    void recoveredSaved(const QString &path);
    // The user saved the scene that this run's backups at paths are of, as
    // sceneFile: they hold what that file holds, or less.
    void savedAs(const QStringList &paths, const QString &sceneFile);

private:
    struct Claim
    {
        QString path;
        QString sceneFile;
        QString from;
        qint64 since = 0;
        SlotState before;
    };

    void begin();
    void end();
    void take(const QString &base);
    void merge(const QList<Backup> &taken);
    bool write();
    // How the run stands, as the record's first line says it, in at most
    // room bytes; and that line written in place, or the record anew.
    QByteArray stateLine(qsizetype room) const;
    bool writeState();
    void pruneLostWork();
    bool settlePending();
    QString release(const QString &path);

    QString m_base;
    std::unique_ptr<QLockFile> m_lock;
    QString m_trouble;
    QList<Backup> m_backups;
    Claim m_claim;
    bool m_autosaveOff = false;
    bool m_changed = false;
    bool m_tookUnkeptRun = false;
    bool m_tookUnbackedChanges = false;
    // The length of the mark in the first line of the record on the disk,
    // -1 while there is none, and the room that line has.
    qsizetype m_stateWritten = -1;
    qsizetype m_stateRoom = 0;
    QStringList m_exports;
    QStringList m_unkeptWork;
    QString m_unkept;
    QString m_claimTrouble;
};
