#include "tools/controlsbarindicator.h"

#include "style/uiresources.h"

#include "settings/settings.h"

namespace UI {

namespace {

// Registered before the base class loads the file.
const QString &withResources(const QString &file)
{
    registerUiResources();
    return file;
}

} // namespace

ControlsBarIndicator::ControlsBarIndicator(const QString &file, QWidget *parent)
    : QSvgWidget(withResources(file), parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    updateUISize();
}

bool ControlsBarIndicator::isIndicatorVisible() const
{
    return m_indicatorVisible;
}

void ControlsBarIndicator::updateUISize()
{
    const int side = int(32 * Model::Settings::instance()->UIScale());
    setFixedSize(side, side);
    update();
}

void ControlsBarIndicator::setIndicatorVisible(bool visible)
{
    if (m_indicatorVisible == visible)
        return;
    m_indicatorVisible = visible;
    update();
}

void ControlsBarIndicator::paintEvent(QPaintEvent *event)
{
    if (m_indicatorVisible)
        QSvgWidget::paintEvent(event);
}

} // namespace UI
