// The discovery library against a scripted device on loopback: events,
// lifecycle, the request exchange and input checks.

#include "vexa.h"

#include <vexa/address.h>
#include <vexa/crypto.h>
#include <packet/packetdriver.h>
#include "vexatestreports.h"
#include <vexa/wire.h>

#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>
#include <unistd.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

using namespace vexa;
using namespace std::chrono_literals;
using vexatest::driver;
using vexatest::Reports;

// Generous: only ever waited out when something is broken.
constexpr auto kEventWait = 8s;

std::string hexText(std::span<const uint8_t> bytes)
{
    std::string hex(2 * bytes.size() + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), bytes.data(), bytes.size());
    hex.pop_back();
    return hex;
}

std::string prefix()
{
    return "TST" + std::to_string(getpid()) + "-";
}

// The demo manufacturer, whose certificates the library trusts in the build tree.
const crypto::ManufacturerSecretKey &demoManufacturer()
{
    static const auto key = crypto::manufacturerKeyFromSeed(*crypto::readFactoryKey(DEMO_MANUFACTURER_KEY));
    return key;
}

// A device speaking VXDP from a thread of its own. A hostile one answers the
// nonce requests for other devices, with an identity made up from theirs and its own.
class FakeDevice {
public:
    // MissesInquiry: on a lossy link, it misses the INQUIRY but answers INQUIRY_REPEATs.
    // Signing: a revision 5 device, whose announcements carry its signature.
    enum class Answer { Honest, ForgedResult, OtherKey, MissesInquiry, Mute, OtherSerial, OtherMac, TheirIdentity, Uncertified, Signing };

    // Certified by `manufacturer`, by default the demo one.
    explicit FakeDevice(const std::string &suffix, Answer answer = Answer::Honest,
                        const crypto::ManufacturerSecretKey *manufacturer = nullptr)
        : m_answer(answer)
    {
        m_info.serial = prefix() + suffix;
        m_info.mac = crypto::randomArray<6>();
        m_info.mac[0] = 0x02;
        if (answer != Answer::Uncertified)
            m_info.certificate = crypto::certify(manufacturer ? *manufacturer : demoManufacturer(), m_keys.publicKey,
                                                 m_info.serial, m_info.mac);
        if (answer == Answer::Signing)
            m_info.deviceCertificate = crypto::certifyDevice(manufacturer ? *manufacturer : demoManufacturer(),
                                                             m_keys.publicKey, crypto::signingPublicKey(m_signingKey),
                                                             m_info.serial, m_info.mac);
        m_info.ipv4Addr = {10, 1, 2, 3};
        m_info.ipv4Mask = {255, 255, 0, 0};
        m_info.port = 8000;
        m_info.httpPort = 8080;
        m_info.typeName = "IPC";
        const uint32_t group = address::toNetworkOrder(wire::kDeviceGroup);
        EXPECT_EQ(driver()->open(wire::kPort, &group, 1, 0, &m_socket), 0);
        m_thread = std::thread([this] { run(); });
    }
    ~FakeDevice()
    {
        m_stop = true;
        driver()->wake(m_socket);
        m_thread.join();
        driver()->close(m_socket);
    }

