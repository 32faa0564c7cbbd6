#include "workarea.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <limits>

namespace {

int DistanceTo(const QRect &r, const QPoint &p)
{
    const int dx = std::max({r.left() - p.x(), 0, p.x() - r.right()});
    const int dy = std::max({r.top() - p.y(), 0, p.y() - r.bottom()});
    return dx + dy;
}

// The screen whose full geometry holds p; a point off every screen belongs
// to the nearest one.
const ScreenArea &ScreenAt(const QPoint &p, const QList<ScreenArea> &screens)
{
    const ScreenArea *best = &screens.front();
    int bestDistance = std::numeric_limits<int>::max();
    for (const ScreenArea &s : screens) {
        const int d = DistanceTo(s.geometry, p);
        if (d < bestDistance) {
            best = &s;
            bestDistance = d;
        }
    }
    return *best;
}

// Whether the cursor can go on past a strip: only onto a screen that lies
// beyond it at the cursor's own row or column.
bool AnyAvailableHolds(const QList<ScreenArea> &screens, const QPoint &p)
{
    return std::any_of(screens.begin(), screens.end(),
                       [&p](const ScreenArea &s) { return s.available.contains(p); });
}

QList<ScreenArea> ApplicationScreens()
{
    QList<ScreenArea> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens.append({screen->geometry(), screen->availableGeometry()});
    return screens;
}

} // namespace

QPoint ClampToWorkArea(const QPoint &p, const QList<ScreenArea> &screens)
{
    if (screens.isEmpty())
        return p;
    for (const ScreenArea &s : screens) {
        if (s.available.contains(p))
            return p;
    }

    // p is in a reserved strip; which edge the strip sits on follows from the
    // corners of the screen that the free area still holds.
    const ScreenArea &screen = ScreenAt(p, screens);
    const QRect &a = screen.available;
    const QRect &g = screen.geometry;
    if (a.contains(g.topLeft()) && a.contains(g.topRight()))
        return AnyAvailableHolds(screens, {p.x(), g.bottom() + 1}) ? p : QPoint(p.x(), a.bottom());
    if (a.contains(g.topLeft()) && a.contains(g.bottomLeft()))
        return AnyAvailableHolds(screens, {g.right() + 1, p.y()}) ? p : QPoint(a.right(), p.y());
    if (a.contains(g.topRight()) && a.contains(g.bottomRight()))
        return AnyAvailableHolds(screens, {g.left() - 1, p.y()}) ? p : QPoint(a.left(), p.y());
    return AnyAvailableHolds(screens, {p.x(), g.top() - 1}) ? p : QPoint(p.x(), a.top());
}

QPoint ClampToWorkArea(const QPoint &p)
{
    return ClampToWorkArea(p, ApplicationScreens());
}

QPoint PopupPosition(const QRect &anchor, const QSize &size, const QList<ScreenArea> &screens)
{
    QPoint at = anchor.bottomLeft();
    if (screens.isEmpty())
        return at;
    const QRect area = ScreenAt(anchor.center(), screens).available;
    if (at.y() + size.height() - 1 > area.bottom() && anchor.top() - size.height() >= area.top())
        at.setY(anchor.top() - size.height());
    // A pop-up larger than the area keeps its top-left corner on it.
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - size.width() + 1)));
    at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - size.height() + 1)));
    return at;
}

QPoint PopupPosition(const QRect &anchor, const QSize &size)
{
    return PopupPosition(anchor, size, ApplicationScreens());
}
