#include "customize/actionslistitemdelegate.h"

#include "customize/actionslist.h"

#include <QPainter>

namespace UI {

namespace {

constexpr int HeadingHeight = 50;
constexpr int SeparatorHeight = 19;
constexpr int BlankHeight = 35;
constexpr int ActionHeight = 40;
// The headings' band leaves this much of the row free above and below.
constexpr int BandInset = 9;

bool isChrome(const QModelIndex &index)
{
    return index.data(ActionsList::ChromeRole).toBool();
}

} // namespace

ActionsListItemDelegate::ActionsListItemDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

bool ActionsListItemDelegate::isSeparator(const QModelIndex &index)
{
    return isChrome(index) && index.data(Qt::DisplayRole).toString().isEmpty();
}

bool ActionsListItemDelegate::isHeading(const QModelIndex &index)
{
    return isChrome(index) && !index.data(Qt::DisplayRole).toString().isEmpty();
}

void ActionsListItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                    const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    opt.rect.adjust(0, 0, -12, 0);
    opt.state &= ~(QStyle::State_Selected | QStyle::State_MouseOver);

    if (isHeading(index) || isSeparator(index))
        painter->fillRect(opt.rect.adjusted(0, BandInset, 0, -BandInset), QColor(43, 41, 39, 128));
    if (isSeparator(index))
        return;
    if (isHeading(index)) {
        opt.font = QFont(QStringLiteral("Passion One"), 16);
        opt.palette.setColor(QPalette::All, QPalette::Text, QColor(151, 147, 143));
        opt.displayAlignment = Qt::AlignCenter;
    } else {
        opt.displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
        opt.decorationPosition = QStyleOptionViewItem::Right;
        opt.decorationSize = QSize(36, 36);
    }
    QStyledItemDelegate::paint(painter, opt, index);
}

QSize ActionsListItemDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (isHeading(index))
        size.setHeight(HeadingHeight);
    else if (isSeparator(index))
        size.setHeight(SeparatorHeight);
    else if (index.data(Qt::DisplayRole).toString().isEmpty())
        size.setHeight(BlankHeight);
    else
        size.setHeight(ActionHeight);
    return size;
}

} // namespace UI
