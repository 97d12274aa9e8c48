#include "application.h"
#include "mainwindow.h"
#include "playbackcontroller.h"
#include "startup.h"

#include "customize/customizeoverlay.h"
#include "paper/drawingarea.h"
#include "tools/controlsbar.h"
#include "tools/controlsbartoolbutton.h"
#include "tools/palette.h"
#include "tools/presettoolbutton.h"
#include "tools/speeddial.h"
#include "tools/toolpocket.h"
#include "tools/toolpresets.h"
#include "tools/toolsettings.h"
#include "tools/toolsliders.h"

#include "actions/actionmanager.h"
#include "initialize.h"
#include "scene/celltesthelpers.h"
#include "scene/framerangemodel.h"
#include "scene/klscene.h"
#include "scene/scenemodel.h"
#include "strokes/floatingselection.h"
#include "tools/drawingtool.h"
#include "tools/toolmanager.h"

#include "support/scripteddialogs.h"
#include "support/widgetevents.h"

#include <QAbstractButton>
#include <QCursor>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QUndoStack>

#include <array>
#include <memory>
#include <tuple>

using A = KL::Action;
using Type = Model::Tool::Type;
using PenType = Model::Tool::PenType;

namespace {

QAction *action(A key)
{
    return Model::ActionManager::instance()->action(key);
}

Model::ToolManager *tools()
{
    return Model::ToolManager::instance();
}

// The current pen of that type.
Model::DrawingTool *pen(PenType type)
{
    tools()->setCurrentPenToolType(type);
    return qobject_cast<Model::DrawingTool *>(tools()->tool(Type::Pen));
}

// Size lower and upper, opacity lower and upper, in percent.
using Ranges = QList<double>;

Ranges rangesOf(const Model::DrawingTool *tool)
{
    return {tool->sizeRangeLowerPercent(), tool->sizeRangeUpperPercent(), tool->opacityRangeLowerPercent(),
            tool->opacityRangeUpperPercent()};
}

void setRanges(Model::DrawingTool *tool, const Ranges &ranges)
{
    tool->setSizeRangePercent(ranges.at(0), ranges.at(1));
    tool->setOpacityRangePercent(ranges.at(2), ranges.at(3));
}

// What preset n of a pen type holds in these tests: a value of its own.
Ranges presetRanges(PenType type, int preset)
{
    const double base = 10.0 * int(type) + preset;
    return {base, 50 + base, 5 + base, 90 - base};
}

UI::ToolSettings *panelOfKind(const QWidget *window, int kind)
{
    const QList<UI::ToolSettings *> panels = window->findChildren<UI::ToolSettings *>();
    for (UI::ToolSettings *panel : panels) {
        if (panel->kind() == kind)
            return panel;
    }
    return nullptr;
}

// The controls bar's pockets: the erasers', then the pens'.
UI::ToolPocket *barPocket(const QWidget *window, bool drawing)
{
    const auto *bar = window->findChild<UI::ControlsBar *>(QStringLiteral("controlsBar"));
    const QList<UI::ToolPocket *> pockets = bar->findChildren<UI::ToolPocket *>(Qt::FindDirectChildrenOnly);
    return pockets.value(drawing ? 1 : 0);
}

// A click on a pocket's slot, later than every click before it.
void clickSlot(UI::ToolPocket *pocket, int slot)
{
    static quint64 time = 1000;
    const int slotWidth = 40;
    const QPointF centre((pocket->width() - 3 * slotWidth) / 2 + slot * slotWidth + slotWidth / 2,
                         pocket->height() - 7 - slotWidth / 2);
    TestSupport::sendMouse(pocket, QEvent::MouseButtonPress, centre, time += 100);
    TestSupport::sendMouse(pocket, QEvent::MouseButtonRelease, centre, time += 100);
}

} // namespace

// The main window's tool chrome: the controls bar, the tool settings panels
// with their pockets, the pen, eraser and preset actions, the stamp and drop
// of the floating selection, and the palette and speed dials as pop-ups.
class TestMainWindowToolSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void controlsBarButtons();
    void penAndPresetActions_data();
    void penAndPresetActions();
    void presetsSurviveARestart_data();
    void presetsSurviveARestart();
    void pocketTogglesThePanels_data();
    void pocketTogglesThePanels();
    void panelsCloseUnlessPinned();
    void stampUndoSteps_data();
    void stampUndoSteps();
    void dropAndGetBack_data();
    void dropAndGetBack();
    void popUpsOpenAtTheCursor_data();
    void popUpsOpenAtTheCursor();

