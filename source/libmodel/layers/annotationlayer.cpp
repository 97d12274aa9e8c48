#include "layers/annotationlayer.h"

#include <QColor>
#include <QList>
#include <QRgb>

namespace Model {

namespace {

// A warm grey that reads on the exposure sheet without competing with the
// layer colours: entry i is that grey at alpha i.
const QList<QRgb> &noteColorTable()
{
    static const QList<QRgb> table = [] {
        QList<QRgb> colors;
        colors.reserve(256);
        QColor grey(185, 183, 181);
        for (int a = 0; a < 256; ++a) {
            grey.setAlpha(a);
            colors.append(grey.rgba());
        }
        return colors;
    }();
    return table;
}

} // namespace

class AnnotationLayerPrivate
{
public:
    QList<QImage> m_images;

    // Null frames up to frame, so that frame can be addressed.
    void padTo(int frame)
    {
        while (m_images.size() < frame)
            m_images.append(QImage());
    }
};

AnnotationLayer::AnnotationLayer(QObject *parent)
    : Layer(parent)
    , d(std::make_unique<AnnotationLayerPrivate>())
{
}

AnnotationLayer::~AnnotationLayer() = default;

int AnnotationLayer::type() const
{
    return AnnotationLayerType;
}

Layer *AnnotationLayer::clone() const
{
    return nullptr;
}

int AnnotationLayer::frameCount() const
{
    return 0;
}

bool AnnotationLayer::hasFrame(int) const
{
    return false;
}

void AnnotationLayer::insertFrame(int n)
{
    // After frame 0 is at the very start, as for the cells of a linked
    // layer: refusing it would leave the notes where the frames moved.
    if (n < 0)
        return;
    d->padTo(n);
    d->m_images.insert(n, QImage());
}

void AnnotationLayer::extendFrame(int n)
{
    insertFrame(n);
}

QList<LayerChange> AnnotationLayer::removeFrame(int frame)
{
    if (frame < 1 || frame > d->m_images.size())
        return {};
    LayerChange change;
    change.setKind(LayerChange::InsertImage);
    change.setIndex(frame);
    change.setImage(d->m_images.takeAt(frame - 1));
    return {change};
}

QList<std::pair<int, int>> AnnotationLayer::applyChange(const LayerChange &change, int layer)
{
    // The records of these steps would only redo what is being undone.
    switch (change.kind()) {
    case LayerChange::InsertImage:
        insertImage(change.index(), change.image().copy());
        break;
    case LayerChange::PutImageBack:
        setImage(change.index(), change.image().copy());
        break;
    case LayerChange::RemoveImage:
        removeFrame(change.index());
        break;
    default:
        return Layer::applyChange(change, layer);
    }
    return {{change.index(), layer}};
}

int AnnotationLayer::imageCount() const
{
    return int(d->m_images.size());
}

void AnnotationLayer::appendImage(const QImage &image)
{
    d->m_images.append(image);
}

QImage AnnotationLayer::image(int frame) const
{
    if (frame < 1 || frame > d->m_images.size())
        return {};
    return d->m_images.at(frame - 1);
}

QList<LayerChange> AnnotationLayer::insertImage(int frame, const QImage &image)
{
    if (frame < 1)
        return {};
    d->padTo(frame);
    d->m_images.insert(frame - 1, image);
    LayerChange change;
    change.setKind(LayerChange::RemoveImage);
    change.setIndex(frame);
    return {change};
}

QList<LayerChange> AnnotationLayer::setImage(int frame, const QImage &image)
{
    if (frame < 1)
        return {};
    d->padTo(frame);
    LayerChange change;
    change.setKind(LayerChange::PutImageBack);
    change.setIndex(frame);
    change.setImage(d->m_images.at(frame - 1));
    d->m_images[frame - 1] = image;
    return {change};
}

QImage AnnotationLayer::thumbnail(int frame, const QSize &size) const
{
    return colouredNote(image(frame), size);
}

QImage AnnotationLayer::colouredNote(QImage note, const QSize &size)
{
    if (note.isNull())
        return {};
    // The bytes are read as one byte per pixel; a note in any other depth is
    // brought to that first.
    if (note.depth() != 8)
        note = note.convertToFormat(QImage::Format_Alpha8);
    QImage view(note.constBits(), note.width(), note.height(), note.bytesPerLine(),
                QImage::Format_Indexed8);
    view.setColorTable(noteColorTable());
    return view.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace Model
