#include "kl.h"
#include "settings/settings.h"
#include "tools/drawingtool.h"
#include "tools/toolcursors.h"
#include "tools/toolmanager.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace Model;

namespace {

ToolManager *manager()
{
    return ToolManager::instance();
}

// The manager hands out a pen or eraser only as the current one of its kind.
DrawingTool *pen(Tool::PenType type)
{
    manager()->setCurrentPenToolType(type);
    return qobject_cast<DrawingTool *>(manager()->tool(Tool::Type::Pen));
}

DrawingTool *eraser(Tool::PenType type)
{
    manager()->setCurrentEraserToolType(type);
    return qobject_cast<DrawingTool *>(manager()->tool(Tool::Type::Eraser));
}

struct StoredRange
{
    double sizeLower;
    double sizeUpper;
    double opacityLower;
    double opacityUpper;
};

// What the store holds for a tool and preset; -1 where nothing is stored
// (a numbered preset without a group of its own reads the Default values).
StoredRange stored(const QString &toolName, KL::ToolPreset preset)
{
    StoredRange range{};
    Settings::instance()->toolSizeRange(toolName, preset, range.sizeLower, range.sizeUpper, -1.0, -1.0);
    Settings::instance()->toolOpacityRange(toolName, preset, range.opacityLower, range.opacityUpper, -1.0, -1.0);
    return range;
}

QImage cursorImage(const QCursor &cursor)
{
    return cursor.pixmap().toImage();
}

} // namespace

class TestToolManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    // Tools
    void createsEveryToolOnce_data();
    void createsEveryToolOnce();
    void createdToolsReadTheirStoredDefault();
    void unknownToolTypes();

    // Current tool
    void currentToolSignals_data();
    void currentToolSignals();
    void lastToolTypes_data();
    void lastToolTypes();
    void lastDrawingToolTypeWhileDrawing();
    void penSwitchWhileEraserIsCurrent();
    void penSwitchWhilePenIsCurrent();

    // What is stored
    void currentToolChangesAreStored_data();
    void currentToolChangesAreStored();
    void otherToolChangesAreNotStored();

    // Presets
    void unsavedPresetReadsTheStoredDefault_data();
    void unsavedPresetReadsTheStoredDefault();
    void unsavedPresetWithNothingStored();
    void savedPresetIsUsed();
    void resetDrawingTools_data();
    void resetDrawingTools();

    // Cursors
    void quickSizeStepsShareOneOverrideCursor();
    void cursorFollowsScaleAndRatio();

private:
    StoredRange m_markerAtStart{};
};

void TestToolManager::initTestCase()
{
    // A store of its own: ctest runs the tests side by side in one scratch
    // home, and others clear their store as they go.
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Kelvane"));
    QCoreApplication::setApplicationName(QStringLiteral("tst_toolmanager"));
    QSettings().clear();
    initToolCursors();

    // A Default saved in an earlier run is what the marker starts with.
    Settings::instance()->setToolSizeRange(QStringLiteral("Marker"), KL::ToolPreset::Default, 11.0, 22.0);
    Settings::instance()->setToolOpacityRange(QStringLiteral("Marker"), KL::ToolPreset::Default, 33.0, 44.0);
    manager()->createTools();
    QCOMPARE(manager()->currentToolType(), Tool::Type::None);
    QCOMPARE(manager()->currentPenToolType(), Tool::PenType::Pencil);
    QCOMPARE(manager()->currentEraserToolType(), Tool::PenType::RubberEraser);
    const DrawingTool *marker = pen(Tool::PenType::Marker);
    m_markerAtStart = {marker->sizeRangeLowerPercent(), marker->sizeRangeUpperPercent(),
                       marker->opacityRangeLowerPercent(), marker->opacityRangeUpperPercent()};
}

void TestToolManager::init()
{
    manager()->setCurrentTool(Tool::Type::None);
    for (const Tool::PenType type : {Tool::PenType::Pencil, Tool::PenType::Marker, Tool::PenType::Brush})
        manager()->applyToolPresetDefaults(pen(type), KL::ToolPreset::Default);
    for (const Tool::PenType type : {Tool::PenType::KneadedEraser, Tool::PenType::RubberEraser,
                                     Tool::PenType::VinylEraser})
        manager()->applyToolPresetDefaults(eraser(type), KL::ToolPreset::Default);
    manager()->setCurrentPenToolType(Tool::PenType::Pencil);
    manager()->setCurrentEraserToolType(Tool::PenType::RubberEraser);
    manager()->setCursorScale(1.0);
    manager()->setDevicePixelRatio(1.0);
    Settings::instance()->setDrawCursorType(KL::DrawCursorType::AdaptToSize);
    Settings::instance()->setDrawCursorOpacity(KL::DrawCursorOpacity::Faint);
    QSettings().clear();
}

