#pragma once

// IPv4 address ranges a person types to scan beyond the tool's link:
// "10.1.0.0/16, 192.168.7.0/24 172.16.0.9". Read strictly, because a slip
// ("10.1.0.0/8", "10.1.0.5/24") would probe addresses nobody meant to.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::addressrange {

/** The widest range one item may name: a /16, 65 536 addresses. */
inline constexpr unsigned kMinPrefix = 16;
inline constexpr size_t kMaxRanges = 16;
/** Addresses of all the ranges together, overlaps counted once: four /16s. */
inline constexpr uint64_t kMaxAddresses = uint64_t(1) << 18;

/** Consecutive host addresses, host byte order, both ends included. */
struct Span {
    uint32_t first = 0;
    uint32_t last = 0;
    uint64_t size() const { return uint64_t(last) - first + 1; }
    bool operator==(const Span &) const = default;
};

/**
 * The host addresses of `text`: items "a.b.c.d/n" (n from 16 to 32) or
 * "a.b.c.d" (one address), separated by commas and/or blanks. Decimal only,
 * no leading zeros; no host bits set below the prefix; not 0.0.0.0/8 and not
 * multicast or reserved (224.0.0.0 and above). A range of /30 or wider leaves
 * out its network and broadcast addresses. Sorted, overlaps merged. Nothing,
 * with a sentence for the user in `error`, when any item breaks a rule.
 */
std::optional<std::vector<Span>> parse(std::string_view text, std::string &error);

/** How many addresses `spans` hold. */
uint64_t count(const std::vector<Span> &spans);

} // namespace vexa::addressrange
