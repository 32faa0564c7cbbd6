#pragma once

// The protocol's cryptography, all of it from libsodium: device key pairs and
// sealed request bodies, the RESULT's HMAC, password hashes and the
// manufacturer's security codes.

#include "wire.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace vexa::crypto {

using SecretKey = std::array<uint8_t, 32>;
using FactoryKey = std::array<uint8_t, 32>;

inline constexpr size_t kSecurityCodeLength = 20;
inline constexpr const char *kDefaultPassword = "admin12345";

/** Initialises libsodium; false when it cannot run. Safe to call repeatedly and from any thread. */
bool init();

struct KeyPair {
    wire::PublicKey publicKey{};
    SecretKey secretKey{};
};

/** A fresh X25519 key pair (crypto_box_keypair). */
KeyPair generateKeyPair();

/** Fills `out` from the system's secure random source. */
void randomBytes(std::span<uint8_t> out);

template<size_t N>
std::array<uint8_t, N> randomArray()
{
    std::array<uint8_t, N> a;
    randomBytes(a);
    return a;
}

/** Anonymous sealed box to `recipient` (crypto_box_seal): plain.size() + 48 bytes. */
wire::Bytes seal(std::span<const uint8_t> plain, const wire::PublicKey &recipient);
/** Opens a sealed box; nullopt when it was not sealed to this key pair or was altered. */
std::optional<wire::Bytes> open(std::span<const uint8_t> sealed, const KeyPair &keys);

/**
 * A device's answer hint for one tool: the first 4 bytes, big-endian, of
 * SipHash-2-4 (crypto_shorthash) keyed with the tool id over serial + MAC.
 */
uint32_t answerHint(const wire::ToolId &toolId, std::string_view serial, const wire::Mac &mac);

/** HMAC-SHA-256 (crypto_auth_hmacsha256). */
wire::Tag hmac(std::span<const uint8_t> data, const wire::ReplyKey &key);

/** Encodes a RESULT with its tag computed under `key`; empty when it cannot be encoded. */
wire::Bytes encodeSignedResult(wire::Result result, const wire::ReplyKey &key);
/** True when the RESULT datagram's tag is valid under `key` (constant-time check). */
bool verifyResult(std::span<const uint8_t> datagram, const wire::ReplyKey &key);

/** Argon2id hash string (opslimit 2, memlimit 16 MiB); nullopt when out of memory. */
std::optional<std::string> hashPassword(std::string_view password);
/** Checks a password against a hash string from hashPassword. */
bool verifyPassword(const std::string &hash, std::string_view password);

/** "YYYY-MM-DD" of `when` in UTC. */
std::string utcDate(std::chrono::system_clock::time_point when);
/** First 20 characters of base32(HMAC-SHA-256(key, serial + "|" + date)), RFC 4648 alphabet. */
std::string securityCode(const FactoryKey &key, std::string_view serial, std::string_view date);
/**
 * Accepts the code for the UTC date of `now`, the day before and the day
 * after. Lower-case letters are taken as upper case.
 */
bool checkSecurityCode(const FactoryKey &key, std::string_view serial, std::string_view code,
                       std::chrono::system_clock::time_point now);

/** Parses a factory key: 64 hex characters on the first line (surrounding blanks allowed). */
std::optional<FactoryKey> parseFactoryKey(std::string_view text);
/** Reads a factory key file; nullopt when it cannot be read or is malformed. */
std::optional<FactoryKey> readFactoryKey(const std::string &path);

} // namespace vexa::crypto
