#pragma once

#include <QObject>
#include <QString>

namespace Model {

// How an export ended. A failed export has removed what it wrote in that run
// and leaves whatever it was to replace as it was; message says why, in words
// for the user, and the shell shows it in a critical message box titled
// failureTitle(); so does an export that had nothing to write, which is no
// success. A cancelled export ends silently. A finished export may carry a
// note for the user in message (a movie whose size had to change).
struct ExportResult
{
    Q_GADGET

public:
    enum Status { Finished, Canceled, Failed };
    Q_ENUM(Status)

    Status status = Finished;
    QString message;

    static ExportResult canceled() { return {Canceled, {}}; }
    static ExportResult failed(const QString &message) { return {Failed, message}; }
    // "Export failed".
    static QString failureTitle();
};

} // namespace Model
