#include "dialogs/tutorialdialog.h"
#include "dialogs/tutoriallinkbutton.h"

#include "support/scripteddialogs.h"
#include "support/widgetevents.h"

#include "actions/helppages.h"
#include "settings/settings.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QSettings>
#include <QTest>
#include <QUrl>

#include <algorithm>

namespace {

class FreshSettings : public Model::Settings
{
};

// Takes the addresses the dialog hands to the browser.
class Browser : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl &url) { opened << url; }
};

// The brightest grey along the overlay's top edge: the dotted line drawn
// over the picture with the frame's current opacity.
int frameBrightness(UI::TutorialLinkButton *button)
{
    const QImage image = button->grab().toImage();
    int brightest = 0;
    for (int x = 20; x < image.width() - 20; ++x)
        brightest = std::max(brightest, qGray(image.pixel(x, 7)));
    return brightest;
}

} // namespace

// The tutorial: three picture buttons that open help pages and stay open,
// titles in capitals over the pictures, a frame that answers the mouse, and
// the start-up choice kept however the dialog is closed.
class TestTutorialDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void buttons_data();
    void buttons();
    void frameAnswersTheMouse();
    void textsAreWhole_data();
    void textsAreWhole();
    void startUpChoiceIsKept_data();
    void startUpChoiceIsKept();
};

void TestTutorialDialog::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings().clear();
    TestSupport::startModel();
    // The program's font, which the program registers at start-up.
    QVERIFY(QFontDatabase::addApplicationFont(QStringLiteral(KL_APPLICATION_FONT)) >= 0);
}

void TestTutorialDialog::buttons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<Model::HelpPage>("page");

    QTest::newRow("overview") << "linkButton_1" << "BASIC OVERVIEW" << "Kelvane\n- at a glance" << QSize(540, 140)
                              << Model::HelpPage::BasicOverview;
    QTest::newRow("videos") << "linkButton_2" << "VIDEO TUTORIALS"
                            << "How to animate with Kelvane.\nLearn everything from the basics to the advanced."
                            << QSize(540, 220) << Model::HelpPage::VideoTutorials;
    QTest::newRow("shortcuts") << "linkButton_3" << "SHORTCUT KEYS"
                               << "Get efficient workflow with your\nfavorite keyboard shortcuts!" << QSize(540, 110)
                               << Model::HelpPage::KeyboardShortcuts;
}

