#include "arpprobe.h"

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if_arp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace agent {

namespace {

// Ethernet and IPv4: 8 bytes of header, then sender MAC and IP, target MAC and IP.
constexpr size_t kArpSize = 28;
constexpr size_t kSenderMac = 8, kSenderIp = 14, kTargetIp = 24;

uint16_t read16(std::span<const uint8_t> b, size_t at)
{
    return uint16_t(b[at] << 8 | b[at + 1]);
}

uint32_t readIp(std::span<const uint8_t> b, size_t at)
{
    uint32_t value;
    std::memcpy(&value, b.data() + at, sizeof value);
    return value; // network order, as given
}

std::array<uint8_t, kArpSize> probeFor(const HardwareAddress &own, uint32_t address)
{
    std::array<uint8_t, kArpSize> p{0, ARPHRD_ETHER, 0x08, 0x00, 6, 4, 0, ARPOP_REQUEST};
    std::copy(own.begin(), own.end(), p.begin() + kSenderMac);
    // Sender IP 0.0.0.0: nobody's cache learns the address from a probe.
    std::memcpy(p.data() + kTargetIp, &address, sizeof address);
    return p;
}

struct Fd {
    int fd;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

bool claimsAddress(std::span<const uint8_t> arp, uint32_t address, const HardwareAddress &own)
{
    if (arp.size() < kArpSize || read16(arp, 0) != ARPHRD_ETHER || read16(arp, 2) != ETH_P_IP || arp[4] != 6
        || arp[5] != 4)
        return false;
    const uint16_t op = read16(arp, 6);
    if ((op != ARPOP_REQUEST && op != ARPOP_REPLY)
        || std::equal(own.begin(), own.end(), arp.begin() + kSenderMac))
        return false;
    // Someone using the address, or probing for it at the same time (RFC 5227 2.1.1).
    const uint32_t sender = readIp(arp, kSenderIp);
    return sender == address || (op == ARPOP_REQUEST && sender == 0 && readIp(arp, kTargetIp) == address);
}

Probe probeAddress(int index, const HardwareAddress &own, uint32_t address, std::chrono::milliseconds wait,
                   std::string &error)
{
    using Clock = std::chrono::steady_clock;
    Probe result;
    const Fd socket{::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, htons(ETH_P_ARP))};
    sockaddr_ll link{};
    link.sll_family = AF_PACKET;
    link.sll_protocol = htons(ETH_P_ARP);
    link.sll_ifindex = index;
    if (socket.fd < 0 || ::bind(socket.fd, reinterpret_cast<sockaddr *>(&link), sizeof link) != 0) {
        error = std::string("ARP probe: ") + std::strerror(errno);
        return result;
    }
    link.sll_halen = 6;
    std::fill_n(link.sll_addr, 6, 0xff);
    const auto probe = probeFor(own, address);
    const auto send = [&] {
        return ::sendto(socket.fd, probe.data(), probe.size(), 0, reinterpret_cast<sockaddr *>(&link), sizeof link)
            == ssize_t(probe.size());
    };
    if (!send()) {
        error = std::string("ARP probe: ") + std::strerror(errno);
        return result;
    }
    result.asked = true;
    const auto start = Clock::now();
    bool second = false;
    for (;;) {
        const auto now = Clock::now();
        if (now >= start + wait)
            return result;
        // The second request halfway: one lost datagram does not hide a claimant.
        if (!second && now >= start + wait / 2) {
            send();
            second = true;
        }
        const auto until = second ? start + wait : start + wait / 2;
        pollfd p{socket.fd, POLLIN, 0};
        ::poll(&p, 1, int(std::chrono::ceil<std::chrono::milliseconds>(until - now).count()));
        std::array<uint8_t, 64> buffer;
        ssize_t n;
        sockaddr_ll from{};
        socklen_t fromSize = sizeof from;
        while ((n = ::recvfrom(socket.fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr *>(&from),
                               &fromSize)) >= 0) {
            const auto arp = std::span<const uint8_t>(buffer).first(size_t(n));
            // Queued before bind() took effect, a packet may come from another link.
            if (from.sll_ifindex == index && claimsAddress(arp, address, own)) {
                result.claimant.emplace();
                std::copy_n(arp.begin() + kSenderMac, 6, result.claimant->begin());
                return result;
            }
            fromSize = sizeof from;
        }
    }
}

} // namespace agent
