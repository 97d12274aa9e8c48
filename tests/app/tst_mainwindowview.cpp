#include "playbackcontroller.h"

#include "paper/holdkey.h"
#include "paper/paper.h"
#include "tools/speeddial.h"
#include "xsheet/layerrenamewidget.h"
#include "xsheet/opacityslider.h"
#include "xsheet/xsheet.h"

#include "dialogs/collapsedialog.h"
#include "dialogs/customizebacklightdialog.h"
#include "dialogs/preferences.h"
#include "xsheet/xsheetheader.h"

#include "actions/actionmanager.h"
#include "initialize.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "settings/settings.h"
#include "strokes/floatingselection.h"
#include "tools/toolmanager.h"

#include "mainwindowtesthelpers.h"
#include "support/scenerecord.h"
#include "support/widgetevents.h"

#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainterPath>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

#include <memory>

using namespace MainWindowTest;

namespace {

using A = KL::Action;
using Type = Model::Tool::Type;

QAction *action(A key)
{
    return Model::ActionManager::instance()->action(key);
}

Model::Tool::Type currentTool()
{
    return Model::ToolManager::instance()->currentToolType();
}

// Steps done: an undone step that a new one replaces is not counted.
int undoCount()
{
    return currentScene()->undoStack()->index();
}

UI::Paper *paperOf(MainWindow *window)
{
    return window->findChild<UI::Paper *>();
}

// A window with a scene, shown and laid out, the pen current as after the
// user's first choice of a pen.
Started startShownWindow()
{
    Started started = startWindowWithScene();
    if (!QTest::qWaitForWindowExposed(started.window.get()))
        qWarning("The window was not exposed");
    QCoreApplication::processEvents();
    Model::ToolManager::instance()->setCurrentTool(Type::Pen);
    return started;
}

// A key as the shortcut machinery first offers it to the window (QTest
// cannot give the native modifiers); true when the window kept it from the
// shortcuts.
bool offerKey(QWidget *window, int key, Qt::KeyboardModifiers modifiers, const QString &text,
              bool autoRepeat = false, quint32 nativeModifiers = 0)
{
    QKeyEvent event(QEvent::ShortcutOverride, key, modifiers, 0, 0, nativeModifiers, text, autoRepeat);
    event.ignore();
    QApplication::sendEvent(window, &event);
    return event.isAccepted();
}

// What a timer's running out does, without waiting for it.
void runOut(QTimer *timer)
{
    QVERIFY(timer && timer->isActive());
    QMetaObject::invokeMethod(timer, "timeout");
}

// Draws one stroke with the mouse across the middle of the paper; returns
// the outline around it in drawing coordinates.
QPainterPath drawStroke(UI::Paper *paper)
{
    const QPointF centre = QRectF(paper->rect()).center();
    const QList<QPointF> points{centre - QPointF(40, 20), centre, centre + QPointF(40, 20)};
    TestSupport::drag(paper, points);
    QPainterPath outline;
    outline.addRect(paper->widgetToDrawing().map(QPolygonF(points)).boundingRect().adjusted(-30, -30, 30, 30));
    return outline;
}

void setActiveLayerOf(MainWindow *window, int layer)
{
    QVERIFY(QMetaObject::invokeMethod(window, "setActiveLayer", Q_ARG(int, layer)));
}

// Shows the window and gives it the keyboard, as the user's first click does.
// (A tool window counts as active while its parent is; this waits for the
// window itself.)
bool activate(QWidget *window)
{
    window->show();
    window->activateWindow();
    return QTest::qWaitFor([window] { return QApplication::activeWindow() == window; }, 30000);
}

// Collects what Qt writes to the log while it lives.
class LogCapture
{
public:
    LogCapture()
    {
        s_lines.clear();
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }

    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const { return s_lines; }

private:
    static void handle(QtMsgType, const QMessageLogContext &, const QString &message) { s_lines.append(message); }

    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

} // namespace

// The main window's keys, view and layer handling, as a user meets them:
// the tap-or-hold keys with their timers and a pen that comes down before
// the decision, stepping by letter case with Shift and Caps Lock, Escape,
// the zoom ladder, the backlight, lifting a selection with the collapse
// question, the layer toggles, renaming and the opacity slider.
class TestMainWindowView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void tapOrHold_data();
    void tapOrHold();
    void letterCase_data();
    void letterCase();
    void escape_data();
    void escape();
    void zoomLadder_data();
    void zoomLadder();
    void mirrorAndFitView();
    void backlight();
    void lift_data();
    void lift();
    void collapseQuestion_data();
    void collapseQuestion();
    void layerToggles();
    void opacityDrag();
    void opacityDragLosesTheFocus_data();
    void opacityDragLosesTheFocus();
    void renameField_data();
    void renameField();
    void headerMenuActsOnTheLayerClicked_data();
    void headerMenuActsOnTheLayerClicked();
    void focusLeavingEndsScrubbing_data();
    void focusLeavingEndsScrubbing();
    void typingNeverLendsATool_data();
    void typingNeverLendsATool();
    void returnReachesOneAction_data();
    void returnReachesOneAction();
};

void TestMainWindowView::initTestCase()
{
    Startup::prepareProcess();
    QSettings().clear();
    Model::initialize();
    // Nothing here is about the tutorial.
    Model::Settings::instance()->setShowHowToAnimateOnStartup(false);
}

void TestMainWindowView::init()
{
    UI::setHoldKeyResolved(true);
}

void TestMainWindowView::tapOrHold_data()
{
    QTest::addColumn<int>("key");
    // What decides: the key's "release", the "timer", the pen put down
    // before it ("pen"), or a stroke already under way ("drawing").
    QTest::addColumn<QString>("decision");
    QTest::addColumn<int>("heldTool"); // -1: a tap
    QTest::addColumn<int>("plays");
    QTest::addColumn<double>("zoomAfter");

    const int space = Qt::Key_Space;
    const int zpr = int(Type::ZoomPanRotate);
    QTest::newRow("Space tapped plays") << space << "release" << -1 << 1 << 1.0;
    QTest::newRow("Space held") << space << "timer" << zpr << 0 << 1.0;
    QTest::newRow("Space, then the pen") << space << "pen" << zpr << 0 << 1.0;
    QTest::newRow("Space while drawing") << space << "drawing" << zpr << 0 << 1.0;
    QTest::newRow("Z tapped zooms in quickly") << int(Qt::Key_Z) << "release" << -1 << 0 << 3.0;
    QTest::newRow("Z held") << int(Qt::Key_Z) << "timer" << int(Type::Zoom) << 0 << 1.0;
    QTest::newRow("Z, then the pen") << int(Qt::Key_Z) << "pen" << int(Type::Zoom) << 0 << 1.0;
}

