// The agent's netlink back end without root and without a kernel: recorded
// dumps of a namespace (tests/platform/netlink, made by record.sh) read into
// an interface's state, and the change requests built and read back.

#include "netlinkmessages.h"

#include <gtest/gtest.h>

#include <netlink/cache.h>
#include <netlink/errno.h>
#include <netlink/msg.h>
#include <netlink/netlink.h>
#include <netlink/route/addr.h>
#include <netlink/route/route.h>

#include <linux/rtnetlink.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

struct CacheFree {
    void operator()(nl_cache *cache) const { nl_cache_free(cache); }
};
using Cache = std::unique_ptr<nl_cache, CacheFree>;

// A cache of `kind` ("route/link", ...) filled from a recorded dump, one message a line in hex.
Cache recorded(const char *file, const char *kind)
{
    nl_cache *cache = nullptr;
    if (nl_cache_alloc_name(kind, &cache) < 0)
        return nullptr;
    Cache owned(cache);
    std::ifstream in(std::string(NETLINK_RECORDINGS) + "/" + file);
    for (std::string line; std::getline(in, line);) {
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i + 1 < line.size(); i += 2)
            bytes.push_back(uint8_t(std::stoul(line.substr(i, 2), nullptr, 16)));
        if (bytes.size() < sizeof(nlmsghdr))
            return nullptr;
        nl_msg *message = nlmsg_convert(reinterpret_cast<nlmsghdr *>(bytes.data()));
        if (message)
            nlmsg_set_proto(message, NETLINK_ROUTE);
        const int rc = message ? nl_cache_parse_and_add(cache, message) : -1;
        nlmsg_free(message);
        // A dump may name one route twice (per-interface multicast routes, say): the cache keeps one.
        if (rc < 0 && rc != -NLE_EXIST)
            return nullptr;
    }
    return owned;
}

struct InterfaceCase {
    const char *name;
    const char *asked;
    const char *found; // nullptr: refused
    const char *mac;
    const char *ipv4;
    const char *mask;
    const char *gateway;
    int dhcpOn;
    const char *ipv6;
    uint8_t ipv6Prefix;
    const char *ipv6Gateway;
    const char *error; // part of the refusal
};

class RecordedDumps : public ::testing::TestWithParam<InterfaceCase>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_links = recorded("links.hex", "route/link"));
        ASSERT_TRUE(m_addrs = recorded("addrs.hex", "route/addr"));
        ASSERT_TRUE(m_routes = recorded("routes.hex", "route/route"));
    }
    Cache m_links, m_addrs, m_routes;
};

TEST_P(RecordedDumps, InterfaceStateAsTheKernelReportsIt)
{
    const InterfaceCase &c = GetParam();
    std::string error;
    const auto s = agent::interfaceFrom(m_links.get(), m_addrs.get(), m_routes.get(), c.asked, error);
    if (!c.found) {
        EXPECT_FALSE(s);
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        return;
    }
    ASSERT_TRUE(s) << error;
    EXPECT_EQ(s->name, c.found);
    EXPECT_GT(s->index, 0);
    EXPECT_EQ(s->mac, c.mac);
    EXPECT_EQ(s->network.ipv4Addr, c.ipv4);
    EXPECT_EQ(s->network.ipv4Mask, c.mask);
    EXPECT_EQ(s->network.ipv4Gateway, c.gateway);
    EXPECT_EQ(s->network.dhcpOn, c.dhcpOn);
    EXPECT_EQ(s->network.ipv6Addr, c.ipv6);
    EXPECT_EQ(s->network.ipv6PrefixLen, c.ipv6Prefix);
    EXPECT_EQ(s->network.ipv6Gateway, c.ipv6Gateway);
    EXPECT_EQ(s->hasIpv6, *c.ipv6 != '\0');
    EXPECT_EQ(s->network.port, 0) << "the kernel does not know the port";
}

INSTANTIATE_TEST_SUITE_P(
    Agent, RecordedDumps,
    ::testing::Values(
        // The primary address, not the secondary 10.9.8.8 of the same subnet; a static one.
        InterfaceCase{"named", "veth-t0", "veth-t0", "02:00:00:00:0a:07", "10.9.8.7", "255.255.255.0", "10.9.8.1", 0,
                      "2001:db8::7", 64, "2001:db8::1", ""},
        InterfaceCase{"by_default_route", "", "veth-t0", "02:00:00:00:0a:07", "10.9.8.7", "255.255.255.0",
                      "10.9.8.1", 0, "2001:db8::7", 64, "2001:db8::1", ""},
        // A leased address expires: DHCP. Its link-local IPv6 address is no address to report.
        InterfaceCase{"leased_no_route", "veth-t1", "veth-t1", "02:00:00:00:0a:08", "10.7.0.5", "255.255.0.0", "", 1,
                      "", 0, "", ""},
        InterfaceCase{"unknown", "nosuch0", nullptr, "", "", "", "", 0, "", 0, "", "no interface nosuch0"},
        // Loopback's hardware address is six zero bytes: no device identity to announce.
        InterfaceCase{"loopback", "lo", nullptr, "", "", "", "", 0, "", 0, "", "has no MAC address"}),
    [](const auto &info) { return std::string(info.param.name); });

