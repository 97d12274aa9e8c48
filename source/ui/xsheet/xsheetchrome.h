#pragma once

// What the parts around the exposure sheet's grid share: the palette of its
// chrome (header, footer, pane bar) and how they read a column's layer from
// the model's horizontal header data.

#include <QAbstractItemModel>
#include <QColor>
#include <QLinearGradient>
#include <QVariant>

namespace UI::SheetChrome {

// Tints over a part under the pointer and over a pressed part.
inline QColor hoverTint()
{
    return QColor(255, 255, 255, 26);
}

inline QColor pressTint()
{
    return QColor(0, 0, 0, 26);
}

inline QColor lineColor()
{
    return QColor(60, 56, 52);
}

// The vertical gradient of a band from y = top to y = bottom (widget
// pixels): from RGB 100, 96, 92 or, for the lower strips, 92, 88, 84 down to
// 116, 112, 108.
inline QLinearGradient bandGradient(int top, int bottom, bool lowerStrip = false)
{
    QLinearGradient gradient(0, top, 0, bottom);
    gradient.setColorAt(0, lowerStrip ? QColor(92, 88, 84) : QColor(100, 96, 92));
    gradient.setColorAt(1, QColor(116, 112, 108));
    return gradient;
}

// Horizontal header data of a column; nothing for section -1 or without a
// model, so that a part under no column reads no layer.
inline QVariant columnData(const QAbstractItemModel *model, int section, int role)
{
    if (!model || section < 0 || section >= model->columnCount())
        return QVariant();
    return model->headerData(section, Qt::Horizontal, role);
}

// The layer type of a column (1 stroke, 3 reference, 4 audio, 5
// annotation); 0 for none.
int columnKind(const QAbstractItemModel *model, int section);

// The column as a right click reports it: the section for a visual layer,
// else -1.
int visualLayerOrNone(const QAbstractItemModel *model, int section);

} // namespace UI::SheetChrome
