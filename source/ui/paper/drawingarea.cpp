#include "paper/drawingarea.h"

#include <QLayout>
#include <QVBoxLayout>

namespace UI {

DrawingArea::DrawingArea(QWidget *parent)
    : QFrame(parent)
{
    setFocusPolicy(Qt::NoFocus);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

void DrawingArea::setPaper(QWidget *paper)
{
    QLayout *box = layout();
    QWidget *previous = this->paper();
    if (previous == paper)
        return;
    if (previous) {
        box->removeWidget(previous);
        previous->hide();
        previous->deleteLater();
    }
    if (paper)
        box->addWidget(paper);
}

QWidget *DrawingArea::paper() const
{
    QLayoutItem *item = layout()->count() > 0 ? layout()->itemAt(0) : nullptr;
    return item ? item->widget() : nullptr;
}

void DrawingArea::triggerLeftAndRightCenterMoved()
{
    const int middle = height() / 2;
    Q_EMIT leftAndRightCenterMoved(mapToGlobal(QPoint(0, middle)), mapToGlobal(QPoint(width(), middle)));
}

void DrawingArea::triggerTopLeftMoved()
{
    Q_EMIT topLeftMoved();
}

void DrawingArea::moveEvent(QMoveEvent *event)
{
    QFrame::moveEvent(event);
    triggerLeftAndRightCenterMoved();
    triggerTopLeftMoved();
}

void DrawingArea::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    triggerLeftAndRightCenterMoved();
}

} // namespace UI
