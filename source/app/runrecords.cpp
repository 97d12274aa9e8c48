#include "runrecords.h"

#include "export/exportfolder.h"
#include "io/filewriting.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <system_error>
#include <utility>

#if defined(Q_OS_UNIX)
#include <signal.h>
#include <sys/stat.h>
#elif defined(Q_OS_WIN)
#include <windows.h>
#endif

namespace {

const QString LockSuffix = QStringLiteral(".lock");
const QString RecordSuffix = QStringLiteral(".backups");
const QString EarlierMark = QStringLiteral("earlier");
const QString SpareMark = QStringLiteral("spare");
const QString ClaimedMark = QStringLiteral("claimed");
// Taken by a run while it looks for a slot in the others' records and
// claims it; not "*.lock", which is a run's.
const QString ClaimingLock = QStringLiteral("claiming.lck");
// Claims take milliseconds: a run that holds the lock longer is stopped or
// hung, and a run waiting for it claims nothing this time.
constexpr int ClaimingWait = 5000;

// Earlier versions judged a claim by its time against the file's, allowing
// for disks that keep times to two seconds.
constexpr qint64 FileTimeSlack = 2000;

// The bytes a record keeps for its first line, how the run stands, before
// that line's end: a mark written there later overwrites bytes the record
// holds already, and so needs no room that a disk filled since the start
// may lack.
constexpr qsizetype StateRoom = 4095;

// The records of the runs of this process that are still alive, by path
// without suffix. A record of this process's id that is not one of them was
// left by an earlier run that had the same id.
QSet<QString> &liveRecords()
{
    static QSet<QString> records;
    return records;
}

QString absolute(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

RunRecords::SlotState slotState(const QString &path)
{
    RunRecords::SlotState state;
    const QFileInfo file(path);
    if (!file.isFile())
        return state;
    state.exists = true;
    state.size = file.size();
    state.time = file.lastModified().toMSecsSinceEpoch();
#ifdef Q_OS_UNIX
    // A backup is written beside its slot and renamed into place: a new
    // file, even where the disk keeps coarse times and the size is alike.
    struct stat status {};
    if (::stat(QFile::encodeName(file.absoluteFilePath()).constData(), &status) == 0)
        state.id = QStringLiteral("%1:%2").arg(quint64(status.st_dev)).arg(quint64(status.st_ino));
#endif
    return state;
}

QJsonValue toJson(const RunRecords::SlotState &state)
{
    if (!state.exists)
        return QJsonValue::Null;
    return QJsonObject{{QLatin1String("size"), state.size},
                       {QLatin1String("time"), state.time},
                       {QLatin1String("id"), state.id}};
}

RunRecords::SlotState slotStateFrom(const QJsonValue &value)
{
    RunRecords::SlotState state;
    const QJsonObject file = value.toObject();
    state.exists = value.isObject();
    state.size = file.value(QLatin1String("size")).toInteger();
    state.time = file.value(QLatin1String("time")).toInteger();
    state.id = file.value(QLatin1String("id")).toString();
    return state;
}

// One line of a record, as it was written.
struct Line
{
    RunRecords::Backup backup;
    QString mark;
    qint64 since = 0;
    // Of a claim: the slot as it was then; none in earlier versions' claims.
    std::optional<RunRecords::SlotState> before;
};

struct Record
{
    QList<Line> lines;
    bool autosaveOff = false;
    // Whether the run had changes that neither a file nor a backup held.
    // Earlier versions said so only with autosave off, and are taken to
    // have had them when they did not say.
    bool changed = false;
    // Why the last work of the run could not be kept.
    QString unkept;
    // The folders of its exports under way.
    QStringList exports;
};

// One line per backup: a JSON array of its path, its scene file, and, but
// for a backup the run wrote itself, a mark with what goes with it. Earlier
// versions wrote the first two alone, or a mark without the rest. A line
// that is an object says how the run is set up; earlier versions pass it
// over.
Record readRecord(const QString &path)
{
    Record record;
    QFile list(path);
    if (!list.open(QIODevice::ReadOnly))
        return record;
    // A power cut may have cut the last line short.
    while (!list.atEnd()) {
        const QJsonDocument document = QJsonDocument::fromJson(list.readLine());
        if (document.isObject()) {
            const QJsonObject state = document.object();
            record.autosaveOff = state.value(QLatin1String("autosave")) == QJsonValue(false);
            record.changed = state.value(QLatin1String("changed")).toBool(record.autosaveOff);
            record.unkept = state.value(QLatin1String("unkept")).toString(record.unkept);
            const QJsonArray exports = state.value(QLatin1String("partial")).toArray();
            for (const QJsonValue &folder : exports)
                record.exports << folder.toString();
            continue;
        }
        const QJsonArray entry = document.array();
        if (entry.size() < 2 || !entry.at(0).isString() || entry.at(0).toString().isEmpty())
            continue;
        const QJsonObject more = entry.at(3).toObject();
        Line line;
        line.backup.path = absolute(entry.at(0).toString());
        line.backup.sceneFile = entry.at(1).toString();
        line.backup.run = more.value(QLatin1String("run")).toString();
        line.backup.failure = more.value(QLatin1String("fails")).toString();
        line.backup.saved = more.value(QLatin1String("saved")).toBool();
        line.backup.from = more.value(QLatin1String("from")).toString();
        line.backup.toldAway = more.value(QLatin1String("told")).toBool();
        line.mark = entry.at(2).toString();
        line.since = more.value(QLatin1String("since")).toInteger();
        if (more.contains(QLatin1String("before")))
            line.before = slotStateFrom(more.value(QLatin1String("before")));
        record.lines.append(line);
    }
    return record;
}

// A claimed slot is the claiming run's work when its file changed after the
// claim; one unchanged holds what it held, which the record names on
// another line if it is a backup. Only a claim of an earlier version, which
// did not note the slot as it was, is judged by the file's time.
bool claimWasWritten(const QString &path, qint64 since, const std::optional<RunRecords::SlotState> &before)
{
    const RunRecords::SlotState now = slotState(path);
    if (!now.exists)
        return false;
    if (before)
        return now != *before;
    return now.time >= since - FileTimeSlack;
}

// The kind a line has for the run that reads it in a record of another.
RunRecords::Backup::Kind kindOf(const Line &line)
{
    if (line.mark == SpareMark)
        return RunRecords::Backup::Spare;
    return line.mark == EarlierMark ? RunRecords::Backup::LostWork : RunRecords::Backup::Written;
}

QString systemError(std::errc error)
{
    return Model::systemErrorText(std::make_error_code(error));
}

// Whether the files at a and b hold the same bytes.
bool sameContents(const QString &a, const QString &b)
{
    QFile first(a);
    QFile second(b);
    if (first.size() != second.size() || !first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly))
        return false;
    constexpr qint64 Chunk = 1 << 16;
    while (!first.atEnd()) {
        const QByteArray bytes = first.read(Chunk);
        if (bytes.isEmpty() || bytes != second.read(Chunk))
            return false;
    }
    return second.atEnd();
}

// Whether an entry may go because its backup is gone. Lost work is gone
// only from a folder that can be seen: one that cannot may be on a drive
// not there yet. Anything else holds nothing unsaved.
bool isGone(const RunRecords::Backup &backup)
{
    if (backup.pending || QFileInfo(backup.path).isFile())
        return false;
    return backup.kind != RunRecords::Backup::LostWork || RunRecords::whyUnreachable(backup.path).isEmpty();
}

bool processIsRunning(qint64 pid)
{
#if defined(Q_OS_UNIX)
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
#elif defined(Q_OS_WIN)
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
#else
    Q_UNUSED(pid);
    return true;
#endif
}

// Whether the run of the lock at base is gone, judged without writing,
// which taking a stale lock needs: a record without a lock is of a run
// gone, one whose lock names a process of this host that is not running
// is too. A run of another host cannot be judged, and is taken for alive.
bool runIsGone(const QString &base)
{
    const QString lockPath = base + LockSuffix;
    if (!QFileInfo::exists(lockPath))
        return true;
    qint64 pid = 0;
    QString host;
    if (!QLockFile(lockPath).getLockInfo(&pid, &host, nullptr) || host != QSysInfo::machineHostName())
        return false;
    return pid == QCoreApplication::applicationPid() || !processIsRunning(pid);
}

// The lines of every record but the one at ownRecord.
QList<Line> othersLines(const QString &ownRecord)
{
    QList<Line> lines;
    const QString runs = RunRecords::folder();
    if (runs.isEmpty())
        return lines;
    const QDir dir(runs);
    const QStringList records = dir.entryList({QLatin1Char('*') + RecordSuffix}, QDir::Files);
    for (const QString &record : records) {
        const QString path = dir.filePath(record);
        if (path != ownRecord)
            lines += readRecord(path).lines;
    }
    return lines;
}

} // namespace