void TestToolManager::cleanup()
{
    // A size step leaves its override cursor for a moment.
    QTRY_VERIFY_WITH_TIMEOUT(!QGuiApplication::overrideCursor(), 3000);
}

void TestToolManager::createsEveryToolOnce_data()
{
    QTest::addColumn<Tool::Type>("type");
    for (int type = 0; type <= 11; ++type)
        QTest::addRow("%s", QMetaEnum::fromType<Tool::Type>().valueToKey(type)) << Tool::Type(type);
}

void TestToolManager::createsEveryToolOnce()
{
    QFETCH(Tool::Type, type);
    Tool *tool = manager()->tool(type);
    QVERIFY(tool);
    QCOMPARE(tool->type(), type);
    QCOMPARE(tool->parent(), manager());
    manager()->createTools();
    QCOMPARE(manager()->tool(type), tool);
}

void TestToolManager::createdToolsReadTheirStoredDefault()
{
    QCOMPARE(m_markerAtStart.sizeLower, 11.0);
    QCOMPARE(m_markerAtStart.sizeUpper, 22.0);
    QCOMPARE(m_markerAtStart.opacityLower, 33.0);
    QCOMPARE(m_markerAtStart.opacityUpper, 44.0);
}

void TestToolManager::unknownToolTypes()
{
    QVERIFY(!manager()->tool(Tool::Type::None));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("It seems a new tool added but not listed here"));
    QVERIFY(!manager()->tool(Tool::Type(13)));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("scribbleTool\\(\\) should always be a DrawingTool"));
    QVERIFY(!manager()->scribbleTool(Tool::Type::Zoom));
}

void TestToolManager::currentToolSignals_data()
{
    QTest::addColumn<Tool::Type>("firstType");
    QTest::addColumn<int>("firstCursorType");
    QTest::addColumn<Tool::Type>("type");
    QTest::addColumn<int>("cursorType");
    QTest::addColumn<int>("cursorSignals");
    QTest::addColumn<int>("typeSignals");
    using T = Tool::Type;
    QTest::newRow("pencil from none") << T::None << 0 << T::Pen << 0 << 1 << 1;
    QTest::newRow("same tool again") << T::Pen << 0 << T::Pen << 0 << 0 << 0;
    QTest::newRow("same tool, refused") << T::Pen << 0 << T::Pen << 2 << 1 << 1;
    QTest::newRow("same fixed tool, refused") << T::Lasso << 0 << T::Lasso << 1 << 1 << 1;
    QTest::newRow("scrubbing") << T::Pen << 0 << T::Scrubbing << 0 << 0 << 1;
    QTest::newRow("hand") << T::Eraser << 0 << T::Hand << 0 << 1 << 1;
    QTest::newRow("none") << T::Hand << 0 << T::None << 0 << 0 << 1;
}

void TestToolManager::currentToolSignals()
{
    QFETCH(Tool::Type, firstType);
    QFETCH(int, firstCursorType);
    QFETCH(Tool::Type, type);
    QFETCH(int, cursorType);
    QFETCH(int, cursorSignals);
    QFETCH(int, typeSignals);
    manager()->setCurrentTool(firstType, firstCursorType);
    QSignalSpy cursorSpy(manager(), &ToolManager::cursorChanged);
    QSignalSpy typeSpy(manager(), &ToolManager::currentToolTypeChanged);
    manager()->setCurrentTool(type, cursorType);
    QCOMPARE(cursorSpy.count(), cursorSignals);
    QCOMPARE(typeSpy.count(), typeSignals);
    if (typeSignals) {
        QCOMPARE(typeSpy.at(0).at(0).value<Tool::Type>(), type);
        QCOMPARE(typeSpy.at(0).at(1).value<Tool::Type>(), firstType);
    }
    if (cursorSignals)
        QCOMPARE(cursorImage(cursorSpy.at(0).at(0).value<QCursor>()), cursorImage(manager()->cursor()));
    QCOMPARE(manager()->currentToolType(), type);
    QCOMPARE(manager()->property("currentToolType").value<Tool::Type>(), type);
    QCOMPARE(manager()->currentCursorType(), type == Tool::Type::None ? 0 : cursorType);
    QCOMPARE(manager()->isDrawingToolActive(), type == Tool::Type::Pen || type == Tool::Type::Eraser);
}

