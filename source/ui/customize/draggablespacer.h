#pragma once

#include <QWidget>

#include <memory>

namespace UI {

// The spacer well of the customise overlay: it hands out tool-bar spacers
// by drag and drop, as copies, so it never runs out and the recycle bin
// never takes one from it.
class DraggableSpacer : public QWidget
{
    Q_OBJECT

public:
    explicit DraggableSpacer(QWidget *parent = nullptr);
    ~DraggableSpacer() override;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    class DraggableSpacerPrivate;
    std::unique_ptr<DraggableSpacerPrivate> d;
};

} // namespace UI
