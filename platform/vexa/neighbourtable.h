#pragma once

// The host's IPv4 neighbour table as the kernel shows it in /proc/net/arp:
// the hardware address it resolved for an address on one of its links. Read
// whole at once and looked up by address, so that the devices of one burst
// share one read whatever the table's size.

#include "wire.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace vexa::neighbourtable {

inline constexpr const char *kPath = "/proc/net/arp";

class Table final {
public:
    /** The table at `path`; empty when it cannot be read. */
    static Table read(const std::string &path = kPath);

    /**
     * The MAC of the complete entry (ATF_COM) for `addr`, when it is a
     * non-zero unicast address. Nothing for an incomplete or missing entry,
     * nor when two links hold different MACs for `addr`.
     */
    std::optional<wire::Mac> macOf(const wire::Ipv4 &addr) const;
    size_t size() const { return m_entries.size(); }

private:
    std::unordered_map<uint32_t, std::optional<wire::Mac>> m_entries; // host order; nothing: links disagree
};

} // namespace vexa::neighbourtable
