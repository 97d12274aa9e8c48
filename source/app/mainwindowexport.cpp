// The main window's export commands: frames, the exposure sheet as an Open
// Cel Animation package, and movies. Each asks how in its dialog and where
// with a file chooser (the package's dialog asks both), keeps the choices
// in the preferences only once a target is chosen, so that a cancelled
// export leaves the last ones in place, and runs the scene's exporter under
// a window-modal progress dialog. A failed export says why; a cancelled one
// ends quietly; neither is taken for a finished one.

#include "mainwindow.h"

#include "mainwindow_p.h"
#include "mainwindowlookups_p.h"

#include "dialogs/dialogs.h"
#include "dialogs/exportexposuresheetdialog.h"
#include "dialogs/exportframesdialog.h"
#include "dialogs/exportvideodialog.h"

#include "actions/actionmanager.h"
#include "export/exportresult.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "settings/settings.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProgressDialog>

#include <functional>

namespace {

using MainWindowLookups::currentScene;

// Asks for the export's target with every action disabled meanwhile, as
// for every native file dialog; empty when the user cancelled.
QString chooseTarget(UI::Dialogs &dialogs, QWidget *parent, const QString &caption, const QString &proposed,
                     const QString &filter)
{
    Model::ActionManager *actions = Model::ActionManager::instance();
    actions->disableAllActions();
    const QString chosen = dialogs.getSaveFileName(parent, caption, proposed, filter);
    actions->restoreAllActions();
    return chosen;
}

// The record goes to the chosen file: its folder, absolute, and its name.
template<typename Record>
void aimAt(Record &record, const QString &chosen)
{
    const QFileInfo target(chosen);
    record.exportDir = target.absolutePath();
    record.name = target.fileName();
}

} // namespace

std::unique_ptr<QProgressDialog> MainWindow::modalProgressDialog(const QString &label, const QString &cancelText)
{
    auto progress = std::make_unique<QProgressDialog>(this);
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(1000);
    progress->setLabelText(label);
    progress->setCancelButtonText(cancelText);
    progress->setFixedSize(progress->sizeHint());
    return progress;
}

void MainWindow::runExport(const QString &label, const QString &cancelText, bool stayUp,
                           const std::function<Model::ExportResult(QObject *)> &exporter)
{
    std::unique_ptr<QProgressDialog> progress = modalProgressDialog(label, cancelText);
    // A movie's last frame counted is not the movie written: its dialog
    // stays up until the exporter returns.
    progress->setAutoClose(!stayUp);
    progress->setAutoReset(!stayUp);
    const Model::ExportResult result = exporter(progress.get());
    progress.reset();

    switch (result.status) {
    case Model::ExportResult::Failed:
        d->m_dialogs->critical(this, Model::ExportResult::failureTitle(), result.message);
        break;
    case Model::ExportResult::Finished:
        // A note on a finished export (a size that had to change) is news.
        if (!result.message.isEmpty())
            d->m_dialogs->information(this, QGuiApplication::applicationDisplayName(), result.message);
        break;
    case Model::ExportResult::Canceled:
        break;
    }
}

void MainWindow::exportFrames()
{
    // Autosave writes nothing while an export runs, whichever way it ends.
    const BusyScope busy(d->m_busyDepth);
    Model::Scene *scene = currentScene();
    if (!scene)
        return;

    Model::Settings *settings = Model::Settings::instance();
    Model::ExportFramesSettings record = settings->exportFramesSettings();
    record.name = scene->name();
    {
        UI::ExportFramesDialog dialog(record, this);
        dialog.resize(1, 1);
        if (d->m_dialogs->exec(&dialog) != QDialog::Accepted)
            return;
        record = dialog.settings();
    }

    const QString chosen =
        chooseTarget(*d->m_dialogs, this, tr("Export Frames"), QDir(record.exportDir).filePath(record.name), QString());
    if (chosen.isEmpty())
        return;
    aimAt(record, chosen);
    // The frames' names end in their number and their own suffix; a name
    // typed as a picture's ("walk.png") is the base without its suffix.
    const QFileInfo typed(record.name);
    const QString suffix = typed.suffix();
    if (!typed.completeBaseName().isEmpty()
        && (suffix.compare(QLatin1String("png"), Qt::CaseInsensitive) == 0
            || suffix.compare(QLatin1String("exr"), Qt::CaseInsensitive) == 0))
        record.name = typed.completeBaseName();
    settings->setExportFramesSettings(record);

    runExport(QStringLiteral("Exporting Frames"), QStringLiteral("Cancel"), false,
              [scene, &record](QObject *progress) { return scene->exportFrames(record, progress); });
}

