#include "mainwindowtesthelpers.h"

#include "applicationfont.h"
#include "wintabclickworkaround.h"

#include "dialogs/preferences.h"
#include "xsheet/detachedxsheet.h"
#include "systemmemory.h"
#include "xsheet/xsheetpane.h"

#include "actions/actionmanager.h"
#include "actions/helppages.h"
#include "initialize.h"
#include "layers/strokelayer.h"
#include "settings/settings.h"

#include "support/testsupport.h"
#include "support/widgetevents.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QTest>
#include <QUrl>

namespace {

using namespace MainWindowTest;
using A = KL::Action;

QAction *act(A key)
{
    return Model::ActionManager::instance()->action(key);
}

// "Key" triggers the action, "Key=1" and "Key=0" check and uncheck it.
void apply(const QString &step)
{
    const QStringList parts = step.split(u'=');
    bool known = false;
    const auto key = A(QMetaEnum::fromType<A>().keyToValue(parts.first().toLatin1().constData(), &known));
    QVERIFY2(known, qPrintable(step));
    if (parts.size() == 1)
        act(key)->trigger();
    else
        act(key)->setChecked(parts.last() == u'1');
}

// Where the exposure sheet is, as the user sees it.
struct Sheet
{
    explicit Sheet(MainWindow *window)
        : splitter(window->findChild<QSplitter *>(QStringLiteral("splitter")))
        , pane(window->findChild<UI::XSheetPane *>())
        , detached(window->findChild<UI::DetachedXSheet *>())
    {
    }

    QString where() const
    {
        if (pane->window() == detached)
            return QStringLiteral("detached");
        const int index = splitter->indexOf(pane);
        if (index == 0)
            return QStringLiteral("left");
        return index == splitter->count() - 1 ? QStringLiteral("right") : QStringLiteral("lost");
    }
    int width() const { return splitter->sizes().value(splitter->indexOf(pane), -1); }

    // What is wrong with where the detached window opened, the first time
    // and from a sheet docked `docked` large: it must show the sheet at
    // least as large, over the drawing side's part where the sheet was (as
    // much of it as is on the screen), whole on the screen and clear of the
    // menus. Empty when nothing is.
    QString misplaced(const MainWindow *window, QSize docked, bool fromLeft) const
    {
        const QRect frame = detached->frameGeometry();
        const QRect screen = window->screen()->availableGeometry();
        const QRect drawing = QRect(splitter->mapToGlobal(QPoint(0, 0)), splitter->size()).intersected(screen);
        const QWidget *menus = window->menuBar();
        QStringList wrong;
        if (pane->width() < docked.width() || pane->height() < docked.height())
            wrong.append(QStringLiteral("the sheet is smaller than docked"));
        if (!screen.contains(frame))
            wrong.append(QStringLiteral("off the screen"));
        if (frame.intersects(QRect(menus->mapToGlobal(QPoint(0, 0)), menus->size())))
            wrong.append(QStringLiteral("over the menus"));
        if (!drawing.contains(frame) || (fromLeft ? frame.left() != drawing.left() : frame.right() != drawing.right()))
            wrong.append(QStringLiteral("not over the drawing's %1 part").arg(fromLeft ? u"left" : u"right"));
        if (wrong.isEmpty())
            return {};
        return QStringLiteral("%1 x %2 at %3, %4: ").arg(frame.width()).arg(frame.height()).arg(frame.x()).arg(frame.y())
            + wrong.join(QStringLiteral(", "));
    }

    // Moves the handle as a drag of the user does.
    void drag(int paneWidth) const
    {
        QList<int> sizes = splitter->sizes();
        const int index = splitter->indexOf(pane);
        const int other = index == 0 ? 1 : index - 1;
        sizes[other] += sizes[index] - paneWidth;
        sizes[index] = paneWidth;
        splitter->setSizes(sizes);
        Q_EMIT splitter->splitterMoved(index == 0 ? paneWidth : sizes[other], index == 0 ? 1 : index);
    }

