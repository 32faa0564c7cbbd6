// ONVIF devices beside VXDP ones, through the library's C interface against
// the real simulator on loopback: one row per device whatever it speaks, the
// record's fields from WS-Discovery and device management, readdressing with
// either kind of authentication, reset refused, Bye and the clean exit.

#include "vexa.h"

#include "devsimprocess.h"
#include <deviceside/onvifsim.h>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <vexa/address.h>
#include <vexa/wire.h>
#include <vexa/wsdiscovery.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

// Nothing this test sends may leave the machine, even when it runs outside CTest.
const int g_loopbackOnly = setenv("VEXA_INTERFACES", "lo", 1);

using namespace std::chrono_literals;
using devsim::DevsimProcess;

constexpr const char *kPassword = "demo1234";

// Every report, by device, with how many rows the device has in the page.
class Rows {
public:
    // Reports under `serial` are about the device known as `device`.
    void alias(const std::string &serial, const std::string &device) { m_alias[serial] = device; }
    static void callback(const VEXA_DEVICE_REPORT *r, void *user) { static_cast<Rows *>(user)->add(*r); }
    void add(const VEXA_DEVICE_REPORT &r)
    {
        std::lock_guard lock(m_mutex);
        const auto alias = m_alias.find(r.serialNo);
        const std::string key = alias == m_alias.end() ? std::string(r.serialNo) : alias->second;
        int &rows = m_rows[key];
        if (r.eventCode == VEXA_EVENT_ONLINE || r.eventCode == VEXA_EVENT_ANNOUNCE)
            ++rows;
        else if (r.eventCode == VEXA_EVENT_OFFLINE)
            --rows;
        m_maxRows[key] = std::max(m_maxRows[key], rows);
        m_last[key] = r;
        m_cv.notify_all();
    }
    // Waits until `serial` shows `rows` rows and its last report passes `check`; that report.
    std::optional<VEXA_DEVICE_REPORT> waitFor(const std::string &serial, int rows,
                                              const std::function<bool(const VEXA_DEVICE_REPORT &)> &check = {})
    {
        std::unique_lock lock(m_mutex);
        if (!m_cv.wait_for(lock, 10s, [&] {
                return m_rows[serial] == rows && m_last.count(serial) && (!check || check(m_last[serial]));
            }))
            return std::nullopt;
        return m_last[serial];
    }
    int maxRows(const std::string &serial)
    {
        std::lock_guard lock(m_mutex);
        return m_maxRows[serial];
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::map<std::string, std::string> m_alias;
    std::map<std::string, int> m_rows, m_maxRows;
    std::map<std::string, VEXA_DEVICE_REPORT> m_last;
};

struct Variant {
    const char *name;
    std::vector<std::string> options; // of the simulator
    bool detailsReadable;
};

class OnvifE2E : public testing::TestWithParam<Variant> {
protected:
    void SetUp() override
    {
        m_tag = "OE" + std::to_string(getpid()) + GetParam().name;
        // Addresses of this process's own on loopback.
        m_net = "127.77." + std::to_string(getpid() % 250) + ".";
        // "I" claims V's MAC over ONVIF, as anyone on the link can.
        const nlohmann::json devices = {device("V", 1, 1, "vxdp"), device("O", 2, 2, "onvif"),
                                        device("B", 3, 3, "both"), device("I", 1, 4, "onvif")};
        const std::string path = testing::TempDir() + m_tag + ".json";
        std::ofstream(path) << nlohmann::json{{"password", kPassword}, {"devices", devices}}.dump();
        std::vector<std::string> args = {"--devices", path, "--no-boot-announce"};
        args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
        m_sim = std::make_unique<DevsimProcess>(DevsimProcess::programDir() + "/vexa-devsim", args);
        ASSERT_TRUE(m_sim->running());
        ASSERT_EQ(m_sim->line(), "ready 4 devices");

        deviceside::DeviceInfo info;
        info.serialNo = m_tag + "O";
        m_onvifEndpoint = deviceside::OnvifSimulator::endpointOf(info);
        info.serialNo = m_tag + "B";
        m_rows.alias(deviceside::OnvifSimulator::endpointOf(info), m_tag + "B");
        // Without readable details the endpoint reference stands in for the serial number.
        m_onvifSerial = GetParam().detailsReadable ? m_tag + "O" : m_onvifEndpoint;
        ASSERT_EQ(VEXA_Start_V30(&Rows::callback, 0, &m_rows), 1);
        ASSERT_EQ(VEXA_SendInquiry(), 1);
    }
    void TearDown() override { VEXA_Stop(); }

