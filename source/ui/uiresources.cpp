#include "uiresources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares the registration function where it stands, so it
// must stand outside any namespace.
static void registerToolChromeResources()
{
    Q_INIT_RESOURCE(toolbar);
    Q_INIT_RESOURCE(speeddial);
    Q_INIT_RESOURCE(controlsbar);
    Q_INIT_RESOURCE(toolpocket);
    Q_INIT_RESOURCE(toolsettings);
    Q_INIT_RESOURCE(paper);
    Q_INIT_RESOURCE(xsheet);
}

namespace UI {

void registerUiResources()
{
    static const bool registered = (registerToolChromeResources(), true);
    Q_UNUSED(registered);
}

} // namespace UI
