#include "regionutil.h"

#include <QRect>
#include <QRegion>

#include <algorithm>

namespace {

// A radius beyond half a side would push the corner ellipses outside the
// rectangle and leave the narrowed parts inverted (empty).
int clampedRadius(const QRect &rect, int radius)
{
    return std::clamp(radius, 0, std::min(rect.width(), rect.height()) / 2);
}

QRegion cornerEllipse(int x, int y, int radius)
{
    return QRegion(x, y, 2 * radius, 2 * radius, QRegion::Ellipse);
}

} // namespace

QRegion EllipseCornerRegion(const QRect &rect, int radius)
{
    const int r = clampedRadius(rect, radius);
    const int right = rect.x() + rect.width() - 2 * r;
    const int bottom = rect.y() + rect.height() - 2 * r;
    QRegion region(rect.adjusted(r, 0, -r, 0));
    region += rect.adjusted(0, r, 0, -r);
    region += cornerEllipse(rect.x(), rect.y(), r);
    region += cornerEllipse(right, rect.y(), r);
    region += cornerEllipse(rect.x(), bottom, r);
    region += cornerEllipse(right, bottom, r);
    return region;
}

QRegion TopEllipseCornerRegion(const QRect &rect, int radius)
{
    const int r = clampedRadius(rect, radius);
    QRegion region(rect.adjusted(0, r, 0, 0));
    region += rect.adjusted(r, 0, -r, 0);
    region += cornerEllipse(rect.x(), rect.y(), r);
    region += cornerEllipse(rect.x() + rect.width() - 2 * r, rect.y(), r);
    return region;
}
