#include "onvifdiscovery.h"

#include "address.h"
#include "rangescan.h"
#include <packet/packetdriver.h>
#include <packet/transport.h>
#include "reporttext.h"

#include <net/if.h>

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
// Details are read by a few threads at once: a thousand devices in a few
// seconds. One source's announcements get a few of them and a bounded queue,
// so a flood of Hellos pointing at a stalling server cannot starve the rest.
constexpr size_t kReaders = 16;
constexpr size_t kReadersPerSource = 4;
constexpr size_t kQueuedPerSource = 256;
// A directed probe is answered at once; silent this long, the address is
// taken as empty (as for a VXDP GOODBYE). Each goes out twice against loss.
constexpr auto kCheckWindow = 1500ms;
constexpr int kDirectedCopies = 2;
// One check per device at a time, and at most one every few seconds; the
// claims made meanwhile wait for the next, a few per device, first come: a
// flood of claims costs a few probes, never the device's row.
constexpr auto kCheckGap = 2s;
constexpr size_t kMaxChecks = 1024;
constexpr size_t kMaxClaims = 8;
// A device counts its metadata changes one by one; a bigger jump is no
// device's own and is ignored.
constexpr uint32_t kMaxMetadataJump = 64;
// The neighbour table is read at most this often; the devices waiting share each read.
constexpr auto kNeighbourGap = 50ms;
// A range scan's sender wakes at most this often and sends what its budget allows.
constexpr auto kScanTick = 50ms;
// Reprobe rounds of devices found by range scans whose answers are still taken.
constexpr size_t kRangedRounds = 2;
// "urn:uuid:xxxxxxxx-xxxx-xxxx-xxxx-xxxx" of a fresh UUID, then the address probed as 8 hex digits.
constexpr size_t kRangedPrefix = 37;

// The devices listed, for the whole process, by endpoint; its mutex is taken under a gate, never the other way round.
struct Index {
    struct Entry {
        std::string serial, mac;
        OnvifDiscovery::Listed device;
        uint64_t listedAs = 0; // later listings count higher
        bool live = true;      // listed by the discovery running now
    };
    std::mutex mutex;
    std::unordered_map<std::string, Entry> byEndpoint;
    uint64_t listings = 0;
};

Index &index()
{
    static Index i;
    return i;
}

// The IPv4 address an XAddr names; none when it names no address of that form.
packet::Address hostOf(const std::optional<std::string> &xaddr)
{
    const auto http = xaddr ? wsd::httpAddress(*xaddr) : std::nullopt;
    const auto ipv4 = http ? address::parseIpv4(http->host) : std::nullopt;
    return ipv4 && *ipv4 != wire::Ipv4{} ? packet::Address::v4(*ipv4) : packet::Address();
}

// WS-Discovery's groups of both families (ff02::c: link-local, like the IPv4 one in practice).
constexpr std::array<uint8_t, 16> kWsdGroupV6Bytes{0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0C};
const std::array<packet::Address, 2> kWsdGroups{packet::Address::v4HostOrder(wsd::kGroup),
                                                packet::Address::v6(kWsdGroupV6Bytes)};

std::span<const uint8_t> bytes(const std::string &s)
{
    return std::span(reinterpret_cast<const uint8_t *>(s.data()), s.size());
}

std::string identity(const std::string &serial, const std::string &mac)
{
    return serial + '\n' + mac;
}

std::string rangedId(const std::string &prefix, uint32_t addr)
{
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", addr);
    return prefix + hex;
}

// The address a directed probe of this round went to; none when `id` is not of the round.
std::optional<uint32_t> rangedAddress(const std::string &prefix, const std::string &id)
{
    if (prefix.empty() || id.size() != kRangedPrefix + 8 || id.compare(0, kRangedPrefix, prefix) != 0)
        return std::nullopt;
    uint32_t addr = 0;
    for (const char c : std::string_view(id).substr(kRangedPrefix)) {
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0)
            return std::nullopt;
        addr = addr << 4 | uint32_t(digit);
    }
    return addr;
}

