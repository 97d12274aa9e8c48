#include "scene/scene.h"

#include "drawings/strokedrawing.h"
#include "layers/drawlayer.h"
#include "layers/layeritem.h"
#include "layers/strokelayer.h"
#include "render/bandedcomposition.h"
#include "render/premultipliedblend.h"
#include "scene/scene_p.h"
#include "tools/toolmanager.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Model {

// The canvas paints from three cached pictures: the backlight (neighbouring
// frames, tinted and faded), the current frame (every visible layer at the
// shown frame) and the composite of the two. In each of them the active
// layer is painted last, so that what the animator draws on is never hidden
// by another layer. Layers are painted live only while a stroke is drawn or
// a frame is scrubbed, and then only within the rectangle asked for.

namespace {

using BacklightFrame = ScenePrivate::BacklightFrame;

// How far apart the hues of neighbouring backlight steps lie, in degrees.
constexpr int HueStep = 30;
// A level at or below this shows nothing, yet still takes its frame.
constexpr double FaintestLevel = 0.01;

const VisualLayer *visualAt(const ScenePrivate &d, int index)
{
    if (index < 0 || index >= d.m_layers.size())
        return nullptr;
    return qobject_cast<const VisualLayer *>(d.m_layers.at(index).get());
}

// A layer with no opacity is left out, not painted transparently.
bool isVisibleAndOpaque(const VisualLayer *layer)
{
    return layer && layer->isVisible() && std::abs(layer->opacity()) > 1e-12;
}

bool isScrubFrameShown(const ScenePrivate &d)
{
    return d.m_scrubFrame >= 1 && d.m_scrubFrame <= d.m_maximumFrameNumber;
}

// Where a layer's picture at frame may hold ink: a stroke drawing's bounds,
// grown by the pixels that rendering may bleed past them, or the whole frame
// for anything else. Painting only there gives the same picture and spares
// converting and blending the transparent rest of every frame.
QRect inkRect(const VisualLayer &layer, int frame, const QRect &frameRect)
{
    if (layer.type() != Layer::StrokeLayerType || frame < 1 || frame > layer.frameCount())
        return frameRect;
    const std::shared_ptr<LayerItem> item = layer.cell(frame);
    const Drawing *drawing = item ? item->drawing().get() : nullptr;
    if (!drawing || drawing->type() != Drawing::StrokeDrawingType)
        return frameRect;
    // Asking for the image would decode it; the strokes tell as much.
    const auto *strokeDrawing = static_cast<const StrokeDrawing *>(drawing);
    if (strokeDrawing->isEmpty())
        return QRect();
    return strokeDrawing->root().boundingRect().adjusted(-2, -2, 2, 2) & frameRect;
}

void paintInk(const VisualLayer &layer, int frame, QPainter &painter, const QRect &rect)
{
    const QRect target = rect & inkRect(layer, frame, rect);
    if (!target.isEmpty())
        layer.paint(frame, &painter, target);
}

// Past the frame range nothing is shown (a layer paints nothing at -1).
int shownFrame(const ScenePrivate &d)
{
    return d.m_activeFrame > d.m_frameRangeLast ? -1 : d.m_activeFrame;
}

// Layer indexes from the bottom of the ordering to the top.
QList<int> bottomToTop(const ScenePrivate &d)
{
    QList<int> indexes(d.m_layerOrdering.crbegin(), d.m_layerOrdering.crend());
    return indexes;
}

// A scrubbed frame is shown as it is: no backlight, no active layer on top,
// and opacity left to each layer.
void paintScrubFrame(const ScenePrivate &d, QPainter &painter, const QRect &clip)
{
    for (int index : bottomToTop(d)) {
        const VisualLayer *layer = visualAt(d, index);
        if (layer && layer->isVisible())
            paintInk(*layer, d.m_scrubFrame, painter, clip);
    }
}

void paintOtherLayersLive(const ScenePrivate &d, int frame, QPainter &painter, const QRect &clip)
{
    for (int index : bottomToTop(d)) {
        const VisualLayer *layer = visualAt(d, index);
        if (index != d.m_activeLayerIdx && layer && layer->isVisible())
            paintInk(*layer, frame, painter, clip);
    }
}

const BacklightSetting &currentSet(const BacklightSettings &settings)
{
    return settings.current == BacklightSettings::BacklightSettingB ? settings.settingB : settings.settingA;
}

bool fuzzyEqual(double a, double b)
{
    return std::abs(a - b) * 1e12 <= std::min(std::abs(a), std::abs(b));
}

bool sameBacklightFrames(const QList<BacklightFrame> &a, const QList<BacklightFrame> &b)
{
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(),
                      [](const BacklightFrame &x, const BacklightFrame &y) {
                          return x.frame == y.frame && fuzzyEqual(x.opacity, y.opacity)
                              && x.hueOffset == y.hueOffset;
                      });
}

