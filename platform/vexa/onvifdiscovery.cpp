#include "onvifdiscovery.h"

#include "address.h"
#include "neighbourtable.h"
#include "packetdriver.h"
#include "packetsocket.h"
#include "reporttext.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>
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
// Details are read by a few threads at once: a thousand devices in a few seconds.
constexpr size_t kReaders = 16;

// The devices listed, for the whole process; its mutex is taken under a gate, never the other way round.
struct Index {
    std::mutex mutex;
    std::unordered_map<std::string, OnvifDiscovery::Listed> byMac;
    std::unordered_map<std::string, std::string> serialOf; // endpoint -> serial
};

Index &index()
{
    static Index i;
    return i;
}

// Real devices mostly refuse their details to anyone without the password,
// MAC included, yet the page and Modify find a device by its MAC. The HTTP
// exchange just had with the device made the kernel resolve its address:
// the neighbour entry names the device (multicast discovery keeps it on the
// link), and its answer proves that entry reaches it.
std::string linkMacOf(const std::string &xaddr)
{
    const auto http = wsd::httpAddress(xaddr);
    const auto ipv4 = http ? address::parseIpv4(http->host) : std::nullopt;
    const auto mac = ipv4 ? neighbourtable::macOf(*ipv4) : std::nullopt;
    return mac ? address::formatMac(*mac) : std::string();
}

} // namespace

std::unique_ptr<OnvifDiscovery> OnvifDiscovery::start(const PKT_Driver *driver, Hooks hooks)
{
    auto answers = PacketSocket::open(driver, 0, kReceiveBuffer, 0);
    auto announcements = PacketSocket::open(driver, wsd::kGroup, 1 << 20, wsd::kPort);
    if (!answers || !announcements)
        return nullptr;
    std::unique_ptr<OnvifDiscovery> d(new OnvifDiscovery(std::move(answers), std::move(announcements), std::move(hooks)));
    for (size_t i = 0; i < kReaders; ++i)
        d->m_workers.emplace_back([raw = d.get()] { raw->work(); });
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
    {
        std::lock_guard lock(m_jobMutex);
        m_jobReady.notify_all();
    }
    for (std::thread &worker : m_workers)
        worker.join();
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
                // Also before the first inquiry: devices heard by their Hello stay listed only if they answer.
                std::lock_guard lock(m_probeMutex);
                reprobe = now - m_lastProbe >= kReprobe;
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

void OnvifDiscovery::addDetails(const onvif::Details &d, VEXA_DEVICE_REPORT &r)
{
    if (!d.serial.empty())
        copyText(r.serialNo, d.serial);
    if (const auto mac = address::parseMac(d.mac))
        copyText(r.macAddr, address::formatMac(*mac));
    if (!d.model.empty())
        copyText(r.typeName, d.model);
    copyText(r.softwareVersion, d.firmware);
    if (d.httpPort != 0)
        r.extraValue = d.httpPort;
    if (d.interfaceToken.empty())
        return;
    // The interface was read: mask, gateway, DHCP and IPv6 are meaningful (IPv6 is shown, never set).
    copyText(r.ipv4Mask, d.ipv4Mask);
    copyText(r.ipv4Gateway, d.ipv4Gateway);
    if (const auto addr6 = address::parseIpv6(d.ipv6Addr)) {
        copyText(r.ipv6Addr, address::formatIpv6(*addr6));
        r.ipv6PrefixLen = d.ipv6PrefixLen;
        r.capabilities = 1;
    }
    r.dhcpOn = d.dhcp ? 1 : 0;
    r.extInfo = 1;
}

void OnvifDiscovery::heard(const wsd::Target &target, uint32_t sourceAddr, bool solicited, Clock::time_point now)
{
    VEXA_DEVICE_REPORT check;
    if (!fillReport(target, sourceAddr, check))
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
    if (device.online && target.metadataVersion < device.target.metadataVersion)
        return;
    const bool moved = device.target.xaddrs != target.xaddrs;
    device.target = target;
    device.sourceAddr = sourceAddr;
    device.lastHeard = now;
    device.online = true;
    if (!device.listed) {
        device.solicited = solicited;
        // Listed once its details are read (or refused): the row is born with its identity.
        readDetails(it->first, device);
    } else if (moved) {
        readDetails(it->first, device); // a new address: its settings changed, read them again
    } else {
        compose(device, VEXA_EVENT_UPDATE);
    }
}

void OnvifDiscovery::readDetails(const std::string &endpoint, Device &device)
{
    if (device.reading) {
        device.readAgain = true;
        return;
    }
    std::optional<wsd::HttpAddress> http;
    for (const std::string &xaddr : device.target.xaddrs) {
        if ((http = wsd::httpAddress(xaddr)) && address::parseIpv4(http->host)) {
            device.reading = true;
            std::lock_guard lock(m_jobMutex);
            const auto credentials = m_credentials.find(endpoint);
            m_jobs.push_back(Job{endpoint, xaddr,
                                 credentials == m_credentials.end() ? std::nullopt : std::optional(credentials->second)});
            m_jobReady.notify_one();
            return;
        }
    }
}

void OnvifDiscovery::work()
{
    if (m_hooks.enterThread)
        m_hooks.enterThread();
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_jobMutex);
            m_jobReady.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
            if (m_stop)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        // Never guessed or default passwords: without the user's, only what the device shows anyone.
        onvif::Client client(job.xaddr, job.credentials, &m_stop);
        auto details = client.readDetails();
        const bool macKnown = details && address::parseMac(details->mac);
        detailsRead(job.endpoint, std::move(details),
                    !macKnown && client.answered() ? linkMacOf(job.xaddr) : std::string());
    }
}

