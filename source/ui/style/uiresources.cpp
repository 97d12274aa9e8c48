#include "style/uiresources.h"

#include <QPainter>
#include <QRectF>
#include <QSvgRenderer>
#include <QtGlobal>

#include <cmath>

// Q_INIT_RESOURCE declares the registration function where it stands, so it
// must stand outside any namespace.
static void registerToolChromeResources()
{
    Q_INIT_RESOURCE(toolbar);
    Q_INIT_RESOURCE(speeddial);
    Q_INIT_RESOURCE(controlsbar);
    Q_INIT_RESOURCE(toolpocket);
    Q_INIT_RESOURCE(toolsettings);
    Q_INIT_RESOURCE(paper);
    Q_INIT_RESOURCE(xsheet);
    Q_INIT_RESOURCE(customize);
    Q_INIT_RESOURCE(collapsedialog);
    Q_INIT_RESOURCE(about);
    Q_INIT_RESOURCE(abouticon);
    Q_INIT_RESOURCE(how_to_animate);
}

namespace UI {

void registerUiResources()
{
    static const bool registered = (registerToolChromeResources(), true);
    Q_UNUSED(registered);
}

QRectF artRectCentred(const QSvgRenderer &art, QPointF centre, double scale)
{
    const QSize natural = art.defaultSize();
    QRectF rect(0, 0, std::lround(natural.width() * scale), std::lround(natural.height() * scale));
    rect.moveCenter(centre);
    return rect;
}

void drawArtCentred(QPainter &painter, QSvgRenderer &art, QPointF centre, double scale)
{
    art.render(&painter, artRectCentred(art, centre, scale));
}

} // namespace UI