void TestMainWindowView::tapOrHold()
{
    QFETCH(int, key);
    QFETCH(QString, decision);
    QFETCH(int, heldTool);
    QFETCH(int, plays);
    QFETCH(double, zoomAfter);
    Started started = startShownWindow();
    MainWindow *window = started.window.get();
    UI::Paper *paper = paperOf(window);
    QSignalSpy play(action(A::Play), &QAction::triggered);
    auto *timer = window->findChild<QTimer *>(key == Qt::Key_Space ? QStringLiteral("spaceHoldTimer")
                                                                   : QStringLiteral("zHoldTimer"));
    const QPointF at = QRectF(paper->rect()).center();
    const bool drawing = decision == QLatin1String("drawing");
    if (drawing) {
        QVERIFY(TestSupport::sendTablet(paper, QEvent::TabletPress, at, 1000));
        TestSupport::sendTablet(paper, QEvent::TabletMove, at + QPointF(25, 5), 1010);
        QVERIFY(currentScene()->hasActiveStroke());
    }
    const int undoBefore = undoCount();

    QTest::keyPress(window, Qt::Key(key));
    if (drawing) {
        // The stroke is kept as an undoable edit, and the pen being down
        // decides at once.
        QVERIFY(!currentScene()->hasActiveStroke());
        QVERIFY(!timer->isActive());
    } else {
        // Waiting for the decision, no stroke may start.
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 200);
        QVERIFY(!UI::holdKeyResolved());
        QCOMPARE(currentTool(), Type::Pen);
    }
    if (decision == QLatin1String("timer")) {
        runOut(timer);
    } else if (decision == QLatin1String("pen")) {
        QVERIFY(TestSupport::sendTablet(paper, QEvent::TabletPress, at, 2000));
        // Decided before the timer, and the pen drew nothing.
        QVERIFY(!timer->isActive());
        QVERIFY(!currentScene()->hasActiveStroke());
    }
    if (heldTool >= 0) {
        QVERIFY(UI::holdKeyResolved());
        QCOMPARE(int(currentTool()), heldTool);
    }
    if (drawing || decision == QLatin1String("pen"))
        TestSupport::sendTablet(paper, QEvent::TabletRelease, at, 3000);

    QTest::keyRelease(window, Qt::Key(key));
    QVERIFY(UI::holdKeyResolved());
    QVERIFY(!timer->isActive());
    QCOMPARE(play.count(), plays);
    QVERIFY(qFuzzyCompare(paper->zoomLevel(), zoomAfter));
    QCOMPARE(undoCount(), undoBefore + (drawing ? 1 : 0));
    if (key == Qt::Key_Space)
        QCOMPARE(currentTool(), Type::Pen);

    // Z pressed with the zoom tool current is left alone.
    Model::ToolManager::instance()->setCurrentTool(Type::Zoom);
    QVERIFY(!offerKey(window, Qt::Key_Z, Qt::NoModifier, QStringLiteral("z")));
    QVERIFY(UI::holdKeyResolved());
}

void TestMainWindowView::letterCase_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("native");
    QTest::addColumn<bool>("autoRepeat");
    QTest::addColumn<int>("expected"); // KL::Action, NoAction: none

    const int none = Qt::NoModifier;
    const int shift = Qt::ShiftModifier;
    const uint lock = 0x2; // X11's Lock bit
    const int stepForward = int(A::StepForwardSkippingLocalClones);
    const int keyForward = int(A::SkipForwardToKeyDrawing);
    const int stepBack = int(A::StepBackSkippingLocalClones);
    const int keyBack = int(A::SkipBackToKeyDrawing);

    // The text carries Shift and Caps Lock as the keyboard folds them.
    QTest::newRow("w") << int(Qt::Key_W) << none << "w" << 0u << false << stepForward;
    QTest::newRow("Shift+W") << int(Qt::Key_W) << shift << "W" << 0u << false << keyForward;
    QTest::newRow("W under Caps Lock") << int(Qt::Key_W) << none << "W" << lock << false << keyForward;
    QTest::newRow("Shift+w under Caps Lock") << int(Qt::Key_W) << shift << "w" << lock << false << stepForward;
    QTest::newRow("q") << int(Qt::Key_Q) << none << "q" << 0u << false << stepBack;
    QTest::newRow("Q under Caps Lock") << int(Qt::Key_Q) << none << "Q" << lock << false << keyBack;
    // Without text the Shift modifier and the Lock bit decide.
    QTest::newRow("no text") << int(Qt::Key_W) << none << "" << 0u << false << stepForward;
    QTest::newRow("no text, Shift") << int(Qt::Key_W) << shift << "" << 0u << false << keyForward;
    QTest::newRow("no text, Lock") << int(Qt::Key_Q) << none << "" << lock << false << keyBack;
    QTest::newRow("no text, Shift and Lock") << int(Qt::Key_Q) << shift << "" << lock << false << stepBack;
    // Holding the key steps on; other modifiers leave it to the shortcuts.
    QTest::newRow("auto-repeat") << int(Qt::Key_W) << none << "w" << 0u << true << stepForward;
    QTest::newRow("Ctrl+W") << int(Qt::Key_W) << int(Qt::ControlModifier) << "\x17" << 0u << false
                            << int(A::NoAction);
    QTest::newRow("Alt+Q") << int(Qt::Key_Q) << int(Qt::AltModifier) << "q" << 0u << false << int(A::NoAction);
}

