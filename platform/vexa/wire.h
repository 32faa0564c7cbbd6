#pragma once

// VXDP version 1: the discovery protocol's datagrams, encoded and decoded.
// Pure byte work, no I/O. docs/protocol.md is the byte-by-byte reference.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace vexa::wire {

inline constexpr uint16_t kPort = 39310;
inline constexpr uint32_t kDeviceGroup = 0xEFFF4D01; // 239.255.77.1, host order
inline constexpr uint32_t kToolGroup = 0xEFFF4D02;   // 239.255.77.2, host order
// Revision 7: ff02::4d:1 and ff02::4d:2, the same roles on IPv6 link-local multicast.
inline constexpr std::array<uint8_t, 16> kDeviceGroupV6{0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x4D, 0, 0x01};
inline constexpr std::array<uint8_t, 16> kToolGroupV6{0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x4D, 0, 0x02};
inline constexpr int kRequiredTtl = 255;
inline constexpr size_t kMaxDatagram = 1400;
inline constexpr size_t kHeaderSize = 16;
inline constexpr uint8_t kVersion = 1;
inline constexpr uint16_t kDefaultSpreadMs = 500;
// Longest answer spread a device honours: a larger one only keeps answers pending.
inline constexpr uint16_t kMaxSpreadMs = 2000;

inline constexpr size_t kToolIdSize = 16;
inline constexpr size_t kPublicKeySize = 32;   // X25519
inline constexpr size_t kNonceSize = 24;       // single-use request token
inline constexpr size_t kReplyKeySize = 32;    // HMAC-SHA-256 key for the RESULT
inline constexpr size_t kTagSize = 32;         // HMAC-SHA-256 output
inline constexpr size_t kSealOverhead = 48;    // sealed box: ephemeral key + MAC
inline constexpr size_t kCertificateSize = 64; // Ed25519 signature by the manufacturer
inline constexpr size_t kSigningKeySize = 32;  // revision 5: a device's own Ed25519 public key
inline constexpr size_t kSignatureSize = 64;   // Ed25519
inline constexpr size_t kRequesterIdSize = 16; // revision 5: who asks, sealed in the request body

// Longest texts: one byte less than the report field they end up in.
inline constexpr size_t kMaxSerial = 47;
inline constexpr size_t kMaxVersionText = 47; // software, DSP version, start time
inline constexpr size_t kMaxTypeName = 23;
inline constexpr size_t kMaxPassword = 64;
inline constexpr size_t kMaxSecurityCode = 32;
inline constexpr size_t kMaxNtpServer = 63;   // revision 6: a host name or address
inline constexpr size_t kMaxNtpServers = 2;

enum class MsgType : uint8_t {
    Inquiry = 1,
    Announce = 2,
    Goodbye = 3,
    NonceRequest = 4,
    Nonce = 5,
    Modify = 6,
    Reset = 7,
    Result = 8,
    InquiryRepeat = 9,
    Confirm = 10, // revision 4: the tool reached the device at its new address
    Job = 11,       // revision 6: a commissioning job, sealed like MODIFY
    JobResult = 12, // revision 6: its answer, with the device's clock and uptime
};

enum class AnnounceReason : uint8_t {
    InquiryAnswer = 0,
    Boot = 1,
    Heartbeat = 2,
    Changed = 3,
};

enum class Status : uint8_t {
    Ok = 0,
    WrongPassword = 1,
    WrongSecurityCode = 2,
    StaleNonce = 3,
    RateLimited = 4,
    InvalidParameters = 5,
    Confirmed = 6, // revision 4: answer to a CONFIRM, the change is kept
    NotOffered = 7, // revision 6, JOB_RESULT only: the device does not offer this job
};

/** Revision 6: what a JOB asks of a device. Numbers a device does not know are answered NotOffered. */
enum class JobKind : uint8_t {
    ReadClock = 1,
    SetClock = 2,
    SetNtp = 3,
    SetPassword = 4,
    Reboot = 5,
};

/** The bit of a job kind in the jobs a device offers (TLV 21). */
constexpr uint16_t jobBit(JobKind kind)
{
    return uint16_t(1u << uint8_t(kind));
}

