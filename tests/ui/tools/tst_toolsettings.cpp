#include "tools/expandtoolbutton.h"
#include "tools/presettoolbutton.h"
#include "tools/toolpocket.h"
#include "tools/toolpresets.h"
#include "tools/toolsettings.h"
#include "tools/toolsliders.h"

#include "support/widgetevents.h"

#include "settings/settings.h"
#include "tools/drawingtool.h"
#include "tools/toolmanager.h"

#include <QIcon>
#include <QImage>
#include <QLayout>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

using PenType = Model::Tool::PenType;

namespace {

Model::DrawingTool *currentPen()
{
    return qobject_cast<Model::DrawingTool *>(Model::ToolManager::instance()->tool(Model::Tool::Type::Pen));
}

struct Percents
{
    double sizeLower;
    double sizeUpper;
    double opacityLower;
    double opacityUpper;
};

Percents percentsOf(const Model::DrawingTool *tool)
{
    return {tool->sizeRangeLowerPercent(), tool->sizeRangeUpperPercent(), tool->opacityRangeLowerPercent(),
            tool->opacityRangeUpperPercent()};
}

void setPercents(Model::DrawingTool *tool, const Percents &percents)
{
    tool->setSizeRangePercent(percents.sizeLower, percents.sizeUpper);
    tool->setOpacityRangePercent(percents.opacityLower, percents.opacityUpper);
}

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(QSize(32, 32)).toImage();
}

} // namespace

// The tool settings panel: its toggle, its own pocket, its size at a UI
// scale, and the presets of each pen type kept in the settings store.
class TestToolSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void showToolToggles_data();
    void showToolToggles();
    void hidingDropsThePocket();
    void replacedPocketIsCutOff();
    void widthFollowsTheScale_data();
    void widthFollowsTheScale();
    void presetsFoldOut();
    void presetsPerPenType_data();
    void presetsPerPenType();
    void presetIconsFollowThePenType();

private:
    std::unique_ptr<UI::ToolSettings> m_drawing;
    std::unique_ptr<UI::ToolSettings> m_erasing;
};

void TestToolSettings::initTestCase()
{
    TestSupport::startModel();
    // Every preset of every pen at its built-in values, in the store too.
    Model::ToolManager::instance()->resetDrawingToolSettings();
}

void TestToolSettings::init()
{
    Model::ToolManager::instance()->setCurrentPenToolType(PenType::Pencil);
    m_drawing = std::make_unique<UI::ToolSettings>(0);
    m_erasing = std::make_unique<UI::ToolSettings>(1);
}

void TestToolSettings::cleanup()
{
    m_drawing.reset();
    m_erasing.reset();
    Model::Settings::instance()->setUIScalePercent(100);
}

void TestToolSettings::showToolToggles_data()
{
    QTest::addColumn<bool>("shownBefore");
    QTest::addColumn<int>("toolIdx");
    QTest::addColumn<bool>("shown");

    // The panel shows the pencil (slot 0) when it is shown.
    QTest::newRow("hidden, any tool") << false << 0 << true;
    QTest::newRow("shown, the same tool") << true << 0 << false;
    QTest::newRow("shown, another tool") << true << 1 << true;
}

void TestToolSettings::showToolToggles()
{
    QFETCH(bool, shownBefore);
    QFETCH(int, toolIdx);
    QFETCH(bool, shown);

    if (shownBefore) {
        QVERIFY(m_drawing->showTool(0));
        QCOMPARE(m_drawing->toolSliders()->currentToolIdx(), 0);
    }
    QCOMPARE(m_drawing->showTool(toolIdx), shown);
    QCOMPARE(m_drawing->isVisible(), shown);
    // A hidden panel shows no tool, so the next press shows it again.
    if (!shown)
        QCOMPARE(m_drawing->toolSliders()->currentToolIdx(), -1);
}

