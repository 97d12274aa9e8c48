#include "actions/actionmanager.h"
#include "settings/settings.h"

#include <QAction>
#include <QActionGroup>
#include <QMetaEnum>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTranslator>
#include <QUndoGroup>
#include <QUndoStack>

#include <algorithm>
#include <functional>
#include <memory>

using namespace Model;

namespace {

// A registry of its own for each test, so that no test sees actions, groups
// or check marks that an earlier one changed.
class FreshActionManager : public ActionManager
{
};

std::unique_ptr<FreshActionManager> builtManager()
{
    auto manager = std::make_unique<FreshActionManager>();
    manager->createActions();
    return manager;
}

QKeySequence keys(const char *portableText)
{
    return QKeySequence(QString::fromLatin1(portableText), QKeySequence::PortableText);
}

QString nativeText(const char *portableText)
{
    return keys(portableText).toString(QKeySequence::NativeText);
}

QImage iconImage(const QIcon &icon, int size = 48)
{
    return icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool drawsSomething(const QIcon &icon, int size)
{
    const QImage image = iconImage(icon, size);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 128)
                return true;
        }
    }
    return false;
}

// Qt Test does not fail on unexpected debug lines, so silence is checked by
// collecting whatever is written while this lives.
class MessageLog
{
public:
    MessageLog() { s_messages.clear(); s_previous = qInstallMessageHandler(collect); }
    ~MessageLog() { qInstallMessageHandler(s_previous); }
    QStringList messages() const { return s_messages; }

private:
    static void collect(QtMsgType, const QMessageLogContext &, const QString &message) { s_messages << message; }
    static inline QStringList s_messages;
    static inline QtMessageHandler s_previous = nullptr;
};

// Translates only the selection wording of "Cut", with the count in the text.
class PluralTranslator : public QTranslator
{
public:
    QString translate(const char *context, const char *sourceText, const char *, int n) const override
    {
        if (qstrcmp(context, "Model::ActionManager") != 0 || qstrcmp(sourceText, "Cut Selected Drawings") != 0)
            return {};
        return n == 1 ? QStringLiteral("Cut the Selected Drawing") : QStringLiteral("Cut %n Selected Drawings");
    }
    bool isEmpty() const override { return false; }
};

using Setter = std::function<void(int)>;
using Getter = std::function<int()>;

} // namespace

Q_DECLARE_METATYPE(Setter)
Q_DECLARE_METATYPE(Getter)

class TestActionManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void everyKeyButUndoAndRedoHasOneAction();
    void undoAndRedoComeFromTheUndoGroup();
    void lookupsByName_data();
    void lookupsByName();
    void actionIconsRender_data();
    void actionIconsRender();
    void noTableIconIsMissing();

    void toolTips_data();
    void toolTips();
    void toolTipStaysUntilUpdated();
    void shortcuts_data();
    void shortcuts();

    void textVariants_data();
    void textVariants();
    void selectionWordingCarriesTheCount();

    void disablingThenRestoringKeepsEnabledStates();
    void groupsAreExclusive_data();
    void groupsAreExclusive();

    void checkMarksFollowPreferences_data();
    void checkMarksFollowPreferences();
    void unofferedValuesFallBackToDefaults_data();
    void unofferedValuesFallBackToDefaults();
    void gridAndThumbnailSteps();
    void modeAndSideSwitches();
};

void TestActionManager::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Kelvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Kelvane"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Kelvane"));
}

void TestActionManager::init()
{
    // The shared preferences keep their values between tests: put back the
    // ones these tests change, then forget what that wrote.
    Settings *settings = Settings::instance();
    settings->setGridType(KL::GridType::FieldGuide);
    settings->setThumbnailSize(KL::ThumbnailSize::ThumbnailMedium);
    settings->setDrawCursorOpacity(Settings::DefaultDrawCursorOpacity);
    settings->setShowXSheetTopBar(Settings::DefaultShowXSheetTopBar);
    settings->setAutoSaveEnabled(Settings::DefaultAutoSaveEnabled);
    settings->setAutoSaveIntervalMins(Settings::DefaultAutoSaveIntervalMins);
    settings->setAutoSaveNumFiles(Settings::DefaultAutoSaveNumFiles);
    settings->setUIScalePercent(Settings::DefaultUIScalePercent);
    settings->setToolBarPosition(Settings::DefaultToolBarPosition);
    settings->setToolBarVisible(Settings::DefaultToolBarVisible);
    settings->setSlideMode(false);
    settings->setBacklightOn(false);
    QSettings().clear();
}

