#pragma once

#include <QList>
#include <QObject>

#include <functional>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QFrame;
class QWidget;

namespace UI {

// Pieces that the program's dialogs build the same way.

// A plain separator line, horizontal or vertical.
QFrame *separatorLine(const char *objectName, Qt::Orientation orientation, QWidget *parent);

// Separators are drawn in the dialog palette's Light colour, which stays
// visible on dark and light themes alike; the colour is copied, so call
// this again after every palette change.
void colourSeparatorLines(const QWidget *dialog, const QList<QFrame *> &lines);

// An exclusive group owned by `owner` in which button i stands for the
// value i of an enumeration.
QButtonGroup *choiceGroup(QObject *owner, const QList<QAbstractButton *> &buttons);

// Checks the button of `value`; a value the group has no button for leaves
// every button unchecked. Unchecking tells the buttons' handlers nothing new:
// a button going off writes nothing.
void checkChoice(QButtonGroup *group, int value);

// From now on, the button the user checks calls `write` with its value;
// buttons going off call nothing.
void onChoice(QButtonGroup *group, std::function<void(int)> write);

// The three steps above for a field that only follows its buttons. Nothing
// is written while the group is built, so a value outside the enumeration
// survives until the user picks a button.
template<typename Enum>
QButtonGroup *bindChoice(QObject *owner, const QList<QAbstractButton *> &buttons, Enum &field)
{
    QButtonGroup *group = choiceGroup(owner, buttons);
    checkChoice(group, int(field));
    onChoice(group, [&field](int value) { field = Enum(value); });
    return group;
}

// Shows `field` and writes every change of the box into it.
void bindCheckBox(QCheckBox *box, bool &field);

} // namespace UI
