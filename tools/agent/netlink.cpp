#include "netlink.h"

#include <address.h>
#include <deviceinfo.h>

#include <netlink/cache.h>
#include <netlink/netlink.h>
#include <netlink/route/addr.h>
#include <netlink/route/link.h>
#include <netlink/route/route.h>
#include <netlink/route/rtnl.h>

#include <arpa/inet.h>
#include <linux/if_addr.h>
#include <linux/rtnetlink.h>

#include <algorithm>
#include <cstring>

namespace agent {

namespace {

// Owners for libnl objects: every one of them is released with its own put/free.
struct CacheFree {
    void operator()(nl_cache *cache) const { nl_cache_free(cache); }
};
using Cache = std::unique_ptr<nl_cache, CacheFree>;
struct AddrPut {
    void operator()(nl_addr *addr) const { nl_addr_put(addr); }
};
using Addr = std::unique_ptr<nl_addr, AddrPut>;

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

template <typename Object, typename Visit>
void forEach(nl_cache *cache, Visit visit)
{
    for (nl_object *o = nl_cache_get_first(cache); o; o = nl_cache_get_next(o))
        visit(reinterpret_cast<Object *>(o));
}

std::string formatAddr(nl_addr *addr)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (!addr || !inet_ntop(nl_addr_get_family(addr), nl_addr_get_binary_addr(addr), text, sizeof text))
        return {};
    return text;
}

uint32_t maskOf(unsigned prefix)
{
    return htonl(prefix == 0 ? 0 : ~uint32_t(0) << (32 - prefix));
}

unsigned prefixOf(const std::string &mask)
{
    const auto value = devsim::parseIpv4(mask);
    return value ? unsigned(__builtin_popcount(*value)) : 0;
}

Addr ipv4Addr(const std::string &text, unsigned prefix)
{
    const auto value = devsim::parseIpv4(text);
    if (!value)
        return nullptr;
    Addr addr(nl_addr_build(AF_INET, &*value, sizeof *value));
    if (addr)
        nl_addr_set_prefixlen(addr.get(), int(prefix));
    return addr;
}

// The main table's default route of `family`, when its (first) next hop uses `index` (0: any).
rtnl_nexthop *defaultNexthop(rtnl_route *route, int family, int index)
{
    if (rtnl_route_get_family(route) != family || rtnl_route_get_table(route) != RT_TABLE_MAIN ||
        rtnl_route_get_type(route) != RTN_UNICAST || nl_addr_get_prefixlen(rtnl_route_get_dst(route)) != 0 ||
        rtnl_route_get_nnexthops(route) < 1)
        return nullptr;
    rtnl_nexthop *hop = rtnl_route_nexthop_n(route, 0);
    return index == 0 || rtnl_route_nh_get_ifindex(hop) == index ? hop : nullptr;
}

bool isIpv4Of(rtnl_addr *a, int index)
{
    return rtnl_addr_get_ifindex(a) == index && rtnl_addr_get_family(a) == AF_INET;
}

std::shared_ptr<void> cloneOf(void *object)
{
    nl_object *copy = nl_object_clone(static_cast<nl_object *>(object));
    if (!copy)
        return nullptr;
    return std::shared_ptr<void>(copy, [](void *o) { nl_object_put(static_cast<nl_object *>(o)); });
}

// The request that puts IPv4 address `local`/`prefix` on `index`, with its broadcast address.
std::shared_ptr<rtnl_addr> addressRequest(int index, nl_addr *local, unsigned prefix)
{
    std::shared_ptr<rtnl_addr> a(rtnl_addr_alloc(), rtnl_addr_put);
    if (!a)
        return nullptr;
    rtnl_addr_set_ifindex(a.get(), index);
    rtnl_addr_set_family(a.get(), AF_INET);
    rtnl_addr_set_local(a.get(), local);
    rtnl_addr_set_prefixlen(a.get(), int(prefix));
    if (prefix < 31 && nl_addr_get_len(local) == 4) {
        uint32_t value;
        std::memcpy(&value, nl_addr_get_binary_addr(local), sizeof value);
        const uint32_t broadcast = value | ~maskOf(prefix);
        Addr b(nl_addr_build(AF_INET, &broadcast, sizeof broadcast));
        rtnl_addr_set_broadcast(a.get(), b.get());
    }
    return a;
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

    InterfaceState s;
    if (name.empty()) {
        forEach<rtnl_route>(routes.get(), [&](rtnl_route *route) {
            if (rtnl_nexthop *hop = defaultNexthop(route, AF_INET, 0); hop && s.index == 0)
                s.index = rtnl_route_nh_get_ifindex(hop);
        });
        if (s.index == 0) {
            error = "no interface named and no IPv4 default route to choose one by";
            return std::nullopt;
        }
    } else {
        s.index = rtnl_link_name2i(links.get(), name.c_str());
        if (s.index == 0) {
            error = "no interface " + name;
            return std::nullopt;
        }
    }
    rtnl_link *link = rtnl_link_get(links.get(), s.index);
    if (!link) {
        error = "interface " + std::to_string(s.index) + " vanished";
        return std::nullopt;
    }
    s.name = rtnl_link_get_name(link);
    nl_addr *hw = rtnl_link_get_addr(link);
    if (hw && nl_addr_get_len(hw) == 6) {
        vexa::wire::Mac mac;
        std::memcpy(mac.data(), nl_addr_get_binary_addr(hw), mac.size());
        s.mac = vexa::address::formatMac(mac);
    }
    rtnl_link_put(link);
    if (s.mac.empty()) {
        error = "interface " + s.name + " has no MAC address";
        return std::nullopt;
    }

    devsim::NetworkState &n = s.network;
    bool haveV4 = false;
    forEach<rtnl_addr>(addrs.get(), [&](rtnl_addr *a) {
        if (rtnl_addr_get_ifindex(a) != s.index)
            return;
        const unsigned flags = rtnl_addr_get_flags(a);
        // The primary address (the first, never a secondary one) is the device's address.
        if (rtnl_addr_get_family(a) == AF_INET && !haveV4 && !(flags & IFA_F_SECONDARY)) {
            haveV4 = true;
            n.ipv4Addr = formatAddr(rtnl_addr_get_local(a));
            n.ipv4Mask = devsim::formatIpv4(maskOf(unsigned(rtnl_addr_get_prefixlen(a))));
            // A leased address expires; a static one is permanent.
            n.dhcpOn = (flags & IFA_F_PERMANENT) ? 0 : 1;
        } else if (rtnl_addr_get_family(a) == AF_INET6 && !s.hasIpv6 && rtnl_addr_get_scope(a) == RT_SCOPE_UNIVERSE &&
                   !(flags & (IFA_F_TENTATIVE | IFA_F_DEPRECATED))) {
            s.hasIpv6 = true;
            n.ipv6Addr = devsim::canonicalIpv6(formatAddr(rtnl_addr_get_local(a))).value_or(std::string());
            n.ipv6PrefixLen = uint8_t(rtnl_addr_get_prefixlen(a));
        }
    });
    forEach<rtnl_route>(routes.get(), [&](rtnl_route *route) {
        for (int family : {AF_INET, AF_INET6}) {
            rtnl_nexthop *hop = defaultNexthop(route, family, s.index);
            std::string &gateway = family == AF_INET ? n.ipv4Gateway : n.ipv6Gateway;
            if (hop && gateway.empty())
                gateway = formatAddr(rtnl_route_nh_get_gateway(hop));
        }
    });
    if (!n.ipv6Gateway.empty())
        n.ipv6Gateway = devsim::canonicalIpv6(n.ipv6Gateway).value_or(std::string());
    return s;
}

bool Netlink::replaceAddress(int index, const devsim::NetworkState &from, const devsim::NetworkState &to,
                             std::string &error)
{
    if (from.ipv4Addr == to.ipv4Addr && from.ipv4Mask == to.ipv4Mask)
        return true;
    const auto build = [index](const devsim::NetworkState &state) -> std::shared_ptr<rtnl_addr> {
        const unsigned prefix = prefixOf(state.ipv4Mask);
        const Addr local = ipv4Addr(state.ipv4Addr, prefix);
        return local ? addressRequest(index, local.get(), prefix) : nullptr;
    };
    // The old address goes first: deleting a primary address would take a
    // new one of the same subnet (a secondary) with it.
    if (!from.ipv4Addr.empty()) {
        if (const auto old = build(from)) {
            const int rc = rtnl_addr_delete(m_socket, old.get(), 0);
            if (rc < 0 && rc != -NLE_NOADDR && rc != -NLE_OBJ_NOTFOUND) {
                error = nlError(("removing " + from.ipv4Addr).c_str(), rc);
                return false;
            }
        }
    }
    const auto next = build(to);
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
    const Addr via = ipv4Addr(gateway, 32);
    const Addr any = ipv4Addr("0.0.0.0", 0);
    if (!via || !any) {
        error = "not an IPv4 gateway: " + gateway;
        return false;
    }
    std::unique_ptr<rtnl_route, void (*)(rtnl_route *)> route(rtnl_route_alloc(), rtnl_route_put);
    rtnl_route_set_family(route.get(), AF_INET);
    rtnl_route_set_table(route.get(), RT_TABLE_MAIN);
    rtnl_route_set_protocol(route.get(), RTPROT_STATIC);
    rtnl_route_set_scope(route.get(), RT_SCOPE_UNIVERSE);
    rtnl_route_set_type(route.get(), RTN_UNICAST);
    rtnl_route_set_dst(route.get(), any.get());
    rtnl_nexthop *hop = rtnl_route_nh_alloc();
    rtnl_route_nh_set_ifindex(hop, index);
    rtnl_route_nh_set_gateway(hop, via.get());
    rtnl_route_add_nexthop(route.get(), hop); // the route owns it now
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
