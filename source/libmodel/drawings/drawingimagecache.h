#pragma once

#include <QImage>
#include <QtGlobal>

#include <memory>

namespace Model {

class DrawingImageCachePrivate;

// The decoded coverage images of stroke drawings, one cache for the whole
// process. A stroke drawing keeps its coverage as run-length code, which is a
// hundredth of the frame for a typical drawing; a decoded frame takes the
// full width times height. Keeping every drawing of a long scene decoded
// would need gigabytes, so only the images asked for lately stay, up to a
// bound in bytes, and the least recently used go first when it is reached.
//
// Keys come from newKey(), one per drawing for its lifetime. The images are
// implicitly shared: an image handed out stays valid after the cache lets it
// go, and dropping it only frees the memory once every holder has.
//
// Safe to use from any thread: the movie export composites frames on an
// encoder's thread while the GUI thread may paint thumbnails. One mutex
// guards the whole cache; no image is decoded or copied while it is held.
class DrawingImageCache
{
public:
    // A few hundred full-HD frames (one byte per pixel): the frames around
    // the current one, with their backlight, and a good stretch of playback
    // stay decoded, while a film of thousands of drawings keeps within the
    // memory of a laptop.
    static constexpr qint64 defaultCapacity = qint64(200) * 1920 * 1080;

    using Key = quint64;

    static DrawingImageCache *instance();
    // A key no other caller has had.
    static Key newKey();

    ~DrawingImageCache();

    // The image kept under key, now the most recently used; null when none.
    QImage find(Key key);
    // Keeps image under key as the most recently used, replacing what was
    // there, then drops the least recently used images until the bytes held
    // are within the capacity. An image larger than the capacity is not kept;
    // a null image removes the key.
    void insert(Key key, const QImage &image);
    // Removes the image kept under key and returns it; null when none. An
    // editor takes the image out so that it holds the only reference and can
    // change the pixels without a copy.
    QImage take(Key key);
    void remove(Key key);
    void clear();

    qint64 capacity() const;
    // Drops the least recently used images until the rest fit.
    void setCapacity(qint64 bytes);
    qint64 bytesHeld() const;
    int count() const;

private:
    DrawingImageCache();
    Q_DISABLE_COPY_MOVE(DrawingImageCache)

    std::unique_ptr<DrawingImageCachePrivate> d;
};

} // namespace Model
