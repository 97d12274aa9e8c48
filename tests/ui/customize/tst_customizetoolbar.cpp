#include "customize/customizetoolbar.h"
#include "customize/draggablespacer.h"
#include "customize/recyclebin.h"
#include "tools/toolbar.h"
#include "tools/toolbarlayout.h"

#include "customizetesthelpers.h"
#include "support/widgetevents.h"

#include "actions/actionmanager.h"
#include "settings/settings.h"

#include <QAction>
#include <QHelpEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

using CustomizeTest::dragData;
using CustomizeTest::DragRunner;
using TestSupport::dropOn;

using Columns = QList<QStringList>;

namespace {

const QString Spacer = QStringLiteral("Spacer");
const QSize EditorSize(141, 496);
// The tallest column the editor builds: twelve actions.
constexpr int TallestColumn = 480;

// Columns written as one string each, entries joined by ",".
Columns columnsOf(const QStringList &texts)
{
    Columns columns;
    for (const QString &text : texts)
        columns.append(text.isEmpty() ? QStringList() : text.split(QLatin1Char(',')));
    return columns;
}

Columns nonEmpty(Columns columns)
{
    columns.removeIf([](const QStringList &column) { return column.isEmpty(); });
    return columns;
}

// What the tool bar shows of a layout: its columns, every name that is not
// an action as a spacer.
Columns shownBy(const QString &layout)
{
    Columns shown = UI::ToolBarLayout::barColumns(layout);
    for (QStringList &column : shown) {
        for (QString &name : column) {
            if (!Model::ActionManager::instance()->actionByName(name))
                name = Spacer;
        }
    }
    return shown;
}

int columnHeight(const QStringList &column)
{
    if (column.isEmpty())
        return -1;
    int height = 0;
    for (const QString &name : column)
        height += name == Spacer ? 20 : 40;
    return height;
}

// The middle of an entry in an editor of the usual size.
QPointF entryCentre(const Columns &columns, int c, int r)
{
    int top = (EditorSize.height() - columnHeight(columns.at(c))) / 2;
    for (int i = 0; i < r; ++i)
        top += columns.at(c).at(i) == Spacer ? 20 : 40;
    return QPointF(28 + 42 * c, top + (columns.at(c).at(r) == Spacer ? 10 : 20));
}

int entryCount(const Columns &columns)
{
    int count = 0;
    for (const QStringList &column : columns)
        count += int(column.size());
    return count;
}

// The same real tool bar and the shown columns tell the same story: one
// column of 42 px per shown column.
int barWidth(const QString &layout)
{
    QWidget parent;
    UI::ToolBar bar(&parent);
    bar.setActionList(layout);
    return bar.width();
}

} // namespace

// The tool-bar editor and the spacer well: how layouts are read and written
// (the real tool bar shows what the editor shows), the column limit, where a
// dragged entry lands, and what becomes of an entry dragged out.
class TestCustomizeToolBar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void layoutReading_data();
    void layoutReading();
    void roundTripOfEveryLayout();
    void roundTripWhileEditing();
    void twelveActionsToAColumn();
    void aJumpKeepsTheOrder();
    void belowAColumnAppends();
    void dropsBesideTheColumnsAreRefused_data();
    void dropsBesideTheColumnsAreRefused();
    void leavingTakesThePlaceholderAway();
    void placeholderAndFlashArePainted();
    void dragOut_data();
    void dragOut();
    void spacerWellHandsOutCopies();
    void toolTipsAndShadow();

private:
    void load(const QStringList &columns);

    std::unique_ptr<QWidget> m_window;
    UI::CustomizeToolBar *m_editor = nullptr;
    UI::RecycleBin *m_bin = nullptr;
};

void TestCustomizeToolBar::initTestCase()
{
    TestSupport::startModel();
}

void TestCustomizeToolBar::init()
{
    m_window = std::make_unique<QWidget>();
    m_window->resize(600, 600);
    m_editor = new UI::CustomizeToolBar(m_window.get());
    m_editor->setGeometry(QRect(QPoint(20, 20), EditorSize));
    m_bin = new UI::RecycleBin(m_window.get());
    m_bin->move(300, 100);
}

void TestCustomizeToolBar::cleanup()
{
    m_window.reset();
}

void TestCustomizeToolBar::load(const QStringList &columns)
{
    m_editor->setActionList(UI::ToolBarLayout::write(columnsOf(columns)));
    QCOMPARE(m_editor->columns(), columnsOf(columns));
}

