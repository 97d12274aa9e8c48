#pragma once

#include <QHeaderView>
#include <QPoint>
#include <QRect>

#include <memory>

namespace UI {

class Dialogs;
class XSheetHeaderPrivate;

// The strip above the exposure sheet's columns, one section per layer, as
// wide as the model's horizontal size hint for that layer: an icon band on
// top and the layer's name below it. The sheet owns it, gives it its model
// and places it above the grid.
//
// The icon band holds the layer's toggles: for a visual layer the link
// toggle in its left half and the visibility toggle in its right half, for
// the audio column the sound switch, for the annotation column the link
// toggle. A toggle acts on release over the part that was pressed. Link and
// visibility changes are undoable commands pushed on the current scene; the
// sound switch is a view setting and changes the model directly, leaving
// the history alone. The name strip of the audio column shows the sound's
// offset in whole frames and opens a dialog to type it on a double click,
// offering only the offsets a sound can take; on a layer's name strip a
// double click asks the sheet to rename it.
class XSheetHeader : public QHeaderView
{
    Q_OBJECT

public:
    explicit XSheetHeader(QWidget *parent = nullptr);
    ~XSheetHeader() override;

    // Follows a change of the UI scale: the band heights and with them the
    // header's fixed height.
    void updateUISize();
    // Where the header's questions go (see Dialogs); the caller keeps it
    // alive. Without one they are Qt's own dialogs.
    void setDialogs(Dialogs *dialogs);
    // Forgets the part pressed, so that letting go of it toggles nothing:
    // a step since the press may have put another layer under it.
    void abandonPress();

Q_SIGNALS:
    // -1 for a column that is not a visual layer.
    void rightClickedLayer(int layerIdx, QPoint globalPos);
    // The name strip, in section coordinates, where renaming opens.
    void doubleClickedLayer(int layerIdx, QRect area);

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    std::unique_ptr<XSheetHeaderPrivate> d;
    friend class XSheetHeaderPrivate;
};

} // namespace UI
