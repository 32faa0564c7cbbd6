#pragma once

// The host's IPv4 neighbour table as the kernel shows it in /proc/net/arp:
// the hardware address it resolved for an address on one of its links.

#include "wire.h"

#include <optional>
#include <string>

namespace vexa::neighbourtable {

inline constexpr const char *kPath = "/proc/net/arp";

/**
 * The MAC of the complete entry (ATF_COM) for `addr` in the table at `path`,
 * when it is a non-zero unicast address. Nothing for an incomplete, missing
 * or unreadable entry, nor when two links hold different MACs for `addr`.
 */
std::optional<wire::Mac> macOf(const wire::Ipv4 &addr, const std::string &path = kPath);

} // namespace vexa::neighbourtable
