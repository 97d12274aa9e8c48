#pragma once

// The user, as tests play them: a UI::Dialogs that opens nothing, writes
// down every question it is asked and answers from a script.

#include "dialogs/dialogs.h"

#include <QAction>
#include <QDialog>
#include <QList>
#include <QMenu>
#include <QPoint>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>

namespace TestSupport {

// Describes a menu as its entries joined by "|": the registry's key name of
// an action ("KLActionName"), the text of any other action, "-" for a
// separator and "Title{...}" for a submenu.
inline QString menuOutline(const QMenu *menu)
{
    QStringList entries;
    const QList<QAction *> actions = menu->actions();
    for (const QAction *entry : actions) {
        if (entry->isSeparator())
            entries << QStringLiteral("-");
        else if (const QMenu *submenu = entry->menu())
            entries << submenu->title() + QLatin1Char('{') + menuOutline(submenu) + QLatin1Char('}');
        else if (const QString key = entry->property("KLActionName").toString(); !key.isEmpty())
            entries << key;
        else
            entries << entry->text();
    }
    return entries.join(QLatin1Char('|'));
}

class ScriptedDialogs : public UI::Dialogs
{
public:
    struct Question
    {
        QString kind; // "warning", "getSaveFileName", "menu", "notify", ...
        QString title;
        QString text; // a message box's text, a file chooser's start folder, a menu's outline
        // The range a number prompt offers.
        double minimum = 0.0;
        double maximum = 0.0;
    };

    QList<Question> asked;
    // Answers of message boxes, first asked first; when none is left the
    // box is closed: Cancel, No or Ok, whichever it has.
    QQueue<QMessageBox::StandardButton> buttons;
    // Answers of the file choosers; empty (cancelled) when none is left.
    QQueue<QString> files;
    // Numbers typed into number prompts, held to the range offered as the
    // prompt's spin box holds them; cancelled when none is left.
    QQueue<double> numbers;
    // What a dialog run with exec() does; rejected when not set.
    std::function<int(QDialog *)> runDialog;
    // Called with every question once it is written down, before it is
    // answered: what the user does while a box is open.
    std::function<void(const Question &)> onAsked;

    QString getOpenFileName(QWidget *, const QString &caption, const QString &dir, const QString &, QString *,
                            QFileDialog::Options) override
    {
        return file(QStringLiteral("getOpenFileName"), caption, dir);
    }
    QStringList getOpenFileNames(QWidget *, const QString &caption, const QString &dir, const QString &, QString *,
                                 QFileDialog::Options) override
    {
        const QString chosen = file(QStringLiteral("getOpenFileNames"), caption, dir);
        return chosen.isEmpty() ? QStringList() : chosen.split(QLatin1Char('\n'));
    }
    QString getSaveFileName(QWidget *, const QString &caption, const QString &dir, const QString &, QString *,
                            QFileDialog::Options) override
    {
        return file(QStringLiteral("getSaveFileName"), caption, dir);
    }
    QString getExistingDirectory(QWidget *, const QString &caption, const QString &dir,
                                 QFileDialog::Options) override
    {
        return file(QStringLiteral("getExistingDirectory"), caption, dir);
    }

    QMessageBox::StandardButton information(QWidget *, const QString &title, const QString &text,
                                            QMessageBox::StandardButtons offered,
                                            QMessageBox::StandardButton) override
    {
        return box(QStringLiteral("information"), title, text, offered);
    }
    QMessageBox::StandardButton question(QWidget *, const QString &title, const QString &text,
                                         QMessageBox::StandardButtons offered, QMessageBox::StandardButton) override
    {
        return box(QStringLiteral("question"), title, text, offered);
    }
    QMessageBox::StandardButton warning(QWidget *, const QString &title, const QString &text,
                                        QMessageBox::StandardButtons offered, QMessageBox::StandardButton) override
    {
        return box(QStringLiteral("warning"), title, text, offered);
    }
    QMessageBox::StandardButton critical(QWidget *, const QString &title, const QString &text,
                                         QMessageBox::StandardButtons offered, QMessageBox::StandardButton) override
    {
        return box(QStringLiteral("critical"), title, text, offered);
    }

    double getDouble(QWidget *, const QString &title, const QString &label, double value, double minValue,
                     double maxValue, int, bool *ok, Qt::WindowFlags, double) override
    {
        ask({QStringLiteral("getDouble"), title, label, minValue, maxValue});
        if (ok)
            *ok = !numbers.isEmpty();
        return numbers.isEmpty() ? value : std::clamp(numbers.dequeue(), minValue, maxValue);
    }
    QString getItem(QWidget *, const QString &title, const QString &label, const QStringList &, int, bool, bool *ok,
                    Qt::WindowFlags) override
    {
        ask({QStringLiteral("getItem"), title, label});
        if (ok)
            *ok = false;
        return QString();
    }

    int exec(QDialog *dialog) override
    {
        ask({QStringLiteral("exec"), dialog ? dialog->windowTitle() : QString(), QString()});
        return runDialog ? runDialog(dialog) : int(QDialog::Rejected);
    }
    QAction *exec(QMenu *menu, const QPoint &) override
    {
        ask({QStringLiteral("menu"), menu ? menu->title() : QString(), menu ? menuOutline(menu) : QString()});
        return nullptr;
    }

    // A notice waits for no answer: it is only written down, and counts as
    // open while onAsked runs.
    void notify(QWidget *, QMessageBox::Icon, const QString &title, const QString &text, NoticeLife) override
    {
        ask({QStringLiteral("notify"), title, text});
    }

    // The kinds asked, in order, for short comparisons.
    QStringList kinds() const
    {
        QStringList result;
        for (const Question &question : asked)
            result << question.kind;
        return result;
    }

private:
    void ask(const Question &question)
    {
        asked.append(question);
        if (onAsked)
            onAsked(question);
    }

    QString file(const QString &kind, const QString &caption, const QString &dir)
    {
        ask({kind, caption, dir});
        return files.isEmpty() ? QString() : files.dequeue();
    }

    QMessageBox::StandardButton box(const QString &kind, const QString &title, const QString &text,
                                    QMessageBox::StandardButtons offered)
    {
        ask({kind, title, text});
        if (!buttons.isEmpty())
            return buttons.dequeue();
        for (const QMessageBox::StandardButton closing : {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Ok}) {
            if (offered.testFlag(closing))
                return closing;
        }
        return QMessageBox::NoButton;
    }
};

} // namespace TestSupport
