#include "wire.h"

#include <algorithm>
#include <bitset>
#include <cstring>

namespace vexa::wire {

namespace {

constexpr std::array<uint8_t, 4> kMagic{'V', 'X', 'D', 'P'};

bool validText(std::string_view text, size_t minLen, size_t maxLen)
{
    // Texts end up NUL-terminated in fixed fields: an inner NUL would cut them.
    return text.size() >= minLen && text.size() <= maxLen && text.find('\0') == std::string_view::npos;
}

// Appends big-endian values; remembers any value it could not represent.
class Writer {
public:
    void u8(uint8_t v) { m_out.push_back(v); }
    void u16(uint16_t v)
    {
        u8(uint8_t(v >> 8));
        u8(uint8_t(v));
    }
    void u32(uint32_t v)
    {
        u16(uint16_t(v >> 16));
        u16(uint16_t(v));
    }
    void u64(uint64_t v)
    {
        u32(uint32_t(v >> 32));
        u32(uint32_t(v));
    }
    void bytes(std::span<const uint8_t> b) { m_out.insert(m_out.end(), b.begin(), b.end()); }
    void text(std::string_view s) { m_out.insert(m_out.end(), s.begin(), s.end()); }
    void fail() { m_ok = false; }
    bool ok() const { return m_ok; }
    Bytes &out() { return m_out; }

