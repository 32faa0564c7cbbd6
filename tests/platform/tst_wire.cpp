#include <vexa/address.h>
#include <vexa/wire.h>
#include "wiresamples.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace vexa;
using wire::Bytes;

Bytes sample(const std::string &name)
{
    for (const auto &[n, m] : samples::messages())
        if (n == name)
            return wire::encode(m);
    return {};
}

// Replaces the payload and keeps the header's length field consistent, so a
// case fails for the reason it names and not for a length mismatch.
Bytes withPayload(Bytes datagram, const Bytes &payload)
{
    datagram.resize(wire::kHeaderSize);
    datagram.insert(datagram.end(), payload.begin(), payload.end());
    datagram[12] = uint8_t(payload.size() >> 8);
    datagram[13] = uint8_t(payload.size());
    return datagram;
}

std::vector<uint32_t> concatHints(uint32_t low, uint32_t high, std::vector<uint32_t> hints)
{
    hints.insert(hints.begin(), {low, high});
    return hints;
}

Bytes payloadOf(const Bytes &datagram)
{
    return Bytes(datagram.begin() + wire::kHeaderSize, datagram.end());
}

Bytes patched(Bytes b, size_t offset, uint8_t value)
{
    b.at(offset) = value;
    return b;
}

Bytes tlv(uint8_t type, const Bytes &value)
{
    Bytes b{type, uint8_t(value.size())};
    b.insert(b.end(), value.begin(), value.end());
    return b;
}

// An ANNOUNCE whose device information is exactly `tlvs`.
Bytes announceWith(std::initializer_list<Bytes> tlvs)
{
    const Bytes valid = sample("announce");
    Bytes payload(valid.begin() + wire::kHeaderSize, valid.begin() + wire::kHeaderSize + 52);
    for (const Bytes &t : tlvs)
        payload.insert(payload.end(), t.begin(), t.end());
    return withPayload(valid, payload);
}

Bytes concat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Pads a datagram with unknown TLVs to exactly `size` bytes.
Bytes paddedTo(Bytes datagram, size_t size)
{
    Bytes payload = payloadOf(datagram);
    while (wire::kHeaderSize + payload.size() < size) {
        const size_t remaining = size - wire::kHeaderSize - payload.size();
        size_t len = std::min<size_t>(255, remaining - 2);
        if (remaining - (len + 2) == 1)
            --len;
        payload = concat(payload, tlv(200, Bytes(len, 0)));
    }
    return withPayload(datagram, payload);
}

// An INQUIRY_REPEAT with the sample's tool id, spread and round, and the given range and hints.
Bytes repeatWith(uint32_t low, uint32_t high, const std::vector<uint32_t> &hints, size_t extra = 0)
{
    const Bytes valid = sample("inquiry_repeat");
    Bytes payload(valid.begin() + wire::kHeaderSize, valid.begin() + wire::kHeaderSize + 22);
    for (uint32_t v : concatHints(low, high, hints))
        payload.insert(payload.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
    payload.resize(payload.size() + extra);
    return withPayload(valid, payload);
}

const Bytes kSerialTlv = tlv(1, Bytes{'S', 'N', '1'});
const Bytes kMacTlv = tlv(2, Bytes{1, 2, 3, 4, 5, 6});

// ---------------------------------------------------------------- round trips

class RoundTrip : public testing::TestWithParam<std::pair<std::string, wire::Message>> {};

TEST_P(RoundTrip, DecodesToTheSameMessageAndBytes)
{
    const Bytes bytes = wire::encode(GetParam().second);
    ASSERT_FALSE(bytes.empty());
    ASSERT_LE(bytes.size(), wire::kMaxDatagram);
    const auto decoded = wire::decode(bytes);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, GetParam().second);
    EXPECT_EQ(wire::encode(*decoded), bytes);
    EXPECT_EQ(wire::peekType(bytes), wire::MsgType(GetParam().second.index() + 1));
}