    QSplitter *splitter;
    UI::XSheetPane *pane;
    UI::DetachedXSheet *detached;
};

// A shown window with a scene and its sheet docked on the left.
Started placedWindow()
{
    Started started = startWindowWithScene();
    if (!QTest::qWaitForWindowExposed(started.window.get()))
        qFatal("The window was not shown");
    apply(QStringLiteral("XSheetDetachSeparateWindow=0"));
    apply(QStringLiteral("XSheetShow=1"));
    apply(QStringLiteral("XSheetLeftSide"));
    return started;
}

// Counts the presses and releases that reach it.
class ClickTarget : public QWidget
{
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent *) override { ++presses; }
};

bool penPressArrives()
{
    ClickTarget target;
    const QPointF at(4, 4);
    QMouseEvent press(QEvent::MouseButtonPress, at, at, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier,
                      TestSupport::pen());
    QApplication::sendEvent(&target, &press);
    return target.presses == 1;
}

// A system with WinTab whose switch reads back what was asked, or refuses.
class TabletPlatform : public WinTabClickWorkaround::Backend
{
public:
    explicit TabletPlatform(bool switches)
        : m_switches(switches)
    {
    }
    void setWinTabEnabled(bool enabled) override { m_enabled = m_switches && enabled; }
    bool isWinTabEnabled() const override { return m_enabled; }

private:
    bool m_switches;
    bool m_enabled = false;
};

// Where the help links go instead of a web browser.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url); }
};

// As the user types: the whole text selected and replaced.
void type(QDialog *dialog, const char *field, const QString &text)
{
    auto *edit = dialog->findChild<QLineEdit *>(QLatin1String(field));
    QVERIFY2(edit, field);
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

// OK or Cancel, as the user closes a dialog.
int finish(QDialog *dialog, bool accept)
{
    if (accept)
        dialog->accept();
    else
        dialog->reject();
    return dialog->result();
}

} // namespace

// The window's own handling of its panels and windows: where the exposure
// sheet goes and how wide it comes back, the scene settings, the
// preferences window and the about box, the tutorial at start-up and the
// choice of the tablet interface.
class TestMainWindowWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void xSheetPlacement_data();
    void xSheetPlacement();
    void draggingTheSheetShut();
    void detachedSheetKeepsItsGeometry();
    void keptWindows_data();
    void keptWindows();
    void preferencesPutTheSheetBack();
    void sceneSettings_data();
    void sceneSettings();
    void sceneSizeBeyondMemoryIsRefused();
    void tutorialAtStartUp_data();
    void tutorialAtStartUp();
    void tutorialBoxPersists_data();
    void tutorialBoxPersists();
    void tutorialFromTheHelpMenu_data();
    void tutorialFromTheHelpMenu();
    void windowsInkChoice_data();
    void windowsInkChoice();

private:
    UrlRecorder m_browser;
};

