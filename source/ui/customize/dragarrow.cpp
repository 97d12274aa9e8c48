#include "customize/dragarrow.h"

#include "style/uiresources.h"

#include <QPainter>
#include <QSvgRenderer>

namespace UI {

DragArrow::DragArrow(QWidget *parent)
    : QWidget(parent)
{
    registerUiResources();
    m_art = new QSvgRenderer(QStringLiteral(":/customize/arrowGraphic.svg"), this);
    setFixedSize(m_art->defaultSize());
}

DragArrow::~DragArrow() = default;

void DragArrow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    drawArtCentred(painter, *m_art, QRectF(rect()).center());
}

} // namespace UI
