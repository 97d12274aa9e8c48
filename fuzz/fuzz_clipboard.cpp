// The cell clipboard's record: Scene::canPaste, which checks it whenever the
// clipboard changes, then the paste as the window runs it: the command reads
// the record once, each drawing as one of the scene's frame, and pastes it
// onto the first cell of a layer; then what the exposure sheet and the paper
// show of the pasted cells, and undo and redo. All of it in a small scene
// and in one of the default frame, full HD.

#include "fuzztarget.h"

#include "pastecommands.h"

#include "drawings/strokedrawing.h"
#include "layers/layeritem.h"
#include "layers/referencelayer.h"
#include "layers/strokelayer.h"
#include "scene/clipboardrecord.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"
#include "strokes/bitmapstroke.h"

#include <QMimeData>
#include <QPainter>
#include <QUndoStack>

#include <memory>

namespace {

const QSize FrameSize(64, 36);

// A stroke layer with a drawing and its hold, and a reference layer of two
// pictures.
void buildScene(Model::Scene &scene, QSize frame = FrameSize)
{
    scene.setFrameSize(frame, KL::FitMode::FitModeIgnore);
    auto strokes = std::make_shared<Model::StrokeLayer>(Qt::darkBlue, frame, &scene);
    strokes->insertCell(0, strokes->newCell());
    strokes->insertCell(1, std::make_shared<Model::LayerItem>(strokes->cell(1)));
    auto drawing = std::static_pointer_cast<Model::StrokeDrawing>(strokes->cell(1)->drawing());
    QImage dot(4, 4, QImage::Format_Alpha8);
    dot.fill(255);
    drawing->addStroke(std::make_unique<Model::BitmapStroke>(dot, QRect(10, 10, 4, 4)));
    QImage picture(8, 6, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    auto pictures = std::make_shared<Model::ReferenceLayer>(frame, &scene);
    for (int i = 0; i < 2; ++i)
        pictures->insertCell(i, std::make_shared<Model::LayerItem>(picture));
    scene.insertLayer(strokes, 0);
    scene.insertLayer(pictures, 1);
    scene.updateMaxFrameNumber();
    scene.setFrameRange(1, scene.maximumFrameNumber(), 1, 0);
}

void pasteInto(const QByteArray &input, QSize frameSize)
{
    using Fuzz::expect;
    Model::KLScene handle;
    Model::Scene &scene = *handle.scene();
    buildScene(scene, frameSize);
    QMimeData mime;
    mime.setData(Model::Scene::CellsMimeType, input);
    const int strokeCells = scene.canPaste(&mime);
    scene.setActiveFrameAndLayer(1, 1, Model::Scene::ClampToDrawings);
    const int pictureCells = scene.canPaste(&mime);

    const Model::ClipboardRecord record(input);
    expect(qMax(strokeCells, pictureCells) == 0 || qMax(strokeCells, pictureCells) == record.cellCount(),
           "canPaste counts the record's cells");
    // The window offers no paste of a record without cells.
    if (record.cellCount() == 0)
        return;

    const QList<QRgb> table = Fuzz::colourTable(qRgb(0, 0, 0));
    for (int layer = 0; layer < scene.layerCount(); ++layer) {
        const int before = scene.layerFrameCount(layer);
        auto *paste = new Commands::PasteDrawing(&handle, handle.sceneModel()->index(0, layer), &mime);
        const bool refused = paste->isObsolete();
        expect(paste->errorString().isEmpty() || refused, "a paste with a reason to refuse is refused");
        scene.undoStack()->push(paste);
        if (refused) {
            expect(scene.layerFrameCount(layer) == before, "a refused paste changes nothing");
            continue;
        }
        const int pasted = record.cellCount();
        expect(scene.layerFrameCount(layer) == before + pasted, "a paste inserts a cell for each cell copied");
        QImage paper(frameSize, QImage::Format_ARGB32_Premultiplied);
        paper.fill(Qt::white);
        QPainter painter(&paper);
        for (int frame = 1; frame <= pasted; ++frame) {
            const std::shared_ptr<Model::LayerItem> item = scene.itemAt(layer, frame);
            const auto *strokes = item ? dynamic_cast<const Model::StrokeDrawing *>(item->drawing().get()) : nullptr;
            if (strokes) {
                expect(strokes->size() == frameSize, "a pasted drawing takes the scene's frame");
                expect(strokes->image().isNull() || strokes->image().size() == frameSize,
                       "a pasted drawing's image covers the scene's frame");
                strokes->paint(&painter, table, paper.rect());
            }
            scene.layerImage(frame, layer, QSize(40, 24));
        }
        painter.end();
        scene.undoStack()->undo();
        expect(scene.layerFrameCount(layer) == before, "undo takes the pasted cells away");
        scene.undoStack()->redo();
        expect(scene.layerFrameCount(layer) == before + pasted, "redo pastes them again");
        scene.undoStack()->undo();
    }
}

} // namespace

void Fuzz::testOneInput(const QByteArray &input)
{
    pasteInto(input, FrameSize);
    pasteInto(input, QSize(1920, 1080));
}

QList<QByteArray> Fuzz::seeds()
{
    Model::Scene scene;
    buildScene(scene);
    QList<QByteArray> seeds;
    // A drawing and its hold; both pictures.
    for (int layer = 0; layer < 2; ++layer) {
        const std::unique_ptr<QMimeData> mime(scene.copy(layer, 1, 2));
        seeds.append(mime->data(Model::Scene::CellsMimeType));
    }
    return seeds;
}
