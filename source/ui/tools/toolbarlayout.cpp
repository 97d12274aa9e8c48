#include "tools/toolbarlayout.h"

#include <algorithm>

namespace UI {

QList<QStringList> ToolBarLayout::columns(const QString &layout)
{
    QList<QStringList> pieces(1);
    const QStringList names = layout.split(QLatin1Char('|'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    for (const QString &name : names) {
        if (name == ColumnMarker)
            pieces.append(QStringList());
        else
            pieces.last().append(name);
    }

    if (pieces.size() == 1) {
        pieces.prepend(QStringList());
    } else {
        while (pieces.size() > ColumnCount) {
            const auto empty = std::find_if(pieces.begin(), pieces.end(),
                                            [](const QStringList &piece) { return piece.isEmpty(); });
            if (empty != pieces.end()) {
                pieces.erase(empty);
            } else {
                pieces[ColumnCount - 1].append(pieces.takeAt(ColumnCount));
            }
        }
    }
    while (pieces.size() < ColumnCount)
        pieces.append(QStringList());
    return pieces;
}

QList<QStringList> ToolBarLayout::barColumns(const QString &layout)
{
    QList<QStringList> shown = columns(layout);
    shown.removeIf([](const QStringList &column) { return column.isEmpty(); });
    return shown;
}

QString ToolBarLayout::write(const QList<QStringList> &columns)
{
    QStringList names;
    for (int c = 0; c < columns.size(); ++c) {
        if (c > 0)
            names.append(ColumnMarker);
        names.append(columns.at(c));
    }
    return names.join(QLatin1Char('|'));
}

} // namespace UI
