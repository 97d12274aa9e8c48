#include "scenesettingscommands.h"

#include "commandconventions.h"
#include "drawings/drawingimagecache.h"
#include "drawings/strokedrawing.h"
#include "layers/layeritem.h"
#include "layers/visuallayer.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "systemmemory.h"
#include "tools/toolmanager.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTransform>
#include <QUuid>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

namespace Commands {

// Frame size

class ChangeFrameSizePrivate
{
public:
    // One original stroke drawing as it was before the resize. The resize
    // works on the very objects that cells, distant clones and the records
    // of earlier commands share, so undo puts the copy's content back into
    // them.
    struct Backup
    {
        std::shared_ptr<Model::StrokeDrawing> drawing;
        std::unique_ptr<Model::StrokeDrawing> copy;
        QUuid copyId;
    };
    // A cell off its pegs, by place: the records of later commands may put
    // an equal item back in place of the one there now.
    struct Placement
    {
        int layer = -1;
        int frame = -1;
        QTransform transform;
    };

    template<typename Visit>
    static void forEachCell(const Model::Scene &scene, Visit visit)
    {
        for (int layer = 0; layer < scene.layerCount(); ++layer) {
            const auto *visual = qobject_cast<const Model::VisualLayer *>(scene.layerAt(layer).get());
            for (int frame = 1; visual && frame <= visual->frameCount(); ++frame) {
                if (const std::shared_ptr<Model::LayerItem> item = visual->cell(frame))
                    visit(layer, frame, *item);
            }
        }
    }

    // The original stroke drawings of the scene, each once.
    static QList<std::shared_ptr<Model::StrokeDrawing>> originalDrawings(const Model::Scene &scene)
    {
        QList<std::shared_ptr<Model::StrokeDrawing>> drawings;
        QSet<const Model::Drawing *> seen;
        forEachCell(scene, [&](int, int, const Model::LayerItem &item) {
            auto strokes = std::dynamic_pointer_cast<Model::StrokeDrawing>(item.drawing());
            if (item.kind() != Model::LayerItem::OriginalKind || !strokes || seen.contains(strokes.get()))
                return;
            seen.insert(strokes.get());
            drawings.append(std::move(strokes));
        });
        return drawings;
    }

    void save(const Model::Scene &scene)
    {
        m_backups.clear();
        m_placements.clear();
        for (std::shared_ptr<Model::StrokeDrawing> &drawing : originalDrawings(scene)) {
            Backup backup;
            // Strokes copied, pictures shared until the resize replaces them.
            backup.copy.reset(static_cast<Model::StrokeDrawing *>(drawing->clone().release()));
            backup.copyId = drawing->copyId();
            backup.drawing = std::move(drawing);
            m_backups.push_back(std::move(backup));
        }
        forEachCell(scene, [this](int layer, int frame, const Model::LayerItem &item) {
            if (!item.offPegsTransform().isIdentity())
                m_placements.append({layer, frame, item.offPegsTransform()});
        });
    }

    void restore(const Model::Scene &scene)
    {
        for (Backup &backup : m_backups) {
            backup.drawing->swapContent(*backup.copy);
            backup.drawing->setCopyId(backup.copyId);
        }
        for (const Placement &placement : std::as_const(m_placements)) {
            if (auto *visual = qobject_cast<Model::VisualLayer *>(scene.layerAt(placement.layer).get()))
                visual->setOffPegsTransform(placement.frame, placement.transform);
        }
        m_backups.clear();
        m_placements.clear();
    }

    void prepareProgress(const Model::Scene &scene) const
    {
        if (!m_progress)
            return;
        m_progress->setProperty("labelText", QObject::tr("Resizing all frames...", "Commands::ChangeFrameSize"));
        m_progress->setProperty("minimumDuration", 2000);
        m_progress->setProperty("minimum", 0);
        m_progress->setProperty("maximum", scene.totalNumberOfDrawings() + 1);
        m_progress->setProperty("value", 0);
    }

