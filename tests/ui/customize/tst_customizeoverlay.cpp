#include "customize/actionslist.h"
#include "customize/actionslistitemdelegate.h"
#include "customize/customizeoverlay.h"
#include "customize/customizespeeddial.h"
#include "customize/customizetoolbar.h"
#include "customize/dragarrow.h"
#include "customize/draggablespacer.h"
#include "customize/recyclebin.h"

#include "customizetesthelpers.h"
#include "support/widgetevents.h"

#include "actions/actionmanager.h"
#include "settings/settings.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QSvgRenderer>
#include <QTest>
#include <QUndoGroup>

using CustomizeTest::differingPixels;
using CustomizeTest::dragData;
using CustomizeTest::DragRunner;
using CustomizeTest::painted;
using TestSupport::dropOn;

namespace {

const QString ToolBarLayout = QStringLiteral("Draw|Erase");
const QString PrimaryList = QStringLiteral("Play|||||||");
const QString SecondaryList = QStringLiteral("|Draw||||||");
const QString DefaultToolBar(Model::Settings::DefaultToolBarActionList);
const QString DefaultPrimary(Model::Settings::DefaultPrimarySpeedDialActionList);
const QString DefaultSecondary(Model::Settings::DefaultSecondarySpeedDialActionList);

// The primary list of the tests with `name` in its bottom slot.
QString withSlot2(const QString &name)
{
    return QStringLiteral("Play||%1|||||").arg(name);
}

QImage paintedArt(const QString &path, QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QSvgRenderer art(path);
    QPainter painter(&image);
    art.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

} // namespace

// The customise overlay: its action list and the drags it starts, OK,
// Cancel, Escape and Restore Defaults in both modes, the switch between
// them, the recycle bin, and the action drag data every target reads.
class TestCustomizeOverlay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void actionList();
    void actionListDrags();
    void buttons_data();
    void buttons();
    void editsAreGoneOnReopening();
    void modeSwitch();
    void recycleBin_data();
    void recycleBin();
    void dropData_data();
    void dropData();
    void look();

private:
    void showMode(int mode);
    // A drop that changes the editor of the mode.
    void edit(int mode);
    UI::ActionsList *list() const { return m_overlay->findChild<UI::ActionsList *>("actionsListWidget"); }
    UI::CustomizeToolBar *toolBar() const { return m_overlay->findChild<UI::CustomizeToolBar *>("toolBar"); }
    UI::CustomizeSpeedDial *dial(const char *name) const { return m_overlay->findChild<UI::CustomizeSpeedDial *>(name); }
    UI::RecycleBin *bin() const { return m_overlay->findChild<UI::RecycleBin *>("recycleBin"); }
    QDialogButtonBox *buttonBox() const { return m_overlay->findChild<QDialogButtonBox *>("buttonBox"); }
    QString title() const { return m_overlay->findChild<QLabel *>("titleLabel")->text(); }

    QUndoGroup m_undoGroup;
    std::unique_ptr<QWidget> m_window;
    UI::CustomizeOverlay *m_overlay = nullptr;
};

void TestCustomizeOverlay::initTestCase()
{
    TestSupport::startModel();
    // Undo and Redo are made for an undo group, as the main window does.
    Model::ActionManager::instance()->createUndoRedoActions(&m_undoGroup);
}

