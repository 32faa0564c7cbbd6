#pragma once

#include "vexaapp_export.h"

class QString;

/**
 * Applies the skin @p key from the first plug-in in @p directory (in the
 * order the file system lists it) that offers it, and leaves that plug-in
 * loaded; every other plug-in tried is unloaded again. Returns the plug-in's
 * applySkin() result, true at once when a plug-in of the directory is already
 * loaded, and false when no plug-in offers the key.
 */
VEXAAPP_EXPORT bool LoadPluginByKey(const QString &key, const QString &directory);
