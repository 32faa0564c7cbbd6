// The discovery library, through its C interface only, against the real
// simulator vexa-devsim on loopback: events, requests, replays, lifecycle and
// hostile datagrams.

#include "vexa.h"

#include <vexa/address.h>
#include <vexa/crypto.h>
#include "devsimprocess.h"
#include <packet/packetdriver.h>
#include "vexatestreports.h"
#include <vexa/wire.h>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>

namespace {

using namespace vexa;
using namespace std::chrono_literals;
using devsim::DevsimProcess;
using vexatest::driver;
using vexatest::Reports;

// Generous: only ever waited out when something is broken.
constexpr auto kEventWait = 10s;
// How long "nothing more arrives" is watched for.
constexpr auto kQuietWait = 1500ms;
constexpr const char *kPassword = "demo1234";
constexpr size_t kDeviceCount = 3;

std::string prefix()
{
    return "E2E" + std::to_string(getpid()) + "-";
}

// One device of the test network, as written to the devices file.
struct TestDevice {
    std::string serial, mac, ipv4Addr, ipv4Mask, ipv4Gateway, typeName, softwareVersion, ipv6Addr;
    int typeCode, port, httpPort, channels;
};

// Every simulator started gets devices of its own: the library pins the key
// first heard for a serial and MAC, and a fresh state file means fresh keys.
unsigned g_network = 0;

std::vector<TestDevice> network()
{
    const unsigned pid = unsigned(getpid());
    auto mac = [pid](int last) {
        char text[18];
        std::snprintf(text, sizeof text, "02:%02x:%02x:%02x:%02x:%02x", pid >> 16 & 0xFF, pid >> 8 & 0xFF,
                      pid & 0xFF, g_network & 0xFF, last);
        return std::string(text);
    };
    const std::string serial = prefix() + std::to_string(g_network);
    return {
        {serial + "A", mac(1), "10.20.1.20", "255.255.255.0", "10.20.1.1", "VXC-2120", "V5.0.5 build 210313",
         "fd00:5658:1::20", 0x2011, 8000, 80, 1},
        {serial + "B", mac(2), "10.20.1.21", "255.255.0.0", "10.20.0.1", "NVR-7608", "V4.1.0 build 200101",
         "", 0x3302, 8001, 8080, 8},
        {serial + "C", mac(3), "192.168.1.64", "255.255.255.0", "", "IPC-D1120", "V5.6.1 build 220505", "",
         0x2012, 8002, 81, 1},
    };
}

void writeDevicesFile(const std::string &path)
{
    nlohmann::json devices = nlohmann::json::array();
    for (const TestDevice &s : network()) {
        devices.push_back({{"serialNo", s.serial}, {"macAddr", s.mac}, {"ipv4Addr", s.ipv4Addr},
                           {"ipv4Mask", s.ipv4Mask}, {"ipv4Gateway", s.ipv4Gateway}, {"typeCode", s.typeCode},
                           {"typeName", s.typeName}, {"port", s.port}, {"httpPort", s.httpPort},
                           {"channelCount", s.channels}, {"softwareVersion", s.softwareVersion},
                           {"ipv6Addr", s.ipv6Addr}, {"ipv6PrefixLen", s.ipv6Addr.empty() ? 0 : 64},
                           {"capabilities", s.ipv6Addr.empty() ? 4 : 7}, {"extInfo", 1}});
    }
    std::ofstream(path) << nlohmann::json{{"password", kPassword}, {"devices", devices}}.dump(2);
}

// One report for each device of the network, each with an event code from `events`.
std::map<std::string, VEXA_DEVICE_REPORT> onlineAll(Reports &reports, std::initializer_list<int> events)
{
    std::map<std::string, VEXA_DEVICE_REPORT> seen;
    while (seen.size() < kDeviceCount) {
        const auto r = reports.next();
        if (!r)
            break;
        EXPECT_NE(std::find(events.begin(), events.end(), r->eventCode), events.end())
            << r->serialNo << " event " << r->eventCode;
        EXPECT_TRUE(seen.emplace(r->serialNo, *r).second) << "second report for " << r->serialNo;
    }
    return seen;
}

// A socket of the test's own on both groups: hears what the library and the
// simulator send, and sends raw datagrams of its choosing.
class RawSocket {
public:
    RawSocket()
    {
        const uint32_t groups[] = {address::toNetworkOrder(wire::kDeviceGroup),
                                   address::toNetworkOrder(wire::kToolGroup)};
        EXPECT_EQ(driver()->open(wire::kPort, groups, 2, 1 << 20, &m_socket), 0);
        m_thread = std::thread([this] { run(); });
    }
    ~RawSocket()
    {
        m_stop = true;
        driver()->wake(m_socket);
        m_thread.join();
        driver()->close(m_socket);
    }
    // Called on the socket's thread for every datagram heard, before it is kept.
    void onHeard(std::function<void(const wire::Bytes &)> hook)
    {
        std::lock_guard lock(m_mutex);
        m_hook = std::move(hook);
    }
    void send(uint32_t group, std::span<const uint8_t> datagram)
    {
        EXPECT_GT(driver()->send(m_socket, address::toNetworkOrder(group), wire::kPort, datagram.data(),
                                 datagram.size(), 0),
                  0);
    }
    // Every datagram heard so far of one message type.
    std::vector<wire::Bytes> heard(wire::MsgType type)
    {
        std::lock_guard lock(m_mutex);
        std::vector<wire::Bytes> out;
        for (const auto &d : m_heard) {
            if (wire::peekType(d) == type)
                out.push_back(d);
        }
        return out;
    }

private:
    void run()
    {
        std::vector<uint8_t> buffer(65536);
        while (!m_stop) {
            const int n = driver()->receive(m_socket, buffer.data(), buffer.size(), 200, nullptr);
            if (n > 0) {
                std::lock_guard lock(m_mutex);
                m_heard.emplace_back(buffer.begin(), buffer.begin() + n);
                if (m_hook)
                    m_hook(m_heard.back());
            }
        }
    }

