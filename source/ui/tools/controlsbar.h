#pragma once

#include <QWidget>

namespace UI {

// The strip along the top edge of the paper that carries the playback
// buttons, the two indicators and the tool pockets. It only paints its
// translucent background and keeps its size; the main window lays out what
// it holds.
class ControlsBar : public QWidget
{
    Q_OBJECT

public:
    explicit ControlsBar(QWidget *parent = nullptr);

    void updateUISize();

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace UI
