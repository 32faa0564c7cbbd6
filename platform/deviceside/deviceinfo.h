#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace deviceside {

/**
 * What one simulated device reports about itself, named after the fields of
 * the discovery record. Texts are kept canonical (lower-case MAC, dotted
 * IPv4, compressed IPv6) so comparisons and the state file stay stable.
 */
struct DeviceInfo {
    std::string serialNo;
    std::string macAddr;
    std::string ipv4Addr;
    std::string ipv4Mask;
    std::string ipv4Gateway;
    int32_t typeCode = 0;
    std::string typeName;
    uint16_t port = 8000;
    uint16_t httpPort = 80;
    int32_t channelCount = 1;
    std::string softwareVersion;
    std::string dspVersion;
    std::string startTime;
    std::string ipv6Addr;
    std::string ipv6Gateway;
    uint8_t ipv6PrefixLen = 0;
    uint8_t capabilities = 0;
    uint8_t dhcpOn = 0;
    uint8_t extInfo = 1;

    /** The device's identity on the network: serial number and MAC address together. */
    std::string key() const { return serialNo + '|' + macAddr; }
};

enum Capability : uint8_t {
    CapIpv6 = 1 << 0,
    CapIpv6Modifiable = 1 << 1,
    CapDhcp = 1 << 2,
};

/** Widest text each report field carries (its width minus the terminator). */
namespace limits {
inline constexpr size_t serialNo = 47;
inline constexpr size_t typeName = 23;
inline constexpr size_t version = 47; // software version, DSP version, start time
inline constexpr size_t ipv6 = 45;
}

/** Strict dotted-decimal IPv4 ("1.2.3.4": four 0..255 parts, no leading zeros); network byte order. */
std::optional<uint32_t> parseIpv4(std::string_view text);
std::string formatIpv4(uint32_t networkOrder);
/** The one bits of a dotted-decimal mask (24 for 255.255.255.0); 0 when it is not an address. */
unsigned maskPrefix(std::string_view mask);
/** A mask with contiguous one bits and at least one of them. */
bool isValidMask(uint32_t networkOrder);
/** An address a device may take: not 0.0.0.0, not loopback, multicast or broadcast. */
bool isUnicastIpv4(uint32_t networkOrder);

/** "aa:bb:cc:dd:ee:ff" or with dashes, any case; canonical lower-case colon form. */
std::optional<std::string> canonicalMac(std::string_view text);
/** The canonical (RFC 5952) form of an IPv6 address text, or nothing when it is not one. */
std::optional<std::string> canonicalIpv6(std::string_view text);

} // namespace deviceside
