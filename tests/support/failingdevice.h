#pragma once

// A device that fills up part-way, for the tests of code that writes.

#include <QIODevice>

namespace TestSupport {

// Takes capacity bytes, then refuses everything, as a device that fills up
// or goes away part-way; its error text is "The device is full".
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(qint64 capacity)
        : m_capacity(capacity)
    {
        open(QIODevice::WriteOnly);
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 length) override
    {
        if (m_written + length > m_capacity) {
            setErrorString(QStringLiteral("The device is full"));
            return -1;
        }
        m_written += length;
        return length;
    }

private:
    qint64 m_capacity;
    qint64 m_written = 0;
};

} // namespace TestSupport
