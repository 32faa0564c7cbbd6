#pragma once

#include "vexawidgets_export.h"

class QString;

/** The program's own directory with a trailing "/", so file names can be appended directly. */
VEXAWIDGETS_EXPORT QString AppDirPath();

/** A relative \a fileName resolved against AppDirPath(); an absolute one unchanged. */
VEXAWIDGETS_EXPORT QString ResolveAppPath(const QString &fileName);