void TestCustomizeOverlay::init()
{
    Model::Settings *settings = Model::Settings::instance();
    settings->setToolBarActionList(ToolBarLayout);
    settings->setPrimarySpeedDialActionList(PrimaryList);
    settings->setSecondarySpeedDialActionList(SecondaryList);
    m_window = std::make_unique<QWidget>();
    m_window->resize(1100, 800);
    m_overlay = new UI::CustomizeOverlay(m_window.get());
    m_overlay->populateActionsList();
    m_overlay->resize(m_window->size());
    m_overlay->hide();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestCustomizeOverlay::cleanup()
{
    m_window.reset();
}

void TestCustomizeOverlay::showMode(int mode)
{
    if (mode == 0)
        m_overlay->showToolBar();
    else
        m_overlay->showSpeedDials();
    QVERIFY(m_overlay->isVisible());
}

void TestCustomizeOverlay::edit(int mode)
{
    const auto pan = dragData(QStringLiteral("Pan"));
    if (mode == 0) {
        // Below the middle column, which holds Draw and Erase.
        QCOMPARE(dropOn(toolBar(), QPointF(70, 300), pan.get(), Qt::CopyAction), Qt::CopyAction);
        QCOMPARE(toolBar()->actionList(), QStringLiteral("NewToolBarColumn|Draw|Erase|Pan|NewToolBarColumn"));
    } else {
        // The bottom slot of the primary dial.
        QCOMPARE(dropOn(dial("primarySpeedDial"), QPointF(97, 166), pan.get(), Qt::CopyAction), Qt::CopyAction);
        QCOMPARE(dial("primarySpeedDial")->actionList(), QStringLiteral("Play||Pan|||||"));
    }
}

void TestCustomizeOverlay::actionList()
{
    QListWidget *rows = list();
    const auto *delegate = qobject_cast<UI::ActionsListItemDelegate *>(rows->itemDelegate());
    QVERIFY(delegate);
    QStringList headings;
    int actions = 0;
    int separators = 0;
    for (int i = 0; i < rows->count(); ++i) {
        const QModelIndex index = rows->model()->index(i, 0);
        const QListWidgetItem *item = rows->item(i);
        const int height = delegate->sizeHint(QStyleOptionViewItem(), index).height();
        const QString name = item->data(UI::ActionsList::NameRole).toString();
        if (UI::ActionsListItemDelegate::isHeading(index)) {
            headings.append(item->text());
            QCOMPARE(height, 50);
        } else if (UI::ActionsListItemDelegate::isSeparator(index)) {
            ++separators;
            QCOMPARE(height, 19);
        } else if (!name.isEmpty()) {
            ++actions;
            QCOMPARE(height, 40);
            QCOMPARE(item->flags(), Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsEnabled);
            QVERIFY2(!item->text().contains('&'), qPrintable(item->text()));
            QCOMPARE(item->icon().availableSizes().value(0), QSize(36, 36));
            continue;
        } else {
            QCOMPARE(item->flags(), Qt::NoItemFlags);
            QCOMPARE(height, 35);
            continue;
        }
        // Headings and separators can be neither chosen nor dragged.
        QVERIFY(!(item->flags() & (Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsEnabled)));
    }
    QCOMPARE(headings, QStringList({"DRAWING", "FLIP & PLAY", "LIGHT TABLE (VIEW)", "X-SHEET", "EDIT",
                                    "PICK UP (SELECTION)", "PAINT"}));
    QCOMPARE(actions, 61);
    QCOMPARE(separators, 20);
    QCOMPARE(rows->count(), 61 + 7 + 20 + 2);
    // A blank row first, then the first heading and its first action; the
    // fill tool and a blank row last.
    QCOMPARE(rows->item(0)->flags(), Qt::NoItemFlags);
    QCOMPARE(rows->item(1)->text(), QStringLiteral("DRAWING"));
    QCOMPARE(rows->item(2)->data(UI::ActionsList::NameRole).toString(), QStringLiteral("Draw"));
    QCOMPARE(rows->item(rows->count() - 2)->data(UI::ActionsList::NameRole).toString(), QStringLiteral("FillTool"));
    QCOMPARE(rows->item(rows->count() - 1)->flags(), Qt::NoItemFlags);

    // A missing action is left out with a note; nothing else changes.
    QTest::ignoreMessage(QtDebugMsg, "UI::CustomizeOverlay::addAction trying to insert null action");
    m_overlay->addAction(nullptr);
    QCOMPARE(rows->count(), 61 + 7 + 20 + 2);
}

void TestCustomizeOverlay::actionListDrags()
{
    showMode(0);
    QListWidget *rows = list();
    QListWidgetItem *draw = rows->item(2);
    QListWidgetItem *heading = rows->item(1);
    DragRunner runner(CustomizeTest::dropAt(bin(), QPointF(100, 100)));
    const auto dragRow = [rows](QListWidgetItem *item) {
        const QPoint from = rows->visualItemRect(item).center();
        TestSupport::drag(rows->viewport(), {from, from + QPoint(30, 0), from + QPoint(60, 0)});
    };
    // A copy of Draw: the bin refuses it, the tool-bar editor takes it.
    dragRow(draw);
    runner.setEnd(CustomizeTest::dropAt(toolBar(), QPointF(70, 320)));
    dragRow(draw);
    QCOMPARE(runner.drags().size(), 2);
    for (const CustomizeTest::DragRecord &drag : runner.drags()) {
        QCOMPARE(drag.data, QByteArray("Draw"));
        QVERIFY(!drag.hasText);
        QCOMPARE(drag.actions, Qt::DropActions(Qt::CopyAction));
        QCOMPARE(drag.pixmapSize, QSize(32, 32));
        QCOMPARE(drag.hotSpot, QPoint(16, 16));
    }
    QCOMPARE(toolBar()->columns().at(1), QStringList({"Draw", "Erase", "Draw"}));
    // The list keeps every row and takes no drops back.
    QCOMPARE(rows->count(), 61 + 7 + 20 + 2);
    const auto data = dragData(QStringLiteral("Draw"));
    QCOMPARE(dropOn(rows->viewport(), QPointF(50, 50), data.get(), Qt::CopyAction), Qt::IgnoreAction);
    QCOMPARE(rows->count(), 61 + 7 + 20 + 2);

    // With Draw still the current row, a drag from a heading or a blank row
    // carries nothing.
    QCOMPARE(rows->currentItem(), draw);
    dragRow(heading);
    dragRow(rows->item(0));
    QCOMPARE(runner.drags().size(), 2);
}

void TestCustomizeOverlay::buttons_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("edited");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<int>("toolBarUpdates");
    QTest::addColumn<int>("speedDialUpdates");

    const QStringList unchanged{ToolBarLayout, PrimaryList, SecondaryList};
    QTest::newRow("tool bar, OK") << 0 << true << "ok"
                                  << QStringList{"NewToolBarColumn|Draw|Erase|Pan|NewToolBarColumn", PrimaryList,
                                                 SecondaryList}
                                  << 1 << 0;
    // A stored layout without markers comes back with two.
    QTest::newRow("tool bar, OK unedited") << 0 << false << "ok"
                                           << QStringList{"NewToolBarColumn|Draw|Erase|NewToolBarColumn",
                                                          PrimaryList, SecondaryList}
                                           << 1 << 0;
    QTest::newRow("tool bar, Cancel") << 0 << true << "cancel" << unchanged << 0 << 0;
    QTest::newRow("tool bar, Escape") << 0 << true << "escape" << unchanged << 0 << 0;
    QTest::newRow("tool bar, defaults and Cancel") << 0 << true << "restore,cancel" << unchanged << 0 << 0;
    QTest::newRow("tool bar, defaults and OK")
        << 0 << true << "restore,ok"
        << QStringList{"NewToolBarColumn|" + DefaultToolBar + "|NewToolBarColumn", PrimaryList, SecondaryList} << 1
        << 0;
    QTest::newRow("speed dials, OK") << 1 << true << "ok"
                                     << QStringList{ToolBarLayout, "Play||Pan|||||", SecondaryList} << 0 << 1;
    QTest::newRow("speed dials, Cancel") << 1 << true << "cancel" << unchanged << 0 << 0;
    QTest::newRow("speed dials, Escape") << 1 << true << "escape" << unchanged << 0 << 0;
    QTest::newRow("speed dials, defaults and Cancel") << 1 << true << "restore,cancel" << unchanged << 0 << 0;
    QTest::newRow("speed dials, defaults and OK")
        << 1 << true << "restore,ok" << QStringList{ToolBarLayout, DefaultPrimary, DefaultSecondary} << 0 << 1;
}