void TestToolSettings::hidingDropsThePocket()
{
    auto *pocket = new UI::ToolPocket;
    m_drawing->setToolPocket(pocket);
    QCOMPARE(m_drawing->layout()->indexOf(pocket), 0);
    QVERIFY(pocket->isHidden());

    m_drawing->setToolPocketShown(true);
    QVERIFY(m_drawing->showTool(0));
    QVERIFY(pocket->isVisible());
    QCOMPARE(pocket->minimumHeight(), 57);
    const int withPocket = m_drawing->height();

    // A hidden panel reopens without its pocket.
    QSignalSpy lost(m_drawing.get(), &UI::ToolSettings::lostFocus);
    m_drawing->hide();
    QCOMPARE(lost.count(), 0);
    QVERIFY(!m_drawing->isToolPocketShown());
    QVERIFY(pocket->isHidden());
    QCOMPARE(pocket->minimumHeight(), 44);
    QVERIFY(m_drawing->showTool(0));
    QVERIFY(pocket->isHidden());
    QVERIFY(m_drawing->height() < withPocket);
}

void TestToolSettings::replacedPocketIsCutOff()
{
    auto *first = new UI::ToolPocket;
    auto *second = new UI::ToolPocket;
    m_drawing->setToolPocket(first);
    m_drawing->setToolPocket(second);
    QCOMPARE(m_drawing->toolPocket(), second);
    QCOMPARE(m_drawing->layout()->indexOf(first), -1);
    QCOMPARE(m_drawing->layout()->indexOf(second), 0);
    QVERIFY(first->isHidden());

    // Only the pocket in the panel points the sliders at its tools.
    m_drawing->toolSliders()->setCurrentToolIdx(0);
    Q_EMIT first->pressed(2);
    QCOMPARE(m_drawing->toolSliders()->currentToolIdx(), 0);
    Q_EMIT second->pressed(1);
    QCOMPARE(m_drawing->toolSliders()->currentToolIdx(), 1);
    delete first;
}

void TestToolSettings::widthFollowsTheScale_data()
{
    QTest::addColumn<int>("scalePercent");
    QTest::addColumn<int>("width");

    QTest::newRow("1") << 100 << 217;
    QTest::newRow("1.25") << 125 << 271;
    QTest::newRow("1.5") << 150 << 325;
}

void TestToolSettings::widthFollowsTheScale()
{
    QFETCH(int, scalePercent);
    QFETCH(int, width);

    Model::Settings::instance()->setUIScalePercent(scalePercent);
    for (UI::ToolSettings *panel : {m_drawing.get(), m_erasing.get()}) {
        panel->updateUISize();
        QVERIFY(panel->showTool(0));
        QCOMPARE(panel->width(), width);
        QCOMPARE(panel->toolSliders()->width(), width);
    }
    QCOMPARE(m_drawing->toolPresets()->useButton(0)->width(), int(40 * scalePercent / 100.0));
    QCOMPARE(m_drawing->toolPresets()->useButton(0)->iconSize().width(), int(32 * scalePercent / 100.0));
}

void TestToolSettings::presetsFoldOut()
{
    QVERIFY(!m_erasing->toolPresets());
    QVERIFY(m_erasing->height() >= m_erasing->toolSliders()->height());

    QVERIFY(m_drawing->showTool(0));
    UI::ToolPresets *presets = m_drawing->toolPresets();
    QVERIFY(!presets->isExpanded());
    QVERIFY(!presets->useButton(0)->isVisible());
    const int folded = m_drawing->height();

    QSignalSpy resized(presets, &UI::ToolPresets::resized);
    presets->expandButton()->click();
    QVERIFY(presets->isExpanded());
    QCOMPARE(presets->expandButton()->arrowType(), Qt::DownArrow);
    QVERIFY(presets->useButton(0)->isVisible());
    QVERIFY(resized.count() > 0);
    QVERIFY(m_drawing->height() > folded + 2 * 40);

    presets->expandButton()->click();
    QCOMPARE(presets->expandButton()->arrowType(), Qt::RightArrow);
    QCOMPARE(m_drawing->height(), folded);
}

void TestToolSettings::presetsPerPenType_data()
{
    QTest::addColumn<PenType>("penType");
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("group");

    QTest::newRow("pencil 1") << PenType::Pencil << 0 << "Pencil/Preset1";
    QTest::newRow("marker 2") << PenType::Marker << 1 << "Marker/Preset2";
    QTest::newRow("brush 3") << PenType::Brush << 2 << "Brush/Preset3";
}

