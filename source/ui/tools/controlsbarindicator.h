#pragma once

#include <QSvgWidget>

namespace UI {

// A status picture of the controls bar (backlight on, view mirrored). A
// hidden indicator paints nothing but keeps its square in the layout, so
// that the bar does not shift when a state changes.
class ControlsBarIndicator : public QSvgWidget
{
    Q_OBJECT

public:
    ControlsBarIndicator(const QString &file, QWidget *parent = nullptr);

    bool isIndicatorVisible() const;
    void updateUISize();

public Q_SLOTS:
    void setIndicatorVisible(bool visible);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_indicatorVisible = false;
};

} // namespace UI
