// The way into the packet driver: the back end setting, the checks of a
// driver's table, the interface choice every back end shares, and the
// address type the layers above carry.

#include <packet/interfacelist.h>
#include <packet/netaddress.h>
#include <packet/packetdriver.h>
#include <packet/transport.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

using packet::Address;

// ---- Back end setting and table checks

struct BackendCase {
    const char *setting; // nullptr: unset
    const char *backend; // nullptr: none
};

class BackendSetting : public ::testing::TestWithParam<BackendCase>
{
};

TEST_P(BackendSetting, NamesOneBackendOrNone)
{
    const BackendCase &c = GetParam();
    const auto backend = packet::backendNamed(c.setting);
    ASSERT_EQ(backend.has_value(), c.backend != nullptr);
    if (backend) {
        EXPECT_EQ(backend->name, c.backend);
    }
}

INSTANTIATE_TEST_SUITE_P(Transport, BackendSetting,
                         ::testing::Values(BackendCase{nullptr, "system"}, BackendCase{"", "system"},
                                           BackendCase{"system", "system"}, BackendCase{"memory", "memory"},
                                           // no guessing: a near miss must not reach the real network
                                           BackendCase{"Memory", nullptr}, BackendCase{"memory ", nullptr},
                                           BackendCase{"udp", nullptr}));

int noInterfaces(PKT_Interface *, size_t)
{
    return 0;
}

struct TableCase {
    const char *name;
    uint32_t version;
    uint32_t structSize;
    const char *problem; // nullptr: accepted
};

class DriverTable : public ::testing::TestWithParam<TableCase>
{
};

