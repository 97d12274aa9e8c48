#pragma once

#include <QGraphicsEffect>

#include <memory>

class QAction;

namespace UI {

class SpeedDial;

// Holds the speed dial's eight slots and the state of the pointer that
// chooses among them, and draws everything of the dial but its base art: the
// drop shadow, the slot icons, the highlighted wedge of the hovered slot, the
// line from the centre to the pointer, the hint below the dial and, after a
// choice, the chosen slot alone as feedback.
//
// States: idle (not armed); armed and waiting (opened with the pointer
// outside the centre: nothing follows the pointer until it has moved more
// than 5 px, so that a dial opened under a still pointer does not choose at
// once); tracking (armed, not waiting); feedback (a selected slot is shown).
// A take ends armed; reset ends feedback.
//
// Slot i sits at 45 degrees times i, clockwise on screen from the right:
// 0 right, 2 bottom, 4 left, 6 top. Once the pointer is outside the dead
// centre only its direction counts; the ring's outer edge limits nothing.
class SpeedDialGraphicsEffect : public QGraphicsEffect
{
    Q_OBJECT

public:
    static constexpr int SlotCount = 8;

    explicit SpeedDialGraphicsEffect(SpeedDial *dial);
    ~SpeedDialGraphicsEffect() override;

    QRectF boundingRectFor(const QRectF &rect) const override;

    // Points are in dial coordinates.
    void press(QPointF point);
    void open(QPointF point);
    void moveTo(QPointF point);
    // The enabled action in the pointer's direction when the pointer is
    // tracked outside the centre, else null; when recording, its slot becomes
    // the selected one. Disarms in every case.
    QAction *take(bool record);
    void reset();

    void setSlotAction(int slot, QAction *action);
    QAction *slotAction(int slot) const;
    void setHintText(const QString &html);
    void setHintShown(bool shown);
    // "Select nothing" in the centre, the slot's tool tip on the ring, and
    // nothing elsewhere or for an empty slot.
    QString toolTipText(QPoint point) const;
    bool isTracking() const;
    void updateMetrics();

protected:
    void draw(QPainter *painter) override;

private:
    class SpeedDialGraphicsEffectPrivate;
    std::unique_ptr<SpeedDialGraphicsEffectPrivate> d;
};

} // namespace UI