// A device writes its own interface's name as the zone of a link-local XAddr,
// which names nothing, or another interface, on this host: here the zone is
// the interface its message came in on. Unchanged when that is not known.
wsd::Target zonedByArrival(wsd::Target target, const packet::Address &source)
{
    char name[IF_NAMESIZE];
    if (!source.isV6() || source.scope() == 0 || !if_indextoname(source.scope(), name))
        return target;
    for (std::string &xaddr : target.xaddrs) {
        const auto http = wsd::httpAddress(xaddr);
        if (!http || !http->ipv6)
            continue;
        const std::string bare = http->host.substr(0, http->host.find('%'));
        const auto addr = address::parseIpv6(bare);
        if (!addr || (*addr)[0] != 0xFE || ((*addr)[1] & 0xC0) != 0x80) // fe80::/10 alone has zones
            continue;
        const size_t path = xaddr.find('/', xaddr.find(']'));
        xaddr = "http://" + wsd::HttpAddress{bare + "%" + name, http->port, true}.authority()
            + (path == std::string::npos ? std::string("/") : xaddr.substr(path));
    }
    return target;
}

} // namespace

std::unique_ptr<OnvifDiscovery> OnvifDiscovery::start(const PKT_Driver *driver, Hooks hooks)
{
    auto answers = packet::Socket::open(driver, 0, {}, kReceiveBuffer, nullptr, packet::Families::Both);
    if (!answers)
        return nullptr;
    // Another program may hold port 3702 for itself: then devices are found
    // by the probes alone, their Hellos unheard.
    auto announcements = packet::Socket::open(driver, wsd::kPort, kWsdGroups, 1 << 20);
    std::unique_ptr<OnvifDiscovery> d(new OnvifDiscovery(std::move(answers), std::move(announcements), std::move(hooks)));
    for (size_t i = 0; i < kReaders; ++i)
        d->m_workers.emplace_back([raw = d.get()] { raw->work(); });
    d->m_macThread = std::thread([raw = d.get()] { raw->resolveMacs(); });
    d->m_answerThread = std::thread([raw = d.get()] { raw->listen(*raw->m_answers, true); });
    if (d->m_announcements)
        d->m_announceThread = std::thread([raw = d.get()] { raw->listen(*raw->m_announcements, false); });
    return d;
}

OnvifDiscovery::OnvifDiscovery(std::unique_ptr<packet::Socket> answers, std::unique_ptr<packet::Socket> announcements,
                               Hooks hooks)
    : m_answers(std::move(answers)), m_announcements(std::move(announcements)), m_hooks(std::move(hooks)),
      m_lastProbe(Clock::now())
{
}

OnvifDiscovery::~OnvifDiscovery()
{
    m_stop = true;
    {
        std::lock_guard lock(m_scanSleep);
        m_scanWake.notify_all();
    }
    {
        std::lock_guard lock(m_scanMutex);
        if (m_scanThread.joinable())
            m_scanThread.join();
    }
    m_answers->wake();
    if (m_announcements)
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
    {
        std::lock_guard lock(m_macMutex);
        m_macReady.notify_all();
    }
    m_macThread.join();
    // Remembered for requests after the stop, no longer listed.
    Index &i = index();
    std::lock_guard lock(i.mutex);
    for (auto &[endpoint, entry] : i.byEndpoint)
        entry.live = false;
}

bool OnvifDiscovery::sendProbe()
{
    std::lock_guard lock(m_probeMutex);
    m_lastProbe = Clock::now();
    m_probeIds.clear();
    bool sent = false;
    for (const wsd::Type &type : {wsd::kTypeDevice, wsd::kTypeTransmitter}) {
        m_probeIds.push_back(wsd::newUuidUrn());
        sent |= 0 < m_answers->sendAll(kWsdGroups, wsd::kPort, bytes(wsd::encode(wsd::Probe{m_probeIds.back(), {type}})));
    }
    return sent;
}

