#include "tools/controlsbar.h"

#include "settings/settings.h"

#include <QPainter>
#include <QPen>

namespace UI {

ControlsBar::ControlsBar(QWidget *parent)
    : QWidget(parent)
{
    updateUISize();
}

void ControlsBar::updateUISize()
{
    const float s = Model::Settings::instance()->UIScale();
    setMinimumWidth(int(750 * s));
    setFixedHeight(int(44 * s));
    update();
    updateGeometry();
}

void ControlsBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // One device pixel of edge line, whatever the screen's pixel ratio.
    painter.setPen(QPen(QColor(60, 56, 52), devicePixelRatio()));
    painter.drawLine(QPointF(0, 0), QPointF(width(), 0));
    painter.fillRect(QRect(0, 1, width(), height() - 1), QColor(45, 41, 38, 191));
}

} // namespace UI