    void announce(wire::AnnounceReason reason, uint16_t heartbeatS = 30, wire::ToolId toolId = {})
    {
        std::lock_guard lock(m_mutex);
        m_heartbeatS = heartbeatS;
        send(wire::Announce{reason, heartbeatS, toolId, m_keys.publicKey, m_info});
    }
    // Its own goodbye: the device answers nothing from now on.
    void goodbye()
    {
        std::lock_guard lock(m_mutex);
        send(wire::Goodbye{m_info.serial, m_info.mac});
        m_gone = true;
    }
    // The same datagram from anyone else: the device carries on.
    void forgedGoodbye()
    {
        std::lock_guard lock(m_mutex);
        send(wire::Goodbye{m_info.serial, m_info.mac});
    }
    // A clone: the serial number and MAC of `original`, its own key, certified by `manufacturer`.
    void takeIdentityOf(const FakeDevice &original, const crypto::ManufacturerSecretKey &manufacturer)
    {
        std::lock_guard lock(m_mutex);
        m_info.serial = original.m_info.serial;
        m_info.mac = original.m_info.mac;
        m_info.certificate = crypto::certify(manufacturer, m_keys.publicKey, m_info.serial, m_info.mac);
    }
    void setPort(uint16_t port)
    {
        std::lock_guard lock(m_mutex);
        m_info.port = port;
        ++m_counter;
    }
    void setConfirmWindow(uint16_t seconds)
    {
        std::lock_guard lock(m_mutex);
        m_info.confirmWindowS = seconds;
        ++m_counter;
    }
    // The last ANNOUNCE it sent, byte for byte: what an attacker captures.
    wire::Bytes lastAnnouncement()
    {
        std::lock_guard lock(m_mutex);
        return m_lastAnnouncement;
    }
    std::string mac() const { return address::formatMac(m_info.mac); }
    const std::string &serial() const { return m_info.serial; }
    std::optional<wire::ModifyBody> lastModify()
    {
        std::lock_guard lock(m_mutex);
        return m_modify;
    }
    std::optional<wire::ResetBody> lastReset()
    {
        std::lock_guard lock(m_mutex);
        return m_reset;
    }
    std::optional<wire::InquiryRepeat> lastRepeat()
    {
        std::lock_guard lock(m_mutex);
        return m_repeat;
    }
    uint32_t hint(const wire::ToolId &toolId) const { return crypto::answerHint(toolId, m_info.serial, m_info.mac); }
    std::optional<wire::ToolId> toolId()
    {
        std::lock_guard lock(m_mutex);
        return m_toolId;
    }
    bool hostile() const
    {
        return m_answer == Answer::OtherSerial || m_answer == Answer::OtherMac || m_answer == Answer::TheirIdentity;
    }

private:
    void send(const wire::Message &m)
    {
        wire::Bytes b = wire::encode(m);
        ASSERT_FALSE(b.empty());
        if (const auto *a = std::get_if<wire::Announce>(&m)) {
            if (m_answer == Answer::Signing) {
                const auto message = crypto::announceMessage(m_counter, a->heartbeatS, a->publicKey,
                                                             wire::announceSignedTlvs(b));
                b = wire::appendAnnounceSignature(std::move(b), {m_counter, crypto::sign(m_signingKey, message)});
            }
            m_lastAnnouncement = b;
        }
        driver()->send(m_socket, address::toNetworkOrder(wire::kToolGroup), wire::kPort, b.data(), b.size(), 0);
    }
    bool isTarget(const wire::Target &t) const
    {
        return t.kind == wire::Target::Kind::Mac ? t.mac == m_info.mac : t.serial == m_info.serial;
    }
    // The identity a hostile device claims when it answers for `t`.
    std::pair<std::string, wire::Mac> claimFor(const wire::Target &t) const
    {
        std::string serial = t.kind == wire::Target::Kind::Serial ? t.serial : m_info.serial;
        wire::Mac mac = t.kind == wire::Target::Kind::Mac ? t.mac : m_info.mac;
        if (m_answer == Answer::TheirIdentity && t.kind == wire::Target::Kind::Mac)
            serial = m_victimSerial;
        if (m_answer == Answer::TheirIdentity && t.kind == wire::Target::Kind::Serial)
            mac = m_victimMac;
        return {serial, mac};
    }
    void result(uint32_t requestId, const wire::Target &target, const wire::ReplyKey &replyKey)
    {
        wire::ReplyKey key = replyKey;
        if (m_answer == Answer::ForgedResult)
            key[0] ^= 1;
        const wire::Bytes b = crypto::encodeSignedResult(wire::Result{requestId, wire::Status::Ok, target, {}}, key);
        driver()->send(m_socket, address::toNetworkOrder(wire::kToolGroup), wire::kPort, b.data(), b.size(), 0);
    }

    void run()
    {
        std::array<uint8_t, wire::kMaxDatagram> buffer;
        while (!m_stop) {
            PKT_RecvInfo info{};
            const int n = driver()->receive(m_socket, buffer.data(), buffer.size(), 200, &info);
            if (n < 0)
                continue;
            const auto m = wire::decode(std::span(buffer).first(size_t(n)));
            if (!m)
                continue;
            std::lock_guard lock(m_mutex);
            if (m_gone)
                continue;
            if (const auto *inq = std::get_if<wire::Inquiry>(&*m))
                m_toolId = inq->toolId;
            if (const auto *inq = std::get_if<wire::Inquiry>(&*m); inq && m_answer != Answer::MissesInquiry) {
                send(wire::Announce{wire::AnnounceReason::InquiryAnswer, 30, inq->toolId, m_keys.publicKey, m_info});
            } else if (const auto *rep = std::get_if<wire::InquiryRepeat>(&*m)) {
                // Only this kind answers repeats: the others stand for devices of the first revision.
                m_repeat = *rep;
                const uint32_t h = hint(rep->toolId);
                if (m_answer == Answer::MissesInquiry && h >= rep->low && h <= rep->high && !std::binary_search(rep->heard.begin(), rep->heard.end(), h))
                    send(wire::Announce{wire::AnnounceReason::InquiryAnswer, m_heartbeatS, rep->toolId, m_keys.publicKey,
                                        m_info});
            } else if (const auto *req = std::get_if<wire::NonceRequest>(&*m); req && hostile() && !isTarget(req->target)) {
                m_nonce = crypto::randomArray<wire::kNonceSize>();
                const auto [serial, mac] = claimFor(req->target);
                send(wire::Nonce{req->requestId, m_nonce, m_keys.publicKey, serial, mac, req->target});
            } else if (const auto *req = std::get_if<wire::NonceRequest>(&*m);
                       req && isTarget(req->target) && m_answer != Answer::Mute) {
                m_nonce = crypto::randomArray<wire::kNonceSize>();
                const auto key = m_answer == Answer::OtherKey ? crypto::generateKeyPair().publicKey : m_keys.publicKey;
                send(wire::Nonce{req->requestId, m_nonce, key, m_info.serial, m_info.mac, req->target});
            } else if (const auto *mod = std::get_if<wire::Modify>(&*m); mod && (mod->target == m_info.mac || hostile())) {
                const auto plain = crypto::open(mod->sealed, m_keys);
                const auto body = plain ? wire::decodeModifyBody(*plain) : std::nullopt;
                if (body && body->nonce == m_nonce) {
                    m_modify = body;
                    result(mod->requestId, wire::Target::byMac(m_info.mac), body->replyKey);
                }
            } else if (const auto *res = std::get_if<wire::Reset>(&*m);
                       res && (res->targetSerial == m_info.serial || hostile())) {
                const auto plain = crypto::open(res->sealed, m_keys);
                const auto body = plain ? wire::decodeResetBody(*plain) : std::nullopt;
                if (body && body->nonce == m_nonce) {
                    m_reset = body;
                    result(res->requestId, wire::Target::bySerial(m_info.serial), body->replyKey);
                }
            }
        }
    }

public:
    std::string m_victimSerial; // for TheirIdentity
    wire::Mac m_victimMac{};

private:
    Answer m_answer;
    crypto::KeyPair m_keys = crypto::generateKeyPair();
    crypto::SigningSecretKey m_signingKey = crypto::signingKeyFromSeed(crypto::randomArray<32>());
    uint64_t m_counter = 1;
    wire::Bytes m_lastAnnouncement;
    std::optional<wire::ToolId> m_toolId; // of the last inquiry heard
    wire::DeviceInfo m_info;
    PKT_Socket *m_socket = nullptr;
    std::mutex m_mutex;
    wire::NonceBytes m_nonce{};
    std::optional<wire::ModifyBody> m_modify;
    std::optional<wire::ResetBody> m_reset;
    std::optional<wire::InquiryRepeat> m_repeat;
    uint16_t m_heartbeatS = 30;
    bool m_gone = false;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A socket that sends to the tool group from a loopback address of the
// caller's choosing (127.0.0.0/8 is all ours), with the TTL of the link.
class ForgedSender {
public:
    explicit ForgedSender(uint32_t source)
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        EXPECT_GE(m_fd, 0);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(source);
        const int ttl = 255;
        const in_addr loopback{htonl(INADDR_LOOPBACK)};
        EXPECT_EQ(::bind(m_fd, reinterpret_cast<sockaddr *>(&from), sizeof from), 0);
        EXPECT_EQ(::setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl), 0);
        EXPECT_EQ(::setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback), 0);
    }
    ~ForgedSender() { ::close(m_fd); }
    ForgedSender(const ForgedSender &) = delete;
    ForgedSender &operator=(const ForgedSender &) = delete;

    void send(std::span<const uint8_t> datagram) const
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(wire::kPort);
        to.sin_addr.s_addr = htonl(wire::kToolGroup);
        ::sendto(m_fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    }

