#pragma once

#include <QStyledItemDelegate>

namespace UI {

// Paints the rows of the ActionsList: headings in the program's heading font
// on a dark band, separators as a band alone, and action rows with their
// framed icon on the right and the text beside it. Rows never show
// selection or hover.
class ActionsListItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit ActionsListItemDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    static bool isSeparator(const QModelIndex &index);
    static bool isHeading(const QModelIndex &index);
};

} // namespace UI
