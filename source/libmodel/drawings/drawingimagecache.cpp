#include "drawingimagecache.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <list>
#include <utility>

namespace Model {

class DrawingImageCachePrivate
{
public:
    struct Entry
    {
        DrawingImageCache::Key key = 0;
        QImage image;
    };
    using Entries = std::list<Entry>;

    // Callers hold the mutex. What leaves the cache moves into released,
    // which the caller lets go of after unlocking: freeing a frame's pixels
    // is a call into the system that no other thread should wait for.
    void drop(Entries::iterator entry, Entries &released)
    {
        m_bytes -= entry->image.sizeInBytes();
        m_index.remove(entry->key);
        released.splice(released.end(), m_entries, entry);
    }

    void trimTo(qint64 bytes, Entries &released)
    {
        while (m_bytes > bytes && !m_entries.empty())
            drop(std::prev(m_entries.end()), released);
    }

    mutable QMutex m_mutex;
    // Most recently used first.
    Entries m_entries;
    QHash<DrawingImageCache::Key, Entries::iterator> m_index;
    qint64 m_bytes = 0;
    qint64 m_capacity = DrawingImageCache::defaultCapacity;
};

DrawingImageCache::DrawingImageCache()
    : d(std::make_unique<DrawingImageCachePrivate>())
{
}

DrawingImageCache::~DrawingImageCache() = default;

DrawingImageCache *DrawingImageCache::instance()
{
    // Never destroyed: drawings held by other static objects may still
    // remove their images while the process ends.
    static DrawingImageCache *const cache = new DrawingImageCache;
    return cache;
}

DrawingImageCache::Key DrawingImageCache::newKey()
{
    static std::atomic<Key> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

QImage DrawingImageCache::find(Key key)
{
    const QMutexLocker locker(&d->m_mutex);
    const auto found = d->m_index.constFind(key);
    if (found == d->m_index.constEnd())
        return {};
    const DrawingImageCachePrivate::Entries::iterator entry = found.value();
    d->m_entries.splice(d->m_entries.begin(), d->m_entries, entry);
    return entry->image;
}

void DrawingImageCache::insert(Key key, const QImage &image)
{
    DrawingImageCachePrivate::Entries released;
    const QMutexLocker locker(&d->m_mutex);
    const auto found = d->m_index.constFind(key);
    if (found != d->m_index.constEnd())
        d->drop(found.value(), released);
    if (image.isNull() || image.sizeInBytes() > d->m_capacity)
        return;
    d->m_entries.push_front({key, image});
    d->m_index.insert(key, d->m_entries.begin());
    d->m_bytes += image.sizeInBytes();
    d->trimTo(d->m_capacity, released);
}

QImage DrawingImageCache::take(Key key)
{
    const QMutexLocker locker(&d->m_mutex);
    const auto found = d->m_index.constFind(key);
    if (found == d->m_index.constEnd())
        return {};
    QImage image = std::move(found.value()->image);
    d->m_bytes -= image.sizeInBytes();
    d->m_entries.erase(found.value());
    d->m_index.erase(found);
    return image;
}

void DrawingImageCache::remove(Key key)
{
    const QImage released = take(key);
    Q_UNUSED(released)
}

void DrawingImageCache::clear()
{
    DrawingImageCachePrivate::Entries released;
    {
        const QMutexLocker locker(&d->m_mutex);
        released.swap(d->m_entries);
        d->m_index.clear();
        d->m_bytes = 0;
    }
}

qint64 DrawingImageCache::capacity() const
{
    const QMutexLocker locker(&d->m_mutex);
    return d->m_capacity;
}

void DrawingImageCache::setCapacity(qint64 bytes)
{
    DrawingImageCachePrivate::Entries released;
    const QMutexLocker locker(&d->m_mutex);
    d->m_capacity = qMax<qint64>(bytes, 0);
    d->trimTo(d->m_capacity, released);
}

qint64 DrawingImageCache::bytesHeld() const
{
    const QMutexLocker locker(&d->m_mutex);
    return d->m_bytes;
}

int DrawingImageCache::count() const
{
    const QMutexLocker locker(&d->m_mutex);
    return int(d->m_entries.size());
}

} // namespace Model
