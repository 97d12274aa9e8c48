#include "tools/expandtoolbutton.h"

#include <QPainter>
#include <QStyleOptionToolButton>

namespace UI {

ExpandToolButton::ExpandToolButton(QWidget *parent)
    : QToolButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setCheckable(true);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setArrowType(Qt::RightArrow);
    setIconSize(QSize(8, 8));
    // Only a click turns the arrow; a programmatic setChecked leaves it.
    connect(this, &QToolButton::clicked, this,
            [this](bool checked) { setArrowType(checked ? Qt::DownArrow : Qt::RightArrow); });
}

ExpandToolButton::~ExpandToolButton() = default;

void ExpandToolButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.state &= ~(QStyle::State_On | QStyle::State_Sunken | QStyle::State_Raised);
    style()->drawControl(QStyle::CE_ToolButtonLabel, &option, &painter, this);
}

} // namespace UI
