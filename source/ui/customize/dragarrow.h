#pragma once

#include <QWidget>

class QSvgRenderer;

namespace UI {

// The arrow in the middle of the customise overlay that points from the
// action list to the editors.
class DragArrow : public QWidget
{
    Q_OBJECT

public:
    explicit DragArrow(QWidget *parent = nullptr);
    ~DragArrow() override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QSvgRenderer *m_art;
};

} // namespace UI