void TestCustomizeToolBar::layoutReading_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QString>("written");

    const QString defaults(Model::Settings::DefaultToolBarActionList);
    QTest::newRow("default fills the middle")
        << defaults << QStringList{"", QString(defaults).replace('|', ','), ""}
        << "NewToolBarColumn|" + defaults + "|NewToolBarColumn";
    QTest::newRow("one marker") << "Draw|NewToolBarColumn|Erase" << QStringList{"Draw", "Erase", ""}
                                << "Draw|NewToolBarColumn|Erase|NewToolBarColumn";
    QTest::newRow("markers after the second")
        << "Draw|NewToolBarColumn|Erase|NewToolBarColumn|Pan|NewToolBarColumn|Zoom|NewToolBarColumn|Rotate"
        << QStringList{"Draw", "Erase", "Pan,Zoom,Rotate"}
        << "Draw|NewToolBarColumn|Erase|NewToolBarColumn|Pan|Zoom|Rotate";
    QTest::newRow("empty middle column") << "Draw|NewToolBarColumn|NewToolBarColumn|Erase"
                                         << QStringList{"Draw", "", "Erase"}
                                         << "Draw|NewToolBarColumn|NewToolBarColumn|Erase";
    // The bar shows two columns here; so does the editor.
    QTest::newRow("surplus leading markers")
        << "NewToolBarColumn|NewToolBarColumn|NewToolBarColumn|Draw|NewToolBarColumn|Erase"
        << QStringList{"", "Draw", "Erase"} << "NewToolBarColumn|Draw|NewToolBarColumn|Erase";
    QTest::newRow("unknown, empty and miscased names")
        << "Draw|NoSuchAction||draw|Erase" << QStringList{"", "Draw,Spacer,Spacer,Spacer,Erase", ""}
        << "NewToolBarColumn|Draw|Spacer|Spacer|Spacer|Erase|NewToolBarColumn";
    QTest::newRow("empty string") << QString() << QStringList{"", "Spacer", ""}
                                  << "NewToolBarColumn|Spacer|NewToolBarColumn";
    QTest::newRow("only markers") << "NewToolBarColumn|NewToolBarColumn" << QStringList{"", "", ""}
                                  << "NewToolBarColumn|NewToolBarColumn";
    QTest::newRow("damaged") << "|||NewToolBarColumn|NewToolBarColumn|\x01|Spacer|Draw|NewToolBarColumn"
                             << QStringList{"Spacer,Spacer,Spacer", "Spacer,Spacer,Draw", ""}
                             << "Spacer|Spacer|Spacer|NewToolBarColumn|Spacer|Spacer|Draw|NewToolBarColumn";
}

void TestCustomizeToolBar::layoutReading()
{
    QFETCH(QString, layout);
    QFETCH(QStringList, columns);
    QFETCH(QString, written);

    m_editor->setActionList(layout);
    QCOMPARE(m_editor->columns(), columnsOf(columns));
    QCOMPARE(m_editor->actionList(), written);
    // The editor opens with what the bar shows of the stored layout, and the
    // bar shows the same of what the editor writes.
    QCOMPARE(nonEmpty(m_editor->columns()), shownBy(layout));
    QCOMPARE(shownBy(written), shownBy(layout));
    QCOMPARE(barWidth(written), barWidth(layout));
}

void TestCustomizeToolBar::roundTripOfEveryLayout()
{
    // Every editor state with up to two entries in each column, of two
    // actions and the spacer.
    const QStringList names{"Draw", "Erase", Spacer};
    QList<QStringList> contents{{}};
    for (const QString &a : names) {
        contents.append({a});
        for (const QString &b : names)
            contents.append({a, b});
    }
    QCOMPARE(contents.size(), 13);
    int states = 0;
    for (const QStringList &left : contents) {
        for (const QStringList &middle : contents) {
            for (const QStringList &right : contents) {
                const Columns state{left, middle, right};
                m_editor->setActionList(UI::ToolBarLayout::write(state));
                QCOMPARE(m_editor->columns(), state);
                const QString layout = m_editor->actionList();
                QCOMPARE(layout.count(QStringLiteral("NewToolBarColumn")), 2);
                QCOMPARE(shownBy(layout), nonEmpty(state));
                ++states;
            }
        }
    }
    QCOMPARE(states, 13 * 13 * 13);
    // The real bar for a sample: as many columns as hold something.
    QCOMPARE(barWidth(UI::ToolBarLayout::write(columnsOf({"Draw", "", "Spacer"}))), 2 * 42 + 14);
    QCOMPARE(barWidth(UI::ToolBarLayout::write(columnsOf({"", "", ""}))), 0);
}

