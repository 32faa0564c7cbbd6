#include "contract.h"

#include <algorithm>
#include <cerrno>
#include <netinet/in.h>

namespace contract {

bool isMulticast(uint32_t networkOrder)
{
    return IN_MULTICAST(ntohl(networkOrder));
}

int checkOpen(const uint32_t *groups, size_t groupCount, PKT_Socket **out)
{
    if (!out || (groupCount > 0 && !groups))
        return -EINVAL;
    *out = nullptr;
    return std::all_of(groups, groups + groupCount, isMulticast) ? 0 : -EINVAL;
}

int checkSend(const PKT_Socket *socket, uint32_t group, uint16_t port, const void *data, size_t size)
{
    if (!socket || (size > 0 && !data) || !isMulticast(group) || port == 0)
        return -EINVAL;
    return size > kMaxDatagram ? -EMSGSIZE : 0;
}

int checkSendTo(const PKT_Socket *socket, uint32_t addr, uint16_t port, const void *data, size_t size)
{
    if (!socket || (size > 0 && !data) || isMulticast(addr) || addr == 0 || addr == INADDR_BROADCAST || port == 0)
        return -EINVAL;
    return size > kMaxDatagram ? -EMSGSIZE : 0;
}

int checkReceive(const PKT_Socket *socket, const void *buffer, size_t capacity)
{
    return !socket || (capacity > 0 && !buffer) ? -EINVAL : 0;
}

} // namespace contract
