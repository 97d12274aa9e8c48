#include "export/exportprogress.h"

#include <QMetaObject>
#include <QVariant>

namespace Model {

ExportProgress::ExportProgress(QObject *progress)
    : m_progress(progress)
{
}

void ExportProgress::setMaximum(int maximum)
{
    if (m_progress)
        m_progress->setProperty("maximum", maximum);
}

void ExportProgress::setValue(int value)
{
    m_value = value;
    if (m_progress)
        m_progress->setProperty("value", value);
}

void ExportProgress::advance()
{
    setValue(m_value + 1);
}

bool ExportProgress::wasCanceled() const
{
    return m_progress && m_progress->property("wasCanceled").toBool();
}

void ExportProgress::reset()
{
    if (m_progress && m_progress->metaObject()->indexOfMethod("reset()") >= 0)
        QMetaObject::invokeMethod(m_progress, "reset");
}

} // namespace Model
