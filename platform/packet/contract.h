#pragma once

// The argument rules of packetdriver.h, checked alike by every back end before
// it does anything: each returns 0 or the negative errno the table promises.

#include "packetdriver.h"

#include <vector>

namespace contract {

/** The largest UDP payload over IPv4. */
inline constexpr size_t kMaxDatagram = 65507;

bool isMulticast(uint32_t networkOrder);
/** 224.0.0.0/4 or ff00::/8. */
bool isMulticast(const PKT_Address &address);
/** fe80::/10: useless without its scope. */
bool isLinkLocal(const PKT_Address &address);
/** The IPv4 value of a version 2 call as the version 3 form. */
PKT_Address fromV4(uint32_t networkOrder);
/** A version 2 call's groups in the version 3 form. */
std::vector<PKT_Address> fromV4(const uint32_t *groups, size_t count);
/** What a version 2 receive reports of a datagram. */
PKT_RecvInfo toRecvInfo(const PKT_Datagram &datagram);

int checkOpen(const uint32_t *groups, size_t groupCount, PKT_Socket **out);
int checkOpenFamilies(const PKT_Address *groups, size_t groupCount, uint32_t families, PKT_Socket **out);
int checkSend(const PKT_Socket *socket, uint32_t group, uint16_t port, const void *data, size_t size);
int checkSendGroup(const PKT_Socket *socket, const PKT_Address *group, uint16_t port, const void *data, size_t size);
int checkSendTo(const PKT_Socket *socket, uint32_t addr, uint16_t port, const void *data, size_t size);
int checkSendToAddress(const PKT_Socket *socket, const PKT_Address *to, uint16_t port, const void *data, size_t size);
int checkReceive(const PKT_Socket *socket, const void *buffer, size_t capacity);

} // namespace contract