void TestCustomizeOverlay::buttons()
{
    QFETCH(int, mode);
    QFETCH(bool, edited);
    QFETCH(QString, steps);
    QFETCH(QStringList, stored);
    QFETCH(int, toolBarUpdates);
    QFETCH(int, speedDialUpdates);

    QSignalSpy toolBarUpdated(m_overlay, &UI::CustomizeOverlay::toolBarUpdated);
    QSignalSpy speedDialsUpdated(m_overlay, &UI::CustomizeOverlay::speedDialsUpdated);
    // What the main window does on the signals, to see that the layout is
    // stored before they come.
    QStringList seen;
    const auto look = [&seen] {
        Model::Settings *settings = Model::Settings::instance();
        seen = {settings->toolBarActionList(), settings->primarySpeedDialActionList(),
                settings->secondarySpeedDialActionList()};
    };
    connect(m_overlay, &UI::CustomizeOverlay::toolBarUpdated, this, look);
    connect(m_overlay, &UI::CustomizeOverlay::speedDialsUpdated, this, look);
    showMode(mode);
    if (edited)
        edit(mode);
    for (const QString &step : steps.split(',')) {
        if (step == QLatin1String("ok")) {
            buttonBox()->button(QDialogButtonBox::Ok)->click();
        } else if (step == QLatin1String("cancel")) {
            buttonBox()->button(QDialogButtonBox::Cancel)->click();
        } else if (step == QLatin1String("restore")) {
            buttonBox()->button(QDialogButtonBox::RestoreDefaults)->click();
            // Restoring stores nothing and keeps the overlay open.
            QVERIFY(m_overlay->isVisible());
        } else {
            // Escape, released while the action list has the focus.
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(list(), &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(list(), &release);
        }
    }
    QVERIFY(!m_overlay->isVisible());
    Model::Settings *settings = Model::Settings::instance();
    QCOMPARE(QStringList({settings->toolBarActionList(), settings->primarySpeedDialActionList(),
                          settings->secondarySpeedDialActionList()}),
             stored);
    QCOMPARE(toolBarUpdated.count(), toolBarUpdates);
    QCOMPARE(speedDialsUpdated.count(), speedDialUpdates);
    if (toolBarUpdates + speedDialUpdates > 0)
        QCOMPARE(seen, stored);
}

void TestCustomizeOverlay::editsAreGoneOnReopening()
{
    const auto shown = [this](int mode) {
        return mode == 0 ? toolBar()->actionList() : dial("primarySpeedDial")->actionList();
    };
    const QStringList stored{"NewToolBarColumn|Draw|Erase|NewToolBarColumn", PrimaryList};
    for (int mode : {0, 1}) {
        showMode(mode);
        edit(mode);
        m_overlay->reject();
        showMode(mode);
        QCOMPARE(shown(mode), stored.at(mode));
        // Showing again while shown drops the edits too.
        edit(mode);
        showMode(mode);
        QCOMPARE(shown(mode), stored.at(mode));
        m_overlay->reject();
    }
}

void TestCustomizeOverlay::modeSwitch()
{
    auto *pages = m_overlay->findChild<QStackedWidget *>("stackedWidget");
    auto *well = m_overlay->findChild<UI::DraggableSpacer *>("draggableSpacer");
    auto *description = m_overlay->findChild<QLabel *>("dragDescriptionLabel");
    QCOMPARE(title(), QStringLiteral("CUSTOMIZE"));

    showMode(0);
    QCOMPARE(m_overlay->mode(), UI::CustomizeOverlay::Mode::ToolBar);
    QCOMPARE(title(), QStringLiteral("CUSTOMIZE TOOL BAR"));
    QCOMPARE(description->text(), QStringLiteral("Drag icon from list, drop at preferred spot on Tool Bar"));
    QCOMPARE(pages->currentIndex(), 0);
    QVERIFY(well->isVisible());
    edit(0);

    // The speed-dial action while the tool bar is shown: its edits are
    // dropped, nothing is stored.
    QSignalSpy toolBarUpdated(m_overlay, &UI::CustomizeOverlay::toolBarUpdated);
    showMode(1);
    QCOMPARE(m_overlay->mode(), UI::CustomizeOverlay::Mode::SpeedDials);
    QCOMPARE(title(), QStringLiteral("CUSTOMIZE SPEED DIALS"));
    QCOMPARE(description->text(), QStringLiteral("Drag icon from list, drop at preferred spot on Speed Dial"));
    QCOMPARE(pages->currentIndex(), 1);
    QVERIFY(!well->isVisible());
    QVERIFY(!m_overlay->findChild<QLabel *>("spacerDescriptionLabel")->isVisible());
    QCOMPARE(dial("primarySpeedDial")->actionList(), PrimaryList);
    showMode(0);
    QCOMPARE(toolBar()->actionList(), QStringLiteral("NewToolBarColumn|Draw|Erase|NewToolBarColumn"));
    QCOMPARE(Model::Settings::instance()->toolBarActionList(), ToolBarLayout);
    QCOMPARE(toolBarUpdated.count(), 0);
}

void TestCustomizeOverlay::recycleBin_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("actions");
    QTest::addColumn<double>("distance");
    QTest::addColumn<bool>("taken");

    const int move = Qt::MoveAction;
    const int copy = Qt::CopyAction;
    QTest::newRow("a moved action at the centre") << QByteArray("Draw") << move << 0.0 << true;
    QTest::newRow("a moved spacer") << QByteArray("Spacer") << move << 20.0 << true;
    QTest::newRow("just inside the radius") << QByteArray("Draw") << move << 49.0 << true;
    QTest::newRow("on the radius") << QByteArray("Draw") << move << 50.0 << false;
    QTest::newRow("a copy from the list") << QByteArray("Draw") << copy << 0.0 << false;
    QTest::newRow("a copied spacer") << QByteArray("Spacer") << copy << 0.0 << false;
    QTest::newRow("an unknown name") << QByteArray("NoSuchAction") << move << 0.0 << false;
}

