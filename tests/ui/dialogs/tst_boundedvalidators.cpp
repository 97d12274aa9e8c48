#include "dialogs/boundeddoublevalidator.h"
#include "dialogs/boundedintvalidator.h"

#include <QLineEdit>
#include <QLocale>
#include <QTest>
#include <QValidator>

#include <memory>

namespace {

// The validators take the default locale when they are made.
std::unique_ptr<QValidator> makeValidator(const QString &locale, double bottom, double top, int decimals)
{
    QLocale::setDefault(QLocale(locale));
    if (decimals < 0)
        return std::make_unique<UI::BoundedIntValidator>(int(bottom), int(top));
    return std::make_unique<BoundedDoubleValidator>(bottom, top, decimals);
}

} // namespace

// What can be typed into a bounded number field, and what leaving the field
// makes of what was typed: clamped to the range, empty to the lower bound,
// in the user's own notation.
class TestBoundedValidators : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void validate_data();
    void validate();
    void fixup_data();
    void fixup();
    void leavingTheFieldCorrectsIt();
};

void TestBoundedValidators::cleanup()
{
    QLocale::setDefault(QLocale::c());
}

// decimals -1: the integer validator.
void TestBoundedValidators::validate_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<double>("bottom");
    QTest::addColumn<double>("top");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QValidator::State>("state");

    const QValidator::State ok = QValidator::Acceptable;
    const QValidator::State partly = QValidator::Intermediate;
    const QValidator::State no = QValidator::Invalid;
    QTest::newRow("rate in range") << "en_US" << 0.1 << 60.0 << 2 << "12.5" << ok;
    QTest::newRow("rate above, same digits") << "en_US" << 0.1 << 60.0 << 2 << "75" << partly;
    QTest::newRow("rate with too many digits") << "en_US" << 0.1 << 60.0 << 2 << "600" << no;
    QTest::newRow("rate with three decimals") << "en_US" << 0.1 << 60.0 << 2 << "12.555" << no;
    QTest::newRow("rate empty") << "en_US" << 0.1 << 60.0 << 2 << "" << partly;
    QTest::newRow("group separator refused") << "en_US" << 0.1 << 6000.0 << 2 << "1,000" << no;
    QTest::newRow("letters") << "en_US" << 0.1 << 60.0 << 2 << "abc" << no;
    QTest::newRow("comma locale, comma") << "de_DE" << 0.1 << 60.0 << 2 << "24,5" << ok;
    QTest::newRow("comma locale, point") << "de_DE" << 0.1 << 60.0 << 2 << "24.5" << ok;
    QTest::newRow("comma locale, point above") << "de_DE" << 0.1 << 60.0 << 2 << "75.5" << partly;
    QTest::newRow("size in range") << "en_US" << 1.0 << 8192.0 << -1 << "4096" << ok;
    QTest::newRow("size above, same digits") << "en_US" << 1.0 << 8192.0 << -1 << "9000" << partly;
    QTest::newRow("size with too many digits") << "en_US" << 1.0 << 8192.0 << -1 << "90000" << no;
    QTest::newRow("size negative") << "en_US" << 1.0 << 8192.0 << -1 << "-5" << no;
    QTest::newRow("size zero") << "en_US" << 1.0 << 8192.0 << -1 << "0" << partly;
    QTest::newRow("frames above, same digits") << "en_US" << 1.0 << 10000.0 << -1 << "20000" << partly;
    QTest::newRow("frames with too many digits") << "en_US" << 1.0 << 10000.0 << -1 << "100000" << no;
}

void TestBoundedValidators::validate()
{
    QFETCH(QString, locale);
    QFETCH(double, bottom);
    QFETCH(double, top);
    QFETCH(int, decimals);
    QFETCH(QString, input);
    QFETCH(QValidator::State, state);

    const std::unique_ptr<QValidator> validator = makeValidator(locale, bottom, top, decimals);
    int position = int(input.size());
    QCOMPARE(validator->validate(input, position), state);
}

void TestBoundedValidators::fixup_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<double>("bottom");
    QTest::addColumn<double>("top");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("fixed");

    QTest::newRow("rate above") << "en_US" << 0.1 << 60.0 << 2 << "75" << "60.00";
    QTest::newRow("rate below") << "en_US" << 0.1 << 60.0 << 2 << "0.05" << "0.10";
    QTest::newRow("rate empty") << "en_US" << 0.1 << 60.0 << 2 << "" << "0.1";
    QTest::newRow("rate in range") << "en_US" << 0.1 << 60.0 << 2 << "12.5" << "12.50";
    QTest::newRow("rate unreadable") << "en_US" << 0.1 << 60.0 << 2 << "." << ".";
    QTest::newRow("rate not a number") << "en_US" << 0.1 << 60.0 << 2 << "nan" << "nan";
    QTest::newRow("comma locale, point above") << "de_DE" << 0.1 << 60.0 << 2 << "75.5" << "60,00";
    QTest::newRow("comma locale, point") << "de_DE" << 0.1 << 60.0 << 2 << "24.5" << "24,50";
    QTest::newRow("comma locale, comma") << "de_DE" << 0.1 << 60.0 << 2 << "24,5" << "24,50";
    QTest::newRow("comma locale, empty") << "de_DE" << 0.1 << 60.0 << 2 << "" << "0,1";
    QTest::newRow("size zero") << "en_US" << 1.0 << 8192.0 << -1 << "0" << "1";
    QTest::newRow("size above") << "en_US" << 1.0 << 8192.0 << -1 << "9000" << "8192";
    QTest::newRow("size empty") << "en_US" << 1.0 << 8192.0 << -1 << "" << "1";
    QTest::newRow("size sign only") << "en_US" << 1.0 << 8192.0 << -1 << "+" << "+";
    QTest::newRow("size above, comma locale") << "de_DE" << 1.0 << 8192.0 << -1 << "9000" << "8192";
    QTest::newRow("frames above") << "en_US" << 1.0 << 10000.0 << -1 << "20000" << "10000";
}

void TestBoundedValidators::fixup()
{
    QFETCH(QString, locale);
    QFETCH(double, bottom);
    QFETCH(double, top);
    QFETCH(int, decimals);
    QFETCH(QString, input);
    QFETCH(QString, fixed);

    const std::unique_ptr<QValidator> validator = makeValidator(locale, bottom, top, decimals);
    validator->fixup(input);
    QCOMPARE(input, fixed);
}

// The field asks for the correction itself when Enter is pressed on text it
// cannot accept yet.
void TestBoundedValidators::leavingTheFieldCorrectsIt()
{
    QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    QLineEdit field;
    field.setValidator(new BoundedDoubleValidator(0.1, 60.0, 2, &field));
    QTest::keyClicks(&field, QStringLiteral("75.5"));
    QCOMPARE(field.text(), QStringLiteral("75.5"));
    QTest::keyClick(&field, Qt::Key_Return);
    QCOMPARE(field.text(), QStringLiteral("60,00"));
}

QTEST_MAIN(TestBoundedValidators)
#include "tst_boundedvalidators.moc"