void TestMainWindowView::letterCase()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(uint, native);
    QFETCH(bool, autoRepeat);
    QFETCH(int, expected);
    Started started = startShownWindow();

    QList<std::pair<int, std::shared_ptr<QSignalSpy>>> spies;
    for (const A candidate : {A::StepForwardSkippingLocalClones, A::SkipForwardToKeyDrawing,
                              A::StepBackSkippingLocalClones, A::SkipBackToKeyDrawing})
        spies.append({int(candidate), std::make_shared<QSignalSpy>(action(candidate), &QAction::triggered)});

    const bool kept =
        offerKey(started.window.get(), key, Qt::KeyboardModifiers(modifiers), text, autoRepeat, native);
    QCOMPARE(kept, expected != int(A::NoAction));
    for (const auto &spy : spies)
        QCOMPARE(spy.second->count(), spy.first == expected ? 1 : 0);
}

void TestMainWindowView::escape_data()
{
    QTest::addColumn<bool>("dialOpen");
    QTest::addColumn<bool>("playing");
    QTest::addColumn<int>("viewTool"); // KL::Action checked before, NoAction: none

    QTest::newRow("open dial") << true << false << int(A::NoAction);
    QTest::newRow("open dial while playing") << true << true << int(A::NoAction);
    QTest::newRow("open dial before a view tool") << true << false << int(A::Pan);
    QTest::newRow("hand tool") << false << false << int(A::Pan);
    QTest::newRow("off pegs") << false << false << int(A::OffPegs);
}

void TestMainWindowView::escape()
{
    QFETCH(bool, dialOpen);
    QFETCH(bool, playing);
    QFETCH(int, viewTool);
    Started started = startShownWindow();
    MainWindow *window = started.window.get();
    auto *dial = window->findChildren<UI::SpeedDial *>().value(0);
    auto *playback = window->findChild<PlaybackController *>();
    QVERIFY(dial && playback);
    if (viewTool != int(A::NoAction))
        action(A(viewTool))->setChecked(true);

    // The pointer points at the dial's top slot, the pen tool's Draw.
    QSignalSpy draw(action(A::Draw), &QAction::triggered);
    QSignalSpy selected(dial, &UI::SpeedDial::functionSelected);
    if (dialOpen) {
        const QPointF centre = QRectF(dial->rect()).center();
        QCursor::setPos(dial->mapToGlobal(centre.toPoint()));
        dial->show();
        TestSupport::sendMouse(dial, QEvent::MouseButtonPress, centre);
        TestSupport::sendMouse(dial, QEvent::MouseMove, centre - QPointF(0, 70));
    }
    if (playing) {
        playback->setFrameRange(1, 4);
        playback->togglePlayback();
        QVERIFY(playback->isPlaying());
    }
    const QByteArray before = SceneRecord::bytes(*currentScene());
    const int undoBefore = undoCount();

    QTest::keyPress(window, Qt::Key_Escape);
    QTest::keyRelease(window, Qt::Key_Escape);
    QCoreApplication::processEvents();

    // The open dial closes and chooses nothing; only then do the view
    // tools let go, one Escape each.
    QVERIFY(!dial->isVisible());
    QVERIFY(draw.isEmpty());
    QVERIFY(selected.isEmpty());
    QVERIFY(!playback->isPlaying());
    if (viewTool != int(A::NoAction))
        QCOMPARE(action(A(viewTool))->isChecked(), dialOpen);
    QCOMPARE(SceneRecord::bytes(*currentScene()), before);
    QCOMPARE(undoCount(), undoBefore);
    if (viewTool == int(A::NoAction) || !dialOpen)
        QCOMPARE(currentTool(), Type::Pen);
    for (const A key : {A::Pan, A::OffPegs})
        action(key)->setChecked(false);
}

void TestMainWindowView::zoomLadder_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<bool>("quickZoom"); // the start level three times closer
    QTest::addColumn<int>("step");       // ZoomIn or ZoomOut
    QTest::addColumn<double>("expected");

    const int in = int(A::ZoomIn);
    const int out = int(A::ZoomOut);
    QTest::newRow("1 in") << 1.0 << false << in << 1.5;
    QTest::newRow("2 in") << 2.0 << false << in << 3.0;
    QTest::newRow("1 out") << 1.0 << false << out << 0.75;
    QTest::newRow("1.004 in") << 1.004 << false << in << 1.5;
    QTest::newRow("1.004 out") << 1.004 << false << out << 0.75;
    QTest::newRow("0.1 out") << 0.1 << false << out << 0.09375;
    QTest::newRow("top in") << 16.0 << false << in << 16.0;
    QTest::newRow("bottom out") << 0.0625 << false << out << 0.0625;
    QTest::newRow("quick zoom from 3, in") << 3.0 << true << in << 12.0;
    QTest::newRow("quick zoom from 3, out") << 3.0 << true << out << 8.0;
}

void TestMainWindowView::zoomLadder()
{
    QFETCH(double, start);
    QFETCH(bool, quickZoom);
    QFETCH(int, step);
    QFETCH(double, expected);
    Started started = startShownWindow();
    UI::Paper *paper = paperOf(started.window.get());
    paper->setZoomLevel(start);
    if (quickZoom)
        paper->toggleQuickZoom();
    action(A(step))->trigger();
    QVERIFY2(qFuzzyCompare(paper->zoomLevel(), expected), qPrintable(QString::number(paper->zoomLevel())));

    // The fixed levels go through the same view.
    action(A::ViewToX1)->trigger();
    QCOMPARE(paper->zoomLevel(), 1.0);
}