void TestCustomizeOverlay::recycleBin()
{
    QFETCH(QByteArray, data);
    QFETCH(int, actions);
    QFETCH(double, distance);
    QFETCH(bool, taken);

    UI::RecycleBin *recycle = bin();
    QCOMPARE(recycle->size(), QSize(200, 200));
    const QImage unlit = paintedArt(QStringLiteral(":/customize/recycleDropBin.svg"), QSize(200, 200));
    const QImage lit = paintedArt(QStringLiteral(":/customize/recycleDropBin-hover.svg"), QSize(200, 200));
    QCOMPARE(differingPixels(painted(recycle), unlit), 0);

    // Straight down from the centre, at whole pixels as drags come.
    const QPointF at(100, 100 + distance);
    const auto mime = dragData(data);
    const Qt::DropActions offered = Qt::DropActions(actions);
    if (TestSupport::sendDragEnter(recycle, at, mime.get(), offered)) {
        const bool reached = TestSupport::sendDragMove(recycle, at, mime.get(), offered);
        QCOMPARE(reached, taken);
        // Lit while a drag it would take hovers within reach.
        QCOMPARE(differingPixels(painted(recycle), reached ? lit : unlit), 0);
        TestSupport::sendDragLeave(recycle);
        QCOMPARE(differingPixels(painted(recycle), unlit), 0);
    }
    QCOMPARE(dropOn(recycle, at, mime.get(), offered), taken ? Qt::MoveAction : Qt::IgnoreAction);
    if (taken) {
        // Lit for a moment after a drop.
        QCOMPARE(differingPixels(painted(recycle), lit), 0);
        QTRY_COMPARE(differingPixels(painted(recycle), unlit), 0);
    } else {
        QCOMPARE(differingPixels(painted(recycle), unlit), 0);
    }
}

