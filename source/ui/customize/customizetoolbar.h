#pragma once

#include <QList>
#include <QRect>
#include <QStringList>
#include <QWidget>

#include <memory>

class QPainter;

namespace UI {

// The editable copy of the tool bar in the customise overlay: three columns,
// left, middle and right, of actions and spacers, drawn in unscaled pixels.
// It reads and writes the tool-bar layout through ToolBarLayout, so that the
// real bar shows what the editor shows (without its empty columns).
//
// Drops: an action from the list, a spacer from the spacer well or an entry
// of the editor itself appears as a placeholder at the place it would land
// while the drag moves, and becomes the entry on the drop. A column takes a
// placeholder only while it stays within the editor's height less 16 px:
// twelve actions at most. Data that names nothing the program knows is
// refused and changes nothing.
//
// Drags out: the entry leaves its cell when the drag starts and goes back
// there unless the drag ends as a move (a drop on this editor or on the
// recycle bin).
class CustomizeToolBar : public QWidget
{
    Q_OBJECT

public:
    explicit CustomizeToolBar(QWidget *parent = nullptr);
    ~CustomizeToolBar() override;

    void setActionList(const QString &layout);
    QString actionList() const;
    // What the editor shows, column by column from the top; "Spacer" for a
    // spacer.
    QList<QStringList> columns() const;

    // Paints the soft shadow around the bar in the editor's coordinates; the
    // overlay calls it on its own painter, since the editor paints no
    // background.
    void paintShadow(QPainter *painter);

    // The halves of dragging an entry out, around the drag itself. The first
    // takes the entry at the cell out and returns the name the drag carries,
    // or an empty string (and takes nothing) when no entry there can be
    // dragged; the second puts it back unless the drag ended as a move.
    QString takeOutForDrag(int column, int row);
    void finishDrag(Qt::DropAction result);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // The area, in global coordinates, that the editor's shadow may cover.
    void shadowUpdateNeeded(QRect rect);

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void announceShadow();

    class CustomizeToolBarPrivate;
    std::unique_ptr<CustomizeToolBarPrivate> d;
};

} // namespace UI
