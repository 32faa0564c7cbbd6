#include "onvifsim.h"

#include <packetdriver.h>
#include <wsdiscovery.h>

#include <sodium.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace devsim {

namespace {

// The standard's APP_MAX_DELAY: each device answers a probe after a random
// delay up to this, so a thousand answers do not arrive at once.
constexpr int kMaxDelayMs = 500;
constexpr int kPollMs = 50;
// Answers waiting at once: one probe of every tool in reach, bounded so a
// flood of probes cannot grow the queue without end.
constexpr size_t kMaxPendingAnswers = 1 << 16;

std::string percentEncoded(std::string_view text)
{
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.')
            out += char(c);
        else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

} // namespace

OnvifSimulator::OnvifSimulator(std::vector<DeviceEntry> devices, uint64_t seed) : m_random(seed * 2654435761u + 1)
{
    for (DeviceEntry &entry : devices) {
        Device d;
        d.endpoint = endpointOf(entry.info);
        d.entry = std::move(entry);
        m_devices.push_back(std::move(d));
    }
}

OnvifSimulator::~OnvifSimulator()
{
    shutdown();
}

std::string OnvifSimulator::endpointOf(const DeviceInfo &info)
{
    unsigned char h[16];
    crypto_generichash(h, sizeof h, reinterpret_cast<const unsigned char *>(info.serialNo.data()),
                       info.serialNo.size(), nullptr, 0);
    h[6] = uint8_t((h[6] & 0x0f) | 0x50); // name-based
    h[8] = uint8_t((h[8] & 0x3f) | 0x80);
    char s[46];
    std::snprintf(s, sizeof s, "urn:uuid:%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", h[0],
                  h[1], h[2], h[3], h[4], h[5], h[6], h[7], h[8], h[9], h[10], h[11], h[12], h[13], h[14], h[15]);
    return s;
}

std::string OnvifSimulator::xaddrOf(const DeviceInfo &info)
{
    return "http://" + info.ipv4Addr + ":" + std::to_string(info.httpPort) + "/onvif/device_service";
}

vexa::wsd::Target OnvifSimulator::target(const Device &device)
{
    vexa::wsd::Target t;
    t.endpoint = device.endpoint;
    t.types = {std::string(vexa::wsd::kTypeDevice), std::string(vexa::wsd::kTypeTransmitter)};
    t.scopes = {"onvif://www.onvif.org/type/video_encoder",
                "onvif://www.onvif.org/hardware/" + percentEncoded(device.entry.info.typeName),
                "onvif://www.onvif.org/name/" + percentEncoded(device.entry.info.serialNo)};
    t.xaddrs = {xaddrOf(device.entry.info)};
    t.metadataVersion = device.metadataVersion;
    return t;
}

bool OnvifSimulator::start(const PKT_Driver *driver, bool bootAnnounce, std::string &error)
{
    if (m_devices.empty())
        return true;
    m_driver = driver;
    const uint32_t group = htonl(vexa::wsd::kGroup);
    if (const int rc = driver->open(vexa::wsd::kPort, &group, 1, 1 << 20, &m_socket); rc < 0) {
        error = std::string("cannot open the WS-Discovery socket: ") + std::strerror(-rc);
        return false;
    }
    // Probe matches go back to the prober's own address and port.
    m_unicast = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_unicast < 0) {
        error = std::string("cannot open the answer socket: ") + std::strerror(errno);
        return false;
    }
    if (bootAnnounce) {
        for (const Device &d : m_devices)
            multicast(vexa::wsd::encode(vexa::wsd::Hello{vexa::wsd::newUuidUrn(), target(d)}));
    }
    m_thread = std::thread([this] { run(); });
    return true;
}

void OnvifSimulator::shutdown()
{
    if (!m_thread.joinable())
        return;
    m_stop = true;
    m_driver->wake(m_socket);
    m_thread.join();
    for (const Device &d : m_devices)
        multicast(vexa::wsd::encode(vexa::wsd::Bye{vexa::wsd::newUuidUrn(), d.endpoint}));
    m_driver->close(m_socket);
    ::close(m_unicast);
}