void TestCustomizeOverlay::dropData_data()
{
    QTest::addColumn<bool>("hasFormat");
    QTest::addColumn<QByteArray>("bytes");
    // "" when the data names nothing the program knows.
    QTest::addColumn<QString>("entry");

    QTest::newRow("an action") << true << QByteArray("Draw") << "Draw";
    QTest::newRow("a spacer") << true << QByteArray("Spacer") << "Spacer";
    QTest::newRow("text only") << false << QByteArray("Draw") << "";
    QTest::newRow("empty") << true << QByteArray() << "";
    QTest::newRow("an unknown name") << true << QByteArray("NoSuchAction") << "";
    QTest::newRow("miscased") << true << QByteArray("draw") << "";
    QTest::newRow("the column marker") << true << QByteArray("NewToolBarColumn") << "";
    QTest::newRow("NoAction") << true << QByteArray("NoAction") << "";
    QTest::newRow("invalid UTF-8") << true << QByteArray("Dr\xff" "aw") << "";
    QTest::newRow("overlong encoding") << true << QByteArray("Dr\xc1\xa1w") << "";
    QTest::newRow("byte-order mark") << true << QByteArray("\xef\xbb\xbf" "Draw") << "";
    QTest::newRow("a zero after the name") << true << QByteArray("Draw\0", 5) << "";
    QTest::newRow("two names") << true << QByteArray("Draw|Erase") << "";
    QTest::newRow("a space after the name") << true << QByteArray("Draw ") << "";
    QTest::newRow("a zero and more after the name") << true << QByteArray("Draw\0Erase", 10) << "";
    QTest::newRow("too long") << true << QByteArray(4096, 'A') << "";
}