TEST_P(RoundTrip, EveryTruncationIsRejected)
{
    const Bytes bytes = wire::encode(GetParam().second);
    const bool endsInTlvs = std::holds_alternative<wire::Announce>(GetParam().second)
        || std::holds_alternative<wire::Goodbye>(GetParam().second);
    const bool endsInHints = std::holds_alternative<wire::InquiryRepeat>(GetParam().second);
    // A revision 5 request without its last 16 sealed bytes has the older form's size.
    const bool longerForm = (std::holds_alternative<wire::Modify>(GetParam().second)
                             && std::get<wire::Modify>(GetParam().second).sealed.size() == wire::kModifySealedSize5)
        || (std::holds_alternative<wire::Reset>(GetParam().second)
            && std::get<wire::Reset>(GetParam().second).sealed.size() == wire::kResetSealedSize5);
    for (size_t len = 0; len < bytes.size(); ++len) {
        const Bytes cut(bytes.begin(), bytes.begin() + len);
        EXPECT_FALSE(wire::decode(cut)) << "length " << len;
        // Even with the length field agreeing with the shorter payload;
        // device information may legitimately end at any TLV boundary, which
        // the TLV cases below cover, and a hint list after any hint.
        const size_t fixedEnd = wire::kHeaderSize + wire::kInquiryRepeatFixedSize;
        const bool hintBoundary = endsInHints && len >= fixedEnd && (len - fixedEnd) % 4 == 0;
        const bool olderForm = longerForm && len == bytes.size() - wire::kRequesterIdSize;
        if (len >= wire::kHeaderSize && !endsInTlvs && !hintBoundary && !olderForm) {
            EXPECT_FALSE(wire::decode(withPayload(bytes, Bytes(cut.begin() + wire::kHeaderSize, cut.end()))))
                << "consistent length " << len;
        }
    }
}

TEST_P(RoundTrip, TrailingBytesAreRejected)
{
    const Bytes bytes = wire::encode(GetParam().second);
    const Bytes longer = withPayload(bytes, concat(payloadOf(bytes), {0}));
    // Device information may end in an unknown TLV, but never in half of one.
    EXPECT_FALSE(wire::decode(longer));
}

INSTANTIATE_TEST_SUITE_P(Messages, RoundTrip, testing::ValuesIn(samples::messages()),
                         [](const auto &info) { return info.param.first; });

TEST(Wire, AbsentOptionalTlvsDecodeAsZero)
{
    const auto m = wire::decode(announceWith({kSerialTlv, kMacTlv}));
    ASSERT_TRUE(m);
    const auto &info = std::get<wire::Announce>(*m).info;
    EXPECT_EQ(info.serial, "SN1");
    EXPECT_EQ(info.port, 0);
    EXPECT_TRUE(info.typeName.empty());
}

TEST(Wire, UnknownTlvsAreSkipped)
{
    // 22..31 stay free for device information, 35 on for security after the signature took 34.
    const auto m = wire::decode(announceWith({tlv(200, Bytes(30, 7)), kSerialTlv, tlv(0, {}), kMacTlv,
                                              tlv(22, Bytes(3, 1)), tlv(31, {}), tlv(35, Bytes(64, 1)),
                                              tlv(200, Bytes{1})}));
    ASSERT_TRUE(m);
    EXPECT_EQ(std::get<wire::Announce>(*m).info.serial, "SN1");
    EXPECT_FALSE(std::get<wire::Announce>(*m).info.certificate);
}

TEST(Wire, LongestTextsFitTheirReportFields)
{
    wire::Announce a = std::get<wire::Announce>(samples::messages()[1].second);
    a.info.serial = std::string(47, 'S');
    a.info.typeName = std::string(23, 'T');
    const auto m = wire::decode(wire::encode(a));
    ASSERT_TRUE(m);
    EXPECT_EQ(std::get<wire::Announce>(*m), a);
}