    PKT_Socket *m_socket = nullptr;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<wire::Bytes> m_heard;
    std::function<void(const wire::Bytes &)> m_hook;
    std::thread m_thread;
};

VEXA_NET_PARAM netParam(const char *addr, const char *mask, const char *gateway, uint16_t port)
{
    VEXA_NET_PARAM p{};
    std::snprintf(p.ipv4Addr, sizeof p.ipv4Addr, "%s", addr);
    std::snprintf(p.ipv4Mask, sizeof p.ipv4Mask, "%s", mask);
    std::snprintf(p.ipv4Gateway, sizeof p.ipv4Gateway, "%s", gateway);
    p.port = port;
    return p;
}

// A fresh simulator of the test network with a fresh state file; discovery is
// stopped and the simulator reaped at the end of every test.
class VexaE2E : public ::testing::Test {
protected:
    void SetUp() override { startSimulator({}); }
    void TearDown() override
    {
        VEXA_Stop();
        m_sim.reset();
        std::filesystem::remove_all(m_dir);
    }

    void startSimulator(const std::vector<std::string> &extra)
    {
        char dir[] = "/tmp/tst_vexa_e2e.XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_dir = dir;
        ++g_network;
        writeDevicesFile(m_dir + "/devices.json");
        std::vector<std::string> args = simulatorArgs();
        args.insert(args.end(), extra.begin(), extra.end());
        m_sim = std::make_unique<DevsimProcess>(DevsimProcess::programDir() + "/vexa-devsim", args);
        ASSERT_EQ(m_sim->line(), "ready 3 devices");
    }
    // The devices are already running when discovery starts, so the first report
    // of each is the answer to our inquiry however late the machine schedules them.
    std::vector<std::string> simulatorArgs() const
    {
        return {"--devices", m_dir + "/devices.json", "--state", m_dir + "/state.json", "--no-boot-announce"};
    }
    void restartSimulator(const std::vector<std::string> &extra)
    {
        m_sim.reset();
        std::filesystem::remove_all(m_dir);
        startSimulator(extra);
    }

    // Starts discovery and sends one inquiry.
    void discover()
    {
        ASSERT_EQ(VEXA_Start_V30(&Reports::callback, 0, &m_reports), 1);
        ASSERT_EQ(VEXA_SendInquiry(), 1);
    }

    // The simulator's own view of one device: "SERIAL MAC IPV4 MASK PORT MODE".
    std::string simulatorLine(const std::string &serial)
    {
        std::string found;
        for (std::string line = m_sim->command("list"); !line.empty() && line.rfind("ok list", 0) != 0;
             line = m_sim->line()) {
            if (line.rfind(serial + " ", 0) == 0)
                found = line;
        }
        return found;
    }

