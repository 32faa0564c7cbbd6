#pragma once

// Text forms of the addresses the protocol carries in binary. Parsing is
// strict: exactly one text form is accepted for each IPv4 address and MAC.

#include <packet/netaddress.h>
#include "wire.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace vexa::address {

/** The value of a hexadecimal digit, or -1. */
int hexDigit(char c);

/** "aa:bb:cc:dd:ee:ff", lower case. */
std::string formatMac(const wire::Mac &mac);
/** Six two-digit hex groups separated by ':' or '-' (one separator throughout), either case. */
std::optional<wire::Mac> parseMac(std::string_view text);

/** Dotted decimal. */
std::string formatIpv4(const wire::Ipv4 &addr);
/** Dotted decimal: four groups of 1-3 digits, each 0-255, no leading zeros, nothing else. */
std::optional<wire::Ipv4> parseIpv4(std::string_view text);

/** RFC 5952 text; empty for the unspecified address "::". */
std::string formatIpv6(const wire::Ipv6 &addr);
std::optional<wire::Ipv6> parseIpv6(std::string_view text);
/** An IPv6 address with its zone as the interface's name ("fe80::1%eth0"), the number where the
 *  interface is gone: a link-local address without its zone is not usable. */
std::string formatScoped(const packet::Address &addr);

/** The protocols' groups as the transport takes them. */
inline constexpr packet::Address kDeviceGroup = packet::Address::v4HostOrder(wire::kDeviceGroup);
inline constexpr packet::Address kToolGroup = packet::Address::v4HostOrder(wire::kToolGroup);
/** Revision 7: the same roles in IPv6 link-local multicast. */
inline constexpr packet::Address kDeviceGroupV6 = packet::Address::v6(wire::kDeviceGroupV6);
inline constexpr packet::Address kToolGroupV6 = packet::Address::v6(wire::kToolGroupV6);
/** Each role's group of both families: every multicast goes out in each family the sender has. */
inline constexpr std::array<packet::Address, 2> kDeviceGroups{kDeviceGroup, kDeviceGroupV6};
inline constexpr std::array<packet::Address, 2> kToolGroups{kToolGroup, kToolGroupV6};

/** The host-order wire constants as the network-order value socket calls take. */
uint32_t toNetworkOrder(uint32_t hostOrder);
wire::Ipv4 fromNetworkOrder(uint32_t networkOrder);
/** The address as one host-order number, for keys and comparisons. */
uint32_t toHostOrder(const wire::Ipv4 &addr);

} // namespace vexa::address