void TestCustomizeToolBar::roundTripWhileEditing()
{
    // A long random session of drops and drags, from a fixed seed: after
    // every step the bar shows what the editor shows, the editor reopens as
    // it was, and no column has grown past twelve actions.
    QRandomGenerator random(26);
    const QStringList names{"Draw", "Erase", "Pan", Spacer};
    m_editor->setActionList(QStringLiteral("NewToolBarColumn|NewToolBarColumn"));
    UI::CustomizeToolBar reopened;
    reopened.resize(EditorSize);
    const auto randomPoint = [&random] {
        return QPointF(random.bounded(EditorSize.width() * 10) / 10.0, random.bounded(EditorSize.height() * 10) / 10.0);
    };
    int copied = 0;
    for (int step = 0; step < 600; ++step) {
        const Columns before = m_editor->columns();
        const int count = entryCount(before);
        const int op = count == 0 ? 0 : random.bounded(4);
        int expected = count;
        if (op == 0) {
            const auto data = dragData(names.at(random.bounded(int(names.size()))));
            if (dropOn(m_editor, randomPoint(), data.get(), Qt::CopyAction) == Qt::CopyAction) {
                ++expected;
                ++copied;
            }
        } else {
            int c = random.bounded(3);
            while (before.at(c).isEmpty())
                c = (c + 1) % 3;
            const int r = random.bounded(int(before.at(c).size()));
            const QString name = m_editor->takeOutForDrag(c, r);
            QCOMPARE(name, before.at(c).at(r));
            QCOMPARE(entryCount(m_editor->columns()), count - 1);
            if (op == 1) {
                const auto data = dragData(name);
                m_editor->finishDrag(dropOn(m_editor, randomPoint(), data.get(), Qt::MoveAction));
            } else if (op == 2) {
                // Dropped on the recycle bin.
                m_editor->finishDrag(Qt::MoveAction);
                --expected;
            } else {
                m_editor->finishDrag(Qt::IgnoreAction);
                QCOMPARE(m_editor->columns(), before);
            }
        }
        const Columns after = m_editor->columns();
        QCOMPARE(entryCount(after), expected);
        for (const QStringList &column : after)
            QVERIFY2(columnHeight(column) <= TallestColumn, qPrintable(column.join(',')));
        const QString layout = m_editor->actionList();
        QCOMPARE(shownBy(layout), nonEmpty(after));
        reopened.setActionList(layout);
        QCOMPARE(reopened.columns(), after);
    }
    // The session did build something.
    QVERIFY(copied > 50);
}

void TestCustomizeToolBar::twelveActionsToAColumn()
{
    load({"", "", ""});
    const QPointF middle(70, 248);
    for (int i = 0; i < 12; ++i) {
        const auto draw = dragData(QStringLiteral("Draw"));
        QCOMPARE(dropOn(m_editor, middle, draw.get(), Qt::CopyAction), Qt::CopyAction);
    }
    QCOMPARE(m_editor->columns().at(1).size(), 12);
    // The thirteenth finds no room, not even for a spacer.
    for (const QString &name : {QStringLiteral("Erase"), Spacer}) {
        const auto data = dragData(name);
        QCOMPARE(dropOn(m_editor, middle, data.get(), Qt::CopyAction), Qt::IgnoreAction);
    }
    QCOMPARE(m_editor->columns().at(1).size(), 12);
    // The other columns have room; and an entry of the full column moves
    // within it.
    const auto erase = dragData(QStringLiteral("Erase"));
    QCOMPARE(dropOn(m_editor, QPointF(28, 248), erase.get(), Qt::CopyAction), Qt::CopyAction);
    QCOMPARE(m_editor->takeOutForDrag(1, 0), QStringLiteral("Draw"));
    const auto draw = dragData(QStringLiteral("Draw"));
    const Qt::DropAction moved = dropOn(m_editor, QPointF(70, 400), draw.get(), Qt::MoveAction);
    QCOMPARE(moved, Qt::MoveAction);
    m_editor->finishDrag(moved);
    QCOMPARE(m_editor->columns().at(1).size(), 12);

    // Eleven actions and a spacer (460 px): one more spacer fits, no action.
    QStringList eleven(11, QStringLiteral("Draw"));
    load({"", (eleven + QStringList{Spacer}).join(','), ""});
    const auto action = dragData(QStringLiteral("Erase"));
    QCOMPARE(dropOn(m_editor, middle, action.get(), Qt::CopyAction), Qt::IgnoreAction);
    const auto spacer = dragData(Spacer);
    QCOMPARE(dropOn(m_editor, middle, spacer.get(), Qt::CopyAction), Qt::CopyAction);
    QCOMPARE(columnHeight(m_editor->columns().at(1)), TallestColumn);
    QCOMPARE(dropOn(m_editor, middle, spacer.get(), Qt::CopyAction), Qt::IgnoreAction);
}