void TestMainWindowWindow::initTestCase()
{
    Startup::prepareProcess();
    QSettings().clear();
    Model::initialize();
    registerApplicationFont();
    for (const char *scheme : {"http", "https"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &m_browser, "open");
}

void TestMainWindowWindow::cleanupTestCase()
{
    for (const char *scheme : {"http", "https"})
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
}

void TestMainWindowWindow::init()
{
    Model::Settings *settings = Model::Settings::instance();
    settings->setShowHowToAnimateOnStartup(false);
    settings->setDefaultChangeFrameSizeFitMode(KL::FitMode::FitModeKeepAspect);
    // A new scene takes the size and rate of the last one shown.
    settings->setDefaultFrameSize(QSize(1920, 1080));
    settings->setDefaultFrameRate(12.0);
    m_browser.opened.clear();
}

void TestMainWindowWindow::cleanup()
{
    WinTabClickWorkaround::setBackend(nullptr);
    Model::assumePhysicalMemoryBytes(0);
}

void TestMainWindowWindow::xSheetPlacement_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("where");
    QTest::addColumn<bool>("shown");

    QTest::newRow("hidden") << QStringList{"XSheetShow=0"} << "left" << false;
    QTest::newRow("hidden and shown") << QStringList{"XSheetShow=0", "XSheetShow=1"} << "left" << true;
    QTest::newRow("opposite side") << QStringList{"XSheetOppositeSide"} << "right" << true;
    QTest::newRow("opposite side twice") << QStringList{"XSheetOppositeSide", "XSheetOppositeSide"} << "left"
                                         << true;
    QTest::newRow("right side") << QStringList{"XSheetRightSide"} << "right" << true;
    QTest::newRow("right, then left") << QStringList{"XSheetRightSide", "XSheetLeftSide"} << "left" << true;
    QTest::newRow("hidden on the right") << QStringList{"XSheetRightSide", "XSheetShow=0"} << "right" << false;
    QTest::newRow("moved while hidden") << QStringList{"XSheetShow=0", "XSheetOppositeSide", "XSheetShow=1"}
                                        << "right" << true;
    QTest::newRow("detached") << QStringList{"XSheetDetachSeparateWindow=1"} << "detached" << true;
    QTest::newRow("detached from the right") << QStringList{"XSheetRightSide", "XSheetDetachSeparateWindow=1"}
                                             << "detached" << true;
    QTest::newRow("detached from the right, past the screen's edge")
        << QStringList{"XSheetRightSide", "window+400", "XSheetDetachSeparateWindow=1"} << "detached" << true;
    QTest::newRow("detached, hidden") << QStringList{"XSheetDetachSeparateWindow=1", "XSheetShow=0"} << "detached"
                                      << false;
    QTest::newRow("detached, hidden, shown")
        << QStringList{"XSheetDetachSeparateWindow=1", "XSheetShow=0", "XSheetShow=1"} << "detached" << true;
    QTest::newRow("detached and docked") << QStringList{"XSheetDetachSeparateWindow=1", "XSheetDetachSeparateWindow=0"}
                                         << "left" << true;
    QTest::newRow("docked on the side chosen while detached")
        << QStringList{"XSheetDetachSeparateWindow=1", "XSheetRightSide", "XSheetDetachSeparateWindow=0"} << "right"
        << true;
    // Detached, the sheet has no side to swap.
    QTest::newRow("no opposite side while detached")
        << QStringList{"XSheetDetachSeparateWindow=1", "XSheetOppositeSide", "XSheetDetachSeparateWindow=0"}
        << "left" << true;
    QTest::newRow("hidden, detached, shown")
        << QStringList{"XSheetShow=0", "XSheetDetachSeparateWindow=1", "XSheetShow=1"} << "detached" << true;
    QTest::newRow("hidden, detached, docked")
        << QStringList{"XSheetShow=0", "XSheetDetachSeparateWindow=1", "XSheetDetachSeparateWindow=0"} << "left"
        << false;
}

