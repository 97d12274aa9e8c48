#include "annotationgizmo.h"

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
    switch (row) {
    case CurrentSection:
        return tr("Current pen");
    case Section1:
        return tr("Use Annotations Pen");
    case Section2:
        return tr("Use Drawing Tool for annotations");
    case NoSection:
        return tr("Choose pen to use for annotations");
    default:
        return QString();
    }
}

} // namespace UI
