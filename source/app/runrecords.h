#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>

class QLockFile;

// What the runs of the program know of the backups they wrote, kept beside
// one another in one folder, so that no run writes over another's work and
// the work of a run that did not end normally is found at the next start.
//
// Each run keeps "<id>.lock", held for as long as it lives, and
// "<id>.backups", one JSON line per backup: its path, the scene file it
// backs up (empty for a scene never saved), and how the run has it. A
// record found without its run's lock is of a run that did not end
// normally (a crash, a kill, a power cut, a logout), or of one that quit
// and passed on what it knew. The starting run takes such a record into its
// own before the other goes, so that a kill at any moment loses nothing.
//
// A run has each backup it knows of as one of:
// - written: by this run;
// - lost work: unsaved work of a run that did not end normally, newer than
//   the scene file it backs up; held and named at every start until the
//   user opens it, removes it, or saves the scene it backs up;
// - spare: a backup of this program's that holds nothing unsaved; only a
//   later backup of the run that knows it may go there.
// The slot about to be written is claimed first, with the time of the
// claim: a claimed slot whose file was written after the claim is the work
// of the run that claimed it, one untouched since holds what it held.
//
// A run that cannot keep a record (the folder cannot be made or written)
// still holds every slot the others name; trouble() says why it keeps none.
class RunRecords
{
public:
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
        // ends normally, or once they saved it, however the run ends.
        bool opened = false;
        bool saved = false;
        // Why the user could not open it; empty until they tried.
        QString failure;
    };

    // Begins the run: takes its lock, then the records of the runs gone.
    RunRecords();
    // Ends the run normally: what it knows and nobody opened is passed on.
    ~RunRecords();
    // Ends the run as one that did not end normally, but for its lock,
    // which goes: its record stays as it is, and the next start takes what
    // it wrote as the work of a run that did not end normally. Nothing is
    // written for the run after this.
    void endInterrupted();

    RunRecords(const RunRecords &) = delete;
    RunRecords &operator=(const RunRecords &) = delete;

    // Where the runs keep their records.
    static QString folder();
    // Why this run keeps no record, in the system's words; empty while it
    // keeps one.
    QString trouble() const;

    // The lost work not opened in this run, after dropping what no longer
    // holds unsaved work.
    QList<Backup> lostWork();
    // The slots no backup of this run may write: every slot another run's
    // record names, and the lost work.
    QSet<QString> held() const;
    // Whether a backup of this run may write over the file at path: one
    // this program wrote as a backup and that this run knows of, not held.
    bool mayReplace(const QString &path) const;
    // What this run knows of the backup at path; null when nothing.
    const Backup *find(const QString &path) const;

    // The slot about to be written, and the scene file it is to back up.
    void claim(const QString &path, const QString &sceneFile);
    // The claimed slot is on the disk, or it is not and never will be.
    void claimWritten();
    void claimGivenUp();

    // The user opened path, or tried to and could not, for that reason.
    void opened(const QString &path);
    void openFailed(const QString &path, const QString &reason);
    // The user saved their scene at path: it is theirs, no backup.
    void forget(const QString &path);
    // The user saved the work they opened from the backup at path: held
    // for the rest of the run, it is no lost work for the next.
    void recoveredSaved(const QString &path);
    // The user saved the scene that this run's backups at paths are of, as
    // sceneFile: they hold what that file holds, or less.
    void savedAs(const QStringList &paths, const QString &sceneFile);

private:
    struct Claim
    {
        QString path;
        QString sceneFile;
        qint64 since = 0;
    };

    void begin();
    void end();
    void take(const QString &base);
    void merge(const QList<Backup> &taken);
    bool write();
    void pruneLostWork();

    QString m_base;
    std::unique_ptr<QLockFile> m_lock;
    QString m_trouble;
    QList<Backup> m_backups;
    Claim m_claim;
};
