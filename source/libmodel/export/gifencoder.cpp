#include "export/gifencoder.h"

#include "export/gifwriter.h"
#include "export/imagefile.h"

#include <QDebug>

#include <algorithm>
#include <cmath>

namespace Model {

class GIFEncoderPrivate
{
public:
    QString m_path;
    GifWriterState m_writer;
    GIFEncoder::FrameSource m_source;
    GIFEncoder::State m_state = GIFEncoder::NotSetUp;
    int m_width = 0;
    int m_height = 0;
    double m_delay = 0.0;
    // Frames handed to the writer, and where the last one ends, in
    // hundredths of a second from the start.
    qint64 m_frames = 0;
    qint64 m_end = 0;
    int m_maxBitDepth = 16;
    QString m_error;
};

namespace {

// The pixels in a byte order the writer reads: B, G, R, A as QImage keeps
// them on little-endian machines, R, G, B, A elsewhere; straight alpha.
constexpr QImage::Format WriterFormat =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? QImage::Format_ARGB32 : QImage::Format_RGBA8888;
constexpr GifByteOrder WriterByteOrder = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? GifByteOrder::BGRA : GifByteOrder::RGBA;

} // namespace

GIFEncoder::GIFEncoder(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<GIFEncoderPrivate>())
{
    connect(this, &GIFEncoder::processNextFrame, this, &GIFEncoder::encodeNextFrame, Qt::QueuedConnection);
}

GIFEncoder::~GIFEncoder() = default;

void GIFEncoder::setup(FrameSource source, const QString &path, int width, int height, double delay, int maxBitDepth)
{
    if (d->m_state == Running) {
        fail(SetupWhileRunning);
        return;
    }
    d->m_source = std::move(source);
    d->m_path = path;
    d->m_width = width;
    d->m_height = height;
    d->m_delay = delay;
    d->m_frames = 0;
    d->m_end = 0;
    d->m_maxBitDepth = maxBitDepth;
    d->m_error.clear();
    GifWriterRelease(d->m_writer);
    d->m_state = Ready;
}

GIFEncoder::State GIFEncoder::state() const
{
    return d->m_state;
}

QString GIFEncoder::errorString() const
{
    return d->m_error;
}

void GIFEncoder::start()
{
    if (d->m_state != Ready) {
        fail(NotReady);
        return;
    }
    if (!GifWriterBegin(d->m_writer, d->m_width, d->m_height, WriterByteOrder)) {
        fail(FrameNotEncoded);
        return;
    }
    d->m_state = Running;
    Q_EMIT processNextFrame();
}

void GIFEncoder::stop()
{
    if (d->m_state != Running)
        return;
    finish();
    if (d->m_state == Running)
        d->m_state = Stopped;
}

void GIFEncoder::encodeNextFrame()
{
    if (d->m_state == Stopped)
        return;
    if (d->m_state != Running) {
        fail(NotRunning);
        return;
    }
    QImage image = d->m_source ? d->m_source() : QImage();
    // The frame source may have stopped the encoder meanwhile.
    if (d->m_state != Running)
        return;
    if (image.isNull()) {
        finish();
        if (d->m_state == Running)
            d->m_state = Stopped;
        return;
    }
    if (image.size() != QSize(d->m_width, d->m_height))
        image = image.scaled(d->m_width, d->m_height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image.convertTo(WriterFormat);
    const qint64 end = std::llround(double(d->m_frames + 1) * d->m_delay);
    const int delay = int(std::clamp<qint64>(end - d->m_end, 0, 0xffff));
    if (!GifWriterFrame(d->m_writer, image.constBits(), delay, d->m_maxBitDepth, image.bytesPerLine())) {
        fail(FrameNotEncoded);
        return;
    }
    ++d->m_frames;
    d->m_end = end;
    Q_EMIT processNextFrame();
}

void GIFEncoder::finish()
{
    if (d->m_state != Running) {
        fail(NotRunning);
        return;
    }
    const QByteArray file = GifWriterEnd(d->m_writer);
    if (file.isEmpty()) {
        fail(NoData);
        return;
    }
    if (!writeFileData(d->m_path, file, QIODevice::Truncate, &d->m_error)) {
        fail(FileNotWritten);
        return;
    }
    Q_EMIT finished();
}

void GIFEncoder::fail(Error code)
{
    d->m_state = Failed;
    GifWriterRelease(d->m_writer);
    qWarning().noquote() << "GIF export failed:" << QVariant::fromValue(code).toString() << d->m_error;
    Q_EMIT error(code);
}

} // namespace Model
