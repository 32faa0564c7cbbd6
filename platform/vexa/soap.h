#pragma once

// SOAP 1.2 messages of ONVIF device management, both ways, as flat lists of
// leaf fields: "NetworkInterface/IPv4/Manual/Address" = "10.1.2.3" (local
// names, attributes as "@name"). The client and the simulator build and read
// them the same way; parsing is bounded and drops anything beyond its limits.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexa::soap {

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
    std::string operation; // local name of the body's element, "Fault" for a fault
    Fields fields;         // relative to that element, in document order
    std::optional<UsernameToken> token;
    bool operator==(const Envelope &) const = default;

    /** The first field at `path`; empty when absent. */
    std::string field(std::string_view path) const;
};

/** A message in the device namespace ("tds:" + operation); paths with "tt:" leaves use the schema namespace. */
std::string encode(const Envelope &envelope);
/** The envelope, or nothing when it is not SOAP 1.2 or breaks a bound. */
std::optional<Envelope> parse(std::string_view xml);

/** A token for `password` at the device's time `deviceNow`. */
UsernameToken makeToken(const std::string &username, std::string_view password,
                        std::chrono::system_clock::time_point deviceNow);
/** Whether the token's digest proves `password`. */
bool tokenProves(const UsernameToken &token, std::string_view password);

/** "YYYY-MM-DDThh:mm:ssZ" and back (UTC, fractions of a second ignored); nothing for any other text. */
std::string formatUtc(std::chrono::system_clock::time_point t);
std::optional<std::chrono::system_clock::time_point> parseUtc(std::string_view text);

} // namespace vexa::soap
