#include "xsheet/gizmo.h"

#include "style/tooltips.h"
#include "style/uiresources.h"
#include "xsheet/gizmographicseffect.h"

#include "settings/settings.h"

#include <QEasingCurve>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QHoverEvent>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QSvgRenderer>

#include <algorithm>

namespace UI {

namespace {

enum State : int {
    Closed = 0,
    Open = 1,
    Peek = 2,
    Closing = 3,
};

// Every gizmo shows the same art; loaded with the first one.
const QIcon &baseImage()
{
    static const QIcon image = (registerUiResources(), QIcon(QStringLiteral(":/xsheet/X-layerColBase.svg")));
    return image;
}

} // namespace

class GizmoPrivate
{
public:
    explicit GizmoPrivate(Gizmo *owner)
        : q(owner)
    {
    }

    void updateMetrics()
    {
        m_scale = Model::Settings::instance()->UIScale();
        const double s = m_scale;
        m_openSize = QSize(int(24 * s), int(107 * s));
        m_closedSize = QSize(int(16 * s), int(14 * s));
        m_peekSize = QSize(int(24 * s), int(15 * s));
        m_rowPitch = int(18 * s);
    }

    // Where a row starts, measured upwards from the widget's bottom
    // (negative); 0 beyond the top row.
    int rowOffset(int row) const
    {
        const double s = m_scale;
        if (row > 5)
            return 0;
        if (row == 0)
            return -int(17 * s);
        if (row == 5)
            return -int(105 * s);
        return int((-16 - 18 * row) * s);
    }

    int rowAt(QPointF point) const
    {
        if (!q->rect().contains(point.toPoint()) || m_rowPitch <= 0)
            return Gizmo::NoSection;
        const int distance = int(q->height() + 2 * m_scale - point.y());
        const int row = distance / m_rowPitch;
        const int within = distance % m_rowPitch;
        if (row >= 5)
            return Gizmo::TopSection;
        if (row == 0)
            return within < int(17 * m_scale) ? Gizmo::CurrentSection : Gizmo::NoSection;
        if (row > 0)
            return within < 1 ? Gizmo::NoSection : row;
        return Gizmo::NoSection;
    }

    // Sizes the widget for its state, keeping its horizontal centre.
    void applyState()
    {
        QSize size;
        switch (m_state) {
        case Open:
            size = QSize(m_openSize.width(), q->openHeight());
            break;
        case Peek:
            size = m_peekSize;
            break;
        case Closing:
            m_state = Closed;
            size = m_closedSize;
            break;
        default:
            size = m_closedSize;
            break;
        }
        resizeKeepingCentre(size);
        q->update();
        q->updateGeometry();
    }

    void resizeKeepingCentre(QSize size)
    {
        const int centre = q->x() + q->width() / 2;
        q->setFixedSize(size);
        q->move(centre - size.width() / 2, q->y());
    }

    void animate(int state, int targetHeight)
    {
        m_state = state;
        m_animation->stop();
        m_animation->setStartValue(m_gizmoHeight);
        m_animation->setEndValue(targetHeight);
        m_animation->start();
    }

    void setHoveredRow(int row)
    {
        if (row == m_hoveredRow)
            return;
        m_hoveredRow = row;
        q->update();
    }

    void peek()
    {
        m_state = Peek;
        applyState();
    }

    // After a choice: released near the top, the gizmo stays as a peek tab
    // under the pointer; lower down it closes completely.
    void close(QPointF releasePosition)
    {
        if (releasePosition.y() > q->peekReleaseHeight())
            animate(Closing, m_closedSize.height());
        else
            animate(Peek, m_peekSize.height());
    }

