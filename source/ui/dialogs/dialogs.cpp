#include "dialogs/dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QMenu>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <algorithm>

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
    m_waiting.append({parent, icon, title, text, life});
    showWaiting();
}

void Dialogs::showWaiting()
{
    while (!m_waiting.isEmpty()) {
        QWidget *modal = QApplication::activeModalWidget();
        const QWidget *parent = m_waiting.first().parent;
        if (modal && !(parent && (parent->window() == modal || modal->isAncestorOf(parent)))) {
            if (m_watched == modal)
                return;
            if (!m_watch)
                m_watch = std::make_unique<QObject>();
            if (m_watched)
                QObject::disconnect(m_watched, nullptr, m_watch.get(), nullptr);
            m_watched = modal;
            // Looked at once the dialog has left the modal stack.
            const auto closed = [this] {
                QTimer::singleShot(0, m_watch.get(), [this] {
                    m_watched = nullptr;
                    showWaiting();
                });
            };
            QObject::connect(modal, &QObject::destroyed, m_watch.get(), closed);
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                QObject::connect(dialog, &QDialog::finished, m_watch.get(), closed);
            return;
        }
        show(m_waiting.takeFirst());
    }
}

void Dialogs::show(const Notice &notice)
{
    QPointer<QMessageBox> &open = notice.life == NoticeLife::UntilNewer ? m_notice : m_standingNotice;
    QMessageBox *box = open;
    if (box && notice.life == NoticeLife::UntilClosed && box->isVisible()) {
        box->setText(box->text() + QStringLiteral("\n\n") + notice.text);
    } else {
        if (box)
            box->close();
        box = new QMessageBox(notice.icon, notice.title, notice.text, QMessageBox::Ok, notice.parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        // Someone drawing when it comes goes on drawing: their keys stay
        // with the window, not with the notice's button.
        box->setAttribute(Qt::WA_ShowWithoutActivating);
        box->setWindowModality(Qt::NonModal);
        box->show();
        open = box;
    }
    // In the window's top right corner, whole on the screen; the box has
    // taken its size for the text when it was shown or given more.
    const QWidget *window = notice.parent ? notice.parent->window() : nullptr;
    const QScreen *screen = window ? window->screen() : box->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect anchor = window ? window->geometry().intersected(area) : area;
    const QSize frame = box->frameGeometry().size();
    const int margin = box->style()->pixelMetric(QStyle::PM_LayoutRightMargin, nullptr, box) * 2;
    QPoint corner(anchor.right() + 1 - margin - frame.width(), anchor.top() + margin);
    corner.setX(std::clamp(corner.x(), area.left(), std::max(area.left(), area.right() + 1 - frame.width())));
    corner.setY(std::clamp(corner.y(), area.top(), std::max(area.top(), area.bottom() + 1 - frame.height())));
    box->move(corner);
}

} // namespace UI
