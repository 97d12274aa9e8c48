#include "xsheetheader.h"

#include "settings/settings.h"

namespace UI {

class XSheetHeaderPrivate
{
public:
    int m_iconBandHeight = 28;
    int m_nameStripHeight = 16;

    void updateMetrics()
    {
        const float s = Model::Settings::instance()->UIScale();
        m_iconBandHeight = int(28 * s);
        m_nameStripHeight = int(16 * s);
    }
};

XSheetHeader::XSheetHeader(QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent)
    , d(std::make_unique<XSheetHeaderPrivate>())
{
    d->updateMetrics();
    setFixedHeight(d->m_iconBandHeight + d->m_nameStripHeight);
    // Sections are exactly as wide as the model's size hints, however
    // narrow a small UI scale makes them.
    setMinimumSectionSize(1);
    setSectionResizeMode(QHeaderView::ResizeToContents);
    setSectionsMovable(false);
    setSectionsClickable(true);
}

XSheetHeader::~XSheetHeader() = default;

void XSheetHeader::updateUISize()
{
    d->updateMetrics();
    setFixedHeight(d->m_iconBandHeight + d->m_nameStripHeight);
    update();
    updateGeometry();
}

} // namespace UI