    Gizmo *q;
    double m_scale = 1.0;
    QSize m_openSize{24, 107};
    QSize m_closedSize{16, 14};
    QSize m_peekSize{24, 15};
    int m_rowPitch = 18;
    int m_state = Closed;
    int m_hoveredRow = Gizmo::NoSection;
    int m_pressedRow = Gizmo::NoSection;
    int m_sectionCount = 5;
    int m_gizmoHeight = 14;
    QPropertyAnimation *m_animation = nullptr;
    GizmoGraphicsEffect *m_effect = nullptr;
};

Gizmo::Gizmo(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<GizmoPrivate>(this))
{
    baseImage();
    d->updateMetrics();
    d->m_gizmoHeight = d->m_closedSize.height();
    d->m_animation = new QPropertyAnimation(this, "gizmoHeight", this);
    d->m_animation->setEasingCurve(QEasingCurve::InOutQuad);
    d->m_animation->setDuration(130);
    connect(d->m_animation, &QPropertyAnimation::finished, this, [this] { d->applyState(); });
    d->applyState();
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_Hover);
    d->m_effect = new GizmoGraphicsEffect(this);
    setGraphicsEffect(d->m_effect);
}

Gizmo::~Gizmo() = default;

Gizmo::Look Gizmo::look() const
{
    return Look{size(), d->m_scale, isEnabled(), d->m_hoveredRow, d->m_pressedRow, shownValue()};
}

quint64 Gizmo::shownValue() const
{
    return 0;
}

int Gizmo::gizmoHeight() const
{
    return d->m_gizmoHeight;
}

void Gizmo::setSectionCount(int count)
{
    d->m_sectionCount = count;
}

void Gizmo::updateUISize()
{
    updateMetrics();
    d->m_effect->updateUISize();
    d->applyState();
    update();
    updateGeometry();
}

void Gizmo::updateMetrics()
{
    d->updateMetrics();
}

void Gizmo::setTopCenter(QPoint topCenter)
{
    const QPoint topLeft(topCenter.x() - width() / 2, topCenter.y());
    if (pos() != topLeft)
        move(topLeft);
}

void Gizmo::setTopCenter(int x, int y)
{
    setTopCenter(QPoint(x, y));
}

void Gizmo::setGizmoHeight(int height)
{
    height = std::clamp(height, d->m_closedSize.height(), d->m_openSize.height());
    if (height == d->m_gizmoHeight)
        return;
    d->m_gizmoHeight = height;
    Q_EMIT gizmoHeightChanged(height);
    d->resizeKeepingCentre(QSize(d->m_openSize.width(), height));
    update();
}

bool Gizmo::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::HoverEnter:
        if (d->m_state == Closed && isEnabled())
            d->peek();
        else
            d->setHoveredRow(d->rowAt(static_cast<QHoverEvent *>(event)->position()));
        break;
    case QEvent::HoverMove:
        if (d->m_state == Open)
            d->setHoveredRow(d->rowAt(static_cast<QHoverEvent *>(event)->position()));
        else if (d->m_state == Closed && isEnabled())
            d->peek();
        break;
    case QEvent::HoverLeave:
        if (d->m_state == Peek)
            d->animate(Closing, d->m_closedSize.height());
        d->setHoveredRow(NoSection);
        break;
    case QEvent::ToolTip: {
        auto *help = static_cast<QHelpEvent *>(event);
        return answerToolTip(help, sectionText(isOpen() ? d->rowAt(help->pos()) : int(NoSection)));
    }
    default:
        break;
    }
    return QWidget::event(event);
}

void Gizmo::mousePressEvent(QMouseEvent *event)
{
    d->m_pressedRow = d->rowAt(event->position());
    update();
}

void Gizmo::mouseReleaseEvent(QMouseEvent *event)
{
    if (d->m_state == Open) {
        const int row = d->rowAt(event->position());
        if (row == d->m_pressedRow && row >= CurrentSection && row <= TopSection) {
            if (row != CurrentSection)
                chooseSection(row);
            if (row != TopSection)
                d->close(event->position());
        }
    } else {
        d->animate(Open, openHeight());
        setFocus(Qt::OtherFocusReason);
    }
    d->m_pressedRow = NoSection;
    update();
}

void Gizmo::focusOutEvent(QFocusEvent *event)
{
    if (d->m_state != Closing)
        d->animate(Closing, d->m_closedSize.height());
    QWidget::focusOutEvent(event);
}

