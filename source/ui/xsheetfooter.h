#pragma once

#include <QHeaderView>
#include <QPoint>

#include <memory>

namespace UI {

class XSheetFooterPrivate;

// The strip below the exposure sheet's columns, one section per layer, as
// wide as the header's: a thin opacity strip on top and below it the band in
// which a column is dragged sideways to reorder the layers. The sheet owns
// it and turns its section moves into layer moves.
class XSheetFooter : public QHeaderView
{
    Q_OBJECT

public:
    explicit XSheetFooter(QWidget *parent = nullptr);
    ~XSheetFooter() override;

    // Follows a change of the UI scale: the strip and band heights and with
    // them the footer's fixed height.
    void updateUISize();

Q_SIGNALS:
    void opacityClicked(int logicalIndex);
    // -1 for a column that is not a visual layer.
    void rightClickedLayer(int layerIdx, QPoint globalPos);

private:
    std::unique_ptr<XSheetFooterPrivate> d;
};

} // namespace UI
