#include "xsheet/detachedxsheet.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QVBoxLayout>

namespace UI {

class DetachedXSheetPrivate
{
public:
    // The geometry to restore on the next show.
    QByteArray m_geometry;
    // Taken instead while there is none to restore.
    QRect m_firstGeometry;
};

DetachedXSheet::DetachedXSheet(QWidget *parent)
    : QWidget(parent, Qt::Tool)
    , d(std::make_unique<DetachedXSheetPrivate>())
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(tr("X-Sheet"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (parent)
        installEventFilter(parent);
}

DetachedXSheet::~DetachedXSheet() = default;

QByteArray DetachedXSheet::savedGeometry() const
{
    return isVisible() ? saveGeometry() : d->m_geometry;
}

void DetachedXSheet::setSavedGeometry(const QByteArray &geometry)
{
    d->m_geometry = geometry;
}

void DetachedXSheet::setFirstGeometry(const QRect &geometry)
{
    d->m_firstGeometry = geometry;
}

void DetachedXSheet::keyPressEvent(QKeyEvent *event)
{
    Q_EMIT keyPressed(event);
}

void DetachedXSheet::keyReleaseEvent(QKeyEvent *event)
{
    Q_EMIT keyReleased(event);
}

void DetachedXSheet::closeEvent(QCloseEvent *event)
{
    // Hidden, not closed: the sheet inside goes back to the main window.
    event->ignore();
    hide();
    Q_EMIT hidden();
}

void DetachedXSheet::showEvent(QShowEvent *event)
{
    // Left alone, the system would open it at a size of its own choosing in
    // a corner of the screen.
    if ((d->m_geometry.isEmpty() || !restoreGeometry(d->m_geometry)) && d->m_firstGeometry.isValid())
        setGeometry(d->m_firstGeometry);
    QWidget::showEvent(event);
}

void DetachedXSheet::hideEvent(QHideEvent *event)
{
    d->m_geometry = saveGeometry();
    QWidget::hideEvent(event);
}

} // namespace UI
