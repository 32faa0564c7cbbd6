#pragma once

// Signed firmware images (docs/firmware.md): a header naming the models the
// image is for, its version, the payload's size and SHA-256 and the
// manufacturer who signed it, then the payload. Nothing here trusts an image
// until its signer is a trusted manufacturer and size, hash and signature agree.

#include "crypto.h"

#include <array>
#include <compare>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::firmwareimage {

inline constexpr size_t kMaxModels = 16;
inline constexpr size_t kMaxModelLength = 31;
inline constexpr uint64_t kMaxPayloadSize = uint64_t(4) << 30;
/** Fixed fields, the longest model list, the signature. */
inline constexpr size_t kMaxHeaderLength = 86 + kMaxModels * (1 + kMaxModelLength) + wire::kSignatureSize;

/** major.minor.patch, compared number by number. */
using Version = std::array<uint16_t, 3>;
using Sha256 = std::array<uint8_t, 32>;

struct ImageHeader {
    std::vector<std::string> models;
    Version version{};
    uint64_t payloadSize = 0;
    Sha256 payloadHash{};
    crypto::ManufacturerPublicKey signer{};
    wire::Signature signature{};
    size_t headerLength = 0; // where the payload starts
};

/**
 * The header at the start of `data` (the payload may follow); nothing, with
 * the reason in `error`, when it is malformed. Reads no byte past the header
 * or the input and checks no signature.
 */
std::optional<ImageHeader> parseHeader(std::span<const uint8_t> data, std::string &error);

/** The header of the image file at `path`, unchecked, as parseHeader. */
std::optional<ImageHeader> readHeader(const std::string &path, std::string &error);

/**
 * The header of the image file at `path` when a manufacturer of `trusted`
 * signed it and the payload has the size and hash it signed; nothing, with
 * the reason in `error`, otherwise. The payload is read through a fixed buffer.
 */
std::optional<ImageHeader> verifyImage(const std::string &path,
                                       std::span<const crypto::ManufacturerPublicKey> trusted, std::string &error);

/** True when `typeName` (a device's type as the device list shows it) is one of the image's models. */
bool fitsModel(const ImageHeader &header, std::string_view typeName);

/** "major.minor.patch", decimal numbers of 0..65535 without leading zeros. */
std::optional<Version> parseVersion(std::string_view text);
std::string formatVersion(const Version &version);
/** Numerically, so that 1.10.0 is newer than 1.9.9. */
std::strong_ordering compareVersion(const Version &a, const Version &b);

/** Empty when `models` can go into a header; the reason otherwise. */
std::string checkModels(const std::vector<std::string> &models);

/**
 * Writes the image of the payload file `payloadPath` for `models` and
 * `version`, signed with `key`, to `outPath`: through a temporary file beside
 * it renamed into place, so that `outPath` is never half written. False,
 * with the reason in `error`, when it cannot.
 */
bool signImage(const crypto::ManufacturerSecretKey &key, const std::vector<std::string> &models,
               const Version &version, const std::string &payloadPath, const std::string &outPath,
               std::string &error);

} // namespace vexa::firmwareimage
