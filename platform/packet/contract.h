#pragma once

// The argument rules of packetdriver.h, checked alike by every back end before
// it does anything: each returns 0 or the negative errno the table promises.

#include "packetdriver.h"

namespace contract {

/** The largest UDP payload over IPv4. */
inline constexpr size_t kMaxDatagram = 65507;

bool isMulticast(uint32_t networkOrder);
int checkOpen(const uint32_t *groups, size_t groupCount, PKT_Socket **out);
int checkSend(const PKT_Socket *socket, uint32_t group, uint16_t port, const void *data, size_t size);
int checkSendTo(const PKT_Socket *socket, uint32_t addr, uint16_t port, const void *data, size_t size);
int checkReceive(const PKT_Socket *socket, const void *buffer, size_t capacity);

} // namespace contract