void TestMainWindowView::mirrorAndFitView()
{
    Started started = startShownWindow();
    UI::Paper *paper = paperOf(started.window.get());
    QVERIFY(!action(A::MirrorView)->isChecked());

    // Mirroring in the middle of a stroke makes the stroke an undoable edit
    // first, which reaches the history as the pen goes up.
    const QPointF at = QRectF(paper->rect()).center();
    QVERIFY(TestSupport::sendTablet(paper, QEvent::TabletPress, at, 3000));
    TestSupport::sendTablet(paper, QEvent::TabletMove, at + QPointF(20, 20), 3010);
    const int undoBefore = undoCount();
    action(A::MirrorView)->setChecked(true);
    QVERIFY(paper->mirrorView());
    QVERIFY(!currentScene()->hasActiveStroke());
    TestSupport::sendTablet(paper, QEvent::TabletRelease, at + QPointF(20, 20), 3020);
    QCOMPARE(undoCount(), undoBefore + 1);

    // The paper's own mirroring (the quick zoom going back) checks the
    // action.
    paper->setMirrorView(false);
    QVERIFY(!action(A::MirrorView)->isChecked());

    // The fit level shows in the action's text and tool tip.
    Q_EMIT paper->zoomLevelToFitChanged(0.456);
    QCOMPARE(action(A::FitPaperToView)->text(), QStringLiteral("Fit View (46%)"));
    QVERIFY(action(A::FitPaperToView)->toolTip().startsWith(QStringLiteral("Fit View (46%)")));
}

void TestMainWindowView::backlight()
{
    Model::Settings *settings = Model::Settings::instance();
    Model::BacklightSettings stored = settings->backlightSettings();
    stored.on = false;
    stored.onlyKeyFrames = false;
    settings->setBacklightSettings(stored);
    Started started = startShownWindow();
    auto *dialog = started.window->findChild<UI::CustomizeBacklightDialog *>();
    QVERIFY(dialog && !dialog->isVisible());
    QSignalSpy changes(settings, &Model::Settings::backlightSettingsChanged);

    // Customising shows the dialog with the backlight on.
    action(A::CustomizeBacklight)->trigger();
    QVERIFY(dialog->isVisible());
    QVERIFY(action(A::BacklightOnOff)->isChecked());
    QVERIFY(settings->backlightSettings().on);
    QVERIFY(dialog->settings().on);
    QCOMPARE(changes.count(), 1);

    // An edit in the dialog is stored at once, once; the store's answer
    // comes back into the dialog without a second report.
    QSignalSpy reported(dialog, &UI::CustomizeBacklightDialog::settingsChanged);
    dialog->findChild<QCheckBox *>(QStringLiteral("checkBox_OnlyBacklightKeyFrames"))->click();
    QCOMPARE(reported.count(), 1);
    QCOMPARE(changes.count(), 2);
    QVERIFY(settings->backlightSettings().onlyKeyFrames);
    QVERIFY(action(A::OnlyBacklightKeyFrames)->isChecked());

    // Reset A, then Reset B: each restores its own set, reported and stored
    // once.
    Model::BacklightSettings edited = settings->backlightSettings();
    edited.settingA.opacityLevelsBefore = {0.9, 0.9, 0.9, 0.9};
    edited.settingB.opacityLevelsAfter = {0.7, 0.7, 0.7, 0.7};
    edited.settingB.hueShift = Model::BacklightSetting::NoHueShift;
    settings->setBacklightSettings(edited);
    changes.clear();
    reported.clear();
    auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QPushButton *reset = buttons->button(QDialogButtonBox::Reset);
    QCOMPARE(reset->text(), QStringLiteral("Reset A"));
    reset->click();
    QCOMPARE(settings->backlightSettings().settingA.opacityLevelsBefore, (QList<double>{0.3, 0.2, 0.15, 0.0}));
    QCOMPARE(settings->backlightSettings().settingB.opacityLevelsAfter, edited.settingB.opacityLevelsAfter);
    dialog->findChild<QRadioButton *>(QStringLiteral("radioButton_SettingB"))->click();
    QCOMPARE(reset->text(), QStringLiteral("Reset B"));
    reset->click();
    QCOMPARE(settings->backlightSettings().settingB.opacityLevelsAfter, (QList<double>{0.3, 0.0, 0.0, 0.0}));
    QCOMPARE(settings->backlightSettings().settingB.hueShift, Model::BacklightSetting::NoHueShift);
    QCOMPARE(reported.count(), 3);
    QCOMPARE(changes.count(), 3);
    dialog->close();
}

void TestMainWindowView::lift_data()
{
    QTest::addColumn<bool>("cut");
    QTest::addColumn<bool>("everything");
    QTest::newRow("lasso") << false << false;
    QTest::newRow("cutter") << true << false;
    QTest::newRow("all of the drawing, cut") << true << true;
}

void TestMainWindowView::lift()
{
    QFETCH(bool, cut);
    QFETCH(bool, everything);
    Started started = startShownWindow();
    UI::Paper *paper = paperOf(started.window.get());
    Model::KLScene *klscene = Model::KLScene::current();
    const QPainterPath outline = drawStroke(paper);
    QVERIFY(undoCount() > 0);
    const QByteArray drawn = SceneRecord::bytes(*currentScene());
    const int undoBefore = undoCount();

    // An outline around nothing lifts nothing.
    QPainterPath empty;
    empty.addRect(QRectF(1, 1, 20, 20));
    Q_EMIT paper->lassoingCompleted(empty, cut);
    QCOMPARE(undoCount(), undoBefore);
    QVERIFY(!klscene->floatingSelection());

    QGuiApplication::clipboard()->clear();
    Q_EMIT paper->lassoingCompleted(everything ? QPainterPath() : outline, cut);
    QCOMPARE(undoCount(), undoBefore + 1);
    QCOMPARE(currentScene()->undoStack()->text(undoBefore), QStringLiteral("New Floating Selection"));
    QVERIFY(klscene->floatingSelection());
    QCOMPARE(currentTool(), Type::FloatingSelection);
    QCOMPARE(SceneRecord::bytes(*currentScene()) != drawn, cut);
    // Other programs get the lines on white.
    const QImage copied = QGuiApplication::clipboard()->image();
    QCOMPARE(copied.size(), klscene->floatingSelection()->image().size());
    QCOMPARE(copied.pixelColor(0, 0), QColor(Qt::white));

    // One step back restores the drawing, the tool and no selection.
    currentScene()->undoStack()->undo();
    QCOMPARE(SceneRecord::bytes(*currentScene()), drawn);
    QVERIFY(!klscene->floatingSelection());
    QCOMPARE(currentTool(), Type::Pen);
    currentScene()->undoStack()->redo();
    QVERIFY(klscene->floatingSelection());
    QCOMPARE(currentTool(), Type::FloatingSelection);
    QCOMPARE(SceneRecord::bytes(*currentScene()) != drawn, cut);
}

