#include "export/exportfolder.h"

#include "export/imagefile.h"
#include "io/filewriting.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

namespace Model {

class ExportFolderPrivate
{
public:
    QString m_destination;
    ExportFolder::Placement m_placement = ExportFolder::AddFiles;
    // Empty until opened and again once committed or discarded.
    QString m_staging;
    QStringList m_files;
    QString m_error;
    QString m_reason;
};

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Model::ExportFolder", text);
}

// The staging folders open in this process, and who hears of them.
QSet<QString> &openFolders()
{
    static QSet<QString> folders;
    return folders;
}

ExportFolder::Watcher &watcher()
{
    static ExportFolder::Watcher watching;
    return watching;
}

void noteFolder(const QString &folder, bool made)
{
    if (made)
        openFolders().insert(folder);
    else
        openFolders().remove(folder);
    if (watcher())
        watcher()(folder, made);
}

QString directoryNotCreated(const QString &path)
{
    return tr("The directory \"%1\" could not be created.").arg(QDir::toNativeSeparators(path));
}

// A folder that is there but takes no new entries: read-only, or closed to
// this user.
QString directoryNotWritable(const QString &path)
{
    return tr("The directory \"%1\" cannot be written.").arg(QDir::toNativeSeparators(path));
}

QString fileNotWritten(const QString &path)
{
    return tr("The file \"%1\" could not be written.").arg(QDir::toNativeSeparators(path));
}

bool isInside(const QString &relativePath)
{
    if (relativePath.isEmpty() || QDir::isAbsolutePath(relativePath) || relativePath.contains(u'\\')
        || relativePath.contains(u':'))
        return false;
    const QStringList parts = relativePath.split(u'/');
    return std::none_of(parts.cbegin(), parts.cend(), [](const QString &part) {
        return part.isEmpty() || part == u"." || part == u"..";
    });
}

// Moves the entry itself, whatever it is (a link stays a link), and
// replaces a file at to.
bool renameEntry(const QString &from, const QString &to, QString *reason = nullptr)
{
    std::error_code error;
    std::filesystem::rename(fileSystemPath(from), fileSystemPath(to), error);
    if (error && reason)
        *reason = systemErrorText(error);
    return !error;
}

bool entryExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// What an added file may take the place of: nothing, a plain file or a link
// (replaced itself, never followed). Never a folder or a special file such
// as a device, which a rename would put out of the way just as well.
bool isReplaceable(const QString &path)
{
    const QFileInfo info(path);
    return !info.exists() || info.isSymLink() || info.isFile();
}

// A name beside the others in parent that nothing has yet; hidden on the
// systems that hide dot files.
QString freshName(const QString &parent, const QString &base, const char *tag)
{
    for (;;) {
        const QString name = QStringLiteral(".%1.%2-%3")
                                 .arg(base, QLatin1String(tag))
                                 .arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
        if (!entryExists(QDir(parent).filePath(name)))
            return name;
    }
}

} // namespace

ExportFolder::ExportFolder(const QString &destination, Placement placement)
    : d(std::make_unique<ExportFolderPrivate>())
{
    // An empty destination would quietly mean the current folder.
    if (!destination.isEmpty())
        d->m_destination = QDir::cleanPath(QFileInfo(destination).absoluteFilePath());
    d->m_placement = placement;
}

ExportFolder::~ExportFolder()
{
    discard();
}

bool ExportFolder::open()
{
    if (d->m_destination.isEmpty())
        return fail(directoryNotCreated(d->m_destination));
    const QFileInfo destination(d->m_destination);
    // The folder that will hold the staging folder; it must be on the same
    // file system as the destination for the final renames.
    const QString parent = d->m_placement == ReplaceFolder ? destination.absolutePath() : d->m_destination;
    QString reason;
    if (!makeFolderPath(parent, &reason))
        return fail(directoryNotCreated(d->m_destination), reason);
    // Several attempts, as another process may take the same name meanwhile.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString name = freshName(parent, destination.fileName(), "partial");
        const QString staging = QDir(parent).filePath(name);
        if (Model::makeFolder(staging, &reason)) {
            d->m_staging = staging;
            noteFolder(staging, true);
            return true;
        }
        if (!entryExists(staging))
            break;
    }
    return fail(directoryNotWritable(parent), reason);
}

bool ExportFolder::makeFolder(const QString &relativePath)
{
    QString reason;
    if (d->m_staging.isEmpty() || !isInside(relativePath)
        || !Model::makeFolder(QDir(d->m_staging).filePath(relativePath), &reason))
        return fail(directoryNotCreated(destinationPath(relativePath)), reason);
    return true;
}

bool ExportFolder::writeFile(const QString &relativePath, const QByteArray &data)
{
    QString message;
    QString reason;
    if (!stageFile(relativePath, data, &message, &reason))
        return fail(message, reason);
    d->m_files.append(relativePath);
    return true;
}

bool ExportFolder::writeImage(const QString &relativePath, const QImage &image, ImageFileFormat format)
{
    QString message;
    QString reason;
    if (!stageImage(relativePath, image, format, &message, &reason))
        return fail(message, reason);
    d->m_files.append(relativePath);
    return true;
}

