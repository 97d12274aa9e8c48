#include "xsheetfooter.h"

#include "settings/settings.h"

namespace UI {

class XSheetFooterPrivate
{
public:
    int m_bandHeight = 28;
    int m_stripHeight = 15;

    void updateMetrics()
    {
        const float s = Model::Settings::instance()->UIScale();
        m_bandHeight = int(28 * s);
        m_stripHeight = int(15 * s);
    }
};

XSheetFooter::XSheetFooter(QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent)
    , d(std::make_unique<XSheetFooterPrivate>())
{
    d->updateMetrics();
    setFixedHeight(d->m_stripHeight + d->m_bandHeight);
    // As wide as the header's sections, which follow the size hints alone.
    setMinimumSectionSize(1);
    setSectionResizeMode(QHeaderView::ResizeToContents);
}

XSheetFooter::~XSheetFooter() = default;

void XSheetFooter::updateUISize()
{
    d->updateMetrics();
    setFixedHeight(d->m_stripHeight + d->m_bandHeight);
    update();
    updateGeometry();
}

} // namespace UI
