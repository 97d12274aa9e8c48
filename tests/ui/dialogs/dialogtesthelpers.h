#pragma once

// Helpers that the tests of the dialogs share.

#include <QAbstractButton>
#include <QApplication>
#include <QColor>
#include <QFrame>
#include <QMetaEnum>
#include <QObject>
#include <QPalette>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QWidget>

#include <cstdlib>

namespace DialogTest {

// A preferences store of the test's own, emptied, so that afterwards
// QSettings().allKeys() lists whatever the code under test wrote.
inline void useEmptyStore()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Kelvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Kelvane"));
    QSettings().clear();
}

// The dialog's widget of that object name; a missing one ends the test
// with its name rather than with a null pointer.
template<typename Widget>
Widget *child(const QObject *dialog, const char *objectName)
{
    auto *widget = dialog->findChild<Widget *>(QLatin1String(objectName));
    if (!widget)
        qFatal("No widget named %s", objectName);
    return widget;
}

template<typename Enum>
QString keyOf(Enum value)
{
    const char *key = QMetaEnum::fromType<Enum>().valueToKey(int(value));
    return key ? QString::fromLatin1(key) : QString::number(int(value));
}

// Every name checked among the given radio buttons, in the order given.
inline QStringList checkedNames(const QObject *dialog, const QStringList &names)
{
    QStringList checked;
    for (const QString &name : names) {
        const auto *button = child<QAbstractButton>(dialog, name.toLatin1().constData());
        if (button->isChecked())
            checked << name;
    }
    return checked;
}

// Whether every named separator draws in the palette's Light colour after
// the dialog's palette changed to one with a striking Light colour.
inline bool linesFollowPalette(QWidget *dialog, const QStringList &names)
{
    QPalette palette = dialog->palette();
    const QColor striking(12, 200, 34);
    palette.setColor(QPalette::Light, striking);
    dialog->setPalette(palette);
    for (const QString &name : names) {
        const auto *line = child<QFrame>(dialog, name.toLatin1().constData());
        for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            if (line->palette().color(group, QPalette::WindowText) != striking)
                return false;
        }
    }
    return true;
}

} // namespace DialogTest
