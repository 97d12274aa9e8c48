#pragma once

// Helpers that the tests of strokes, drawings, layers and rendering share.

#include "render/alphacomposition.h"
#include "render/offscreenrenderer.h"
#include "strokes/bitmapstroke.h"
#include "strokes/singlestroke.h"

#include <QByteArray>
#include <QDataStream>
#include <QImage>
#include <QList>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QTest>

#include <cstdlib>
#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#define KL_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KL_TEST_ASAN 1
#endif
#endif
#ifdef KL_TEST_ASAN
// AddressSanitizer's allocator keeps the count; GCC ships no header for it.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace TestSupport {

inline constexpr char NoOpenGL[] = "No OpenGL context: run under an X server (xvfb-run) with QT_QPA_PLATFORM=xcb";

// False without a display to make a context on, where the renderer cannot
// start and tests that need it skip.
inline bool hasOpenGL()
{
    // This context may be the process's first: the driver loads with it.
    Model::OffscreenRenderer::chooseSoftwareRasterizerThreads();
    QOpenGLContext context;
    QOffscreenSurface surface;
    surface.create();
    if (!context.create() || !context.makeCurrent(&surface))
        return false;
    context.doneCurrent();
    return true;
}

// The compositing tables are filled even without OpenGL, since bitmap strokes
// need them; returns whether the shared renderer runs. A tile smaller than the
// test's images makes rendering tile as well.
inline bool startRenderer(QSize tileSize)
{
    Model::initAlphaCompositionTables();
    if (!hasOpenGL())
        return false;
    Model::OffscreenRenderer::instance()->initialize(tileSize);
    return Model::OffscreenRenderer::instance()->size().isValid();
}

// Records are big-endian with single-precision floats, as files and the
// clipboard carry them.
inline QDataStream &prepareRecordStream(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::BigEndian);
    stream.setFloatingPointPrecision(QDataStream::SinglePrecision);
    return stream;
}

// The bytes that write(QDataStream &) puts into a record stream.
template<typename Write>
QByteArray record(Write write)
{
    QByteArray data;
    QDataStream stream(&data, QIODevice::WriteOnly);
    prepareRecordStream(stream);
    write(stream);
    return data;
}

inline QImage alpha8(QSize size, uchar coverage = 0)
{
    QImage image(size, QImage::Format_Alpha8);
    image.fill(coverage);
    return image;
}

inline std::unique_ptr<Model::BitmapStroke> bitmapStroke(QRect rect, uchar coverage)
{
    return std::make_unique<Model::BitmapStroke>(alpha8(rect.size(), coverage), rect);
}

// A pen sample as a script of a stroke gives it, at full pressure unless told.
inline Model::SingleStroke::InputPoint sample(QPointF position, double pressure = 1.0)
{
    return {position.x(), position.y(), pressure, 0.0};
}

// A stroke of tool on a frame of the given size, drawn as the canvas draws
// it: the mask follows every sample. Needs the renderer.
inline std::unique_ptr<Model::SingleStroke> liveStroke(QSize frame, const Model::Tool &tool,
                                                        const QList<QPointF> &points, double pressure = 0.8)
{
    auto stroke = std::make_unique<Model::SingleStroke>(frame, &tool);
    for (const QPointF &point : points) {
        if (stroke->isNearLastPoint(point))
            continue;
        stroke->addPoint(sample(point, pressure));
        stroke->updateMask();
    }
    stroke->finish();
    stroke->updateMask();
    return stroke;
}

// For failure messages about rectangles.
inline QString describe(QRect rect)
{
    return QStringLiteral("(%1, %2) %3x%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

// How two Alpha8 images of one size differ, so that a test can allow for the
// rounding that renders which should agree may still show.
struct Difference
{
    int largest = 0;
    QPoint where; // the first pixel, row by row, that differs by largest
    int pixels = 0; // how many pixels differ at all
    qint64 sum = 0;
    double mean = 0.0;
};

inline Difference difference(const QImage &a, const QImage &b)
{
    Difference result;
    for (int y = 0; y < a.height(); ++y) {
        const uchar *rowA = a.constScanLine(y);
        const uchar *rowB = b.constScanLine(y);
        for (int x = 0; x < a.width(); ++x) {
            const int diff = std::abs(rowA[x] - rowB[x]);
            result.pixels += diff > 0;
            result.sum += diff;
            if (diff > result.largest) {
                result.largest = diff;
                result.where = QPoint(x, y);
            }
        }
    }
    result.mean = double(result.sum) / (a.width() * a.height());
    return result;
}

// Bytes the process holds from the heap now, for tests that bound what an
// operation keeps at its peak: sample it while the operation runs.
inline qint64 allocatedBytes()
{
#ifdef KL_TEST_ASAN
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
#endif
}

} // namespace TestSupport

// For fixtures that keep whether startRenderer() succeeded in m_gl.
#define REQUIRE_GL()                                                                               \
    if (!m_gl)                                                                                     \
    QSKIP(TestSupport::NoOpenGL)