RunRecords::RunRecords()
{
    begin();
}

RunRecords::~RunRecords()
{
    end();
}

QString RunRecords::folder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString()
                          : QDir(data).filePath(QCoreApplication::applicationName() + QStringLiteral("/Runs"));
}

QString RunRecords::trouble() const
{
    return m_trouble;
}

QString RunRecords::whyUnreachable(const QString &path)
{
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.exists())
        return systemError(std::errc::no_such_file_or_directory);
    if (!folder.isDir())
        return systemError(std::errc::not_a_directory);
    if (!folder.isReadable() || !folder.isExecutable())
        return systemError(std::errc::permission_denied);
    return QString();
}

void RunRecords::begin()
{
    const QString runs = folder();
    if (runs.isEmpty()) {
        m_trouble = systemError(std::errc::no_such_file_or_directory);
        return;
    }
    const QDir dir(runs);
    // The run's own record first: whatever it takes over is in it before
    // the record it came from goes.
    const QString base = dir.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces));
    if (Model::makeFolderPath(runs, &m_trouble)) {
        auto lock = std::make_unique<QLockFile>(base + LockSuffix);
        // The run holds its lock for hours: only a run that is gone leaves
        // a stale one.
        lock->setStaleLockTime(0);
        if (lock->tryLock(0)) {
            m_base = base;
            m_lock = std::move(lock);
            liveRecords().insert(base);
        } else {
            // The lock file says nothing of why; a line written where the
            // record would go does.
            QSaveFile probe(base + RecordSuffix);
            if (!probe.open(QIODevice::WriteOnly))
                m_trouble = probe.errorString();
            else if (Model::writeAll(probe, "\n", &m_trouble))
                Model::flushAll(probe, &m_trouble);
            if (m_trouble.isEmpty())
                m_trouble = systemError(lock->error() == QLockFile::PermissionError ? std::errc::permission_denied
                                                                                    : std::errc::io_error);
        }
    }
    // Without a record of its own, the run still names the work of the runs
    // gone.
    if (!dir.exists())
        return;

    // Records, and what a kill left of their rewriting (QSaveFile's
    // "<record>.XXXXXX"), by the run they belong to.
    QSet<QString> others;
    const QStringList files = dir.entryList({QLatin1Char('*') + LockSuffix, QLatin1Char('*') + RecordSuffix,
                                             QLatin1Char('*') + RecordSuffix + QStringLiteral(".*")},
                                            QDir::Files);
    for (const QString &file : files)
        others.insert(dir.filePath(file.section(u'.', 0, 0)));
    others.remove(base);
    for (const QString &other : std::as_const(others))
        take(other);
    // Written now, while the disk surely has room, so that the room for the
    // marks of this run's changes is the record's own.
    if (m_lock)
        write();
}