    void finishProgress() const
    {
        // At its maximum, a dialog that closes itself closes.
        if (m_progress)
            m_progress->setProperty("value", m_progress->property("maximum"));
    }

    // The piece that floats over the paper lies in the frame's pixels as the
    // drawings do, and follows them into the new frame as they are fitted:
    // put down after the change, it lands where the drawing's own lines
    // went. Its placement takes the fit; undo gives the placement back.
    void fitFloatingSelection()
    {
        m_placement.reset();
        const Model::FloatingSelection *selection = m_scene->floatingSelection();
        const QTransform fit = Model::StrokeDrawing::frameFit(m_old, m_new, m_mode);
        if (!selection || fit.isIdentity())
            return;
        m_placement = selection->transform();
        Model::FloatingSelection::Transform fitted = *m_placement;
        // The placement takes the paper to the piece; the fit comes first.
        fitted.third = fit.inverted() * fitted.third;
        m_scene->setFloatingSelectionTransform(fitted);
    }

    void restoreFloatingSelection()
    {
        if (m_placement)
            m_scene->setFloatingSelectionTransform(*m_placement);
        m_placement.reset();
    }

    QPointer<QObject> m_progress;
    Model::KLScene *m_scene = nullptr;
    QSize m_new;
    QSize m_old;
    KL::FitMode m_mode = KL::FitMode::FitModeKeepAspect;
    QString m_errorString;
    // Held while the command is done.
    std::vector<Backup> m_backups;
    QList<Placement> m_placements;
    std::optional<Model::FloatingSelection::Transform> m_placement;
};

ChangeFrameSize::ChangeFrameSize(Model::KLScene *scene, const QSize &size, KL::FitMode mode, QObject *progress,
                                 QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<ChangeFrameSizePrivate>())
{
    setText(historyText("Change frame size", "Commands::ChangeFrameSize"));
    const Model::Scene *document = scene ? scene->scene() : nullptr;
    if (!document || size == document->frameSize() || size.width() < 1 || size.height() < 1) {
        setObsolete(true);
        return;
    }
    if (!Model::fitsInMemory(bytesNeeded(*document, size, mode))) {
        d->m_errorString = QObject::tr("The frames of this scene cannot be made %1 × %2 pixels: its drawings "
                                       "would need more memory than this computer has.",
                                       "Commands::ChangeFrameSize")
                               .arg(size.width())
                               .arg(size.height());
        setObsolete(true);
        return;
    }
    d->m_progress = progress;
    d->m_scene = scene;
    d->m_new = size;
    d->m_old = document->frameSize();
    d->m_mode = mode;
}

ChangeFrameSize::~ChangeFrameSize() = default;

double ChangeFrameSize::bytesNeeded(const Model::Scene &scene, const QSize &size, KL::FitMode mode)
{
    const QSize old = scene.frameSize();
    const double pixels = double(size.width()) * double(size.height());
    const double largest = std::max(pixels, double(old.width()) * double(old.height()));
    // The frame, its current picture and the backlight, premultiplied ARGB.
    double bytes = 3.0 * 4.0 * pixels;
    // A drawing's coverage grows with the area its lines are stretched
    // over, and never takes more code than a frame of the worst pattern.
    const QTransform fit = Model::StrokeDrawing::frameFit(old, size, mode);
    const double growth = std::max(1.0, std::abs(fit.m11() * fit.m22()));
    const double mostCode = 2.0 * pixels;
    const bool images = pixels <= double(Model::StrokeDrawing::maximumImageBytes);
    // The undo copy shares the strokes' data and the pictures' code with
    // the drawing, and holds only an object of its own for each stroke, a
    // few hundred bytes with what the allocator adds.
    constexpr double CopiedStrokeBytes = 320.0;
    int inked = 0;
    for (const auto &drawing : ChangeFrameSizePrivate::originalDrawings(scene)) {
        if (drawing->isEmpty())
            continue;
        ++inked;
        // The undo copy keeps the code as it was; the drawing makes the code
        // of the new frame.
        const double code = double(drawing->imageCodeBytes());
        bytes += code + CopiedStrokeBytes * drawing->root().strokeCount();
        if (images)
            bytes += std::min(code * growth, mostCode);
    }
    if (images && inked > 0) {
        // Decoded images stay only as long as the shared cache has room for
        // them; the drawing being fitted holds its old image, its new one
        // and the renderer's canvases besides.
        constexpr double FramesAtWork = 6.0;
        const double cached = double(Model::DrawingImageCache::instance()->capacity());
        bytes += std::min(cached, inked * largest) + FramesAtWork * largest;
    }
    return bytes;
}

QString ChangeFrameSize::errorString() const
{
    return d->m_errorString;
}

void ChangeFrameSize::perform()
{
    Model::Scene *scene = d->m_scene ? d->m_scene->scene() : nullptr;
    if (isObsolete() || !scene)
        return;
    // Every redo starts from the state before the first one and fits the
    // drawings into the new size the same way.
    d->save(*scene);
    d->prepareProgress(*scene);
    scene->setFrameSize(d->m_new, d->m_mode, d->m_progress);
    d->fitFloatingSelection();
    d->finishProgress();
}

void ChangeFrameSize::undo()
{
    Model::Scene *scene = d->m_scene ? d->m_scene->scene() : nullptr;
    if (isObsolete() || !scene)
        return;
    d->prepareProgress(*scene);
    // The size goes back without moving anything, then every drawing and
    // placement takes its saved state.
    scene->setFrameSize(d->m_old, KL::FitMode::FitModeIgnore, d->m_progress);
    d->restore(*scene);
    d->restoreFloatingSelection();

    scene->updateCachedFramePixmap(true);
    d->finishProgress();
}

// Frame rate

class SetFrameRatePrivate
{
public:
    Model::KLScene *m_scene = nullptr;
    double m_new = 0.0;
    double m_old = 0.0;
};

SetFrameRate::SetFrameRate(Model::KLScene *scene, double rate, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<SetFrameRatePrivate>())
{
    setText(historyText("Set Frame Rate", "Commands::SetFrameRate"));
    d->m_scene = scene;
    d->m_new = rate;
    const Model::Scene *document = scene ? scene->scene() : nullptr;
    if (document)
        d->m_old = document->frameRate();
    // The scene takes no rate that is not a positive number.
    if (!document || !std::isfinite(rate) || rate <= 0.0 || fuzzyEqual(d->m_old, rate))
        setObsolete(true);
}

SetFrameRate::~SetFrameRate() = default;

void SetFrameRate::perform()
{
    if (!isObsolete() && d->m_scene && d->m_scene->scene())
        d->m_scene->scene()->setFrameRate(d->m_new);
}

void SetFrameRate::undo()
{
    if (!isObsolete() && d->m_scene && d->m_scene->scene())
        d->m_scene->scene()->setFrameRate(d->m_old);
}

int SetFrameRate::id() const
{
    return SetFrameRateId;
}

bool SetFrameRate::mergeWith(const QUndoCommand *other)
{
    const auto *later = dynamic_cast<const SetFrameRate *>(other);
    if (!later)
        return false;
    d->m_new = later->d->m_new;
    if (fuzzyEqual(d->m_old, d->m_new))
        setObsolete(true);
    return true;
}

// Scene settings

ChangeSceneSettings::ChangeSceneSettings(Model::KLScene *scene, const QSize &size, KL::FitMode mode, double rate,
                                         QObject *progress, QUndoCommand *parent)
    : SceneCommand(parent)
{
    setText(historyText("Change scene settings", "Commands::ChangeSceneSettings"));
    const auto *rateChange = new SetFrameRate(scene, rate, this);
    const auto *sizeChange = new ChangeFrameSize(scene, size, mode, progress, this);
    m_errorString = sizeChange->errorString();
    // A dialog that changed nothing leaves no entry; one whose size was
    // refused changes nothing at all, so that the user can try again.
    if (!m_errorString.isEmpty() || (rateChange->isObsolete() && sizeChange->isObsolete()))
        setObsolete(true);
}

ChangeSceneSettings::~ChangeSceneSettings() = default;

QString ChangeSceneSettings::errorString() const
{
    return m_errorString;
}

// Frame range

class SetFrameRangePrivate
{
public:
    struct State
    {
        qint32 first = -1;
        qint32 last = -1;
        qint32 activeFrame = -1;
        qint32 activeLayer = -1;

