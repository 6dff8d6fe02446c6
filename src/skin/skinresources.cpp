#include "skin/skinresources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares the collections' functions, so it must stand outside any namespace.
static bool registerCollections()
{
    Q_INIT_RESOURCE(skin);
    Q_INIT_RESOURCE(appicon);
    return true;
}

void registerSkinResources()
{
    static const bool registered = registerCollections();
    Q_UNUSED(registered);
}