private:
    int m_fd = -1;
};

class Library : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(crypto::init());
        ASSERT_NE(driver(), nullptr);
    }
    void TearDown() override { EXPECT_EQ(VEXA_Stop(), 1); }
    void start() { ASSERT_EQ(VEXA_Start_V30(&Reports::callback, 0, &m_reports), 1); }
    std::optional<VEXA_DEVICE_REPORT> next() { return m_reports.next(); }
    // Discovery hears the device's certified announcement (it stays running).
    void hear(FakeDevice &device)
    {
        if (VEXA_SendInquiry() != 1)
            start();
        device.announce(wire::AnnounceReason::Boot);
        for (auto r = next(); r; r = next()) {
            if (r->serialNo == device.serial())
                return;
        }
        ADD_FAILURE() << "not heard: " << device.serial();
    }

    // Until the library has checked the device's claim (off its receive thread).
    static bool certified(const FakeDevice &device)
    {
        for (int tries = 0; tries < 100; ++tries) {
            if (VEXA_DeviceCertified(device.serial().c_str(), device.mac().c_str()) == 1)
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    // 150 000 made-up identities from ten forged addresses, more than the table holds.
    static void floodIdentities(wire::AnnounceReason reason, const wire::ToolId &toolId)
    {
        constexpr int kSources = 10, kPerSource = 15'000;
        std::vector<std::unique_ptr<ForgedSender>> senders;
        for (int s = 0; s < kSources; ++s)
            senders.push_back(std::make_unique<ForgedSender>(0x7F000002 + uint32_t(s))); // 127.0.0.2 ...
        wire::Announce fake{reason, 30, toolId, crypto::generateKeyPair().publicKey, {}};
        fake.info.typeName = "FAKE";
        for (int i = 0; i < kSources * kPerSource; ++i) {
            fake.info.serial = "FLOOD-" + std::to_string(i);
            fake.info.mac = {0x02, 0xF1, uint8_t(i >> 16), uint8_t(i >> 8), uint8_t(i), 0};
            senders[size_t(i % kSources)]->send(wire::encode(fake));
            if (i % 2000 == 1999)
                std::this_thread::sleep_for(20ms); // paced, so the flood fills the table instead of the socket buffer
        }
    }

    Reports m_reports{prefix(), kEventWait};
};

TEST_F(Library, Lifecycle)
{
    EXPECT_EQ(VEXA_Stop(), 1); // without Start: harmless
    EXPECT_EQ(VEXA_SendInquiry(), 0);
    EXPECT_EQ(VEXA_Start_V30(nullptr, 0, nullptr), 0);
    EXPECT_EQ(VEXA_Start_V30(&Reports::callback, 1, &m_reports), 0);
    start();
    EXPECT_EQ(VEXA_Start_V30(&Reports::callback, 0, &m_reports), 0);
    EXPECT_EQ(VEXA_Start_V20(&Reports::callback, &m_reports), 0);
    EXPECT_EQ(VEXA_SendInquiry(), 1);
    EXPECT_EQ(VEXA_Stop(), 1);
    EXPECT_EQ(VEXA_Stop(), 1);
    EXPECT_EQ(VEXA_Start_V20(&Reports::callback, &m_reports), 1);
    EXPECT_EQ(VEXA_SendInquiry(), 1);
}

TEST_F(Library, EventsFollowTheDevice)
{
    start();
    FakeDevice device("events");
    device.announce(wire::AnnounceReason::Boot);
    auto r = next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->eventCode, VEXA_EVENT_ANNOUNCE);
    EXPECT_STREQ(r->protocol, "VXDP/1");
    EXPECT_EQ(r->serialNo, device.serial());
    EXPECT_EQ(r->macAddr, device.mac());
    EXPECT_STREQ(r->ipv4Addr, "10.1.2.3");
    EXPECT_STREQ(r->ipv4Mask, "255.255.0.0");
    EXPECT_STREQ(r->sourceAddr, "127.0.0.1");
    EXPECT_EQ(r->port, 8000);
    EXPECT_EQ(r->extraValue, 8080);
    EXPECT_STREQ(r->ipv6Addr, "");
    // Listed at once, proven later: a change heard before the proof would be
    // reported twice (the boot's proven values, then the change's once it is
    // proven in turn).
    ASSERT_TRUE(certified(device));

    // Unchanged repeats and answers to inquiries report nothing; the next
    // event is the change.
    device.announce(wire::AnnounceReason::Heartbeat);
    ASSERT_EQ(VEXA_SendInquiry(), 1);
    ASSERT_EQ(VEXA_SendInquiry(), 1);
    device.setPort(8001);
    device.announce(wire::AnnounceReason::Changed);
    r = next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->eventCode, VEXA_EVENT_UPDATE);
    EXPECT_EQ(r->port, 8001);

    device.goodbye();
    r = next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->eventCode, VEXA_EVENT_OFFLINE);
    EXPECT_EQ(r->serialNo, device.serial());
}

