#include "export/exportfolder.h"

#include "export/imagefile.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>
#include <filesystem>
#include <system_error>

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
};

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Model::ExportFolder", text);
}

QString directoryNotCreated(const QString &path)
{
    return tr("The directory \"%1\" could not be created.").arg(QDir::toNativeSeparators(path));
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

std::filesystem::path fileSystemPath(const QString &path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(QDir::toNativeSeparators(path).toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

// Moves the entry itself, whatever it is (a link stays a link), and
// replaces a file at to.
bool renameEntry(const QString &from, const QString &to)
{
    std::error_code error;
    std::filesystem::rename(fileSystemPath(from), fileSystemPath(to), error);
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
    if (!QDir().mkpath(parent))
        return fail(directoryNotCreated(d->m_destination));
    // Several attempts, as another process may take the same name meanwhile.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString name = freshName(parent, destination.fileName(), "partial");
        if (QDir(parent).mkdir(name)) {
            d->m_staging = QDir(parent).filePath(name);
            return true;
        }
    }
    return fail(directoryNotCreated(d->m_destination));
}

bool ExportFolder::makeFolder(const QString &relativePath)
{
    if (d->m_staging.isEmpty() || !isInside(relativePath) || !QDir(d->m_staging).mkdir(relativePath))
        return fail(directoryNotCreated(destinationPath(relativePath)));
    return true;
}

bool ExportFolder::writeFile(const QString &relativePath, const QByteArray &data)
{
    QString reason;
    if (d->m_staging.isEmpty() || !isInside(relativePath)
        || !writeFileData(QDir(d->m_staging).filePath(relativePath), data, QIODevice::NewOnly, &reason)) {
        if (!reason.isEmpty())
            qWarning().noquote() << "Export: writing" << destinationPath(relativePath) << "failed:" << reason;
        return fail(fileNotWritten(destinationPath(relativePath)));
    }
    d->m_files.append(relativePath);
    return true;
}

bool ExportFolder::writeImage(const QString &relativePath, const QImage &image, ImageFileFormat format)
{
    QString reason;
    const QByteArray data = encodeImage(image, format, &reason);
    if (data.isEmpty()) {
        qWarning().noquote() << "Export: encoding" << destinationPath(relativePath) << "failed:" << reason;
        return fail(fileNotWritten(destinationPath(relativePath)));
    }
    return writeFile(relativePath, data);
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
            if (!isReplaceable(target) || !renameEntry(QDir(d->m_staging).filePath(file), target)) {
                for (const QString &done : std::as_const(moved))
                    QFile::remove(destinationPath(done));
                return fail(fileNotWritten(target));
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
        if (!renameEntry(d->m_destination, aside)) {
            const QString path = QDir::toNativeSeparators(d->m_destination);
            return fail(existing.isDir() && !existing.isSymLink()
                            ? tr("The existing directory \"%1\" couldn't be removed.").arg(path)
                            : tr("The existing file \"%1\" couldn't be removed.").arg(path));
        }
    }
    if (!renameEntry(d->m_staging, d->m_destination)) {
        if (!aside.isEmpty() && !renameEntry(aside, d->m_destination))
            qWarning().noquote() << "Export: the former" << d->m_destination << "stays at" << aside;
        return fail(directoryNotCreated(d->m_destination));
    }
    d->m_staging.clear();
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
    d->m_staging.clear();
    d->m_files.clear();
}

QString ExportFolder::errorMessage() const
{
    return d->m_error;
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

bool ExportFolder::fail(const QString &message)
{
    d->m_error = message;
    return false;
}

} // namespace Model
