#include "request.h"

#include "crypto.h"
#include "address.h"
#include "keypins.h"
#include <packet/packetdriver.h>
#include <packet/transport.h>

#include <chrono>

#include <sodium.h>
#include <functional>

namespace vexa::request {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kTimeLimit = 3s;
constexpr auto kRetransmit = 250ms;
// A device that answers "rate limited" is asked again, less often, for longer:
// a stranger's guesses or a busy device's ceiling must not fail the request at 3 s.
constexpr auto kRateLimitedLimit = 12s;
constexpr auto kRateLimitedRetransmit = 1s;
// The confirmation at the new address gets a bound of its own after the RESULT.
constexpr auto kConfirmLimit = 3s;

// Builds the sealed request once the device's nonce and key are known; empty
// when the request cannot be built. `confirmAt` is set to the
// address a change must be confirmed at, when the request asks the device to
// wait for a confirmation.
using Finish = std::function<wire::Bytes(const wire::Nonce &nonce, const wire::ReplyKey &replyKey,
                                         std::optional<packet::Address> &confirmAt)>;

class Exchange {
public:
    Exchange(packet::Socket &socket, wire::Target target)
        : m_socket(socket), m_target(std::move(target)), m_started(Clock::now()), m_deadline(m_started + kTimeLimit)
    {
        // Random ids keep concurrent requests of several tools on one link apart.
        do {
            const auto b = crypto::randomArray<4>();
            m_requestId = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
        } while (m_requestId == 0);
    }

    // The device's signed answer, or nothing when none came; a JOB's answer
    // also brings the device's clock and uptime.
    struct Answer {
        std::optional<wire::Status> status;
        std::optional<wire::JobResult> job;
        std::chrono::system_clock::time_point sent, received; // of the answered copy's exchange
    };

    Answer run(const Finish &finish)
    {
        Answer answer;
        const wire::Bytes nonceRequest = wire::encode(wire::NonceRequest{m_requestId, m_target});
        std::optional<wire::Nonce> nonce;
        sendUntil(nonceRequest, [&](const wire::Bytes &datagram) { m_socket.sendAll(address::kDeviceGroups, wire::kPort, datagram); },
                  [&](const wire::Message &m, std::span<const uint8_t>) {
            const auto *n = std::get_if<wire::Nonce>(&m);
            // Anyone can answer: only a key certified for exactly this
            // serial number and MAC gets the sealed request.
            if (n && n->requestId == m_requestId && n->target == m_target && answersTarget(*n)
                && keypins::trusted(n->serial, n->mac, n->publicKey))
                nonce = *n;
            return nonce.has_value();
        });
        if (!nonce)
            return answer;

        const auto replyKey = crypto::randomArray<wire::kReplyKeySize>();
        std::optional<packet::Address> confirmAt;
        const wire::Bytes request = finish(*nonce, replyKey, confirmAt);
        if (request.empty())
            return answer;
        // A JOB is answered by a JOB_RESULT, anything else by a RESULT: never one for the other.
        const bool job = wire::peekType(request) == wire::MsgType::Job;
        std::optional<wire::Status> &status = answer.status;
        const auto multicast = [&](const wire::Bytes &datagram) {
            answer.sent = std::chrono::system_clock::now();
            m_socket.sendAll(address::kDeviceGroups, wire::kPort, datagram);
        };
        sendUntil(request, multicast, [&](const wire::Message &m, std::span<const uint8_t> datagram) {
            // Anyone on the link can send an answer: only the holder of the
            // reply key, which travelled sealed to the device, can sign one.
            const auto *r = std::get_if<wire::Result>(&m);
            const auto *j = std::get_if<wire::JobResult>(&m);
            if (job ? !(j && j->requestId == m_requestId && j->target == m_target)
                    : !(r && r->requestId == m_requestId && r->target == m_target && r->status != wire::Status::Confirmed))
                return false;
            if (!crypto::verifyResult(datagram, replyKey))
                return false;
            status = job ? j->status : r->status;
            if (job)
                answer.job = *j;
            answer.received = std::chrono::system_clock::now();
            // Rate limited: the device kept the nonce, a retransmission is looked
            // at afresh; the tool backs off and gives it longer.
            if (status == wire::Status::RateLimited && !m_backingOff) {
                m_backingOff = true;
                m_retransmit = kRateLimitedRetransmit;
                m_deadline = std::max(m_deadline, m_started + kRateLimitedLimit);
            }
            return status != wire::Status::RateLimited;
        });
        if (status == wire::Status::Ok && confirmAt && !confirm(*confirmAt, replyKey))
            status.reset();
        return answer;
    }

private:
    // The change holds only once the device heard from us by unicast at its
    // new address: multicast reaches it whatever its address, so only this
    // proves the tool can still reach it. Without the answer the device rolls back.
    bool confirm(const packet::Address &to, const wire::ReplyKey &replyKey)
    {
        const wire::Bytes datagram = crypto::encodeSignedConfirm({m_requestId, m_target.mac, {}}, replyKey);
        if (datagram.empty())
            return false;
        m_deadline = Clock::now() + kConfirmLimit;
        bool confirmed = false;
        const auto unicast = [&](const wire::Bytes &bytes) { m_socket.sendTo(to, wire::kPort, bytes); };
        sendUntil(datagram, unicast, [&](const wire::Message &m, std::span<const uint8_t> received) {
            const auto *r = std::get_if<wire::Result>(&m);
            confirmed = r && r->requestId == m_requestId && r->target == m_target
                && r->status == wire::Status::Confirmed && crypto::verifyResult(received, replyKey);
            return confirmed;
        });
        return confirmed;
    }

    bool answersTarget(const wire::Nonce &n) const
    {
        return m_target.kind == wire::Target::Kind::Mac ? n.mac == m_target.mac : n.serial == m_target.serial;
    }

