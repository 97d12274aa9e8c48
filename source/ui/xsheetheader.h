#pragma once

#include <QHeaderView>
#include <QPoint>
#include <QRect>

#include <memory>

namespace UI {

class XSheetHeaderPrivate;

// The strip above the exposure sheet's columns, one section per layer, as
// wide as the model's horizontal size hint for that layer: an icon band on
// top and the layer's name below it. The sheet owns it, gives it its model
// and places it above the grid.
class XSheetHeader : public QHeaderView
{
    Q_OBJECT

public:
    explicit XSheetHeader(QWidget *parent = nullptr);
    ~XSheetHeader() override;

    // Follows a change of the UI scale: the band heights and with them the
    // header's fixed height.
    void updateUISize();

Q_SIGNALS:
    // -1 for a column that is not a visual layer.
    void rightClickedLayer(int layerIdx, QPoint globalPos);
    // The name strip, in section coordinates, where renaming opens.
    void doubleClickedLayer(int layerIdx, QRect area);

private:
    std::unique_ptr<XSheetHeaderPrivate> d;
};

} // namespace UI
