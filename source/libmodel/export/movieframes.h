#pragma once

#include "export/exportlayers.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QSize>

#include <atomic>
#include <functional>

namespace Model {

// The pictures of a movie, one per call of next(): the listed layers
// composited over the background, frame after frame of the span, at the
// movie's size (see compositeFrame(); the scene itself is never resized).
//
// next() reads the layers and paints only into a new QImage, so that it may
// run on an encoder's thread while the scene's own thread waits; cancel()
// may come from any thread and makes every later next() give a null image.
// Every copy of source() draws on the same frame counter.
class MovieFrames
{
public:
    MovieFrames(const QList<ExportLayer> &layers, ExportFrameSpan span, const QSize &frameSize,
                const QSize &outputSize, const QColor &background);

    // Null past the span's last frame and once canceled.
    QImage next();
    std::function<QImage()> source();
    void cancel();
    bool isCanceled() const;
    // Pictures handed out so far.
    int position() const;
    ExportFrameSpan span() const { return m_span; }
    QSize outputSize() const { return m_outputSize; }

private:
    MovieFrames(const MovieFrames &) = delete;
    MovieFrames &operator=(const MovieFrames &) = delete;

    const QList<ExportLayer> m_layers;
    const ExportFrameSpan m_span;
    const QSize m_frameSize;
    const QSize m_outputSize;
    const QColor m_background;
    std::atomic<int> m_next;
    std::atomic<bool> m_canceled{false};
};

} // namespace Model
