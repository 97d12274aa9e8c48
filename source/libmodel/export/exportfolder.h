#pragma once

#include "export/imagefile.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QImage;

namespace Model {

class ExportFolderPrivate;

// Where an export keeps its files until they are complete: a fresh folder of
// its own next to or inside the destination, on the same file system, from
// which renames move the result into place. Nothing at the destination
// changes before commit(); a folder that is not committed is removed with
// everything in it when discarded or destroyed, so a failed or cancelled
// export leaves nothing of its own behind.
//
// Relative paths must stay inside: none is absolute or has an empty, "." or
// ".." part, a backslash or a colon. Files are always created new, never
// written through an existing name or link, and every write is checked
// through to closing the file. Removing never follows a symbolic link.
//
// The error messages are for the user; they name the paths where the files
// were meant to go, never the folder that held them meanwhile.
class ExportFolder
{
public:
    enum Placement {
        // The whole folder becomes the destination, replacing what stood
        // there only once it is complete (the exposure-sheet package).
        ReplaceFolder,
        // The files go into the destination folder, each replacing a file or
        // link of the same name there (frame sequences, movies), never a
        // folder or a device; no subfolders.
        AddFiles,
    };

    ExportFolder(const QString &destination, Placement placement);
    ~ExportFolder();

    // Creates the folder, and the parent folders the destination needs.
    bool open();
    // A plain mkdir: fails for a folder that is already there.
    bool makeFolder(const QString &relativePath);
    bool writeFile(const QString &relativePath, const QByteArray &data);
    bool writeImage(const QString &relativePath, const QImage &image, ImageFileFormat format);
    // For writers on other threads while the owner waits: the same writes
    // into the open folder, changing nothing of the object, so that several
    // may run at once. The file does not count as one of the export's
    // files until keepFile() names it; an export that stops early keeps only
    // the files it names, and the rest go with the folder. On failure
    // message is the user's text, reason the system's words (may be empty).
    bool stageFile(const QString &relativePath, const QByteArray &data, QString *message, QString *reason) const;
    bool stageImage(const QString &relativePath, const QImage &image, ImageFileFormat format, QString *message,
                    QString *reason) const;
    // Counts a file that stageFile() or stageImage() wrote as one of the
    // export's files.
    bool keepFile(const QString &relativePath);
    // For a writer of its own (a movie encoder): where relativePath is to be
    // written inside the folder, counted as one of the export's files from
    // now on; empty, with the error set, when the folder is not open or the
    // path would leave it or its destination is something no file may
    // replace (a folder, a device). Nothing is there yet.
    QString reserveFile(const QString &relativePath);
    // Puts the result at the destination. For ReplaceFolder what stood there
    // is moved aside first and removed once the new folder is in place, or
    // put back when that fails. For AddFiles a failure removes the files
    // already moved.
    bool commit();
    // Removes the folder unless it was committed.
    void discard();
    // What went wrong, for the user: what could not be done, then on a line
    // of its own the system's reason when it gave one.
    QString errorMessage() const;
    // The system's words alone ("No space left on device"); may be empty.
    QString errorReason() const;
    // Where relativePath ends up once committed.
    QString destinationPath(const QString &relativePath) const;

    // Removes path and, for a folder, everything in it; a symbolic link (or
    // a Windows junction) is removed itself, never what it points to.
    static bool removeTree(const QString &path);

    // The folders of the exports under way in this process, for an end
    // that never returns to them (the display lost): the watcher hears of
    // each one as it is made (true) and as it goes (false), so that a
    // process ended before it could remove them has them named for the
    // next start; discardAll() removes them all. Owner's thread only; one
    // watcher for the process, none when empty.
    using Watcher = std::function<void(const QString &folder, bool made)>;
    static void setWatcher(Watcher watcher);
    static void discardAll();
    // Removes the folder at path if its name is one this class gives the
    // folders it keeps files in until commit(); leaves anything else.
    static bool removeLeftover(const QString &path);

private:
    ExportFolder(const ExportFolder &) = delete;
    ExportFolder &operator=(const ExportFolder &) = delete;

    bool fail(const QString &message, const QString &reason = QString());

    std::unique_ptr<ExportFolderPrivate> d;
};

} // namespace Model