void TestToolManager::lastToolTypes_data()
{
    QTest::addColumn<QList<Tool::Type>>("sequence");
    QTest::addColumn<Tool::Type>("lastDrawing");
    QTest::addColumn<Tool::Type>("lastEditing");
    QTest::addColumn<Tool::Type>("lastDrawingOrFloating");
    using T = Tool::Type;
    QTest::newRow("pen, lasso") << QList<T>{T::Pen, T::Lasso} << T::Pen << T::Lasso << T::Pen;
    QTest::newRow("eraser, floating") << QList<T>{T::Eraser, T::FloatingSelection} << T::Eraser
                                      << T::FloatingSelection << T::FloatingSelection;
    QTest::newRow("pen, cutter, hand") << QList<T>{T::Pen, T::Cutter, T::Hand} << T::Pen << T::Cutter << T::Pen;
    QTest::newRow("eraser, zoom") << QList<T>{T::Eraser, T::Zoom} << T::Eraser << T::Eraser << T::Eraser;
}

void TestToolManager::lastToolTypes()
{
    QFETCH(QList<Tool::Type>, sequence);
    for (const Tool::Type type : sequence)
        manager()->setCurrentTool(type);
    QTEST(manager()->lastDrawingToolType(), "lastDrawing");
    QTEST(manager()->lastEditingToolType(), "lastEditing");
    QTEST(manager()->lastDrawingOrFloatingToolType(), "lastDrawingOrFloating");
    QCOMPARE(manager()->isSelectionToolActive(), ToolManager::isSelectionToolType(sequence.last()));
    QCOMPARE(manager()->lastDrawingTool(), manager()->tool(manager()->lastDrawingToolType()));
}

void TestToolManager::lastDrawingToolTypeWhileDrawing()
{
    manager()->setCurrentTool(Tool::Type::Pen);
    manager()->setLastDrawingToolType(Tool::Type::Eraser);
    QCOMPARE(manager()->lastDrawingToolType(), Tool::Type::Pen);
    manager()->setCurrentTool(Tool::Type::Hand);
    manager()->setLastDrawingToolType(Tool::Type::Eraser);
    QCOMPARE(manager()->lastDrawingToolType(), Tool::Type::Eraser);
    manager()->setLastDrawingToolType(Tool::Type::Zoom);
    QCOMPARE(manager()->lastDrawingToolType(), Tool::Type::Eraser);
    QCOMPARE(manager()->lastDrawingTool(), manager()->tool(Tool::Type::Eraser));
}

void TestToolManager::penSwitchWhileEraserIsCurrent()
{
    manager()->setCurrentTool(Tool::Type::Eraser);
    Tool *current = manager()->tool(Tool::Type::Eraser);
    QSignalSpy penSpy(manager(), &ToolManager::currentPenToolTypeChanged);
    QSignalSpy typeSpy(manager(), &ToolManager::currentToolTypeChanged);
    QSignalSpy cursorSpy(manager(), &ToolManager::cursorChanged);
    manager()->setCurrentPenToolType(Tool::PenType::Marker);
    QCOMPARE(penSpy.count(), 1);
    QCOMPARE(penSpy.at(0).at(0).value<Tool::PenType>(), Tool::PenType::Marker);
    QCOMPARE(penSpy.at(0).at(1).value<Tool::PenType>(), Tool::PenType::Pencil);
    QCOMPARE(typeSpy.count(), 0);
    QCOMPARE(cursorSpy.count(), 0);
    QCOMPARE(manager()->currentToolType(), Tool::Type::Eraser);
    QCOMPARE(manager()->tool(Tool::Type::Eraser), current);
    QCOMPARE(manager()->currentPenToolType(), Tool::PenType::Marker);
}