void TestCustomizeToolBar::aJumpKeepsTheOrder()
{
    load({"", "Draw,Erase,Pan,Zoom", ""});
    QCOMPARE(m_editor->takeOutForDrag(1, 0), QStringLiteral("Draw"));
    const auto data = dragData(QStringLiteral("Draw"));
    // In at the top of the column, then in one move far below it: the
    // placeholder goes to the end and the others keep their order.
    QVERIFY(TestSupport::sendDragEnter(m_editor, QPointF(70, 200), data.get(), Qt::MoveAction));
    QVERIFY(TestSupport::sendDragMove(m_editor, QPointF(70, 200), data.get(), Qt::MoveAction));
    QCOMPARE(m_editor->columns().at(1), QStringList({"Draw", "Erase", "Pan", "Zoom"}));
    QVERIFY(TestSupport::sendDragMove(m_editor, QPointF(70, 480), data.get(), Qt::MoveAction));
    QCOMPARE(m_editor->columns().at(1), QStringList({"Erase", "Pan", "Zoom", "Draw"}));
    const Qt::DropAction result = TestSupport::sendDrop(m_editor, QPointF(70, 480), data.get(), Qt::MoveAction);
    QCOMPARE(result, Qt::MoveAction);
    m_editor->finishDrag(result);
    QCOMPARE(m_editor->columns().at(1), QStringList({"Erase", "Pan", "Zoom", "Draw"}));
}

void TestCustomizeToolBar::belowAColumnAppends()
{
    load({"Draw", "Erase,Pan", ""});
    const auto zoom = dragData(QStringLiteral("Zoom"));
    QCOMPARE(dropOn(m_editor, QPointF(70, 470), zoom.get(), Qt::CopyAction), Qt::CopyAction);
    const auto rotate = dragData(QStringLiteral("Rotate"));
    QCOMPARE(dropOn(m_editor, QPointF(70, 10), rotate.get(), Qt::CopyAction), Qt::CopyAction);
    // Into the middle of an entry's lower half: before the entry under the
    // point 10 px higher.
    const auto spacer = dragData(Spacer);
    const QPointF pan = entryCentre(m_editor->columns(), 1, 2);
    QCOMPARE(dropOn(m_editor, pan + QPointF(0, 5), spacer.get(), Qt::CopyAction), Qt::CopyAction);
    QCOMPARE(m_editor->columns(), columnsOf({"Draw", "Rotate,Erase,Spacer,Pan,Zoom", ""}));
}

void TestCustomizeToolBar::dropsBesideTheColumnsAreRefused_data()
{
    QTest::addColumn<int>("beside");
    QTest::addColumn<int>("inside");

    // Column c covers x from 8 + 42 c to 8 + 42 c + 39; drags arrive at
    // whole pixels.
    QTest::newRow("left of the first column") << 7 << 8;
    QTest::newRow("gap after the first column") << 48 << 47;
    QTest::newRow("gap before the second column") << 49 << 50;
    QTest::newRow("gap after the second column") << 90 << 89;
    QTest::newRow("right of the last column") << 132 << 131;
}

void TestCustomizeToolBar::dropsBesideTheColumnsAreRefused()
{
    QFETCH(int, beside);
    QFETCH(int, inside);

    load({"Draw", "Erase", "Pan"});
    const auto data = dragData(QStringLiteral("Zoom"));
    QCOMPARE(dropOn(m_editor, QPointF(beside, 248), data.get(), Qt::CopyAction), Qt::IgnoreAction);
    QCOMPARE(m_editor->columns(), columnsOf({"Draw", "Erase", "Pan"}));
    // Just inside a column the same drop lands.
    QCOMPARE(dropOn(m_editor, QPointF(inside, 248), data.get(), Qt::CopyAction), Qt::CopyAction);
    QCOMPARE(entryCount(m_editor->columns()), 4);
}

