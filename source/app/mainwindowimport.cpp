// The main window's import commands: pictures and numbered frame sequences
// become a reference layer, a sound file the scene's audio layer. The
// reading itself happens in the import commands, under a progress dialog of
// the window's; what they cannot read they explain, and the window shows it.

#include "mainwindow.h"

#include "mainwindow_p.h"
#include "mainwindowlookups_p.h"

#include "dialogs/dialogs.h"

#include "importcommands.h"

#include "actions/actionmanager.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "settings/settings.h"

#include <QAbstractButton>
#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <utility>

namespace {

using MainWindowLookups::currentScene;

bool isSoundFile(const QString &file)
{
    const QString suffix = QFileInfo(file).suffix();
    return suffix.compare(QLatin1String("wav"), Qt::CaseInsensitive) == 0
        || suffix.compare(QLatin1String("mp3"), Qt::CaseInsensitive) == 0;
}

// The number that text spells in plain decimal digits and nothing else, or
// -1: no sign, no spaces, nothing after it, and small enough for an int.
int plainNumber(QStringView text)
{
    if (text.isEmpty())
        return -1;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return -1;
    }
    bool ok = false;
    const int number = text.toInt(&ok);
    return ok ? number : -1;
}

// The next import starts where this one found its files.
void rememberImportFolder(const QString &file)
{
    const QFileInfo info(file);
    const QString folder = info.canonicalPath();
    Model::Settings::instance()->setDefaultImportDir(QDir(folder.isEmpty() ? info.absolutePath() : folder));
}

QString importFolder()
{
    return Model::Settings::instance()->defaultImportDir().absolutePath();
}