void TestActionManager::everyKeyButUndoAndRedoHasOneAction()
{
    // The shared registry starts empty and is built only when asked.
    ActionManager *shared = ActionManager::instance();
    QCOMPARE(ActionManager::instance(), shared);
    QVERIFY(shared->findChildren<QAction *>().isEmpty());
    shared->createActions();

    const QMetaEnum meta = QMetaEnum::fromType<KL::Action>();
    QSet<QAction *> seen;
    for (int i = 0; i < meta.keyCount(); ++i) {
        const auto id = static_cast<KL::Action>(meta.value(i));
        if (id == KL::Action::NoAction || id == KL::Action::Undo || id == KL::Action::Redo) {
            if (id != KL::Action::NoAction)
                QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("Model::ActionManager::klAction "
                                                                           "action not found %1").arg(meta.key(i))));
            QVERIFY(!shared->action(id));
            continue;
        }
        QAction *action = shared->action(id);
        QVERIFY2(action, meta.key(i));
        QCOMPARE(action->property("KLActionName").toString(), QString::fromLatin1(meta.key(i)));
        if (!action->shortcuts().isEmpty())
            QCOMPARE(action->shortcutContext(), Qt::ApplicationShortcut);
        seen.insert(action);
    }
    QCOMPARE(seen.size(), meta.keyCount() - 3);
    QCOMPARE(shared->findChildren<QAction *>().size(), seen.size());
}

void TestActionManager::undoAndRedoComeFromTheUndoGroup()
{
    auto manager = builtManager();
    const qsizetype before = manager->findChildren<QAction *>().size();
    manager->createUndoRedoActions(nullptr);
    QCOMPARE(manager->findChildren<QAction *>().size(), before);

    QUndoGroup group;
    QUndoStack stack(&group);
    group.setActiveStack(&stack);
    manager->createUndoRedoActions(&group);
    QAction *undo = manager->action(KL::Action::Undo);
    QAction *redo = manager->action(KL::Action::Redo);
    QVERIFY(undo && redo);
    QCOMPARE(manager->findChildren<QAction *>().size(), before + 2);
    QCOMPARE(undo->property("KLActionName").toString(), QStringLiteral("Undo"));
    QCOMPARE(undo->shortcuts(), QKeySequence::keyBindings(QKeySequence::Undo));
    QCOMPARE(redo->shortcuts(), QKeySequence::keyBindings(QKeySequence::Redo));
    QVERIFY(!undo->isEnabled());

    auto *command = new QUndoCommand;
    command->setText(QStringLiteral("Paint"));
    stack.push(command);
    QCOMPARE(undo->text(), QStringLiteral("&Undo Paint"));
    undo->trigger();
    QCOMPARE(stack.index(), 0);
    QCOMPARE(redo->text(), QStringLiteral("&Redo Paint"));

    // Registering again replaces the actions; the old ones go later.
    QPointer<QAction> first = undo;
    QTest::ignoreMessage(QtDebugMsg, "Model::ActionManager::ActionManagerPrivate::insertAction Replacing action Undo");
    QTest::ignoreMessage(QtDebugMsg, "Model::ActionManager::ActionManagerPrivate::insertAction Replacing action Redo");
    manager->createUndoRedoActions(&group);
    QVERIFY(manager->action(KL::Action::Undo) != first);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.isNull());
}

void TestActionManager::lookupsByName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<KL::Action>("id");

    QTest::newRow("paste") << QStringLiteral("PasteDrawing") << KL::Action::PasteDrawing;
    QTest::newRow("with underscore") << QStringLiteral("FrameRate12_5") << KL::Action::FrameRate12_5;
    QTest::newRow("unknown") << QStringLiteral("PasteDrawings") << KL::Action::NoAction;
    QTest::newRow("empty") << QString() << KL::Action::NoAction;
    QTest::newRow("no action") << QStringLiteral("NoAction") << KL::Action::NoAction;
}

void TestActionManager::lookupsByName()
{
    QFETCH(QString, name);
    QFETCH(KL::Action, id);
    auto manager = builtManager();

    MessageLog log;
    QAction *action = manager->actionByName(name);
    ActionManager::ActionEntry *entry = manager->actionEntry(name);
    QCOMPARE(log.messages(), QStringList());
    if (id == KL::Action::NoAction) {
        QVERIFY(!action && !entry);
        return;
    }
    QCOMPARE(action, manager->action(id));
    QCOMPARE(entry->action, action);
    QCOMPARE(entry->defaultText, action->text());
}