// Which frames the backlight shows around the active one. Frames are walked
// within the frame range, wrapping from one end to the other, or across the
// whole scene, as the current set says; -1 stands for no frame.
class BacklightWalk
{
public:
    explicit BacklightWalk(const ScenePrivate &d)
        : m_first(d.m_frameRangeFirst)
        , m_last(d.m_frameRangeLast)
        , m_maximum(d.m_maximumFrameNumber)
        , m_onlyKeyFrames(d.m_backlightSettings.onlyKeyFrames)
    {
        const BacklightSetting &set = currentSet(d.m_backlightSettings);
        m_show = set.showOption;
        m_active = visualAt(d, d.m_activeLayerIdx);
        m_activeCount = m_active ? m_active->frameCount() : 0;
        if (set.layers == BacklightSetting::BacklightActiveLayerOnly) {
            if (m_active)
                m_candidates.append(m_active);
        } else {
            for (int index : bottomToTop(d)) {
                const VisualLayer *layer = visualAt(d, index);
                if (layer && layer->isVisible())
                    m_candidates.append(layer);
            }
        }
    }

    // An original or a distant clone, or the empty frame after a layer's
    // last cell (where a new drawing would go); a hold is not a drawing.
    bool hasDrawing(int frame) const
    {
        return std::any_of(m_candidates.cbegin(), m_candidates.cend(), [frame](const VisualLayer *layer) {
            const int type = layer->drawingTypeAt(frame);
            return type == LayerItem::OriginalKind || type == LayerItem::DistantCloneKind
                || frame == layer->frameCount() + 1;
        });
    }

    bool isFrameAfterActiveLast(int frame) const { return m_active && frame == m_activeCount + 1; }

    int previous(int frame) const
    {
        switch (m_show) {
        case BacklightSetting::WrapAtEnds: {
            const int wrapStart = std::min(m_activeCount, m_last);
            if (frame <= m_first || frame > m_last)
                return walkDown(wrapStart, m_first);
            const int found = walkDown(frame - 1, m_first);
            return found != -1 ? found : walkDown(wrapStart, m_first);
        }
        case BacklightSetting::ShowOutsideRange: {
            const bool afterLast = isFrameAfterActiveLast(frame);
            if (frame < 1 || (frame > m_maximum && !afterLast))
                return -1;
            return walkDown(afterLast ? std::min(m_activeCount, m_maximum) : frame - 1, 1);
        }
        case BacklightSetting::StopAtEnds:
        default: {
            const bool afterLast = isFrameAfterActiveLast(frame);
            if (frame < m_first || (frame > m_last && !afterLast))
                return -1;
            return walkDown(afterLast ? std::min(m_activeCount, m_last) : frame - 1, m_first);
        }
        }
    }

    int next(int frame) const
    {
        switch (m_show) {
        case BacklightSetting::WrapAtEnds: {
            if (frame < m_first || frame >= m_last)
                return walkUp(m_first, m_last);
            const int found = walkUp(frame + 1, m_last);
            return found != -1 ? found : walkUp(m_first, m_last);
        }
        case BacklightSetting::ShowOutsideRange:
            if (frame < 1 || frame + 1 > m_maximum)
                return -1;
            return walkUp(frame + 1, m_maximum);
        case BacklightSetting::StopAtEnds:
        default:
            if (frame < m_first || frame + 1 > m_last)
                return -1;
            return walkUp(frame + 1, m_last);
        }
    }

private:
    bool isCandidate(int frame) const
    {
        if (m_onlyKeyFrames)
            return m_active && m_active->isKeyDrawing(frame);
        // The first frame of the range stands in for a drawing, so that a
        // walk that stops or wraps at the range's start still shows it.
        return hasDrawing(frame) || (frame == m_first && m_show != BacklightSetting::ShowOutsideRange);
    }

    int walkDown(int from, int to) const
    {
        for (int frame = from; frame >= to; --frame) {
            if (isCandidate(frame))
                return frame;
        }
        return -1;
    }

    int walkUp(int from, int to) const
    {
        for (int frame = from; frame <= to; ++frame) {
            if (isCandidate(frame))
                return frame;
        }
        return -1;
    }