    // Sends `datagram` now and every retransmission period, the same bytes
    // each time, until `accept` takes an answer or the deadline passes.
    void sendUntil(const wire::Bytes &datagram, const std::function<void(const wire::Bytes &)> &send,
                   const std::function<bool(const wire::Message &, std::span<const uint8_t>)> &accept)
    {
        std::array<uint8_t, wire::kMaxDatagram> buffer;
        Clock::time_point nextSend = Clock::now();
        for (;;) {
            const Clock::time_point now = Clock::now();
            if (now >= m_deadline)
                return;
            if (now >= nextSend) {
                send(datagram);
                nextSend = now + m_retransmit;
            }
            const auto wait = std::min(nextSend, m_deadline) - now;
            packet::Received info;
            const int n = m_socket.receive(
                buffer, int(std::chrono::ceil<std::chrono::milliseconds>(wait).count()), info);
            if (n < 0 || info.ttl != wire::kRequiredTtl)
                continue;
            const auto received = std::span<const uint8_t>(buffer).first(size_t(n));
            const auto message = wire::decode(received);
            if (message && accept(*message, received))
                return;
        }
    }

    packet::Socket &m_socket;
    wire::Target m_target;
    Clock::time_point m_started;
    Clock::time_point m_deadline;
    Clock::duration m_retransmit = kRetransmit;
    bool m_backingOff = false;
    uint32_t m_requestId = 0;
};

// Who asks, as a revision 5 device keys its lock-outs: random per process and
// sealed in every request body, so no one else can spend it, as anyone can a
// source address.
const wire::RequesterId &requesterId()
{
    static const wire::RequesterId id = crypto::randomArray<wire::kRequesterIdSize>();
    return id;
}

std::optional<wire::RequesterId> requesterFor(const wire::Nonce &nonce)
{
    // An older device takes only bodies of the size it knows.
    return keypins::signsAnnouncements(nonce.serial, nonce.mac) ? std::optional(requesterId()) : std::nullopt;
}

Exchange::Answer exchange(const PKT_Driver *driver, const wire::Target &target, const Finish &finish)
{
    if (!crypto::init())
        return {};
    auto socket = packet::Socket::open(driver, wire::kPort, address::kToolGroups, 0);
    if (!socket)
        return {};
    return Exchange(*socket, target).run(finish);
}

} // namespace

bool modify(const PKT_Driver *driver, const wire::Mac &target, wire::ModifyBody body)
{
    const Exchange::Answer answer = exchange(driver, wire::Target::byMac(target),
                    [&](const wire::Nonce &nonce, const wire::ReplyKey &replyKey,
                        std::optional<packet::Address> &confirmAt) -> wire::Bytes {
                        body.nonce = nonce.nonce;
                        body.replyKey = replyKey;
                        body.requester = requesterFor(nonce);
                        // Only a device that signed a confirmation window knows the flag (revision 4, signed in 5).
                        body.confirm = keypins::confirmWindow(nonce.serial, nonce.mac) != 0;
                        if (body.confirm)
                            confirmAt = packet::Address::v4(body.ipv4Addr);
                        const wire::Bytes plain = wire::encodeBody(body);
                        if (plain.empty())
                            return {};
                        return wire::encode(wire::Modify{nonce.requestId, target, crypto::seal(plain, nonce.publicKey)});
                    });
    return answer.status == wire::Status::Ok;
}

bool resetPassword(const PKT_Driver *driver, const std::string &serial, const std::string &securityCode)
{
    const Exchange::Answer answer = exchange(driver, wire::Target::bySerial(serial),
                    [&](const wire::Nonce &nonce, const wire::ReplyKey &replyKey,
                        std::optional<packet::Address> &) -> wire::Bytes {
                        const wire::Bytes plain = wire::encodeBody(
                            wire::ResetBody{nonce.nonce, replyKey, securityCode, requesterFor(nonce)});
                        if (plain.empty())
                            return {};
                        return wire::encode(wire::Reset{nonce.requestId, serial, crypto::seal(plain, nonce.publicKey)});
                    });
    return answer.status == wire::Status::Ok;
}

JobAnswer job(const PKT_Driver *driver, const wire::Mac &target, wire::JobBody body)
{
    bool offered = true;
    const Exchange::Answer answer = exchange(
        driver, wire::Target::byMac(target),
        [&](const wire::Nonce &nonce, const wire::ReplyKey &replyKey, std::optional<packet::Address> &) -> wire::Bytes {
            // Only what the device signed that it offers: an older device would not answer at all.
            offered = body.kind <= 15 && (keypins::offeredJobs(nonce.serial, nonce.mac) & (1u << body.kind));
            if (!offered)
                return {};
            body.nonce = nonce.nonce;
            body.replyKey = replyKey;
            body.requester = requesterId();
            wire::Bytes plain = wire::encodeBody(body);
            if (plain.empty())
                return {};
            wire::Bytes request = wire::encode(wire::Job{nonce.requestId, target, crypto::seal(plain, nonce.publicKey)});
            sodium_memzero(plain.data(), plain.size());
            return request;
        });
    crypto::wipe(body);
    JobAnswer result;
    result.status = offered ? answer.status : std::optional(wire::Status::NotOffered);
    if (answer.job) {
        // The device read its clock between our send and its answer's arrival: against their midpoint.
        const auto midpoint = answer.sent + (answer.received - answer.sent) / 2;
        result.offsetMs = answer.job->clockMs
            - std::chrono::duration_cast<std::chrono::milliseconds>(midpoint.time_since_epoch()).count();
        result.uptimeS = answer.job->uptimeS;
    }
    return result;
}

} // namespace vexa::request
