#pragma once

#include "settings/exportframessettings.h"

#include <QDialog>

#include <memory>

namespace UI {

// Asks how the scene goes out as a sequence of still images: which layers
// and frames, what becomes of clones, whether the layers are merged and the
// lines made black, the image format and whether the images keep
// transparency. Works on its own copy of the record and hands it back by
// value; the caller reads settings() only after exec() accepted. It stores
// no preferences, asks for no file and touches none: the export command
// does all that around it.
//
// No choice depends on another. "Export Audio (wav)" stays disabled and
// unchecked: frames carry no sound. Opening and accepting without a change
// returns the record as it came, also a field outside its enumeration
// (whose group then shows no button checked).
class ExportFramesDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ExportFramesDialog(const Model::ExportFramesSettings &settings, QWidget *parent = nullptr);
    ~ExportFramesDialog() override;

    Model::ExportFramesSettings settings() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    class ExportFramesDialogPrivate;
    std::unique_ptr<ExportFramesDialogPrivate> d;
};

} // namespace UI
