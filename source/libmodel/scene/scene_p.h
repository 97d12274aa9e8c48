#pragma once

#include "scene/scene.h"
#include "settings/backlightsettings.h"
#include "strokes/singlestroke.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>

#include <memory>

class QUndoStack;

namespace Model {

class Layer;

// The state of a Scene, shared by the files that implement it.
class ScenePrivate
{
public:
    // A frame drawn behind the current one, in painting order.
    struct BacklightFrame
    {
        int frame = -1;
        double opacity = 0.0;
        int hueOffset = 0;
    };

    QString m_name = QStringLiteral("Untitled");
    QString m_filePath;
    QSize m_frameSize{1920, 1080};
    QList<std::shared_ptr<Layer>> m_layers;
    BacklightSettings m_backlightSettings;
    QList<BacklightFrame> m_backlightFrames;
    // Format_ARGB32_Premultiplied, so that stroke layers blend onto them
    // directly.
    QImage m_cachedFrameImage;
    QImage m_cachedCurrentFrameImage;
    QImage m_cachedBacklightImage;
    // Where each of them may hold anything but transparency: all a rebuild
    // that writes over the same picture has to clear.
    QRect m_cachedFrameInk;
    QRect m_cachedCurrentFrameInk;
    QRect m_cachedBacklightInk;
    // For each layer index its position in the ordering (0 = top), and for
    // each position the layer index standing there.
    QList<int> m_layerPositions;
    QList<int> m_layerOrdering;
    int m_maximumFrameNumber = 1;
    int m_activeFrame = -1;
    int m_scrubFrame = -1;
    int m_activeLayerIdx = -1;
    // At most one audio layer is tracked; its sound plays with the frames.
    int m_audioLayerIdx = -1;
    bool m_scrubbing = false;
    bool m_applyingChanges = false;
    int m_frameRangeFirst = 1;
    int m_frameRangeLast = 1;
    KL::ThumbnailSize m_thumbnailSize = KL::ThumbnailSize::ThumbnailMedium;
    QUndoStack *m_undoStack = nullptr;
    std::unique_ptr<SingleStroke> m_activeStroke;
    QTimer m_strokeUpdateTimer;
    QTimer m_strokeFinishTimer;
    double m_frameRate = 12.0;
    int m_highestUsedLayerNumber = 0;
};

} // namespace Model