TEST_P(DriverTable, IsAcceptedOnlyWhenNewAndLongEnough)
{
    const TableCase &c = GetParam();
    PKT_Driver table{};
    table.version = c.version;
    table.structSize = c.structSize;
    table.interfaces = noInterfaces;
    const std::string problem = packet::checkDriver(&table);
    if (!c.problem) {
        EXPECT_EQ(problem, "");
    } else {
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Transport, DriverTable,
    ::testing::Values(TableCase{"current", PKT_DRIVER_VERSION, sizeof(PKT_Driver), nullptr},
                      TableCase{"newer and longer", PKT_DRIVER_VERSION + 1, sizeof(PKT_Driver) + 8, nullptr},
                      TableCase{"version 1", 1, sizeof(PKT_Driver), "version 1"},
                      // a driver claiming the version but built with a shorter table lacks entries
                      TableCase{"short table", PKT_DRIVER_VERSION, sizeof(PKT_Driver) - sizeof(void *), "bytes"},
                      TableCase{"zero", 0, 0, "version 0"}),
    [](const auto &info) {
        std::string name = info.param.name;
        for (char &c : name)
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST(Transport, NoTableIsRefused)
{
    EXPECT_NE(packet::checkDriver(nullptr), "");
}

TEST(Transport, SettingPicksTheBackendAndAnUnknownOneLoadsNothing)
{
    std::string error;
    unsetenv(packet::kBackendSetting);
    const PKT_Driver *system = packet::driver(&error);
    ASSERT_NE(system, nullptr) << error;
    EXPECT_EQ(system, packet::driver(*packet::backendNamed("system")));

    setenv(packet::kBackendSetting, "memory", 1);
    const PKT_Driver *memory = packet::driver(&error);
    ASSERT_NE(memory, nullptr) << error;
    EXPECT_NE(memory, system);

    setenv(packet::kBackendSetting, "loopback", 1);
    EXPECT_EQ(packet::driver(&error), nullptr);
    EXPECT_NE(error.find("VEXA_TRANSPORT=loopback"), std::string::npos) << error;
    unsetenv(packet::kBackendSetting);

    EXPECT_EQ(packet::driver(packet::Backend{"missing", "PACKET_NOSUCH.dll"}, &error), nullptr);
    EXPECT_NE(error.find("PACKET_NOSUCH.dll"), std::string::npos) << error;
}

TEST(Transport, SocketSpeaksAddressesOverTheMemoryBackend)
{
    const PKT_Driver *driver = packet::driver(*packet::backendNamed("memory"));
    ASSERT_NE(driver, nullptr);
    const Address group = Address::v4HostOrder(0xEFFF4DC9); // 239.255.77.201
    int error = 0;
    auto socket = packet::Socket::open(driver, 39392, std::span(&group, 1), 0, &error);
    ASSERT_TRUE(socket) << std::strerror(-error);
    const uint8_t hello[] = {'h', 'i'};
    ASSERT_EQ(socket->send(group, 39392, hello), 1);
    uint8_t buffer[16];
    packet::Received info;
    ASSERT_EQ(socket->receive(buffer, 1000, info), 2);
    EXPECT_EQ(info.source, Address::v4HostOrder(0x7F000001));
    EXPECT_EQ(info.destination, group);
    EXPECT_EQ(info.ttl, 255);

    // A socket serves the families of its groups: IPv6 on an IPv4 one is refused, never truncated;
    // a socket of both opens on loopback, which serves IPv4 alone (it has no link-local address).
    const std::array<uint8_t, 16> v6{0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0C};
    EXPECT_EQ(socket->send(Address::v6(v6, 1), 39392, hello), -EAFNOSUPPORT);
    EXPECT_EQ(socket->sendTo(Address(), 39392, hello), -EAFNOSUPPORT);
    const Address mixed[] = {group, Address::v6(v6)};
    auto both = packet::Socket::open(driver, 39393, mixed, 0, &error);
    ASSERT_TRUE(both) << std::strerror(-error);
    EXPECT_EQ(both->send(Address::v6(v6), 39393, hello), -ENODEV);
    EXPECT_EQ(both->send(group, 39393, hello), 1);
    EXPECT_EQ(packet::Socket::open(driver, 39392, std::array{Address()}, 0, &error), nullptr);
    EXPECT_EQ(error, -EAFNOSUPPORT);
    ASSERT_EQ(socket->interfaces().size(), 1u);
    EXPECT_STREQ(socket->interfaces()[0].name, "lo");
}

// ---- The interface choice every back end shares

PKT_Interface candidate(const char *name, uint32_t index, bool multicast)
{
    PKT_Interface i{};
    std::strncpy(i.name, name, sizeof i.name - 1);
    i.index = index;
    i.addr = htonl(0x0A000000 + index);
    i.flags = multicast ? PKT_IF_MULTICAST : 0;
    return i;
}

struct ChoiceCase {
    const char *name;
    const char *setting; // nullptr: VEXA_INTERFACES unset
    std::vector<std::string> chosen;
};

class InterfaceChoice : public ::testing::TestWithParam<ChoiceCase>
{
};

TEST_P(InterfaceChoice, SettingHasTheLastWord)
{
    const std::vector<PKT_Interface> candidates{candidate("lo", 1, false), candidate("eth0", 2, true),
                                                candidate("wlan0", 3, true), candidate("tun0", 4, false)};
    std::vector<std::string> chosen;
    for (const PKT_Interface &i : chooseInterfaces(candidates, GetParam().setting))
        chosen.emplace_back(i.name);
    EXPECT_EQ(chosen, GetParam().chosen);
}

INSTANTIATE_TEST_SUITE_P(
    Transport, InterfaceChoice,
    ::testing::Values(ChoiceCase{"unset_takes_multicast_ones", nullptr, {"eth0", "wlan0"}},
                      ChoiceCase{"named_without_multicast_flag", "lo", {"lo"}},
                      ChoiceCase{"order_as_named", "wlan0,eth0", {"wlan0", "eth0"}},
                      ChoiceCase{"spaces_and_repeats", " tun0 ,tun0,, eth0", {"tun0", "eth0"}},
                      ChoiceCase{"unknown_names_skipped", "nosuch0,eth0", {"eth0"}},
                      ChoiceCase{"too_long_to_exist", "averyveryverylongname,lo", {"lo"}},
                      ChoiceCase{"empty_chooses_none", "", {}},
                      ChoiceCase{"only_separators", ",, ,", {}},
                      // a name must match whole: no prefixes
                      ChoiceCase{"no_prefix_match", "eth", {}}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- The address type

TEST(Address, Ipv4FormsAgree)
{
    const Address fromHost = Address::v4HostOrder(0xC0A80A17);
    const Address fromNetwork = Address::v4NetworkOrder(inet_addr("192.168.10.23"));
    const std::array<uint8_t, 4> bytes{192, 168, 10, 23};
    EXPECT_EQ(fromHost, fromNetwork);
    EXPECT_EQ(fromHost, Address::v4(bytes));
    EXPECT_EQ(fromHost.v4HostOrder(), 0xC0A80A17u);
    EXPECT_EQ(fromHost.v4NetworkOrder(), inet_addr("192.168.10.23"));
    EXPECT_EQ(fromHost.v4Bytes(), bytes);
    EXPECT_EQ(fromHost.toString(), "192.168.10.23");
    // IPv4-mapped, so the bytes are a valid IPv6 form for a dual-stack socket.
    EXPECT_EQ(fromHost.bytes()[10], 0xFF);
    EXPECT_EQ(fromHost.bytes()[11], 0xFF);
    EXPECT_EQ(fromHost.bytes()[12], 192);
}

struct AddressCase {
    const char *name;
    Address address;
    const char *text;
    bool multicast;
    bool unspecified;
};

class AddressKinds : public ::testing::TestWithParam<AddressCase>
{
};

const std::array<uint8_t, 16> kLinkLocal{0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0x02, 0x11, 0x22, 0xFF, 0xFE, 0x33, 0x44, 0x55};
const std::array<uint8_t, 16> kAllNodes{0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
const std::array<uint8_t, 16> kMappedLooking{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 127, 0, 0, 1};

TEST_P(AddressKinds, TextAndKind)
{
    const AddressCase &c = GetParam();
    EXPECT_EQ(c.address.toString(), c.text);
    EXPECT_EQ(c.address.isMulticast(), c.multicast);
    EXPECT_EQ(c.address.isUnspecified(), c.unspecified);
}

INSTANTIATE_TEST_SUITE_P(
    Transport, AddressKinds,
    ::testing::Values(AddressCase{"none", Address(), "", false, false},
                      AddressCase{"v4_any", Address::v4HostOrder(0), "0.0.0.0", false, true},
                      AddressCase{"v4_group", Address::v4HostOrder(0xEFFF4D01), "239.255.77.1", true, false},
                      AddressCase{"v4_last_group", Address::v4HostOrder(0xEFFFFFFF), "239.255.255.255", true, false},
                      AddressCase{"v4_above_groups", Address::v4HostOrder(0xF0000001), "240.0.0.1", false, false},
                      AddressCase{"v6_link_local_scoped", Address::v6(kLinkLocal, 3), "fe80::211:22ff:fe33:4455%3",
                                  false, false},
                      AddressCase{"v6_all_nodes", Address::v6(kAllNodes, 2), "ff02::1%2", true, false},
                      AddressCase{"v6_any", Address::v6(std::array<uint8_t, 16>{}), "::", false, true}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Address, FamilyAndScopeTellAddressesApart)
{
    // The same bytes as an IPv4 address and as an IPv6 one are two addresses,
    // and a link-local address on two links is two peers.
    const Address v4 = Address::v4HostOrder(0x7F000001);
    const Address v6 = Address::v6(kMappedLooking);
    EXPECT_EQ(v4.bytes(), v6.bytes());
    EXPECT_NE(v4, v6);
    EXPECT_EQ(v6.v4HostOrder(), 0u); // an IPv6 address has no IPv4 value, whatever its bytes
    EXPECT_NE(Address::v6(kLinkLocal, 2), Address::v6(kLinkLocal, 3));
    EXPECT_EQ(Address::v6(kLinkLocal, 2), Address::v6(kLinkLocal, 2));

    const std::unordered_set<Address, packet::AddressHash> set{v4, v6, Address::v6(kLinkLocal, 2),
                                                               Address::v6(kLinkLocal, 3), Address()};
    EXPECT_EQ(set.size(), 5u);
    EXPECT_TRUE(set.count(Address::v4NetworkOrder(inet_addr("127.0.0.1"))));
}

TEST(Address, OrderIsByFamilyThenValue)
{
    EXPECT_LT(Address(), Address::v4HostOrder(0));
    EXPECT_LT(Address::v4HostOrder(0x0A000002), Address::v4HostOrder(0x0A00000A));
    EXPECT_LT(Address::v4HostOrder(0xFFFFFFFF), Address::v6(kAllNodes));
}

} // namespace