void TestToolManager::penSwitchWhilePenIsCurrent()
{
    manager()->setCurrentTool(Tool::Type::Pen, Tool::LayerNotVisibleCursor);
    QSignalSpy penSpy(manager(), &ToolManager::currentPenToolTypeChanged);
    QSignalSpy typeSpy(manager(), &ToolManager::currentToolTypeChanged);
    QSignalSpy cursorSpy(manager(), &ToolManager::cursorChanged);
    manager()->setCurrentPenToolType(Tool::PenType::Brush);
    QCOMPARE(penSpy.count(), 1);
    QCOMPARE(penSpy.at(0).at(0).value<Tool::PenType>(), Tool::PenType::Brush);
    QCOMPARE(typeSpy.count(), 1);
    QCOMPARE(typeSpy.at(0).at(0).value<Tool::Type>(), Tool::Type::Pen);
    QCOMPARE(typeSpy.at(0).at(1).value<Tool::Type>(), Tool::Type::Pen);
    QCOMPARE(cursorSpy.count(), 1);
    auto *brush = qobject_cast<DrawingTool *>(manager()->tool(Tool::Type::Pen));
    QCOMPARE(brush->subType(), Tool::PenType::Brush);
    // The layer is still hidden: the brush says so as the pencil did.
    QCOMPARE(cursorImage(cursorSpy.at(0).at(0).value<QCursor>()),
             cursorImage(sharedCursor(SharedCursor::LayerNotVisible)));

    // The brush is now the one whose changes are stored.
    brush->setSizeRangePercent(3.0, 9.0);
    QCOMPARE(stored(QStringLiteral("Brush"), KL::ToolPreset::Default).sizeUpper, 9.0);

    // Picking the current pen again only repeats the pen signal.
    typeSpy.clear();
    manager()->setCurrentPenToolType(Tool::PenType::Brush);
    QCOMPARE(penSpy.count(), 2);
    QCOMPARE(typeSpy.count(), 0);
}

void TestToolManager::currentToolChangesAreStored_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("size slider") << "size";
    QTest::newRow("opacity slider") << "opacity";
    QTest::newRow("size step") << "step";
    QTest::newRow("new limits") << "limits";
}

void TestToolManager::currentToolChangesAreStored()
{
    QFETCH(QString, how);
    manager()->setCurrentTool(Tool::Type::Pen);
    auto *pencil = qobject_cast<DrawingTool *>(manager()->tool(Tool::Type::Pen));
    if (how == QLatin1String("size"))
        pencil->setSizeRangePercent(20.0, 40.0);
    else if (how == QLatin1String("opacity"))
        pencil->setOpacityRangePercent(15.0, 25.0);
    else if (how == QLatin1String("step"))
        manager()->decreaseDrawingToolSizeRange();
    else
        pencil->setSizeRangeLimits(2.0, 20.0);

    const StoredRange range = stored(QStringLiteral("Pencil"), KL::ToolPreset::Default);
    const bool sizeChange = how != QLatin1String("opacity");
    QCOMPARE(range.sizeLower, sizeChange ? pencil->sizeRangeLowerPercent() : -1.0);
    QCOMPARE(range.sizeUpper, sizeChange ? pencil->sizeRangeUpperPercent() : -1.0);
    QCOMPARE(range.opacityLower, sizeChange ? -1.0 : 15.0);
    QCOMPARE(range.opacityUpper, sizeChange ? -1.0 : 25.0);
}

void TestToolManager::otherToolChangesAreNotStored()
{
    manager()->setCurrentTool(Tool::Type::Eraser);
    DrawingTool *pencil = pen(Tool::PenType::Pencil);
    pencil->setSizeRangePercent(20.0, 40.0);
    pencil->setOpacityRangePercent(20.0, 40.0);
    QCOMPARE(stored(QStringLiteral("Pencil"), KL::ToolPreset::Default).sizeLower, -1.0);
    QCOMPARE(stored(QStringLiteral("Pencil"), KL::ToolPreset::Default).opacityLower, -1.0);

    // Once another tool is current, the previous one's changes stay unsaved.
    manager()->setCurrentTool(Tool::Type::Pen);
    manager()->setCurrentTool(Tool::Type::Hand);
    pencil->setSizeRangePercent(30.0, 50.0);
    QCOMPARE(stored(QStringLiteral("Pencil"), KL::ToolPreset::Default).sizeLower, -1.0);
}

void TestToolManager::unsavedPresetReadsTheStoredDefault_data()
{
    QTest::addColumn<bool>("current");
    QTest::newRow("pencil current") << true;
    QTest::newRow("pencil not current") << false;
}