// TLV type numbers of the device information.
enum class Tlv : uint8_t {
    Serial = 1,
    Mac = 2,
    Ipv4Addr = 3,
    Ipv4Mask = 4,
    Ipv4Gateway = 5,
    TypeCode = 6,
    Port = 7,
    HttpPort = 8,
    Channels = 9,
    SoftwareVersion = 10,
    DspVersion = 11,
    StartTime = 12,
    TypeName = 13,
    Ipv6Addr = 14,
    Ipv6Gateway = 15,
    Ipv6PrefixLen = 16,
    Capabilities = 17,
    Dhcp = 18,
    ExtInfo = 19,
    ConfirmWindow = 20, // revision 4: seconds a change waits for its CONFIRM
    Jobs = 21,          // revision 6: the job kinds the device offers, one bit each (jobBit)
    // Security TLVs start at 32, leaving 20..31 to device information.
    Certificate = 32,
    DeviceCertificate = 33, // revision 5: the manufacturer certifies both device keys
    AnnounceSignature = 34, // revision 5: the device signs its announced fields; always the last TLV
};

using Mac = std::array<uint8_t, 6>;
using Ipv4 = std::array<uint8_t, 4>; // in wire (network) order
using Ipv6 = std::array<uint8_t, 16>;
using ToolId = std::array<uint8_t, kToolIdSize>;
using PublicKey = std::array<uint8_t, kPublicKeySize>;
using NonceBytes = std::array<uint8_t, kNonceSize>;
using ReplyKey = std::array<uint8_t, kReplyKeySize>;
using Tag = std::array<uint8_t, kTagSize>;
using Certificate = std::array<uint8_t, kCertificateSize>;
using SigningKey = std::array<uint8_t, kSigningKeySize>;
using Signature = std::array<uint8_t, kSignatureSize>;
using RequesterId = std::array<uint8_t, kRequesterIdSize>;
using Bytes = std::vector<uint8_t>;

/** Revision 5: the device's own signing key, certified by the manufacturer together with its X25519 key. */
struct DeviceCertificate {
    SigningKey signingKey{};
    Signature signature{}; // the manufacturer's, over both keys, MAC and serial number
    bool operator==(const DeviceCertificate &) const = default;
};

/** Revision 5: the device's signature over what an ANNOUNCE says, numbered so that older states cannot come back. */
struct AnnounceSignature {
    uint64_t counter = 0; // grows with every change of the signed content
    Signature signature{};
    bool operator==(const AnnounceSignature &) const = default;
};

/** What a device reports about itself. Absent TLVs decode as zero / empty. */
struct DeviceInfo {
    std::string serial; // required, 1..47 bytes
    Mac mac{};          // required
    Ipv4 ipv4Addr{};
    Ipv4 ipv4Mask{};
    Ipv4 ipv4Gateway{};
    uint32_t typeCode = 0;
    uint16_t port = 0;
    uint16_t httpPort = 0;
    uint16_t channels = 0;
    std::string softwareVersion;
    std::string dspVersion;
    std::string startTime;
    std::string typeName;
    Ipv6 ipv6Addr{};
    Ipv6 ipv6Gateway{};
    uint8_t ipv6PrefixLen = 0; // 0..128
    uint8_t capabilities = 0;  // bit 0 IPv6, bit 1 IPv6 modifiable, bit 2 DHCP
    uint8_t dhcpOn = 0;        // 0 or 1
    uint8_t extInfo = 0;       // 0 or 1
    uint16_t confirmWindowS = 0; // 0: changes are final at once (no rollback)
    uint16_t jobs = 0;           // revision 6: jobBit() of each job offered; 0: none (TLV absent)
    std::optional<Certificate> certificate; // the manufacturer's signature of key and identity
    std::optional<DeviceCertificate> deviceCertificate{}; // revision 5
    bool operator==(const DeviceInfo &) const = default;
};

/** The device a request is for: by MAC address, or by serial number. */
struct Target {
    enum class Kind : uint8_t { Mac = 1, Serial = 2 };
    Kind kind = Kind::Mac;
    Mac mac{};          // Kind::Mac
    std::string serial; // Kind::Serial, 1..47 bytes
    bool operator==(const Target &) const = default;

    static Target byMac(const Mac &m) { return {Kind::Mac, m, {}}; }
    static Target bySerial(std::string s) { return {Kind::Serial, {}, std::move(s)}; }
};

struct Inquiry {
    ToolId toolId{};
    uint16_t spreadMs = kDefaultSpreadMs;
    bool operator==(const Inquiry &) const = default;
};

/**
 * A later round of an inquiry: the devices whose answer hint lies in
 * [low, high] and is not among `heard` answer (again).
 */