void RunRecords::end()
{
    if (!m_lock)
        return;
    // What the run wrote, and the work it took over that the user opened,
    // holds nothing the user did not choose to keep or not when they quit:
    // it is passed on as spare. Work nobody opened is passed on as it is.
    pruneLostWork();
    for (Backup &backup : m_backups) {
        if (backup.kind == Backup::Written || backup.opened)
            backup.kind = Backup::Spare;
    }
    m_backups.removeIf(isGone);
    m_claim = {};
    // A run that ends normally leaves no work unkept, whatever autosave was:
    // the user chose what to keep.
    m_autosaveOff = false;
    m_changed = false;
    if (m_backups.isEmpty())
        QFile::remove(m_base + RecordSuffix);
    else
        // Should this fail, the record as it was still names the work.
        write();
    liveRecords().remove(m_base);
    m_lock->unlock();
}

void RunRecords::endInterrupted(const QString &unkept)
{
    if (!m_lock)
        return;
    // The run backed up what it had before it ended, or says why it could
    // not, so nothing went unkept for want of autosave: what it wrote is
    // named as a crash's work is.
    m_unkept = unkept;
    m_autosaveOff = false;
    // A disk full by now takes no new record, but the mark goes where the
    // record holds room for it.
    if (!write())
        writeState();
    liveRecords().remove(m_base);
    m_lock->unlock();
    m_lock.reset();
    m_base.clear();
}