    std::string m_dir;
    std::unique_ptr<DevsimProcess> m_sim;
    Reports m_reports{prefix(), kEventWait};
};

TEST_F(VexaE2E, discoversEveryDeviceOnceWithItsFields)
{
    discover();
    const auto seen = onlineAll(m_reports, {VEXA_EVENT_ONLINE});
    ASSERT_EQ(seen.size(), kDeviceCount);
    for (const TestDevice &s : network()) {
        SCOPED_TRACE(s.serial);
        ASSERT_EQ(seen.count(s.serial), 1u);
        const VEXA_DEVICE_REPORT &r = seen.at(s.serial);
        EXPECT_STREQ(r.protocol, "VXDP/1");
        EXPECT_EQ(r.macAddr, s.mac);
        EXPECT_EQ(r.ipv4Addr, s.ipv4Addr);
        EXPECT_EQ(r.ipv4Mask, s.ipv4Mask);
        EXPECT_EQ(r.ipv4Gateway, s.ipv4Gateway.empty() ? "0.0.0.0" : s.ipv4Gateway);
        EXPECT_EQ(r.typeCode, s.typeCode);
        EXPECT_EQ(r.typeName, s.typeName);
        EXPECT_EQ(r.port, s.port);
        EXPECT_EQ(r.extraValue, s.httpPort);
        EXPECT_EQ(r.channelCount, s.channels);
        EXPECT_EQ(r.softwareVersion, s.softwareVersion);
        EXPECT_EQ(r.ipv6Addr, s.ipv6Addr);
        EXPECT_EQ(r.ipv6PrefixLen, s.ipv6Addr.empty() ? 0 : 64);
        EXPECT_EQ(r.extInfo, 1);
        EXPECT_STREQ(r.sourceAddr, "127.0.0.1");
    }
    // Every device has answered: a second inquiry changes nothing.
    ASSERT_EQ(VEXA_SendInquiry(), 1);
    EXPECT_EQ(m_reports.next(kQuietWait), std::nullopt);
}

TEST_F(VexaE2E, modifyWithTheRightPasswordUpdatesAndPersists)
{
    discover();
    ASSERT_EQ(onlineAll(m_reports, {VEXA_EVENT_ONLINE}).size(), kDeviceCount);
    const TestDevice a = network()[0];
    const VEXA_NET_PARAM p = netParam("10.30.0.7", "255.255.0.0", "10.30.0.1", 9000);
    ASSERT_EQ(VEXA_ModifyDeviceNetParam(a.mac.c_str(), kPassword, &p), 1);

    const auto update = m_reports.nextFor(a.serial);
    ASSERT_TRUE(update);
    EXPECT_EQ(update->eventCode, VEXA_EVENT_UPDATE);
    EXPECT_STREQ(update->ipv4Addr, "10.30.0.7");
    EXPECT_STREQ(update->ipv4Mask, "255.255.0.0");
    EXPECT_STREQ(update->ipv4Gateway, "10.30.0.1");
    EXPECT_EQ(update->port, 9000);
    EXPECT_EQ(simulatorLine(a.serial), a.serial + " " + a.mac + " 10.30.0.7 255.255.0.0 9000 online");

    // A discovery started afresh hears the new parameters.
    ASSERT_EQ(VEXA_Stop(), 1);
    Reports again{prefix(), kEventWait};
    ASSERT_EQ(VEXA_Start_V30(&Reports::callback, 0, &again), 1);
    ASSERT_EQ(VEXA_SendInquiry(), 1);
    const auto seen = onlineAll(again, {VEXA_EVENT_ONLINE});
    ASSERT_EQ(seen.count(a.serial), 1u);
    EXPECT_STREQ(seen.at(a.serial).ipv4Addr, "10.30.0.7");
    EXPECT_STREQ(seen.at(a.serial).ipv4Gateway, "10.30.0.1");
    EXPECT_EQ(seen.at(a.serial).port, 9000);
    ASSERT_EQ(VEXA_Stop(), 1);

    // The change survives a restart of the simulator on the same state file.
    m_sim.reset();
    m_sim = std::make_unique<DevsimProcess>(DevsimProcess::programDir() + "/vexa-devsim", simulatorArgs());
    ASSERT_EQ(m_sim->line(), "ready 3 devices");
    EXPECT_EQ(simulatorLine(a.serial), a.serial + " " + a.mac + " 10.30.0.7 255.255.0.0 9000 online");
}

TEST_F(VexaE2E, modifyWithAWrongPasswordIsRefused)
{
    discover();
    ASSERT_EQ(onlineAll(m_reports, {VEXA_EVENT_ONLINE}).size(), kDeviceCount);
    const TestDevice b = network()[1];
    const std::string before = simulatorLine(b.serial);
    const VEXA_NET_PARAM p = netParam("10.30.0.8", "255.255.255.0", "", 9001);
    EXPECT_EQ(VEXA_ModifyDeviceNetParam(b.mac.c_str(), "not-the-password", &p), 0);
    EXPECT_EQ(VEXA_UpdateIpV20(b.mac.c_str(), "10.30.0.8", "255.255.255.0", "wrong", "9001", "", 0, 0, 0, 0), 0);
    EXPECT_EQ(simulatorLine(b.serial), before);
    EXPECT_EQ(m_reports.next(kQuietWait), std::nullopt);
}

TEST_F(VexaE2E, goodbyeReportsOfflineAndOnlineAgain)
{
    discover();
    ASSERT_EQ(onlineAll(m_reports, {VEXA_EVENT_ONLINE}).size(), kDeviceCount);
    const TestDevice b = network()[1];
    EXPECT_EQ(m_sim->command("offline " + b.serial), "ok offline 1");
    auto r = m_reports.nextFor(b.serial);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->eventCode, VEXA_EVENT_OFFLINE);