void TestTutorialDialog::buttons()
{
    QFETCH(QString, name);
    QFETCH(QString, title);
    QFETCH(QString, description);
    QFETCH(QSize, size);
    QFETCH(Model::HelpPage, page);

    UI::TutorialDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("How to animate with Kelvane"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *button = dialog.findChild<UI::TutorialLinkButton *>(name);
    QCOMPARE(button->size(), size);
    const QList<QLabel *> labels = button->findChildren<QLabel *>();
    QCOMPARE(labels.size(), 2);
    QCOMPARE(labels.at(0)->text(), title);
    QCOMPARE(labels.at(1)->text(), description);

    Browser browser;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
    QTest::mouseClick(button, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(browser.opened, QList<QUrl>{QUrl(Model::helpPageAddress(page))});
    QVERIFY(dialog.isVisible());
}

void TestTutorialDialog::frameAnswersTheMouse()
{
    UI::TutorialDialog dialog;
    auto *button = dialog.findChild<UI::TutorialLinkButton *>(QStringLiteral("linkButton_1"));
    button->resize(button->sizeHint());
    const int rest = frameBrightness(button);
    button->setAttribute(Qt::WA_UnderMouse, true);
    const int hovered = frameBrightness(button);
    button->setDown(true);
    const int pressed = frameBrightness(button);
    button->setDown(false);
    button->setAttribute(Qt::WA_UnderMouse, false);
    QVERIFY2(rest < hovered && hovered < pressed, qPrintable(QStringLiteral("%1 %2 %3").arg(rest).arg(hovered).arg(pressed)));
    QCOMPARE(frameBrightness(button), rest);
}

void TestTutorialDialog::textsAreWhole_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("overview") << "linkButton_1";
    QTest::newRow("videos") << "linkButton_2";
    QTest::newRow("shortcuts") << "linkButton_3";
}

// Every line of the title and of the description shows whole inside the
// picture: each label is as large as its text laid out in it, the labels
// lie inside the button and do not overlap.
void TestTutorialDialog::textsAreWhole()
{
    QFETCH(QString, name);

    UI::TutorialDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *button = dialog.findChild<UI::TutorialLinkButton *>(name);
    const QList<QLabel *> labels = button->findChildren<QLabel *>();
    QCOMPARE(labels.size(), 2);
    for (const QLabel *label : labels) {
        const QRect room = label->contentsRect();
        const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        const QRect text = label->fontMetrics().boundingRect(room, flags, label->text());
        const QString where = QStringLiteral("%1 needs %2 x %3 at (%4, %5), has %6 x %7 at (%8, %9)")
                                  .arg(label->text().simplified())
                                  .arg(text.width())
                                  .arg(text.height())
                                  .arg(text.x())
                                  .arg(text.y())
                                  .arg(room.width())
                                  .arg(room.height())
                                  .arg(room.x())
                                  .arg(room.y());
        QVERIFY2(room.contains(text), qPrintable(where));
        QVERIFY2(button->rect().contains(label->geometry()), qPrintable(where));
    }
    QVERIFY(!labels.at(0)->geometry().intersects(labels.at(1)->geometry()));
}

// The caller's flow: the box starts as the negation of the preference and
// the preference is stored from the box however the dialog was closed.
void TestTutorialDialog::startUpChoiceIsKept_data()
{
    QTest::addColumn<bool>("showOnStartup");
    QTest::addColumn<bool>("toggleBox");
    QTest::addColumn<QString>("closing");
    QTest::addColumn<bool>("stored");

    QTest::newRow("tick, Close") << true << true << "close" << false;
    QTest::newRow("tick, Escape") << true << true << "escape" << false;
    QTest::newRow("tick, window closed") << true << true << "window" << false;
    QTest::newRow("leave, Close") << true << false << "close" << true;
    QTest::newRow("untick, Escape") << false << true << "escape" << true;
    QTest::newRow("leave ticked, Close") << false << false << "close" << false;
}

void TestTutorialDialog::startUpChoiceIsKept()
{
    QFETCH(bool, showOnStartup);
    QFETCH(bool, toggleBox);
    QFETCH(QString, closing);
    QFETCH(bool, stored);

    Model::Settings *settings = Model::Settings::instance();
    settings->setShowHowToAnimateOnStartup(showOnStartup);
    TestSupport::ScriptedDialogs dialogs;
    dialogs.runDialog = [toggleBox, closing](QDialog *shown) {
        shown->show();
        auto *box = shown->findChild<QCheckBox *>(QStringLiteral("checkBox_dontShowAgain"));
        if (toggleBox)
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        if (closing == QLatin1String("close"))
            QTest::mouseClick(shown->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Close), Qt::LeftButton);
        else if (closing == QLatin1String("escape"))
            QTest::keyClick(shown, Qt::Key_Escape);
        else
            shown->close();
        return shown->result();
    };

    UI::TutorialDialog dialog;
    dialog.setDontShowAgain(!settings->showHowToAnimateOnStartup());
    QCOMPARE(dialogs.exec(&dialog), int(QDialog::Rejected));
    settings->setShowHowToAnimateOnStartup(!dialog.dontShowAgain());

    QVERIFY(!dialog.isVisible());
    QCOMPARE(settings->showHowToAnimateOnStartup(), stored);
    FreshSettings nextRun;
    nextRun.load();
    QCOMPARE(nextRun.showHowToAnimateOnStartup(), stored);
}

QTEST_MAIN(TestTutorialDialog)
#include "tst_tutorialdialog.moc"