    int m_first;
    int m_last;
    int m_maximum;
    bool m_onlyKeyFrames;
    BacklightSetting::ShowOption m_show = BacklightSetting::StopAtEnds;
    const VisualLayer *m_active = nullptr;
    int m_activeCount = 0;
    QList<const VisualLayer *> m_candidates;
};

// The frames shown behind the active one, farthest first, so that the
// nearest are painted last and lie on top.
QList<BacklightFrame> backlightFrames(const ScenePrivate &d)
{
    const BacklightSettings &settings = d.m_backlightSettings;
    if (!settings.on)
        return {};
    const BacklightSetting &set = currentSet(settings);
    const BacklightWalk walk(d);
    const int step = set.hueShift == BacklightSetting::UseHueShift ? HueStep : 0;

    const int start = std::min(d.m_activeFrame, d.m_frameRangeLast + 1);
    int after = start;
    int before = start;
    // On a held frame the nearest drawing before is the one being held, which
    // the current frame already shows: the steps count from there.
    if (!settings.onlyKeyFrames && !walk.isFrameAfterActiveLast(start) && !walk.hasDrawing(start)
        && start != d.m_frameRangeFirst)
        before = walk.previous(start);

    QList<BacklightFrame> frames;
    const qsizetype levelsBefore = set.opacityLevelsBefore.size();
    const qsizetype levelsAfter = set.opacityLevelsAfter.size();
    for (qsizetype i = 0; i < std::max(levelsBefore, levelsAfter); ++i) {
        const int hue = int(i + 1) * step;
        if (i < levelsAfter) {
            after = walk.next(after);
            const double level = set.opacityLevelsAfter.at(i);
            if (after != -1 && level > FaintestLevel)
                frames.append({after, level, -hue});
        }
        if (i < levelsBefore) {
            before = walk.previous(before);
            const double level = set.opacityLevelsBefore.at(i);
            if (before != -1 && level > FaintestLevel)
                frames.append({before, level, hue});
        }
    }
    std::reverse(frames.begin(), frames.end());
    return frames;
}

bool sameSet(const BacklightSetting &a, const BacklightSetting &b)
{
    return a.opacityLevelsBefore == b.opacityLevelsBefore && a.opacityLevelsAfter == b.opacityLevelsAfter
        && a.hueShift == b.hueShift && a.showOption == b.showOption && a.layers == b.layers;
}

// The part of rect within rows top to bottom - 1.
QRect withinRows(const QRect &rect, int top, int bottom)
{
    return rect & QRect(rect.left(), top, rect.width(), bottom - top);
}

// One of the cached pictures as a rebuild writes it, in bands of rows on
// several threads (BandedComposition): the passes added here only plan the
// work, which runs when the composition does.
//
// The picture of the last rebuild is written over when nothing else holds
// it, so that only where it held ink needs clearing and no fresh pages are
// asked of the system; a new one is cleared whole. inked tracks where the
// picture holds anything but transparency, for the next rebuild.
class PictureBuild
{
public:
    PictureBuild(QImage &picture, QRect &inked, QSize size)
        : m_picture(picture)
        , m_inked(inked)
    {
        const bool kept = picture.size() == size && picture.format() == QImage::Format_ARGB32_Premultiplied
            && picture.isDetached();
        if (!kept)
            picture = QImage(size, QImage::Format_ARGB32_Premultiplied);
        m_stale = kept ? inked : picture.rect();
        m_rows = PremultipliedRows(picture);
        m_inked = QRect();
    }

    bool isNull() const { return m_rows.isNull(); }
    const PremultipliedRows &rows() const { return m_rows; }
    QRect inked() const { return m_inked; }

    // Clears whatever the last rebuild left.
    void clear(BandedComposition &composition) const
    {
        if (isNull() || m_stale.isEmpty())
            return;
        composition.addBandPass([rows = m_rows, stale = m_stale](int top, int bottom) {
            const QRect part = withinRows(stale, top, bottom);
            for (int y = part.top(); y <= part.bottom(); ++y)
                std::memset(rows.line(y) + part.left(), 0, size_t(part.width()) * sizeof(QRgb));
        });
    }