void TestMainWindowView::collapseQuestion_data()
{
    QTest::addColumn<qint64>("liftMs");
    QTest::addColumn<bool>("automatically"); // the preference before
    QTest::addColumn<int>("answer");         // -1: not asked
    QTest::addColumn<bool>("tickAutomatic");
    QTest::addColumn<bool>("collapse");

    QTest::newRow("quick lift") << qint64(500) << false << -1 << false << false;
    QTest::newRow("slow lift, declined") << qint64(501) << false << int(QDialog::Rejected) << true << false;
    QTest::newRow("slow lift, collapsed") << qint64(600) << false << int(QDialog::Accepted) << false << true;
    QTest::newRow("slow lift, collapsed from now on")
        << qint64(600) << false << int(QDialog::Accepted) << true << true;
    QTest::newRow("slow lift, collapsing automatically") << qint64(600) << true << -1 << false << true;
}

void TestMainWindowView::collapseQuestion()
{
    QFETCH(qint64, liftMs);
    QFETCH(bool, automatically);
    QFETCH(int, answer);
    QFETCH(bool, tickAutomatic);
    QFETCH(bool, collapse);
    Model::Settings *settings = Model::Settings::instance();
    settings->setCollapseAutomatically(automatically);
    Started started = startShownWindow();
    MainWindow *window = started.window.get();
    const QPainterPath outline = drawStroke(paperOf(window));

    // The lift takes liftMs by the window's clock.
    qint64 clock = 10000;
    window->setElapsedClock([&clock, liftMs] {
        const qint64 now = clock;
        clock += liftMs;
        return now;
    });
    started.dialogs->runDialog = [tickAutomatic, answer](QDialog *dialog) {
        if (!qobject_cast<UI::CollapseDialog *>(dialog))
            return int(QDialog::Rejected);
        dialog->findChild<QCheckBox *>(QStringLiteral("collapseAutomaticallyCheckBox"))->setChecked(tickAutomatic);
        return answer;
    };
    const int undoBefore = undoCount();
    window->liftFloatingSelection(outline, false);
    window->setElapsedClock(nullptr);

    QCOMPARE(started.dialogs->kinds(), answer < 0 ? QStringList() : QStringList{QStringLiteral("exec")});
    QCOMPARE(undoCount(), undoBefore + 1);
    const Model::FloatingSelection *selection = Model::KLScene::current()->floatingSelection();
    QVERIFY(selection);
    QCOMPARE(selection->collapseVectorData(), collapse);
    // A collapse is part of the one step.
    QCOMPARE(currentScene()->undoStack()->command(undoBefore)->childCount(), collapse ? 3 : 2);
    QCOMPARE(settings->collapseAutomatically(),
             automatically || (answer == int(QDialog::Accepted) && tickAutomatic));
    settings->setCollapseAutomatically(false);
}

void TestMainWindowView::layerToggles()
{
    Started started = startShownWindow();
    Model::Scene *scene = currentScene();
    const int layer = scene->activeLayerIdx();
    QVERIFY(scene->isLayerVisible(layer));

    // A check state that agrees with the layer (the window refreshing the
    // action) pushes nothing; a change pushes one step.
    const auto toggleTo = [](A key, bool on) {
        const QSignalBlocker blocker(action(key));
        action(key)->setChecked(!on);
    };
    toggleTo(A::LayerVisibility, true);
    int undoBefore = undoCount();
    action(A::LayerVisibility)->setChecked(true);
    QCOMPARE(undoCount(), undoBefore);
    action(A::LayerVisibility)->setChecked(false);
    QCOMPARE(undoCount(), undoBefore + 1);
    QVERIFY(!scene->isLayerVisible(layer));
    scene->undoStack()->undo();
    QVERIFY(scene->isLayerVisible(layer));

    const bool linked = scene->isLayerLinked(layer);
    toggleTo(A::LayerLink, linked);
    undoBefore = undoCount();
    action(A::LayerLink)->setChecked(linked);
    QCOMPARE(undoCount(), undoBefore);
    action(A::LayerLink)->setChecked(!linked);
    QCOMPARE(undoCount(), undoBefore + 1);
    QCOMPARE(scene->isLayerLinked(layer), !linked);

    // Choosing what shows beyond the last drawing twice is one step.
    for (const auto &[key, mode] : {std::pair{A::FreezeLastDrawingBeyond, 2}, std::pair{A::CycleDrawingsBeyond, 3},
                                    std::pair{A::ShowNothingBeyond, 1}, std::pair{A::FreezeLastDrawingBeyond, 2}}) {
        undoBefore = undoCount();
        const bool changes = scene->layerBeyondLast(layer) != mode;
        action(key)->trigger();
        action(key)->trigger();
        QCOMPARE(scene->layerBeyondLast(layer), mode);
        QCOMPARE(undoCount(), undoBefore + (changes ? 1 : 0));
    }

    // A new layer is one step too.
    undoBefore = undoCount();
    action(A::NewLayer)->trigger();
    QCOMPARE(undoCount(), undoBefore + 1);
}

