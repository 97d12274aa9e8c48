#pragma once

#include "xsheet/gizmo.h"

#include "kl.h"

namespace UI {

class AnnotationGizmoPrivate;

// The gizmo of the annotation column: which pen draws the notes, the
// scribble pen of the annotations or the current drawing tool.
class AnnotationGizmo : public Gizmo
{
    Q_OBJECT

public:
    explicit AnnotationGizmo(QWidget *parent = nullptr);
    ~AnnotationGizmo() override;

    KL::AnnotationPenType penType() const;
    // Announces only a change.
    void setPenType(KL::AnnotationPenType penType);

Q_SIGNALS:
    void penTypeChanged(KL::AnnotationPenType penType);

protected:
    quint64 shownValue() const override;
    void paintSectionIcon(QPainter *painter, const QRectF &rect, int row) override;
    QString sectionText(int row) const override;

private:
    std::unique_ptr<AnnotationGizmoPrivate> d;
};

} // namespace UI