TEST_F(Library, AnswerToOurInquiryIsOnline)
{
    start();
    FakeDevice device("inquiry");
    ASSERT_EQ(VEXA_SendInquiry(), 1);
    const auto r = next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->eventCode, VEXA_EVENT_ONLINE);
    // Another tool's inquiry answer is unsolicited for us.
    FakeDevice other("other tool");
    other.announce(wire::AnnounceReason::InquiryAnswer, 30, crypto::randomArray<wire::kToolIdSize>());
    const auto r2 = next();
    ASSERT_TRUE(r2);
    EXPECT_EQ(r2->eventCode, VEXA_EVENT_ANNOUNCE);
}

TEST_F(Library, DeviceThatMissedTheInquiryIsFoundByARepeatRound)
{
    start();
    FakeDevice heard("heard");
    FakeDevice missed("missed", FakeDevice::Answer::MissesInquiry);
    ASSERT_EQ(VEXA_SendInquiry(), 1);
    const auto first = m_reports.nextFor(heard.serial());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->eventCode, VEXA_EVENT_ONLINE);
    const auto late = m_reports.nextFor(missed.serial());
    ASSERT_TRUE(late);
    EXPECT_EQ(late->eventCode, VEXA_EVENT_ONLINE);

    // The last round lists both as heard, and nothing was reported twice.
    std::this_thread::sleep_for(1700ms);
    const auto last = missed.lastRepeat();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->round, 4);
    for (const FakeDevice *device : {&heard, &missed}) {
        const uint32_t h = device->hint(last->toolId);
        EXPECT_TRUE(std::binary_search(last->heard.begin(), last->heard.end(), h)) << device->serial();
    }
    EXPECT_FALSE(m_reports.next(0ms));
}

TEST_F(Library, SilentDeviceIsProbedBeforeItGoesOffline)
{
    start();
    auto device = std::make_unique<FakeDevice>("probed", FakeDevice::Answer::MissesInquiry);
    device->announce(wire::AnnounceReason::Boot, 1);
    auto r = next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->eventCode, VEXA_EVENT_ANNOUNCE);
    // Past the 5 s of silence: its answers to the probes keep it online.
    EXPECT_FALSE(m_reports.next(6500ms));
    const auto probe = device->lastRepeat();
    ASSERT_TRUE(probe);
    EXPECT_GE(probe->round, 5);
    EXPECT_EQ(probe->low, device->hint(probe->toolId));
    EXPECT_EQ(probe->high, probe->low);
    device.reset(); // gone without a goodbye
    r = next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->eventCode, VEXA_EVENT_OFFLINE);
}

TEST_F(Library, GoodbyeIsBelievedOnlyOnceTheDeviceIsSilent)
{
    start();
    FakeDevice device("leaving", FakeDevice::Answer::MissesInquiry);
    device.announce(wire::AnnounceReason::Boot);
    auto r = next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->eventCode, VEXA_EVENT_ANNOUNCE);
    // Anyone can send a device's GOODBYE: one that is still there answers the probe.
    device.forgedGoodbye();
    EXPECT_FALSE(m_reports.next(3s));
    const auto probe = device.lastRepeat();
    ASSERT_TRUE(probe);
    EXPECT_GE(probe->round, 5);
    device.goodbye();
    r = next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->eventCode, VEXA_EVENT_OFFLINE);
}

