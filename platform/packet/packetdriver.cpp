#include "packetdriver.h"

#include "contract.h"
#include "interfacelist.h"
#include "linkwatch.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <span>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#ifndef IP_MULTICAST_ALL
#define IP_MULTICAST_ALL 49
#endif
#ifndef IPV6_MULTICAST_ALL
#define IPV6_MULTICAST_ALL 29
#endif

namespace {

// One family of a socket: its descriptor, the interfaces chosen for it and the groups it joins there.
struct Side {
    int fd = -1;
    std::vector<PKT_Interface> interfaces;
    std::vector<PKT_Address> groups;

    ~Side()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

struct PKT_Socket {
    std::mutex mutex; // guards the sides' interface lists: rechoose runs while other threads send
    Side v4, v6;
    int wakeFd = -1;
    std::unique_ptr<packet::LinkWatch> watch; // sockets of openFamilies only
    bool v6First = false; // alternates which family a receive reads first

    ~PKT_Socket()
    {
        if (wakeFd >= 0)
            ::close(wakeFd);
    }
    Side *side(uint8_t family) { return family == PKT_FAMILY_V4 ? &v4 : family == PKT_FAMILY_V6 ? &v6 : nullptr; }
};

namespace {

int setInt(int fd, int level, int option, int value)
{
    return setsockopt(fd, level, option, &value, sizeof value) == 0 ? 0 : -errno;
}

void setReceiveBuffer(int fd, int bytes)
{
    // FORCE passes rmem_max when we hold CAP_NET_ADMIN; otherwise the kernel
    // clamps the plain request, which receiveBufferSize then reports.
    if (bytes > 0 && setInt(fd, SOL_SOCKET, SO_RCVBUFFORCE, bytes) != 0)
        setInt(fd, SOL_SOCKET, SO_RCVBUF, bytes);
}

struct Option {
    int level, option, value;
};

// Only this socket's own groups: by default Linux hands every socket on the
// port the datagrams of any group joined anywhere on the host. Hop limit 255
// for unicast too: receivers believe only on-link senders.
constexpr Option kOptionsV4[] = {
    {SOL_SOCKET, SO_REUSEADDR, 1},     {SOL_SOCKET, SO_REUSEPORT, 1},     {IPPROTO_IP, IP_MULTICAST_ALL, 0},
    {IPPROTO_IP, IP_MULTICAST_LOOP, 1}, {IPPROTO_IP, IP_MULTICAST_TTL, 255}, {IPPROTO_IP, IP_TTL, 255},
    {IPPROTO_IP, IP_RECVTTL, 1},       {IPPROTO_IP, IP_PKTINFO, 1},
};
constexpr Option kOptionsV6[] = {
    {IPPROTO_IPV6, IPV6_V6ONLY, 1},          {SOL_SOCKET, SO_REUSEADDR, 1},
    {SOL_SOCKET, SO_REUSEPORT, 1},           {IPPROTO_IPV6, IPV6_MULTICAST_ALL, 0},
    {IPPROTO_IPV6, IPV6_MULTICAST_LOOP, 1},  {IPPROTO_IPV6, IPV6_MULTICAST_HOPS, 255},
    {IPPROTO_IPV6, IPV6_UNICAST_HOPS, 255},  {IPPROTO_IPV6, IPV6_RECVHOPLIMIT, 1},
    {IPPROTO_IPV6, IPV6_RECVPKTINFO, 1},
};

// A bound descriptor of `family` with the options above, or a negative errno.
int bindSide(uint8_t family, uint16_t port, int receiveBuffer)
{
    const int fd = ::socket(family == PKT_FAMILY_V4 ? AF_INET : AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -errno;
    setReceiveBuffer(fd, receiveBuffer);
    int rc = 0;
    for (const Option &o : family == PKT_FAMILY_V4 ? std::span<const Option>(kOptionsV4) : std::span<const Option>(kOptionsV6)) {
        if ((rc = setInt(fd, o.level, o.option, o.value)) != 0)
            break;
    }
    if (rc == 0 && family == PKT_FAMILY_V4) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_ANY);
        local.sin_port = htons(port);
        rc = bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0 ? 0 : -errno;
    } else if (rc == 0) {
        sockaddr_in6 local{};
        local.sin6_family = AF_INET6;
        local.sin6_addr = in6addr_any;
        local.sin6_port = htons(port);
        rc = bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0 ? 0 : -errno;
    }
    if (rc != 0) {
        ::close(fd);
        return rc;
    }
    return fd;
}

int membership(const Side &side, bool join, const PKT_Address &group, const PKT_Interface &iface)
{
    if (group.family == PKT_FAMILY_V4) {
        ip_mreqn request{};
        std::memcpy(&request.imr_multiaddr, group.bytes, 4);
        request.imr_address.s_addr = iface.addr;
        request.imr_ifindex = static_cast<int>(iface.index);
        return setsockopt(side.fd, IPPROTO_IP, join ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP, &request,
                          sizeof request) == 0 ? 0 : -errno;
    }
    ipv6_mreq request{};
    std::memcpy(&request.ipv6mr_multiaddr, group.bytes, 16);
    request.ipv6mr_interface = iface.index;
    return setsockopt(side.fd, IPPROTO_IPV6, join ? IPV6_JOIN_GROUP : IPV6_LEAVE_GROUP, &request, sizeof request) == 0
        ? 0 : -errno;
}

// Joins every group of `side` on `iface`; on failure leaves the groups joined so far.
int joinAll(const Side &side, const PKT_Interface &iface)
{
    for (size_t i = 0; i < side.groups.size(); ++i) {
        const int rc = membership(side, true, side.groups[i], iface);
        if (rc == -EADDRINUSE)
            continue; // group listed twice
        if (rc != 0) {
            for (size_t j = 0; j < i; ++j)
                membership(side, false, side.groups[j], iface);
            return rc;
        }
    }
    return 0;
}

bool sameIndex(const PKT_Interface &a, const PKT_Interface &b)
{
    return a.index == b.index;
}

// Brings `side` to the interfaces chosen now: leaves the groups on those
// that went, joins them on those that came. An interface that refuses a
// group (gone meanwhile, out of membership slots) is left out rather than
// failing the whole socket; returns the last such error.
int follow(Side &side, std::vector<PKT_Interface> chosen)
{
    for (const PKT_Interface &old : side.interfaces) {
        if (std::none_of(chosen.begin(), chosen.end(), [&](const PKT_Interface &i) { return sameIndex(i, old); }))
            for (const PKT_Address &group : side.groups)
                membership(side, false, group, old);
    }
    int lastError = 0;
    std::erase_if(chosen, [&](const PKT_Interface &iface) {
        const bool joined = std::any_of(side.interfaces.begin(), side.interfaces.end(),
                                        [&](const PKT_Interface &i) { return sameIndex(i, iface); });
        if (joined)
            return false;
        const int rc = joinAll(side, iface);
        if (rc != 0)
            lastError = rc;
        return rc != 0;
    });
    side.interfaces = std::move(chosen);
    return lastError;
}

int openSocket(uint16_t port, const PKT_Address *groups, size_t groupCount, uint32_t families, const char *choice,
               int receiveBuffer, bool watch, PKT_Socket **out)
{
    auto socket = std::make_unique<PKT_Socket>();
    socket->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (socket->wakeFd < 0)
        return -errno;
    // Watching before choosing: an interface that comes meanwhile is news, not lost.
    if (watch)
        socket->watch = packet::LinkWatch::open();
    int lastError = -ENODEV;
    size_t interfaces = 0;
    for (const uint8_t family : {uint8_t(PKT_FAMILY_V4), uint8_t(PKT_FAMILY_V6)}) {
        if (!(families & family))
            continue;
        Side &side = *socket->side(family);
        std::vector<PKT_Interface> chosen = chosenInterfaces(family, choice);
        // A family whose interfaces may come later still gets its descriptor when
        // the socket follows the system; without that it is left closed.
        if (chosen.empty() && !watch)
            continue;
        std::copy_if(groups, groups + groupCount, std::back_inserter(side.groups),
                     [family](const PKT_Address &g) { return g.family == family; });
        side.fd = bindSide(family, port, receiveBuffer);
        if (side.fd < 0) {
            lastError = side.fd;
            continue;
        }
        // Any free port: the second family takes the first one's, so a peer sees one port whichever it uses.
        sockaddr_storage bound{};
        socklen_t length = sizeof bound;
        if (port == 0 && getsockname(side.fd, reinterpret_cast<sockaddr *>(&bound), &length) == 0)
            port = ntohs(bound.ss_family == AF_INET ? reinterpret_cast<const sockaddr_in &>(bound).sin_port
                                                    : reinterpret_cast<const sockaddr_in6 &>(bound).sin6_port);
        if (const int rc = follow(side, std::move(chosen)); rc != 0)
            lastError = rc;
        interfaces += side.interfaces.size();
    }
    if (interfaces == 0)
        return lastError;
    *out = socket.release();
    return 0;
}

int driverInterfaces(PKT_Interface *out, size_t capacity)
{
    return copyInterfaces(chosenInterfaces(), out, capacity);
}

int driverOpen(uint16_t port, const uint32_t *groups, size_t groupCount, int receiveBuffer, PKT_Socket **out)
{
    if (const int rc = contract::checkOpen(groups, groupCount, out); rc != 0)
        return rc;
    const std::vector<PKT_Address> all = contract::fromV4(groups, groupCount);
    return openSocket(port, all.data(), all.size(), PKT_FAMILY_V4, nullptr, receiveBuffer, false, out);
}

// The interface goes with each datagram instead of through IP_MULTICAST_IF,
// so concurrent senders on one socket cannot race. The IPv4 source address
// is fixed too: the kernel would pick another interface's address for a
// multicast leaving loopback. An IPv6 one is left to the kernel, which takes
// the interface's link-local address once it is usable.
int sendOn(int fd, const sockaddr *to, socklen_t toSize, const void *data, size_t size, const PKT_Interface &iface)
{
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in6_pktinfo))]{};
    iovec iov{const_cast<void *>(data), size};
    msghdr message{};
    message.msg_name = const_cast<sockaddr *>(to);
    message.msg_namelen = toSize;
    message.msg_iov = &iov;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = to->sa_family == AF_INET ? CMSG_SPACE(sizeof(in_pktinfo)) : CMSG_SPACE(sizeof(in6_pktinfo));
    cmsghdr *header = CMSG_FIRSTHDR(&message);
    if (to->sa_family == AF_INET) {
        header->cmsg_level = IPPROTO_IP;
        header->cmsg_type = IP_PKTINFO;
        header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = static_cast<int>(iface.index);
        info.ipi_spec_dst.s_addr = iface.addr;
        std::memcpy(CMSG_DATA(header), &info, sizeof info);
    } else {
        header->cmsg_level = IPPROTO_IPV6;
        header->cmsg_type = IPV6_PKTINFO;
        header->cmsg_len = CMSG_LEN(sizeof(in6_pktinfo));
        in6_pktinfo info{};
        info.ipi6_ifindex = iface.index;
        std::memcpy(CMSG_DATA(header), &info, sizeof info);
    }
    ssize_t sent;
    do {
        sent = sendmsg(fd, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 ? -errno : 0;
}

int sendToGroup(PKT_Socket *socket, const PKT_Address &group, uint16_t port, const void *data, size_t size,
                uint32_t ifIndex)
{
    std::lock_guard lock(socket->mutex);
    Side &side = *socket->side(group.family);
    if (side.fd < 0)
        return -EAFNOSUPPORT;
    int sentOn = 0;
    int lastError = -ENODEV;
    for (const PKT_Interface &iface : side.interfaces) {
        if (ifIndex != 0 && iface.index != ifIndex)
            continue;
        int rc;
        if (group.family == PKT_FAMILY_V4) {
            sockaddr_in to{};
            to.sin_family = AF_INET;
            std::memcpy(&to.sin_addr, group.bytes, 4);
            to.sin_port = htons(port);
            rc = sendOn(side.fd, reinterpret_cast<const sockaddr *>(&to), sizeof to, data, size, iface);
        } else {
            sockaddr_in6 to{};
            to.sin6_family = AF_INET6;
            std::memcpy(&to.sin6_addr, group.bytes, 16);
            to.sin6_port = htons(port);
            to.sin6_scope_id = iface.index;
            rc = sendOn(side.fd, reinterpret_cast<const sockaddr *>(&to), sizeof to, data, size, iface);
        }
        if (rc == 0)
            ++sentOn;
        else
            lastError = rc;
    }
    return sentOn > 0 ? sentOn : lastError;
}

int driverSend(PKT_Socket *socket, uint32_t group, uint16_t port, const void *data, size_t size, uint32_t ifIndex)
{
    if (const int rc = contract::checkSend(socket, group, port, data, size); rc != 0)
        return rc;
    return sendToGroup(socket, contract::fromV4(group), port, data, size, ifIndex);
}

int driverSendGroup(PKT_Socket *socket, const PKT_Address *group, uint16_t port, const void *data, size_t size,
                    uint32_t ifIndex)
{
    if (const int rc = contract::checkSendGroup(socket, group, port, data, size); rc != 0)
        return rc;
    return sendToGroup(socket, *group, port, data, size, ifIndex);
}

int64_t nowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void readControl(msghdr &message, PKT_Datagram &info)
{
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        const bool v4 = c->cmsg_level == IPPROTO_IP;
        if ((v4 && c->cmsg_type == IP_TTL) || (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_HOPLIMIT)) {
            if (c->cmsg_len >= CMSG_LEN(sizeof(int))) {
                int hops;
                std::memcpy(&hops, CMSG_DATA(c), sizeof hops);
                info.hopLimit = hops;
            }
        } else if (v4 && c->cmsg_type == IP_PKTINFO && c->cmsg_len >= CMSG_LEN(sizeof(in_pktinfo))) {
            in_pktinfo pktinfo;
            std::memcpy(&pktinfo, CMSG_DATA(c), sizeof pktinfo);
            info.ifIndex = static_cast<uint32_t>(pktinfo.ipi_ifindex);
            info.destination = contract::fromV4(pktinfo.ipi_addr.s_addr);
        } else if (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_PKTINFO
                   && c->cmsg_len >= CMSG_LEN(sizeof(in6_pktinfo))) {
            in6_pktinfo pktinfo;
            std::memcpy(&pktinfo, CMSG_DATA(c), sizeof pktinfo);
            info.ifIndex = pktinfo.ipi6_ifindex;
            info.destination.family = PKT_FAMILY_V6;
            std::memcpy(info.destination.bytes, &pktinfo.ipi6_addr, 16);
        }
    }
}

