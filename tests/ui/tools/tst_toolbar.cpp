#include "tools/toolbar.h"
#include "tools/toolbarhandle.h"

#include "support/widgetevents.h"

#include "actions/actionmanager.h"
#include "settings/settings.h"

#include <QAction>
#include <QHelpEvent>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

using TestSupport::click;
using TestSupport::clickFromTo;

namespace {

// Unscaled metrics of the bar.
constexpr int ColumnPitch = 42;
constexpr int ActionHeight = 40;
constexpr int SpacerHeight = 20;

const QString Spacer = QStringLiteral("-");

// Where the anchor points lie in the parent.
const QPoint LeftAnchor(0, 300);
const QPoint RightAnchor(800, 300);

// The middle of each entry of a bar at scale 1, column by column, from the
// entries it is expected to hold ("-" for a spacer).
QList<QPointF> entryCentres(const QSize &barSize, const QStringList &column, int c)
{
    int height = 0;
    for (const QString &entry : column)
        height += entry == Spacer ? SpacerHeight : ActionHeight;
    int top = (barSize.height() - height) / 2;
    QList<QPointF> centres;
    for (const QString &entry : column) {
        const int h = entry == Spacer ? SpacerHeight : ActionHeight;
        centres.append(QPointF(8 + ColumnPitch * c + 20, top + h / 2));
        top += h;
    }
    return centres;
}

} // namespace

// The tool bar: what a stored layout turns into, which clicks trigger, where
// the bar and its handle sit, and what the handle's clicks do.
class TestToolBar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void layoutParses_data();
    void layoutParses();
    void clicksThatTriggerNothing();
    void placement_data();
    void placement();
    void handleClicks_data();
    void handleClicks();
    void toolTips();

private:
    QString takeTriggered();

    std::unique_ptr<QWidget> m_parent;
    UI::ToolBar *m_bar = nullptr;
    QStringList m_triggered;
};

void TestToolBar::initTestCase()
{
    TestSupport::startModel();
    const QList<QAction *> actions = Model::ActionManager::instance()->findChildren<QAction *>();
    for (QAction *action : actions) {
        connect(action, &QAction::triggered, this,
                [this, action] { m_triggered.append(action->property("KLActionName").toString()); });
    }
}

void TestToolBar::init()
{
    m_parent = std::make_unique<QWidget>();
    m_parent->resize(800, 600);
    m_bar = new UI::ToolBar(m_parent.get());
    m_bar->moveLeftAndRightCenter(LeftAnchor, RightAnchor);
    m_parent->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_parent.get()));
    m_triggered.clear();
}

void TestToolBar::cleanup()
{
    Model::Settings::instance()->setUIScalePercent(100);
    m_parent.reset();
}

QString TestToolBar::takeTriggered()
{
    const QString names = m_triggered.join(QLatin1Char(','));
    m_triggered.clear();
    return names;
}

void TestToolBar::layoutParses_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QSize>("size");
    // Each column's entries joined by ",", "-" for a spacer.
    QTest::addColumn<QStringList>("columns");

    QTest::newRow("default")
        << QString(Model::Settings::DefaultToolBarActionList) << QSize(56, 436)
        << QStringList{"Draw,Erase,-,BacklightOnOff,-,Pan,Zoom,Rotate,-,AddBlankDrawing,ClearDrawingMakingBlank,"
                       "DiscardDrawing"};
    QTest::newRow("empty string is one spacer") << QString() << QSize(56, 36) << QStringList{"-"};
    QTest::newRow("marker at the start") << "NewToolBarColumn|Draw|Erase" << QSize(56, 96)
                                         << QStringList{"Draw,Erase"};
    QTest::newRow("trailing marker") << "Draw|NewToolBarColumn" << QSize(56, 56) << QStringList{"Draw"};
    // What the layout editor writes for an empty middle column.
    QTest::newRow("empty middle column") << "Draw|NewToolBarColumn|NewToolBarColumn|Erase|Pan" << QSize(98, 96)
                                         << QStringList{"Draw", "Erase,Pan"};
    QTest::newRow("three columns") << "Draw|NewToolBarColumn|Erase|Pan|NewToolBarColumn|Spacer|Zoom"
                                   << QSize(140, 96) << QStringList{"Draw", "Erase,Pan", "-,Zoom"};
    QTest::newRow("a fourth column joins the third")
        << "Draw|NewToolBarColumn|Erase|NewToolBarColumn|Pan|NewToolBarColumn|Zoom" << QSize(140, 96)
        << QStringList{"Draw", "Erase", "Pan,Zoom"};
    QTest::newRow("unknown, empty and miscased names are spacers")
        << "Draw|NoSuchAction||draw|Erase" << QSize(56, 156) << QStringList{"Draw,-,-,-,Erase"};
    QTest::newRow("only markers") << "NewToolBarColumn|NewToolBarColumn" << QSize(0, 0) << QStringList{};
    QTest::newRow("damaged") << "|||NewToolBarColumn|NewToolBarColumn|\x01|Spacer|Draw|NewToolBarColumn"
                             << QSize(98, 96) << QStringList{"-,-,-", "-,-,Draw"};
}