// Takes the record of a run that is gone: a run that is alive holds its lock,
// and of several runs that start at once only one gets a stale one, or the
// lock of a record without a run. Whether the backups the gone run wrote
// hold unsaved work is judged here, once: the record this run passes on
// keeps that judgement until the user acts.
void RunRecords::take(const QString &base)
{
    if (liveRecords().contains(base))
        return;
    QLockFile lock(base + LockSuffix);
    lock.setStaleLockTime(0);
    if (!m_lock) {
        // Without a record of its own the run cannot take the lock, and
        // leaves the record where it is.
        if (!runIsGone(base))
            return;
    } else if (!lock.tryLock(0)) {
        qint64 pid = 0;
        QString host;
        if (!lock.getLockInfo(&pid, &host, nullptr) || pid != QCoreApplication::applicationPid()
            || host != QSysInfo::machineHostName() || !lock.removeStaleLockFile() || !lock.tryLock(0))
            return;
    }
    const QString listPath = base + RecordSuffix;
    const QString run = QFileInfo(base).fileName();
    const qint64 recordTime = QFileInfo(listPath).lastModified().toMSecsSinceEpoch();
    QList<Backup> taken;
    bool keptWork = false;
    const Record record = readRecord(listPath);
    for (Line line : record.lines) {
        Backup &backup = line.backup;
        // A claim the run made itself, or one it carried for a run before.
        const bool ownLine = backup.run.isEmpty();
        if (line.mark == ClaimedMark) {
            const qint64 since = line.since > 0 ? line.since : recordTime;
            if (!whyUnreachable(backup.path).isEmpty()) {
                backup.kind = Backup::LostWork;
                backup.pending = Backup::Pending{since, line.before};
                backup.lastRun = ownLine;
                if (ownLine)
                    backup.run = run;
                taken.append(backup);
                continue;
            }
            if (!claimWasWritten(backup.path, since, line.before))
                continue;
            line.mark.clear();
        }
        backup.kind = kindOf(line);
        if (backup.kind == Backup::Written && !backup.sceneFile.isEmpty()
            && sameContents(backup.path, backup.sceneFile)) {
            // A scene backed up as it was saved, or changed and changed
            // back: its file holds all it holds.
            backup.kind = Backup::Spare;
            backup.saved = true;
        } else if (backup.kind == Backup::Written) {
            // Written, and no save of its scene recorded after it (that
            // would have made it a spare): work that no file holds.
            keptWork = true;
            backup.kind = Backup::LostWork;
            backup.lastRun = ownLine;
            if (ownLine)
                backup.run = run;
        } else if (backup.kind == Backup::LostWork && backup.run.isEmpty()) {
            backup.run = run;
        }
        taken.append(backup);
    }
    if (!record.unkept.isEmpty()) {
        if (!m_unkeptWork.contains(record.unkept))
            m_unkeptWork << record.unkept;
    } else if (record.changed) {
        if (record.autosaveOff && !keptWork)
            m_tookUnkeptRun = true;
        else
            m_tookUnbackedChanges = true;
    }
    merge(taken);
    if (!m_lock)
        return;
    // What its exports left half made is nobody's.
    for (const QString &folder : record.exports)
        Model::ExportFolder::removeLeftover(folder);
    // A record that cannot be passed on stays for the next start.
    if (!taken.isEmpty() && !write())
        return;
    QFile::remove(listPath);
    const QDir dir(QFileInfo(base).absolutePath());
    const QStringList temporaries = dir.entryList({run + RecordSuffix + QStringLiteral(".*")}, QDir::Files);
    for (const QString &temporary : temporaries)
        QFile::remove(dir.filePath(temporary));
}