void TestActionManager::actionIconsRender_data()
{
    QTest::addColumn<QIcon>("icon");
    QTest::addColumn<QString>("path");

    auto manager = builtManager();
    QUndoGroup group;
    manager->createUndoRedoActions(&group);
    const QMetaEnum meta = QMetaEnum::fromType<KL::Action>();
    for (int i = 1; i < meta.keyCount(); ++i) {
        const QAction *action = manager->action(static_cast<KL::Action>(meta.value(i)));
        if (!action->icon().isNull())
            QTest::newRow(meta.key(i)) << action->icon() << QString();
    }
    QTest::newRow("Play while playing") << *manager->klAction(KL::Action::Play)->alternateIcon
                                        << QStringLiteral(":/icons/Stop_icon.svg");
    // Icons named differently from their action.
    QTest::newRow("Pan's file") << manager->action(KL::Action::Pan)->icon()
                                << QStringLiteral(":/icons/HandTool_icon.svg");
    QTest::newRow("PencilPreset1's file") << manager->action(KL::Action::PencilPreset1)->icon()
                                          << QStringLiteral(":/icons/Pencil_Preset1_icon.svg");
}

void TestActionManager::actionIconsRender()
{
    QFETCH(QIcon, icon);
    QFETCH(QString, path);
    QVERIFY(drawsSomething(icon, 24));
    QVERIFY(drawsSomething(icon, 48));
    if (!path.isEmpty())
        QCOMPARE(iconImage(icon), iconImage(QIcon(path)));
}

void TestActionManager::noTableIconIsMissing()
{
    // An icon whose file is missing comes out null, so the rows above would
    // simply leave it out: count them. The table gives 61 actions an icon.
    auto manager = builtManager();
    QUndoGroup group;
    manager->createUndoRedoActions(&group);
    const QList<QAction *> actions = manager->findChildren<QAction *>();
    QCOMPARE(std::count_if(actions.cbegin(), actions.cend(), [](const QAction *a) { return !a->icon().isNull(); }),
             61);
}

void TestActionManager::toolTips_data()
{
    QTest::addColumn<KL::Action>("id");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("text and shortcut") << KL::Action::AddBlankDrawing
                                       << QStringLiteral("Add Blank Drawing [%1]").arg(nativeText("Ctrl+Down"));
    QTest::newRow("without ellipsis") << KL::Action::SceneSettings
                                      << QStringLiteral("Scene Settings [%1]").arg(nativeText("Ctrl+Shift+I"));
    QTest::newRow("without mnemonic") << KL::Action::Draw << QStringLiteral("Draw (Latest Drawing Tool) [D]");
    QTest::newRow("first of two shortcuts") << KL::Action::Pencil << QStringLiteral("Pencil (P) [4]");
    QTest::newRow("no shortcut") << KL::Action::ExportFrames << QStringLiteral("Frames");
    QTest::newRow("doubled ampersand") << KL::Action::QuestionsAnswers << QStringLiteral("Questions & Answers");
    QTest::newRow("own tooltip") << KL::Action::Pan << QStringLiteral("Hand Tool [Hold H]");
    QTest::newRow("own icon text") << KL::Action::OffPegs << QStringLiteral("Off Pegs Tool");
}

void TestActionManager::toolTips()
{
    QFETCH(KL::Action, id);
    QFETCH(QString, toolTip);
    auto manager = builtManager();
    QCOMPARE(manager->action(id)->toolTip(), toolTip);
}

void TestActionManager::toolTipStaysUntilUpdated()
{
    auto manager = builtManager();
    QAction *frames = manager->action(KL::Action::ExportFrames);
    frames->setShortcut(keys("Ctrl+F9"));
    QCOMPARE(frames->toolTip(), QStringLiteral("Frames"));
    manager->updateToolTip(KL::Action::ExportFrames);
    QCOMPARE(frames->toolTip(), QStringLiteral("Frames [%1]").arg(nativeText("Ctrl+F9")));
}