    // Starts from a copy of source, which holds nothing outside sourceInked:
    // what this picture held and what source holds is copied, transparency
    // included.
    void copy(BandedComposition &composition, const PremultipliedRows &source, QRect sourceInked)
    {
        if (isNull() || source.isNull())
            return;
        const QRect part = (m_stale | sourceInked) & m_rows.rect() & source.rect();
        m_inked = sourceInked & m_rows.rect();
        if (part.isEmpty())
            return;
        composition.addBandPass([rows = m_rows, source, part](int top, int bottom) {
            const QRect band = withinRows(part, top, bottom);
            for (int y = band.top(); y <= band.bottom(); ++y)
                std::memcpy(rows.line(y) + band.left(), source.line(y) + band.left(),
                            size_t(band.width()) * sizeof(QRgb));
        });
    }

    // Blends a stroke layer's ink within rect.
    void blend(BandedComposition &composition, StrokeLayer::Ink ink, const QRect &rect)
    {
        if (isNull() || ink.isEmpty() || rect.isEmpty())
            return;
        m_inked |= rect;
        composition.addBandPass([rows = m_rows, ink = std::move(ink), rect](int top, int bottom) {
            ink.blendOnto(rows, withinRows(rect, top, bottom));
        });
    }

    // Blends source, a picture that holds nothing outside sourceInked.
    void blend(BandedComposition &composition, const PremultipliedRows &source, const QRect &sourceInked)
    {
        if (isNull() || source.isNull() || sourceInked.isEmpty())
            return;
        m_inked |= sourceInked;
        composition.addBandPass([rows = m_rows, source, sourceInked](int top, int bottom) {
            blendPremultiplied(rows, source, withinRows(sourceInked, top, bottom));
        });
    }

    // Paints through a QPainter on the calling thread, once the passes
    // before are done everywhere; reach bounds what it may paint.
    void paint(BandedComposition &composition, const QRect &reach, std::function<void(QPainter &)> paint)
    {
        if (isNull() || reach.isEmpty())
            return;
        m_inked |= reach & m_rows.rect();
        composition.addWholePass([&picture = m_picture, paint = std::move(paint)] {
            QPainter painter(&picture);
            paint(painter);
        });
    }

private:
    QImage &m_picture;
    QRect &m_inked;
    QRect m_stale;
    PremultipliedRows m_rows;
};

// A layer's picture at frame onto a cached picture, at opacity: a stroke
// layer blended straight into memory, without a painter, whose generic path
// for coloured coverage costs several times as much; any other layer
// painted as usual.
void addLayer(BandedComposition &composition, PictureBuild &picture, const VisualLayer &layer, int frame,
              const QRect &frameRect, double opacity)
{
    const QRect target = frameRect & inkRect(layer, frame, frameRect);
    if (target.isEmpty())
        return;
    if (const auto *strokeLayer = qobject_cast<const StrokeLayer *>(&layer)) {
        picture.blend(composition, strokeLayer->inkAt(frame, opacity), target);
        return;
    }
    picture.paint(composition, target, [&layer, frame, target, opacity](QPainter &painter) {
        painter.setOpacity(opacity);
        layer.paint(frame, &painter, target);
    });
}

// Every visible and opaque layer but the active one, bottom to top, at
// othersOpacity, then the active layer.
void addLayersActiveOnTop(BandedComposition &composition, PictureBuild &picture, const ScenePrivate &d, int frame,
                          const QRect &frameRect, double othersOpacity = 1.0)
{
    for (int index : bottomToTop(d)) {
        const VisualLayer *layer = visualAt(d, index);
        if (index != d.m_activeLayerIdx && isVisibleAndOpaque(layer))
            addLayer(composition, picture, *layer, frame, frameRect, othersOpacity);
    }
    const VisualLayer *active = visualAt(d, d.m_activeLayerIdx);
    if (isVisibleAndOpaque(active))
        addLayer(composition, picture, *active, frame, frameRect, 1.0);
}

void addCurrentFrame(BandedComposition &composition, PictureBuild &picture, const ScenePrivate &d,
                     const QRect &frameRect)
{
    picture.clear(composition);
    const int frame = isScrubFrameShown(d) ? d.m_scrubFrame : shownFrame(d);
    addLayersActiveOnTop(composition, picture, d, frame, frameRect);
}

