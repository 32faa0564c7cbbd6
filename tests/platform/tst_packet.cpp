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
