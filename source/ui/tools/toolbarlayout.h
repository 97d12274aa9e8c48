#pragma once

#include <QLatin1String>
#include <QList>
#include <QString>
#include <QStringList>

namespace UI {

// The tool-bar layout string, read one way for the tool bar and its editor.
//
// A layout is a list of names joined by "|" (split keeping empty parts,
// case-sensitive): KL::Action key names, "Spacer" for a gap, and
// "NewToolBarColumn", which ends one column and starts the next. An empty or
// unknown name is for the readers to turn into a spacer; this class keeps
// names as they stand.
//
// The editor shows three column positions, left, middle and right, and
// writes one marker before every column but the first, also around empty
// columns. The tool bar shows the columns that hold something, side by side.
// Both read through columns(), so that what the editor writes is what the
// bar shows, and what the bar shows of any stored string is what the editor
// opens with:
// - a layout without markers fills the middle position;
// - otherwise the markers cut it into pieces, which take the positions in
//   order. Of more than three pieces, empty ones go first (a marker after an
//   empty piece, or at the start, adds nothing the bar could show), and when
//   that is not enough the pieces past the third join the third.
class ToolBarLayout
{
public:
    static constexpr int ColumnCount = 3;
    static constexpr QLatin1String SpacerName{"Spacer"};
    static constexpr QLatin1String ColumnMarker{"NewToolBarColumn"};

    // Always ColumnCount columns, some possibly empty.
    static QList<QStringList> columns(const QString &layout);
    // The columns the tool bar shows: columns() without the empty ones.
    static QList<QStringList> barColumns(const QString &layout);
    // One marker between neighbouring columns; names as they stand.
    static QString write(const QList<QStringList> &columns);

    // A place in the columns of the bar or its editor.
    struct Cell
    {
        int column = -1;
        int row = -1;

        bool isValid() const { return column >= 0; }
        bool operator==(const Cell &other) const { return column == other.column && row == other.row; }
        bool operator!=(const Cell &other) const { return !(*this == other); }
    };

    // The row of a column's entries that lies `y` px below the column's top,
    // each entry `height(entry)` px high; -1 above the first or past the
    // last.
    template<class Entries, class Height>
    static int rowAt(const Entries &entries, int y, Height height)
    {
        if (y < 0)
            return -1;
        int row = 0;
        while (row < entries.size() && y >= height(entries.at(row))) {
            y -= height(entries.at(row));
            ++row;
        }
        return row < entries.size() ? row : -1;
    }
};

} // namespace UI
