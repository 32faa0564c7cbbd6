// The packet driver's in-process back end: sockets of one process exchange
// datagrams through memory, on the interfaces the system back end would
// choose, with the same table, the same checks and the same answers. Nothing
// reaches the kernel's network stack, so tests of everything above the driver
// run without a namespace, without root and beside each other.

#include "contract.h"
#include "interfacelist.h"
#include "packetdriver.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <netinet/in.h>
#include <vector>

namespace {

// What a system socket gets when it asks for nothing (net.core.rmem_default).
constexpr int kDefaultReceiveBuffer = 212992;
constexpr uint16_t kFirstFreePort = 49152;

struct Queued {
    std::vector<uint8_t> bytes;
    PKT_RecvInfo info;
};

} // namespace

struct PKT_Socket {
    uint16_t port = 0;
    std::vector<uint32_t> groups;
    std::vector<PKT_Interface> interfaces;
    size_t bufferLimit = 0;
    // Guarded by the hub's mutex.
    std::deque<Queued> queue;
    size_t queuedBytes = 0;
    bool woken = false;
    std::condition_variable changed;

    bool on(uint32_t ifIndex) const
    {
        return std::any_of(interfaces.begin(), interfaces.end(),
                           [ifIndex](const PKT_Interface &i) { return i.index == ifIndex; });
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
void deliver(PKT_Socket &to, const void *data, size_t size, const PKT_RecvInfo &info)
{
    if (to.queuedBytes + size > to.bufferLimit)
        return;
    const auto *bytes = static_cast<const uint8_t *>(data);
    to.queue.push_back({std::vector<uint8_t>(bytes, bytes + size), info});
    to.queuedBytes += size;
    to.changed.notify_one();
}

int memoryInterfaces(PKT_Interface *out, size_t capacity)
{
    return copyInterfaces(chosenInterfaces(), out, capacity);
}

int memoryOpen(uint16_t port, const uint32_t *groups, size_t groupCount, int receiveBuffer, PKT_Socket **out)
{
    if (const int rc = contract::checkOpen(groups, groupCount, out); rc != 0)
        return rc;
    auto *socket = new PKT_Socket;
    socket->interfaces = chosenInterfaces();
    if (socket->interfaces.empty()) {
        delete socket;
        return -ENODEV;
    }
    socket->groups.assign(groups, groups + groupCount);
    socket->bufferLimit = size_t(receiveBuffer > 0 ? receiveBuffer : kDefaultReceiveBuffer);
    Hub &h = hub();
    std::lock_guard lock(h.mutex);
    socket->port = port ? port : h.freePort();
    h.sockets.push_back(socket);
    *out = socket;
    return 0;
}

int memorySend(PKT_Socket *socket, uint32_t group, uint16_t port, const void *data, size_t size, uint32_t ifIndex)
{
    if (const int rc = contract::checkSend(socket, group, port, data, size); rc != 0)
        return rc;
    Hub &h = hub();
    std::lock_guard lock(h.mutex);
    int sentOn = 0;
    for (const PKT_Interface &iface : socket->interfaces) {
        if (ifIndex != 0 && iface.index != ifIndex)
            continue;
        ++sentOn;
        // Multicast loops back to the sender's own host, and so to its own socket.
        const PKT_RecvInfo info{iface.addr, group, iface.index, 255, socket->port, {}};
        for (PKT_Socket *to : h.sockets) {
            if (to->port == port && to->on(iface.index)
                && std::find(to->groups.begin(), to->groups.end(), group) != to->groups.end())
                deliver(*to, data, size, info);
        }
    }
    return sentOn > 0 ? sentOn : -ENODEV;
}

// The interface of `socket` that holds `addr`, loopback holding all of 127/8.
const PKT_Interface *holder(const PKT_Socket &socket, uint32_t addr)
{
    const bool loopbackNet = (ntohl(addr) >> 24) == 127;
    const auto it = std::find_if(socket.interfaces.begin(), socket.interfaces.end(), [&](const PKT_Interface &i) {
        return i.addr == addr || (loopbackNet && (i.flags & PKT_IF_LOOPBACK));
    });
    return it == socket.interfaces.end() ? nullptr : &*it;
}

int memorySendTo(PKT_Socket *socket, uint32_t addr, uint16_t port, const void *data, size_t size)
{
    if (const int rc = contract::checkSendTo(socket, addr, port, data, size); rc != 0)
        return rc;
    Hub &h = hub();
    std::lock_guard lock(h.mutex);
    // Like a unicast to a port several sockets share: one of them receives it.
    for (PKT_Socket *to : h.sockets) {
        const PKT_Interface *arrival = to->port == port ? holder(*to, addr) : nullptr;
        if (!arrival)
            continue;
        const PKT_Interface *own = holder(*socket, arrival->addr);
        const uint32_t source = own ? own->addr : socket->interfaces.front().addr;
        deliver(*to, data, size, PKT_RecvInfo{source, addr, arrival->index, 255, socket->port, {}});
        break;
    }
    return 0; // nobody listening: lost, as a UDP datagram is
}

int memoryReceive(PKT_Socket *socket, void *buffer, size_t capacity, int timeoutMs, PKT_RecvInfo *info)
{
    if (const int rc = contract::checkReceive(socket, buffer, capacity); rc != 0)
        return rc;
    std::unique_lock lock(hub().mutex);
    const auto ready = [socket] { return socket->woken || !socket->queue.empty(); };
    if (timeoutMs < 0)
        socket->changed.wait(lock, ready);
    else if (!socket->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
        return -ETIMEDOUT;
    if (socket->woken) {
        socket->woken = false;
        return -ECANCELED;
    }
    Queued next = std::move(socket->queue.front());
    socket->queue.pop_front();
    socket->queuedBytes -= next.bytes.size();
    if (info)
        *info = next.info;
    if (next.bytes.size() > std::min<size_t>(capacity, INT_MAX))
        return -EMSGSIZE;
    std::copy(next.bytes.begin(), next.bytes.end(), static_cast<uint8_t *>(buffer));
    return int(next.bytes.size());
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
    return socket ? copyInterfaces(socket->interfaces, out, capacity) : -EINVAL;
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
};

} // namespace

extern "C" const PKT_Driver *PKT_GetDriver(void)
{
    return &driver;
}
