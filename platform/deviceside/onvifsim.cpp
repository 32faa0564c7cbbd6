#include "onvifsim.h"

#include "onvifservice.h"

#include <packet/packetdriver.h>
#include <packet/transport.h>
#include <vexa/crypto.h>
#include <vexa/soap.h>

#include <sodium.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/resource.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace deviceside {

namespace {

using namespace std::chrono_literals;

// The standard's APP_MAX_DELAY: each device answers a probe after a random
// delay up to this, so a thousand answers do not arrive at once.
constexpr int kMaxDelayMs = 500;
constexpr int kPollMs = 50;
// Answers waiting at once: one probe of every tool in reach, bounded so a
// flood of probes cannot grow the queue without end.
constexpr size_t kMaxPendingAnswers = 1 << 16;
// A UsernameToken is believed within this distance of the device's clock,
// and its nonce only once among the device's recent ones.
constexpr auto kTokenWindow = 5min;
constexpr size_t kRecentNonces = 64;
// Probes remembered by MessageID: a client's repeated copies of one Probe get one answer.
constexpr size_t kRecentProbes = 4096;

std::string percentEncoded(std::string_view text)
{
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
            out += char(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

const packet::Address kGroupV4 = packet::Address::v4HostOrder(vexa::wsd::kGroup);
constexpr std::array<uint8_t, 16> kGroupV6Bytes{0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0C};
const std::array<packet::Address, 2> kGroups{kGroupV4, packet::Address::v6(kGroupV6Bytes)};

// The device's transport address on interface `ifIndex` over IPv6: the host's
// link-local address there, its zone percent-encoded as a URL writes it.
std::optional<std::string> linkLocalXAddr(uint32_t ifIndex, uint16_t port)
{
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return std::nullopt;
    std::optional<std::string> xaddr;
    for (const ifaddrs *i = list; i && !xaddr; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET6)
            continue;
        const auto *a = reinterpret_cast<const sockaddr_in6 *>(i->ifa_addr);
        if (a->sin6_scope_id != ifIndex || !IN6_IS_ADDR_LINKLOCAL(&a->sin6_addr))
            continue;
        char text[INET6_ADDRSTRLEN];
        inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
        xaddr = "http://[" + std::string(text) + "%25" + i->ifa_name + "]:" + std::to_string(port)
            + "/onvif/device_service";
    }
    freeifaddrs(list);
    return xaddr;
}

uint64_t addressKey(const DeviceInfo &info)
{
    return uint64_t(parseIpv4(info.ipv4Addr).value_or(0)) << 16 | info.httpPort;
}

} // namespace

OnvifSimulator::OnvifSimulator(Config config, std::vector<DeviceEntry> devices, const StateFile &state)
    : m_config(std::move(config)), m_random(m_config.seed * 2654435761u + 1)
{
    for (DeviceEntry &entry : devices) {
        Device d;
        d.endpoint = endpointOf(entry.info);
        d.password = entry.password.value_or(m_config.defaultPassword);
        if (const auto saved = state.devices().find(entry.info.key());
            saved != state.devices().end() && saved->second.network && entry.protocols == Protocols::Onvif) {
            saved->second.network->applyTo(entry.info);
            entry.info.httpPort = entry.info.port;
        }
        // Every third device's clock is hours off: clients must go by the device's time.
        const unsigned spread = unsigned(d.endpoint[9]) % 3;
        d.clockOffset = spread == 0 ? 0s : spread == 1 ? std::chrono::seconds(2h) : -std::chrono::seconds(37min);
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

vexa::wsd::Target OnvifSimulator::target(const Device &device, uint32_t ifIndex)
{
    vexa::wsd::Target t;
    t.endpoint = device.endpoint;
    using Types = OnvifQuirks::Types;
    if (device.entry.onvif.types != Types::TransmitterOnly)
        t.types.push_back(vexa::wsd::kTypeDevice);
    if (device.entry.onvif.types != Types::DeviceOnly)
        t.types.push_back(vexa::wsd::kTypeTransmitter);
    t.scopes = {"onvif://www.onvif.org/type/video_encoder",
                "onvif://www.onvif.org/hardware/" + percentEncoded(device.entry.info.typeName),
                "onvif://www.onvif.org/name/" + percentEncoded(device.entry.info.serialNo)};
    if (ifIndex == 0 || device.ipv4Served)
        t.xaddrs = {onvifXAddr(device.entry.info)};
    if (ifIndex != 0) {
        // Both when it has both, IPv4 first as over IPv4: the same device, whichever family found it.
        if (auto v6 = linkLocalXAddr(ifIndex, device.entry.info.httpPort))
            t.xaddrs.push_back(std::move(*v6));
    }
    t.metadataVersion = device.metadataVersion;
    return t;
}

vexa::wsd::AppSequence OnvifSimulator::nextSequence(Device &device)
{
    return {m_instanceId, ++device.messageNumber};
}

bool OnvifSimulator::start(const PKT_Driver *driver, bool bootAnnounce, std::string &error)
{
    if (m_devices.empty())
        return true;
    // One listening socket per device: a thousand devices need more than the usual 1024 descriptors.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    m_instanceId = uint32_t(std::chrono::duration_cast<std::chrono::seconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count());
    int rc = 0;
    m_socket = packet::Socket::open(driver, vexa::wsd::kPort, kGroups, 1 << 20, &rc);
    if (!m_socket) {
        error = std::string("cannot open the WS-Discovery socket: ") + std::strerror(-rc);
        return false;
    }
    const auto choice = packet::interfaceChoice();
    const auto links = packet::links(driver, choice ? choice->c_str() : nullptr);
    const bool ipv6 = std::any_of(links.begin(), links.end(), [](const PKT_Link &l) { return (l.flags & PKT_IF_CHOSEN_V6) != 0; });
    m_http = std::make_unique<OnvifHttp>([this](const OnvifHttp::Call &call) { return serve(call); });
    if (!m_http->start(error))
        return false;
    const auto now = Clock::now();
    for (size_t i = 0; i < m_devices.size(); ++i) {
        Device &d = m_devices[i];
        const DeviceInfo &info = d.entry.info;
        m_byAddress[addressKey(info)] = i;
        // Some devices announce themselves before their web server is up.
        if (const uint32_t delay = d.entry.onvif.httpDelaySeconds; delay != 0) {
            m_lateServers.push_back({now + std::chrono::seconds(delay), i});
        } else if (!m_http->listen(*parseIpv4(info.ipv4Addr), info.httpPort, error)) {
            // With IPv6 a device keeps an address of another link and is reached over IPv6 alone.
            if (!ipv6 || errno != EADDRNOTAVAIL)
                return false;
            d.ipv4Served = false;
        }
        if (ipv6 && !m_byV6Port.count(info.httpPort)) {
            if (!m_http->listen6(info.httpPort, error))
                return false;
            m_byV6Port[info.httpPort] = i;
        }
    }
    // Probe matches go back to the prober's own address and port.
    m_unicast = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_unicast < 0) {
        error = std::string("cannot open the answer socket: ") + std::strerror(errno);
        return false;
    }
    if (bootAnnounce) {
        for (Device &d : m_devices)
            multicast(vexa::wsd::encode(vexa::wsd::Hello{vexa::wsd::newUuidUrn(), target(d), nextSequence(d)}));
    }
    if (pipe2(m_directedWake, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("cannot make the wake-up pipe: ") + std::strerror(errno);
        return false;
    }
    for (const Device &d : m_devices)
        bindDirected(*parseIpv4(d.entry.info.ipv4Addr));
    m_thread = std::thread([this] { run(); });
    m_directedThread = std::thread([this] { listenDirected(); });
    return true;
}

void OnvifSimulator::bindDirected(uint32_t addr)
{
    if (m_directedFds.count(addr))
        return;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int on = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = addr;
    local.sin_port = htons(vexa::wsd::kPort);
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
        if (fd >= 0)
            ::close(fd); // an address the host does not hold: the group socket still hears what reaches it
        return;
    }
    m_directedFds[addr] = fd;
    [[maybe_unused]] const ssize_t n = ::write(m_directedWake[1], "w", 1);
}

void OnvifSimulator::unbindDirected(uint32_t addr)
{
    const bool held = std::any_of(m_devices.begin(), m_devices.end(),
                                  [&](const Device &d) { return parseIpv4(d.entry.info.ipv4Addr) == addr; });
    const auto it = m_directedFds.find(addr);
    if (held || it == m_directedFds.end())
        return;
    ::close(it->second);
    m_directedFds.erase(it);
    [[maybe_unused]] const ssize_t n = ::write(m_directedWake[1], "w", 1);
}

void OnvifSimulator::listenDirected()
{
    std::vector<pollfd> fds;
    std::vector<uint32_t> addrs;
    std::vector<char> buffer(vexa::wsd::kMaxMessage + 1);
    while (!m_stop) {
        {
            std::lock_guard lock(m_mutex);
            fds.assign(1, pollfd{m_directedWake[0], POLLIN, 0});
            addrs.assign(1, 0);
            for (const auto &[addr, fd] : m_directedFds) {
                fds.push_back(pollfd{fd, POLLIN, 0});
                addrs.push_back(addr);
            }
        }
        if (::poll(fds.data(), fds.size(), kPollMs) <= 0)
            continue;
        if (fds[0].revents) {
            char drain[64];
            while (::read(m_directedWake[0], drain, sizeof drain) > 0) {
            }
            continue; // the set of sockets may have changed
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            sockaddr_in from{};
            socklen_t length = sizeof from;
            std::lock_guard lock(m_mutex);
            if (!m_directedFds.count(addrs[i]))
                continue; // closed meanwhile
            const ssize_t n = ::recvfrom(fds[i].fd, buffer.data(), buffer.size(), 0,
                                         reinterpret_cast<sockaddr *>(&from), &length);
            if (n < 0 || size_t(n) > vexa::wsd::kMaxMessage)
                continue;
            packet::Received info;
            info.source = packet::Address::v4NetworkOrder(from.sin_addr.s_addr);
            info.sourcePort = ntohs(from.sin_port);
            info.destination = packet::Address::v4NetworkOrder(addrs[i]);
            received(std::string_view(buffer.data(), size_t(n)), info, Clock::now());
        }
    }
}

void OnvifSimulator::shutdown()
{
    if (!m_thread.joinable())
        return;
    m_stop = true;
    m_socket->wake();
    m_thread.join();
    m_directedThread.join();
    for (const auto &[addr, fd] : m_directedFds)
        ::close(fd);
    for (int fd : m_directedWake)
        ::close(fd);
    {
        std::lock_guard lock(m_mutex);
        for (auto &save : m_saves)
            save->done = true; // refused: the device is going away
        m_saved.notify_all();
    }
    m_http.reset();
    for (Device &d : m_devices)
        multicast(vexa::wsd::encode(vexa::wsd::Bye{vexa::wsd::newUuidUrn(), d.endpoint, nextSequence(d)}));
    m_socket.reset();
    ::close(m_unicast);
}

void OnvifSimulator::persist(StateFile &state)
{
    std::lock_guard lock(m_mutex);
    if (m_saves.empty())
        return;
    std::vector<DeviceState> before;
    for (const auto &save : m_saves) {
        before.push_back(state.device(save->key));
        state.device(save->key).network = save->network;
    }
    std::string error;
    const bool ok = state.save(error);
    if (!ok) {
        // Nothing half-remembered: the devices keep their old settings.
        for (size_t i = 0; i < m_saves.size(); ++i)
            state.device(m_saves[i]->key) = before[i];
        std::fprintf(stderr, "vexa-devsim: %s\n", error.c_str());
    }
    for (auto &save : m_saves) {
        save->done = true;
        save->ok = ok;
    }
    m_saves.clear();
    m_saved.notify_all();
}

size_t OnvifSimulator::onlyOnvifCount() const
{
    return size_t(std::count_if(m_devices.begin(), m_devices.end(),
                                [](const Device &d) { return d.entry.protocols == Protocols::Onvif; }));
}

void OnvifSimulator::multicast(const std::string &xml)
{
    // Over IPv4 alone: an announcement over IPv6 would need each link's own XAddr.
    m_socket->send(kGroupV4, vexa::wsd::kPort, std::span(reinterpret_cast<const uint8_t *>(xml.data()), xml.size()));
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
        packet::Received info;
        const int n = m_socket->receive(buffer, timeoutMs, info);
        if (n >= 0 && size_t(n) <= vexa::wsd::kMaxMessage)
            receive(std::string_view(reinterpret_cast<const char *>(buffer.data()), size_t(n)), info, Clock::now());
        answerDue(Clock::now());
        startLateServers(Clock::now());
    }
}

void OnvifSimulator::startLateServers(Clock::time_point now)
{
    std::erase_if(m_lateServers, [&](const LateServer &late) {
        if (late.due > now)
            return false;
        std::lock_guard lock(m_mutex);
        const DeviceInfo &info = m_devices[late.device].entry.info;
        std::string error;
        if (!m_http->listen(*parseIpv4(info.ipv4Addr), info.httpPort, error))
            std::fprintf(stderr, "vexa-devsim: %s\n", error.c_str());
        return true;
    });
}

bool OnvifSimulator::firstCopy(const std::string &messageId, bool overV6)
{
    // Per family: a prober sends one Probe over both, the host reads either copy first, and
    // a device unreachable over IPv6 must still answer the IPv4 one.
    std::string key = (overV6 ? "6 " : "4 ") + messageId;
    if (!m_probeIdSet.insert(key).second)
        return false;
    m_probeIds.push_back(std::move(key));
    if (m_probeIds.size() > kRecentProbes) {
        m_probeIdSet.erase(m_probeIds.front());
        m_probeIds.pop_front();
    }
    return true;
}

void OnvifSimulator::receive(std::string_view xml, const packet::Received &info, Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    received(xml, info, now);
}

void OnvifSimulator::received(std::string_view xml, const packet::Received &info, Clock::time_point now)
{
    const auto message = vexa::wsd::parse(xml);
    const auto *probe = message ? std::get_if<vexa::wsd::Probe>(&*message) : nullptr;
    if (!probe || info.sourcePort == 0 || (!info.source.isV4() && !info.source.isV6()) || !firstCopy(probe->messageId, info.source.isV6()))
        return;
    // A Probe sent to one IPv4 address is for the device there alone, and needs no spreading.
    const uint32_t destination = info.destination.v4NetworkOrder();
    const bool directed = destination != 0 && info.destination != kGroupV4;
    for (size_t i = 0; i < m_devices.size(); ++i) {
        Device &d = m_devices[i];
        if ((directed && parseIpv4(d.entry.info.ipv4Addr) != destination)
            || !vexa::wsd::typesMatch(probe->types, target(d).types))
            continue;
        // Over IPv6 only the device its HTTP port leads to can be reached there.
        if (const auto v6 = m_byV6Port.find(d.entry.info.httpPort);
            info.source.isV6() && (v6 == m_byV6Port.end() || v6->second != i))
            continue;
        if (directed) {
            sendFrom(destination, info.source.v4NetworkOrder(), info.sourcePort, probeMatch(d, probe->messageId));
        } else if (m_answers.size() < kMaxPendingAnswers) {
            m_random = m_random * 6364136223846793005u + 1442695040888963407u;
            const auto delay = std::chrono::milliseconds((m_random >> 33) % kMaxDelayMs);
            m_answers.push(Answer{now + delay, i, info.source, info.sourcePort, probe->messageId});
        }
    }
}

std::string OnvifSimulator::probeMatch(Device &device, const std::string &relatesTo, uint32_t ifIndex)
{
    return vexa::wsd::encode(
        vexa::wsd::ProbeMatches{vexa::wsd::newUuidUrn(), relatesTo, {target(device, ifIndex)}, nextSequence(device)});
}

void OnvifSimulator::answerDue(Clock::time_point now)
{
    while (!m_answers.empty() && m_answers.top().due <= now) {
        const Answer a = m_answers.top();
        m_answers.pop();
        std::string xml;
        uint32_t from = 0;
        {
            std::lock_guard lock(m_mutex);
            Device &d = m_devices[a.device];
            xml = probeMatch(d, a.relatesTo, a.to.isV6() ? a.to.scope() : 0);
            from = parseIpv4(d.entry.info.ipv4Addr).value_or(0);
        }
        if (a.to.isV6())
            m_socket->sendTo(a.to, a.port, std::span(reinterpret_cast<const uint8_t *>(xml.data()), xml.size()));
        else
            sendFrom(from, a.to.v4NetworkOrder(), a.port, xml);
    }
}

// A device answers from its own address, as a real one does: the tool checks
// that an address speaks for itself.
void OnvifSimulator::sendFrom(uint32_t from, uint32_t to, uint16_t port, const std::string &xml)
{
    sockaddr_in dest{};
    dest.sin_family = AF_INET;
    dest.sin_addr.s_addr = to;
    dest.sin_port = htons(port);
    iovec data{const_cast<char *>(xml.data()), xml.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr msg{};
    msg.msg_name = &dest;
    msg.msg_namelen = sizeof dest;
    msg.msg_iov = &data;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr *c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo pktinfo{};
    pktinfo.ipi_spec_dst.s_addr = from;
    std::memcpy(CMSG_DATA(c), &pktinfo, sizeof pktinfo);
    // An address the host does not hold cannot be a source: then the kernel chooses.
    if (from == 0 || ::sendmsg(m_unicast, &msg, MSG_NOSIGNAL) < 0)
        ::sendto(m_unicast, xml.data(), xml.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&dest), sizeof dest);
}

// Whether the caller proved the password, by a UsernameToken or by HTTP
// Digest; otherwise `refusal` is what to answer when the call needs it.
bool OnvifSimulator::authorized(Device &device, const vexa::soap::Envelope &request, const OnvifHttp::Call &call,
                                OnvifHttp::Reply &refusal)
{
    if (request.token && !m_config.httpDigestOnly) {
        const auto &t = *request.token;
        const auto created = vexa::soap::parseDateTime(t.created);
        const auto deviceNow = std::chrono::system_clock::now() + device.clockOffset;
        const bool fresh = created && *created > deviceNow - kTokenWindow && *created < deviceNow + kTokenWindow;
        const bool replayed = std::find(device.recentNonces.begin(), device.recentNonces.end(), t.nonce)
            != device.recentNonces.end();
        if (t.username == kOnvifUser && fresh && !replayed && vexa::soap::tokenProves(t, device.password)) {
            device.recentNonces.push_back(t.nonce);
            if (device.recentNonces.size() > kRecentNonces)
                device.recentNonces.pop_front();
            return true;
        }
        const OnvifAnswer fault = onvifFault("Sender", "ter:NotAuthorized", "Sender not authorized");
        refusal = {fault.httpStatus, fault.body, false, false};
        return false;
    }
    const int digest = call.digest(device.password);
    refusal = {401, {}, true, digest == -1};
    return digest == 1;
}

OnvifHttp::Reply OnvifSimulator::serve(const OnvifHttp::Call &call)
{
    std::unique_lock lock(m_mutex);
    std::optional<size_t> index;
    if (call.v6) {
        if (const auto it = m_byV6Port.find(call.port); it != m_byV6Port.end())
            index = it->second;
    } else if (const auto it = m_byAddress.find(uint64_t(call.addr) << 16 | call.port); it != m_byAddress.end()) {
        index = it->second;
    }
    if (!index)
        return {404, {}, false, false};
    Device &device = m_devices[*index];
    if (Clock::now() < device.awayUntil)
        return {503, {}, false, false};
    const auto request = vexa::soap::parse(call.body);
    if (!request) {
        // HTTP clients open Digest with an empty body: the challenge is the answer they wait for.
        if (call.body.empty() && call.digest(device.password) != 1)
            return {401, {}, true, false};
        const OnvifAnswer fault = onvifFault("Sender", "ter:WellFormed", "Not a SOAP message");
        return {fault.httpStatus, fault.body, false, false};
    }
    const std::string &op = request->operation;
    const auto now = std::chrono::system_clock::now() + device.clockOffset;
    const bool both = device.entry.protocols == Protocols::Both;
    const std::vector<std::string> &unsupported = device.entry.onvif.unsupported;
    // The clock and the services' places are for anyone, whatever token the
    // request carries: a client learns the time for its token from them.
    if (isOnvifPreAuth(op)) {
        const OnvifAnswer a = answerOnvif(device.entry.info, *request, false, both, unsupported, now);
        return {a.httpStatus, a.body, false, false};
    }
    const bool open = m_config.openReads && isOnvifRead(op);
    OnvifHttp::Reply refusal;
    const bool proven = authorized(device, *request, call, refusal);
    // Wrong credentials are refused even where none are needed.
    if (!proven && (!open || (request->token && !m_config.httpDigestOnly)))
        return refusal;
    const OnvifAnswer a = answerOnvif(device.entry.info, *request, true, both, unsupported, now, device.password);
    if (a.apply && !apply(device, *a.apply, lock)) {
        const OnvifAnswer fault = onvifFault("Receiver", "ter:Action", "The setting could not be stored");
        return {fault.httpStatus, fault.body, false, false};
    }
    if (a.job)
        take(device, *a.job);
    return {a.httpStatus, a.body, false, false};
}

void OnvifSimulator::take(Device &device, const OnvifJob &job)
{
    if (job.clock)
        device.clockOffset = std::chrono::round<std::chrono::seconds>(*job.clock - std::chrono::system_clock::now());
    if (job.ntp)
        device.clockOffset = {};
    if (job.password) {
        vexa::crypto::wipe(device.password);
        device.password = *job.password;
    }
    if (job.reboot)
        device.awayUntil = Clock::now() + std::chrono::seconds(m_config.restartS);
}

// Persisted first (by the thread owning the state file), then applied: the
// device answers on the connection it was asked on, then moves.
bool OnvifSimulator::apply(Device &device, const NetworkState &next, std::unique_lock<std::mutex> &lock)
{
    auto save = std::make_shared<Save>(Save{device.entry.info.key(), next});
    m_saves.push_back(save);
    if (!m_saved.wait_for(lock, 2s, [&] { return save->done; }) || !save->ok)
        return false;
    DeviceInfo &info = device.entry.info;
    const uint64_t oldKey = addressKey(info);
    const uint32_t oldAddr = *parseIpv4(info.ipv4Addr);
    const uint16_t oldPort = info.httpPort;
    next.applyTo(info);
    info.httpPort = info.port;
    if (addressKey(info) != oldKey) {
        std::string error;
        device.ipv4Served = m_http->listen(*parseIpv4(info.ipv4Addr), info.httpPort, error);
        if (!device.ipv4Served)
            std::fprintf(stderr, "vexa-devsim: %s\n", error.c_str());
        m_http->unlisten(oldAddr, oldPort);
        bindDirected(*parseIpv4(info.ipv4Addr));
        unbindDirected(oldAddr);
        m_byAddress.erase(oldKey);
        m_byAddress[addressKey(info)] = size_t(&device - m_devices.data());
        ++device.metadataVersion;
        multicast(vexa::wsd::encode(vexa::wsd::Hello{vexa::wsd::newUuidUrn(), target(device), nextSequence(device)}));
    }
    return true;
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
        e.info.port = e.info.httpPort = 8080;
    }
}

std::vector<DeviceEntry> splitOnvifDevices(std::vector<DeviceEntry> &devices)
{
    std::vector<DeviceEntry> onvif;
    for (DeviceEntry &e : devices) {
        if (e.protocols == Protocols::Onvif)
            e.info.port = e.info.httpPort; // an ONVIF device's one port is its HTTP port
        if (e.protocols != Protocols::Vxdp)
            onvif.push_back(e);
    }
    std::erase_if(devices, [](const DeviceEntry &e) { return e.protocols == Protocols::Onvif; });
    return onvif;
}

} // namespace deviceside