// Every way of moving the sheet keeps its width: shown docked, it comes
// back as wide as it was, and detached the first time, its window opens
// where it was docked, as large.
void TestMainWindowWindow::xSheetPlacement()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, where);
    QFETCH(bool, shown);
    // No place of its own for the detached window.
    QSettings().remove(QStringLiteral("XSheetWindow"));
    Started started = placedWindow();
    const Sheet sheet(started.window.get());
    QCOMPARE(sheet.where(), QStringLiteral("left"));
    const int width = sheet.width();
    QVERIFY(width > 0);
    const QSize docked = sheet.pane->size();

    for (const QString &step : std::as_const(steps)) {
        // "window+N": the user moves the main window N pixels to the right.
        if (step.startsWith(u"window+")) {
            const QPoint moved = started.window->pos() + QPoint(step.mid(7).toInt(), 0);
            started.window->move(moved);
            QTRY_COMPARE(started.window->pos(), moved);
        } else {
            apply(step);
        }
    }
    QCOMPARE(sheet.where(), where);
    QCOMPARE(act(A::XSheetShow)->isChecked(), shown);
    QCOMPARE(act(A::XSheetDetachSeparateWindow)->isChecked(), where == u"detached");
    if (where == u"detached") {
        QCOMPARE(sheet.detached->isVisible(), shown);
        if (shown) {
            QVERIFY(QTest::qWaitForWindowExposed(sheet.detached));
            const bool fromLeft = act(A::XSheetLeftSide)->isChecked();
            QTRY_COMPARE(sheet.misplaced(started.window.get(), docked, fromLeft), QString());
        }
    } else {
        QVERIFY(!sheet.detached->isVisible());
        QCOMPARE(act(A::XSheetLeftSide)->isChecked(), where == u"left");
        QCOMPARE(act(A::XSheetRightSide)->isChecked(), where == u"right");
        QCOMPARE(sheet.width(), shown ? width : 0);
    }

    for (const char *step : {"XSheetDetachSeparateWindow=0", "XSheetShow=1", "XSheetLeftSide"})
        apply(QLatin1String(step));
    QCOMPARE(sheet.where(), QStringLiteral("left"));
    QCOMPARE(sheet.width(), width);
    QVERIFY(started.dialogs->asked.isEmpty());
}

void TestMainWindowWindow::draggingTheSheetShut()
{
    Started started = placedWindow();
    const Sheet sheet(started.window.get());
    const int dragged = sheet.width() + 40;
    sheet.drag(dragged);
    QCOMPARE(sheet.width(), dragged);
    QVERIFY(act(A::XSheetShow)->isChecked());

    // Shut by the handle: the sheet counts as hidden, and showing it again
    // gives it the width it had last.
    sheet.drag(0);
    QCOMPARE(sheet.width(), 0);
    QVERIFY(!act(A::XSheetShow)->isChecked());
    apply(QStringLiteral("XSheetShow=1"));
    QCOMPARE(sheet.width(), dragged);

    // Dragged open from shut, it is shown again.
    apply(QStringLiteral("XSheetShow=0"));
    sheet.drag(150);
    QVERIFY(act(A::XSheetShow)->isChecked());
    QCOMPARE(sheet.width(), 150);
}

void TestMainWindowWindow::detachedSheetKeepsItsGeometry()
{
    QSettings().remove(QStringLiteral("XSheetWindow"));
    Started started = placedWindow();
    const Sheet sheet(started.window.get());
    apply(QStringLiteral("XSheetDetachSeparateWindow=1"));
    QVERIFY(QTest::qWaitForWindowExposed(sheet.detached));
    // Where the user puts it.
    const QRect placed(QPoint(700, 300), QSize(333, 444));
    sheet.detached->setGeometry(placed);
    QTRY_COMPARE(sheet.detached->geometry(), placed);

    apply(QStringLiteral("XSheetShow=0"));
    QVERIFY(!sheet.detached->isVisible());
    apply(QStringLiteral("XSheetShow=1"));
    QVERIFY(QTest::qWaitForWindowExposed(sheet.detached));
    QTRY_COMPARE(sheet.detached->geometry(), placed);

    // Closing the detached window hides the sheet, which stays detached.
    QVERIFY(!sheet.detached->close());
    QVERIFY(!sheet.detached->isVisible());
    QVERIFY(!act(A::XSheetShow)->isChecked());
    QCOMPARE(sheet.where(), QStringLiteral("detached"));
    apply(QStringLiteral("XSheetShow=1"));
    QTRY_COMPARE(sheet.detached->geometry(), placed);

    // Docked and detached again, it opens where the user put it.
    apply(QStringLiteral("XSheetDetachSeparateWindow=0"));
    QCOMPARE(sheet.where(), QStringLiteral("left"));
    apply(QStringLiteral("XSheetDetachSeparateWindow=1"));
    QVERIFY(QTest::qWaitForWindowExposed(sheet.detached));
    QTRY_COMPARE(sheet.detached->geometry(), placed);

    // And so it does in the program's next run.
    QVERIFY(started.window->close());
    started.window.reset();
    started = placedWindow();
    const Sheet again(started.window.get());
    apply(QStringLiteral("XSheetDetachSeparateWindow=1"));
    QVERIFY(QTest::qWaitForWindowExposed(again.detached));
    QTRY_COMPARE(again.detached->geometry(), placed);
    apply(QStringLiteral("XSheetDetachSeparateWindow=0"));
    for (const char *group : {"MainWindow", "XSheetWindow"})
        QSettings().remove(QLatin1String(group));
}