// A request as the kernel would receive it, parsed back by libnl itself.
template <typename Object>
std::shared_ptr<Object> readBack(nl_msg *message)
{
    std::shared_ptr<Object> parsed;
    nlmsg_set_proto(message, NETLINK_ROUTE);
    nl_msg_parse(
        message,
        [](nl_object *object, void *into) {
            nl_object_get(object);
            static_cast<std::shared_ptr<Object> *>(into)->reset(reinterpret_cast<Object *>(object),
                                                                [](Object *o) { nl_object_put(OBJ_CAST(o)); });
        },
        &parsed);
    nlmsg_free(message);
    return parsed;
}

std::string text(nl_addr *address)
{
    return address ? agent::formatAddr(address) : std::string("-");
}

struct AddressCase {
    const char *addr, *mask;
    bool built;
    unsigned prefix;
    const char *broadcast; // "-": none
};

class AddressRequest : public ::testing::TestWithParam<AddressCase>
{
};

TEST_P(AddressRequest, CarriesAddressPrefixAndBroadcast)
{
    const AddressCase &c = GetParam();
    deviceside::NetworkState state;
    state.ipv4Addr = c.addr;
    state.ipv4Mask = c.mask;
    const auto request = agent::addressRequest(7, state);
    ASSERT_EQ(bool(request), c.built);
    if (!request)
        return;
    nl_msg *message = nullptr;
    ASSERT_EQ(rtnl_addr_build_add_request(request.get(), NLM_F_REPLACE, &message), 0);
    EXPECT_EQ(nlmsg_hdr(message)->nlmsg_type, RTM_NEWADDR);
    const auto parsed = readBack<rtnl_addr>(message);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(rtnl_addr_get_ifindex(parsed.get()), 7);
    EXPECT_TRUE(agent::isIpv4Of(parsed.get(), 7));
    EXPECT_EQ(text(rtnl_addr_get_local(parsed.get())), c.addr);
    EXPECT_EQ(unsigned(rtnl_addr_get_prefixlen(parsed.get())), c.prefix);
    EXPECT_EQ(text(rtnl_addr_get_broadcast(parsed.get())), c.broadcast);
}

INSTANTIATE_TEST_SUITE_P(Agent, AddressRequest,
                         ::testing::Values(AddressCase{"192.168.5.20", "255.255.255.0", true, 24, "192.168.5.255"},
                                           AddressCase{"10.1.2.3", "255.255.0.0", true, 16, "10.1.255.255"},
                                           // point-to-point links have no broadcast address
                                           AddressCase{"10.0.0.1", "255.255.255.254", true, 31, "-"},
                                           AddressCase{"10.0.0.1", "255.255.255.255", true, 32, "-"},
                                           AddressCase{"192.168.5", "255.255.255.0", false, 0, ""},
                                           AddressCase{"", "255.255.255.0", false, 0, ""}));

TEST(RouteRequest, IsAStaticDefaultRouteOfTheMainTableThroughTheInterface)
{
    EXPECT_FALSE(agent::defaultRouteRequest(7, "10.9.8"));
    EXPECT_FALSE(agent::defaultRouteRequest(7, "2001:db8::1")) << "IPv4 only";
    const auto request = agent::defaultRouteRequest(7, "10.9.8.1");
    ASSERT_TRUE(request);
    nl_msg *message = nullptr;
    ASSERT_EQ(rtnl_route_build_add_request(request.get(), NLM_F_CREATE | NLM_F_REPLACE, &message), 0);
    EXPECT_EQ(nlmsg_hdr(message)->nlmsg_type, RTM_NEWROUTE);
    const auto parsed = readBack<rtnl_route>(message);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(rtnl_route_get_protocol(parsed.get()), RTPROT_STATIC);
    rtnl_nexthop *hop = agent::defaultNexthop(parsed.get(), AF_INET, 7);
    ASSERT_NE(hop, nullptr);
    EXPECT_EQ(text(rtnl_route_nh_get_gateway(hop)), "10.9.8.1");
    // What the agent would later find as this interface's default route, and no other's.
    EXPECT_EQ(agent::defaultNexthop(parsed.get(), AF_INET, 0), hop);
    EXPECT_EQ(agent::defaultNexthop(parsed.get(), AF_INET, 8), nullptr);
    EXPECT_EQ(agent::defaultNexthop(parsed.get(), AF_INET6, 7), nullptr);
}

} // namespace