void TestActionManager::shortcuts_data()
{
    QTest::addColumn<KL::Action>("id");
    QTest::addColumn<QList<QKeySequence>>("shortcuts");

    QTest::newRow("platform cut") << KL::Action::CutDrawing << QKeySequence::keyBindings(QKeySequence::Cut);
    QTest::newRow("platform zoom in and more")
        << KL::Action::ZoomIn << (QKeySequence::keyBindings(QKeySequence::ZoomIn) << keys("Ctrl+="));
    QTest::newRow("two keys") << KL::Action::Pencil << QList<QKeySequence>{keys("4"), keys("P")};
    QTest::newRow("grid type has none") << KL::Action::GridTypeThirds << QList<QKeySequence>();
    QTest::newRow("play shares space") << KL::Action::Play << QList<QKeySequence>{keys("Space")};
    QTest::newRow("view tools share space") << KL::Action::ZPR << QList<QKeySequence>{keys("Space")};
    QTest::newRow("stamp shares return") << KL::Action::StampFloatingSelection << QList<QKeySequence>{keys("Return")};
}

void TestActionManager::shortcuts()
{
    QFETCH(KL::Action, id);
    QFETCH(QList<QKeySequence>, shortcuts);
    auto manager = builtManager();
    QCOMPARE(manager->action(id)->shortcuts(), shortcuts);
}

void TestActionManager::textVariants_data()
{
    QTest::addColumn<KL::Action>("id");
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("iconPath"); // empty: the icon stays

    QTest::newRow("playing") << KL::Action::Play << 1 << QStringLiteral("Stop")
                             << QStringLiteral(":/icons/Stop_icon.svg");
    QTest::newRow("cells selected") << KL::Action::AddBlankDrawing << 1
                                    << QStringLiteral("Add Blank after each Selected Drawing") << QString();
    QTest::newRow("no selection wording") << KL::Action::NewScene << 1 << QStringLiteral("New Scene...") << QString();
    QTest::newRow("unknown variant") << KL::Action::CutDrawing << 2 << QStringLiteral("Cut Drawing") << QString();
}

void TestActionManager::textVariants()
{
    QFETCH(KL::Action, id);
    QFETCH(int, variant);
    QFETCH(QString, text);
    QFETCH(QString, iconPath);
    auto manager = builtManager();
    QAction *action = manager->action(id);
    const QString defaultText = action->text();
    QString toolTip = action->toolTip();
    const QImage defaultIcon = iconImage(action->icon());

    manager->setActionTextVariant(id, variant, 3);
    QCOMPARE(action->text(), text);
    QCOMPARE(action->toolTip(), toolTip.replace(defaultText, text));
    QCOMPARE(iconImage(action->icon()), iconPath.isEmpty() ? defaultIcon : iconImage(QIcon(iconPath)));

    manager->setActionTextVariant(id, 0, 3);
    QCOMPARE(action->text(), defaultText);
    QCOMPARE(iconImage(action->icon()), defaultIcon);
}

void TestActionManager::selectionWordingCarriesTheCount()
{
    auto manager = builtManager();
    PluralTranslator translator;
    QCoreApplication::installTranslator(&translator);
    manager->setActionTextVariant(KL::Action::CutDrawing, 1, 1);
    const QString one = manager->action(KL::Action::CutDrawing)->text();
    manager->setActionTextVariant(KL::Action::CutDrawing, 1, 3);
    const QString three = manager->action(KL::Action::CutDrawing)->text();
    QCoreApplication::removeTranslator(&translator);

    QCOMPARE(one, QStringLiteral("Cut the Selected Drawing"));
    QCOMPARE(three, QStringLiteral("Cut 3 Selected Drawings"));
}

void TestActionManager::disablingThenRestoringKeepsEnabledStates()
{
    auto manager = builtManager();
    QUndoGroup group;
    manager->createUndoRedoActions(&group);
    manager->action(KL::Action::NewLayer)->setEnabled(false);

    const QList<QAction *> actions = manager->findChildren<QAction *>();
    QSet<QAction *> enabled;
    for (QAction *action : actions) {
        if (action->isEnabled())
            enabled.insert(action);
    }
    // What starts disabled: paint layers, and what waits for a selection or
    // a clipboard or a command.
    for (KL::Action id : {KL::Action::PasteDrawing, KL::Action::CycleSelectedDrawingsOnce, KL::Action::Palette,
                          KL::Action::FillTool, KL::Action::CollapseVectorData, KL::Action::Undo})
        QVERIFY(!enabled.contains(manager->action(id)));
    QCOMPARE(actions.size() - enabled.size(), 12); // nine from the start, Undo, Redo and NewLayer

    manager->disableAllActions();
    for (QAction *action : actions)
        QVERIFY2(!action->isEnabled(), qPrintable(action->text()));
    manager->restoreAllActions();
    QSet<QAction *> restored;
    for (QAction *action : actions) {
        if (action->isEnabled())
            restored.insert(action);
    }
    QCOMPARE(restored, enabled);
}

