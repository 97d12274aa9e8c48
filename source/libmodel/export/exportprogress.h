#pragma once

#include <QObject>
#include <QPointer>

namespace Model {

// The progress of an export as its caller follows it: any object with the
// properties of a QProgressDialog ("maximum", "value", "wasCanceled"), or
// none at all. Setting the value of a modal progress dialog lets events
// through, so an export sets it only at the points where it may stop; the
// object may go away meanwhile, which then reads as no progress object.
class ExportProgress
{
public:
    explicit ExportProgress(QObject *progress);

    void setMaximum(int maximum);
    void setValue(int value);
    // Counts on by one from the last value set.
    void advance();
    int value() const { return m_value; }
    bool wasCanceled() const;
    // Puts a dialog back to its start, as the caller's failure message
    // replaces it; an object without a reset() slot is left alone.
    void reset();

private:
    QPointer<QObject> m_progress;
    int m_value = 0;
};

} // namespace Model