    EXPECT_EQ(m_sim->command("online " + b.serial), "ok online 1");
    r = m_reports.nextFor(b.serial);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->eventCode, VEXA_EVENT_ANNOUNCE);
    EXPECT_EQ(m_reports.next(kQuietWait), std::nullopt);
}

TEST_F(VexaE2E, silenceReportsOfflineAndOnlineAgain)
{
    restartSimulator({"--heartbeat", "1"});
    discover();
    // With one-second heartbeats a device may be heard before it answers.
    ASSERT_EQ(onlineAll(m_reports, {VEXA_EVENT_ONLINE, VEXA_EVENT_ANNOUNCE}).size(), kDeviceCount);
    const TestDevice c = network()[2];
    EXPECT_EQ(m_sim->command("silence " + c.serial), "ok silence 1");
    // Silent for 3 heartbeats + 2 s.
    const auto silenced = std::chrono::steady_clock::now();
    auto r = m_reports.next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->serialNo, c.serial) << "only the silent device goes offline";
    EXPECT_EQ(r->eventCode, VEXA_EVENT_OFFLINE);
    EXPECT_GE(std::chrono::steady_clock::now() - silenced, 3s) << "not before it fell silent";

    EXPECT_EQ(m_sim->command("online " + c.serial), "ok online 1");
    r = m_reports.nextFor(c.serial);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->eventCode, VEXA_EVENT_ANNOUNCE);
}

TEST_F(VexaE2E, replayedModifyIsNotAppliedTwice)
{
    RawSocket raw;
    discover();
    ASSERT_EQ(onlineAll(m_reports, {VEXA_EVENT_ONLINE}).size(), kDeviceCount);
    const TestDevice a = network()[0];
    const VEXA_NET_PARAM first = netParam("10.40.0.1", "255.255.255.0", "", 8100);
    ASSERT_EQ(VEXA_ModifyDeviceNetParam(a.mac.c_str(), kPassword, &first), 1);
    const auto captured = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(300ms);
    const auto modifies = raw.heard(wire::MsgType::Modify);
    ASSERT_FALSE(modifies.empty());
    const wire::Bytes replay = modifies.front();
    const auto decoded = wire::decode(replay);
    ASSERT_TRUE(decoded && std::holds_alternative<wire::Modify>(*decoded));
    const uint32_t requestId = std::get<wire::Modify>(*decoded).requestId;

    const VEXA_NET_PARAM second = netParam("10.40.0.2", "255.255.255.0", "", 8200);
    ASSERT_EQ(VEXA_ModifyDeviceNetParam(a.mac.c_str(), kPassword, &second), 1);
    const std::string expected = a.serial + " " + a.mac + " 10.40.0.2 255.255.255.0 8200 online";
    ASSERT_EQ(simulatorLine(a.serial), expected);
    while (m_reports.next(kQuietWait)) {
    } // the two updates

    auto resultsFor = [&] {
        std::vector<wire::Result> out;
        for (const auto &bytes : raw.heard(wire::MsgType::Result)) {
            const auto m = wire::decode(bytes);
            if (m && std::get<wire::Result>(*m).requestId == requestId)
                out.push_back(std::get<wire::Result>(*m));
        }
        return out;
    };
    const size_t resultsBefore = resultsFor().size();
    ASSERT_GE(resultsBefore, 1u);

    // Soon after: a retransmission as far as the device can tell; it is answered, not applied.
    raw.send(wire::kDeviceGroup, replay);
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(simulatorLine(a.serial), expected);

    // Once the answer has expired the nonce is spent: refused as stale.
    std::this_thread::sleep_until(captured + 11s);
    raw.send(wire::kDeviceGroup, replay);
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(simulatorLine(a.serial), expected);
    const auto results = resultsFor();
    ASSERT_GT(results.size(), resultsBefore);
    EXPECT_EQ(results.back().status, wire::Status::StaleNonce);
    for (size_t i = resultsBefore; i + 1 < results.size(); ++i)
        EXPECT_EQ(results[i], results.front()) << "a retransmission gets the first answer again";
    EXPECT_EQ(m_reports.next(kQuietWait), std::nullopt) << "the library hears no change";
}

