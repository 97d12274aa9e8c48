#pragma once

// What the paper's tests share: a scene of the paper's test frame size made
// current, a shown paper that views it unmirrored at level 1 with frame and
// widget pixels one to one, and pointer events sent straight to it with the
// time stamps, buttons, modifiers and devices that its dispatch looks at.

#include "commands/commandtesthelpers.h"
#include "paper/paper.h"
#include "support/widgetevents.h"

#include "scene/klscene.h"
#include "scene/scene.h"
#include "tools/drawingtool.h"
#include "tools/penadjustmenttool.h"
#include "tools/toolmanager.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QTabletEvent>
#include <QTest>
#include <QUndoStack>

#include <functional>
#include <memory>

namespace PaperTest {

inline const QSize Frame(200, 150);

// One stroke layer of the cells of pattern ('X' an original with a dot of
// ink, '-' a hold), frame 1 active, made current.
inline std::unique_ptr<Model::KLScene> makeScene(const QString &pattern)
{
    auto handle = CommandTest::makeScene({pattern});
    handle->scene()->setFrameSize(Frame, KL::FitMode::FitModeIgnore);
    Model::KLScene::setCurrent(handle.get());
    return handle;
}

// The steps' texts; "|" before those left to redo, if any.
inline QStringList history(const Model::KLScene &handle)
{
    QStringList texts;
    const QUndoStack *stack = handle.scene()->undoStack();
    for (int i = 0; i < stack->count(); ++i)
        texts.append(stack->text(i));
    if (stack->canRedo())
        texts.insert(stack->index(), QStringLiteral("|"));
    return texts;
}

// The main window's part: the pen adjustment takes over the last drawing
// tool whenever it becomes current.
inline void followPenAdjustment(QObject *context)
{
    Model::ToolManager *tools = Model::ToolManager::instance();
    QObject::connect(tools, &Model::ToolManager::currentToolTypeChanged, context, [tools](Model::Tool::Type type) {
        if (type == Model::Tool::Type::PenAdjustment)
            qobject_cast<Model::PenAdjustmentTool *>(tools->tool(type))->setDrawingTool(tools->lastDrawingTool());
    });
}

// A paper two pixels wider and taller than the frame, so that the centres of
// both meet at whole pixels and the frame's pixels are the widget's.
class ShownPaper
{
public:
    explicit ShownPaper(Model::KLScene *handle)
    {
        paper.resize(Frame + QSize(2, 2));
        paper.show();
        if (!QTest::qWaitForWindowExposed(&paper))
            qWarning("the paper was not exposed");
        paper.setCurrentScene(handle);
    }
    ~ShownPaper() { paper.setCurrentScene(nullptr); }

    // Widget position of a frame pixel.
    QPointF at(QPointF framePoint) const { return paper.widgetToDrawing().inverted().map(framePoint); }

    UI::Paper paper;
};

// Events as the platform sends them; every event is stamped `step` ms after
// the one before, unless the test sets `now`.
class Pointer
{
public:
    explicit Pointer(QWidget *widget)
        : m_widget(widget)
    {
    }

    quint64 now = 1000;
    quint64 step = 16;

    bool mouse(QEvent::Type type, QPointF pos, Qt::MouseButton button = Qt::LeftButton,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier, Qt::MouseButtons held = Qt::NoButton,
               const QPointingDevice *device = QPointingDevice::primaryPointingDevice())
    {
        if (type == QEvent::MouseButtonPress)
            m_held |= button;
        else if (type == QEvent::MouseButtonRelease)
            m_held &= ~button;
        const Qt::MouseButton changed = type == QEvent::MouseMove ? Qt::NoButton : button;
        QMouseEvent event(type, pos, pos, m_widget->mapToGlobal(pos), changed, m_held | held, modifiers, device);
        return send(event);
    }

    bool tablet(QEvent::Type type, QPointF pos, double pressure = 0.7,
                Qt::KeyboardModifiers modifiers = Qt::NoModifier, Qt::MouseButton button = Qt::LeftButton)
    {
        const bool down = type == QEvent::TabletPress || (type == QEvent::TabletMove && m_penDown);
        m_penDown = down;
        QTabletEvent event(type, TestSupport::pen(), pos, m_widget->mapToGlobal(pos), down ? pressure : 0.0, 0, 0,
                           0, 0, 0, modifiers, type == QEvent::TabletMove ? Qt::NoButton : button,
                           down ? Qt::MouseButtons(button) : Qt::NoButton);
        return send(event);
    }

    // A press at the first point, moves through the others and a release at
    // the last, by the mouse's left button or by the pen; what happens
    // meanwhile comes after the third move.
    void stroke(const QList<QPointF> &points, bool pen = false, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                const std::function<void()> &meanwhile = {})
    {
        const auto send = [&](QEvent::Type byMouse, QEvent::Type byPen, QPointF point, double pressure) {
            return pen ? tablet(byPen, point, pressure, modifiers) : mouse(byMouse, point, Qt::LeftButton, modifiers);
        };
        send(QEvent::MouseButtonPress, QEvent::TabletPress, points.first(), 0.7);
        for (qsizetype i = 1; i < points.size(); ++i) {
            send(QEvent::MouseMove, QEvent::TabletMove, points.at(i), 0.7);
            if (i == 3 && meanwhile)
                meanwhile();
        }
        send(QEvent::MouseButtonRelease, QEvent::TabletRelease, points.last(), 0.0);
    }

private:
    bool send(QInputEvent &event)
    {
        now += step;
        event.setTimestamp(now);
        event.setAccepted(false);
        QApplication::sendEvent(m_widget, &event);
        return event.isAccepted();
    }

    QWidget *m_widget;
    Qt::MouseButtons m_held;
    bool m_penDown = false;
};

// A short line across the middle of the frame, in widget coordinates.
inline QList<QPointF> line(const ShownPaper &shown, QPointF from = {60.0, 70.0}, QPointF to = {140.0, 80.0})
{
    QList<QPointF> points;
    for (int i = 0; i <= 8; ++i)
        points.append(shown.at(from + (to - from) * (i / 8.0)));
    return points;
}

} // namespace PaperTest