// One datagram that poll() announced; -EAGAIN when it was gone after all.
int readDatagram(int fd, void *buffer, size_t capacity, PKT_Datagram &info)
{
    sockaddr_storage from{};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int)) + CMSG_SPACE(sizeof(in6_pktinfo)) + 64];
    iovec iov{buffer, capacity};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &iov;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n;
    do {
        n = recvmsg(fd, &message, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return errno == EWOULDBLOCK ? -EAGAIN : -errno;
    info = PKT_Datagram{};
    info.hopLimit = -1;
    if (from.ss_family == AF_INET && message.msg_namelen >= sizeof(sockaddr_in)) {
        const auto &in = reinterpret_cast<const sockaddr_in &>(from);
        info.source = contract::fromV4(in.sin_addr.s_addr);
        info.sourcePort = ntohs(in.sin_port);
    } else if (from.ss_family == AF_INET6 && message.msg_namelen >= sizeof(sockaddr_in6)) {
        const auto &in6 = reinterpret_cast<const sockaddr_in6 &>(from);
        info.source.family = PKT_FAMILY_V6;
        std::memcpy(info.source.bytes, &in6.sin6_addr, 16);
        info.source.scope = in6.sin6_scope_id;
        info.sourcePort = ntohs(in6.sin6_port);
    }
    readControl(message, info);
    if (message.msg_flags & MSG_TRUNC)
        return -EMSGSIZE;
    return static_cast<int>(n);
}

// Waits for a datagram of either family (or only IPv4: the version 2 call),
// a wake-up or, when `watch`, news of the system's interfaces.
int receiveAny(PKT_Socket *socket, void *buffer, size_t capacity, int timeoutMs, PKT_Datagram &result, bool v3)
{
    capacity = std::min<size_t>(capacity, INT_MAX);
    const int64_t deadline = timeoutMs < 0 ? -1 : nowMs() + timeoutMs;
    const int watchFd = v3 && socket->watch ? socket->watch->fd() : -1;
    for (;;) {
        int wait = -1;
        if (deadline >= 0)
            wait = static_cast<int>(std::max<int64_t>(0, deadline - nowMs()));
        // Families alternate first place, so a flood on one does not starve the other.
        socket->v6First = !socket->v6First;
        const int first = v3 && socket->v6First ? socket->v6.fd : socket->v4.fd;
        const int second = !v3 ? -1 : socket->v6First ? socket->v4.fd : socket->v6.fd;
        pollfd fds[4] = {{socket->wakeFd, POLLIN, 0}, {watchFd, POLLIN, 0}, {first, POLLIN, 0}, {second, POLLIN, 0}};
        const int ready = poll(fds, 4, wait);
        if (ready < 0 && errno != EINTR)
            return -errno;
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            eventfd_t drained;
            eventfd_read(socket->wakeFd, &drained);
            return -ECANCELED;
        }
        if (ready > 0 && (fds[1].revents & POLLIN) && socket->watch->drain())
            return -ENETRESET;
        for (const pollfd &p : {fds[2], fds[3]}) {
            if (ready > 0 && p.fd >= 0 && (p.revents & (POLLIN | POLLERR))) {
                const int rc = readDatagram(p.fd, buffer, capacity, result);
                if (rc != -EAGAIN)
                    return rc;
            }
        }
        if (deadline >= 0 && nowMs() >= deadline)
            return -ETIMEDOUT;
    }
}