void TestToolManager::unsavedPresetReadsTheStoredDefault()
{
    QFETCH(bool, current);
    manager()->setCurrentTool(Tool::Type::Pen);
    auto *pencil = qobject_cast<DrawingTool *>(manager()->tool(Tool::Type::Pen));
    pencil->setSizeRangePercent(10.0, 80.0);
    pencil->setOpacityRangePercent(5.0, 50.0);
    if (!current)
        manager()->setCurrentTool(Tool::Type::Hand);

    // Preset2 was never saved: the user's own Default comes back, whether or
    // not the pencil is in use.
    manager()->usePenToolPreset(Tool::PenType::Pencil, KL::ToolPreset::Preset2);
    QCOMPARE(pencil->sizeRangeLowerPercent(), 10.0);
    QCOMPARE(pencil->sizeRangeUpperPercent(), 80.0);
    QCOMPARE(pencil->opacityRangeLowerPercent(), 5.0);
    QCOMPARE(pencil->opacityRangeUpperPercent(), 50.0);

    // Using the Default keeps what the user stored.
    manager()->usePenToolPreset(Tool::PenType::Pencil, KL::ToolPreset::Default);
    QCOMPARE(pencil->sizeRangeUpperPercent(), 80.0);
    const StoredRange range = stored(QStringLiteral("Pencil"), KL::ToolPreset::Default);
    QCOMPARE(range.sizeLower, 10.0);
    QCOMPARE(range.sizeUpper, 80.0);
    QCOMPARE(range.opacityUpper, 50.0);
}

void TestToolManager::unsavedPresetWithNothingStored()
{
    manager()->setCurrentTool(Tool::Type::Pen);
    manager()->usePenToolPreset(Tool::PenType::Marker, KL::ToolPreset::Preset2);
    const DrawingTool *marker = pen(Tool::PenType::Marker);
    QCOMPARE(marker->sizeRangeLowerPercent(), 2.83);
    QCOMPARE(marker->sizeRangeUpperPercent(), 10.75);
    QCOMPARE(marker->opacityRangeLowerPercent(), 67.0);
    QCOMPARE(marker->opacityRangeUpperPercent(), 100.0);
    // Marker limits 0.5 to 90 pixels, opacity 0.1 to 1.
    QCOMPARE(marker->minimumRadius(), (0.5 + 89.5 * 0.0283) / 2.0);
    QCOMPARE(marker->minimumOpacity(), 0.1 + 0.9 * 0.67);
}

void TestToolManager::savedPresetIsUsed()
{
    DrawingTool *brush = pen(Tool::PenType::Brush);
    brush->setSizeRangePercent(12.0, 34.0);
    brush->setOpacityRangePercent(56.0, 78.0);
    manager()->savePenToolPreset(Tool::PenType::Brush, KL::ToolPreset::Preset3);
    const StoredRange range = stored(QStringLiteral("Brush"), KL::ToolPreset::Preset3);
    QCOMPARE(range.sizeLower, 12.0);
    QCOMPARE(range.opacityUpper, 78.0);

    manager()->usePenToolPreset(Tool::PenType::Brush, KL::ToolPreset::Default);
    QCOMPARE(brush->sizeRangeUpperPercent(), 6.67);
    manager()->usePenToolPreset(Tool::PenType::Brush, KL::ToolPreset::Preset3);
    QCOMPARE(brush->sizeRangeLowerPercent(), 12.0);
    QCOMPARE(brush->sizeRangeUpperPercent(), 34.0);
    QCOMPARE(brush->opacityRangeLowerPercent(), 56.0);
    QCOMPARE(brush->opacityRangeUpperPercent(), 78.0);
}

void TestToolManager::resetDrawingTools_data()
{
    QTest::addColumn<Tool::PenType>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<KL::ToolPreset>("preset");
    QTest::addColumn<QList<double>>("values");
    using P = KL::ToolPreset;
    const auto pencil = Tool::PenType::Pencil;
    const auto marker = Tool::PenType::Marker;
    const auto brush = Tool::PenType::Brush;
    QTest::newRow("pencil default") << pencil << "Pencil" << P::Default << QList<double>{5.0, 12.31, 2.0, 56.0};
    QTest::newRow("pencil 1") << pencil << "Pencil" << P::Preset1 << QList<double>{5.0, 12.31, 2.0, 56.0};
    QTest::newRow("pencil 2") << pencil << "Pencil" << P::Preset2 << QList<double>{8.72, 32.82, 2.0, 40.0};
    QTest::newRow("pencil 3") << pencil << "Pencil" << P::Preset3 << QList<double>{1.17, 8.21, 3.0, 100.0};
    QTest::newRow("marker default") << marker << "Marker" << P::Default << QList<double>{2.33, 4.33, 5.0, 80.0};
    QTest::newRow("marker 1") << marker << "Marker" << P::Preset1 << QList<double>{2.33, 4.33, 5.0, 80.0};
    QTest::newRow("marker 2") << marker << "Marker" << P::Preset2 << QList<double>{2.83, 10.75, 67.0, 100.0};
    QTest::newRow("marker 3") << marker << "Marker" << P::Preset3 << QList<double>{1.67, 22.0, 0.0, 44.5};
    QTest::newRow("brush default") << brush << "Brush" << P::Default << QList<double>{0.0, 6.67, 100.0, 100.0};
    QTest::newRow("brush 1") << brush << "Brush" << P::Preset1 << QList<double>{0.0, 6.67, 100.0, 100.0};
    QTest::newRow("brush 2") << brush << "Brush" << P::Preset2 << QList<double>{0.27, 16.5, 0.0, 100.0};
    QTest::newRow("brush 3") << brush << "Brush" << P::Preset3 << QList<double>{3.07, 38.97, 80.0, 100.0};
}

