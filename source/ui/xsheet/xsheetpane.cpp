#include "xsheet/xsheetpane.h"

#include "xsheet/xsheetpanebar.h"

#include "settings/settings.h"

#include <QVBoxLayout>

namespace UI {

XSheetPane::XSheetPane(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_bar = new XSheetPaneBar(this);
    layout->addWidget(m_bar);

    Model::Settings *settings = Model::Settings::instance();
    connect(settings, &Model::Settings::showXSheetTopBarChanged, m_bar, &QWidget::setVisible);
    m_bar->setVisible(settings->showXSheetTopBar());
}

XSheetPane::~XSheetPane() = default;

XSheetPaneBar *XSheetPane::bar() const
{
    return m_bar;
}

void XSheetPane::updateUISize()
{
    m_bar->updateUISize();
}

} // namespace UI
