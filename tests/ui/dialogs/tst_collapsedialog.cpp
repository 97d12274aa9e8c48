#include "dialogs/collapsedialog.h"
#include "dialogtesthelpers.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QTest>

using namespace DialogTest;

// The question before vector data is collapsed: how each way of closing it
// answers, and the form it shows.
class TestCollapseDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { DialogTest::useEmptyStore(); }
    // The caller switches the preference on; the dialog stores nothing.
    void cleanupTestCase() { QVERIFY(QSettings().allKeys().isEmpty()); }

    void answers_data();
    void answers();
    void form();
};

void TestCollapseDialog::answers_data()
{
    QTest::addColumn<QString>("closeBy");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("automatically");

    const int accepted = QDialog::Accepted;
    const int rejected = QDialog::Rejected;
    QTest::newRow("Enter") << "Enter" << false << accepted << false;
    QTest::newRow("Enter, from now on") << "Enter" << true << accepted << true;
    QTest::newRow("Collapse, from now on") << "Collapse" << true << accepted << true;
    QTest::newRow("Escape") << "Escape" << false << rejected << false;
    QTest::newRow("Cancel") << "Cancel" << true << rejected << true;
}

void TestCollapseDialog::answers()
{
    QFETCH(QString, closeBy);
    QFETCH(bool, tick);
    QFETCH(int, result);
    QFETCH(bool, automatically);

    UI::CollapseDialog dialog;
    dialog.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    if (tick)
        child<QCheckBox>(&dialog, "collapseAutomaticallyCheckBox")->click();
    auto *buttons = child<QDialogButtonBox>(&dialog, "buttonBox");
    if (closeBy == QLatin1String("Enter"))
        QTest::keyClick(&dialog, Qt::Key_Return);
    else if (closeBy == QLatin1String("Escape"))
        QTest::keyClick(&dialog, Qt::Key_Escape);
    else if (closeBy == QLatin1String("Collapse"))
        buttons->button(QDialogButtonBox::Ok)->click();
    else
        buttons->button(QDialogButtonBox::Cancel)->click();

    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), result);
    // The caller reads the box only after Collapse.
    QCOMPARE(dialog.collapseAutomatically(), automatically);
}

void TestCollapseDialog::form()
{
    UI::CollapseDialog dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("UI__CollapseDialog"));
    QVERIFY(dialog.isModal());
    const QPushButton *collapse = child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok);
    QCOMPARE(collapse->text(), QStringLiteral("Collapse"));
    QVERIFY(collapse->isDefault());
    QVERIFY(!dialog.collapseAutomatically());

    const QPixmap picture = child<QLabel>(&dialog, "imageLabel")->pixmap();
    QVERIFY(!picture.isNull());
    QCOMPARE(picture.devicePixelRatio(), 2.0);
    const auto *link = child<QLabel>(&dialog, "whatsThisLabel");
    QVERIFY(link->openExternalLinks());
    QVERIFY(link->text().contains(QLatin1String("/help/lineengine/\">Read here</a>")));
    QVERIFY(linesFollowPalette(&dialog, {QStringLiteral("line")}));
}

QTEST_MAIN(TestCollapseDialog)
#include "tst_collapsedialog.moc"
