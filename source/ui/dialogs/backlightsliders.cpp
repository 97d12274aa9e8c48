#include "dialogs/backlightsliders.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>

namespace UI {

class BacklightSliders::BacklightSlidersPrivate
{
public:
    // The level list and element that a bar other than the middle one
    // shows: bars 0..3 count back from the current frame, 5..8 onwards.
    QList<double> &levelsOf(int bar)
    {
        return bar < CurrentFrameBar ? m_setting.opacityLevelsBefore : m_setting.opacityLevelsAfter;
    }
    static qsizetype elementOf(int bar)
    {
        return bar < CurrentFrameBar ? CurrentFrameBar - 1 - bar : bar - CurrentFrameBar - 1;
    }

    void layOut(QSize size)
    {
        m_columnWidth = (size.width() + 2) / double(BarCount);
        m_barWidth = m_columnWidth - 2;
        m_height = size.height();
        updateBarHeights();
    }

    void updateBarHeights()
    {
        m_barHeights = QList<double>(BarCount, 0.0);
        for (int bar = 0; bar < BarCount; ++bar) {
            if (bar == CurrentFrameBar) {
                m_barHeights[bar] = m_height;
                continue;
            }
            const QList<double> &levels = levelsOf(bar);
            const qsizetype element = elementOf(bar);
            if (element < levels.size())
                m_barHeights[bar] = m_height * levels.at(element);
        }
    }

    // The bar a press at x takes; -1 in a gap, on the middle bar or outside.
    int barAt(int x) const
    {
        if (x < 0 || m_columnWidth <= 0)
            return -1;
        const int bar = int(std::round(std::floor(x / m_columnWidth)));
        if (bar < 0 || bar >= BarCount || bar == CurrentFrameBar || x - bar * m_columnWidth >= m_barWidth)
            return -1;
        return bar;
    }

    void dragTo(int y)
    {
        double height = std::max(std::min(double(m_height), double(m_height - y)), 0.0);
        if (height < 0.05 * m_height)
            height = 0.0;
        m_barHeights[m_draggedBar] = height;
        QList<double> &levels = levelsOf(m_draggedBar);
        const qsizetype element = elementOf(m_draggedBar);
        while (levels.size() <= element)
            levels.append(0.0);
        levels[element] = m_height > 0 ? height / m_height : 0.0;
    }

    Model::BacklightSetting m_setting;
    QList<double> m_barHeights = QList<double>(BarCount, 0.0);
    double m_columnWidth = 0.0;
    double m_barWidth = 0.0;
    int m_height = 0;
    int m_draggedBar = -1;
};

BacklightSliders::BacklightSliders(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<BacklightSlidersPrivate>())
{
    setMinimumSize(200, 90);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    d->layOut(size());
}

BacklightSliders::~BacklightSliders() = default;

void BacklightSliders::setBacklightSetting(const Model::BacklightSetting &setting)
{
    d->m_setting = setting;
    d->updateBarHeights();
    update();
}

Model::BacklightSetting BacklightSliders::backlightSetting() const
{
    return d->m_setting;
}

QList<double> BacklightSliders::barHeights() const
{
    return d->m_barHeights;
}

double BacklightSliders::columnWidth() const
{
    return d->m_columnWidth;
}

double BacklightSliders::barWidth() const
{
    return d->m_barWidth;
}

void BacklightSliders::resizeEvent(QResizeEvent *event)
{
    d->layOut(size());
    QWidget::resizeEvent(event);
}

void BacklightSliders::mousePressEvent(QMouseEvent *event)
{
    d->m_draggedBar = d->barAt(event->position().toPoint().x());
    mouseMoveEvent(event);
    event->accept();
}

void BacklightSliders::mouseMoveEvent(QMouseEvent *event)
{
    if (d->m_draggedBar == -1)
        return;
    d->dragTo(event->position().toPoint().y());
    Q_EMIT backlightSettingChanged(d->m_setting);
    update();
}

void BacklightSliders::mouseReleaseEvent(QMouseEvent *event)
{
    if (d->m_draggedBar == -1)
        return;
    mouseMoveEvent(event);
    Q_EMIT backlightSettingChanged(d->m_setting);
    update();
    d->m_draggedBar = -1;
}

void BacklightSliders::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QBrush slot = palette().brush(QPalette::Base);
    const QBrush bar = palette().brush(QPalette::WindowText);
    const double opacity = painter.opacity();
    painter.setOpacity(opacity * 0.5);
    for (int i = 0; i < BarCount; ++i)
        painter.fillRect(QRectF(i * d->m_columnWidth, 0, d->m_barWidth, d->m_height), slot);
    for (int i = 0; i < BarCount; ++i) {
        painter.setOpacity(i == CurrentFrameBar ? opacity * 0.4 : opacity);
        const double height = d->m_barHeights.at(i);
        painter.fillRect(QRectF(i * d->m_columnWidth, d->m_height - height, d->m_barWidth, height), bar);
    }
}

} // namespace UI
