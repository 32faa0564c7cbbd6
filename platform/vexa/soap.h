#pragma once

// SOAP 1.2 messages of ONVIF device management, both ways, as flat lists of
// leaf fields: "NetworkInterface/IPv4/Manual/Address" = "10.1.2.3" (local
// names, attributes as "@name"). The client and the simulator build and read
// them the same way. The envelope, the operation and a fault's codes are
// recognised by namespace URI, whatever prefixes the sender chose; the fields
// below the operation by local name, as devices differ there. Parsing is
// bounded and drops anything beyond its limits.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "xmldoc.h"

namespace vexa::soap {

inline constexpr std::string_view kDeviceNs = "http://www.onvif.org/ver10/device/wsdl";
inline constexpr std::string_view kErrorNs = "http://www.onvif.org/ver10/error";

/** Largest message either side reads: a device's full interface list stays well below. */
inline constexpr size_t kMaxMessage = 64 * 1024;
inline constexpr size_t kMaxFields = 256;
inline constexpr size_t kMaxDepth = 12;
inline constexpr size_t kMaxText = 256;

using Fields = std::vector<std::pair<std::string, std::string>>;

/** WS-Security UsernameToken with PasswordDigest: never the password itself. */
struct UsernameToken {
    std::string username;
    std::string nonce;   // base64 of 16 random bytes
    std::string created; // "YYYY-MM-DDThh:mm:ssZ", the device's clock
    std::string digest;  // base64(SHA-1(nonce bytes + created + password))
    bool operator==(const UsernameToken &) const = default;
};

struct Envelope {
    Envelope() = default;
    Envelope(std::string op, Fields f = {}, std::optional<UsernameToken> t = std::nullopt)
        : operation(std::move(op)), fields(std::move(f)), token(std::move(t))
    {
    }

    std::string operation; // local name of the body's element, "Fault" for a SOAP fault
    Fields fields;         // relative to that element, in document order
    std::optional<UsernameToken> token;
    std::string ns = std::string(kDeviceNs); // of the operation (the envelope's own for a fault)
    std::vector<xmldoc::QName> faultCodes;   // a fault's Code/Value, then each Subcode/Value
    bool operator==(const Envelope &) const = default;

    /** The first field at `path`; empty when absent. */
    std::string field(std::string_view path) const;
    /** Whether this is a fault naming the ONVIF error `subcode` ("NotAuthorized"). */
    bool faultNames(std::string_view subcode) const;
};

/**
 * A message in the device namespace, written the way common clients write
 * it (the operation's namespace as its default one). Top-level fields are in
 * the device namespace, deeper ones in the schema namespace, unless a segment
 * names its prefix ("Service/tds:XAddr"). A fault's fields are in the envelope's.
 */
std::string encode(const Envelope &envelope);
/** The envelope, or nothing when it is not SOAP 1.2 or breaks a bound. */
std::optional<Envelope> parse(std::string_view xml);

/** A token for `password` at the device's time `deviceNow`. */
UsernameToken makeToken(const std::string &username, std::string_view password,
                        std::chrono::system_clock::time_point deviceNow);
/** Whether the token's digest proves `password`. */
bool tokenProves(const UsernameToken &token, std::string_view password);

/** "YYYY-MM-DDThh:mm:ssZ". */
std::string formatUtc(std::chrono::system_clock::time_point t);
/**
 * An xs:dateTime: "YYYY-MM-DDThh:mm:ss", optional fractions of a second
 * (ignored), then "Z", an offset "+hh:mm"/"-hh:mm", or nothing (taken as UTC,
 * as devices without a time zone mean it). Nothing for any other text.
 */
std::optional<std::chrono::system_clock::time_point> parseDateTime(std::string_view text);

} // namespace vexa::soap
