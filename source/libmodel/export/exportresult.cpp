#include "export/exportresult.h"

#include <QCoreApplication>

namespace Model {

QString ExportResult::failureTitle()
{
    return QCoreApplication::translate("Model::Scene", "Export failed");
}

} // namespace Model

#include "moc_exportresult.cpp"