    void tlv(Tlv type, std::span<const uint8_t> value)
    {
        u8(uint8_t(type));
        u8(uint8_t(value.size()));
        bytes(value);
    }
    void tlvText(Tlv type, const std::string &s, size_t minLen, size_t maxLen)
    {
        if (!validText(s, minLen, maxLen))
            return fail();
        tlv(type, std::span(reinterpret_cast<const uint8_t *>(s.data()), s.size()));
    }
    void tlvU8(Tlv type, uint8_t v) { tlv(type, std::array<uint8_t, 1>{v}); }
    void tlvU16(Tlv type, uint16_t v) { tlv(type, std::array<uint8_t, 2>{uint8_t(v >> 8), uint8_t(v)}); }
    void tlvU32(Tlv type, uint32_t v)
    {
        tlv(type, std::array<uint8_t, 4>{uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
    }

    // Length-prefixed text (u8 length).
    void shortText(const std::string &s, size_t minLen, size_t maxLen)
    {
        if (!validText(s, minLen, maxLen))
            return fail();
        u8(uint8_t(s.size()));
        text(s);
    }
    // Length byte, then the text zero-padded to `width`: sealed bodies keep a
    // constant size so their length does not tell the password's length.
    void paddedText(const std::string &s, size_t width)
    {
        if (!validText(s, 0, width))
            return fail();
        u8(uint8_t(s.size()));
        text(s);
        m_out.insert(m_out.end(), width - s.size(), 0);
    }

    void target(const Target &t)
    {
        u8(uint8_t(t.kind));
        if (t.kind == Target::Kind::Mac) {
            u8(uint8_t(t.mac.size()));
            bytes(t.mac);
        } else if (t.kind == Target::Kind::Serial) {
            shortText(t.serial, 1, kMaxSerial);
        } else {
            fail();
        }
    }

private:
    Bytes m_out;
    bool m_ok = true;
};

// Reads big-endian values; every read checks the remaining length first and
// a failed read poisons the reader, so callers test ok() once at the end.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> data) : m_data(data) {}

    bool ok() const { return m_ok; }
    size_t remaining() const { return m_ok ? m_data.size() - m_pos : 0; }
    bool atEnd() const { return m_ok && m_pos == m_data.size(); }
    void fail() { m_ok = false; }

    std::span<const uint8_t> take(size_t n)
    {
        if (!m_ok || n > m_data.size() - m_pos) {
            m_ok = false;
            return {};
        }
        auto s = m_data.subspan(m_pos, n);
        m_pos += n;
        return s;
    }
    uint8_t u8()
    {
        auto s = take(1);
        return s.empty() ? 0 : s[0];
    }
    uint16_t u16()
    {
        auto s = take(2);
        return s.empty() ? 0 : uint16_t(s[0] << 8 | s[1]);
    }
    uint32_t u32()
    {
        auto s = take(4);
        return s.empty() ? 0 : uint32_t(s[0]) << 24 | uint32_t(s[1]) << 16 | uint32_t(s[2]) << 8 | s[3];
    }
    uint64_t u64()
    {
        const uint64_t high = u32();
        return high << 32 | u32();
    }
    template<size_t N>
    std::array<uint8_t, N> array()
    {
        std::array<uint8_t, N> a{};
        auto s = take(N);
        if (!s.empty())
            std::copy(s.begin(), s.end(), a.begin());
        return a;
    }
    std::string text(size_t n, size_t minLen, size_t maxLen)
    {
        auto s = take(n);
        std::string t(s.begin(), s.end());
        if (!validText(t, minLen, maxLen))
            fail();
        return t;
    }
    std::string shortText(size_t minLen, size_t maxLen) { return text(u8(), minLen, maxLen); }
    std::string paddedText(size_t width)
    {
        const size_t len = u8();
        if (len > width)
            fail();
        auto s = take(width);
        if (s.empty())
            return {};
        std::string t(s.begin(), s.begin() + len);
        // Padding must be zero: there is exactly one encoding of each body.
        if (!validText(t, 0, width) || std::any_of(s.begin() + len, s.end(), [](uint8_t b) { return b != 0; }))
            fail();
        return t;
    }
    Target target()
    {
        Target t;
        const uint8_t kind = u8();
        if (kind == uint8_t(Target::Kind::Mac)) {
            t.kind = Target::Kind::Mac;
            if (u8() != t.mac.size())
                fail();
            t.mac = array<6>();
        } else if (kind == uint8_t(Target::Kind::Serial)) {
            t.kind = Target::Kind::Serial;
            t.serial = shortText(1, kMaxSerial);
        } else {
            fail();
        }
        return t;
    }

private:
    std::span<const uint8_t> m_data;
    size_t m_pos = 0;
    bool m_ok = true;
};

void writeInfo(Writer &w, const DeviceInfo &d)
{
    if (d.ipv6PrefixLen > 128 || d.dhcpOn > 1 || d.extInfo > 1)
        w.fail();
    w.tlvText(Tlv::Serial, d.serial, 1, kMaxSerial);
    w.tlv(Tlv::Mac, d.mac);
    w.tlv(Tlv::Ipv4Addr, d.ipv4Addr);
    w.tlv(Tlv::Ipv4Mask, d.ipv4Mask);
    w.tlv(Tlv::Ipv4Gateway, d.ipv4Gateway);
    w.tlvU32(Tlv::TypeCode, d.typeCode);
    w.tlvU16(Tlv::Port, d.port);
    w.tlvU16(Tlv::HttpPort, d.httpPort);
    w.tlvU16(Tlv::Channels, d.channels);
    w.tlvText(Tlv::SoftwareVersion, d.softwareVersion, 0, kMaxVersionText);
    w.tlvText(Tlv::DspVersion, d.dspVersion, 0, kMaxVersionText);
    w.tlvText(Tlv::StartTime, d.startTime, 0, kMaxVersionText);
    w.tlvText(Tlv::TypeName, d.typeName, 0, kMaxTypeName);
    w.tlv(Tlv::Ipv6Addr, d.ipv6Addr);
    w.tlv(Tlv::Ipv6Gateway, d.ipv6Gateway);
    w.tlvU8(Tlv::Ipv6PrefixLen, d.ipv6PrefixLen);
    w.tlvU8(Tlv::Capabilities, d.capabilities);
    w.tlvU8(Tlv::Dhcp, d.dhcpOn);
    w.tlvU8(Tlv::ExtInfo, d.extInfo);
    if (d.confirmWindowS != 0)
        w.tlvU16(Tlv::ConfirmWindow, d.confirmWindowS);
    if (d.jobs != 0)
        w.tlvU16(Tlv::Jobs, d.jobs);
    if (d.certificate)
        w.tlv(Tlv::Certificate, *d.certificate);
    if (d.deviceCertificate) {
        std::array<uint8_t, kSigningKeySize + kSignatureSize> value;
        std::copy(d.deviceCertificate->signingKey.begin(), d.deviceCertificate->signingKey.end(), value.begin());
        std::copy(d.deviceCertificate->signature.begin(), d.deviceCertificate->signature.end(),
                  value.begin() + kSigningKeySize);
        w.tlv(Tlv::DeviceCertificate, value);
    }
}

std::array<uint8_t, 8 + kSignatureSize> signatureValue(const AnnounceSignature &s)
{
    std::array<uint8_t, 8 + kSignatureSize> value;
    for (size_t i = 0; i < 8; ++i)
        value[i] = uint8_t(s.counter >> (56 - 8 * i));
    std::copy(s.signature.begin(), s.signature.end(), value.begin() + 8);
    return value;
}

// Expected value length of each known TLV type; 0 marks a text (checked separately).
constexpr size_t fixedLength(Tlv t)
{
    switch (t) {
    case Tlv::Mac: return 6;
    case Tlv::Ipv4Addr:
    case Tlv::Ipv4Mask:
    case Tlv::Ipv4Gateway:
    case Tlv::TypeCode: return 4;
    case Tlv::Port:
    case Tlv::HttpPort:
    case Tlv::Channels:
    case Tlv::ConfirmWindow:
    case Tlv::Jobs: return 2;
    case Tlv::Ipv6Addr:
    case Tlv::Ipv6Gateway: return 16;
    case Tlv::Ipv6PrefixLen:
    case Tlv::Capabilities:
    case Tlv::Dhcp:
    case Tlv::ExtInfo: return 1;
    case Tlv::Certificate: return kCertificateSize;
    case Tlv::DeviceCertificate: return kSigningKeySize + kSignatureSize;
    case Tlv::AnnounceSignature: return 8 + kSignatureSize;
    default: return 0;
    }
}

constexpr uint8_t kLastTlv = uint8_t(Tlv::AnnounceSignature);

constexpr bool isKnownTlv(uint8_t type)
{
    return (type >= uint8_t(Tlv::Serial) && type <= uint8_t(Tlv::Jobs))
        || (type >= uint8_t(Tlv::Certificate) && type <= uint8_t(Tlv::AnnounceSignature));
}

// Reads TLVs up to the end of the payload into a DeviceInfo. Unknown types are
// skipped; known ones must be well-formed and appear at most once. The
// signature TLV must be the last: it covers every byte before it.
std::optional<DeviceInfo> readInfo(Reader &r, std::optional<AnnounceSignature> *signature = nullptr)
{
    DeviceInfo d;
    std::bitset<kLastTlv + 1> seen;
    while (r.ok() && !r.atEnd()) {
        const uint8_t type = r.u8();
        const uint8_t len = r.u8();
        Reader v(r.take(len));
        if (!r.ok())
            return std::nullopt;
        if (!isKnownTlv(type))
            continue;
        if (seen.test(type))
            return std::nullopt;
        seen.set(type);
        const Tlv t = Tlv(type);
        const size_t want = fixedLength(t);
        if (want != 0 && len != want)
            return std::nullopt;
        switch (t) {
        case Tlv::Serial: d.serial = v.text(len, 1, kMaxSerial); break;
        case Tlv::Mac: d.mac = v.array<6>(); break;
        case Tlv::Ipv4Addr: d.ipv4Addr = v.array<4>(); break;
        case Tlv::Ipv4Mask: d.ipv4Mask = v.array<4>(); break;
        case Tlv::Ipv4Gateway: d.ipv4Gateway = v.array<4>(); break;
        case Tlv::TypeCode: d.typeCode = v.u32(); break;
        case Tlv::Port: d.port = v.u16(); break;
        case Tlv::HttpPort: d.httpPort = v.u16(); break;
        case Tlv::Channels: d.channels = v.u16(); break;
        case Tlv::SoftwareVersion: d.softwareVersion = v.text(len, 0, kMaxVersionText); break;
        case Tlv::DspVersion: d.dspVersion = v.text(len, 0, kMaxVersionText); break;
        case Tlv::StartTime: d.startTime = v.text(len, 0, kMaxVersionText); break;
        case Tlv::TypeName: d.typeName = v.text(len, 0, kMaxTypeName); break;
        case Tlv::Ipv6Addr: d.ipv6Addr = v.array<16>(); break;
        case Tlv::Ipv6Gateway: d.ipv6Gateway = v.array<16>(); break;
        case Tlv::Ipv6PrefixLen:
            d.ipv6PrefixLen = v.u8();
            if (d.ipv6PrefixLen > 128)
                v.fail();
            break;
        case Tlv::Capabilities: d.capabilities = v.u8(); break;
        case Tlv::Dhcp:
            d.dhcpOn = v.u8();
            if (d.dhcpOn > 1)
                v.fail();
            break;
        case Tlv::ExtInfo:
            d.extInfo = v.u8();
            if (d.extInfo > 1)
                v.fail();
            break;
        case Tlv::ConfirmWindow:
            d.confirmWindowS = v.u16();
            if (d.confirmWindowS == 0)
                v.fail();
            break;
        case Tlv::Jobs:
            // Absent means none: a zero value would be a second encoding of it.
            d.jobs = v.u16();
            if (d.jobs == 0)
                v.fail();
            break;
        case Tlv::Certificate: d.certificate = v.array<kCertificateSize>(); break;
        case Tlv::DeviceCertificate:
            d.deviceCertificate.emplace();
            d.deviceCertificate->signingKey = v.array<kSigningKeySize>();
            d.deviceCertificate->signature = v.array<kSignatureSize>();
            break;
        case Tlv::AnnounceSignature: {
            AnnounceSignature s;
            s.counter = uint64_t(v.u32()) << 32;
            s.counter |= v.u32();
            s.signature = v.array<kSignatureSize>();
            if (!signature || !r.atEnd())
                return std::nullopt;
            *signature = s;
            break;
        }
        }
        if (!v.atEnd())
            return std::nullopt;
    }
    if (!r.ok() || !seen.test(uint8_t(Tlv::Serial)) || !seen.test(uint8_t(Tlv::Mac)))
        return std::nullopt;
    return d;
}

// Request messages carry a non-zero request id, the others zero.
uint32_t requestIdOf(const Message &m)
{
    return std::visit(
        [](const auto &msg) -> uint32_t {
            if constexpr (requires { msg.requestId; })
                return msg.requestId;
            else
                return 0;
        },
        m);
}

bool isRequestType(MsgType t)
{
    return (t >= MsgType::NonceRequest && t <= MsgType::Result) || t >= MsgType::Confirm;
}

void writePayload(Writer &w, const Inquiry &m)
{
    w.bytes(m.toolId);
    w.u16(m.spreadMs);
}

void writePayload(Writer &w, const InquiryRepeat &m)
{
    if (m.round == 0 || m.low > m.high || m.heard.size() > kMaxRepeatHints
        || std::adjacent_find(m.heard.begin(), m.heard.end(), std::greater_equal<>()) != m.heard.end()
        || (!m.heard.empty() && (m.heard.front() < m.low || m.heard.back() > m.high)))
        w.fail();
    w.bytes(m.toolId);
    w.u16(m.spreadMs);
    w.u16(m.burst);
    w.u8(m.round);
    w.u8(0);
    w.u32(m.low);
    w.u32(m.high);
    for (uint32_t hint : m.heard)
        w.u32(hint);
}

void writePayload(Writer &w, const Announce &m)
{
    if (uint8_t(m.reason) > uint8_t(AnnounceReason::Changed) || m.heartbeatS == 0)
        w.fail();
    w.u8(uint8_t(m.reason));
    w.u8(0);
    w.u16(m.heartbeatS);
    w.bytes(m.toolId);
    w.bytes(m.publicKey);
    writeInfo(w, m.info);
    if (m.signature)
        w.tlv(Tlv::AnnounceSignature, signatureValue(*m.signature));
}

void writePayload(Writer &w, const Goodbye &m)
{
    w.tlvText(Tlv::Serial, m.serial, 1, kMaxSerial);
    w.tlv(Tlv::Mac, m.mac);
}

void writePayload(Writer &w, const NonceRequest &m)
{
    w.target(m.target);
}

void writePayload(Writer &w, const Nonce &m)
{
    w.bytes(m.nonce);
    w.bytes(m.publicKey);
    w.bytes(m.mac);
    w.shortText(m.serial, 1, kMaxSerial);
    w.target(m.target);
}

void writePayload(Writer &w, const Modify &m)
{
    if (m.sealed.size() != kModifySealedSize && m.sealed.size() != kModifySealedSize5)
        w.fail();
    w.bytes(m.target);
    w.bytes(m.sealed);
}

void writePayload(Writer &w, const Reset &m)
{
    if (m.sealed.size() != kResetSealedSize && m.sealed.size() != kResetSealedSize5)
        w.fail();
    w.shortText(m.targetSerial, 1, kMaxSerial);
    w.bytes(m.sealed);
}

void writePayload(Writer &w, const Result &m)
{
    if (uint8_t(m.status) > uint8_t(Status::Confirmed))
        w.fail();
    w.u8(uint8_t(m.status));
    w.target(m.target);
    w.bytes(m.tag);
}

void writePayload(Writer &w, const Confirm &m)
{
    w.bytes(m.target);
    w.bytes(m.tag);
}

void writePayload(Writer &w, const Job &m)
{
    if (m.sealed.size() != kJobSealedSize)
        w.fail();
    w.bytes(m.target);
    w.bytes(m.sealed);
}

// The statuses a JOB_RESULT can carry: no security codes, no confirmations.
bool jobStatus(uint8_t status)
{
    return status <= uint8_t(Status::NotOffered) && status != uint8_t(Status::WrongSecurityCode)
        && status != uint8_t(Status::Confirmed);
}

void writePayload(Writer &w, const JobResult &m)
{
    if (!jobStatus(uint8_t(m.status)))
        w.fail();
    w.u8(uint8_t(m.status));
    w.target(m.target);
    w.u64(uint64_t(m.clockMs));
    w.u32(m.uptimeS);
    w.bytes(m.tag);
}

Message readPayload(Reader &r, MsgType type, uint32_t requestId)
{
    switch (type) {
    case MsgType::Inquiry: {
        Inquiry m;
        m.toolId = r.array<kToolIdSize>();
        m.spreadMs = r.u16();
        return m;
    }
    case MsgType::InquiryRepeat: {
        InquiryRepeat m;
        m.toolId = r.array<kToolIdSize>();
        m.spreadMs = r.u16();
        m.burst = r.u16();
        m.round = r.u8();
        if (m.round == 0 || r.u8() != 0)
            r.fail();
        m.low = r.u32();
        m.high = r.u32();
        if (m.low > m.high || r.remaining() % 4 != 0)
            r.fail();
        m.heard.reserve(r.remaining() / 4);
        // Strictly ascending within the range: one encoding, and a device can binary-search it.
        uint64_t floor = m.low;
        while (r.ok() && !r.atEnd()) {
            const uint32_t hint = r.u32();
            if (hint < floor || hint > m.high)
                r.fail();
            floor = uint64_t(hint) + 1;
            m.heard.push_back(hint);
        }
        return m;
    }
    case MsgType::Announce: {
        Announce m;
        const uint8_t reason = r.u8();
        if (reason > uint8_t(AnnounceReason::Changed) || r.u8() != 0)
            r.fail();
        m.reason = AnnounceReason(reason);
        m.heartbeatS = r.u16();
        if (m.heartbeatS == 0)
            r.fail();
        m.toolId = r.array<kToolIdSize>();
        m.publicKey = r.array<kPublicKeySize>();
        if (auto info = readInfo(r, &m.signature))
            m.info = std::move(*info);
        else
            r.fail();
        return m;
    }
    case MsgType::Goodbye: {
        Goodbye m;
        if (auto info = readInfo(r)) {
            m.serial = std::move(info->serial);
            m.mac = info->mac;
        } else {
            r.fail();
        }
        return m;
    }
    case MsgType::NonceRequest: return NonceRequest{requestId, r.target()};
    case MsgType::Nonce: {
        Nonce m;
        m.requestId = requestId;
        m.nonce = r.array<kNonceSize>();
        m.publicKey = r.array<kPublicKeySize>();
        m.mac = r.array<6>();
        m.serial = r.shortText(1, kMaxSerial);
        m.target = r.target();
        return m;
    }
    case MsgType::Modify: {
        Modify m;
        m.requestId = requestId;
        m.target = r.array<6>();
        // The sealed body is the rest: its size tells the two forms apart.
        auto s = r.take(r.remaining() == kModifySealedSize5 ? kModifySealedSize5 : kModifySealedSize);
        m.sealed.assign(s.begin(), s.end());
        return m;
    }
    case MsgType::Reset: {
        Reset m;
        m.requestId = requestId;
        m.targetSerial = r.shortText(1, kMaxSerial);
        auto s = r.take(r.remaining() == kResetSealedSize5 ? kResetSealedSize5 : kResetSealedSize);
        m.sealed.assign(s.begin(), s.end());
        return m;
    }
    case MsgType::Result: {
        Result m;
        m.requestId = requestId;
        const uint8_t status = r.u8();
        if (status > uint8_t(Status::Confirmed))
            r.fail();
        m.status = Status(status);
        m.target = r.target();
        m.tag = r.array<kTagSize>();
        return m;
    }
    case MsgType::Confirm: {
        Confirm m;
        m.requestId = requestId;
        m.target = r.array<6>();
        m.tag = r.array<kTagSize>();
        return m;
    }
    case MsgType::Job: {
        Job m;
        m.requestId = requestId;
        m.target = r.array<6>();
        auto s = r.take(kJobSealedSize);
        m.sealed.assign(s.begin(), s.end());
        return m;
    }
    case MsgType::JobResult: {
        JobResult m;
        m.requestId = requestId;
        const uint8_t status = r.u8();
        if (!jobStatus(status))
            r.fail();
        m.status = Status(status);
        m.target = r.target();
        m.clockMs = int64_t(r.u64());
        m.uptimeS = r.u32();
        m.tag = r.array<kTagSize>();
        return m;
    }
    }
    r.fail();
    return Inquiry{};
}

} // namespace

Bytes encode(const Message &message)
{
    const auto type = MsgType(message.index() + 1);
    const uint32_t requestId = requestIdOf(message);
    Writer w;
    w.bytes(kMagic);
    w.u8(kVersion);
    w.u8(uint8_t(type));
    w.u8(0); // flags: none defined in version 1
    w.u8(0);
    w.u32(requestId);
    w.u16(0); // payload length, patched below
    w.u16(0);
    if (isRequestType(type) && requestId == 0)
        w.fail();
    std::visit([&w](const auto &m) { writePayload(w, m); }, message);

    Bytes &out = w.out();
    if (!w.ok() || out.size() > kMaxDatagram)
        return {};
    const size_t payload = out.size() - kHeaderSize;
    out[12] = uint8_t(payload >> 8);
    out[13] = uint8_t(payload);
    return std::move(out);
}

std::optional<MsgType> peekType(std::span<const uint8_t> datagram)
{
    if (datagram.size() < kHeaderSize)
        return std::nullopt;
    return MsgType(datagram[5]);
}

std::optional<Message> decode(std::span<const uint8_t> datagram)
{
    if (datagram.size() < kHeaderSize || datagram.size() > kMaxDatagram)
        return std::nullopt;
    Reader r(datagram);
    const auto magic = r.array<4>();
    const uint8_t version = r.u8();
    const uint8_t type = r.u8();
    const uint8_t flags = r.u8();
    const uint8_t reserved1 = r.u8();
    const uint32_t requestId = r.u32();
    const uint16_t payloadLength = r.u16();
    const uint16_t reserved2 = r.u16();
    if (magic != kMagic || version != kVersion || flags != 0 || reserved1 != 0 || reserved2 != 0
        || payloadLength != r.remaining())
        return std::nullopt;
    if (type < uint8_t(MsgType::Inquiry) || type > uint8_t(MsgType::JobResult))
        return std::nullopt;
    const auto msgType = MsgType(type);
    if (isRequestType(msgType) != (requestId != 0))
        return std::nullopt;

    Message m = readPayload(r, msgType, requestId);
    if (!r.atEnd())
        return std::nullopt;
    return m;
}

std::span<const uint8_t> announceSignedTlvs(std::span<const uint8_t> datagram)
{
    constexpr size_t kTlvStart = kHeaderSize + 52;
    constexpr size_t kSignatureTlv = 2 + 8 + kSignatureSize;
    if (datagram.size() < kTlvStart || peekType(datagram) != MsgType::Announce)
        return {};
    const auto tlvs = datagram.subspan(kTlvStart);
    if (tlvs.size() >= kSignatureTlv && tlvs[tlvs.size() - kSignatureTlv] == uint8_t(Tlv::AnnounceSignature)
        && tlvs[tlvs.size() - kSignatureTlv + 1] == kSignatureTlv - 2) {
        // The last TLV may be the signature only if the TLV chain really ends there.
        size_t pos = 0;
        while (pos + 2 <= tlvs.size() && pos != tlvs.size() - kSignatureTlv)
            pos += 2 + tlvs[pos + 1];
        if (pos == tlvs.size() - kSignatureTlv)
            return tlvs.first(pos);
    }
    return tlvs;
}

Bytes appendAnnounceSignature(Bytes datagram, const AnnounceSignature &signature)
{
    const auto value = signatureValue(signature);
    if (datagram.size() < kHeaderSize || datagram.size() + 2 + value.size() > kMaxDatagram)
        return {};
    datagram.push_back(uint8_t(Tlv::AnnounceSignature));
    datagram.push_back(uint8_t(value.size()));
    datagram.insert(datagram.end(), value.begin(), value.end());
    const size_t payload = datagram.size() - kHeaderSize;
    datagram[12] = uint8_t(payload >> 8);
    datagram[13] = uint8_t(payload);
    return datagram;
}

std::span<const uint8_t> resultSignedPart(std::span<const uint8_t> datagram)
{
    if (datagram.size() < kHeaderSize + kTagSize)
        return {};
    return datagram.first(datagram.size() - kTagSize);
}

Bytes encodeBody(const ModifyBody &b)
{
    Writer w;
    w.bytes(b.nonce);
    w.bytes(b.replyKey);
    w.paddedText(b.password, kMaxPassword);
    if (b.ipv6PrefixLen > 128)
        w.fail();
    w.u8(uint8_t((b.setGateway ? 1 : 0) | (b.setIpv6 ? 2 : 0) | (b.confirm ? 4 : 0)));
    w.bytes(b.ipv4Addr);
    w.bytes(b.ipv4Mask);
    w.bytes(b.ipv4Gateway);
    w.u16(b.port);
    w.bytes(b.ipv6Addr);
    w.bytes(b.ipv6Gateway);
    w.u8(b.ipv6PrefixLen);
    if (b.requester)
        w.bytes(*b.requester);
    if (!w.ok() || w.out().size() != kModifyBodySize + (b.requester ? kRequesterIdSize : 0))
        return {};
    return std::move(w.out());
}

Bytes encodeBody(const ResetBody &b)
{
    Writer w;
    w.bytes(b.nonce);
    w.bytes(b.replyKey);
    w.paddedText(b.securityCode, kMaxSecurityCode);
    if (b.requester)
        w.bytes(*b.requester);
    if (!w.ok() || w.out().size() != kResetBodySize + (b.requester ? kRequesterIdSize : 0))
        return {};
    return std::move(w.out());
}

Bytes encodeBody(const JobBody &b)
{
    Writer w;
    w.bytes(b.nonce);
    w.bytes(b.replyKey);
    w.bytes(b.requester);
    w.u8(b.kind);
    w.u8(0);
    w.paddedText(b.password, kMaxPassword);
    if (b.utcMs) {
        w.u8(uint8_t(JobParam::UtcTime));
        w.u8(8);
        w.u64(uint64_t(*b.utcMs));
    }
    if (b.ntpServers.size() > kMaxNtpServers)
        w.fail();
    for (const std::string &server : b.ntpServers) {
        w.u8(uint8_t(JobParam::NtpServer));
        w.shortText(server, 1, kMaxNtpServer);
    }
    if (b.newPassword) {
        w.u8(uint8_t(JobParam::NewPassword));
        w.u8(1 + kMaxPassword);
        w.paddedText(*b.newPassword, kMaxPassword);
    }
    // Zero padding to the one size: a zero type ends the parameters.
    if (!w.ok() || w.out().size() > kJobBodySize)
        return {};
    w.out().resize(kJobBodySize, 0);
    return std::move(w.out());
}

std::optional<JobBody> decodeJobBody(std::span<const uint8_t> plain)
{
    if (plain.size() != kJobBodySize)
        return std::nullopt;
    Reader r(plain);
    JobBody b;
    b.nonce = r.array<kNonceSize>();
    b.replyKey = r.array<kReplyKeySize>();
    b.requester = r.array<kRequesterIdSize>();
    b.kind = r.u8();
    if (b.kind == 0 || r.u8() != 0)
        return std::nullopt;
    b.password = r.paddedText(kMaxPassword);
    uint8_t last = 0;
    while (r.ok() && !r.atEnd()) {
        const uint8_t type = r.u8();
        if (type == 0) {
            // Padding: the rest is zero, so there is one encoding of each body.
            const auto rest = r.take(r.remaining());
            if (std::any_of(rest.begin(), rest.end(), [](uint8_t v) { return v != 0; }))
                return std::nullopt;
            break;
        }
        const uint8_t len = r.u8();
        Reader v(r.take(len));
        // In ascending order, each once (NTP servers up to twice): one encoding of each body.
        const bool again = type == last && type != uint8_t(JobParam::NtpServer);
        if (!r.ok() || again || type < last)
            return std::nullopt;
        last = type;
        switch (JobParam(type)) {
        case JobParam::UtcTime:
            if (len != 8)
                return std::nullopt;
            b.utcMs = int64_t(v.u64());
            break;
        case JobParam::NtpServer:
            if (b.ntpServers.size() == kMaxNtpServers)
                return std::nullopt;
            b.ntpServers.push_back(v.text(len, 1, kMaxNtpServer));
            break;
        case JobParam::NewPassword:
            if (len != 1 + kMaxPassword)
                return std::nullopt;
            b.newPassword = v.paddedText(kMaxPassword);
            break;
        default:
            // A tool sends a kind's parameters only to a device that offers the kind.
            return std::nullopt;
        }
        if (!v.atEnd())
            return std::nullopt;
    }
    if (!r.ok())
        return std::nullopt;
    return b;
}

std::optional<ModifyBody> decodeModifyBody(std::span<const uint8_t> plain)
{
    if (plain.size() != kModifyBodySize && plain.size() != kModifyBodySize + kRequesterIdSize)
        return std::nullopt;
    Reader r(plain);
    ModifyBody b;
    b.nonce = r.array<kNonceSize>();
    b.replyKey = r.array<kReplyKeySize>();
    b.password = r.paddedText(kMaxPassword);
    const uint8_t flags = r.u8();
    if (flags > 7)
        r.fail();
    b.setGateway = flags & 1;
    b.setIpv6 = flags & 2;
    b.confirm = flags & 4;
    b.ipv4Addr = r.array<4>();
    b.ipv4Mask = r.array<4>();
    b.ipv4Gateway = r.array<4>();
    b.port = r.u16();
    b.ipv6Addr = r.array<16>();
    b.ipv6Gateway = r.array<16>();
    b.ipv6PrefixLen = r.u8();
    if (r.remaining() == kRequesterIdSize)
        b.requester = r.array<kRequesterIdSize>();
    if (b.ipv6PrefixLen > 128 || !r.atEnd())
        return std::nullopt;
    return b;
}

std::optional<ResetBody> decodeResetBody(std::span<const uint8_t> plain)
{
    if (plain.size() != kResetBodySize && plain.size() != kResetBodySize + kRequesterIdSize)
        return std::nullopt;
    Reader r(plain);
    ResetBody b;
    b.nonce = r.array<kNonceSize>();
    b.replyKey = r.array<kReplyKeySize>();
    b.securityCode = r.paddedText(kMaxSecurityCode);
    if (r.remaining() == kRequesterIdSize)
        b.requester = r.array<kRequesterIdSize>();
    if (!r.atEnd())
        return std::nullopt;
    return b;
}

} // namespace vexa::wire