int driverReceive(PKT_Socket *socket, void *buffer, size_t capacity, int timeoutMs, PKT_RecvInfo *info)
{
    if (const int rc = contract::checkReceive(socket, buffer, capacity); rc != 0)
        return rc;
    PKT_Datagram datagram{};
    const int rc = receiveAny(socket, buffer, capacity, timeoutMs, datagram, false);
    if (info && (rc >= 0 || rc == -EMSGSIZE))
        *info = contract::toRecvInfo(datagram);
    return rc;
}

int driverReceiveFrom(PKT_Socket *socket, void *buffer, size_t capacity, int timeoutMs, PKT_Datagram *info)
{
    if (const int rc = contract::checkReceive(socket, buffer, capacity); rc != 0)
        return rc;
    PKT_Datagram scratch;
    return receiveAny(socket, buffer, capacity, timeoutMs, info ? *info : scratch, true);
}

void driverWake(PKT_Socket *socket)
{
    if (socket)
        eventfd_write(socket->wakeFd, 1);
}

int driverReceiveBufferSize(PKT_Socket *socket)
{
    if (!socket)
        return -EINVAL;
    int size = 0;
    socklen_t length = sizeof size;
    const int fd = socket->v4.fd >= 0 ? socket->v4.fd : socket->v6.fd;
    return getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &length) == 0 ? size : -errno;
}