void TestMainWindowWindow::keptWindows_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("className");
    QTest::newRow("preferences") << "Settings" << "UI::Preferences";
    QTest::newRow("about box") << "About" << "UI::AboutDialog";
}

// Shown without holding up the window; closing only hides them, and the
// action shows the same one again.
void TestMainWindowWindow::keptWindows()
{
    QFETCH(QString, key);
    QFETCH(QString, className);
    Started started = placedWindow();
    const auto found = [&] {
        QList<QWidget *> windows;
        const QList<QWidget *> children = started.window->findChildren<QWidget *>();
        for (QWidget *child : children) {
            if (child->inherits(className.toLatin1().constData()))
                windows.append(child);
        }
        return windows;
    };
    QVERIFY(found().size() <= 1);
    apply(key);
    QCOMPARE(found().size(), 1);
    QWidget *shown = found().first();
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    QVERIFY(shown->isWindow());
    QVERIFY(!shown->isModal());

    shown->close();
    QVERIFY(!shown->isVisible());
    apply(key);
    QVERIFY(shown->isVisible());
    QCOMPARE(found(), QList<QWidget *>{shown});
    QVERIFY(started.dialogs->asked.isEmpty());
}

// Restore Defaults brings the sheet back to the left, where it goes.
void TestMainWindowWindow::preferencesPutTheSheetBack()
{
    Started started = placedWindow();
    const Sheet sheet(started.window.get());
    auto *preferences = started.window->findChild<UI::Preferences *>();
    QVERIFY(!preferences->isVisible());
    apply(QStringLiteral("Settings"));
    apply(QStringLiteral("XSheetRightSide"));
    QCOMPARE(sheet.where(), QStringLiteral("right"));
    auto *buttons = preferences->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    buttons->button(QDialogButtonBox::RestoreDefaults)->click();
    QCOMPARE(sheet.where(), QStringLiteral("left"));
    QVERIFY(act(A::XSheetLeftSide)->isChecked());
    buttons->button(QDialogButtonBox::Close)->click();
    QVERIFY(!preferences->isVisible());
}

void TestMainWindowWindow::sceneSettings_data()
{
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("fit");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("frameRate");
    QTest::addColumn<int>("storedFit");

    const int keep = int(KL::FitMode::FitModeKeepAspect);
    const QSize full(1920, 1080);
    QTest::newRow("cancelled") << "" << "24" << "" << false << full << 12.0 << keep;
    QTest::newRow("OK, nothing changed") << "" << "" << "" << true << full << 12.0 << keep;
    QTest::newRow("OK, the same rate typed") << "" << "12" << "" << true << full << 12.0 << keep;
    QTest::newRow("new rate") << "" << "24" << "" << true << full << 24.0 << keep;
    QTest::newRow("new size, cropped") << "1280" << "" << "radioButtonCropCenter" << true << QSize(1280, 1080)
                                       << 12.0 << int(KL::FitMode::FitModeCropCenter);
    QTest::newRow("new size and rate") << "1280" << "25" << "radioButtonStretch" << true << QSize(1280, 1080)
                                       << 25.0 << int(KL::FitMode::FitModeStretch);
}