TEST(Wire, EncodeRefusesWhatCannotBeRepresented)
{
    wire::Announce a;
    a.info.serial = std::string(48, 'S');
    EXPECT_TRUE(wire::encode(a).empty());
    a.info.serial = "";
    EXPECT_TRUE(wire::encode(a).empty());
    a.info.serial = std::string("A\0B", 3);
    EXPECT_TRUE(wire::encode(a).empty());
    EXPECT_TRUE(wire::encode(wire::NonceRequest{0, wire::Target::bySerial("X")}).empty());
    EXPECT_TRUE(wire::encode(wire::Modify{1, {}, Bytes(10)}).empty());
}

// ---------------------------------------------------------------- malformed

struct Malformed {
    std::string name;
    Bytes datagram;
};

std::vector<Malformed> malformed()
{
    const Bytes inquiry = sample("inquiry");
    const Bytes announce = sample("announce");
    const Bytes nonceRequest = sample("nonce_request_mac");
    const Bytes result = sample("result");
    const Bytes modifyPayload = payloadOf(sample("modify"));
    const Bytes jobPayload = payloadOf(sample("job"));
    return {
        {"empty", {}},
        {"bad_magic", patched(inquiry, 0, 'X')},
        {"bad_version_0", patched(inquiry, 4, 0)},
        {"bad_version_2", patched(inquiry, 4, 2)},
        {"type_0", patched(inquiry, 5, 0)},
        {"type_13", patched(inquiry, 5, 13)},
        {"flags_set", patched(inquiry, 6, 1)},
        {"reserved_byte_set", patched(inquiry, 7, 1)},
        {"reserved_word_set", patched(inquiry, 15, 1)},
        {"length_too_long", patched(inquiry, 13, uint8_t(inquiry[13] + 1))},
        {"length_too_short", patched(inquiry, 13, uint8_t(inquiry[13] - 1))},
        {"oversized", paddedTo(announce, wire::kMaxDatagram + 1)},
        {"inquiry_with_request_id", patched(inquiry, 11, 1)},
        {"request_without_id", patched(patched(nonceRequest, 8, 0), 11, 0)},
        {"announce_reason_4", patched(announce, 16, 4)},
        {"announce_reserved", patched(announce, 17, 1)},
        {"announce_heartbeat_0", patched(patched(announce, 18, 0), 19, 0)},
        {"tlv_overrunning", announceWith({kSerialTlv, kMacTlv, Bytes{3, 4, 1, 2}})},
        {"tlv_value_cut", announceWith({kSerialTlv, Bytes(kMacTlv.begin(), kMacTlv.end() - 1)})},
        {"tlv_header_cut", announceWith({kSerialTlv, kMacTlv, Bytes{3}})},
        {"serial_too_long", announceWith({tlv(1, Bytes(48, 'S')), kMacTlv})},
        {"serial_empty", announceWith({tlv(1, {}), kMacTlv})},
        {"type_name_too_long", announceWith({kSerialTlv, kMacTlv, tlv(13, Bytes(24, 'T'))})},
        {"version_too_long", announceWith({kSerialTlv, kMacTlv, tlv(10, Bytes(48, 'V'))})},
        {"text_with_nul", announceWith({tlv(1, Bytes{'A', 0, 'B'}), kMacTlv})},
        {"duplicate_serial", announceWith({kSerialTlv, kMacTlv, kSerialTlv})},
        {"duplicate_port", announceWith({kSerialTlv, kMacTlv, tlv(7, {0, 80}), tlv(7, {0, 81})})},
        {"missing_serial", announceWith({kMacTlv})},
        {"missing_mac", announceWith({kSerialTlv})},
        {"mac_short", announceWith({kSerialTlv, tlv(2, Bytes(5, 1))})},
        {"ipv4_long", announceWith({kSerialTlv, kMacTlv, tlv(3, Bytes(5, 1))})},
        {"prefix_129", announceWith({kSerialTlv, kMacTlv, tlv(16, {129})})},
        {"dhcp_2", announceWith({kSerialTlv, kMacTlv, tlv(18, {2})})},
        {"ext_info_2", announceWith({kSerialTlv, kMacTlv, tlv(19, {2})})},
        {"confirm_window_0", announceWith({kSerialTlv, kMacTlv, tlv(20, {0, 0})})},
        {"confirm_window_short", announceWith({kSerialTlv, kMacTlv, tlv(20, {5})})},
        {"confirm_without_id", patched(patched(sample("confirm"), 8, 0), 11, 0)},
        {"certificate_short", announceWith({kSerialTlv, kMacTlv, tlv(32, Bytes(63, 1))})},
        {"certificate_twice", announceWith({kSerialTlv, kMacTlv, tlv(32, Bytes(64, 1)), tlv(32, Bytes(64, 1))})},
        {"device_certificate_short", announceWith({kSerialTlv, kMacTlv, tlv(33, Bytes(95, 1))})},
        {"signature_short", announceWith({kSerialTlv, kMacTlv, tlv(34, Bytes(71, 1))})},
        {"signature_not_last", announceWith({kSerialTlv, tlv(34, Bytes(72, 1)), kMacTlv})},
        {"signature_before_unknown", announceWith({kSerialTlv, kMacTlv, tlv(34, Bytes(72, 1)), tlv(200, {})})},
        {"signature_twice", announceWith({kSerialTlv, kMacTlv, tlv(34, Bytes(72, 1)), tlv(34, Bytes(72, 1))})},
        {"goodbye_without_mac", withPayload(sample("goodbye"), kSerialTlv)},
        {"target_kind_3", patched(nonceRequest, 16, 3)},
        {"target_mac_length_5", patched(nonceRequest, 17, 5)},
        {"target_serial_empty", withPayload(nonceRequest, Bytes{2, 0})},
        {"result_status_7", patched(result, 16, 7)},
        {"modify_sealed_short", withPayload(sample("modify"), Bytes(modifyPayload.begin(), modifyPayload.end() - 1))},
        {"modify_sealed_between", withPayload(sample("modify"), concat(modifyPayload, Bytes(8, 0)))},
        {"modify_sealed_long", withPayload(sample("modify"), concat(payloadOf(sample("modify_requester")), Bytes{0}))},
        {"reset_sealed_long", withPayload(sample("reset"), concat(payloadOf(sample("reset_requester")), Bytes{0}))},
        {"repeat_round_0", patched(sample("inquiry_repeat"), 36, 0)},
        {"repeat_reserved", patched(sample("inquiry_repeat"), 37, 1)},
        {"repeat_range_inverted", repeatWith(5, 4, {})},
        {"repeat_hints_unsorted", repeatWith(0, 9, {2, 1})},
        {"repeat_hint_twice", repeatWith(0, 9, {1, 1})},
        {"repeat_hint_below_range", repeatWith(5, 9, {4})},
        {"repeat_hint_above_range", repeatWith(5, 9, {10})},
        {"repeat_hint_cut", repeatWith(0, 9, {1}, 2)},
        {"jobs_zero", announceWith({kSerialTlv, kMacTlv, tlv(21, {0, 0})})},
        {"jobs_short", announceWith({kSerialTlv, kMacTlv, tlv(21, {2})})},
        {"jobs_twice", announceWith({kSerialTlv, kMacTlv, tlv(21, {0, 2}), tlv(21, {0, 4})})},
        {"job_without_id", patched(patched(patched(patched(sample("job"), 8, 0), 9, 0), 10, 0), 11, 0)},
        {"job_sealed_short", withPayload(sample("job"), Bytes(jobPayload.begin(), jobPayload.end() - 1))},
        {"job_sealed_long", withPayload(sample("job"), concat(payloadOf(sample("job")), Bytes{0}))},
        {"job_result_without_id", patched(patched(patched(patched(sample("job_result"), 8, 0), 9, 0), 10, 0), 11, 0)},
        {"job_result_status_2", patched(sample("job_result"), 16, 2)},
        {"job_result_status_6", patched(sample("job_result"), 16, 6)},
        {"job_result_status_8", patched(sample("job_result"), 16, 8)},
        {"job_result_target_kind_3", patched(sample("job_result"), 17, 3)},
    };
}