void TestToolSettings::presetsPerPenType()
{
    QFETCH(PenType, penType);
    QFETCH(int, slot);
    QFETCH(QString, group);

    Model::ToolManager *tools = Model::ToolManager::instance();
    tools->setCurrentPenToolType(penType);
    Model::DrawingTool *pen = currentPen();
    QCOMPARE(pen->subType(), penType);
    UI::ToolPresets *presets = m_drawing->toolPresets();

    const Percents saved{12.5, 47.25, 30, 90};
    setPercents(pen, saved);
    presets->saveButton(slot)->click();

    // Written to the store under the pen type's own name, where the next
    // run of the program finds it.
    QSettings store;
    store.beginGroup(QStringLiteral("Preferences/Tools/") + group);
    QCOMPARE(store.value(QStringLiteral("SizeRangeLowerPercent")).toDouble(), saved.sizeLower);
    QCOMPARE(store.value(QStringLiteral("SizeRangeUpperPercent")).toDouble(), saved.sizeUpper);
    QCOMPARE(store.value(QStringLiteral("OpacityRangeLowerPercent")).toDouble(), saved.opacityLower);
    QCOMPARE(store.value(QStringLiteral("OpacityRangeUpperPercent")).toDouble(), saved.opacityUpper);

    // The other pens keep their presets.
    const PenType other = PenType((int(penType) + 1) % 3);
    tools->setCurrentPenToolType(other);
    const Percents otherBefore = percentsOf(currentPen());
    setPercents(currentPen(), {1, 2, 3, 4});
    presets->useButton(slot)->click();
    QVERIFY(currentPen()->sizeRangeUpperPercent() != saved.sizeUpper);
    setPercents(currentPen(), otherBefore);

    // Using the preset brings back exactly what was saved, to that pen.
    tools->setCurrentPenToolType(penType);
    setPercents(pen, {5, 6, 7, 8});
    presets->useButton(slot)->click();
    const Percents used = percentsOf(pen);
    QCOMPARE(used.sizeLower, saved.sizeLower);
    QCOMPARE(used.sizeUpper, saved.sizeUpper);
    QCOMPARE(used.opacityLower, saved.opacityLower);
    QCOMPARE(used.opacityUpper, saved.opacityUpper);
    // The sliders follow the pen.
    m_drawing->toolSliders()->setCurrentToolIdx(int(penType));
    QCOMPARE(m_drawing->toolSliders()->sizeRange().second, saved.sizeUpper);
}

void TestToolSettings::presetIconsFollowThePenType()
{
    UI::ToolPresets *presets = m_drawing->toolPresets();
    const QImage pencil = iconImage(QIcon(QStringLiteral(":/icons/Pencil_Preset2_icon.svg")));
    QVERIFY(!pencil.isNull());
    QCOMPARE(iconImage(presets->useButton(1)->icon()), pencil);

    Model::ToolManager::instance()->setCurrentPenToolType(PenType::Brush);
    for (int slot = 0; slot < UI::ToolPresets::PresetCount; ++slot) {
        const QString number = QString::number(slot + 1);
        QCOMPARE(iconImage(presets->useButton(slot)->icon()),
                 iconImage(QIcon(QStringLiteral(":/icons/Brush_Preset%1_icon.svg").arg(number))));
        QCOMPARE(iconImage(presets->saveButton(slot)->icon()),
                 iconImage(QIcon(QStringLiteral(":/toolsettings/saveBrush_Preset%1_icon.svg").arg(number))));
        QVERIFY(!iconImage(presets->saveButton(slot)->icon()).isNull());
    }
    QCOMPARE(presets->useButton(1)->toolTip(), QStringLiteral("Use preset 2"));
    QCOMPARE(presets->saveButton(2)->toolTip(), QStringLiteral("Save preset 3"));
}

QTEST_MAIN(TestToolSettings)
#include "tst_toolsettings.moc"