bool ExportFolder::stageFile(const QString &relativePath, const QByteArray &data, QString *message,
                             QString *reason) const
{
    QString why;
    if (d->m_staging.isEmpty() || !isInside(relativePath)
        || !writeFileData(QDir(d->m_staging).filePath(relativePath), data, QIODevice::NewOnly, &why)) {
        if (!why.isEmpty())
            qWarning().noquote() << "Export: writing" << destinationPath(relativePath) << "failed:" << why;
        *message = fileNotWritten(destinationPath(relativePath));
        *reason = why;
        return false;
    }
    return true;
}

bool ExportFolder::stageImage(const QString &relativePath, const QImage &image, ImageFileFormat format,
                              QString *message, QString *reason) const
{
    QString why;
    const QByteArray data = encodeImage(image, format, &why);
    if (data.isEmpty()) {
        qWarning().noquote() << "Export: encoding" << destinationPath(relativePath) << "failed:" << why;
        *message = fileNotWritten(destinationPath(relativePath));
        *reason = why;
        return false;
    }
    return stageFile(relativePath, data, message, reason);
}

bool ExportFolder::keepFile(const QString &relativePath)
{
    if (d->m_staging.isEmpty() || !isInside(relativePath)
        || !QFileInfo::exists(QDir(d->m_staging).filePath(relativePath)))
        return fail(fileNotWritten(destinationPath(relativePath)));
    d->m_files.append(relativePath);
    return true;
}

QString ExportFolder::reserveFile(const QString &relativePath)
{
    if (d->m_staging.isEmpty() || !isInside(relativePath) || !isReplaceable(destinationPath(relativePath))) {
        fail(fileNotWritten(destinationPath(relativePath)));
        return {};
    }
    d->m_files.append(relativePath);
    return QDir(d->m_staging).filePath(relativePath);
}

bool ExportFolder::commit()
{
    if (d->m_staging.isEmpty())
        return fail(directoryNotCreated(d->m_destination));

    if (d->m_placement == AddFiles) {
        QStringList moved;
        for (const QString &file : std::as_const(d->m_files)) {
            const QString target = destinationPath(file);
            QString reason;
            if (!isReplaceable(target) || !renameEntry(QDir(d->m_staging).filePath(file), target, &reason)) {
                for (const QString &done : std::as_const(moved))
                    QFile::remove(destinationPath(done));
                return fail(fileNotWritten(target), reason);
            }
            moved.append(file);
        }
        discard();
        return true;
    }

    const QFileInfo existing(d->m_destination);
    QString aside;
    if (entryExists(d->m_destination)) {
        aside = QDir(existing.absolutePath())
                    .filePath(freshName(existing.absolutePath(), existing.fileName(), "replaced"));
        QString reason;
        if (!renameEntry(d->m_destination, aside, &reason)) {
            const QString path = QDir::toNativeSeparators(d->m_destination);
            return fail(existing.isDir() && !existing.isSymLink()
                            ? tr("The existing directory \"%1\" couldn't be removed.").arg(path)
                            : tr("The existing file \"%1\" couldn't be removed.").arg(path),
                        reason);
        }
    }
    QString reason;
    if (!renameEntry(d->m_staging, d->m_destination, &reason)) {
        if (!aside.isEmpty() && !renameEntry(aside, d->m_destination))
            qWarning().noquote() << "Export: the former" << d->m_destination << "stays at" << aside;
        return fail(directoryNotCreated(d->m_destination), reason);
    }
    noteFolder(std::exchange(d->m_staging, QString()), false);
    // The new package is in place; what is left of the old one is only
    // clutter, not a reason to call the export failed.
    if (!aside.isEmpty() && !removeTree(aside))
        qWarning().noquote() << "Export: the former" << d->m_destination << "could not be removed from" << aside;
    return true;
}

void ExportFolder::discard()
{
    if (d->m_staging.isEmpty())
        return;
    if (!removeTree(d->m_staging))
        qWarning().noquote() << "Export: could not remove" << d->m_staging;
    noteFolder(std::exchange(d->m_staging, QString()), false);
    d->m_files.clear();
}

void ExportFolder::setWatcher(Watcher watching)
{
    watcher() = std::move(watching);
}

void ExportFolder::discardAll()
{
    const QSet<QString> folders = openFolders();
    for (const QString &folder : folders) {
        removeTree(folder);
        noteFolder(folder, false);
    }
}

bool ExportFolder::removeLeftover(const QString &path)
{
    static const QRegularExpression staging(QStringLiteral("^\\..+\\.partial-[0-9a-f]{8}$"));
    const QFileInfo folder(path);
    if (!folder.isAbsolute() || !staging.match(folder.fileName()).hasMatch())
        return false;
    return removeTree(path);
}

QString ExportFolder::errorMessage() const
{
    return d->m_reason.isEmpty() ? d->m_error : d->m_error + u'\n' + d->m_reason;
}

QString ExportFolder::errorReason() const
{
    return d->m_reason;
}

QString ExportFolder::destinationPath(const QString &relativePath) const
{
    return QDir(d->m_destination).filePath(relativePath);
}

bool ExportFolder::removeTree(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || info.isJunction())
        return QFile::remove(path) || QDir().rmdir(path);
    if (!info.exists())
        return true;
    if (!info.isDir())
        return QFile::remove(path);
    bool removed = true;
    QDirIterator entries(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (entries.hasNext())
        removed = removeTree(entries.next()) && removed;
    return QDir().rmdir(path) && removed;
}

bool ExportFolder::fail(const QString &message, const QString &reason)
{
    d->m_error = message;
    d->m_reason = reason;
    return false;
}

} // namespace Model