// A change is one undoable step; a dialog that changes nothing leaves none,
// but the fit mode chosen is kept for next time.
void TestMainWindowWindow::sceneSettings()
{
    QFETCH(QString, width);
    QFETCH(QString, rate);
    QFETCH(QString, fit);
    QFETCH(bool, accept);
    QFETCH(QSize, size);
    QFETCH(double, frameRate);
    QFETCH(int, storedFit);
    Started started = startWindowWithScene();
    Model::Scene *scene = currentScene();
    QUndoStack *stack = scene->undoStack();
    const int before = stack->count();

    started.dialogs->runDialog = [&](QDialog *dialog) {
        if (!width.isEmpty())
            type(dialog, "frameWidth", width);
        if (!rate.isEmpty())
            type(dialog, "frameRate", rate);
        if (!fit.isEmpty())
            dialog->findChild<QRadioButton *>(fit)->click();
        return finish(dialog, accept);
    };
    apply(QStringLiteral("SceneSettings"));
    QCOMPARE(started.dialogs->kinds(), QStringList{QStringLiteral("exec")});
    QCOMPARE(started.dialogs->asked.first().title, QStringLiteral("Scene Settings"));

    QCOMPARE(scene->frameSize(), size);
    QCOMPARE(scene->frameRate(), frameRate);
    QCOMPARE(int(Model::Settings::instance()->defaultChangeFrameSizeFitMode()), storedFit);
    const bool changed = size != QSize(1920, 1080) || frameRate != 12.0;
    QCOMPARE(stack->count(), before + (changed ? 1 : 0));
    if (changed) {
        stack->undo();
        QCOMPARE(scene->frameSize(), QSize(1920, 1080));
        QCOMPARE(scene->frameRate(), 12.0);
        stack->redo();
        QCOMPARE(scene->frameSize(), size);
        QCOMPARE(scene->frameRate(), frameRate);
    }
}

// A size whose drawings would not fit in memory is refused with a message,
// and the scene keeps its size and rate.
void TestMainWindowWindow::sceneSizeBeyondMemoryIsRefused()
{
    Started started = startWindowWithScene();
    MainWindow *window = started.window.get();
    // Small frames with ink, on a machine of 1 GiB: the largest frames the
    // dialog offers would need more than that for the frame's pictures and
    // the drawing being fitted alone.
    Model::assumePhysicalMemoryBytes(qint64(1) << 30);
    auto *klscene = new Model::KLScene(window);
    Model::Scene *scene = klscene->scene();
    const QSize small(8, 8);
    QVERIFY(scene->setFrameSize(small, KL::FitMode::FitModeIgnore));
    auto layer = std::make_shared<Model::StrokeLayer>(Qt::darkBlue, small, scene);
    const int drawings = 3;
    for (int frame = 1; frame <= drawings; ++frame) {
        QVERIFY(layer->insertCell(frame - 1, layer->newCell()));
        QVERIFY(layer->addStroke(frame, TestSupport::bitmapStroke(QRect(2, 2, 3, 3), 255)));
    }
    scene->insertLayer(layer, 0);
    Model::KLScene *previous = Model::KLScene::current();
    window->setCurrentScene(klscene);
    previous->deleteLater();

    started.dialogs->runDialog = [](QDialog *dialog) {
        type(dialog, "frameWidth", QStringLiteral("8192"));
        type(dialog, "frameHeight", QStringLiteral("8192"));
        type(dialog, "frameRate", QStringLiteral("24"));
        return finish(dialog, true);
    };
    apply(QStringLiteral("SceneSettings"));
    QCOMPARE(started.dialogs->kinds(), (QStringList{QStringLiteral("exec"), QStringLiteral("warning")}));
    QCOMPARE(started.dialogs->asked.last().title, QStringLiteral("Kelvane"));
    QVERIFY2(started.dialogs->asked.last().text.contains(QStringLiteral("more memory than this computer has")),
             qPrintable(started.dialogs->asked.last().text));
    QCOMPARE(scene->frameSize(), small);
    QCOMPARE(scene->frameRate(), 12.0);
    QCOMPARE(scene->undoStack()->count(), 0);
}

