#include "customize/recyclebin.h"

#include "customize/actiondrag.h"
#include "style/uiresources.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QPainter>
#include <QSvgRenderer>
#include <QTimer>

#include <cmath>

namespace UI {

namespace {

constexpr int FlashMs = 333;

} // namespace

class RecycleBin::RecycleBinPrivate
{
public:
    RecycleBinPrivate()
    {
        registerUiResources();
        m_binArt.load(QStringLiteral(":/customize/recycleDropBin.svg"));
        m_litBinArt.load(QStringLiteral(":/customize/recycleDropBin-hover.svg"));
        m_flashTimer.setSingleShot(true);
        m_flashTimer.setInterval(FlashMs);
        const QSize art = m_binArt.defaultSize();
        m_acceptRadius = (art.width() + art.height()) * 0.125;
        m_centre = QPointF(art.width() * 0.5, art.height() * 0.5);
    }

    QSvgRenderer m_binArt;
    QSvgRenderer m_litBinArt;
    QTimer m_flashTimer;
    double m_acceptRadius = 50.0;
    QPointF m_centre;
    bool m_lit = false;
};

RecycleBin::RecycleBin(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<RecycleBinPrivate>())
{
    setFixedSize(d->m_binArt.defaultSize());
    setAcceptDrops(true);
    connect(&d->m_flashTimer, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

RecycleBin::~RecycleBin() = default;

bool RecycleBin::withinReach(QPointF point) const
{
    return std::hypot(point.x() - d->m_centre.x(), point.y() - d->m_centre.y()) < d->m_acceptRadius;
}

void RecycleBin::setLit(bool lit)
{
    if (lit == d->m_lit)
        return;
    d->m_lit = lit;
    update();
}

void RecycleBin::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QSvgRenderer &art = d->m_lit || d->m_flashTimer.isActive() ? d->m_litBinArt : d->m_binArt;
    art.render(&painter, QRectF(rect()));
}

void RecycleBin::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->possibleActions().testFlag(Qt::MoveAction) && ActionDrag::read(event->mimeData()).valid)
        event->acceptProposedAction();
    else
        event->ignore();
}

void RecycleBin::dragMoveEvent(QDragMoveEvent *event)
{
    const bool reached = withinReach(event->position());
    if (reached)
        event->acceptProposedAction();
    else
        event->ignore();
    setLit(reached);
}

void RecycleBin::dragLeaveEvent(QDragLeaveEvent *)
{
    setLit(false);
}

void RecycleBin::dropEvent(QDropEvent *event)
{
    // Checked again here: a drop reaches the bin only after an accepted
    // enter, but the bin must never take a copy.
    if (withinReach(event->position()) && event->possibleActions().testFlag(Qt::MoveAction)
        && ActionDrag::read(event->mimeData()).valid) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
        d->m_flashTimer.start();
    } else {
        event->ignore();
    }
    d->m_lit = false;
    update();
}

} // namespace UI
