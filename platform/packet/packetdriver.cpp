#include "packetdriver.h"

#include "contract.h"
#include "interfacelist.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#ifndef IP_MULTICAST_ALL
#define IP_MULTICAST_ALL 49
#endif

struct PKT_Socket {
    int fd = -1;
    int wakeFd = -1;
    std::vector<PKT_Interface> interfaces;

    ~PKT_Socket()
    {
        if (fd >= 0)
            ::close(fd);
        if (wakeFd >= 0)
            ::close(wakeFd);
    }
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

int configure(int fd, uint16_t port, int receiveBuffer)
{
    setReceiveBuffer(fd, receiveBuffer);
    // Only this socket's own groups: by default Linux hands every socket on the
    // port the datagrams of any group joined anywhere on the host.
    struct Option {
        int level, option, value;
    };
    static constexpr Option options[] = {
        {SOL_SOCKET, SO_REUSEADDR, 1},
        {SOL_SOCKET, SO_REUSEPORT, 1},
        {IPPROTO_IP, IP_MULTICAST_ALL, 0},
        {IPPROTO_IP, IP_MULTICAST_LOOP, 1},
        {IPPROTO_IP, IP_MULTICAST_TTL, 255},
        {IPPROTO_IP, IP_TTL, 255}, // unicast too: receivers believe only on-link senders
        {IPPROTO_IP, IP_RECVTTL, 1},
        {IPPROTO_IP, IP_PKTINFO, 1},
    };
    for (const Option &o : options) {
        if (const int rc = setInt(fd, o.level, o.option, o.value); rc != 0)
            return rc;
    }
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    return bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0 ? 0 : -errno;
}

int membership(int fd, int option, uint32_t group, const PKT_Interface &iface)
{
    ip_mreqn request {};
    request.imr_multiaddr.s_addr = group;
    request.imr_address.s_addr = iface.addr;
    request.imr_ifindex = static_cast<int>(iface.index);
    return setsockopt(fd, IPPROTO_IP, option, &request, sizeof request) == 0 ? 0 : -errno;
}

// Joins every group on `iface`; on failure leaves the groups joined so far.
int joinAll(int fd, const uint32_t *groups, size_t count, const PKT_Interface &iface)
{
    for (size_t i = 0; i < count; ++i) {
        const int rc = membership(fd, IP_ADD_MEMBERSHIP, groups[i], iface);
        if (rc == -EADDRINUSE)
            continue; // group listed twice
        if (rc != 0) {
            for (size_t j = 0; j < i; ++j)
                membership(fd, IP_DROP_MEMBERSHIP, groups[j], iface);
            return rc;
        }
    }
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
    auto socket = std::make_unique<PKT_Socket>();
    socket->interfaces = chosenInterfaces();
    if (socket->interfaces.empty())
        return -ENODEV;
    socket->fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket->fd < 0)
        return -errno;
    socket->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (socket->wakeFd < 0)
        return -errno;
    if (const int rc = configure(socket->fd, port, receiveBuffer); rc != 0)
        return rc;

    // An interface that refuses a group (gone meanwhile, out of membership
    // slots) is left out rather than failing the whole socket.
    int lastError = 0;
    std::erase_if(socket->interfaces, [&](const PKT_Interface &iface) {
        const int rc = joinAll(socket->fd, groups, groupCount, iface);
        if (rc != 0)
            lastError = rc;
        return rc != 0;
    });
    if (socket->interfaces.empty())
        return lastError;
    *out = socket.release();
    return 0;
}

