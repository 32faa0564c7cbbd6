// The packet driver's in-process back end: sockets of one process exchange
// datagrams through memory, on the interfaces the system back end would
// choose, with the same table, the same checks and the same answers. Nothing
// reaches the kernel's network stack, so tests of everything above the driver
// run without a namespace, without root and beside each other.

#include "contract.h"
#include "interfacelist.h"
#include "linkwatch.h"
#include "packetdriver.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <cstdlib>
#include <netinet/in.h>
#include <vector>

namespace {

// What a system socket gets when it asks for nothing (net.core.rmem_default).
constexpr int kDefaultReceiveBuffer = 212992;
constexpr uint16_t kFirstFreePort = 49152;

struct Queued {
    std::vector<uint8_t> bytes;
    PKT_Datagram info;
};

// One family of a socket: the interfaces chosen for it with the address each
// sends from, and the groups it hears there.
struct Side {
    bool open = false;
    std::vector<PKT_Interface> interfaces;
    std::vector<PKT_Address> locals; // per interface: its IPv4 address, or its link-local IPv6 one
    std::vector<PKT_Address> groups;

    const PKT_Address *localOn(uint32_t ifIndex) const
    {
        for (size_t i = 0; i < interfaces.size(); ++i) {
            if (interfaces[i].index == ifIndex)
                return &locals[i];
        }
        return nullptr;
    }
};

bool sameAddress(const PKT_Address &a, const PKT_Address &b)
{
    return a.family == b.family && std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

} // namespace

struct PKT_Socket {
    uint16_t port = 0;
    Side v4, v6;
    size_t bufferLimit = 0;
    // Guarded by the hub's mutex.
    std::deque<Queued> queue;
    size_t queuedBytes = 0;
    bool woken = false;
    std::condition_variable changed;
    std::unique_ptr<packet::LinkWatch> watch; // sockets of openFamilies only: the same news as the system's

    Side *side(uint8_t family) { return family == PKT_FAMILY_V4 ? &v4 : family == PKT_FAMILY_V6 ? &v6 : nullptr; }
    bool hears(const PKT_Address &group, uint32_t ifIndex)
    {
        const Side *s = side(group.family);
        return s && s->localOn(ifIndex)
            && std::any_of(s->groups.begin(), s->groups.end(), [&](const PKT_Address &g) { return sameAddress(g, group); });
    }
};

namespace {

// Every open socket of the process.
struct Hub {
    std::mutex mutex;
    std::vector<PKT_Socket *> sockets;
    uint16_t nextPort = kFirstFreePort;

    bool portInUse(uint16_t port) const
    {
        return std::any_of(sockets.begin(), sockets.end(), [port](const PKT_Socket *s) { return s->port == port; });
    }

