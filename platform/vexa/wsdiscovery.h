#pragma once

// WS-Discovery (2005/04, as ONVIF devices speak it): the few SOAP-over-UDP
// messages the discovery library and the simulator exchange. Elements are
// matched by namespace URI and local name, whatever prefixes the sender
// chose. Parsing is defensive: oversized or malformed messages, and any field
// beyond its bound, make the whole message unparsable.

#include "xmldoc.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vexa::wsd {

inline constexpr uint16_t kPort = 3702;
inline constexpr uint32_t kGroup = 0xEFFFFFFA; // 239.255.255.250, host order
/** Largest message either side reads; a ProbeMatches of one device is about 1.5 KiB. */
inline constexpr size_t kMaxMessage = 16 * 1024;
inline constexpr size_t kMaxText = 256;      // endpoint, message ids, one scope or address
inline constexpr size_t kMaxListItems = 32;  // types, scopes, addresses of one target
inline constexpr size_t kMaxMatches = 8;

using Type = xmldoc::QName;
inline constexpr std::string_view kDeviceNs = "http://www.onvif.org/ver10/device/wsdl";
inline constexpr std::string_view kNetworkNs = "http://www.onvif.org/ver10/network/wsdl";
/** The device management service: every ONVIF device offers it. */
inline const Type kTypeDevice{std::string(kDeviceNs), "Device"};
/** A camera or encoder; older devices announce only this one. */
inline const Type kTypeTransmitter{std::string(kNetworkNs), "NetworkVideoTransmitter"};

/** Orders a sender's messages: a new InstanceId on each start, MessageNumber counting up within it. */
struct AppSequence {
    uint32_t instanceId = 0;
    uint32_t messageNumber = 0;
    bool operator==(const AppSequence &) const = default;
};

/** One discoverable device: its endpoint reference and what it says of itself. */
struct Target {
    std::string endpoint;
    std::vector<Type> types;
    std::vector<std::string> scopes;
    std::vector<std::string> xaddrs;
    uint32_t metadataVersion = 0;
    bool operator==(const Target &) const = default;
};

struct Probe {
    std::string messageId;
    std::vector<Type> types; // empty: every device answers
    bool operator==(const Probe &) const = default;
};
struct ProbeMatches {
    std::string messageId;
    std::string relatesTo;
    std::vector<Target> matches;
    std::optional<AppSequence> sequence;
    bool operator==(const ProbeMatches &) const = default;
};
struct Hello {
    std::string messageId;
    Target target;
    std::optional<AppSequence> sequence;
    bool operator==(const Hello &) const = default;
};
struct Bye {
    std::string messageId;
    std::string endpoint;
    std::optional<AppSequence> sequence;
    bool operator==(const Bye &) const = default;
};
using Message = std::variant<Probe, ProbeMatches, Hello, Bye>;

/** The message, or nothing when it is not one of the four or breaks a bound. */
std::optional<Message> parse(std::string_view xml);
/** The SOAP envelope of a message; empty when a field breaks a bound. */
std::string encode(const Message &message);

/** A fresh "urn:uuid:..." from the system's random source. */
std::string newUuidUrn();
/** Whether a probe for `types` (empty: any) matches a device of `deviceTypes`: namespace and local name alike. */
bool typesMatch(const std::vector<Type> &types, const std::vector<Type> &deviceTypes);
/** Whether a device says it is an ONVIF device; a type whose prefix nobody declared counts by its local name. */
bool isOnvifDevice(const std::vector<Type> &deviceTypes);
/** The value of the first "onvif://www.onvif.org/<category>/<value>" scope, percent-decoded. */
std::optional<std::string> scopeValue(const std::vector<std::string> &scopes, std::string_view category);
/** Host and port of an "http://host[:port]/path" transport address; the port defaults to 80. An
 *  IPv6 literal is written in brackets, its zone percent-encoded ("http://[fe80::1%25eth0]/"). */
struct HttpAddress {
    std::string host; ///< as named; an IPv6 literal without brackets, its zone decoded ("fe80::1%eth0")
    uint16_t port = 80;
    bool ipv6 = false; ///< `host` is an IPv6 literal
    /** "host:port" as a URL writes it again. */
    std::string authority() const;
};
std::optional<HttpAddress> httpAddress(std::string_view xaddr);

} // namespace vexa::wsd
