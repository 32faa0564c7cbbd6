#include "contract.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>

namespace contract {

namespace {

bool isAnyOrBroadcast(const PKT_Address &a)
{
    if (a.family == PKT_FAMILY_V4) {
        uint32_t v;
        std::memcpy(&v, a.bytes, sizeof v);
        return v == 0 || v == INADDR_BROADCAST;
    }
    return std::all_of(a.bytes, a.bytes + 16, [](uint8_t b) { return b == 0; });
}

bool validFamily(const PKT_Address &a)
{
    return a.family == PKT_FAMILY_V4 || a.family == PKT_FAMILY_V6;
}

int checkData(const void *data, size_t size)
{
    if (size > 0 && !data)
        return -EINVAL;
    return size > kMaxDatagram ? -EMSGSIZE : 0;
}

} // namespace

bool isMulticast(uint32_t networkOrder)
{
    return IN_MULTICAST(ntohl(networkOrder));
}

bool isMulticast(const PKT_Address &a)
{
    if (a.family == PKT_FAMILY_V4)
        return (a.bytes[0] & 0xF0) == 0xE0;
    return a.family == PKT_FAMILY_V6 && a.bytes[0] == 0xFF;
}

bool isLinkLocal(const PKT_Address &a)
{
    return a.family == PKT_FAMILY_V6 && a.bytes[0] == 0xFE && (a.bytes[1] & 0xC0) == 0x80;
}

PKT_Address fromV4(uint32_t networkOrder)
{
    PKT_Address a{};
    a.family = PKT_FAMILY_V4;
    std::memcpy(a.bytes, &networkOrder, sizeof networkOrder);
    return a;
}

std::vector<PKT_Address> fromV4(const uint32_t *groups, size_t count)
{
    std::vector<PKT_Address> all;
    for (size_t i = 0; i < count; ++i)
        all.push_back(fromV4(groups[i]));
    return all;
}

PKT_RecvInfo toRecvInfo(const PKT_Datagram &datagram)
{
    PKT_RecvInfo info{};
    if (datagram.source.family == PKT_FAMILY_V4)
        std::memcpy(&info.sourceAddr, datagram.source.bytes, 4);
    if (datagram.destination.family == PKT_FAMILY_V4)
        std::memcpy(&info.destAddr, datagram.destination.bytes, 4);
    info.ifIndex = datagram.ifIndex;
    info.ttl = datagram.hopLimit;
    info.sourcePort = datagram.sourcePort;
    return info;
}

int checkOpen(const uint32_t *groups, size_t groupCount, PKT_Socket **out)
{
    if (!out || (groupCount > 0 && !groups))
        return -EINVAL;
    *out = nullptr;
    return std::all_of(groups, groups + groupCount, [](uint32_t g) { return isMulticast(g); }) ? 0 : -EINVAL;
}

int checkOpenFamilies(const PKT_Address *groups, size_t groupCount, uint32_t families, PKT_Socket **out)
{
    if (!out || (groupCount > 0 && !groups) || families == 0 || (families & ~uint32_t(PKT_FAMILY_V4 | PKT_FAMILY_V6)))
        return -EINVAL;
    *out = nullptr;
    const bool fit = std::all_of(groups, groups + groupCount, [families](const PKT_Address &g) {
        return validFamily(g) && (g.family & families) && isMulticast(g);
    });
    return fit ? 0 : -EINVAL;
}

int checkSend(const PKT_Socket *socket, uint32_t group, uint16_t port, const void *data, size_t size)
{
    if (!socket || !isMulticast(group) || port == 0)
        return -EINVAL;
    return checkData(data, size);
}

int checkSendGroup(const PKT_Socket *socket, const PKT_Address *group, uint16_t port, const void *data, size_t size)
{
    if (!socket || !group || !validFamily(*group) || !isMulticast(*group) || port == 0)
        return -EINVAL;
    return checkData(data, size);
}

int checkSendTo(const PKT_Socket *socket, uint32_t addr, uint16_t port, const void *data, size_t size)
{
    const PKT_Address to = fromV4(addr);
    return checkSendToAddress(socket, &to, port, data, size);
}

int checkSendToAddress(const PKT_Socket *socket, const PKT_Address *to, uint16_t port, const void *data, size_t size)
{
    if (!socket || !to || !validFamily(*to) || isMulticast(*to) || isAnyOrBroadcast(*to) || port == 0
        || (isLinkLocal(*to) && to->scope == 0))
        return -EINVAL;
    return checkData(data, size);
}

int checkReceive(const PKT_Socket *socket, const void *buffer, size_t capacity)
{
    return !socket || (capacity > 0 && !buffer) ? -EINVAL : 0;
}

} // namespace contract