// Hold Frames (Yes), Collapse Gaps (No) or Cancel.
QMessageBox::StandardButton askToHoldFrames(UI::Dialogs &dialogs, QWidget *parent, int missingCount)
{
    QMessageBox box(QMessageBox::Question, QObject::tr("Import Frames", "Commands::Import"),
                    QObject::tr("You are importing numbered frames with gaps in the sequence.\n\n"
                                "Hold frame for each gap?",
                                "Commands::Import"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent,
                    Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box.setWindowModality(Qt::WindowModal);
    box.setInformativeText(
        QObject::tr("Holding frames will add %1 clones in total.", "Commands::Import", missingCount).arg(missingCount));
    box.setDefaultButton(QMessageBox::Yes);
    box.button(QMessageBox::Yes)->setText(QObject::tr("Hold Frames"));
    box.button(QMessageBox::No)->setText(QObject::tr("Collapse Gaps"));
    return QMessageBox::StandardButton(dialogs.exec(&box));
}

} // namespace

bool MainWindow::numberedSequenceHasGaps(QStringList &files, int &digitPos, int &startsAboveZero, int &missingCount)
{
    if (files.size() < 2)
        return false;
    Commands::sortNumberedNames(files);

    const QString firstName = QFileInfo(files.first()).completeBaseName();
    static const QRegularExpression digits(QStringLiteral("\\d+"));
    QRegularExpressionMatch lastRun;
    for (QRegularExpressionMatchIterator runs = digits.globalMatch(firstName); runs.hasNext();)
        lastRun = runs.next();
    if (!lastRun.hasMatch())
        return false;
    digitPos = int(lastRun.capturedStart());
    const QString prefix = firstName.left(digitPos);
    startsAboveZero = plainNumber(QStringView(firstName).mid(digitPos)) != 0 ? 1 : 0;

    // Numbers that two names share (walk1, walk01) count once.
    QSet<int> numbers;
    int largest = -1;
    for (const QString &file : std::as_const(files)) {
        const QString name = QFileInfo(file).completeBaseName();
        if (!name.startsWith(prefix))
            return false;
        const int number = plainNumber(QStringView(name).mid(digitPos));
        if (number < 0)
            return false;
        numbers.insert(number);
        largest = std::max(largest, number);
    }
    if (largest < 1 || largest > 9999)
        return false;
    missingCount = largest - startsAboveZero + 1 - int(numbers.size());
    return missingCount > 0;
}

void MainWindow::wireImportExportActions()
{
    using A = KL::Action;
    using MainWindowLookups::action;
    connect(action(A::Import), &QAction::triggered, this, &MainWindow::import);
    connect(action(A::ExportFrames), &QAction::triggered, this, &MainWindow::exportFrames);
    connect(action(A::ExportExposureSheet), &QAction::triggered, this, &MainWindow::exportExposureSheet);
    connect(action(A::ExportVideo), &QAction::triggered, this, &MainWindow::exportVideo);
    connect(action(A::ImportReferenceLayer), &QAction::triggered, this, &MainWindow::importReferenceLayer);
    connect(action(A::ImportAudio), &QAction::triggered, this, &MainWindow::importAudio);
}

void MainWindow::import()
{
    // Reading shows progress, which turns the event loop; autosave waits.
    const BusyScope busy(d->m_busyDepth);
    if (!currentScene())
        return;
    const QStringList files = d->m_dialogs->getOpenFileNames(
        this, tr("Import"), importFolder(),
        tr("All types (*.png *.jpg *.jpeg *.gif *.mp3 *.wav);;All image types (*.png *.jpg *.jpeg *.gif);;"
           "All audio types (*.mp3 *.wav);;GIF (*.gif);;JPEG (*.jpg *.jpeg);;PNG (*.png);;MP3 (*.mp3);;WAV (*.wav)"));
    if (files.isEmpty())
        return;

    // Each file goes where its kind belongs: the pictures into one
    // reference layer, and the sound into the audio layer, which holds one
    // sound at a time, so the first chosen.
    QStringList images;
    QStringList sounds;
    for (const QString &file : files)
        (isSoundFile(file) ? sounds : images).append(file);
    const bool goOn = images.isEmpty() || importImages(images);
    if (goOn && !sounds.isEmpty())
        importSound(sounds.first());
    rememberImportFolder(files.first());
}

void MainWindow::importReferenceLayer()
{
    // Reading shows progress, which turns the event loop; autosave waits.
    const BusyScope busy(d->m_busyDepth);
    if (!currentScene())
        return;
    const QStringList files =
        d->m_dialogs->getOpenFileNames(this, tr("Import"), importFolder(),
                                       tr("All types (*.png *.jpg *.jpeg *.gif);;GIF (*.gif);;JPEG (*.jpg *.jpeg);;"
                                          "PNG (*.png)"));
    if (files.isEmpty())
        return;
    importImages(files);
    rememberImportFolder(files.first());
}

void MainWindow::importAudio()
{
    // Reading shows progress, which turns the event loop; autosave waits.
    const BusyScope busy(d->m_busyDepth);
    if (!currentScene())
        return;
    const QString file = d->m_dialogs->getOpenFileName(this, tr("Import Audio"), importFolder(),
                                                       tr("All types (*.mp3 *.wav);;MP3 (*.mp3);;WAV (*.wav)"));
    if (file.isEmpty())
        return;
    importSound(file);
    rememberImportFolder(file);
}

bool MainWindow::importImages(QStringList files)
{
    Model::Scene *scene = currentScene();
    if (!scene)
        return true;
    int digitPos = -1;
    int startsAboveZero = 1;
    int missingCount = -1;
    int numberPosition = -1;
    int firstNumber = -1;
    if (numberedSequenceHasGaps(files, digitPos, startsAboveZero, missingCount)) {
        switch (askToHoldFrames(*d->m_dialogs, this, missingCount)) {
        case QMessageBox::Yes:
            numberPosition = digitPos;
            firstNumber = startsAboveZero;
            break;
        case QMessageBox::Cancel:
            return false;
        default:
            break;
        }
    }

    std::unique_ptr<QProgressDialog> progress = modalProgressDialog(QString(), tr("Cancel"));
    auto command = std::make_unique<Commands::ImportNewReferenceLayer>(scene, files, progress.get(), numberPosition,
                                                                       firstNumber);
    progress.reset();
    const QString errorString = command->errorString();
    const QStringList skipped = command->skippedFiles();
    // Said once, for all of them, after the rest went in.
    const QString note = skipped.isEmpty()
        ? QString()
        : tr("These files hold no picture that can be read and were left out:\n\n%1")
              .arg(skipped.join(QLatin1Char('\n')));
    pushImport(std::move(command), errorString, note);
    return true;
}

void MainWindow::importSound(const QString &file)
{
    Model::Scene *scene = currentScene();
    if (!scene)
        return;
    std::unique_ptr<QProgressDialog> progress = modalProgressDialog(QString(), tr("Cancel"));
    auto command = std::make_unique<Commands::ImportNewAudioLayer>(scene, file, progress.get());
    progress.reset();
    const QString errorString = command->errorString();
    const QString note = command->warningString();
    pushImport(std::move(command), errorString, note);
}

void MainWindow::pushImport(std::unique_ptr<Model::SceneCommand> command, const QString &errorString, const QString &note)
{
    const QString title = QGuiApplication::applicationDisplayName();
    if (!errorString.isEmpty()) {
        d->m_dialogs->warning(this, title, errorString);
        return;
    }
    // Cancelled in the progress dialog: nothing to say.
    if (command->isObsolete())
        return;
    Model::KLScene::pushCommand(command.release());
    if (!note.isEmpty())
        d->m_dialogs->warning(this, title, note);
}
