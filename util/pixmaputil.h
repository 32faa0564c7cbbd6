#pragma once

#include "vexawidgets_export.h"

class QPixmap;
class QString;

/**
 * The image at \a path (a resource or a file) through the process-wide pixmap cache.
 * Missing or unreadable images come back null and are not cached, so a file that
 * appears later is picked up on the next call.
 */
VEXAWIDGETS_EXPORT QPixmap LoadCachedPixmap(const QString &path);
