#pragma once

// The interfaces a back end works on, chosen the same way by every back end
// of the packet driver (packetdriver.h): VEXA_INTERFACES has the last word.

#include "packetdriver.h"

#include <vector>

/** Every interface that is up and has an IPv4 address (its first), with its MAC where it has one. */
std::vector<PKT_Interface> systemInterfaces();

/**
 * The choice out of `candidates`: with `setting` (the text of VEXA_INTERFACES)
 * the named ones in the order named, each once, multicast-capable or not
 * (Linux loopback lacks the flag yet carries multicast once routed there);
 * without it (null) every multicast-capable one.
 */
std::vector<PKT_Interface> chooseInterfaces(const std::vector<PKT_Interface> &candidates, const char *setting);

/**
 * The interfaces chosen now: systemInterfaces() and VEXA_INTERFACES read
 * afresh on every call, so that a changed environment or link state is honoured.
 */
std::vector<PKT_Interface> chosenInterfaces();

/** Copies up to `capacity` entries to `out`; returns the full count. */
int copyInterfaces(const std::vector<PKT_Interface> &list, PKT_Interface *out, size_t capacity);