void TestActionManager::groupsAreExclusive_data()
{
    QTest::addColumn<QList<KL::Action>>("members");

    QTest::newRow("draw or erase") << QList<KL::Action>{KL::Action::Draw, KL::Action::Erase,
                                                        KL::Action::NonDrawingAction};
    QTest::newRow("pens and erasers") << QList<KL::Action>{KL::Action::Pencil, KL::Action::Marker, KL::Action::Brush,
                                                           KL::Action::KneadedEraser, KL::Action::RubberEraser,
                                                           KL::Action::VinylEraser};
    QTest::newRow("frame rates") << QList<KL::Action>{KL::Action::FrameRate06, KL::Action::FrameRate12_5,
                                                      KL::Action::FrameRate60, KL::Action::FrameRateCustom};
}

void TestActionManager::groupsAreExclusive()
{
    QFETCH(QList<KL::Action>, members);
    auto manager = builtManager();
    QActionGroup *group = manager->action(members.first())->actionGroup();
    QVERIFY(group && group->isExclusive());

    const QAction *outside = manager->action(KL::Action::PlayBackwards);
    for (KL::Action chosen : members) {
        manager->action(chosen)->trigger();
        for (KL::Action member : members) {
            QCOMPARE(manager->action(member)->actionGroup(), group);
            QCOMPARE(manager->action(member)->isChecked(), member == chosen);
        }
    }
    QVERIFY(!outside->actionGroup() && !outside->isChecked());
}

void TestActionManager::checkMarksFollowPreferences_data()
{
    QTest::addColumn<KL::Action>("id");
    QTest::addColumn<Setter>("setPreference");
    QTest::addColumn<Getter>("preference");

    Settings *s = Settings::instance();
    QTest::newRow("faint cursor")
        << KL::Action::FaintCursor
        << Setter([s](int on) {
               s->setDrawCursorOpacity(on ? KL::DrawCursorOpacity::Faint : KL::DrawCursorOpacity::Opaque);
           })
        << Getter([s] { return int(s->drawCursorOpacity() == KL::DrawCursorOpacity::Faint); });
    QTest::newRow("tool bar") << KL::Action::ToolBar << Setter([s](int on) { s->setToolBarVisible(on); })
                              << Getter([s] { return int(s->toolBarVisible()); });
    QTest::newRow("autosave") << KL::Action::AutoSave << Setter([s](int on) { s->setAutoSaveEnabled(on); })
                              << Getter([s] { return int(s->autoSaveEnabled()); });
    QTest::newRow("free clones") << KL::Action::FreelyDrawOnClones
                                 << Setter([s](int on) { s->setClonesLockedForDrawing(!on); })
                                 << Getter([s] { return int(!s->clonesLockedForDrawing()); });
    QTest::newRow("collapse") << KL::Action::CollapseVectorDataAutomatically
                              << Setter([s](int on) { s->setCollapseAutomatically(on); })
                              << Getter([s] { return int(s->collapseAutomatically()); });
}

void TestActionManager::checkMarksFollowPreferences()
{
    QFETCH(KL::Action, id);
    QFETCH(Setter, setPreference);
    QFETCH(Getter, preference);
    auto manager = builtManager();
    QAction *action = manager->action(id);
    const bool initial = preference();
    QCOMPARE(action->isChecked(), initial);

    // Both ways: the preference moves the check mark, the action the preference.
    setPreference(!initial);
    QCOMPARE(action->isChecked(), !initial);
    action->trigger();
    QCOMPARE(bool(preference()), initial);
    QCOMPARE(action->isChecked(), initial);
}

void TestActionManager::unofferedValuesFallBackToDefaults_data()
{
    QTest::addColumn<Setter>("setPreference");
    QTest::addColumn<Getter>("preference");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("unoffered");
    QTest::addColumn<int>("fallback");
    QTest::addColumn<KL::Action>("checked");

    Settings *s = Settings::instance();
    QTest::newRow("autosave interval") << Setter([s](int v) { s->setAutoSaveIntervalMins(v); })
                                       << Getter([s] { return s->autoSaveIntervalMins(); })
                                       << QStringLiteral("AutoSave/IntervalMins") << 10 << 15
                                       << KL::Action::AutoSaveInterval15Min;
    QTest::newRow("backup files") << Setter([s](int v) { s->setAutoSaveNumFiles(v); })
                                  << Getter([s] { return s->autoSaveNumFiles(); })
                                  << QStringLiteral("AutoSave/NumFiles") << 4 << 3 << KL::Action::AutoSaveFiles3;
    QTest::newRow("interface scale") << Setter([s](int v) { s->setUIScalePercent(v); })
                                     << Getter([s] { return s->UIScalePercent(); })
                                     << QStringLiteral("UIScalePercent") << 110 << 100 << KL::Action::UIScale100;
}