void RunRecords::merge(const QList<Backup> &taken)
{
    for (const Backup &backup : taken) {
        const auto known = std::find_if(m_backups.begin(), m_backups.end(),
                                        [&backup](const Backup &other) { return other.path == backup.path; });
        if (known == m_backups.end())
            m_backups.append(backup);
        // Work is never taken for a spare, but the user saved what it
        // holds wherever a record says so. A backup known to be written
        // is no claim waiting to be judged.
        else if (backup.kind == Backup::LostWork
                     ? (known->kind != Backup::LostWork && !known->saved) || (known->pending && !backup.pending)
                     : backup.saved && known->kind == Backup::LostWork)
            *known = backup;
    }
}

bool RunRecords::write()
{
    if (m_base.isEmpty())
        return false;
    const QByteArray state = stateLine(StateRoom);
    QByteArray lines = state.leftJustified(StateRoom, ' ') + '\n';
    const auto line = [&lines](const QString &path, const QString &sceneFile, const QString &mark,
                               const QJsonObject &more) {
        QJsonArray entry{path, sceneFile};
        if (!mark.isEmpty() || !more.isEmpty())
            entry.append(mark);
        if (!more.isEmpty())
            entry.append(more);
        lines += QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
    };
    const auto withFrom = [](QJsonObject more, const QString &from) {
        if (!from.isEmpty())
            more.insert(QLatin1String("from"), from);
        return more;
    };
    for (const Backup &backup : std::as_const(m_backups)) {
        switch (backup.kind) {
        case Backup::Written:
            line(backup.path, backup.sceneFile, QString(), withFrom({}, backup.from));
            break;
        case Backup::LostWork: {
            if (backup.saved) {
                line(backup.path, backup.sceneFile, SpareMark, {{QLatin1String("saved"), true}});
                break;
            }
            // For the run that takes this record, all of it is of a run
            // before the one it takes it from.
            QJsonObject more{{QLatin1String("run"), backup.run}};
            if (backup.pending) {
                more.insert(QLatin1String("since"), backup.pending->since);
                if (backup.pending->before)
                    more.insert(QLatin1String("before"), toJson(*backup.pending->before));
                line(backup.path, backup.sceneFile, ClaimedMark, withFrom(more, backup.from));
                break;
            }
            if (!backup.failure.isEmpty())
                more.insert(QLatin1String("fails"), backup.failure);
            if (backup.toldAway)
                more.insert(QLatin1String("told"), true);
            line(backup.path, backup.sceneFile, EarlierMark, withFrom(more, backup.from));
            break;
        }
        case Backup::Spare:
            line(backup.path, backup.sceneFile, SpareMark,
                 backup.saved ? QJsonObject{{QLatin1String("saved"), true}} : QJsonObject());
            break;
        }
    }
    if (!m_claim.path.isEmpty())
        line(m_claim.path, m_claim.sceneFile, ClaimedMark,
             withFrom({{QLatin1String("since"), m_claim.since}, {QLatin1String("before"), toJson(m_claim.before)}},
                      m_claim.from));

    QSaveFile list(m_base + RecordSuffix);
    QString reason;
    if (list.open(QIODevice::WriteOnly) && Model::writeAll(list, lines, &reason)
        && Model::flushAll(list, &reason) && list.commit()) {
        m_stateWritten = state.size();
        m_stateRoom = std::max(StateRoom, state.size());
        return true;
    }
    // The first trouble is the one the user hears of.
    if (m_trouble.isEmpty())
        m_trouble = reason.isEmpty() ? list.errorString() : reason;
    return false;
}