private:
    // A scene of the test frame size with stroke layers of these patterns,
    // current in the window, its whole length in the range.
    Model::KLScene *showScene(const QStringList &patterns);
    void startWindow();

    std::unique_ptr<MainWindow> m_window;
};

void TestMainWindowToolSettings::initTestCase()
{
    Startup::prepareProcess();
    QStandardPaths::setTestModeEnabled(true);
    QSettings().clear();
    Model::initialize();
}

void TestMainWindowToolSettings::startWindow()
{
    // A loaded machine can take longer than the default five seconds to hand
    // the focus to a new window; the panels need it.
    m_window = std::make_unique<MainWindow>(std::make_unique<TestSupport::ScriptedDialogs>());
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get(), 30000));
}

void TestMainWindowToolSettings::init()
{
    startWindow();
}

void TestMainWindowToolSettings::cleanup()
{
    m_window.reset();
}

Model::KLScene *TestMainWindowToolSettings::showScene(const QStringList &patterns)
{
    auto *klscene = new Model::KLScene(m_window.get());
    Model::Scene *scene = klscene->scene();
    scene->setFrameSize(CellPattern::FrameSize, KL::FitMode::FitModeStretch);
    CellTest::buildScene(*scene, patterns);
    scene->updateMaxFrameNumber();
    scene->setFrameRange(1, scene->maximumFrameNumber(), 1, 0);
    scene->setActiveFrameAndLayer(1, 0, Model::Scene::AllowFrameAfterLast);
    m_window->setCurrentScene(klscene);
    return klscene;
}

void TestMainWindowToolSettings::controlsBarButtons()
{
    showScene({QStringLiteral("XXXX")});
    const auto *bar = m_window->findChild<UI::ControlsBar *>(QStringLiteral("controlsBar"));
    QCOMPARE(bar->parentWidget(), m_window->findChild<QWidget *>(QStringLiteral("scrollAreaWidgetContents")));
    const auto *clock = m_window->findChild<PlaybackController *>();
    // Each button acts as its action, except that play toggles the clock.
    for (const auto &[name, key] : {std::pair{"toolButtonJumpToStart", A::JumpToStart},
                                    std::pair{"toolButtonStepBack", A::StepBack},
                                    std::pair{"toolButtonStepForward", A::StepForward},
                                    std::pair{"toolButtonJumpToEnd", A::JumpToEnd},
                                    std::pair{"toolButtonPlayback", A::Play}}) {
        auto *button = bar->findChild<UI::ControlsBarToolButton *>(QLatin1String(name));
        QVERIFY2(button, name);
        QCOMPARE(button->toolTip(), action(key)->toolTip());
        QCOMPARE(button->iconSize(), QSize(32, 32));
        QSignalSpy triggered(action(key), &QAction::triggered);
        button->click();
        QCOMPARE(triggered.size(), key == A::Play ? 0 : 1);
        QCOMPARE(clock->isPlaying(), key == A::Play);
    }
}

void TestMainWindowToolSettings::penAndPresetActions_data()
{
    QTest::addColumn<A>("key");
    QTest::addColumn<Type>("type");
    QTest::addColumn<PenType>("variant");
    QTest::addColumn<int>("preset"); // 0: the pen keeps its ranges

    QTest::newRow("pencil") << A::Pencil << Type::Pen << PenType::Pencil << 0;
    QTest::newRow("marker") << A::Marker << Type::Pen << PenType::Marker << 0;
    QTest::newRow("brush") << A::Brush << Type::Pen << PenType::Brush << 0;
    QTest::newRow("pencil preset 1") << A::PencilPreset1 << Type::Pen << PenType::Pencil << 1;
    QTest::newRow("pencil preset 3") << A::PencilPreset3 << Type::Pen << PenType::Pencil << 3;
    QTest::newRow("marker preset 2") << A::MarkerPreset2 << Type::Pen << PenType::Marker << 2;
    QTest::newRow("brush preset 2") << A::BrushPreset2 << Type::Pen << PenType::Brush << 2;
    QTest::newRow("brush preset 3") << A::BrushPreset3 << Type::Pen << PenType::Brush << 3;
    QTest::newRow("kneaded eraser") << A::KneadedEraser << Type::Eraser << PenType::KneadedEraser << 0;
    QTest::newRow("rubber eraser") << A::RubberEraser << Type::Eraser << PenType::RubberEraser << 0;
    QTest::newRow("vinyl eraser") << A::VinylEraser << Type::Eraser << PenType::VinylEraser << 0;
}