void TestMainWindowView::opacityDrag()
{
    Started started = startShownWindow();
    MainWindow *window = started.window.get();
    auto *sheet = window->findChild<UI::XSheet *>();
    auto *slider = window->findChild<UI::OpacitySlider *>();
    Model::Scene *scene = currentScene();
    const int layer = scene->activeLayerIdx();
    QCOMPARE(scene->layerOpacity(layer), 1.0);

    Q_EMIT sheet->opacityClicked(layer);
    QVERIFY(slider->isVisible());
    QCOMPARE(slider->layerIdx(), layer);
    QCOMPARE(slider->opacity(), 1.0);
    // Placed on the point, kept 3 px inside its parent.
    QWidget *parent = slider->parentWidget();
    Q_EMIT sheet->opacityCenterMoved(parent->mapToGlobal(QPoint(0, 0)));
    QCOMPARE(slider->pos(), QPoint(3, 3));
    const QPoint middle = parent->rect().center();
    Q_EMIT sheet->opacityCenterMoved(parent->mapToGlobal(middle));
    QCOMPARE(slider->pos(), middle - QPoint(slider->width() / 2, slider->height() / 2));

    // The drag shows live and leaves one step, whose undo restores the
    // opacity from before the drag.
    const int undoBefore = undoCount();
    const int x = slider->width() / 2;
    TestSupport::sendMouse(slider, QEvent::MouseButtonPress, QPointF(x, slider->height() * 0.2));
    TestSupport::sendMouseEvent(slider, QEvent::MouseMove, QPointF(x, slider->height() * 0.5), Qt::NoButton,
                                Qt::LeftButton);
    QVERIFY(std::abs(scene->layerOpacity(layer) - 0.5) < 0.05);
    TestSupport::sendMouseEvent(slider, QEvent::MouseMove, QPointF(x, slider->height() * 0.6), Qt::NoButton,
                                Qt::LeftButton);
    QCOMPARE(undoCount(), undoBefore);
    TestSupport::sendMouse(slider, QEvent::MouseButtonRelease, QPointF(x, slider->height() * 0.6));
    const double dragged = scene->layerOpacity(layer);
    QVERIFY(std::abs(dragged - 0.4) < 0.05);
    QCOMPARE(undoCount(), undoBefore + 1);
    scene->undoStack()->undo();
    QCOMPARE(scene->layerOpacity(layer), 1.0);
    scene->undoStack()->redo();
    QCOMPARE(scene->layerOpacity(layer), dragged);
}

void TestMainWindowView::opacityDragLosesTheFocus_data()
{
    // "sheet": the exposure sheet; "window": another window; "undo": the undo
    // of a new layer, which lands the drag after it
    QTest::addColumn<QString>("takesFocus");
    QTest::addColumn<double>("draggedTo"); // height on the slider, in slider heights
    QTest::addColumn<bool>("committed");

    QTest::newRow("the sheet takes the focus") << "sheet" << 0.6 << true;
    QTest::newRow("another window takes the focus") << "window" << 0.6 << true;
    QTest::newRow("an undo takes the focus") << "undo" << 0.6 << true;
    // Beyond reach the preview already shows the committed opacity.
    QTest::newRow("out of reach, the sheet takes the focus") << "sheet" << -2.5 << false;
}

// A drag that loses the focus before its release ends as that release would
// have: the dragged opacity becomes one step of the history, after the step
// that took the focus, which marks the scene modified and which undo takes
// back; a drag out of reach leaves the opacity and the history as they were.
void TestMainWindowView::opacityDragLosesTheFocus()
{
    QFETCH(QString, takesFocus);
    QFETCH(double, draggedTo);
    QFETCH(bool, committed);
    Started started = startShownWindow();
    MainWindow *window = started.window.get();
    auto *sheet = window->findChild<UI::XSheet *>();
    auto *slider = window->findChild<UI::OpacitySlider *>();
    Model::Scene *scene = currentScene();
    QUndoStack *stack = scene->undoStack();
    const int layer = scene->activeLayerIdx();
    stack->setClean();
    const int undoBefore = undoCount();
    // A loaded machine can take long to hand the focus to a new window.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window, 30000));

    if (takesFocus == u"undo")
        action(A::NewLayer)->trigger();
    Q_EMIT sheet->opacityClicked(layer);
    QTRY_VERIFY(slider->hasFocus());
    const int x = slider->width() / 2;
    TestSupport::sendMouse(slider, QEvent::MouseButtonPress, QPointF(x, slider->height() * 0.2));
    TestSupport::sendMouseEvent(slider, QEvent::MouseMove, QPointF(x, slider->height() * draggedTo), Qt::NoButton,
                                Qt::LeftButton);
    const double shown = scene->layerOpacity(layer);

    QWidget other;
    if (takesFocus == u"window") {
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other, 30000));
    } else if (takesFocus == u"undo") {
        action(A::Undo)->trigger();
    } else {
        sheet->setFocus(Qt::MouseFocusReason);
    }
    // The slider closes; the button's release goes elsewhere.
    QTRY_VERIFY(!slider->isVisible());

    QCOMPARE(scene->layerOpacity(layer), committed ? shown : 1.0);
    QCOMPARE(undoCount(), undoBefore + (committed ? 1 : 0));
    QCOMPARE(stack->isClean(), !committed);
    QCOMPARE(window->windowTitle().contains(u'*'), committed);
    if (!committed)
        return;
    QVERIFY(shown < 0.5);
    stack->undo();
    QCOMPARE(scene->layerOpacity(layer), 1.0);
    QVERIFY(stack->isClean());
    stack->redo();
    QCOMPARE(scene->layerOpacity(layer), shown);
}

void TestMainWindowView::renameField_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<int>("expectedLeft"); // -1: centred on the header
    QTest::newRow("middle") << "middle" << -1;
    QTest::newRow("left edge") << "left" << 3;
    QTest::newRow("right edge") << "right" << -2; // -2: right edge 3 px in
    // A header reaching above the field's parent keeps the field over it.
    QTest::newRow("top edge") << "top" << -1;
}

