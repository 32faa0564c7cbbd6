#pragma once

#include "vexamainwnd_export.h"

class QLocale;
class QString;

/**
 * Where the user manual for `language` lies: beside the program, the Chinese
 * manual for Chinese and the English one for every other language.
 */
VEXAMAINWND_EXPORT QString UserManualPath(const QLocale &language);
