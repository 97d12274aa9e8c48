#include "tools/speeddial.h"

#include "style/tooltips.h"
#include "style/uiresources.h"
#include "tools/speeddialgraphicseffect.h"

#include "actions/actionmanager.h"
#include "settings/settings.h"

#include <QApplication>
#include <QBasicTimer>
#include <QCursor>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QStyle>
#include <QSvgRenderer>
#include <QTimer>

#include <cmath>

namespace UI {

namespace {

// How long a chosen slot stays lit.
constexpr int SelectionFeedbackMs = 333;
// Wake-up delay while a tool tip was shown a moment ago, as Qt's own.
constexpr int QuickWakeUpMs = 20;

QPoint roundedPoint(QPointF point)
{
    return QPoint(int(std::lround(point.x())), int(std::lround(point.y())));
}

} // namespace

class SpeedDial::SpeedDialPrivate
{
public:
    QSvgRenderer m_baseArt;
    SpeedDialGraphicsEffect *m_effect = nullptr;
    QTimer m_selectionTimer;
    bool m_hideAfterSelection = false;
    QBasicTimer m_toolTipWakeUp;
    QBasicTimer m_toolTipFallAsleep;
    QPoint m_lastPos;
    QPoint m_lastGlobalPos;
    int m_diameter = 194;

    SpeedDialPrivate()
    {
        registerUiResources();
        m_baseArt.load(QStringLiteral(":/speeddial/quickselectBase.svg"));
        m_selectionTimer.setSingleShot(true);
        m_selectionTimer.setInterval(SelectionFeedbackMs);
    }

    void stopToolTipTimers()
    {
        m_toolTipWakeUp.stop();
        m_toolTipFallAsleep.stop();
    }
};

SpeedDial::SpeedDial(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<SpeedDialPrivate>())
{
    setMouseTracking(true);
    d->m_effect = new SpeedDialGraphicsEffect(this);
    applySize();
    setGraphicsEffect(d->m_effect);
    connect(&d->m_selectionTimer, &QTimer::timeout, this, &SpeedDial::selectionTimedOut);
    connect(this, &SpeedDial::functionSelected, this, [this] { d->m_selectionTimer.start(); });
}

SpeedDial::~SpeedDial() = default;

SpeedDialGraphicsEffect *SpeedDial::effect() const
{
    return d->m_effect;
}

void SpeedDial::applySize()
{
    d->m_diameter = int(194 * Model::Settings::instance()->UIScale());
    const int diameter = d->m_diameter;
    setFixedSize(diameter, diameter);
    setMask(QRegion(-2, -2, diameter + 4, diameter + 4, QRegion::Ellipse));
}

void SpeedDial::setActionList(const QString &list)
{
    const QStringList names = slotNames(list);
    Model::ActionManager *actions = Model::ActionManager::instance();
    for (int slot = 0; slot < names.size(); ++slot)
        d->m_effect->setSlotAction(slot, actions->actionByName(names.at(slot)));
    update();
}

QStringList SpeedDial::slotNames(const QString &list)
{
    const QStringList names = list.split(QLatin1Char('|'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    return names.mid(0, SpeedDialGraphicsEffect::SlotCount);
}

void SpeedDial::setHintText(const QString &html)
{
    d->m_effect->setHintText(html);
}

void SpeedDial::hideHint()
{
    d->m_effect->setHintShown(false);
}

void SpeedDial::setHideAfterSelection(bool hide)
{
    d->m_hideAfterSelection = hide;
}

bool SpeedDial::isSelectionTimerActive() const
{
    return d->m_selectionTimer.isActive();
}

void SpeedDial::updateUISize()
{
    d->m_effect->updateMetrics();
    applySize();
    update();
    updateGeometry();
}

void SpeedDial::selectAndHide()
{
    if (d->m_selectionTimer.isActive()) {
        d->m_hideAfterSelection = true;
        return;
    }
    QAction *action = d->m_effect->take(true);
    if (!action) {
        hide();
        return;
    }
    d->m_hideAfterSelection = true;
    action->activate(QAction::Trigger);
    Q_EMIT functionSelected(action);
    releaseMouse();
    // Until the feedback ends and the dial hides, clicks go to what lies
    // beneath it.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    update();
}

void SpeedDial::selectionTimedOut()
{
    d->m_effect->reset();
    if (d->m_hideAfterSelection) {
        d->m_hideAfterSelection = false;
        hide();
    } else {
        update();
    }
}

bool SpeedDial::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        d->m_lastPos = roundedPoint(mouse->position());
        d->m_lastGlobalPos = roundedPoint(mouse->globalPosition());
        d->m_toolTipWakeUp.start(d->m_toolTipFallAsleep.isActive()
                                     ? QuickWakeUpMs
                                     : style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay, nullptr, this),
                                 this);
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::Wheel:
    case QEvent::ActivationChange:
        d->stopToolTipTimers();
        break;
    case QEvent::Leave:
        d->m_toolTipWakeUp.stop();
        break;
    case QEvent::ToolTip: {
        auto *help = static_cast<QHelpEvent *>(event);
        return answerToolTip(help, d->m_effect->toolTipText(help->pos()));
    }
    default:
        break;
    }
    return QWidget::event(event);
}

void SpeedDial::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == d->m_toolTipWakeUp.timerId()) {
        d->m_toolTipWakeUp.stop();
        QHelpEvent help(QEvent::ToolTip, d->m_lastPos, d->m_lastGlobalPos);
        QApplication::sendEvent(this, &help);
        if (help.isAccepted())
            d->m_toolTipFallAsleep.start(style()->styleHint(QStyle::SH_ToolTip_FallAsleepDelay, nullptr, this),
                                         this);
    } else if (event->timerId() == d->m_toolTipFallAsleep.timerId()) {
        d->m_toolTipFallAsleep.stop();
    } else {
        QWidget::timerEvent(event);
    }
}

void SpeedDial::mouseMoveEvent(QMouseEvent *event)
{
    d->m_effect->moveTo(event->position());
    if (d->m_effect->isTracking())
        update();
}

void SpeedDial::mousePressEvent(QMouseEvent *event)
{
    if (d->m_selectionTimer.isActive())
        return;
    d->m_effect->press(event->position());
    mouseMoveEvent(event);
}

void SpeedDial::mouseReleaseEvent(QMouseEvent *event)
{
    mouseMoveEvent(event);
    if (QAction *action = d->m_effect->take(true)) {
        action->activate(QAction::Trigger);
        Q_EMIT functionSelected(action);
    } else if (d->m_hideAfterSelection) {
        hide();
    }
    releaseMouse();
    update();
}

void SpeedDial::paintEvent(QPaintEvent *)
{
    // During the feedback only the chosen slot shows.
    if (d->m_selectionTimer.isActive())
        return;
    QPainter painter(this);
    d->m_baseArt.render(&painter, QRectF(rect()));
}

void SpeedDial::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    setAttribute(Qt::WA_TransparentForMouseEvents, false);
    grabMouse();
    d->m_selectionTimer.stop();
    d->m_effect->reset();
    const QPointF pointer = mapFromGlobal(QPointF(QCursor::pos()));
    d->m_effect->press(pointer);
    d->m_effect->open(pointer);
    update();
}

void SpeedDial::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Whatever hid the dial, nothing the pointer points at is triggered:
    // disarm, and end any feedback.
    d->m_effect->take(false);
    d->m_selectionTimer.stop();
    d->m_effect->reset();
    d->m_effect->setHintShown(true);
    d->stopToolTipTimers();
    releaseMouse();
}

} // namespace UI
