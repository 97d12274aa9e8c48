#pragma once

#include "settings/exportsettings.h"

#include <QHash>

namespace Model {

// An export of the scene as a movie.
class ExportVideoSettings : public ExportSettings
{
    Q_GADGET

public:
    enum VideoFormat { GIF, MP4, ProRes };
    Q_ENUM(VideoFormat)

    VideoFormat videoFormat = MP4;
    // Only ProRes keeps transparency; the other formats ignore the flag.
    bool includeAlpha = true;
    bool includeAudio = false;
    // Whether the scene has sound to put in the movie; the export command
    // sets it before asking, and it is never kept in the preferences.
    bool audioAvailable = false;
    // Container metadata ("title", "comment"); filled per export, never kept
    // in the preferences.
    QHash<QString, QString> metadata;
};

} // namespace Model
