#include "netlinkmessages.h"

#include <vexa/address.h>
#include <deviceside/deviceinfo.h>

#include <netlink/netlink.h>
#include <netlink/route/addr.h>
#include <netlink/route/link.h>
#include <netlink/route/route.h>

#include <arpa/inet.h>
#include <linux/if_addr.h>
#include <linux/rtnetlink.h>

#include <cstring>

namespace agent {

namespace {

struct AddrPut {
    void operator()(nl_addr *addr) const { nl_addr_put(addr); }
};
using Addr = std::unique_ptr<nl_addr, AddrPut>;

uint32_t maskOf(unsigned prefix)
{
    return htonl(prefix == 0 ? 0 : ~uint32_t(0) << (32 - prefix));
}

Addr ipv4Addr(const std::string &text, unsigned prefix)
{
    const auto value = deviceside::parseIpv4(text);
    if (!value)
        return nullptr;
    Addr addr(nl_addr_build(AF_INET, &*value, sizeof *value));
    if (addr)
        nl_addr_set_prefixlen(addr.get(), int(prefix));
    return addr;
}

} // namespace

std::string formatAddr(nl_addr *address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (!address || !inet_ntop(nl_addr_get_family(address), nl_addr_get_binary_addr(address), text, sizeof text))
        return {};
    return text;
}

rtnl_nexthop *defaultNexthop(rtnl_route *route, int family, int index)
{
    if (rtnl_route_get_family(route) != family || rtnl_route_get_table(route) != RT_TABLE_MAIN ||
        rtnl_route_get_type(route) != RTN_UNICAST || nl_addr_get_prefixlen(rtnl_route_get_dst(route)) != 0 ||
        rtnl_route_get_nnexthops(route) < 1)
        return nullptr;
    rtnl_nexthop *hop = rtnl_route_nexthop_n(route, 0);
    return index == 0 || rtnl_route_nh_get_ifindex(hop) == index ? hop : nullptr;
}

bool isIpv4Of(rtnl_addr *address, int index)
{
    return rtnl_addr_get_ifindex(address) == index && rtnl_addr_get_family(address) == AF_INET;
}

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

std::shared_ptr<rtnl_addr> addressRequest(int index, const deviceside::NetworkState &state)
{
    const unsigned prefix = deviceside::maskPrefix(state.ipv4Mask);
    const Addr local = ipv4Addr(state.ipv4Addr, prefix);
    return local ? addressRequest(index, local.get(), prefix) : nullptr;
}

std::shared_ptr<rtnl_route> defaultRouteRequest(int index, const std::string &gateway)
{
    const Addr via = ipv4Addr(gateway, 32);
    const Addr any = ipv4Addr("0.0.0.0", 0);
    if (!via || !any)
        return nullptr;
    std::shared_ptr<rtnl_route> route(rtnl_route_alloc(), rtnl_route_put);
    if (!route)
        return nullptr;
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
    return route;
}

std::optional<InterfaceState> interfaceFrom(nl_cache *links, nl_cache *addrs, nl_cache *routes, const std::string &name,
                                            std::string &error)
{
    InterfaceState s;
    if (name.empty()) {
        forEach<rtnl_route>(routes, [&](rtnl_route *route) {
            if (rtnl_nexthop *hop = defaultNexthop(route, AF_INET, 0); hop && s.index == 0)
                s.index = rtnl_route_nh_get_ifindex(hop);
        });
        if (s.index == 0) {
            error = "no interface named and no IPv4 default route to choose one by";
            return std::nullopt;
        }
    } else {
        s.index = rtnl_link_name2i(links, name.c_str());
        if (s.index == 0) {
            error = "no interface " + name;
            return std::nullopt;
        }
    }
    rtnl_link *link = rtnl_link_get(links, s.index);
    if (!link) {
        error = "interface " + std::to_string(s.index) + " vanished";
        return std::nullopt;
    }
    s.name = rtnl_link_get_name(link);
    nl_addr *hw = rtnl_link_get_addr(link);
    if (hw && nl_addr_get_len(hw) == 6) {
        vexa::wire::Mac mac;
        std::memcpy(mac.data(), nl_addr_get_binary_addr(hw), mac.size());
        // Loopback reports six zero bytes: no identity a tool could tell the device by.
        if (mac != vexa::wire::Mac{})
            s.mac = vexa::address::formatMac(mac);
    }
    rtnl_link_put(link);
    if (s.mac.empty()) {
        error = "interface " + s.name + " has no MAC address";
        return std::nullopt;
    }

    deviceside::NetworkState &n = s.network;
    bool haveV4 = false;
    forEach<rtnl_addr>(addrs, [&](rtnl_addr *a) {
        if (rtnl_addr_get_ifindex(a) != s.index)
            return;
        const unsigned flags = rtnl_addr_get_flags(a);
        // The primary address (the first, never a secondary one) is the device's address.
        if (rtnl_addr_get_family(a) == AF_INET && !haveV4 && !(flags & IFA_F_SECONDARY)) {
            haveV4 = true;
            n.ipv4Addr = formatAddr(rtnl_addr_get_local(a));
            n.ipv4Mask = deviceside::formatIpv4(maskOf(unsigned(rtnl_addr_get_prefixlen(a))));
            // A leased address expires; a static one is permanent.
            n.dhcpOn = (flags & IFA_F_PERMANENT) ? 0 : 1;
        } else if (rtnl_addr_get_family(a) == AF_INET6 && !s.hasIpv6 && rtnl_addr_get_scope(a) == RT_SCOPE_UNIVERSE &&
                   !(flags & (IFA_F_TENTATIVE | IFA_F_DEPRECATED))) {
            s.hasIpv6 = true;
            n.ipv6Addr = deviceside::canonicalIpv6(formatAddr(rtnl_addr_get_local(a))).value_or(std::string());
            n.ipv6PrefixLen = uint8_t(rtnl_addr_get_prefixlen(a));
        }
    });
    forEach<rtnl_route>(routes, [&](rtnl_route *route) {
        for (int family : {AF_INET, AF_INET6}) {
            rtnl_nexthop *hop = defaultNexthop(route, family, s.index);
            std::string &gateway = family == AF_INET ? n.ipv4Gateway : n.ipv6Gateway;
            if (hop && gateway.empty())
                gateway = formatAddr(rtnl_route_nh_get_gateway(hop));
        }
    });
    if (!n.ipv6Gateway.empty())
        n.ipv6Gateway = deviceside::canonicalIpv6(n.ipv6Gateway).value_or(std::string());
    return s;
}

} // namespace agent
