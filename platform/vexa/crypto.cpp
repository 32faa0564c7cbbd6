#include "crypto.h"

#include <sodium.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <fstream>

namespace vexa::crypto {

static_assert(crypto_box_PUBLICKEYBYTES == wire::kPublicKeySize);
static_assert(crypto_box_SECRETKEYBYTES == sizeof(SecretKey));
static_assert(crypto_box_SEALBYTES == wire::kSealOverhead);
static_assert(crypto_auth_hmacsha256_BYTES == wire::kTagSize);
static_assert(crypto_auth_hmacsha256_KEYBYTES == wire::kReplyKeySize);

namespace {

// The OWASP minimum for Argon2id: 19 MiB, two passes, one lane.
constexpr unsigned long long kPwhashOps = 2;
constexpr size_t kPwhashMem = 19u << 20;

static_assert(crypto_sign_SECRETKEYBYTES == sizeof(ManufacturerSecretKey));
static_assert(crypto_sign_PUBLICKEYBYTES == sizeof(ManufacturerPublicKey));
static_assert(crypto_sign_BYTES == wire::kCertificateSize);

// Domain separation: a certificate signature or code key cannot stand for anything else.
constexpr std::string_view kCertificateContext = "VXDP device certificate|";
constexpr std::string_view kDeviceCertificateContext = "VXDP device certificate 5|";
constexpr std::string_view kAnnounceContext = "VXDP announcement 5|";
constexpr std::string_view kCodeKeyContext = "VXDP code key|";

wire::Tag hmacText(std::span<const uint8_t> key, std::string_view message)
{
    wire::Tag mac;
    crypto_auth_hmacsha256_state state;
    crypto_auth_hmacsha256_init(&state, key.data(), key.size());
    crypto_auth_hmacsha256_update(&state, reinterpret_cast<const unsigned char *>(message.data()),
                                  message.size());
    crypto_auth_hmacsha256_final(&state, mac.data());
    return mac;
}

// RFC 4648 base32 without padding.
std::string base32(std::span<const uint8_t> data)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    std::string out;
    uint32_t buffer = 0;
    int bits = 0;
    for (uint8_t byte : data) {
        buffer = (buffer << 8) | byte;
        bits += 8;
        while (bits >= 5) {
            out += kAlphabet[(buffer >> (bits - 5)) & 31];
            bits -= 5;
        }
    }
    if (bits > 0)
        out += kAlphabet[(buffer << (5 - bits)) & 31];
    return out;
}

} // namespace

bool init()
{
    return sodium_init() >= 0;
}

KeyPair generateKeyPair()
{
    KeyPair k;
    crypto_box_keypair(k.publicKey.data(), k.secretKey.data());
    return k;
}

void randomBytes(std::span<uint8_t> out)
{
    randombytes_buf(out.data(), out.size());
}

void wipe(std::string &text)
{
    // The capacity, not the size: a moved-from or shortened text keeps its old bytes there.
    sodium_memzero(text.data(), text.capacity());
}

void wipe(wire::ModifyBody &body)
{
    wipe(body.password);
}

void wipe(wire::ResetBody &body)
{
    wipe(body.securityCode);
}

void wipe(wire::JobBody &body)
{
    wipe(body.password);
    if (body.newPassword)
        wipe(*body.newPassword);
}

wire::Bytes seal(std::span<const uint8_t> plain, const wire::PublicKey &recipient)
{
    wire::Bytes out(plain.size() + crypto_box_SEALBYTES);
    if (crypto_box_seal(out.data(), plain.data(), plain.size(), recipient.data()) != 0)
        return {};
    return out;
}

std::optional<wire::Bytes> open(std::span<const uint8_t> sealed, const KeyPair &keys)
{
    if (sealed.size() < crypto_box_SEALBYTES)
        return std::nullopt;
    wire::Bytes out(sealed.size() - crypto_box_SEALBYTES);
    if (crypto_box_seal_open(out.data(), sealed.data(), sealed.size(), keys.publicKey.data(),
                             keys.secretKey.data())
        != 0)
        return std::nullopt;
    return out;
}

uint32_t answerHint(const wire::ToolId &toolId, std::string_view serial, const wire::Mac &mac)
{
    static_assert(wire::kToolIdSize == crypto_shorthash_KEYBYTES);
    // Serials never hold a zero byte and the MAC has a fixed width: the input is unambiguous.
    std::array<uint8_t, wire::kMaxSerial + 6> input;
    const size_t n = std::min(serial.size(), wire::kMaxSerial);
    std::memcpy(input.data(), serial.data(), n);
    std::memcpy(input.data() + n, mac.data(), mac.size());
    std::array<uint8_t, crypto_shorthash_BYTES> out;
    crypto_shorthash(out.data(), input.data(), n + mac.size(), toolId.data());
    return uint32_t(out[0]) << 24 | uint32_t(out[1]) << 16 | uint32_t(out[2]) << 8 | out[3];
}

