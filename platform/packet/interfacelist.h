#pragma once

// The interfaces a back end works on, chosen the same way by every back end
// of the packet driver (packetdriver.h): a caller's choice narrows the
// suitable ones, and VEXA_INTERFACES has the last word.

#include "packetdriver.h"

#include <vector>

/** Every interface that is up, with its addresses (its first PKT_LINK_ADDRESSES), kind and MAC. */
std::vector<PKT_Link> systemLinks();

/** The interfaces of `links` that can carry `family` (PKT_FAMILY_V4: an IPv4 address, the first
 *  one listed; PKT_FAMILY_V6: a link-local IPv6 address, `addr` left 0), as candidates. */
std::vector<PKT_Interface> candidatesFor(const std::vector<PKT_Link> &links, uint32_t family);

/** Every interface that is up and has an IPv4 address (its first), with its MAC where it has one. */
std::vector<PKT_Interface> systemInterfaces();

/**
 * The choice out of `candidates`: with `setting` (the text of VEXA_INTERFACES)
 * the named ones in the order named, each once, multicast-capable or not
 * (Linux loopback lacks the flag yet carries multicast once routed there);
 * without it, with a caller's `choice` (the same form) the ones it names;
 * with neither (null) every multicast-capable one.
 */
std::vector<PKT_Interface> chooseInterfaces(const std::vector<PKT_Interface> &candidates, const char *setting,
                                            const char *choice = nullptr);

/**
 * The interfaces chosen now for `family` under `choice`: the system's links
 * and VEXA_INTERFACES read afresh on every call, so that a changed
 * environment or link state is honoured.
 */
std::vector<PKT_Interface> chosenInterfaces(uint32_t family = PKT_FAMILY_V4, const char *choice = nullptr);

/** `links` with PKT_IF_CHOSEN_V4 and PKT_IF_CHOSEN_V6 set as `choice` and VEXA_INTERFACES choose. */
std::vector<PKT_Link> markChosen(std::vector<PKT_Link> links, const char *choice);

/** The first link-local (fe80::/64) address of `link`; null when it has none. */
const PKT_Address *linkLocalOf(const PKT_Link &link);

/** Copies up to `capacity` entries to `out`; returns the full count. */
template <typename Entry>
int copyEntries(const std::vector<Entry> &list, Entry *out, size_t capacity)
{
    if (out)
        for (size_t i = 0; i < capacity && i < list.size(); ++i)
            out[i] = list[i];
    return static_cast<int>(list.size());
}

inline int copyInterfaces(const std::vector<PKT_Interface> &list, PKT_Interface *out, size_t capacity)
{
    return copyEntries(list, out, capacity);
}