void TestMainWindowView::renameField()
{
    QFETCH(QString, where);
    QFETCH(int, expectedLeft);
    Started started = startShownWindow();
    MainWindow *window = started.window.get();
    auto *sheet = window->findChild<UI::XSheet *>();
    auto *field = window->findChild<UI::LayerRenameWidget *>();
    QWidget *parent = field->parentWidget();
    const QSize header(60, 20);
    QPoint topLeft = parent->rect().center();
    if (where == QLatin1String("left"))
        topLeft.setX(0);
    else if (where == QLatin1String("right"))
        topLeft.setX(parent->width() - header.width());
    else if (where == QLatin1String("top"))
        topLeft.setY(-15);
    const QRect area(parent->mapToGlobal(topLeft), header);
    const QString name = currentScene()->layerAt(0)->name();

    Q_EMIT sheet->doubleClickedLayer(0, area);
    QVERIFY(field->isVisible());
    QCOMPARE(field->size(), QSize(76, 25));
    QCOMPARE(field->text(), name);
    QCOMPARE(field->y(), topLeft.y() - (25 - header.height()) / 2);
    if (expectedLeft == -1)
        QCOMPARE(field->x(), topLeft.x() - (76 - header.width()) / 2);
    else if (expectedLeft == -2)
        QCOMPARE(field->geometry().right(), parent->width() - 1 - 3);
    else
        QCOMPARE(field->x(), expectedLeft);

    // A new name is one step; the same name again is none.
    const int undoBefore = undoCount();
    Q_EMIT field->renamed(QStringLiteral("Ink"));
    Q_EMIT field->renamed(QStringLiteral("Ink"));
    QCOMPARE(currentScene()->layerAt(0)->name(), QStringLiteral("Ink"));
    QCOMPARE(undoCount(), undoBefore + 1);
}

void TestMainWindowView::headerMenuActsOnTheLayerClicked_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("activeAfter");
    // The layer entries of the menu, before its "X-Sheet" submenu.
    QTest::addColumn<QString>("layerEntries");

    const QString fixed = QStringLiteral("NewLayer|NewPaintLayer|-|");
    // A new scene: the drawing layer "1" (active), the sound, the notes,
    // and a second drawing layer "2" made for the test.
    QTest::newRow("drawing layer") << 3 << 3
                                   << "NewLayer|DuplicateActiveLayer|-|DiscardActiveLayer|-|MergeLayerDown|-|"
                                      "NewPaintLayer|NewPaintLayerWithCloneStructure|-|";
    QTest::newRow("sound") << 1 << 0 << fixed;
    QTest::newRow("notes") << 2 << 0 << fixed;
    QTest::newRow("beyond the last column") << -1 << 0 << fixed;
}

// A right click on a column's header offers what can be done to that
// column: a sound or notes column, which never becomes the active layer,
// does not offer to delete, duplicate or merge the drawing layer that is.
void TestMainWindowView::headerMenuActsOnTheLayerClicked()
{
    QFETCH(int, column);
    QFETCH(int, activeAfter);
    QFETCH(QString, layerEntries);
    Started started = startShownWindow();
    MainWindow *window = started.window.get();
    Model::Scene *scene = currentScene();
    action(A::NewLayer)->trigger();
    QCOMPARE(scene->layerCount(), 4);
    setActiveLayerOf(window, 0);
    QCOMPARE(scene->activeLayerIdx(), 0);
    const int undoBefore = undoCount();

    auto *header = window->findChild<UI::XSheetHeader *>();
    QVERIFY(header);
    const int x = column >= 0 ? header->sectionViewportPosition(column) + header->sectionSize(column) / 2
                              : header->length() + 10;
    const QPoint at(x, header->height() / 2);
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, header->viewport()->mapToGlobal(at));
    QApplication::sendEvent(header->viewport(), &click);

    QCOMPARE(started.dialogs->kinds(), QStringList{QStringLiteral("menu")});
    const QString outline = started.dialogs->asked.first().text;
    QVERIFY2(outline.startsWith(layerEntries + QStringLiteral("X-Sheet{")), qPrintable(outline));
    QCOMPARE(scene->activeLayerIdx(), activeAfter);
    QCOMPARE(scene->layerCount(), 4);
    if (activeAfter == 0)
        QCOMPARE(undoCount(), undoBefore);
}

void TestMainWindowView::focusLeavingEndsScrubbing_data()
{
    // "shift" and "release" press and let go of Shift; "window" and
    // "sheet" give the keyboard to another window or the exposure sheet;
    // "paper" puts the pen down on the paper (with Shift while it is held),
    // which takes the keyboard. After each step, the tool.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QList<Type>>("tools");
    // Whether a drag on the paper after the steps draws.
    QTest::addColumn<bool>("draws");

    QTest::newRow("to another window") << QStringList{"shift", "window"}
                                       << QList<Type>{Type::Scrubbing, Type::Pen} << true;
    QTest::newRow("to the sheet") << QStringList{"shift", "sheet"} << QList<Type>{Type::Scrubbing, Type::Pen}
                                  << true;
    QTest::newRow("back to the paper, Shift still held")
        << QStringList{"shift", "sheet", "paper"} << QList<Type>{Type::Scrubbing, Type::Pen, Type::Scrubbing}
        << false;
    QTest::newRow("back to the paper, Shift let go")
        << QStringList{"shift", "sheet", "release", "paper"}
        << QList<Type>{Type::Scrubbing, Type::Pen, Type::Pen, Type::Pen} << true;
}

// Shift held scrubs only while the keyboard stays with the paper's window:
// when it goes elsewhere the drawing tool comes back, and coming back to
// the paper with Shift still down scrubs again.
void TestMainWindowView::focusLeavingEndsScrubbing()
{
    QFETCH(QStringList, steps);
    QFETCH(QList<Type>, tools);
    QFETCH(bool, draws);
    Started started = startShownWindow();
    MainWindow *window = started.window.get();
    QVERIFY(activate(window));
    UI::Paper *paper = paperOf(window);
    QWidget other;
    other.resize(100, 100);

    bool shiftHeld = false;
    for (int i = 0; i < steps.size(); ++i) {
        const QString &step = steps.at(i);
        bool penDown = false;
        const QPoint onPaper = paper->mapTo(window, paper->rect().center());
        if (step == QLatin1String("shift")) {
            QTest::keyPress(window, Qt::Key_Shift);
            shiftHeld = true;
        } else if (step == QLatin1String("release")) {
            QTest::keyRelease(window, Qt::Key_Shift, Qt::ShiftModifier);
            shiftHeld = false;
        } else if (step == QLatin1String("window")) {
            QVERIFY(activate(&other));
        } else if (step == QLatin1String("sheet")) {
            window->findChild<UI::XSheet *>()->setFocus(Qt::MouseFocusReason);
        } else {
            QTest::mousePress(window->windowHandle(), Qt::LeftButton,
                              shiftHeld ? Qt::ShiftModifier : Qt::NoModifier, onPaper);
            QCOMPARE(QApplication::focusWidget(), paper);
            penDown = true;
        }
        QCOMPARE(currentTool(), tools.at(i));
        if (penDown)
            QTest::mouseRelease(window->windowHandle(), Qt::LeftButton,
                                shiftHeld ? Qt::ShiftModifier : Qt::NoModifier, onPaper);
    }

    const int undoBefore = undoCount();
    drawStroke(paper);
    QCOMPARE(undoCount(), undoBefore + (draws ? 1 : 0));
    QCOMPARE(currentScene()->isScrubbing(), !draws);
    QTest::keyRelease(window, Qt::Key_Shift, Qt::ShiftModifier);
    QCOMPARE(currentScene()->isScrubbing(), false);
    QCOMPARE(currentScene()->scrubFrame(), -1);
}