    uint16_t freePort()
    {
        while (portInUse(nextPort) || nextPort == 0)
            nextPort = nextPort == UINT16_MAX ? kFirstFreePort : uint16_t(nextPort + 1);
        return nextPort++;
    }
};

Hub &hub()
{
    static Hub *instance = new Hub; // outlives sockets closed by other static destructors
    return *instance;
}

// A full receive buffer drops what arrives, as the kernel's does.
void deliver(PKT_Socket &to, const void *data, size_t size, const PKT_Datagram &info)
{
    if (to.queuedBytes + size > to.bufferLimit)
        return;
    const auto *bytes = static_cast<const uint8_t *>(data);
    to.queue.push_back({std::vector<uint8_t>(bytes, bytes + size), info});
    to.queuedBytes += size;
    to.changed.notify_one();
}

// The interfaces chosen now for the side's family, each with the address it sends from.
void choose(Side &side, uint8_t family, const char *choice)
{
    const std::vector<PKT_Link> links = systemLinks();
    side.interfaces = chooseInterfaces(candidatesFor(links, family), std::getenv("VEXA_INTERFACES"), choice);
    side.locals.clear();
    for (const PKT_Interface &i : side.interfaces) {
        PKT_Address local = contract::fromV4(i.addr);
        for (const PKT_Link &link : links) {
            if (link.index == i.index && family == PKT_FAMILY_V6)
                local = *linkLocalOf(link);
        }
        side.locals.push_back(local);
    }
}

std::vector<PKT_Interface> interfacesOf(const PKT_Socket &socket)
{
    std::vector<PKT_Interface> all = socket.v4.interfaces;
    for (const PKT_Interface &i : socket.v6.interfaces) {
        if (std::none_of(all.begin(), all.end(), [&](const PKT_Interface &a) { return a.index == i.index; }))
            all.push_back(i);
    }
    return all;
}

int openSocket(uint16_t port, const PKT_Address *groups, size_t groupCount, uint32_t families, const char *choice,
               int receiveBuffer, bool watch, PKT_Socket **out)
{
    auto socket = std::make_unique<PKT_Socket>();
    if (watch) // before choosing: an interface that comes meanwhile is news, not lost
        socket->watch = packet::LinkWatch::open();
    for (const uint8_t family : {uint8_t(PKT_FAMILY_V4), uint8_t(PKT_FAMILY_V6)}) {
        if (!(families & family))
            continue;
        Side &side = *socket->side(family);
        side.open = true;
        choose(side, family, choice);
        std::copy_if(groups, groups + groupCount, std::back_inserter(side.groups),
                     [family](const PKT_Address &g) { return g.family == family; });
    }
    if (interfacesOf(*socket).empty())
        return -ENODEV;
    socket->bufferLimit = size_t(receiveBuffer > 0 ? receiveBuffer : kDefaultReceiveBuffer);
    Hub &h = hub();
    std::lock_guard lock(h.mutex);
    socket->port = port ? port : h.freePort();
    h.sockets.push_back(socket.get());
    *out = socket.release();
    return 0;
}

int memoryInterfaces(PKT_Interface *out, size_t capacity)
{
    return copyInterfaces(chosenInterfaces(), out, capacity);
}

int memoryOpen(uint16_t port, const uint32_t *groups, size_t groupCount, int receiveBuffer, PKT_Socket **out)
{
    if (const int rc = contract::checkOpen(groups, groupCount, out); rc != 0)
        return rc;
    const std::vector<PKT_Address> all = contract::fromV4(groups, groupCount);
    return openSocket(port, all.data(), all.size(), PKT_FAMILY_V4, nullptr, receiveBuffer, false, out);
}

int sendToGroup(PKT_Socket *socket, const PKT_Address &group, uint16_t port, const void *data, size_t size,
                uint32_t ifIndex)
{
    const Side &side = *socket->side(group.family);
    if (!side.open)
        return -EAFNOSUPPORT;
    Hub &h = hub();
    std::lock_guard lock(h.mutex);
    int sentOn = 0;
    for (size_t i = 0; i < side.interfaces.size(); ++i) {
        const PKT_Interface &iface = side.interfaces[i];
        if (ifIndex != 0 && iface.index != ifIndex)
            continue;
        ++sentOn;
        // Multicast loops back to the sender's own host, and so to its own socket.
        PKT_Datagram info{side.locals[i], group, iface.index, 255, socket->port, {}};
        if (group.family == PKT_FAMILY_V6)
            info.source.scope = iface.index;
        for (PKT_Socket *to : h.sockets) {
            if (to->port == port && to->hears(group, iface.index))
                deliver(*to, data, size, info);
        }
    }
    return sentOn > 0 ? sentOn : -ENODEV;
}

int memorySend(PKT_Socket *socket, uint32_t group, uint16_t port, const void *data, size_t size, uint32_t ifIndex)
{
    if (const int rc = contract::checkSend(socket, group, port, data, size); rc != 0)
        return rc;
    return sendToGroup(socket, contract::fromV4(group), port, data, size, ifIndex);
}

int memorySendGroup(PKT_Socket *socket, const PKT_Address *group, uint16_t port, const void *data, size_t size,
                    uint32_t ifIndex)
{
    if (const int rc = contract::checkSendGroup(socket, group, port, data, size); rc != 0)
        return rc;
    return sendToGroup(socket, *group, port, data, size, ifIndex);
}

// The interface of `side` that holds `addr`: loopback holding all of 127/8,
// a link-local address only on the interface its scope names.
std::optional<size_t> holder(const Side &side, const PKT_Address &addr)
{
    const bool loopbackNet = addr.family == PKT_FAMILY_V4 && addr.bytes[0] == 127;
    for (size_t i = 0; i < side.interfaces.size(); ++i) {
        const bool scoped = addr.scope == 0 || addr.scope == side.interfaces[i].index;
        if ((sameAddress(side.locals[i], addr) && scoped) || (loopbackNet && (side.interfaces[i].flags & PKT_IF_LOOPBACK)))
            return i;
    }
    return std::nullopt;
}

int sendUnicast(PKT_Socket *socket, const PKT_Address &addr, uint16_t port, const void *data, size_t size)
{
    const Side &from = *socket->side(addr.family);
    if (!from.open)
        return -EAFNOSUPPORT;
    Hub &h = hub();
    std::lock_guard lock(h.mutex);
    // Like a unicast to a port several sockets share: one of them receives it.
    for (PKT_Socket *to : h.sockets) {
        const Side &side = *to->side(addr.family);
        const auto arrival = to->port == port ? holder(side, addr) : std::nullopt;
        if (!arrival)
            continue;
        const uint32_t ifIndex = side.interfaces[*arrival].index;
        const PKT_Address *own = from.localOn(ifIndex);
        PKT_Address source = own ? *own : from.locals.empty() ? PKT_Address{} : from.locals.front();
        if (addr.family == PKT_FAMILY_V6)
            source.scope = ifIndex;
        PKT_Address destination = addr;
        destination.scope = 0;
        deliver(*to, data, size, PKT_Datagram{source, destination, ifIndex, 255, socket->port, {}});
        break;
    }
    return 0; // nobody listening: lost, as a UDP datagram is
}

int memorySendTo(PKT_Socket *socket, uint32_t addr, uint16_t port, const void *data, size_t size)
{
    if (const int rc = contract::checkSendTo(socket, addr, port, data, size); rc != 0)
        return rc;
    return sendUnicast(socket, contract::fromV4(addr), port, data, size);
}

int memorySendToAddress(PKT_Socket *socket, const PKT_Address *to, uint16_t port, const void *data, size_t size)
{
    if (const int rc = contract::checkSendToAddress(socket, to, port, data, size); rc != 0)
        return rc;
    return sendUnicast(socket, *to, port, data, size);
}

// The next datagram; the version 2 receive (`v3` false) sees the IPv4 side alone, as the system's does.
int receiveNext(PKT_Socket *socket, void *buffer, size_t capacity, int timeoutMs, PKT_Datagram &info, bool v3)
{
    using Clock = std::chrono::steady_clock;
    // News of the system's interfaces cannot wake a condition variable: look for it between short waits.
    packet::LinkWatch *watch = v3 ? socket->watch.get() : nullptr;
    constexpr auto kWatchSlice = std::chrono::milliseconds(50);
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    std::unique_lock lock(hub().mutex);
    if (!v3)
        std::erase_if(socket->queue, [socket](const Queued &q) {
            const bool v6 = q.info.source.family == PKT_FAMILY_V6;
            if (v6)
                socket->queuedBytes -= q.bytes.size();
            return v6;
        });
    const auto ready = [socket] { return socket->woken || !socket->queue.empty(); };
    for (;;) {
        if (watch && watch->drain())
            return -ENETRESET;
        if (!watch && timeoutMs < 0) {
            socket->changed.wait(lock, ready);
            break;
        }
        auto until = watch ? Clock::now() + kWatchSlice : deadline;
        if (timeoutMs >= 0)
            until = std::min(until, deadline);
        if (socket->changed.wait_until(lock, until, ready))
            break;
        if (timeoutMs >= 0 && Clock::now() >= deadline)
            return -ETIMEDOUT;
    }
    if (socket->woken) {
        socket->woken = false;
        return -ECANCELED;
    }
    Queued next = std::move(socket->queue.front());
    socket->queue.pop_front();
    socket->queuedBytes -= next.bytes.size();
    info = next.info;
    if (next.bytes.size() > std::min<size_t>(capacity, INT_MAX))
        return -EMSGSIZE;
    std::copy(next.bytes.begin(), next.bytes.end(), static_cast<uint8_t *>(buffer));
    return int(next.bytes.size());
}

int memoryReceive(PKT_Socket *socket, void *buffer, size_t capacity, int timeoutMs, PKT_RecvInfo *info)
{
    if (const int rc = contract::checkReceive(socket, buffer, capacity); rc != 0)
        return rc;
    PKT_Datagram datagram{};
    const int rc = receiveNext(socket, buffer, capacity, timeoutMs, datagram, false);
    if (info && (rc >= 0 || rc == -EMSGSIZE))
        *info = contract::toRecvInfo(datagram);
    return rc;
}

int memoryReceiveFrom(PKT_Socket *socket, void *buffer, size_t capacity, int timeoutMs, PKT_Datagram *info)
{
    if (const int rc = contract::checkReceive(socket, buffer, capacity); rc != 0)
        return rc;
    PKT_Datagram scratch;
    return receiveNext(socket, buffer, capacity, timeoutMs, info ? *info : scratch, true);
}

void memoryWake(PKT_Socket *socket)
{
    if (!socket)
        return;
    std::lock_guard lock(hub().mutex);
    socket->woken = true;
    socket->changed.notify_all();
}

int memoryReceiveBufferSize(PKT_Socket *socket)
{
    return socket ? int(socket->bufferLimit) : -EINVAL;
}

int memorySocketInterfaces(PKT_Socket *socket, PKT_Interface *out, size_t capacity)
{
    if (!socket)
        return -EINVAL;
    std::lock_guard lock(hub().mutex);
    return copyInterfaces(interfacesOf(*socket), out, capacity);
}

void memoryClose(PKT_Socket *socket)
{
    if (!socket)
        return;
    {
        Hub &h = hub();
        std::lock_guard lock(h.mutex);
        std::erase(h.sockets, socket);
    }
    delete socket;
}

int memoryLinks(const char *choice, PKT_Link *out, size_t capacity)
{
    return copyEntries(markChosen(systemLinks(), choice), out, capacity);
}

int memoryOpenFamilies(uint16_t port, const PKT_Address *groups, size_t groupCount, uint32_t families,
                       const char *choice, int receiveBuffer, PKT_Socket **out)
{
    if (const int rc = contract::checkOpenFamilies(groups, groupCount, families, out); rc != 0)
        return rc;
    return openSocket(port, groups, groupCount, families, choice, receiveBuffer, true, out);
}

int memoryRechoose(PKT_Socket *socket, const char *choice)
{
    if (!socket)
        return -EINVAL;
    Side v4 = socket->v4, v6 = socket->v6;
    for (const auto &[side, family] : {std::pair{&v4, uint8_t(PKT_FAMILY_V4)}, {&v6, uint8_t(PKT_FAMILY_V6)}}) {
        if (side->open)
            choose(*side, family, choice);
    }
    std::lock_guard lock(hub().mutex);
    socket->v4 = std::move(v4);
    socket->v6 = std::move(v6);
    return int(interfacesOf(*socket).size());
}

constexpr PKT_Driver driver = {
    PKT_DRIVER_VERSION,
    sizeof(PKT_Driver),
    memoryInterfaces,
    memoryOpen,
    memorySend,
    memoryReceive,
    memoryWake,
    memoryReceiveBufferSize,
    memorySocketInterfaces,
    memoryClose,
    memorySendTo,
    memoryLinks,
    memoryOpenFamilies,
    memorySendGroup,
    memorySendToAddress,
    memoryReceiveFrom,
    memoryRechoose,
};

} // namespace

extern "C" const PKT_Driver *PKT_GetDriver(void)
{
    return &driver;
}