void TestMainWindowToolSettings::penAndPresetActions()
{
    QFETCH(A, key);
    QFETCH(Type, type);
    QFETCH(PenType, variant);
    QFETCH(int, preset);

    for (int saved = 1; saved <= 3; ++saved) {
        for (const PenType each : {PenType::Pencil, PenType::Marker, PenType::Brush}) {
            setRanges(pen(each), presetRanges(each, saved));
            tools()->savePenToolPreset(each, KL::ToolPreset(saved));
        }
    }
    const Ranges before{3, 33, 4, 44};
    setRanges(pen(variant), before);
    // Another variant and the other drawing tool in use: the action brings
    // its own.
    tools()->setCurrentPenToolType(PenType((int(variant) + 1) % 3));
    tools()->setCurrentEraserToolType(PenType((int(variant) + 1) % 3));
    tools()->setCurrentTool(type == Type::Pen ? Type::Eraser : Type::Pen);

    action(key)->trigger();

    QCOMPARE(tools()->currentToolType(), type);
    if (type == Type::Eraser) {
        QCOMPARE(tools()->currentEraserToolType(), variant);
        return;
    }
    QCOMPARE(tools()->currentPenToolType(), variant);
    const auto *current = qobject_cast<Model::DrawingTool *>(tools()->tool(Type::Pen));
    QCOMPARE(rangesOf(current), preset ? presetRanges(variant, preset) : before);
}

void TestMainWindowToolSettings::presetsSurviveARestart_data()
{
    QTest::addColumn<PenType>("variant");
    QTest::addColumn<int>("slot");
    QTest::addColumn<A>("use");

    QTest::newRow("pencil 1") << PenType::Pencil << 0 << A::PencilPreset1;
    QTest::newRow("marker 2") << PenType::Marker << 1 << A::MarkerPreset2;
    QTest::newRow("brush 3") << PenType::Brush << 2 << A::BrushPreset3;
}

void TestMainWindowToolSettings::presetsSurviveARestart()
{
    QFETCH(PenType, variant);
    QFETCH(int, slot);
    QFETCH(A, use);

    // Saved with the draw panel's button, for the pen in use.
    const Ranges saved{12.5, 47.25, 30, 90};
    action(std::array{A::Pencil, A::Marker, A::Brush}[size_t(variant)])->trigger();
    Model::DrawingTool *tool = pen(variant);
    setRanges(tool, saved);
    panelOfKind(m_window.get(), 0)->toolPresets()->saveButton(slot)->click();
    const QString toolKey = tool->toolName();
    m_window.reset();

    // On disk, read back by a store that knows nothing of this run.
    QSettings().sync();
    QSettings disk(QSettings().fileName(), QSettings::IniFormat);
    disk.beginGroup(QStringLiteral("Preferences/Tools/%1/Preset%2").arg(toolKey).arg(slot + 1));
    Ranges stored;
    for (const char *key : {"SizeRangeLowerPercent", "SizeRangeUpperPercent", "OpacityRangeLowerPercent",
                            "OpacityRangeUpperPercent"})
        stored << disk.value(QLatin1String(key)).toDouble();
    QCOMPARE(stored, saved);

    // The next window: drawing with other ranges, then the preset's action.
    setRanges(tool, {1, 2, 3, 4});
    startWindow();
    tools()->setCurrentPenToolType(PenType((int(variant) + 1) % 3));
    action(use)->trigger();
    QCOMPARE(tools()->currentPenToolType(), variant);
    QCOMPARE(rangesOf(pen(variant)), saved);
}

void TestMainWindowToolSettings::pocketTogglesThePanels_data()
{
    QTest::addColumn<QStringList>("clicks"); // "draw 1": the pens' pocket, slot 1
    QTest::addColumn<int>("shownKind");      // -1: none
    QTest::addColumn<int>("tool");

    QTest::newRow("a pocket opens its panel") << QStringList{"draw 1"} << 0 << 1;
    QTest::newRow("the same slot closes it") << QStringList{"draw 1", "draw 1"} << -1 << 1;
    QTest::newRow("another slot keeps it open") << QStringList{"draw 0", "draw 2"} << 0 << 2;
    QTest::newRow("the other pocket swaps panels") << QStringList{"draw 0", "erase 2"} << 1 << 2;
    QTest::newRow("and back") << QStringList{"erase 1", "draw 1"} << 0 << 1;
}