// The backlight frames as d lists them; the stroke layers of each are
// blended in the same order as in the current frame.
void addBacklight(BandedComposition &composition, PictureBuild &picture, const Scene &scene,
                  const ScenePrivate &d)
{
    picture.clear(composition);
    const QList<BacklightFrame> &frames = d.m_backlightFrames;
    if (frames.isEmpty())
        return;
    QList<const StrokeLayer *> layers;
    if (currentSet(d.m_backlightSettings).layers == BacklightSetting::BacklightActiveLayerOnly) {
        if (const auto *active = qobject_cast<const StrokeLayer *>(visualAt(d, d.m_activeLayerIdx)))
            layers.append(active);
    } else {
        // As in the current frame, the active layer lies on top.
        QList<int> order = bottomToTop(d);
        if (order.removeOne(d.m_activeLayerIdx))
            order.append(d.m_activeLayerIdx);
        for (int index : std::as_const(order)) {
            // Reference pictures get no backlight.
            const auto *layer = qobject_cast<const StrokeLayer *>(d.m_layers.at(index).get());
            if (isVisibleAndOpaque(layer))
                layers.append(layer);
        }
    }

    const QRect frameRect = scene.frameRect();
    for (const BacklightFrame &entry : frames) {
        if (entry.frame < 1 || entry.frame > d.m_maximumFrameNumber)
            continue;
        // The backlight stays on the pegs: a drawing moved off them is
        // shown where it stood, which takes a painter.
        const QTransform onPegs = scene.offPegsTransform(entry.frame).inverted();
        for (const StrokeLayer *layer : std::as_const(layers)) {
            const QRect target = inkRect(*layer, entry.frame, frameRect);
            if (target.isEmpty())
                continue;
            if (onPegs.isIdentity()) {
                picture.blend(composition, layer->backlightInkAt(entry.frame, entry.hueOffset, entry.opacity),
                              target);
                continue;
            }
            // Where a turned picture reaches, give or take the pixels its
            // edges touch.
            const QRect reach = onPegs.mapRect(QRectF(target)).toAlignedRect().adjusted(-1, -1, 1, 1);
            picture.paint(composition, reach, [layer, entry, onPegs, target](QPainter &painter) {
                painter.setTransform(onPegs);
                layer->paintBacklight(entry.frame, &painter, target, entry.hueOffset, entry.opacity);
            });
        }
    }
}

// Recomputes the backlight frames; true when they changed.
bool refreshBacklightFrames(ScenePrivate &d)
{
    const QList<BacklightFrame> frames = backlightFrames(d);
    if (sameBacklightFrames(frames, d.m_backlightFrames))
        return false;
    d.m_backlightFrames = frames;
    return true;
}

// The composite shares the current frame's picture while it shows nothing
// more; let go before both are rebuilt, so that the current frame's picture
// can be written over.
void releaseSharedFrame(ScenePrivate &d)
{
    if (!d.m_cachedFrameImage.isDetached())
        d.m_cachedFrameImage = QImage();
}

} // namespace

void Scene::updateCachedFramePixmap(bool updateBacklight)
{
    if (visualLayerCount() == 0)
        return;
    releaseSharedFrame(*d);
    BandedComposition composition;
    PictureBuild current(d->m_cachedCurrentFrameImage, d->m_cachedCurrentFrameInk, d->m_frameSize);
    addCurrentFrame(composition, current, *d, frameRect());
    bool framesChanged = false;
    if (updateBacklight) {
        framesChanged = refreshBacklightFrames(*d);
        PictureBuild backlight(d->m_cachedBacklightImage, d->m_cachedBacklightInk, d->m_frameSize);
        addBacklight(composition, backlight, *this, *d);
    }

    const ToolManager *tools = ToolManager::instance();
    const bool selecting = tools->isSelectionToolActive() && tools->currentCursorType() == Tool::OwnCursor;
    if (!selecting && d->m_backlightFrames.isEmpty()) {
        composition.run(d->m_frameSize.height());
        // Over a transparent backlight the composite is the current frame
        // itself, shared rather than copied.
        d->m_cachedFrameImage = d->m_cachedCurrentFrameImage;
        d->m_cachedFrameInk = d->m_cachedCurrentFrameInk;
    } else {
        // The backlight picture is complete once the passes before the
        // copy are, band by band.
        PictureBuild frame(d->m_cachedFrameImage, d->m_cachedFrameInk, d->m_frameSize);
        // The pictures are read through views, never through copies of
        // the QImages: a painter on a picture held twice would paint on a
        // copy of its own.
        frame.copy(composition, PremultipliedRows::forReading(d->m_cachedBacklightImage), d->m_cachedBacklightInk);
        if (selecting) {
            // While a selection tool is at work the other layers step back,
            // so that what it can lift stands out.
            addLayersActiveOnTop(composition, frame, *d, shownFrame(*d), frameRect(), 0.25);
        } else {
            frame.blend(composition, PremultipliedRows::forReading(d->m_cachedCurrentFrameImage), current.inked());
        }
        composition.run(d->m_frameSize.height());
    }

    if (framesChanged)
        Q_EMIT backlightFramesChanged();
}