void OnvifSimulator::multicast(const std::string &xml)
{
    m_driver->send(m_socket, htonl(vexa::wsd::kGroup), vexa::wsd::kPort, xml.data(), xml.size(), 0);
}

void OnvifSimulator::run()
{
    std::vector<uint8_t> buffer(vexa::wsd::kMaxMessage + 1);
    while (!m_stop) {
        int timeoutMs = kPollMs;
        if (!m_answers.empty()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(m_answers.top().due - Clock::now());
            timeoutMs = int(std::clamp<int64_t>(wait.count(), 0, kPollMs));
        }
        PKT_RecvInfo info{};
        const int n = m_driver->receive(m_socket, buffer.data(), buffer.size(), timeoutMs, &info);
        if (n >= 0 && size_t(n) <= vexa::wsd::kMaxMessage)
            receive(std::string_view(reinterpret_cast<const char *>(buffer.data()), size_t(n)), info.sourceAddr,
                    info.sourcePort, Clock::now());
        answerDue(Clock::now());
    }
}

void OnvifSimulator::receive(std::string_view xml, uint32_t addr, uint16_t port, Clock::time_point now)
{
    const auto message = vexa::wsd::parse(xml);
    const auto *probe = message ? std::get_if<vexa::wsd::Probe>(&*message) : nullptr;
    if (!probe || port == 0)
        return;
    const std::vector<std::string> types = {std::string(vexa::wsd::kTypeDevice),
                                            std::string(vexa::wsd::kTypeTransmitter)};
    if (!vexa::wsd::typesMatch(probe->types, types))
        return;
    for (size_t i = 0; i < m_devices.size() && m_answers.size() < kMaxPendingAnswers; ++i) {
        m_random = m_random * 6364136223846793005u + 1442695040888963407u;
        const auto delay = std::chrono::milliseconds((m_random >> 33) % kMaxDelayMs);
        m_answers.push(Answer{now + delay, i, addr, port, probe->messageId});
    }
}

void OnvifSimulator::answerDue(Clock::time_point now)
{
    while (!m_answers.empty() && m_answers.top().due <= now) {
        const Answer a = m_answers.top();
        m_answers.pop();
        const Device &d = m_devices[a.device];
        const vexa::wsd::ProbeMatches matches{vexa::wsd::newUuidUrn(), a.relatesTo, {target(d)}};
        const std::string xml = vexa::wsd::encode(matches);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = a.addr;
        to.sin_port = htons(a.port);
        ::sendto(m_unicast, xml.data(), xml.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    }
}

size_t OnvifSimulator::onlyOnvifCount() const
{
    return size_t(std::count_if(m_devices.begin(), m_devices.end(),
                                [](const Device &d) { return d.entry.protocols == Protocols::Onvif; }));
}

void makeOnvifDevices(std::vector<DeviceEntry> &devices, size_t count)
{
    for (size_t i = 0; i < count && i < devices.size(); ++i) {
        DeviceEntry &e = devices[i];
        e.protocols = Protocols::Onvif;
        // Reachable over HTTP on any host: 127.100.0.0 onwards, one address each.
        e.info.ipv4Addr = "127." + std::to_string(100 + (i >> 16)) + "." + std::to_string((i >> 8) & 0xff) + "."
            + std::to_string(i & 0xff);
        e.info.ipv4Mask = "255.0.0.0";
        e.info.ipv4Gateway.clear();
        e.info.httpPort = 8080;
    }
}

std::vector<DeviceEntry> splitOnvifDevices(std::vector<DeviceEntry> &devices)
{
    std::vector<DeviceEntry> onvif;
    for (const DeviceEntry &e : devices) {
        if (e.protocols != Protocols::Vxdp)
            onvif.push_back(e);
    }
    std::erase_if(devices, [](const DeviceEntry &e) { return e.protocols == Protocols::Onvif; });
    return onvif;
}

} // namespace devsim