TEST_F(Library, SilentDeviceGoesOffline)
{
    start();
    FakeDevice device("silent");
    device.announce(wire::AnnounceReason::Boot, 1);
    auto r = next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->eventCode, VEXA_EVENT_ANNOUNCE);
    r = next(); // 3 x 1 s + 2 s of silence
    ASSERT_TRUE(r);
    EXPECT_EQ(r->eventCode, VEXA_EVENT_OFFLINE);
    device.announce(wire::AnnounceReason::Boot, 1);
    r = next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->eventCode, VEXA_EVENT_ANNOUNCE);
}

TEST_F(Library, StopWaitsForTheCallback)
{
    std::atomic<bool> inCallback{false};
    std::atomic<bool> returned{false};
    struct Ctx {
        std::atomic<bool> *in, *ret;
    } ctx{&inCallback, &returned};
    auto slow = [](const VEXA_DEVICE_REPORT *, void *user) {
        auto *c = static_cast<Ctx *>(user);
        *c->in = true;
        std::this_thread::sleep_for(300ms);
        VEXA_SendInquiry(); // must not deadlock against a Stop in progress
        *c->ret = true;
    };
    ASSERT_EQ(VEXA_Start_V30(slow, 0, &ctx), 1);
    FakeDevice device("stop");
    device.announce(wire::AnnounceReason::Boot);
    for (int i = 0; i < 800 && !inCallback; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(inCallback);
    EXPECT_EQ(VEXA_Stop(), 1);
    EXPECT_TRUE(returned);
}

VEXA_NET_PARAM netParam(const char *addr, const char *mask)
{
    VEXA_NET_PARAM p{};
    std::strncpy(p.ipv4Addr, addr, sizeof p.ipv4Addr - 1);
    std::strncpy(p.ipv4Mask, mask, sizeof p.ipv4Mask - 1);
    p.port = 8002;
    return p;
}

TEST_F(Library, ModifyIsConfirmedByTheDevice)
{
    FakeDevice device("modify");
    hear(device);
    VEXA_NET_PARAM p = netParam("10.9.8.7", "255.255.255.0");
    std::strcpy(p.ipv6Addr, "2001:db8::7");
    p.ipv6PrefixLen = 64;
    // Discovery stopped: requests work on their own socket, with the key heard before.
    ASSERT_EQ(VEXA_Stop(), 1);
    ASSERT_EQ(VEXA_ModifyDeviceNetParam(device.mac().c_str(), "secret", &p), 1);
    const auto body = device.lastModify();
    ASSERT_TRUE(body);
    EXPECT_EQ(body->password, "secret");
    EXPECT_EQ(body->ipv4Addr, (wire::Ipv4{10, 9, 8, 7}));
    EXPECT_EQ(body->port, 8002);
    EXPECT_FALSE(body->setGateway);
    EXPECT_TRUE(body->setIpv6);
    EXPECT_EQ(body->ipv6PrefixLen, 64);

    ASSERT_EQ(VEXA_UpdateIpV20(device.mac().c_str(), "10.9.8.6", "255.255.0.0", "pw", "9000", "10.9.0.1", 0, 0, 0, 0),
              1);
    EXPECT_EQ(device.lastModify()->ipv4Gateway, (wire::Ipv4{10, 9, 0, 1}));
    EXPECT_TRUE(device.lastModify()->setGateway);
    EXPECT_FALSE(device.lastModify()->setIpv6);
}

TEST_F(Library, ResetIsConfirmedByTheDevice)
{
    FakeDevice device("reset");
    hear(device);
    ASSERT_EQ(VEXA_ResetDefaultPasswd(device.serial().c_str(), "20240517P2POEX2VG6DBV4N5CZBO"), 1);
    ASSERT_TRUE(device.lastReset());
    EXPECT_EQ(device.lastReset()->securityCode, "20240517P2POEX2VG6DBV4N5CZBO");
}

TEST_F(Library, ForgedResultIsNotSuccess)
{
    FakeDevice device("forged", FakeDevice::Answer::ForgedResult);
    hear(device);
    const VEXA_NET_PARAM p = netParam("10.9.8.7", "255.255.255.0");
    EXPECT_EQ(VEXA_ModifyDeviceNetParam(device.mac().c_str(), "secret", &p), 0);
}

// A host on the link answers the nonce request for a real, certified device
// before it does: with its own serial and the device's MAC, the device's
// serial and its own MAC, or the device's whole identity. None of it is
// certified for the key it sends, so it gets no password and no "accepted".
TEST_F(Library, ImpostorAnswersGetNothing)
{
    using A = FakeDevice::Answer;
    const struct {
        const char *what;
        A victim, impostor;
        bool reset;
    } rows[] = {
        {"another serial for the MAC", A::Mute, A::OtherSerial, false},
        {"another MAC for the serial", A::Mute, A::OtherMac, true},
        {"the device's identity, another key", A::Mute, A::TheirIdentity, false},
        {"an uncertified device, first use not allowed", A::Uncertified, A::TheirIdentity, true},
    };
    int n = 0;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        FakeDevice victim("victim" + std::to_string(n), row.victim);
        FakeDevice impostor("impostor" + std::to_string(n++), row.impostor);
        impostor.m_victimSerial = victim.serial();
        impostor.m_victimMac = *address::parseMac(victim.mac());
        hear(victim);
        hear(impostor);
        const VEXA_NET_PARAM p = netParam("10.9.8.7", "255.255.255.0");
        if (row.reset)
            EXPECT_EQ(VEXA_ResetDefaultPasswd(victim.serial().c_str(), "20240517P2POEX2VG6DBV4N5CZBO"), 0);
        else
            EXPECT_EQ(VEXA_ModifyDeviceNetParam(victim.mac().c_str(), "secret", &p), 0);
        EXPECT_FALSE(impostor.lastModify()) << "the password opened for the impostor";
        EXPECT_FALSE(impostor.lastReset());
        EXPECT_EQ(VEXA_Stop(), 1);
    }
}

