#include "dialogs/dialogs.h"

#include <QDialog>
#include <QInputDialog>
#include <QMenu>

namespace UI {

Dialogs::~Dialogs() = default;

QString Dialogs::getOpenFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter,
                                 QString *selectedFilter, QFileDialog::Options options)
{
    return QFileDialog::getOpenFileName(parent, caption, dir, filter, selectedFilter, options);
}

QStringList Dialogs::getOpenFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                      const QString &filter, QString *selectedFilter, QFileDialog::Options options)
{
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter, selectedFilter, options);
}

QString Dialogs::getSaveFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter,
                                 QString *selectedFilter, QFileDialog::Options options)
{
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, selectedFilter, options);
}

QString Dialogs::getExistingDirectory(QWidget *parent, const QString &caption, const QString &dir,
                                      QFileDialog::Options options)
{
    return QFileDialog::getExistingDirectory(parent, caption, dir, options);
}

QMessageBox::StandardButton Dialogs::information(QWidget *parent, const QString &title, const QString &text,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton)
{
    return QMessageBox::information(parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton Dialogs::question(QWidget *parent, const QString &title, const QString &text,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton defaultButton)
{
    return QMessageBox::question(parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton Dialogs::warning(QWidget *parent, const QString &title, const QString &text,
                                             QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultButton)
{
    return QMessageBox::warning(parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton Dialogs::critical(QWidget *parent, const QString &title, const QString &text,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton defaultButton)
{
    return QMessageBox::critical(parent, title, text, buttons, defaultButton);
}

double Dialogs::getDouble(QWidget *parent, const QString &title, const QString &label, double value,
                          double minValue, double maxValue, int decimals, bool *ok, Qt::WindowFlags flags,
                          double step)
{
    return QInputDialog::getDouble(parent, title, label, value, minValue, maxValue, decimals, ok, flags, step);
}

QString Dialogs::getItem(QWidget *parent, const QString &title, const QString &label, const QStringList &items,
                         int current, bool editable, bool *ok, Qt::WindowFlags flags)
{
    return QInputDialog::getItem(parent, title, label, items, current, editable, ok, flags);
}

int Dialogs::exec(QDialog *dialog)
{
    return dialog ? dialog->exec() : QDialog::Rejected;
}

QAction *Dialogs::exec(QMenu *menu, const QPoint &globalPos)
{
    return menu ? menu->exec(globalPos) : nullptr;
}

void Dialogs::notify(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
                     NoticeLife life)
{
    QPointer<QMessageBox> &open = life == NoticeLife::UntilNewer ? m_notice : m_standingNotice;
    if (open && life == NoticeLife::UntilClosed && open->isVisible()) {
        open->setText(open->text() + QStringLiteral("\n\n") + text);
        return;
    }
    if (open)
        open->close();
    auto *notice = new QMessageBox(icon, title, text, QMessageBox::Ok, parent);
    notice->setAttribute(Qt::WA_DeleteOnClose);
    // Someone drawing when it comes goes on drawing: their keys stay with
    // the window, not with the notice's button.
    notice->setAttribute(Qt::WA_ShowWithoutActivating);
    notice->setWindowModality(Qt::NonModal);
    notice->show();
    open = notice;
}

} // namespace UI
