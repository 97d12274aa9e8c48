#pragma once

// Scenes for the command tests: a scene handle built from the ink-letter
// patterns of the scene tests ('X' an original with a dot of ink of its own,
// '-' a hold), cells picked by frame, the current cell, and the record of
// all that an undo must give back, floating selection included.

#include "clonecommands.h"
#include "drawingcellcommands.h"
#include "scene/celltesthelpers.h"
#include "scene/framerangemodel.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"
#include "settings/settings.h"
#include "support/scenerecord.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QList>
#include <QModelIndex>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTranslator>
#include <QUndoCommand>

#include <memory>

namespace CommandTest {

// A handle of a scene of the test frame size, its range over all frames,
// frame 1 of layer 0 current. links as CellTest::buildScene takes them.
inline std::unique_ptr<Model::KLScene> makeScene(const QStringList &patterns, const QString &links = {})
{
    auto handle = std::make_unique<Model::KLScene>();
    Model::Scene *scene = handle->scene();
    scene->setFrameSize(SceneTest::FrameSize, KL::FitMode::FitModeStretch);
    CellTest::buildScene(*scene, patterns, links);
    scene->updateMaxFrameNumber();
    scene->setFrameRange(1, scene->maximumFrameNumber(), 1, 0);
    return handle;
}

// Preferences of their own for every test function.
inline void resetPreferences()
{
    QSettings().clear();
    Model::Settings::instance()->load();
}

inline QModelIndex cellAt(const Model::KLScene &handle, int frame, int layer)
{
    return handle.sceneModel()->index(frame - 1, layer);
}

inline QModelIndexList cellsAt(const Model::KLScene &handle, const QList<int> &frames, int layer)
{
    QModelIndexList cells;
    for (int frame : frames)
        cells.append(cellAt(handle, frame, layer));
    return cells;
}

// The exposure sheet's current cell follows the active cell.
inline void makeCurrent(Model::KLScene &handle, int frame, int layer)
{
    handle.scene()->setActiveFrameAndLayer(frame, layer, Model::Scene::AllowFrameAfterLast);
}

inline QString describe(const Model::KLScene &handle)
{
    return CellTest::describe(*handle.scene());
}

// The scene's record and the floating selection's content and placement.
inline QByteArray record(const Model::KLScene &handle)
{
    QByteArray bytes = SceneRecord::bytes(*handle.scene());
    QDataStream out(&bytes, QIODevice::Append);
    const Model::FloatingSelection *floating = handle.floatingSelection();
    out << bool(floating);
    if (floating) {
        const Model::FloatingSelection::Transform placement = floating->transform();
        out << floating->rect() << floating->opacity() << placement.first << placement.second << placement.third
            << placement.center;
    }
    return bytes;
}

// The commands that rearrange cells, by name, as the edit actions and the
// exposure sheet build them: on the selected cells, or, when the name ends in
// " (cell)", on the first of them with the one-cell constructor; values give
// the count, or the slide's distance, smallest and largest distance. The
// commands on the scene directly work at its active cell.
inline QUndoCommand *cellCommand(Model::KLScene &handle, QString name, const QModelIndexList &cells,
                                 const QList<int> &values = {})
{
    using namespace Commands;
    Model::KLScene *scene = &handle;
    const int count = values.value(0, 1);
    // Every command with both constructors, on either kind of target.
    const auto either = [&](const auto &target) -> QUndoCommand * {
        if (name == u"add blank")
            return new AddBlankDrawing(scene, target);
        if (name == u"insert blank")
            return new InsertBlankDrawing(scene, target);
        if (name == u"duplicate")
            return new DuplicateDrawing(scene, target);
        if (name == u"clear")
            return new ClearDrawingMakingBlank(scene, target);
        if (name == u"lose")
            return new LoseDrawingMakingHold(scene, target);
        if (name == u"turn into original")
            return new TurnCloneIntoOriginal(scene, target);
        if (name == u"discard")
            return new DiscardDrawing(scene, target);
        if (name == u"discard clone")
            return new DeleteCloneDrawing(scene, target);
        if (name == u"add clones")
            return new AddCloneDrawings(scene, target, count);
        return nullptr;
    };
    if (name.endsWith(QStringLiteral(" (cell)"))) {
        name.chop(7);
        return either(cells.value(0));
    }
    if (QUndoCommand *command = either(cells))
        return command;
    if (name == u"clone each")
        return new CloneEachSelectedDrawingOnce(scene, cells);
    if (name == u"cycle")
        return new CycleSelectedDrawingsOnce(scene, cells);
    if (name == u"discard clones")
        return new DiscardCloneDrawings(handle.scene(), count);
    if (name == u"slide")
        return new SlideOriginalDrawing(handle.scene(), values.value(0), values.value(1), values.value(2));
    if (name == u"mark")
        return new MarkAsKeyDrawing(handle.scene(), true);
    if (name == u"unmark")
        return new MarkAsKeyDrawing(handle.scene(), false);
    if (name == u"unmark all")
        return new UnmarkAllKeyDrawings(handle.scene());
    return nullptr;
}

// Shows what every translation was asked for, as
// "source|disambiguation|n", so that tests can read the arguments back.
class TextRecorder : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *disambiguation,
                      int n) const override
    {
        if (qstrcmp(context, "QObject") != 0)
            return {};
        return QStringLiteral("%1|%2|%3")
            .arg(QString::fromUtf8(sourceText), QString::fromUtf8(disambiguation))
            .arg(n);
    }
};

} // namespace CommandTest
