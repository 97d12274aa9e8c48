#pragma once

#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

class QAction;
class QDialog;
class QMenu;
class QPoint;
class QWidget;

namespace UI {

// Every modal question the main window and its commands put to the user goes
// through one object of this class: file choosers, message boxes, the small
// input prompts, context menus and the dialogs that run with exec(). The
// class itself is the program's behaviour: each function is the Qt static
// (or exec()) of the same name with the same arguments and result.
//
// Modal dialogs run their own event loop and wait for a person, which a
// test cannot be; a test derives from this class, overrides what the code
// under test asks, records the question and returns a scripted answer
// (tests/support/scripteddialogs.h). So code that asks the user must never
// call the Qt statics or exec() itself but always its Dialogs object.
//
// Arguments and results, in short:
// - File choosers return the chosen path(s), or an empty result when the
//   user cancelled; `dir` is the folder or suggested file to start from.
// - Message boxes return the button that closed them (Escape and the close
//   button give the escape button, NoButton when there is none).
// - getDouble and getItem set *ok (when given) to whether the user
//   accepted; callers look at it before the value.
// - exec(dialog) runs a dialog the caller built and returns its result code
//   (QDialog::Accepted, QDialog::Rejected, or a QMessageBox button); the
//   caller reads the dialog's fields afterwards as usual. A test's override
//   fills those fields in place of the user.
// - exec(menu, pos) pops a menu up at a global position and returns the
//   action chosen, or null.
// - notify() is the one that is not modal: news that comes unasked (from a
//   timer) and must neither stop the user nor wait for them. It shows a
//   message box in the window's top right corner, away from the middle of
//   the paper, and returns at once; the user closes it whenever they like.
//   One that comes while a modal dialog is open shows once it is closed:
//   under it, it could be read but not closed. A test records it like the
//   others.
//
// Default arguments belong to these declarations; overrides must not repeat
// them, since a call through the base class would use these anyway.
// GUI thread only.
class Dialogs
{
public:
    Dialogs() = default;
    virtual ~Dialogs();

    Dialogs(const Dialogs &) = delete;
    Dialogs &operator=(const Dialogs &) = delete;

    virtual QString getOpenFileName(QWidget *parent, const QString &caption, const QString &dir,
                                    const QString &filter, QString *selectedFilter = nullptr,
                                    QFileDialog::Options options = QFileDialog::Options());
    virtual QStringList getOpenFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                         const QString &filter, QString *selectedFilter = nullptr,
                                         QFileDialog::Options options = QFileDialog::Options());
    virtual QString getSaveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                    const QString &filter, QString *selectedFilter = nullptr,
                                    QFileDialog::Options options = QFileDialog::Options());
    virtual QString getExistingDirectory(QWidget *parent, const QString &caption, const QString &dir,
                                         QFileDialog::Options options = QFileDialog::ShowDirsOnly);

    virtual QMessageBox::StandardButton information(QWidget *parent, const QString &title, const QString &text,
                                                    QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                                    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    virtual QMessageBox::StandardButton question(
        QWidget *parent, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::StandardButtons(QMessageBox::Yes | QMessageBox::No),
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    virtual QMessageBox::StandardButton warning(QWidget *parent, const QString &title, const QString &text,
                                                QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    virtual QMessageBox::StandardButton critical(QWidget *parent, const QString &title, const QString &text,
                                                 QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                                 QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    virtual double getDouble(QWidget *parent, const QString &title, const QString &label, double value = 0,
                             double minValue = -2147483647, double maxValue = 2147483647, int decimals = 1,
                             bool *ok = nullptr, Qt::WindowFlags flags = Qt::WindowFlags(), double step = 1);
    virtual QString getItem(QWidget *parent, const QString &title, const QString &label, const QStringList &items,
                            int current = 0, bool editable = true, bool *ok = nullptr,
                            Qt::WindowFlags flags = Qt::WindowFlags());

    virtual int exec(QDialog *dialog);
    virtual QAction *exec(QMenu *menu, const QPoint &globalPos);

    // How long a notice stays. One of a state that may change (autosave
    // failing, or working again) gives way to the next of its kind: what
    // shows is what holds. One that names work to be found stays until the
    // user closes it; another of its kind joins it rather than hiding it.
    enum class NoticeLife { UntilNewer, UntilClosed };

    // Not modal, and it does not take the keyboard from the window.
    virtual void notify(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
                        NoticeLife life = NoticeLife::UntilNewer);

private:
    struct Notice
    {
        QPointer<QWidget> parent;
        QMessageBox::Icon icon;
        QString title;
        QString text;
        NoticeLife life;
    };
    void showWaiting();
    void show(const Notice &notice);

    QPointer<QMessageBox> m_notice;
    QPointer<QMessageBox> m_standingNotice;
    // Notices that wait for the modal dialog watched to close, and what
    // hears of it: gone with this object, so nothing calls it after.
    QList<Notice> m_waiting;
    QPointer<QWidget> m_watched;
    std::unique_ptr<QObject> m_watch;
};

} // namespace UI
