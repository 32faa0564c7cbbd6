#include "netlink.h"

#include "netlinkmessages.h"


#include <netlink/cache.h>
#include <netlink/netlink.h>
#include <netlink/route/addr.h>
#include <netlink/route/link.h>
#include <netlink/route/route.h>
#include <netlink/route/rtnl.h>

#include <linux/rtnetlink.h>

#include <algorithm>

namespace agent {

namespace {

// Owners for libnl objects: every one of them is released with its own put/free.
struct CacheFree {
    void operator()(nl_cache *cache) const { nl_cache_free(cache); }
};
using Cache = std::unique_ptr<nl_cache, CacheFree>;

std::string nlError(const char *what, int rc)
{
    return std::string(what) + ": " + nl_geterror(rc);
}

Cache allocCache(nl_sock *socket, int (*alloc)(nl_sock *, nl_cache **), std::string &error)
{
    nl_cache *cache = nullptr;
    if (const int rc = alloc(socket, &cache); rc < 0) {
        error = nlError("netlink", rc);
        return nullptr;
    }
    return Cache(cache);
}

int allocLinks(nl_sock *socket, nl_cache **out)
{
    return rtnl_link_alloc_cache(socket, AF_UNSPEC, out);
}

int allocAddrs(nl_sock *socket, nl_cache **out)
{
    return rtnl_addr_alloc_cache(socket, out);
}

int allocRoutes(nl_sock *socket, nl_cache **out)
{
    return rtnl_route_alloc_cache(socket, AF_UNSPEC, 0, out);
}


std::shared_ptr<void> cloneOf(void *object)
{
    nl_object *copy = nl_object_clone(static_cast<nl_object *>(object));
    if (!copy)
        return nullptr;
    return std::shared_ptr<void>(copy, [](void *o) { nl_object_put(static_cast<nl_object *>(o)); });
}

} // namespace

std::unique_ptr<Netlink> Netlink::open(std::string &error)
{
    std::unique_ptr<Netlink> n(new Netlink);
    n->m_socket = nl_socket_alloc();
    n->m_events = nl_socket_alloc();
    if (!n->m_socket || !n->m_events) {
        error = "netlink: out of memory";
        return nullptr;
    }
    if (const int rc = nl_connect(n->m_socket, NETLINK_ROUTE); rc < 0) {
        error = nlError("netlink", rc);
        return nullptr;
    }
    // Events only wake the agent up to read everything afresh: no sequence numbers to follow.
    nl_socket_disable_seq_check(n->m_events);
    nl_socket_modify_cb(
        n->m_events, NL_CB_VALID, NL_CB_CUSTOM, [](nl_msg *, void *) { return int(NL_OK); }, nullptr);
    if (const int rc = nl_connect(n->m_events, NETLINK_ROUTE); rc < 0) {
        error = nlError("netlink events", rc);
        return nullptr;
    }
    nl_socket_add_memberships(n->m_events, RTNLGRP_LINK, RTNLGRP_IPV4_IFADDR, RTNLGRP_IPV6_IFADDR,
                              RTNLGRP_IPV4_ROUTE, RTNLGRP_IPV6_ROUTE, 0);
    nl_socket_set_nonblocking(n->m_events);
    return n;
}

Netlink::~Netlink()
{
    nl_socket_free(m_socket);
    nl_socket_free(m_events);
}

std::optional<InterfaceState> Netlink::read(const std::string &name, std::string &error)
{
    const Cache links = allocCache(m_socket, allocLinks, error);
    const Cache addrs = links ? allocCache(m_socket, allocAddrs, error) : nullptr;
    const Cache routes = addrs ? allocCache(m_socket, allocRoutes, error) : nullptr;
    if (!routes)
        return std::nullopt;
    return interfaceFrom(links.get(), addrs.get(), routes.get(), name, error);
}

bool Netlink::replaceAddress(int index, const deviceside::NetworkState &from, const deviceside::NetworkState &to,
                             std::string &error)
{
    if (from.ipv4Addr == to.ipv4Addr && from.ipv4Mask == to.ipv4Mask)
        return true;
    // The old address goes first: deleting a primary address would take a
    // new one of the same subnet (a secondary) with it.
    if (!from.ipv4Addr.empty()) {
        if (const auto old = addressRequest(index, from)) {
            const int rc = rtnl_addr_delete(m_socket, old.get(), 0);
            if (rc < 0 && rc != -NLE_NOADDR && rc != -NLE_OBJ_NOTFOUND) {
                error = nlError(("removing " + from.ipv4Addr).c_str(), rc);
                return false;
            }
        }
    }
    const auto next = addressRequest(index, to);
    if (!next) {
        error = "not an IPv4 address: " + to.ipv4Addr;
        return false;
    }
    if (const int rc = rtnl_addr_add(m_socket, next.get(), NLM_F_REPLACE); rc < 0) {
        error = nlError(("adding " + to.ipv4Addr).c_str(), rc);
        return false;
    }
    return true;
}

bool Netlink::deleteDefaultRoutes(int index, std::string &error)
{
    const Cache routes = allocCache(m_socket, allocRoutes, error);
    if (!routes)
        return false;
    bool ok = true;
    forEach<rtnl_route>(routes.get(), [&](rtnl_route *route) {
        if (!defaultNexthop(route, AF_INET, index))
            return;
        // Gone already: deleting an address takes the routes through it along.
        if (const int rc = rtnl_route_delete(m_socket, route, 0); rc < 0 && rc != -NLE_OBJ_NOTFOUND) {
            error = nlError("removing the default route", rc);
            ok = false;
        }
    });
    return ok;
}

bool Netlink::replaceDefaultRoute(int index, const std::string &gateway, std::string &error)
{
    if (!deleteDefaultRoutes(index, error))
        return false;
    if (gateway.empty())
        return true;
    const auto route = defaultRouteRequest(index, gateway);
    if (!route) {
        error = "not an IPv4 gateway: " + gateway;
        return false;
    }
    if (const int rc = rtnl_route_add(m_socket, route.get(), NLM_F_CREATE | NLM_F_REPLACE); rc < 0) {
        error = nlError(("default route via " + gateway).c_str(), rc);
        return false;
    }
    return true;
}

bool Netlink::save(int index, std::string &error)
{
    const Cache addrs = allocCache(m_socket, allocAddrs, error);
    const Cache routes = addrs ? allocCache(m_socket, allocRoutes, error) : nullptr;
    if (!routes)
        return false;
    m_savedAddresses.clear();
    m_savedRoutes.clear();
    bool ok = true;
    const auto keep = [&](std::vector<std::shared_ptr<void>> &into, void *object) {
        if (auto copy = cloneOf(object))
            into.push_back(std::move(copy));
        else
            ok = false;
    };
    forEach<rtnl_addr>(addrs.get(), [&](rtnl_addr *a) {
        if (isIpv4Of(a, index))
            keep(m_savedAddresses, a);
    });
    forEach<rtnl_route>(routes.get(), [&](rtnl_route *route) {
        if (defaultNexthop(route, AF_INET, index))
            keep(m_savedRoutes, route);
    });
    if (!ok)
        error = "netlink: out of memory";
    return ok;
}

bool Netlink::restoreSaved(int index, std::string &error)
{
    const Cache addrs = allocCache(m_socket, allocAddrs, error);
    if (!addrs)
        return false;
    bool ok = true;
    const auto failed = [&](const std::string &what, int rc) {
        error = nlError(what.c_str(), rc);
        ok = false;
    };
    const auto saved = [&](rtnl_addr *a) {
        return std::any_of(m_savedAddresses.begin(), m_savedAddresses.end(), [&](const auto &s) {
            auto *kept = static_cast<rtnl_addr *>(s.get());
            return nl_addr_cmp(rtnl_addr_get_local(kept), rtnl_addr_get_local(a)) == 0
                && rtnl_addr_get_prefixlen(kept) == rtnl_addr_get_prefixlen(a);
        });
    };
    // What the change added goes first; a saved address it takes along is added back below.
    forEach<rtnl_addr>(addrs.get(), [&](rtnl_addr *a) {
        if (!isIpv4Of(a, index) || saved(a))
            return;
        if (const int rc = rtnl_addr_delete(m_socket, a, 0); rc < 0 && rc != -NLE_NOADDR && rc != -NLE_OBJ_NOTFOUND)
            failed("removing " + formatAddr(rtnl_addr_get_local(a)), rc);
    });
    for (const auto &s : m_savedAddresses) {
        auto *kept = static_cast<rtnl_addr *>(s.get());
        const auto again = addressRequest(index, rtnl_addr_get_local(kept), unsigned(rtnl_addr_get_prefixlen(kept)));
        if (const int rc = again ? rtnl_addr_add(m_socket, again.get(), NLM_F_REPLACE) : -NLE_NOMEM; rc < 0)
            failed("adding " + formatAddr(rtnl_addr_get_local(kept)) + " back", rc);
    }
    std::string routeError;
    if (!deleteDefaultRoutes(index, routeError)) {
        error = routeError;
        ok = false;
    }
    for (const auto &s : m_savedRoutes) {
        if (const int rc = rtnl_route_add(m_socket, static_cast<rtnl_route *>(s.get()), NLM_F_CREATE | NLM_F_REPLACE);
            rc < 0)
            failed("restoring the default route", rc);
    }
    return ok;
}

bool Netlink::eventsArrived()
{
    bool any = false;
    int rc;
    while ((rc = nl_recvmsgs_default(m_events)) >= 0)
        any = true;
    return any || rc != -NLE_AGAIN; // an overrun lost events: read everything afresh
}

} // namespace agent
