#pragma once

// Two ways of writing a scene down, for tests that take it through edits and
// back and must find it as it was: a readable description whose names stay
// comparable between two states of one scene, and a byte record of it all,
// identifiers included, to compare for identity.

#include "drawings/imagedrawing.h"
#include "drawings/strokedrawing.h"
#include "layers/annotationlayer.h"
#include "layers/layeritem.h"
#include "layers/visuallayer.h"
#include "scene/scene.h"
#include "support/testsupport.h"

#include <QByteArray>
#include <QDataStream>
#include <QHash>
#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTransform>
#include <QUuid>

#include <algorithm>
#include <memory>

namespace SceneRecord {

// Every cell of every visual layer, item by item, with the links spelled out.
// Items and layers are named by the order in which a test first met their
// identifiers, so that two states of one scene compare; drawings by the
// order in which this state shows them, so that sharing compares.
class Describer
{
public:
    QString describe(const Model::Scene &scene)
    {
        QHash<const Model::Drawing *, int> drawings;
        QStringList lines;
        for (int i = 0; i < scene.layerCount(); ++i) {
            const auto layer = std::dynamic_pointer_cast<Model::VisualLayer>(scene.layerAt(i));
            if (!layer)
                continue;
            QStringList cells;
            for (const auto &item : layer->cells()) {
                const Model::Drawing *drawing = item->drawing().get();
                if (!drawings.contains(drawing))
                    drawings.insert(drawing, int(drawings.size()));
                QString text = QStringLiteral("#%1 k%2 d%3%4").arg(name(item->identifier())).arg(item->kind())
                                   .arg(drawings.value(drawing)).arg(content(drawing));
                const QTransform t = item->offPegsTransform();
                if (!t.isIdentity())
                    text += QStringLiteral(" t%1,%2").arg(t.dx()).arg(t.dy());
                if (item->isKeyDrawing())
                    text += QStringLiteral(" key");
                QStringList keys;
                for (const auto &key : item->distantClones())
                    keys << this->key(key);
                // Applying appends a link it restores: the order may differ,
                // the set of distant clones may not.
                keys.sort();
                if (!keys.isEmpty())
                    text += QStringLiteral(" [%1]").arg(keys.join(u','));
                if (!item->originalItem().isNull())
                    text += QStringLiteral(" <%1").arg(key({item->originalLayer(), item->originalItem()}));
                cells << text;
            }
            lines << QStringLiteral("L%1: %2").arg(name(layer->identifier())).arg(cells.join(QStringLiteral(" | ")));
        }
        return lines.join(u'\n');
    }

private:
    int name(const QUuid &id)
    {
        if (!m_names.contains(id))
            m_names.insert(id, int(m_names.size()));
        return m_names.value(id);
    }

    QString key(const Model::LayerItem::Key &key)
    {
        return QStringLiteral("%1/%2").arg(name(key.first)).arg(name(key.second));
    }

    static QString content(const Model::Drawing *drawing)
    {
        if (!drawing)
            return QStringLiteral("null");
        const auto *strokes = dynamic_cast<const Model::StrokeDrawing *>(drawing);
        return QStringLiteral("'%1'%2").arg(drawing->name()).arg(strokes ? strokes->root().memberCount() : -1);
    }

    QHash<QUuid, int> m_names;
};

// The frame range, the active cell, and every layer with its properties and
// cells: identifiers, kinds, placements, key marks, links (distant clones as
// a set), which cells share a drawing, and each drawing's name, copy id and
// full record (strokes and cached image), as the clipboard and files carry
// drawings. Annotation frames are written up to the last one that holds a
// picture: a frame that was written and then cleared again shows nothing.
inline QByteArray bytes(const Model::Scene &scene)
{
    QByteArray record;
    QDataStream out(&record, QIODevice::WriteOnly);
    TestSupport::prepareRecordStream(out);
    out << scene.frameRangeFirst() << scene.frameRangeLast() << scene.activeFrame() << scene.activeLayerIdx()
        << scene.maximumFrameNumber() << scene.frameSize() << scene.layerOrdering();

    QHash<const Model::Drawing *, int> drawings;
    for (int i = 0; i < scene.layerCount(); ++i) {
        const std::shared_ptr<Model::Layer> layer = scene.layerAt(i);
        out << layer->identifier() << qint32(layer->type()) << layer->name() << layer->isLinked();
        if (const auto *annotations = qobject_cast<const Model::AnnotationLayer *>(layer.get())) {
            int last = annotations->imageCount();
            while (last > 0 && annotations->image(last).isNull())
                --last;
            out << qint32(last);
            for (int frame = 1; frame <= last; ++frame)
                out << annotations->image(frame);
        }
        const auto *visual = qobject_cast<const Model::VisualLayer *>(layer.get());
        if (!visual)
            continue;
        out << visual->isVisible() << visual->opacity() << qint32(scene.layerBeyondLast(i))
            << qint32(visual->frameCount());
        for (const auto &item : visual->cells()) {
            // A set: putting a link back may append it.
            QList<Model::LayerItem::Key> clones = item->distantClones();
            std::sort(clones.begin(), clones.end());
            out << item->identifier() << qint32(item->kind()) << item->offPegsTransform() << item->isKeyDrawing()
                << item->originalLayer() << item->originalItem() << qint32(clones.size());
            for (const auto &key : std::as_const(clones))
                out << key.first << key.second;
            const Model::Drawing *drawing = item->drawing().get();
            if (!drawing) {
                out << qint32(-1);
                continue;
            }
            const bool first = !drawings.contains(drawing);
            if (first)
                drawings.insert(drawing, int(drawings.size()));
            out << qint32(drawings.value(drawing));
            if (!first)
                continue;
            out << drawing->name() << drawing->copyId() << qint32(drawing->type());
            if (const auto *strokes = dynamic_cast<const Model::StrokeDrawing *>(drawing))
                out << *strokes;
            else if (const auto *picture = dynamic_cast<const Model::ImageDrawing *>(drawing))
                out << picture->image();
        }
    }
    return record;
}

} // namespace SceneRecord
