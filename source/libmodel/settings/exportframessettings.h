#pragma once

#include "settings/exportsettings.h"

namespace Model {

// An export of the scene as a numbered sequence of images.
class ExportFramesSettings : public ExportSettings
{
    Q_GADGET

public:
    // Frames that only repeat the drawing before them: left out, written
    // with a suffix that says so, or written as plain frames of the sequence.
    enum Clones { ExcludeClones, IncludeClones, IncludeClonesSimpleSequence };
    Q_ENUM(Clones)

    enum ImageFormat { PNG, OpenEXR };
    Q_ENUM(ImageFormat)

    Clones clones = ExcludeClones;
    ImageFormat imageFormat = PNG;
    // One composite image per frame instead of one per layer and frame.
    bool combineLayers = false;
    bool makeAllLinesBlack = false;
    // Transparent background instead of white.
    bool includeAlpha = true;
};

} // namespace Model
