// The cell clipboard's record: Scene::canPaste, which checks it whenever the
// clipboard changes, and ClipboardRecord, through which a paste reads the
// cells and their drawings, then the pasted drawings fitted to the scene's
// frame and shown as the exposure sheet and the paper show them.

#include "fuzztarget.h"

#include "drawings/strokedrawing.h"
#include "layers/layeritem.h"
#include "layers/referencelayer.h"
#include "layers/strokelayer.h"
#include "scene/clipboardrecord.h"
#include "scene/scene.h"
#include "strokes/bitmapstroke.h"

#include <QMimeData>
#include <QPainter>

#include <memory>

namespace {

const QSize FrameSize(64, 36);

// A stroke layer with a drawing and its hold, and a reference layer of two
// pictures.
void buildScene(Model::Scene &scene)
{
    scene.setFrameSize(FrameSize, KL::FitMode::FitModeIgnore);
    auto strokes = std::make_shared<Model::StrokeLayer>(Qt::darkBlue, FrameSize, &scene);
    strokes->insertCell(0, strokes->newCell());
    strokes->insertCell(1, std::make_shared<Model::LayerItem>(strokes->cell(1)));
    auto drawing = std::static_pointer_cast<Model::StrokeDrawing>(strokes->cell(1)->drawing());
    QImage dot(4, 4, QImage::Format_Alpha8);
    dot.fill(255);
    drawing->addStroke(std::make_unique<Model::BitmapStroke>(dot, QRect(10, 10, 4, 4)));
    QImage picture(8, 6, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    auto pictures = std::make_shared<Model::ReferenceLayer>(FrameSize, &scene);
    for (int i = 0; i < 2; ++i)
        pictures->insertCell(i, std::make_shared<Model::LayerItem>(picture));
    scene.insertLayer(strokes, 0);
    scene.insertLayer(pictures, 1);
    scene.updateMaxFrameNumber();
    scene.setFrameRange(1, scene.maximumFrameNumber(), 1, 0);
}

} // namespace

void Fuzz::testOneInput(const QByteArray &input)
{
    Model::Scene scene;
    buildScene(scene);
    QMimeData mime;
    mime.setData(Model::Scene::CellsMimeType, input);
    const int strokeCells = scene.canPaste(&mime);
    scene.setActiveFrameAndLayer(1, 1, Model::Scene::ClampToDrawings);
    const int pictureCells = scene.canPaste(&mime);

    const Model::ClipboardRecord record(input);
    expect(qMax(strokeCells, pictureCells) == 0 || qMax(strokeCells, pictureCells) == record.cellCount(),
           "canPaste counts the record's cells");
    const QList<QRgb> table = colourTable(qRgb(0, 0, 0));
    for (int i = 0; i < record.cellCount(); ++i) {
        const Model::ClipboardRecord::Cell cell = record.cell(i);
        expect(!cell.drawing || cell.hasContent, "only a block with content carries a drawing");
        if (!cell.drawing)
            continue;
        cell.drawing->thumbnail(QSize(40, 24), table);
        QImage paper(FrameSize, QImage::Format_ARGB32_Premultiplied);
        paper.fill(Qt::white);
        if (cell.drawing->type() == Model::Drawing::StrokeDrawingType) {
            // Pasted, it becomes a drawing of the scene's frame.
            auto &strokes = static_cast<Model::StrokeDrawing &>(*cell.drawing);
            strokes.adoptFrame(FrameSize);
            expect(strokes.size() == FrameSize, "a pasted drawing takes the scene's frame");
            expect(strokes.image().isNull() || strokes.image().size() == FrameSize,
                   "a pasted drawing's image covers the scene's frame");
            QPainter painter(&paper);
            strokes.paint(&painter, table, paper.rect());
        }
    }
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