void TestMainWindowToolSettings::pocketTogglesThePanels()
{
    QFETCH(QStringList, clicks);
    QFETCH(int, shownKind);
    QFETCH(int, tool);
    showScene({QStringLiteral("X")});

    for (const QString &click : std::as_const(clicks)) {
        const bool drawing = click.startsWith(u'd');
        clickSlot(barPocket(m_window.get(), drawing), click.back().digitValue());
    }

    const bool drawing = clicks.constLast().startsWith(u'd');
    QCOMPARE(tools()->currentToolType(), drawing ? Type::Pen : Type::Eraser);
    QCOMPARE(drawing ? tools()->currentPenToolType() : tools()->currentEraserToolType(), PenType(tool));
    for (const int kind : {0, 1}) {
        UI::ToolSettings *panel = panelOfKind(m_window.get(), kind);
        QCOMPARE(panel->isVisible(), kind == shownKind);
        if (kind != shownKind)
            continue;
        QCOMPARE(panel->toolSliders()->currentToolIdx(), tool);
        QVERIFY(!panel->isToolPocketShown());
        QCOMPARE(QApplication::focusWidget(), panel);
        // Its top centre hangs at the pocket's anchor.
        const QPoint anchor = barPocket(m_window.get(), kind == 0)->anchorPoint();
        QCOMPARE(panel->mapToGlobal(QPoint(panel->width() / 2, 2)), anchor);
    }
}

void TestMainWindowToolSettings::panelsCloseUnlessPinned()
{
    showScene({QStringLiteral("X")});
    UI::ToolSettings *draw = panelOfKind(m_window.get(), 0);
    UI::ToolSettings *erase = panelOfKind(m_window.get(), 1);

    // Each settings action also takes up its tool, without the menu bar
    // hearing that as a reason to close the panel.
    QSignalSpy erasing(action(A::Erase), &QAction::triggered);
    QSignalSpy drawing(action(A::Draw), &QAction::triggered);
    action(A::EraseSettings)->trigger();
    QVERIFY(erase->isVisible());
    QCOMPARE(erasing.size(), 1);
    action(A::DrawSettings)->trigger();
    QVERIFY(draw->isVisible());
    QVERIFY(!erase->isVisible());
    QCOMPARE(drawing.size(), 1);
    QCOMPARE(QApplication::focusWidget(), draw);

    // Choosing a pen from the menu keeps the panel; anything else closes it.
    action(A::Marker)->trigger();
    QVERIFY(draw->isVisible());
    action(A::ViewToX1)->trigger();
    QVERIFY(!draw->isVisible());

    // Pinned by its own pocket, it stays.
    action(A::DrawSettings)->trigger();
    draw->setToolPocketShown(true);
    action(A::ViewToX1)->trigger();
    QVERIFY(draw->isVisible());
    draw->hide();

    // Losing the focus closes it shortly after.
    action(A::DrawSettings)->trigger();
    QVERIFY(draw->isVisible());
    m_window->findChild<QWidget *>(QStringLiteral("scrollAreaWidgetContents"))->setFocus();
    QTRY_VERIFY(!draw->isVisible());
}

void TestMainWindowToolSettings::stampUndoSteps_data()
{
    QTest::addColumn<QPoint>("cell");        // (frame, layer)
    QTest::addColumn<QList<int>>("selected"); // frames of layer 1
    QTest::addColumn<int>("rangeFirst");
    QTest::addColumn<bool>("keepFloating");
    QTest::addColumn<int>("cursorType");
    QTest::addColumn<bool>("collapse");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<Type>("tool");

    const QStringList stamp{"Stamp Floating Selection"};
    const QStringList blankAndStamp{"Add Blank Drawing", "Stamp Floating Selection"};
    QTest::newRow("onto a drawing") << QPoint(2, 0) << QList<int>() << 1 << false << 0 << false
                                    << "Oa Obz | Oc Od Oe Of" << stamp << Type::Pen;
    QTest::newRow("keeping it floating") << QPoint(2, 0) << QList<int>() << 1 << true << 0 << false
                                         << "Oa Obz | Oc Od Oe Of" << stamp << Type::FloatingSelection;
    QTest::newRow("collapsed") << QPoint(1, 0) << QList<int>() << 1 << false << 0 << true
                               << "Oaz Ob | Oc Od Oe Of" << stamp << Type::Pen;
    QTest::newRow("after the last cell") << QPoint(3, 0) << QList<int>() << 1 << false << 0 << false
                                         << "Oa Ob Oz | Oc Od Oe Of" << blankAndStamp << Type::Pen;
    QTest::newRow("after the last cell, first of the range")
        << QPoint(3, 0) << QList<int>() << 3 << true << 0 << false << "Oa Ob Oz | Oc Od Oe Of" << blankAndStamp
        << Type::FloatingSelection;
    QTest::newRow("onto the selected cells") << QPoint(1, 1) << QList<int>{1, 3} << 1 << false << 0 << false
                                             << "Oa Ob | Ocz Od Oez Of" << stamp << Type::Pen;
    QTest::newRow("over a hidden layer") << QPoint(2, 0) << QList<int>() << 1 << false << 2 << false
                                         << "Oa Ob | Oc Od Oe Of" << QStringList() << Type::FloatingSelection;
}