struct InquiryRepeat {
    ToolId toolId{};
    uint16_t spreadMs = 0;
    uint16_t burst = 0;  // the tool's count of inquiries: tells one inquiry's rounds from the next's
    uint8_t round = 1;   // 1..255
    uint32_t low = 0;    // hint range covered, inclusive, low <= high
    uint32_t high = 0;
    std::vector<uint32_t> heard; // strictly ascending, within [low, high]
    bool operator==(const InquiryRepeat &) const = default;
};

inline constexpr size_t kInquiryRepeatFixedSize = 30;
/** Hints one INQUIRY_REPEAT can carry within kMaxDatagram. */
inline constexpr size_t kMaxRepeatHints = (kMaxDatagram - kHeaderSize - kInquiryRepeatFixedSize) / 4;

struct Announce {
    AnnounceReason reason = AnnounceReason::Boot;
    uint16_t heartbeatS = 30; // 1..65535
    ToolId toolId{};          // the inquiry's tool id for InquiryAnswer, else zero
    PublicKey publicKey{};
    DeviceInfo info;
    std::optional<AnnounceSignature> signature{}; // revision 5: covers heartbeat, key and every TLV before it
    bool operator==(const Announce &) const = default;
};

struct Goodbye {
    std::string serial;
    Mac mac{};
    bool operator==(const Goodbye &) const = default;
};

struct NonceRequest {
    uint32_t requestId = 1; // never 0
    Target target;
    bool operator==(const NonceRequest &) const = default;
};

struct Nonce {
    uint32_t requestId = 1;
    NonceBytes nonce{};
    PublicKey publicKey{};
    std::string serial; // the answering device's identity
    Mac mac{};
    Target target; // echo of the request's target
    bool operator==(const Nonce &) const = default;
};

struct Modify {
    uint32_t requestId = 1;
    Mac target{};
    Bytes sealed; // sealed ModifyBody: kModifySealedSize bytes, or kModifySealedSize5 with a requester id
    bool operator==(const Modify &) const = default;
};

struct Reset {
    uint32_t requestId = 1;
    std::string targetSerial;
    Bytes sealed; // sealed ResetBody: kResetSealedSize bytes, or kResetSealedSize5 with a requester id
    bool operator==(const Reset &) const = default;
};

struct Result {
    uint32_t requestId = 1;
    Status status = Status::Ok;
    Target target; // echo of the request's target
    Tag tag{};     // HMAC over every datagram byte before it
    bool operator==(const Result &) const = default;
};

/** Sent by unicast to a device's new IPv4 address: it keeps the change it made for this request. */
struct Confirm {
    uint32_t requestId = 1; // the MODIFY's
    Mac target{};
    Tag tag{}; // HMAC under the MODIFY's reply key over every datagram byte before it
    bool operator==(const Confirm &) const = default;
};

/** Revision 6: a commissioning job for one device, its body sealed to the device's key. */
struct Job {
    uint32_t requestId = 1;
    Mac target{};
    Bytes sealed; // sealed JobBody: kJobSealedSize bytes
    bool operator==(const Job &) const = default;
};

/**
 * Revision 6: a device's answer to a JOB. Every answer carries the device's
 * clock and uptime as it signs it: a clock read is one, and a device that is
 * back from a restart tells so by its uptime.
 */
struct JobResult {
    uint32_t requestId = 1;
    Status status = Status::Ok; // never WrongSecurityCode or Confirmed
    Target target;              // echo of the request's target
    int64_t clockMs = 0;        // the device's UTC clock, milliseconds since 1970
    uint32_t uptimeS = 0;       // seconds since the device's software started
    Tag tag{};                  // HMAC under the JOB's reply key over every datagram byte before it
    bool operator==(const JobResult &) const = default;
};

using Message = std::variant<Inquiry, Announce, Goodbye, NonceRequest, Nonce, Modify, Reset, Result, InquiryRepeat,
                             Confirm, Job, JobResult>;

/** The sealed plaintext of a MODIFY. */
struct ModifyBody {
    NonceBytes nonce{};
    ReplyKey replyKey{};
    std::string password; // 0..64 bytes
    bool setGateway = false; // false: the device keeps its gateway
    bool setIpv6 = false;    // false: IPv6 is left alone
    bool confirm = false;    // the tool confirms at the new address; unconfirmed, the device rolls back
    Ipv4 ipv4Addr{};
    Ipv4 ipv4Mask{};
    Ipv4 ipv4Gateway{};
    uint16_t port = 0;
    Ipv6 ipv6Addr{};
    Ipv6 ipv6Gateway{};
    uint8_t ipv6PrefixLen = 0;
    std::optional<RequesterId> requester{}; // revision 5: the lock-out is its own, not its source address's
    bool operator==(const ModifyBody &) const = default;
};