void TestMainWindowWindow::tutorialAtStartUp_data()
{
    QTest::addColumn<bool>("show");
    QTest::newRow("shown at start") << true;
    QTest::newRow("not shown at start") << false;
}

void TestMainWindowWindow::tutorialAtStartUp()
{
    QFETCH(bool, show);
    Model::Settings::instance()->setShowHowToAnimateOnStartup(show);
    Started started = startWindow({});
    // Not from the constructor: once the event loop runs.
    QVERIFY(started.dialogs->asked.isEmpty());
    QTRY_VERIFY(Model::KLScene::current());
    QCoreApplication::processEvents();
    const QStringList expected = show ? QStringList{QStringLiteral("exec")} : QStringList();
    QCOMPARE(started.dialogs->kinds(), expected);
    if (show)
        QCOMPARE(started.dialogs->asked.first().title, QStringLiteral("How to animate with Kelvane"));
    // Closed with the box left as it was: shown next time too.
    QCOMPARE(Model::Settings::instance()->showHowToAnimateOnStartup(), show);
}

void TestMainWindowWindow::tutorialBoxPersists_data()
{
    QTest::addColumn<bool>("shownAtStart");
    QTest::addColumn<bool>("clickBox");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<bool>("shownAfter");

    QTest::newRow("box ticked") << true << true << true << false;
    QTest::newRow("box ticked, dialog closed") << true << true << false << false;
    QTest::newRow("box left") << true << false << true << true;
    QTest::newRow("box cleared") << false << true << true << true;
    QTest::newRow("box left ticked") << false << false << false << false;
}

void TestMainWindowWindow::tutorialBoxPersists()
{
    QFETCH(bool, shownAtStart);
    QFETCH(bool, clickBox);
    QFETCH(bool, accept);
    QFETCH(bool, shownAfter);
    Started started = startWindowWithScene();
    Model::Settings *settings = Model::Settings::instance();
    settings->setShowHowToAnimateOnStartup(shownAtStart);

    bool boxAtOpening = false;
    started.dialogs->runDialog = [&](QDialog *dialog) {
        auto *box = dialog->findChild<QCheckBox *>(QStringLiteral("checkBox_dontShowAgain"));
        boxAtOpening = box->isChecked();
        if (clickBox)
            box->click();
        // The pictures open their pages in the browser; the dialog stays.
        dialog->findChild<QAbstractButton *>(QStringLiteral("linkButton_1"))->click();
        return finish(dialog, accept);
    };
    apply(QStringLiteral("ShowHowToAnimate"));
    QCOMPARE(started.dialogs->kinds(), QStringList{QStringLiteral("exec")});
    QCOMPARE(boxAtOpening, !shownAtStart);
    QCOMPARE(m_browser.opened, QList<QUrl>{QUrl(Model::helpPageAddress(Model::HelpPage::BasicOverview))});

    QCOMPARE(settings->showHowToAnimateOnStartup(), shownAfter);
    // Written at once, for the next start.
    const QSettings store;
    QCOMPARE(store.value(QStringLiteral("Preferences/ShowHowToAnimateOnStartup")).toBool(), shownAfter);
}

void TestMainWindowWindow::tutorialFromTheHelpMenu_data()
{
    QTest::addColumn<bool>("dontShowAgain");
    // The box ticked once: the menu is then the only way back to it.
    QTest::newRow("not shown at start") << true;
    QTest::newRow("shown at start") << false;
}