QByteArray RunRecords::stateLine(qsizetype room) const
{
    QJsonObject state{{QLatin1String("changed"), m_changed}};
    if (m_autosaveOff)
        state.insert(QLatin1String("autosave"), false);
    if (!m_exports.isEmpty())
        state.insert(QLatin1String("partial"), QJsonArray::fromStringList(m_exports));
    // Cut to fit, rather than not said at all.
    for (QString unkept = m_unkept;; unkept.chop(1)) {
        if (!unkept.isEmpty())
            state.insert(QLatin1String("unkept"), unkept);
        else
            state.remove(QLatin1String("unkept"));
        const QByteArray line = QJsonDocument(state).toJson(QJsonDocument::Compact);
        if (line.size() <= room || unkept.isEmpty())
            return line;
        unkept.chop(std::min(unkept.size(), line.size() - room - 1));
    }
}

bool RunRecords::writeState()
{
    if (m_base.isEmpty())
        return false;
    // Over the record's first line, in the room it keeps for it: bytes the
    // file holds, with blanks where the mark is shorter than the last one.
    const QByteArray state = stateLine(StateRoom);
    if (m_stateWritten >= 0 && state.size() <= m_stateRoom) {
        QFile list(m_base + RecordSuffix);
        if (list.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)
            && Model::writeAll(list, state.leftJustified(std::max(m_stateWritten, state.size()), ' '))
            && Model::flushAll(list)) {
            m_stateWritten = state.size();
            return true;
        }
    }
    return write();
}

// Claims whose folder can be seen again are judged as the run's record was
// taken: a backup of the run that made them, or nothing.
bool RunRecords::settlePending()
{
    bool changed = false;
    for (auto backup = m_backups.begin(); backup != m_backups.end();) {
        if (!backup->pending || !whyUnreachable(backup->path).isEmpty()) {
            ++backup;
            continue;
        }
        changed = true;
        if (claimWasWritten(backup->path, backup->pending->since, backup->pending->before)) {
            backup->pending.reset();
            ++backup;
        } else {
            backup = m_backups.erase(backup);
        }
    }
    return changed;
}

void RunRecords::pruneLostWork()
{
    bool changed = settlePending();
    QSet<QString> recovered;
    const QList<Line> others = othersLines(m_base + RecordSuffix);
    for (const Line &line : others) {
        if (line.backup.saved)
            recovered.insert(line.backup.path);
    }
    for (Backup &backup : m_backups) {
        if (backup.kind == Backup::LostWork && !backup.opened && recovered.contains(backup.path)) {
            backup.kind = Backup::Spare;
            backup.saved = true;
            backup.pending.reset();
            changed = true;
        }
        // Its folder is back: it is named again.
        if (backup.toldAway && whyUnreachable(backup.path).isEmpty()) {
            backup.toldAway = false;
            changed = true;
        }
    }
    // What the user removed is gone from every list; what cannot be seen
    // now is not known to be gone.
    changed = m_backups.removeIf([](const Backup &backup) { return backup.kind != Backup::Written && isGone(backup); })
            > 0
        || changed;
    if (changed)
        write();
}

