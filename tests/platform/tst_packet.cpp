// The driver's contract (packetdriver.h), the same cases for every back end.

#include <packet/packetdriver.h>
#include <packet/transport.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <net/if.h>
#include <string>
#include <thread>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>
#include <vector>

namespace {

// A port and groups of the test's own, so a discovery running on the same
// host neither disturbs nor sees these datagrams.
constexpr uint16_t testPort = 39391;
const uint32_t groupA = inet_addr("239.255.77.201");
const uint32_t groupB = inet_addr("239.255.77.202");
constexpr int generousMs = 5000;
constexpr int quietMs = 200;

class PacketDriver : public ::testing::TestWithParam<packet::Backend>
{
protected:
    void SetUp() override
    {
        std::string error;
        m_driver = packet::driver(GetParam(), &error);
        ASSERT_NE(m_driver, nullptr) << error;
        setenv("VEXA_INTERFACES", "lo", 1); // nothing may leave the machine
    }
    void TearDown() override
    {
        for (PKT_Socket *s : m_sockets)
            m_driver->close(s);
        setenv("VEXA_INTERFACES", "lo", 1);
    }

    PKT_Socket *open(std::vector<uint32_t> groups, int receiveBuffer = 0)
    {
        PKT_Socket *socket = nullptr;
        const int rc = m_driver->open(testPort, groups.data(), groups.size(), receiveBuffer, &socket);
        EXPECT_EQ(rc, 0) << strerror(-rc);
        if (socket)
            m_sockets.push_back(socket);
        return socket;
    }

    std::vector<PKT_Interface> interfaces()
    {
        const int count = m_driver->interfaces(nullptr, 0);
        std::vector<PKT_Interface> list(size_t(std::max(count, 0)));
        EXPECT_EQ(m_driver->interfaces(list.data(), list.size()), count);
        return list;
    }

    // The next datagram carrying this process's token, skipping strays.
    int receiveOwn(PKT_Socket *socket, std::string &payload, PKT_RecvInfo &info, int timeoutMs = generousMs)
    {
        char buffer[1500];
        for (;;) {
            const int rc = m_driver->receive(socket, buffer, sizeof buffer, timeoutMs, &info);
            if (rc < 0)
                return rc;
            payload.assign(buffer, size_t(rc));
            if (payload.rfind(token(), 0) == 0)
                return rc;
        }
    }

    static std::string token() { return "tst_packet " + std::to_string(getpid()) + " "; }

