#pragma once

#include <QDoubleValidator>

// A decimal field's validator that, when the field's text is corrected
// (QLineEdit calls fixup() when an edit that is not acceptable loses the
// focus or Enter is pressed), clamps a number outside the range to the
// nearest bound and writes it with the validator's number of decimals; an
// empty field becomes the lower bound. Group separators are refused.
//
// Besides the user's own notation it takes a number written with a point as
// decimal separator, the way most keyboards' number pads and most pasted
// numbers write it, also where the user's locale separates decimals with a
// comma; the corrected text is always in the user's locale. Text that is no
// number in either notation is left for the field to keep.
class BoundedDoubleValidator : public QDoubleValidator
{
    Q_OBJECT

public:
    BoundedDoubleValidator(double bottom, double top, int decimals, QObject *parent = nullptr);
    ~BoundedDoubleValidator() override;

    QValidator::State validate(QString &input, int &position) const override;
    void fixup(QString &input) const override;

private:
    double clamped(double value) const;

    // The same range in the C locale: the second notation above.
    QDoubleValidator m_fixedLocaleValidator;
};