void TestToolBar::layoutParses()
{
    QFETCH(QString, layout);
    QFETCH(QSize, size);
    QFETCH(QStringList, columns);

    m_bar->setActionList(layout);
    QCOMPARE(m_bar->size(), size);
    for (int c = 0; c < columns.size(); ++c) {
        const QStringList entries = columns.at(c).split(QLatin1Char(','));
        const QList<QPointF> centres = entryCentres(size, entries, c);
        for (int r = 0; r < entries.size(); ++r) {
            click(m_bar, centres.at(r));
            QCOMPARE(takeTriggered(), entries.at(r) == Spacer ? QString() : entries.at(r));
        }
    }
    // Beside the last column nothing answers.
    click(m_bar, QPointF(8 + ColumnPitch * columns.size() + 20, size.height() / 2));
    QCOMPARE(takeTriggered(), QString());
}

void TestToolBar::clicksThatTriggerNothing()
{
    m_bar->setActionList(QStringLiteral("Draw|Erase|NewToolBarColumn|Pan"));
    const QPointF draw(28, 28);
    const QPointF erase(28, 68);
    const QPointF pan(70, 48);

    // A press that ends on another cell, in the same or the next column.
    clickFromTo(m_bar, draw, erase);
    clickFromTo(m_bar, draw, pan);
    // A press in the gap between the columns that ends on an action.
    clickFromTo(m_bar, QPointF(49, 48), pan);
    QCOMPARE(takeTriggered(), QString());

    // A disabled action.
    QAction *erasing = Model::ActionManager::instance()->action(KL::Action::Erase);
    erasing->setEnabled(false);
    click(m_bar, erase);
    erasing->setEnabled(true);
    QCOMPARE(takeTriggered(), QString());

    // The same click once it is enabled again, and a press that wanders off
    // and comes back.
    click(m_bar, erase);
    clickFromTo(m_bar, draw, pan);
    m_bar->setActionList(QStringLiteral("Draw"));
    TestSupport::sendMouse(m_bar, QEvent::MouseButtonPress, draw);
    TestSupport::sendMouse(m_bar, QEvent::MouseMove, QPointF(200, 28));
    TestSupport::sendMouse(m_bar, QEvent::MouseButtonRelease, draw);
    QCOMPARE(takeTriggered(), QStringLiteral("Erase,Draw"));
}

void TestToolBar::placement_data()
{
    QTest::addColumn<int>("scalePercent");
    QTest::addColumn<KL::ToolBarPosition>("position");
    QTest::addColumn<QRect>("bar");
    QTest::addColumn<QRect>("handle");

    // The default layout: 56 x 436 at scale 1, 76 x 646 at 1.5. The handle
    // is open (the bar shows): 32 x 15 at scale 1, 48 x 22 at 1.5.
    QTest::newRow("right, scale 1") << 100 << KL::ToolBarPosition::Right << QRect(800 - 32 - 56, 300 - 218, 56, 436)
                                    << QRect(800 - 32, 300 - 7, 32, 15);
    QTest::newRow("left, scale 1") << 100 << KL::ToolBarPosition::Left << QRect(32, 300 - 218, 56, 436)
                                   << QRect(0, 300 - 7, 32, 15);
    QTest::newRow("right, scale 1.5") << 150 << KL::ToolBarPosition::Right
                                      << QRect(800 - 48 - 76, 300 - 323, 76, 646) << QRect(800 - 48, 300 - 11, 48, 22);
    QTest::newRow("left, scale 1.5") << 150 << KL::ToolBarPosition::Left << QRect(48, 300 - 323, 76, 646)
                                     << QRect(0, 300 - 11, 48, 22);
}