    const PKT_Driver *m_driver = nullptr;
    std::vector<PKT_Socket *> m_sockets;
};

TEST_P(PacketDriver, TableHeader)
{
    EXPECT_EQ(m_driver->version, uint32_t(PKT_DRIVER_VERSION));
    EXPECT_EQ(m_driver->structSize, sizeof(PKT_Driver));
}

TEST_P(PacketDriver, LoopbackOnly)
{
    const auto list = interfaces();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_STREQ(list[0].name, "lo");
    EXPECT_EQ(list[0].index, if_nametoindex("lo"));
    EXPECT_EQ(list[0].addr, inet_addr("127.0.0.1"));
    EXPECT_EQ(list[0].netmask, inet_addr("255.0.0.0"));
    EXPECT_TRUE(list[0].flags & PKT_IF_LOOPBACK);
}

struct SelectionCase {
    const char *value;
    size_t count;
};

TEST_P(PacketDriver, InterfaceSelection)
{
    const SelectionCase cases[] = {
        {"lo", 1},
        {" lo ", 1},
        {"nosuch0,lo", 1},
        {"lo,lo,,lo", 1},
        {"nosuch0", 0},
        {"averyveryverylongname,lo", 1},
        {"", 0},
        {",, ,", 0},
    };
    for (const SelectionCase &c : cases) {
        setenv("VEXA_INTERFACES", c.value, 1);
        EXPECT_EQ(interfaces().size(), c.count) << '"' << c.value << '"';
    }
}

TEST_P(PacketDriver, EmptySelectionFailsOpen)
{
    for (const char *value : {"", "nosuch0"}) {
        setenv("VEXA_INTERFACES", value, 1);
        PKT_Socket *socket = reinterpret_cast<PKT_Socket *>(&socket);
        EXPECT_EQ(m_driver->open(testPort, &groupA, 1, 0, &socket), -ENODEV) << value;
        EXPECT_EQ(socket, nullptr);
    }
}

TEST_P(PacketDriver, UnsetSelectionListsSaneInterfaces)
{
    unsetenv("VEXA_INTERFACES"); // enumeration only: nothing is opened or sent
    for (const PKT_Interface &i : interfaces()) {
        EXPECT_NE(i.index, 0u) << i.name;
        EXPECT_TRUE(i.flags & PKT_IF_MULTICAST) << i.name;
        EXPECT_LT(strlen(i.name), size_t(PKT_IFNAME_SIZE));
    }
}

TEST_P(PacketDriver, BothSocketsOnThePortReceiveOneMulticast)
{
    PKT_Socket *first = open({groupA});
    PKT_Socket *second = open({groupA});
    ASSERT_TRUE(first && second);
    const std::string sent = token() + "hello";
    ASSERT_EQ(m_driver->send(first, groupA, testPort, sent.data(), sent.size(), 0), 1);

    for (PKT_Socket *socket : {first, second}) {
        std::string payload;
        PKT_RecvInfo info {};
        ASSERT_EQ(receiveOwn(socket, payload, info), int(sent.size()));
        EXPECT_EQ(payload, sent);
        EXPECT_EQ(info.ttl, 255);
        EXPECT_EQ(info.sourceAddr, inet_addr("127.0.0.1"));
        EXPECT_EQ(info.sourcePort, testPort);
        EXPECT_EQ(info.ifIndex, if_nametoindex("lo"));
        EXPECT_EQ(info.destAddr, groupA);
        // Exactly one copy per socket.
        EXPECT_EQ(receiveOwn(socket, payload, info, quietMs), -ETIMEDOUT);
    }
}

TEST_P(PacketDriver, UnicastArrivesWithTtl255AndItsDestination)
{
    // The only unicast a tool sends (a confirmation at a device's new address) must pass the TTL rule too.
    PKT_Socket *receiver = open({groupA});
    PKT_Socket *sender = open({groupB});
    ASSERT_TRUE(receiver && sender);
    const std::string sent = token() + "unicast";
    const uint32_t local = inet_addr("127.0.0.1");
    ASSERT_EQ(m_driver->sendTo(sender, local, testPort, sent.data(), sent.size()), 0);
    std::string payload;
    PKT_RecvInfo info {};
    // SO_REUSEPORT hands a unicast datagram to one socket of the port: either may hold it.
    int rc = receiveOwn(receiver, payload, info, quietMs);
    if (rc < 0)
        rc = receiveOwn(sender, payload, info);
    ASSERT_EQ(rc, int(sent.size()));
    EXPECT_EQ(info.ttl, 255);
    EXPECT_EQ(info.destAddr, local);

    EXPECT_EQ(m_driver->sendTo(sender, groupA, testPort, sent.data(), sent.size()), -EINVAL);
    EXPECT_EQ(m_driver->sendTo(sender, 0, testPort, sent.data(), sent.size()), -EINVAL);
    EXPECT_EQ(m_driver->sendTo(sender, INADDR_BROADCAST, testPort, sent.data(), sent.size()), -EINVAL);
    EXPECT_EQ(m_driver->sendTo(nullptr, local, testPort, sent.data(), sent.size()), -EINVAL);
}

TEST_P(PacketDriver, SocketHearsOnlyItsOwnGroups)
{
    // Tools and devices share one port and differ only in their group.
    PKT_Socket *onA = open({groupA});
    PKT_Socket *onB = open({groupB, groupB});
    ASSERT_TRUE(onA && onB);
    const std::string sent = token() + "to B";
    ASSERT_EQ(m_driver->send(onA, groupB, testPort, sent.data(), sent.size(), if_nametoindex("lo")), 1);
    std::string payload;
    PKT_RecvInfo info {};
    EXPECT_EQ(receiveOwn(onB, payload, info), int(sent.size()));
    EXPECT_EQ(receiveOwn(onA, payload, info, quietMs), -ETIMEDOUT);
}

TEST_P(PacketDriver, WakeInterruptsBlockingReceive)
{
    PKT_Socket *socket = open({groupA});
    ASSERT_TRUE(socket);
    int rc = 0;
    std::thread receiver([&] {
        char buffer[64];
        rc = m_driver->receive(socket, buffer, sizeof buffer, -1, nullptr);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(quietMs));
    m_driver->wake(socket);
    receiver.join();
    EXPECT_EQ(rc, -ECANCELED);
}

TEST_P(PacketDriver, WakeBeforeReceiveEndsTheNextOneOnly)
{
    PKT_Socket *socket = open({groupA});
    ASSERT_TRUE(socket);
    m_driver->wake(socket);
    m_driver->wake(socket);
    char buffer[64];
    EXPECT_EQ(m_driver->receive(socket, buffer, sizeof buffer, generousMs, nullptr), -ECANCELED);
    EXPECT_EQ(m_driver->receive(socket, buffer, sizeof buffer, quietMs, nullptr), -ETIMEDOUT);
}

TEST_P(PacketDriver, OversizedDatagramIsDroppedNotTruncated)
{
    PKT_Socket *socket = open({groupA});
    ASSERT_TRUE(socket);
    const std::string big = token() + std::string(600, 'x');
    const std::string small = token() + "small";
    ASSERT_EQ(m_driver->send(socket, groupA, testPort, big.data(), big.size(), 0), 1);
    ASSERT_EQ(m_driver->send(socket, groupA, testPort, small.data(), small.size(), 0), 1);

    char buffer[256];
    PKT_RecvInfo info {};
    EXPECT_EQ(m_driver->receive(socket, buffer, sizeof buffer, generousMs, &info), -EMSGSIZE);
    EXPECT_EQ(info.sourceAddr, inet_addr("127.0.0.1"));
    std::string payload;
    EXPECT_EQ(receiveOwn(socket, payload, info), int(small.size()));
    EXPECT_EQ(payload, small);
}

TEST_P(PacketDriver, ReceiveBufferIsReported)
{
    constexpr int wished = 4 << 20;
    PKT_Socket *socket = open({groupA}, wished);
    ASSERT_TRUE(socket);
    const int granted = m_driver->receiveBufferSize(socket);
    EXPECT_GT(granted, 0);
    if (geteuid() == 0) { // SO_RCVBUFFORCE passes the system limit
        EXPECT_GE(granted, wished);
    }
}

TEST_P(PacketDriver, SocketKnowsItsInterfaces)
{
    PKT_Socket *socket = open({groupA});
    ASSERT_TRUE(socket);
    PKT_Interface list[4];
    ASSERT_EQ(m_driver->socketInterfaces(socket, list, 4), 1);
    EXPECT_STREQ(list[0].name, "lo");
}

TEST_P(PacketDriver, BadArgumentsAreRefused)
{
    PKT_Socket *socket = open({groupA});
    ASSERT_TRUE(socket);
    const uint32_t unicast = inet_addr("127.0.0.1");
    PKT_Socket *other = nullptr;
    EXPECT_EQ(m_driver->open(testPort, &unicast, 1, 0, &other), -EINVAL);
    EXPECT_EQ(m_driver->open(testPort, nullptr, 1, 0, &other), -EINVAL);
    EXPECT_EQ(m_driver->open(testPort, &groupA, 1, 0, nullptr), -EINVAL);
    EXPECT_EQ(other, nullptr);

    const char data[] = "x";
    EXPECT_EQ(m_driver->send(socket, unicast, testPort, data, 1, 0), -EINVAL);
    EXPECT_EQ(m_driver->send(socket, groupA, testPort, nullptr, 1, 0), -EINVAL);
    EXPECT_EQ(m_driver->send(socket, groupA, testPort, data, 1, 999999), -ENODEV);
    EXPECT_EQ(m_driver->send(socket, groupA, testPort, data, 70000, 0), -EMSGSIZE);
    EXPECT_EQ(m_driver->send(nullptr, groupA, testPort, data, 1, 0), -EINVAL);
    EXPECT_EQ(m_driver->receive(nullptr, nullptr, 0, 0, nullptr), -EINVAL);
    EXPECT_EQ(m_driver->receive(socket, nullptr, 10, 0, nullptr), -EINVAL);
    EXPECT_EQ(m_driver->receiveBufferSize(nullptr), -EINVAL);
    EXPECT_EQ(m_driver->socketInterfaces(nullptr, nullptr, 0), -EINVAL);
    m_driver->wake(nullptr);
    m_driver->close(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Backends, PacketDriver, ::testing::ValuesIn(packet::backends().begin(), packet::backends().end()),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace

// ---- Version 3: both families, the interface list, the choice and the watch.
// IPv6 needs a link-local address, which loopback lacks: these cases run in a
// network namespace of their own with a veth pair "pa"/"pb" (root only).

namespace {

constexpr uint16_t v6Port = 39394;

PKT_Address v6Group()
{
    PKT_Address a{};
    a.family = PKT_FAMILY_V6;
    inet_pton(AF_INET6, "ff02::7e:c9", a.bytes);
    return a;
}

PKT_Address v4Address(const char *text)
{
    PKT_Address a{};
    a.family = PKT_FAMILY_V4;
    inet_pton(AF_INET, text, a.bytes);
    return a;
}

bool run(const std::string &command)
{
    return std::system(command.c_str()) == 0;
}

class PacketDriverV6 : public ::testing::TestWithParam<packet::Backend>
{
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root for a network namespace of its own";
        m_driver = packet::driver(GetParam());
        ASSERT_NE(m_driver, nullptr);
        m_home = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
        ASSERT_GE(m_home, 0);
        ASSERT_EQ(unshare(CLONE_NEWNET), 0) << strerror(errno); // this thread only, undone in TearDown
        ASSERT_TRUE(run("ip link set lo up && sysctl -qw net.ipv6.conf.default.accept_dad=0"
                        " && ip link add pa type veth peer name pb && ip link set pa up && ip link set pb up"
                        " && ip addr add 10.77.0.1/24 dev pa"));
        m_pa = if_nametoindex("pa");
        // The link-local address comes a moment after the link is up.
        for (int i = 0; i < 100 && !hasLinkLocal("pa"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(hasLinkLocal("pa"));
        unsetenv("VEXA_INTERFACES"); // the namespace holds only the test's interfaces
    }
    void TearDown() override
    {
        for (PKT_Socket *s : m_sockets)
            m_driver->close(s);
        if (m_home >= 0) {
            setns(m_home, CLONE_NEWNET);
            ::close(m_home);
        }
        setenv("VEXA_INTERFACES", "lo", 1);
    }

    std::vector<PKT_Link> links(const char *choice)
    {
        std::vector<PKT_Link> list(16);
        const int count = m_driver->links(choice, list.data(), list.size());
        EXPECT_GE(count, 0);
        list.resize(size_t(std::clamp(count, 0, 16)));
        return list;
    }
    const PKT_Link *link(const std::vector<PKT_Link> &list, const char *name)
    {
        for (const PKT_Link &l : list) {
            if (std::strcmp(l.name, name) == 0)
                return &l;
        }
        return nullptr;
    }
    bool hasLinkLocal(const char *name)
    {
        const auto list = links(nullptr);
        const PKT_Link *l = link(list, name);
        return l && std::any_of(l->addresses, l->addresses + l->addressCount, [](const PKT_LinkAddress &a) {
                   return a.addr.family == PKT_FAMILY_V6 && a.addr.bytes[0] == 0xFE;
               });
    }

    PKT_Socket *open(uint32_t families, const char *choice, int *error = nullptr)
    {
        std::vector<PKT_Address> groups;
        for (const PKT_Address &g : {v6Group(), v4Address("239.255.77.201")}) {
            if (g.family & families)
                groups.push_back(g);
        }
        PKT_Socket *socket = nullptr;
        const int rc = m_driver->openFamilies(v6Port, groups.data(), groups.size(), families, choice, 0, &socket);
        if (error)
            *error = rc;
        else
            EXPECT_EQ(rc, 0) << strerror(-rc);
        if (socket)
            m_sockets.push_back(socket);
        return socket;
    }

    // The next datagram with the test's token, skipping strays (router solicitations and the like never
    // reach a UDP port, but another test's may) and news of the links.
    int receiveOwn(PKT_Socket *socket, std::string &payload, PKT_Datagram &info, int timeoutMs = generousMs)
    {
        char buffer[1500];
        for (;;) {
            const int rc = m_driver->receiveFrom(socket, buffer, sizeof buffer, timeoutMs, &info);
            if (rc == -ENETRESET)
                continue; // news of the namespace's links settling after SetUp: the socket stays as it is
            if (rc < 0)
                return rc;
            payload.assign(buffer, size_t(rc));
            if (payload.rfind("v6 ", 0) == 0)
                return rc;
        }
    }

    const PKT_Driver *m_driver = nullptr;
    std::vector<PKT_Socket *> m_sockets;
    int m_home = -1;
    uint32_t m_pa = 0;
};

TEST_P(PacketDriverV6, LinksCarryAddressesKindAndChoice)
{
    struct Case {
        const char *setting; // VEXA_INTERFACES; null: unset
        const char *choice;
        uint32_t loChosen, paChosen, pbChosen;
    };
    const Case cases[] = {
        // Loopback serves IPv4 only when named; pb has no IPv4 address.
        {nullptr, nullptr, 0, PKT_IF_CHOSEN_V4 | PKT_IF_CHOSEN_V6, PKT_IF_CHOSEN_V6},
        {nullptr, "lo,pb", PKT_IF_CHOSEN_V4, 0, PKT_IF_CHOSEN_V6},
        {nullptr, "nosuch0", 0, 0, 0},
        {"pa", "pb", 0, PKT_IF_CHOSEN_V4 | PKT_IF_CHOSEN_V6, 0}, // the setting has the last word
        {"", "pa", 0, 0, 0},
    };
    for (const Case &c : cases) {
        if (c.setting)
            setenv("VEXA_INTERFACES", c.setting, 1);
        else
            unsetenv("VEXA_INTERFACES");
        const auto list = links(c.choice);
        const PKT_Link *lo = link(list, "lo"), *pa = link(list, "pa"), *pb = link(list, "pb");
        ASSERT_TRUE(lo && pa && pb);
        const uint32_t chosen = PKT_IF_CHOSEN_V4 | PKT_IF_CHOSEN_V6;
        EXPECT_EQ(lo->flags & chosen, c.loChosen) << c.choice;
        EXPECT_EQ(pa->flags & chosen, c.paChosen) << c.choice;
        EXPECT_EQ(pb->flags & chosen, c.pbChosen) << c.choice;
    }
    const auto list = links(nullptr);
    const PKT_Link *lo = link(list, "lo"), *pa = link(list, "pa");
    EXPECT_EQ(lo->kind, uint32_t(PKT_KIND_LOOPBACK));
    EXPECT_EQ(pa->kind, uint32_t(PKT_KIND_VIRTUAL));
    EXPECT_EQ(pa->index, m_pa);
    EXPECT_TRUE(pa->flags & PKT_IF_UP && pa->flags & PKT_IF_HAS_MAC && pa->flags & PKT_IF_MULTICAST);
    bool v4 = false, linkLocal = false;
    for (uint8_t i = 0; i < pa->addressCount; ++i) {
        const PKT_LinkAddress &a = pa->addresses[i];
        if (a.addr.family == PKT_FAMILY_V4) {
            v4 = std::memcmp(a.addr.bytes, v4Address("10.77.0.1").bytes, 4) == 0 && a.prefixLength == 24;
        } else if (a.addr.bytes[0] == 0xFE) {
            linkLocal = a.addr.scope == m_pa && a.prefixLength == 64;
        }
    }
    EXPECT_TRUE(v4);
    EXPECT_TRUE(linkLocal);
    EXPECT_EQ(m_driver->links(nullptr, nullptr, 0), int(list.size()));
}

TEST_P(PacketDriverV6, LinkLocalMulticastAndUnicastKeepTheHopLimitRule)
{
    PKT_Socket *first = open(PKT_FAMILY_V4 | PKT_FAMILY_V6, "pa");
    PKT_Socket *second = open(PKT_FAMILY_V6, "pa");
    ASSERT_TRUE(first && second);
    const std::string sent = "v6 hello";
    const PKT_Address group = v6Group();
    ASSERT_EQ(m_driver->sendGroup(first, &group, v6Port, sent.data(), sent.size(), 0), 1);
    PKT_Address from{};
    for (PKT_Socket *socket : {first, second}) {
        std::string payload;
        PKT_Datagram info{};
        ASSERT_EQ(receiveOwn(socket, payload, info), int(sent.size()));
        EXPECT_EQ(info.hopLimit, 255);
        EXPECT_EQ(info.source.family, PKT_FAMILY_V6);
        EXPECT_EQ(info.source.bytes[0], 0xFE); // the interface's link-local address ...
        EXPECT_EQ(info.source.scope, m_pa);    // ... with the scope that makes it usable
        EXPECT_EQ(info.sourcePort, v6Port);
        EXPECT_EQ(info.ifIndex, m_pa);
        EXPECT_EQ(std::memcmp(info.destination.bytes, group.bytes, 16), 0);
        EXPECT_EQ(receiveOwn(socket, payload, info, quietMs), -ETIMEDOUT) << "one copy only";
        from = info.source;
    }
    // The answer goes back by unicast to the link-local source, scope and all.
    const std::string answer = "v6 answer";
    ASSERT_EQ(m_driver->sendToAddress(second, &from, v6Port, answer.data(), answer.size()), 0);
    std::string payload;
    PKT_Datagram info{};
    int rc = receiveOwn(first, payload, info, quietMs);
    if (rc < 0)
        rc = receiveOwn(second, payload, info);
    ASSERT_EQ(rc, int(answer.size()));
    EXPECT_EQ(info.hopLimit, 255);
    EXPECT_EQ(payload, answer);
    // A version 2 receive hears the IPv4 side only.
    ASSERT_EQ(m_driver->sendGroup(first, &group, v6Port, sent.data(), sent.size(), 0), 1);
    char buffer[64];
    EXPECT_EQ(m_driver->receive(second, buffer, sizeof buffer, quietMs, nullptr), -ETIMEDOUT);
}

TEST_P(PacketDriverV6, BadVersion3ArgumentsAreRefused)
{
    PKT_Socket *v4only = open(PKT_FAMILY_V4, "pa");
    ASSERT_TRUE(v4only);
    PKT_Socket *other = nullptr;
    const PKT_Address group = v6Group(), unicast = v4Address("10.77.0.1");
    EXPECT_EQ(m_driver->openFamilies(v6Port, &group, 1, 0, nullptr, 0, &other), -EINVAL);
    EXPECT_EQ(m_driver->openFamilies(v6Port, &group, 1, 4, nullptr, 0, &other), -EINVAL);
    EXPECT_EQ(m_driver->openFamilies(v6Port, &group, 1, PKT_FAMILY_V4, nullptr, 0, &other), -EINVAL);
    EXPECT_EQ(m_driver->openFamilies(v6Port, &unicast, 1, PKT_FAMILY_V4, nullptr, 0, &other), -EINVAL);
    EXPECT_EQ(m_driver->openFamilies(v6Port, &group, 1, PKT_FAMILY_V6, "nosuch0", 0, &other), -ENODEV);
    EXPECT_EQ(other, nullptr);

    const char data[] = "v6 x";
    PKT_Address linkLocal{};
    linkLocal.family = PKT_FAMILY_V6;
    inet_pton(AF_INET6, "fe80::1", linkLocal.bytes);
    EXPECT_EQ(m_driver->sendToAddress(v4only, &linkLocal, v6Port, data, 4), -EINVAL) << "no scope";
    linkLocal.scope = m_pa;
    EXPECT_EQ(m_driver->sendToAddress(v4only, &linkLocal, v6Port, data, 4), -EAFNOSUPPORT);
    EXPECT_EQ(m_driver->sendGroup(v4only, &group, v6Port, data, 4, 0), -EAFNOSUPPORT);
    EXPECT_EQ(m_driver->sendGroup(v4only, &unicast, v6Port, data, 4, 0), -EINVAL);
    EXPECT_EQ(m_driver->sendGroup(v4only, nullptr, v6Port, data, 4, 0), -EINVAL);
    EXPECT_EQ(m_driver->sendToAddress(v4only, &group, v6Port, data, 4), -EINVAL);
    EXPECT_EQ(m_driver->rechoose(nullptr, nullptr), -EINVAL);
    EXPECT_EQ(m_driver->receiveFrom(nullptr, nullptr, 0, 0, nullptr), -EINVAL);
}

TEST_P(PacketDriverV6, SocketFollowsInterfacesThatComeAndTheChoice)
{
    PKT_Socket *socket = open(PKT_FAMILY_V4 | PKT_FAMILY_V6, nullptr);
    ASSERT_TRUE(socket);
    PKT_Interface list[8];
    ASSERT_EQ(m_driver->socketInterfaces(socket, list, 8), 2); // pa (both), pb (IPv6)

    // A link plugged while the socket waits: the receive says so, rechoose takes it. News of the
    // links settling after SetUp is read first, so that only the plug can be what it reports.
    char buffer[64];
    while (m_driver->receiveFrom(socket, buffer, sizeof buffer, quietMs, nullptr) != -ETIMEDOUT) {
    }
    std::thread plug([] { run("ip link add pc type veth peer name pd && ip link set pc up && ip link set pd up"); });
    int rc = -ETIMEDOUT;
    for (int i = 0; i < 50 && rc != -ENETRESET; ++i)
        rc = m_driver->receiveFrom(socket, buffer, sizeof buffer, 100, nullptr);
    plug.join();
    EXPECT_EQ(rc, -ENETRESET);
    for (int i = 0; i < 100 && !hasLinkLocal("pc"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(m_driver->rechoose(socket, nullptr), 4);
    EXPECT_EQ(m_driver->rechoose(socket, "pa"), 1);
    EXPECT_EQ(m_driver->rechoose(socket, "nosuch0"), 0);

    // Back on pa, it hears its group there again.
    ASSERT_EQ(m_driver->rechoose(socket, "pa"), 1);
    while (m_driver->receiveFrom(socket, buffer, sizeof buffer, 0, nullptr) != -ETIMEDOUT) {
    }
    const std::string sent = "v6 again";
    const PKT_Address group = v6Group();
    ASSERT_EQ(m_driver->sendGroup(socket, &group, v6Port, sent.data(), sent.size(), 0), 1);
    std::string payload;
    PKT_Datagram info{};
    EXPECT_EQ(receiveOwn(socket, payload, info), int(sent.size()));
}

INSTANTIATE_TEST_SUITE_P(Backends, PacketDriverV6, ::testing::ValuesIn(packet::backends().begin(), packet::backends().end()),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
