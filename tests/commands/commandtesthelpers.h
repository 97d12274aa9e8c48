#pragma once

// Scenes for the command tests: a scene handle built from the ink-letter
// patterns of the scene tests ('X' an original with a dot of ink of its own,
// '-' a hold), cells picked by frame, the current cell, the record of all
// that an undo must give back, floating selection and settings included,
// the files that the imports read, and every command by name.

#include "audio/audiotestfiles.h"
#include "clonecommands.h"
#include "drawingcellcommands.h"
#include "importcommands.h"
#include "layercommands.h"
#include "layerpropertycommands.h"
#include "scenesettingscommands.h"
#include "scene/celltesthelpers.h"
#include "scene/framerangemodel.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"
#include "settings/settings.h"
#include "support/scenerecord.h"
#include "tools/toolmanager.h"

#include <QByteArray>
#include <QColor>
#include <QDataStream>
#include <QEvent>
#include <QFile>
#include <QIODevice>
#include <QImage>
#include <QList>
#include <QModelIndex>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTranslator>
#include <QUndoCommand>

#include <algorithm>
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

// The scene's record, the settings that no cell shows (frame rate, layer
// colours, the sound and its offset, the current tool) and the floating
// selection's content and placement.
inline QByteArray record(const Model::KLScene &handle)
{
    const Model::Scene &scene = *handle.scene();
    QByteArray bytes = SceneRecord::bytes(scene);
    QDataStream out(&bytes, QIODevice::Append);
    out << scene.frameRate() << scene.hasAudio() << scene.audioOffset()
        << qint32(Model::ToolManager::instance()->currentToolType());
    for (int layer = 0; layer < scene.layerCount(); ++layer)
        out << scene.layerColor(layer);
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

// Stands in for a progress dialog: holds the properties that long work
// writes, keeps the highest value written, and cancels once the value
// reaches cancelAt.
class Progress : public QObject
{
public:
    explicit Progress(int cancelAt = -1)
        : m_cancelAt(cancelAt)
    {
        setProperty("wasCanceled", cancelAt == 0);
    }

    int highestValue() const { return m_highest; }

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::DynamicPropertyChange
            && static_cast<QDynamicPropertyChangeEvent *>(event)->propertyName() == "value") {
            const int value = property("value").toInt();
            m_highest = std::max(m_highest, value);
            if (m_cancelAt >= 0 && value >= m_cancelAt)
                setProperty("wasCanceled", true);
        }
        return QObject::event(event);
    }

private:
    int m_cancelAt = -1;
    int m_highest = -1;
};

// The files the imports read, written once into a folder of the test's own:
// frames a1, a2, a4 and a10 of one size, each its own colour, a wider b1, a
// text file named like an image, a second of a tone as WAV, and the same
// file cut short.
class ImportFiles
{
public:
    static const ImportFiles &instance()
    {
        static const ImportFiles files;
        return files;
    }

    static QColor colourOf(int number) { return QColor::fromHsv((number * 67) % 360, 200, 220); }

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QStringList frames(const QList<int> &numbers) const
    {
        QStringList paths;
        for (int number : numbers)
            paths.append(path(QStringLiteral("a%1.png").arg(number)));
        return paths;
    }

private:
    ImportFiles()
    {
        for (int number : {1, 2, 4, 10}) {
            QImage frame(8, 6, QImage::Format_ARGB32);
            frame.fill(colourOf(number));
            frame.save(path(QStringLiteral("a%1.png").arg(number)));
        }
        QImage wide(12, 6, QImage::Format_ARGB32);
        wide.fill(Qt::red);
        wide.save(path(QStringLiteral("b1.png")));
        write(QStringLiteral("notes.png"), "not a picture");
        const QByteArray tone = AudioTestFiles::wavFile(8000, 1, 16, AudioTestFiles::tone(8000, 1, 1.0, 440));
        write(QStringLiteral("tone.wav"), tone);
        // Cut in the middle of a sample, halfway through.
        write(QStringLiteral("cut.wav"), tone.left((44 + tone.size() / 2) | 1));
    }

    void write(const QString &name, const QByteArray &bytes) const
    {
        QFile file(path(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }

    QTemporaryDir m_dir;
};

// The layer, import and scene-settings commands by name, as the main window,
// the exposure sheet and its pop-ups build them, on layer (and frame, for the
// active cell); values give positions, modes, colours, percents and sizes.
inline QUndoCommand *sceneCommand(Model::KLScene &handle, const QString &name, int layer, int frame,
                                  const QList<int> &values)
{
    using namespace Commands;
    Model::Scene *scene = handle.scene();
    Model::SceneModel *model = handle.sceneModel();
    const int value = values.value(0);
    if (name == u"new layer")
        return new NewLayer(scene, Model::Layer::StrokeLayerType);
    if (name == u"new reference layer")
        return new NewLayer(scene, Model::Layer::ReferenceLayerType);
    if (name == u"duplicate layer")
        return new DuplicateLayer(scene, layer);
    if (name == u"discard layer")
        return new DiscardLayer(scene, layer);
    if (name == u"merge down")
        return new MergeLayerDown(&handle, layer);
    if (name == u"move layer")
        return new MoveLayer(scene, scene->layerOrdering().value(value, -1), value, values.value(1));
    if (name == u"rename")
        return new RenameLayer(model, layer, QStringLiteral("Layer %1").arg(value));
    if (name == u"visibility")
        return new SetLayerVisible(model, layer, !scene->isLayerVisible(layer));
    if (name == u"link")
        return new SetLayerLinked(model, layer, !scene->isLayerLinked(layer));
    if (name == u"link all")
        return new SetAllLayersLinked(model, true);
    if (name == u"beyond last")
        return new SetLayerBeyondLast(scene, layer, value);
    if (name == u"colour")
        return new ChangeLayerColor(scene, layer, QColor(value % 256, 40, 90));
    if (name == u"opacity")
        return new ChangeLayerOpacity(scene, layer, scene->layerOpacity(layer), (value % 101) / 100.0);
    if (name == u"import frames")
        return new ImportNewReferenceLayer(scene, ImportFiles::instance().frames({4, 1, 2}));
    if (name == u"import frames with gaps")
        return new ImportNewReferenceLayer(scene, ImportFiles::instance().frames({4, 1, 2}), nullptr, 1, 1);
    if (name == u"import audio")
        return new ImportNewAudioLayer(scene, ImportFiles::instance().path(QStringLiteral("tone.wav")));
    if (name == u"audio offset")
        return new SetAudioOffset(scene, value / 4.0);
    if (name == u"frame size")
        return new ChangeFrameSize(&handle, QSize(values.value(0), values.value(1)), KL::FitMode(values.value(2) % 5));
    if (name == u"scene settings")
        return new ChangeSceneSettings(&handle, QSize(values.value(0), values.value(1)),
                                       KL::FitMode(values.value(2) % 5), values.value(3));
    if (name == u"frame rate")
        return new SetFrameRate(&handle, value);
    if (name == u"frame range")
        return new SetFrameRange(scene, value, values.value(1), scene->activeFrame(), scene->activeLayerIdx());
    if (name == u"active cell")
        return new SetActiveFrameAndLayer(scene, frame, layer, frame);
    if (name == u"tool")
        return new ChangeToolType(&handle, value % 13);
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
