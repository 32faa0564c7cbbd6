#pragma once

#include "vexamainwnd_export.h"

#include <string_view>

/**
 * The number yyyymmdd of a date in the compiler's __DATE__ form, "Mmm dd yyyy"
 * with the day padded by a blank ("Sep  3 2013" gives 20130903); 0 for text
 * not in that form.
 */
VEXAMAINWND_EXPORT unsigned BuildNumberFromDate(std::string_view date);

/** The date this library was compiled on, as BuildNumberFromDate() reads it. */
VEXAMAINWND_EXPORT unsigned GetBuildNumber();
