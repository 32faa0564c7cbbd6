#pragma once

#include "vexawidgets_export.h"

#include <QtGlobal>

#include <array>
#include <optional>

class QString;

// Checks of the address texts typed into the device page's parameter panel.
// Each takes a text already trimmed by the caller, shows nothing and keeps
// no state; the empty text is never valid.

/** A dotted-decimal host address: four decimal octets up to 255, the last not 0. Leading zeros are allowed. */
VEXAWIDGETS_EXPORT bool IsValidIPv4Addr(const QString &text);

/** A host address as IsValidIPv4Addr, or exactly "0.0.0.0" (no gateway). */
VEXAWIDGETS_EXPORT bool IsValidIPv4Gateway(const QString &text);

/** A contiguous subnet mask from 0.0.0.0 to 255.255.255.254, written without leading zeros. */
VEXAWIDGETS_EXPORT bool IsValidSubnetMask(const QString &text);

/**
 * A colon-hexadecimal IPv6 address of exactly eight 16-bit groups, of one to
 * four hex digits each, at most one "::" standing for the missing ones, an
 * optional IPv4 tail counting as the last two groups, and an optional zone
 * suffix after "%" that is not judged.
 */
VEXAWIDGETS_EXPORT bool IsValidIPv6Addr(const QString &text);

/** The four octets of a text made of four dot-separated decimal numbers up to 255, or nothing. */
VEXAWIDGETS_EXPORT std::optional<std::array<quint8, 4>> IPv4Octets(const QString &text);

/**
 * The text in plain dotted decimal, leading zeros dropped ("010.001.001.010"
 * gives "10.1.1.10"), so that it fits a 15-character address field; empty
 * when IPv4Octets does not accept it.
 */
VEXAWIDGETS_EXPORT QString PlainIPv4(const QString &text);