void TestMainWindowToolSettings::stampUndoSteps()
{
    QFETCH(QPoint, cell);
    QFETCH(QList<int>, selected);
    QFETCH(int, rangeFirst);
    QFETCH(bool, keepFloating);
    QFETCH(int, cursorType);
    QFETCH(bool, collapse);
    QFETCH(QString, after);
    QFETCH(QStringList, steps);
    QFETCH(Type, tool);

    Model::KLScene *klscene = showScene({QStringLiteral("XX"), QStringLiteral("XXXX")});
    Model::Scene *scene = klscene->scene();
    scene->setFrameRange(rangeFirst, 4, 1, 0);
    scene->setActiveFrameAndLayer(cell.x(), cell.y(), Model::Scene::AllowFrameAfterLast);
    QItemSelection selection;
    for (const int frame : std::as_const(selected)) {
        const QModelIndex index = klscene->frameRangeModel()->mapFromSource(klscene->sceneModel()->index(frame - 1, 1));
        selection.select(index, index);
    }
    klscene->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    auto floating = std::make_unique<Model::FloatingSelection>(CellTest::inkStroke(u'z'), QImage(), 1.0);
    floating->setCollapseVectorData(collapse);
    klscene->setFloatingSelection(std::move(floating));
    // The window keeps the tool's cursor type with the active cell: a
    // hidden layer is what gives the cursor of a hidden layer.
    if (cursorType == Model::Tool::LayerNotVisibleCursor)
        scene->setLayerVisible(cell.y(), false);
    tools()->setCurrentTool(Type::FloatingSelection, cursorType);
    const QString before = CellTest::describe(*scene);

    action(keepFloating ? A::StampFloatingSelectionKeepFloating : A::StampFloatingSelection)->trigger();

    QUndoStack *stack = scene->undoStack();
    QCOMPARE(CellTest::describe(*scene), after);
    QCOMPARE(tools()->currentToolType(), tool);
    QStringList texts;
    for (int i = 0; i < stack->count(); ++i)
        texts << stack->text(i);
    QCOMPARE(texts, steps);
    QVERIFY(!klscene->hasSelection());
    if (steps.isEmpty())
        return;

    // One undo takes the stamp back and returns to the floating selection;
    // the blank, when there was one, is a step of its own.
    stack->undo();
    QCOMPARE(tools()->currentToolType(), Type::FloatingSelection);
    if (steps.size() == 2) {
        QCOMPARE(CellTest::describe(*scene), QStringLiteral("Oa Ob O_ | Oc Od Oe Of"));
        stack->undo();
    }
    QCOMPARE(CellTest::describe(*scene), before);
    while (stack->canRedo())
        stack->redo();
    QCOMPARE(CellTest::describe(*scene), after);
    QCOMPARE(tools()->currentToolType(), tool);
}

void TestMainWindowToolSettings::dropAndGetBack_data()
{
    QTest::addColumn<A>("key");
    QTest::addColumn<Type>("from");
    QTest::addColumn<Type>("to");
    QTest::addColumn<bool>("undoable");

    QTest::newRow("drop the floating selection") << A::DropFloatingSelection << Type::FloatingSelection << Type::Pen
                                                 << true;
    QTest::newRow("drop from the lasso") << A::DropFloatingSelection << Type::Lasso << Type::Pen << false;
    QTest::newRow("drop from the cutter") << A::DropFloatingSelection << Type::Cutter << Type::Pen << false;
    QTest::newRow("drop from the hand") << A::DropFloatingSelection << Type::Hand << Type::Hand << false;
    QTest::newRow("get the selection back") << A::GetLatestFloatingSelectionBack << Type::Pen
                                            << Type::FloatingSelection << true;
}

