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
//
// The opacity strip of a visual layer shows the layer's colour at its
// opacity over a checkerboard fixed to the columns; a click released in it
// asks the sheet for the opacity pop-up. Sections are movable only while the
// pointer was last seen in the band, so a drag that starts in the strip
// never reorders the layers.
class XSheetFooter : public QHeaderView
{
    Q_OBJECT

public:
    explicit XSheetFooter(QWidget *parent = nullptr);
    ~XSheetFooter() override;

    // Follows a change of the UI scale: the strip and band heights and with
    // them the footer's fixed height.
    void updateUISize();
    // The part right of the last section, for the application style, which
    // draws a header's empty area.
    void paintEmptyArea(QPainter *painter, const QRect &rect) const;
    // Whether a column is being dragged: the press took it in the band and
    // the pointer has gone the system's drag distance sideways since.
    bool dragsColumn() const;
    // Ends a press that is still held, and with it any column drag, where it
    // stands: nothing moves and no pop-up opens when it is let go. A step
    // since the press may have put another layer under it.
    void abandonPress();
    // The press will not be let go here: a column drag ends as that release
    // would end it, where the pointer was last seen; any other press is
    // abandoned.
    void releaseLost();

Q_SIGNALS:
    void opacityClicked(int logicalIndex);
    // -1 for a column that is not a visual layer.
    void rightClickedLayer(int layerIdx, QPoint globalPos);

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    std::unique_ptr<XSheetFooterPrivate> d;
    friend class XSheetFooterPrivate;
};

} // namespace UI