int sendOn(int fd, const sockaddr_in &to, const void *data, size_t size, const PKT_Interface &iface)
{
    // The interface goes with each datagram instead of through
    // IP_MULTICAST_IF, so concurrent senders on one socket cannot race. The
    // source address is fixed too: the kernel would pick another interface's
    // address for a multicast leaving loopback.
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] {};
    iovec iov {const_cast<void *>(data), size};
    msghdr message {};
    message.msg_name = const_cast<sockaddr_in *>(&to);
    message.msg_namelen = sizeof to;
    message.msg_iov = &iov;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr *header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info {};
    info.ipi_ifindex = static_cast<int>(iface.index);
    info.ipi_spec_dst.s_addr = iface.addr;
    std::memcpy(CMSG_DATA(header), &info, sizeof info);
    ssize_t sent;
    do {
        sent = sendmsg(fd, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 ? -errno : 0;
}

int driverSend(PKT_Socket *socket, uint32_t group, uint16_t port, const void *data, size_t size, uint32_t ifIndex)
{
    if (const int rc = contract::checkSend(socket, group, port, data, size); rc != 0)
        return rc;
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = group;
    to.sin_port = htons(port);
    int sentOn = 0;
    int lastError = -ENODEV;
    for (const PKT_Interface &iface : socket->interfaces) {
        if (ifIndex != 0 && iface.index != ifIndex)
            continue;
        if (const int rc = sendOn(socket->fd, to, data, size, iface); rc == 0)
            ++sentOn;
        else
            lastError = rc;
    }
    return sentOn > 0 ? sentOn : lastError;
}

int64_t nowMs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void readControl(msghdr &message, PKT_RecvInfo &info)
{
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != IPPROTO_IP)
            continue;
        if (c->cmsg_type == IP_TTL && c->cmsg_len >= CMSG_LEN(sizeof(int))) {
            int ttl;
            std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
            info.ttl = ttl;
        } else if (c->cmsg_type == IP_PKTINFO && c->cmsg_len >= CMSG_LEN(sizeof(in_pktinfo))) {
            in_pktinfo pktinfo;
            std::memcpy(&pktinfo, CMSG_DATA(c), sizeof pktinfo);
            info.ifIndex = static_cast<uint32_t>(pktinfo.ipi_ifindex);
            info.destAddr = pktinfo.ipi_addr.s_addr;
        }
    }
}

// One datagram that poll() announced; -EAGAIN when it was gone after all.
int readDatagram(int fd, void *buffer, size_t capacity, PKT_RecvInfo &info)
{
    sockaddr_in from {};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int)) + CMSG_SPACE(sizeof(in_pktinfo)) + 64];
    iovec iov {buffer, capacity};
    msghdr message {};
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
    info = PKT_RecvInfo {};
    info.ttl = -1;
    if (message.msg_namelen >= sizeof from && from.sin_family == AF_INET) {
        info.sourceAddr = from.sin_addr.s_addr;
        info.sourcePort = ntohs(from.sin_port);
    }
    readControl(message, info);
    if (message.msg_flags & MSG_TRUNC)
        return -EMSGSIZE;
    return static_cast<int>(n);
}

int driverReceive(PKT_Socket *socket, void *buffer, size_t capacity, int timeoutMs, PKT_RecvInfo *info)
{
    if (const int rc = contract::checkReceive(socket, buffer, capacity); rc != 0)
        return rc;
    capacity = std::min<size_t>(capacity, INT_MAX);
    PKT_RecvInfo scratch;
    PKT_RecvInfo &result = info ? *info : scratch;
    const int64_t deadline = timeoutMs < 0 ? -1 : nowMs() + timeoutMs;
    for (;;) {
        int wait = -1;
        if (deadline >= 0)
            wait = static_cast<int>(std::max<int64_t>(0, deadline - nowMs()));
        pollfd fds[2] = {{socket->wakeFd, POLLIN, 0}, {socket->fd, POLLIN, 0}};
        const int ready = poll(fds, 2, wait);
        if (ready < 0 && errno != EINTR)
            return -errno;
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            eventfd_t drained;
            eventfd_read(socket->wakeFd, &drained);
            return -ECANCELED;
        }
        if (ready > 0 && (fds[1].revents & (POLLIN | POLLERR))) {
            const int rc = readDatagram(socket->fd, buffer, capacity, result);
            if (rc != -EAGAIN)
                return rc;
        }
        if (deadline >= 0 && nowMs() >= deadline)
            return -ETIMEDOUT;
    }
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
    return getsockopt(socket->fd, SOL_SOCKET, SO_RCVBUF, &size, &length) == 0 ? size : -errno;
}

int driverSocketInterfaces(PKT_Socket *socket, PKT_Interface *out, size_t capacity)
{
    if (!socket)
        return -EINVAL;
    return copyInterfaces(socket->interfaces, out, capacity);
}

void driverClose(PKT_Socket *socket)
{
    delete socket;
}

int driverSendTo(PKT_Socket *socket, uint32_t addr, uint16_t port, const void *data, size_t size)
{
    if (const int rc = contract::checkSendTo(socket, addr, port, data, size); rc != 0)
        return rc;
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = addr;
    to.sin_port = htons(port);
    ssize_t sent;
    do {
        sent = sendto(socket->fd, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 ? -errno : 0;
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
};

} // namespace

extern "C" const PKT_Driver *PKT_GetDriver(void)
{
    return &driver;
}
