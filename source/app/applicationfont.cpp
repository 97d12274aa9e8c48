#include "applicationfont.h"

#include <QFontDatabase>
#include <QString>

// Q_INIT_RESOURCE declares the registration function where it stands, so it
// must stand outside any namespace. The tree also registers itself before
// main() runs; asking again is harmless and keeps this independent of the
// linker keeping that registration.
static void registerFontResources()
{
    Q_INIT_RESOURCE(fonts);
}

namespace {

bool fontRegistered = false;

} // namespace

void registerApplicationFont()
{
    if (fontRegistered)
        return;
    registerFontResources();
    QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/PassionOne-Regular.ttf"));
    fontRegistered = true;
}

void unregisterApplicationFont()
{
    fontRegistered = false;
}

bool isApplicationFontRegistered()
{
    return fontRegistered;
}
