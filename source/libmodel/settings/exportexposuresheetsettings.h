#pragma once

#include "settings/exportsettings.h"

namespace Model {

// An export of the exposure sheet as a package of layer images.
class ExportExposureSheetSettings : public ExportSettings
{
    Q_GADGET

public:
    enum Format { OCA };
    Q_ENUM(Format)

    enum ImageFormat { PNG, OpenEXR };
    Q_ENUM(ImageFormat)

    Format format = OCA;
    ImageFormat imageFormat = PNG;
    // Kept with the user's choices; the package itself carries no sound.
    bool includeAudio = false;
};

} // namespace Model
