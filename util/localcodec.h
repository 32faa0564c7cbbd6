#pragma once

#include "vexawidgets_export.h"

#include <QtGlobal>

#include <string>

class QByteArray;
class QString;

// Conversions between Unicode text and the 8-bit encoding of the user's
// locale, in which the discovery library's texts are compared and the
// byte-limited fields count. On a UTF-8 locale (every Linux desktop, and what
// Qt 6 assumes on Unix) that encoding is UTF-8, for counts and comparisons alike.

/**
 * Decodes locale 8-bit text up to its first NUL byte. With a \a capacity >= 0
 * at most that many bytes are read, so a fixed-width field lacking its
 * terminator is still read safely. A null pointer gives an empty string.
 */
VEXAWIDGETS_EXPORT QString FromLocal8Bit(const char *text, qsizetype capacity = -1);

/** \a text in the locale's encoding, cut at the first NUL byte. */
VEXAWIDGETS_EXPORT std::string ToLocalStdString(const QString &text);

/** \a text in the locale's encoding. */
VEXAWIDGETS_EXPORT QByteArray ToLocal8Bit(const QString &text);
