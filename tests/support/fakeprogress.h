#pragma once

// A progress dialog's stand-in for the tests of long work that a user can
// cancel (exports, scene files).

#include <QList>
#include <QObject>
#include <QThread>

#include <atomic>

namespace TestSupport {

// Stands in for a progress dialog: the code under test writes "maximum" and
// "value" and reads "wasCanceled", which turns true once value reaches
// cancelAt, and calls reset() (counted) where a dialog would be put back.
// Other properties of a dialog that it sets ("labelText", say) stay on the
// object as dynamic properties. Like a dialog it belongs to its thread: every
// use from another thread is counted in m_foreignUses.
class FakeProgress : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int value READ value WRITE setValue)
    Q_PROPERTY(bool wasCanceled READ wasCanceled)

public:
    explicit FakeProgress(int cancelAt = -1)
        : m_cancelAt(cancelAt)
    {
    }
    int maximum() const { return checked(m_maximum); }
    void setMaximum(int maximum) { m_maximum = checked(maximum); }
    int value() const { return checked(m_value); }
    void setValue(int value)
    {
        m_value = checked(value);
        m_values.append(value);
    }
    bool wasCanceled() const { return checked(m_cancelAt >= 0 && m_value >= m_cancelAt); }

    int m_maximum = -1;
    int m_value = 0;
    // Every value set, in order.
    QList<int> m_values;
    int m_resets = 0;
    mutable std::atomic<int> m_foreignUses{0};

public Q_SLOTS:
    void reset() { ++m_resets; }

private:
    template<typename T>
    T checked(T value) const
    {
        if (QThread::currentThread() != thread())
            ++m_foreignUses;
        return value;
    }

    int m_cancelAt = -1;
};

} // namespace TestSupport