    nlohmann::json device(const std::string &suffix, int last, int host, const char *protocols) const
    {
        const unsigned pid = unsigned(getpid());
        char mac[18];
        std::snprintf(mac, sizeof mac, "02:%02x:%02x:%02x:4f:%02x", pid >> 16 & 0xFF, pid >> 8 & 0xFF, pid & 0xFF,
                      last);
        return {{"serialNo", m_tag + suffix}, {"macAddr", mac}, {"ipv4Addr", m_net + std::to_string(host)},
                {"ipv4Mask", "255.0.0.0"}, {"ipv4Gateway", "127.0.0.254"}, {"typeCode", "0x2011"},
                {"typeName", "IPC 2120/W"}, {"port", 8000}, {"httpPort", 8080}, {"softwareVersion", "V5.1 build 1"},
                {"protocols", protocols}};
    }
    static VEXA_NET_PARAM param(const std::string &addr, uint16_t port)
    {
        VEXA_NET_PARAM p{};
        std::snprintf(p.ipv4Addr, sizeof p.ipv4Addr, "%s", addr.c_str());
        std::snprintf(p.ipv4Mask, sizeof p.ipv4Mask, "255.255.0.0");
        std::snprintf(p.ipv4Gateway, sizeof p.ipv4Gateway, "127.77.0.1");
        p.port = port;
        return p;
    }

    std::string m_tag, m_net, m_onvifEndpoint, m_onvifSerial;
    std::unique_ptr<DevsimProcess> m_sim;
    Rows m_rows;
};

TEST_P(OnvifE2E, everyDeviceOnceWhateverItSpeaks)
{
    const auto onvif = m_rows.waitFor(m_onvifSerial, 1);
    ASSERT_TRUE(onvif);
    EXPECT_STREQ(onvif->protocol, "ONVIF");
    EXPECT_EQ(onvif->eventCode, VEXA_EVENT_ONLINE);
    EXPECT_EQ(std::string(onvif->ipv4Addr), m_net + "2");
    EXPECT_EQ(onvif->typeCode, 0x2F00);
    EXPECT_STREQ(onvif->typeName, "IPC 2120/W");
    EXPECT_EQ(onvif->port, 8080);
    EXPECT_EQ(std::string(onvif->sourceAddr), m_net + "2") << "a device answers from its own address";
    if (GetParam().detailsReadable) {
        EXPECT_EQ(std::string(onvif->macAddr).substr(12), "4f:02");
        EXPECT_STREQ(onvif->ipv4Mask, "255.0.0.0");
        EXPECT_STREQ(onvif->ipv4Gateway, "127.0.0.254");
        EXPECT_STREQ(onvif->softwareVersion, "V5.1 build 1");
        EXPECT_EQ(onvif->extraValue, 8080);
        EXPECT_EQ(onvif->extInfo, 1);
    } else {
        EXPECT_STREQ(onvif->macAddr, "");
        EXPECT_EQ(onvif->extInfo, 0);
    }
    ASSERT_TRUE(m_rows.waitFor(m_tag + "V", 1));
    // The device speaking both protocols is listed by its VXDP record, and never twice.
    std::this_thread::sleep_for(1500ms);
    const auto both = m_rows.waitFor(m_tag + "B", 1);
    ASSERT_TRUE(both);
    EXPECT_STREQ(both->protocol, "VXDP/1");
    EXPECT_EQ(m_rows.maxRows(m_tag + "B"), 1);
    EXPECT_EQ(m_rows.maxRows(m_onvifSerial), 1);

    // ONVIF has no password reset: refused at once, where a request to any device takes its full time.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(VEXA_ResetDefaultPasswd(m_onvifSerial.c_str(), "20260101AAAAAAAAAAAAAAAAAAAA"), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);

    // A clean exit: Bye takes the ONVIF device's row away, VXDP goodbyes the others.
    EXPECT_EQ(m_sim->quit(), 0);
    const auto gone = m_rows.waitFor(m_onvifSerial, 0);
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->eventCode, VEXA_EVENT_OFFLINE);
    EXPECT_TRUE(m_rows.waitFor(m_tag + "B", 0));
}

