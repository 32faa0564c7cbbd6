#include "onvifdiscovery.h"

#include "address.h"
#include "packetdriver.h"
#include "packetsocket.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace vexa {

namespace {

using namespace std::chrono_literals;

constexpr int kPollMs = 250;
// Devices answer within their random delay (at most 500 ms by the standard);
// the kernel accounts a 1.5 KiB datagram at about 4 KiB.
constexpr int kReceiveBuffer = 4096 * 4096;
// ONVIF devices send no heartbeat: the library probes again every minute and
// a device that answered none of the last two and a half minutes is offline.
constexpr auto kReprobe = 60s;
constexpr auto kSilenceLimit = 150s;
// Bounds the table against a flood of made-up endpoints.
constexpr size_t kMaxDevices = 1 << 16;

template<size_t N>
void copyText(char (&field)[N], std::string_view text)
{
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

} // namespace

std::unique_ptr<OnvifDiscovery> OnvifDiscovery::start(const PKT_Driver *driver, Hooks hooks)
{
    auto answers = PacketSocket::open(driver, 0, kReceiveBuffer, 0);
    auto announcements = PacketSocket::open(driver, wsd::kGroup, 1 << 20, wsd::kPort);
    if (!answers || !announcements)
        return nullptr;
    std::unique_ptr<OnvifDiscovery> d(new OnvifDiscovery(std::move(answers), std::move(announcements), std::move(hooks)));
    d->m_answerThread = std::thread([raw = d.get()] { raw->listen(*raw->m_answers, true); });
    d->m_announceThread = std::thread([raw = d.get()] { raw->listen(*raw->m_announcements, false); });
    return d;
}

OnvifDiscovery::OnvifDiscovery(std::unique_ptr<PacketSocket> answers, std::unique_ptr<PacketSocket> announcements,
                               Hooks hooks)
    : m_answers(std::move(answers)), m_announcements(std::move(announcements)), m_hooks(std::move(hooks)),
      m_lastProbe(Clock::now())
{
}

OnvifDiscovery::~OnvifDiscovery()
{
    m_stop = true;
    m_answers->wake();
    m_announcements->wake();
    if (m_answerThread.joinable())
        m_answerThread.join();
    if (m_announceThread.joinable())
        m_announceThread.join();
}

bool OnvifDiscovery::sendProbe()
{
    std::lock_guard lock(m_probeMutex);
    m_probeId = wsd::newUuidUrn();
    m_lastProbe = Clock::now();
    const std::string xml = wsd::encode(
        wsd::Probe{m_probeId, {std::string(wsd::kTypeDevice), std::string(wsd::kTypeTransmitter)}});
    const auto bytes = [](const std::string &s) {
        return std::span(reinterpret_cast<const uint8_t *>(s.data()), s.size());
    };
    return m_answers->send(wsd::kGroup, bytes(xml), wsd::kPort);
}

void OnvifDiscovery::listen(PacketSocket &socket, bool keepsTime)
{
    if (m_hooks.enterThread)
        m_hooks.enterThread();
    std::vector<uint8_t> buffer(wsd::kMaxMessage + 1);
    Clock::time_point lastExpiry = Clock::now();
    while (!m_stop) {
        PKT_RecvInfo info{};
        const int n = socket.receive(buffer, kPollMs, info);
        const Clock::time_point now = Clock::now();
        // Oversized datagrams come back as -EMSGSIZE or fill the spare byte: dropped.
        if (n >= 0 && size_t(n) <= wsd::kMaxMessage)
            handle(std::string_view(reinterpret_cast<const char *>(buffer.data()), size_t(n)), info.sourceAddr, now);
        if (keepsTime && now - lastExpiry >= 1s) {
            lastExpiry = now;
            bool reprobe;
            {
                std::lock_guard lock(m_probeMutex);
                reprobe = !m_probeId.empty() && now - m_lastProbe >= kReprobe;
            }
            if (reprobe)
                sendProbe();
            expireSilent(now);
        }
    }
}

void OnvifDiscovery::handle(std::string_view xml, uint32_t sourceAddr, Clock::time_point now)
{
    const auto message = wsd::parse(xml);
    if (!message)
        return;
    if (const auto *matches = std::get_if<wsd::ProbeMatches>(&*message)) {
        {
            std::lock_guard lock(m_probeMutex);
            if (m_probeId.empty() || matches->relatesTo != m_probeId)
                return; // not an answer to our latest probe
        }
        for (const wsd::Target &target : matches->matches)
            heard(target, sourceAddr, true, now);
    } else if (const auto *hello = std::get_if<wsd::Hello>(&*message)) {
        heard(hello->target, sourceAddr, false, now);
    } else if (const auto *bye = std::get_if<wsd::Bye>(&*message)) {
        gone(bye->endpoint);
    }
}

bool OnvifDiscovery::fillReport(const wsd::Target &target, uint32_t sourceAddr, VEXA_DEVICE_REPORT &r)
{
    if (!wsd::typesMatch({std::string(wsd::kTypeTransmitter)}, target.types)
        && !wsd::typesMatch({std::string(wsd::kTypeDevice)}, target.types))
        return false;
    // The first plain IPv4 transport address is the device's address.
    std::optional<wsd::HttpAddress> http;
    std::optional<wire::Ipv4> ipv4;
    for (const std::string &xaddr : target.xaddrs) {
        http = wsd::httpAddress(xaddr);
        ipv4 = http ? address::parseIpv4(http->host) : std::nullopt;
        if (ipv4)
            break;
    }
    if (!ipv4)
        return false;
    r = VEXA_DEVICE_REPORT{};
    copyText(r.protocol, kProtocol);
    copyText(r.serialNo, target.endpoint);
    copyText(r.ipv4Addr, address::formatIpv4(*ipv4));
    r.typeCode = kTypeCode;
    r.port = http->port;
    r.extraValue = http->port;
    const auto hardware = wsd::scopeValue(target.scopes, "hardware");
    const auto name = wsd::scopeValue(target.scopes, "name");
    copyText(r.typeName, hardware ? *hardware : name ? *name : std::string(kProtocol));
    copyText(r.sourceAddr, address::formatIpv4(address::fromNetworkOrder(sourceAddr)));
    return true;
}

void OnvifDiscovery::heard(const wsd::Target &target, uint32_t sourceAddr, bool solicited, Clock::time_point now)
{
    VEXA_DEVICE_REPORT fresh;
    if (!fillReport(target, sourceAddr, fresh))
        return;
    std::lock_guard gate(m_hooks.gate);
    auto it = m_devices.find(target.endpoint);
    if (it == m_devices.end()) {
        if (m_devices.size() >= kMaxDevices)
            return;
        it = m_devices.emplace(target.endpoint, Device{}).first;
    }
    Device &device = it->second;
    // An older announcement arriving late must not undo a newer one.
    if (device.online && target.metadataVersion < device.metadataVersion)
        return;
    const bool changed = std::memcmp(&device.report, &fresh, sizeof fresh) != 0;
    device.report = fresh;
    device.ipv4 = address::toHostOrder(*address::parseIpv4(fresh.ipv4Addr));
    device.metadataVersion = target.metadataVersion;
    device.lastHeard = now;
    device.online = true;
    if (m_hooks.heldByVxdp(device.ipv4)) {
        // The same device, already listed by its VXDP record.
        if (device.listed)
            report(device, VEXA_EVENT_OFFLINE);
        device.listed = false;
        return;
    }
    if (!device.listed) {
        device.listed = true;
        report(device, solicited ? VEXA_EVENT_ONLINE : VEXA_EVENT_ANNOUNCE);
    } else if (changed) {
        report(device, VEXA_EVENT_UPDATE);
    }
}

void OnvifDiscovery::gone(const std::string &endpoint)
{
    std::lock_guard gate(m_hooks.gate);
    auto it = m_devices.find(endpoint);
    if (it == m_devices.end() || !it->second.online)
        return;
    it->second.online = false;
    if (it->second.listed) {
        it->second.listed = false;
        report(it->second, VEXA_EVENT_OFFLINE);
    }
}

void OnvifDiscovery::yieldAddress(uint32_t ipv4)
{
    for (auto &[endpoint, device] : m_devices) {
        if (device.listed && device.ipv4 == ipv4) {
            device.listed = false;
            report(device, VEXA_EVENT_OFFLINE);
        }
    }
}

void OnvifDiscovery::expireSilent(Clock::time_point now)
{
    std::lock_guard gate(m_hooks.gate);
    for (auto &[endpoint, device] : m_devices) {
        if (device.online && now - device.lastHeard > kSilenceLimit) {
            device.online = false;
            if (device.listed) {
                device.listed = false;
                report(device, VEXA_EVENT_OFFLINE);
            }
        }
    }
}

void OnvifDiscovery::report(Device &device, int eventCode)
{
    device.report.eventCode = eventCode;
    m_hooks.deliver(device.report);
}

} // namespace vexa