// Every interface the socket is on, of either family, each once.
std::vector<PKT_Interface> interfacesOf(PKT_Socket &socket)
{
    std::lock_guard lock(socket.mutex);
    std::vector<PKT_Interface> all = socket.v4.interfaces;
    for (const PKT_Interface &i : socket.v6.interfaces) {
        if (std::none_of(all.begin(), all.end(), [&](const PKT_Interface &a) { return sameIndex(a, i); }))
            all.push_back(i);
    }
    return all;
}

int driverSocketInterfaces(PKT_Socket *socket, PKT_Interface *out, size_t capacity)
{
    if (!socket)
        return -EINVAL;
    return copyInterfaces(interfacesOf(*socket), out, capacity);
}

void driverClose(PKT_Socket *socket)
{
    delete socket;
}

int sendUnicast(PKT_Socket *socket, const PKT_Address &to, uint16_t port, const void *data, size_t size)
{
    const Side &side = *socket->side(to.family);
    if (side.fd < 0)
        return -EAFNOSUPPORT;
    sockaddr_storage address{};
    socklen_t length;
    if (to.family == PKT_FAMILY_V4) {
        auto &in = reinterpret_cast<sockaddr_in &>(address);
        in.sin_family = AF_INET;
        std::memcpy(&in.sin_addr, to.bytes, 4);
        in.sin_port = htons(port);
        length = sizeof in;
    } else {
        auto &in6 = reinterpret_cast<sockaddr_in6 &>(address);
        in6.sin6_family = AF_INET6;
        std::memcpy(&in6.sin6_addr, to.bytes, 16);
        in6.sin6_port = htons(port);
        in6.sin6_scope_id = to.scope;
        length = sizeof in6;
    }
    ssize_t sent;
    do {
        sent = sendto(side.fd, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&address), length);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 ? -errno : 0;
}