// Trust on first use, switched on explicitly (ctest runs this case once more
// with VEXA_TRUST_UNCERTIFIED=1): an uncertified device can be changed, but
// an identity made from a known MAC or serial is never pinned.
TEST_F(Library, FirstUseFallbackNeverRepinsAKnownIdentity)
{
    const char *fallback = std::getenv("VEXA_TRUST_UNCERTIFIED");
    if (!fallback || std::string(fallback) != "1")
        GTEST_SKIP() << "needs VEXA_TRUST_UNCERTIFIED=1";
    FakeDevice old("old", FakeDevice::Answer::Uncertified);
    hear(old);
    const VEXA_NET_PARAM p = netParam("10.9.8.7", "255.255.255.0");
    ASSERT_EQ(VEXA_ModifyDeviceNetParam(old.mac().c_str(), "secret", &p), 1);

    FakeDevice mute("mute", FakeDevice::Answer::Mute);
    FakeDevice impostor("impostor", FakeDevice::Answer::OtherSerial);
    hear(mute);
    EXPECT_EQ(VEXA_ModifyDeviceNetParam(mute.mac().c_str(), "secret", &p), 0);
    EXPECT_FALSE(impostor.lastModify()) << "another serial for a known MAC was pinned";
}

// 150 000 made-up identities from ten addresses, more than the table holds:
// a real device that answers our inquiry afterwards is still reported.
// A release trusts the manufacturers in its trust directories only. With the
// owner's manufacturer alone there, a clone of a device made with the demo
// manufacturer's published seed gets neither password nor security code,
// however late it announces; the device itself gets both.
TEST_F(Library, DemoCertifiedCloneGetsNothingWithoutTheDemoAnchor)
{
    const char *dir = std::getenv("VEXA_TRUST_DIR");
    if (!dir || !*dir)
        GTEST_SKIP() << "runs as tst_vexa_own_trust, in a process whose trust directory is its own";
    // Written before the library's first start, which reads the anchors once
    // (the same key each time, so that --gtest_repeat finds it still trusted).
    std::array<uint8_t, 32> seed;
    seed.fill(0x5a);
    const auto owner = crypto::manufacturerKeyFromSeed(seed);
    const auto ownerPublic = crypto::manufacturerPublicKey(owner);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::ofstream(std::string(dir) + "/owner.pub") << "# the owner's manufacturer\n"
                                                    << hexText(ownerPublic) << "\n";
    FakeDevice genuine("genuine", FakeDevice::Answer::Honest, &owner);
    FakeDevice clone("clone");
    clone.takeIdentityOf(genuine, demoManufacturer());
    FakeDevice later("later");
    hear(genuine);
    clone.announce(wire::AnnounceReason::Boot);
    hear(later); // one receive thread, in order: the clone was heard before it

    const VEXA_NET_PARAM p = netParam("10.9.8.7", "255.255.255.0");
    EXPECT_EQ(VEXA_ModifyDeviceNetParam(genuine.mac().c_str(), "secret", &p), 1);
    EXPECT_EQ(VEXA_ResetDefaultPasswd(genuine.serial().c_str(), "20240517P2POEX2VG6DBV4N5CZBO"), 1);
    EXPECT_FALSE(clone.lastModify()) << "the password opened for the demo-certified clone";
    EXPECT_FALSE(clone.lastReset()) << "the security code opened for the demo-certified clone";
    EXPECT_TRUE(genuine.lastModify());
    EXPECT_TRUE(genuine.lastReset());
    // The demo-certified device on its own is listed but gets no request either.
    EXPECT_EQ(VEXA_ModifyDeviceNetParam(later.mac().c_str(), "secret", &p), 0);
    EXPECT_FALSE(later.lastModify());
}

TEST_F(Library, FloodOfFakeIdentitiesLeavesARealDeviceReported)
{
    start();
    floodIdentities(wire::AnnounceReason::Boot, {});

    // The library works through the flood's backlog first; the device answers every inquiry.
    FakeDevice device("real");
    std::optional<VEXA_DEVICE_REPORT> r;
    for (int tries = 0; tries < 30 && !r; ++tries) {
        ASSERT_EQ(VEXA_SendInquiry(), 1);
        r = m_reports.nextFor(device.serial());
    }
    ASSERT_TRUE(r);
    EXPECT_EQ(r->eventCode, VEXA_EVENT_ONLINE);
}

