#include "dialogs/boundedintvalidator.h"

#include <algorithm>

namespace UI {

BoundedIntValidator::BoundedIntValidator(QObject *parent)
    : QIntValidator(parent)
{
}

BoundedIntValidator::BoundedIntValidator(int bottom, int top, QObject *parent)
    : QIntValidator(bottom, top, parent)
{
}

BoundedIntValidator::~BoundedIntValidator() = default;

void BoundedIntValidator::fixup(QString &input) const
{
    QIntValidator::fixup(input);
    bool ok = false;
    const int value = locale().toInt(input, &ok);
    // Written without group separators whatever the locale, so that the
    // corrected text is one the field's owner reads back as a plain number.
    if (ok)
        input = QString::number(std::max(std::min(value, top()), bottom()));
    else if (input.isEmpty())
        input = QString::number(bottom());
}

} // namespace UI