class Rejects : public testing::TestWithParam<Malformed> {};

TEST_P(Rejects, Datagram)
{
    EXPECT_FALSE(wire::decode(GetParam().datagram));
}

INSTANTIATE_TEST_SUITE_P(Malformed, Rejects, testing::ValuesIn(malformed()),
                         [](const auto &info) { return info.param.name; });

TEST(Wire, InquiryRepeatBoundsAndFullestDatagram)
{
    const auto edges = wire::decode(repeatWith(5, 9, {5, 9}));
    ASSERT_TRUE(edges);
    EXPECT_EQ(std::get<wire::InquiryRepeat>(*edges).heard, (std::vector<uint32_t>{5, 9}));
    EXPECT_TRUE(wire::decode(repeatWith(0, UINT32_MAX, {})));

    wire::InquiryRepeat full;
    full.high = UINT32_MAX;
    for (uint32_t i = 0; i < wire::kMaxRepeatHints; ++i)
        full.heard.push_back(i * 7);
    EXPECT_EQ(wire::encode(full).size(), wire::kMaxDatagram - 2);
    full.heard.push_back(UINT32_MAX);
    EXPECT_TRUE(wire::encode(full).empty());
    full.heard = {3, 3};
    EXPECT_TRUE(wire::encode(full).empty());
}

