#pragma once

// The agent's rtnetlink messages without a socket: what the kernel's dumps
// (links, addresses, routes) say about one interface, and the requests that
// change its IPv4 address and default route. Netlink sends and receives
// them; the tests feed them recorded dumps and read the requests back.

#include "netlink.h"

#include <netlink/cache.h>

#include <memory>
#include <optional>
#include <string>

struct nl_addr;
struct nl_cache;
struct rtnl_addr;
struct rtnl_nexthop;
struct rtnl_route;

namespace agent {

/** Visits every object of a cache as the type the cache holds. */
template <typename Object, typename Visit>
void forEach(nl_cache *cache, Visit visit)
{
    for (nl_object *o = nl_cache_get_first(cache); o; o = nl_cache_get_next(o))
        visit(reinterpret_cast<Object *>(o));
}


/** The named interface, or with an empty name the one holding the IPv4 default route; nothing
 *  with the reason in `error` when there is none or it has no MAC address. */
std::optional<InterfaceState> interfaceFrom(nl_cache *links, nl_cache *addrs, nl_cache *routes,
                                            const std::string &name, std::string &error);

/** The main table's default route of `family`, when its (first) next hop uses `index` (0: any). */
rtnl_nexthop *defaultNexthop(rtnl_route *route, int family, int index);
bool isIpv4Of(rtnl_addr *address, int index);
std::string formatAddr(nl_addr *address);

/** The request that puts IPv4 address `local`/`prefix` on `index`, with its broadcast address. */
std::shared_ptr<rtnl_addr> addressRequest(int index, nl_addr *local, unsigned prefix);
/** The same for the address and mask of `state`; null when they are not IPv4. */
std::shared_ptr<rtnl_addr> addressRequest(int index, const deviceside::NetworkState &state);
/** The static default route via `gateway` on `index`; null when it is not an IPv4 address. */
std::shared_ptr<rtnl_route> defaultRouteRequest(int index, const std::string &gateway);

} // namespace agent
