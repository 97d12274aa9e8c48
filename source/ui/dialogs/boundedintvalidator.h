#pragma once

#include <QIntValidator>

namespace UI {

// An integer field's validator that, when the field's text is corrected
// (QLineEdit calls fixup() when an edit that is not acceptable loses the
// focus or Enter is pressed), clamps a number outside the range to the
// nearest bound and turns an empty field into the lower bound. Typing is
// checked as QIntValidator checks it: a number above the range with no more
// digits than the upper bound can be typed, more digits cannot. Text that is
// no number at all is left for the field to keep.
class BoundedIntValidator : public QIntValidator
{
    Q_OBJECT

public:
    explicit BoundedIntValidator(QObject *parent = nullptr);
    BoundedIntValidator(int bottom, int top, QObject *parent = nullptr);
    ~BoundedIntValidator() override;

    void fixup(QString &input) const override;
};

} // namespace UI