void Scene::updateCachedCurrentFramePixmap()
{
    BandedComposition composition;
    PictureBuild current(d->m_cachedCurrentFrameImage, d->m_cachedCurrentFrameInk, d->m_frameSize);
    addCurrentFrame(composition, current, *d, frameRect());
    composition.run(d->m_frameSize.height());
}

void Scene::updateCachedBacklightPixmap()
{
    const bool framesChanged = refreshBacklightFrames(*d);
    BandedComposition composition;
    PictureBuild backlight(d->m_cachedBacklightImage, d->m_cachedBacklightInk, d->m_frameSize);
    addBacklight(composition, backlight, *this, *d);
    composition.run(d->m_frameSize.height());
    if (framesChanged)
        Q_EMIT backlightFramesChanged();
}

void Scene::setBacklightSettings(const BacklightSettings &settings)
{
    const BacklightSettings &old = d->m_backlightSettings;
    const bool differs = old.on != settings.on || old.current != settings.current
        || old.onlyKeyFrames != settings.onlyKeyFrames || !sameSet(currentSet(old), currentSet(settings));
    d->m_backlightSettings = settings;
    if (!differs)
        return;
    const QList<BacklightFrame> previous = d->m_backlightFrames;
    updateCachedFramePixmap(true);
    emitWholeFrameChanged();
    // Listeners hear of the change once: the refresh has already told them
    // when the frames themselves changed.
    if (sameBacklightFrames(previous, d->m_backlightFrames))
        Q_EMIT backlightFramesChanged();
}

bool Scene::isBacklightFrame(int frame) const
{
    if (!d->m_backlightSettings.on)
        return false;
    return frame == d->m_activeFrame
        || std::any_of(d->m_backlightFrames.cbegin(), d->m_backlightFrames.cend(),
                       [frame](const BacklightFrame &entry) { return entry.frame == frame; });
}

void Scene::paintBacklight(QPainter *painter, const QRect &rect) const
{
    const QRect clip = rect & frameRect();
    // With no frame to show the picture is bare; drawing it would still
    // cost a pass over every pixel, a turned one most.
    if (!painter || isScrubFrameShown(*d) || clip.isEmpty() || d->m_backlightFrames.isEmpty())
        return;
    painter->drawImage(clip, d->m_cachedBacklightImage, clip);
}

bool Scene::paintsCachedPicturesOnly() const
{
    return !d->m_activeStroke && !isScrubFrameShown(*d);
}

void Scene::paintFrame(QPainter *painter, const QRect &rect) const
{
    const QRect clip = rect & frameRect();
    if (!painter || clip.isEmpty())
        return;
    if (isScrubFrameShown(*d)) {
        paintScrubFrame(*d, *painter, clip);
        return;
    }
    if (!d->m_activeStroke) {
        painter->drawImage(clip, d->m_cachedFrameImage, clip);
        return;
    }

    painter->drawImage(clip, d->m_cachedBacklightImage, clip);
    const int frame = shownFrame(*d);
    paintOtherLayersLive(*d, frame, *painter, clip);
    const VisualLayer *active = visualAt(*d, d->m_activeLayerIdx);
    if (!active || !active->isVisible())
        return;
    if (const auto *drawLayer = qobject_cast<const DrawLayer *>(active))
        drawLayer->paintWithActiveStroke(frame, painter, clip, d->m_activeStroke.get());
    else
        active->paint(frame, painter, clip);
}

void Scene::paintCurrentFrame(QPainter *painter, const QRect &rect) const
{
    const QRect clip = rect & frameRect();
    if (!painter || clip.isEmpty())
        return;
    if (isScrubFrameShown(*d)) {
        paintScrubFrame(*d, *painter, clip);
        return;
    }
    if (!d->m_activeStroke) {
        painter->drawImage(clip, d->m_cachedCurrentFrameImage, clip);
        return;
    }

    const int frame = shownFrame(*d);
    paintOtherLayersLive(*d, frame, *painter, clip);
    const VisualLayer *active = visualAt(*d, d->m_activeLayerIdx);
    if (const auto *drawLayer = qobject_cast<const DrawLayer *>(active); drawLayer && drawLayer->isVisible())
        drawLayer->paintWithActiveStroke(frame, painter, clip, d->m_activeStroke.get());
}

} // namespace Model
