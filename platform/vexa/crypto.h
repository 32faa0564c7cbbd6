#pragma once

// The protocol's cryptography, all of it from libsodium: device key pairs and
// sealed request bodies, the RESULT's HMAC, password hashes, the
// manufacturer's device certificates and security codes.

#include "wire.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace vexa::crypto {

using SecretKey = std::array<uint8_t, 32>;
using FactoryKey = std::array<uint8_t, 32>;
using ManufacturerPublicKey = std::array<uint8_t, 32>; // Ed25519
using ManufacturerSecretKey = std::array<uint8_t, 64>; // Ed25519, seed + public key
using SigningSecretKey = std::array<uint8_t, 64>;      // a device's own Ed25519 key (revision 5)

/** "YYYYMMDD" and 20 base32 characters of the MAC. */
inline constexpr size_t kSecurityCodeLength = 28;
inline constexpr size_t kCodeMacLength = 20;

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
/** Zeroes a secret text's whole buffer (sodium_memzero: not optimised away); its size is kept. */
void wipe(std::string &text);
/** Zeroes the secrets of an opened or built request body: passwords, security code. */
void wipe(wire::ModifyBody &body);
void wipe(wire::ResetBody &body);
void wipe(wire::JobBody &body);

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

/** Encodes a RESULT, CONFIRM or JOB_RESULT with its tag computed under `key`; empty when it cannot be encoded. */
wire::Bytes encodeSignedResult(wire::Result result, const wire::ReplyKey &key);
wire::Bytes encodeSignedConfirm(wire::Confirm confirm, const wire::ReplyKey &key);
wire::Bytes encodeSignedJobResult(wire::JobResult result, const wire::ReplyKey &key);
/** True when the RESULT, CONFIRM or JOB_RESULT datagram's tag is valid under `key` (constant-time check). */
bool verifyResult(std::span<const uint8_t> datagram, const wire::ReplyKey &key);

/** Argon2id hash string (opslimit 2, memlimit 19 MiB: the OWASP minimum); nullopt when out of memory. */
std::optional<std::string> hashPassword(std::string_view password);
/**
 * True for an Argon2id hash string whose parameters a device may spend:
 * at most kMaxHashMemKiB of memory, kMaxHashOps passes and one lane.
 */
bool plausibleHash(std::string_view hash);
inline constexpr unsigned kMaxHashMemKiB = 256u << 10;
inline constexpr unsigned kMaxHashOps = 10;
/** Checks a password against a hash string from hashPassword; false for implausible hashes. */
bool verifyPassword(const std::string &hash, std::string_view password);

/** Signs a device's key and identity with the manufacturer's key: its certificate. */
wire::Certificate certify(const ManufacturerSecretKey &manufacturer, const wire::PublicKey &deviceKey,
                          std::string_view serial, const wire::Mac &mac);
/** True when `certificate` is the manufacturer's signature over this key, serial and MAC. */
bool checkCertificate(const ManufacturerPublicKey &manufacturer, const wire::Certificate &certificate,
                      const wire::PublicKey &deviceKey, std::string_view serial, const wire::Mac &mac);
/** What a certificate signs (revision 2): context, device key, MAC, serial number. */
wire::Bytes certificateMessage(const wire::PublicKey &deviceKey, std::string_view serial, const wire::Mac &mac);
/** What a device certificate signs (revision 5): context, both device keys, MAC, serial number. */
wire::Bytes deviceCertificateMessage(const wire::PublicKey &deviceKey, const wire::SigningKey &signingKey,
                                     std::string_view serial, const wire::Mac &mac);
/** The manufacturer's revision 5 certificate of a device's two keys. */
wire::DeviceCertificate certifyDevice(const ManufacturerSecretKey &manufacturer, const wire::PublicKey &deviceKey,
                                      const wire::SigningKey &signingKey, std::string_view serial,
                                      const wire::Mac &mac);
/**
 * What an ANNOUNCE's signature covers (revision 5): context, counter,
 * heartbeat interval, X25519 key and the TLVs before the signature.
 */
wire::Bytes announceMessage(uint64_t counter, uint16_t heartbeatS, const wire::PublicKey &deviceKey,
                            std::span<const uint8_t> tlvs);
/** Ed25519 (crypto_sign_detached / crypto_sign_verify_detached). */
wire::Signature sign(const SigningSecretKey &key, std::span<const uint8_t> message);
bool verifySignature(std::span<const uint8_t, 32> publicKey, std::span<const uint8_t> message,
                     const wire::Signature &signature);
/** A device's signing key pair from a 32-byte secret seed. */
SigningSecretKey signingKeyFromSeed(const std::array<uint8_t, 32> &seed);
wire::SigningKey signingPublicKey(const SigningSecretKey &secret);

/** The Ed25519 key pair of a 32-byte seed (the manufacturer key file holds the seed). */
ManufacturerSecretKey manufacturerKeyFromSeed(const std::array<uint8_t, 32> &seed);
ManufacturerPublicKey manufacturerPublicKey(const ManufacturerSecretKey &secret);

/** "YYYY-MM-DD" of `when` in UTC. */
std::string utcDate(std::chrono::system_clock::time_point when);
/**
 * The code key of one device, diversified from the manufacturer's master key:
 * HMAC-SHA-256(master, "VXDP code key|" + serial). A device holds only its own.
 */
FactoryKey deviceCodeKey(const FactoryKey &master, std::string_view serial);
/**
 * The security code of a device for a UTC date "YYYY-MM-DD": the date as
 * "YYYYMMDD", then the first 20 characters of
 * base32(HMAC-SHA-256(device code key, serial + "|" + date)), RFC 4648 alphabet.
 */
std::string securityCode(const FactoryKey &deviceKey, std::string_view serial, std::string_view date);
/**
 * The date ("YYYY-MM-DD") a valid code names, when that date is the UTC date
 * of `now`, the day before or the day after; nullopt otherwise. Lower-case
 * letters are taken as upper case. Remembering used dates is the caller's.
 */
std::optional<std::string> checkSecurityCode(const FactoryKey &deviceKey, std::string_view serial,
                                             std::string_view code, std::chrono::system_clock::time_point now);

/** Parses a key file's text: 64 hex characters on the first line (surrounding blanks allowed). */
std::optional<FactoryKey> parseFactoryKey(std::string_view text);
/** Reads a key file (factory master key, manufacturer seed); nullopt when unreadable or malformed. */
std::optional<FactoryKey> readFactoryKey(const std::string &path);

} // namespace vexa::crypto
