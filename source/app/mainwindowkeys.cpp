// The keys that the main window looks at before Qt's shortcuts do. A tap and
// a hold of the same key mean different things: Space plays or lends the
// zoom-pan-rotate tool, Z toggles the quick zoom or lends the zoom tool, D
// and E trigger their shortcut or pop the tool settings up at the cursor. W
// and Q step through the drawings by letter case, Escape leaves temporary
// tools and closes the speed dials, Return flips, S opens a speed dial.

#include "mainwindow.h"

#include "mainwindowlookups_p.h"
#include "mainwindow_p.h"
#include "mainwindowform.h"
#include "playbackcontroller.h"

#include "paper/drawingarea.h"
#include "paper/holdkey.h"
#include "paper/paper.h"
#include "tools/speeddial.h"
#include "tools/speeddialgraphicseffect.h"
#include "tools/toolsettings.h"

#include "drawingcontentcommands.h"

#include "actions/actionmanager.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenegesture.h"
#include "strokes/singlestroke.h"
#include "tools/toolmanager.h"
#include "tools/zprtool.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>
#include <QUndoStack>

#include <algorithm>

namespace {

using A = KL::Action;
using Type = Model::Tool::Type;

using MainWindowLookups::action;

// A tap is a press released within this time; a longer press is a hold.
constexpr int HoldMs = 200;

// The Lock bit of the X11 key state, which xcb hands on as the event's
// native modifiers.
constexpr quint32 XLockMask = 0x2;

// Whether a letter key pressed alone or with Shift means its upper case. The
// event's text has Shift and Caps Lock folded in as the keyboard layout
// folds them; an event without a letter for text (a synthesised one) falls
// back on Shift and the Lock bit.
bool isUpperCase(const QKeyEvent *event)
{
    const QString text = event->text();
    if (text.size() == 1 && text.at(0).isLetter())
        return text.at(0).isUpper();
    const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
    const bool capsLock = event->nativeModifiers() & XLockMask;
    return shift != capsLock;
}

// x within [low, high]; the middle when the range is empty.
int clampOrCentre(int x, int low, int high)
{
    return low <= high ? std::clamp(x, low, high) : (low + high) / 2;
}

} // namespace