TEST_F(VexaE2E, resetNeedsTheSecurityCodeOfTheDayOnce)
{
    discover(); // the library trusts the key a certificate vouched for
    ASSERT_EQ(onlineAll(m_reports, {VEXA_EVENT_ONLINE}).size(), kDeviceCount);
    const TestDevice c = network()[2];
    EXPECT_EQ(VEXA_ResetDefaultPasswd(c.serial.c_str(), "AAAAAAAAAAAAAAAAAAAA"), 0);

    const auto master = crypto::readFactoryKey(DevsimProcess::programDir() + "/demo-factory.key");
    ASSERT_TRUE(master);
    const std::string code = crypto::securityCode(crypto::deviceCodeKey(*master, c.serial), c.serial,
                                                  crypto::utcDate(std::chrono::system_clock::now()));
    EXPECT_EQ(VEXA_ResetDefaultPasswd(c.serial.c_str(), code.c_str()), 1);
    EXPECT_EQ(VEXA_ResetDefaultPasswd(c.serial.c_str(), code.c_str()), 0) << "a code resets a device once";

    // The device's own label password now opens it, the old one no longer does.
    const std::string show = m_sim->command("show " + c.serial);
    const std::string label = show.substr(show.rfind(' ') + 1);
    const VEXA_NET_PARAM p = netParam("10.50.0.3", "255.255.255.0", "", 8300);
    EXPECT_EQ(VEXA_ModifyDeviceNetParam(c.mac.c_str(), label.c_str(), &p), 1);
    EXPECT_EQ(VEXA_ModifyDeviceNetParam(c.mac.c_str(), kPassword, &p), 0);
}

TEST_F(VexaE2E, startStopStart)
{
    EXPECT_EQ(VEXA_Stop(), 1) << "harmless without a start";
    ASSERT_EQ(VEXA_Start_V30(&Reports::callback, 0, &m_reports), 1);
    EXPECT_EQ(VEXA_Start_V30(&Reports::callback, 0, &m_reports), 0) << "already running";
    EXPECT_EQ(VEXA_Stop(), 1);
    EXPECT_EQ(VEXA_SendInquiry(), 0) << "nothing to send with";

    Reports again{prefix(), kEventWait};
    ASSERT_EQ(VEXA_Start_V20(&Reports::callback, &again), 1);
    ASSERT_EQ(VEXA_SendInquiry(), 1);
    EXPECT_EQ(onlineAll(again, {VEXA_EVENT_ONLINE}).size(), kDeviceCount);
    EXPECT_EQ(VEXA_Stop(), 1);
    EXPECT_EQ(VEXA_Stop(), 1);
    EXPECT_EQ(m_reports.next(100ms), std::nullopt) << "the first run heard nothing";
}

