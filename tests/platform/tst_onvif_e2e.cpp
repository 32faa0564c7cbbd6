// ONVIF devices beside VXDP ones, through the library's C interface against
// the real simulator on loopback: one row per device whatever it speaks, the
// record's fields from WS-Discovery and device management, readdressing with
// either kind of authentication, reset refused, Bye and the clean exit.

#include "vexa.h"

#include "devsimprocess.h"
#include "onvifsim.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

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

        devsim::DeviceInfo info;
        info.serialNo = m_tag + "O";
        m_onvifEndpoint = devsim::OnvifSimulator::endpointOf(info);
        info.serialNo = m_tag + "B";
        m_rows.alias(devsim::OnvifSimulator::endpointOf(info), m_tag + "B");
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
    EXPECT_STREQ(onvif->sourceAddr, "127.0.0.1");
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
    p = param(moved, 8042);
    ASSERT_EQ(VEXA_ModifyDeviceNetParam(mac.c_str(), kPassword, &p), 1);
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
    devsim::DeviceInfo info;
    info.serialNo = m_tag + "I";
    const std::string impostor = GetParam().detailsReadable ? m_tag + "I" : devsim::OnvifSimulator::endpointOf(info);
    const auto claimed = m_rows.waitFor(impostor, 1);
    ASSERT_TRUE(claimed);
    if (GetParam().detailsReadable)
        ASSERT_STREQ(claimed->macAddr, vxdp->macAddr);
    // The same password opens both: only where the request went decides which one moves.
    const std::string moved = "10.31.0.44";
    VEXA_NET_PARAM p = param(moved, 8044);
    std::snprintf(p.ipv4Gateway, sizeof p.ipv4Gateway, "10.31.0.1");
    ASSERT_EQ(VEXA_ModifyDeviceNetParam(vxdp->macAddr, kPassword, &p), 1);
    EXPECT_TRUE(m_rows.waitFor(m_tag + "V", 1, [&](const VEXA_DEVICE_REPORT &r) { return r.ipv4Addr == moved; }));
    const auto kept = m_rows.waitFor(impostor, 1);
    ASSERT_TRUE(kept);
    EXPECT_EQ(std::string(kept->ipv4Addr), m_net + "4");
}

INSTANTIATE_TEST_SUITE_P(Devices, OnvifE2E,
                         testing::Values(Variant{"Closed", {}, false},
                                         Variant{"TokenDigest", {"--onvif-open-reads"}, true},
                                         Variant{"HttpDigest", {"--onvif-open-reads", "--onvif-http-digest"}, true}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
