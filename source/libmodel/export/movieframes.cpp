#include "export/movieframes.h"

#include <algorithm>

namespace Model {

MovieFrames::MovieFrames(const QList<ExportLayer> &layers, ExportFrameSpan span, const QSize &frameSize,
                         const QSize &outputSize, const QColor &background)
    : m_layers(layers)
    , m_span(span)
    , m_frameSize(frameSize)
    , m_outputSize(outputSize)
    , m_background(background)
    , m_next(span.first)
{
}

QImage MovieFrames::next()
{
    if (m_canceled)
        return {};
    const int frame = m_next++;
    if (frame > m_span.last) {
        m_next = m_span.last + 1;
        return {};
    }
    return compositeFrame(m_layers, frame, m_frameSize, m_outputSize, m_background);
}

std::function<QImage()> MovieFrames::source()
{
    return [this] { return next(); };
}

void MovieFrames::cancel()
{
    m_canceled = true;
}

bool MovieFrames::isCanceled() const
{
    return m_canceled;
}

int MovieFrames::position() const
{
    return std::min(m_next.load(), m_span.last + 1) - m_span.first;
}

} // namespace Model
