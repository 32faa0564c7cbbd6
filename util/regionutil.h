#pragma once

#include "vexawidgets_export.h"

class QRect;
class QRegion;

/**
 * \a rect with all four corners cut to quarter ellipses of \a radius, for window masks.
 * The radius is clamped to [0, half the shorter side]; 0 gives the plain rectangle.
 */
VEXAWIDGETS_EXPORT QRegion EllipseCornerRegion(const QRect &rect, int radius);

/** Like EllipseCornerRegion(), but only the top corners are cut; the bottom ones stay square. */
VEXAWIDGETS_EXPORT QRegion TopEllipseCornerRegion(const QRect &rect, int radius);