TEST(Wire, LargestDatagramIsAccepted)
{
    const Bytes largest = paddedTo(sample("announce"), wire::kMaxDatagram);
    ASSERT_EQ(largest.size(), wire::kMaxDatagram);
    EXPECT_TRUE(wire::decode(largest));
    EXPECT_EQ(paddedTo(sample("announce"), wire::kMaxDatagram + 1).size(), wire::kMaxDatagram + 1);
}

// ---------------------------------------------------------------- sealed bodies

wire::ModifyBody modifyBody()
{
    wire::ModifyBody b;
    b.nonce.fill(1);
    b.replyKey.fill(2);
    b.password = "admin12345";
    b.setGateway = true;
    b.setIpv6 = true;
    b.ipv4Addr = {10, 0, 0, 5};
    b.ipv4Mask = {255, 0, 0, 0};
    b.ipv4Gateway = {10, 0, 0, 1};
    b.port = 8000;
    b.ipv6Addr[0] = 0x20;
    b.ipv6PrefixLen = 64;
    return b;
}

TEST(Body, ModifyRoundTripHasConstantSize)
{
    const Bytes plain = wire::encodeBody(modifyBody());
    ASSERT_EQ(plain.size(), wire::kModifyBodySize);
    EXPECT_EQ(wire::decodeModifyBody(plain), modifyBody());
    wire::ModifyBody longest = modifyBody();
    longest.password = std::string(wire::kMaxPassword, 'p');
    EXPECT_EQ(wire::encodeBody(longest).size(), wire::kModifyBodySize);
    longest.password += 'p';
    EXPECT_TRUE(wire::encodeBody(longest).empty());
}

TEST(Body, ResetRoundTrip)
{
    const wire::ResetBody body{{}, {}, "GGIUR52XWHW4QOEYNDDZ"};
    const Bytes plain = wire::encodeBody(body);
    ASSERT_EQ(plain.size(), wire::kResetBodySize);
    EXPECT_EQ(wire::decodeResetBody(plain), body);
}