QList<RunRecords::Backup> RunRecords::lostWork()
{
    pruneLostWork();
    QList<Backup> lost;
    for (const Backup &backup : std::as_const(m_backups)) {
        if (backup.kind == Backup::LostWork && !backup.opened && !backup.pending && !backup.toldAway)
            lost.append(backup);
    }
    return lost;
}

void RunRecords::toldUnreachable(const QStringList &paths)
{
    bool changed = false;
    for (Backup &backup : m_backups) {
        if (backup.kind == Backup::LostWork && !backup.toldAway && paths.contains(backup.path)) {
            backup.toldAway = true;
            changed = true;
        }
    }
    if (changed)
        write();
}

QSet<QString> RunRecords::held() const
{
    QSet<QString> held;
    for (const Backup &backup : m_backups) {
        if (backup.kind == Backup::LostWork)
            held.insert(backup.path);
    }
    const QList<Line> others = othersLines(m_base + RecordSuffix);
    for (const Line &line : others)
        held.insert(line.backup.path);
    return held;
}

QList<RunRecords::Backup> RunRecords::known() const
{
    QList<Backup> known = m_backups;
    const QList<Line> others = othersLines(m_base + RecordSuffix);
    for (const Line &line : others) {
        Backup backup = line.backup;
        backup.kind = kindOf(line);
        known.append(backup);
    }
    return known;
}

bool RunRecords::names(const QString &path) const
{
    const QString wanted = absolute(path);
    const QList<Backup> backups = known();
    return std::any_of(backups.cbegin(), backups.cend(),
                       [&wanted](const Backup &backup) { return backup.path == wanted; });
}

void RunRecords::setAutosaveOff(bool off)
{
    if (off == m_autosaveOff)
        return;
    m_autosaveOff = off;
    writeState();
}

void RunRecords::setChanged(bool changed)
{
    if (changed == m_changed)
        return;
    m_changed = changed;
    writeState();
}

void RunRecords::setExportFolder(const QString &folder, bool made)
{
    if (made == m_exports.contains(folder))
        return;
    if (made)
        m_exports << folder;
    else
        m_exports.removeAll(folder);
    writeState();
}

bool RunRecords::tookUnkeptRun() const
{
    return m_tookUnkeptRun;
}

bool RunRecords::tookUnbackedChanges() const
{
    return m_tookUnbackedChanges;
}

QStringList RunRecords::unkeptWork() const
{
    return m_unkeptWork;
}

bool RunRecords::mayReplace(const QString &path) const
{
    const Backup *backup = find(path);
    return backup && backup->kind != Backup::LostWork;
}

const RunRecords::Backup *RunRecords::find(const QString &path) const
{
    const QString wanted = absolute(path);
    const auto found = std::find_if(m_backups.cbegin(), m_backups.cend(),
                                    [&wanted](const Backup &backup) { return backup.path == wanted; });
    return found == m_backups.cend() ? nullptr : &*found;
}

RunRecords::Claimed RunRecords::claim(const QString &path, const QString &sceneFile, const QString &from)
{
    const QString wanted = absolute(path);
    m_claimTrouble.clear();
    // One run at a time reads the others' records and claims, so that two
    // runs never claim one slot; the lock goes when this returns. QLockFile
    // takes over the lock of a run that is gone. Where no run can make the
    // lock (the folder closed to all), no run keeps a record there either.
    std::optional<QLockFile> claiming;
    if (QFileInfo(folder()).isDir()) {
        claiming.emplace(QDir(folder()).filePath(ClaimingLock));
        if (!claiming->tryLock(ClaimingWait) && claiming->error() == QLockFile::LockFailedError) {
            m_claimTrouble = QCoreApplication::translate("RunRecords",
                                                         "Another run of %1 keeps the record of backups locked")
                                 .arg(QCoreApplication::applicationName());
            return Claimed::LockBusy;
        }
    }
    const QList<Line> others = othersLines(m_base + RecordSuffix);
    if (std::any_of(others.cbegin(), others.cend(), [&wanted](const Line &line) { return line.backup.path == wanted; }))
        return Claimed::HeldElsewhere;
    m_claim = {wanted, sceneFile, from, QDateTime::currentMSecsSinceEpoch(), slotState(wanted)};
    write();
    return Claimed::Yes;
}

