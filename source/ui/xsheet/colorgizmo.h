#pragma once

#include "xsheet/gizmo.h"

#include <QColor>

namespace UI {

class ColorGizmoPrivate;

// The gizmo of a stroke layer's column: the layer's colour, chosen among
// four preset colours. It rolls like every gizmo but draws its rows itself:
// a stroke in each colour, and on top a colour wheel for a custom colour,
// which is shown greyed and chooses nothing.
class ColorGizmo : public Gizmo
{
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)

public:
    explicit ColorGizmo(QWidget *parent = nullptr);
    ~ColorGizmo() override;

    QColor color() const;
    int layerIdx() const;

public Q_SLOTS:
    // The layer that colorChanged names.
    void setLayerIdx(int layerIdx);
    // Announces only a change.
    void setColor(QColor color);

Q_SIGNALS:
    void colorChanged(int layerIdx, QColor color);

protected:
    quint64 shownValue() const override;
    void paintEvent(QPaintEvent *event) override;
    QString sectionText(int row) const override;
    void chooseSection(int row) override;
    int openHeight() const override;
    int peekReleaseHeight() const override;
    void updateMetrics() override;

private:
    std::unique_ptr<ColorGizmoPrivate> d;
};

} // namespace UI