// The same devices reached by multicast and by a range scan of their /24:
// one row each, the VXDP device's and its impostor's rules kept, the scan's
// progress complete; a second scan refused meanwhile; a cancel ends at once.
TEST_P(OnvifE2E, aRangeScanListsNoDeviceTwice)
{
    ASSERT_TRUE(m_rows.waitFor(m_onvifSerial, 1));
    ASSERT_TRUE(m_rows.waitFor(m_tag + "V", 1));
    const std::string range = m_net + "0/24";
    char error[128] = "";
    ASSERT_EQ(VEXA_ScanRange(range.c_str(), 2000, error, sizeof error), 1) << error;
    EXPECT_EQ(VEXA_ScanRange(range.c_str(), 2000, error, sizeof error), 0);
    EXPECT_STREQ(error, "a scan is running already");
    uint32_t probed = 0, total = 0;
    int32_t running = 1;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (running && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(50ms);
        ASSERT_EQ(VEXA_ScanProgress(&probed, &total, &running), 1);
    }
    EXPECT_EQ(running, 0);
    EXPECT_EQ(probed, 254u);
    EXPECT_EQ(total, 254u);
    std::this_thread::sleep_for(1s); // details read for any device the scan alone found
    EXPECT_EQ(m_rows.maxRows(m_onvifSerial), 1);
    EXPECT_EQ(m_rows.maxRows(m_tag + "V"), 1);
    const auto both = m_rows.waitFor(m_tag + "B", 1);
    ASSERT_TRUE(both);
    EXPECT_STREQ(both->protocol, "VXDP/1");
    EXPECT_EQ(m_rows.maxRows(m_tag + "B"), 1);
    EXPECT_EQ(m_rows.maxRows(m_tag + "I"), 0) << "an ONVIF record naming a VXDP device's MAC is not listed";

    // A slow /16 of loopback addresses nobody holds: cancelled, it stops within a moment.
    const std::string wide = "127.78.0.0/16";
    ASSERT_EQ(VEXA_ScanRange(wide.c_str(), 100, error, sizeof error), 1) << error;
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(VEXA_CancelScan(), 1);
    const auto cancelled = std::chrono::steady_clock::now();
    do {
        std::this_thread::sleep_for(10ms);
        ASSERT_EQ(VEXA_ScanProgress(&probed, &total, &running), 1);
    } while (running && std::chrono::steady_clock::now() - cancelled < 2s);
    EXPECT_EQ(running, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled, 500ms);
    EXPECT_EQ(total, 65534u);
    EXPECT_LE(probed, 60u) << "100 a second for well under half a second";
    // The next scan may start.
    EXPECT_EQ(VEXA_ScanRange((m_net + "2").c_str(), 0, error, sizeof error), 1) << error;
}

TEST_P(OnvifE2E, readdressedWithTheRightPasswordOnly)
{
    const auto before = m_rows.waitFor(m_onvifSerial, 1);
    ASSERT_TRUE(before);
    if (!GetParam().detailsReadable)
        GTEST_SKIP() << "without its MAC the device cannot be named in a request";
    const std::string mac = before->macAddr;
    const std::string moved = "127.78." + std::to_string(getpid() % 250) + ".2";
    VEXA_NET_PARAM p = param(m_net + "42", 8042);
    EXPECT_EQ(VEXA_ModifyDeviceNetParam(mac.c_str(), "wrong-password", &p), 0);
    int32_t cause = -1;
    ASSERT_EQ(VEXA_GetLastModifyCause(&cause), 1);
    EXPECT_EQ(cause, VEXA_CAUSE_NOT_AUTHORIZED);
    p = param(moved, 8042);
    ASSERT_EQ(VEXA_ModifyDeviceNetParam(mac.c_str(), kPassword, &p), 1)
        << (VEXA_GetLastModifyCause(&cause), cause);
    // The device announces its new address; the row keeps its identity and shows every new setting.
    const auto after = m_rows.waitFor(m_onvifSerial, 1, [&](const VEXA_DEVICE_REPORT &r) {
        return std::string(r.ipv4Addr) == moved && std::string(r.ipv4Gateway) == "127.77.0.1"
            && std::string(r.ipv4Mask) == "255.255.0.0" && r.port == 8042;
    });
    ASSERT_TRUE(after);
    EXPECT_EQ(after->eventCode, VEXA_EVENT_UPDATE);
    EXPECT_STREQ(after->macAddr, mac.c_str());
    EXPECT_EQ(m_rows.maxRows(m_onvifSerial), 1);
}