// Hostile datagrams on the tool group, each about a device of this test.
std::vector<wire::Bytes> malformedDatagrams()
{
    wire::Announce a;
    a.reason = wire::AnnounceReason::Boot;
    a.info.serial = prefix() + "X";
    a.info.mac = {0x02, 0xe2, 0, 0, 0, 0x99};
    a.info.typeName = "IPC";
    const wire::Bytes valid = wire::encode(a);
    auto withLength = [](wire::Bytes d) {
        const size_t payload = d.size() - wire::kHeaderSize;
        d[12] = uint8_t(payload >> 8);
        d[13] = uint8_t(payload);
        return d;
    };
    auto changed = [&](size_t offset, uint8_t value) {
        wire::Bytes d = valid;
        d[offset] = value;
        return d;
    };
    wire::Bytes truncated(valid.begin(), valid.end() - 1);
    wire::Bytes extended = valid;
    extended.push_back(0);
    wire::Bytes duplicate = valid;
    duplicate.insert(duplicate.end(), {1, 1, 'Z'});
    wire::Bytes overrun = valid;
    overrun.insert(overrun.end(), {13, 40, 'a'});
    wire::Bytes oversize = valid;
    while (oversize.size() <= wire::kMaxDatagram)
        oversize.insert(oversize.end(), {200, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    wire::Bytes garbage(300);
    crypto::randomBytes(garbage);
    return {
        {},
        {'V', 'X', 'D'},
        changed(0, 'W'),                 // magic
        changed(4, 2),                   // version
        changed(5, 9),                   // message type
        changed(16, 7),                  // announce reason
        truncated,                       // payload shorter than its length
        extended,                        // longer
        withLength(duplicate),           // a second serial TLV
        withLength(overrun),             // a TLV running past the end
        withLength(oversize),            // over 1400 bytes
        wire::Bytes(valid.begin(), valid.begin() + wire::kHeaderSize),
        garbage,
    };
}

TEST_F(VexaE2E, malformedDatagramsAreIgnored)
{
    discover();
    ASSERT_EQ(onlineAll(m_reports, {VEXA_EVENT_ONLINE}).size(), kDeviceCount);
    RawSocket raw;
    for (const wire::Bytes &d : malformedDatagrams())
        raw.send(wire::kToolGroup, d);
    // A well-formed goodbye from a device never heard changes nothing either.
    raw.send(wire::kToolGroup, wire::encode(wire::Goodbye{prefix() + "X", {0x02, 0xe2, 0, 0, 0, 0x99}}));
    EXPECT_EQ(m_reports.next(kQuietWait), std::nullopt);

    // Discovery still runs and still knows every device.
    const TestDevice b = network()[1];
    EXPECT_EQ(m_sim->command("offline " + b.serial), "ok offline 1");
    const auto r = m_reports.next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->serialNo, b.serial);
    EXPECT_EQ(r->eventCode, VEXA_EVENT_OFFLINE);
}

// --- commissioning jobs (revision 6) ---

constexpr int64_t kMinutes37 = 37 * 60 * 1000;

int64_t hostMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

VEXA_JOB jobOf(int32_t kind)
{
    VEXA_JOB job{};
    job.kind = kind;
    return job;
}

VEXA_JOB setTime(int64_t offsetMs)
{
    VEXA_JOB job = jobOf(VEXA_JOB_SET_TIME);
    job.utcMs = hostMs() + offsetMs;
    return job;
}

class JobsE2E : public VexaE2E {
protected:
    void SetUp() override
    {
        startSimulator({"--restart-delay", "2"});
        discover();
        ASSERT_EQ(onlineAll(m_reports, {VEXA_EVENT_ONLINE}).size(), kDeviceCount);
        for (const TestDevice &d : network())
            m_macs.push_back(d.mac);
    }

    // Runs one job for `macs` and returns each device's status, in order; `result` is the call's return.
    std::vector<VEXA_JOB_STATUS> run(const VEXA_JOB &job, const char *password = kPassword,
                                     std::vector<std::string> macs = {}, int *result = nullptr,
                                     VEXA_JOB_CALLBACK callback = nullptr, void *userData = nullptr)
    {
        if (macs.empty())
            macs = m_macs;
        std::vector<const char *> texts;
        for (const std::string &mac : macs)
            texts.push_back(mac.c_str());
        std::vector<VEXA_JOB_STATUS> statuses(macs.size());
        const int r = VEXA_RunJobs(texts.data(), int32_t(texts.size()), password, &job, statuses.data(), callback,
                                   userData);
        if (result)
            *result = r;
        return statuses;
    }

    std::vector<std::string> m_macs;
};

struct JobE2ECase {
    const char *name;
    VEXA_JOB job;
    const char *password;
    int result;
    int32_t cause;           // of every device
    int64_t offsetAfterMs;   // read back afterwards
    const char *loginAfter;  // the password a readdressing succeeds with afterwards
};

class JobTable : public JobsE2E, public testing::WithParamInterface<JobE2ECase> {};

TEST_P(JobTable, everyDeviceAnswersAndTheClockIsReadBack)
{
    const JobE2ECase &c = GetParam();
    VEXA_JOB job = c.job;
    if (job.kind == VEXA_JOB_SET_TIME)
        job.utcMs += hostMs();
    int result = -1;
    const auto statuses = run(job, c.password, {}, &result);
    EXPECT_EQ(result, c.result);
    for (size_t i = 0; i < statuses.size(); ++i) {
        SCOPED_TRACE(m_macs[i]);
        EXPECT_EQ(statuses[i].done, c.result);
        EXPECT_EQ(statuses[i].cause, c.cause);
        EXPECT_EQ(statuses[i].hasOffset, c.cause == VEXA_CAUSE_BAD_ARGUMENT ? 0 : 1);
    }
    const auto read = run(jobOf(VEXA_JOB_READ_TIME), "");
    for (size_t i = 0; i < read.size(); ++i) {
        SCOPED_TRACE(m_macs[i]);
        EXPECT_EQ(read[i].done, 1);
        EXPECT_NEAR(double(read[i].offsetMs), double(c.offsetAfterMs), 2000.0);
    }
    const VEXA_NET_PARAM p = netParam("10.50.0.9", "255.255.255.0", "", 8300);
    EXPECT_EQ(VEXA_ModifyDeviceNetParam(m_macs[0].c_str(), c.loginAfter, &p), 1);
}

VEXA_JOB ntp(const char *first, const char *second)
{
    VEXA_JOB job = jobOf(VEXA_JOB_SET_NTP);
    std::snprintf(job.ntpServers[0], sizeof job.ntpServers[0], "%s", first);
    std::snprintf(job.ntpServers[1], sizeof job.ntpServers[1], "%s", second);
    return job;
}

VEXA_JOB newPassword(const char *text)
{
    VEXA_JOB job = jobOf(VEXA_JOB_SET_PASSWORD);
    std::snprintf(job.newPassword, sizeof job.newPassword, "%s", text);
    return job;
}

VEXA_JOB clockAt(int64_t offsetMs)
{
    VEXA_JOB job = jobOf(VEXA_JOB_SET_TIME);
    job.utcMs = offsetMs; // made absolute when the case runs
    return job;
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, JobTable,
    testing::Values(
        JobE2ECase{"readTime", jobOf(VEXA_JOB_READ_TIME), "", 1, VEXA_CAUSE_NONE, 0, kPassword},
        JobE2ECase{"setTimeAhead", clockAt(kMinutes37), kPassword, 1, VEXA_CAUSE_NONE, kMinutes37, kPassword},
        JobE2ECase{"setTimeWrongPassword", clockAt(kMinutes37), "not-it", 0, VEXA_CAUSE_NOT_AUTHORIZED, 0,
                   kPassword},
        JobE2ECase{"setTimeTo1970", clockAt(-hostMs()), kPassword, 0, VEXA_CAUSE_REFUSED, 0, kPassword},
        JobE2ECase{"setNtp", ntp("ntp.example", "192.0.2.1"), kPassword, 1, VEXA_CAUSE_NONE, 0, kPassword},
        JobE2ECase{"setNtpNoServer", ntp("", ""), kPassword, 0, VEXA_CAUSE_BAD_ARGUMENT, 0, kPassword},
        JobE2ECase{"newPassword", newPassword("Site-7-admin"), kPassword, 1, VEXA_CAUSE_NONE, 0, "Site-7-admin"},
        JobE2ECase{"newPasswordTooShort", newPassword("Site-7"), kPassword, 0, VEXA_CAUSE_BAD_ARGUMENT, 0,
                   kPassword},
        JobE2ECase{"newPasswordTheCurrent", newPassword(kPassword), kPassword, 0, VEXA_CAUSE_BAD_ARGUMENT, 0,
                   kPassword},
        JobE2ECase{"newPasswordWrongCurrent", newPassword("Site-7-admin"), "not-it", 0, VEXA_CAUSE_NOT_AUTHORIZED,
                   0, kPassword}),
    [](const testing::TestParamInfo<JobE2ECase> &info) { return std::string(info.param.name); });

TEST_F(JobsE2E, aBatchReportsEachFailuresCauseAndDoesTheRest)
{
    const TestDevice b = network()[1];
    EXPECT_EQ(m_sim->command("silence " + b.serial), "ok silence 1");
    std::vector<std::string> macs = m_macs;
    macs.push_back("02:ee:ee:ee:ee:01"); // no such device
    int result = -1;
    const auto statuses = run(setTime(-kMinutes37), kPassword, macs, &result);
    EXPECT_EQ(result, 0);
    const int32_t causes[] = {VEXA_CAUSE_NONE, VEXA_CAUSE_NO_ANSWER, VEXA_CAUSE_NONE, VEXA_CAUSE_NO_ANSWER};
    for (size_t i = 0; i < macs.size(); ++i) {
        SCOPED_TRACE(macs[i]);
        EXPECT_EQ(statuses[i].cause, causes[i]);
        EXPECT_EQ(statuses[i].done, causes[i] == VEXA_CAUSE_NONE ? 1 : 0);
        if (statuses[i].done) {
            EXPECT_NEAR(double(statuses[i].offsetMs), double(-kMinutes37), 2000.0);
        }
    }
    // A malformed MAC refuses the whole batch before anything is sent.
    macs.push_back("not-a-mac");
    const auto refused = run(setTime(0), kPassword, macs, &result);
    EXPECT_EQ(result, 0);
    for (const VEXA_JOB_STATUS &s : refused)
        EXPECT_EQ(s.cause, VEXA_CAUSE_BAD_ARGUMENT);
    EXPECT_NEAR(double(run(jobOf(VEXA_JOB_READ_TIME), "", {m_macs[0]})[0].offsetMs), double(-kMinutes37), 2000.0);
}

TEST_F(JobsE2E, cancellingLeavesTheDevicesNotStartedUntouched)
{
    // Unknown devices keep the first workers busy until their time limit; the
    // first device finished cancels the rest.
    std::vector<std::string> macs = {m_macs[0]};
    for (int i = 0; i < VEXA_JOB_PARALLEL + 3; ++i) {
        char mac[18];
        std::snprintf(mac, sizeof mac, "02:ee:ee:ee:ef:%02x", i);
        macs.push_back(mac);
    }
    std::atomic<int> calls{0};
    const auto statuses = run(
        setTime(kMinutes37), kPassword, macs, nullptr,
        [](int32_t, const VEXA_JOB_STATUS *, void *count) {
            ++*static_cast<std::atomic<int> *>(count);
            return 0;
        },
        &calls);
    EXPECT_EQ(calls.load(), int(macs.size())) << "every device is reported, cancelled ones too";
    EXPECT_EQ(statuses[0].done, 1);
    size_t cancelled = 0;
    for (const VEXA_JOB_STATUS &s : statuses)
        cancelled += s.cause == VEXA_CAUSE_CANCELLED ? 1 : 0;
    EXPECT_GE(cancelled, macs.size() - VEXA_JOB_PARALLEL);
}

TEST_F(JobsE2E, rebootWaitsForTheDeviceToReturn)
{
    VEXA_JOB reboot = jobOf(VEXA_JOB_REBOOT);
    reboot.waitS = 20;
    const auto statuses = run(reboot, kPassword, {m_macs[0], m_macs[1]});
    for (const VEXA_JOB_STATUS &s : statuses) {
        EXPECT_EQ(s.done, 1);
        EXPECT_GE(s.rebootMs, 1500); // the simulator's restart delay: 2 s
        EXPECT_LT(s.rebootMs, 20000);
    }
    // Without a wait the job is done once the device confirmed; one that never returns is reported so.
    reboot.waitS = 0;
    EXPECT_EQ(run(reboot, kPassword, {m_macs[2]})[0].done, 1);
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(m_sim->command("offline " + network()[2].serial), "ok offline 0") << "already away";
}

TEST_F(JobsE2E, aDeviceThatDoesNotReturnIsReportedSo)
{
    VEXA_JOB reboot = jobOf(VEXA_JOB_REBOOT);
    reboot.waitS = 1; // shorter than the simulator's restart delay
    const auto statuses = run(reboot, kPassword, {m_macs[0]});
    EXPECT_EQ(statuses[0].done, 0);
    EXPECT_EQ(statuses[0].cause, VEXA_CAUSE_NOT_RETURNED);
}

TEST_F(JobsE2E, aReplayedJobIsNotAppliedAgain)
{
    RawSocket raw;
    ASSERT_EQ(run(setTime(kMinutes37), kPassword, {m_macs[0]})[0].done, 1);
    std::this_thread::sleep_for(200ms);
    const auto jobs = raw.heard(wire::MsgType::Job);
    ASSERT_FALSE(jobs.empty());
    ASSERT_EQ(run(setTime(-kMinutes37), kPassword, {m_macs[0]})[0].done, 1);
    raw.send(wire::kDeviceGroup, jobs.front());
    std::this_thread::sleep_for(500ms);
    EXPECT_NEAR(double(run(jobOf(VEXA_JOB_READ_TIME), "", {m_macs[0]})[0].offsetMs), double(-kMinutes37), 2000.0);
}

TEST_F(JobsE2E, aForgedSuccessIsNotBelieved)
{
    // Whoever hears a JOB answers it at once with a success it cannot sign;
    // the device's own answer (a wrong password) comes after its password check.
    RawSocket raw;
    raw.onHeard([&raw](const wire::Bytes &datagram) {
        const auto m = wire::decode(datagram);
        if (!m || !std::holds_alternative<wire::Job>(*m))
            return;
        wire::JobResult forged;
        forged.requestId = std::get<wire::Job>(*m).requestId;
        forged.target = wire::Target::byMac(std::get<wire::Job>(*m).target);
        forged.clockMs = hostMs();
        forged.tag.fill(0x5A);
        raw.send(wire::kToolGroup, wire::encode(forged));
    });
    const auto statuses = run(setTime(kMinutes37), "not-it", {m_macs[0]});
    raw.onHeard({});
    EXPECT_EQ(statuses[0].done, 0);
    EXPECT_EQ(statuses[0].cause, VEXA_CAUSE_NOT_AUTHORIZED);
}

} // namespace