        bool operator==(const State &other) const = default;
    };

    void apply(const State &state) const
    {
        if (m_scene)
            m_scene->setFrameRange(state.first, state.last, state.activeFrame, state.activeLayer);
    }

    State current() const
    {
        return m_scene ? State{m_scene->frameRangeFirst(), m_scene->frameRangeLast(), m_scene->activeFrame(),
                               m_scene->activeLayerIdx()}
                       : State();
    }

    Model::Scene *m_scene = nullptr;
    State m_old;
    State m_new;
};

SetFrameRange::SetFrameRange(Model::Scene *scene, int first, int last, int activeFrame, int activeLayer,
                             QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<SetFrameRangePrivate>())
{
    setText(historyText("Change Active Frame Range", "Commands::SetFrameRange"));
    d->m_scene = scene;
    d->m_new = {first, last, activeFrame, activeLayer};
    d->m_old = d->current();
    if (!scene || d->m_new == d->m_old)
        setObsolete(true);
}

SetFrameRange::~SetFrameRange() = default;

void SetFrameRange::perform()
{
    if (isObsolete())
        return;
    const SetFrameRangePrivate::State before = d->current();
    d->apply(d->m_new);
    // The scene keeps its range for one that ends before it begins, and may
    // clamp another to the range and cell it has.
    if (d->current() == before)
        setObsolete(true);
}

void SetFrameRange::undo()
{
    if (!isObsolete())
        d->apply(d->m_old);
}

int SetFrameRange::id() const
{
    return SetFrameRangeId;
}

bool SetFrameRange::mergeWith(const QUndoCommand *other)
{
    const auto *later = dynamic_cast<const SetFrameRange *>(other);
    if (!later || later->d->m_new.activeFrame != d->m_new.activeFrame
        || later->d->m_new.activeLayer != d->m_new.activeLayer)
        return false;
    d->m_new.first = later->d->m_new.first;
    d->m_new.last = later->d->m_new.last;
    // Back where the run began, active cell included: nothing to undo.
    setObsolete(d->m_new == d->m_old);
    return true;
}

// Active frame and layer

class SetActiveFrameAndLayerPrivate
{
public:
    QString text() const
    {
        if (m_oldFrame == m_newFrame)
            return historyText("Change Active Layer", "Commands::SetActiveFrameAndLayer");
        if (m_oldLayer == m_newLayer)
            return historyText("Change Active Frame", "Commands::SetActiveFrameAndLayer");
        return historyText("Change Active Frame and Layer", "Commands::SetActiveFrameAndLayer");
    }