TEST_P(OnvifE2E, aVxdpDeviceKeepsItsMacFromAnOnvifImpostor)
{
    const auto vxdp = m_rows.waitFor(m_tag + "V", 1);
    ASSERT_TRUE(vxdp);
    deviceside::DeviceInfo info;
    info.serialNo = m_tag + "I";
    const std::string impostor = deviceside::OnvifSimulator::endpointOf(info);
    // Naming a certified device's MAC, the impostor is never listed; without its details it is, without a MAC.
    ASSERT_TRUE(m_rows.waitFor(GetParam().detailsReadable ? m_tag + "O" : impostor, 1));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(m_rows.maxRows(m_tag + "I"), 0);
    EXPECT_EQ(m_rows.maxRows(impostor), GetParam().detailsReadable ? 0 : 1);
    // The same password opens both: only where the request went decides which one moves.
    const std::string moved = "10.31.0.44";
    VEXA_NET_PARAM p = param(moved, 8044);
    std::snprintf(p.ipv4Gateway, sizeof p.ipv4Gateway, "10.31.0.1");
    int32_t protocol = 0;
    ASSERT_EQ(VEXA_GetDeviceProtocol(vxdp->macAddr, &protocol), 1);
    EXPECT_EQ(protocol, VEXA_PROTOCOL_VXDP);
    ASSERT_EQ(VEXA_ModifyDeviceNetParam(vxdp->macAddr, kPassword, &p), 1);
    EXPECT_TRUE(m_rows.waitFor(m_tag + "V", 1, [&](const VEXA_DEVICE_REPORT &r) { return r.ipv4Addr == moved; }));
}

// One job for the listed devices by MAC; each device's status.
std::vector<VEXA_JOB_STATUS> runJob(const std::vector<std::string> &macs, const char *password, const VEXA_JOB &job)
{
    std::vector<const char *> texts;
    for (const std::string &mac : macs)
        texts.push_back(mac.c_str());
    std::vector<VEXA_JOB_STATUS> statuses(macs.size());
    VEXA_RunJobs(texts.data(), int32_t(texts.size()), password, &job, statuses.data(), nullptr, nullptr);
    return statuses;
}

