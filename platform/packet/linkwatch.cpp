#include "linkwatch.h"

#include <netlink/netlink.h>
#include <netlink/socket.h>

#include <linux/rtnetlink.h>

namespace packet {

std::unique_ptr<LinkWatch> LinkWatch::open()
{
    std::unique_ptr<LinkWatch> watch(new LinkWatch);
    watch->m_socket = nl_socket_alloc();
    if (!watch->m_socket)
        return nullptr;
    // Events only say "read everything afresh": no sequence numbers to follow, no message to parse.
    nl_socket_disable_seq_check(watch->m_socket);
    nl_socket_modify_cb(
        watch->m_socket, NL_CB_VALID, NL_CB_CUSTOM, [](nl_msg *, void *) { return int(NL_OK); }, nullptr);
    if (nl_connect(watch->m_socket, NETLINK_ROUTE) < 0
        || nl_socket_add_memberships(watch->m_socket, RTNLGRP_LINK, RTNLGRP_IPV4_IFADDR, RTNLGRP_IPV6_IFADDR, 0) < 0
        || nl_socket_set_nonblocking(watch->m_socket) < 0)
        return nullptr;
    return watch;
}

LinkWatch::~LinkWatch()
{
    nl_socket_free(m_socket);
}

int LinkWatch::fd() const
{
    return nl_socket_get_fd(m_socket);
}

bool LinkWatch::drain()
{
    bool any = false;
    int rc;
    while ((rc = nl_recvmsgs_default(m_socket)) >= 0)
        any = true;
    return any || rc != -NLE_AGAIN; // an overrun lost events: read everything afresh
}

} // namespace packet