void TestToolBar::placement()
{
    QFETCH(int, scalePercent);
    QFETCH(KL::ToolBarPosition, position);
    QFETCH(QRect, bar);
    QFETCH(QRect, handle);

    Model::Settings::instance()->setUIScalePercent(scalePercent);
    m_bar->setActionList(QString(Model::Settings::DefaultToolBarActionList));
    m_bar->updateUISize();
    m_bar->setHandlePosition(position);
    QCOMPARE(m_bar->geometry(), bar);
    QCOMPARE(m_bar->handle()->geometry(), handle);
}

void TestToolBar::handleClicks_data()
{
    QTest::addColumn<KL::ToolBarPosition>("position");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<int>("x");
    QTest::addColumn<bool>("counts");

    // Only the part away from the window edge answers: open, x from 9 to
    // 23; closed on the right, x up to 14; closed on the left, from 9.
    QTest::newRow("open, left end") << KL::ToolBarPosition::Right << true << 5 << false;
    QTest::newRow("open, middle") << KL::ToolBarPosition::Right << true << 16 << true;
    QTest::newRow("open, right end") << KL::ToolBarPosition::Left << true << 27 << false;
    QTest::newRow("closed right, inner part") << KL::ToolBarPosition::Right << false << 4 << true;
    QTest::newRow("closed right, edge part") << KL::ToolBarPosition::Right << false << 20 << false;
    QTest::newRow("closed left, edge part") << KL::ToolBarPosition::Left << false << 4 << false;
    QTest::newRow("closed left, inner part") << KL::ToolBarPosition::Left << false << 12 << true;
}

void TestToolBar::handleClicks()
{
    QFETCH(KL::ToolBarPosition, position);
    QFETCH(bool, opened);
    QFETCH(int, x);
    QFETCH(bool, counts);

    m_bar->setHandlePosition(position);
    UI::ToolBarHandle *handle = m_bar->handle();
    // The handle follows the bar however it is shown or hidden.
    m_bar->setVisible(opened);
    QCOMPARE(handle->isOpened(), opened);
    QCOMPARE(handle->size(), opened ? QSize(32, 15) : QSize(23, 15));

    QSignalSpy toggled(m_bar, &UI::ToolBar::toggled);
    click(handle, QPointF(x, 7));
    QCOMPARE(toggled.count(), counts ? 1 : 0);
    QCOMPARE(m_bar->isVisible(), counts != opened);
    QCOMPARE(handle->isOpened(), counts != opened);
}

void TestToolBar::toolTips()
{
    m_bar->setActionList(QStringLiteral("Draw|Spacer"));
    QAction *draw = Model::ActionManager::instance()->action(KL::Action::Draw);

    QHelpEvent onAction(QEvent::ToolTip, QPoint(28, 28), m_bar->mapToGlobal(QPoint(28, 28)));
    QApplication::sendEvent(m_bar, &onAction);
    QVERIFY(onAction.isAccepted());
    QTRY_COMPARE(QToolTip::text(), draw->toolTip());

    // A spacer leaves the tip as it is; off the entries the tip goes and the
    // event is left to others.
    QHelpEvent onSpacer(QEvent::ToolTip, QPoint(28, 58), m_bar->mapToGlobal(QPoint(28, 58)));
    QApplication::sendEvent(m_bar, &onSpacer);
    QCOMPARE(QToolTip::text(), draw->toolTip());
    QHelpEvent offEntries(QEvent::ToolTip, QPoint(3, 28), m_bar->mapToGlobal(QPoint(3, 28)));
    QApplication::sendEvent(m_bar, &offEntries);
    QVERIFY(!offEntries.isAccepted());
    QTRY_VERIFY(!QToolTip::isVisible());
}

QTEST_MAIN(TestToolBar)
#include "tst_toolbar.moc"