void MainWindow::connectHoldKeys()
{
    d->m_spaceHoldTimer->setObjectName(QStringLiteral("spaceHoldTimer"));
    d->m_zHoldTimer->setObjectName(QStringLiteral("zHoldTimer"));
    d->m_dHoldTimer->setObjectName(QStringLiteral("dHoldTimer"));
    d->m_eHoldTimer->setObjectName(QStringLiteral("eHoldTimer"));
    connect(d->m_spaceHoldTimer, &QTimer::timeout, this, &MainWindow::onSpaceHold);
    connect(d->m_zHoldTimer, &QTimer::timeout, this, &MainWindow::onZHold);
    connect(d->m_dHoldTimer, &QTimer::timeout, this, [this] { popUpToolSettings(d->m_drawToolSettings); });
    connect(d->m_eHoldTimer, &QTimer::timeout, this, [this] { popUpToolSettings(d->m_eraseToolSettings); });
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Never consumed here: accepting the override only keeps the shortcut
    // from firing, and the key then arrives as an ordinary press. A key that
    // a text field lets by (Return, say) is left to the field's window.
    if (event->type() == QEvent::ShortcutOverride && !isTypingIntoTextField())
        overrideShortcut(static_cast<QKeyEvent *>(event));
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::isTypingIntoTextField()
{
    // Only what edits text: the exposure sheet, say, takes keys too, and
    // with it the keys keep their meaning.
    const QWidget *focus = QApplication::focusWidget();
    return qobject_cast<const QLineEdit *>(focus) || qobject_cast<const QAbstractSpinBox *>(focus)
        || qobject_cast<const QTextEdit *>(focus) || qobject_cast<const QPlainTextEdit *>(focus);
}

void MainWindow::overrideShortcut(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool plain = modifiers == Qt::NoModifier;
    const bool repeat = event->isAutoRepeat();
    const bool playing = m_playbackController->isPlaying();
    Model::ToolManager *tools = Model::ToolManager::instance();

    switch (event->key()) {
    case Qt::Key_Space:
        if (playing) {
            action(A::Play)->activate(QAction::Trigger);
            setFocus(Qt::OtherFocusReason);
            event->accept();
        } else if (plain && !repeat && d->m_spaceHoldTimer) {
            d->m_spacePressCursorPos = QCursor::pos();
            startHold(d->m_spaceHoldTimer, d->m_spaceHoldConnection, &MainWindow::onSpaceHold);
            setFocus(Qt::OtherFocusReason);
            event->accept();
        }
        return;
    case Qt::Key_Z:
        if (plain && !repeat && d->m_zHoldTimer && tools->currentToolType() != Type::Zoom) {
            startHold(d->m_zHoldTimer, d->m_zHoldConnection, &MainWindow::onZHold);
            setFocus(Qt::OtherFocusReason);
            event->accept();
        }
        return;
    case Qt::Key_Escape:
        if (!repeat && plain && playing) {
            m_playbackController->stopPlayback();
            event->accept();
        }
        closeSpeedDialOrViewTool();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (repeat || (modifiers & ~Qt::KeyboardModifiers(Qt::KeypadModifier)))
            return;
        if (tools->currentToolType() == Type::FloatingSelection) {
            action(A::StampFloatingSelection)->activate(QAction::Trigger);
        } else {
            commitActiveStroke();
            if (playing)
                m_playbackController->allowSwitchFlipDirection();
            else
                m_playbackController->startFlipBack();
        }
        event->accept();
        return;
    case Qt::Key_W:
    case Qt::Key_Q:
        // Holding the key steps on: auto-repeats count too.
        if (plain || modifiers == Qt::ShiftModifier) {
            const bool upper = isUpperCase(event);
            if (event->key() == Qt::Key_W)
                action(upper ? A::SkipForwardToKeyDrawing : A::StepForwardSkippingLocalClones)
                    ->activate(QAction::Trigger);
            else
                action(upper ? A::SkipBackToKeyDrawing : A::StepBackSkippingLocalClones)->activate(QAction::Trigger);
            event->accept();
        }
        return;
    case Qt::Key_S:
        // The release of S closes the dial, so a choice does not.
        if (!repeat && (plain || modifiers == Qt::ShiftModifier)) {
            commitActiveStroke();
            openSpeedDial(plain, false);
            event->accept();
        }
        return;
    case Qt::Key_D:
    case Qt::Key_E:
        // Left to the shortcut, which a tap keeps; only a hold pops up.
        if (plain && !repeat) {
            (event->key() == Qt::Key_D ? d->m_dHoldTimer : d->m_eHoldTimer)->start(HoldMs);
            d->m_holdKeyCursorPos = QCursor::pos();
        }
        return;
    case Qt::Key_Control:
        return;
    default:
        if (plain)
            hideToolSettingsPanels();
        return;
    }
}

void MainWindow::startHold(QTimer *timer, QMetaObject::Connection &connection, void (MainWindow::*decide)())
{
    commitActiveStroke();
    UI::Paper *paper = ui->scrollAreaWidgetContents;
    if (paper->devicePressed()) {
        (this->*decide)();
        return;
    }
    // Whichever comes first decides for a hold: the timer, or the pen or
    // mouse going down (or up) on the paper. Until then the paper starts no
    // stroke, so that a hold leaves no dot of ink behind.
    disconnect(connection);
    connection = connect(paper, &UI::Paper::devicePressedChanged, this, decide);
    timer->start();
    UI::setHoldKeyResolved(false);
}

void MainWindow::onSpaceHold()
{
    d->m_spaceHoldTimer->stop();
    disconnect(d->m_spaceHoldConnection);
    UI::setHoldKeyResolved(true);
    Model::ToolManager *tools = Model::ToolManager::instance();
    if (tools->currentToolType() == Type::ZoomPanRotate)
        return;
    // The tool turns and zooms about where the pointer was when Space went
    // down.
    if (auto *zpr = qobject_cast<Model::ZPRTool *>(tools->tool(Type::ZoomPanRotate)))
        zpr->setPressPosGlobal(d->m_spacePressCursorPos);
    tools->setCurrentTool(Type::ZoomPanRotate, Model::Tool::OwnCursor);
}

void MainWindow::onZHold()
{
    d->m_zHoldTimer->stop();
    disconnect(d->m_zHoldConnection);
    UI::setHoldKeyResolved(true);
    Model::ToolManager *tools = Model::ToolManager::instance();
    if (tools->currentToolType() == Type::Zoom && tools->currentCursorType() == Model::Tool::OwnCursor)
        return;
    tools->setCurrentTool(Type::Zoom, Model::Tool::OwnCursor);
}

void MainWindow::popUpToolSettings(UI::ToolSettings *panel)
{
    if (!panel)
        return;
    commitActiveStroke();
    panel->setToolPocketShown(true);

    // Centred on the pointer, kept 5 px inside the drawing area.
    UI::DrawingArea *area = ui->frame;
    const QRect bounds = area->rect().adjusted(5, 5, -(5 + panel->width()), -(5 + panel->height()));
    const QPoint wanted =
        area->mapFromGlobal(d->m_holdKeyCursorPos) - QPoint(panel->width() / 2, panel->height() / 2);
    const QPoint place(clampOrCentre(wanted.x(), bounds.left(), bounds.right()),
                       clampOrCentre(wanted.y(), bounds.top(), bounds.bottom()));
    QWidget *parent = panel->parentWidget();
    panel->move(parent ? parent->mapFromGlobal(area->mapToGlobal(place)) : area->mapToGlobal(place));
    panel->raise();
    panel->show();
}

void MainWindow::closeSpeedDialOrViewTool()
{
    // Disarmed before it hides, so that the slot under the pointer is not
    // taken as the user's choice.
    for (UI::SpeedDial *dial : {d->m_primarySpeedDial, d->m_secondarySpeedDial}) {
        if (dial && dial->isVisible()) {
            dial->effect()->take(false);
            dial->hide();
            return;
        }
    }
    for (const A key : {A::Pan, A::Zoom, A::Rotate, A::OffPegs}) {
        if (action(key)->isChecked()) {
            action(key)->setChecked(false);
            return;
        }
    }
}

void MainWindow::commitActiveStroke()
{
    Model::KLScene *klscene = Model::KLScene::current();
    Model::Scene *scene = klscene ? klscene->scene() : nullptr;
    // While a step runs no other can be pushed: the stroke goes on being
    // drawn until it can.
    if (!scene || !scene->hasActiveStroke() || klscene->isChanging())
        return;
    // The stroke is the step of the gesture that drew it, not a step of
    // the tool or key that ends it: the gesture goes on with the pen still
    // down, and the stroke reaches the history when the gesture ends.
    const Model::SceneGesture::OwnSteps own;
    Model::KLScene::pushCommand(new Commands::Stroke(klscene, klscene->currentIndex(), scene->takeActiveStroke()));
}
