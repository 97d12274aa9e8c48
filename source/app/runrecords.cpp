#include "runrecords.h"

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
#include <system_error>

namespace {

const QString LockSuffix = QStringLiteral(".lock");
const QString RecordSuffix = QStringLiteral(".backups");
const QString EarlierMark = QStringLiteral("earlier");
const QString SpareMark = QStringLiteral("spare");
const QString ClaimedMark = QStringLiteral("claimed");

// Some disks keep file times to two seconds, and the system stamps files
// from a clock coarser than the one a claim reads: a file written just
// after its claim may seem a little older than it.
constexpr qint64 FileTimeSlack = 2000;

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

// One line of a record, as it was written.
struct Line
{
    RunRecords::Backup backup;
    QString mark;
    qint64 since = 0;
};

// One line per backup: a JSON array of its path, its scene file, and, but
// for a backup the run wrote itself, a mark with what goes with it. Earlier
// versions wrote the first two alone, or a mark without the rest.
QList<Line> readLines(const QString &path)
{
    QList<Line> lines;
    QFile list(path);
    if (!list.open(QIODevice::ReadOnly))
        return lines;
    // A power cut may have cut the last line short.
    while (!list.atEnd()) {
        const QJsonArray entry = QJsonDocument::fromJson(list.readLine()).array();
        if (entry.size() < 2 || !entry.at(0).isString() || entry.at(0).toString().isEmpty())
            continue;
        const QJsonObject more = entry.at(3).toObject();
        Line line;
        line.backup.path = absolute(entry.at(0).toString());
        line.backup.sceneFile = entry.at(1).toString();
        line.backup.run = more.value(QLatin1String("run")).toString();
        line.backup.failure = more.value(QLatin1String("fails")).toString();
        line.mark = entry.at(2).toString();
        line.since = more.value(QLatin1String("since")).toInteger();
        lines.append(line);
    }
    return lines;
}

bool holdsUnsavedWork(const RunRecords::Backup &backup)
{
    const QFileInfo file(backup.path);
    if (!file.isFile())
        return false;
    const QFileInfo scene(backup.sceneFile);
    return backup.sceneFile.isEmpty() || !scene.isFile() || file.lastModified() > scene.lastModified();
}

QString systemError(std::errc error)
{
    return Model::systemErrorText(std::make_error_code(error));
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

void RunRecords::begin()
{
    const QString runs = folder();
    if (runs.isEmpty()) {
        m_trouble = systemError(std::errc::no_such_file_or_directory);
        return;
    }
    if (!Model::makeFolderPath(runs, &m_trouble))
        return;
    const QDir dir(runs);
    // The run's own record first: whatever it takes over is in it before
    // the record it came from goes.
    const QString base = dir.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces));
    auto lock = std::make_unique<QLockFile>(base + LockSuffix);
    // The run holds its lock for hours: only a run that is gone leaves a
    // stale one.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        // The lock file says nothing of why; a line written where the
        // record would go does.
        QSaveFile probe(base + RecordSuffix);
        if (!probe.open(QIODevice::WriteOnly))
            m_trouble = probe.errorString();
        else if (!Model::writeAll(probe, "\n", &m_trouble) || !Model::flushAll(probe, &m_trouble))
            return;
        if (m_trouble.isEmpty())
            m_trouble = systemError(lock->error() == QLockFile::PermissionError ? std::errc::permission_denied
                                                                                : std::errc::io_error);
        return;
    }
    m_base = base;
    m_lock = std::move(lock);
    liveRecords().insert(base);

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
    m_backups.removeIf([](const Backup &backup) { return !QFileInfo(backup.path).isFile(); });
    m_claim = {};
    if (m_backups.isEmpty())
        QFile::remove(m_base + RecordSuffix);
    else
        // Should this fail, the record as it was still names the work.
        write();
    liveRecords().remove(m_base);
    m_lock->unlock();
}

void RunRecords::endInterrupted()
{
    if (!m_lock)
        return;
    liveRecords().remove(m_base);
    m_lock->unlock();
    m_lock.reset();
    m_base.clear();
}

// Takes the record of a run that is gone: a run that is alive holds its lock,
// and of several runs that start at once only one gets a stale one, or the
// lock of a record without a run.
void RunRecords::take(const QString &base)
{
    if (liveRecords().contains(base))
        return;
    QLockFile lock(base + LockSuffix);
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        qint64 pid = 0;
        QString host;
        if (!lock.getLockInfo(&pid, &host, nullptr) || pid != QCoreApplication::applicationPid()
            || host != QSysInfo::machineHostName() || !lock.removeStaleLockFile() || !lock.tryLock(0))
            return;
    }
    const QString listPath = base + RecordSuffix;
    const QString run = QFileInfo(base).fileName();
    // A claim is the last thing a run writes before its backup: a record
    // of an earlier version, whose claims carry no time, was written then.
    const qint64 recordTime = QFileInfo(listPath).lastModified().toMSecsSinceEpoch();
    QList<Backup> taken;
    const QList<Line> lines = readLines(listPath);
    for (Line line : lines) {
        Backup &backup = line.backup;
        if (line.mark == ClaimedMark) {
            const QFileInfo file(backup.path);
            const qint64 since = line.since > 0 ? line.since : recordTime;
            // Untouched since the claim, it holds what it held, which the
            // record names on another line if it is a backup.
            if (!file.isFile() || file.lastModified().toMSecsSinceEpoch() < since - FileTimeSlack)
                continue;
            line.mark.clear();
        }
        if (line.mark == SpareMark) {
            backup.kind = Backup::Spare;
        } else {
            backup.kind = Backup::LostWork;
            backup.lastRun = line.mark != EarlierMark;
            if (backup.lastRun || backup.run.isEmpty())
                backup.run = run;
        }
        taken.append(backup);
    }
    merge(taken);
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
        // Work is never taken for a spare.
        else if (backup.kind == Backup::LostWork && known->kind != Backup::LostWork)
            *known = backup;
    }
}

