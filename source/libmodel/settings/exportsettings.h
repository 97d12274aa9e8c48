#pragma once

#include <QObject>
#include <QString>

namespace Model {

// What every export shares: where it goes and which part of the scene it
// covers. The records are plain values copied member-wise; the enumerations
// are gadget enumerations so that the preferences can keep them by key name.
class ExportSettings
{
    Q_GADGET

public:
    enum Layers { AllLayers, VisibleLayers, ActiveLayerOnly };
    Q_ENUM(Layers)

    enum Frames { AllFrames, RangeOnly };
    Q_ENUM(Frames)

    // Base file name without directory; chosen for each export and never
    // kept in the preferences.
    QString name;
    // Absolute directory the export is written into.
    QString exportDir;
    Layers layers = AllLayers;
    Frames frames = AllFrames;
    // Output size in percent of the scene's frame size; only movies use it.
    qint32 scalePercent = 100;
};

} // namespace Model
