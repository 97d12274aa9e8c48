#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QWaitCondition>

#include <deque>
#include <optional>
#include <utility>

namespace Model {

// A bounded queue between two pipeline stages on different threads: push()
// waits while the queue is full, pop() while it is empty. An element that
// tests false (a null pointer) is the end of the stream and travels like any
// other.
//
// close() ends the queue for both sides at once: every thread waiting in it
// wakes, and every push() and pop() from then on returns false at once, the
// elements still held being dropped. That is how a pipeline is abandoned
// midway (a write error, a cancel) without leaving any stage blocked on a
// neighbour that has already stopped.
//
// T is a movable owner of one element, such as a std::unique_ptr.
template<typename T>
class BlockingQueue
{
public:
    explicit BlockingQueue(int capacity)
        : m_capacity(capacity > 0 ? capacity : 1)
    {
    }

    // False, with the element dropped, once the queue is closed.
    bool push(T element)
    {
        QMutexLocker locker(&m_mutex);
        while (!m_closed && int(m_elements.size()) >= m_capacity)
            m_notFull.wait(&m_mutex);
        if (m_closed)
            return false;
        m_elements.push_back(std::move(element));
        m_notEmpty.wakeAll();
        return true;
    }

    // Nothing once the queue is closed.
    std::optional<T> pop()
    {
        QMutexLocker locker(&m_mutex);
        while (!m_closed && m_elements.empty())
            m_notEmpty.wait(&m_mutex);
        if (m_closed)
            return std::nullopt;
        std::optional<T> element(std::move(m_elements.front()));
        m_elements.pop_front();
        m_notFull.wakeAll();
        return element;
    }

    void close()
    {
        std::deque<T> dropped;
        {
            QMutexLocker locker(&m_mutex);
            m_closed = true;
            dropped.swap(m_elements);
            m_notEmpty.wakeAll();
            m_notFull.wakeAll();
        }
        // The elements are freed outside the lock.
    }

    bool isClosed() const
    {
        QMutexLocker locker(&m_mutex);
        return m_closed;
    }

private:
    BlockingQueue(const BlockingQueue &) = delete;
    BlockingQueue &operator=(const BlockingQueue &) = delete;

    mutable QMutex m_mutex;
    QWaitCondition m_notEmpty;
    QWaitCondition m_notFull;
    std::deque<T> m_elements;
    const int m_capacity;
    bool m_closed = false;
};

} // namespace Model