void TestMainWindowView::typingNeverLendsATool_data()
{
    QTest::addColumn<QString>("field");
    QTest::newRow("layer name") << "rename";
    QTest::newRow("layer name, sheet in its own window") << "detached rename";
    QTest::newRow("frame rate") << "frame rate";
}

// Typing a capital letter into a text field holds Shift, which must not lend
// the scrubbing tool: the next drag on the paper draws.
void TestMainWindowView::typingNeverLendsATool()
{
    QFETCH(QString, field);
    Started started = startShownWindow();
    MainWindow *window = started.window.get();
    QVERIFY(activate(window));
    UI::Paper *paper = paperOf(window);
    auto *sheet = window->findChild<UI::XSheet *>();

    QList<Type> toolsWhileTyping;
    const auto typeCapital = [&toolsWhileTyping](QLineEdit *edit) {
        QVERIFY(edit);
        edit->setFocus(Qt::MouseFocusReason);
        QCOMPARE(QApplication::focusWidget(), edit);
        edit->selectAll();
        QTest::keyPress(edit, Qt::Key_Shift);
        toolsWhileTyping.append(currentTool());
        QTest::keyClick(edit, Qt::Key_I, Qt::ShiftModifier);
        toolsWhileTyping.append(currentTool());
        QTest::keyRelease(edit, Qt::Key_Shift, Qt::ShiftModifier);
        QTest::keyClicks(edit, QStringLiteral("nk"));
        toolsWhileTyping.append(currentTool());
    };

    if (field == QLatin1String("frame rate")) {
        started.dialogs->runDialog = [&](QDialog *dialog) {
            if (!activate(dialog))
                qWarning("The frame rate prompt did not get the keyboard");
            typeCapital(dialog->findChild<QLineEdit *>());
            dialog->reject();
            return int(QDialog::Rejected);
        };
        action(A::FrameRateCustom)->trigger();
        QCOMPARE(started.dialogs->kinds(), QStringList{QStringLiteral("exec")});
    } else {
        if (field == QLatin1String("detached rename")) {
            action(A::XSheetDetachSeparateWindow)->setChecked(true);
            QVERIFY(activate(sheet->window()));
        }
        auto *rename = window->findChild<UI::LayerRenameWidget *>();
        QWidget *parent = rename->parentWidget();
        Q_EMIT sheet->doubleClickedLayer(0, QRect(parent->mapToGlobal(parent->rect().center()), QSize(60, 20)));
        QVERIFY(rename->isVisible());
        typeCapital(rename);
        QCOMPARE(rename->text().toUpper(), QStringLiteral("INK"));
        QTest::keyClick(rename, Qt::Key_Return);
        QCOMPARE(currentScene()->layerName(0).toUpper(), QStringLiteral("INK"));
        action(A::XSheetDetachSeparateWindow)->setChecked(false);
        QVERIFY(activate(window));
    }

    QCOMPARE(toolsWhileTyping, (QList<Type>{Type::Pen, Type::Pen, Type::Pen}));
    QVERIFY(UI::holdKeyResolved());
    const int undoBefore = undoCount();
    drawStroke(paper);
    QCOMPARE(undoCount(), undoBefore + 1);
    QCOMPARE(currentScene()->scrubFrame(), -1);
}

void TestMainWindowView::returnReachesOneAction_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("floating");
    QTest::addColumn<A>("expected");

    QTest::newRow("drawing, another window") << "preferences" << false << A::ReturnFlip;
    QTest::newRow("floating selection, another window") << "preferences" << true << A::StampFloatingSelection;
    QTest::newRow("floating selection, main window") << "main" << true << A::StampFloatingSelection;
}

// Return flips, or stamps the floating selection while there is one: one
// action in each state, whichever window has the keyboard, and Qt never
// finds two shortcuts for the key.
void TestMainWindowView::returnReachesOneAction()
{
    QFETCH(QString, window);
    QFETCH(bool, floating);
    QFETCH(A, expected);
    Started started = startShownWindow();
    MainWindow *mainWindow = started.window.get();
    if (floating)
        Model::ToolManager::instance()->setCurrentTool(Type::FloatingSelection);
    QWidget *target = mainWindow;
    if (window == QLatin1String("preferences")) {
        action(A::Settings)->trigger();
        target = mainWindow->findChild<UI::Preferences *>();
    }
    QVERIFY(activate(target));

    QSignalSpy flips(action(A::ReturnFlip), &QAction::triggered);
    QSignalSpy stamps(action(A::StampFloatingSelection), &QAction::triggered);
    QStringList log;
    {
        const LogCapture capture;
        QTest::keyClick(target, Qt::Key_Return);
        log = capture.lines();
    }
    for (const QString &line : std::as_const(log))
        QVERIFY2(!line.contains(QLatin1String("Ambiguous shortcut")), qPrintable(line));
    QCOMPARE(flips.count(), expected == A::ReturnFlip ? 1 : 0);
    QCOMPARE(stamps.count(), expected == A::StampFloatingSelection ? 1 : 0);
    mainWindow->findChild<PlaybackController *>()->stopPlayback();
}

int main(int argc, char **argv)
{
    Application application(argc, argv);
    TestMainWindowView test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindowview.moc"