TEST_P(OnvifE2E, commissioningJobsOverDeviceManagement)
{
    const auto onvif = m_rows.waitFor(m_onvifSerial, 1);
    const auto vxdp = m_rows.waitFor(m_tag + "V", 1);
    ASSERT_TRUE(onvif && vxdp);
    if (!GetParam().detailsReadable)
        GTEST_SKIP() << "without its MAC the device cannot be named in a request";
    const std::string mac = onvif->macAddr;
    const auto nowMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    constexpr int64_t k37 = 37 * 60 * 1000;
    constexpr int64_t kAsBefore = INT64_MIN; // a simulated device's clock may start hours off
    VEXA_JOB read{};
    read.kind = VEXA_JOB_READ_TIME;
    const VEXA_JOB_STATUS initial = runJob({mac}, "", read)[0];
    ASSERT_EQ(initial.done, 1);
    VEXA_JOB setTime{};
    setTime.kind = VEXA_JOB_SET_TIME;
    VEXA_JOB ntp{};
    ntp.kind = VEXA_JOB_SET_NTP;
    std::snprintf(ntp.ntpServers[0], sizeof ntp.ntpServers[0], "192.0.2.1");
    std::snprintf(ntp.ntpServers[1], sizeof ntp.ntpServers[1], "ntp.example");
    VEXA_JOB passwd{};
    passwd.kind = VEXA_JOB_SET_PASSWORD;
    std::snprintf(passwd.newPassword, sizeof passwd.newPassword, "Onvif-new-1");
    VEXA_JOB reboot{};
    reboot.kind = VEXA_JOB_REBOOT;
    reboot.waitS = 20;
    struct Step {
        const char *name;
        VEXA_JOB job;
        int64_t utcFromNowMs;
        const char *password;
        int32_t cause;
        int64_t offsetMs; // read back, ONVIF's whole seconds
    };
    const Step steps[] = {
        {"wrong password", setTime, k37, "wrong-password", VEXA_CAUSE_NOT_AUTHORIZED, kAsBefore},
        {"set the clock", setTime, k37, kPassword, VEXA_CAUSE_NONE, k37},
        {"keep it by NTP", ntp, 0, kPassword, VEXA_CAUSE_NONE, 0},
        {"set the clock back", setTime, -k37, kPassword, VEXA_CAUSE_NONE, -k37},
        {"a new password, the wrong current one", [] { VEXA_JOB j{}; j.kind = VEXA_JOB_SET_PASSWORD;
                                     std::snprintf(j.newPassword, sizeof j.newPassword, "Onvif123");
                                     return j; }(), 0, "Onvif-0ther", VEXA_CAUSE_NOT_AUTHORIZED, -k37},
        {"a new password", passwd, 0, kPassword, VEXA_CAUSE_NONE, -k37},
        {"the old one no more", setTime, 0, kPassword, VEXA_CAUSE_NOT_AUTHORIZED, -k37},
        {"the new one", setTime, 0, "Onvif-new-1", VEXA_CAUSE_NONE, 0},
        {"restart", reboot, 0, "Onvif-new-1", VEXA_CAUSE_NONE, 0},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        VEXA_JOB job = step.job;
        job.utcMs = nowMs() + step.utcFromNowMs;
        const VEXA_JOB_STATUS s = runJob({mac}, step.password, job)[0];
        EXPECT_EQ(s.cause, step.cause);
        EXPECT_EQ(s.done, step.cause == VEXA_CAUSE_NONE ? 1 : 0);
        if (job.kind == VEXA_JOB_REBOOT) {
            EXPECT_GE(s.rebootMs, 4000) << "the simulator's restart delay: 5 s";
        }
        const VEXA_JOB_STATUS r = runJob({mac}, "", read)[0];
        EXPECT_EQ(r.done, 1);
        EXPECT_NEAR(double(r.offsetMs), double(step.offsetMs == kAsBefore ? initial.offsetMs : step.offsetMs), 2500.0);
    }
    // A batch of both kinds of device: each over its own protocol.
    for (const VEXA_JOB_STATUS &s : runJob({mac, vxdp->macAddr}, "", read))
        EXPECT_EQ(s.done, 1);
}

INSTANTIATE_TEST_SUITE_P(Devices, OnvifE2E,
                         testing::Values(Variant{"Closed", {}, false},
                                         Variant{"TokenDigest", {"--onvif-open-reads"}, true},
                                         Variant{"HttpDigest", {"--onvif-open-reads", "--onvif-http-digest"}, true}),
                         [](const auto &info) { return std::string(info.param.name); });

// Another program may hold the WS-Discovery port for itself (a device
// mock-up, a daemon): discovery still starts, and finds devices by probing.
TEST(OnvifPort, discoveryStartsWhenAnotherProgramHoldsPort3702)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(vexa::wsd::kPort);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&any), sizeof any) != 0) {
        ::close(fd);
        GTEST_SKIP() << "port 3702 is in use here";
    }
    Rows rows;
    EXPECT_EQ(VEXA_Start_V30(&Rows::callback, 0, &rows), 1);
    EXPECT_EQ(VEXA_SendInquiry(), 1);
    VEXA_Stop();
    ::close(fd);
}