wire::Tag hmac(std::span<const uint8_t> data, const wire::ReplyKey &key)
{
    wire::Tag tag;
    crypto_auth_hmacsha256(tag.data(), data.data(), data.size(), key.data());
    return tag;
}

namespace {

// The signed messages end in their tag, over every byte before it.
template <typename Signed>
wire::Bytes encodeSigned(Signed message, const wire::ReplyKey &key)
{
    message.tag = {};
    wire::Bytes datagram = wire::encode(message);
    if (datagram.empty())
        return {};
    const wire::Tag tag = hmac(wire::resultSignedPart(datagram), key);
    std::copy(tag.begin(), tag.end(), datagram.end() - wire::kTagSize);
    return datagram;
}

} // namespace

wire::Bytes encodeSignedResult(wire::Result result, const wire::ReplyKey &key)
{
    return encodeSigned(std::move(result), key);
}

wire::Bytes encodeSignedConfirm(wire::Confirm confirm, const wire::ReplyKey &key)
{
    return encodeSigned(confirm, key);
}

wire::Bytes encodeSignedJobResult(wire::JobResult result, const wire::ReplyKey &key)
{
    return encodeSigned(std::move(result), key);
}

bool verifyResult(std::span<const uint8_t> datagram, const wire::ReplyKey &key)
{
    const auto signedPart = wire::resultSignedPart(datagram);
    if (signedPart.empty())
        return false;
    return crypto_auth_hmacsha256_verify(datagram.last(wire::kTagSize).data(), signedPart.data(),
                                         signedPart.size(), key.data())
        == 0;
}

std::optional<std::string> hashPassword(std::string_view password)
{
    char out[crypto_pwhash_argon2id_STRBYTES];
    if (crypto_pwhash_argon2id_str(out, password.data(), password.size(), kPwhashOps, kPwhashMem) != 0)
        return std::nullopt;
    return std::string(out);
}

bool plausibleHash(std::string_view hash)
{
    // "$argon2id$v=19$m=<KiB>,t=<passes>,p=<lanes>$<salt>$<hash>"
    unsigned memKiB = 0, ops = 0, lanes = 0;
    int used = 0;
    const std::string text(hash.substr(0, crypto_pwhash_argon2id_STRBYTES));
    if (hash.size() >= crypto_pwhash_argon2id_STRBYTES
        || std::sscanf(text.c_str(), "$argon2id$v=19$m=%u,t=%u,p=%u$%n", &memKiB, &ops, &lanes, &used) != 3
        || used == 0)
        return false;
    return memKiB >= 8 && memKiB <= kMaxHashMemKiB && ops >= 1 && ops <= kMaxHashOps && lanes == 1;
}

