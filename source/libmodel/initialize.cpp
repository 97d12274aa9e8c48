#include "initialize.h"

#include "ffmpeglogging.h"

#include "actions/actionmanager.h"
#include "render/alphacomposition.h"
#include "render/offscreenrenderer.h"
#include "settings/settings.h"
#include "tools/toolcursors.h"
#include "tools/toolmanager.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares the registration function where it stands, so it
// must be called outside any namespace. The resource trees are linked into
// every executable and normally register themselves; asking for them here
// makes the library independent of that and never adds a tree twice.
static void registerModelResources()
{
    Q_INIT_RESOURCE(icons);
    Q_INIT_RESOURCE(pointers);
    Q_INIT_RESOURCE(shaders);
    Q_INIT_RESOURCE(shadertextures);
}

namespace {

bool initialized = false;

} // namespace

namespace Model {

void initialize()
{
    if (initialized)
        return;
    // Before anything may load the OpenGL driver.
    OffscreenRenderer::chooseSoftwareRasterizerThreads();
    routeFfmpegLogging();
    registerModelResources();
    initAlphaCompositionTables();
    initToolCursors();
    Settings::instance()->load();
    ToolManager::instance()->createTools();
    ActionManager::instance()->createActions();
    initialized = true;
}

void deinitialize()
{
    initialized = false;
}

bool isInitialized()
{
    return initialized;
}

} // namespace Model