bool OnvifDiscovery::startScan(std::vector<addressrange::Span> spans, unsigned rate)
{
    std::lock_guard lock(m_scanMutex);
    if (m_scanRunning || m_stop)
        return false;
    if (m_scanThread.joinable())
        m_scanThread.join(); // the last scan's, ended
    RangeScan pace(std::move(spans), rate, Clock::now());
    const std::string prefix = wsd::newUuidUrn().substr(0, kRangedPrefix);
    {
        std::lock_guard probeLock(m_probeMutex);
        m_scanPrefix = prefix;
    }
    m_scanCancel = false;
    m_scanProbed = 0;
    m_scanTotal = pace.total();
    m_scanRunning = true;
    m_scanThread = std::thread([this, pace = std::move(pace), prefix]() mutable { scan(std::move(pace), prefix); });
    return true;
}

OnvifDiscovery::ScanProgress OnvifDiscovery::scanProgress() const
{
    return ScanProgress{m_scanProbed, m_scanTotal, m_scanRunning};
}

void OnvifDiscovery::cancelScan()
{
    std::lock_guard lock(m_scanSleep);
    m_scanCancel = true;
    m_scanWake.notify_all();
}

// Any type, as a directed probe: whatever answers at the address is an ONVIF device or says nothing.
void OnvifDiscovery::scan(RangeScan pace, const std::string &prefix)
{
    if (m_hooks.enterThread)
        m_hooks.enterThread();
    const auto ended = [&] { return m_stop || m_scanCancel; };
    for (;;) {
        const Clock::time_point now = Clock::now();
        for (const uint32_t addr : pace.due(now))
            m_answers->sendTo(packet::Address::v4HostOrder(addr), wsd::kPort,
                              bytes(wsd::encode(wsd::Probe{rangedId(prefix, addr), {}})));
        m_scanProbed = pace.given();
        std::unique_lock lock(m_scanSleep);
        const Clock::time_point wake = pace.finished() ? now + kScanAnswerWait : std::max(pace.nextDue(), now + kScanTick);
        if (m_scanWake.wait_until(lock, wake, ended) || pace.finished())
            break;
    }
    m_scanRunning = false;
}

bool OnvifDiscovery::rangedAnswer(const std::string &relatesTo, const packet::Address &sourceAddr)
{
    std::lock_guard lock(m_probeMutex);
    const auto fromProbed = [&](const std::string &prefix) {
        const auto addr = rangedAddress(prefix, relatesTo);
        // Only the address probed speaks for itself.
        return addr && sourceAddr == packet::Address::v4HostOrder(*addr);
    };
    return fromProbed(m_scanPrefix) || std::any_of(m_rangedPrefixes.begin(), m_rangedPrefixes.end(), fromProbed);
}

// Devices found by range scans hear no multicast Probe: each gets one directed
// probe of its own in every round, or it would fall silent and go offline.
void OnvifDiscovery::reprobeRanged()
{
    std::vector<packet::Address> hosts;
    {
        std::lock_guard gate(m_hooks.gate);
        for (const auto &[endpoint, device] : m_devices) {
            if (device.online && device.ranged && device.sourceAddr.isV4())
                hosts.push_back(device.sourceAddr);
        }
    }
    if (hosts.empty())
        return;
    const std::string prefix = wsd::newUuidUrn().substr(0, kRangedPrefix);
    {
        std::lock_guard lock(m_probeMutex);
        m_rangedPrefixes.push_back(prefix);
        if (m_rangedPrefixes.size() > kRangedRounds)
            m_rangedPrefixes.pop_front();
    }
    for (const packet::Address &host : hosts)
        m_answers->sendTo(host, wsd::kPort, bytes(wsd::encode(wsd::Probe{rangedId(prefix, host.v4HostOrder()), {}})));
}

