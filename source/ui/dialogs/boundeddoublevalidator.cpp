#include "dialogs/boundeddoublevalidator.h"

#include <algorithm>
#include <cmath>

namespace {

QLocale withoutGroupSeparators(QLocale locale)
{
    locale.setNumberOptions(QLocale::RejectGroupSeparator);
    return locale;
}

} // namespace

BoundedDoubleValidator::BoundedDoubleValidator(double bottom, double top, int decimals, QObject *parent)
    : QDoubleValidator(bottom, top, decimals, parent)
    , m_fixedLocaleValidator(bottom, top, decimals)
{
    setLocale(withoutGroupSeparators(QLocale()));
    setNotation(QDoubleValidator::StandardNotation);
    m_fixedLocaleValidator.setLocale(withoutGroupSeparators(QLocale::c()));
    m_fixedLocaleValidator.setNotation(QDoubleValidator::StandardNotation);
}

BoundedDoubleValidator::~BoundedDoubleValidator() = default;

QValidator::State BoundedDoubleValidator::validate(QString &input, int &position) const
{
    const QValidator::State state = QDoubleValidator::validate(input, position);
    if (state != QValidator::Invalid)
        return state;
    return m_fixedLocaleValidator.validate(input, position);
}

void BoundedDoubleValidator::fixup(QString &input) const
{
    QDoubleValidator::fixup(input);
    bool ok = false;
    double value = locale().toDouble(input, &ok);
    if (!ok) {
        m_fixedLocaleValidator.fixup(input);
        value = m_fixedLocaleValidator.locale().toDouble(input, &ok);
    }
    // "nan" parses, but has no nearest bound.
    if (ok && !std::isnan(value))
        input = locale().toString(clamped(value), 'f', decimals());
    else if (input.isEmpty())
        input = locale().toString(bottom(), 'g', 6);
}

double BoundedDoubleValidator::clamped(double value) const
{
    return std::max(std::min(value, top()), bottom());
}