// Revision 5: what a certified device is listed with (addresses, port, name,
// confirmation window) changes only with its own signature, and never back to
// an older state. Captured announcements altered and sent from elsewhere
// change nothing; the device's own change is reported.
TEST_F(Library, ASignedDeviceIsListedOnlyAsItsSignatureSays)
{
    start();
    FakeDevice device("signed", FakeDevice::Answer::Signing);
    device.announce(wire::AnnounceReason::Boot);
    auto r = m_reports.nextFor(device.serial());
    ASSERT_TRUE(r);
    ASSERT_TRUE(certified(device));
    const wire::Bytes original = device.lastAnnouncement();
    const ForgedSender attacker(0x7F0000FE);
    const struct {
        const char *what;
        std::function<void(wire::Announce &)> change;
    } forgeries[] = {
        {"address", [](wire::Announce &a) { a.info.ipv4Addr = {10, 66, 6, 6}; }},
        {"port", [](wire::Announce &a) { a.info.port = 6666; }},
        {"name", [](wire::Announce &a) { a.info.typeName = "EVIL"; }},
        {"window", [](wire::Announce &a) { a.info.confirmWindowS = 20; }},
        {"heartbeat", [](wire::Announce &a) { a.heartbeatS = 65535; }},
        {"counter", [](wire::Announce &a) { a.signature->counter += 1000; }},
        {"unsigned", [](wire::Announce &a) { a.signature.reset(); a.info.port = 6666; }},
        {"older revision", [](wire::Announce &a) { a.signature.reset(); a.info.deviceCertificate.reset(); a.info.port = 6666; }},
    };
    for (const auto &f : forgeries) {
        auto a = std::get<wire::Announce>(*wire::decode(original));
        f.change(a);
        attacker.send(wire::encode(a));
    }
    device.setPort(8001);
    device.announce(wire::AnnounceReason::Changed);
    r = m_reports.nextFor(device.serial());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->eventCode, VEXA_EVENT_UPDATE);
    EXPECT_EQ(r->port, 8001) << "a forgery was listed";
    EXPECT_STREQ(r->ipv4Addr, "10.1.2.3");
    EXPECT_STREQ(r->typeName, "IPC");
    // The device's older announcement, replayed: the listing stays.
    attacker.send(original);
    device.announce(wire::AnnounceReason::Heartbeat);
    EXPECT_FALSE(m_reports.next(1500ms));
}

// The confirmation window changes the request exchange: only a signed one counts.
TEST_F(Library, OnlyASignedConfirmationWindowChangesTheRequest)
{
    start();
    const struct {
        const char *what;
        FakeDevice::Answer kind;
        uint16_t signedWindow;
        std::optional<uint16_t> forgedWindow; // what a copy sent from elsewhere says
        bool confirm;
    } rows[] = {
        {"added to a device without one", FakeDevice::Answer::Signing, 0, 20, false},
        {"stripped from a device with one", FakeDevice::Answer::Signing, 20, 0, true},
        {"signed", FakeDevice::Answer::Signing, 20, std::nullopt, true},
        {"unsigned, older revision", FakeDevice::Answer::Honest, 20, std::nullopt, false},
    };
    const ForgedSender attacker(0x7F0000FD);
    for (const auto &row : rows) {
        FakeDevice device(std::string("window ") + row.what, row.kind);
        device.setConfirmWindow(row.signedWindow);
        device.announce(wire::AnnounceReason::Boot);
        ASSERT_TRUE(m_reports.nextFor(device.serial())) << row.what;
        ASSERT_TRUE(certified(device)) << row.what;
        if (row.forgedWindow) {
            auto a = std::get<wire::Announce>(*wire::decode(device.lastAnnouncement()));
            a.info.confirmWindowS = *row.forgedWindow;
            attacker.send(wire::encode(a));
            std::this_thread::sleep_for(300ms);
        }
        const VEXA_NET_PARAM p = netParam("10.9.8.7", "255.255.255.0");
        VEXA_ModifyDeviceNetParam(device.mac().c_str(), "secret", &p);
        const auto body = device.lastModify();
        ASSERT_TRUE(body) << row.what;
        EXPECT_EQ(body->confirm, row.confirm) << row.what;
        // Only a signing device takes the revision 5 body.
        EXPECT_EQ(body->requester.has_value(), row.kind == FakeDevice::Answer::Signing) << row.what;
    }
}

// Answers to our inquiry from 150 000 made-up identities fill the table; a real
// device that answers a later inquiry takes the place of one long silent.
TEST_F(Library, FloodOfAnswersToOurInquiryLeavesALateDeviceReported)
{
    start();
    FakeDevice listener("listener", FakeDevice::Answer::Mute);
    ASSERT_EQ(VEXA_SendInquiry(), 1);
    std::optional<wire::ToolId> toolId;
    for (int tries = 0; tries < 50 && !toolId; ++tries) {
        std::this_thread::sleep_for(20ms);
        toolId = listener.toolId();
    }
    ASSERT_TRUE(toolId);
    floodIdentities(wire::AnnounceReason::InquiryAnswer, *toolId);
    std::this_thread::sleep_for(6s); // the flood's identities fall silent
    FakeDevice device("late", FakeDevice::Answer::Uncertified);
    std::optional<VEXA_DEVICE_REPORT> r;
    for (int tries = 0; tries < 10 && !r; ++tries) {
        ASSERT_EQ(VEXA_SendInquiry(), 1);
        r = m_reports.nextFor(device.serial());
    }
    ASSERT_TRUE(r);
    EXPECT_EQ(r->eventCode, VEXA_EVENT_ONLINE);
}

