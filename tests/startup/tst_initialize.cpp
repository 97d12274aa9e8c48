#include "actions/actionmanager.h"
#include "initialize.h"
#include "kl.h"
#include "settings/settings.h"
#include "tools/drawingtool.h"
#include "tools/toolmanager.h"

#include <QAction>
#include <QGuiApplication>
#include <QMetaEnum>
#include <QResource>
#include <QSettings>
#include <QTest>

using namespace Model;

// The model library's singletons live for the whole process, so this test
// walks one start-up from beginning to end: values stored before start-up must
// be what the tools and actions see afterwards, and a second start-up changes
// nothing.
class TestInitialize : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void deinitializeBeforeInitializeDoesNothing();
    void startUpSeesStoredPreferences();
    void secondInitializeChangesNothing();
    void toolActionsReachTheToolManager();
};

void TestInitialize::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kelvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Kelvane"));
    QSettings().clear();
}

void TestInitialize::deinitializeBeforeInitializeDoesNothing()
{
    deinitialize();
    QVERIFY(!isInitialized());
}

void TestInitialize::startUpSeesStoredPreferences()
{
    // What an earlier run left in the store.
    Settings::instance()->setToolSizeRange(QStringLiteral("Marker"), KL::ToolPreset::Default, 20.0, 40.0);
    Settings::instance()->setAutoSaveEnabled(!Settings::instance()->autoSaveEnabled());
    const bool storedAutoSave = Settings::instance()->autoSaveEnabled();

    initialize();
    QVERIFY(isInitialized());

    for (const char *path : {":/icons/Draw_icon.svg", ":/pointers/pointer-scribblePen.svg",
                             ":/shaders/anisotropic_scale.vert", ":/shaders/KLtexture.png"})
        QVERIFY2(QResource(QString::fromLatin1(path)).isValid(), path);

    ToolManager::instance()->setCurrentPenToolType(Tool::PenType::Marker);
    auto *marker = qobject_cast<DrawingTool *>(ToolManager::instance()->tool(Tool::Type::Pen));
    QVERIFY(marker);
    QCOMPARE(marker->toolName(), QStringLiteral("Marker"));
    QCOMPARE(marker->sizeRangeLowerPercent(), 20.0);
    QCOMPARE(marker->sizeRangeUpperPercent(), 40.0);

    QAction *autoSave = ActionManager::instance()->action(KL::Action::AutoSave);
    QVERIFY(autoSave);
    QCOMPARE(autoSave->isChecked(), storedAutoSave);
}

void TestInitialize::secondInitializeChangesNothing()
{
    QAction *before = ActionManager::instance()->action(KL::Action::Draw);
    Tool *penBefore = ToolManager::instance()->tool(Tool::Type::Pen);
    const int actionCount = ActionManager::instance()->findChildren<QAction *>().size();

    initialize();
    QCOMPARE(ActionManager::instance()->action(KL::Action::Draw), before);
    QCOMPARE(ToolManager::instance()->tool(Tool::Type::Pen), penBefore);
    QCOMPARE(ActionManager::instance()->findChildren<QAction *>().size(), actionCount);

    deinitialize();
    QVERIFY(!isInitialized());
}

void TestInitialize::toolActionsReachTheToolManager()
{
    ToolManager *tools = ToolManager::instance();
    tools->setCurrentTool(Tool::Type::Pen);
    auto *pen = qobject_cast<DrawingTool *>(tools->tool(Tool::Type::Pen));
    QVERIFY(pen);

    const double upper = pen->sizeRangeUpperPercent();
    ActionManager::instance()->action(KL::Action::IncreasePenSize)->trigger();
    QVERIFY(pen->sizeRangeUpperPercent() > upper);
    ActionManager::instance()->action(KL::Action::DecreasePenSize)->trigger();
    QCOMPARE(pen->sizeRangeUpperPercent(), upper);

    ActionManager::instance()->action(KL::Action::IncreasePenSize)->trigger();
    ActionManager::instance()->action(KL::Action::ResetDrawingUserSettings)->trigger();
    double lower = 0.0;
    double storedUpper = 0.0;
    Settings::instance()->toolSizeRange(pen->toolName(), KL::ToolPreset::Default, lower, storedUpper, -1.0, -1.0);
    QCOMPARE(storedUpper, pen->sizeRangeUpperPercent());
}

QTEST_MAIN(TestInitialize)
#include "tst_initialize.moc"
