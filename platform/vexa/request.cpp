#include "request.h"

#include "crypto.h"
#include "keypins.h"
#include "packetdriver.h"
#include "packetsocket.h"

#include <chrono>
#include <functional>

namespace vexa::request {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kTimeLimit = 3s;
constexpr auto kRetransmit = 250ms;

// Builds the sealed request once the device's nonce and key are known; empty
// when the request cannot be built.
using Finish = std::function<wire::Bytes(const wire::Nonce &nonce, const wire::ReplyKey &replyKey)>;

class Exchange {
public:
    Exchange(PacketSocket &socket, wire::Target target)
        : m_socket(socket), m_target(std::move(target)), m_deadline(Clock::now() + kTimeLimit)
    {
        // Random ids keep concurrent requests of several tools on one link apart.
        do {
            const auto b = crypto::randomArray<4>();
            m_requestId = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
        } while (m_requestId == 0);
    }

    bool run(const Finish &finish)
    {
        const wire::Bytes nonceRequest = wire::encode(wire::NonceRequest{m_requestId, m_target});
        std::optional<wire::Nonce> nonce;
        sendUntil(nonceRequest, [&](const wire::Message &m, std::span<const uint8_t>) {
            const auto *n = std::get_if<wire::Nonce>(&m);
            // Anyone can answer: only a key certified for exactly this
            // serial number and MAC gets the sealed request.
            if (n && n->requestId == m_requestId && n->target == m_target && answersTarget(*n)
                && keypins::trusted(n->serial, n->mac, n->publicKey))
                nonce = *n;
            return nonce.has_value();
        });
        if (!nonce)
            return false;

        const auto replyKey = crypto::randomArray<wire::kReplyKeySize>();
        const wire::Bytes request = finish(*nonce, replyKey);
        if (request.empty())
            return false;
        std::optional<wire::Status> status;
        sendUntil(request, [&](const wire::Message &m, std::span<const uint8_t> datagram) {
            // Anyone on the link can send a RESULT: only the holder of the
            // reply key, which travelled sealed to the device, can sign one.
            const auto *r = std::get_if<wire::Result>(&m);
            if (r && r->requestId == m_requestId && r->target == m_target
                && crypto::verifyResult(datagram, replyKey))
                status = r->status;
            // Rate limited: the device kept the nonce, a retransmission is looked at afresh.
            return status.has_value() && status != wire::Status::RateLimited;
        });
        return status == wire::Status::Ok;
    }

private:
    bool answersTarget(const wire::Nonce &n) const
    {
        return m_target.kind == wire::Target::Kind::Mac ? n.mac == m_target.mac : n.serial == m_target.serial;
    }

    // Sends `datagram` now and every retransmission period, the same bytes
    // each time, until `accept` takes an answer or the deadline passes.
    void sendUntil(const wire::Bytes &datagram,
                   const std::function<bool(const wire::Message &, std::span<const uint8_t>)> &accept)
    {
        std::array<uint8_t, wire::kMaxDatagram> buffer;
        Clock::time_point nextSend = Clock::now();
        for (;;) {
            const Clock::time_point now = Clock::now();
            if (now >= m_deadline)
                return;
            if (now >= nextSend) {
                m_socket.send(wire::kDeviceGroup, datagram);
                nextSend = now + kRetransmit;
            }
            const auto wait = std::min(nextSend, m_deadline) - now;
            PKT_RecvInfo info{};
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

    PacketSocket &m_socket;
    wire::Target m_target;
    Clock::time_point m_deadline;
    uint32_t m_requestId = 0;
};

bool exchange(const PKT_Driver *driver, const wire::Target &target, const Finish &finish)
{
    if (!crypto::init())
        return false;
    auto socket = PacketSocket::open(driver, wire::kToolGroup, 0);
    if (!socket)
        return false;
    return Exchange(*socket, target).run(finish);
}

} // namespace

bool modify(const PKT_Driver *driver, const wire::Mac &target, wire::ModifyBody body)
{
    return exchange(driver, wire::Target::byMac(target),
                    [&](const wire::Nonce &nonce, const wire::ReplyKey &replyKey) -> wire::Bytes {
                        body.nonce = nonce.nonce;
                        body.replyKey = replyKey;
                        const wire::Bytes plain = wire::encodeBody(body);
                        if (plain.empty())
                            return {};
                        return wire::encode(wire::Modify{nonce.requestId, target, crypto::seal(plain, nonce.publicKey)});
                    });
}

bool resetPassword(const PKT_Driver *driver, const std::string &serial, const std::string &securityCode)
{
    return exchange(driver, wire::Target::bySerial(serial),
                    [&](const wire::Nonce &nonce, const wire::ReplyKey &replyKey) -> wire::Bytes {
                        const wire::Bytes plain = wire::encodeBody(wire::ResetBody{nonce.nonce, replyKey, securityCode});
                        if (plain.empty())
                            return {};
                        return wire::encode(wire::Reset{nonce.requestId, serial, crypto::seal(plain, nonce.publicKey)});
                    });
}

} // namespace vexa::request
