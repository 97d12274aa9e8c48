#include "scene/scene.h"

#include "drawings/imagedrawing.h"
#include "drawings/strokedrawing.h"
#include "layers/visuallayer.h"
#include "scene/clipboardrecord.h"
#include "scene/scene_p.h"

#include <QByteArray>
#include <QDataStream>
#include <QGuiApplication>
#include <QIODevice>
#include <QImage>
#include <QMimeData>
#include <QPainter>

#include <algorithm>

namespace Model {

namespace {

// The cell whose drawing frame shows: back over the holds, to frame 1 at
// most.
int ownerFrame(const VisualLayer &layer, int frame)
{
    while (frame > 1 && layer.isClone(frame))
        --frame;
    return frame;
}

// Identifies a drawing within one record: a distant clone stands for the
// original it names.
LayerItem::Key drawingKeyOf(const VisualLayer &layer, const LayerItem &owner)
{
    if (owner.kind() == LayerItem::DistantCloneKind)
        return {owner.originalLayer(), owner.originalItem()};
    return {layer.identifier(), owner.identifier()};
}

void writeContent(QDataStream &stream, const VisualLayer &layer, const Drawing *drawing)
{
    if (layer.type() == Layer::ReferenceLayerType) {
        const auto *image = drawing && drawing->type() == Drawing::ImageDrawingType
                                ? static_cast<const ImageDrawing *>(drawing)
                                : nullptr;
        stream << (image ? image->image() : QImage());
        return;
    }
    if (drawing && drawing->type() == Drawing::StrokeDrawingType) {
        stream << *static_cast<const StrokeDrawing *>(drawing);
        return;
    }
    // A cell without strokes of its own still pastes as a cell.
    stream << StrokeDrawing(layer.frameSize());
}

QImage pictureOf(const VisualLayer &layer, int frame)
{
    if (layer.type() == Layer::ReferenceLayerType) {
        const std::shared_ptr<LayerItem> item = layer.cell(frame);
        const Drawing *drawing = item ? item->drawing().get() : nullptr;
        if (drawing && drawing->type() == Drawing::ImageDrawingType)
            return static_cast<const ImageDrawing *>(drawing)->image();
        return {};
    }
    // Other programs get the ink as it looks on paper.
    QImage picture(layer.frameSize(), QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    layer.paint(frame, &painter, picture.rect());
    return picture;
}

} // namespace

QMimeData *Scene::copy(int layer, int firstFrame, int count)
{
    VisualLayer *visual = qobject_cast<VisualLayer *>(layerAt(layer).get());
    if (!visual || firstFrame < 1 || firstFrame > visual->frameCount())
        return nullptr;
    const int n = std::min(count, visual->frameCount() - firstFrame + 1);
    if (n < 1)
        return nullptr;
    const int lastFrame = firstFrame + n - 1;

    auto mime = std::make_unique<QMimeData>();
    // One arg() for all parts, so that a name holding "%4" stays as it is.
    const QString application = QGuiApplication::applicationDisplayName();
    const QString from = QString::number(firstFrame);
    mime->setText(n == 1 ? tr("%1 scene %2, Layer %3, frame %4").arg(application, name(), visual->name(), from)
                         : tr("%1 scene %2, Layer %3, frames %4-%5")
                               .arg(application, name(), visual->name(), from, QString::number(lastFrame)));
    const QImage picture = pictureOf(*visual, ownerFrame(*visual, firstFrame));
    if (!picture.isNull())
        mime->setImageData(picture);

    QByteArray record;
    QDataStream out(&record, QIODevice::WriteOnly);
    out << qint32(visual->type()) << qint32(n);
    QList<LayerItem::Key> written;
    for (int frame = firstFrame; frame <= lastFrame; ++frame) {
        const std::shared_ptr<LayerItem> item = visual->cell(frame);
        const LayerItem::Key key = drawingKeyOf(*visual, *visual->cell(ownerFrame(*visual, frame)));
        const bool first = !written.contains(key);
        const std::shared_ptr<Drawing> drawing = item->drawing();
        // Marked before it is written, so that the paste can tell an
        // unedited copy by it.
        if (first && drawing && drawing->copyId().isNull())
            drawing->createCopyId();

        QByteArray block;
        QDataStream cell(&block, QIODevice::WriteOnly);
        cell.setFloatingPointPrecision(QDataStream::SinglePrecision);
        cell << qint32(item->kind()) << (drawing ? drawing->copyId() : QUuid()) << qint8(first ? 1 : 0);
        if (first) {
            written.append(key);
            writeContent(cell, *visual, drawing.get());
        }
        out.writeBytes(block.constData(), uint(block.size()));
    }
    mime->setData(CellsMimeType, record);
    return mime.release();
}

int Scene::canPaste(const QMimeData *mime) const
{
    if (!mime)
        return 0;
    const int activeType = layerType(d->m_activeLayerIdx);
    if (mime->hasFormat(CellsMimeType)) {
        const ClipboardRecord record(mime->data(CellsMimeType));
        const int cells = record.cellCount();
        return cells > 0 && activeType != 0 && record.layerType() == activeType ? cells : 0;
    }
    if (mime->hasImage())
        return activeType == Layer::ReferenceLayerType ? 1 : 0;
    return 0;
}

} // namespace Model
