#pragma once

#include "settings/exportvideosettings.h"

#include <QDialog>

#include <memory>

class QSize;

namespace UI {

// "Export Movie Clip": which layers and frames, the container and codec
// (GIF, MP4 with H.264, QuickTime MOV with ProRes), whether transparency and
// sound go in, and a scale whose pixel size is shown. Works on its own copy
// of the record and hands it back by value; the caller tells it, through the
// record, whether the scene has sound, and gives the scene's frame size. It
// stores no preferences and asks for no file.
//
// A format that cannot carry transparency (GIF, MP4) or sound (GIF, or a
// scene without any) shows that box off and disabled, yet the record keeps
// the user's last choice, so that switching back shows it again and the
// preferences remember it. settings() returns those choices as made;
// exportSettings() returns what the movie is to carry, which is what the
// boxes show.
//
// The scale list offers 400, 200, 100, 50 and 25 percent (GIF from 100
// down), leaving out any that would give 150 million pixels or more; a
// stored scale the list lacks becomes 100 percent.
class ExportVideoDialog : public QDialog
{
    Q_OBJECT

public:
    ExportVideoDialog(const Model::ExportVideoSettings &settings, const QSize &frameSize, QWidget *parent = nullptr);
    ~ExportVideoDialog() override;

    Model::ExportVideoSettings settings() const;
    Model::ExportVideoSettings exportSettings() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    class ExportVideoDialogPrivate;
    std::unique_ptr<ExportVideoDialogPrivate> d;
};

} // namespace UI