/** The sealed plaintext of a RESET. */
struct ResetBody {
    NonceBytes nonce{};
    ReplyKey replyKey{};
    std::string securityCode; // 0..32 bytes
    std::optional<RequesterId> requester{}; // revision 5
    bool operator==(const ResetBody &) const = default;
};

/**
 * The sealed plaintext of a JOB (revision 6). One fixed size for every kind,
 * so the sealed size tells neither the job nor a password's length; the
 * parameters are TLVs, so a later kind adds its own without a new layout.
 */
struct JobBody {
    NonceBytes nonce{};
    ReplyKey replyKey{};
    RequesterId requester{};
    uint8_t kind = uint8_t(JobKind::ReadClock); // raw: an unknown kind still decodes, to be answered NotOffered
    std::string password;                       // 0..64 bytes; a clock read needs none
    std::optional<int64_t> utcMs;               // SetClock: the new UTC time, milliseconds since 1970
    std::vector<std::string> ntpServers;        // SetNtp: one or two host names or addresses, in order
    std::optional<std::string> newPassword;     // SetPassword: 0..64 bytes, padded to 64 on the wire
    bool operator==(const JobBody &) const = default;
};

/** Parameter TLV types of a job body. */
enum class JobParam : uint8_t {
    UtcTime = 1,     // i64 milliseconds since 1970, UTC
    NtpServer = 2,   // text 1..63; at most twice, first preferred
    NewPassword = 3, // 65 bytes: length, then the password zero-padded to 64
};

inline constexpr size_t kJobBodySize = 384;
inline constexpr size_t kJobParamsOffset = 139; // nonce, reply key, requester, kind, reserved, password
inline constexpr size_t kJobSealedSize = kJobBodySize + kSealOverhead;

inline constexpr size_t kModifyBodySize = 169;
inline constexpr size_t kResetBodySize = 89;
inline constexpr size_t kModifySealedSize = kModifyBodySize + kSealOverhead;
inline constexpr size_t kResetSealedSize = kResetBodySize + kSealOverhead;
// Revision 5 bodies end in the requester id; only a device that announced revision 5 gets them.
inline constexpr size_t kModifySealedSize5 = kModifySealedSize + kRequesterIdSize;
inline constexpr size_t kResetSealedSize5 = kResetSealedSize + kRequesterIdSize;

/**
 * Encodes one datagram. Empty when the message cannot be represented
 * (text too long or empty where required, zero request id, wrong sealed size).
 */
Bytes encode(const Message &message);

/** Fully validates and decodes one received datagram; nullopt for anything malformed. */
std::optional<Message> decode(std::span<const uint8_t> datagram);

/** The type a datagram claims, from its header alone (no validation beyond the size). */
std::optional<MsgType> peekType(std::span<const uint8_t> datagram);

/**
 * The TLVs an ANNOUNCE's signature covers (revision 5): every TLV of a
 * well-formed ANNOUNCE datagram before its signature TLV, which is the last.
 */
std::span<const uint8_t> announceSignedTlvs(std::span<const uint8_t> datagram);
/** An encoded ANNOUNCE with its signature TLV appended; empty when it does not fit. */
Bytes appendAnnounceSignature(Bytes datagram, const AnnounceSignature &signature);
/** Payload offset of an ANNOUNCE's reason and tool id: the unsigned part a device changes per answer. */
inline constexpr size_t kAnnounceReasonOffset = kHeaderSize;
inline constexpr size_t kAnnounceToolIdOffset = kHeaderSize + 4;

/** The bytes a RESULT's, CONFIRM's or JOB_RESULT's tag covers: everything before the tag. Empty if too short. */
std::span<const uint8_t> resultSignedPart(std::span<const uint8_t> datagram);

/** Fixed-size plaintexts of the sealed boxes; empty / nullopt on invalid content. */
Bytes encodeBody(const ModifyBody &body);
Bytes encodeBody(const ResetBody &body);
Bytes encodeBody(const JobBody &body);
std::optional<ModifyBody> decodeModifyBody(std::span<const uint8_t> plain);
std::optional<ResetBody> decodeResetBody(std::span<const uint8_t> plain);
std::optional<JobBody> decodeJobBody(std::span<const uint8_t> plain);

} // namespace vexa::wire