// Revision 5 bodies end in the requester id; the size tells the forms apart.
TEST(Body, RequesterIdMakesTheLongerForm)
{
    wire::ModifyBody modify = modifyBody();
    modify.requester.emplace().fill(0xA5);
    const Bytes plain = wire::encodeBody(modify);
    ASSERT_EQ(plain.size(), wire::kModifyBodySize + wire::kRequesterIdSize);
    EXPECT_EQ(wire::decodeModifyBody(plain), modify);
    EXPECT_FALSE(wire::decodeModifyBody(Bytes(plain.begin(), plain.end() - 1)));
    const wire::ResetBody reset{{}, {}, "CODE", wire::RequesterId{1, 2, 3}};
    const Bytes resetPlain = wire::encodeBody(reset);
    ASSERT_EQ(resetPlain.size(), wire::kResetBodySize + wire::kRequesterIdSize);
    EXPECT_EQ(wire::decodeResetBody(resetPlain), reset);
    EXPECT_FALSE(wire::decodeResetBody(Bytes(resetPlain.begin(), resetPlain.end() + 1 - 2)));
}

// The signature covers every TLV before it, whatever their types; the
// unsigned reason and tool id sit at fixed offsets a device patches per answer.
TEST(Wire, AnnounceSignatureCoversTheTlvsBeforeIt)
{
    const Bytes signedDatagram = sample("announce_signed");
    const auto announce = std::get<wire::Announce>(*wire::decode(signedDatagram));
    ASSERT_TRUE(announce.signature);
    EXPECT_EQ(announce.signature->counter, 0x0102030405060708u);
    const auto tlvs = wire::announceSignedTlvs(signedDatagram);
    EXPECT_EQ(tlvs.size(), signedDatagram.size() - wire::kHeaderSize - 52 - 74);

    wire::Announce unsignedAnnounce = announce;
    unsignedAnnounce.signature.reset();
    const Bytes plain = wire::encode(unsignedAnnounce);
    EXPECT_TRUE(std::equal(tlvs.begin(), tlvs.end(), plain.begin() + wire::kHeaderSize + 52, plain.end()));
    EXPECT_EQ(wire::appendAnnounceSignature(plain, *announce.signature), signedDatagram);
    // Without a signature, every TLV; a TLV whose value merely ends like one is no signature.
    EXPECT_EQ(wire::announceSignedTlvs(plain).size(), plain.size() - wire::kHeaderSize - 52);
    Bytes lookalike = announceWith({kSerialTlv, kMacTlv, tlv(200, Bytes(76, 0))});
    lookalike[lookalike.size() - 74] = 34;
    lookalike[lookalike.size() - 73] = 72;
    ASSERT_TRUE(wire::decode(lookalike));
    EXPECT_EQ(wire::announceSignedTlvs(lookalike).size(), lookalike.size() - wire::kHeaderSize - 52);

    Bytes patched = signedDatagram;
    patched[wire::kAnnounceReasonOffset] = uint8_t(wire::AnnounceReason::InquiryAnswer);
    patched[wire::kAnnounceToolIdOffset] = 0x42;
    const auto answer = wire::decode(patched);
    ASSERT_TRUE(answer);
    EXPECT_EQ(std::get<wire::Announce>(*answer).reason, wire::AnnounceReason::InquiryAnswer);
    EXPECT_EQ(std::get<wire::Announce>(*answer).toolId[0], 0x42);
    EXPECT_TRUE(std::ranges::equal(wire::announceSignedTlvs(patched), tlvs));
    EXPECT_TRUE(wire::appendAnnounceSignature(Bytes(wire::kMaxDatagram - 10, 0), *announce.signature).empty());
}