    bool unchanged() const { return m_newFrame == m_oldFrame && m_newLayer == m_oldLayer; }

    Model::Scene *m_scene = nullptr;
    qint32 m_reapply = 1;
    qint32 m_oldFrame = -1;
    qint32 m_oldLayer = -1;
    qint32 m_newFrame = -1;
    qint32 m_newLayer = -1;
    qint32 m_rememberedFrame = -1;
};

SetActiveFrameAndLayer::SetActiveFrameAndLayer(Model::Scene *scene, int frame, int layer, int rememberedFrame,
                                               QUndoCommand *parent)
    : SetActiveFrameAndLayer(scene, frame, layer, rememberedFrame, 1, parent)
{
}

SetActiveFrameAndLayer::SetActiveFrameAndLayer(Model::Scene *scene, int frame, int layer, int rememberedFrame,
                                               int reapply, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<SetActiveFrameAndLayerPrivate>())
{
    d->m_scene = scene;
    d->m_reapply = reapply;
    d->m_newFrame = frame;
    d->m_newLayer = layer;
    d->m_rememberedFrame = rememberedFrame;
    if (!scene) {
        setObsolete(true);
        return;
    }
    d->m_oldFrame = scene->activeFrame();
    d->m_oldLayer = scene->activeLayerIdx();
    setText(d->text());
    if (d->unchanged())
        setObsolete(true);
}

SetActiveFrameAndLayer::~SetActiveFrameAndLayer() = default;

void SetActiveFrameAndLayer::perform()
{
    Model::Scene *scene = d->m_scene;
    if (!scene || isObsolete())
        return;
    const int frame = scene->activeFrame();
    const int layer = scene->activeLayerIdx();
    scene->setActiveFrameAndLayer(d->m_newFrame, d->m_newLayer,
                                  d->m_reapply ? Model::Scene::ClampToDrawings : Model::Scene::AllowFrameAfterLast);
    // Kept where it was by the clamp to the layer's cells.
    if (scene->activeFrame() == frame && scene->activeLayerIdx() == layer)
        setObsolete(true);
}

void SetActiveFrameAndLayer::undo()
{
    if (d->m_scene && !isObsolete())
        d->m_scene->setActiveFrameAndLayer(d->m_oldFrame, d->m_oldLayer, Model::Scene::AllowFrameAfterLast);
}

int SetActiveFrameAndLayer::id() const
{
    return SetActiveFrameAndLayerId;
}

bool SetActiveFrameAndLayer::mergeWith(const QUndoCommand *other)
{
    const auto *later = dynamic_cast<const SetActiveFrameAndLayer *>(other);
    if (!later
        || (later->d->m_newLayer != d->m_newLayer && later->d->m_rememberedFrame != d->m_rememberedFrame))
        return false;
    d->m_newFrame = later->d->m_newFrame;
    d->m_newLayer = later->d->m_newLayer;
    if (d->m_scene)
        setText(d->text());
    setObsolete(d->unchanged());
    return true;
}

// Tool type

class ChangeToolTypePrivate
{
public:
    void apply(const QUndoCommand *command, int type) const
    {
        if (m_scene && !command->isObsolete())
            Model::ToolManager::instance()->setCurrentTool(Model::Tool::Type(type), Model::Tool::OwnCursor);
    }