void OnvifDiscovery::listen(packet::Socket &socket, bool keepsTime)
{
    if (m_hooks.enterThread)
        m_hooks.enterThread();
    std::vector<uint8_t> buffer(wsd::kMaxMessage + 1);
    Clock::time_point lastExpiry = Clock::now();
    while (!m_stop) {
        packet::Received info;
        const int n = socket.receive(buffer, kPollMs, info);
        const Clock::time_point now = Clock::now();
        // Oversized datagrams come back as -EMSGSIZE or fill the spare byte: dropped.
        if (n >= 0 && size_t(n) <= wsd::kMaxMessage)
            handle(std::string_view(reinterpret_cast<const char *>(buffer.data()), size_t(n)), info.source, now);
        if (!keepsTime)
            continue;
        settleChecks(now);
        retryDue(now);
        if (now - lastExpiry >= 1s) {
            lastExpiry = now;
            bool reprobe;
            {
                // Also before the first inquiry: devices heard by their Hello stay listed only if they answer.
                std::lock_guard lock(m_probeMutex);
                reprobe = now - m_lastProbe >= kReprobe;
            }
            if (reprobe) {
                sendProbe();
                reprobeRanged();
            }
            expireSilent(now);
        }
    }
}

void OnvifDiscovery::handle(std::string_view xml, const packet::Address &sourceAddr, Clock::time_point now)
{
    const auto message = wsd::parse(xml);
    if (!message)
        return;
    if (const auto *matches = std::get_if<wsd::ProbeMatches>(&*message)) {
        bool ours;
        {
            std::lock_guard lock(m_probeMutex);
            ours = std::find(m_probeIds.begin(), m_probeIds.end(), matches->relatesTo) != m_probeIds.end();
        }
        if (ours || rangedAnswer(matches->relatesTo, sourceAddr)) {
            for (const wsd::Target &target : matches->matches)
                heard(target, sourceAddr, true, now, !ours);
            return;
        }
        std::lock_guard gate(m_hooks.gate);
        const auto probe = m_directed.find(matches->relatesTo);
        if (probe == m_directed.end())
            return; // not an answer to a probe of ours
        for (const wsd::Target &target : matches->matches) {
            if (target.endpoint == probe->second.endpoint)
                directedAnswer(probe->second, target, sourceAddr);
        }
    } else if (const auto *hello = std::get_if<wsd::Hello>(&*message)) {
        heard(hello->target, sourceAddr, false, now);
    } else if (const auto *bye = std::get_if<wsd::Bye>(&*message)) {
        this->bye(bye->endpoint, now);
    }
}

std::optional<std::string> OnvifDiscovery::deviceXAddr(const wsd::Target &target)
{
    // An IPv4 address first (the page edits those); an IPv6 literal only for a device without one.
    std::optional<std::string> v6;
    for (const std::string &xaddr : target.xaddrs) {
        const auto http = wsd::httpAddress(xaddr);
        if (http && address::parseIpv4(http->host))
            return xaddr;
        if (http && http->ipv6 && !v6)
            v6 = xaddr;
    }
    return v6;
}

