#include "dialogs/dialogforms.h"

#include <QAbstractButton>
#include <QBrush>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QPalette>

namespace UI {

QFrame *separatorLine(const char *objectName, Qt::Orientation orientation, QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setObjectName(QLatin1String(objectName));
    line->setFrameShape(orientation == Qt::Horizontal ? QFrame::HLine : QFrame::VLine);
    line->setFrameShadow(QFrame::Plain);
    return line;
}

void colourSeparatorLines(const QWidget *dialog, const QList<QFrame *> &lines)
{
    QPalette colours = dialog->palette();
    colours.setBrush(QPalette::All, QPalette::WindowText, QBrush(colours.color(QPalette::Light)));
    for (QFrame *line : lines)
        line->setPalette(colours);
}

QButtonGroup *choiceGroup(QObject *owner, const QList<QAbstractButton *> &buttons)
{
    auto *group = new QButtonGroup(owner);
    group->setExclusive(true);
    for (int value = 0; value < buttons.size(); ++value)
        group->addButton(buttons.at(value), value);
    return group;
}

void checkChoice(QButtonGroup *group, int value)
{
    if (QAbstractButton *button = group->button(value)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group refuses to uncheck its last checked button.
    group->setExclusive(false);
    const QList<QAbstractButton *> buttons = group->buttons();
    for (QAbstractButton *button : buttons)
        button->setChecked(false);
    group->setExclusive(true);
}

void onChoice(QButtonGroup *group, std::function<void(int)> write)
{
    QObject::connect(group, &QButtonGroup::idToggled, group, [write = std::move(write)](int value, bool checked) {
        if (checked)
            write(value);
    });
}

void bindCheckBox(QCheckBox *box, bool &field)
{
    box->setChecked(field);
    QObject::connect(box, &QCheckBox::toggled, box, [&field](bool checked) { field = checked; });
}

} // namespace UI
