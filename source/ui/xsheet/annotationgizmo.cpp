#include "xsheet/annotationgizmo.h"

#include <QSvgRenderer>

namespace UI {

class AnnotationGizmoPrivate
{
public:
    QSvgRenderer m_crosshair{QStringLiteral(":/xsheet/gizmo_crosshair.svg")};
    QSvgRenderer m_pen{QStringLiteral(":/xsheet/gizmo_pen.svg")};
    KL::AnnotationPenType m_penType = KL::AnnotationPenType::ScribblePen;
};

AnnotationGizmo::AnnotationGizmo(QWidget *parent)
    : Gizmo(parent)
    , d(std::make_unique<AnnotationGizmoPrivate>())
{
    setSectionCount(2);
    connect(this, &Gizmo::sectionSelected, this, [this](GizmoSC sc) {
        setPenType(sc == Section1 ? KL::AnnotationPenType::ScribblePen : KL::AnnotationPenType::DrawToolPen);
    });
}

AnnotationGizmo::~AnnotationGizmo() = default;

KL::AnnotationPenType AnnotationGizmo::penType() const
{
    return d->m_penType;
}

void AnnotationGizmo::setPenType(KL::AnnotationPenType penType)
{
    if (penType == d->m_penType)
        return;
    d->m_penType = penType;
    update();
    Q_EMIT penTypeChanged(penType);
}

void AnnotationGizmo::paintSectionIcon(QPainter *painter, const QRectF &rect, int row)
{
    paintTwoChoiceIcon(painter, rect, row, d->m_pen, d->m_crosshair,
                       d->m_penType == KL::AnnotationPenType::DrawToolPen);
}

QString AnnotationGizmo::sectionText(int row) const
{
    // The value, the two choices and the gizmo's own title.
    static const char *const texts[] = {QT_TR_NOOP("Current pen"), QT_TR_NOOP("Use Annotations Pen"),
                                        QT_TR_NOOP("Use Drawing Tool for annotations"),
                                        QT_TR_NOOP("Choose pen to use for annotations")};
    const char *text = twoChoiceText(row, texts);
    return text ? tr(text) : QString();
}

quint64 AnnotationGizmo::shownValue() const
{
    return quint64(d->m_penType);
}

} // namespace UI