void Gizmo::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    paintBase(&painter);

    const double s = d->m_scale;
    const QRectF current(int(7 * s) - imageShift(), height() - int(17 * s) + int(4 * s), int(10 * s), int(10 * s));
    painter.save();
    paintSectionIcon(&painter, current, CurrentSection);
    painter.restore();
    if (!isEnabled())
        painter.fillRect(current.adjusted(-1, -1, 1, 1), QColor(128, 128, 128, 128));

    for (int row = Section1; row <= TopSection; ++row) {
        const QRectF rect = sectionRect(row);
        if (isHighlighted(row))
            painter.fillRect(rect, Qt::white);
        const double inset = isPushed(row) ? 1 : 2;
        painter.save();
        paintSectionIcon(&painter, rect.adjusted(inset, inset, -inset, -inset), row);
        painter.restore();
    }
}

void Gizmo::paintSectionIcon(QPainter *painter, const QRectF &rect, int row)
{
    Q_UNUSED(painter);
    Q_UNUSED(rect);
    Q_UNUSED(row);
}

QString Gizmo::sectionText(int row) const
{
    Q_UNUSED(row);
    return QString();
}

void Gizmo::chooseSection(int row)
{
    Q_EMIT sectionSelected(GizmoSC(row));
}

int Gizmo::openHeight() const
{
    return -d->rowOffset(d->m_sectionCount) - 1;
}

int Gizmo::peekReleaseHeight() const
{
    return 16;
}

double Gizmo::scale() const
{
    return d->m_scale;
}

double Gizmo::imageShift() const
{
    return (d->m_openSize.width() - width()) / 2;
}

void Gizmo::paintBase(QPainter *painter) const
{
    const QSize open = d->m_openSize;
    if (open.isEmpty())
        return;
    const QPixmap image = baseImage().pixmap(open, QIcon::Normal, QIcon::Off);
    const double r = image.devicePixelRatio();
    const int h = height();
    // The bottom of the image, its middle under the widget's middle.
    painter->drawPixmap(QPointF(0, 0), image,
                        QRectF(imageShift() * r, r * (open.height() - h), r * open.width(), r * h));
}

QRectF Gizmo::sectionRect(int row) const
{
    const double s = d->m_scale;
    const int bottom = height() + d->rowOffset(row);
    if (row == TopSection)
        return QRectF(int(2 * s), bottom - int(2 * s), int(20 * s), int(19 * s));
    return QRectF(int(2 * s), bottom + int(s), int(20 * s), int(17 * s));
}

bool Gizmo::isHighlighted(int row) const
{
    return d->m_pressedRow == row || (d->m_hoveredRow == row && d->m_pressedRow == NoSection);
}

bool Gizmo::isPushed(int row) const
{
    return d->m_pressedRow == row && d->m_hoveredRow == row;
}

bool Gizmo::isOpen() const
{
    return d->m_state == Open;
}

void Gizmo::paintFitted(QSvgRenderer &renderer, QPainter *painter, const QRectF &rect)
{
    QSizeF size = renderer.defaultSize();
    if (size.isEmpty() || rect.isEmpty())
        return;
    size.scale(rect.size(), Qt::KeepAspectRatio);
    QRectF target(QPointF(), size);
    target.moveCenter(rect.center());
    renderer.render(painter, target);
}

void Gizmo::paintTwoChoiceIcon(QPainter *painter, const QRectF &rect, int row, QSvgRenderer &first,
                               QSvgRenderer &second, bool secondChosen)
{
    if (row == Section1 || (row == CurrentSection && !secondChosen))
        paintFitted(first, painter, rect);
    else if (row == Section2 || row == CurrentSection)
        paintFitted(second, painter, rect);
}

const char *Gizmo::twoChoiceText(int row, const char *const (&texts)[4])
{
    if (row >= CurrentSection && row <= Section2)
        return texts[row];
    return row == NoSection ? texts[3] : nullptr;
}

} // namespace UI