int driverSendTo(PKT_Socket *socket, uint32_t addr, uint16_t port, const void *data, size_t size)
{
    if (const int rc = contract::checkSendTo(socket, addr, port, data, size); rc != 0)
        return rc;
    return sendUnicast(socket, contract::fromV4(addr), port, data, size);
}

int driverSendToAddress(PKT_Socket *socket, const PKT_Address *to, uint16_t port, const void *data, size_t size)
{
    if (const int rc = contract::checkSendToAddress(socket, to, port, data, size); rc != 0)
        return rc;
    return sendUnicast(socket, *to, port, data, size);
}

int driverLinks(const char *choice, PKT_Link *out, size_t capacity)
{
    return copyEntries(markChosen(systemLinks(), choice), out, capacity);
}

int driverOpenFamilies(uint16_t port, const PKT_Address *groups, size_t groupCount, uint32_t families,
                       const char *choice, int receiveBuffer, PKT_Socket **out)
{
    if (const int rc = contract::checkOpenFamilies(groups, groupCount, families, out); rc != 0)
        return rc;
    return openSocket(port, groups, groupCount, families, choice, receiveBuffer, true, out);
}

int driverRechoose(PKT_Socket *socket, const char *choice)
{
    if (!socket)
        return -EINVAL;
    for (const uint8_t family : {uint8_t(PKT_FAMILY_V4), uint8_t(PKT_FAMILY_V6)}) {
        Side &side = *socket->side(family);
        if (side.fd < 0)
            continue;
        std::vector<PKT_Interface> chosen = chosenInterfaces(family, choice);
        std::lock_guard lock(socket->mutex);
        follow(side, std::move(chosen));
    }
    return int(interfacesOf(*socket).size());
}

constexpr PKT_Driver driver = {
    PKT_DRIVER_VERSION,
    sizeof(PKT_Driver),
    driverInterfaces,
    driverOpen,
    driverSend,
    driverReceive,
    driverWake,
    driverReceiveBufferSize,
    driverSocketInterfaces,
    driverClose,
    driverSendTo,
    driverLinks,
    driverOpenFamilies,
    driverSendGroup,
    driverSendToAddress,
    driverReceiveFrom,
    driverRechoose,
};

} // namespace

extern "C" const PKT_Driver *PKT_GetDriver(void)
{
    return &driver;
}