void TestCustomizeOverlay::dropData()
{
    QFETCH(bool, hasFormat);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, entry);

    QMimeData mime;
    mime.setText(QString::fromUtf8(bytes));
    if (hasFormat)
        mime.setData(UI::ActionDrag::MimeType, bytes);
    const UI::ActionDrag::Payload payload = UI::ActionDrag::read(&mime);
    QCOMPARE(payload.valid, !entry.isEmpty());
    QCOMPARE(payload.isSpacer(), entry == QLatin1String("Spacer"));
    QCOMPARE(payload.entry ? payload.entry->action->property("KLActionName").toString() : QString(),
             payload.isSpacer() ? QString() : entry);

    // Every target: the tool-bar editor takes actions and spacers, a dial
    // editor actions, the recycle bin both as moves; what names nothing is
    // refused everywhere and changes nothing.
    showMode(0);
    const QString layout = toolBar()->actionList();
    const Qt::DropAction onBar = dropOn(toolBar(), QPointF(70, 300), &mime, Qt::CopyAction);
    QCOMPARE(onBar, payload.valid ? Qt::CopyAction : Qt::IgnoreAction);
    QCOMPARE(toolBar()->actionList() != layout, payload.valid);
    const Qt::DropAction onBin = dropOn(bin(), QPointF(100, 100), &mime, Qt::MoveAction);
    QCOMPARE(onBin, payload.valid ? Qt::MoveAction : Qt::IgnoreAction);
    showMode(1);
    UI::CustomizeSpeedDial *primary = dial("primarySpeedDial");
    const Qt::DropAction onDial = dropOn(primary, QPointF(97, 166), &mime, Qt::MoveAction);
    QCOMPARE(onDial, payload.entry ? Qt::MoveAction : Qt::IgnoreAction);
    QCOMPARE(primary->actionList(), payload.entry ? withSlot2(entry) : PrimaryList);
}

void TestCustomizeOverlay::look()
{
    showMode(1);
    QCOMPARE(QColor(m_overlay->grab().toImage().pixel(5, 10)), QColor(57, 57, 57));
    QCOMPARE(m_overlay->findChild<UI::DragArrow *>("widget")->size(), QSize(148, 36));
    QCOMPARE(dial("primarySpeedDial")->size(), QSize(194, 194));
    QCOMPARE(m_overlay->findChild<QLabel *>("primaryLabel")->width(), 194);
    showMode(0);
    QCOMPARE(toolBar()->size(), QSize(141, 496));
    QCOMPARE(m_overlay->findChild<QLabel *>("toolbarLabel")->width(), 141);
    QCOMPARE(m_overlay->findChild<UI::DraggableSpacer *>("draggableSpacer")->size(), QSize(72, 72));
    QCOMPARE(buttonBox()->height(), 47);
    const QFont titleFont = m_overlay->findChild<QLabel *>("titleLabel")->font();
    QCOMPARE(titleFont.family(), QStringLiteral("Passion One"));
    QCOMPARE(titleFont.pointSize(), 20);
    // The scroll bars ask the application style for their slim handles.
    QVERIFY(list()->verticalScrollBar()->property(UI::ActionsList::ScrollBarStyleProperty).toBool());

    // The header band across the top, the overlay's own colour below its
    // shadow.
    const QImage overlay = m_overlay->grab().toImage();
    QCOMPARE(QColor(overlay.pixel(5, 10)), QColor(57, 57, 57));
    QCOMPARE(QColor(overlay.pixel(5, 47 + 40)), QColor(100, 96, 92));
}

QTEST_MAIN(TestCustomizeOverlay)
#include "tst_customizeoverlay.moc"