// Devices that depart from the plain one as real ones do, a forger on the
// link, and the tool between them.
class OnvifHostile : public testing::Test {
protected:
    void SetUp() override
    {
        m_tag = "OH" + std::to_string(getpid());
        m_net = "127.81." + std::to_string(getpid() % 250) + ".";
        const auto device = [&](const std::string &suffix, int last, const char *protocols) {
            const unsigned pid = unsigned(getpid());
            char mac[18];
            std::snprintf(mac, sizeof mac, "02:%02x:%02x:%02x:48:%02x", pid >> 16 & 0xFF, pid >> 8 & 0xFF,
                          pid & 0xFF, last);
            return nlohmann::json{{"serialNo", m_tag + suffix}, {"macAddr", mac}, {"ipv4Addr", address(last)},
                                  {"ipv4Mask", "255.0.0.0"},    {"typeCode", "0x2011"}, {"typeName", "IPC"},
                                  {"port", 8000},               {"httpPort", 8080},     {"protocols", protocols}};
        };
        nlohmann::json devices = {device("V", 1, "vxdp"), device("O", 2, "onvif"), device("D", 3, "onvif"),
                                  device("T", 4, "onvif"), device("L", 5, "onvif"), device("U", 6, "onvif")};
        devices[2]["onvifTypes"] = "device";
        devices[3]["onvifTypes"] = "transmitter";
        devices[4]["onvifHttpDelay"] = 3;
        devices[5]["onvifUnsupported"] = {"SetNetworkInterfaces"};
        const std::string path = testing::TempDir() + m_tag + ".json";
        std::ofstream(path) << nlohmann::json{{"password", kPassword}, {"onvifOpenReads", true}, {"devices", devices}}
                                   .dump();
        m_sim = std::make_unique<DevsimProcess>(DevsimProcess::programDir() + "/vexa-devsim",
                                                std::vector<std::string>{"--devices", path, "--no-boot-announce"});
        ASSERT_TRUE(m_sim->running());
        ASSERT_EQ(m_sim->line(), "ready 6 devices");
        ASSERT_EQ(VEXA_Start_V30(&Rows::callback, 0, &m_rows), 1);
    }
    void TearDown() override
    {
        VEXA_Stop();
        m_stopStalling = true;
        if (m_stalling.joinable())
            m_stalling.join();
    }

    std::string address(int last) const { return m_net + std::to_string(last); }
    std::string endpoint(const std::string &suffix) const
    {
        deviceside::DeviceInfo info;
        info.serialNo = m_tag + suffix;
        return deviceside::OnvifSimulator::endpointOf(info);
    }
    // A datagram as anyone on the link can send it: from `from`, to `to`.
    static void forge(const std::string &from, uint32_t to, uint16_t port, const std::string &payload)
    {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{}, remote{};
        local.sin_family = remote.sin_family = AF_INET;
        inet_pton(AF_INET, from.c_str(), &local.sin_addr);
        remote.sin_addr.s_addr = htonl(to);
        remote.sin_port = htons(port);
        const int ttl = 255;
        const in_addr loopback{htonl(INADDR_LOOPBACK)};
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local), 0);
        ASSERT_EQ(::sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr *>(&remote), sizeof remote),
                  ssize_t(payload.size()));
        ::close(fd);
    }
    static std::string hello(const std::string &endpoint, const std::string &xaddr, uint32_t version)
    {
        vexa::wsd::Target t{endpoint, {vexa::wsd::kTypeDevice}, {}, {xaddr}, version};
        return vexa::wsd::encode(vexa::wsd::Hello{vexa::wsd::newUuidUrn(), t, std::nullopt});
    }
    // An HTTP server that accepts every connection and never answers.
    void startStalling(const std::string &host)
    {
        m_stallFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(8080);
        inet_pton(AF_INET, host.c_str(), &local.sin_addr);
        ASSERT_EQ(::bind(m_stallFd, reinterpret_cast<sockaddr *>(&local), sizeof local), 0);
        ASSERT_EQ(::listen(m_stallFd, 512), 0);
        m_stalling = std::thread([this] {
            std::vector<int> held;
            while (!m_stopStalling) {
                pollfd p{m_stallFd, POLLIN, 0};
                if (::poll(&p, 1, 100) > 0)
                    held.push_back(::accept4(m_stallFd, nullptr, nullptr, SOCK_CLOEXEC));
            }
            for (int fd : held)
                ::close(fd);
            ::close(m_stallFd);
        });
    }
    std::string xaddr(int last) const { return "http://" + address(last) + ":8080/onvif/device_service"; }
    VEXA_DEVICE_REPORT listed(const std::string &suffix)
    {
        const auto r = m_rows.waitFor(m_tag + suffix, 1);
        EXPECT_TRUE(r) << suffix;
        return r.value_or(VEXA_DEVICE_REPORT{});
    }

    std::string m_tag, m_net;
    std::unique_ptr<DevsimProcess> m_sim;
    Rows m_rows;
    int m_stallFd = -1;
    std::atomic<bool> m_stopStalling{false};
    std::thread m_stalling;
};

