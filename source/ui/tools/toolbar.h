#pragma once

#include "kl.h"

#include <QPoint>
#include <QWidget>

#include <memory>

class QAction;

namespace UI {

class ToolBarHandle;

// The floating bar of action icons over the left or right edge of the
// drawing area. Not a QToolBar: it paints up to three columns of the
// registry's actions itself, with spacers between groups, shows the actions'
// tool tips and triggers an action when a click starts and ends on it.
//
// Its content comes from the tool-bar layout (ToolBarLayout, read the way the
// layout editor reads it): KL::Action key names joined by "|", where "Spacer"
// is a gap and "NewToolBarColumn" starts the next column. Every string gives
// a usable bar: the bar shows only the columns that hold something, never
// more than three; an empty or unknown name is a spacer.
//
// Beside it lies its ToolBarHandle, a sibling made by the bar, which shows
// and hides it and keeps its side. The owner hands in the two anchor points
// (the middle of the drawing area's left and right edge, in the parent's
// coordinates); the bar keeps 32 px (times the UI scale) inside the anchor
// of its side, centred on it vertically.
class ToolBar : public QWidget
{
    Q_OBJECT

public:
    explicit ToolBar(QWidget *parent = nullptr);
    ~ToolBar() override;

    ToolBarHandle *handle() const;

    void setActionList(const QString &layout);
    void setHandlePosition(KL::ToolBarPosition position);
    void updateUISize();

public Q_SLOTS:
    void moveLeftAndRightCenter(QPoint leftCenter, QPoint rightCenter);

Q_SIGNALS:
    // From every show (true) and hide (false), however they came about.
    void opened(bool opened);
    // The user clicked the handle.
    void toggled(bool showToolBar);

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void layOut();

    class ToolBarPrivate;
    std::unique_ptr<ToolBarPrivate> d;
};

} // namespace UI