TEST(Body, MalformedBodiesAreRejected)
{
    const Bytes plain = wire::encodeBody(modifyBody());
    const size_t lengthAt = wire::kNonceSize + wire::kReplyKeySize;
    EXPECT_FALSE(wire::decodeModifyBody(Bytes(plain.begin(), plain.end() - 1)));
    EXPECT_FALSE(wire::decodeModifyBody(patched(plain, lengthAt, 65)));
    EXPECT_FALSE(wire::decodeModifyBody(patched(plain, lengthAt + 1 + 63, 'x'))); // non-zero padding
    EXPECT_FALSE(wire::decodeModifyBody(patched(plain, lengthAt + 1 + 64, 8)));   // unknown flag
    EXPECT_FALSE(wire::decodeModifyBody(patched(plain, plain.size() - 1, 129)));
    const Bytes reset = wire::encodeBody(wire::ResetBody{{}, {}, "CODE"});
    EXPECT_FALSE(wire::decodeResetBody(patched(reset, lengthAt, 33)));
    EXPECT_FALSE(wire::decodeResetBody(patched(reset, lengthAt + 1 + 1, 0))); // NUL inside the code
}

// Every kind of job body has the one size, whatever its parameters, and round-trips.
class JobBodies : public testing::TestWithParam<std::pair<std::string, wire::JobBody>> {};

TEST_P(JobBodies, RoundTripWithTheOneSize)
{
    const Bytes plain = wire::encodeBody(GetParam().second);
    ASSERT_EQ(plain.size(), wire::kJobBodySize);
    EXPECT_EQ(wire::decodeJobBody(plain), GetParam().second);
    EXPECT_EQ(plain[wire::kNonceSize + wire::kReplyKeySize + wire::kRequesterIdSize], GetParam().second.kind);
    EXPECT_FALSE(wire::decodeJobBody(Bytes(plain.begin(), plain.end() - 1)));
    EXPECT_FALSE(wire::decodeJobBody(concat(plain, {0})));
}

INSTANTIATE_TEST_SUITE_P(Kinds, JobBodies, testing::ValuesIn(samples::jobBodies()),
                         [](const auto &info) { return info.param.first; });

// A job body with the parameter TLVs `params` written as they are, then zero padding.
Bytes jobBodyWith(const Bytes &params)
{
    Bytes plain = wire::encodeBody(samples::jobBodies()[0].second);
    std::copy(params.begin(), params.end(), plain.begin() + wire::kJobParamsOffset);
    return plain;
}

const Bytes kUtcParam = tlv(1, Bytes{0, 0, 1, 0x8f, 0x87, 0x3a, 0x3c, 0x7b});