TEST_F(OnvifHostile, typeStrictAndLateDevicesAreListedWithTheirDetails)
{
    ASSERT_EQ(VEXA_SendInquiry(), 1);
    // Each answers only the Probe for its own type, found by the inquiry, not by a Hello.
    for (const char *strict : {"D", "T"})
        EXPECT_EQ(listed(strict).eventCode, VEXA_EVENT_ONLINE) << strict;
    // Its web server is not up when it answers: listed by what it announced,
    // then under its own serial number and MAC once a later read succeeds.
    const auto early = m_rows.waitFor(endpoint("L"), 1);
    ASSERT_TRUE(early);
    EXPECT_STREQ(early->macAddr, "");
    const auto late = m_rows.waitFor(m_tag + "L", 1, [](const VEXA_DEVICE_REPORT &r) { return r.extInfo == 1; });
    ASSERT_TRUE(late);
    EXPECT_EQ(std::string(late->macAddr).substr(12), "48:05");
    EXPECT_TRUE(m_rows.waitFor(endpoint("L"), 0));
    int32_t protocol = 0;
    ASSERT_EQ(VEXA_GetDeviceProtocol(late->macAddr, &protocol), 1);
    EXPECT_EQ(protocol, VEXA_PROTOCOL_ONVIF);
}

// A dual-stack prober sends one Probe over both families; whichever copy the
// host reads first, a device reachable over IPv4 alone answers the IPv4 one.
TEST_F(OnvifHostile, aProbeHeardFirstOverIpv6IsStillAnsweredOverIpv4)
{
    const std::string id = vexa::wsd::newUuidUrn();
    const std::string probe = vexa::wsd::encode(vexa::wsd::Probe{id, {}});
    const int v6 = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 to6{};
    to6.sin6_family = AF_INET6;
    to6.sin6_addr = in6addr_loopback;
    to6.sin6_port = htons(vexa::wsd::kPort);
    const bool sentV6 = ::sendto(v6, probe.data(), probe.size(), 0, reinterpret_cast<sockaddr *>(&to6), sizeof to6)
        == ssize_t(probe.size());
    ::close(v6);
    if (!sentV6)
        GTEST_SKIP() << "no IPv6 on loopback";
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    const int v4 = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{}, to4{};
    local.sin_family = to4.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    inet_pton(AF_INET, address(2).c_str(), &to4.sin_addr);
    to4.sin_port = htons(vexa::wsd::kPort);
    ASSERT_EQ(::bind(v4, reinterpret_cast<sockaddr *>(&local), sizeof local), 0);
    ASSERT_EQ(::sendto(v4, probe.data(), probe.size(), 0, reinterpret_cast<sockaddr *>(&to4), sizeof to4),
              ssize_t(probe.size()));
    pollfd ready{v4, POLLIN, 0};
    std::string answer(65536, '\0');
    const ssize_t n = ::poll(&ready, 1, 3000) == 1 ? ::recv(v4, answer.data(), answer.size(), 0) : -1;
    ::close(v4);
    ASSERT_GT(n, 0) << "no answer to the IPv4 copy";
    answer.resize(size_t(n));
    const auto message = vexa::wsd::parse(answer);
    const auto *matches = message ? std::get_if<vexa::wsd::ProbeMatches>(&*message) : nullptr;
    ASSERT_TRUE(matches) << answer;
    EXPECT_EQ(matches->relatesTo, id);
}

