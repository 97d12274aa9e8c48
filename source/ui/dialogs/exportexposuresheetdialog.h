#pragma once

#include "settings/exportexposuresheetsettings.h"

#include <QDialog>

#include <memory>

namespace UI {

class Dialogs;

// "Export as OCA (Open Cel Animation)": the animation with its exposure-sheet
// timing as a package (a ".oca" document with its images) for other
// programs. The user picks layers, frames and the image format, and names
// the package and the folder it goes into. Works on its own copy of the
// record and hands it back by value; the caller reads settings() only after
// exec() accepted, when `name` is the package's file name ending in ".oca"
// and `exportDir` the absolute folder that holds it.
//
// The package replaces whatever has its name, so OK first asks before a
// folder, file or link of that name is replaced; the dialog itself removes
// nothing. OK stays disabled while the name or the folder is empty, and a
// name that would put the package outside the chosen folder, or that is no
// usable file name, is refused with a message. The folder chooser and the
// questions go through `dialogs`, which must outlive the dialog.
//
// "Export Audio (wav)" stays disabled: the package carries no sound, and
// `includeAudio` passes through as it came.
class ExportExposureSheetDialog : public QDialog
{
    Q_OBJECT

public:
    ExportExposureSheetDialog(const Model::ExportExposureSheetSettings &settings, Dialogs &dialogs,
                              QWidget *parent = nullptr);
    ~ExportExposureSheetDialog() override;

    Model::ExportExposureSheetSettings settings() const;

public Q_SLOTS:
    // OK: accepts unless the user declines to replace what is there, or the
    // name cannot be used.
    void confirmOverwrite();

protected:
    void changeEvent(QEvent *event) override;

private:
    class ExportExposureSheetDialogPrivate;
    std::unique_ptr<ExportExposureSheetDialogPrivate> d;
};

} // namespace UI
