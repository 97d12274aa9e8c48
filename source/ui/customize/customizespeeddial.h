#pragma once

#include <QWidget>

#include <memory>

namespace UI {

// The editable copy of a speed dial in the customise overlay: the eight
// slots of the dial, drawn at 194 x 194 unscaled pixels. It takes actions
// dropped from the action list or from a slot of either dial editor (the
// dropped action replaces what the slot held), and hands out its own
// actions by dragging: a slot whose drag ends as a move (on another slot or
// on the recycle bin) is emptied. A drop back onto the slot the drag came
// from, outside the ring, or of data that names no action is refused and
// changes nothing.
//
// It reads and writes the dial's list of eight action names, as the speed
// dial reads it.
class CustomizeSpeedDial : public QWidget
{
    Q_OBJECT

public:
    explicit CustomizeSpeedDial(QWidget *parent = nullptr);
    ~CustomizeSpeedDial() override;

    void setActionList(const QString &list);
    // Always eight names, empty for an empty slot.
    QString actionList() const;

    // The slot under a point in the editor, or -1 off the ring.
    static int slotAt(QPointF point);

    // Renders the dial's shadow in the editor's coordinates; the overlay
    // calls it on its own painter, since the editor paints no background.
    void paintShadow(QPainter *painter);

    // The halves of dragging a slot's action out, around the drag itself.
    // The first marks the slot as the drag's source and returns the name the
    // drag carries, or an empty string when the slot has nothing to drag;
    // the second empties the slot when the drag ended as a move.
    QString startSlotDrag(int slot);
    void finishSlotDrag(Qt::DropAction result);

    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    class CustomizeSpeedDialPrivate;
    std::unique_ptr<CustomizeSpeedDialPrivate> d;
};

} // namespace UI