void MainWindow::exportExposureSheet()
{
    const BusyScope busy(d->m_busyDepth);
    Model::Scene *scene = currentScene();
    if (!scene)
        return;

    Model::Settings *settings = Model::Settings::instance();
    Model::ExportExposureSheetSettings record = settings->exportExposureSheetSettings();
    record.name = scene->name();
    {
        // The dialog asks for the package's name and folder itself, and
        // before anything of that name is replaced.
        UI::ExportExposureSheetDialog dialog(record, *d->m_dialogs, this);
        dialog.resize(1, 1);
        if (d->m_dialogs->exec(&dialog) != QDialog::Accepted)
            return;
        record = dialog.settings();
    }
    settings->setExportExposureSheetSettings(record);

    runExport(QStringLiteral("Exporting Exposure Sheet"), QStringLiteral("Cancel"), false,
              [scene, &record](QObject *progress) { return scene->exportExposureSheet(record, progress); });
}

void MainWindow::exportVideo()
{
    const BusyScope busy(d->m_busyDepth);
    Model::Scene *scene = currentScene();
    if (!scene)
        return;

    Model::Settings *settings = Model::Settings::instance();
    Model::ExportVideoSettings record = settings->exportVideoSettings();
    record.name = scene->name();
    record.audioAvailable = scene->hasAudio();
    // The choices as made, for the preferences, and what the movie is to
    // carry: no transparency but in ProRes, no sound in a GIF or from a
    // scene without any, whatever the boxes held before they were disabled.
    Model::ExportVideoSettings chosenSettings;
    {
        UI::ExportVideoDialog dialog(record, scene->frameSize(), this);
        dialog.resize(1, 1);
        if (d->m_dialogs->exec(&dialog) != QDialog::Accepted)
            return;
        chosenSettings = dialog.settings();
        record = dialog.exportSettings();
    }

    QString suffix;
    QString filter;
    switch (record.videoFormat) {
    case Model::ExportVideoSettings::GIF:
        suffix = QStringLiteral(".gif");
        filter = tr("GIF (*%1)").arg(suffix);
        break;
    case Model::ExportVideoSettings::MP4:
        suffix = QStringLiteral(".mp4");
        filter = tr("MP4 (*%1)").arg(suffix);
        break;
    case Model::ExportVideoSettings::ProRes:
        suffix = QStringLiteral(".mov");
        filter = tr("ProRes (*%1)").arg(suffix);
        break;
    }
    // A name typed without its suffix gets the format's.
    const QString chosen = withSuffix(chooseTarget(*d->m_dialogs, this, tr("Export Movie Clip"),
                                                   QDir(record.exportDir).filePath(record.name + suffix), filter),
                                      suffix, TypedSuffix::AnyKept);
    if (chosen.isEmpty())
        return;
    aimAt(record, chosen);
    aimAt(chosenSettings, chosen);
    settings->setExportVideoSettings(chosenSettings);

    record.metadata.insert(QStringLiteral("title"), scene->name());
    record.metadata.insert(QStringLiteral("comment"),
                           QStringLiteral("Created with %1").arg(QGuiApplication::applicationDisplayName()));
    runExport(tr("Exporting Movie Clip"), tr("Cancel"), true,
              [scene, &record](QObject *progress) { return scene->exportVideo(record, progress); });
}