void TestCustomizeToolBar::leavingTakesThePlaceholderAway()
{
    load({"", "Draw", ""});
    const auto data = dragData(QStringLiteral("Erase"));
    QVERIFY(TestSupport::sendDragEnter(m_editor, QPointF(70, 300), data.get(), Qt::CopyAction));
    QVERIFY(TestSupport::sendDragMove(m_editor, QPointF(70, 300), data.get(), Qt::CopyAction));
    QCOMPARE(m_editor->columns().at(1), QStringList({"Draw", "Erase"}));
    // Over to another column and out of the editor.
    QVERIFY(TestSupport::sendDragMove(m_editor, QPointF(28, 300), data.get(), Qt::CopyAction));
    QCOMPARE(m_editor->columns(), columnsOf({"Erase", "Draw", ""}));
    TestSupport::sendDragLeave(m_editor);
    QCOMPARE(m_editor->columns(), columnsOf({"", "Draw", ""}));
    // A drop that comes without a move before it finds no placeholder.
    QCOMPARE(TestSupport::sendDrop(m_editor, QPointF(70, 300), data.get(), Qt::CopyAction), Qt::IgnoreAction);
    QCOMPARE(m_editor->columns(), columnsOf({"", "Draw", ""}));
}

void TestCustomizeToolBar::placeholderAndFlashArePainted()
{
    UI::CustomizeToolBar settled;
    settled.resize(EditorSize);
    settled.setActionList(UI::ToolBarLayout::write(columnsOf({"", "Draw,Erase", ""})));
    const QImage finished = CustomizeTest::painted(&settled);
    load({"", "Draw", ""});

    // While the drag hovers, the place where Erase would land shows an
    // empty frame; after the drop its cell is lit for a moment, then the
    // bar looks as one loaded with Erase in that place.
    const auto data = dragData(QStringLiteral("Erase"));
    QVERIFY(TestSupport::sendDragEnter(m_editor, QPointF(70, 300), data.get(), Qt::CopyAction));
    QVERIFY(TestSupport::sendDragMove(m_editor, QPointF(70, 300), data.get(), Qt::CopyAction));
    const QImage placeholder = CustomizeTest::painted(m_editor);
    QVERIFY(CustomizeTest::differingPixels(placeholder, finished) > 0);
    QCOMPARE(TestSupport::sendDrop(m_editor, QPointF(70, 300), data.get(), Qt::CopyAction), Qt::CopyAction);
    const QImage flash = CustomizeTest::painted(m_editor);
    QVERIFY(CustomizeTest::differingPixels(flash, finished) > 0);
    QVERIFY(CustomizeTest::differingPixels(flash, placeholder) > 0);
    QTRY_COMPARE(CustomizeTest::differingPixels(CustomizeTest::painted(m_editor), finished), 0);

    // The shadow lies around the bar only: none at the editor's corner.
    QImage shadow(EditorSize, QImage::Format_ARGB32_Premultiplied);
    shadow.fill(Qt::transparent);
    QPainter painter(&shadow);
    m_editor->paintShadow(&painter);
    painter.end();
    QCOMPARE(qAlpha(shadow.pixel(0, 0)), 0);
    QVERIFY(qAlpha(shadow.pixel(70, 248 - 40 - 8 - 20)) > 0);
}

void TestCustomizeToolBar::dragOut_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("ending");
    QTest::addColumn<QStringList>("columns");

    // The middle column holds Draw, a spacer and Erase.
    QTest::newRow("let go") << 0 << "let go" << QStringList{"", "Draw,Spacer,Erase", ""};
    QTest::newRow("onto the recycle bin") << 0 << "bin" << QStringList{"", "Spacer,Erase", ""};
    QTest::newRow("spacer onto the recycle bin") << 1 << "bin" << QStringList{"", "Draw,Erase", ""};
    QTest::newRow("onto the bin's rim") << 2 << "rim" << QStringList{"", "Draw,Spacer,Erase", ""};
    QTest::newRow("to another column") << 2 << "left column" << QStringList{"Erase", "Draw,Spacer", ""};
    QTest::newRow("through the editor and out") << 0 << "through" << QStringList{"", "Draw,Spacer,Erase", ""};
}

