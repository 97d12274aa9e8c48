#pragma once

#include <QStringList>
#include <QWidget>

#include <memory>

class QAction;

namespace UI {

class SpeedDialGraphicsEffect;

// A round pop-up of eight actions that opens around the pointer: the user
// points in one of eight directions and releases the mouse button (or the
// key that opened it, through selectAndHide); the action in that direction
// is triggered, its slot stays lit for a third of a second, and the dial
// closes when it was told to hide after a selection. A release in the dead
// centre chooses nothing.
//
// While open the dial holds the mouse grab, so it runs the tool-tip timing
// itself. Hiding it by any other means (Escape, the window losing focus)
// disarms it first: only a release or selectAndHide triggers a slot.
//
// The slots and the pointer's state live in its SpeedDialGraphicsEffect.
class SpeedDial : public QWidget
{
    Q_OBJECT

public:
    explicit SpeedDial(QWidget *parent = nullptr);
    ~SpeedDial() override;

    SpeedDialGraphicsEffect *effect() const;

    // Up to eight KL::Action key names joined by "|", entry i for slot i; an
    // empty or unknown name empties its slot. Slots past the end of a
    // shorter list keep what they held.
    void setActionList(const QString &list);
    // The names of a list for its first slots, as setActionList reads them:
    // at most eight, empty ones kept.
    static QStringList slotNames(const QString &list);
    void setHintText(const QString &html);
    // Until the next hide, which shows the hint again.
    void hideHint();
    void setHideAfterSelection(bool hide);
    bool isSelectionTimerActive() const;
    void updateUISize();

public Q_SLOTS:
    // Triggers the slot under the pointer and hides; with nothing chosen it
    // just hides. During the feedback after a selection it only makes the
    // dial hide when the feedback ends.
    void selectAndHide();

Q_SIGNALS:
    void functionSelected(const QAction *function);

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    void applySize();
    void selectionTimedOut();

    class SpeedDialPrivate;
    std::unique_ptr<SpeedDialPrivate> d;
};

} // namespace UI