void TestMainWindowToolSettings::dropAndGetBack()
{
    QFETCH(A, key);
    QFETCH(Type, from);
    QFETCH(Type, to);
    QFETCH(bool, undoable);
    Model::KLScene *klscene = showScene({QStringLiteral("X")});
    klscene->setFloatingSelection(
        std::make_unique<Model::FloatingSelection>(CellTest::inkStroke(u'z'), QImage(), 1.0));
    action(A::Pencil)->trigger();
    tools()->setCurrentTool(from);
    // Enabled while the scene holds a floating selection.
    action(key)->setEnabled(true);

    action(key)->trigger();

    QCOMPARE(tools()->currentToolType(), to);
    QUndoStack *stack = klscene->scene()->undoStack();
    QCOMPARE(stack->count(), undoable ? 1 : 0);
    if (undoable) {
        stack->undo();
        QCOMPARE(tools()->currentToolType(), from);
    }
}

void TestMainWindowToolSettings::popUpsOpenAtTheCursor_data()
{
    QTest::addColumn<A>("key");
    QTest::addColumn<QString>("where"); // where the pointer is over the drawing area
    QTest::addColumn<int>("margin");

    for (const auto &[key, name, margin] : {std::tuple{A::Palette, "palette", 0},
                                            std::tuple{A::PrimarySpeedDial, "primary dial", 5},
                                            std::tuple{A::SecondarySpeedDial, "secondary dial", 5}}) {
        for (const char *where : {"middle", "right edge", "top left", "bottom right"})
            QTest::addRow("%s, %s", name, where) << key << QString::fromLatin1(where) << margin;
    }
}

void TestMainWindowToolSettings::popUpsOpenAtTheCursor()
{
    QFETCH(A, key);
    QFETCH(QString, where);
    QFETCH(int, margin);
    showScene({QStringLiteral("X")});
    auto *area = m_window->findChild<UI::DrawingArea *>(QStringLiteral("frame"));
    QWidget *popUp = nullptr;
    if (key == A::Palette) {
        popUp = m_window->findChild<UI::Palette *>();
    } else {
        const QList<UI::SpeedDial *> dials =
            m_window->centralWidget()->findChildren<UI::SpeedDial *>(Qt::FindDirectChildrenOnly);
        popUp = dials.value(key == A::PrimarySpeedDial ? 0 : 1);
    }
    QVERIFY(popUp && !popUp->isVisible());
    if (key == A::Palette)
        QCOMPARE(popUp->size(), QSize(400, 400));
    QVERIFY(area->width() > popUp->width() + 200 && area->height() > popUp->height() + 200);

    const QRect inside = area->rect();
    const QPoint pointer = where == u"middle"       ? inside.center()
                           : where == u"right edge" ? QPoint(inside.right() - 3, inside.center().y())
                           : where == u"top left"   ? QPoint(2, 2)
                                                    : inside.bottomRight() - QPoint(1, 1);
    QCursor::setPos(area->mapToGlobal(pointer));
    QTRY_COMPARE(area->mapFromGlobal(QCursor::pos()), pointer);
    // The registry keeps the palette's action disabled until painting
    // arrives; the handler works all the same.
    const bool wasEnabled = action(key)->isEnabled();
    action(key)->setEnabled(true);
    const auto restore = qScopeGuard([key, wasEnabled] { action(key)->setEnabled(wasEnabled); });

    action(key)->trigger();

    QVERIFY(popUp->isVisible());
    const QRect placed(area->mapFromGlobal(popUp->mapToGlobal(QPoint())), popUp->size());
    QVERIFY2(inside.adjusted(margin, margin, -margin, -margin).contains(placed),
             qPrintable(QStringLiteral("%1,%2 %3x%4").arg(placed.x()).arg(placed.y()).arg(placed.width()).arg(placed.height())));
    if (where == u"middle") {
        const QPoint offset = key == A::Palette ? QPoint() : QPoint(15, 7);
        QCOMPARE(placed.topLeft() + QPoint(placed.width() / 2, placed.height() / 2) + offset, pointer);
    }

    // The second press closes it (a dial chooses what the pointer is on:
    // nothing, at its middle).
    QCursor::setPos(popUp->mapToGlobal(popUp->rect().center()));
    action(key)->trigger();
    QTRY_VERIFY(!popUp->isVisible());
}

int main(int argc, char **argv)
{
    Application application(argc, argv);
    TestMainWindowToolSettings test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindowtoolsettings.moc"