bool RunRecords::write()
{
    if (m_base.isEmpty())
        return false;
    QByteArray lines;
    const auto line = [&lines](const QString &path, const QString &sceneFile, const QString &mark,
                               const QJsonObject &more) {
        QJsonArray entry{path, sceneFile};
        if (!mark.isEmpty())
            entry.append(mark);
        if (!more.isEmpty())
            entry.append(more);
        lines += QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
    };
    for (const Backup &backup : std::as_const(m_backups)) {
        switch (backup.kind) {
        case Backup::Written:
            line(backup.path, backup.sceneFile, QString(), {});
            break;
        case Backup::LostWork: {
            if (backup.saved) {
                line(backup.path, backup.sceneFile, SpareMark, {});
                break;
            }
            // For the run that takes this record, all of it is of a run
            // before the one it takes it from.
            QJsonObject more{{QLatin1String("run"), backup.run}};
            if (!backup.failure.isEmpty())
                more.insert(QLatin1String("fails"), backup.failure);
            line(backup.path, backup.sceneFile, EarlierMark, more);
            break;
        }
        case Backup::Spare:
            line(backup.path, backup.sceneFile, SpareMark, {});
            break;
        }
    }
    if (!m_claim.path.isEmpty())
        line(m_claim.path, m_claim.sceneFile, ClaimedMark, {{QLatin1String("since"), double(m_claim.since)}});

    QSaveFile list(m_base + RecordSuffix);
    QString reason;
    if (list.open(QIODevice::WriteOnly) && Model::writeAll(list, lines, &reason)
        && Model::flushAll(list, &reason) && list.commit())
        return true;
    // The first trouble is the one the user hears of.
    if (m_trouble.isEmpty())
        m_trouble = reason.isEmpty() ? list.errorString() : reason;
    return false;
}

void RunRecords::pruneLostWork()
{
    bool changed = false;
    for (Backup &backup : m_backups) {
        if (backup.kind == Backup::LostWork && !holdsUnsavedWork(backup)) {
            backup.kind = Backup::Spare;
            changed = true;
        }
    }
    changed = m_backups.removeIf([](const Backup &backup) {
                  return backup.kind == Backup::Spare && !QFileInfo(backup.path).isFile();
              }) > 0
        || changed;
    if (changed)
        write();
}

QList<RunRecords::Backup> RunRecords::lostWork()
{
    pruneLostWork();
    QList<Backup> lost;
    for (const Backup &backup : std::as_const(m_backups)) {
        if (backup.kind == Backup::LostWork && !backup.opened)
            lost.append(backup);
    }
    return lost;
}

QSet<QString> RunRecords::held() const
{
    QSet<QString> held;
    for (const Backup &backup : m_backups) {
        if (backup.kind == Backup::LostWork)
            held.insert(backup.path);
    }
    const QString runs = folder();
    if (runs.isEmpty())
        return held;
    const QDir dir(runs);
    const QStringList records = dir.entryList({QLatin1Char('*') + RecordSuffix}, QDir::Files);
    for (const QString &record : records) {
        const QString path = dir.filePath(record);
        if (path == m_base + RecordSuffix)
            continue;
        const QList<Line> lines = readLines(path);
        for (const Line &line : lines)
            held.insert(line.backup.path);
    }
    return held;
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

void RunRecords::claim(const QString &path, const QString &sceneFile)
{
    m_claim = {absolute(path), sceneFile, QDateTime::currentMSecsSinceEpoch()};
    write();
}

void RunRecords::claimWritten()
{
    if (m_claim.path.isEmpty())
        return;
    Backup written;
    written.path = m_claim.path;
    written.sceneFile = m_claim.sceneFile;
    m_backups.removeIf([&written](const Backup &backup) { return backup.path == written.path; });
    m_backups.append(written);
    m_claim = {};
    write();
}

void RunRecords::claimGivenUp()
{
    m_claim = {};
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
        if (backup.kind == Backup::Written && ofScene.contains(backup.path) && backup.sceneFile != sceneFile) {
            backup.sceneFile = sceneFile;
            changed = true;
        }
    }
    if (changed)
        write();
}

void RunRecords::recoveredSaved(const QString &path)
{
    const QString recovered = absolute(path);
    for (Backup &backup : m_backups) {
        if (backup.path == recovered && backup.kind == Backup::LostWork && !backup.saved) {
            backup.saved = true;
            write();
        }
    }
}
