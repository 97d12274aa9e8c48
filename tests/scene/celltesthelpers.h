#pragma once

// Scenes whose cells can be read at a glance: every original drawing of a
// scene built here carries one dot of ink at a place of its own, named by a
// letter, so that a cell reads as its kind and the letters of the ink it
// shows ("Oa", "Ca", "Dab").

#include "drawings/strokedrawing.h"
#include "layers/layeritem.h"
#include "layers/strokelayer.h"
#include "scene/scene.h"
#include "scenetesthelpers.h"
#include "strokes/bitmapstroke.h"
#include "support/cellpattern.h"
#include "support/testsupport.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <memory>

namespace CellTest {

using CellPattern::keyOf;

// 8 dots a row, 26 letters: all inside SceneTest::FrameSize.
inline QRect inkRect(QChar letter)
{
    const int index = letter.unicode() - u'a';
    return QRect((index % 8) * 7 + 2, (index / 8) * 7 + 2, 4, 4);
}

inline std::unique_ptr<Model::Stroke> inkStroke(QChar letter)
{
    return TestSupport::bitmapStroke(inkRect(letter), 255);
}

// A stroke drawing of the test frame size with the ink of letter.
inline std::shared_ptr<Model::StrokeDrawing> inkedDrawing(QChar letter)
{
    auto drawing = std::make_shared<Model::StrokeDrawing>(SceneTest::FrameSize);
    drawing->addStroke(inkStroke(letter));
    return drawing;
}

// The letters whose dots a drawing shows, in order; "_" for none.
inline QString inkOf(const Model::Drawing *drawing)
{
    if (!drawing || drawing->type() != Model::Drawing::StrokeDrawingType)
        return QStringLiteral("_");
    const QImage &image = static_cast<const Model::StrokeDrawing *>(drawing)->image();
    QString letters;
    for (char16_t c = u'a'; c <= u'z'; ++c) {
        const QPoint centre = inkRect(QChar(c)).center();
        if (!image.isNull() && image.rect().contains(centre) && qAlpha(image.pixel(centre)) > 0)
            letters += QChar(c);
    }
    return letters.isEmpty() ? QStringLiteral("_") : letters;
}

inline QString describeLayer(const Model::Scene &scene, int layer)
{
    QStringList cells;
    for (int frame = 1; frame <= scene.layerFrameCount(layer); ++frame) {
        const std::shared_ptr<Model::LayerItem> item = scene.itemAt(layer, frame);
        if (!item)
            return {};
        cells.append(QString(QStringLiteral("OCD").at(item->kind())) + inkOf(item->drawing().get()));
    }
    return cells.join(u' ');
}

// Every visual layer, " | " between layers.
inline QString describe(const Model::Scene &scene)
{
    QStringList layers;
    for (int layer = 0; layer < scene.layerCount(); ++layer) {
        if (scene.isVisualLayer(layer))
            layers.append(describeLayer(scene, layer));
    }
    return layers.join(QStringLiteral(" | "));
}

// Makes (layer, frame) a distant clone of (originalLayer, originalFrame), with
// both ends of the link, as a scene file would leave them.
inline void linkByHand(Model::Scene &scene, int layer, int frame, int originalLayer, int originalFrame)
{
    const std::shared_ptr<Model::LayerItem> item = scene.itemAt(layer, frame);
    const std::shared_ptr<Model::LayerItem> original = scene.itemAt(originalLayer, originalFrame);
    item->setKind(Model::LayerItem::DistantCloneKind);
    item->setDrawing(original->drawing());
    item->setOriginal(keyOf(scene, originalLayer, originalFrame));
    QList<Model::LayerItem::Key> keys = original->distantClones();
    keys.append(keyOf(scene, layer, frame));
    original->setDistantClones(keys);
    scene.propagateToFollowingClones(frame, layer);
}

// Stroke layers of the patterns ('X' an original, '-' a hold), then the
// links ("1.3>0.1": frame 3 of layer 1 is a distant clone of frame 1 of
// layer 0), then ink: the originals get the letters a, b, c... layer by
// layer, frame by frame.
inline void buildScene(Model::Scene &scene, const QStringList &patterns, const QString &links = {})
{
    for (const QString &pattern : patterns)
        SceneTest::addStrokeLayer(scene, pattern);
    for (const QString &link : links.split(u',', Qt::SkipEmptyParts)) {
        const QStringList ends = link.split(u'>');
        const QStringList cell = ends.at(0).split(u'.');
        const QStringList original = ends.at(1).split(u'.');
        linkByHand(scene, cell.at(0).toInt(), cell.at(1).toInt(), original.at(0).toInt(), original.at(1).toInt());
    }
    char16_t letter = u'a';
    for (int layer = 0; layer < scene.layerCount(); ++layer) {
        auto *strokeLayer = qobject_cast<Model::StrokeLayer *>(scene.layerAt(layer).get());
        for (int frame = 1; strokeLayer && frame <= strokeLayer->frameCount(); ++frame) {
            if (strokeLayer->isOriginal(frame))
                strokeLayer->addStroke(frame, inkStroke(QChar(letter++)));
        }
    }
}

// Empty while every hold shares the drawing before it and both ends of
// every distant-clone link agree and share one drawing, each link listed
// once.
inline QString linkFault(const Model::Scene &scene)
{
    using Model::LayerItem;
    for (int layer = 0; layer < scene.layerCount(); ++layer) {
        for (int frame = 1; scene.isVisualLayer(layer) && frame <= scene.layerFrameCount(layer); ++frame) {
            const std::shared_ptr<LayerItem> item = scene.itemAt(layer, frame);
            const QString where = QStringLiteral("frame %1 of layer %2: ").arg(frame).arg(layer);
            const Model::Scene::DrawingKey own = keyOf(scene, layer, frame);
            if (item->kind() == LayerItem::CloneKind && frame > 1
                && item->drawing() != scene.itemAt(layer, frame - 1)->drawing())
                return where + QStringLiteral("a hold that does not share the drawing before it");
            if (item->kind() == LayerItem::DistantCloneKind) {
                const auto original = scene.findDrawing({item->originalLayer(), item->originalItem()});
                if (!original || original->kind() != LayerItem::OriginalKind)
                    return where + QStringLiteral("a distant clone without an original");
                if (!original->distantClones().contains(own))
                    return where + QStringLiteral("a distant clone that its original does not list");
                if (original->drawing() != item->drawing())
                    return where + QStringLiteral("a distant clone with a drawing of its own");
            }
            if (item->kind() != LayerItem::OriginalKind && !item->distantClones().isEmpty())
                return where + QStringLiteral("distant clones listed by a cell that is no original");
            if (item->distantClones().contains(own))
                return where + QStringLiteral("an original that lists itself");
            for (const LayerItem::Key &key : item->distantClones()) {
                if (item->distantClones().count(key) > 1)
                    return where + QStringLiteral("a distant clone listed more than once");
                const auto clone = scene.findDrawing(key);
                if (!clone || clone->kind() != LayerItem::DistantCloneKind
                    || Model::Scene::DrawingKey(clone->originalLayer(), clone->originalItem()) != own)
                    return where + QStringLiteral("a listed distant clone that does not name it");
            }
        }
    }
    return {};
}

// (frame, layer) pairs as "frame.layer", space-separated.
inline QString cellsText(const QList<std::pair<int, int>> &cells)
{
    QStringList parts;
    for (const auto &[frame, layer] : cells)
        parts.append(QStringLiteral("%1.%2").arg(frame).arg(layer));
    return parts.join(u' ');
}

} // namespace CellTest
