#pragma once

// The exposure sheet over a scene written as cell patterns (see
// support/cellpattern.h), with the scene current and its active cell
// following the sheet's current cell as the main window makes it follow;
// and gestures given as lists of points in the sheet's viewport.

#include "xsheet/xsheet.h"

#include "scene/framerangemodel.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"
#include "support/cellpattern.h"
#include "support/widgetevents.h"

#include <QItemSelectionModel>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QUndoStack>

#include <functional>
#include <memory>

namespace SheetTest {

struct Sheet
{
    // The layers as CellPattern::build takes them; the sheet is tall enough
    // for every row, so nothing scrolls.
    explicit Sheet(const QStringList &layers, QSize size = QSize(700, 560))
        : handle(std::make_unique<Model::KLScene>())
    {
        scene()->setFrameSize(CellPattern::FrameSize, KL::FitMode::FitModeStretch);
        CellPattern::build(*scene(), layers);
        Model::KLScene::setCurrent(handle.get());
        view.setEnableVerticalScrollAnimation(false);
        view.setModel(handle->frameRangeModel());
        view.setSelectionModel(handle->selectionModel());
        QObject::connect(handle->selectionModel(), &QItemSelectionModel::currentChanged, handle.get(),
                         [this](const QModelIndex &current) {
                             const QModelIndex cell = model()->mapToSource(current);
                             if (cell.isValid())
                                 scene()->setActiveFrameAndLayer(cell.row() + 1, cell.column(),
                                                                 Model::Scene::AllowFrameAfterLast);
                         });
        view.resize(size);
        view.show();
    }

    ~Sheet() { Model::KLScene::setCurrent(nullptr); }

    Model::Scene *scene() const { return handle->scene(); }
    Model::FrameRangeModel *model() const { return handle->frameRangeModel(); }
    QUndoStack *stack() const { return scene()->undoStack(); }
    QWidget *viewport() const { return view.viewport(); }

    // The sheet's cell of a frame (proxy row frame - first frame).
    QModelIndex cell(int frame, int layer) const
    {
        return model()->index(frame - model()->firstFrame(), layer);
    }

    // The middle of a cell's painted area, also for a row without a cell.
    QPointF centre(int frame, int layer) const
    {
        const int row = frame - model()->firstFrame();
        const QRect top = view.visualRect(model()->index(0, layer));
        return QPointF(top.center().x(), top.top() + 6 + (row + 0.5) * view.rowHeight());
    }

    // The scene's cells, layer by layer.
    QString cells() const
    {
        QStringList layers;
        for (int layer = 0; layer < scene()->layerCount(); ++layer)
            layers.append(CellPattern::cells(*scene(), layer));
        return layers.join(u'|');
    }

    // Where the scene's active cell is, as "frame.layer".
    QString active() const
    {
        return QStringLiteral("%1.%2").arg(scene()->activeFrame()).arg(scene()->activeLayerIdx());
    }

    std::unique_ptr<Model::KLScene> handle;
    UI::XSheet view;
};

// A press at the first point, moves with the button held through the others
// and a release at the last, with the modifiers held until then and those
// at the release; what happens meanwhile comes just before the release.
inline void drag(QWidget *widget, const QList<QPointF> &points, Qt::KeyboardModifiers held = Qt::NoModifier,
                 Qt::KeyboardModifiers atRelease = Qt::NoModifier, const std::function<void()> &meanwhile = {})
{
    using TestSupport::sendMouseEvent;
    sendMouseEvent(widget, QEvent::MouseButtonPress, points.first(), Qt::LeftButton, Qt::LeftButton, held);
    for (const QPointF &point : points)
        sendMouseEvent(widget, QEvent::MouseMove, point, Qt::NoButton, Qt::LeftButton, held);
    if (meanwhile)
        meanwhile();
    sendMouseEvent(widget, QEvent::MouseButtonRelease, points.last(), Qt::LeftButton, Qt::NoButton, atRelease);
}

// The points of a vertical drag from a cell's centre through the given row
// offsets, the last of which is where it is let go.
inline QList<QPointF> rowPath(const Sheet &sheet, int frame, int layer, const QList<int> &offsets)
{
    const QPointF from = sheet.centre(frame, layer);
    QList<QPointF> points{from};
    for (int offset : offsets)
        points.append(from + QPointF(0, offset * sheet.view.rowHeight()));
    return points;
}

} // namespace SheetTest