QString RunRecords::claimTrouble() const
{
    return m_claimTrouble;
}

void RunRecords::claimWritten()
{
    if (m_claim.path.isEmpty())
        return;
    Backup written;
    written.path = m_claim.path;
    written.sceneFile = m_claim.sceneFile;
    written.from = m_claim.from;
    m_backups.removeIf([&written](const Backup &backup) { return backup.path == written.path; });
    m_backups.append(written);
    m_claim = {};
    write();
}

void RunRecords::claimGivenUp()
{
    if (std::exchange(m_claim, {}).path.isEmpty())
        return;
    write();
}

void RunRecords::opened(const QString &path)
{
    const QString opened = absolute(path);
    for (Backup &backup : m_backups) {
        if (backup.path == opened && backup.kind == Backup::LostWork) {
            backup.opened = true;
            backup.failure.clear();
        }
    }
}

void RunRecords::openFailed(const QString &path, const QString &reason)
{
    const QString failed = absolute(path);
    for (Backup &backup : m_backups) {
        if (backup.path == failed && backup.kind == Backup::LostWork && backup.failure != reason) {
            backup.failure = reason;
            write();
        }
    }
}

void RunRecords::forget(const QString &path)
{
    const QString saved = absolute(path);
    if (m_backups.removeIf([&saved](const Backup &backup) { return backup.path == saved; }) > 0)
        write();
}

void RunRecords::savedAs(const QStringList &paths, const QString &sceneFile)
{
    QSet<QString> ofScene;
    for (const QString &path : paths)
        ofScene.insert(absolute(path));
    bool changed = false;
    for (Backup &backup : m_backups) {
        if (backup.kind == Backup::LostWork || !ofScene.contains(backup.path)
            || (backup.kind == Backup::Spare && backup.sceneFile == sceneFile))
            continue;
        // Saved after it: the file holds all it holds, and the next start
        // names it as nobody's work.
        backup.kind = Backup::Spare;
        backup.saved = true;
        backup.sceneFile = sceneFile;
        changed = true;
    }
    if (changed)
        write();
}

void RunRecords::recoveredSaved(const QString &path)
{
    // The saved work carries on that of the backup it was recovered from,
    // and so on back: none of them holds anything the file does not.
    QSet<QString> released;
    for (QString next = absolute(path); !next.isEmpty() && !released.contains(next);) {
        released.insert(next);
        next = release(next);
    }
}

// Marks the lost work at recovered as saved by the user; returns the backup
// it was recovered from in turn, if one.
QString RunRecords::release(const QString &recovered)
{
    if (find(recovered)) {
        QString from;
        for (Backup &backup : m_backups) {
            if (backup.path != recovered)
                continue;
            from = backup.from;
            if (backup.kind == Backup::LostWork && !backup.saved) {
                backup.saved = true;
                backup.pending.reset();
                write();
            }
        }
        return from;
    }
    // Lost work that another run holds: this run's record says the user
    // saved it, which that run and every later start read.
    const QList<Line> others = othersLines(m_base + RecordSuffix);
    const auto named = std::find_if(others.cbegin(), others.cend(),
                                    [&recovered](const Line &line) { return line.backup.path == recovered; });
    if (named == others.cend())
        return QString();
    const auto lost = std::find_if(others.cbegin(), others.cend(), [&recovered](const Line &line) {
        return line.backup.path == recovered && kindOf(line) == Backup::LostWork;
    });
    if (lost != others.cend()) {
        Backup saved = lost->backup;
        saved.kind = Backup::Spare;
        saved.saved = true;
        m_backups.append(saved);
        write();
    }
    return named->backup.from;
}
