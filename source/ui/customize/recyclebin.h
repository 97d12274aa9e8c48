#pragma once

#include <QWidget>

#include <memory>

namespace UI {

// The recycle bin of the customise overlay: an entry of the tool-bar or a
// speed-dial editor dropped within 50 px of the bin's centre is accepted as
// a move, on which its editor lets it go. The bin takes only moves, so
// copies from the action list or the spacer well cannot be thrown away, and
// only data that names an entry the program knows. It lights up while a
// drag it would take hovers over it and for a third of a second after a
// drop.
class RecycleBin : public QWidget
{
    Q_OBJECT

public:
    explicit RecycleBin(QWidget *parent = nullptr);
    ~RecycleBin() override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    bool withinReach(QPointF point) const;
    void setLit(bool lit);

    class RecycleBinPrivate;
    std::unique_ptr<RecycleBinPrivate> d;
};

} // namespace UI
