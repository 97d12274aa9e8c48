#pragma once

#include <QDialog>

#include <memory>

namespace UI {

class AboutDialogForm;

// The about box: a dark top band with the application icon and version, a
// white middle with the scrolling credits page, and a grey bottom band with
// the copyright notice and Close. The credits name the build (its git tag and
// commit, the processor architecture) and the versions of Qt, OpenSSL and
// FFmpeg that the running program has loaded, which may differ from those it
// was built against.
//
// Not modal. The owner creates one on first use, keeps it, and shows it with
// raise(), show() and activateWindow(); closing only hides it, and every
// showing starts with the credits scrolled to the top. Its content is made
// once, in the constructor; a credits page that cannot be read leaves the
// view empty.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent = nullptr);
    ~AboutDialog() override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    class AboutDialogPrivate;
    std::unique_ptr<AboutDialogForm> ui;
    std::unique_ptr<AboutDialogPrivate> d;
};

} // namespace UI