void TestActionManager::unofferedValuesFallBackToDefaults()
{
    QFETCH(Setter, setPreference);
    QFETCH(Getter, preference);
    QFETCH(QString, key);
    QFETCH(int, unoffered);
    QFETCH(int, fallback);
    QFETCH(KL::Action, checked);

    // Stored by hand, as another version might have: corrected, and written
    // back, while the registry is built.
    QSettings().setValue(QStringLiteral("Preferences/") + key, unoffered);
    Settings::instance()->load();
    QCOMPARE(preference(), unoffered);
    auto manager = builtManager();
    QCOMPARE(preference(), fallback);
    QCOMPARE(QSettings().value(QStringLiteral("Preferences/") + key).toInt(), fallback);
    QVERIFY(manager->action(checked)->isChecked());

    // Set while running: corrected at once.
    setPreference(unoffered);
    QCOMPARE(preference(), fallback);
    QVERIFY(manager->action(checked)->isChecked());
}

void TestActionManager::gridAndThumbnailSteps()
{
    auto manager = builtManager();
    Settings *settings = Settings::instance();

    settings->setGridType(KL::GridType::Renaissance);
    QVERIFY(!manager->action(KL::Action::GridOnOff)->isChecked());
    manager->action(KL::Action::GridTypeNext)->trigger();
    QCOMPARE(settings->gridType(), KL::GridType::FieldGuide);
    QVERIFY(manager->action(KL::Action::GridTypeFieldGuide)->isChecked());
    QVERIFY(manager->action(KL::Action::GridOnOff)->isChecked());

    QAction *smaller = manager->action(KL::Action::ThumbnailSizeSmaller);
    QAction *larger = manager->action(KL::Action::ThumbnailSizeLarger);
    manager->action(KL::Action::ThumbnailSizeSmall)->trigger();
    smaller->trigger();
    QCOMPARE(settings->thumbnailSize(), KL::ThumbnailSize::ThumbnailTiny);
    QVERIFY(manager->action(KL::Action::ThumbnailSizeTiny)->isChecked());
    QVERIFY(!smaller->isEnabled() && larger->isEnabled());
    settings->setThumbnailSize(KL::ThumbnailSize::ThumbnailLarge);
    QVERIFY(!larger->isEnabled());
    smaller->trigger();
    QCOMPARE(settings->thumbnailSize(), KL::ThumbnailSize::ThumbnailMedium);
}

void TestActionManager::modeAndSideSwitches()
{
    auto manager = builtManager();
    Settings *settings = Settings::instance();

    manager->action(KL::Action::ToggleXSheetDragMode)->trigger();
    QVERIFY(settings->slideMode() && manager->action(KL::Action::SlideMode)->isChecked());
    manager->action(KL::Action::ToggleXSheetDragMode)->trigger();
    QVERIFY(!settings->slideMode() && manager->action(KL::Action::AddClonesMode)->isChecked());

    manager->action(KL::Action::ToolBarOppositeSide)->trigger();
    QCOMPARE(settings->toolBarPosition(), KL::ToolBarPosition::Left);
    QVERIFY(manager->action(KL::Action::ToolBarLeftSide)->isChecked());
    manager->action(KL::Action::ToolBarLeftSide)->trigger();
    QCOMPARE(settings->toolBarPosition(), KL::ToolBarPosition::Left);

    // Switching backlight sets always leaves the backlight on.
    const auto set = settings->backlightSettings().current;
    manager->action(KL::Action::BacklightToggleAB)->trigger();
    QVERIFY(settings->backlightSettings().current != set);
    manager->action(KL::Action::BacklightToggleAB)->trigger();
    QCOMPARE(settings->backlightSettings().current, set);
    QVERIFY(settings->backlightOn() && manager->action(KL::Action::BacklightOnOff)->isChecked());
}

QTEST_MAIN(TestActionManager)

#include "tst_actionmanager.moc"