bool verifyPassword(const std::string &hash, std::string_view password)
{
    // A hash from a file must not make the device spend gigabytes or minutes on one check.
    return plausibleHash(hash)
        && crypto_pwhash_argon2id_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

namespace {

std::span<const uint8_t> bytesOf(std::string_view text)
{
    return {reinterpret_cast<const uint8_t *>(text.data()), text.size()};
}

wire::Bytes joined(std::initializer_list<std::span<const uint8_t>> parts)
{
    size_t size = 0;
    for (const auto &part : parts)
        size += part.size();
    wire::Bytes out;
    out.reserve(size);
    for (const auto &part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

} // namespace

wire::Bytes certificateMessage(const wire::PublicKey &deviceKey, std::string_view serial, const wire::Mac &mac)
{
    return joined({bytesOf(kCertificateContext), deviceKey, mac, bytesOf(serial)});
}

wire::Bytes deviceCertificateMessage(const wire::PublicKey &deviceKey, const wire::SigningKey &signingKey,
                                     std::string_view serial, const wire::Mac &mac)
{
    return joined({bytesOf(kDeviceCertificateContext), deviceKey, signingKey, mac, bytesOf(serial)});
}

wire::Bytes announceMessage(uint64_t counter, uint16_t heartbeatS, const wire::PublicKey &deviceKey,
                            std::span<const uint8_t> tlvs)
{
    std::array<uint8_t, 10> fixed;
    for (size_t i = 0; i < 8; ++i)
        fixed[i] = uint8_t(counter >> (56 - 8 * i));
    fixed[8] = uint8_t(heartbeatS >> 8);
    fixed[9] = uint8_t(heartbeatS);
    return joined({bytesOf(kAnnounceContext), fixed, deviceKey, tlvs});
}

wire::Signature sign(const SigningSecretKey &key, std::span<const uint8_t> message)
{
    wire::Signature signature;
    crypto_sign_detached(signature.data(), nullptr, message.data(), message.size(), key.data());
    return signature;
}

bool verifySignature(std::span<const uint8_t, 32> publicKey, std::span<const uint8_t> message,
                     const wire::Signature &signature)
{
    return crypto_sign_verify_detached(signature.data(), message.data(), message.size(), publicKey.data()) == 0;
}

SigningSecretKey signingKeyFromSeed(const std::array<uint8_t, 32> &seed)
{
    return manufacturerKeyFromSeed(seed);
}

wire::SigningKey signingPublicKey(const SigningSecretKey &secret)
{
    return manufacturerPublicKey(secret);
}

wire::Certificate certify(const ManufacturerSecretKey &manufacturer, const wire::PublicKey &deviceKey,
                          std::string_view serial, const wire::Mac &mac)
{
    return sign(manufacturer, certificateMessage(deviceKey, serial, mac));
}

wire::DeviceCertificate certifyDevice(const ManufacturerSecretKey &manufacturer, const wire::PublicKey &deviceKey,
                                      const wire::SigningKey &signingKey, std::string_view serial,
                                      const wire::Mac &mac)
{
    return {signingKey, sign(manufacturer, deviceCertificateMessage(deviceKey, signingKey, serial, mac))};
}

bool checkCertificate(const ManufacturerPublicKey &manufacturer, const wire::Certificate &certificate,
                      const wire::PublicKey &deviceKey, std::string_view serial, const wire::Mac &mac)
{
    return verifySignature(manufacturer, certificateMessage(deviceKey, serial, mac), certificate);
}

ManufacturerSecretKey manufacturerKeyFromSeed(const std::array<uint8_t, 32> &seed)
{
    ManufacturerPublicKey publicKey;
    ManufacturerSecretKey secretKey;
    crypto_sign_seed_keypair(publicKey.data(), secretKey.data(), seed.data());
    return secretKey;
}

ManufacturerPublicKey manufacturerPublicKey(const ManufacturerSecretKey &secret)
{
    ManufacturerPublicKey publicKey;
    crypto_sign_ed25519_sk_to_pk(publicKey.data(), secret.data());
    return publicKey;
}

std::string utcDate(std::chrono::system_clock::time_point when)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
    return buf;
}

FactoryKey deviceCodeKey(const FactoryKey &master, std::string_view serial)
{
    std::string message(kCodeKeyContext);
    message.append(serial);
    return hmacText(master, message);
}

std::string securityCode(const FactoryKey &deviceKey, std::string_view serial, std::string_view date)
{
    std::string message;
    message.append(serial).append("|").append(date);
    std::string code;
    for (char c : date) {
        if (c != '-')
            code += c;
    }
    return code + base32(hmacText(deviceKey, message)).substr(0, kCodeMacLength);
}

std::optional<std::string> checkSecurityCode(const FactoryKey &deviceKey, std::string_view serial,
                                             std::string_view code, std::chrono::system_clock::time_point now)
{
    if (code.size() != kSecurityCodeLength)
        return std::nullopt;
    std::string typed(code);
    for (char &c : typed)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    using namespace std::chrono_literals;
    std::optional<std::string> named;
    // Every candidate is compared, so the time taken does not tell which day matched.
    for (auto day : {now - 24h, now, now + 24h}) {
        const std::string date = utcDate(day);
        const std::string expected = securityCode(deviceKey, serial, date);
        if (sodium_memcmp(expected.data(), typed.data(), kSecurityCodeLength) == 0)
            named = date;
    }
    return named;
}

std::optional<FactoryKey> parseFactoryKey(std::string_view text)
{
    const std::string_view line = text.substr(0, text.find('\n'));
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return std::nullopt;
    const auto last = line.find_last_not_of(" \t\r");
    const std::string_view hex = line.substr(first, last - first + 1);
    FactoryKey key;
    size_t len = 0;
    const char *end = nullptr;
    if (hex.size() != 2 * key.size()
        || sodium_hex2bin(key.data(), key.size(), hex.data(), hex.size(), nullptr, &len, &end) != 0
        || len != key.size() || end != hex.data() + hex.size())
        return std::nullopt;
    return key;
}

std::optional<FactoryKey> readFactoryKey(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line))
        return std::nullopt;
    return parseFactoryKey(line);
}

} // namespace vexa::crypto