#if !defined(__SANITIZE_THREAD__)
// Bogus certificates (canonical S: each forces the full check) from many
// forged addresses: a genuine device booting meanwhile is reported, its check
// queued with theirs. (Left out under ThreadSanitizer, whose
// receive thread alone cannot keep up with the flood.)
TEST_F(Library, BogusCertificatesDoNotHoldBackAGenuineDevice)
{
    start();
    std::vector<std::unique_ptr<ForgedSender>> senders;
    for (uint32_t s = 0; s < 100; ++s)
        senders.push_back(std::make_unique<ForgedSender>(0x7F010000 + s));
    wire::Announce bogus{wire::AnnounceReason::Boot, 30, {}, crypto::generateKeyPair().publicKey, {}};
    for (int i = 0; i < 20'000; ++i) {
        bogus.info.serial = "BOGUS-" + std::to_string(i);
        bogus.info.mac = {0x02, 0xB0, uint8_t(i >> 16), uint8_t(i >> 8), uint8_t(i), 0};
        auto &certificate = bogus.info.certificate.emplace();
        crypto::randomBytes(certificate);
        certificate[63] &= 0x0F; // S below the group order: the check runs in full
        senders[size_t(i) % senders.size()]->send(wire::encode(bogus));
    }
    // Listed at once and certified behind the flood; how soon is the
    // benchmark's figure (vexa-bench-discovery --flood), not this test's.
    FakeDevice device("genuine", FakeDevice::Answer::Signing);
    device.announce(wire::AnnounceReason::Boot);
    const auto r = m_reports.nextFor(device.serial());
    ASSERT_TRUE(r);
    EXPECT_TRUE(certified(device));
}
#endif

TEST_F(Library, PinnedKeyRefusesAnotherKey)
{
    start();
    FakeDevice device("pinned", FakeDevice::Answer::OtherKey);
    hear(device); // pins the certified key
    const VEXA_NET_PARAM p = netParam("10.9.8.7", "255.255.255.0");
    EXPECT_EQ(VEXA_ModifyDeviceNetParam(device.mac().c_str(), "secret", &p), 0);
    EXPECT_FALSE(device.lastModify());
}

TEST_F(Library, InvalidArgumentsFailWithoutSending)
{
    const std::string mac = "02:00:00:00:00:01";
    const VEXA_NET_PARAM good = netParam("10.9.8.7", "255.255.255.0");
    EXPECT_EQ(VEXA_ModifyDeviceNetParam(nullptr, "pw", &good), 0);
    EXPECT_EQ(VEXA_ModifyDeviceNetParam(mac.c_str(), nullptr, &good), 0);
    EXPECT_EQ(VEXA_ModifyDeviceNetParam(mac.c_str(), "pw", nullptr), 0);
    EXPECT_EQ(VEXA_ModifyDeviceNetParam("02:00:00:00:00", "pw", &good), 0);
    EXPECT_EQ(VEXA_ModifyDeviceNetParam("02:00:00:00:00:0g", "pw", &good), 0);
    const VEXA_NET_PARAM badAddr = netParam("10.9.8", "255.255.255.0");
    EXPECT_EQ(VEXA_ModifyDeviceNetParam(mac.c_str(), "pw", &badAddr), 0);
    VEXA_NET_PARAM unterminated = good;
    std::memset(unterminated.ipv4Gateway, '1', sizeof unterminated.ipv4Gateway);
    EXPECT_EQ(VEXA_ModifyDeviceNetParam(mac.c_str(), "pw", &unterminated), 0);
    EXPECT_EQ(VEXA_ModifyDeviceNetParam(mac.c_str(), std::string(65, 'p').c_str(), &good), 0);

    EXPECT_EQ(VEXA_UpdateIpV20(mac.c_str(), "10.0.0.1", "255.0.0.0", "pw", "8000", "", 1, 0, 0, 0), 0);
    EXPECT_EQ(VEXA_UpdateIpV20(mac.c_str(), "10.0.0.1", "255.0.0.0", "pw", "8000", "", 0, 0, 0, 1), 0);
    EXPECT_EQ(VEXA_UpdateIpV20(mac.c_str(), "10.0.0.1", "255.0.0.0", "pw", "80x", "", 0, 0, 0, 0), 0);
    EXPECT_EQ(VEXA_UpdateIpV20(mac.c_str(), "10.0.0.1", "255.0.0.0", "pw", "65536", "", 0, 0, 0, 0), 0);
    EXPECT_EQ(VEXA_UpdateIpV20(mac.c_str(), nullptr, "255.0.0.0", "pw", "8000", "", 0, 0, 0, 0), 0);

    EXPECT_EQ(VEXA_ResetDefaultPasswd(nullptr, "code"), 0);
    EXPECT_EQ(VEXA_ResetDefaultPasswd("SN", nullptr), 0);
    EXPECT_EQ(VEXA_ResetDefaultPasswd("", "code"), 0);
    EXPECT_EQ(VEXA_ResetDefaultPasswd(std::string(48, 'S').c_str(), "code"), 0);
    EXPECT_EQ(VEXA_ResetDefaultPasswd("SN", std::string(33, 'c').c_str()), 0);
}

} // namespace
