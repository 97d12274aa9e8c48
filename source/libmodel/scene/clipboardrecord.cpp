#include "clipboardrecord.h"

#include "drawings/imagedrawing.h"
#include "drawings/strokedrawing.h"
#include "io/sceneformat.h"
#include "layers/layer.h"
#include "layers/layeritem.h"
#include "strokes/decodebudget.h"

#include <QDataStream>
#include <QIODevice>
#include <QImage>
#include <QList>
#include <QSize>

namespace Model {

namespace {

struct Block
{
    qint64 offset = 0;
    qint64 length = 0;
};

// A block's head: kind, copy id, content flag. Drawings travel with single
// precision floats inside their blocks.
struct BlockHead
{
    qint32 kind = -1;
    QUuid copyId;
    qint8 hasContent = -1;
};

BlockHead readHead(QDataStream &block)
{
    block.setFloatingPointPrecision(QDataStream::SinglePrecision);
    BlockHead head;
    block >> head.kind >> head.copyId >> head.hasContent;
    return head;
}

// A stroke drawing's record opens with its frame size. Every drawing the
// program copies has the frame of a scene, whose sides the scene file
// bounds; one that claims more would take seconds and gigabytes to read
// and paste, for a few bytes of record. Looked at before anything is read.
bool hasPossibleFrame(QDataStream &content)
{
    QSize size;
    content >> size;
    return content.status() == QDataStream::Ok && size.width() <= SceneFormat::MaximumFrameSide
        && size.height() <= SceneFormat::MaximumFrameSide;
}

} // namespace

class ClipboardRecordPrivate
{
public:
    QByteArray m_record;
    qint32 m_layerType = 0;
    QList<Block> m_blocks;
};

ClipboardRecord::ClipboardRecord(const QByteArray &record)
    : d(std::make_unique<ClipboardRecordPrivate>())
{
    QDataStream in(record);
    qint32 type = 0;
    qint32 count = 0;
    in >> type >> count;
    // A block takes its four-byte length at least: a larger count is damage,
    // caught before any work is done for it.
    if (in.status() != QDataStream::Ok || count < 1 || count > (record.size() - 8) / 4)
        return;

    QList<Block> blocks;
    QList<QUuid> carried;
    for (qint32 i = 0; i < count; ++i) {
        quint32 length = 0;
        in >> length;
        if (in.status() != QDataStream::Ok || length > quint64(in.device()->bytesAvailable()))
            return;
        const Block block{in.device()->pos(), qint64(length)};
        QDataStream head(QByteArray::fromRawData(record.constData() + block.offset, block.length));
        const BlockHead fields = readHead(head);
        if (head.status() != QDataStream::Ok || fields.kind < LayerItem::OriginalKind
            || fields.kind > LayerItem::DistantCloneKind)
            return;
        if (fields.hasContent == 1 && !head.atEnd()) {
            if (type == Layer::StrokeLayerType && !hasPossibleFrame(head))
                return;
            carried.append(fields.copyId);
        } else if (fields.hasContent != 0 || !carried.contains(fields.copyId)) {
            return;
        }
        if (in.skipRawData(int(length)) != qint64(length))
            return;
        blocks.append(block);
    }
    // Bytes after the last block belong to no cell: the record is not what
    // it claims to be.
    if (!in.atEnd())
        return;
    d->m_record = record;
    d->m_layerType = type;
    d->m_blocks = blocks;
}

ClipboardRecord::~ClipboardRecord() = default;

int ClipboardRecord::layerType() const
{
    return d->m_layerType;
}

int ClipboardRecord::cellCount() const
{
    return int(d->m_blocks.size());
}

ClipboardRecord::Cell ClipboardRecord::cell(int index, std::optional<QSize> frame) const
{
    if (index < 0 || index >= cellCount())
        return {};
    const Block &block = d->m_blocks.at(index);
    QDataStream in(QByteArray::fromRawData(d->m_record.constData() + block.offset, block.length));
    const BlockHead head = readHead(in);
    Cell cell;
    cell.kind = head.kind;
    cell.copyId = head.copyId;
    cell.hasContent = head.hasContent == 1;
    if (!cell.hasContent)
        return cell;

    if (d->m_layerType == Layer::ReferenceLayerType) {
        // A blank cell travels as a null picture.
        QImage image;
        in >> image;
        if (in.status() == QDataStream::Ok)
            cell.drawing = std::make_shared<ImageDrawing>(image);
    } else {
        // The frame size comes with the record.
        auto drawing = std::make_shared<StrokeDrawing>(QSize());
        // Hears of the collapsed strokes that lost their pictures.
        const DecodeBudget losses(DecodeBudget::unboundedBytes);
        if (frame)
            drawing->readFitted(in, *frame);
        else
            in >> *drawing;
        cell.unreadablePictures = losses.losses();
        if (in.status() == QDataStream::Ok)
            cell.drawing = std::move(drawing);
    }
    cell.damaged = !cell.drawing;
    return cell;
}

} // namespace Model
