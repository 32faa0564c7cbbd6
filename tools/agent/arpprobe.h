#pragma once

// Whether an IPv4 address is already in use on the link, asked the way
// RFC 5227 does before an address is taken: ARP requests from 0.0.0.0 for
// it, and anyone else's ARP packet naming it as its sender (or probing for it
// too) counts as a claim.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace agent {

using HardwareAddress = std::array<uint8_t, 6>;

/** An ARP packet (Ethernet, IPv4) of another host claiming `address` (network order); false for anything else. */
bool claimsAddress(std::span<const uint8_t> arp, uint32_t address, const HardwareAddress &own);

/** What a probe found. */
struct Probe {
    bool asked = false;                      ///< false: it could not ask (the error says why)
    std::optional<HardwareAddress> claimant; ///< who answered for the address
};

/**
 * Probes the link of interface `index` for `address` (network order) from
 * `own`: two requests, and `wait` in all for an answer.
 */
Probe probeAddress(int index, const HardwareAddress &own, uint32_t address, std::chrono::milliseconds wait,
                   std::string &error);

} // namespace agent
