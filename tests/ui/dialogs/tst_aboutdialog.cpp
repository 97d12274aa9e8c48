#include "dialogs/aboutdialog.h"
#include "dialogs/gitdescription.h"
#include "dialogs/libraryversions.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>

// The about box: the build's git description taken apart, the credits page
// with every placeholder filled from the libraries loaded at run time, and a
// window that opens at the top of its credits every time.
class TestAboutDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void gitDescription_data();
    void gitDescription();
    void creditsAreFilled();
    void showingStartsAtTheTop();
};

void TestAboutDialog::initTestCase()
{
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Kelvane"));
}

void TestAboutDialog::gitDescription_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("hash");

    QTest::newRow("release") << "v1.2-0-g1a2b3c4" << "v1.2" << "g1a2b3c4";
    QTest::newRow("after a release") << "1.0-12-gdeadbeef" << "1.0" << "gdeadbeef";
    QTest::newRow("tag with dashes") << "v1.0-rc1-3-g1a2b3c4" << "v1.0-rc1" << "g1a2b3c4";
    QTest::newRow("no tag reachable") << "9d0b060" << "" << "g9d0b060";
    QTest::newRow("outside a checkout") << "" << "" << "";
    QTest::newRow("trailing newline") << "v2-1-gabcdef0\n" << "v2" << "gabcdef0";
    QTest::newRow("short form") << "v1.2" << "" << "";
    QTest::newRow("dirty") << "v1.2-3-gabcdef0-dirty" << "" << "";
}

void TestAboutDialog::gitDescription()
{
    QFETCH(QString, description);
    QFETCH(QString, tag);
    QFETCH(QString, hash);

    const UI::GitDescription parsed = UI::GitDescription::parse(description);
    QCOMPARE(parsed.tag, tag);
    QCOMPARE(parsed.hash, hash);
}

void TestAboutDialog::creditsAreFilled()
{
    UI::AboutDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("About Kelvane"));
    QVERIFY(!dialog.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
    QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("labelVersion"))->text().startsWith(QStringLiteral("Kelvane ")));
    QVERIFY(!dialog.findChild<QLabel *>(QStringLiteral("labelCopyright"))->text().isEmpty());

    const QString credits = dialog.findChild<QTextEdit *>(QStringLiteral("textEditCredits"))->toPlainText();
    QVERIFY2(!credits.contains(QRegularExpression(QStringLiteral("%[A-Za-z_]+%"))), qPrintable(credits));
    const QString libraries[] = {
        QString::fromLatin1(qVersion()),
        LibraryVersions::openSsl(),
        QStringLiteral("FFmpeg version: ") + LibraryVersions::ffmpeg(),
        QStringLiteral("Built for ") + QSysInfo::buildCpuArchitecture(),
    };
    for (const QString &library : libraries)
        QVERIFY2(credits.contains(library), qPrintable(library));
    QVERIFY(LibraryVersions::openSsl().startsWith(QStringLiteral("OpenSSL ")));
    QVERIFY(!LibraryVersions::ffmpeg().isEmpty());
    // The build is named: by its tag and commit, or as one without them.
    const QStringList lines = credits.split(QLatin1Char('\n'));
    const qsizetype heading = lines.indexOf(QStringLiteral("Kelvane"));
    QVERIFY(heading >= 0);
    QVERIFY(!lines.value(heading + 1).trimmed().isEmpty());
    QVERIFY(!lines.value(heading + 2).trimmed().isEmpty());
}

void TestAboutDialog::showingStartsAtTheTop()
{
    UI::AboutDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    const auto *icon = dialog.findChild<QLabel *>(QStringLiteral("iconLabel"));
    QVERIFY(icon->isVisible());
    QCOMPARE(icon->size(), QSize(124, 124));
    QVERIFY(!icon->pixmap().isNull());
    // The icon (21 px below the top of its shadow) is not cut at the window's
    // top edge.
    QVERIFY2(icon->y() + 21 >= 0, qPrintable(QString::number(icon->y())));

    QScrollBar *bar = dialog.findChild<QTextEdit *>(QStringLiteral("textEditCredits"))->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum());
    QTest::mouseClick(dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Close), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    dialog.show();
    QCOMPARE(bar->value(), 0);
}

QTEST_MAIN(TestAboutDialog)
#include "tst_aboutdialog.moc"