    Model::KLScene *m_scene = nullptr;
    qint32 m_new = int(Model::Tool::Type::None);
    qint32 m_old = int(Model::Tool::Type::None);
};

ChangeToolType::ChangeToolType(Model::KLScene *scene, int toolType, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<ChangeToolTypePrivate>())
{
    Model::ToolManager *tools = Model::ToolManager::instance();
    d->m_scene = scene;
    d->m_new = toolType;
    if (scene) {
        d->m_old = int(tools->lastDrawingOrFloatingToolType());
        setText(historyText("Change tool type", "Commands::ChangeToolType"));
    }
    if (!scene || toolType == int(tools->currentToolType()))
        setObsolete(true);
}

ChangeToolType::~ChangeToolType() = default;

void ChangeToolType::perform()
{
    d->apply(this, d->m_new);
}

void ChangeToolType::undo()
{
    d->apply(this, d->m_old);
}

int ChangeToolType::id() const
{
    return ChangeToolTypeId;
}

bool ChangeToolType::mergeWith(const QUndoCommand *other)
{
    const auto *later = dynamic_cast<const ChangeToolType *>(other);
    if (!later)
        return false;
    d->m_new = later->d->m_new;
    if (d->m_new == d->m_old)
        setObsolete(true);
    return true;
}

} // namespace Commands
