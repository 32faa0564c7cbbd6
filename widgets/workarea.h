#pragma once

#include "vexawidgets_export.h"

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

/** One screen as the drag clamp sees it: its full geometry and the part left
 *  free by task bars and docks. */
struct ScreenArea
{
    QRect geometry;
    QRect available;
};

/** Keeps a dragged window's grab point out of the task-bar strips of
 *  @p screens, unless another screen lies beyond the strip, so a frameless
 *  window cannot be pulled under a task bar where it could not be grabbed
 *  again. Depends only on its arguments. */
VEXAWIDGETS_EXPORT QPoint ClampToWorkArea(const QPoint &p, const QList<ScreenArea> &screens);

/** The same against the screens of the running application. */
VEXAWIDGETS_EXPORT QPoint ClampToWorkArea(const QPoint &p);

/** Where a pop-up of @p size opens under @p anchor (global coordinates): at
 *  the anchor's bottom-left corner, or above the anchor when only there it
 *  fits, and moved into the free area of the anchor's screen in @p screens. */
VEXAWIDGETS_EXPORT QPoint PopupPosition(const QRect &anchor, const QSize &size,
                                        const QList<ScreenArea> &screens);

/** The same against the screens of the running application. */
VEXAWIDGETS_EXPORT QPoint PopupPosition(const QRect &anchor, const QSize &size);
