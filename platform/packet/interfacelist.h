#pragma once

#include "packetdriver.h"

#include <vector>

/**
 * The interfaces chosen by VEXA_INTERFACES (see packetdriver.h), read afresh
 * on every call so that a changed environment or link state is honoured.
 */
std::vector<PKT_Interface> chosenInterfaces();

/** Copies up to `capacity` entries to `out`; returns the full count. */
int copyInterfaces(const std::vector<PKT_Interface> &list, PKT_Interface *out, size_t capacity);
