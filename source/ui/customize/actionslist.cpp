#include "customize/actionslist.h"

#include "customize/actiondrag.h"

#include "actions/actionmanager.h"

#include <QMouseEvent>
#include <QPersistentModelIndex>
#include <QScrollBar>

namespace UI {

class ActionsList::ActionsListPrivate
{
public:
    // A press on a heading or a blank row leaves the current row as it was:
    // a drag that starts there must not carry that row.
    QPersistentModelIndex m_pressedIndex;
};

ActionsList::ActionsList(QWidget *parent)
    : QListWidget(parent)
    , d(std::make_unique<ActionsListPrivate>())
{
    verticalScrollBar()->setProperty(ScrollBarStyleProperty, true);
    horizontalScrollBar()->setProperty(ScrollBarStyleProperty, true);
}

ActionsList::~ActionsList() = default;

QSize ActionsList::minimumSizeHint() const
{
    return QSize(viewportSizeHint().width() + 20, 0);
}

void ActionsList::mousePressEvent(QMouseEvent *event)
{
    d->m_pressedIndex = indexAt(event->position().toPoint());
    QListWidget::mousePressEvent(event);
}

void ActionsList::dragEnterEvent(QDragEnterEvent *)
{
}

void ActionsList::dragMoveEvent(QDragMoveEvent *)
{
}

void ActionsList::dropEvent(QDropEvent *)
{
}

void ActionsList::startDrag(Qt::DropActions)
{
    const QListWidgetItem *item = currentItem();
    if (!item || currentIndex() != d->m_pressedIndex)
        return;
    const QString name = item->data(NameRole).toString();
    const Model::ActionManager::ActionEntry *entry = Model::ActionManager::instance()->actionEntry(name);
    if (!entry || !entry->action)
        return;
    ActionDrag::exec(this, name, false, ActionDrag::actionPixmap(*entry), QPoint(16, 16), Qt::CopyAction);
}

} // namespace UI