TEST(Body, JobBodyRefusesAllButOneEncodingOfItsParameters)
{
    const Bytes ntp = tlv(2, Bytes{'n', 't', 'p'});
    const Bytes password = concat(Bytes{3, 65, 8}, concat(Bytes(8, 'p'), Bytes(56, 0)));
    ASSERT_TRUE(wire::decodeJobBody(jobBodyWith(concat(kUtcParam, concat(ntp, concat(ntp, password))))));
    const auto body = wire::decodeJobBody(jobBodyWith(concat(ntp, password)));
    ASSERT_TRUE(body);
    EXPECT_EQ(body->ntpServers, (std::vector<std::string>{"ntp"}));
    EXPECT_EQ(body->newPassword, std::string(8, 'p'));

    const size_t kindAt = wire::kNonceSize + wire::kReplyKeySize + wire::kRequesterIdSize;
    const Bytes plain = jobBodyWith({});
    const std::vector<std::pair<const char *, Bytes>> refused = {
        {"kind 0", patched(plain, kindAt, 0)},
        {"reserved byte", patched(plain, kindAt + 1, 1)},
        {"password longer than 64", patched(plain, kindAt + 2, 65)},
        {"password padding", patched(plain, kindAt + 2 + 1 + 63, 'x')},
        {"time twice", jobBodyWith(concat(kUtcParam, kUtcParam))},
        {"time of 7 bytes", jobBodyWith(tlv(1, Bytes(7, 1)))},
        {"parameters out of order", jobBodyWith(concat(ntp, kUtcParam))},
        {"three servers", jobBodyWith(concat(ntp, concat(ntp, ntp)))},
        {"empty server", jobBodyWith(tlv(2, {}))},
        {"server of 64 bytes", jobBodyWith(tlv(2, Bytes(64, 'n')))},
        {"server with NUL", jobBodyWith(tlv(2, Bytes{'a', 0}))},
        {"password of 64 bytes", jobBodyWith(tlv(3, Bytes(64, 0)))},
        {"new password padding", jobBodyWith(concat(Bytes{3, 65, 1, 'p'}, Bytes(63, 'x')))},
        {"unknown parameter", jobBodyWith(tlv(4, Bytes(32, 1)))},
        {"bytes after the padding", patched(jobBodyWith(kUtcParam), wire::kJobBodySize - 1, 1)},
        {"parameter past the end", patched(patched(plain, wire::kJobBodySize - 2, 1), wire::kJobBodySize - 1, 8)},
    };
    for (const auto &[name, bytes] : refused)
        EXPECT_FALSE(wire::decodeJobBody(bytes)) << name;

    // A kind the device does not know decodes: the device answers that it does not offer it.
    EXPECT_EQ(wire::decodeJobBody(patched(plain, kindAt, 9))->kind, 9);
    wire::JobBody tooMany = samples::jobBodies()[2].second;
    tooMany.ntpServers.push_back("third");
    EXPECT_TRUE(wire::encodeBody(tooMany).empty());
}

// ---------------------------------------------------------------- address texts

class Ipv4Text : public testing::TestWithParam<std::pair<const char *, bool>> {};

TEST_P(Ipv4Text, Parse)
{
    const auto [text, valid] = GetParam();
    const auto addr = address::parseIpv4(text);
    ASSERT_EQ(addr.has_value(), valid);
    if (valid) {
        EXPECT_EQ(address::formatIpv4(*addr), text);
    }
}

INSTANTIATE_TEST_SUITE_P(Address, Ipv4Text,
                         testing::Values(std::pair{"192.168.1.64", true}, std::pair{"0.0.0.0", true},
                                         std::pair{"255.255.255.255", true}, std::pair{"010.1.1.10", false},
                                         std::pair{"256.1.1.1", false}, std::pair{"1.1.1", false},
                                         std::pair{"1.1.1.1.", false}, std::pair{"1.1.1.1 ", false},
                                         std::pair{"1..1.1", false}, std::pair{"", false},
                                         std::pair{"1.1.1.1234", false}, std::pair{"a.1.1.1", false}));

TEST(Address, Mac)
{
    const wire::Mac mac{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    EXPECT_EQ(address::formatMac(mac), "00:1a:2b:3c:4d:5e");
    EXPECT_EQ(address::parseMac("00:1A:2b:3c:4d:5e"), mac);
    EXPECT_EQ(address::parseMac("00-1a-2b-3c-4d-5e"), mac);
    for (const char *bad : {"00:1a:2b:3c:4d", "00:1a:2b:3c:4d:5e:", "00:1a-2b:3c:4d:5e", "00:1a:2b:3c:4d:5g",
                            "001a2b3c4d5e", ""})
        EXPECT_FALSE(address::parseMac(bad)) << bad;
}

TEST(Address, Ipv6)
{
    const auto addr = address::parseIpv6("fe80::21a:2bff:fe3c:4d5e");
    ASSERT_TRUE(addr);
    EXPECT_EQ(address::formatIpv6(*addr), "fe80::21a:2bff:fe3c:4d5e");
    EXPECT_EQ(address::formatIpv6(wire::Ipv6{}), "");
    EXPECT_FALSE(address::parseIpv6("fe80::1::2"));
    EXPECT_FALSE(address::parseIpv6(std::string_view("::1\0x", 5)));
}

} // namespace