void OnvifDiscovery::detailsRead(const std::string &endpoint, std::optional<onvif::Details> details,
                                 std::string linkMac)
{
    std::lock_guard gate(m_hooks.gate);
    const auto it = m_devices.find(endpoint);
    if (it == m_devices.end())
        return;
    Device &device = it->second;
    device.reading = false;
    if (details)
        device.details = std::move(details);
    if (!linkMac.empty())
        device.linkMac = std::move(linkMac);
    if (device.online)
        compose(device, device.listed ? VEXA_EVENT_UPDATE : device.solicited ? VEXA_EVENT_ONLINE : VEXA_EVENT_ANNOUNCE);
    if (std::exchange(device.readAgain, false) && device.online)
        readDetails(endpoint, device);
}

// Builds the device's record and reports it: an online event only when it is
// not listed yet, an update only when a field changed.
void OnvifDiscovery::compose(Device &device, int eventCode)
{
    VEXA_DEVICE_REPORT r;
    if (!fillReport(device.target, device.sourceAddr, r))
        return;
    if (device.details)
        addDetails(*device.details, r);
    if (r.macAddr[0] == '\0')
        copyText(r.macAddr, device.linkMac);
    if (device.listed) {
        // The page finds the row by serial number and MAC: they stay as first reported.
        copyText(r.serialNo, device.serial);
        copyText(r.macAddr, device.mac);
    }
    device.ipv4 = address::toHostOrder(*address::parseIpv4(r.ipv4Addr));
    if (m_hooks.heldByVxdp(device.ipv4)) {
        // The same device, already listed by its VXDP record.
        if (device.listed)
            report(device, VEXA_EVENT_OFFLINE);
        device.listed = false;
        return;
    }
    r.eventCode = device.report.eventCode;
    const bool changed = std::memcmp(&device.report, &r, sizeof r) != 0;
    device.report = r;
    if (!device.listed) {
        device.listed = true;
        device.serial = r.serialNo;
        device.mac = r.macAddr;
        report(device, eventCode == VEXA_EVENT_UPDATE ? VEXA_EVENT_ONLINE : eventCode);
    } else if (changed && eventCode == VEXA_EVENT_UPDATE) {
        report(device, VEXA_EVENT_UPDATE);
    }
}

std::optional<OnvifDiscovery::Listed> OnvifDiscovery::listedByMac(const std::string &mac)
{
    Index &i = index();
    std::lock_guard lock(i.mutex);
    const auto it = i.byMac.find(mac);
    return it == i.byMac.end() ? std::nullopt : std::optional(it->second);
}

bool OnvifDiscovery::listsSerial(const std::string &serial)
{
    Index &i = index();
    std::lock_guard lock(i.mutex);
    return std::any_of(i.serialOf.begin(), i.serialOf.end(), [&](const auto &e) { return e.second == serial; });
}

void OnvifDiscovery::actedOn(const Listed &device, const onvif::Credentials &credentials)
{
    std::lock_guard lock(m_jobMutex);
    m_credentials[device.endpoint] = credentials;
    m_jobs.push_back(Job{device.endpoint, device.xaddr, credentials});
    m_jobReady.notify_one();
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
    {
        Index &i = index();
        std::lock_guard lock(i.mutex);
        const std::string &endpoint = device.target.endpoint;
        if (!device.mac.empty())
            i.byMac.erase(device.mac);
        i.serialOf.erase(endpoint);
        if (eventCode != VEXA_EVENT_OFFLINE && i.serialOf.size() < kMaxDevices) {
            for (const std::string &xaddr : device.target.xaddrs) {
                const auto http = wsd::httpAddress(xaddr);
                if (http && address::parseIpv4(http->host) && !device.mac.empty()) {
                    i.byMac[device.mac] = Listed{endpoint, xaddr};
                    break;
                }
            }
            i.serialOf[endpoint] = device.serial;
        }
    }
    m_hooks.deliver(device.report);
}

} // namespace vexa