void TestCustomizeToolBar::dragOut()
{
    QFETCH(int, row);
    QFETCH(QString, ending);
    QFETCH(QStringList, columns);

    load({"", "Draw,Spacer,Erase", ""});
    const Columns before = m_editor->columns();
    const QString name = before.at(1).at(row);
    Columns during;
    DragRunner runner([&](const QMimeData *data, Qt::DropActions actions) {
        during = m_editor->columns();
        if (ending == QLatin1String("bin"))
            return dropOn(m_bin, QPointF(100, 130), data, actions);
        if (ending == QLatin1String("rim"))
            return dropOn(m_bin, QPointF(100, 150), data, actions);
        if (ending == QLatin1String("left column"))
            return dropOn(m_editor, QPointF(28, 248), data, actions);
        if (ending == QLatin1String("through")) {
            TestSupport::sendDragEnter(m_editor, QPointF(28, 248), data, actions);
            TestSupport::sendDragMove(m_editor, QPointF(28, 248), data, actions);
            TestSupport::sendDragLeave(m_editor);
        }
        return Qt::IgnoreAction;
    });
    const QPointF at = entryCentre(before, 1, row);
    TestSupport::drag(m_editor, {at, at + QPointF(0, 20), at + QPointF(0, 40)});

    QCOMPARE(runner.drags().size(), 1);
    const CustomizeTest::DragRecord &drag = runner.drags().first();
    QCOMPARE(drag.data, name.toUtf8());
    QCOMPARE(drag.text, name);
    QCOMPARE(drag.actions, Qt::DropActions(Qt::MoveAction));
    QCOMPARE(drag.pixmapSize, name == Spacer ? QSize(36, 22) : QSize(32, 32));
    QCOMPARE(drag.hotSpot, name == Spacer ? QPoint(16, 8) : QPoint(16, 16));
    // The entry left its cell as the drag began.
    QStringList rest = before.at(1);
    rest.removeAt(row);
    QCOMPARE(during.at(1), rest);
    QCOMPARE(m_editor->columns(), columnsOf(columns));
}

void TestCustomizeToolBar::spacerWellHandsOutCopies()
{
    load({"", "Draw", ""});
    auto *well = new UI::DraggableSpacer(m_window.get());
    QCOMPARE(well->size(), QSize(72, 72));
    DragRunner runner(CustomizeTest::dropAt(m_bin, QPointF(100, 100)));
    TestSupport::drag(well, {QPointF(36, 36), QPointF(56, 36)});
    runner.setEnd(CustomizeTest::dropAt(m_editor, QPointF(70, 400)));
    TestSupport::drag(well, {QPointF(36, 36), QPointF(56, 36)});

    QCOMPARE(runner.drags().size(), 2);
    for (const CustomizeTest::DragRecord &drag : runner.drags()) {
        QCOMPARE(drag.data, QByteArray("Spacer"));
        QCOMPARE(drag.text, Spacer);
        QCOMPARE(drag.actions, Qt::DropActions(Qt::CopyAction));
        QCOMPARE(drag.pixmapSize, QSize(36, 22));
        QCOMPARE(drag.hotSpot, QPoint(16, 8));
    }
    // The bin took nothing; the editor took a spacer.
    QCOMPARE(m_editor->columns(), columnsOf({"", "Draw,Spacer", ""}));
    // A press and a move shorter than the drag distance start nothing.
    TestSupport::drag(well, {QPointF(36, 36), QPointF(37, 36)});
    QCOMPARE(runner.drags().size(), 2);
}

void TestCustomizeToolBar::toolTipsAndShadow()
{
    QSignalSpy shadow(m_editor, &UI::CustomizeToolBar::shadowUpdateNeeded);
    load({"", "Draw,Spacer", ""});
    QCOMPARE(shadow.count(), 1);
    QCOMPARE(shadow.first().first().toRect(),
             QRect(m_editor->mapToGlobal(QPoint(-50, -50)), EditorSize + QSize(100, 100)));

    QAction *draw = Model::ActionManager::instance()->action(KL::Action::Draw);
    const Columns columns = m_editor->columns();
    const QPoint onDraw = entryCentre(columns, 1, 0).toPoint();
    QHelpEvent onAction(QEvent::ToolTip, onDraw, m_editor->mapToGlobal(onDraw));
    QApplication::sendEvent(m_editor, &onAction);
    QVERIFY(onAction.isAccepted());
    QTRY_COMPARE(QToolTip::text(), draw->toolTip());
    const QPoint onSpacer = entryCentre(columns, 1, 1).toPoint();
    QHelpEvent overSpacer(QEvent::ToolTip, onSpacer, m_editor->mapToGlobal(onSpacer));
    QApplication::sendEvent(m_editor, &overSpacer);
    QVERIFY(!overSpacer.isAccepted());
    QTRY_VERIFY(!QToolTip::isVisible());
}

QTEST_MAIN(TestCustomizeToolBar)
#include "tst_customizetoolbar.moc"