void TestToolManager::resetDrawingTools()
{
    QFETCH(Tool::PenType, type);
    QFETCH(QString, name);
    QFETCH(KL::ToolPreset, preset);
    QFETCH(QList<double>, values);
    // Something else stored and in use first.
    manager()->setCurrentPenToolType(type);
    manager()->setCurrentTool(Tool::Type::Pen);
    DrawingTool *tool = pen(type);
    tool->setSizeRangePercent(40.0, 90.0);
    manager()->savePenToolPreset(type, preset);

    manager()->resetDrawingToolSettings();
    const StoredRange range = stored(name, preset);
    QCOMPARE(range.sizeLower, values[0]);
    QCOMPARE(range.sizeUpper, values[1]);
    QCOMPARE(range.opacityLower, values[2]);
    QCOMPARE(range.opacityUpper, values[3]);
    // Every pen holds its Default values afterwards.
    const StoredRange inUse = stored(name, KL::ToolPreset::Default);
    QCOMPARE(tool->sizeRangeLowerPercent(), inUse.sizeLower);
    QCOMPARE(tool->sizeRangeUpperPercent(), inUse.sizeUpper);
    QCOMPARE(tool->opacityRangeLowerPercent(), inUse.opacityLower);
    QCOMPARE(tool->opacityRangeUpperPercent(), inUse.opacityUpper);
}

void TestToolManager::quickSizeStepsShareOneOverrideCursor()
{
    manager()->setCursorScale(4.0);
    manager()->setCurrentTool(Tool::Type::Pen);
    auto *pencil = qobject_cast<DrawingTool *>(manager()->tool(Tool::Type::Pen));
    pencil->setSizeRangePercent(0.0, 100.0);
    QVERIFY(!QGuiApplication::overrideCursor());

    QList<QSize> sizes;
    for (int i = 0; i < 3; ++i) {
        manager()->decreaseDrawingToolSizeRange();
        QVERIFY(QGuiApplication::overrideCursor());
        sizes << QGuiApplication::overrideCursor()->pixmap().size();
    }
    // Each step shows the smaller pen in the one override cursor.
    QVERIFY(sizes[0].width() > sizes[1].width());
    QVERIFY(sizes[1].width() > sizes[2].width());
    const double maxDiameter = 2.0 * (pencil->minimumRadius() + pencil->radiusVariation());
    QCOMPARE(cursorImage(*QGuiApplication::overrideCursor()),
             cursorImage(pencil->minMaxSizeCursor(2.0 * pencil->minimumRadius(), maxDiameter, 4.0)));
    // Set once, so restored once: nothing is left over afterwards.
    QTRY_VERIFY(!QGuiApplication::overrideCursor());
}

void TestToolManager::cursorFollowsScaleAndRatio()
{
    manager()->setCurrentTool(Tool::Type::Pen);
    const QSize atOne = manager()->cursor().pixmap().size();
    QSignalSpy spy(manager(), &ToolManager::cursorChanged);
    manager()->setCursorScale(3.0);
    QCOMPARE(spy.count(), 1);
    QVERIFY(spy.at(0).at(0).value<QCursor>().pixmap().size().width() > atOne.width());

    manager()->updateCursor();
    QCOMPARE(spy.count(), 2);

    manager()->setDevicePixelRatio(2.0);
    QCOMPARE(sharedCursor(SharedCursor::Forbidden).pixmap().devicePixelRatio(), 2.0);
    QCOMPARE(spy.count(), 3);
    manager()->setCurrentTool(Tool::Type::Pen, Tool::ForbiddenCursor);
    QCOMPARE(cursorImage(manager()->cursor()), cursorImage(sharedCursor(SharedCursor::Forbidden)));
}

QTEST_MAIN(TestToolManager)
#include "tst_toolmanager.moc"
