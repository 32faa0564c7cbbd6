// The serve loop the simulator and the agent share, over the in-process
// transport: a tool played by the test (inside the loop's own hook, so that
// everything runs on one thread) asks, the loop's devices answer.

#include <deviceside/generator.h>
#include <deviceside/serveloop.h>
#include <deviceside/simulator.h>
#include <deviceside/statefile.h>

#include <vexa/address.h>
#include <vexa/crypto.h>
#include <packet/transport.h>
#include <vexa/wire.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <set>

namespace {

using namespace deviceside;
namespace wire = vexa::wire;
using std::chrono::milliseconds;

constexpr size_t kDevices = 12;

class ServeLoopTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(vexa::crypto::init());
        setenv("VEXA_INTERFACES", "lo", 1);
        m_driver = packet::driver(*packet::backendNamed("memory"));
        ASSERT_NE(m_driver, nullptr);
        int error = 0;
        m_tool = packet::Socket::open(m_driver, wire::kPort, std::span(&vexa::address::kToolGroup, 1), 0, &error);
        ASSERT_TRUE(m_tool) << error;
        std::vector<DeviceEntry> devices;
        for (DeviceInfo &info : generateDevices(kDevices, 7))
            devices.push_back({std::move(info), std::nullopt, Protocols::Vxdp, {}});
        Simulator::Config config;
        config.bootAnnounce = false; // only answers reach the tool
        m_loop = std::make_unique<ServeLoop>(m_driver, 1 << 16);
        m_engine = std::make_unique<Simulator>(config, std::move(devices), m_state,
                                               [this](std::span<const uint8_t> d) { m_loop->send(d); });
        std::string why;
        ASSERT_TRUE(m_engine->init(why)) << why;
    }

    void TearDown() override { setenv("VEXA_INTERFACES", "lo", 1); }

    void inquire()
    {
        const wire::Bytes inquiry = wire::encode(wire::Inquiry{m_toolId, 20});
        ASSERT_EQ(m_tool->send(vexa::address::kDeviceGroup, wire::kPort, inquiry), 1);
    }

    // The serial numbers that answered this tool's inquiries so far, read without waiting.
    void collect()
    {
        std::array<uint8_t, wire::kMaxDatagram> buffer;
        packet::Received info;
        for (int n; (n = m_tool->receive(buffer, 0, info)) >= 0;) {
            const auto message = wire::decode(std::span(buffer).first(size_t(n)));
            const auto *a = message ? std::get_if<wire::Announce>(&*message) : nullptr;
            if (a && a->reason == wire::AnnounceReason::InquiryAnswer && a->toolId == m_toolId) {
                ++m_answers;
                m_answered.insert(a->info.serial);
                EXPECT_EQ(info.ttl, wire::kRequiredTtl);
            }
        }
    }

    const PKT_Driver *m_driver = nullptr;
    std::unique_ptr<packet::Socket> m_tool;
    StateFile m_state;
    std::unique_ptr<ServeLoop> m_loop;
    std::unique_ptr<Simulator> m_engine;
    wire::ToolId m_toolId = vexa::crypto::randomArray<wire::kToolIdSize>();
    std::set<std::string> m_answered;
    size_t m_answers = 0;
    volatile std::sig_atomic_t m_stop = 0;
};

TEST_F(ServeLoopTest, EveryDeviceAnswersAnInquiryOnce)
{
    ASSERT_EQ(m_loop->open(), 0);
    m_engine->start(Clock::now());
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    bool asked = false;
    size_t turns = 0;
    m_loop->run(*m_engine, m_stop, [&](Clock::time_point now) {
        ++turns;
        if (!std::exchange(asked, true))
            inquire();
        collect();
        return m_answered.size() < kDevices && now < deadline;
    });
    EXPECT_EQ(m_answered.size(), kDevices);
    EXPECT_EQ(m_answers, kDevices) << "one answer each";
    EXPECT_GT(turns, 1u);
}

TEST_F(ServeLoopTest, WithoutAnInterfaceItTriesAgainEverySecond)
{
    // The agent's case: its interface has no IPv4 address yet, so none is chosen.
    setenv("VEXA_INTERFACES", "", 1);
    EXPECT_EQ(m_loop->open(), -ENODEV);
    setenv("VEXA_INTERFACES", "lo", 1);
    m_engine->start(Clock::now());
    const auto start = Clock::now();
    std::optional<Clock::duration> answeredAfter;
    m_loop->run(*m_engine, m_stop, [&](Clock::time_point now) {
        inquire(); // every turn: the ones sent before the socket existed are lost
        collect();
        if (!m_answered.empty() && !answeredAfter)
            answeredAfter = now - start;
        return !answeredAfter && now - start < std::chrono::seconds(5);
    });
    ASSERT_TRUE(answeredAfter) << "never opened again";
    EXPECT_GE(*answeredAfter, ServeLoop::kReopenInterval - milliseconds(100));
}

TEST_F(ServeLoopTest, AReopenedSocketStillServes)
{
    ASSERT_EQ(m_loop->open(), 0);
    m_engine->start(Clock::now());
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    int phase = 0;
    m_loop->run(*m_engine, m_stop, [&](Clock::time_point now) {
        collect();
        if (phase == 0) {
            inquire();
            phase = 1;
        } else if (phase == 1 && m_answered.size() == kDevices) {
            // The address changed: a new socket before the next receive, the same devices on it.
            m_loop->reopenSoon();
            m_answered.clear();
            m_toolId[0] ^= 1;
            phase = 2;
        } else if (phase == 2) {
            inquire(); // what reached the old socket is gone with it
            phase = 3;
        }
        return !(phase == 3 && m_answered.size() == kDevices) && now < deadline;
    });
    EXPECT_EQ(phase, 3);
    EXPECT_EQ(m_answered.size(), kDevices);
}

TEST_F(ServeLoopTest, AStopAlreadySetEndsItBeforeAnyWork)
{
    ASSERT_EQ(m_loop->open(), 0);
    m_stop = 1;
    int turns = 0;
    m_loop->run(*m_engine, m_stop, [&](Clock::time_point) { return ++turns < 100; });
    EXPECT_EQ(turns, 0);
}

} // namespace