bool OnvifDiscovery::fillReport(const wsd::Target &target, const packet::Address &sourceAddr, VEXA_DEVICE_REPORT &r)
{
    const auto xaddr = deviceXAddr(target);
    if (!wsd::isOnvifDevice(target.types) || !xaddr)
        return false;
    const auto http = wsd::httpAddress(*xaddr);
    r = VEXA_DEVICE_REPORT{};
    copyText(r.protocol, kProtocol);
    copyText(r.serialNo, target.endpoint);
    if (http->ipv6)
        copyText(r.ipv6Addr, http->host);
    else
        copyText(r.ipv4Addr, address::formatIpv4(*address::parseIpv4(http->host)));
    r.typeCode = kTypeCode;
    r.port = http->port;
    r.extraValue = http->port;
    const auto hardware = wsd::scopeValue(target.scopes, "hardware");
    const auto name = wsd::scopeValue(target.scopes, "name");
    copyText(r.typeName, hardware ? *hardware : name ? *name : std::string(kProtocol));
    if (sourceAddr.isV4()) // the field's fixed width holds an IPv4 address, not a zoned IPv6 one
        copyText(r.sourceAddr, sourceAddr.toString());
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

void OnvifDiscovery::heard(const wsd::Target &announced, const packet::Address &sourceAddr, bool solicited,
                           Clock::time_point now, bool ranged)
{
    const wsd::Target target = zonedByArrival(announced, sourceAddr);
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
    device.ranged |= ranged;
    if (!device.online) {
        device.target = target;
        device.sourceAddr = sourceAddr;
        device.lastHeard = now;
        device.online = true;
        device.retries = 0;
        if (!device.listed)
            device.solicited = solicited;
        // Listed once its details are read (or refused): the row is born with its identity.
        readDetails(it->first, device);
        return;
    }
    const auto listedAt = deviceXAddr(device.target);
    const auto claimed = deviceXAddr(target);
    if (claimed != listedAt) {
        // Anyone can announce any address for any endpoint: the device moves
        // only once its old address is silent and its new one answers for it.
        const bool known = std::any_of(device.claims.begin(), device.claims.end(),
                                       [&](const wsd::Target &c) { return deviceXAddr(c) == claimed; });
        if (!known && device.claims.size() < kMaxClaims)
            device.claims.push_back(target);
        if (!device.check && now - device.lastCheck >= kCheckGap)
            checkClaims(device, now);
        else if (!known)
            m_claimants.push_back(it->first);
        return;
    }
    device.lastHeard = now;
    const uint32_t version = device.target.metadataVersion;
    if (target.metadataVersion > version && target.metadataVersion - version <= kMaxMetadataJump) {
        device.target = target;
        if (device.listed)
            readDetails(it->first, device); // its settings changed: read them again
    }
}

void OnvifDiscovery::checkClaims(Device &device, Clock::time_point now)
{
    const auto listedAt = deviceXAddr(device.target);
    std::erase_if(device.claims, [&](const wsd::Target &c) { return deviceXAddr(c) == listedAt; });
    if (device.claims.empty() || m_checks >= kMaxChecks)
        return;
    startCheck(device, Check{Check::Kind::Move, hostOf(listedAt), now + kCheckWindow, false, std::exchange(device.claims, {}), std::nullopt},
               now);
}

void OnvifDiscovery::startCheck(Device &device, Check check, Clock::time_point now)
{
    device.lastCheck = now;
    ++m_checks;
    std::vector<packet::Address> hosts = {check.oldHost};
    for (const wsd::Target &claim : check.claims)
        hosts.push_back(hostOf(deviceXAddr(claim)));
    std::sort(hosts.begin(), hosts.end());
    hosts.erase(std::unique(hosts.begin(), hosts.end()), hosts.end());
    const auto deadline = check.deadline;
    device.check = std::move(check);
    for (const packet::Address &host : hosts) {
        if (!host.isNone())
            sendDirected(device.target.endpoint, host, deadline);
    }
}

// A Probe for any type, by unicast to the address itself: only the device there answers.
void OnvifDiscovery::sendDirected(const std::string &endpoint, const packet::Address &host, Clock::time_point deadline)
{
    const std::string id = wsd::newUuidUrn();
    m_directed.emplace(id, Directed{endpoint, host, deadline});
    const std::string xml = wsd::encode(wsd::Probe{id, {}});
    for (int copy = 0; copy < kDirectedCopies; ++copy)
        m_answers->sendTo(host, wsd::kPort, bytes(xml));
}

void OnvifDiscovery::directedAnswer(const Directed &probe, const wsd::Target &target, const packet::Address &sourceAddr)
{
    const auto it = m_devices.find(probe.endpoint);
    // Only the address probed speaks for itself: an answer from anywhere else proves nothing.
    if (it == m_devices.end() || !it->second.check || sourceAddr != probe.host)
        return;
    Device &device = it->second;
    Check &check = *device.check;
    const auto says = deviceXAddr(target);
    if (check.kind == Check::Kind::Bye) {
        check.oldAnswered = true; // still there: the Bye was not the device's
    } else if (probe.host == check.oldHost && says == deviceXAddr(device.target)) {
        check.oldAnswered = true; // the device is where it was
    } else if (!check.confirmed) {
        for (const wsd::Target &claim : check.claims) {
            if (says == deviceXAddr(claim) && probe.host == hostOf(says))
                check.confirmed = target;
        }
    }
    // Settled at once when the answer decides: the device stayed, or named its new port itself.
    if (check.oldAnswered || (check.confirmed && probe.host == check.oldHost))
        check.deadline = Clock::now();
}

void OnvifDiscovery::settleChecks(Clock::time_point now)
{
    std::lock_guard gate(m_hooks.gate);
    std::erase_if(m_directed, [&](const auto &entry) { return entry.second.deadline + kCheckWindow < now; });
    for (auto &[endpoint, device] : m_devices) {
        if (m_checks == 0)
            break;
        if (!device.check || device.check->deadline > now)
            continue;
        Check check = std::move(*device.check);
        device.check.reset();
        --m_checks;
        if (check.kind == Check::Kind::Bye) {
            if (!check.oldAnswered && device.online)
                takeOffline(device);
        } else if (check.confirmed && !check.oldAnswered && device.online) {
            device.sourceAddr = hostOf(deviceXAddr(*check.confirmed));
            device.target = *check.confirmed;
            device.lastHeard = now;
            readDetails(endpoint, device); // a new address: its settings changed, read them again
        }
    }
    // Claims made meanwhile, once the gap has passed.
    std::erase_if(m_claimants, [&](const std::string &endpoint) {
        const auto it = m_devices.find(endpoint);
        if (it == m_devices.end() || it->second.claims.empty() || !it->second.online)
            return true;
        if (it->second.check || now - it->second.lastCheck < kCheckGap)
            return false;
        checkClaims(it->second, now);
        return true;
    });
}

void OnvifDiscovery::bye(const std::string &endpoint, Clock::time_point now)
{
    std::lock_guard gate(m_hooks.gate);
    auto it = m_devices.find(endpoint);
    if (it == m_devices.end() || !it->second.online)
        return;
    Device &device = it->second;
    // Anyone can say Bye for anyone: believed once the device stays silent to a probe of its own.
    if (!device.check && now - device.lastCheck >= kCheckGap && m_checks < kMaxChecks)
        startCheck(device, Check{Check::Kind::Bye, hostOf(deviceXAddr(device.target)), now + kCheckWindow, false, {},
                                 std::nullopt},
                   now);
}

void OnvifDiscovery::takeOffline(Device &device)
{
    device.online = false;
    if (device.listed) {
        device.listed = false;
        report(device, VEXA_EVENT_OFFLINE);
    }
}

void OnvifDiscovery::readDetails(const std::string &endpoint, Device &device)
{
    if (device.reading) {
        device.readAgain = true;
        return;
    }
    const auto xaddr = deviceXAddr(device.target);
    if (!xaddr)
        return;
    std::optional<onvif::Credentials> credentials;
    {
        std::lock_guard lock(m_jobMutex);
        if (const auto it = m_credentials.find(endpoint); it != m_credentials.end())
            credentials = it->second;
        std::deque<Job> &queued = m_jobs[device.sourceAddr];
        if (queued.size() >= kQueuedPerSource) {
            device.reading = false; // this source asked for too much: listed with what it announced
        } else {
            if (queued.empty())
                m_turns.push_back(device.sourceAddr);
            queued.push_back(Job{endpoint, *xaddr, std::move(credentials), device.sourceAddr});
            device.reading = true;
            m_jobReady.notify_one();
        }
    }
    if (!device.reading && device.online)
        compose(device, device.listed ? VEXA_EVENT_UPDATE : device.solicited ? VEXA_EVENT_ONLINE : VEXA_EVENT_ANNOUNCE);
}

// The user's jobs first; then each source in turn, none with more than its share of readers.
std::optional<OnvifDiscovery::Job> OnvifDiscovery::nextJob()
{
    if (!m_userJobs.empty()) {
        Job job = std::move(m_userJobs.front());
        m_userJobs.pop_front();
        return job;
    }
    for (size_t turn = 0, turns = m_turns.size(); turn < turns; ++turn) {
        const packet::Address source = m_turns.front();
        m_turns.pop_front();
        auto queued = m_jobs.find(source);
        if (m_reading[source] >= kReadersPerSource) {
            m_turns.push_back(source);
            continue;
        }
        Job job = std::move(queued->second.front());
        queued->second.pop_front();
        if (queued->second.empty())
            m_jobs.erase(queued);
        else
            m_turns.push_back(source);
        ++m_reading[source];
        return job;
    }
    return std::nullopt;
}

void OnvifDiscovery::work()
{
    if (m_hooks.enterThread)
        m_hooks.enterThread();
    for (;;) {
        std::optional<Job> job;
        {
            std::unique_lock lock(m_jobMutex);
            m_jobReady.wait(lock, [&] { return m_stop || (job = nextJob()); });
            if (m_stop)
                return;
        }
        // Never guessed or default passwords: without the user's, only what the device shows anyone.
        onvif::Client client(job->xaddr, job->credentials, &m_stop);
        auto details = client.readDetails();
        const bool macKnown = details && address::parseMac(details->mac);
        const bool transient = !details && client.transient();
        const packet::Address host = hostOf(job->xaddr);
        if (!macKnown && client.answered() && !host.isNone()) {
            std::lock_guard lock(m_macMutex);
            m_macWaits.push_back(
                MacWait{job->endpoint, std::move(details), host, transient});
            m_macReady.notify_one();
        } else {
            detailsRead(job->endpoint, std::move(details), {}, transient);
        }
        if (!job->user) {
            std::lock_guard lock(m_jobMutex);
            if (--m_reading[job->source] == 0)
                m_reading.erase(job->source);
            m_jobReady.notify_all();
        }
    }
}

// Real devices mostly refuse their details to anyone without the password,
// MAC included, yet the page and Modify find a device by its MAC. The HTTP
// exchange just had with the device made the kernel resolve its address:
// the neighbour entry names the device (multicast discovery keeps it on the
// link), and its answer proves that entry reaches it. One read of the table
// serves every device waiting, however large the table.
void OnvifDiscovery::resolveMacs()
{
    if (m_hooks.enterThread)
        m_hooks.enterThread();
    Clock::time_point lastRead;
    for (;;) {
        std::vector<MacWait> waits;
        {
            std::unique_lock lock(m_macMutex);
            m_macReady.wait(lock, [&] { return m_stop || !m_macWaits.empty(); });
            m_macReady.wait_until(lock, lastRead + kNeighbourGap, [&] { return m_stop.load(); });
            if (m_stop)
                return;
            waits.swap(m_macWaits);
        }
        lastRead = Clock::now();
        const neighbourtable::Table table = neighbourtable::Table::read();
        for (MacWait &w : waits) {
            const auto mac = table.macOf(w.addr.v4Bytes());
            detailsRead(w.endpoint, std::move(w.details), mac ? address::formatMac(*mac) : std::string(), w.transient);
        }
    }
}

void OnvifDiscovery::detailsRead(const std::string &endpoint, std::optional<onvif::Details> details,
                                 std::string linkMac, bool transient)
{
    std::lock_guard gate(m_hooks.gate);
    const auto it = m_devices.find(endpoint);
    if (it == m_devices.end())
        return;
    Device &device = it->second;
    device.reading = false;
    if (!linkMac.empty())
        device.linkMac = std::move(linkMac);
    if (details) {
        device.details = std::move(details);
        device.retries = 0;
    } else if (transient && device.retries < std::size(kRetryDelays) && !device.retryAt) {
        // Not up yet, or busy: asked again later, a bounded number of times.
        device.retryAt = Clock::now() + kRetryDelays[device.retries++];
        m_retrying.push_back(endpoint);
    }
    if (device.online) {
        if (device.listed && device.provisional && device.details) {
            // Listed before its details could be read: it takes the identity they name.
            device.provisional = false;
            VEXA_DEVICE_REPORT r;
            fillReport(device.target, device.sourceAddr, r);
            addDetails(*device.details, r);
            if (r.macAddr[0] == '\0')
                copyText(r.macAddr, device.linkMac);
            if (device.serial != r.serialNo || device.mac != r.macAddr) {
                device.listed = false;
                report(device, VEXA_EVENT_OFFLINE);
            }
        }
        const bool wasListed = device.listed;
        compose(device, device.listed ? VEXA_EVENT_UPDATE : device.solicited ? VEXA_EVENT_ONLINE : VEXA_EVENT_ANNOUNCE);
        if (!wasListed && device.listed && !device.details && transient)
            device.provisional = true;
    }
    if (std::exchange(device.readAgain, false) && device.online)
        readDetails(endpoint, device);
}

void OnvifDiscovery::retryDue(Clock::time_point now)
{
    std::lock_guard gate(m_hooks.gate);
    std::erase_if(m_retrying, [&](const std::string &endpoint) {
        const auto it = m_devices.find(endpoint);
        if (it == m_devices.end() || !it->second.retryAt)
            return true;
        if (*it->second.retryAt > now)
            return false;
        it->second.retryAt.reset();
        if (it->second.online)
            readDetails(endpoint, it->second);
        return true;
    });
}

bool OnvifDiscovery::identityFree(const Device &device, const std::string &serial, const std::string &mac) const
{
    const auto it = m_identities.find(identity(serial, mac));
    return it == m_identities.end() || it->second == device.target.endpoint;
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
    device.ipv4 = packet::Address::v4(*address::parseIpv4(r.ipv4Addr));
    // The same device, already listed by its certified VXDP record; or a record
    // naming a certified device's serial or MAC, or another listed row's
    // identity: the page would take both rows for one.
    if (m_hooks.heldByVxdp(device.ipv4) || m_hooks.claimedByVxdp(r.serialNo, r.macAddr)
        || !identityFree(device, r.serialNo, r.macAddr)) {
        if (device.listed) {
            device.listed = false;
            report(device, VEXA_EVENT_OFFLINE);
        }
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
    const Index::Entry *found = nullptr;
    size_t live = 0;
    for (const auto &[endpoint, entry] : i.byEndpoint) {
        if (entry.mac != mac || entry.device.xaddr.empty())
            continue;
        live += entry.live;
        if (!found || (entry.live && !found->live) || (entry.live == found->live && entry.listedAs > found->listedAs))
            found = &entry;
    }
    // Two rows listed now claim the MAC: neither gets the password.
    if (!found || live > 1)
        return std::nullopt;
    return found->device;
}

bool OnvifDiscovery::listsSerial(const std::string &serial)
{
    Index &i = index();
    std::lock_guard lock(i.mutex);
    return std::any_of(i.byEndpoint.begin(), i.byEndpoint.end(), [&](const auto &e) { return e.second.serial == serial; });
}

void OnvifDiscovery::actedOn(const Listed &device, const onvif::Credentials &credentials)
{
    std::lock_guard lock(m_jobMutex);
    m_credentials[device.endpoint] = credentials;
    m_userJobs.push_back(Job{device.endpoint, device.xaddr, credentials, {}, true});
    m_jobReady.notify_one();
}

void OnvifDiscovery::yieldTo(const packet::Address &ipv4, const std::string &serial, const std::string &mac)
{
    for (auto &[endpoint, device] : m_devices) {
        if (device.listed && (device.ipv4 == ipv4 || device.serial == serial || device.mac == mac)) {
            device.listed = false;
            report(device, VEXA_EVENT_OFFLINE);
        }
    }
}

void OnvifDiscovery::expireSilent(Clock::time_point now)
{
    std::lock_guard gate(m_hooks.gate);
    for (auto &[endpoint, device] : m_devices) {
        if (device.online && now - device.lastHeard > kSilenceLimit)
            takeOffline(device);
    }
}

void OnvifDiscovery::report(Device &device, int eventCode)
{
    device.report.eventCode = eventCode;
    const std::string &endpoint = device.target.endpoint;
    const std::string key = identity(device.serial, device.mac);
    if (eventCode == VEXA_EVENT_OFFLINE) {
        if (const auto it = m_identities.find(key); it != m_identities.end() && it->second == endpoint)
            m_identities.erase(it);
    } else {
        m_identities[key] = endpoint;
    }
    {
        Index &i = index();
        std::lock_guard lock(i.mutex);
        i.byEndpoint.erase(endpoint);
        if (eventCode != VEXA_EVENT_OFFLINE && i.byEndpoint.size() < kMaxDevices)
            i.byEndpoint[endpoint] = {device.serial, device.mac,
                                      Listed{endpoint, deviceXAddr(device.target).value_or("")}, ++i.listings, true};
    }
    m_hooks.deliver(device.report);
}

} // namespace vexa