void TestMainWindowWindow::tutorialFromTheHelpMenu()
{
    QFETCH(bool, dontShowAgain);
    Started started = startWindowWithScene();
    Model::Settings *settings = Model::Settings::instance();
    settings->setShowHowToAnimateOnStartup(!dontShowAgain);

    QMenu *help = menuTitled(started.window->menuBar(), QStringLiteral("&Help"));
    QVERIFY(help);
    QAction *entry = entryWithText(help, QStringLiteral("How to animate with Kelvane"));
    QVERIFY(entry);
    QVERIFY(entry->isEnabled());
    bool boxAtOpening = !dontShowAgain;
    started.dialogs->runDialog = [&](QDialog *dialog) {
        boxAtOpening = dialog->findChild<QCheckBox *>(QStringLiteral("checkBox_dontShowAgain"))->isChecked();
        return finish(dialog, false);
    };
    entry->trigger();
    QCOMPARE(started.dialogs->kinds(), QStringList{QStringLiteral("exec")});
    QCOMPARE(started.dialogs->asked.first().title, QStringLiteral("How to animate with Kelvane"));
    QCOMPARE(boxAtOpening, dontShowAgain);
    QCOMPARE(settings->showHowToAnimateOnStartup(), !dontShowAgain);
}

void TestMainWindowWindow::windowsInkChoice_data()
{
    QTest::addColumn<QString>("platform");
    QTest::addColumn<bool>("storedInk");
    QTest::addColumn<bool>("userAsksForInk");
    QTest::addColumn<bool>("userAsks");
    QTest::addColumn<bool>("warned");
    QTest::addColumn<bool>("ink");

    // Without WinTab there is nothing to choose: a stored WinTab quietly
    // becomes Windows Ink, and the pen's clicks are never dropped.
    QTest::newRow("no WinTab, WinTab stored") << "none" << false << false << false << false << true;
    QTest::newRow("no WinTab, Ink stored") << "none" << true << false << false << false << true;
    QTest::newRow("no WinTab, the user asks for it") << "none" << true << false << true << true << true;
    QTest::newRow("WinTab") << "switching" << false << false << false << false << false;
    QTest::newRow("WinTab, the user turns Ink on") << "switching" << false << true << true << false << true;
    QTest::newRow("WinTab, the user turns Ink off") << "switching" << true << false << true << false << false;
    // WinTab there but refusing: the user is told, and the preference says
    // what is really in force.
    QTest::newRow("WinTab refuses at start") << "refusing" << false << false << false << true << true;
}

void TestMainWindowWindow::windowsInkChoice()
{
    QFETCH(QString, platform);
    QFETCH(bool, storedInk);
    QFETCH(bool, userAsksForInk);
    QFETCH(bool, userAsks);
    QFETCH(bool, warned);
    QFETCH(bool, ink);
    TabletPlatform tablet(platform == u"switching");
    if (platform != u"none")
        WinTabClickWorkaround::setBackend(&tablet);
    Model::Settings *settings = Model::Settings::instance();
    settings->setUseWindowsInk(storedInk);
    {
        Started started = startWindow({});
        if (userAsks) {
            QAction *useInk = act(A::UseWindowsInk);
            QCOMPARE(useInk->isChecked(), !userAsksForInk);
            useInk->trigger();
        }
        const QStringList expected = warned ? QStringList{QStringLiteral("warning")} : QStringList();
        QCOMPARE(started.dialogs->kinds(), expected);
        if (warned) {
            QCOMPARE(started.dialogs->asked.first().title, QStringLiteral("Kelvane"));
            QCOMPARE(started.dialogs->asked.first().text, QStringLiteral("Changing the Windows Ink settting failed"));
        }
        QCOMPARE(settings->useWindowsInk(), ink);
        QCOMPARE(act(A::UseWindowsInk)->isChecked(), ink);
        QCOMPARE(WinTabClickWorkaround::isWinTabEnabled(), !ink);
        // With WinTab on, the clicks the system makes up from the pen are
        // dropped; otherwise they are the pen's clicks.
        QCOMPARE(penPressArrives(), ink);
    }
    QVERIFY(penPressArrives());
    WinTabClickWorkaround::setBackend(nullptr);
}

int main(int argc, char **argv)
{
    Application application(argc, argv);
    TestMainWindowWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindowwindow.moc"