TEST_F(OnvifHostile, modifyTellsWhyItFailed)
{
    ASSERT_EQ(VEXA_SendInquiry(), 1);
    const std::string onvif = listed("O").macAddr;
    const std::string refusing = listed("U").macAddr;
    const struct {
        const char *what;
        std::string mac, password, addr;
        int32_t cause;
    } rows[] = {
        {"wrong password", onvif, "not-" + std::string(kPassword), address(42), VEXA_CAUSE_NOT_AUTHORIZED},
        {"no SetNetworkInterfaces", refusing, kPassword, address(43), VEXA_CAUSE_NOT_SUPPORTED},
        {"an address the device refuses", onvif, kPassword, "127.0.0.1", VEXA_CAUSE_REFUSED},
        {"no address", onvif, kPassword, "", VEXA_CAUSE_BAD_ARGUMENT},
    };
    for (const auto &row : rows) {
        VEXA_NET_PARAM p{};
        std::snprintf(p.ipv4Addr, sizeof p.ipv4Addr, "%s", row.addr.c_str());
        std::snprintf(p.ipv4Mask, sizeof p.ipv4Mask, "255.0.0.0");
        p.port = 8080;
        EXPECT_EQ(VEXA_ModifyDeviceNetParam(row.mac.c_str(), row.password.c_str(), &p), 0) << row.what;
        int32_t cause = -1;
        ASSERT_EQ(VEXA_GetLastModifyCause(&cause), 1);
        EXPECT_EQ(cause, row.cause) << row.what;
    }
    // Gone: no answer at all.
    EXPECT_EQ(m_sim->quit(), 0);
    VEXA_NET_PARAM p{};
    std::snprintf(p.ipv4Addr, sizeof p.ipv4Addr, "%s", address(44).c_str());
    std::snprintf(p.ipv4Mask, sizeof p.ipv4Mask, "255.0.0.0");
    EXPECT_EQ(VEXA_ModifyDeviceNetParam(onvif.c_str(), kPassword, &p), 0);
    int32_t cause = -1;
    ASSERT_EQ(VEXA_GetLastModifyCause(&cause), 1);
    EXPECT_EQ(cause, VEXA_CAUSE_NO_ANSWER);
}

// What a forger on the link tries; each must leave the camera's row as it was.
TEST_F(OnvifHostile, forgedAnnouncementsDoNotSteerTheList)
{
    ASSERT_EQ(VEXA_SendInquiry(), 1);
    const VEXA_DEVICE_REPORT camera = listed("O");
    const std::string forger = address(99);
    // A Hello with the largest MetadataVersion moving the camera to the forger, then a Bye.
    forge(forger, vexa::wsd::kGroup, vexa::wsd::kPort, hello(endpoint("O"), xaddr(99), UINT32_MAX));
    forge(forger, vexa::wsd::kGroup, vexa::wsd::kPort,
          vexa::wsd::encode(vexa::wsd::Bye{vexa::wsd::newUuidUrn(), endpoint("O"), std::nullopt}));
    // An uncertified VXDP device claiming the camera's address.
    vexa::wire::Announce announce;
    announce.info.serial = "FORGED-VXDP";
    announce.info.mac = {0x02, 0xEE, 0, 0, 0, 1};
    announce.info.ipv4Addr = *vexa::address::parseIpv4(camera.ipv4Addr);
    const auto vxdp = vexa::wire::encode(announce);
    forge(forger, vexa::wire::kToolGroup, vexa::wire::kPort, std::string(vxdp.begin(), vxdp.end()));
    std::this_thread::sleep_for(3s);
    const auto after = m_rows.waitFor(m_tag + "O", 1);
    ASSERT_TRUE(after) << "the camera's row went away";
    EXPECT_STREQ(after->ipv4Addr, camera.ipv4Addr);
    EXPECT_EQ(m_rows.maxRows(m_tag + "O"), 1);
    // The camera itself still moves when it does.
    VEXA_NET_PARAM p{};
    std::snprintf(p.ipv4Addr, sizeof p.ipv4Addr, "%s", address(77).c_str());
    std::snprintf(p.ipv4Mask, sizeof p.ipv4Mask, "255.0.0.0");
    p.port = 8080;
    ASSERT_EQ(VEXA_ModifyDeviceNetParam(camera.macAddr, kPassword, &p), 1);
    EXPECT_TRUE(m_rows.waitFor(m_tag + "O", 1, [&](const VEXA_DEVICE_REPORT &r) { return r.ipv4Addr == address(77); }));
}

TEST_F(OnvifHostile, aFloodOfHellosDoesNotStarveACamera)
{
    startStalling(address(98));
    // 300 made-up devices, all pointing at a server that never answers.
    for (int i = 0; i < 300; ++i)
        forge(address(99), vexa::wsd::kGroup, vexa::wsd::kPort,
              hello("urn:uuid:00000000-0000-4000-8000-" + std::to_string(100000000000 + i), xaddr(98), 1));
    std::this_thread::sleep_for(200ms);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(VEXA_SendInquiry(), 1);
    ASSERT_TRUE(m_rows.waitFor(m_tag + "O", 1));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    RecordProperty("camera_listed_ms", int(ms.count()));
    EXPECT_LT(ms, 3s);
}

} // namespace
